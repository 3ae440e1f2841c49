// Folders by name and exclusions while the tree changes under the walk: a folder swapped for a
// link between its parent's listing and its opening is never entered, whether the walk was to
// delete it or only to search it, and what lies outside the named tree is never touched.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cleaner/Exclusions.h"
#include "cleaner/RunContext.h"
#include "cleaner/modByName.h"
#include "cleaner/modEmptyFolders.h"
#include "common/faulty_file_system.h"
#include "faulty_run_fixture.h"

namespace sweepwell {
namespace {

namespace fs = std::filesystem;
using orvanel::testing::Fault;
using orvanel::testing::Op;
using orvanel::testing::WriteBytes;

class FoldersNamedSwapped : public FaultyRunTest {
 protected:
  void SetUp() override {
    FaultyRunTest::SetUp();
    fs::create_directories(Path("outside/node_modules"));
    WriteBytes(Path("outside/precious"), "p");
    WriteBytes(Path("outside/node_modules/also-precious"), "p");
  }
  void File(const std::string& name) {
    fs::create_directories(fs::path(Path(name)).parent_path());
    WriteBytes(Path(name), "x");
  }
  void ExpectOutsideUntouched() {
    EXPECT_TRUE(Exists("outside/precious"));
    EXPECT_TRUE(Exists("outside/node_modules/also-precious"));
    const std::string log = Log();
    EXPECT_EQ(log.find("precious"), std::string::npos) << log;
  }
};

TEST_F(FoldersNamedSwapped, AMatchedFolderSwappedForALinkIsNotEnteredNorItsTargetEmptied) {
  File("src/app/node_modules/own.js");
  File("src/lib/node_modules/other.js");
  Fault& swap = files.SwapForLink(Op::kOpenEntry, "node_modules", Path("src/app/node_modules"),
                                  Path("outside"));
  DeleteFoldersNamed(run, Path("src/node_modules"));
  ASSERT_EQ(swap.hits, 1);
  ExpectOutsideUntouched();
  EXPECT_TRUE(Exists("src/app/node_modules.moved-aside/own.js"));
  // The other match, elsewhere, still goes.
  EXPECT_FALSE(Exists("src/lib/node_modules"));
}

TEST_F(FoldersNamedSwapped, ASearchedFolderSwappedForALinkIsNotSearched) {
  File("src/app/keep.txt");
  Fault& swap = files.SwapForLink(Op::kOpenEntry, "app", Path("src/app"), Path("outside"));
  DeleteFoldersNamed(run, Path("src/node_modules"));
  ASSERT_EQ(swap.hits, 1);
  ExpectOutsideUntouched();
  EXPECT_TRUE(Exists("src/app.moved-aside/keep.txt"));
}

// An exclusion holds for the empty-folder commands the same way when the folder that leads to
// the excluded path is swapped: nothing is removed through the link.
TEST_F(FoldersNamedSwapped, AnExcludedPathBelowASwappedFolderIsNotReachedThroughTheLink) {
  fs::create_directories(Path("src/repo/.git/refs"));
  fs::create_directories(Path("outside/empty"));
  AddExclusionPath(run, Path("src/repo/.git"));
  Fault& swap = files.SwapForLink(Op::kOpenEntry, "repo", Path("src/repo"), Path("outside"));
  DeleteEmptyFolders(run, Path("src"), true, false);
  ASSERT_EQ(swap.hits, 1);
  EXPECT_TRUE(Exists("outside/empty"));
  EXPECT_TRUE(Exists("src/repo.moved-aside/.git/refs"));
  ExpectOutsideUntouched();
}

}  // namespace
}  // namespace sweepwell
