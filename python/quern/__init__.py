"""quern: the Quern0102 file I/O components for Python.

Every class, member, parameter name and default comes from the library's own type information,
so what a script sees here is what a C++ or late-bound client sees; the English descriptions
are the package's own (quern._docs):

    import quern
    fso = quern.orvFSO()
    text = fso.GetFile2("notes.txt", Encoding=quern.feUTF8)
    encoding = quern.Ref()
    quern.GetFile2("notes.txt", lpEncoding=encoding)   # members of orvFSO are module functions
    print(encoding.value)                               # FileEncodingConst.feUTF8

Methods and functions have the member's own parameters, so help() and inspect.signature()
show them with Python types, and a missing, surplus or unknown argument is a TypeError as for
any Python function. An optional parameter left out (or given None) takes the library's
default. A by-reference parameter takes a quern.Ref, whose .value is passed in and replaced by
the value the member leaves. Read-only properties without parameters are attributes.

A file or folder name may be str, bytes (passed to the file system undecoded) or any
os.PathLike. Values of a Python type a parameter cannot take are a TypeError (the rules are in
quern._values). A raised error is quern.Error, also an OSError: .number, .source and
.description as the library gives them, .errno where the number has one (53 and 76 ENOENT,
70 EACCES, 75 EIO ...) and .filename, the path argument of the member.

The search's progress callback may be a quern.IFindFilesCallback, any object with a
DirectoryCompleted(Path, Cancel) method, or any callable taking (Path, Cancel): setting
Cancel.value to True, or returning a true value, stops the search.
"""

import enum as _enum
import keyword as _keyword
import os as _os
import typing as _typing

from . import _docs, _quern, _values
from ._errors import Error, ItemError
from ._values import MISSING, Ref

__all__ = ["Error", "ItemError", "Ref", "MISSING", "CreateObject"]

__version__ = _quern.version

LIBRARY_NAME = "Quern0102"

_classes = {}  # Python class by library class name
_enums = {}  # IntEnum by enumeration name
# The annotations and argument checks, over the classes by class and interface name.
_rules = _values.Rules({}, _enums)


def _class_for(handle):
    """The Python class of a library object; classes no type library lists (the next stage's,
    another library's) are built from the object's own member table on first sight."""
    name = handle._class_name
    cls = _classes.get(name)
    if cls is None:
        info = _quern.classinfo(handle)
        cls = _declare_class(info, progid=None)
        _add_members(cls, info)
    return cls


_quern.register(error=Error, ref=Ref, missing=MISSING, factory=_class_for)


def _typed(value, enum_class):
    """An integer result or out-value of an enumeration type as that IntEnum when it is one of
    its members; other values as they came."""
    if enum_class is not None and type(value) is int:
        try:
            return enum_class(value)
        except ValueError:
            pass
    return value


def _python_name(name):
    return name + "_" if _keyword.iskeyword(name) else name


def _make_call(member, label):
    """The function (self, values) that calls one member by its dispatch id with the values of
    all its parameters in order (MISSING where left out): each is checked and converted first,
    and a raised error names the member's path argument as its filename."""
    dispid = member["dispid"]
    params = member["params"]
    converters = [(i, c) for i, c in
                  ((i, _rules.converter(p, label)) for i, p in enumerate(params)) if c]
    path_index = next((i for i, p in enumerate(params) if _values.is_path(p)), None)
    result_enum = _enums.get(member["result_type"])
    out_enums = [(i, _enums[p["type"]]) for i, p in enumerate(params)
                 if p["by_ref"] and p["type"] in _enums]

    def call(self, values):
        filename = None
        if path_index is not None:
            given = values[path_index]
            if isinstance(given, (str, bytes, _os.PathLike)):
                filename = _os.fspath(given)
        if converters:
            values = list(values)
            for i, convert in converters:
                values[i] = convert(values[i])
        try:
            return _typed(_quern.invoke(self, dispid, values, filename), result_enum)
        finally:
            for i, enum_class in out_enums:
                if isinstance(values[i], Ref):
                    values[i].value = _typed(values[i].value, enum_class)

    return call


def _make_function(member, qualname, target):
    """A Python function with the member's own parameters (so Python itself reports a missing,
    surplus or unknown argument) that calls it on `target` (the first parameter of a method,
    the application object for a module function), with Python annotations and an English
    docstring."""
    name = member["name"]
    params = member["params"]
    names = [_python_name(p["name"]) for p in params]
    defaults = [_typed(p["default"], _enums.get(p["type"])) for p in params]
    declared = [n if not p["optional"] else f"{n}=_defaults[{i}]"
                for i, (n, p) in enumerate(zip(names, params))]
    if target == "self":
        declared.insert(0, "self")
    values = "".join(n + ", " for n in names)
    source = f"def {_python_name(name)}({', '.join(declared)}):\n    return _call({target}, ({values}))\n"
    namespace = {"_call": _make_call(member, qualname), "_defaults": defaults,
                 "_application": _application}
    exec(source, namespace)
    function = namespace[_python_name(name)]
    function.__qualname__ = qualname
    function.__module__ = __name__
    annotations = {n: _rules.parameter_annotation(p) for n, p in zip(names, params)}
    annotations["return"] = _rules.member_result(member)
    function.__annotations__ = annotations
    function.__doc__ = _docs.member_doc(qualname.partition(".")[0] if target == "self"
                                        else _application_name, member, _rules)
    return function


def _make_property(member, class_name):
    dispid = member["dispid"]
    result_enum = _enums.get(member["result_type"])

    def get(self):
        return _typed(_quern.invoke(self, dispid, ()), result_enum)

    get.__name__ = member["name"]
    get.__qualname__ = f"{class_name}.{member['name']}"
    get.__annotations__ = {"return": _rules.member_result(member)}
    return property(get, doc=_docs.member_doc(class_name, member, _rules))


def _add_protocols(namespace, members):
    """Item (dispatch id 0), Count and NewEnum (dispatch id -4) also serve obj[i], len(obj) and
    iteration, with the class's own indexing (a Collection counts from 1)."""
    by_id = {m["dispid"]: m for m in members}
    if 0 in by_id:

        def __getitem__(self, key):
            """obj[key] is obj.Item(key); nothing there is a quern.ItemError (an IndexError
            and a KeyError too)."""
            try:
                return _quern.invoke(self, 0, (key,))
            except Error as error:
                if error.number in (5, 9) and not isinstance(error, ItemError):
                    raise ItemError(error.number, error.source, error.description) from None
                raise

        namespace["__getitem__"] = __getitem__
    count = next((m for m in members if m["name"].lower() == "count"
                  and not any(not p["optional"] for p in m["params"])), None)
    if count is not None:
        count_id = count["dispid"]

        def __len__(self):
            """len(obj) is obj.Count."""
            return _quern.invoke(self, count_id, ())

        namespace["__len__"] = __len__
    if -4 in by_id:

        def __iter__(self):
            """The items in the order of obj.Item."""
            enumerator = _quern.invoke(self, -4, ())
            item = Ref()
            while enumerator.Next(item):
                yield item.value
                item.value = None

        namespace["__iter__"] = __iter__


def _declare_class(info, progid):
    """The Python class of a library class, without its members yet, so that every class can be
    named in the annotations of every other."""
    name = info["name"]
    namespace = {"__slots__": (), "__module__": __name__,
                 "__doc__": _docs.class_doc(name, info["description"])}

    if info["creatable"] and progid:

        def __new__(cls):
            return _quern.create(progid)

    else:

        def __new__(cls, *args, **kwargs):
            raise TypeError(f"{name} objects are made by the library only")

    namespace["__new__"] = __new__

    def __repr__(self):
        return f"<quern.{name} object>"

    namespace["__repr__"] = __repr__
    cls = type(name, (_quern.Handle,), namespace)
    _classes[name] = cls
    _rules.classes[name] = _rules.classes[info["interface"]] = (cls, info)
    return cls


def _add_members(cls, info):
    name = info["name"]
    members = info["members"]
    namespace = {}
    for member in members:
        if member["kind"] == "property" and not member["params"]:
            namespace[member["name"]] = _make_property(member, name)
        else:
            namespace[member["name"]] = _make_function(member, f"{name}.{member['name']}",
                                                       "self")
    _add_protocols(namespace, members)
    for key, value in namespace.items():
        setattr(cls, key, value)


def CreateObject(progid: str) -> _typing.Any:
    """A new object of the class registered under progid ("Quern0102.orvFSO"); quern.Error 429
    when no creatable class has that name."""
    return _quern.create(progid)


_application_class = None
_application_instance = None
_application_name = None
_application_properties = {}


def _application():
    """The one instance behind the module-level functions, made on first use."""
    global _application_instance
    if _application_instance is None:
        _application_instance = _application_class()
    return _application_instance


def _load():
    names = globals()
    library = _quern.typelib(f"{LIBRARY_NAME}.orvFSO")
    for data in library["enums"]:
        enum_class = _enum.IntEnum(data["name"], data["members"], module=__name__)
        enum_class.__doc__ = _docs.enum_doc(data["name"])
        _enums[data["name"]] = enum_class
        names.setdefault(data["name"], enum_class)
        for member_name, _ in data["members"]:
            names.setdefault(member_name, enum_class[member_name])
    infos = list(_quern.frame_classes())
    progids = [None] * len(infos)
    for info in library["classes"]:
        infos.append(info)
        progids.append(f"{library['name']}.{info['name']}")
    classes = [_declare_class(info, progid) for info, progid in zip(infos, progids)]
    for cls, info in zip(classes, infos):
        _add_members(cls, info)
        names.setdefault(info["name"], cls)
    return library


type_library = _load()

_application_name = type_library["application_object"]
_application_class = _classes.get(_application_name or "")

if _application_class is not None:
    for _member in next(c for c in type_library["classes"]
                        if c["name"] == _application_name)["members"]:
        if _member["kind"] == "property" and not _member["params"]:
            _application_properties[_member["name"]] = _member["name"]
        elif _member["name"] not in globals():
            globals()[_member["name"]] = _make_function(_member, _member["name"],
                                                        "_application()")
    del _member


def __getattr__(name):
    # Properties of the application object read as module attributes.
    if name in _application_properties:
        return getattr(_application(), name)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
