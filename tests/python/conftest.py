"""What the Python module's tests share: the built command, files built byte
by byte independently of the module, and a scratch folder per test."""

from __future__ import annotations

import json
import os
import struct
import subprocess
from pathlib import Path
from typing import Any, Dict, List, Sequence

import numpy as np
import pytest

# Set by ctest: the velpo command of the same build, and whether the run is
# under AddressSanitizer (which reserves address space a limit would cut).
COMMAND = os.environ.get("VELPO_COMMAND", "")
SANITIZED = os.environ.get("VELPO_SANITIZED") == "1"


class PdcBytes:
    """A PDC file spelled out with struct, so that a byte order mistake shared
    by the module's reader and writer cannot hide."""

    def __init__(self) -> None:
        self.data = bytearray()

    def int32(self, *values: int) -> "PdcBytes":
        for value in values:
            self.data += struct.pack(">i", value)
        return self

    def double(self, *values: float) -> "PdcBytes":
        for value in values:
            self.data += struct.pack(">d", value)
        return self

    def raw(self, data: bytes) -> "PdcBytes":
        self.data += data
        return self

    def header(self, particles: int, attributes: int, format: bytes = b"PDC ") -> "PdcBytes":
        return self.raw(format).int32(1, 1, 0, 0, particles, attributes)

    def record(self, name: bytes, code: int) -> "PdcBytes":
        return self.int32(len(name)).raw(name).int32(code)

    def save(self, path: Path) -> Path:
        path.write_bytes(bytes(self.data))
        return path


def velpo(*arguments: Any, check: bool = True) -> subprocess.CompletedProcess:
    """Runs the velpo command of this build."""
    if not COMMAND:
        pytest.fail("VELPO_COMMAND is not set; run these tests through ctest")
    run = subprocess.run(
        [COMMAND, *map(str, arguments)], capture_output=True, text=True, timeout=300
    )
    if check and run.returncode != 0:
        pytest.fail(f"velpo {' '.join(map(str, arguments))} exited {run.returncode}:\n{run.stderr}")
    return run


def dump(path: Path) -> Dict[str, Any]:
    """The file's records as `velpo dump --format json` prints them."""
    return json.loads(velpo("dump", path, "--format", "json").stdout)


def write_settings(folder: Path, settings: Dict[str, Any]) -> Path:
    path = folder / "settings.json"
    path.write_text(json.dumps(settings))
    return path


def csv_table(path: Path, columns: Dict[str, Sequence[Any]]) -> Path:
    """A table as `velpo export --input` takes it; floats written with repr,
    which reads back to the same double (and so to the same float)."""
    names = list(columns)
    rows: List[str] = [",".join(names)]
    for row in zip(*columns.values()):
        rows.append(",".join(_cell(v) for v in row))
    path.write_text("\n".join(rows) + "\n")
    return path


def _cell(value: Any) -> str:
    if isinstance(value, (float, np.floating)):
        return repr(float(value))
    return str(int(value))


@pytest.fixture
def scratch(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Path:
    monkeypatch.chdir(tmp_path)
    return tmp_path
