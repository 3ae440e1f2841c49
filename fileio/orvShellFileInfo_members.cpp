// The member tables of orvShellFileInfo (_orvShellFileInfo), ShellFileEXE (_ShellFileEXE) and
// ShellFileIcon (_ShellFileIcon), all version 1.0.
#include "fileio/member_helpers.h"
#include "fileio/orvShellFileInfo.h"

namespace quern {

using namespace members;

namespace {

using K = MemberKind;

orvShellFileInfo& Info(Object& object) { return static_cast<orvShellFileInfo&>(object); }
ShellFileEXE& Exe(Object& object) { return static_cast<ShellFileEXE&>(object); }
ShellFileIcon& IconOf(Object& object) { return static_cast<ShellFileIcon&>(object); }

automation::MemberInfo Property(std::string name, int slot, std::string type,
                                std::string description, automation::Invoker invoke) {
  return {std::move(name),        Slot(slot), K::kPropertyGet, {}, std::move(type),
          std::move(description), false,      invoke};
}

constexpr const char* kIconText =
    "Made on first use and kept until the next ReadFile; Nothing before a successful ReadFile.";

std::vector<automation::MemberInfo> InfoMembers() {
  return {
      {"ReadFile",
       Slot(0),
       K::kMethod,
       {Required("FileName", "String")},
       "Boolean",
       "Asks the shell about a file or folder; False (all reset) when it is missing.",
       false,
       [](Object& o, CallArgs& a) { return Variant(Info(o).ReadFile(a.String(0))); }},
      Property("FileName", 1, "String", "The file last asked about.",
               [](Object& o, CallArgs&) { return Variant(Info(o).FileName()); }),
      Property("Attributes", 2, "Long", "The shell item attributes (SFGAO_* bits).",
               [](Object& o, CallArgs&) { return Variant(Info(o).Attributes()); }),
      Property("DisplayName", 3, "String", "The name the file manager shows.",
               [](Object& o, CallArgs&) { return Variant(Info(o).DisplayName()); }),
      Property("TypeName", 4, "String", "The description of the file's type.",
               [](Object& o, CallArgs&) { return Variant(Info(o).TypeName()); }),
      Property("EXEType", 5, "ShellFileEXE", "The executable type; Nothing before ReadFile.",
               [](Object& o, CallArgs&) { return Variant(Info(o).EXEType()); }),
      Property("Icon", 6, "ShellFileIcon", kIconText,
               [](Object& o, CallArgs&) { return Variant(Info(o).Icon()); }),
      Property("SmallIcon", 7, "ShellFileIcon", kIconText,
               [](Object& o, CallArgs&) { return Variant(Info(o).SmallIcon()); }),
      Property("LinkOverlayIcon", 8, "ShellFileIcon", kIconText,
               [](Object& o, CallArgs&) { return Variant(Info(o).LinkOverlayIcon()); }),
      Property("LinkOverlaySmallIcon", 9, "ShellFileIcon", kIconText,
               [](Object& o, CallArgs&) { return Variant(Info(o).LinkOverlaySmallIcon()); }),
      Property("OpenIcon", 10, "ShellFileIcon", kIconText,
               [](Object& o, CallArgs&) { return Variant(Info(o).OpenIcon()); }),
      Property("OpenSmallIcon", 11, "ShellFileIcon", kIconText,
               [](Object& o, CallArgs&) { return Variant(Info(o).OpenSmallIcon()); }),
      Property("SelectedIcon", 12, "ShellFileIcon", kIconText,
               [](Object& o, CallArgs&) { return Variant(Info(o).SelectedIcon()); }),
      Property("SelectedSmallIcon", 13, "ShellFileIcon", kIconText,
               [](Object& o, CallArgs&) { return Variant(Info(o).SelectedSmallIcon()); }),
      Property("ShellSizeIcon", 14, "ShellFileIcon", kIconText,
               [](Object& o, CallArgs&) { return Variant(Info(o).ShellSizeIcon()); }),
      Property("IconLocation", 15, "String", "The file that holds the icon.",
               [](Object& o, CallArgs&) { return Variant(Info(o).IconLocation()); }),
      Property("SystemIconIndex", 16, "Long", "The icon's index in the system image list.",
               [](Object& o, CallArgs&) { return Variant(Info(o).SystemIconIndex()); }),
      Property("hSystemImageList", 17, "Long", "The handle of the system image list.",
               [](Object& o, CallArgs&) { return Variant(Info(o).hSystemImageList()); }),
  };
}

}  // namespace

const automation::ClassInfo& orvShellFileInfo::Class() {
  static const automation::ClassInfo info = automation::DescribeClass(
      "orvShellFileInfo",
      {0xA8497DDC, 0xCE57, 0x459B, {0x83, 0x49, 0xD9, 0x20, 0xE9, 0xC4, 0xFD, 0x6A}},
      {0x29C9AC36, 0xCA42, 0x45CC, {0xAF, 0x79, 0xFF, 0x6A, 0x38, 0xF9, 0x8F, 0xBD}}, true,
      "Shell information of a file.", InfoMembers(), automation::NewObject<orvShellFileInfo>);
  return info;
}

const automation::ClassInfo& ShellFileEXE::Class() {
  static const automation::ClassInfo info = automation::DescribeClass(
      "ShellFileEXE",
      {0x624FA0DD, 0x7619, 0x49D0, {0x92, 0xF1, 0x20, 0x9D, 0x2A, 0x6E, 0xFA, 0x79}},
      {0x5CD00724, 0x39E2, 0x4337, {0xB2, 0xF0, 0x0D, 0xF7, 0xFC, 0xBB, 0x4E, 0x5B}}, false,
      "The executable type of a file.",
      {
          Property("OSVersionMinor", 0, "Long", "The minor version of the system it needs.",
                   [](Object& o, CallArgs&) { return Variant(Exe(o).OSVersionMinor()); }),
          Property("OSVersionMajor", 1, "Long", "The major version of the system it needs.",
                   [](Object& o, CallArgs&) { return Variant(Exe(o).OSVersionMajor()); }),
          Property("Signature", 2, "String", "\"PE\", \"NE\", \"MZ\", or \"\" for no executable.",
                   [](Object& o, CallArgs&) { return Variant(Exe(o).Signature()); }),
      },
      automation::NewObject<ShellFileEXE>);
  return info;
}

const automation::ClassInfo& ShellFileIcon::Class() {
  static const automation::ClassInfo info = automation::DescribeClass(
      "ShellFileIcon",
      {0x84EE70A9, 0xC940, 0x40F1, {0x95, 0xC1, 0x5D, 0x1C, 0x9C, 0x28, 0xA7, 0x2F}},
      {0x163F92AD, 0x36EA, 0x4C4B, {0xA8, 0x68, 0x14, 0x84, 0x9F, 0x73, 0x3C, 0xAD}}, false,
      "One icon of a file with its index in the system image list.",
      {
          Property("Icon", 0, "IPictureDisp", "The icon picture.",
                   [](Object& o, CallArgs&) { return Variant(IconOf(o).Icon()); }),
          Property("Index", 1, "Long", "The index in the system image list; -1 for the default.",
                   [](Object& o, CallArgs&) { return Variant(IconOf(o).Index()); }),
      },
      automation::NewObject<ShellFileIcon>);
  return info;
}

}  // namespace quern
