"""velpo view in a real browser: Debian's chromium, headless, driven by
Selenium, on the demo's sequence. The page must draw, change with the
frame and the colouring, show a picked particle's values exactly as
`velpo dump` prints them, and mark a missing frame. Screenshots of each
state go to view-screenshots/ in the build folder.

Every wait is bounded; the server and the browser end on every path."""

from __future__ import annotations

import csv
import io
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path
from typing import Callable, Dict, Iterator, List, Tuple

import pytest

from conftest import COMMAND, velpo

CHROMIUM = shutil.which("chromium")
DRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"
try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select

    HAVE_SELENIUM = True
except ImportError:
    HAVE_SELENIUM = False

try:
    from PIL import Image

    HAVE_PIL = True
except ImportError:
    HAVE_PIL = False

pytestmark = pytest.mark.skipif(
    not (CHROMIUM and os.path.exists(DRIVER) and HAVE_SELENIUM and HAVE_PIL),
    reason="needs chromium, chromium-driver, python3-selenium and python3-pil "
    "(scripts/deps.sh installs them)",
)

BACKGROUND = (22, 24, 30)
SHOTS = Path(os.environ.get("VELPO_BUILD_DIR", ".")) / "view-screenshots"


def wait_until(what: str, check: Callable[[], object], seconds: float = 60.0) -> object:
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = check()
        if value:
            return value
        time.sleep(0.1)
    pytest.fail(f"timed out after {seconds:.0f} s waiting for {what}")


@pytest.fixture(scope="module")
def sequence(tmp_path_factory: pytest.TempPathFactory) -> Path:
    """The demo's frames 1 to 6, 20,000 particles at most, frame 4 removed."""
    folder = tmp_path_factory.mktemp("view") / "demo"
    velpo("demo", "--dir", folder, "--particles", 20000, "--frames", "1-6")
    (folder / "particles.4.pdc").unlink()
    return folder


@pytest.fixture(scope="module")
def server(sequence: Path) -> Iterator[str]:
    process = subprocess.Popen(
        [COMMAND, "view", str(sequence / "particles.#.pdc")],
        stdout=subprocess.PIPE,
        stderr=subprocess.STDOUT,
        text=True,
    )
    try:
        line = ""
        end = time.monotonic() + 30
        while time.monotonic() < end and "http://" not in line:
            line = process.stdout.readline()
            if not line and process.poll() is not None:
                break
        match = re.search(r"http://127\.0\.0\.1:\d+/", line)
        if not match:
            pytest.fail(f"velpo view printed no address: {line!r}")
        yield match.group(0)
        process.send_signal(signal.SIGINT)
        assert process.wait(timeout=20) == 0
    finally:
        if process.poll() is None:
            process.kill()
            process.wait(timeout=20)


@pytest.fixture(scope="module")
def browser() -> Iterator["webdriver.Chrome"]:
    profile = tempfile.mkdtemp(prefix="velpo-view-chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in [
        "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
        "--disable-background-networking", "--disable-component-update", "--disable-sync",
        "--enable-unsafe-swiftshader", "--use-angle=swiftshader", "--window-size=1280,800",
        f"--user-data-dir={profile}",
    ]:
        options.add_argument(flag)
    # The browser is not built with the sanitizers a test build may preload.
    environment = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "ASAN_OPTIONS")}
    driver = webdriver.Chrome(service=Service(DRIVER, env=environment), options=options)
    try:
        driver.set_page_load_timeout(60)
        driver.set_script_timeout(60)
        yield driver
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


def page_state(driver) -> Dict[str, object]:
    return driver.execute_script(
        "const v = window.velpoView; return v ? {state: v.state, frame: v.frame, "
        "drawn: v.framesDrawn, error: v.error} : {};"
    )


def wait_drawn(driver, frame: int, drawn_before: int) -> None:
    wait_until(
        f"frame {frame} to be drawn",
        lambda: (lambda s: s.get("state") == "drawn" and s.get("frame") == frame
                 and s.get("drawn", 0) > drawn_before)(page_state(driver)),
    )


def canvas_pixels(driver, name: str) -> List[Tuple[int, int, int]]:
    SHOTS.mkdir(parents=True, exist_ok=True)
    driver.save_screenshot(str(SHOTS / f"{name}.png"))
    canvas = driver.find_element(By.ID, "view")
    image = Image.open(io.BytesIO(canvas.screenshot_as_png)).convert("RGB")
    return list(image.getdata())


def not_background(pixels: List[Tuple[int, int, int]]) -> int:
    return sum(1 for p in pixels if sum(abs(a - b) for a, b in zip(p, BACKGROUND)) > 40)


def changed(a: List[Tuple[int, int, int]], b: List[Tuple[int, int, int]]) -> int:
    return sum(1 for p, q in zip(a, b) if p != q)


def dump_row(file: Path, index: int) -> Dict[str, List[str]]:
    """What `velpo dump` prints for one particle, by record: a vector's three
    columns name.x, name.y, name.z as one list."""
    text = velpo("dump", file, "--range", f"{index}:{index}").stdout
    header, row = list(csv.reader(io.StringIO(text)))
    values: Dict[str, List[str]] = {}
    for column, value in zip(header, row):
        name = re.sub(r"\.[xyz]$", "", column)
        values.setdefault(name, []).append(value)
    return values


def click_at(driver, x: float, y: float) -> None:
    actions = ActionChains(driver)
    actions.w3c_actions.pointer_action.move_to_location(int(round(x)), int(round(y)))
    actions.w3c_actions.pointer_action.click()
    actions.perform()


def clickable_point(driver) -> Dict[str, float]:
    """A drawn point clear of the toolbar and the legend over the canvas."""
    return driver.execute_script(
        """
        const v = window.velpoView;
        const box = document.getElementById('view').getBoundingClientRect();
        const bar = document.getElementById('toolbar').getBoundingClientRect();
        const legend = document.getElementById('legend').getBoundingClientRect();
        for (let i = 0; i < v.shownCount; i += 7) {
          const p = v.point(i);
          if (p && p.clientY > bar.bottom + 10 && p.clientY < legend.top - 10 &&
              p.clientX > box.left + 120 && p.clientX < box.right - 10) {
            return p;
          }
        }
        return null;
        """
    )


def test_the_page_shows_the_sequence(server: str, browser, sequence: Path) -> None:
    driver = browser
    driver.get(server)
    wait_drawn(driver, 1, 0)
    first = canvas_pixels(driver, "1-first-frame")
    assert not_background(first) > 500, "the canvas is blank"

    # Stepping a frame changes the picture.
    drawn = page_state(driver)["drawn"]
    driver.find_element(By.ID, "next").click()
    wait_drawn(driver, 2, drawn)
    second = canvas_pixels(driver, "2-next-frame")
    assert changed(first, second) > 500, "stepping a frame left the picture as it was"
    assert "frame 2" in driver.find_element(By.ID, "frame-label").text

    # Colouring by age changes it again, and the legend names it.
    wait_until("the frame's records", lambda: driver.find_elements(
        By.CSS_SELECTOR, "#colour option[value=age]"))
    drawn = page_state(driver)["drawn"]
    Select(driver.find_element(By.ID, "colour")).select_by_value("age")
    wait_drawn(driver, 2, drawn)
    coloured = canvas_pixels(driver, "3-coloured-by-age")
    assert changed(second, coloured) > 500, "colouring by age left the picture as it was"
    assert driver.find_element(By.ID, "legend-label").text == "age"
    assert driver.find_element(By.ID, "legend-low").text != ""

    # A clicked particle shows the id and values that dump gives for it.
    point = clickable_point(driver)
    assert point, "no drawn point lies clear of the controls"
    click_at(driver, point["clientX"], point["clientY"])
    title = wait_until("the picked particle", lambda: re.match(
        r"particle (\d+) of frame 2", driver.find_element(By.ID, "pick").text))
    index = int(title.group(1))
    canvas_pixels(driver, "4-picked-particle")
    expected = dump_row(sequence / "particles.2.pdc", index)
    assert driver.find_element(By.ID, "pick-id").text == f"id {expected['id'][0]}"
    rows = driver.find_elements(By.CSS_SELECTOR, "#pick-values tr")
    shown = {row.get_attribute("data-record"): row.find_elements(By.TAG_NAME, "td")[1].text
             for row in rows}
    assert shown == {name: ", ".join(values) for name, values in expected.items()}

    # The missing frame is marked on the timeline and says why.
    marked = driver.find_element(By.ID, "marks").get_attribute("data-marked")
    assert marked == "1"
    drawn = page_state(driver)["drawn"]
    driver.find_element(By.ID, "next").click()
    wait_drawn(driver, 3, drawn)
    driver.find_element(By.ID, "next").click()
    wait_until("frame 4's problem", lambda: page_state(driver).get("state") == "problem")
    problem = driver.find_element(By.ID, "frame-problem").text
    assert "frame 4" in problem and "missing" in problem
    canvas_pixels(driver, "5-missing-frame")
    errors = [entry for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
    assert errors == [], errors
