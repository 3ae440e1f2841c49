// _quern: the small C extension under the Python package `quern`. It holds library objects,
// converts values between Python and the automation Variant, calls members by dispatch id and
// hands out the type library as plain Python data. Everything class-specific (which members,
// which parameters, which defaults) is decided in Python from that data, so new classes of the
// library appear without a change here.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <datetime.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "automation/collection.h"
#include "automation/component.h"
#include "automation/date.h"
#include "automation/member_table.h"
#include "automation/object.h"
#include "automation/variant.h"
#include "fileio/orvFSO.h"
#include "platform/memory.h"
#include "support/ov_error.h"
#include "support/ov_unicode.h"

namespace {

using automation::Object;
using automation::Variant;
using automation::VarType;

// What the package registers (register()): the exception class, the by-reference holder class,
// the marker of a left-out parameter and the function that picks the Python class of an object.
PyObject* error_class = nullptr;
PyObject* ref_class = nullptr;
PyObject* missing_marker = nullptr;
PyObject* class_factory = nullptr;
PyTypeObject* handle_type = nullptr;
// Python class per library class, so the factory runs once per class.
std::unordered_map<const automation::ClassInfo*, PyObject*> python_classes;
// The type libraries the package has asked for: where the interface a parameter expects (for
// example the search's progress callback) is looked up when a Python object is passed for it.
std::vector<const automation::TypeLibrary*> known_libraries;
// The Python exception a Python-implemented member raised while the library was calling it. It
// travels back through the library as an automation error and is raised again, as itself,
// when the library's call returns to Python.
PyObject* pending_type = nullptr;
PyObject* pending_value = nullptr;
PyObject* pending_traceback = nullptr;
int32_t pending_number = 0;  // the error number the library was told

void ForgetPendingException() {
  Py_CLEAR(pending_type);
  Py_CLEAR(pending_value);
  Py_CLEAR(pending_traceback);
}

PyObject* ToPython(const Variant& value);
bool FromPython(PyObject* value, Variant* out, const std::string* expected_type = nullptr);
const automation::ClassInfo* ExpectedClass(const std::string& type);
Object* MakePythonObject(PyObject* target, const automation::ClassInfo& interface);

// --- The object handle -----------------------------------------------------------------------

// A Python object holding one reference to a library object. The package's classes derive from
// it, so a wrapper is a handle and passing it back to the library costs nothing.
struct Handle {
  PyObject_HEAD Object* object;
};

Object* HandleObject(PyObject* self) { return reinterpret_cast<Handle*>(self)->object; }

void HandleDealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  if (Object* object = std::exchange(reinterpret_cast<Handle*>(self)->object, nullptr)) {
    object->Release();
  }
  type->tp_free(self);
  Py_DECREF(type);
}

// Two handles are equal when they hold the same library object.
PyObject* HandleCompare(PyObject* self, PyObject* other, int op) {
  if ((op != Py_EQ && op != Py_NE) || !PyObject_TypeCheck(other, handle_type)) {
    Py_RETURN_NOTIMPLEMENTED;
  }
  bool same = HandleObject(self) == HandleObject(other);
  return PyBool_FromLong(op == Py_EQ ? same : !same);
}

Py_hash_t HandleHash(PyObject* self) {
  // The low bits of an object address are always zero; -1 means "error" to Python.
  auto hash = static_cast<Py_hash_t>(reinterpret_cast<uintptr_t>(HandleObject(self)) >> 4);
  return hash == -1 ? -2 : hash;
}

PyObject* HandleClassName(PyObject* self, void*) {
  Object* object = HandleObject(self);
  if (!object) Py_RETURN_NONE;
  const std::string& name = object->TypeInfo().name;
  return PyUnicode_DecodeUTF8(name.data(), static_cast<Py_ssize_t>(name.size()), "replace");
}

PyGetSetDef handle_getset[] = {
    {"_class_name", HandleClassName, nullptr, "The class name of the library object.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot handle_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(HandleDealloc)},
    {Py_tp_richcompare, reinterpret_cast<void*>(HandleCompare)},
    {Py_tp_hash, reinterpret_cast<void*>(HandleHash)},
    {Py_tp_getset, handle_getset},
    {Py_tp_doc, const_cast<char*>("An object of a component library.")},
    {0, nullptr},
};

PyType_Spec handle_spec = {
    "_quern.Handle", sizeof(Handle), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION, handle_slots};

// A new Python object of `type` (Handle or a class derived from it) holding `object`.
PyObject* NewHandle(PyTypeObject* type, Object* object) {
  PyObject* self = type->tp_alloc(type, 0);
  if (!self) return nullptr;
  object->AddRef();
  reinterpret_cast<Handle*>(self)->object = object;
  return self;
}

// The Python object for a library object: an instance of the class the package's factory
// chose for its class (asked once per class).
PyObject* WrapObject(Object* object) {
  const automation::ClassInfo* info = &object->TypeInfo();
  auto found = python_classes.find(info);
  if (found == python_classes.end()) {
    PyObject* plain = NewHandle(handle_type, object);
    if (!plain) return nullptr;
    if (!class_factory) return plain;
    PyObject* chosen = PyObject_CallOneArg(class_factory, plain);
    Py_DECREF(plain);
    if (!chosen) return nullptr;
    if (!PyType_Check(chosen) ||
        !PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(chosen), handle_type)) {
      Py_DECREF(chosen);
      PyErr_SetString(PyExc_TypeError, "the class factory must return a subclass of Handle");
      return nullptr;
    }
    found = python_classes.emplace(info, chosen).first;  // keeps the reference
  }
  return NewHandle(reinterpret_cast<PyTypeObject*>(found->second), object);
}

// --- Raising ---------------------------------------------------------------------------------

PyObject* Utf8Text(const std::string& text) {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

// Raises quern.Error(number, source, description, filename); returns null for the caller to
// pass on. `filename` is the path argument of the failing member, or null.
PyObject* RaiseError(int32_t number, const std::string& source, const std::string& description,
                     PyObject* filename = nullptr) {
  if (!error_class) {
    PyErr_Format(PyExc_RuntimeError, "error %d: %s", number, description.c_str());
    return nullptr;
  }
  PyObject* error = PyObject_CallFunction(error_class, "iNNO", number, Utf8Text(source),
                                          Utf8Text(description), filename ? filename : Py_None);
  if (!error) return nullptr;
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error)), error);
  Py_DECREF(error);
  return nullptr;
}

PyObject* RaiseStandardError(int32_t number, PyObject* filename = nullptr) {
  support::Error error = support::MakeError(number);
  return RaiseError(error.number(), error.source(), error.description(), filename);
}

// --- Dates -----------------------------------------------------------------------------------

constexpr int64_t kMicrosecondsPerDay = 86400LL * 1000000;

// A Date keeps the wall-clock time: the whole part counts days from 1899-12-30, the fraction is
// the time of that day. Before the epoch the fraction still counts forward from midnight
// (-1.25 is 1899-12-29 06:00), as VB stores it.
PyObject* DateToPython(double days) {
  if (!std::isfinite(days) || std::fabs(days) > 3.0e6) {
    PyErr_SetString(PyExc_OverflowError, "date value out of range");
    return nullptr;
  }
  double whole = std::trunc(days);
  auto micros = static_cast<int64_t>(std::llround(std::fabs(days - whole) * kMicrosecondsPerDay));
  int64_t day = static_cast<int64_t>(whole) + micros / kMicrosecondsPerDay;
  micros %= kMicrosecondsPerDay;
  const automation::CivilDate date = automation::CivilFromDays(automation::kDateEpochDays + day);
  if (date.year < 1 || date.year > 9999) {
    PyErr_SetString(PyExc_OverflowError, "date value out of range");
    return nullptr;
  }
  int64_t seconds = micros / 1000000;
  return PyDateTime_FromDateAndTime(
      static_cast<int>(date.year), static_cast<int>(date.month), static_cast<int>(date.day),
      static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
      static_cast<int>(seconds % 60), static_cast<int>(micros % 1000000));
}

// A datetime (an aware one is first moved to local time) or a date (midnight).
bool DateFromPython(PyObject* value, double* days) {
  PyObject* local = nullptr;
  if (PyDateTime_Check(value) && reinterpret_cast<PyDateTime_DateTime*>(value)->hastzinfo &&
      reinterpret_cast<PyDateTime_DateTime*>(value)->tzinfo != Py_None) {
    local = PyObject_CallMethod(value, "astimezone", nullptr);
    if (!local) return false;
    value = local;
  }
  int64_t day = automation::DaysFromCivil(PyDateTime_GET_YEAR(value), PyDateTime_GET_MONTH(value),
                                          PyDateTime_GET_DAY(value)) -
                automation::kDateEpochDays;
  double fraction = 0;
  if (PyDateTime_Check(value)) {
    int64_t micros =
        ((PyDateTime_DATE_GET_HOUR(value) * 60LL + PyDateTime_DATE_GET_MINUTE(value)) * 60 +
         PyDateTime_DATE_GET_SECOND(value)) *
            1000000 +
        PyDateTime_DATE_GET_MICROSECOND(value);
    fraction = static_cast<double>(micros) / kMicrosecondsPerDay;
  }
  Py_XDECREF(local);
  *days = day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
  return true;
}

// --- Values ----------------------------------------------------------------------------------

// The text of a str as UTF-16 in one pass over its storage. Lone surrogates (the bytes of a
// file name that did not decode) are kept as they are.
std::u16string TextFromPython(PyObject* text) {
  Py_ssize_t length = PyUnicode_GET_LENGTH(text);
  const void* data = PyUnicode_DATA(text);
  std::u16string result;
  switch (PyUnicode_KIND(text)) {
    case PyUnicode_1BYTE_KIND: {
      auto* units = static_cast<const Py_UCS1*>(data);
      result.assign(units, units + length);
      break;
    }
    case PyUnicode_2BYTE_KIND: {
      result.resize(static_cast<size_t>(length));
      std::memcpy(result.data(), data, static_cast<size_t>(length) * 2);
      break;
    }
    default: {
      auto* points = static_cast<const Py_UCS4*>(data);
      result.reserve(static_cast<size_t>(length) + 16);
      for (Py_ssize_t i = 0; i < length; ++i) {
        Py_UCS4 c = points[i];
        if (c < 0x10000) {
          result.push_back(static_cast<char16_t>(c));
        } else {
          c -= 0x10000;
          result.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
          result.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        }
      }
    }
  }
  return result;
}

PyObject* TextToPython(const std::u16string& text) {
  int byte_order = -1;  // little-endian, which is how the string sits in memory here
  static_assert(std::endian::native == std::endian::little);
  return PyUnicode_DecodeUTF16(reinterpret_cast<const char*>(text.data()),
                               static_cast<Py_ssize_t>(text.size() * 2), "surrogatepass",
                               &byte_order);
}

// A bytes object holding a byte array. Its buffer is fresh memory as big as the array; for a
// big one (a whole file from GetFileB) the pages are asked for in large sizes and mapped in one
// step before the copy (platform/memory.h), instead of a fault per 4 KiB page as the copy
// reaches it: on a virtual machine that was twenty times the cost of the copy itself.
PyObject* BytesToPython(const std::vector<uint8_t>& bytes) {
  PyObject* result = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(bytes.size()));
  if (result == nullptr) return nullptr;
  char* buffer = PyBytes_AS_STRING(result);
  platform::PrepareForFilling(buffer, bytes.size());
  if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
  return result;
}

PyObject* ToPython(const Variant& value) {
  switch (value.type()) {
    case VarType::kEmpty:
      Py_RETURN_NONE;
    case VarType::kMissing:
      Py_INCREF(missing_marker ? missing_marker : Py_None);
      return missing_marker ? missing_marker : Py_None;
    case VarType::kBoolean:
      return PyBool_FromLong(value.ToBool());
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong:
      return PyLong_FromLong(value.ToLong());
    case VarType::kDouble:
      return PyFloat_FromDouble(value.ToDouble());
    case VarType::kDate:
      return DateToPython(value.DateDays());
    case VarType::kString:
      return TextToPython(value.String());
    case VarType::kBytes:
      return BytesToPython(value.Bytes());
    case VarType::kObject:
      if (!value.ObjectRef()) Py_RETURN_NONE;
      return WrapObject(value.ObjectRef().get());
  }
  Py_RETURN_NONE;
}

// Converts a Python value; false with a Python error set when it cannot be. A type that no
// automation value can hold (a list, a dict, a plain object where no interface is expected)
// is a TypeError; a value of a fitting type that still does not fit (an int beyond a Double)
// raises quern.Error as the library would.
bool FromPython(PyObject* value, Variant* out, const std::string* expected_type) {
  if (value == Py_None) {
    *out = Variant();
  } else if (value == missing_marker) {
    *out = Variant(automation::Missing{});
  } else if (PyBool_Check(value)) {
    *out = Variant(value == Py_True);
  } else if (PyLong_Check(value)) {
    int overflow = 0;
    long long number = PyLong_AsLongLongAndOverflow(value, &overflow);
    if (number == -1 && PyErr_Occurred()) return false;
    if (!overflow && number >= std::numeric_limits<int32_t>::min() &&
        number <= std::numeric_limits<int32_t>::max()) {
      *out = Variant(static_cast<int32_t>(number));
    } else {
      double approximate = PyLong_AsDouble(value);
      if (approximate == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        RaiseStandardError(support::errnum::kOverflow);
        return false;
      }
      *out = Variant(approximate);
    }
  } else if (PyFloat_Check(value)) {
    *out = Variant(PyFloat_AS_DOUBLE(value));
  } else if (PyUnicode_Check(value)) {
    *out = Variant(TextFromPython(value));
  } else if (PyBytes_Check(value)) {
    auto* data = reinterpret_cast<const uint8_t*>(PyBytes_AS_STRING(value));
    *out = Variant(std::vector<uint8_t>(data, data + PyBytes_GET_SIZE(value)));
  } else if (PyByteArray_Check(value) || PyMemoryView_Check(value)) {
    Py_buffer view;
    if (PyObject_GetBuffer(value, &view, PyBUF_FULL_RO) != 0) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(view.len));
    int copied = PyBuffer_ToContiguous(bytes.data(), &view, view.len, 'C');
    PyBuffer_Release(&view);
    if (copied != 0) return false;
    *out = Variant(std::move(bytes));
  } else if (PyDateTime_Check(value) || PyDate_Check(value)) {
    double days = 0;
    if (!DateFromPython(value, &days)) return false;
    *out = Variant(automation::Date{days});
  } else if (PyObject_TypeCheck(value, handle_type)) {
    *out = Variant(automation::Ref<Object>(HandleObject(value)));
  } else if (const automation::ClassInfo* expected =
                 expected_type ? ExpectedClass(*expected_type) : nullptr) {
    *out = Variant(automation::Ref<Object>(MakePythonObject(value, *expected)));
  } else {
    PyErr_Format(PyExc_TypeError, "a '%.100s' value cannot be passed to the library",
                 Py_TYPE(value)->tp_name);
    return false;
  }
  return true;
}

// --- Python objects handed to the library ---------------------------------------------------

// The class a parameter of type `type` expects ("_IFindFilesCallback" or "IFindFilesCallback"),
// from the type libraries the package has loaded; null when none is known.
const automation::ClassInfo* ExpectedClass(const std::string& type) {
  for (const automation::TypeLibrary* library : known_libraries) {
    for (const automation::ClassInfo* info : library->classes) {
      if (info->interface_name == type || info->name == type) return info;
    }
  }
  return nullptr;
}

// A Python object that implements an interface of the library, such as a progress callback
// with a DirectoryCompleted(Path, Cancel) method. The library calls it through dispatch like
// any object: the member's name is looked up on the Python object, by-reference parameters are
// passed as quern.Ref and their .value is written back. An exception in the Python method
// comes back to the library as a raised error (a quern.Error keeps its number, source and
// description; anything else is error 440), and reaches the Python caller as itself.
class PythonObject final : public Object {
 public:
  PythonObject(PyObject* target, const automation::ClassInfo& interface)
      : target_(Py_NewRef(target)), interface_(interface) {}

  const automation::ClassInfo& TypeInfo() const noexcept override { return interface_; }

  automation::HResult Invoke(automation::DispId id, const std::vector<Variant*>& args,
                             Variant* result, automation::ExcepInfo* excep) noexcept override {
    const automation::MemberInfo* member = interface_.FindById(id);
    if (!member) return automation::hr::kMemberNotFound;
    PyGILState_STATE gil = PyGILState_Ensure();
    automation::HResult code = Call(*member, args, result, excep);
    PyGILState_Release(gil);
    return code;
  }

 private:
  ~PythonObject() override {
    PyGILState_STATE gil = PyGILState_Ensure();
    Py_CLEAR(target_);
    PyGILState_Release(gil);
  }

  automation::HResult Call(const automation::MemberInfo& member, const std::vector<Variant*>& args,
                           Variant* result, automation::ExcepInfo* excep) {
    PyObject* method = PyObject_GetAttrString(target_, member.name.c_str());
    if (!method) {
      PyErr_Clear();
      return automation::hr::kMemberNotFound;
    }
    std::vector<PyObject*> refs(args.size(), nullptr);
    PyObject* arguments = PyTuple_New(static_cast<Py_ssize_t>(args.size()));
    bool built = arguments != nullptr;
    for (size_t i = 0; built && i < args.size(); ++i) {
      PyObject* value = args[i] ? ToPython(*args[i]) : Py_NewRef(missing_marker);
      bool by_ref = i < member.params.size() && member.params[i].by_ref && args[i];
      if (value && by_ref && ref_class) {
        PyObject* holder = PyObject_CallOneArg(ref_class, value);
        Py_DECREF(value);
        value = holder;
        refs[i] = holder;
      }
      if (!value) {
        built = false;
        break;
      }
      PyTuple_SET_ITEM(arguments, static_cast<Py_ssize_t>(i), value);
    }
    PyObject* returned = built ? PyObject_Call(method, arguments, nullptr) : nullptr;
    Py_DECREF(method);
    // By-reference values go back even when the method raised, as for the library's members.
    // The method's exception is set aside meanwhile (no Python call may run with one pending)
    // and outranks a value that cannot be converted back.
    PyObject *raised_type = nullptr, *raised_value = nullptr, *raised_traceback = nullptr;
    if (!returned) PyErr_Fetch(&raised_type, &raised_value, &raised_traceback);
    bool written = true;
    for (size_t i = 0; written && i < refs.size(); ++i) {
      if (!refs[i]) continue;
      PyObject* value = PyObject_GetAttrString(refs[i], "value");
      written = value && FromPython(value, args[i]);
      Py_XDECREF(value);
    }
    if (!returned) {
      PyErr_Clear();
      PyErr_Restore(raised_type, raised_value, raised_traceback);
    } else if (!written) {
      Py_CLEAR(returned);
    }
    if (returned && result && !FromPython(returned, result)) Py_CLEAR(returned);
    Py_XDECREF(arguments);
    if (returned) {
      Py_DECREF(returned);
      return automation::hr::kOk;
    }
    ReportPythonError(excep);
    return automation::hr::kException;
  }

  // Keeps the Python exception for the caller and describes it to the library.
  static void ReportPythonError(automation::ExcepInfo* excep) {
    ForgetPendingException();
    PyErr_Fetch(&pending_type, &pending_value, &pending_traceback);
    PyErr_NormalizeException(&pending_type, &pending_value, &pending_traceback);
    automation::ExcepInfo info{support::errnum::kAutomationError, "Python", ""};
    if (pending_value && error_class && PyObject_IsInstance(pending_value, error_class) > 0) {
      PyObject* number = PyObject_GetAttrString(pending_value, "number");
      PyObject* source = PyObject_GetAttrString(pending_value, "source");
      PyObject* description = PyObject_GetAttrString(pending_value, "description");
      if (number && PyLong_Check(number)) info.number = static_cast<int32_t>(PyLong_AsLong(number));
      if (source && PyUnicode_Check(source)) info.source = PyUnicode_AsUTF8(source);
      if (description && PyUnicode_Check(description)) {
        info.description = PyUnicode_AsUTF8(description);
      }
      Py_XDECREF(number);
      Py_XDECREF(source);
      Py_XDECREF(description);
    } else if (pending_value) {
      PyObject* text = PyObject_Str(pending_value);
      const char* name = pending_type ? reinterpret_cast<PyTypeObject*>(pending_type)->tp_name : "";
      info.description = std::string(name) + (text && PyUnicode_Check(text)
                                                   ? std::string(": ") + PyUnicode_AsUTF8(text)
                                                   : std::string());
      Py_XDECREF(text);
    }
    PyErr_Clear();
    pending_number = info.number;
    if (excep) *excep = std::move(info);
  }

  PyObject* target_;
  const automation::ClassInfo& interface_;
};

Object* MakePythonObject(PyObject* target, const automation::ClassInfo& interface) {
  return new PythonObject(target, interface);
}

bool IsRef(PyObject* value) {
  if (!ref_class) return false;
  int is = PyObject_IsInstance(value, ref_class);
  if (is < 0) PyErr_Clear();
  return is > 0;
}

// --- Type information as Python data -----------------------------------------------------------

// Builds a dict from "name", value pairs; steals the values. Null when any is null.
PyObject* MakeDict(std::initializer_list<std::pair<const char*, PyObject*>> items) {
  PyObject* dict = PyDict_New();
  bool ok = dict != nullptr;
  for (const auto& [name, value] : items) {
    if (ok && (!value || PyDict_SetItemString(dict, name, value) != 0)) ok = false;
    Py_XDECREF(value);
  }
  if (!ok) {
    Py_XDECREF(dict);
    return nullptr;
  }
  return dict;
}

PyObject* Text(const std::string& text) { return Utf8Text(text); }

PyObject* VersionTuple(uint16_t major, uint16_t minor) {
  return Py_BuildValue("(ii)", major, minor);
}

PyObject* ParamData(const automation::ParamInfo& param) {
  return MakeDict({{"name", Text(param.name)},
                   {"type", Text(param.type)},
                   {"optional", PyBool_FromLong(param.optional)},
                   {"default", ToPython(param.default_value)},
                   {"by_ref", PyBool_FromLong(param.by_ref)}});
}

PyObject* MemberData(const automation::MemberInfo& member) {
  PyObject* params = PyList_New(0);
  for (const automation::ParamInfo& param : member.params) {
    if (!params) break;
    PyObject* data = ParamData(param);
    if (!data || PyList_Append(params, data) != 0) Py_CLEAR(params);
    Py_XDECREF(data);
  }
  bool property = member.kind == automation::MemberKind::kPropertyGet;
  return MakeDict({{"name", Text(member.name)},
                   {"dispid", PyLong_FromLong(member.id)},
                   {"kind", Text(property ? "property" : "method")},
                   {"params", params},
                   {"result_type", Text(member.result_type)},
                   {"description", Text(member.description)},
                   {"hidden", PyBool_FromLong(member.hidden)},
                   {"signature", Text(member.Signature())}});
}

PyObject* ClassData(const automation::ClassInfo& info) {
  PyObject* members = PyList_New(0);
  for (const automation::MemberInfo& member : info.members) {
    if (!members) break;
    PyObject* data = MemberData(member);
    if (!data || PyList_Append(members, data) != 0) Py_CLEAR(members);
    Py_XDECREF(data);
  }
  return MakeDict({{"name", Text(info.name)},
                   {"interface", Text(info.interface_name)},
                   {"clsid", Text(automation::GuidToString(info.clsid))},
                   {"iid", Text(automation::GuidToString(info.iid))},
                   {"version", VersionTuple(info.version_major, info.version_minor)},
                   {"creatable", PyBool_FromLong(info.creatable && info.create)},
                   {"description", Text(info.description)},
                   {"members", members}});
}

PyObject* EnumData(const automation::EnumInfo& info) {
  PyObject* members = PyList_New(0);
  for (const auto& [name, value] : info.members) {
    if (!members) break;
    PyObject* pair = Py_BuildValue("(Ni)", Text(name), value);
    if (!pair || PyList_Append(members, pair) != 0) Py_CLEAR(members);
    Py_XDECREF(pair);
  }
  return MakeDict(
      {{"name", Text(info.name)}, {"description", Text(info.description)}, {"members", members}});
}

template <class T, class Convert>
PyObject* ListOf(const std::vector<T>& items, Convert convert) {
  PyObject* list = PyList_New(0);
  for (const T& item : items) {
    if (!list) break;
    PyObject* data = convert(item);
    if (!data || PyList_Append(list, data) != 0) Py_CLEAR(list);
    Py_XDECREF(data);
  }
  return list;
}

// --- Module functions ------------------------------------------------------------------------

// Catches a raised error of the frame (CreateObject, a coercion) and raises it in Python.
template <class Body>
PyObject* Guarded(Body body) {
  try {
    return body();
  } catch (const support::Error& error) {
    return RaiseError(error.number(), error.source(), error.description());
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::exception& error) {
    PyErr_SetString(PyExc_RuntimeError, error.what());
    return nullptr;
  }
}

PyObject* Register(PyObject*, PyObject* args, PyObject* kwargs) {
  static const char* names[] = {"error", "ref", "missing", "factory", nullptr};
  PyObject *error, *ref, *missing, *factory;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOOO", const_cast<char**>(names), &error, &ref,
                                   &missing, &factory)) {
    return nullptr;
  }
  Py_INCREF(error);
  Py_INCREF(ref);
  Py_INCREF(missing);
  Py_INCREF(factory);
  Py_XSETREF(error_class, error);
  Py_XSETREF(ref_class, ref);
  Py_XSETREF(missing_marker, missing);
  Py_XSETREF(class_factory, factory);
  for (auto& [info, type] : python_classes) Py_DECREF(type);
  python_classes.clear();
  Py_RETURN_NONE;
}

PyObject* Create(PyObject*, PyObject* arg) {
  if (!PyUnicode_Check(arg)) {
    PyErr_SetString(PyExc_TypeError, "create() takes a ProgID string");
    return nullptr;
  }
  const char* progid = PyUnicode_AsUTF8(arg);
  if (!progid) return nullptr;
  return Guarded([&]() -> PyObject* {
    automation::Ref<Object> object = automation::CreateObject(progid);
    return WrapObject(object.get());
  });
}

PyObject* TypeLib(PyObject*, PyObject* arg) {
  if (!PyUnicode_Check(arg)) {
    PyErr_SetString(PyExc_TypeError, "typelib() takes a ProgID string");
    return nullptr;
  }
  const char* progid = PyUnicode_AsUTF8(arg);
  if (!progid) return nullptr;
  return Guarded([&]() -> PyObject* {
    const automation::TypeLibrary* library = automation::FindTypeLibrary(progid);
    if (!library) return RaiseStandardError(support::errnum::kCannotCreateObject);
    if (std::find(known_libraries.begin(), known_libraries.end(), library) ==
        known_libraries.end()) {
      known_libraries.push_back(library);
    }
    PyObject* application =
        library->application_object ? Text(library->application_object->name) : Py_NewRef(Py_None);
    return MakeDict(
        {{"name", Text(library->name)},
         {"libid", Text(automation::GuidToString(library->libid))},
         {"version", VersionTuple(library->version_major, library->version_minor)},
         {"lcid", PyLong_FromUnsignedLong(library->lcid)},
         {"help_string", Text(library->help_string)},
         {"description", Text(library->description)},
         {"application_object", application},
         {"classes", ListOf(library->classes,
                            [](const automation::ClassInfo* info) { return ClassData(*info); })},
         {"enums", ListOf(library->enums, EnumData)}});
  });
}

// The class information of the frame's own classes, which no type library lists.
PyObject* FrameClasses(PyObject*, PyObject*) {
  return Guarded([]() -> PyObject* {
    return Py_BuildValue("(NN)", ClassData(automation::Collection::Class()),
                         ClassData(automation::Enumerator::Class()));
  });
}

PyObject* ClassOf(PyObject*, PyObject* arg) {
  if (!PyObject_TypeCheck(arg, handle_type) || !HandleObject(arg)) {
    PyErr_SetString(PyExc_TypeError, "classinfo() takes a library object");
    return nullptr;
  }
  return Guarded([&]() -> PyObject* { return ClassData(HandleObject(arg)->TypeInfo()); });
}

PyObject* Describe(PyObject*, PyObject* arg) {
  long number = PyLong_AsLong(arg);
  if (number == -1 && PyErr_Occurred()) return nullptr;
  return Guarded(
      [&] { return Utf8Text(support::StandardDescription(static_cast<int32_t>(number))); });
}

// Hands the by-reference values of a call back to the caller's quern.Ref objects (null where
// the argument was passed by value). False, with a Python error set, when one could not be set.
bool WriteBackRefs(const std::vector<PyObject*>& refs, const std::vector<Variant>& values) {
  for (size_t i = 0; i < refs.size(); ++i) {
    if (!refs[i]) continue;
    PyObject* value = ToPython(values[i]);
    const bool written = value && PyObject_SetAttrString(refs[i], "value", value) == 0;
    Py_XDECREF(value);
    if (!written) return false;
  }
  return true;
}

// invoke(obj, dispid, args[, filename]): calls a member with arguments in parameter order. A
// Ref argument lends its .value and, for a by-reference parameter, receives the value the
// member left, also when the member fails. A raised error carries `filename` (the member's
// path argument as the caller gave it), as OSError does.
// orvFSO.GetFileB(FileName, [RaiseErrors], [lpSuccess]) read straight into the bytes object it
// returns (orvFSO::GetFileBInto) instead of into a byte array that is then copied: the file's
// size in memory at the peak instead of twice that, and one pass over the bytes less. The
// values are the call's converted arguments; lpSuccess is set there for the write-back. Sets
// *handled to false, with nothing raised, where the general call must run instead (arguments
// it has to judge, a file that grew while it was read).
PyObject* GetFileBInPlace(Object& object, std::vector<Variant>& values, PyObject* filename,
                          bool* handled) {
  *handled = false;
  if (values.empty() || values.size() > 3 || values[0].type() != VarType::kString) return nullptr;
  bool raise_errors = false;
  if (values.size() > 1 && !values[1].IsMissing()) {
    if (values[1].type() != VarType::kBoolean) return nullptr;
    raise_errors = values[1].ToBool();
  }
  PyObject* bytes = nullptr;
  const quern::orvFSO::ByteRoom room = [&bytes](size_t size) -> uint8_t* {
    bytes = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size));
    if (bytes == nullptr) {
      PyErr_Clear();  // reported as the library's own out-of-memory error
      return nullptr;
    }
    char* buffer = PyBytes_AS_STRING(bytes);
    platform::PrepareForFilling(buffer, size);  // see BytesToPython
    return reinterpret_cast<uint8_t*>(buffer);
  };
  bool success = false;
  size_t length = 0;
  try {
    if (!static_cast<quern::orvFSO&>(object).GetFileBInto(values[0].String(), raise_errors,
                                                          &success, room, &length)) {
      Py_XDECREF(bytes);
      return nullptr;
    }
  } catch (const support::Error& error) {
    Py_XDECREF(bytes);
    *handled = true;
    if (values.size() > 2) values[2] = Variant(false);
    return RaiseError(error.number(), error.source(), error.description(), filename);
  }
  *handled = true;
  if (values.size() > 2) values[2] = Variant(success);
  if (!success) {
    Py_XDECREF(bytes);
    return PyBytes_FromStringAndSize("", 0);
  }
  if (static_cast<Py_ssize_t>(length) != PyBytes_GET_SIZE(bytes) &&
      _PyBytes_Resize(&bytes, static_cast<Py_ssize_t>(length)) != 0) {
    return nullptr;  // bytes is gone and MemoryError set
  }
  return bytes;
}

PyObject* Invoke(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs < 3 || nargs > 4 || !PyObject_TypeCheck(args[0], handle_type) ||
      !HandleObject(args[0])) {
    PyErr_SetString(PyExc_TypeError,
                    "invoke(obj, dispid, args[, filename]) takes a library object");
    return nullptr;
  }
  PyObject* filename = nargs == 4 && args[3] != Py_None ? args[3] : nullptr;
  Object* object = HandleObject(args[0]);
  long dispid = PyLong_AsLong(args[1]);
  if (dispid == -1 && PyErr_Occurred()) return nullptr;
  PyObject* sequence = PySequence_Fast(args[2], "invoke() takes the arguments as a sequence");
  if (!sequence) return nullptr;
  Py_ssize_t count = PySequence_Fast_GET_SIZE(sequence);
  PyObject** items = PySequence_Fast_ITEMS(sequence);

  PyObject* result_object = nullptr;
  try {
    const automation::MemberInfo* member =
        object->TypeInfo().FindById(static_cast<automation::DispId>(dispid));
    std::vector<Variant> values(static_cast<size_t>(count));
    std::vector<Variant*> pointers(static_cast<size_t>(count));
    std::vector<PyObject*> refs(static_cast<size_t>(count), nullptr);
    for (Py_ssize_t i = 0; i < count; ++i) {
      PyObject* item = items[i];
      PyObject* owned = nullptr;
      if (IsRef(item)) {
        owned = PyObject_GetAttrString(item, "value");
        if (!owned) {
          Py_DECREF(sequence);
          return nullptr;
        }
        bool by_ref = member && static_cast<size_t>(i) < member->params.size() &&
                      member->params[static_cast<size_t>(i)].by_ref;
        if (by_ref) refs[static_cast<size_t>(i)] = item;
        item = owned;
      }
      const std::string* expected_type =
          member && static_cast<size_t>(i) < member->params.size()
              ? &member->params[static_cast<size_t>(i)].type
              : nullptr;
      bool converted = FromPython(item, &values[static_cast<size_t>(i)], expected_type);
      Py_XDECREF(owned);
      if (!converted) {
        Py_DECREF(sequence);
        return nullptr;
      }
      pointers[static_cast<size_t>(i)] = &values[static_cast<size_t>(i)];
    }

    if (member != nullptr && member->name == "GetFileB" && object->TypeInfo().name == "orvFSO") {
      bool handled = false;
      PyObject* bytes = GetFileBInPlace(*object, values, filename, &handled);
      if (handled) {
        // The out-value is written back also when the call raised, as on the general path;
        // the call's own error is the one the caller sees.
        PyObject *type = nullptr, *error = nullptr, *traceback = nullptr;
        PyErr_Fetch(&type, &error, &traceback);
        const bool written = WriteBackRefs(refs, values);
        if (type != nullptr) {
          PyErr_Restore(type, error, traceback);
        } else if (!written) {
          Py_CLEAR(bytes);
        }
        Py_DECREF(sequence);
        return bytes;
      }
    }

    Variant result;
    automation::ExcepInfo excep;
    ForgetPendingException();
    automation::HResult code =
        object->Invoke(static_cast<automation::DispId>(dispid), pointers, &result, &excep);

    const bool written = WriteBackRefs(refs, values);
    if (!written) {
      Py_DECREF(sequence);
      return nullptr;
    }

    if (code == automation::hr::kOk) {
      result_object = ToPython(result);
    } else if (code == automation::hr::kException && pending_type &&
               excep.number == pending_number) {
      // A Python method the library called raised: give the caller that exception.
      PyErr_Restore(std::exchange(pending_type, nullptr), std::exchange(pending_value, nullptr),
                    std::exchange(pending_traceback, nullptr));
    } else {
      const support::Error error = automation::ErrorOfFailedCall(code, excep);
      RaiseError(error.number(), error.source(), error.description(), filename);
    }
    ForgetPendingException();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  }
  Py_DECREF(sequence);
  return result_object;
}

// name_from_native(bytes): the text the library reads back as exactly these bytes of a file
// name. Bytes that do not decode in the ANSI code page travel as lone surrogates, so a bytes
// path reaches its file unchanged whatever it holds.
PyObject* NameFromNative(PyObject*, PyObject* arg) {
  if (!PyBytes_Check(arg)) {
    PyErr_SetString(PyExc_TypeError, "name_from_native() takes bytes");
    return nullptr;
  }
  std::string_view native(PyBytes_AS_STRING(arg), static_cast<size_t>(PyBytes_GET_SIZE(arg)));
  return Guarded([&] { return TextToPython(support::FileNameFromNative(native)); });
}

PyMethodDef methods[] = {
    {"register", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Register)),
     METH_VARARGS | METH_KEYWORDS,
     "register(error, ref, missing, factory): the package's classes and class factory."},
    {"create", Create, METH_O, "create(progid): a new object of a creatable class."},
    {"typelib", TypeLib, METH_O, "typelib(progid): the type library of a ProgID as plain data."},
    {"frame_classes", FrameClasses, METH_NOARGS,
     "frame_classes(): the class data of Collection and Enumerator."},
    {"classinfo", ClassOf, METH_O, "classinfo(obj): the class data of a library object."},
    {"describe", Describe, METH_O, "describe(number): the standard description of an error."},
    {"name_from_native", NameFromNative, METH_O,
     "name_from_native(bytes): a file name as the text that stands for exactly these bytes."},
    {"invoke", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Invoke)), METH_FASTCALL,
     "invoke(obj, dispid, args): calls a member; args in parameter order."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_quern",
    "The C part of the quern package.",
    -1,
    methods,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit__quern() {
  PyDateTime_IMPORT;
  if (!PyDateTimeAPI) return nullptr;
  PyObject* module = PyModule_Create(&module_def);
  if (!module) return nullptr;
  handle_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&handle_spec));
  if (!handle_type) {
    Py_DECREF(module);
    return nullptr;
  }
  Py_INCREF(handle_type);
  if (PyModule_AddObject(module, "Handle", reinterpret_cast<PyObject*>(handle_type)) != 0) {
    Py_DECREF(handle_type);
    Py_DECREF(module);
    return nullptr;
  }
  // The version of the library this module is built with ("1.0.0").
  if (PyModule_AddStringConstant(module, "version", QUERN_VERSION) != 0) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}
