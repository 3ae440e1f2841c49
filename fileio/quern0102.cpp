#include "fileio/quern0102.h"

#include "fileio/enums.h"
#include "fileio/library_version.h"
#include "fileio/orvDescriptIon.h"
#include "fileio/orvFSO.h"
#include "fileio/orvFileStreams.h"
#include "fileio/orvFileVersion.h"
#include "fileio/orvFoundedFiles.h"
#include "fileio/orvShellFileInfo.h"

namespace quern {

namespace {

automation::TypeLibrary MakeTypeLibrary() {
  automation::TypeLibrary library;
  library.name = "Quern0102";
  library.libid = {0xB33F670D, 0xB543, 0x4239, {0xA5, 0x4C, 0x07, 0x1C, 0xEE, 0x02, 0x7B, 0xDC}};
  library.version_major = 1;
  library.version_minor = 1;
  library.lcid = 0x409;
  library.help_string = "Orvanel - File I/O support 1.02";
  library.description = "Orvanel - File I/O support";
  library.classes = {&orvFSO::Class(),
                     &orvDescriptIon::Class(),
                     &orvFileStreams::Class(),
                     &FileStream::Class(),
                     &orvFoundedFiles::Class(),
                     &FoundedFile::Class(),
                     &IFindFilesCallback::Class(),
                     &orvFileVersion::Class(),
                     &orvShellFileInfo::Class(),
                     &ShellFileEXE::Class(),
                     &ShellFileIcon::Class()};
  library.application_object = &orvFSO::Class();
  const std::string version_class = "Класс работы с пометкой версии";
  // Each enumeration's last value is its identifier in the type library. Like the library,
  // class and interface identifiers, they are fixed for good: compiled clients may hold them.
  library.enums = {
      {"FileEncodingConst",
       "",
       {{"feAuto", 0}, {"feANSI", 1}, {"feUTF8", 2}, {"feUTF16", 3}},
       {0x504C542A, 0xD90D, 0x469A, {0xB1, 0x5F, 0xA2, 0x2C, 0xB7, 0x85, 0x98, 0xF9}}},
      {"FileBOMConst",
       "",
       {{"fbAuto", 0}, {"fbNoBOM", 1}, {"fbBOM", 2}},
       {0x149EC259, 0x45FF, 0x4DBB, {0x9C, 0x4E, 0x92, 0xCF, 0x43, 0xE9, 0x92, 0x02}}},
      {"InvertBytesConst",
       "",
       {{"ibAuto", 0}, {"ibDontInvertBytes", 1}, {"ibInvertBytes", 2}},
       {0x161AFB57, 0xD0DD, 0x4A9F, {0xA1, 0xDE, 0xE9, 0x5D, 0x38, 0x47, 0xB2, 0xCE}}},
      {"FileZoneConst",
       "",
       {{"fzLocalMachine", 0},
        {"fzLocalIntranet", 1},
        {"fzSafeSites", 2},
        {"fzInternet", 3},
        {"fzRestrictedSites", 4}},
       {0x65F31A33, 0xF22B, 0x4319, {0x90, 0xEE, 0x22, 0x6D, 0x50, 0x6C, 0x02, 0x07}}},
      {"CompressionFormatConst",
       "",
       {{"cfError", -1}, {"cfNone", 0}, {"cfDefault", 1}, {"cfLZNT1", 2}},
       {0x5F7F20E6, 0xA3C9, 0x453F, {0xBB, 0x26, 0xF9, 0x4D, 0x79, 0x9E, 0xF4, 0x85}}},
      {"FileOS_Const",
       version_class,
       {{"FileOS_PM16", 2},
        {"FileOS_PM32", 3},
        {"FileOS_Windows16", 1},
        {"FileOS_Windows32", 4},
        {"FileOS_DOS", 0x10000},
        {"FileOS_DOS_Windows16", 0x10001},
        {"FileOS_DOS_Windows32", 0x10004},
        {"FileOS_NT", 0x40000},
        {"FileOS_NT_Windows32", 0x40004},
        {"FileOS_OS216", 0x20000},
        {"FileOS_OS216_PM16", 0x20002},
        {"FileOS_OS232", 0x30000},
        {"FileOS_OS232_PM32", 0x30003},
        {"FileOS_Unknown", 0}},
       {0x74D8B3B3, 0xDDD3, 0x4CAB, {0x8B, 0xEF, 0x45, 0xBB, 0x79, 0x66, 0xF2, 0x85}}},
      {"FileType_Const",
       version_class,
       {{"FileType_Unknown", 0},
        {"FileType_App", 1},
        {"FileType_DLL", 2},
        {"FileType_Drv", 3},
        {"FileType_Font", 4},
        {"FileType_VXD", 5},
        {"FileType_Static_Lib", 7}},
       {0x11A43ABD, 0xB530, 0x4D72, {0xB8, 0xD9, 0x07, 0x3F, 0x7B, 0x01, 0x36, 0x23}}},
      {"FileSubType_Const",
       version_class,
       {{"FileSubType_Drv_COMM", 10},
        {"FileSubType_Drv_Display", 4},
        {"FileSubType_Drv_InputMethod", 11},
        {"FileSubType_Drv_Installable", 8},
        {"FileSubType_Drv_KeyBoard", 2},
        {"FileSubType_Drv_Language", 3},
        {"FileSubType_Drv_Mouse", 5},
        {"FileSubType_Drv_Network", 6},
        {"FileSubType_Drv_Printer", 1},
        {"FileSubType_Drv_Sound", 9},
        {"FileSubType_Drv_System", 7},
        {"FileSubType_Font_Raster", 1},
        {"FileSubType_Font_TrueType", 3},
        {"FileSubType_Font_Vector", 2},
        {"FileSubType_Unknown", 0}},
       {0x3537494B, 0xADFF, 0x4A8B, {0xBF, 0x72, 0xBD, 0x0D, 0x10, 0x49, 0x32, 0xA0}}},
  };
  return library;
}

}  // namespace

const automation::TypeLibrary& TypeLibrary() {
  static const automation::TypeLibrary library = MakeTypeLibrary();
  return library;
}

const VersionResource& LibraryVersion() {
  static const VersionResource version{
      {QUERN_VERSION_NUMBERS},
      {QUERN_VERSION_NUMBERS},
      QUERN_VERSION_LANGUAGE,
      QUERN_VERSION_CODE_PAGE,
      {{"Comments", QUERN_VERSION_DESCRIPTION},
       {"CompanyName", QUERN_VERSION_COMPANY},
       {"FileDescription", QUERN_VERSION_DESCRIPTION},
       {"FileVersion", QUERN_VERSION_TEXT},
       {"InternalName", QUERN_VERSION_INTERNAL_NAME},
       {"LegalCopyright", QUERN_VERSION_COPYRIGHT},
       {"LegalTrademarks", QUERN_VERSION_TRADEMARKS},
       {"OLESelfRegister", ""},
       {"OriginalFilename", QUERN_VERSION_FILE_NAME},
       {"ProductName", QUERN_VERSION_PRODUCT},
       {"ProductVersion", QUERN_VERSION_TEXT}}};
  return version;
}

orvFSO& ApplicationObject() {
  // Made on first use and kept for the life of the library; it does not keep the library
  // loaded (DllCanUnloadNow looks only at the objects clients hold).
  static orvFSO* application = [] {
    auto* object = new orvFSO;
    object->AddRef();
    automation::ExcludeFromLiveCount();
    return object;
  }();
  return *application;
}

}  // namespace quern

// The component entry points of this system's component mechanism (automation/component.h).
// On Windows the DLL's COM entry points, with the system's own types, stand in their place.
#ifndef _WIN32
extern "C" {

automation::HResult DllRegisterServer() {
  return automation::RegisterLibrary(
      quern::TypeLibrary(),
      automation::ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer)));
}

automation::HResult DllUnregisterServer() {
  return automation::UnregisterLibrary(quern::TypeLibrary());
}

automation::HResult DllGetClassObject(const automation::Guid* clsid, const automation::Guid* iid,
                                      void** out) {
  return automation::ServeClassObject(quern::TypeLibrary(), clsid, iid, out);
}

automation::HResult DllCanUnloadNow() { return automation::ServeCanUnloadNow(); }

const automation::TypeLibrary* DllGetTypeLibrary() { return &quern::TypeLibrary(); }

}  // extern "C"
#else
// The library the COM entry points of automation/com/entry_points.cpp serve.
namespace automation::com {
const TypeLibrary& ModuleLibrary() { return quern::TypeLibrary(); }
}  // namespace automation::com
#endif  // _WIN32
