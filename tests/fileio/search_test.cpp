// The file search: order and shape of results, masks, the entry of a path itself, roots,
// links and loops, callbacks and cancelling, sizes and times, and the classes through dispatch.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "automation/component.h"
#include "common/test_files.h"
#include "fileio/loop_image.h"
#include "fileio/orvFSO.h"
#include "fileio/orvFoundedFiles.h"
#include "fileio/quern0102.h"
#include "platform/find.h"
#include "platform/posix/look_ring.h"
#include "support/ov_error.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

using automation::CallByName;
using automation::MakeObject;
using automation::Variant;
using orvanel::testing::ErrorNumberOf;
using orvanel::testing::TempFolder;
using orvanel::testing::WriteBytes;

std::u16string U(const std::string& text) { return support::Utf16FromUtf8(text); }
std::string N(const std::u16string& text) { return support::Utf8FromUtf16(text); }

// The names of a folder in the order the system lists them, "." and ".." left out, keeping
// those that match `mask` (one fnmatch pattern, letter case ignored).
std::vector<std::string> Listing(const std::string& folder, const std::string& mask = "*") {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD) == 0) names.push_back(name);
  }
  closedir(dir);
  return names;
}

// A result as text: "name" per entry, a folder followed by its Childs in brackets.
std::string Shape(orvFoundedFiles& files) {
  std::string text;
  for (int32_t i = 0; i < files.Count(); ++i) {
    Ref<FoundedFile> file = files.Item(i);
    if (!text.empty()) text += " ";
    text += N(file->FileName());
    if (file->AttributeDirectory()) text += "[" + Shape(*file->Childs()) + "]";
  }
  return text;
}

// What Shape should give for `folder` searched with `mask`, made from the listing itself.
std::string ExpectedShape(const std::string& folder, const std::string& mask) {
  std::string text;
  for (const std::string& name : Listing(folder, mask)) {
    if (!text.empty()) text += " ";
    text += name;
    struct stat st;
    if (lstat((folder + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      text += "[" + ExpectedShape(folder + "/" + name, mask) + "]";
    }
  }
  return text;
}

void MakeFolder(const std::string& path) { ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path; }

// root: a.txt b.dat Sub.txt/{c.txt d.dat deep/{e.txt}} other/{f.txt} empty.txt/
class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(temp_ / "a.txt", "aaaa");
    WriteBytes(temp_ / "b.dat", "bb");
    MakeFolder(temp_ / "Sub.txt");
    WriteBytes(temp_ / "Sub.txt/c.txt", "cccccc");
    WriteBytes(temp_ / "Sub.txt/d.dat", "d");
    MakeFolder(temp_ / "Sub.txt/deep");
    WriteBytes(temp_ / "Sub.txt/deep/e.txt", "eeeeeeeeee");
    MakeFolder(temp_ / "other");
    WriteBytes(temp_ / "other/f.txt", "fffffffffffffff");
    MakeFolder(temp_ / "empty.txt");
  }

  Ref<FoundedFile> Entry(orvFoundedFiles& files, const std::string& name) {
    for (int32_t i = 0; i < files.Count(); ++i) {
      if (N(files.Item(i)->FileName()) == name) return files.Item(i);
    }
    ADD_FAILURE() << "no entry " << name;
    return MakeObject<FoundedFile>();
  }

  std::u16string Path(const std::string& name = "") const {
    return U(name.empty() ? temp_.path() : temp_ / name);
  }

  TempFolder temp_;
};

// Records every DirectoryCompleted and cancels at one path.
class Recorder : public IFindFilesCallback {
 public:
  explicit Recorder(std::u16string cancel_at = {}) : cancel_at_(std::move(cancel_at)) {}
  void DirectoryCompleted(const std::u16string& Path, bool* Cancel) override {
    EXPECT_FALSE(*Cancel);
    paths.push_back(N(Path));
    if (Path == cancel_at_) *Cancel = true;
  }
  std::vector<std::string> paths;

 private:
  std::u16string cancel_at_;
};

class Thrower : public IFindFilesCallback {
 public:
  void DirectoryCompleted(const std::u16string&, bool*) override {
    throw support::Error(1234, "stopped by the client", "Client");
  }
};

// --- Order, shape and masks ------------------------------------------------------------------

TEST_F(SearchTest, EveryLevelIsListedInTheSystemsOrderWithTheMaskAppliedToFoldersToo) {
  auto files = MakeObject<orvFoundedFiles>();
  ASSERT_TRUE(files->RefreshEx(Path(), u"*"));
  EXPECT_EQ(Shape(*files), ExpectedShape(temp_.path(), "*"));
  EXPECT_EQ(files->Count(), 5);
  EXPECT_TRUE(files->HasSubItems());
  EXPECT_EQ(files->Path(), Path());

  ASSERT_TRUE(files->RefreshEx(Path(), u"*.TXT"));
  // other/ does not match, so f.txt is never reached; deep/ neither, so e.txt is not found.
  EXPECT_EQ(Shape(*files), ExpectedShape(temp_.path(), "*.txt"));
  EXPECT_EQ(Shape(*Entry(*files, "Sub.txt")->Childs()), "c.txt");
  EXPECT_EQ(Entry(*files, "a.txt")->Path(), Path());
  EXPECT_EQ(Entry(*Entry(*files, "Sub.txt")->Childs(), "c.txt")->Path(), Path("Sub.txt"));
  EXPECT_EQ(Entry(*files, "Sub.txt")->Childs()->Path(), Path("Sub.txt"));

  // A list of masks; "*.*" is every name, dotted or not.
  ASSERT_TRUE(files->RefreshEx(Path(), u"*.dat; other"));
  std::string expected;
  for (const std::string& name : Listing(temp_.path())) {
    if (name == "b.dat") expected += expected.empty() ? "b.dat" : " b.dat";
    if (name == "other") expected += expected.empty() ? "other[]" : " other[]";
  }
  EXPECT_EQ(Shape(*files), expected);
  ASSERT_TRUE(files->RefreshEx(Path(), u"*.*"));
  EXPECT_EQ(Shape(*files), ExpectedShape(temp_.path(), "*"));
}

TEST_F(SearchTest, AMaskMatchingNothingAndAMissingFolderFailWithoutACallback) {
  auto files = MakeObject<orvFoundedFiles>();
  auto recorder = MakeObject<Recorder>();
  ASSERT_TRUE(files->RefreshEx(Path(), u"*", false, recorder));
  const size_t calls = recorder->paths.size();
  EXPECT_FALSE(files->RefreshEx(Path(), u"*.none", false, recorder));
  EXPECT_EQ(files->Count(), 0);
  EXPECT_FALSE(files->HasSubItems());
  EXPECT_EQ(files->Path(), Path());
  EXPECT_FALSE(files->RefreshEx(Path("missing"), u"*", false, recorder));
  EXPECT_EQ(recorder->paths.size(), calls);
  EXPECT_EQ(files->Size(), 0);
}

TEST_F(SearchTest, AnEmptyFolderIsASuccessWithoutEntriesAndDotsAreNeverKept) {
  auto files = MakeObject<orvFoundedFiles>();
  auto recorder = MakeObject<Recorder>();
  // "*" matches "." and ".." too: the listing succeeds though nothing is kept.
  EXPECT_TRUE(files->RefreshEx(Path("empty.txt"), u"*", false, recorder));
  EXPECT_EQ(files->Count(), 0);
  EXPECT_FALSE(files->HasSubItems());
  EXPECT_EQ(recorder->paths, std::vector<std::string>{temp_ / "empty.txt"});
  EXPECT_TRUE(files->RefreshEx(Path("empty.txt"), u".*"));
  EXPECT_EQ(files->Count(), 0);
}

TEST_F(SearchTest, ABlankMaskFindsThePathItselfAndSearchesBelowItWithTheBlankMask) {
  auto files = MakeObject<orvFoundedFiles>();
  ASSERT_TRUE(files->RefreshEx(Path("Sub.txt"), u"  "));
  ASSERT_EQ(files->Count(), 1);
  Ref<FoundedFile> sub = files->Item(0);
  EXPECT_EQ(N(sub->FileName()), "Sub.txt");
  EXPECT_EQ(sub->Path(), Path("Sub.txt"));  // Path unchanged without SearchWithParent
  EXPECT_TRUE(sub->AttributeDirectory());
  // Its own search is of "Sub.txt/Sub.txt", which is not there.
  EXPECT_EQ(sub->Childs()->Count(), 0);
  EXPECT_EQ(sub->Childs()->Path(), Path("Sub.txt/Sub.txt"));
}

TEST_F(SearchTest, SearchWithParentGivesTheFolderItselfWithItsContentsInChilds) {
  auto files = MakeObject<orvFoundedFiles>();
  ASSERT_TRUE(files->RefreshEx2(Path("Sub.txt"), u"*", false, nullptr, true));
  ASSERT_EQ(files->Count(), 1);
  Ref<FoundedFile> sub = files->Item(0);
  EXPECT_EQ(N(sub->FileName()), "Sub.txt");
  EXPECT_EQ(sub->Path(), Path());
  EXPECT_EQ(Shape(*sub->Childs()), ExpectedShape(temp_ / "Sub.txt", "*"));
  EXPECT_EQ(sub->FileSize(), 6 + 1 + 10);

  // The tail is compared without letter case; a Path whose end is not the name keeps it whole.
  ASSERT_TRUE(files->RefreshEx2(Path("Sub.txt/"), u"*", false, nullptr, true));
  EXPECT_EQ(files->Item(0)->Path(), Path("Sub.txt/"));
  EXPECT_EQ(Shape(*files->Item(0)->Childs()), ExpectedShape(temp_ / "Sub.txt", "*"));
}

TEST_F(SearchTest, SearchWithParentOfAFileGivesTheFileAndItsFolderWithoutSeparator) {
  auto files = MakeObject<orvFoundedFiles>();
  ASSERT_TRUE(files->RefreshEx2(Path("a.txt"), u"", false, nullptr, true));
  ASSERT_EQ(files->Count(), 1);
  Ref<FoundedFile> file = files->Item(0);
  EXPECT_EQ(file->Path(), Path());
  EXPECT_EQ(file->FileSize(), 4);
  EXPECT_EQ(file->Childs()->Count(), 0);
  EXPECT_FALSE(file->Childs()->HasSubItems());
  EXPECT_EQ(file->AlternateFileName(), u"");
}

TEST_F(SearchTest, AWildcardInThePathsLastPartIsAPatternToo) {
  auto files = MakeObject<orvFoundedFiles>();
  ASSERT_TRUE(files->RefreshEx(Path("*.dat"), u""));
  EXPECT_EQ(Shape(*files), "b.dat");
}

// --- Roots -------------------------------------------------------------------------------------

// A tmpfs mounted on a fresh folder (root only); unmounted however the test ends.
class MountedFolder {
 public:
  explicit MountedFolder(const std::string& where) : path_(where) {
    mkdir(path_.c_str(), 0755);
    mounted_ = geteuid() == 0 && mount("tmpfs", path_.c_str(), "tmpfs", 0, "size=4m") == 0;
  }
  ~MountedFolder() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  std::string path_;
  bool mounted_ = false;
};

TEST(VolumeRootTest, OnlyTheTextOfTheFileSystemsRootIsARoot) {
  EXPECT_TRUE(platform::IsVolumeRoot("/"));
  EXPECT_TRUE(platform::IsVolumeRoot("//"));
  for (const char* path : {"", "/proc", "/tmp", "/*", "/.", "/..", "relative", "/tmp/"})
    EXPECT_FALSE(platform::IsVolumeRoot(path)) << path;
}

// A mount point is an entry of its parent folder like a junction is on Windows, whichever way
// the search names it: the mask "*", the mask of its own name, or the Path itself with
// SearchWithParent. Only a drive or the file system's root is a root.
TEST_F(SearchTest, AMountPointIsTheSameEntryOfItsParentWhateverTheMask) {
  MountedFolder mounted(temp_ / "mnt");
  if (!mounted.mounted()) GTEST_SKIP() << "needs root to mount a tmpfs";
  WriteBytes(temp_ / "mnt/x.txt", "12345");
  MakeFolder(temp_ / "mnt/inner");
  const int32_t junction = 0x410;  // a folder and a reparse point

  auto listed = MakeObject<orvFoundedFiles>();
  ASSERT_TRUE(listed->RefreshEx(Path(), u"*"));
  Ref<FoundedFile> among = Entry(*listed, "mnt");
  EXPECT_EQ(among->FileAttributes(), junction);
  EXPECT_EQ(among->Path(), Path());
  EXPECT_EQ(among->Childs()->Count(), 0);  // not followed

  auto named = MakeObject<orvFoundedFiles>();
  ASSERT_TRUE(named->RefreshEx(Path(), u"mnt"));
  ASSERT_EQ(named->Count(), 1);
  Ref<FoundedFile> alone = named->Item(0);
  EXPECT_EQ(alone->FileName(), among->FileName());
  EXPECT_EQ(alone->FileAttributes(), among->FileAttributes());
  EXPECT_EQ(alone->Path(), among->Path());
  EXPECT_EQ(alone->Childs()->Count(), 0);

  auto itself = MakeObject<orvFoundedFiles>();
  ASSERT_TRUE(itself->RefreshEx2(Path("mnt"), u"*", false, nullptr, true));
  ASSERT_EQ(itself->Count(), 1);
  EXPECT_EQ(N(itself->Item(0)->FileName()), "mnt");
  EXPECT_EQ(itself->Item(0)->FileAttributes(), junction);
  EXPECT_EQ(itself->Item(0)->Path(), Path());
  EXPECT_EQ(itself->Item(0)->Childs()->Count(), 0);

  // Followed, the mounted contents are searched below the entry, as below any junction.
  ASSERT_TRUE(itself->RefreshEx2(Path("mnt"), u"*", true, nullptr, true));
  ASSERT_EQ(itself->Count(), 1);
  EXPECT_EQ(Shape(*itself->Item(0)->Childs()), ExpectedShape(temp_ / "mnt", "*"));
  EXPECT_EQ(itself->Item(0)->FileSize(), 5);
  ASSERT_TRUE(listed->Refresh(Path(), u"*"));
  EXPECT_EQ(Shape(*Entry(*listed, "mnt")->Childs()), ExpectedShape(temp_ / "mnt", "*"));
}

// --- Links and loops --------------------------------------------------------------------------

TEST_F(SearchTest, LinksAreListedAsJunctionsAndEnteredOnlyWhenFollowed) {
  ASSERT_EQ(symlink((temp_ / "other").c_str(), (temp_ / "to-other").c_str()), 0);
  ASSERT_EQ(symlink("a.txt", (temp_ / "to-file").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (temp_ / "dangling").c_str()), 0);
  auto files = MakeObject<orvFoundedFiles>();

  ASSERT_TRUE(files->RefreshEx(Path(), u"*"));
  Ref<FoundedFile> link = Entry(*files, "to-other");
  EXPECT_TRUE(link->AttributeDirectory());
  EXPECT_TRUE(link->AttributeReparsePoint());
  EXPECT_EQ(link->Childs()->Count(), 0);
  EXPECT_FALSE(Entry(*files, "to-file")->AttributeDirectory());
  EXPECT_TRUE(Entry(*files, "to-file")->AttributeReparsePoint());
  EXPECT_TRUE(Entry(*files, "dangling")->AttributeReparsePoint());

  ASSERT_TRUE(files->Refresh(Path(), u"*"));
  EXPECT_EQ(Shape(*Entry(*files, "to-other")->Childs()), "f.txt");
  EXPECT_EQ(Entry(*files, "to-other")->Childs()->Path(), Path("to-other"));
}

TEST_F(SearchTest, AFollowedLinkBackToAFolderBeingSearchedIsListedButNotEntered) {
  ASSERT_EQ(symlink(temp_.path().c_str(), (temp_ / "Sub.txt/deep/up").c_str()), 0);
  ASSERT_EQ(symlink(".", (temp_ / "other/self").c_str()), 0);
  auto files = MakeObject<orvFoundedFiles>();
  ASSERT_TRUE(files->Refresh(Path(), u"*"));
  Ref<FoundedFile> deep = Entry(*Entry(*files, "Sub.txt")->Childs(), "deep");
  Ref<FoundedFile> up = Entry(*deep->Childs(), "up");
  EXPECT_TRUE(up->AttributeReparsePoint());
  EXPECT_EQ(up->Childs()->Count(), 0);
  EXPECT_EQ(Entry(*Entry(*files, "other")->Childs(), "self")->Childs()->Count(), 0);

  // A link to a folder beside the search path (not an ancestor) is still entered.
  ASSERT_EQ(symlink((temp_ / "other").c_str(), (temp_ / "Sub.txt/deep/side").c_str()), 0);
  ASSERT_TRUE(files->Refresh(Path(), u"*"));
  deep = Entry(*Entry(*files, "Sub.txt")->Childs(), "deep");
  EXPECT_NE(Entry(*deep->Childs(), "side")->Childs()->Count(), 0);
}

// When the first folder of "swap" is complete, every other one is replaced by a link to a
// folder outside the searched tree (the folder itself moved aside).
class Swapper : public IFindFilesCallback {
 public:
  Swapper(std::string swap, std::string outside)
      : swap_(std::move(swap)), outside_(std::move(outside)) {}
  void DirectoryCompleted(const std::u16string& Path, bool*) override {
    if (swapped_ > 0 || N(Path) == swap_) return;
    for (const std::string& name : Listing(swap_)) {
      const std::string folder = swap_ + "/" + name;
      if (folder == N(Path)) continue;
      ASSERT_EQ(rename(folder.c_str(), (folder + ".moved").c_str()), 0);
      ASSERT_EQ(symlink(outside_.c_str(), folder.c_str()), 0);
      ++swapped_;
    }
  }
  int swapped_ = 0;

 private:
  std::string swap_;
  std::string outside_;
};

TEST_F(SearchTest, AFolderReplacedByALinkAfterItWasListedIsNotEntered) {
  TempFolder outside;
  WriteBytes(outside / "secret.txt", "s");
  for (const bool follow : {false, true}) {
    SCOPED_TRACE(follow ? "links followed" : "links not followed");
    const std::string swap = temp_ / (follow ? "swap-followed" : "swap");
    MakeFolder(swap);
    for (int i = 0; i < 6; ++i) {
      MakeFolder(swap + "/d" + std::to_string(i));
      WriteBytes(swap + "/d" + std::to_string(i) + "/own.txt", "o");
    }
    auto swapper = MakeObject<Swapper>(swap, outside.path());
    auto files = MakeObject<orvFoundedFiles>();
    ASSERT_TRUE(files->RefreshEx(U(swap), u"*", follow, swapper));
    ASSERT_EQ(swapper->swapped_, 5);
    int entered = 0;
    for (int32_t i = 0; i < files->Count(); ++i) {
      const std::string shape = Shape(*files->Item(i)->Childs());
      EXPECT_TRUE(shape == "own.txt" || shape.empty()) << N(files->Item(i)->FileName()) << shape;
      if (!shape.empty()) ++entered;
    }
    EXPECT_EQ(files->Count(), 6);
    EXPECT_EQ(entered, 1);  // the first, searched before the swap
  }
}

TEST(SearchDepthTest, ATreeDeeperThanThePathLimitEndsThereWithoutExhaustingTheStack) {
  TempFolder temp;
  // 2100 levels of "d": the path limit (4096 bytes) is passed about two thousand levels down.
  int dir = open(temp.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(dir, 0);
  for (int level = 0; level < 2100; ++level) {
    ASSERT_EQ(mkdirat(dir, "d", 0755), 0);
    const int next = openat(dir, "d", O_RDONLY | O_DIRECTORY);
    close(dir);
    ASSERT_GE(next, 0);
    dir = next;
  }
  close(dir);
  auto files = MakeObject<orvFoundedFiles>();
  auto recorder = MakeObject<Recorder>();
  ASSERT_TRUE(files->RefreshEx(U(temp.path()), u"*", false, recorder));
  int depth = 0;
  Ref<orvFoundedFiles> level = files;
  while (level->Count() == 1) {
    ++depth;
    level = level->Item(0)->Childs();
  }
  const int expected = static_cast<int>((PATH_MAX - 1 - temp.path().size() - 2) / 2) + 1;
  EXPECT_NEAR(depth, expected, 1);
  EXPECT_EQ(recorder->paths.size(), static_cast<size_t>(depth));
}

// --- Callbacks and cancelling -----------------------------------------------------------------

TEST_F(SearchTest, DirectoryCompletedComesAfterEveryFolderBelowWithTheSearchedPath) {
  auto files = MakeObject<orvFoundedFiles>();
  auto recorder = MakeObject<Recorder>();
  ASSERT_TRUE(files->RefreshEx(Path(), u"*", false, recorder));
  // Post-order in the order folders are met.
  std::vector<std::string> expected;
  for (const std::string& name : Listing(temp_.path())) {
    if (name == "Sub.txt") {
      for (const std::string& inner : Listing(temp_ / "Sub.txt")) {
        if (inner == "deep") expected.push_back(temp_ / "Sub.txt/deep");
      }
    }
    if (name == "Sub.txt" || name == "other" || name == "empty.txt") {
      expected.push_back(temp_ / name);
    }
  }
  expected.push_back(temp_.path());
  EXPECT_EQ(recorder->paths, expected);
}

TEST_F(SearchTest, CancellingInANestedFolderEmptiesEveryFolderAboveAndStopsTheCallbacks) {
  auto files = MakeObject<orvFoundedFiles>();
  auto recorder = MakeObject<Recorder>(Path("Sub.txt/deep"));
  EXPECT_FALSE(files->RefreshEx(Path(), u"*", false, recorder));
  EXPECT_EQ(files->Count(), 0);
  EXPECT_FALSE(files->HasSubItems());
  EXPECT_TRUE(files->Cancelled());
  ASSERT_FALSE(recorder->paths.empty());
  EXPECT_EQ(recorder->paths.back(), temp_ / "Sub.txt/deep");

  // The object can search again afterwards.
  EXPECT_TRUE(files->RefreshEx(Path(), u"*"));
  EXPECT_FALSE(files->Cancelled());
  EXPECT_EQ(files->Count(), 5);
}

TEST_F(SearchTest, CancellingInTheLastCallbackChangesNothing) {
  auto files = MakeObject<orvFoundedFiles>();
  auto recorder = MakeObject<Recorder>(Path());
  EXPECT_TRUE(files->RefreshEx(Path(), u"*", false, recorder));
  EXPECT_EQ(files->Count(), 5);
  EXPECT_TRUE(files->HasSubItems());
}

TEST_F(SearchTest, AnErrorOfTheCallbackIsRaisedFromTheClientsCall) {
  auto files = MakeObject<orvFoundedFiles>();
  support::Error error = orvanel::testing::RaisedBy(
      [&] { files->RefreshEx(Path(), u"*", false, MakeObject<Thrower>()); });
  EXPECT_EQ(error.number(), 1234);
  EXPECT_EQ(error.source(), "Client");
  EXPECT_EQ(error.description(), "stopped by the client");
  // A callback object without DirectoryCompleted: no such member.
  EXPECT_EQ(
      ErrorNumberOf([&] { files->RefreshEx(Path(), u"*", false, MakeObject<orvFoundedFiles>()); }),
      438);
  // Through dispatch the error reaches the late-bound caller the same way.
  std::vector<Variant> args{Variant(Path()), Variant(u"*"), Variant(false),
                            Variant(MakeObject<Thrower>())};
  EXPECT_EQ(ErrorNumberOf([&] { CallByName(*files, "RefreshEx", args); }), 1234);
}

// Searches the running search's own top object again from inside its first callback.
class Restarter : public IFindFilesCallback {
 public:
  Restarter(orvFoundedFiles* top, std::u16string path) : top_(top), path_(std::move(path)) {}
  void DirectoryCompleted(const std::u16string&, bool*) override {
    if (restarted_) return;
    restarted_ = true;
    EXPECT_TRUE(top_->RefreshEx(path_, u"*"));
  }

 private:
  orvFoundedFiles* top_;
  std::u16string path_;
  bool restarted_ = false;
};

TEST_F(SearchTest, ACallbackThatSearchesTheRunningObjectAgainDoesNoHarm) {
  auto files = MakeObject<orvFoundedFiles>();
  // The folders being searched outlive the result they were part of; whatever the outer search
  // then adds goes to the new result.
  EXPECT_TRUE(files->RefreshEx(Path(), u"*", false, MakeObject<Restarter>(files.get(), Path())));
  EXPECT_GE(files->Count(), 5);
  EXPECT_EQ(files->Path(), Path());
}

TEST_F(SearchTest, TheLibrarysOwnCallbackDoesNothing) {
  auto files = MakeObject<orvFoundedFiles>();
  auto callback = automation::CreateObject("Quern0102.IFindFilesCallback");
  ASSERT_TRUE(callback);
  EXPECT_TRUE(files->RefreshEx(Path(), u"*", false, callback));
  EXPECT_EQ(files->Count(), 5);
  std::vector<Variant> args{Variant(u"x"), Variant(true)};
  CallByName(*callback, "DirectoryCompleted", args);
  EXPECT_EQ(args[1], Variant(true));  // Cancel left as it was
}

// --- Items ------------------------------------------------------------------------------------

TEST_F(SearchTest, ItemCountsFromZeroWithErrorsFiveAndSixAndEnumerationWalksTheSameItems) {
  auto files = MakeObject<orvFoundedFiles>();
  EXPECT_EQ(ErrorNumberOf([&] { files->Item(0); }), 5);
  EXPECT_EQ(ErrorNumberOf([&] { files->Item(2147483647); }), 6);
  ASSERT_TRUE(files->RefreshEx(Path(), u"*"));
  EXPECT_EQ(ErrorNumberOf([&] { files->Item(-1); }), 5);
  EXPECT_EQ(ErrorNumberOf([&] { files->Item(5); }), 5);
  Ref<automation::Enumerator> enumerator = files->NewEnum();
  Variant value;
  int32_t index = 0;
  while (enumerator->Next(&value)) {
    ASSERT_LT(index, files->Count());
    EXPECT_EQ(value.ObjectRef().get(), files->Item(index++).get());
  }
  EXPECT_EQ(index, files->Count());
}

// --- Sizes, attributes and times ---------------------------------------------------------------

TEST_F(SearchTest, FileSizeIsComputedOnceAndFoldersSumTheirMatchingFiles) {
  auto files = MakeObject<orvFoundedFiles>();
  ASSERT_TRUE(files->RefreshEx(Path(), u"*.txt"));
  Ref<FoundedFile> sub = Entry(*files, "Sub.txt");
  EXPECT_EQ(sub->FileSize(), 6);  // c.txt only: deep/ does not match
  EXPECT_EQ(sub->CompressedFileSize(), 6);
  EXPECT_EQ(files->Size(), 4 + 6);
  Ref<FoundedFile> a = Entry(*files, "a.txt");
  EXPECT_EQ(a->FileSize(), 4);
  WriteBytes(temp_ / "a.txt", std::string(100000, 'x'));
  EXPECT_EQ(a->FileSize(), 4);
  EXPECT_EQ(files->Size(), 10);
}

TEST_F(SearchTest, ASparseFileOccupiesLessThanItsSize) {
  const std::string sparse = temp_ / "sparse.bin";
  const int fd = open(sparse.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, "x", 1, 8 << 20), 1);
  close(fd);
  auto files = MakeObject<orvFoundedFiles>();
  ASSERT_TRUE(files->RefreshEx(Path("sparse.bin"), u""));
  Ref<FoundedFile> file = files->Item(0);
  EXPECT_EQ(file->FileSize(), (8 << 20) + 1);
  EXPECT_LT(file->CompressedFileSize(), file->FileSize());
  EXPECT_GT(file->CompressedFileSize(), 0);
  EXPECT_TRUE(file->AttributeSparseFile());
}

TEST_F(SearchTest, AttributesFollowTheMappingOfThisPlatform) {
  WriteBytes(temp_ / ".hidden", "h");
  WriteBytes(temp_ / "locked", "l");
  ASSERT_EQ(chmod((temp_ / "locked").c_str(), 0444), 0);
  auto files = MakeObject<orvFoundedFiles>();
  ASSERT_TRUE(files->RefreshEx(Path(), u"*"));
  EXPECT_TRUE(Entry(*files, ".hidden")->AttributeHidden());
  EXPECT_TRUE(Entry(*files, "locked")->AttributeReadOnly());
  EXPECT_TRUE(Entry(*files, "a.txt")->AttributeArchive());
  EXPECT_FALSE(Entry(*files, "a.txt")->AttributeReadOnly());
  EXPECT_EQ(Entry(*files, "a.txt")->FileAttributes(), 0x20);
  EXPECT_EQ(Entry(*files, "other")->FileAttributes(), 0x10);
  EXPECT_FALSE(Entry(*files, "other")->AttributeSystem());
}

TEST(SearchOnNtfs, TheRealAttributesOfTheVolumeAreReported) {
  testing::LoopImage image(testing::LoopImage::kNtfs, 16);
  if (!image.usable()) GTEST_SKIP() << image.why();
  WriteBytes(image / "plain.txt", "p");
  WriteBytes(image / "marked.txt", "m");
  MakeFolder(image / "folder");
  const unsigned char hidden_system_archive[4] = {0, 0, 0, 0x26};
  ASSERT_EQ(setxattr((image / "marked.txt").c_str(), "system.ntfs_attrib_be", hidden_system_archive,
                     4, 0),
            0);
  auto files = MakeObject<orvFoundedFiles>();
  ASSERT_TRUE(files->RefreshEx(U(image.mount_point()), u"*"));
  int seen = 0;
  for (int32_t i = 0; i < files->Count(); ++i) {
    Ref<FoundedFile> file = files->Item(i);
    const std::string name = N(file->FileName());
    seen += name == "marked.txt" || name == "plain.txt" || name == "folder";
    if (name == "marked.txt") {
      EXPECT_EQ(file->FileAttributes(), 0x26) << name;
    } else if (name == "plain.txt") {
      EXPECT_EQ(file->FileAttributes(), 0x20) << name;  // what NTFS gives a new file
    } else if (name == "folder") {
      EXPECT_TRUE(file->AttributeDirectory());
      EXPECT_FALSE(file->AttributeReparsePoint());
    }
  }
  EXPECT_EQ(seen, 3);
}

TEST_F(SearchTest, TimesAreLocalDatesWithoutMilliseconds) {
  tm local{};
  local.tm_year = 2020 - 1900;
  local.tm_mon = 4;  // May
  local.tm_mday = 17;
  local.tm_hour = 13;
  local.tm_min = 45;
  local.tm_sec = 30;
  local.tm_isdst = -1;
  const timespec when{mktime(&local), 750'000'000};
  const timespec times[2] = {when, when};
  ASSERT_EQ(utimensat(AT_FDCWD, (temp_ / "a.txt").c_str(), times, 0), 0);
  auto files = MakeObject<orvFoundedFiles>();
  ASSERT_TRUE(files->RefreshEx(Path("a.txt"), u""));
  // 2020-05-17 is day 43968 after 1899-12-30.
  const double expected = 43968 + (13 * 3600 + 45 * 60 + 30) / 86400.0;
  EXPECT_DOUBLE_EQ(files->Item(0)->LastWriteTime(), expected);
  EXPECT_DOUBLE_EQ(files->Item(0)->LastAccessTime(), expected);
  EXPECT_GE(files->Item(0)->CreationTime(), 43968);
}

// --- Large searches: plain files looked at beside the listing ----------------------------------

// A tree with enough plain files that their looks run on worker threads, in several batches:
// files of distinct sizes and times, read-only, hidden and sparse ones, fifos and links among
// them (links are looked at while listing), and folders of very different sizes (one holds several
// batches by itself).
class LargeSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int serial = 0;
    AddFiles(temp_.path(), 400, &serial);
    for (const char* name : {"s0", "s1", "s2", "s3", "s4"}) {
      MakeFolder(temp_ / name);
      AddFiles(temp_ / name, 120, &serial);
    }
    MakeFolder(temp_ / "s2/inner");
    AddFiles(temp_ / "s2/inner", 900, &serial);
    ASSERT_EQ(mkfifo((temp_ / "s1/pipe").c_str(), 0644), 0);
    ASSERT_EQ(symlink("f1", (temp_ / "s3/link").c_str()), 0);
    const int fd = open((temp_ / "sparse").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, "x", 1, 4 << 20), 1);
    close(fd);
    MakeFolder(temp_ / "zz-last");  // listed late in the top folder on most file systems
    AddFiles(temp_ / "zz-last", 10, &serial);
  }

  std::u16string Path() const { return U(temp_.path()); }
  Ref<FoundedFile> Entry(orvFoundedFiles& files, const std::string& name) {
    for (int32_t i = 0; i < files.Count(); ++i) {
      if (N(files.Item(i)->FileName()) == name) return files.Item(i);
    }
    ADD_FAILURE() << "no entry " << name;
    return MakeObject<FoundedFile>();
  }

  // `count` files named f<serial> (every eleventh hidden), of serial * 37 % 5000 bytes, each
  // with its own write time, every seventh read-only.
  void AddFiles(const std::string& folder, int count, int* serial) {
    for (int i = 0; i < count; ++i, ++*serial) {
      const std::string path =
          folder + (*serial % 11 == 0 ? "/.f" : "/f") + std::to_string(*serial);
      WriteBytes(path, std::string(*serial * 37 % 5000, 'x'));
      const timespec when[2] = {{1500000000 + *serial * 61, 0}, {1600000000 + *serial * 97, 0}};
      ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), when, 0), 0);
      if (*serial % 7 == 0) {
        ASSERT_EQ(chmod(path.c_str(), 0444), 0);
      }
    }
  }

  TempFolder temp_;
};

// Descriptors this process holds open.
int OpenDescriptors() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dir != nullptr && readdir(dir) != nullptr) ++count;
  if (dir != nullptr) closedir(dir);
  return count;
}

std::string FullName(FoundedFile& file) { return N(file.Path()) + "/" + N(file.FileName()); }

// What differs between an entry and the same entry found alone (the look made while listing,
// as for folders and links) and its lstat; "" when nothing does.
std::string DifferenceFromReference(FoundedFile& file) {
  const std::string full = FullName(file);
  auto alone = MakeObject<orvFoundedFiles>();
  if (!alone->RefreshEx(U(full), u"") || alone->Count() != 1) return full + ": not found alone";
  Ref<FoundedFile> reference = alone->Item(0);
  struct stat st;
  if (lstat(full.c_str(), &st) != 0) return full + ": no lstat";
  std::string difference;
  auto check = [&](const char* what, double got, double expected) {
    if (got != expected) {
      difference += " " + std::string(what) + " " + std::to_string(got) + " instead of " +
                    std::to_string(expected);
    }
  };
  check("attributes", file.FileAttributes(), reference->FileAttributes());
  check("creation", file.CreationTime(), reference->CreationTime());
  check("write", file.LastWriteTime(), reference->LastWriteTime());
  if (!S_ISDIR(st.st_mode)) {  // listing a folder may change its access time
    // Every look at a link follows it once (does it lead to a folder?), which may update the
    // link's access time after the look read it.
    if (!S_ISLNK(st.st_mode)) check("access", file.LastAccessTime(), reference->LastAccessTime());
    check("size", file.FileSize(), S_ISREG(st.st_mode) ? st.st_size : 0);
    check("occupied", file.CompressedFileSize(), 512.0 * st.st_blocks);
    check("read-only", file.AttributeReadOnly(), (st.st_mode & S_IWUSR) == 0);
  }
  return difference.empty() ? "" : full + ":" + difference;
}

// Checks every entry reachable from `files` against the reference; returns how many it checked.
int CheckEntries(orvFoundedFiles& files, std::vector<std::string>* differences) {
  int checked = 0;
  for (int32_t i = 0; i < files.Count(); ++i) {
    Ref<FoundedFile> file = files.Item(i);
    const std::string difference = DifferenceFromReference(*file);
    if (!difference.empty()) differences->push_back(difference);
    ++checked;
    if (file->AttributeDirectory()) checked += CheckEntries(*file->Childs(), differences);
  }
  return checked;
}

// Checks, at every callback, what the client can reach so far through the top result (the
// folder just completed when it is the top one).
class CheckingCallback : public IFindFilesCallback {
 public:
  explicit CheckingCallback(orvFoundedFiles* top) : top_(top) {}
  void DirectoryCompleted(const std::u16string&, bool*) override {
    checked_at_last_call = CheckEntries(*top_, &differences);
    ++calls;
  }
  std::vector<std::string> differences;
  int checked_at_last_call = 0;
  int calls = 0;

 private:
  orvFoundedFiles* top_;
};

// Cancels, or raises, at its n-th call.
class StopAt : public IFindFilesCallback {
 public:
  StopAt(int call, bool raise) : call_(call), raise_(raise) {}
  void DirectoryCompleted(const std::u16string&, bool* Cancel) override {
    if (++calls_ != call_) return;
    if (raise_) throw support::Error(4321, "stopped half-way", "Client");
    *Cancel = true;
  }

 private:
  int calls_ = 0;
  int call_;
  bool raise_;
};

TEST_F(LargeSearchTest, EveryEntryHasTheAttributesTimesAndSizesOfItsOwnLook) {
  auto files = MakeObject<orvFoundedFiles>();
  ASSERT_TRUE(files->RefreshEx(Path(), u"*"));
  EXPECT_EQ(Shape(*files), ExpectedShape(temp_.path(), "*"));
  std::vector<std::string> differences;
  EXPECT_EQ(CheckEntries(*files, &differences), 400 + 5 * 121 + 1 + 900 + 1 + 1 + 11 + 1);
  EXPECT_TRUE(differences.empty()) << differences.size() << " differ, first: " << differences[0];

  // Folder sizes are the sums of the sizes found.
  double expected = 0;
  for (int i = 0; i < 400 + 5 * 120 + 900 + 10; ++i) expected += i * 37 % 5000;
  EXPECT_EQ(files->Size(), expected + (4 << 20) + 1);
  EXPECT_EQ(Entry(*files, "s2")->CompressedFileSize(), Entry(*files, "s2")->FileSize());

  // With a mask, only the matching entries are looked at and found.
  ASSERT_TRUE(files->RefreshEx(Path(), u"*1*"));
  EXPECT_EQ(Shape(*files), ExpectedShape(temp_.path(), "*1*"));
  differences.clear();
  CheckEntries(*files, &differences);
  EXPECT_TRUE(differences.empty()) << differences.size() << " differ, first: " << differences[0];
}

TEST_F(LargeSearchTest, WithoutIoUringEveryEntryHasTheSameLook) {
  // Where the system has no io_uring the looks are one statx call each: the same results.
  platform::posix::AllowLookRings(false);
  auto files = MakeObject<orvFoundedFiles>();
  const bool found = files->RefreshEx(Path(), u"*");
  platform::posix::AllowLookRings(true);
  ASSERT_TRUE(found);
  EXPECT_EQ(Shape(*files), ExpectedShape(temp_.path(), "*"));
  std::vector<std::string> differences;
  EXPECT_EQ(CheckEntries(*files, &differences), 400 + 5 * 121 + 1 + 900 + 1 + 1 + 11 + 1);
  EXPECT_TRUE(differences.empty()) << differences.size() << " differ, first: " << differences[0];
}

TEST_F(LargeSearchTest, ACallbackSeesEveryEntryReachableWithItsLookDone) {
  auto files = MakeObject<orvFoundedFiles>();
  auto callback = MakeObject<CheckingCallback>(files.get());
  ASSERT_TRUE(files->RefreshEx(Path(), u"*", false, callback));
  EXPECT_EQ(callback->calls, 8);
  // The last call is the top folder's: its whole result is there.
  EXPECT_EQ(callback->checked_at_last_call, 400 + 5 * 121 + 1 + 900 + 1 + 1 + 11 + 1);
  EXPECT_TRUE(callback->differences.empty())
      << callback->differences.size() << " differ, first: " << callback->differences[0];
}

TEST_F(LargeSearchTest, CancellingHalfWayLeavesNothingBehind) {
  const int64_t live = automation::LiveObjectCount();
  const int descriptors = OpenDescriptors();
  {
    auto files = MakeObject<orvFoundedFiles>();
    EXPECT_FALSE(files->RefreshEx(Path(), u"*", false, MakeObject<StopAt>(2, false)));
    EXPECT_EQ(files->Count(), 0);
    EXPECT_TRUE(files->Cancelled());
    // The object searches again, in full.
    ASSERT_TRUE(files->RefreshEx(Path(), u"*"));
    EXPECT_EQ(Shape(*files), ExpectedShape(temp_.path(), "*"));
  }
  EXPECT_EQ(automation::LiveObjectCount(), live);
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(LargeSearchTest, AnErrorOfTheCallbackHalfWayLeavesEveryEntryFoundComplete) {
  const int64_t live = automation::LiveObjectCount();
  const int descriptors = OpenDescriptors();
  {
    auto files = MakeObject<orvFoundedFiles>();
    EXPECT_EQ(
        ErrorNumberOf([&] { files->RefreshEx(Path(), u"*", false, MakeObject<StopAt>(3, true)); }),
        4321);
    // What the top result holds when the error leaves it was looked at in full.
    std::vector<std::string> differences;
    CheckEntries(*files, &differences);
    EXPECT_TRUE(differences.empty()) << differences.size() << " differ, first: " << differences[0];
  }
  EXPECT_EQ(automation::LiveObjectCount(), live);
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST(SearchWhileDeletingTest, AFileGoneBeforeItsLookKeepsWhatTheListingSaid) {
  TempFolder temp;
  constexpr int kFiles = 3000;
  for (int i = 0; i < kFiles; ++i) {
    WriteBytes(temp / ("f" + std::to_string(i)), std::string(i % 50 + 1, 'x'));
  }
  std::atomic<bool> stop{false};
  std::thread remover([&] {
    for (int i = kFiles - 1; i >= 0 && !stop; i -= 2)
      unlink((temp / ("f" + std::to_string(i))).c_str());
  });
  auto files = MakeObject<orvFoundedFiles>();
  const bool found = files->RefreshEx(U(temp.path()), u"*");
  stop = true;
  remover.join();
  ASSERT_TRUE(found);
  // Each entry is either described by its look or, gone first, as the listing saw it: a file
  // with no size.
  for (int32_t i = 0; i < files->Count(); ++i) {
    Ref<FoundedFile> file = files->Item(i);
    const int serial = std::stoi(N(file->FileName()).substr(1));
    if (file->FileSize() == 0) {
      EXPECT_EQ(file->FileAttributes(), 0x20) << serial;
      EXPECT_EQ(file->CompressedFileSize(), 0) << serial;
    } else {
      EXPECT_EQ(file->FileSize(), serial % 50 + 1) << serial;
      EXPECT_GT(file->LastWriteTime(), 40000) << serial;  // a time of this century
    }
  }
}

// --- Through dispatch ---------------------------------------------------------------------------

TEST_F(SearchTest, LateBoundClientsCreateTheSearchAndReadItsResultsByName) {
  Ref<automation::Object> files = automation::CreateObject("Quern0102.orvFoundedFiles");
  ASSERT_TRUE(files);
  EXPECT_EQ(ErrorNumberOf([] { automation::CreateObject("Quern0102.FoundedFile"); }), 429);

  EXPECT_EQ(CallByName(*files, "RefreshEx2",
                       {Variant(Path("Sub.txt")), Variant(u"*"), Variant(automation::Missing{}),
                        Variant(nullptr), Variant(true)}),
            Variant(true));
  EXPECT_EQ(CallByName(*files, "Count"), Variant(int32_t{1}));
  Ref<automation::Object> sub = CallByName(*files, "Item", {Variant(int32_t{0})}).ToObject();
  EXPECT_EQ(sub->TypeInfo().name, "FoundedFile");
  EXPECT_EQ(CallByName(*sub, "Path"), Variant(Path()));
  EXPECT_EQ(CallByName(*sub, "AttributeDirectory"), Variant(true));
  EXPECT_EQ(CallByName(*sub, "FileSize"), Variant(17.0));
  EXPECT_EQ(CallByName(*sub, "LastWriteTime").type(), automation::VarType::kDate);
  Ref<automation::Object> childs = CallByName(*sub, "Childs").ToObject();
  EXPECT_EQ(CallByName(*childs, "Count"), Variant(int32_t{3}));
  EXPECT_EQ(CallByName(*childs, "HasSubItems"), Variant(true));

  EXPECT_EQ(ErrorNumberOf([&] { CallByName(*files, "Item", {Variant(int32_t{2147483647})}); }), 6);
  EXPECT_EQ(ErrorNumberOf([&] { CallByName(*files, "Item", {Variant(int32_t{1})}); }), 5);
}

TEST_F(SearchTest, AFoundedFileAloneKeepsTheLibraryLoaded) {
  ASSERT_EQ(DllCanUnloadNow(), automation::hr::kOk);
  Ref<FoundedFile> file;
  {
    auto files = MakeObject<orvFoundedFiles>();
    ASSERT_TRUE(files->RefreshEx(Path("Sub.txt"), u"*"));
    file = files->Item(0);
  }
  EXPECT_EQ(DllCanUnloadNow(), automation::hr::kFalse);
  file.reset();
  EXPECT_EQ(DllCanUnloadNow(), automation::hr::kOk);
}

}  // namespace
}  // namespace quern
