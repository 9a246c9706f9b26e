"""Builds the compiled part of brelona with CMake from the source tree one folder up, and
packages it with the pure-Python files (see pyproject.toml and README.md)."""

import os
import shutil
import subprocess
import sys
import sysconfig

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))
# The source tree: this folder's parent, or where BRELONA_SOURCE_DIR says (a copy of this folder).
ROOT = os.environ.get("BRELONA_SOURCE_DIR") or os.path.dirname(HERE)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = os.environ.get("BRELONA_CMAKE_BUILD_DIR")
        if build:
            build = os.path.abspath(os.path.join(ROOT, build))
        else:
            # The engine and the module only, for the interpreter that runs pip.
            build = os.path.join(os.path.abspath(self.build_temp), "cmake")
            os.makedirs(build, exist_ok=True)
            subprocess.run(
                ["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                 "-DBRELONA_WITH_QT=OFF", "-DBRELONA_TESTS=OFF", "-DBRELONA_BENCH=OFF",
                 "-DBRELONA_WERROR=OFF",
                 "-DBRELONA_PYTHON=ON", "-DPython3_EXECUTABLE=" + sys.executable],
                check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(["cmake", "--build", build, "--target", "_brelona", "-j", jobs], check=True)
        suffix = sysconfig.get_config_var("EXT_SUFFIX")
        built = os.path.join(build, "python", "brelona", "_brelona" + suffix)
        if not os.path.exists(built):
            sys.exit(f"the CMake build made no {built}: is it configured for this interpreter "
                     f"({sys.executable})?")
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(built, target)


setup(
    packages=["brelona"],
    ext_modules=[Extension("brelona._brelona", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
