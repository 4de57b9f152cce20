"""The package as a user meets it: the examples in its documentation run,
its stubs name what its extension modules hold, help() works, and the
installed layout needs nothing from the build tree."""

from __future__ import annotations

import ast
import doctest
import inspect
import os
import subprocess
import sys
from pathlib import Path
from types import ModuleType
from typing import Iterator, Set

import pytest

import velpo
from velpo import _errors, _files, _host, _naming, _reading, _runtime, _writing

MODULES = [velpo, _errors, _host, _naming, _reading, _writing]
PACKAGE = Path(velpo.__file__).parent


def public_callables() -> Iterator[tuple]:
    for name in velpo.__all__:
        item = getattr(velpo, name)
        yield name, item
        if inspect.isclass(item):
            for member, value in vars(item).items():
                if not member.startswith("_") and (callable(value) or isinstance(value, property)):
                    yield f"{name}.{member}", value


@pytest.mark.parametrize("name, item", list(public_callables()), ids=lambda v: v if isinstance(v, str) else "")
def test_everything_public_is_documented_with_an_example(name: str, item: object) -> None:
    text = inspect.getdoc(item) or ""
    assert "Example:" in text and ">>> " in text, name


@pytest.mark.parametrize("module", MODULES, ids=lambda m: m.__name__)
def test_the_examples_run_as_written(scratch: Path, module: ModuleType) -> None:
    result = doctest.testmod(module, optionflags=doctest.NORMALIZE_WHITESPACE, report=True)
    assert result.attempted > 0 and result.failed == 0


def stub_names(path: Path) -> Set[str]:
    names = set()
    for node in ast.parse(path.read_text()).body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            names.add(node.name)
            if isinstance(node, ast.ClassDef):
                names |= {f"{node.name}.{n.name}" for n in node.body if isinstance(n, ast.FunctionDef)}
        elif isinstance(node, ast.AnnAssign) and node.value is None:
            names.add(node.target.id)  # type: ignore[union-attr]
    return names


def module_names(module: ModuleType) -> Set[str]:
    names = set()
    for name, value in vars(module).items():
        if name.startswith("_"):
            continue
        names.add(name)
        if inspect.isclass(value):
            names |= {f"{name}.{m}" for m in vars(value) if not m.startswith("_")}
    return names


@pytest.mark.parametrize("module", [_files, _runtime], ids=lambda m: m.__name__)
def test_the_stubs_name_what_the_extension_modules_hold(module: ModuleType) -> None:
    stub = PACKAGE / f"{module.__name__.rsplit('.', 1)[1]}.pyi"
    assert stub_names(stub) == module_names(module)
    assert (PACKAGE / "py.typed").exists()


def run_python(code: str, **environment: str) -> subprocess.CompletedProcess:
    return subprocess.run(
        [sys.executable, "-c", code], capture_output=True, text=True, timeout=120,
        env={**os.environ, **environment},
    )


def test_help_shows_the_documentation() -> None:
    run = run_python("import velpo; help(velpo.read)", PAGER="cat")
    assert run.returncode == 0, run.stderr
    assert "read(path" in run.stdout and "Example:" in run.stdout


def test_reading_and_writing_load_no_shared_object_of_the_build() -> None:
    run = run_python(
        "import sys, velpo; velpo.file_name('a', 1, 1); "
        "print('velpo._runtime' in sys.modules); "
        "print(open('/proc/self/maps').read())"
    )
    assert run.returncode == 0, run.stderr
    loaded, maps = run.stdout.split("\n", 1)
    assert loaded == "False"
    assert "libsicppsdk" not in maps and "libsicoresdk" not in maps
    needed = subprocess.run(["readelf", "-d", next(PACKAGE.glob("_files*.so"))], capture_output=True, text=True)
    assert "NEEDED" in needed.stdout and "sicppsdk" not in needed.stdout


INSTALLED = """
import json, sys
import numpy as np, velpo
settings = {"Path": "fluid", "Float0": "age"}
host = velpo.Host()
host.export(settings, 1, {"id": [1, 2], "position": np.ones((2, 3)), "age": [0.5, 1.5]})
print(json.dumps({
    "plugin": host.plugin,
    "age": host.import_(settings, 1).table["age"].tolist(),
    "maps": [line.split()[-1] for line in open("/proc/self/maps") if "velpo" in line or "sdk" in line],
}))
"""


def test_the_installed_package_runs_from_its_own_folder(scratch: Path) -> None:
    build = os.environ.get("VELPO_BUILD_DIR")
    if not build:
        pytest.fail("VELPO_BUILD_DIR is not set; run these tests through ctest")
    install = subprocess.run(
        [os.environ["VELPO_CMAKE"], "--install", build, "--component", "velpo_python", "--prefix", scratch / "site"],
        capture_output=True, text=True, timeout=120,
    )
    assert install.returncode == 0, install.stderr
    installed = scratch / "site" / "velpo"
    run = run_python(INSTALLED, PYTHONPATH=str(scratch / "site"))
    assert run.returncode == 0, run.stderr
    import json

    result = json.loads(run.stdout)
    assert result["plugin"] == str(installed / "libVelpo.so") and result["age"] == [0.5, 1.5]
    libraries = {Path(path).name: Path(path).parent for path in result["maps"] if path.endswith(".so")}
    for name in ("libsicppsdk.so", "libsicoresdk.so", "libVelpo.so"):
        assert libraries[name] == installed, (name, libraries)
