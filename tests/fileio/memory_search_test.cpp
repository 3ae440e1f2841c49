// The library's search over a volume in memory: it lists through the file system its result is
// given, so a tree, its links, an unreadable folder and a folder swapped for a link mid-search
// are set up without touching the disk.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/memory_file_system.h"
#include "fileio/orvFoundedFiles.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

using automation::MakeObject;
using orvanel::testing::MemoryFileSystem;

std::u16string U(const std::string& text) { return support::FileNameFromNative(text); }
std::string N(const std::u16string& text) { return support::NativeFileName(text); }

// Calls `on_completed` with the path of each folder the search finishes.
class OnCompleted : public IFindFilesCallback {
 public:
  explicit OnCompleted(std::function<void(const std::string&)> action)
      : action_(std::move(action)) {}
  void DirectoryCompleted(const std::u16string& Path, bool*) override { action_(N(Path)); }

 private:
  std::function<void(const std::string&)> action_;
};

// The names of one level of a result, in order.
std::vector<std::string> Names(const orvFoundedFiles& level) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < level.Count(); ++i) names.push_back(N(level.Item(i)->FileName()));
  return names;
}

class MemorySearch : public ::testing::Test {
 protected:
  MemorySearch() {
    disk.AddFile("/top/a.txt", "aaaa");
    disk.AddFile("/top/sub/b.txt", "bb");
    disk.AddFile("/top/sub/c.log", "c");
    disk.AddFile("/outside/secret", "s");
    result->UseFileSystem(disk);
  }

  MemoryFileSystem disk;
  Ref<orvFoundedFiles> result = MakeObject<orvFoundedFiles>();
};

TEST_F(MemorySearch, TheTreeInMemoryIsFoundWithItsSizesAndNestedResults) {
  ASSERT_TRUE(result->RefreshEx(U("/top"), u"*"));
  EXPECT_EQ(Names(*result), (std::vector<std::string>{"a.txt", "sub"}));
  EXPECT_EQ(result->Item(0)->FileSize(), 4);
  Ref<orvFoundedFiles> sub = result->Item(1)->Childs();
  EXPECT_EQ(Names(*sub), (std::vector<std::string>{"b.txt", "c.log"}));
  EXPECT_EQ(N(sub->Path()), "/top/sub");
  EXPECT_EQ(result->Size(), 7);
  // A mask keeps the names it matches, letter case ignored; a plain name is that entry alone.
  ASSERT_TRUE(result->RefreshEx(U("/top/sub"), u"*.TXT"));
  EXPECT_EQ(Names(*result), std::vector<std::string>{"b.txt"});
  ASSERT_TRUE(result->RefreshEx(U("/top/sub"), u"c.log"));
  EXPECT_EQ(Names(*result), std::vector<std::string>{"c.log"});
  EXPECT_FALSE(result->RefreshEx(U("/top/sub"), u"C.LOG"));
  EXPECT_FALSE(result->RefreshEx(U("/missing"), u"*"));
  EXPECT_EQ(result->Count(), 0);
}

TEST_F(MemorySearch, ALinkIsEnteredOnlyWhenFollowedAndNeverBackIntoTheSearch) {
  disk.AddLink("/top/out", "/outside");
  disk.AddLink("/top/sub/loop", "/top");
  ASSERT_TRUE(result->RefreshEx(U("/top"), u"*", false));
  ASSERT_EQ(Names(*result), (std::vector<std::string>{"a.txt", "out", "sub"}));
  EXPECT_EQ(result->Item(1)->Childs()->Count(), 0);
  ASSERT_TRUE(result->RefreshEx(U("/top"), u"*", true));
  EXPECT_EQ(Names(*result->Item(1)->Childs()), std::vector<std::string>{"secret"});
  Ref<orvFoundedFiles> sub = result->Item(2)->Childs();
  ASSERT_EQ(Names(*sub), (std::vector<std::string>{"b.txt", "c.log", "loop"}));
  EXPECT_EQ(sub->Item(2)->Childs()->Count(), 0);  // it leads back to /top
}

TEST_F(MemorySearch, AFolderThatCannotBeListedIsKeptWithoutChilds) {
  disk.SetMode("/top/sub", 0);
  ASSERT_TRUE(result->RefreshEx(U("/top"), u"*"));
  ASSERT_EQ(Names(*result), (std::vector<std::string>{"a.txt", "sub"}));
  EXPECT_FALSE(result->Item(1)->Childs()->HasSubItems());
  EXPECT_EQ(result->Item(1)->Childs()->Count(), 0);
}

TEST_F(MemorySearch, AFolderSwappedForALinkAfterItsListingIsNotEnteredEvenWhenFollowing) {
  // "zlater" is listed with its parent and entered after "sub"; when "sub" is done it becomes
  // a link to /outside, and the search does not go there, though it follows links.
  disk.AddFolder("/top/zlater");
  disk.AddFile("/top/zlater/own", "o");
  auto late_swap = MakeObject<OnCompleted>([&](const std::string& path) {
    if (path == "/top/sub") disk.SwapForLink("/top/zlater", "/outside");
  });
  ASSERT_TRUE(result->RefreshEx(U("/top"), u"*", true, late_swap));
  ASSERT_EQ(Names(*result), (std::vector<std::string>{"a.txt", "sub", "zlater"}));
  EXPECT_EQ(result->Item(2)->Childs()->Count(), 0);
}

}  // namespace
}  // namespace quern
