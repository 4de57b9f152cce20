"""velpo.info gives what `velpo info --json` prints, for sound and damaged
files alike."""

from __future__ import annotations

import json
from pathlib import Path

import numpy as np
import pytest

import velpo
from conftest import PdcBytes, velpo as run_velpo


def command_info(path: Path) -> dict:
    run = run_velpo("info", "--json", str(path), check=False)
    return json.loads(run.stdout)


def test_info_equals_the_commands_on_a_sound_file(scratch: Path) -> None:
    velpo.write(
        "frame.pdc",
        {
            "position": np.array([[0.5, -1.0, 2.0], [1.5, 3.0, -4.0]]),
            "age": np.array([np.nan, 2.0]),
            "mass": 0.25,
        },
    )
    facts = velpo.info("frame.pdc")
    assert facts == command_info(scratch / "frame.pdc") | {"file": "frame.pdc"}
    assert facts["readable"] and facts["header"]["particleCount"] == 2
    position = facts["records"][0]
    assert position["min"] == [0.5, -1.0, -4.0] and position["max"] == [1.5, 3.0, 2.0]
    assert facts["records"][1]["mean"] == [2.0]


@pytest.mark.parametrize("cut", [10, 36, 60])
def test_a_damaged_file_is_described_with_the_readers_reason(scratch: Path, cut: int) -> None:
    velpo.write("frame.pdc", {"position": np.ones((2, 3))})
    data = Path("frame.pdc").read_bytes()
    Path("cut.pdc").write_bytes(data[:cut])
    facts = velpo.info("cut.pdc")
    assert not facts["readable"]
    assert facts == command_info(scratch / "cut.pdc") | {"file": "cut.pdc"}
    with pytest.raises(velpo.PdcError) as raised:
        velpo.read("cut.pdc")
    assert raised.value.reason == facts["problems"][0]["text"]
    assert facts["problems"][0]["fatal"]


def test_a_missing_file_and_bad_arguments(scratch: Path) -> None:
    assert not velpo.info("missing.pdc")["readable"]
    with pytest.raises(TypeError, match="velpo.info"):
        velpo.info(12)  # type: ignore[arg-type]
