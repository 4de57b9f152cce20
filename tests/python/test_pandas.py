"""Particle tables between velpo and pandas (Debian's python3-pandas), the way
the README tells a pipeline to do it: `velpo dump` CSV read with
`float_precision="round_trip"` gives every double exactly, and a frame
written with `to_csv(index=False, na_rep="NaN")` goes back through
`velpo export` to the same cache."""

from __future__ import annotations

import io
import math
import struct
from pathlib import Path

import numpy as np
import pandas as pd
import pytest

from conftest import PdcBytes, csv_table, velpo, write_settings


def awkward_doubles(count: int) -> np.ndarray:
    """Doubles that need all 17 digits, with the values that trip parsers."""
    rng = np.random.default_rng(17)
    values = rng.normal(size=count) * 10.0 ** rng.integers(-300, 300, size=count)
    special = [0.1, -0.0, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308, math.nan,
               math.inf, -math.inf, 1 / 3, 2.0**53 + 2]
    values[: len(special)] = special
    return values


def test_dump_csv_reads_back_exactly_with_round_trip_precision(scratch: Path) -> None:
    count = 2000
    mass = awkward_doubles(count)
    velocity = awkward_doubles(3 * count)[::-1].copy()
    cache = PdcBytes().header(count, 3)
    cache.record(b"mass", 3).double(*mass)
    cache.record(b"velocity", 5).double(*velocity)
    cache.record(b"state", 1).int32(*range(-1000, count - 1000))
    cache.save(scratch / "frame.pdc")
    (scratch / "frame.csv").write_text(velpo("dump", scratch / "frame.pdc").stdout)

    table = pd.read_csv(scratch / "frame.csv", float_precision="round_trip")
    assert list(table.columns) == ["mass", "velocity.x", "velocity.y", "velocity.z", "state"]
    assert table["state"].tolist() == list(range(-1000, count - 1000))
    read = {
        "mass": table["mass"].to_numpy(),
        "velocity": table[["velocity.x", "velocity.y", "velocity.z"]].to_numpy().ravel(),
    }
    for name, expected in {"mass": mass, "velocity": velocity}.items():
        assert read[name].dtype == np.float64
        # Every bit but NaN payloads, which the table writes as NaN.
        nan = np.isnan(expected)
        np.testing.assert_array_equal(np.isnan(read[name]), nan, err_msg=name)
        assert (read[name][~nan].view(np.uint64) == expected[~nan].view(np.uint64)).all(), name


def test_a_frame_pandas_writes_with_nan_spelled_out_exports_to_the_same_cache(
    scratch: Path,
) -> None:
    # Values a float port holds exactly, so that export keeps them all.
    mass = np.array([0.5, math.nan, math.inf, -math.inf, -0.0, 1e-30], dtype=np.float32)
    positions = np.arange(18, dtype=np.float32).reshape(6, 3) / np.float32(7)
    settings = write_settings(scratch, {"Path": "first/fluid", "Step": 1, "Float0": "mass"})
    csv_table(
        scratch / "in.1.csv",
        {
            "id": range(6),
            "position.x": positions[:, 0],
            "position.y": positions[:, 1],
            "position.z": positions[:, 2],
            "mass": mass,
        },
    )
    (scratch / "first").mkdir()
    velpo("export", "--settings", settings, "--frames", "1", "--input", scratch / "in.#.csv")
    first = (scratch / "first/fluid.1.pdc").read_bytes()
    (scratch / "dump.csv").write_text(velpo("dump", scratch / "first/fluid.1.pdc").stdout)

    table = pd.read_csv(scratch / "dump.csv", float_precision="round_trip")
    np.testing.assert_array_equal(table["mass"].to_numpy(), mass.astype(np.float64))
    table.to_csv(scratch / "plain.1.csv", index=False)
    table.to_csv(scratch / "spelled.1.csv", index=False, na_rep="NaN")

    settings = write_settings(scratch, {"Path": "again/fluid", "Step": 1, "Float0": "mass"})
    (scratch / "again").mkdir()
    # pandas' default writes NaN as an empty cell, which is no number.
    run = velpo("export", "--settings", settings, "--frames", "1", "--input",
                scratch / "plain.#.csv", check=False)
    assert run.returncode == 1
    assert "is not a number" in run.stderr
    assert not (scratch / "again/fluid.1.pdc").exists()
    velpo("export", "--settings", settings, "--frames", "1", "--input", scratch / "spelled.#.csv")
    assert (scratch / "again/fluid.1.pdc").read_bytes() == first
    # The cache really holds the specials it was given.
    assert struct.pack(">d", -math.inf) in first and struct.pack(">d", math.inf) in first


@pytest.mark.parametrize("encoding", ["binary", "ascii"])
def test_vectors_are_name_dot_x_in_tables_and_name_underscore_x_in_ply(
    scratch: Path, encoding: str
) -> None:
    cache = PdcBytes().header(1, 2)
    cache.record(b"position", 5).double(1.0, 2.0, 3.0)
    cache.record(b"velocity", 5).double(4.0, 5.0, 6.0)
    cache.save(scratch / "frame.pdc")
    table = pd.read_csv(io.StringIO(velpo("dump", scratch / "frame.pdc").stdout))
    assert list(table.columns) == ["position.x", "position.y", "position.z", "velocity.x",
                                   "velocity.y", "velocity.z"]
    options = ["--ascii"] if encoding == "ascii" else []
    velpo("convert", scratch / "frame.pdc", scratch / "frame.ply", *options)
    header = (scratch / "frame.ply").read_bytes().split(b"end_header")[0].decode()
    properties = [line.split()[-1] for line in header.splitlines() if line.startswith("property")]
    assert properties == ["x", "y", "z", "velocity_x", "velocity_y", "velocity_z"]
