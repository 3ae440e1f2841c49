// The member tables of orvFileStreams (interface _orvFileStreams) and FileStream
// (_FileStream), both version 1.0.
#include "fileio/member_helpers.h"
#include "fileio/orvFileStreams.h"

namespace quern {

using namespace members;

namespace {

using K = MemberKind;

orvFileStreams& List(Object& object) { return static_cast<orvFileStreams&>(object); }
FileStream& Stream(Object& object) { return static_cast<FileStream&>(object); }

// A read-only property without parameters.
automation::MemberInfo Property(std::string name, int slot, std::string type,
                                std::string description, automation::Invoker invoke) {
  return {std::move(name),        Slot(slot), K::kPropertyGet, {}, std::move(type),
          std::move(description), false,      invoke};
}

std::vector<automation::MemberInfo> ListMembers() {
  return {
      Property("Count", 0, "Long", "The number of streams found.",
               [](Object& o, CallArgs&) { return Variant(List(o).Count()); }),
      {"Item",
       automation::kDispIdValue,
       K::kPropertyGet,
       {Required("Index", "Long")},
       "FileStream",
       "The stream at Index, counted from 0.",
       false,
       [](Object& o, CallArgs& a) { return Variant(List(o).Item(a.Long(0))); }},
      {"NewEnum",
       automation::kDispIdNewEnum,
       K::kPropertyGet,
       {},
       "IUnknown",
       "",
       true,
       [](Object& o, CallArgs&) { return Variant(List(o).NewEnum()); }},
      {"ReadFileStreams",
       Slot(3),
       K::kMethod,
       {Required("FileName", "String"), Optional("ProcessSecurity", "Boolean")},
       "Boolean",
       "Lists the streams of a file or folder (with ProcessSecurity, its security data too); "
       "False when it cannot be opened.",
       false,
       [](Object& o, CallArgs& a) {
         return Variant(List(o).ReadFileStreams(a.String(0), !a.IsMissing(1) && a.Bool(1)));
       }},
  };
}

std::vector<automation::MemberInfo> StreamMembers() {
  return {
      Property("StreamID", 0, "Long", "The stream kind (1 data, 3 security, 4 alternate ...).",
               [](Object& o, CallArgs&) { return Variant(Stream(o).StreamID()); }),
      Property("Attributes", 1, "Long", "The stream attribute bits.",
               [](Object& o, CallArgs&) { return Variant(Stream(o).Attributes()); }),
      Property("Size", 2, "Double", "The size of the stream's data in bytes.",
               [](Object& o, CallArgs&) { return Variant(Stream(o).Size()); }),
      Property("Name", 3, "String", "\":NAME:$DATA\", \"::$DATA\" for the data stream, or \"\".",
               [](Object& o, CallArgs&) { return Variant(Stream(o).Name()); }),
      Property("ShortName", 4, "String", "NAME of \":NAME:$DATA\".",
               [](Object& o, CallArgs&) { return Variant(Stream(o).ShortName()); }),
      Property("StreamIDInvalid", 5, "Boolean", "StreamID is 0.",
               [](Object& o, CallArgs&) { return Variant(Stream(o).StreamIDInvalid()); }),
      Property("StreamIDData", 6, "Boolean", "The unnamed data stream (1).",
               [](Object& o, CallArgs&) { return Variant(Stream(o).StreamIDData()); }),
      Property("StreamIDEAData", 7, "Boolean", "Extended attributes (2).",
               [](Object& o, CallArgs&) { return Variant(Stream(o).StreamIDEAData()); }),
      Property("StreamIDSecurityData", 8, "Boolean", "A security descriptor (3).",
               [](Object& o, CallArgs&) { return Variant(Stream(o).StreamIDSecurityData()); }),
      Property("StreamIDAlternateData", 9, "Boolean", "An alternate data stream (4).",
               [](Object& o, CallArgs&) { return Variant(Stream(o).StreamIDAlternateData()); }),
      Property("StreamIDLink", 10, "Boolean", "Hard link information (5).",
               [](Object& o, CallArgs&) { return Variant(Stream(o).StreamIDLink()); }),
      Property("StreamIDPropertyData", 11, "Boolean", "Property data (6).",
               [](Object& o, CallArgs&) { return Variant(Stream(o).StreamIDPropertyData()); }),
      Property("StreamIDObjectID", 12, "Boolean", "An object identifier (7).",
               [](Object& o, CallArgs&) { return Variant(Stream(o).StreamIDObjectID()); }),
      Property("StreamIDReparseData", 13, "Boolean", "Reparse data (8).",
               [](Object& o, CallArgs&) { return Variant(Stream(o).StreamIDReparseData()); }),
      Property("StreamIDSparseBlock", 14, "Boolean", "A sparse block (9).",
               [](Object& o, CallArgs&) { return Variant(Stream(o).StreamIDSparseBlock()); }),
      Property("AttributeModifiedWhenRead", 15, "Boolean", "Attribute bit 0x1.",
               [](Object& o, CallArgs&) { return Variant(Stream(o).AttributeModifiedWhenRead()); }),
      Property("AttributeContainsSecurity", 16, "Boolean", "Attribute bit 0x2.",
               [](Object& o, CallArgs&) { return Variant(Stream(o).AttributeContainsSecurity()); }),
      Property(
          "AttributeContainsProperties", 17, "Boolean", "Attribute bit 0x4.",
          [](Object& o, CallArgs&) { return Variant(Stream(o).AttributeContainsProperties()); }),
      Property("AttributeSparseAttribute", 18, "Boolean", "Attribute bit 0x8.",
               [](Object& o, CallArgs&) { return Variant(Stream(o).AttributeSparseAttribute()); }),
  };
}

}  // namespace

const automation::ClassInfo& orvFileStreams::Class() {
  static const automation::ClassInfo info = automation::DescribeClass(
      "orvFileStreams",
      {0xE03DB6ED, 0xCB25, 0x41D9, {0x85, 0x13, 0x06, 0xF7, 0x4E, 0x16, 0x49, 0xE0}},
      {0xFD175D1D, 0x4D66, 0x438B, {0xB4, 0x5D, 0x06, 0xFC, 0x34, 0x71, 0x70, 0xCB}}, true,
      "The NTFS streams of one file.", ListMembers(), automation::NewObject<orvFileStreams>);
  return info;
}

const automation::ClassInfo& FileStream::Class() {
  static const automation::ClassInfo info = automation::DescribeClass(
      "FileStream", {0x5A2012BA, 0x0504, 0x4376, {0xA9, 0x4F, 0x6B, 0x23, 0xCF, 0x3B, 0xD5, 0xE3}},
      {0x1E91037E, 0xEFF4, 0x4C47, {0xAA, 0x97, 0x15, 0x53, 0xD0, 0xC8, 0x15, 0x55}}, false,
      "One stream of a file.", StreamMembers(), automation::NewObject<FileStream>);
  return info;
}

}  // namespace quern
