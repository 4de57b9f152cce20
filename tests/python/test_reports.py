"""The reports scripts read: `velpo info --json`, `check --json` and `diff
--json` are strict JSON, which a parser that refuses NaN and infinity tokens
takes, with each problem's kind; the tables of `dump` keep the NaN and
Infinity tokens that Python reads back to the same values."""

from __future__ import annotations

import csv
import json
import math
from pathlib import Path
from typing import Any, List

import numpy as np

from conftest import PdcBytes, velpo

NAN = float("nan")
INF = float("inf")


def strict(text: str) -> Any:
    """Parses as RFC 8259 does: NaN, Infinity and -Infinity are refused."""

    def refuse(token: str) -> None:
        raise ValueError(f"not strict JSON: {token}")

    return json.loads(text, parse_constant=refuse)


def frame(path: Path, ages: List[float], particles: int = 3) -> Path:
    data = PdcBytes().header(particles, 2).record(b"id", 1).int32(*range(particles))
    return data.record(b"age", 3).double(*ages).save(path)


def test_info_check_and_diff_reports_are_strict_json(scratch: Path) -> None:
    frame(scratch / "p.1.pdc", [1.0, 2.0, 3.0])
    frame(scratch / "p.2.pdc", [1.0, NAN, INF])
    frame(scratch / "p.3.pdc", [-INF, 1e308, 1e308])  # a mean that overflows
    (scratch / "p.5.pdc").write_bytes((scratch / "p.1.pdc").read_bytes()[:40])

    for name in ["p.1.pdc", "p.2.pdc", "p.3.pdc", "p.5.pdc", "p.9.pdc"]:
        report = strict(velpo("info", "--json", name, check=False).stdout)
        for problem in report["problems"]:
            assert problem["kind"] and problem["text"]
    second = strict(velpo("info", "--json", "p.2.pdc").stdout)["records"][1]
    assert (second["nan"], second["infinite"]) == (1, 1)
    third = strict(velpo("info", "--json", "p.3.pdc").stdout)["records"][1]
    assert third["mean"] == ["Infinity"] and third["max"] == [1e308]

    check = strict(velpo("check", "--json", "p.#.pdc", check=False).stdout)
    kinds = {problem["kind"] for problem in check["problems"]}
    assert {"missing-frame", "nan-values", "infinite-values"} <= kinds
    assert [row["frame"] for row in check["frames"]] == [1, 2, 3, 4, 5]
    assert [row["present"] for row in check["frames"]] == [True, True, True, False, True]

    diff = strict(velpo("diff", "--json", "p.1.pdc", "p.2.pdc", check=False).stdout)
    age = diff["frames"][0]["records"][1]["components"][0]
    assert age["differing"] == 2 and age["withNaN"] == 1 and age["withInfinity"] == 1
    assert age["maxAbsolute"] == "Infinity" and age["first"] == [2.0, "NaN"]
    assert [p["kind"] for p in diff["frames"][0]["problems"]] == ["values-differ"]


def test_dump_tables_keep_the_tokens_python_reads_back(scratch: Path) -> None:
    frame(scratch / "f.pdc", [NAN, INF, -INF, 300000.0], particles=4)
    table = json.loads(velpo("dump", "--format", "json", "f.pdc").stdout)
    ages = table["attributes"]["age"]
    assert math.isnan(ages[0]) and ages[1:] == [INF, -INF, 300000.0]

    text = velpo("dump", "f.pdc").stdout
    rows = list(csv.DictReader(text.splitlines()))
    assert [row["age"] for row in rows] == ["NaN", "Infinity", "-Infinity", "300000"]
    read = [float(row["age"]) for row in rows]
    assert math.isnan(read[0]) and read[1:] == [INF, -INF, 300000.0]
    (scratch / "f.csv").write_text(text)
    loaded = np.genfromtxt(scratch / "f.csv", delimiter=",", names=True)
    assert np.isnan(loaded["age"][0]) and list(loaded["age"][1:]) == [INF, -INF, 300000.0]
