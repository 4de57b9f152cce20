"""Files that the nodes refuse, and arguments that make no sense: PdcError
naming the file and the reason, TypeError or ValueError naming the argument,
never a crash, a hang or memory beyond the file's size."""

from __future__ import annotations

import errno
import json
import os
import pickle
import random
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

import velpo
from conftest import SANITIZED, PdcBytes, velpo as velpo_command


def valid_file(path: Path) -> Path:
    """Every record kind, three particles."""
    return (
        PdcBytes().header(3, 6)
        .record(b"id", 1).int32(1, 2, 3)
        .record(b"position", 5).double(*range(9))
        .record(b"age", 3).double(0.5, 1.5, 2.5)
        .record(b"kind", 0).int32(4)
        .record(b"drag", 2).double(0.25)
        .record(b"wind", 4).double(1, 0, 0)
        .save(path)
    )


def refusal(path: Path) -> str:
    with pytest.raises(velpo.PdcError) as raised:
        velpo.read(path)
    assert raised.value.filename == str(path)
    assert str(raised.value) == f"{path}: {raised.value.reason}"
    return raised.value.reason


# (file, the walker's reason)
DEFECTS = [
    (PdcBytes().raw(b"PDC ").int32(1, 1), "truncated header: the file holds 12 bytes, a header takes 28"),
    (PdcBytes().header(1, 1).int32(-5), "record 0 at byte 28: negative name length -5"),
    (PdcBytes().header(1, 1).int32(1000).raw(b"abc"),
     "record 0 at byte 28: name length 1000 exceeds the 3 bytes left (forged length or truncated file)"),
    (PdcBytes().header(1, 2).record(b"age", 3).double(1).record(b"x", 9).double(1),
     'record 1 at byte 47 ("x"): unknown type code 9'),
    (PdcBytes().header(1, 1).record(b"age", -1).double(1), 'record 0 at byte 28 ("age"): unknown type code -1'),
    (PdcBytes().header(1, 1).record(b"age", 2**31 - 1), 'record 0 at byte 28 ("age"): unknown type code 2147483647'),
    (PdcBytes().header(-3, 1).record(b"age", 3).double(1),
     'record 0 at byte 28 ("age"): array record under a negative particle count -3'),
    (PdcBytes().header(2**31 - 1, 1).record(b"position", 5).double(1, 2, 3),
     'record 0 at byte 28 ("position"): 2147483647 values need 51539607528 bytes, only 24 are left '
     "(truncated file or forged particle count)"),
    (PdcBytes().header(2, 1).record(b"id", 1).int32(7),
     'record 0 at byte 28 ("id"): 2 values need 8 bytes, only 4 are left (truncated file or forged particle count)'),
    (PdcBytes().header(1, 2**31 - 1).record(b"age", 3).double(1),
     "record 1 at byte 47: the file ends inside its name length (truncated file)"),
    (PdcBytes().header(1, 1).record(b"age", 3).raw(b"\x3f"),
     'record 0 at byte 28 ("age"): 1 values need 8 bytes, only 1 are left (truncated file or forged particle count)'),
]


@pytest.mark.parametrize("content, reason", DEFECTS)
def test_broken_files_raise_the_walkers_reason(scratch: Path, content: PdcBytes, reason: str) -> None:
    assert refusal(content.save(scratch / "broken.pdc")) == reason


def test_a_file_is_refused_at_every_cut_as_the_nodes_refuse_it(scratch: Path) -> None:
    whole = valid_file(scratch / "whole.pdc").read_bytes()
    host = velpo.Host()
    settings = {"Path": str(scratch / "cut.pdc"), "Step": 1, "Float0": "age", "Float1": "drag",
                "Long0": "kind", "Vector0": "wind"}
    cache = velpo.file_name(settings["Path"], 1, 1)
    for end in range(len(whole)):
        Path(cache).write_bytes(whole[:end])
        try:
            part = velpo.read(cache)
        except velpo.PdcError as error:
            assert "truncated" in error.reason, (end, error.reason)
            with pytest.raises(velpo.HostError):
                host.import_(settings, 1)
        else:
            # Cut right after the last record's name: the records before it
            # are taken, by the nodes too.
            assert end == len(whole) - 4 - 3 * 8, end
            assert part.names() == ["id", "position", "age", "kind", "drag"]
            assert host.import_(settings, 1).table["age"].tolist() == [0.5, 1.5, 2.5]


def test_mutated_files_give_a_cache_or_a_pdc_error(scratch: Path) -> None:
    whole = bytearray(valid_file(scratch / "whole.pdc").read_bytes())
    rng = random.Random(20240613)
    outcomes = {"read": 0, "refused": 0}
    for _ in range(400):
        mutated = bytearray(whole)
        for _ in range(rng.randint(1, 4)):
            mutated[rng.randrange(len(mutated))] = rng.randrange(256)
        Path("mutated.pdc").write_bytes(mutated)
        try:
            cache = velpo.read("mutated.pdc")
            sum(array.size for array in cache.values())
            outcomes["read"] += 1
        except velpo.PdcError:
            outcomes["refused"] += 1
    assert outcomes["read"] > 0 and outcomes["refused"] > 0


def test_what_is_not_a_readable_file_names_the_systems_reason(scratch: Path) -> None:
    with pytest.raises(velpo.PdcError) as missing:
        velpo.read("absent.pdc")
    assert isinstance(missing.value, OSError) and missing.value.errno == errno.ENOENT
    assert str(missing.value) == "absent.pdc: No such file or directory"

    os.mkdir("folder.pdc")
    assert refusal(scratch / "folder.pdc") in (
        "cannot be read: Is a directory",
        "the size of the file cannot be found (not a regular file)",
    )
    # A named pipe with no writer must not hold the read.
    os.mkfifo("pipe.pdc")
    assert refusal(scratch / "pipe.pdc") == "the size of the file cannot be found (not a regular file)"
    assert refusal(Path("/dev/null")) == "truncated header: the file holds 0 bytes, a header takes 28"


LIMITED = """
import resource, sys
import velpo
with open("/proc/self/status") as status:
    size = next(int(line.split()[1]) for line in status if line.startswith("VmSize:")) * 1024
resource.setrlimit(resource.RLIMIT_AS, (size + 256 * 2**20, resource.RLIM_INFINITY))
for name in sys.argv[1:]:
    try:
        velpo.read(name)
    except velpo.PdcError as error:
        print("refused", error.reason)
    else:
        print("read")
"""


@pytest.mark.skipif(SANITIZED, reason="AddressSanitizer reserves more address space than the limit")
def test_memory_stays_bounded_by_the_file_size(scratch: Path) -> None:
    # Forged counts that a reader sizing its arrays before checking the file
    # would turn into gigabytes; in a child whose address space is limited
    # to 256 MiB more than it holds, so that such a reader would fail there.
    PdcBytes().header(2**31 - 1, 1).record(b"position", 5).double(1, 2, 3).save(scratch / "count.pdc")
    PdcBytes().header(1, 2**31 - 1).record(b"age", 3).double(1).save(scratch / "records.pdc")
    PdcBytes().header(1, 1).int32(2**31 - 1).raw(b"a" * 100).save(scratch / "name.pdc")
    velpo.write("large.pdc", {"position": np.zeros((4_000_000, 3))})  # 96 MB, within the limit
    run = subprocess.run(
        [sys.executable, "-c", LIMITED, "count.pdc", "records.pdc", "name.pdc", "large.pdc"],
        capture_output=True, text=True, timeout=120,
    )
    assert run.returncode == 0, run.stderr
    assert run.stdout.splitlines() == [
        'refused record 0 at byte 28 ("position"): 2147483647 values need 51539607528 bytes, '
        "only 24 are left (truncated file or forged particle count)",
        "refused record 1 at byte 47: the file ends inside its name length (truncated file)",
        "refused record 0 at byte 28: name length 2147483647 exceeds the 100 bytes left "
        "(forged length or truncated file)",
        "read",
    ]


BAD_READS = [
    # (call, exception, words the message must hold)
    (lambda: velpo.read(42), TypeError, "velpo.read: the path must be str, bytes or os.PathLike, not int"),
    (lambda: velpo.read(None), TypeError, "not NoneType"),
    (lambda: velpo.read("f.pdc", attributes=5), TypeError, "attributes must be a list of names"),
    (lambda: velpo.read("f.pdc", attributes=b"id"), TypeError, "not bytes"),
    (lambda: velpo.read("f.pdc", attributes=["a\0"]), ValueError, "zero character"),
    (lambda: velpo.read("f\0.pdc"), ValueError, "velpo.read: the path 'f\\x00.pdc' holds a null byte"),
]


@pytest.mark.parametrize("call, error, words", BAD_READS)
def test_bad_arguments_name_what_is_wrong(scratch: Path, call, error: type, words: str) -> None:
    velpo.write("f.pdc", {"id": [1.0]})
    with pytest.raises(error) as raised:
        call()
    assert words in str(raised.value)


def test_pdc_error_is_an_os_error_that_survives_pickling() -> None:
    error = velpo.PdcError("cache/fluid.1.pdc", "truncated header", errno.EIO)
    copy = pickle.loads(pickle.dumps(error))
    assert isinstance(copy, OSError) and type(copy) is velpo.PdcError
    assert (copy.filename, copy.reason, copy.errno, str(copy)) == (
        "cache/fluid.1.pdc", "truncated header", errno.EIO, "cache/fluid.1.pdc: truncated header"
    )


def test_a_file_of_another_kind_is_not_a_pdc_file_for_every_tool(scratch: Path) -> None:
    # A PLY whose header words, read as counts, would make a "name length
    # 1767992864" of its first record.
    ply = scratch / "points.1.pdc"
    ply.write_bytes(b"ply\nformat binary_little_endian 1.0\nelement vertex 1\nproperty double x\nend_header\n"
                    + bytes(8))
    reason = 'not a PDC file: its first four bytes are "ply\\x0a", not "PDC "'
    assert refusal(ply) == reason
    facts = velpo.info(ply)
    texts = [p if isinstance(p, str) else p.get("text", "") for p in facts["problems"]]
    assert facts["readable"] is False and reason in texts
    good = valid_file(scratch / "good.pdc")
    (scratch / "s.json").write_text(json.dumps({"Path": str(scratch / "points")}))
    for command in (["info", ply], ["dump", ply], ["diff", ply, good], ["diff", good, ply], ["check", ply],
                    ["convert", ply, scratch / "out.ply"], ["preview", ply, "-o", scratch / "out.png"],
                    ["import", "--settings", scratch / "s.json", "--frames", "1", "--output", scratch / "t.#.csv"]):
        run = velpo_command(*command, check=False)
        assert run.returncode == 1, (command, run.stderr)
        assert reason in run.stdout + run.stderr, (command, run.stdout, run.stderr)
        assert "name length" not in run.stdout + run.stderr
    assert not (scratch / "out.ply").exists() and not (scratch / "out.png").exists()
