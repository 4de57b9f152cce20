"""Every reader gives one answer about a file: the nodes (VelpoImport and
VelpoSetData through the host runtime), velpo.read, velpo.info (what
``velpo info --json`` prints) and ``velpo check`` take the same files,
refuse the same files, and report the same records, counts and values per
name. The files: the fuzz corpus, the C++ tests' seed and hostile files,
and files the way producers write them, each also cut short."""

from __future__ import annotations

import json
import math
import os
import re
import subprocess
import warnings
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Dict, Iterator, List, Optional, Tuple

import numpy as np
import pytest

import velpo
from conftest import PdcBytes, velpo as run_velpo

SOURCE = Path(os.environ.get("VELPO_SOURCE_DIR", Path(__file__).parent.parent.parent))
NAN = float("nan")
INF = float("inf")


def producer_files() -> Dict[str, bytes]:
    """Files the way writers of the format make them."""
    files = {
        "as the nodes write": PdcBytes().header(2, 5).record(b"id", 3).double(1, 2).record(b"position", 5)
        .double(0, 1, 2, 3, 4, 5).record(b"age", 3).double(0.5, 1.5).record(b"mass", 2).double(4)
        .record(b"velocity", 5).double(-1, -2, -3, 7, 8, 9),
        "integer records": PdcBytes().header(3, 4).record(b"id", 1).int32(1, 2, 3).record(b"state", 0).int32(-7)
        .record(b"count", 1).int32(-(2**31), 0, 2**31 - 1).record(b"position", 4).double(1, 2, 3),
        "a peer library: particleId, no id": PdcBytes().header(2, 3).record(b"particleId", 1).int32(40, 41)
        .record(b"position", 5).double(1, 1, 1, 2, 2, 2).record(b"radiusPP", 3).double(0.1, 0.2),
        "a producer's layout": PdcBytes().header(2, 7).record(b"count", 0).int32(2).record(b"id", 1).int32(7, 9)
        .record(b"position", 5).double(0, 0, 0, 1, 1, 1).record(b"velocity", 5).double(1, 0, 0, 0, 1, 0)
        .record(b"age", 3).double(0.25, 3).record(b"lifespanPP", 3).double(10, 20).record(b"spin", 4).double(0, 1, 0),
        "one name twice, the issue's": PdcBytes().header(2, 3).record(b"age", 3).double(1, 1)
        .record(b"age", 3).double(2, 2).record(b"position", 5).double(0, 0, 0, 1, 1, 1),
        "one name, three codes": PdcBytes().header(2, 3).record(b"heat", 1).int32(5, 6).record(b"heat", 2)
        .double(0.5).record(b"heat", 5).double(1, 2, 3, 4, 5, 6),
        "a single position after the per-particle one": PdcBytes().header(1, 3).record(b"position", 5).double(1, 2, 3)
        .record(b"position", 4).double(4, 5, 6).record(b"id", 2).double(3),
        "id last as a vector": PdcBytes().header(1, 2).record(b"id", 3).double(8).record(b"id", 4).double(1, 2, 3),
        "a name cut at a zero byte": PdcBytes().header(1, 2).record(b"mass\0x", 2).double(4)
        .record(b"mass", 3).double(5),
        "name-only last record": PdcBytes().header(1, 2).record(b"age", 3).double(1).int32(5).raw(b"trail"),
        "trailing bytes": PdcBytes().header(1, 1).record(b"age", 3).double(1).raw(b"\1\2\3"),
        "zero particles": PdcBytes().header(0, 2).record(b"id", 1).record(b"position", 5),
        "non-finite values": PdcBytes().header(3, 2).record(b"age", 3).double(NAN, INF, -INF)
        .record(b"velocity", 5).double(1, NAN, 3, INF, 0, 0, -0.0, 5e-324, 1e308),
        "other version and byte order": PdcBytes().raw(b"PDC ").int32(2, 0, 7, -1, 2, 1).record(b"age", 3)
        .double(3, 4),
        "negative count, single values": PdcBytes().header(-4, 2).record(b"mass", 2).double(2)
        .record(b"wind", 4).double(1, 0, 0),
        "names the host decodes alike": PdcBytes().header(1, 2).record("é".encode(), 3).double(1)
        .record(b"\xe9", 3).double(2),
        "an empty name": PdcBytes().header(1, 2).record(b"", 3).double(1).record(b"age", 3).double(2),
        "another tag": PdcBytes().header(1, 1, format=b"PDC\0").record(b"age", 3).double(1),
    }
    return {name: bytes(file.data) for name, file in files.items()}


def corpus(folder: Path) -> Dict[str, bytes]:
    """Every file to compare on, by name."""
    files: Dict[str, bytes] = {}
    for name, data in producer_files().items():
        files[f"producer: {name}"] = data
        for cut in range(len(data)):
            files[f"producer: {name}, cut after {cut} bytes"] = data[:cut]
    fixtures = folder / "fixtures"
    program = os.environ.get("VELPO_FIXTURES")
    if not program:
        pytest.fail("VELPO_FIXTURES is not set; run these tests through ctest")
    subprocess.run([program, str(fixtures)], check=True, timeout=60)
    for path in sorted(fixtures.iterdir()):
        files[f"fixture: {path.name}"] = path.read_bytes()
    for path in sorted((SOURCE / "fuzz").glob("*/**/*")):
        if path.is_file():
            files[f"fuzz: {path.relative_to(SOURCE / 'fuzz')}"] = path.read_bytes()
    return files


@dataclass
class Delivered:
    name: str
    code: int
    values: np.ndarray


def read_delivered(path: Path) -> Tuple[Optional[str], int, List[velpo.Record], List[Delivered]]:
    """(why velpo.read refuses the file or None, particle count, every
    record, the record each name delivers)."""
    try:
        cache = velpo.read(path)
    except velpo.PdcError as error:
        return error.reason, 0, [], []
    delivered = [Delivered(name, cache.code(name), cache[name]) for name in cache]
    return None, cache.particle_count, cache.records(), delivered


def shown(name: str) -> str:
    """A name as JSON can hold it: bytes that are not UTF-8 as U+FFFD."""
    return name.encode("utf-8", "surrogateescape").decode("utf-8", "replace")


def without_names(reason: str) -> str:
    """A reason without the record's quoted name, which Python shows with
    escapes and JSON with U+FFFD where the bytes are not UTF-8."""
    return re.sub(r' \("[^"]*"\)', "", reason)


def nonfinite(values: np.ndarray) -> Tuple[int, int]:
    as_doubles = values.astype(np.float64)
    return int(np.isnan(as_doubles).sum()), int(np.isinf(as_doubles).sum())


# ---- the nodes ----

SLOT_KINDS = (("Float", 10, (2, 3)), ("Long", 5, (0, 1)), ("Vector", 10, (4, 5)))


def node_batches(delivered: List[Delivered]) -> Iterator[Dict[str, str]]:
    """Settings parameters that give each delivered name one slot of the
    type that takes its record, as few settings as the slots allow."""
    queues = {kind: [d.name for d in delivered if d.code in codes and d.name not in ("id", "position")]
              for kind, _, codes in SLOT_KINDS}
    while True:
        batch = {}
        for kind, count, _ in SLOT_KINDS:
            taken, queues[kind] = queues[kind][:count], queues[kind][count:]
            batch.update({f"{kind}{i}": name for i, name in enumerate(taken)})
        yield batch
        if not any(queues.values()):
            return


def nodes_values(host: velpo.Host, folder: Path, frame: int, delivered: List[Delivered]) -> Tuple[Optional[int], Dict[str, np.ndarray]]:
    """(element count VelpoImport gave, or None when the nodes read nothing;
    what VelpoSetData gave per name)."""
    count: Optional[int] = None
    values: Dict[str, np.ndarray] = {}
    for batch in node_batches(delivered):
        settings = {"Path": str(folder / "f"), **batch}
        try:
            with warnings.catch_warnings():
                warnings.simplefilter("ignore", velpo.SettingsWarning)
                table = host.import_(settings, frame).table
        except velpo.HostError:
            return None, {}
        count = len(table["id"])
        values.update(table)
    return count, values


def expected_from_nodes(record: Delivered, count: int) -> np.ndarray:
    """What a slot of the record's type gives `count` points: int32 for
    integers, float32 for doubles and vectors, a single value for all."""
    with np.errstate(over="ignore"):  # a double beyond a float's range narrows to infinity
        numbers = record.values.astype(np.int32 if record.code <= 1 else np.float32)
    if record.code % 2 == 0:
        numbers = np.broadcast_to(numbers, (count,) + numbers.shape)
    return numbers[:count]


def same(a: np.ndarray, b: np.ndarray) -> bool:
    return a.shape == b.shape and bool(np.all((a == b) | (np.isnan(a.astype(float)) & np.isnan(b.astype(float)))))


# ---- the command ----

def check_frames(folder: Path) -> Dict[int, Dict[str, Any]]:
    run = run_velpo("check", folder / "f.#.pdc", "--json", check=False)
    assert run.returncode in (0, 1) and run.stdout, run.stderr[-2000:]
    report = json.loads(run.stdout, parse_constant=lambda name: pytest.fail(f"check --json wrote {name}"))
    return {row["frame"]: row for row in report["frames"]}


def info_stats(record: Dict[str, Any], values: np.ndarray) -> List[str]:
    """Where info's statistics of a record differ from its values."""
    components = values.reshape(-1, 3) if record["code"] >= 4 else values.reshape(-1, 1)
    wrong = []
    for c in range(components.shape[1]):
        finite = components[:, c].astype(np.float64)
        finite = finite[np.isfinite(finite)]
        for key, computed in (("min", np.min), ("max", np.max), ("mean", np.mean)):
            reported = record.get(key)
            if reported is None or not finite.size:
                continue
            value = reported[c]
            if isinstance(value, (int, float)) and not math.isclose(value, float(computed(finite)), rel_tol=1e-12, abs_tol=1e-300):
                wrong.append(f"{key}[{c}] {value} != {computed(finite)}")
    return wrong


def test_every_reader_gives_the_same_answer_on_every_file(scratch: Path) -> None:
    folder = scratch / "files"
    folder.mkdir()
    files = corpus(scratch)
    names = list(files)
    for frame, name in enumerate(names):
        (folder / f"f.{frame}.pdc").write_bytes(files[name])
    checked = check_frames(folder)
    host = velpo.Host(threads=2)
    problems: List[str] = []
    compared_values = 0
    refused = 0
    for frame, name in enumerate(names):
        path = folder / f"f.{frame}.pdc"
        said = lambda text: problems.append(f"{name}: {text}")
        failure, particles, records, delivered = read_delivered(path)
        info = velpo.info(path)
        row = checked[frame]
        # One verdict.
        if (failure is None) != info["readable"] or (failure is None) != row["readable"]:
            said(f"verdicts differ: read {failure!r}, info {info['readable']}, check {row['readable']}")
            continue
        if failure is not None:
            refused += 1
            texts = [p if isinstance(p, str) else p.get("text", "") for p in info["problems"]]
            if not any(without_names(failure) in without_names(text) for text in texts):
                said(f"info's reason differs from read's {failure!r}: {info['problems']}")
            count, _ = nodes_values(host, folder, frame, [])
            tagged = files[name][:4] == b"PDC " or len(files[name]) < 4
            if count and tagged:
                said(f"the nodes read {count} particles from a file the tools refuse: {failure}")
            if not tagged and not failure.startswith("not a PDC file"):
                said(f"a file of another tag is refused for another reason: {failure}")
            if name == "producer: another tag" and count != 1:
                said(f"the nodes, which do not test the tag, read {count} particles, not 1")
            continue
        # The same records, all of them, in file order.
        listed = [(r["name"], r["code"], r["count"]) for r in info["records"]]
        read_all = [(shown(r.name), r.code, r.values.shape[0] if r.code % 2 else 1) for r in records]
        if listed != read_all:
            said(f"info lists {listed}, read {read_all}")
        for record, values in zip(info["records"], records):
            for wrong in info_stats(record, values.values):
                said(f"info's statistics of {record['name']!r}: {wrong}")
        # The same record per name.
        attributes = [(a["name"], a["code"], a["nan"], a["infinite"]) for a in row["attributes"]]
        per_name = [(shown(d.name), d.code, *nonfinite(d.values)) for d in delivered]
        if attributes != per_name or row["particleCount"] != particles:
            said(f"check has {attributes} of {row['particleCount']}, read {per_name} of {particles}")
        # The nodes deliver what read gives.
        named = [d for d in delivered if d.name and "\0" not in d.name and d.name.isprintable() and
                 d.name.encode("utf-8", "surrogateescape").decode("utf-8", "replace") == d.name]
        count, outputs = nodes_values(host, folder, frame, named)
        if count is None:
            said("the nodes refuse a file every tool reads")
            continue
        if count != max(particles, 0):
            said(f"VelpoImport gives {count} elements for {particles} particles")
        for record in named:
            fixed = {"id": (0, 1, 2, 3), "position": (4, 5)}.get(record.name)
            if fixed is not None and record.code not in fixed:
                continue  # no slot of the nodes takes it
            expected = expected_from_nodes(record, count)
            if not same(outputs[record.name], expected):
                said(f"the nodes give {record.name!r} = {outputs[record.name][:4]}, read {expected[:4]}")
            compared_values += 1
    assert problems == [], "\n".join(problems[:40])
    # The comparison must not pass by having nothing to compare.
    assert compared_values > 75 and refused > 1500 and len(names) - refused > 40, (compared_values, refused, len(names))
