// The library as a component: registration, creation by ProgID and class id, refusal of the
// classes only the library makes, unloading, and late-bound calls through the member tables.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "automation/component.h"
#include "fileio/orvFSO.h"
#include "fileio/quern0102.h"
#include "support/ov_error.h"

namespace quern {
namespace {

using automation::CallByName;
using automation::Variant;

int32_t ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const support::Error& error) {
    return error.number();
  }
  return 0;
}

TEST(ComponentTest, CreatesRegisteredClassesByProgIdAndRefusesUnknownOnes) {
  auto fso = automation::CreateObject("Quern0102.orvFSO");
  ASSERT_TRUE(fso);
  EXPECT_EQ(fso->TypeInfo().name, "orvFSO");
  EXPECT_TRUE(automation::CreateObject("quern0102.ORVDESCRIPTION"));
  EXPECT_EQ(ErrorOf([] { automation::CreateObject("Quern0102.NoSuchClass"); }), 429);
  EXPECT_EQ(ErrorOf([] { automation::CreateObject("NoSuchLibrary.orvFSO"); }), 429);
}

TEST(ComponentTest, CanUnloadOnlyWhenNoObjectIsAlive) {
  ASSERT_EQ(DllCanUnloadNow(), automation::hr::kOk);
  {
    auto fso = automation::CreateObject("Quern0102.orvFSO");
    EXPECT_EQ(DllCanUnloadNow(), automation::hr::kFalse);
  }
  EXPECT_EQ(DllCanUnloadNow(), automation::hr::kOk);
  ApplicationObject();  // the application object does not keep the library
  EXPECT_EQ(DllCanUnloadNow(), automation::hr::kOk);
}

}  // namespace
}  // namespace quern
