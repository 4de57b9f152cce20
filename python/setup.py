"""The extension modules of the velpo package, built by the project's own
CMake build: the package is what `cmake --install --component velpo_python`
lays out (the two extension modules, the plug-in and the SDK's shared
objects, finding one another by $ORIGIN), so an installed package needs
nothing from the build folder."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

REPOSITORY = Path(__file__).resolve().parent.parent


class CMakeBuild(build_ext):
    def build_extensions(self) -> None:
        build = Path(self.build_temp).resolve() / "cmake"
        stage = Path(self.build_temp).resolve() / "stage"
        configure = [
            "cmake", "-S", str(REPOSITORY), "-B", str(build),
            "-DCMAKE_BUILD_TYPE=Release",
            # The package alone: no tests, benchmarks or command.
            "-DVELPO_BUILD_TESTS=OFF",
            "-DVELPO_BUILD_BENCH=OFF",
            "-DVELPO_BUILD_COMMAND=OFF",
            # The interpreter that runs pip is the one the module is for.
            f"-DVELPO_PYTHON={sys.executable}",
        ]
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        subprocess.run(configure, check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.run(["cmake", "--build", str(build), "--target", "velpo_python", "-j", jobs], check=True)
        shutil.rmtree(stage, ignore_errors=True)
        subprocess.run(
            ["cmake", "--install", str(build), "--component", "velpo_python", "--prefix", str(stage)], check=True
        )
        package = Path(self.get_ext_fullpath(self.extensions[0].name)).parent
        package.mkdir(parents=True, exist_ok=True)
        for library in (stage / "velpo").glob("*.so"):
            shutil.copy2(library, package / library.name)


setup(
    ext_modules=[Extension("velpo._files", sources=[]), Extension("velpo._runtime", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
