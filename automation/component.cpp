#include "automation/component.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/file.h"
#include "platform/module.h"
#include "platform/platform.h"
#include "support/ov_error.h"
#include "support/ov_strings.h"

namespace automation {

namespace fs = std::filesystem;

namespace {

std::atomic<int32_t> server_locks{0};

// --- Registration files: one key per file, "Name=value" lines. ---------------------------

using Values = std::map<std::string, std::string>;

bool WriteKey(const fs::path& file, const Values& values) {
  std::error_code error;
  fs::create_directories(file.parent_path(), error);
  std::ofstream out(file, std::ios::trunc);
  for (const auto& [name, value] : values) out << name << '=' << value << '\n';
  out.close();
  return static_cast<bool>(out);
}

#ifndef _WIN32
// A key is read only when it is a regular file of a sensible size: a FIFO put in its place
// would keep the reader (the cleaner, as it closes its log) waiting for ever.
Values ReadKey(const fs::path& file) {
  constexpr uint64_t kMaxKeyBytes = 64 * 1024;
  Values values;
  uint32_t error = 0;
  platform::File reader = platform::File::OpenForReading(file.string(), &error);
  std::vector<uint8_t> bytes;
  if (!reader.IsOpen() || reader.Size() > kMaxKeyBytes ||
      reader.ReadAt(0, static_cast<size_t>(reader.Size()), &bytes) != 0) {
    return values;
  }
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  std::string line;
  while (std::getline(in, line)) {
    size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return values;
}
#endif

std::string VersionText(uint16_t major, uint16_t minor) {
  return std::to_string(major) + "." + std::to_string(minor);
}

std::string ProgIdOf(const TypeLibrary& library, const ClassInfo& info) {
  return library.name + "." + info.name;
}

// Finding and loading a library for CreateObject: real COM's work on Windows.
#ifndef _WIN32
// --- Loaded libraries -----------------------------------------------------------------------

struct Library {
  platform::ModuleHandle module = nullptr;
  const TypeLibrary* types = nullptr;
  DllGetClassObjectFunction get_class_object = nullptr;
};

// Libraries are loaded once and kept for the life of the process (COM unloads them only when
// asked to; nothing here asks).
Library* LoadLibraryAt(const std::string& path, platform::ModuleHandle module = nullptr) {
  static std::mutex mutex;
  static std::map<std::string, Library> loaded;
  std::lock_guard lock(mutex);
  auto found = loaded.find(path);
  if (found != loaded.end()) return &found->second;
  if (!module) {
    std::string error;
    module = platform::LoadModule(path, &error);
  }
  if (!module) return nullptr;
  Library library;
  library.module = module;
  library.get_class_object = reinterpret_cast<DllGetClassObjectFunction>(
      platform::GetModuleSymbol(module, "DllGetClassObject"));
  auto get_types = reinterpret_cast<DllGetTypeLibraryFunction>(
      platform::GetModuleSymbol(module, "DllGetTypeLibrary"));
  library.types = get_types ? get_types() : nullptr;
  if (!library.get_class_object) return nullptr;
  return &loaded.emplace(path, library).first->second;
}

// The library named by the first part of a ProgID when nothing is registered for it.
Library* FindUnregisteredLibrary(std::string_view library_name) {
  const std::string file = platform::SharedLibraryFileName(library_name);
  if (platform::ModuleHandle module = platform::FindLoadedModule(file)) {
    std::string path =
        platform::ModulePathOf(platform::GetModuleSymbol(module, "DllGetClassObject"));
    if (Library* library = LoadLibraryAt(path.empty() ? file : path, module)) return library;
  }
  // The file named by the SONAME first: it is what a run-time package ships, while the bare
  // name is a link that only a development package (for the linker) or a build tree has.
  std::vector<std::string> names;
#ifdef ORVANEL_COMPONENT_SOVERSION
  names.push_back(file + "." ORVANEL_COMPONENT_SOVERSION);
#endif
  names.push_back(file);
  for (const std::string& folder :
       {platform::ProgramFolder(), platform::InstalledLibraryFolder()}) {
    if (folder.empty()) continue;
    for (const std::string& name : names) {
      fs::path candidate = fs::path(folder) / name;
      std::error_code error;
      if (fs::exists(candidate, error)) {
        if (Library* library = LoadLibraryAt(candidate.string())) return library;
      }
    }
  }
  return nullptr;
}

// The registration file of `progid`: its own spelling, else one that differs only in ASCII
// letter case (ProgIDs, like the registry's keys, are not case-sensitive).
fs::path ProgIdKey(const fs::path& registry, std::string_view progid) {
  fs::path exact = registry / "ProgID" / std::string(progid);
  std::error_code error;
  if (fs::exists(exact, error)) return exact;
  for (const auto& entry : fs::directory_iterator(registry / "ProgID", error)) {
    if (support::EqualsIgnoringAsciiCase(entry.path().filename().string(), progid)) {
      return entry.path();
    }
  }
  return exact;
}

struct Resolved {
  Library* library = nullptr;
  Guid clsid;
  bool known = false;
};

Resolved Resolve(std::string_view progid) {
  Resolved resolved;
  fs::path registry = RegistryFolder();
  Values progid_key = ReadKey(ProgIdKey(registry, progid));
  if (auto clsid = ParseGuid(progid_key["CLSID"])) {
    Values class_key = ReadKey(registry / "CLSID" / GuidToString(*clsid));
    const std::string& path = class_key["InprocServer32"];
    if (!path.empty()) {
      resolved.library = LoadLibraryAt(path);
      resolved.clsid = *clsid;
      resolved.known = true;
      return resolved;
    }
  }
  size_t point = progid.find('.');
  if (point == std::string_view::npos) return resolved;
  resolved.library = FindUnregisteredLibrary(progid.substr(0, point));
  if (resolved.library && resolved.library->types) {
    const ClassInfo* info = resolved.library->types->FindClass(progid.substr(point + 1));
    if (info) {
      resolved.clsid = info->clsid;
      resolved.known = true;
    }
  }
  return resolved;
}

[[noreturn]] void CannotCreate() { throw support::MakeError(support::errnum::kCannotCreateObject); }
#endif

}  // namespace

// --- ClassFactory ---------------------------------------------------------------------------

HResult ClassFactory::CreateInstance(Object** out) noexcept {
  if (!out) return hr::kPointer;
  *out = nullptr;
  if (!info_.creatable || !info_.create) return hr::kClassNotAvailable;
  try {
    Object* object = info_.create();
    object->AddRef();
    *out = object;
    return hr::kOk;
  } catch (...) {
    return hr::kFail;
  }
}

HResult ClassFactory::LockServer(bool lock) noexcept {
  server_locks += lock ? 1 : -1;
  return hr::kOk;
}

const ClassInfo& ClassFactory::Class() {
  static const ClassInfo info = [] {
    ClassInfo c;
    c.name = "ClassFactory";
    c.interface_name = "IClassFactory";
    c.iid = kIidClassFactory;
    return c;
  }();
  return info;
}

// --- Library side ---------------------------------------------------------------------------

HResult ServeClassObject(const TypeLibrary& library, const Guid* clsid, const Guid* iid,
                         void** out) noexcept {
  if (!out || !clsid || !iid) return hr::kPointer;
  *out = nullptr;
  const ClassInfo* info = library.FindClass(*clsid);
  if (!info || !info->creatable) return hr::kClassNotAvailable;
  if (!(*iid == kIidClassFactory) && !(*iid == kIidUnknown)) return hr::kNoInterface;
  try {
    auto* factory = new ClassFactory(*info);
    factory->AddRef();
    *out = factory;
    return hr::kOk;
  } catch (...) {
    return hr::kFail;
  }
}

HResult ServeCanUnloadNow() noexcept {
  return LiveObjectCount() == 0 && server_locks.load() == 0 ? hr::kOk : hr::kFalse;
}

HResult RegisterLibrary(const TypeLibrary& library, const std::string& library_path) noexcept {
  try {
    fs::path registry = RegistryFolder();
    std::string libid = GuidToString(library.libid);
    bool written = WriteKey(registry / "TypeLib" / libid,
                            {{"Name", library.name},
                             {"Version", VersionText(library.version_major, library.version_minor)},
                             {"HelpString", library.help_string},
                             {"Description", library.description},
                             {"LCID", std::to_string(library.lcid)},
                             {"Path", library_path}});
    for (const ClassInfo* info : library.classes) {
      written &= WriteKey(registry / "Interface" / GuidToString(info->iid),
                          {{"Name", info->interface_name},
                           {"TypeLib", libid},
                           {"Version", VersionText(info->version_major, info->version_minor)},
                           {"ProxyStub", "TypeLibrary"}});
      if (!info->creatable) continue;
      std::string progid = ProgIdOf(library, *info);
      std::string clsid = GuidToString(info->clsid);
      written &= WriteKey(registry / "CLSID" / clsid, {{"ProgID", progid},
                                                       {"InprocServer32", library_path},
                                                       {"ThreadingModel", "Apartment"},
                                                       {"TypeLib", libid}});
      written &= WriteKey(registry / "ProgID" / progid, {{"CLSID", clsid}});
    }
    return written ? hr::kOk : hr::kFail;
  } catch (...) {
    return hr::kFail;
  }
}

HResult UnregisterLibrary(const TypeLibrary& library) noexcept {
  try {
    fs::path registry = RegistryFolder();
    std::error_code error;
    fs::remove(registry / "TypeLib" / GuidToString(library.libid), error);
    for (const ClassInfo* info : library.classes) {
      fs::remove(registry / "Interface" / GuidToString(info->iid), error);
      fs::remove(registry / "CLSID" / GuidToString(info->clsid), error);
      fs::remove(registry / "ProgID" / ProgIdOf(library, *info), error);
    }
    return hr::kOk;
  } catch (...) {
    return hr::kFail;
  }
}

std::string ModulePathOf(const void* address) { return platform::ModulePathOf(address); }

// --- Client side ----------------------------------------------------------------------------

std::string RegistryFolder() {
  if (const char* folder = std::getenv("ORVANEL_REGISTRY"); folder && *folder) return folder;
  std::string config = platform::GetUserConfigFolder();
  if (config.empty()) config = std::string(1, platform::kPathSeparator);
  return (fs::path(config) / "orvanel" / "registry").string();
}

// On Windows, CreateObject and FindTypeLibrary are real COM's (automation/com/create_object.cpp).
#ifndef _WIN32
Ref<Object> CreateObject(std::string_view progid) {
  Resolved resolved = Resolve(progid);
  if (!resolved.library || !resolved.known) CannotCreate();
  void* factory_pointer = nullptr;
  if (resolved.library->get_class_object(&resolved.clsid, &kIidClassFactory, &factory_pointer) !=
          hr::kOk ||
      !factory_pointer) {
    CannotCreate();
  }
  auto factory = Ref<ClassFactory>::Adopt(static_cast<ClassFactory*>(factory_pointer));
  Object* object = nullptr;
  if (factory->CreateInstance(&object) != hr::kOk || !object) CannotCreate();
  return Ref<Object>::Adopt(object);
}

const TypeLibrary* FindTypeLibrary(std::string_view progid) {
  Resolved resolved = Resolve(progid);
  return resolved.library ? resolved.library->types : nullptr;
}
#endif

Variant CallByName(Object& object, std::string_view name, std::vector<Variant>& args) {
  DispId id = object.GetIDOfName(name);
  if (id == kDispIdUnknown) throw support::MakeError(support::errnum::kNoSuchMember);
  std::vector<Variant*> pointers;
  pointers.reserve(args.size());
  for (Variant& arg : args) pointers.push_back(&arg);
  Variant result;
  ExcepInfo excep;
  const HResult code = object.Invoke(id, pointers, &result, &excep);
  if (code != hr::kOk) throw ErrorOfFailedCall(code, excep);
  return result;
}

Variant CallByName(Object& object, std::string_view name, std::vector<Variant>&& args) {
  return CallByName(object, name, args);
}

support::Error ErrorOfFailedCall(HResult code, const ExcepInfo& excep) {
  switch (code) {
    case hr::kException:
      return support::Error(excep.number, excep.description, excep.source);
    case hr::kBadParamCount:
      return support::MakeError(support::errnum::kWrongArgumentCount);
    case hr::kParamNotOptional:
      return support::MakeError(support::errnum::kArgumentNotOptional);
    case hr::kTypeMismatch:
      return support::MakeError(support::errnum::kTypeMismatch);
    default:
      return support::MakeError(support::errnum::kNoSuchMember);
  }
}

}  // namespace automation
