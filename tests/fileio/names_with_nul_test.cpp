// A name holding a NUL names no file: every member that takes one refuses it instead of acting
// on the name cut short at the NUL (which the C interfaces would see) or storing the NUL.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "automation/component.h"
#include "common/test_files.h"
#include "fileio/orvDescriptIon.h"
#include "fileio/orvFSO.h"
#include "fileio/quern0102.h"
#include "support/ov_error.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

using automation::CallByName;
using automation::Variant;
using orvanel::testing::ReadBytes;
using orvanel::testing::TempFolder;
using orvanel::testing::WriteBytes;

std::u16string Name(const std::string& path) { return support::FileNameFromNative(path); }
// `head`, a NUL, then "y": cut at the NUL it is `head`, which exists.
std::u16string WithNul(const std::u16string& head) { return head + std::u16string(1, u'\0') + u"y"; }

class NamesWithNul : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(dir / "x", "keep");
    WriteBytes(dir / "Descript.ion", "x about x\r\n");
  }
  // True when the folder still holds only what SetUp put there, unchanged.
  bool Untouched() const {
    struct stat info;
    return ReadBytes(dir / "x") == "keep" && ReadBytes(dir / "Descript.ion") == "x about x\r\n" &&
           stat((dir / "x").c_str(), &info) == 0 && info.st_nlink == 1;
  }
  TempFolder dir;
};

TEST_F(NamesWithNul, SetFileDescriptionRefusesItAndWritesNothing) {
  const Ref<orvFSO> fso = automation::MakeObject<orvFSO>();
  EXPECT_FALSE(fso->SetFileDescription(WithNul(Name(dir / "x")), u"new"));
  EXPECT_FALSE(fso->DeleteFileDescription(WithNul(Name(dir / "x"))));
  EXPECT_EQ(fso->GetFileDescription(WithNul(Name(dir / "x"))), u"");
  EXPECT_TRUE(Untouched());
  // A list being edited takes no such entry either, so none can reach the file.
  const Ref<orvDescriptIon> list = automation::MakeObject<orvDescriptIon>();
  list->AddItem(u"a" + WithNul(u"b"), u"text");
  EXPECT_EQ(list->ItemCount(), 0);
  // The name without the NUL still works, so the refusal is about the NUL alone.
  EXPECT_TRUE(fso->SetFileDescription(Name(dir / "x"), u"new"));
  EXPECT_EQ(fso->GetFileDescription(Name(dir / "x")), u"new");
}

// Every member of every class that takes a file name, a folder or a mask, called through the
// member table with the NUL name and harmless values elsewhere: none reports success, none
// returns contents, none changes the folder.
TEST_F(NamesWithNul, EveryMemberTakingANameRefusesIt) {
  const auto is_name = [](const std::string& param) {
    return param == "FileName" || param == "PathName" || param == "Path" || param == "Mask";
  };
  int called = 0;
  for (const automation::ClassInfo* info : TypeLibrary().classes) {
    if (info->create == nullptr) continue;
    for (const automation::MemberInfo& member : info->members) {
      std::vector<Variant> args;
      bool takes_name = false;
      for (const automation::ParamInfo& param : member.params) {
        if (param.type == "String" && is_name(param.name)) {
          takes_name = true;
          std::u16string head = Name(dir.path());
          if (param.name == "Mask") head = u"*";
          if (param.name == "FileName") head = Name(dir / "x");
          const Variant bad(WithNul(head));
          args.push_back(bad);
        } else if (param.optional) {
          break;
        } else if (param.type == "String") {
          args.emplace_back(u"d");
        } else if (param.type == "Boolean") {
          args.emplace_back(false);
        } else if (param.type == "Byte()") {
          args.emplace_back(std::vector<uint8_t>{'d'});
        } else {
          args.emplace_back(int32_t{0});
        }
      }
      if (!takes_name) continue;
      SCOPED_TRACE(info->name + "." + member.name);
      ++called;
      const Ref<automation::Object> object(info->create());
      Variant result;
      try {
        result = CallByName(*object, member.name, args);
      } catch (const support::Error&) {
        continue;  // refused by raising: as good as refusing by the result
      }
      EXPECT_NE(result, Variant(true));
      if (member.result_type == "String") {
        EXPECT_EQ(result.ToString(), u"");
      }
      if (member.result_type == "Byte()") {
        EXPECT_TRUE(result.ToBytes().empty());
      }
      EXPECT_TRUE(Untouched());
    }
  }
  EXPECT_GE(called, 30);  // the walk found the members
}

}  // namespace
}  // namespace quern
