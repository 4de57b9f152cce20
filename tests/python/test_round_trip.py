"""velpo.write then velpo.read: every record kind back exactly, the bytes the
format prescribes, attributes= reading, and the writes that are refused."""

from __future__ import annotations

import math
import os
import signal
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

import velpo
from conftest import PdcBytes

# Doubles whose bits must survive: signed zeros, extremes, a subnormal, NaN
# with a payload, infinities, a value with no short binary form.
SPECIAL = np.array(
    [0.0, -0.0, 1.0, -2.5, 5e-324, 1.7976931348623157e308, -math.inf, math.inf, 0.1, 2.0**53]
    + [np.frombuffer(bytes.fromhex("7ff8000000000123"), ">f8")[0]],
    dtype=np.float64,
)
INTS = np.array([-(2**31), -1, 0, 1, 7, 2**31 - 1], dtype=np.int32)


def same_bits(a: np.ndarray, b: np.ndarray) -> bool:
    return a.shape == b.shape and a.dtype == b.dtype and a.tobytes() == b.tobytes()


def test_every_record_kind_comes_back_exactly(scratch: Path) -> None:
    n = len(SPECIAL)
    data = {
        "count": np.int32(-7),                      # code 0
        "id": np.resize(INTS, n),                   # code 1
        "drag": SPECIAL[4],                         # code 2
        "age": SPECIAL,                             # code 3
        "wind": SPECIAL[[1, 4, 10]],                # code 4
        "position": np.stack([SPECIAL, SPECIAL[::-1], -SPECIAL], axis=1),  # code 5
    }
    velpo.write("all.pdc", data, integers="int32", singles={"wind"})
    cache = velpo.read("all.pdc")
    assert cache.names() == list(data)
    assert [cache.code(name) for name in cache] == [0, 1, 2, 3, 4, 5]
    assert [cache.is_array(name) for name in cache] == [False, True, False, True, False, True]
    assert cache.particle_count == n
    expected = {
        "count": np.array(-7, dtype=np.int32),
        "id": np.resize(INTS, n),
        "drag": np.array(SPECIAL[4]),
        "age": SPECIAL,
        "wind": SPECIAL[[1, 4, 10]],
        "position": data["position"],
    }
    for name, values in expected.items():
        assert same_bits(cache[name], values), name


@pytest.mark.parametrize("integers", ["double", "int32"])
def test_integer_vectors_are_written_whatever_integers_asks(scratch: Path, integers: str) -> None:
    # The format has no integer vectors: they go out as doubles, exactly.
    cells = np.array([[2**31 - 1, -(2**31), 0], [7, -8, 2**40]], dtype=np.int64)
    velpo.write("grid.pdc", {"cell": cells, "origin": np.array([1, 2, 3], dtype=np.int16), "id": [4, 5]},
                integers=integers, singles={"origin"})
    cache = velpo.read("grid.pdc")
    assert [cache.code(name) for name in cache] == [5, 4, 1 if integers == "int32" else 3]
    assert same_bits(cache["cell"], cells.astype(np.float64))
    assert same_bits(cache["origin"], np.array([1.0, 2.0, 3.0]))


def test_written_bytes_are_the_formats(scratch: Path) -> None:
    velpo.write(
        "spelled.pdc",
        {"id": np.array([3, -4]), "position": np.array([[1.0, 2, 3], [-0.0, 0.5, 1e300]]), "kind": 9,
         "state": np.array([5, 6], dtype=np.uint16), "gravity": [0, -9.8, 0]},
        integers="int32",
        singles={"gravity"},
    )
    expected = (
        PdcBytes().header(2, 5)
        .record(b"id", 1).int32(3, -4)
        .record(b"position", 5).double(1, 2, 3, -0.0, 0.5, 1e300)
        .record(b"kind", 0).int32(9)
        .record(b"state", 1).int32(5, 6)
        .record(b"gravity", 4).double(0, -9.8, 0)
    )
    assert Path("spelled.pdc").read_bytes() == bytes(expected.data)


def test_by_default_integers_are_written_as_the_nodes_write_them(scratch: Path) -> None:
    velpo.write("nodes.pdc", {"id": np.array([1, 2**53, -(2**53)], dtype=np.int64), "kind": 3})
    assert Path("nodes.pdc").read_bytes() == bytes(
        PdcBytes().header(3, 2).record(b"id", 3).double(1, 2.0**53, -(2.0**53)).record(b"kind", 2).double(3).data
    )
    cache = velpo.read("nodes.pdc")
    assert cache["id"].dtype == np.float64 and cache["kind"].shape == ()


def test_a_read_cache_writes_back_to_the_same_bytes(scratch: Path) -> None:
    original = (
        PdcBytes().header(3, 6)
        .record(b"a", 0).int32(-1)
        .record(b"b", 1).int32(1, 2, 3)
        .record(b"c", 2).double(0.25)
        .record(b"d", 3).double(1, 2, 3)
        .record(b"e", 4).double(1, 2, 3)     # one vector among three particles
        .record(b"f", 5).double(*range(9))
        .save(scratch / "original.pdc")
    )
    for integers in ("double", "int32"):
        velpo.write("copy.pdc", velpo.read(original), integers=integers)
        assert Path("copy.pdc").read_bytes() == original.read_bytes()
    cache = velpo.read("copy.pdc")
    assert [cache.code(name) for name in cache] == [0, 1, 2, 3, 4, 5]


def test_a_read_cache_keeps_the_codes_and_kinds_of_a_nodes_file(scratch: Path) -> None:
    # A file as a producer writes it: integer records among vectors and doubles.
    original = (
        PdcBytes().header(2, 6)
        .record(b"position", 5).double(*range(6))
        .record(b"id", 1).int32(7, 8)
        .record(b"age", 3).double(0.5, 1.5)
        .record(b"velocity", 5).double(*range(6))
        .record(b"state", 1).int32(-1, 2**31 - 1)
        .record(b"mass", 2).double(3.0)
        .save(scratch / "producer.pdc")
    )
    velpo.write("copy.pdc", velpo.read(original))
    copy = velpo.read("copy.pdc")
    assert [copy.code(name) for name in copy] == [5, 1, 3, 5, 1, 2]
    assert [copy.is_array(name) for name in copy] == [True, True, True, True, True, False]
    assert Path("copy.pdc").read_bytes() == original.read_bytes()
    partial = velpo.read(original, attributes=["state", "mass"])
    velpo.write("part.pdc", partial)
    assert [(r.name, r.code) for r in velpo.read("part.pdc").records()] == [("state", 1), ("mass", 2)]
    with pytest.raises(ValueError, match=r"singles names \['age'\]"):
        velpo.write("bad.pdc", copy, singles={"age"})
    with pytest.raises(ValueError, match="'position' .* not \\(3, 3\\) for 3 particles"):
        velpo.write("bad.pdc", copy, particle_count=3)


def test_header_names_and_single_values(scratch: Path) -> None:
    PdcBytes().raw(b"PDC ").int32(3, -1, 7, 8, 2, 2).record(b"mass", 2).double(4.5).record(b"v", 3).double(1, 2).save(
        scratch / "h.pdc"
    )
    cache = velpo.read("h.pdc")
    assert cache.header == {
        "format": "PDC ", "version": 3, "byteOrder": -1, "reserved1": 7, "reserved2": 8,
        "particleCount": 2, "attributeCount": 2,
    }
    assert cache["mass"].ndim == 0 and float(cache["mass"]) == 4.5
    assert cache.names() == ["mass", "v"] and len(cache) == 2 and "v" in cache and "w" not in cache
    with pytest.raises(KeyError, match="h.pdc.*'w'"):
        cache["w"]


def test_arrays_own_their_buffers_and_outlive_the_cache(scratch: Path) -> None:
    velpo.write("own.pdc", {"position": np.arange(30.0).reshape(10, 3), "age": np.arange(10.0)})
    cache = velpo.read("own.pdc")
    position, age = cache["position"], cache["age"]
    # Each array sits on the one buffer its record was decoded into, not on a
    # copy and not on a block shared with another record.
    assert not isinstance(position.base, np.ndarray) and position.base is not None
    assert not np.shares_memory(position, age)
    assert position.flags.c_contiguous and position.flags.writeable
    del cache
    age[:] = -1
    assert position[9, 2] == 29.0 and age.sum() == -10


def test_attributes_reads_only_the_named_records(scratch: Path) -> None:
    big = np.arange(3 * 50000, dtype=np.float64).reshape(-1, 3)
    velpo.write("some.pdc", {"position": big, "age": np.arange(50000.0), "drag": 0.5, "id": np.arange(50000)})
    part = velpo.read("some.pdc", attributes=["id", "drag"])
    assert part.names() == ["drag", "id"]     # file order
    whole = velpo.read("some.pdc")
    assert same_bits(part["id"], whole["id"]) and same_bits(part["drag"], whole["drag"])
    assert velpo.read("some.pdc", attributes=[]).names() == []
    assert velpo.read("some.pdc", attributes=("age",)).names() == ["age"]
    with pytest.raises(TypeError, match="attributes"):
        velpo.read("some.pdc", attributes="position")
    with pytest.raises(TypeError, match="names must be str"):
        velpo.read("some.pdc", attributes=[b"position"])


def test_a_name_the_file_lacks_is_a_key_error_naming_it(scratch: Path) -> None:
    velpo.write("some.pdc", {"position": np.zeros((2, 3)), "age": np.ones(2)})
    for wanted, missing in [(["position", "nosuch"], "'nosuch'"), (["x", "age", "y"], "'x', 'y'"),
                            (["Age"], "'Age'")]:
        with pytest.raises(KeyError) as raised:
            velpo.read("some.pdc", attributes=wanted)
        assert f"some.pdc: no record {missing} in the file" in str(raised.value)


def test_of_records_sharing_a_name_the_last_is_read_as_the_nodes_deliver_it(scratch: Path) -> None:
    PdcBytes().header(2, 4).record(b"age", 3).double(1, 1).record(b"x\0junk", 2).double(3).record(
        b"age", 3).double(2, 2).record(b"mass", 2).double(4).save(scratch / "twice.pdc")
    cache = velpo.read("twice.pdc")
    assert cache.names() == ["x", "age", "mass"] and list(cache["age"]) == [2, 2]
    assert [(r.name, r.code, list(np.atleast_1d(r.values)), r.delivered) for r in cache.records()] == [
        ("age", 3, [1, 1], False), ("x", 2, [3], True), ("age", 3, [2, 2], True), ("mass", 2, [4], True)
    ]
    part = velpo.read("twice.pdc", attributes=["age"])
    assert list(part["age"]) == [2, 2] and [r.delivered for r in part.records()] == [False, True]
    # Writing the Cache keeps every record, the hidden one included (the
    # name "x\0junk" as readers cut it).
    velpo.write("again.pdc", cache)
    again = velpo.read("again.pdc")
    assert [(r.name, r.code, r.values.tolist(), r.delivered) for r in again.records()] == [
        (r.name, r.code, r.values.tolist(), r.delivered) for r in cache.records()
    ]


def test_a_record_of_the_empty_name_is_listed_and_delivered_by_no_name(scratch: Path) -> None:
    # No slot bears the empty name (it marks a slot unused), so no reader
    # delivers such a record; it stays in the listing.
    PdcBytes().header(1, 3).record(b"", 3).double(1).record(b"\0cut", 2).double(2).record(b"age", 3).double(3).save(
        scratch / "empty.pdc"
    )
    cache = velpo.read("empty.pdc")
    assert cache.names() == ["age"] and "" not in cache
    assert [(r.name, r.delivered) for r in cache.records()] == [("", False), ("", False), ("age", True)]


def test_names_compare_as_the_nodes_compare_them(scratch: Path) -> None:
    # b"\xe9" is no UTF-8: the host reads it as Latin-1 "é", the name that
    # "é" in UTF-8 spells too, so the second record hides the first.
    PdcBytes().header(1, 2).record("é".encode(), 3).double(1).record(b"\xe9", 3).double(2).save(
        scratch / "same.pdc"
    )
    cache = velpo.read("same.pdc")
    assert cache.names() == ["\udce9"] and cache["é"][0] == 2 and cache["\udce9"][0] == 2 and "é" in cache
    assert [r.delivered for r in cache.records()] == [False, True]
    assert velpo.read("same.pdc", attributes=["é"])["é"][0] == 2


def test_names_that_are_not_utf8_keep_their_bytes(scratch: Path) -> None:
    PdcBytes().header(1, 2).record(b"caf\xe9", 3).double(1).record("vélo".encode(), 3).double(2).save(
        scratch / "latin.pdc"
    )
    cache = velpo.read("latin.pdc")
    assert cache.names() == ["caf\udce9", "vélo"]
    velpo.write("again.pdc", cache)
    assert Path("again.pdc").read_bytes() == (scratch / "latin.pdc").read_bytes()


def test_empty_caches_and_empty_arrays(scratch: Path) -> None:
    velpo.write("empty.pdc", {})
    assert Path("empty.pdc").read_bytes() == bytes(PdcBytes().header(0, 0).data)
    velpo.write("none.pdc", {"position": np.zeros((0, 3)), "id": np.zeros(0, dtype=np.int32)}, integers="int32")
    cache = velpo.read("none.pdc")
    assert cache["position"].shape == (0, 3) and cache["id"].shape == (0,) and cache.particle_count == 0


def test_input_dtypes_and_layouts_are_written_exactly(scratch: Path) -> None:
    base = np.array([[1.5, -2.25, 3.0], [4.0, 5.5, -6.75]])
    variants = {
        "float32": base.astype(np.float32),
        "float16": base.astype(np.float16),
        "big_endian": base.astype(">f8"),
        "fortran": np.asfortranarray(base),
        "strided": np.repeat(base, 2, axis=0)[::2],
        "int8": np.array([[1, 2, 3], [4, 5, 6]], dtype=np.int8),
        "uint32": np.array([[0, 2**32 - 1, 3], [4, 5, 6]], dtype=np.uint32),
        "list": base.tolist(),
    }
    velpo.write("kinds.pdc", variants)
    cache = velpo.read("kinds.pdc")
    for name, values in variants.items():
        assert same_bits(cache[name], np.asarray(values, dtype=np.float64)), name


BAD_WRITES = [
    # (data, keywords, exception, words the message must hold)
    ({"age": np.ones(3), "position": np.ones((4, 3))}, {}, ValueError, "'position' holds 4 particles"),
    ({"age": np.ones(3)}, {"particle_count": 5}, ValueError, "'age' holds 3 particles"),
    ({"gravity": [0.0, -9.8, 0.0], "age": np.ones(5)}, {}, ValueError, "singles="),
    ({"uv": np.ones((4, 2))}, {}, ValueError, "'uv' has shape (4, 2)"),
    ({"cube": np.ones((2, 3, 3))}, {}, ValueError, "'cube' has shape"),
    ({"wind": np.ones(4)}, {"singles": {"wind"}}, ValueError, "'wind' is one value"),
    ({"flag": np.array([True, False])}, {}, TypeError, "'flag' holds bool"),
    ({"phase": np.ones(2, dtype=complex)}, {}, TypeError, "'phase' holds complex128"),
    ({"label": ["a", "b"]}, {}, TypeError, "'label' holds <U1"),
    ({"mixed": [1, "a"]}, {}, TypeError, "'mixed' holds"),
    ({"ragged": [[1, 2], [3]]}, {}, ValueError, "'ragged' is not an array"),
    ({"wide": np.ones(2, dtype=np.longdouble)}, {}, TypeError, "'wide' is float128"),
    ({"id": np.array([2**53 + 1])}, {}, ValueError, "'id' holds 9007199254740993"),
    ({"id": np.array([2**31])}, {"integers": "int32"}, ValueError, "'id' holds 2147483648"),
    ({"id": np.array([2**32 - 1], dtype=np.uint32)}, {"integers": "int32"}, ValueError, "'id' holds 4294967295"),
    ({"a\0b": 1.0}, {}, ValueError, "zero character"),
    ({7: 1.0}, {}, TypeError, "names must be str"),
    ({"\ud800": 1.0}, {}, ValueError, "cannot be encoded"),
    ({"age": 1.0}, {"integers": "int64"}, ValueError, "integers must be"),
    ({"age": 1.0}, {"singles": "age"}, TypeError, "singles must be"),
    ({"age": 1.0}, {"singles": {"wind"}}, ValueError, "['wind']"),
    ({"age": 1.0}, {"particle_count": -1}, ValueError, "particle_count is -1"),
    ({"age": 1.0}, {"particle_count": 2**31}, ValueError, "particle_count is 2147483648"),
    ({"age": 1.0}, {"particle_count": True}, TypeError, "particle_count must be an integer"),
    ({"age": 1.0}, {"particle_count": 2.0}, TypeError, "particle_count must be an integer"),
    ([("age", 1.0)], {}, TypeError, "data must be a mapping"),
]


@pytest.mark.parametrize("data, keywords, error, words", BAD_WRITES)
def test_writes_that_cannot_be_exact_are_refused_and_leave_the_file(
    scratch: Path, data: object, keywords: dict, error: type, words: str
) -> None:
    Path("keep.pdc").write_bytes(b"earlier")
    with pytest.raises(error) as raised:
        velpo.write("keep.pdc", data, **keywords)  # type: ignore[arg-type]
    assert words in str(raised.value) and "velpo.write" in str(raised.value)
    assert Path("keep.pdc").read_bytes() == b"earlier"
    assert sorted(os.listdir(".")) == ["keep.pdc"]


def test_a_write_replaces_the_file_by_rename(scratch: Path) -> None:
    velpo.write("frame.pdc", {"age": np.ones(2)})
    with open("frame.pdc", "rb") as earlier:
        velpo.write("frame.pdc", {"age": np.zeros(3)})
        # A reader that had the earlier file open still reads all of it.
        assert len(earlier.read()) == 28 + 4 + 3 + 4 + 16
    assert velpo.read("frame.pdc").particle_count == 3
    assert sorted(os.listdir(".")) == ["frame.pdc"]


@pytest.mark.parametrize(
    "target, reason",
    [
        ("missing-folder/frame.pdc", "No such file or directory"),
        ("a-folder", "is a folder"),
        ("/dev/full", "No space left on device"),
    ],
)
def test_a_write_that_cannot_be_put_in_place_names_the_file(scratch: Path, target: str, reason: str) -> None:
    os.mkdir("a-folder")
    with pytest.raises(velpo.PdcError) as raised:
        velpo.write(target, {"age": np.ones(2)})
    assert raised.value.filename == target and raised.value.reason == reason
    assert str(raised.value) == f"{target}: {reason}"
    assert os.path.isdir("a-folder") and os.path.exists("/dev/full") and not os.path.isfile("/dev/full")
    assert sorted(os.listdir(".")) == ["a-folder"]


FULL_DISK = """
import resource, signal, sys
import numpy as np, velpo
signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
resource.setrlimit(resource.RLIMIT_FSIZE, (100000, 100000))
try:
    velpo.write("frame.pdc", {"position": np.ones((100000, 3))})
except velpo.PdcError as error:
    print(error.reason)
    sys.exit(3)
"""


def test_a_full_disk_keeps_the_earlier_file_and_leaves_no_temporary(scratch: Path) -> None:
    velpo.write("frame.pdc", {"age": np.ones(2)})
    earlier = Path("frame.pdc").read_bytes()
    # The limit is set in a child process, so it never reaches this one.
    run = subprocess.run([sys.executable, "-c", FULL_DISK], capture_output=True, text=True, timeout=120)
    assert run.returncode == 3, run.stderr
    assert run.stdout.strip() == "File too large"
    assert Path("frame.pdc").read_bytes() == earlier
    assert sorted(os.listdir(".")) == ["frame.pdc"]
