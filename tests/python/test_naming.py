"""velpo.file_name and velpo.sequence: the names the nodes and the command
give cache files, and frames as the command takes them."""

from __future__ import annotations

import os
from pathlib import Path

import pytest

import velpo
from conftest import csv_table, velpo as run_velpo, write_settings


@pytest.mark.parametrize(
    "base, frame, step, name",
    [
        ("cache/fluid.250.pdc", 120, 250, "cache/fluid.30000.pdc"),
        ("cache/fluid", -1, 250, "cache/fluid.4294967046.pdc"),
        ("cache/fluid", 2**32 - 1, 250, "cache/fluid.4294967046.pdc"),
        ("cache/fluid", -(2**31), 1, "cache/fluid.2147483648.pdc"),
        ("p", 3, -1, "p.4294967293.pdc"),
        ("/caché/été.12.pdc", 2, 3, "/caché/été.6.pdc"),
        (Path("cache/run.2/fluid"), 1, 1, "cache/run.2/fluid.1.pdc"),
    ],
)
def test_file_names_are_the_file_layers(base: object, frame: int, step: int, name: str) -> None:
    assert velpo.file_name(base, frame, step) == name  # type: ignore[arg-type]


def test_variables_and_the_home_folder_are_expanded_as_the_host_expands_them(monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.setenv("VELPO_TEST_CACHE", "/shots/s1")
    monkeypatch.setenv("HOME", "/home/artist")
    assert velpo.file_name("${VELPO_TEST_CACHE}/fluid.pdc", 2, 10) == "/shots/s1/fluid.pdc.20.pdc"
    assert velpo.file_name("~/fluid", 2) == "/home/artist/fluid.2.pdc"
    assert velpo.file_name("$VELPO_UNSET_NAME/fluid", 1) == "$VELPO_UNSET_NAME/fluid.1.pdc"


@pytest.mark.parametrize(
    "arguments, error, words",
    [
        (("c", 2**32, 1), ValueError, "velpo.file_name: frame is 4294967296, outside -2147483648 ... 4294967295"),
        (("c", -(2**31) - 1, 1), ValueError, "frame is -2147483649"),
        (("c", 1, 2**31), ValueError, "step is 2147483648"),
        (("c", 1.0, 1), TypeError, "frame must be an integer, not float"),
        (("c", 1, "2"), TypeError, "step must be an integer, not str"),
        ((5, 1, 1), TypeError, "base must be str or os.PathLike, not int"),
    ],
)
def test_bad_names_say_which_argument(arguments: tuple, error: type, words: str) -> None:
    with pytest.raises(error) as raised:
        velpo.file_name(*arguments)
    assert words in str(raised.value)


@pytest.mark.parametrize("path, frame, step", [("pts", 1, 1), ("pts.250.pdc", 7, 250), ("run.2/pts", -2, 10)])
def test_the_nodes_write_the_file_that_file_name_names(scratch: Path, path: str, frame: int, step: int) -> None:
    (scratch / "nodes" / "run.2").mkdir(parents=True)
    settings = {"Path": str(scratch / "nodes" / path), "Step": step}
    velpo.Host().export(settings, frame, {"id": [1], "position": [[0.0, 0, 0]]})
    written = [str(file) for file in scratch.rglob("*.pdc")]
    assert written == [velpo.file_name(settings["Path"], frame, step)]


def test_the_command_names_the_caches_it_writes_as_sequence_does(scratch: Path) -> None:
    settings = {"Path": str(scratch / "fluid.10.pdc"), "Step": 10}
    for frame, table in velpo.sequence(str(scratch / "in.#.csv"), "3-5"):
        csv_table(Path(table), {"id": [frame], "position.x": [0.0], "position.y": [0.0], "position.z": [0.0]})
    out = run_velpo("export", "--settings", write_settings(scratch, settings), "--frames", "3-5",
                    "--input", scratch / "in.#.csv").stdout
    expected = [f"frame {f}: 1 particles from {t} to {c}" for (f, t), (_, c) in
                zip(velpo.sequence(str(scratch / "in.#.csv"), range(3, 6)), velpo.sequence(settings, [3, 4, 5]))]
    assert out.splitlines()[:3] == expected
    assert sorted(p.name for p in scratch.glob("*.pdc")) == ["fluid.30.pdc", "fluid.40.pdc", "fluid.50.pdc"]


def test_sequence_takes_frames_as_the_command_and_as_python_give_them() -> None:
    settings = {"Path": "cache/fluid", "Step": 2}
    assert list(velpo.sequence(settings, "-1-1")) == [
        (-1, "cache/fluid.4294967294.pdc"), (0, "cache/fluid.0.pdc"), (1, "cache/fluid.2.pdc")
    ]
    assert list(velpo.sequence(settings, 4)) == [(4, "cache/fluid.8.pdc")]
    assert list(velpo.sequence("out/#/pts.#.json", [9, 2])) == [(9, "out/9/pts.9.json"), (2, "out/2/pts.2.json")]
    assert list(velpo.sequence(Path("one.csv"), "7")) == [(7, "one.csv")]
    assert list(velpo.sequence({"Path": "p"}, range(0))) == []


@pytest.mark.parametrize(
    "source, frames, error, words",
    [
        ("pts.csv", "1-2", ValueError, "'pts.csv' has no '#' for the frame number"),
        ("pts.#.csv", "2-1", ValueError, 'frame range "2-1" runs backwards'),
        ("pts.#.csv", "1..4", ValueError, '"1..4" is not a frame range'),
        ("pts.#.csv", [1, 2**31], ValueError, "frame is 2147483648"),
        ("pts.#.csv", 1.5, TypeError, "frames must be an integer"),
        ({"Step": 1}, "1", ValueError, '"Path" is missing or empty'),
        ({"Path": "p", "Floats": "age"}, "1", ValueError, 'unknown parameter "Floats"'),
        (42, "1", TypeError, "source must be settings or a '#' pattern"),
    ],
)
def test_bad_sequences_say_what_is_wrong(source: object, frames: object, error: type, words: str) -> None:
    with pytest.raises(error) as raised:
        list(velpo.sequence(source, frames))
    assert words in str(raised.value)
