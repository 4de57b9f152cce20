"""The interpreter's lock is released while files are read and written, so
other Python threads go on; reads from several threads at once agree."""

from __future__ import annotations

import subprocess
import sys
import threading
import time
from pathlib import Path
from typing import Callable, Iterator

import numpy as np
import pytest

import velpo


@pytest.fixture
def no_forced_switch() -> Iterator[None]:
    # With the switch interval this long the interpreter never takes the
    # lock from a thread that holds it: a second thread can only run while
    # the first releases it itself.
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1000)
    yield
    sys.setswitchinterval(interval)


def progress_during(call: Callable[[], object]) -> int:
    """How often a second thread counted while `call` ran in this one."""
    counted = [0]
    running = threading.Event()
    stop = threading.Event()

    def count() -> None:
        running.set()
        while not stop.is_set():
            counted[0] += 1
            time.sleep(0)  # hands the lock back at once, and asks for it again

    thread = threading.Thread(target=count)
    thread.start()
    running.wait()
    before = counted[0]
    call()
    during = counted[0] - before
    stop.set()
    thread.join()
    return during


def large_cache() -> dict:
    n = 2_000_000
    return {"position": np.ones((n, 3)), "velocity": np.zeros((n, 3)), "id": np.arange(n)}


def test_another_thread_runs_while_a_file_is_read(scratch: Path, no_forced_switch: None) -> None:
    velpo.write("large.pdc", large_cache())
    assert max(progress_during(lambda: velpo.read("large.pdc")) for _ in range(3)) > 0


def test_another_thread_runs_while_a_file_is_written(scratch: Path, no_forced_switch: None) -> None:
    data = large_cache()
    assert max(progress_during(lambda: velpo.write("large.pdc", data)) for _ in range(3)) > 0


def test_a_call_that_keeps_the_lock_lets_no_thread_run(no_forced_switch: None) -> None:
    # The measure itself: pure computation holding the lock shows no progress.
    assert progress_during(lambda: sum(range(3_000_000))) == 0


def test_threads_reading_and_writing_at_once_get_whole_files(scratch: Path) -> None:
    errors = []

    def work(worker: int) -> None:
        try:
            for round in range(20):
                values = np.full((1000, 3), float(worker * 100 + round))
                velpo.write(f"w{worker}.pdc", {"position": values})
                cache = velpo.read(f"w{worker}.pdc")
                assert np.array_equal(cache["position"], values)
                shared = velpo.read("shared.pdc")["age"]
                assert shared[0] == shared[-1]
        except Exception as error:  # noqa: BLE001 - reported below
            errors.append(error)

    velpo.write("shared.pdc", {"age": np.full(10000, 5.0)})
    threads = [threading.Thread(target=work, args=(w,)) for w in range(4)]
    for thread in threads:
        thread.start()
    for _ in range(20):
        velpo.write("shared.pdc", {"age": np.full(10000, float(_))})
    for thread in threads:
        thread.join()
    assert errors == []


# Each thread exports its own frames and reads them back; on one Host
# shared by every thread, or one Host each. Run in a child interpreter, so
# that a deadlock fails the test at the timeout instead of hanging it.
HOST_THREADS = """
import sys, threading
import numpy as np
import velpo

shared = sys.argv[1] == "shared"
host = velpo.Host(threads=2) if shared else None
errors = []

def work(worker):
    try:
        mine = host or velpo.Host(threads=2)
        settings = {"Path": f"w{worker}/fluid", "Float0": "age"}
        for frame in range(1, 9):
            n = 200 + worker
            age = np.full(n, worker * 100 + frame, dtype=np.float32)
            mine.export(settings, frame, {"id": np.arange(n), "position": np.zeros((n, 3)), "age": age})
            table = mine.import_(settings, frame).table
            assert np.array_equal(table["age"], age) and len(table["id"]) == n
    except Exception as error:
        errors.append(repr(error))

threads = [threading.Thread(target=work, args=(w,)) for w in range(4)]
for thread in threads:
    thread.start()
for thread in threads:
    thread.join()
print("errors", errors)
sys.exit(1 if errors else 0)
"""


@pytest.mark.parametrize("hosts", ["shared", "one each"])
def test_threads_calling_the_nodes_run_one_after_another(scratch: Path, hosts: str) -> None:
    for worker in range(4):
        (scratch / f"w{worker}").mkdir()
    try:
        run = subprocess.run(
            [sys.executable, "-c", HOST_THREADS, hosts.split()[0]],
            capture_output=True, text=True, timeout=240,
        )
    except subprocess.TimeoutExpired:
        pytest.fail(f"threads calling velpo.Host ({hosts}) did not finish: deadlock")
    assert run.returncode == 0, run.stdout + run.stderr
    assert run.stdout.strip() == "errors []"


def test_a_thread_waiting_for_the_nodes_lets_other_threads_run(scratch: Path, no_forced_switch: None) -> None:
    host = velpo.Host()
    data = {"id": np.arange(500_000), "position": np.zeros((500_000, 3))}
    assert max(progress_during(lambda: host.export({"Path": "big"}, 1, data)) for _ in range(3)) > 0
