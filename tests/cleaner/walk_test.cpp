// The folder walk: order of visits, depth beyond the path limit with a bounded number of open
// descriptors, and links entered deep down.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cleaner/COutput.h"
#include "cleaner/FolderWalk.h"
#include "cleaner/RunContext.h"
#include "cleaner/modMain.h"
#include "temp_folder.h"

namespace sweepwell {
namespace {

using testing::TempFolder;

int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir)) ++count;
    closedir(dir);
  }
  return count;
}

// Records what the walk offers: "visit PATH" per folder, "leave NAME" per walked child.
class RecordingVisitor : public FolderVisitor {
 public:
  void VisitFolder(FolderWalk& walk, WalkFolder& folder) override {
    events.push_back("visit " + walk.EntryPath("").substr(0, folder.path_length));
    if (++visits % 50 == 0) max_descriptors = std::max(max_descriptors, OpenDescriptors());
  }
  bool VisitChild(FolderWalk& walk, WalkFolder&, const platform::FindRecord& entry) override {
    return IsEnterableSubfolderEntry(walk.run(), entry.attributes, entry.name);
  }
  void LeaveChild(FolderWalk&, WalkFolder&, const platform::FindRecord& entry, bool) override {
    events.push_back("leave " + entry.name);
  }

  std::vector<std::string> events;
  int max_descriptors = 0;
  int visits = 0;
};

class FolderWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    run.OpenOutput(temp / "walk.log", nullptr);
    run.GoBelowJunctions = false;
  }

  // A chain root/d/d/.../d of `depth` folders made relative to each other, beyond PATH_MAX.
  void MakeChain(const std::string& root, int depth) {
    ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < depth; ++i) {
      ASSERT_EQ(mkdirat(fd, "dd", 0755), 0);
      int next = openat(fd, "dd", O_RDONLY | O_DIRECTORY);
      close(fd);
      fd = next;
    }
    close(fd);
  }

  TempFolder temp;
  testing::QuietStdout quiet;
  RunContext run;
};

TEST_F(FolderWalkTest, SubtreeOfEachChildIsWalkedBeforeTheNextSibling) {
  for (auto* dir : {"t", "t/a", "t/a/x", "t/b"}) mkdir((temp / dir).c_str(), 0755);
  RecordingVisitor visitor;
  FolderWalk(run).Run(temp / "t", visitor, false);
  // Listing order is the system's; check the shape rather than the sibling order.
  ASSERT_EQ(visitor.events.size(), 7u);
  EXPECT_EQ(visitor.events[0], "visit " + (temp / "t"));
  auto position = [&](const std::string& event) {
    return std::find(visitor.events.begin(), visitor.events.end(), event) - visitor.events.begin();
  };
  EXPECT_LT(position("visit " + (temp / "t/a/x")), position("leave x"));
  EXPECT_LT(position("leave x"), position("leave a"));
  EXPECT_LT(position("visit " + (temp / "t/a")), position("visit " + (temp / "t/a/x")));
}

TEST_F(FolderWalkTest, WalksChainsDeeperThanThePathLimitWithFewDescriptors) {
  constexpr int kDepth = 1500;  // 3 bytes a level: about 4500 bytes of path, over PATH_MAX
  MakeChain(temp / "deep", kDepth);
  int before = OpenDescriptors();
  RecordingVisitor visitor;
  FolderWalk(run).Run(temp / "deep", visitor, false);
  EXPECT_EQ(visitor.events.size(), 2u * kDepth + 1);
  EXPECT_EQ(visitor.events.back(), "leave dd");
  EXPECT_LT(visitor.max_descriptors, before + 100);
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(FolderWalkTest, ComesBackThroughALinkEnteredDeepDown) {
  // A link at depth 100 to a folder elsewhere: ".." of the target is not the link's folder, so
  // the walk must find its way back by names.
  MakeChain(temp / "deep", 100);
  mkdir((temp / "target").c_str(), 0755);
  mkdir((temp / "target/inside").c_str(), 0755);
  std::string bottom = temp / "deep";
  for (int i = 0; i < 100; ++i) bottom += "/dd";
  ASSERT_EQ(symlink((temp / "target").c_str(), (bottom + "/link").c_str()), 0);
  mkdir((bottom + "/zz").c_str(), 0755);

  run.GoBelowJunctions = true;
  RecordingVisitor visitor;
  FolderWalk(run).Run(temp / "deep", visitor, false);
  auto has = [&](const std::string& event) {
    return std::find(visitor.events.begin(), visitor.events.end(), event) != visitor.events.end();
  };
  EXPECT_TRUE(has("visit " + bottom + "/link/inside"));
  EXPECT_TRUE(has("leave link"));
  EXPECT_TRUE(has("visit " + bottom + "/zz"));  // the sibling after the link is still walked
  EXPECT_EQ(visitor.events.back(), "leave dd");
}

TEST_F(FolderWalkTest, LinksAreNotEnteredWhileTheSwitchIsOff) {
  mkdir((temp / "t").c_str(), 0755);
  mkdir((temp / "elsewhere").c_str(), 0755);
  symlink((temp / "elsewhere").c_str(), (temp / "t/link").c_str());
  RecordingVisitor visitor;
  FolderWalk(run).Run(temp / "t", visitor, false);
  EXPECT_EQ(visitor.events, std::vector<std::string>{"visit " + (temp / "t")});
}

// Swaps the folder it is offered for a link to another folder just before the walk enters it.
class SwappingVisitor : public RecordingVisitor {
 public:
  explicit SwappingVisitor(std::string outside) : outside_(std::move(outside)) {}
  bool VisitChild(FolderWalk& walk, WalkFolder& folder,
                  const platform::FindRecord& entry) override {
    if (!RecordingVisitor::VisitChild(walk, folder, entry)) return false;
    std::string path = walk.EntryPath(entry.name);
    rmdir(path.c_str());
    symlink(outside_.c_str(), path.c_str());
    return true;
  }

 private:
  std::string outside_;
};

TEST_F(FolderWalkTest, AFolderSwappedForALinkAfterTheListingIsNotEntered) {
  mkdir((temp / "t").c_str(), 0755);
  mkdir((temp / "t/sub").c_str(), 0755);
  mkdir((temp / "outside").c_str(), 0755);
  mkdir((temp / "outside/precious").c_str(), 0755);
  SwappingVisitor visitor(temp / "outside");
  FolderWalk(run).Run(temp / "t", visitor, false);
  for (const std::string& event : visitor.events) {
    EXPECT_EQ(event.find("precious"), std::string::npos) << event;
  }
}

TEST_F(FolderWalkTest, AStartFolderThatBecameALinkIsNotEntered) {
  mkdir((temp / "outside").c_str(), 0755);
  mkdir((temp / "outside/precious").c_str(), 0755);
  symlink((temp / "outside").c_str(), (temp / "start").c_str());
  RecordingVisitor refused, followed;
  FolderWalk(run).Run(temp / "start/", refused, false);
  EXPECT_EQ(refused.events, std::vector<std::string>{"visit " + (temp / "start/")});
  FolderWalk(run).Run(temp / "start", followed, true);
  EXPECT_EQ(followed.events.size(), 3u);  // visit start, visit precious, leave precious
}

TEST_F(FolderWalkTest, AFolderThatCannotBeOpenedHasNoEntries) {
  RecordingVisitor visitor;
  EXPECT_TRUE(FolderWalk(run).Run(temp / "missing", visitor, false));
  EXPECT_EQ(visitor.events.size(), 1u);
}

}  // namespace
}  // namespace sweepwell
