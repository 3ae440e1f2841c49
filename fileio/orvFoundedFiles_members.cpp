// The member tables of orvFoundedFiles, FoundedFile and IFindFilesCallback (interfaces
// _orvFoundedFiles, _FoundedFile and _IFindFilesCallback, version 1.0).
#include "fileio/member_helpers.h"
#include "fileio/orvFoundedFiles.h"

namespace quern {

using namespace members;

namespace {

using K = MemberKind;

orvFoundedFiles& Files(Object& object) { return static_cast<orvFoundedFiles&>(object); }
FoundedFile& File(Object& object) { return static_cast<FoundedFile&>(object); }

// The callback argument: left out or Nothing is no callback.
Ref<Object> CallbackArg(const CallArgs& args, size_t i) {
  return args.IsMissing(i) ? Ref<Object>() : args.ObjectArg(i);
}

Variant Search(Object& o, CallArgs& a, bool with_parent_parameter) {
  return Variant(Files(o).RefreshEx2(a.String(0), a.String(1), a.Bool(2), CallbackArg(a, 3),
                                     with_parent_parameter ? a.Bool(4) : false));
}

std::vector<automation::MemberInfo> SearchMembers() {
  const ParamInfo path = Required("Path", "String");
  const ParamInfo mask = Required("Mask", "String");
  const ParamInfo follow = Optional("FollowReparsePoints", "Boolean", Variant(false));
  const ParamInfo callback = Optional("CallBackObject", "_IFindFilesCallback");
  return {
      {"HasSubItems",
       Slot(0),
       K::kPropertyGet,
       {},
       "Boolean",
       "True after a search that found at least one entry.",
       false,
       [](Object& o, CallArgs&) { return Variant(Files(o).HasSubItems()); }},
      {"Path",
       Slot(1),
       K::kPropertyGet,
       {},
       "String",
       "The Path of the last search.",
       false,
       [](Object& o, CallArgs&) { return Variant(Files(o).Path()); }},
      {"Size",
       Slot(2),
       K::kPropertyGet,
       {},
       "Double",
       "The sum of the FileSize of the entries found.",
       false,
       [](Object& o, CallArgs&) { return Variant(Files(o).Size()); }},
      {"Refresh",
       Slot(3),
       K::kMethod,
       {path, mask},
       "Boolean",
       "Searches Path for Mask, entering links to folders and mount points.",
       false,
       [](Object& o, CallArgs& a) { return Variant(Files(o).Refresh(a.String(0), a.String(1))); }},
      {"RefreshEx",
       Slot(4),
       K::kMethod,
       {path, mask, follow, callback},
       "Boolean",
       "Searches Path for Mask; CallBackObject is told when each folder is done.",
       false,
       [](Object& o, CallArgs& a) { return Search(o, a, false); }},
      {"RefreshEx2",
       Slot(5),
       K::kMethod,
       {path, mask, follow, callback, Optional("SearchWithParent", "Boolean", Variant(false))},
       "Boolean",
       "Searches Path for Mask; with SearchWithParent the result is the entry of Path itself, "
       "its contents in Childs.",
       false,
       [](Object& o, CallArgs& a) { return Search(o, a, true); }},
      {"Item",
       automation::kDispIdValue,
       K::kPropertyGet,
       {Required("Index", "Long")},
       "FoundedFile",
       "The entry at Index, counted from 0.",
       false,
       [](Object& o, CallArgs& a) { return Variant(Files(o).Item(a.Long(0))); }},
      {"Count",
       Slot(7),
       K::kPropertyGet,
       {},
       "Long",
       "The number of entries found.",
       false,
       [](Object& o, CallArgs&) { return Variant(Files(o).Count()); }},
      {"NewEnum",
       automation::kDispIdNewEnum,
       K::kPropertyGet,
       {},
       "IUnknown",
       "",
       true,
       [](Object& o, CallArgs&) { return Variant(Files(o).NewEnum()); }},
  };
}

template <bool (FoundedFile::*Get)() const>
Variant BooleanOf(Object& o, CallArgs&) {
  return Variant((File(o).*Get)());
}

template <double (FoundedFile::*Get)() const>
Variant DateOf(Object& o, CallArgs&) {
  return Variant(automation::Date{(File(o).*Get)()});
}

automation::MemberInfo Property(const char* name, int slot, const char* type,
                                const char* description, automation::Invoker invoke) {
  return {name, Slot(slot), K::kPropertyGet, {}, type, description, false, invoke};
}

std::vector<automation::MemberInfo> FileMembers() {
  return {
      Property("Childs", 0, "orvFoundedFiles", "The search inside a folder; empty for a file.",
               [](Object& o, CallArgs&) { return Variant(File(o).Childs()); }),
      Property("Path", 1, "String", "The folder the entry was found in.",
               [](Object& o, CallArgs&) { return Variant(File(o).Path()); }),
      Property("FileAttributes", 2, "Long", "The attribute bits.",
               [](Object& o, CallArgs&) { return Variant(File(o).FileAttributes()); }),
      Property("AttributeReadOnly", 3, "Boolean", "", BooleanOf<&FoundedFile::AttributeReadOnly>),
      Property("AttributeHidden", 4, "Boolean", "", BooleanOf<&FoundedFile::AttributeHidden>),
      Property("AttributeSystem", 5, "Boolean", "", BooleanOf<&FoundedFile::AttributeSystem>),
      Property("AttributeDirectory", 6, "Boolean", "", BooleanOf<&FoundedFile::AttributeDirectory>),
      Property("AttributeArchive", 7, "Boolean", "", BooleanOf<&FoundedFile::AttributeArchive>),
      Property("AttributeDevice", 8, "Boolean", "", BooleanOf<&FoundedFile::AttributeDevice>),
      Property("AttributeTemporary", 9, "Boolean", "", BooleanOf<&FoundedFile::AttributeTemporary>),
      Property("AttributeSparseFile", 10, "Boolean", "",
               BooleanOf<&FoundedFile::AttributeSparseFile>),
      Property("AttributeReparsePoint", 11, "Boolean", "",
               BooleanOf<&FoundedFile::AttributeReparsePoint>),
      Property("AttributeCompressed", 12, "Boolean", "",
               BooleanOf<&FoundedFile::AttributeCompressed>),
      Property("AttributeOffline", 13, "Boolean", "", BooleanOf<&FoundedFile::AttributeOffline>),
      Property("AttributeNotContentIndexed", 14, "Boolean", "",
               BooleanOf<&FoundedFile::AttributeNotContentIndexed>),
      Property("AttributeEncrypted", 15, "Boolean", "",
               BooleanOf<&FoundedFile::AttributeEncrypted>),
      Property("CreationTime", 16, "Date", "Birth time, else last write (local time).",
               DateOf<&FoundedFile::CreationTime>),
      Property("LastAccessTime", 17, "Date", "Last access (local time).",
               DateOf<&FoundedFile::LastAccessTime>),
      Property("LastWriteTime", 18, "Date", "Last write (local time).",
               DateOf<&FoundedFile::LastWriteTime>),
      Property("FileSize", 19, "Double",
               "Bytes; for a folder the sum of its Childs. Computed once.",
               [](Object& o, CallArgs&) { return Variant(File(o).FileSize()); }),
      Property("CompressedFileSize", 20, "Double",
               "Bytes occupied on disk; for a folder its FileSize.",
               [](Object& o, CallArgs&) { return Variant(File(o).CompressedFileSize()); }),
      Property("FileName", 21, "String", "The name as listed.",
               [](Object& o, CallArgs&) { return Variant(File(o).FileName()); }),
      Property("AlternateFileName", 22, "String", "The 8.3 name: always empty here.",
               [](Object& o, CallArgs&) { return Variant(File(o).AlternateFileName()); }),
  };
}

std::vector<automation::MemberInfo> CallbackMembers() {
  return {
      {"DirectoryCompleted",
       Slot(0),
       K::kMethod,
       {Required("Path", "String"), RequiredByRef("Cancel", "Boolean")},
       "",
       "Called after each searched folder; set Cancel to True to stop the search.",
       false,
       [](Object& o, CallArgs& a) {
         CallArgs::Out<bool> cancel(a, 1);
         static_cast<IFindFilesCallback&>(o).DirectoryCompleted(a.String(0), cancel.get());
         return Variant();
       }},
  };
}

}  // namespace

const automation::ClassInfo& orvFoundedFiles::Class() {
  static const automation::ClassInfo info = automation::DescribeClass(
      "orvFoundedFiles",
      {0xB3F47E71, 0xB82F, 0x40FA, {0x96, 0x57, 0x7E, 0x41, 0x3E, 0x10, 0x26, 0xD1}},
      {0x3C13B93E, 0x977E, 0x436A, {0xA9, 0xE5, 0xFB, 0x98, 0x68, 0xBA, 0x20, 0x45}}, true,
      "The result of a file search: the entries found, each folder with its own.", SearchMembers(),
      automation::NewObject<orvFoundedFiles>);
  return info;
}

const automation::ClassInfo& FoundedFile::Class() {
  static const automation::ClassInfo info = automation::DescribeClass(
      "FoundedFile", {0x3F5CB6FB, 0x440C, 0x4624, {0xB4, 0x52, 0xD6, 0x20, 0x4D, 0xC6, 0x56, 0xE6}},
      {0x1554AC39, 0xDCF9, 0x4A62, {0x95, 0x97, 0x3E, 0x9C, 0x1D, 0x27, 0x30, 0xE8}}, false,
      "One file or folder found by a search.", FileMembers());
  return info;
}

const automation::ClassInfo& IFindFilesCallback::Class() {
  static const automation::ClassInfo info = automation::DescribeClass(
      "IFindFilesCallback",
      {0xA437A9B6, 0x7324, 0x4535, {0x8C, 0xBB, 0xD7, 0xBC, 0xA7, 0x58, 0x7B, 0x38}},
      {0x73565CF6, 0xAA78, 0x4C07, {0x97, 0x82, 0x44, 0x08, 0x61, 0x96, 0xAD, 0x77}}, true,
      "A search progress callback that does nothing.", CallbackMembers(),
      automation::NewObject<IFindFilesCallback>);
  return info;
}

}  // namespace quern
