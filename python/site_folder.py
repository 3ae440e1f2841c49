"""Prints the folder, relative to the prefix given as the argument, where this interpreter looks
for installed packages. Used by CMake to decide where the package `quern` is installed.

Debian's python3 has a scheme of its own for the system (deb_system: /usr/lib/python3/
dist-packages) and one for /usr/local (posix_local, whose base is /usr); every other prefix,
and every other interpreter, gets the ordinary posix_prefix layout, which is also a venv's.
"""
import os
import sys
import sysconfig

prefix = os.path.normpath(sys.argv[1])
schemes = sysconfig.get_scheme_names()
if prefix == "/usr" and "deb_system" in schemes:
    scheme, base = "deb_system", prefix
elif prefix == "/usr/local" and "posix_local" in schemes:
    scheme, base = "posix_local", "/usr"
else:
    scheme, base = "posix_prefix", prefix
folder = sysconfig.get_path("platlib", scheme, vars={"base": base, "platbase": base})
print(os.path.relpath(folder, prefix))
