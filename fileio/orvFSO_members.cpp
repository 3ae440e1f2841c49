// The member table of orvFSO: slot order, parameters, defaults and by-reference flags as the
// interface _orvFSO (version 1.1) presents them.
#include "fileio/member_helpers.h"
#include "fileio/orvFSO.h"

namespace quern {

using namespace members;

namespace {

orvFSO& Self(Object& object) { return static_cast<orvFSO&>(object); }

FileEncodingConst Encoding(const CallArgs& a, size_t i) { return FileEncodingConst(a.Long(i)); }
FileBOMConst Bom(const CallArgs& a, size_t i) { return FileBOMConst(a.Long(i)); }
InvertBytesConst Invert(const CallArgs& a, size_t i) { return InvertBytesConst(a.Long(i)); }

// The format-triple parameters shared by the text members.
std::vector<ParamInfo> WriteParams() {
  return {Required("FileName", "String"),
          Required("Data", "String"),
          Optional("RaiseErrors", "Boolean", false),
          Optional("Encoding", "FileEncodingConst", Long(feANSI)),
          Optional("FileBOM", "FileBOMConst", Long(fbBOM)),
          Optional("InvertBytes", "InvertBytesConst", Long(ibDontInvertBytes))};
}
std::vector<ParamInfo> FormatOutParams() {
  return {OptionalByRef("lpEncoding", "FileEncodingConst"),
          OptionalByRef("lpFileBOM", "FileBOMConst"),
          OptionalByRef("lpInvertBytes", "InvertBytesConst")};
}
std::vector<ParamInfo> AutoFormatParams() {
  return {Optional("Encoding", "FileEncodingConst", Long(feAuto)),
          Optional("FileBOM", "FileBOMConst", Long(fbAuto)),
          Optional("InvertBytes", "InvertBytesConst", Long(ibAuto))};
}
std::vector<ParamInfo> Join(std::initializer_list<std::vector<ParamInfo>> parts) {
  std::vector<ParamInfo> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
std::vector<ParamInfo> BinaryWriteParams() {
  return {Required("FileName", "String"), RequiredByRef("Data", "Byte()"),
          Optional("RaiseErrors", "Boolean", false)};
}

// Byte() parameters are passed by reference and never changed: the member reads the caller's
// array where it already is one.
template <class Write>
Variant CallWithBytes(const CallArgs& a, size_t i, Write write) {
  if (a[i].type() == automation::VarType::kBytes) return Variant(write(a[i].Bytes()));
  return Variant(write(a.Bytes(i)));
}

std::vector<automation::MemberInfo> Members() {
  using K = MemberKind;
  return {
      {"PutFile2", Slot(0), K::kMethod, WriteParams(), "Boolean", "", false,
       [](Object& o, CallArgs& a) {
         return Variant(Self(o).PutFile2(a.String(0), a.String(1), a.Bool(2), Encoding(a, 3),
                                         Bom(a, 4), Invert(a, 5)));
       }},
      {"GetFileFormat2", Slot(1), K::kMethod,
       Join({{Required("FileName", "String"), Optional("RaiseErrors", "Boolean", false)},
             FormatOutParams()}),
       "Boolean", "", false,
       [](Object& o, CallArgs& a) {
         CallArgs::Out<FileEncodingConst> e(a, 2);
         CallArgs::Out<FileBOMConst> b(a, 3);
         CallArgs::Out<InvertBytesConst> i(a, 4);
         return Variant(Self(o).GetFileFormat2(a.String(0), a.Bool(1), e.get(), b.get(), i.get()));
       }},
      {"OverwriteFile2", Slot(2), K::kMethod, WriteParams(), "Byte", "", false,
       [](Object& o, CallArgs& a) {
         return Variant(Self(o).OverwriteFile2(a.String(0), a.String(1), a.Bool(2), Encoding(a, 3),
                                               Bom(a, 4), Invert(a, 5)));
       }},
      {"AppendFile2", Slot(3), K::kMethod,
       Join({{Required("FileName", "String"), Required("Data", "String"),
              Optional("RaiseErrors", "Boolean", false)},
             AutoFormatParams(),
             FormatOutParams()}),
       "Boolean",
       "Дописывает данные к файлу. Если файл существует, его кодировка определяется "
       "автоматически.",
       false,
       [](Object& o, CallArgs& a) {
         CallArgs::Out<FileEncodingConst> e(a, 6);
         CallArgs::Out<FileBOMConst> b(a, 7);
         CallArgs::Out<InvertBytesConst> i(a, 8);
         return Variant(Self(o).AppendFile2(a.String(0), a.String(1), a.Bool(2), Encoding(a, 3),
                                            Bom(a, 4), Invert(a, 5), e.get(), b.get(), i.get()));
       }},
      {"GetFile2", Slot(4), K::kMethod,
       Join({{Required("FileName", "String"), Optional("RaiseErrors", "Boolean", false)},
             AutoFormatParams(),
             FormatOutParams(),
             {OptionalByRef("lpSuccess", "Boolean")}}),
       "String", "", false,
       [](Object& o, CallArgs& a) {
         CallArgs::Out<FileEncodingConst> e(a, 5);
         CallArgs::Out<FileBOMConst> b(a, 6);
         CallArgs::Out<InvertBytesConst> i(a, 7);
         CallArgs::Out<bool> s(a, 8);
         return Variant(Self(o).GetFile2(a.String(0), a.Bool(1), Encoding(a, 2), Bom(a, 3),
                                         Invert(a, 4), e.get(), b.get(), i.get(), s.get()));
       }},
      {"GetFileB",
       Slot(5),
       K::kMethod,
       {Required("FileName", "String"), Optional("RaiseErrors", "Boolean", false),
        OptionalByRef("lpSuccess", "Boolean")},
       "Byte()",
       "",
       false,
       [](Object& o, CallArgs& a) {
         CallArgs::Out<bool> s(a, 2);
         return Variant(Self(o).GetFileB(a.String(0), a.Bool(1), s.get()));
       }},
      {"PutFileB", Slot(6), K::kMethod, BinaryWriteParams(), "Boolean", "", false,
       [](Object& o, CallArgs& a) {
         return CallWithBytes(a, 1, [&](const std::vector<uint8_t>& data) {
           return Self(o).PutFileB(a.String(0), data, a.Bool(2));
         });
       }},
      {"AppendFileB", Slot(7), K::kMethod, BinaryWriteParams(), "Boolean", "", false,
       [](Object& o, CallArgs& a) {
         return CallWithBytes(a, 1, [&](const std::vector<uint8_t>& data) {
           return Self(o).AppendFileB(a.String(0), data, a.Bool(2));
         });
       }},
      {"OverwriteFileB", Slot(8), K::kMethod, BinaryWriteParams(), "Boolean",
       "Эквивалентно PutFileB(), но при этом файл не удаляется, а переписывается содержимое, "
       "сохраняя NTFS потоки и атрибуты.",
       false,
       [](Object& o, CallArgs& a) {
         return CallWithBytes(a, 1, [&](const std::vector<uint8_t>& data) {
           return Self(o).OverwriteFileB(a.String(0), data, a.Bool(2));
         });
       }},
      {"GetFileZone",
       Slot(9),
       K::kMethod,
       {Required("FileName", "String")},
       "FileZoneConst",
       "",
       false,
       [](Object& o, CallArgs& a) {
         return Variant(static_cast<int32_t>(Self(o).GetFileZone(a.String(0))));
       }},
      {"SetFileZone",
       Slot(10),
       K::kMethod,
       {Required("FileName", "String"), Required("FileZone", "FileZoneConst")},
       "Boolean",
       "",
       false,
       [](Object& o, CallArgs& a) {
         return Variant(Self(o).SetFileZone(a.String(0), FileZoneConst(a.Long(1))));
       }},
      {"IsFileZoneDefined",
       Slot(11),
       K::kMethod,
       {Required("FileName", "String")},
       "Boolean",
       "",
       false,
       [](Object& o, CallArgs& a) { return Variant(Self(o).IsFileZoneDefined(a.String(0))); }},
      {"DeleteFileZone",
       Slot(12),
       K::kMethod,
       {Required("FileName", "String")},
       "Boolean",
       "",
       false,
       [](Object& o, CallArgs& a) { return Variant(Self(o).DeleteFileZone(a.String(0))); }},
      {"GetFileDescription",
       Slot(13),
       K::kMethod,
       {Required("FileName", "String")},
       "String",
       "",
       false,
       [](Object& o, CallArgs& a) { return Variant(Self(o).GetFileDescription(a.String(0))); }},
      {"SetFileDescription",
       Slot(14),
       K::kMethod,
       {Required("FileName", "String"), Required("DescriptionText", "String")},
       "Boolean",
       "",
       false,
       [](Object& o, CallArgs& a) {
         return Variant(Self(o).SetFileDescription(a.String(0), a.String(1)));
       }},
      {"DeleteFileDescription",
       Slot(15),
       K::kMethod,
       {Required("FileName", "String")},
       "Boolean",
       "",
       false,
       [](Object& o, CallArgs& a) { return Variant(Self(o).DeleteFileDescription(a.String(0))); }},
      {"ReadStandardListFile",
       Slot(16),
       K::kMethod,
       {Required("FileName", "String"), Optional("CommentChar", "String", u";"),
        Optional("IgnoreBlanks", "Boolean", true), Optional("TrimStrings", "Boolean", true),
        Optional("IsOem", "Boolean", false), Optional("RaiseErrors", "Boolean", false)},
       "Collection",
       "",
       false,
       [](Object& o, CallArgs& a) {
         return Variant(Self(o).ReadStandardListFile(a.String(0), a.String(1), a.Bool(2), a.Bool(3),
                                                     a.Bool(4), a.Bool(5)));
       }},
      {"SetFileCompression",
       Slot(17),
       K::kMethod,
       {Required("FileName", "String"), Required("CompressionFormat", "CompressionFormatConst"),
        OptionalByRef("lpErrorCode", "Long")},
       "Boolean",
       "",
       false,
       [](Object& o, CallArgs& a) {
         CallArgs::Out<int32_t> error(a, 2);
         return Variant(Self(o).SetFileCompression(a.String(0), CompressionFormatConst(a.Long(1)),
                                                   error.get()));
       }},
      {"GetFileCompression",
       Slot(18),
       K::kMethod,
       {Required("FileName", "String"), OptionalByRef("lpErrorCode", "Long")},
       "CompressionFormatConst",
       "",
       false,
       [](Object& o, CallArgs& a) {
         CallArgs::Out<int32_t> error(a, 1);
         return Variant(static_cast<int32_t>(Self(o).GetFileCompression(a.String(0), error.get())));
       }},
      {"ReadStandardListFile2", Slot(19), K::kMethod,
       Join({{Required("FileName", "String"), Optional("CommentChar", "String", u";"),
              Optional("IgnoreBlanks", "Boolean", true), Optional("TrimStrings", "Boolean", true),
              Optional("RaiseErrors", "Boolean", false)},
             AutoFormatParams(),
             FormatOutParams(),
             {OptionalByRef("lpSuccess", "Boolean")}}),
       "Collection", "", false,
       [](Object& o, CallArgs& a) {
         CallArgs::Out<FileEncodingConst> e(a, 8);
         CallArgs::Out<FileBOMConst> b(a, 9);
         CallArgs::Out<InvertBytesConst> i(a, 10);
         CallArgs::Out<bool> s(a, 11);
         return Variant(Self(o).ReadStandardListFile2(
             a.String(0), a.String(1), a.Bool(2), a.Bool(3), a.Bool(4), Encoding(a, 5), Bom(a, 6),
             Invert(a, 7), e.get(), b.get(), i.get(), s.get()));
       }},
  };
}

}  // namespace

const automation::ClassInfo& orvFSO::Class() {
  static const automation::ClassInfo info = [] {
    automation::ClassInfo c = automation::DescribeClass(
        "orvFSO", {0x8A094136, 0xCEE6, 0x49A5, {0x8A, 0x91, 0x06, 0xBC, 0x9F, 0x8B, 0xFB, 0x86}},
        {0xADE28901, 0x1C1E, 0x4374, {0x9D, 0x4E, 0xC6, 0xC0, 0x9E, 0x64, 0x9F, 0x90}}, true,
        "Text, binary and list files; zone, description and compression of a file.", Members(),
        automation::NewObject<orvFSO>);
    c.version_major = 1;
    c.version_minor = 1;
    return c;
  }();
  return info;
}

}  // namespace quern
