"""Builds the extension module with the project's CMake build and puts it,
with the shared libraries it needs, into the package: qelcntr/_qelcntr*.so
finds them in qelcntr/_libs through its run path ($ORIGIN/_libs), so the
wheel works wherever it is installed."""

import os
import pathlib
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).parent.resolve()


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        stage = pathlib.Path(self.build_temp).resolve() / "stage"
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        # The package folder and its libraries as the wheel has them.
        subprocess.check_call([
            "cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
            "-DPython_EXECUTABLE=" + sys.executable, "-DQEL_BUILD_TESTS=OFF",
            "-DQEL_BUILD_EXAMPLES=OFF", "-DQEL_PYTHON_SITE=.",
            "-DCMAKE_INSTALL_LIBDIR=qelcntr/_libs"])
        subprocess.check_call(["cmake", "--build", str(build), "--target", "_qelcntr", "-j", jobs])
        shutil.rmtree(stage, ignore_errors=True)
        for component in ("runtime", "python"):
            # The tool, the headers and the CMake files stay out.
            subprocess.check_call(["cmake", "--install", str(build), "--prefix", str(stage),
                                   "--component", component])
        module = pathlib.Path(self.get_ext_fullpath(ext.name))
        module.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(next((stage / "qelcntr").glob("_qelcntr*.so")), module)
        libs = module.parent / "_libs"
        shutil.rmtree(libs, ignore_errors=True)
        libs.mkdir()
        # Only the names the loader asks for (libX.so.0); a wheel holds no links.
        for lib in (stage / "qelcntr" / "_libs").glob("lib*.so.*"):
            if lib.name.count(".") == 2:
                shutil.copyfile(lib.resolve(), libs / lib.name)


setup(
    packages=["qelcntr"],
    package_dir={"qelcntr": "python/qelcntr"},
    ext_modules=[Extension("qelcntr._qelcntr", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": "build-py"}},
    zip_safe=False,
)
