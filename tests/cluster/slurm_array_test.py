#!/usr/bin/env python3
"""velpo export and velpo check as a Slurm job array, against one process.

Starts a single-node Slurm cluster on this machine alone: munged with its own
key and socket, slurmctld and slurmd with a slurm.conf of their own, on ports
that were free a moment before, everything in a scratch folder. Then it
exports the same particle tables twice: once in one process, once as a job
array whose task K runs `velpo export --shard K/N`, and a second array, once
every export has ended well, whose task K runs `velpo check --shard K/N`.
The cache files must be byte-identical, the lines each frame printed the
same, and each task's check report the one a single process gives for the
same shard of the same files.

Every wait is bounded; the jobs and the daemons are stopped on every way
out, a signal included. Exit 77 (ctest's skip) with the reason when Slurm
is not installed or does not come up.

Usage: slurm_array_test.py --velpo PATH [--keep]
"""

from __future__ import annotations

import argparse
import json
import os
import re
import shlex
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import Dict, List, Optional

SKIP = 77
FRAMES = (1, 11)  # first and last frame
TASKS = 3         # more tasks than cores, and a shard size that does not divide the range
DAEMONS = ("munged", "mungekey", "slurmctld", "slurmd", "sbatch", "squeue", "scancel", "sinfo")
# The test's own limit; ctest's TIMEOUT is above it, so cleanup always runs.
DEADLINE = time.monotonic() + 360


class Skip(Exception):
    """Slurm cannot run here; the message says why."""


class Failure(Exception):
    """What the cluster produced differs from one process."""


def remaining(limit: float) -> float:
    """Seconds a wait may take: at most `limit`, never past the deadline."""
    left = DEADLINE - time.monotonic()
    if left <= 0:
        raise Failure("the test ran out of time")
    return min(limit, left)


def free_ports(count: int) -> List[int]:
    """Ports on the loopback that nothing listens on right now."""
    sockets = []
    try:
        for _ in range(count):
            s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            s.bind(("127.0.0.1", 0))
            sockets.append(s)
        return [s.getsockname()[1] for s in sockets]
    finally:
        for s in sockets:
            s.close()


def tail(path: Path, lines: int = 15) -> str:
    try:
        text = path.read_text(errors="replace").splitlines()
    except OSError:
        return f"  ({path} not written)"
    return "\n".join("  " + line for line in text[-lines:])


class Cluster:
    """munged, slurmctld and slurmd of this test, in `folder`."""

    def __init__(self, folder: Path):
        self.folder = folder
        self.logs = folder / "log"
        self.processes: Dict[str, subprocess.Popen] = {}
        self.env = dict(os.environ)
        self.env["SLURM_CONF"] = str(folder / "slurm.conf")
        # A Slurm of the machine, if any, must not be reached by mistake.
        for key in list(self.env):
            if key.startswith(("SLURM_", "SBATCH_", "SQUEUE_")) and key != "SLURM_CONF":
                del self.env[key]

    def start(self) -> None:
        for program in DAEMONS:
            if shutil.which(program) is None:
                raise Skip(f"{program} is not installed (Debian: slurm-wlm munge)")
        self.logs.mkdir(parents=True)
        self._start_munge()
        self._write_conf()
        self._spawn("slurmctld", ["slurmctld", "-D", "-i"])
        self._wait_until("slurmctld to answer", 30, lambda: self._quiet(["sinfo", "-h"]))
        self._spawn("slurmd", ["slurmd", "-D", "-N", self.node])
        self._wait_until("the node to be idle", 60, self._node_idle)

    def _start_munge(self) -> None:
        munge = self.folder / "munge"
        munge.mkdir(mode=0o700)
        key = munge / "munge.key"
        self._run_or_skip(["mungekey", "--create", "--keyfile", str(key)], "mungekey")
        # munged wants to reach its socket's folder; nothing else is in it.
        munge.chmod(0o711)
        self.socket = munge / "munge.socket"
        self._spawn("munged", [
            "munged", "--foreground", "--force", f"--socket={self.socket}",
            f"--key-file={key}", f"--pid-file={munge / 'munged.pid'}",
            f"--seed-file={munge / 'munged.seed'}", f"--log-file={self.logs / 'munged.log'}"])
        self._wait_until("munged's socket", 20, self.socket.exists)

    def _write_conf(self) -> None:
        user = self._user()
        self.node = "velponode"
        ctld, slurmd = free_ports(2)
        host = socket.gethostname().split(".")[0]
        cpus = os.cpu_count() or 1
        f = self.folder
        (f / "state").mkdir()
        (f / "spool").mkdir()
        (f / "slurm.conf").write_text(f"""\
ClusterName=velpotest
SlurmctldHost={host}(127.0.0.1)
SlurmctldPort={ctld}
SlurmdPort={slurmd}
SlurmUser={user}
SlurmdUser={user}
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket={self.socket}
StateSaveLocation={f / 'state'}
SlurmdSpoolDir={f / 'spool'}
SlurmctldPidFile={f / 'slurmctld.pid'}
SlurmdPidFile={f / 'slurmd.pid'}
SlurmctldLogFile={self.logs / 'slurmctld.log'}
SlurmdLogFile={self.logs / 'slurmd.log'}
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/builtin
MpiDefault=none
ReturnToService=2
NodeName={self.node} NodeHostname={host} NodeAddr=127.0.0.1 CPUs={cpus} State=UNKNOWN
PartitionName=velpo Nodes={self.node} Default=YES MaxTime=10 State=UP
""")

    @staticmethod
    def _user() -> str:
        import pwd
        return pwd.getpwuid(os.getuid()).pw_name

    def _spawn(self, name: str, command: List[str]) -> None:
        out = open(self.logs / f"{name}.out", "wb")
        self.processes[name] = subprocess.Popen(
            command, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
            env=self.env, cwd=self.folder)
        out.close()

    def _run_or_skip(self, command: List[str], what: str) -> None:
        done = subprocess.run(command, capture_output=True, text=True, timeout=remaining(30))
        if done.returncode != 0:
            raise Skip(f"{what} failed: {done.stderr.strip()}")

    def _quiet(self, command: List[str]) -> bool:
        try:
            return subprocess.run(command, env=self.env, capture_output=True,
                                  timeout=remaining(10)).returncode == 0
        except subprocess.TimeoutExpired:
            return False

    def _node_idle(self) -> bool:
        done = subprocess.run(["sinfo", "-h", "-N", "-o", "%t"], env=self.env,
                              capture_output=True, text=True, timeout=remaining(10))
        return done.returncode == 0 and done.stdout.strip() == "idle"

    def _wait_until(self, what: str, seconds: float, ready) -> None:
        end = time.monotonic() + remaining(seconds)
        while time.monotonic() < end:
            for name, process in self.processes.items():
                if process.poll() is not None:
                    raise Skip(f"{name} stopped (exit {process.returncode}) while waiting for "
                               f"{what}:\n{self.log_tails()}")
            if ready():
                return
            time.sleep(0.2)
        raise Skip(f"no {what} after {seconds:.0f} s:\n{self.log_tails()}")

    def log_tails(self) -> str:
        return "\n".join(f" {p.name}:\n{tail(p)}" for p in sorted(self.logs.glob("*")))

    def submit_array(self, script: Path, tasks: int, folder: Path,
                     after: Optional[str] = None) -> str:
        """Submits the job array; with `after`, it starts once every task of
        that job has ended well, and sbatch returns when its own tasks have
        ended (a failed dependency cancels it). Returns the job ID."""
        command = ["sbatch", "--parsable", f"--array=0-{tasks - 1}", "--time=5",
                   f"--chdir={folder}", f"--output={folder}/{script.stem}.%a.log",
                   "--job-name=velpo-array"]
        if after:
            command += ["--wait", f"--dependency=afterok:{after}", "--kill-on-invalid-dep=yes"]
        try:
            done = subprocess.run(command + [str(script)], env=self.env, capture_output=True,
                                  text=True, timeout=remaining(240))
        except subprocess.TimeoutExpired:
            raise Failure("the job array did not end within its time") from None
        if done.returncode != 0:
            logs = "\n".join(f" {p.name}:\n{tail(p)}" for p in sorted(folder.glob("*.log")))
            raise Failure(f"sbatch exit {done.returncode}: {done.stderr.strip()}\n{logs}")
        return done.stdout.strip().split(";")[0]

    def stop(self) -> None:
        """Cancels what is left of the jobs, then ends the daemons, newest first."""
        if "slurmctld" in self.processes and self.processes["slurmctld"].poll() is None:
            subprocess.run(["scancel", "--full", "--name=velpo-array"], env=self.env,
                           capture_output=True, timeout=10, check=False)
            end = time.monotonic() + 15
            while time.monotonic() < end:
                queue = subprocess.run(["squeue", "-h"], env=self.env, capture_output=True,
                                       text=True, timeout=10, check=False)
                if queue.returncode != 0 or not queue.stdout.strip():
                    break
                time.sleep(0.5)
        for name in reversed(list(self.processes)):
            process = self.processes[name]
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait(timeout=10)


def write_tables(folder: Path) -> None:
    """A table per frame: counts that change, a NaN and a jump, so the
    check reports have something to say."""
    folder.mkdir()
    for frame in range(FRAMES[0], FRAMES[1] + 1):
        count = 40 * frame + (900 if frame == 7 else 0)
        rows = ["id,position.x,position.y,position.z,age,velocity.x,velocity.y,velocity.z"]
        for i in range(count):
            age = "NaN" if (frame == 5 and i == 3) else repr(0.125 * i + frame)
            rows.append(f"{i},{i * 0.5},{-frame * 0.25},{i / 7.0},{age},"
                        f"{frame},{i % 5},{-0.75}")
        (folder / f"pts.{frame}.csv").write_text("\n".join(rows) + "\n")


def read_task_file(path: Path) -> str:
    try:
        return path.read_text()
    except OSError:
        raise Failure(f"no {path.name}: the task that writes it did not run or failed "
                      f"(see the task logs in {path.parent})") from None


def velpo(command: List[str], cwd: Path, env: Dict[str, str]) -> subprocess.CompletedProcess:
    return subprocess.run(command, cwd=cwd, env=env, capture_output=True, text=True,
                          timeout=remaining(120))


def job_commands(velpo_path: str, frames: str, shard: str) -> List[List[str]]:
    common = [velpo_path]
    export = common + ["export", "--settings", "../settings.json", "--frames", frames,
                       "--input", "../tables/pts.#.csv", "--quiet", "--shard", shard]
    check = common + ["check", "cache/fluid.#.pdc", "--frames", frames, "--json", "--shard",
                      shard]
    return [export, check]


FRAME_LINE = re.compile(r"^frame (\d+): ")


def frame_lines(text: str) -> Dict[int, str]:
    return {int(m.group(1)): line for line in text.splitlines()
            if (m := FRAME_LINE.match(line))}


def compare(work: Path, velpo_path: str, env: Dict[str, str]) -> None:
    frames = f"{FRAMES[0]}-{FRAMES[1]}"
    single = work / "single"
    array = work / "array"
    # One process, the whole range.
    export, _ = job_commands(velpo_path, frames, "0/1")
    done = velpo(export, single, env)
    if done.returncode != 0:
        raise Failure(f"single-process export failed ({done.returncode}): {done.stderr}")
    whole = frame_lines(done.stdout)
    if sorted(whole) != list(range(FRAMES[0], FRAMES[1] + 1)):
        raise Failure(f"single-process export printed frames {sorted(whole)}")

    # Caches: byte for byte.
    for frame in range(FRAMES[0], FRAMES[1] + 1):
        name = f"cache/fluid.{frame}.pdc"
        a, b = array / name, single / name
        if not a.exists():
            raise Failure(f"the job array wrote no {name}")
        if a.read_bytes() != b.read_bytes():
            raise Failure(f"{name} differs between the job array and one process")

    # Each task's report: its frames' lines and the totals; its check
    # report the one a single process gives for that shard.
    seen: Dict[int, str] = {}
    total_frames = total_particles = 0
    for task in range(TASKS):
        shard = f"{task}/{TASKS}"
        out = read_task_file(array / f"export.{task}.out")
        lines = frame_lines(out)
        overlap = set(lines) & set(seen)
        if overlap:
            raise Failure(f"frames {sorted(overlap)} were exported by two tasks")
        seen.update(lines)
        totals = re.search(r"^exported (\d+) of (\d+) frames, (\d+) particles$", out, re.M)
        if not totals or totals.group(1) != totals.group(2):
            raise Failure(f"task {task} did not export all its frames:\n{out}")
        total_frames += int(totals.group(1))
        total_particles += int(totals.group(3))

        _, check = job_commands(velpo_path, frames, shard)
        expected = velpo(check, single, env)
        got = read_task_file(array / f"check.{task}.json")
        if got != expected.stdout:
            raise Failure(f"check --shard {shard}: the job array's report differs from one "
                          f"process's:\n{got}\n---\n{expected.stdout}")
        status = int(read_task_file(array / f"check.{task}.status"))
        if status != expected.returncode:
            raise Failure(f"check --shard {shard} exited {status} in the array, "
                          f"{expected.returncode} in one process")
        report = json.loads(got)
        if not any(f["problems"] for f in report["frames"]) and task == 1:
            raise Failure("the check report of task 1 lists no problem; the tables were made "
                          "to have some")
    if seen != whole:
        raise Failure("the frames' lines of the job array differ from one process's:\n"
                      f"{seen}\n---\n{whole}")
    summary = re.search(r"^exported (\d+) of \d+ frames, (\d+) particles$", done.stdout, re.M)
    if not summary or (int(summary.group(1)), int(summary.group(2))) != (total_frames,
                                                                         total_particles):
        raise Failure(f"the tasks moved {total_frames} frames and {total_particles} particles; "
                      f"one process: {done.stdout.splitlines()[-1]}")


def run(velpo_path: str, work: Path) -> None:
    cluster = Cluster(work / "slurm")
    (work / "slurm").mkdir()

    def stop_on_signal(signum, _frame):
        raise SystemExit(f"stopped by signal {signum}")

    signal.signal(signal.SIGTERM, stop_on_signal)
    signal.signal(signal.SIGINT, stop_on_signal)
    try:
        write_tables(work / "tables")
        (work / "settings.json").write_text(json.dumps(
            {"Path": "cache/fluid", "Step": 1, "Float0": "age", "Vector0": "velocity"}))
        for side in ("single", "array"):
            (work / side / "cache").mkdir(parents=True)
        cluster.start()
        export, check = job_commands(velpo_path, f"{FRAMES[0]}-{FRAMES[1]}",
                                     f"$SLURM_ARRAY_TASK_ID/{TASKS}")
        # The shard is the last word, left to the shell to expand. The checks
        # wait for every export: a check looks for the temporary files of
        # interrupted writes, and would take another task's write in progress
        # for one.
        shard = f'"$SLURM_ARRAY_TASK_ID/{TASKS}"'
        task = "$SLURM_ARRAY_TASK_ID"
        scripts = {
            "export": f'{shlex.join(export[:-1])} {shard} > "export.{task}.out"\n',
            "check": f'{shlex.join(check[:-1])} {shard} > "check.{task}.json"\n'
                     f'echo $? > "check.{task}.status"\n',
        }
        for name, body in scripts.items():
            (work / f"{name}.sh").write_text("#!/bin/sh\n" + body)
            (work / f"{name}.sh").chmod(0o755)
        exported = cluster.submit_array(work / "export.sh", TASKS, work / "array")
        cluster.submit_array(work / "check.sh", TASKS, work / "array", after=exported)
        compare(work, velpo_path, cluster.env)
    finally:
        cluster.stop()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--velpo", required=True, help="the velpo command to test")
    parser.add_argument("--keep", action="store_true", help="keep the scratch folder")
    args = parser.parse_args()
    # A short folder: munged's socket path must fit a Unix socket name.
    work = Path(tempfile.mkdtemp(prefix="velpo-slurm-"))
    try:
        run(os.path.abspath(args.velpo), work)
    except Skip as skip:
        print(f"SKIP: Slurm cannot start on this machine: {skip}")
        return SKIP
    except Failure as failure:
        print(f"FAIL: {failure}")
        return 1
    finally:
        if args.keep:
            print(f"scratch folder kept: {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)
    print(f"OK: {TASKS} array tasks exported and checked frames {FRAMES[0]}-{FRAMES[1]} "
          "exactly as one process did")
    return 0


if __name__ == "__main__":
    sys.exit(main())
