"""How the library's boundary types meet Python: the annotation each shows in help(), which Python
values a parameter takes, and the conversions done before a call (paths, callbacks, None).

The rules, per parameter type of the member tables:

  String        str. A path (a String parameter named FileName, PathName or Path: the tables
                name every file or folder parameter so) also takes bytes and any os.PathLike;
                bytes reach the file system as they are, undecoded.
  Boolean       bool or int          Long, Integer, Byte     int
  Double        int or float         Date                    datetime.datetime or datetime.date
  Byte()        bytes, bytearray or memoryview
  an enumeration  its IntEnum or any int
  Variant       anything the library can hold (None, bool, int, float, str, bytes-like, dates,
                library objects)
  an interface  a library object, an object with the interface's methods, or, for an interface
                of one method, any callable (see CallableHandler)

A value of another Python type is a TypeError, as Python's own functions raise. A value of the
right type whose content does not fit is the library's own error: an int beyond the range of a
Long is quern.Error 6 (overflow), text that a Variant member cannot read as a number is 13
(type mismatch). None for an optional parameter means "left out" (its default applies); for a
required one it is a TypeError, except for a Variant, where None is the empty value. A
by-reference parameter also takes a quern.Ref, whose .value is passed unchecked.
"""

import collections.abc as _abc
import datetime as _datetime
import os as _os
import types as _types
import typing as _typing

from . import _quern

PATH_PARAMETER_NAMES = frozenset({"FileName", "PathName", "Path"})


class Ref:
    """A by-reference argument: .value goes in, and holds what the member left after the call
    (also when the call raised). Ref[bool] in an annotation is a Ref holding a bool."""

    __slots__ = ("value",)
    __class_getitem__ = classmethod(_types.GenericAlias)

    def __init__(self, value=None):
        self.value = value

    def __repr__(self):
        return f"quern.Ref({self.value!r})"


class _MissingType:
    """The marker of a parameter left out (the library then uses its default)."""

    _instance = None

    def __new__(cls):
        if cls._instance is None:
            cls._instance = super().__new__(cls)
        return cls._instance

    def __repr__(self):
        return "quern.MISSING"

    def __bool__(self):
        return False

    def __reduce__(self):
        return "MISSING"


MISSING = _MissingType()
Ref.__module__ = "quern"

PathArgument = str | bytes | _os.PathLike[str] | _os.PathLike[bytes]
Buffer = bytes | bytearray | memoryview

# Boundary type -> (annotation of a parameter, annotation of a result, accepted types, the
# accepted types in words).
_SIMPLE = {
    "String": (str, str, (str,), "str"),
    "Boolean": (bool, bool, (int,), "bool or int"),
    "Byte": (int, int, (int,), "int"),
    "Integer": (int, int, (int,), "int"),
    "Long": (int, int, (int,), "int"),
    "Double": (float, float, (int, float), "int or float"),
    "Date": (_datetime.datetime, _datetime.datetime, (_datetime.date,),
             "datetime.datetime or datetime.date"),
    "Byte()": (Buffer, bytes, (bytes, bytearray, memoryview), "bytes, bytearray or memoryview"),
}


def is_path(param):
    return param["type"] == "String" and param["name"] in PATH_PARAMETER_NAMES


def path_text(value):
    """A path argument as the text the library takes: str as it is, bytes as the name standing
    for exactly those bytes, an os.PathLike through os.fspath."""
    value = _os.fspath(value)
    return _quern.name_from_native(value) if isinstance(value, bytes) else value


class CallableHandler:
    """Stands for a Python callable where the library expects an object with one method (the
    search's progress callback): the callable gets the method's arguments. For a method with a
    by-reference Boolean (DirectoryCompleted's Cancel) a true result also sets it, so both

        def progress(path, cancel): cancel.value = path.endswith("/.git")
        lambda path, cancel: path.endswith("/.git")

    stop the search at a .git folder; a result of None or False leaves Cancel as it was."""

    __slots__ = ("function",)

    def __init__(self, function):
        self.function = function


def handler_class(method):
    """A CallableHandler class whose one method has the name and parameters of `method`."""
    flag = next((i for i, p in enumerate(method["params"])
                 if p["by_ref"] and p["type"] == "Boolean"), None)

    def call(self, *args):
        result = self.function(*args)
        if result and flag is not None and flag < len(args) and isinstance(args[flag], Ref):
            args[flag].value = True

    call.__name__ = method["name"]
    return type("CallableHandler_" + method["name"], (CallableHandler,),
                {"__slots__": (), method["name"]: call})


class Rules:
    """The annotations and argument checks of a loaded library: `classes` maps class and
    interface names to (Python class, class data), `enums` enumeration names to IntEnums."""

    def __init__(self, classes, enums):
        self.classes = classes
        self.enums = enums
        self._handlers = {}

    def result_annotation(self, type_name):
        if not type_name:
            return None
        if type_name in _SIMPLE:
            return _SIMPLE[type_name][1]
        if type_name in self.enums:
            return self.enums[type_name] | int
        if type_name == "Variant":
            return _typing.Any
        cls = self.classes.get(type_name)
        if cls is not None:
            return cls[0]
        if type_name == "IUnknown":
            return self.classes["IEnumVARIANT"][0]
        return type_name  # a class the library makes on first sight (the icon's picture)

    def member_result(self, member):
        """The annotation of what a member gives. A member that gives an object may give None
        (VB's Nothing: a failed read, an icon before ReadFile), except the items and the
        enumerator of a collection and a found entry's Childs, which are always made."""
        annotation = self.result_annotation(member["result_type"])
        always_made = member["dispid"] in (0, -4) or member["name"] == "Childs"
        if isinstance(annotation, type) and issubclass(annotation, _quern.Handle) \
                and not always_made:
            annotation = annotation | None
        return annotation

    def parameter_annotation(self, param):
        type_name = param["type"]
        if is_path(param):
            annotation = PathArgument
        elif type_name in _SIMPLE:
            annotation = _SIMPLE[type_name][0]
        elif type_name in self.enums:
            annotation = self.enums[type_name] | int
        elif type_name == "Variant":
            annotation = _typing.Any
        elif self._interface_method(type_name) is not None:
            annotation = self.classes[type_name][0] | _abc.Callable[..., object]
        else:
            annotation = self.result_annotation(type_name)
        if param["by_ref"] and annotation is not _typing.Any:
            # An optional one only gives a value back; a required one may also take a value.
            annotation = Ref[annotation] if param["optional"] else annotation | Ref[annotation]
        return annotation

    def _interface_method(self, type_name):
        """The one method of a library interface a Python object may implement, or None."""
        found = self.classes.get(type_name)
        if found is None or not type_name.startswith("_"):
            return None
        methods = [m for m in found[1]["members"] if m["kind"] == "method"]
        return methods[0] if len(methods) == 1 else None

    def converter(self, param, label):
        """A function that checks and converts one argument of parameter `param` of the member
        called `label`, or None where every value goes to the library as it is."""
        name = param["name"]
        type_name = param["type"]
        optional = param["optional"]

        def refuse(value, expected):
            return TypeError(f"{label}() argument '{name}' must be {expected}, "
                             f"not {type(value).__name__}")

        def passes(value):
            """True when the value goes as it is without a check: left out, a Ref, or None."""
            if value is MISSING or isinstance(value, Ref):
                return True
            if value is None and not optional:
                raise refuse(value, expected)
            return False

        if type_name == "Variant":
            return None
        if is_path(param):
            expected = "str, bytes or os.PathLike"

            def convert(value):
                if passes(value):
                    return value
                if value is None:
                    return MISSING
                if isinstance(value, str):
                    return value
                try:
                    return path_text(value)
                except TypeError:
                    raise refuse(value, expected) from None

            return convert
        method = self._interface_method(type_name)
        if method is not None:
            expected = f"{self.classes[type_name][0].__name__}, a callable or an object with " \
                       f"{method['name']}()"
            handler = self._handlers.get(type_name)
            if handler is None:
                handler = self._handlers[type_name] = handler_class(method)

            def convert(value):
                if passes(value):
                    return value
                if value is None:
                    return MISSING
                if hasattr(value, method["name"]):  # a library object or a Python one
                    return value
                if callable(value):
                    return handler(value)
                raise refuse(value, expected)

            return convert
        if type_name in _SIMPLE:
            accepted, expected = _SIMPLE[type_name][2], _SIMPLE[type_name][3]
        elif type_name in self.enums:
            accepted, expected = (int,), f"{type_name} or int"
        elif type_name in self.classes:
            accepted, expected = (self.classes[type_name][0],), self.classes[type_name][0].__name__
        else:
            return None

        def convert(value):
            if passes(value):
                return value
            if value is None:
                return MISSING
            if isinstance(value, accepted):
                return value
            raise refuse(value, expected)

        return convert


def annotation_text(annotation):
    """An annotation as source text for the type stub ("str | bytes | os.PathLike[str]")."""
    if annotation is None or annotation is type(None):
        return "None"
    if annotation is _typing.Any:
        return "Any"
    if annotation is Ellipsis:
        return "..."
    if isinstance(annotation, str):
        return annotation
    if isinstance(annotation, _types.UnionType):
        return " | ".join(annotation_text(a) for a in annotation.__args__)
    if isinstance(annotation, _types.GenericAlias):
        origin, args = annotation.__origin__, annotation.__args__
        if origin is _abc.Callable:
            return f"Callable[..., {annotation_text(args[-1])}]"
        prefix = "os." if origin is _os.PathLike else ""
        return f"{prefix}{origin.__name__}[{', '.join(annotation_text(a) for a in args)}]"
    if annotation is _datetime.datetime:
        return "datetime.datetime"
    return annotation.__name__
