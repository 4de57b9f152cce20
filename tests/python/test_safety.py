"""The module used as an unlucky user would: a named pipe where a cache
should be, an export into a folder that is not there yet or that cannot
take the file, and writes asked to survive a power failure."""

from __future__ import annotations

import os
import subprocess
import sys
import warnings
from pathlib import Path

import numpy as np
import pytest

import velpo

TABLE = {"id": np.arange(3), "position": np.ones((3, 3))}

# Run in a child interpreter, so that a call that waits forever fails the
# test instead of holding it.
PIPE_READERS = """
import sys, velpo
what, path = sys.argv[1:]
if what == "info":
    report = velpo.info(path)
    print(report["readable"], [problem["text"] if isinstance(problem, dict) else problem
                               for problem in report["problems"]])
else:
    try:
        velpo.Host().import_({"Path": path[:-len(".1.pdc")]}, 1)
    except velpo.HostError as error:
        print("HostError", error)
"""


@pytest.mark.parametrize("what", ["info", "import_"])
def test_a_named_pipe_is_refused_without_waiting(scratch: Path, what: str) -> None:
    os.mkfifo("pipe.1.pdc")
    run = subprocess.run(
        [sys.executable, "-c", PIPE_READERS, what, str(scratch / "pipe.1.pdc")],
        capture_output=True, text=True, timeout=120,
    )
    assert run.returncode == 0, run.stderr
    if what == "info":
        assert run.stdout.startswith("False") and "not a regular file" in run.stdout
    else:
        assert run.stdout.startswith("HostError VelpoImport: ") and "pipe.1.pdc" in run.stdout


def test_export_makes_the_missing_folder_and_says_so(scratch: Path) -> None:
    host = velpo.Host()
    with pytest.warns(UserWarning, match="made the folder new/deep for the caches"):
        host.export({"Path": "new/deep/fluid"}, 1, TABLE)
    assert velpo.read("new/deep/fluid.1.pdc").particle_count == 3
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        host.export({"Path": "new/deep/fluid"}, 2, TABLE)


def test_export_that_cannot_write_says_why_after_the_nodes_message(scratch: Path) -> None:
    os.mkdir("fluid.1.pdc")
    with pytest.raises(velpo.HostError) as failure:
        velpo.Host().export({"Path": "fluid"}, 1, TABLE)
    assert str(failure.value) == "VelpoExport: Cannot Write fluid.1.pdc (is a folder)"
    assert [entry.text for entry in failure.value.log] == ["VelpoExport: Cannot Write fluid.1.pdc"]


def test_writes_asked_to_survive_a_power_failure(scratch: Path) -> None:
    velpo.write("a.1.pdc", {"age": np.arange(4.0)}, sync=True)
    np.testing.assert_array_equal(velpo.read("a.1.pdc")["age"], np.arange(4.0))
    velpo.Host().export({"Path": "b"}, 1, TABLE, sync=True)
    np.testing.assert_array_equal(velpo.read("b.1.pdc")["id"], np.arange(3.0))
    with pytest.raises(TypeError, match="sync must be True or False"):
        velpo.write("a.1.pdc", {"age": np.arange(4.0)}, sync="yes")
    with pytest.raises(TypeError, match="sync must be True or False"):
        velpo.Host().export({"Path": "b"}, 1, TABLE, sync=1)
