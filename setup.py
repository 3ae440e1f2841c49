"""Builds the Python package quern (the extension _quern over libquern0102) with CMake, for
pip install --no-build-isolation . (see pyproject.toml).

The CMake tree is build-pip/ in the source folder (QUERN_BUILD_DIR chooses another), kept
between builds. The wheel holds the
package, the extension and libquern0102.so.1 beside it: the extension is linked with the run
path $ORIGIN, so it finds that copy wherever pip puts the package. The component mechanism
finds the library already loaded by the extension, so nothing else needs installing.
QUERN_CMAKE_ARGS adds arguments to the CMake configure line (e.g. -DORVANEL_WERROR=ON);
CMAKE_CXX_COMPILER_LAUNCHER (ccache) is honoured by CMake itself.
"""
import os
import pathlib
import re
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
CMAKE_TREE = pathlib.Path(os.environ.get("QUERN_BUILD_DIR") or ROOT / "build-pip").resolve()


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    return re.search(r"project\(\w+ VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        configure = [
            "cmake", "-S", str(ROOT), "-B", str(CMAKE_TREE),
            f"-DPython3_EXECUTABLE={sys.executable}",
            "-DORVANEL_TESTS=OFF", "-DORVANEL_MANUALS=OFF",
            # The package folder is also the library folder: the extension's run path is $ORIGIN,
            # and it is linked so in the build tree already, since that file is what is copied.
            "-DQUERN_PYTHON_DIR:STRING=quern", "-DCMAKE_INSTALL_LIBDIR:STRING=quern",
            "-DCMAKE_BUILD_WITH_INSTALL_RPATH=ON",
        ]
        if shutil.which("ninja") and not (CMAKE_TREE / "CMakeCache.txt").exists():
            configure += ["-G", "Ninja"]
        configure += shlex.split(os.environ.get("QUERN_CMAKE_ARGS", ""))
        subprocess.run(configure, check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(["cmake", "--build", str(CMAKE_TREE), "--target", "_quern", "quern_python",
                        "--parallel", jobs], check=True)

        extension = pathlib.Path(self.get_ext_fullpath(ext.name))
        extension.parent.mkdir(parents=True, exist_ok=True)
        built = next((CMAKE_TREE / "python" / "quern").glob("_quern*.so"))
        shutil.copy2(built, extension)
        shutil.copy2(CMAKE_TREE / "bin" / "libquern0102.so.1", extension.parent)


setup(
    name="quern",
    version=project_version(),
    description="Quern0102 file I/O library: text files in any encoding, descriptions, "
                "streams, version resources, file search",
    license="MIT",
    python_requires=">=3.9",
    packages=["quern"],
    package_dir={"quern": "python/quern"},
    package_data={"quern": ["*.pyi", "py.typed"]},
    ext_modules=[Extension("quern._quern", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": str(CMAKE_TREE / "setuptools")}},
    zip_safe=False,
)
