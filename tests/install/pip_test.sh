#!/usr/bin/env bash
# `pip install --no-build-isolation --no-index .` into a fresh venv, offline, with Debian's
# setuptools and wheel seen through --system-site-packages; then the module is used from the
# venv alone, from another folder, with the venv's interpreter.
#   pip_test.sh SOURCE_DIR PIP_BUILD_DIR PYTHON WERROR [COMPILER_LAUNCHER]
# PIP_BUILD_DIR is the CMake tree setup.py builds in (kept between runs); it is configured with
# the parent build's warning flags and compiler launcher so that the compiler's cache serves both.
set -euo pipefail

source_dir="$1" cmake_tree="$2" python="$3" werror="$4"
if [[ -n "${5:-}" ]]; then export CMAKE_CXX_COMPILER_LAUNCHER="$5"; fi
work="$(mktemp -d "${TMPDIR:-/tmp}/quern-pip.XXXXXX")"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$python" -m venv --system-site-packages "$work/venv"
QUERN_BUILD_DIR="$cmake_tree" QUERN_CMAKE_ARGS="-DORVANEL_WERROR=$werror" PIP_NO_INPUT=1 \
  "$work/venv/bin/pip" install --no-build-isolation --no-index "$source_dir" \
  >"$work/pip.log" 2>&1 || { tail -40 "$work/pip.log"; fail "pip install"; }

cd "$work"
HOME="$work" XDG_CONFIG_HOME="$work/config" "$work/venv/bin/python" - "$work" <<'PY'
import os, sys
import quern
venv = os.path.join(sys.argv[1], "venv")
assert os.path.realpath(quern.__file__).startswith(os.path.realpath(venv)), quern.__file__
fso = quern.CreateObject("Quern0102.orvFSO")
text = os.path.join(sys.argv[1], "t.txt")
fso.PutFile2(text, "через pip", True, quern.feUTF8)
assert quern.GetFile2(text) == "через pip"
PY
"$work/venv/bin/pip" uninstall -y quern >/dev/null || fail "pip uninstall"
echo "pip test passed"
