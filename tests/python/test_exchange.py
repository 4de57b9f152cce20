"""Files go both ways between the velpo command (the nodes and the file layer
in C++) and the Python module, value for value and byte for byte."""

from __future__ import annotations

import json
from pathlib import Path
from typing import Any, Dict

import numpy as np
import pytest

import velpo
from conftest import PdcBytes, csv_table, dump, velpo as run_velpo, write_settings

SETTINGS = {"Step": 10, "Float0": "age", "Long0": "kind", "Vector0": "vel"}


def as_dumped(cache: velpo.Cache) -> Dict[str, Any]:
    """The cache in the form `velpo dump --format json` prints."""
    return {
        "particleCount": cache.particle_count,
        "attributes": {name: cache[name].tolist() for name in cache},
    }


def float32_values(rng: np.random.Generator, shape: Any) -> np.ndarray:
    values = rng.normal(scale=1e3, size=shape).astype(np.float32)
    values.flat[:4] = [0.0, -0.0, 3.4028235e38, 1e-45][: values.size]
    return values


def test_a_cache_the_command_exported_reads_back_as_its_table(scratch: Path) -> None:
    rng = np.random.default_rng(1)
    n = 40
    table = {
        "id": np.arange(n) * 3 - 50,
        "position": float32_values(rng, (n, 3)),
        "age": float32_values(rng, n),
        "kind": rng.integers(-(2**31), 2**31, n),
        "vel": float32_values(rng, (n, 3)),
    }
    columns: Dict[str, Any] = {"id": table["id"], "age": table["age"], "kind": table["kind"]}
    for vector in ("position", "vel"):
        for c, axis in enumerate("xyz"):
            columns[f"{vector}.{axis}"] = table[vector][:, c]
    csv_table(scratch / "in.3.csv", columns)
    settings = write_settings(scratch, {"Path": str(scratch / "pts"), **SETTINGS})
    run_velpo("export", "--settings", settings, "--frames", "3", "--input", scratch / "in.#.csv")

    cache = velpo.read(velpo.file_name(scratch / "pts", 3, 10))
    assert sorted(cache.names()) == sorted(table) and cache.particle_count == n
    for name, values in table.items():
        assert cache.is_array(name) and cache.code(name) in (3, 5)
        np.testing.assert_array_equal(cache[name], np.asarray(values, dtype=np.float64), err_msg=name)
        assert np.signbit(cache[name]).tolist() == np.signbit(np.asarray(values, dtype=np.float64)).tolist()


def test_a_constant_column_becomes_a_single_value(scratch: Path) -> None:
    (scratch / "in.json").write_text(json.dumps({
        "particleCount": 2,
        "attributes": {"id": [7, 8], "position": [[0.5, 1, 2], [3, 4, 5]], "age": 0.75, "kind": 4, "vel": [1, 2, 3]},
    }))
    settings = write_settings(scratch, {"Path": str(scratch / "pts"), **SETTINGS})
    run_velpo("export", "--settings", settings, "--frames", "1", "--input", scratch / "in.json")
    cache = velpo.read(scratch / "pts.10.pdc")
    assert {name: (cache.code(name), cache[name].tolist()) for name in cache} == {
        "age": (2, 0.75), "kind": (2, 4.0), "id": (3, [7.0, 8.0]),
        "position": (5, [[0.5, 1.0, 2.0], [3.0, 4.0, 5.0]]), "vel": (4, [1.0, 2.0, 3.0]),
    }


def test_the_demo_caches_read_as_the_command_dumps_them_and_write_back_the_same_bytes(scratch: Path) -> None:
    run_velpo("demo", "--dir", scratch / "demo", "--particles", 300, "--frames", "1-3", "--step", 5)
    files = sorted((scratch / "demo").glob("*.pdc"))
    assert len(files) == 3
    for file in files:
        cache = velpo.read(file)
        assert as_dumped(cache) == dump(file), file.name
        # The module's writer writes what the Export node wrote.
        velpo.write(scratch / "copy.pdc", cache)
        assert (scratch / "copy.pdc").read_bytes() == file.read_bytes(), file.name


@pytest.mark.parametrize("integers", ["double", "int32"])
def test_what_the_module_writes_the_command_reads(scratch: Path, integers: str) -> None:
    rng = np.random.default_rng(2)
    data = {
        "id": np.arange(5, dtype=np.int32) - 2,
        "position": rng.normal(size=(5, 3)),
        "age": np.array([0.1, -0.0, 1e-310, 2.5e300, -7.0]),
        "kind": np.int32(-3),
        "drag": 0.125,
        "wind": np.array([1.0, -2.0, 1e-9]),
    }
    velpo.write("ours.pdc", data, integers=integers, singles={"wind"})
    dumped = dump(scratch / "ours.pdc")
    assert dumped == {
        "particleCount": 5,
        "attributes": {name: np.asarray(values).tolist() for name, values in data.items()},
    }


def test_the_nodes_read_what_the_module_writes(scratch: Path) -> None:
    data = {
        "id": np.array([10, -20, 2**31 - 1], dtype=np.int64),
        "position": np.array([[0.1, 0.2, 0.3], [1e30, -1e-30, 0.0], [4.0, 5.0, 6.0]]),
        "age": np.array([0.5, 0.25, 1.0 / 3]),
        "kind": np.array([1, 2, 3], dtype=np.int32),
        "vel": np.array([7.0, 8.0, 9.0]),
    }
    velpo.write(scratch / "pts.20.pdc", data, integers="int32", singles={"vel"})
    settings = write_settings(scratch, {"Path": str(scratch / "pts"), **SETTINGS})
    run_velpo("import", "--settings", settings, "--frames", "2", "--output", scratch / "out.#.json")
    table = json.loads((scratch / "out.2.json").read_text())
    assert table["particleCount"] == 3
    got = table["attributes"]
    assert got["id"] == [10, -20, 2**31 - 1] and got["kind"] == [1, 2, 3]
    # The nodes' Float and Vector slots hold floats.
    np.testing.assert_array_equal(np.float32(got["position"]), data["position"].astype(np.float32))
    np.testing.assert_array_equal(np.float32(got["age"]), data["age"].astype(np.float32))
    assert got["vel"] == [[7.0, 8.0, 9.0]] * 3


def test_a_file_of_integer_records_reads_the_same_in_both(scratch: Path) -> None:
    path = (
        PdcBytes().header(3, 3)
        .record(b"id", 1).int32(-(2**31), 0, 2**31 - 1)
        .record(b"kind", 0).int32(5)
        .record(b"position", 5).double(*range(9))
        .save(scratch / "ints.pdc")
    )
    cache = velpo.read(path)
    assert cache["id"].dtype == np.int32 and cache["kind"].dtype == np.int32
    assert as_dumped(cache) == dump(path)
