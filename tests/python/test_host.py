"""velpo.Host: the nodes through the host runtime, giving what `velpo export`
and `velpo import` give for the same frame."""

from __future__ import annotations

import errno
import json
import os
import pickle
import subprocess
import sys
from pathlib import Path
from typing import Any, Dict

import numpy as np
import pytest

import velpo
from conftest import csv_table, velpo as run_velpo, write_settings

FULL = {
    "Step": 250,
    "Float0": "age", "Float3": "mass",
    "Long0": "kind",
    "Vector0": "vel", "Vector9": "color",
}


def frame_table(n: int, seed: int) -> Dict[str, np.ndarray]:
    rng = np.random.default_rng(seed)
    return {
        "id": np.arange(n, dtype=np.int32) * 7 - 3,
        "position": rng.normal(scale=10, size=(n, 3)).astype(np.float32),
        "age": rng.random(n, dtype=np.float32),
        "mass": np.float32(rng.random(n) * 1e-30),
        "kind": rng.integers(-(2**31), 2**31, n).astype(np.int32),
        "vel": rng.normal(size=(n, 3)).astype(np.float32),
        "color": rng.random((n, 3), dtype=np.float32),
    }


def command_columns(table: Dict[str, np.ndarray]) -> Dict[str, Any]:
    columns: Dict[str, Any] = {}
    for name, values in table.items():
        if values.ndim == 2:
            for c, axis in enumerate("xyz"):
                columns[f"{name}.{axis}"] = values[:, c]
        else:
            columns[name] = values
    return columns


@pytest.mark.parametrize("frame", [1, 12, -3])
def test_export_writes_the_bytes_the_command_writes(scratch: Path, frame: int) -> None:
    table = frame_table(257, seed=frame + 100)
    csv_table(scratch / f"in.{frame}.csv", command_columns(table))
    (scratch / "command").mkdir()
    settings = write_settings(scratch, {"Path": str(scratch / "command" / "pts"), **FULL})
    run_velpo("export", "--settings", settings, "--frames", f"{frame}-{frame}", "--input", scratch / "in.#.csv")

    (scratch / "module").mkdir()
    log = velpo.Host().export({"Path": str(scratch / "module" / "pts"), **FULL}, frame, table)
    assert log == []
    written = velpo.file_name(scratch / "module" / "pts", frame, 250)
    expected = velpo.file_name(scratch / "command" / "pts", frame, 250)
    assert os.path.basename(written) == os.path.basename(expected)
    assert Path(written).read_bytes() == Path(expected).read_bytes()


def test_constants_and_converted_columns_export_as_the_command_does(scratch: Path) -> None:
    (scratch / "in.json").write_text(json.dumps({
        "particleCount": 3,
        "attributes": {"id": [1, 2, 3], "position": [0.5, 1, 2], "age": 0.75, "kind": [4, 5, 6],
                       "vel": [[1, 2, 3], [4, 5, 6], [7, 8, 9]]},
    }))
    settings = {"Path": str(scratch / "pts"), "Float0": "age", "Long0": "kind", "Vector0": "vel"}
    write_settings(scratch, settings)
    run_velpo("export", "--settings", scratch / "settings.json", "--frames", "1", "--input", scratch / "in.json")
    expected = (scratch / "pts.1.pdc").read_bytes()
    (scratch / "pts.1.pdc").unlink()
    velpo.Host().export(settings, 1, {
        "id": np.array([1.0, 2.0, 3.0]),          # whole doubles, as velpo.read gives ids
        "position": [0.5, 1, 2],                   # one vector for all
        "age": 0.75,                               # one number for all
        "kind": np.array([4, 5, 6], dtype=np.uint8),
        "vel": np.arange(1, 10, dtype=np.float64).reshape(3, 3),
    })
    assert (scratch / "pts.1.pdc").read_bytes() == expected


def test_import_gives_the_table_the_command_gives(scratch: Path) -> None:
    settings = {"Path": str(scratch / "pts"), **FULL}
    host = velpo.Host(threads=2)
    table = frame_table(1000, seed=5)
    host.export(settings, 4, table)
    write_settings(scratch, settings)
    run_velpo("import", "--settings", scratch / "settings.json", "--frames", "4", "--output", scratch / "out.#.json")
    command = json.loads((scratch / "out.4.json").read_text())

    frame = host.import_(settings, 4)
    assert frame.log == []
    assert list(frame.table) == list(command["attributes"]) == ["id", "position", "age", "mass", "kind", "vel", "color"]
    for name, values in frame.table.items():
        expected = np.asarray(command["attributes"][name], dtype=values.dtype)
        assert values.tobytes() == expected.tobytes(), name
        assert values.tobytes() == table[name].tobytes(), name
    assert frame.table["id"].dtype == np.int32 and frame.table["vel"].shape == (1000, 3)


def test_a_cache_read_by_the_module_exports_again_through_the_nodes(scratch: Path) -> None:
    settings = {"Path": str(scratch / "pts"), **FULL}
    host = velpo.Host()
    host.export(settings, 1, frame_table(50, seed=9))
    first = (scratch / "pts.250.pdc").read_bytes()
    host.export(settings, 2, velpo.read(scratch / "pts.250.pdc"))
    assert (scratch / "pts.500.pdc").read_bytes() == first


def test_an_empty_cache_imports_as_empty_columns(scratch: Path) -> None:
    velpo.write(scratch / "pts.1.pdc", {"id": np.zeros(0), "position": np.zeros((0, 3))})
    frame = velpo.Host().import_({"Path": str(scratch / "pts"), "Float0": "age", "Vector0": "vel"}, 1)
    assert {name: (a.dtype.name, a.shape) for name, a in frame.table.items()} == {
        "id": ("int32", (0,)), "position": ("float32", (0, 3)), "age": ("float32", (0,)), "vel": ("float32", (0, 3)),
    }


def test_what_the_nodes_log_as_an_error_raises_with_the_log(scratch: Path) -> None:
    host = velpo.Host()
    with pytest.raises(velpo.HostError) as missing:
        host.import_({"Path": str(scratch / "none")}, 1)
    assert missing.value.log == [velpo.LogEntry("error", f"VelpoImport: Cannot Read {scratch}/none.1.pdc")]
    assert str(missing.value) == missing.value.log[0].text

    table = {"id": [1], "position": [[0.0, 0, 0]]}
    (scratch / "busy.1.pdc").mkdir()
    with pytest.raises(velpo.HostError, match="Cannot Write"):
        host.export({"Path": str(scratch / "busy")}, 1, table)
    assert host.export({"Path": str(scratch / "pts")}, 1, table) == []


BAD_EXPORTS = [
    # (settings, table, keywords, exception, words)
    ({"Float0": "age"}, {"id": [1], "position": [[0, 0, 0]]}, {}, ValueError,
     "table: no column 'age' for the parameter 'Float0'"),
    ({}, {"position": [[0, 0, 0]]}, {}, ValueError, "table: no column 'id'"),
    ({}, {"id": [1, 2], "position": np.zeros((3, 3))}, {}, ValueError, "column 'position' holds 3 particles"),
    ({}, {"id": [1.5], "position": [[0, 0, 0]]}, {}, ValueError, "column 'id' holds 1.5, which is not a whole"),
    ({}, {"id": [2**31], "position": [[0, 0, 0]]}, {}, ValueError, "column 'id' holds 2147483648, beyond 32 bits"),
    ({}, {"id": [1], "position": [[0, 0]]}, {}, ValueError, "column 'position' is a vector"),
    ({"Float0": "age"}, {"id": [1], "position": [[0, 0, 0]], "age": [[1.0]]}, {}, ValueError,
     "column 'age' holds one number per particle"),
    ({"Float0": "age"}, {"id": [1], "position": [[0, 0, 0]], "age": [1e39]}, {}, ValueError,
     "column 'age' holds 1e+39, beyond the range of a float"),
    ({}, {"id": ["a"], "position": [[0, 0, 0]]}, {}, TypeError, "column 'id' holds <U1"),
    ({}, {"id": 1, "position": [0, 0, 0]}, {}, ValueError, "give particle_count"),
    ({}, {"id": [1], "position": [[0, 0, 0]]}, {"particle_count": 2}, ValueError, "'id' holds 1 particles"),
    ({"Float10": "age"}, {}, {}, ValueError, 'settings: unknown parameter "Float10"'),
    ({"Step": 1.5}, {}, {}, ValueError, '"Step" must be a 32-bit integer, not 1.5'),
    ({"Step": np.int64(2), "Vector0": 3}, {}, {}, ValueError, '"Vector0" must be a string, not 3'),
    ({"Step": object()}, {}, {}, TypeError, "is not a settings value"),
]


@pytest.mark.parametrize("settings, table, keywords, error, words", BAD_EXPORTS)
def test_tables_that_do_not_fit_the_settings_are_refused_before_the_nodes_run(
    scratch: Path, settings: Dict[str, Any], table: Dict[str, Any], keywords: Dict[str, Any], error: type, words: str
) -> None:
    with pytest.raises(error) as raised:
        velpo.Host().export({"Path": str(scratch / "pts"), **settings}, 1, table, **keywords)
    assert words in str(raised.value)
    assert os.listdir(scratch) == []


def test_unused_columns_are_named_in_a_warning(scratch: Path) -> None:
    with pytest.warns(UserWarning, match="column 'extra' is named by no parameter"):
        velpo.Host().export({"Path": str(scratch / "pts")}, 1, {"id": [1], "position": [[0, 0, 0]], "extra": [2]})


def test_settings_may_be_a_json_file(scratch: Path) -> None:
    path = write_settings(scratch, {"Path": str(scratch / "pts"), "Step": 3})
    velpo.Host().export(path, 2, {"id": [1], "position": [[0, 0, 0]]})
    assert (scratch / "pts.6.pdc").exists()
    (scratch / "bad.json").write_text("{\"Path\": ")
    with pytest.raises(ValueError, match="bad.json: .*parse error"):
        velpo.Host().export(scratch / "bad.json", 1, {})


def test_the_plugin_is_found_beside_the_module_or_where_it_is_named(scratch: Path) -> None:
    beside = Path(velpo.__file__).parent / "libVelpo.so"
    assert velpo.Host().plugin == str(beside)
    assert velpo.Host(plugin=beside).plugin == str(beside)
    with pytest.raises(OSError) as missing:
        velpo.Host(plugin=scratch / "libNone.so")
    assert str(scratch / "libNone.so") in str(missing.value)
    (scratch / "libText.so").write_text("not a library")
    with pytest.raises(OSError, match="libText.so"):
        velpo.Host(plugin=scratch / "libText.so")
    named = subprocess.run(
        [sys.executable, "-c", "import velpo; print(velpo.Host().plugin)"],
        env={**os.environ, "VELPO_PLUGIN": str(scratch / "libText.so")},
        capture_output=True, text=True, timeout=60,
    )
    assert named.returncode == 1 and "libText.so" in named.stderr
    with pytest.raises(TypeError, match="plugin must be a path"):
        velpo.Host(plugin=3)
    with pytest.raises(ValueError, match="threads is -1"):
        velpo.Host(threads=-1)


@pytest.mark.parametrize(
    "plugin, reason, code",
    [
        ("/etc/passwd", "cannot load the plug-in library: /etc/passwd: invalid ELF header", None),
        ("{scratch}/libNone.so", "cannot load the plug-in: no such file", errno.ENOENT),
        ("{scratch}", "cannot load the plug-in: it is a folder, not a library", None),
    ],
)
def test_a_plugin_that_cannot_be_loaded_is_named_with_the_reason(
    scratch: Path, plugin: str, reason: str, code: object
) -> None:
    path = plugin.format(scratch=scratch)
    with pytest.raises(velpo.PluginError) as raised:
        velpo.Host(plugin=path)
    error = raised.value
    assert isinstance(error, OSError) and error.errno == code
    assert (error.filename, error.reason, str(error)) == (path, reason, f"{path}: {reason}")
    assert "Errno" not in str(error) and pickle.loads(pickle.dumps(error)).reason == reason
