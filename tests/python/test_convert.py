"""PLY between `velpo convert` and a widely used third-party library, meshio
(Debian's python3-meshio): it opens binary and ASCII files that convert
writes and finds the particles' positions and attributes, and what it
writes, NumPy's 64-bit integers included, converts to PDC."""

from __future__ import annotations

import math
from pathlib import Path

import meshio
import numpy as np
import pytest

from conftest import PdcBytes, velpo

POSITIONS = [(0.5, -1.0, 2.0), (1.5, 3.0, -4.0), (1e-300, -0.0, 7.25), (2.0, 2.0, 2.0)]
MASSES = [0.1, 2.5, math.inf, -3.0]
STATES = [7, -2147483648, 2147483647, 0]


def particles(path: Path) -> Path:
    """Four particles as the nodes write them, plus an integer record and a
    single value (which only the comments hold)."""
    data = PdcBytes().header(len(POSITIONS), 5)
    data.record(b"position", 5).double(*[c for p in POSITIONS for c in p])
    data.record(b"mass", 3).double(*MASSES)
    data.record(b"state", 1).int32(*STATES)
    data.record(b"velocity", 5).double(*range(12))
    data.record(b"drag", 2).double(0.25)
    return data.save(path)


@pytest.mark.parametrize("encoding", ["binary", "ascii"])
def test_meshio_reads_the_points_and_attributes(scratch: Path, encoding: str) -> None:
    source = particles(scratch / "frame.pdc")
    options = ["--ascii"] if encoding == "ascii" else []
    velpo("convert", source, scratch / "frame.ply", *options)
    mesh = meshio.read(scratch / "frame.ply")
    np.testing.assert_array_equal(mesh.points, np.array(POSITIONS))
    np.testing.assert_array_equal(mesh.point_data["mass"], np.array(MASSES))
    assert mesh.point_data["state"].dtype == np.int32
    np.testing.assert_array_equal(mesh.point_data["state"], np.array(STATES))
    velocity = np.column_stack([mesh.point_data[f"velocity_{axis}"] for axis in "xyz"])
    np.testing.assert_array_equal(velocity, np.arange(12.0).reshape(4, 3))
    # Back to the same bytes, through the comments meshio skipped.
    velpo("convert", scratch / "frame.ply", scratch / "back.pdc")
    assert (scratch / "back.pdc").read_bytes() == source.read_bytes()


def test_a_ply_that_meshio_writes_converts_to_pdc(scratch: Path) -> None:
    points = np.array([[1.0, 2.0, 3.0], [-4.0, 5.5, 0.0]])
    meshio.write_points_cells(
        scratch / "other.ply",
        points,
        [],
        point_data={"age": np.array([0.25, 8.0])},
        binary=True,
    )
    velpo("convert", scratch / "other.ply", scratch / "other.pdc")
    expected = PdcBytes().header(2, 2)
    expected.record(b"position", 5).double(*points.ravel())
    expected.record(b"age", 3).double(0.25, 8.0)
    assert (scratch / "other.pdc").read_bytes() == bytes(expected.data)


@pytest.mark.parametrize("binary", [True, False])
def test_numpy_default_integers_from_meshio_convert(scratch: Path, binary: bool) -> None:
    """NumPy's default integers are 64-bit, and meshio writes them as
    `property int64`: records of 32-bit integers where every value fits,
    exact doubles where not."""
    points = np.array([[1.0, 2.0, 3.0], [-4.0, 5.5, 0.0], [0.0, 0.0, 0.0]])
    data = {
        "id": np.arange(3),
        "big": np.array([-(2**53), 2**31, 7]),
        "count": np.array([0, 1, 2**32 - 1], dtype=np.uint64),
    }
    meshio.write(scratch / "ids.ply", meshio.Mesh(points, [], point_data=data), binary=binary)
    assert "property int64 id" in (scratch / "ids.ply").read_bytes().decode("latin-1")
    velpo("convert", scratch / "ids.ply", scratch / "ids.pdc")
    expected = PdcBytes().header(3, 4)
    expected.record(b"position", 5).double(*points.ravel())
    expected.record(b"id", 1).int32(0, 1, 2)
    expected.record(b"big", 3).double(-(2.0**53), 2.0**31, 7.0)
    expected.record(b"count", 3).double(0.0, 1.0, 2.0**32 - 1)
    assert (scratch / "ids.pdc").read_bytes() == bytes(expected.data)


def test_a_64_bit_integer_no_double_holds_is_refused_by_name(scratch: Path) -> None:
    points = np.zeros((2, 3))
    ids = np.array([1, 2**53 + 1])
    meshio.write(scratch / "ids.ply", meshio.Mesh(points, [], point_data={"id": ids}))
    run = velpo("convert", scratch / "ids.ply", scratch / "ids.pdc", check=False)
    assert run.returncode == 1
    problem = 'vertex 1, property "id": the int64 9007199254740993'
    assert f"{scratch / 'ids.ply'}: {problem}" in run.stderr
    assert not (scratch / "ids.pdc").exists()
