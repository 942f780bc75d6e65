"""Builds the native part of the colsieve module with the project's CMake.

The version is the tool's, read from CMakeLists.txt. CMake needs pybind11
(Debian: pybind11-dev, or python3-pybind11, whose CMake files are passed
on), a C++20 compiler, and ISA-L or zlib, as the tool does.
"""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def version():
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(colsieve VERSION ([0-9.]+)", text).group(1)


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        args = [
            "-DCMAKE_BUILD_TYPE=Release",
            "-DCOLSIEVE_PYTHON=ON",
            "-DCOLSIEVE_BUILD_TESTS=OFF",
            f"-DPython_EXECUTABLE={sys.executable}",
        ]
        try:
            import pybind11

            args.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        except ImportError:
            pass  # CMake looks for pybind11-dev's files itself
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), *args],
                       check=True)
        subprocess.run(["cmake", "--build", str(build), "--target",
                        "_colsieve", "-j", jobs], check=True)
        built = next((build / "python" / "colsieve").glob("_colsieve*.so"))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    version=version(),
    packages=["colsieve"],
    package_dir={"": "python"},
    package_data={"colsieve": ["py.typed", "*.pyi"]},
    ext_modules=[CMakeExtension("colsieve._colsieve")],
    cmdclass={"build_ext": CMakeBuild},
    zip_safe=False,
)
