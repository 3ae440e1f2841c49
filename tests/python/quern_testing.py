"""Shared set-up of the quern tests: a private registration folder, home and data folder, a
UTF-8 locale (so the ANSI code page is UTF-8), and a fresh temporary folder per test."""

import atexit
import os
import shutil
import tempfile
import unittest

_sandbox = tempfile.mkdtemp(prefix="quern-tests-")
atexit.register(shutil.rmtree, _sandbox, True)
os.environ.setdefault("ORVANEL_REGISTRY", os.path.join(_sandbox, "registry"))
os.environ["HOME"] = os.path.join(_sandbox, "home")
os.environ["XDG_DATA_HOME"] = os.path.join(_sandbox, "data")
os.environ["XDG_CONFIG_HOME"] = os.path.join(_sandbox, "config")
os.environ["LC_ALL"] = "C.UTF-8"

import quern  # noqa: E402  (after the environment above)


class FolderTest(unittest.TestCase):
    """A test with its own empty folder, removed afterwards."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(dir=_sandbox)
        self.addCleanup(shutil.rmtree, self.folder, True)

    def path(self, name):
        return os.path.join(self.folder, name)

    def write_bytes(self, name, data):
        with open(self.path(name), "wb") as file:
            file.write(data)
        return self.path(name)

    def read_bytes(self, name):
        with open(self.path(name), "rb") as file:
            return file.read()


__all__ = ["quern", "FolderTest"]
