// The member table of orvDescriptIon (interface _orvDescriptIon, version 1.0).
#include "fileio/member_helpers.h"
#include "fileio/orvDescriptIon.h"

namespace quern {

using namespace members;

namespace {

orvDescriptIon& Self(Object& object) { return static_cast<orvDescriptIon&>(object); }

std::vector<automation::MemberInfo> Members() {
  using K = MemberKind;
  return {
      {"FileName",
       Slot(0),
       K::kPropertyGet,
       {},
       "String",
       "The description file last read; empty after Clear.",
       false,
       [](Object& o, CallArgs&) { return Variant(Self(o).FileName()); }},
      {"ItemFileName",
       Slot(1),
       K::kPropertyGet,
       {Required("Index", "Long")},
       "String",
       "The file name of entry Index (from 0); empty text out of range.",
       false,
       [](Object& o, CallArgs& a) { return Variant(Self(o).ItemFileName(a.Long(0))); }},
      {"ItemDescription",
       Slot(2),
       K::kPropertyGet,
       {Required("Index", "Long")},
       "String",
       "The description of entry Index (from 0); empty text out of range.",
       false,
       [](Object& o, CallArgs& a) { return Variant(Self(o).ItemDescription(a.Long(0))); }},
      {"ItemDescriptionByFileName",
       Slot(3),
       K::kPropertyGet,
       {Required("FileName", "String")},
       "String",
       "The description of a file name (letter case ignored).",
       false,
       [](Object& o, CallArgs& a) {
         return Variant(Self(o).ItemDescriptionByFileName(a.String(0)));
       }},
      {"ItemCount",
       Slot(4),
       K::kPropertyGet,
       {},
       "Long",
       "The number of entries.",
       false,
       [](Object& o, CallArgs&) { return Variant(Self(o).ItemCount()); }},
      {"RemoveItem",
       Slot(5),
       K::kMethod,
       {Required("Index", "Long")},
       "Boolean",
       "Removes entry Index (from 0); False out of range.",
       false,
       [](Object& o, CallArgs& a) { return Variant(Self(o).RemoveItem(a.Long(0))); }},
      {"RemoveItemByFileName",
       Slot(6),
       K::kMethod,
       {Required("FileName", "String")},
       "Boolean",
       "Removes the entry of a file name (letter case ignored).",
       false,
       [](Object& o, CallArgs& a) { return Variant(Self(o).RemoveItemByFileName(a.String(0))); }},
      {"AddItem",
       Slot(7),
       K::kMethod,
       {Required("FileName", "String"), Required("Description", "String")},
       "",
       "Sets the description of a file name; the entry moves to the end.",
       false,
       [](Object& o, CallArgs& a) {
         Self(o).AddItem(a.String(0), a.String(1));
         return Variant();
       }},
      {"Clear",
       Slot(8),
       K::kMethod,
       {},
       "",
       "Empties the list and forgets the file name.",
       false,
       [](Object& o, CallArgs&) {
         Self(o).Clear();
         return Variant();
       }},
      {"ReadFile",
       Slot(9),
       K::kMethod,
       {Required("FileName", "String")},
       "Boolean",
       "Reads a description file; a missing one is an empty list.",
       false,
       [](Object& o, CallArgs& a) { return Variant(Self(o).ReadFile(a.String(0))); }},
      {"WriteFile",
       Slot(10),
       K::kMethod,
       {Optional("FileName", "String")},
       "Boolean",
       "Writes the list (to the file last read when no name is given); an empty list deletes "
       "the file.",
       false,
       [](Object& o, CallArgs& a) {
         return Variant(Self(o).WriteFile(a.IsMissing(0) ? std::u16string() : a.String(0)));
       }},
      {"ReadDirectoryFile",
       Slot(11),
       K::kMethod,
       {Required("PathName", "String")},
       "Boolean",
       "Reads Descript.ion of a folder.",
       false,
       [](Object& o, CallArgs& a) { return Variant(Self(o).ReadDirectoryFile(a.String(0))); }},
      {"WriteDirectoryFile",
       Slot(12),
       K::kMethod,
       {Optional("PathName", "String")},
       "Boolean",
       "Writes Descript.ion of a folder (of the file last read when no folder is given).",
       false,
       [](Object& o, CallArgs& a) {
         return Variant(
             Self(o).WriteDirectoryFile(a.IsMissing(0) ? std::u16string() : a.String(0)));
       }},
  };
}

}  // namespace

const automation::ClassInfo& orvDescriptIon::Class() {
  static const automation::ClassInfo info = automation::DescribeClass(
      "orvDescriptIon",
      {0x19904A9E, 0xB9CE, 0x4EFF, {0xBA, 0x99, 0x85, 0x38, 0xD7, 0x58, 0x6E, 0x3D}},
      {0x5159F64B, 0x68AA, 0x4223, {0xBB, 0xE8, 0x52, 0xB7, 0xEB, 0x0C, 0xD3, 0xBF}}, true,
      "A Descript.ion file: descriptions of the files of a folder.", Members(),
      automation::NewObject<orvDescriptIon>);
  return info;
}

}  // namespace quern
