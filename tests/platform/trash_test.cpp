// The trash: where entries land, what their .trashinfo says (read back independently with
// trash-cli's trash-list where it can be), and that nothing is lost when trashing fails.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_files.h"
#include "gtest/gtest.h"
#include "platform/platform.h"
#include "platform/posix/internal.h"
#include "platform/posix/trash_internal.h"

namespace {

using orvanel::testing::Exists;
using orvanel::testing::ReadBytes;
using orvanel::testing::WriteBytes;
using platform::error::kSuccess;

std::vector<std::string> ListNames(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  return names;
}

// Removes a tree relative to descriptors, so that chains deeper than PATH_MAX go too.
void RemoveTree(int parent, const std::string& name) {
  if (unlinkat(parent, name.c_str(), 0) == 0) return;
  int fd = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  std::vector<std::string> children;
  if (DIR* dir = fdopendir(dup(fd))) {
    while (dirent* entry = readdir(dir)) {
      std::string child = entry->d_name;
      if (child != "." && child != "..") children.push_back(child);
    }
    closedir(dir);
  }
  for (const std::string& child : children) RemoveTree(fd, child);
  close(fd);
  unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}

struct TrashInfo {
  std::string header, path, date;
};

TrashInfo ParseTrashInfo(const std::string& text) {
  TrashInfo info;
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, info.header);
  while (std::getline(lines, line)) {
    if (line.starts_with("Path=")) info.path = line.substr(5);
    if (line.starts_with("DeletionDate=")) info.date = line.substr(13);
  }
  return info;
}

// Seconds between a DeletionDate (local time) and now.
double SecondsSince(const std::string& date) {
  std::tm local{};
  if (!strptime(date.c_str(), "%Y-%m-%dT%H:%M:%S", &local)) return 1e9;
  local.tm_isdst = -1;
  return std::difftime(time(nullptr), mktime(&local));
}

bool HaveCommand(const char* name) {
  std::string probe = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(probe.c_str()) == 0;
}

std::string RunCommand(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    pclose(pipe);
  }
  return output;
}

// A fresh temporary root with its own $HOME and $XDG_DATA_HOME (the data folder does not exist
// yet: the trash must make it), restored afterwards.
class TrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/trash_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    SaveEnv("HOME", &old_home_);
    SaveEnv("XDG_DATA_HOME", &old_data_);
    mkdir((root_ + "/home").c_str(), 0700);
    mkdir((root_ + "/work").c_str(), 0700);
    data_ = root_ + "/home/data/share";
    setenv("HOME", (root_ + "/home").c_str(), 1);
    setenv("XDG_DATA_HOME", data_.c_str(), 1);
    trash_ = data_ + "/Trash";
  }

  void TearDown() override {
    for (const std::string& path : immutable_) {
      std::system(("chattr -i '" + path + "' 2>/dev/null").c_str());
    }
    RestoreEnv("HOME", old_home_);
    RestoreEnv("XDG_DATA_HOME", old_data_);
    RemoveTree(AT_FDCWD, root_);
  }

  static void SaveEnv(const char* name, std::optional<std::string>* saved) {
    if (const char* value = getenv(name)) *saved = value;
  }
  static void RestoreEnv(const char* name, const std::optional<std::string>& saved) {
    if (saved) {
      setenv(name, saved->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }

  std::string MakeFile(const std::string& relative, const std::string& text = "content") {
    std::string path = root_ + "/work/" + relative;
    WriteBytes(path, text);
    return path;
  }

  TrashInfo HomeRecord(const std::string& trash_name) {
    return ParseTrashInfo(ReadBytes(trash_ + "/info/" + trash_name + ".trashinfo"));
  }

  std::string root_, data_, trash_;
  std::optional<std::string> old_home_, old_data_;
  std::vector<std::string> immutable_;
};

TEST_F(TrashTest, FileMovesToHomeTrashWithMatchingRecord) {
  std::string path = MakeFile("report.txt", "the report");
  ASSERT_EQ(platform::MoveToTrash(path), kSuccess);

  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(ReadBytes(trash_ + "/files/report.txt"), "the report");
  std::string text = ReadBytes(trash_ + "/info/report.txt.trashinfo");
  TrashInfo info = ParseTrashInfo(text);
  EXPECT_EQ(info.header, "[Trash Info]");
  EXPECT_EQ(platform::trash::PercentDecodePath(info.path), path);
  EXPECT_LT(std::abs(SecondsSince(info.date)), 5) << info.date;
  EXPECT_EQ(text, "[Trash Info]\nPath=" + info.path + "\nDeletionDate=" + info.date + "\n");

  struct stat st;
  ASSERT_EQ(stat((trash_ + "/info/report.txt.trashinfo").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  for (const char* folder : {"", "/files", "/info"}) {
    ASSERT_EQ(stat((trash_ + folder).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
  }
}

TEST_F(TrashTest, TrashListReadsTheRecord) {
  if (!HaveCommand("trash-list")) GTEST_SKIP() << "trash-list (trash-cli) is not installed";
  std::string path = MakeFile("it's a 100% \"odd\" name.txt");
  ASSERT_EQ(platform::MoveToTrash(path), kSuccess);
  TrashInfo info = HomeRecord("it's a 100% \"odd\" name.txt");
  std::string date = info.date;
  date[10] = ' ';

  std::string listing = RunCommand("trash-list 2>/dev/null");
  EXPECT_NE(listing.find(date + " " + path + "\n"), std::string::npos) << listing;
}

TEST_F(TrashTest, OddNamesRoundTripThroughPercentEncoding) {
  const std::vector<std::string> names = {
      "with  blanks",        "quote\"double'single",
      "100% done",           "new\nline",
      "latin1 \xe9\xff\xfe", "\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82",
      "tab\there;#?&=+$,:[]"};
  for (const std::string& name : names) {
    std::string path = MakeFile(name);
    ASSERT_EQ(platform::MoveToTrash(path), kSuccess) << name;
    TrashInfo info = HomeRecord(name);
    EXPECT_EQ(platform::trash::PercentDecodePath(info.path), path) << name;
    for (char c : info.path) {
      EXPECT_TRUE(isalnum(static_cast<unsigned char>(c)) || strchr("-._~/%", c) != nullptr)
          << "raw byte " << static_cast<int>(static_cast<unsigned char>(c)) << " in " << info.path;
    }
    EXPECT_TRUE(Exists(trash_ + "/files/" + name)) << name;
  }
}

TEST_F(TrashTest, SameNameTwiceKeepsBothEntries) {
  mkdir((root_ + "/work/a").c_str(), 0700);
  mkdir((root_ + "/work/b").c_str(), 0700);
  std::string first = MakeFile("a/notes.txt", "first");
  std::string second = MakeFile("b/notes.txt", "second");
  ASSERT_EQ(platform::MoveToTrash(first), kSuccess);
  ASSERT_EQ(platform::MoveToTrash(second), kSuccess);

  EXPECT_EQ(ReadBytes(trash_ + "/files/notes.txt"), "first");
  EXPECT_EQ(ReadBytes(trash_ + "/files/notes.txt.2"), "second");
  EXPECT_EQ(platform::trash::PercentDecodePath(HomeRecord("notes.txt").path), first);
  EXPECT_EQ(platform::trash::PercentDecodePath(HomeRecord("notes.txt.2").path), second);
}

// A name the trash no longer holds is free again: after the trash was emptied by another tool,
// or removed and made again (when the new info/ folder may get the old one's inode back), the
// next entry of that name takes the plain name, not the one after those trashed before.
TEST_F(TrashTest, NamesFreedInTheTrashAreTakenAgain) {
  for (const std::string& emptied_by :
       {"rm -f '" + trash_ + "'/files/* '" + trash_ + "'/info/*",
        "rm -rf '" + trash_ + "' && mkdir -p '" + trash_ + "/files' '" + trash_ + "/info'"}) {
    ASSERT_EQ(platform::MoveToTrash(MakeFile("notes.txt", "first")), kSuccess);
    ASSERT_EQ(platform::MoveToTrash(MakeFile("notes.txt", "second")), kSuccess);
    ASSERT_TRUE(Exists(trash_ + "/files/notes.txt.2"));
    ASSERT_EQ(std::system(emptied_by.c_str()), 0);

    ASSERT_EQ(platform::MoveToTrash(MakeFile("notes.txt", "third")), kSuccess);
    EXPECT_EQ(ReadBytes(trash_ + "/files/notes.txt"), "third") << emptied_by;
    EXPECT_FALSE(Exists(trash_ + "/files/notes.txt.3")) << emptied_by;
    EXPECT_EQ(platform::trash::PercentDecodePath(HomeRecord("notes.txt").path),
              root_ + "/work/notes.txt");
    ASSERT_EQ(std::system(emptied_by.c_str()), 0);
  }
}

TEST_F(TrashTest, EntryInFilesWithoutRecordIsNotOverwritten) {
  std::string path = MakeFile("cache.db", "new");
  ASSERT_EQ(platform::MoveToTrash(MakeFile("warmup")), kSuccess);  // makes the trash
  WriteBytes(trash_ + "/files/cache.db", "left by someone else");

  ASSERT_EQ(platform::MoveToTrash(path), kSuccess);
  EXPECT_EQ(ReadBytes(trash_ + "/files/cache.db"), "left by someone else");
  EXPECT_FALSE(Exists(trash_ + "/info/cache.db.trashinfo"));
  EXPECT_EQ(ReadBytes(trash_ + "/files/cache.db.2"), "new");
}

TEST_F(TrashTest, ManyEntriesOfOneNameAllSurvive) {
  for (int i = 0; i < 30; ++i) {
    std::string path = MakeFile("Thumbs.db", std::to_string(i));
    ASSERT_EQ(platform::MoveToTrash(path), kSuccess) << i;
  }
  EXPECT_EQ(ListNames(trash_ + "/files").size(), 30u);
  EXPECT_EQ(ListNames(trash_ + "/info").size(), 30u);
}

TEST_F(TrashTest, LongNameIsShortenedToFitTheRecordName) {
  std::string name = std::string(240, 'n') + ".jpeg";  // 245 bytes: only attempt 1 fits as is
  std::string first = MakeFile(name, "1");
  ASSERT_EQ(platform::MoveToTrash(first), kSuccess);
  std::string second = MakeFile(name, "2");
  ASSERT_EQ(platform::MoveToTrash(second), kSuccess);

  std::vector<std::string> records = ListNames(trash_ + "/info");
  ASSERT_EQ(records.size(), 2u);
  for (const std::string& record : records) {
    EXPECT_LE(record.size(), static_cast<size_t>(NAME_MAX));
    std::string trash_name = record.substr(0, record.size() - 10);
    EXPECT_TRUE(trash_name.starts_with(std::string(200, 'n'))) << trash_name;
    EXPECT_TRUE(Exists(trash_ + "/files/" + trash_name)) << trash_name;
    EXPECT_EQ(platform::trash::PercentDecodePath(HomeRecord(trash_name).path).size(), first.size());
  }
}

TEST_F(TrashTest, FileBeyondPathMaxIsTrashedThroughItsFolder) {
  const std::string level(200, 'd');
  uint32_t error = kSuccess;
  platform::Folder folder = platform::Folder::Open(root_ + "/work", &error);
  ASSERT_TRUE(folder.IsOpen()) << error;
  std::string path = root_ + "/work";
  while (path.size() <= PATH_MAX + 200) {
    ASSERT_EQ(mkdirat(platform::posix::FdOf(folder), level.c_str(), 0700), 0);
    folder = folder.OpenEntry(level, &error);
    ASSERT_TRUE(folder.IsOpen()) << error;
    path += "/" + level;
  }
  int fd = openat(platform::posix::FdOf(folder), "deep.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  close(fd);
  path += "/deep.txt";

  ASSERT_EQ(platform::MoveEntryToTrash(folder, "deep.txt", path), kSuccess);
  struct stat st;
  EXPECT_NE(fstatat(platform::posix::FdOf(folder), "deep.txt", &st, AT_SYMLINK_NOFOLLOW), 0);
  EXPECT_TRUE(Exists(trash_ + "/files/deep.txt"));
  EXPECT_EQ(platform::trash::PercentDecodePath(HomeRecord("deep.txt").path), path);
}

TEST_F(TrashTest, LinksAndFoldersMoveAsThemselves) {
  std::string target = MakeFile("target.txt", "kept");
  std::string link = root_ + "/work/link";
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  std::string folder = root_ + "/work/folder";
  mkdir(folder.c_str(), 0700);
  WriteBytes(folder + "/inner", "inner");

  ASSERT_EQ(platform::MoveToTrash(link), kSuccess);
  ASSERT_EQ(platform::MoveToTrash(folder + "/"), kSuccess);  // a trailing separator is ignored
  EXPECT_EQ(ReadBytes(target), "kept");
  struct stat st;
  ASSERT_EQ(lstat((trash_ + "/files/link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadBytes(trash_ + "/files/folder/inner"), "inner");
  EXPECT_EQ(platform::trash::PercentDecodePath(HomeRecord("folder").path), folder);
}

TEST_F(TrashTest, VanishedTrashIsMadeAgain) {
  ASSERT_EQ(platform::MoveToTrash(MakeFile("one")), kSuccess);
  RemoveTree(AT_FDCWD, root_ + "/home/data");
  ASSERT_EQ(platform::MoveToTrash(MakeFile("two")), kSuccess);
  EXPECT_TRUE(Exists(trash_ + "/files/two"));
  EXPECT_TRUE(Exists(trash_ + "/info/two.trashinfo"));
}

TEST_F(TrashTest, RelativePathIsRecordedAbsolute) {
  std::string path = MakeFile("relative.txt");
  char saved[PATH_MAX];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir((root_ + "/work").c_str()), 0);
  uint32_t result = platform::MoveToTrash("./relative.txt");
  ASSERT_EQ(chdir(saved), 0);
  ASSERT_EQ(result, kSuccess);
  EXPECT_EQ(platform::trash::PercentDecodePath(HomeRecord("relative.txt").path), path);
}

TEST_F(TrashTest, MissingFileFailsWithoutRecord) {
  EXPECT_EQ(platform::MoveToTrash(root_ + "/work/absent"), platform::error::kFileNotFound);
  EXPECT_EQ(platform::MoveToTrash(root_ + "/nowhere/absent"), platform::error::kPathNotFound);
  EXPECT_TRUE(ListNames(trash_ + "/info").empty());
}

TEST_F(TrashTest, ImmutableFileStaysAndLeavesNoRecord) {
  std::string path = MakeFile("locked.txt", "stay");
  if (std::system(("chattr +i '" + path + "' 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "chattr +i is not possible here (needs root and a supporting file system)";
  }
  immutable_.push_back(path);

  uint32_t result = platform::MoveToTrash(path);
  EXPECT_NE(result, kSuccess);
  EXPECT_EQ(ReadBytes(path), "stay");
  EXPECT_TRUE(ListNames(trash_ + "/info").empty());
  EXPECT_TRUE(ListNames(trash_ + "/files").empty());
}

// A small tmpfs mounted inside the test root stands for a second file system (a USB stick).
// Its mount point has a blank in its name, which /proc/self/mountinfo writes as \040.
class TopDirTrashTest : public TrashTest {
 protected:
  void SetUp() override {
    TrashTest::SetUp();
    if (HasFatalFailure()) return;
    mount_ = root_ + "/usb stick";
    mkdir(mount_.c_str(), 0755);
    if (mount("tmpfs", mount_.c_str(), "tmpfs", 0, "size=4m,mode=0755") != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs here (" << strerror(errno)
                   << "); top-folder trash tests skipped";
    }
    mounted_ = true;
    mkdir((mount_ + "/photos").c_str(), 0755);
    uid_ = std::to_string(getuid());
  }

  void TearDown() override {
    if (mounted_ && umount(mount_.c_str()) != 0) umount2(mount_.c_str(), MNT_DETACH);
    TrashTest::TearDown();
  }

  std::string MakeStickFile(const std::string& name, const std::string& text = "picture") {
    std::string path = mount_ + "/photos/" + name;
    WriteBytes(path, text);
    return path;
  }

  std::string mount_, uid_;
  bool mounted_ = false;
};

TEST_F(TopDirTrashTest, PrivateTrashOnTheMountGetsRelativePath) {
  std::string path = MakeStickFile("cat.png");
  ASSERT_EQ(platform::MoveToTrash(path), kSuccess);

  std::string trash = mount_ + "/.Trash-" + uid_;
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(ReadBytes(trash + "/files/cat.png"), "picture");
  TrashInfo info = ParseTrashInfo(ReadBytes(trash + "/info/cat.png.trashinfo"));
  EXPECT_EQ(info.path, "photos/cat.png");
  EXPECT_LT(std::abs(SecondsSince(info.date)), 5) << info.date;
  struct stat st;
  ASSERT_EQ(stat(trash.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_FALSE(Exists(trash_)) << "the home trash is on another device";
}

TEST_F(TopDirTrashTest, StickySharedTrashIsUsed) {
  ASSERT_EQ(mkdir((mount_ + "/.Trash").c_str(), 0777), 0);
  ASSERT_EQ(chmod((mount_ + "/.Trash").c_str(), 01777), 0);
  ASSERT_EQ(platform::MoveToTrash(MakeStickFile("dog.png")), kSuccess);

  std::string trash = mount_ + "/.Trash/" + uid_;
  EXPECT_TRUE(Exists(trash + "/files/dog.png"));
  EXPECT_EQ(ParseTrashInfo(ReadBytes(trash + "/info/dog.png.trashinfo")).path, "photos/dog.png");
  EXPECT_FALSE(Exists(mount_ + "/.Trash-" + uid_));
}

TEST_F(TopDirTrashTest, SharedTrashWithoutStickyBitIsRefused) {
  ASSERT_EQ(mkdir((mount_ + "/.Trash").c_str(), 0777), 0);
  ASSERT_EQ(chmod((mount_ + "/.Trash").c_str(), 0777), 0);
  ASSERT_EQ(platform::MoveToTrash(MakeStickFile("fox.png")), kSuccess);

  EXPECT_FALSE(Exists(mount_ + "/.Trash/" + uid_));
  EXPECT_TRUE(Exists(mount_ + "/.Trash-" + uid_ + "/files/fox.png"));
}

TEST_F(TopDirTrashTest, LinkedSharedTrashIsRefused) {
  ASSERT_EQ(mkdir((mount_ + "/elsewhere").c_str(), 0777), 0);
  ASSERT_EQ(chmod((mount_ + "/elsewhere").c_str(), 01777), 0);
  ASSERT_EQ(symlink("elsewhere", (mount_ + "/.Trash").c_str()), 0);
  ASSERT_EQ(platform::MoveToTrash(MakeStickFile("owl.png")), kSuccess);

  EXPECT_TRUE(ListNames(mount_ + "/elsewhere").empty());
  EXPECT_TRUE(Exists(mount_ + "/.Trash-" + uid_ + "/files/owl.png"));
}

TEST_F(TopDirTrashTest, LinkedPrivateTrashIsRefusedAndTheFileStays) {
  ASSERT_EQ(mkdir((root_ + "/elsewhere").c_str(), 0700), 0);
  ASSERT_EQ(symlink((root_ + "/elsewhere").c_str(), (mount_ + "/.Trash-" + uid_).c_str()), 0);
  std::string path = MakeStickFile("bat.png");

  EXPECT_NE(platform::MoveToTrash(path), kSuccess);
  EXPECT_EQ(ReadBytes(path), "picture");
  EXPECT_TRUE(ListNames(root_ + "/elsewhere").empty());
  EXPECT_FALSE(Exists(trash_ + "/files/bat.png"));
}

TEST_F(TopDirTrashTest, MountPointItselfIsNotTrashed) {
  EXPECT_NE(platform::MoveToTrash(mount_), kSuccess);
  EXPECT_TRUE(Exists(mount_ + "/photos"));
  EXPECT_FALSE(Exists(mount_ + "/.Trash-" + uid_));
}

TEST_F(TopDirTrashTest, BindMountedFileIsNotTrashed) {
  std::string source = MakeStickFile("source.png", "source");
  std::string bound = MakeStickFile("bound.png", "covered");
  ASSERT_EQ(mount(source.c_str(), bound.c_str(), nullptr, MS_BIND, nullptr), 0) << strerror(errno);
  uint32_t result = platform::MoveToTrash(bound);
  umount(bound.c_str());
  EXPECT_NE(result, kSuccess);
  EXPECT_EQ(ReadBytes(bound), "covered");
  EXPECT_TRUE(ListNames(mount_ + "/.Trash-" + uid_ + "/info").empty());
}

TEST_F(TopDirTrashTest, PathThroughLinkFindsTheRealMount) {
  // Named through a link on the home device, the entry still goes to its own device's trash.
  std::string link = root_ + "/work/to-stick";
  ASSERT_EQ(symlink(mount_.c_str(), link.c_str()), 0);
  ASSERT_EQ(platform::MoveToTrash(link + "/photos/" + "ant.png"), platform::error::kFileNotFound);
  MakeStickFile("ant.png");
  ASSERT_EQ(platform::MoveToTrash(link + "/photos/ant.png"), kSuccess);
  std::string trash = mount_ + "/.Trash-" + uid_;
  EXPECT_EQ(ParseTrashInfo(ReadBytes(trash + "/info/ant.png.trashinfo")).path, "photos/ant.png");
}

// The text helpers, on inputs a live system rarely offers.

TEST(TrashTextTest, MountInfoEscapesAreDecoded) {
  std::string text =
      "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "45 22 0:40 / /media/my\\040disk\\011tab\\134back rw - tmpfs tmpfs rw\n"
      "46 22 0:41 / /media/my rw - tmpfs tmpfs rw\n";
  std::vector<std::string> points = platform::trash::ParseMountPoints(text);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[1], "/media/my disk\ttab\\back");
  EXPECT_EQ(platform::trash::LongestMountPrefix("/media/my disk\ttab\\back/x", points),
            "/media/my disk\ttab\\back");
  EXPECT_EQ(platform::trash::LongestMountPrefix("/media/my/x", points), "/media/my");
  EXPECT_EQ(platform::trash::LongestMountPrefix("/media/mystery/x", points), "/");
}

TEST(TrashTextTest, ShortenedNamesKeepExtensionAndWholeCharacters) {
  std::string cyrillic;
  for (int i = 0; i < 130; ++i) cyrillic += "\xd0\xb6";  // 260 bytes of two-byte letters
  std::string name = platform::trash::TrashEntryName(cyrillic + ".txt", 3);
  EXPECT_LE(name.size(), platform::trash::kMaxTrashNameLength);
  EXPECT_TRUE(name.ends_with(".txt.3")) << name;
  EXPECT_EQ((name.size() - 6) % 2, 0u) << "a letter was cut in half";

  std::string no_extension(300, 'x');
  EXPECT_EQ(platform::trash::TrashEntryName(no_extension, 12),
            std::string(platform::trash::kMaxTrashNameLength - 3, 'x') + ".12");
  EXPECT_EQ(platform::trash::TrashEntryName("short.txt", 1), "short.txt");
}

TEST(TrashTextTest, PathsAreCleanedButDotDotIsKept) {
  EXPECT_EQ(platform::trash::CleanAbsolutePath("//a/./b//c/"), "/a/b/c");
  EXPECT_EQ(platform::trash::CleanAbsolutePath("/a/../b"), "/a/../b");
  EXPECT_EQ(platform::trash::CleanAbsolutePath("/"), "/");
  EXPECT_EQ(platform::trash::PercentEncodePath("/a b/%/\xff/(x)"), "/a%20b/%25/%FF/%28x%29");
  EXPECT_EQ(platform::trash::PercentDecodePath("%41%zz%4"), "A%zz%4");
}

}  // namespace
