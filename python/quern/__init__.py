"""quern: the Quern0102 file I/O components for Python.

Every class, member, parameter name, default and description comes from the library's own type
information, so what a script sees here is what a C++ or late-bound client sees:

    import quern
    fso = quern.orvFSO()
    text = fso.GetFile2("notes.txt", Encoding=quern.feUTF8)
    encoding = quern.Ref()
    quern.GetFile2("notes.txt", lpEncoding=encoding)   # members of orvFSO are module functions
    print(encoding.value)                               # FileEncodingConst.feUTF8

Methods take positional or keyword arguments; an optional parameter left out takes the
library's default. A by-reference parameter takes a quern.Ref, whose .value is passed in and
replaced by the value the member leaves. Read-only properties without parameters are attributes.
A raised error is quern.Error with .number, .source and .description; a call with too many
arguments (450) or without a required one (449) raises it too, while an unknown or repeated
keyword is a TypeError as for any Python function.
"""

import enum as _enum
import inspect as _inspect
import keyword as _keyword

from . import _quern

__all__ = ["Error", "ItemError", "Ref", "MISSING", "CreateObject"]

LIBRARY_NAME = "Quern0102"


class Error(Exception):
    """A raised error of a component: VB error number, source and description."""

    def __init__(self, number, source="", description=""):
        super().__init__(number, source, description)
        self.number = number
        self.source = source
        self.description = description

    def __str__(self):
        where = f", {self.source}" if self.source else ""
        return f"{self.description} (error {self.number}{where})"


class ItemError(Error, IndexError, KeyError):
    """obj[key] found nothing: the collection's own error, also an IndexError and a KeyError so
    that Python code that looks things up can catch it the usual way."""

    __str__ = Error.__str__


class Ref:
    """A by-reference argument: .value goes in, and holds what the member left after the call
    (also when the call raised)."""

    __slots__ = ("value",)

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

_classes = {}  # Python class by library class name
_enums = {}  # IntEnum by enumeration name


def _class_for(handle):
    """The Python class of a library object; classes no type library lists (the next stage's,
    another library's) are built from the object's own member table on first sight."""
    name = handle._class_name
    cls = _classes.get(name)
    if cls is None:
        cls = _build_class(_quern.classinfo(handle), progid=None)
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


def _doc(member):
    return member["signature"] + ("\n\n" + member["description"] if member["description"] else "")


def _parameters(member, with_self):
    params = []
    if with_self:
        params.append(_inspect.Parameter("self", _inspect.Parameter.POSITIONAL_OR_KEYWORD))
    for p in member["params"]:
        default = _inspect.Parameter.empty
        if p["optional"]:
            default = _typed(p["default"], _enums.get(p["type"]))
        params.append(
            _inspect.Parameter(
                _python_name(p["name"]),
                _inspect.Parameter.POSITIONAL_OR_KEYWORD,
                default=default,
                annotation=p["type"],
            )
        )
    returns = member["result_type"] or None
    return _inspect.Signature(params, return_annotation=returns)


def _make_call(member):
    """The function (self, *args, **kwargs) that calls one member by its dispatch id."""
    dispid = member["dispid"]
    params = member["params"]
    count = len(params)
    positions = {}
    for i, p in enumerate(params):
        for spelling in (p["name"], _python_name(p["name"]), p["name"].lower()):
            positions.setdefault(spelling, i)
    result_enum = _enums.get(member["result_type"])
    out_enums = [(i, _enums[p["type"]]) for i, p in enumerate(params)
                 if p["by_ref"] and p["type"] in _enums]
    label = member["name"]

    def call(self, *args, **kwargs):
        values = list(args)
        if kwargs:
            if len(values) < count:
                values.extend([MISSING] * (count - len(values)))
            for key, value in kwargs.items():
                i = positions.get(key)
                if i is None:
                    i = positions.get(key.lower())
                if i is None:
                    raise TypeError(f"{label}() got an unexpected keyword argument {key!r}")
                if i < len(args):
                    raise TypeError(f"{label}() got multiple values for argument {key!r}")
                values[i] = value
        try:
            return _typed(_quern.invoke(self, dispid, values), result_enum)
        finally:
            for i, enum_class in out_enums:
                if i < len(values) and isinstance(values[i], Ref):
                    values[i].value = _typed(values[i].value, enum_class)

    return call


def _make_method(member, class_name):
    call = _make_call(member)

    def method(self, *args, **kwargs):
        return call(self, *args, **kwargs)

    method.__name__ = member["name"]
    method.__qualname__ = f"{class_name}.{member['name']}"
    method.__doc__ = _doc(member)
    method.__signature__ = _parameters(member, with_self=True)
    return method


def _make_property(member):
    dispid = member["dispid"]
    result_enum = _enums.get(member["result_type"])

    def get(self):
        return _typed(_quern.invoke(self, dispid, ()), result_enum)

    get.__name__ = member["name"]
    return property(get, doc=_doc(member))


def _add_protocols(namespace, members):
    """Item (dispatch id 0), Count and NewEnum (dispatch id -4) also serve obj[i], len(obj) and
    iteration, with the class's own indexing (a Collection counts from 1)."""
    by_id = {m["dispid"]: m for m in members}
    if 0 in by_id:

        def __getitem__(self, key):
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
            return _quern.invoke(self, count_id, ())

        namespace["__len__"] = __len__
    if -4 in by_id:

        def __iter__(self):
            enumerator = _quern.invoke(self, -4, ())
            item = Ref()
            while enumerator.Next(item):
                yield item.value
                item.value = None

        namespace["__iter__"] = __iter__


def _build_class(info, progid):
    name = info["name"]
    members = info["members"]
    namespace = {"__slots__": (), "__module__": __name__, "__doc__": info["description"] or None}
    for member in members:
        if member["kind"] == "property" and not member["params"]:
            namespace[member["name"]] = _make_property(member)
        else:
            namespace[member["name"]] = _make_method(member, name)
    _add_protocols(namespace, members)

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
    return cls


def _make_module_function(member, application):
    call = _make_call(member)

    def function(*args, **kwargs):
        return call(application(), *args, **kwargs)

    function.__name__ = member["name"]
    function.__qualname__ = member["name"]
    function.__doc__ = _doc(member)
    function.__signature__ = _parameters(member, with_self=False)
    return function


def CreateObject(progid):
    """A new object of the class registered under progid ("Quern0102.orvFSO")."""
    return _quern.create(progid)


def _load():
    names = globals()
    library = _quern.typelib(f"{LIBRARY_NAME}.orvFSO")
    for data in library["enums"]:
        enum_class = _enum.IntEnum(data["name"], data["members"], module=__name__)
        enum_class.__doc__ = data["description"] or None
        _enums[data["name"]] = enum_class
        names.setdefault(data["name"], enum_class)
        for member_name, _ in data["members"]:
            names.setdefault(member_name, enum_class[member_name])
    for info in _quern.frame_classes():
        names.setdefault(info["name"], _build_class(info, progid=None))
    for info in library["classes"]:
        names.setdefault(info["name"], _build_class(info, f"{library['name']}.{info['name']}"))
    return library


type_library = _load()

_application_class = _classes.get(type_library["application_object"] or "")
_application_instance = None
_application_properties = {}


def _application():
    """The one instance behind the module-level functions, made on first use."""
    global _application_instance
    if _application_instance is None:
        _application_instance = _application_class()
    return _application_instance


if _application_class is not None:
    for _member in next(c for c in type_library["classes"]
                        if c["name"] == _application_class.__name__)["members"]:
        if _member["kind"] == "property" and not _member["params"]:
            _application_properties[_member["name"]] = _member["name"]
        elif _member["name"] not in globals():
            globals()[_member["name"]] = _make_module_function(_member, _application)
    del _member


def __getattr__(name):
    # Properties of the application object read as module attributes.
    if name in _application_properties:
        return getattr(_application(), name)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
