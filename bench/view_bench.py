"""velpo view measured in headless chromium on a 1,000,000-particle
sequence: the time from the page's request to its first picture, the
frames per second while playing, and the server's memory.

    make build-release
    PYTHONPATH=build/release/python /usr/bin/python3 bench/view_bench.py [build/release/bin/velpo]

Writes 10 frames of 1,000,000 particles (id, position, velocity, age;
64 MB each) into a temporary folder with the Python module, serves them
with velpo view, and drives the page with Selenium. Prints the machine's
load beside the figures: they depend on what else runs."""

from __future__ import annotations

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np
import velpo
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

PARTICLES = 1_000_000
FRAMES = 10
PLAY_SECONDS = 15


def write_sequence(folder: Path) -> None:
    rng = np.random.default_rng(7)
    ids = np.arange(1, PARTICLES + 1, dtype=np.int32)
    position = rng.normal(size=(PARTICLES, 3))
    velocity = rng.normal(size=(PARTICLES, 3)) * 0.05
    for frame in range(1, FRAMES + 1):
        position = position + velocity
        velpo.write(folder / f"cloud.{frame}.pdc",
                    {"id": ids, "position": position, "velocity": velocity,
                     "age": np.full(PARTICLES, frame / 24.0) + position[:, 1] * 0.01},
                    integers="int32")


def memory(pid: int) -> str:
    status = Path(f"/proc/{pid}/status").read_text()
    fields = dict(re.findall(r"^(VmRSS|VmHWM):\s+(\d+) kB", status, re.M))
    return f"RSS {int(fields['VmRSS']) / 1024:.0f} MB, peak {int(fields['VmHWM']) / 1024:.0f} MB"


def browser(profile: str) -> webdriver.Chrome:
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--enable-unsafe-swiftshader",
                 "--use-angle=swiftshader", "--window-size=1280,800",
                 f"--user-data-dir={profile}"]:
        options.add_argument(flag)
    return webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)


def wait(driver, script: str, seconds: float = 120):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = driver.execute_script(script)
        if value:
            return value
        time.sleep(0.05)
    raise RuntimeError(f"timed out: {script}")


def measure(command: str, folder: Path) -> None:
    server = subprocess.Popen([command, "view", str(folder / "cloud.#.pdc")],
                              stdout=subprocess.PIPE, text=True)
    profile = tempfile.mkdtemp(prefix="velpo-view-bench-")
    driver = None
    try:
        url = re.search(r"http://\S+/", server.stdout.readline() + server.stdout.readline()).group(0)
        driver = browser(profile)
        for attempt in range(3):
            driver.get(url)
            first = wait(driver, "return window.velpoView && window.velpoView.firstPictureMs")
            print(f"first picture of {PARTICLES:,} particles: {first / 1000:.2f} s after the "
                  f"page's request (run {attempt + 1})")
        print(f"server after loading: {memory(server.pid)}")
        wait(driver, "return document.querySelector('#colour option[value=age]')")
        Select(driver.find_element(By.ID, "colour")).select_by_value("age")
        time.sleep(2)
        driver.find_element(By.ID, "play").click()
        time.sleep(3)
        before = driver.execute_script("return velpoView.framesDrawn")
        started = time.monotonic()
        time.sleep(PLAY_SECONDS)
        drawn = driver.execute_script("return velpoView.framesDrawn") - before
        fps = drawn / (time.monotonic() - started)
        print(f"playing {PARTICLES:,} particles coloured by age: {fps:.1f} frames per second")
        loads, draws = driver.execute_script("return [velpoView.loadMs, velpoView.drawMs]")
        median = lambda values: sorted(values)[len(values) // 2] if values else float("nan")
        print(f"  per frame (median): loaded in {median(loads):.0f} ms (request to colours made, "
              f"frames load ahead), drawn in {median(draws):.0f} ms")
        print(f"server after playing: {memory(server.pid)}")
    finally:
        if driver:
            driver.quit()
        server.send_signal(signal.SIGINT)
        try:
            server.wait(timeout=20)
        except subprocess.TimeoutExpired:
            server.kill()
        shutil.rmtree(profile, ignore_errors=True)


def main() -> None:
    command = sys.argv[1] if len(sys.argv) > 1 else "build/release/bin/velpo"
    print(f"load average before: {os.getloadavg()}, {os.cpu_count()} cores")
    with tempfile.TemporaryDirectory() as folder:
        write_sequence(Path(folder))
        measure(command, Path(folder))
    print(f"load average after: {os.getloadavg()}")


if __name__ == "__main__":
    main()
