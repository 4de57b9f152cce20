"""velpo.file_name and velpo.sequence: the names the nodes and the command
give cache files, and frames as the command takes them."""

from __future__ import annotations

import os
import tracemalloc
import types
import warnings
from pathlib import Path

import numpy as np

import pytest

import velpo
from conftest import csv_table, velpo as run_velpo, write_settings


@pytest.mark.parametrize(
    "base, frame, step, name",
    [
        ("cache/fluid.250.pdc", 120, 250, "cache/fluid.30000.pdc"),
        ("cache/fluid", -1, 250, "cache/fluid.4294967046.pdc"),
        ("cache/fluid", 2**32 - 1, 250, "cache/fluid.4294967046.pdc"),
        ("cache/fluid", -(2**31), 1, "cache/fluid.2147483648.pdc"),
        ("p", 3, -1, "p.4294967293.pdc"),
        ("/caché/été.12.pdc", 2, 3, "/caché/été.6.pdc"),
        (Path("cache/run.2/fluid"), 1, 1, "cache/run.2/fluid.1.pdc"),
    ],
)
def test_file_names_are_the_file_layers(base: object, frame: int, step: int, name: str) -> None:
    assert velpo.file_name(base, frame, step) == name  # type: ignore[arg-type]


def test_variables_and_the_home_folder_are_expanded_as_the_host_expands_them(monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.setenv("VELPO_TEST_CACHE", "/shots/s1")
    monkeypatch.setenv("HOME", "/home/artist")
    assert velpo.file_name("${VELPO_TEST_CACHE}/fluid.pdc", 2, 10) == "/shots/s1/fluid.pdc.20.pdc"
    assert velpo.file_name("~/fluid", 2) == "/home/artist/fluid.2.pdc"
    assert velpo.file_name("$VELPO_UNSET_NAME/fluid", 1) == "$VELPO_UNSET_NAME/fluid.1.pdc"


@pytest.mark.parametrize(
    "arguments, error, words",
    [
        (("c", 2**32, 1), ValueError, "velpo.file_name: frame is 4294967296, outside -2147483648 ... 4294967295"),
        (("c", -(2**31) - 1, 1), ValueError, "frame is -2147483649"),
        (("c", 1, 2**31), ValueError, "step is 2147483648"),
        (("c", 1.0, 1), TypeError, "frame must be an integer, not float"),
        (("c", 1, "2"), TypeError, "step must be an integer, not str"),
        ((5, 1, 1), TypeError, "base must be str or os.PathLike, not int"),
    ],
)
def test_bad_names_say_which_argument(arguments: tuple, error: type, words: str) -> None:
    with pytest.raises(error) as raised:
        velpo.file_name(*arguments)
    assert words in str(raised.value)


@pytest.mark.parametrize("path, frame, step", [("pts", 1, 1), ("pts.250.pdc", 7, 250), ("run.2/pts", -2, 10)])
def test_the_nodes_write_the_file_that_file_name_names(scratch: Path, path: str, frame: int, step: int) -> None:
    (scratch / "nodes" / "run.2").mkdir(parents=True)
    settings = {"Path": str(scratch / "nodes" / path), "Step": step}
    velpo.Host().export(settings, frame, {"id": [1], "position": [[0.0, 0, 0]]})
    written = [str(file) for file in scratch.rglob("*.pdc")]
    assert written == [velpo.file_name(settings["Path"], frame, step)]


def test_the_command_names_the_caches_it_writes_as_sequence_does(scratch: Path) -> None:
    settings = {"Path": str(scratch / "fluid.10.pdc"), "Step": 10}
    for frame, table in velpo.sequence(str(scratch / "in.#.csv"), "3-5"):
        csv_table(Path(table), {"id": [frame], "position.x": [0.0], "position.y": [0.0], "position.z": [0.0]})
    out = run_velpo("export", "--settings", write_settings(scratch, settings), "--frames", "3-5",
                    "--input", scratch / "in.#.csv").stdout
    expected = [f"frame {f}: 1 particles from {t} to {c}" for (f, t), (_, c) in
                zip(velpo.sequence(str(scratch / "in.#.csv"), range(3, 6)), velpo.sequence(settings, [3, 4, 5]))]
    assert out.splitlines()[:3] == expected
    assert sorted(p.name for p in scratch.glob("*.pdc")) == ["fluid.30.pdc", "fluid.40.pdc", "fluid.50.pdc"]


def test_sequence_takes_frames_as_the_command_and_as_python_give_them() -> None:
    settings = {"Path": "cache/fluid", "Step": 2}
    assert list(velpo.sequence(settings, "-1-1")) == [
        (-1, "cache/fluid.4294967294.pdc"), (0, "cache/fluid.0.pdc"), (1, "cache/fluid.2.pdc")
    ]
    assert list(velpo.sequence(settings, 4)) == [(4, "cache/fluid.8.pdc")]
    assert list(velpo.sequence("out/#/pts.#.json", [9, 2])) == [(9, "out/9/pts.9.json"), (2, "out/2/pts.2.json")]
    assert list(velpo.sequence(Path("one.csv"), "7")) == [(7, "one.csv")]
    assert list(velpo.sequence({"Path": "p"}, range(0))) == []


@pytest.mark.parametrize(
    "source, frames, error, words",
    [
        ("pts.csv", "1-2", ValueError, "'pts.csv' has no '#' for the frame number"),
        ("pts.#.csv", "2-1", ValueError, 'frame range "2-1" runs backwards'),
        ("pts.#.csv", "1..4", ValueError, '"1..4" is not a frame range'),
        ("pts.#.csv", [1, 2**31], ValueError, "frame is 2147483648"),
        ("pts.#.csv", 1.5, TypeError, "frames must be an integer"),
        ({"Step": 1}, "1", ValueError, '"Path" is missing or empty'),
        ({"Path": "p", "Floats": "age"}, "1", ValueError, 'unknown parameter "Floats"'),
        (42, "1", TypeError, "source must be settings or a '#' pattern"),
    ],
)
def test_bad_sequences_say_what_is_wrong(source: object, frames: object, error: type, words: str) -> None:
    with pytest.raises(error) as raised:
        list(velpo.sequence(source, frames))
    assert words in str(raised.value)


def command_message(scratch: Path, settings: dict, frames: str, kind: str) -> str:
    """What `velpo export` says of the settings: its error, or its warnings,
    each without the settings file's name."""
    path = write_settings(scratch, settings)
    run = run_velpo("export", "--settings", path, "--frames", frames, "--input", scratch / "none.#.csv", check=False)
    lines = [line for line in run.stderr.splitlines() if line.startswith(f"velpo export: {kind}: {path}: ")]
    return "\n".join(line.split(f"{path}: ", 1)[1] for line in lines)


@pytest.mark.parametrize(
    "step, frames, shared, fits",
    [
        (0, "1-3", 'frames 1 and 2 would both be written to c/f.0.pdc ("Step" is 0)', "1"),
        (2**30, "1-5", 'frames 1 and 5 would both be written to c/f.1073741824.pdc (frame * "Step" '
                       "1073741824 wraps around 2^32)", "1-4"),
        (-(2**31), "-3-0", "frames -3 and -1 would both be written to c/f.2147483648.pdc", "-3--2"),
    ],
)
def test_frames_that_share_a_file_are_refused_as_the_command_refuses_them(
    scratch: Path, step: int, frames: str, shared: str, fits: str
) -> None:
    settings = {"Path": "c/f", "Step": step}
    with pytest.raises(ValueError) as raised:
        velpo.sequence(settings, frames)  # refused before the first file is named
    message = str(raised.value)
    assert message.startswith("velpo.sequence: settings: " + shared)
    assert message.split("settings: ", 1)[1] == command_message(scratch, settings, frames, "error")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", velpo.SettingsWarning)  # products that wrap
        names = [name for _, name in velpo.sequence(settings, fits)]
    assert len(set(names)) == len(names) == len(list(velpo.sequence("#", fits)))


@pytest.mark.parametrize(
    "source, frames, words",
    [
        ({"Path": "c/f", "Step": 0}, [1, 5], "frames 1 and 5: both would be named c/f.0.pdc"),
        ({"Path": "c/f", "Step": 2**30}, (f for f in [7, 3]), "frames 7 and 3: both would be named c/f.3221225472.pdc"),
        ({"Path": "c/f"}, [4, 2, 4], "frame 4 is given twice: both would be named c/f.4.pdc"),
        ("out/p.#.csv", iter([2, 9, 2]), "frame 2 is given twice: both would be named out/p.2.csv"),
    ],
)
def test_frames_of_any_iterable_that_share_a_file_are_refused(source: object, frames: object, words: str) -> None:
    with pytest.raises(ValueError, match=words):
        list(velpo.sequence(source, frames))


def test_a_lazy_iterable_is_refused_when_the_frame_that_breaks_a_rule_comes() -> None:
    named = velpo.sequence({"Path": "c/f", "Step": 0}, (frame for frame in [1, 2]))
    assert next(named) == (1, "c/f.0.pdc")
    with pytest.raises(ValueError, match="frames 1 and 2: both would be named c/f.0.pdc"):
        next(named)


@pytest.mark.parametrize("frames", ["1-2000000000", "-2147483648-2147483647", range(1, 2_000_000_001)])
def test_more_frames_than_one_run_takes_are_refused_without_listing_them(frames: object) -> None:
    tracemalloc.start()
    try:
        with pytest.raises(ValueError, match="more than the 1000000 one run takes"):
            velpo.sequence({"Path": "c/f"}, frames)
        assert tracemalloc.get_traced_memory()[1] < 1_000_000
    finally:
        tracemalloc.stop()


def test_sequence_yields_one_frame_at_a_time() -> None:
    tracemalloc.start()
    try:
        named = velpo.sequence({"Path": "c/f", "Step": 1}, "1-1000000")
        assert isinstance(named, types.GeneratorType)
        assert [next(named) for _ in range(2)] == [(1, "c/f.1.pdc"), (2, "c/f.2.pdc")]
        later = velpo.sequence("p.#.csv", range(5, 1_000_005))
        assert next(later) == (5, "p.5.csv")
        assert tracemalloc.get_traced_memory()[1] < 1_000_000  # a list of a million would take 80 MB
    finally:
        tracemalloc.stop()


@pytest.mark.parametrize(
    "base, frame, step, name",
    [
        ("cache/fluid", 2**31 - 1, 2**31 - 1, "cache/fluid.1.pdc"),
        ("cache/fluid", -1, 250, "cache/fluid.4294967046.pdc"),
    ],
)
def test_a_product_that_wraps_is_warned_about(base: str, frame: int, step: int, name: str) -> None:
    with pytest.warns(velpo.SettingsWarning, match=rf"frame {frame} \* \"Step\" {step} = {frame * step} lies outside "
                                                    rf"0 \.\.\. 4294967295; the nodes take it modulo 2\*\*32 and name "
                                                    rf"the file {name}"):
        assert velpo.file_name(base, frame, step) == name
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        velpo.file_name(base, 3, 7)  # a product that fits: no warning


def test_a_path_cut_inside_a_folder_is_warned_about_as_the_command_does(scratch: Path) -> None:
    settings = {"Path": "../hc/fluid"}
    expected = command_message(scratch, settings, "1", "warning")
    assert '"Path" "../hc/fluid" is cut before its second-to-last dot' in expected
    with pytest.warns(velpo.SettingsWarning) as caught:
        assert velpo.file_name("../hc/fluid", 1) == ".1.pdc"
    assert str(caught[0].message) == "velpo.file_name: base: " + expected
    with pytest.warns(velpo.SettingsWarning) as caught:
        assert next(velpo.sequence(settings, "1-2")) == (1, ".1.pdc")
    assert str(caught[0].message) == "velpo.sequence: settings: " + expected


def test_host_export_warns_where_the_command_warns(scratch: Path) -> None:
    (scratch / "sub").mkdir()
    (scratch / "sub" / "hc").mkdir()
    os.chdir(scratch / "sub")
    settings = {"Path": "../hc/fluid", "Float0": "age", "Float1": "age"}
    expected = command_message(scratch, settings, "1", "warning").splitlines()
    table = {"id": [1], "position": [[0.0, 0, 0]], "age": np.array([2.0], dtype=np.float32)}
    with pytest.warns(velpo.SettingsWarning) as caught:
        velpo.Host().export(settings, 1, table)
    texts = [str(warning.message) for warning in caught]
    assert texts == ["velpo.Host.export: settings: " + line for line in expected]
    assert (scratch / "sub" / ".1.pdc").exists()
    with pytest.warns(velpo.SettingsWarning, match='velpo.Host.import_: settings: "Float1" names "age" like "Float0"'):
        velpo.Host().import_(settings, 1)
