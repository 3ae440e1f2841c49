"""Writes the type stub of the quern package (quern/__init__.pyi) from the package itself, so the
stub names every class, member and parameter the running module has, with the same types.

    PYTHONPATH=build/python python3 scripts/write_quern_stub.py python/quern/__init__.pyi

Run it again whenever the library's classes or the package's type rules change; the Python
tests compare the stub's names with the module's.
"""

import os
import sys
import tempfile

import quern
from quern import _values

HEADER = '''"""Type stub of the quern package: the Quern0102 file I/O components for Python.
Written by scripts/write_quern_stub.py from the package itself; do not edit by hand."""

import datetime
import enum
import os
from collections.abc import Callable, Iterator
from typing import Any, Generic, Protocol, TypeAlias, TypeVar, overload

_T = TypeVar("_T")
# A file or folder name; bytes are passed to the file system undecoded.
_Path: TypeAlias = str | bytes | os.PathLike[str] | os.PathLike[bytes]
_Buffer: TypeAlias = bytes | bytearray | memoryview

__version__: str
LIBRARY_NAME: str
type_library: dict[str, Any]

class Error(OSError):
    number: int
    source: str
    description: str
    def __init__(self, number: int, source: str = ..., description: str = ...,
                 filename: str | bytes | None = ...) -> None: ...

class ItemError(Error, IndexError, KeyError): ...

class Ref(Generic[_T]):
    value: _T
    @overload
    def __init__(self: Ref[Any]) -> None: ...
    @overload
    def __init__(self, value: _T) -> None: ...

class _MissingType: ...

MISSING: _MissingType

def CreateObject(progid: str) -> Any: ...
'''


def picture_class():
    """The class of an icon picture, which the library makes on first sight only."""
    with tempfile.NamedTemporaryFile(suffix=".txt") as file:
        info = quern.orvShellFileInfo()
        info.ReadFile(file.name)
        return type(info.Icon.Icon)


def handler_protocols(rules):
    """Protocol classes for the interfaces a Python object may implement (the parameter types
    that are interfaces of one method), by interface name."""
    protocols = {}
    parameter_types = {p["type"] for _, info in rules.classes.values()
                       for m in info["members"] for p in m["params"]}
    for type_name in sorted(parameter_types):
        method = rules._interface_method(type_name)
        if method is None:
            continue
        cls = rules.classes[type_name][0]

        def given(p):  # what the library hands the Python method
            text = fix(_values.annotation_text(rules.result_annotation(p["type"])))
            return f"Ref[{text}]" if p["by_ref"] else text

        params = ", ".join(f"{p['name']}: {given(p)}" for p in method["params"])
        args = ", ".join(given(p) for p in method["params"])
        name = f"_{method['name']}Handler"
        protocols[type_name] = (
            f"{cls.__name__} | {name} | Callable[[{args}], object]",
            f"class {name}(Protocol):\n    def {method['name']}(self, {params}) -> object: ...\n")
    return protocols


def parameter_text(rules, param, protocols):
    if param["type"] in protocols:
        return protocols[param["type"]][0]
    return fix(_values.annotation_text(rules.parameter_annotation(param)))


def fix(text):
    """Names the stub spells its own way: the picture class (private, since the module only
    meets it at run time) and the aliases of paths and buffers."""
    text = text.replace("str | bytes | os.PathLike[str] | os.PathLike[bytes]", "_Path")
    text = text.replace("bytes | bytearray | memoryview", "_Buffer")
    return text.replace("StdPicture", "_StdPicture").replace("__StdPicture", "_StdPicture")


def member_lines(rules, cls, info, protocols, module_function=False):
    lines = []
    members = info["members"]
    for member in members:
        result = fix(_values.annotation_text(rules.member_result(member)))
        if member["kind"] == "property" and not member["params"] and not module_function:
            lines += ["    @property", f"    def {member['name']}(self) -> {result}: ..."]
            continue
        params = [] if module_function else ["self"]
        for p in member["params"]:
            text = f"{quern._python_name(p['name'])}: {parameter_text(rules, p, protocols)}"
            params.append(text + (" = ..." if p["optional"] else ""))
        indent = "" if module_function else "    "
        lines.append(f"{indent}def {member['name']}({', '.join(params)}) -> {result}: ...")
    if module_function:
        return lines
    by_id = {m["dispid"]: m for m in members}
    if 0 in by_id:
        item = fix(_values.annotation_text(rules.result_annotation(by_id[0]["result_type"])))
        lines.append(f"    def __getitem__(self, key: Any) -> {item}: ...")
        if -4 in by_id:
            lines.append(f"    def __iter__(self) -> Iterator[{item}]: ...")
    if hasattr(cls, "__len__"):
        lines.append("    def __len__(self) -> int: ...")
    return lines


def class_lines(rules, cls, info, protocols, name=None):
    lines = [f"class {name or cls.__name__}:"]
    if info["creatable"] and cls.__name__ in vars(quern):
        lines.append("    def __init__(self) -> None: ...")
    lines += member_lines(rules, cls, info, protocols)
    if len(lines) == 1:
        lines.append("    ...")
    return lines


def stub_text():
    rules = quern._rules
    picture = picture_class()
    protocols = handler_protocols(rules)
    out = [HEADER]
    for enum_class in quern._enums.values():
        out.append(f"class {enum_class.__name__}(enum.IntEnum):")
        # __members__ keeps the aliases (two names of one value) that iteration skips.
        out += [f"    {name} = {m.value}" for name, m in enum_class.__members__.items()]
        out.append("")
    for enum_class in quern._enums.values():
        out += [f"{name}: {enum_class.__name__}" for name, m in enum_class.__members__.items()
                if getattr(quern, name, None) is m]
    out.append("")
    out += [text for _, text in sorted(protocols.values())]
    seen = set()
    for type_name, (cls, info) in rules.classes.items():
        if cls in seen:
            continue
        seen.add(cls)
        private = cls is picture
        out += class_lines(rules, cls, info, protocols, "_StdPicture" if private else None)
        out.append("")
    application = quern._application_class
    if application is not None:
        info = rules.classes[application.__name__][1]
        module_members = dict(info, members=[m for m in info["members"]
                                             if m["kind"] == "method" or m["params"]])
        out += member_lines(rules, application, module_members, protocols, module_function=True)
    return "\n".join(out).rstrip() + "\n"


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: write_quern_stub.py OUTPUT.pyi")
    text = stub_text()
    with open(sys.argv[1], "w", encoding="utf-8") as file:
        file.write(text)
    print(f"wrote {sys.argv[1]} ({text.count(os.linesep)} lines)")


if __name__ == "__main__":
    main()
