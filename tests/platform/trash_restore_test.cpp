// Entries going back from the trash: what a move tells its caller, when an entry is found again,
// and that a restore never replaces, never leaves the trash and never loses the entry.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_files.h"
#include "gtest/gtest.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/trash.h"

namespace {

using orvanel::testing::Exists;
using orvanel::testing::ReadBytes;
using orvanel::testing::WriteBytes;
using platform::TrashedEntry;
using platform::TrashEntryStatus;
using platform::error::kSuccess;

// A temporary root with its own $HOME and $XDG_DATA_HOME, restored afterwards.
class TrashRestoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/trash_restore.XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    for (const char* name : {"HOME", "XDG_DATA_HOME"}) {
      if (const char* value = getenv(name)) saved_.emplace_back(name, value);
    }
    mkdir((root_ + "/work").c_str(), 0700);
    setenv("HOME", root_.c_str(), 1);
    setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
    trash_ = root_ + "/data/Trash";
  }

  void TearDown() override {
    unsetenv("HOME");
    unsetenv("XDG_DATA_HOME");
    for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
    std::system(("rm -rf '" + root_ + "'").c_str());
  }

  // Makes the file (and its folders) and trashes it; the entry the move made.
  TrashedEntry Trash(const std::string& path, const std::string& text) {
    std::system(("mkdir -p '" + path.substr(0, path.rfind('/')) + "'").c_str());
    WriteBytes(path, text);
    platform::TrashMove move;
    EXPECT_EQ(platform::MoveToTrash(path, &move), kSuccess);
    return move.made;
  }

  std::string InfoPath(const TrashedEntry& entry) {
    return entry.trash_folder + "/info/" + entry.name + ".trashinfo";
  }

  TrashEntryStatus Find(const TrashedEntry& entry, uint64_t* size = nullptr) {
    uint64_t found_size = 0;
    uint32_t error = 0;
    TrashEntryStatus status = platform::FindTrashedEntry(entry, &found_size, &error);
    if (size != nullptr) *size = found_size;
    return status;
  }

  TrashEntryStatus Restore(const TrashedEntry& entry, uint32_t* error = nullptr,
                           const platform::FolderStates* folders = nullptr) {
    uint64_t size = 0;
    uint32_t code = 0;
    TrashEntryStatus status = platform::RestoreTrashedEntry(entry, &size, &code, folders);
    if (error != nullptr) *error = code;
    return status;
  }

  std::string root_, trash_;
  std::vector<std::pair<std::string, std::string>> saved_;
};

// Runs `step` in a child that an alarm ends if it blocks; true when the step ran to its end and
// returned true. The bound is generous: it only turns a hang into a failure.
bool EndsWithoutWaiting(const std::function<bool()>& step) {
  pid_t child = fork();
  if (child == 0) {
    alarm(60);
    _exit(step() ? 0 : 1);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

TEST_F(TrashRestoreTest, ALinkOnTheWayIsTakenOnlyWhenItIsTheRecordedOne) {
  ASSERT_EQ(mkdir((root_ + "/work/real").c_str(), 0700), 0);
  ASSERT_EQ(symlink("real", (root_ + "/work/via").c_str()), 0);
  TrashedEntry entry = Trash(root_ + "/work/via/a/f.txt", "through a link");
  ASSERT_EQ(rmdir((root_ + "/work/real/a").c_str()), 0);

  // Unknown to the record: refused, and nothing is made behind it.
  EXPECT_EQ(Restore(entry), TrashEntryStatus::kLinkOnWay);
  EXPECT_FALSE(Exists(root_ + "/work/real/a"));
  platform::FolderStates folders;
  folders[root_ + "/work/via"].owner = geteuid();
  folders[root_ + "/work/via"].link = "elsewhere";  // another text than the link has now
  EXPECT_EQ(Restore(entry, nullptr, &folders), TrashEntryStatus::kLinkOnWay);
  folders[root_ + "/work/via"].owner = geteuid() + 1;  // the same text, another owner
  folders[root_ + "/work/via"].link = "real";
  EXPECT_EQ(Restore(entry, nullptr, &folders), TrashEntryStatus::kLinkOnWay);
  EXPECT_EQ(Find(entry), TrashEntryStatus::kInTrash);

  folders[root_ + "/work/via"].owner = geteuid();
  EXPECT_EQ(Restore(entry, nullptr, &folders), TrashEntryStatus::kRestored);
  EXPECT_EQ(ReadBytes(root_ + "/work/real/a/f.txt"), "through a link");
}

TEST_F(TrashRestoreTest, AFolderWithAnotherOwnerThanRecordedIsRefused) {
  TrashedEntry entry = Trash(root_ + "/work/mine/f.txt", "mine");
  platform::FolderStates folders;
  folders[root_ + "/work/mine"] = {0755, static_cast<uint32_t>(geteuid()) + 1, 0, ""};
  EXPECT_EQ(Restore(entry, nullptr, &folders), TrashEntryStatus::kOwnerChanged);
  EXPECT_EQ(Find(entry), TrashEntryStatus::kInTrash);
  folders[root_ + "/work/mine"].owner = geteuid();
  EXPECT_EQ(Restore(entry, nullptr, &folders), TrashEntryStatus::kRestored);
}

TEST_F(TrashRestoreTest, MissingFoldersAreMadeWithTheRecordedMode) {
  TrashedEntry entry = Trash(root_ + "/work/s/t/f.txt", "f");
  ASSERT_EQ(std::system(("rm -r '" + root_ + "/work/s'").c_str()), 0);
  platform::FolderStates folders;
  const uint32_t uid = geteuid(), gid = getegid();
  folders[root_ + "/work/s"] = {01777, uid, gid, ""};
  folders[root_ + "/work/s/t"] = {0500, uid, gid, ""};  // no write: the rename still goes in
  const mode_t mask = umask(077);
  EXPECT_EQ(Restore(entry, nullptr, &folders),
            geteuid() == 0 ? TrashEntryStatus::kRestored : TrashEntryStatus::kFailed);
  umask(mask);
  struct stat st {};
  ASSERT_EQ(lstat((root_ + "/work/s").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 01777u);
  ASSERT_EQ(lstat((root_ + "/work/s/t").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0500u);
  chmod((root_ + "/work/s/t").c_str(), 0700);
}

TEST_F(TrashRestoreTest, AFifoInPlaceOfTheTrashinfoIsRefusedAtOnce) {
  TrashedEntry entry = Trash(root_ + "/work/f.txt", "f");
  ASSERT_EQ(unlink(InfoPath(entry).c_str()), 0);
  ASSERT_EQ(mkfifo(InfoPath(entry).c_str(), 0600), 0);
  EXPECT_TRUE(EndsWithoutWaiting([&] { return Find(entry) == TrashEntryStatus::kNotRegular; }));
  EXPECT_TRUE(EndsWithoutWaiting([&] { return Restore(entry) == TrashEntryStatus::kNotRegular; }));
  EXPECT_TRUE(Exists(trash_ + "/files/f.txt"));
}

TEST_F(TrashRestoreTest, ALockedFileIsLockedFromTheMomentItHasItsName) {
  const std::string path = root_ + "/work/run.undo";
  platform::File handle;
  ASSERT_EQ(platform::OpenFileByPath(platform::RealFileSystem(), path,
                                     platform::FileOpening::kCreateLocked, &handle),
            kSuccess);
  ASSERT_EQ(handle.Write("first\n"), kSuccess);
  int other = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
  // The name is never taken over, and nothing of the making is left beside it.
  platform::File second;
  EXPECT_EQ(platform::OpenFileByPath(platform::RealFileSystem(), path,
                                     platform::FileOpening::kCreateLocked, &second),
            platform::error::kFileExists);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(ReadBytes(path), "first\n");
  DIR* dir = opendir((root_ + "/work").c_str());
  std::vector<std::string> names;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] != '.' || (std::string(e->d_name) != "." && std::string(e->d_name) != "..")) {
      names.push_back(e->d_name);
    }
  }
  closedir(dir);
  EXPECT_EQ(names, std::vector<std::string>{"run.undo"});
  EXPECT_EQ(handle.Close(), kSuccess);
  EXPECT_FALSE(handle.IsOpen());
  EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  close(other);
}

TEST_F(TrashRestoreTest, RecordsThatAreNoRegularFilesAreRefusedWithoutWaiting) {
  const std::string fifo = root_ + "/work/fifo.undo", link = root_ + "/work/link.undo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  WriteBytes(root_ + "/work/target", "t");
  ASSERT_EQ(symlink("target", link.c_str()), 0);
  for (const std::string& path : {fifo, link, root_ + "/work"}) {
    EXPECT_TRUE(EndsWithoutWaiting([&] {
      platform::File handle;
      platform::File appending;
      return platform::OpenExistingForRead(path, &handle) == platform::error::kBadFileType &&
             platform::OpenExistingForAppend(path, &appending) == platform::error::kBadFileType;
    })) << path;
  }
}

TEST_F(TrashRestoreTest, AMoveNamesItsEntryBeforeTheEntryMoves) {
  const std::string path = root_ + "/work/report.txt";
  WriteBytes(path, "report");
  platform::TrashMove move;
  int calls = 0;
  move.before_move = [&](const TrashedEntry& entry) {
    ++calls;
    // Written down at this point, nothing of the entry is in the trash yet: a caller killed
    // later never leaves a trashed entry it does not know of.
    EXPECT_TRUE(Exists(path));
    EXPECT_FALSE(Exists(InfoPath(entry)));
    EXPECT_FALSE(Exists(entry.trash_folder + "/files/" + entry.name));
  };
  ASSERT_EQ(platform::MoveToTrash(path, &move), kSuccess);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(move.made.trash_folder, trash_);
  EXPECT_EQ(move.made.name, "report.txt");
  EXPECT_EQ(move.made.original_path, path);
  EXPECT_NE(ReadBytes(InfoPath(move.made)).find("\nDeletionDate=" + move.made.deletion_date + "\n"),
            std::string::npos);
}

TEST_F(TrashRestoreTest, AnEntryComesBackWithItsFoldersAndItsRecordGoes) {
  const std::string path = root_ + "/work/a/b/deep.txt";
  TrashedEntry entry = Trash(path, "deep down");
  ASSERT_EQ(std::system(("rm -r '" + root_ + "/work/a'").c_str()), 0);
  uint64_t size = 0;
  EXPECT_EQ(Find(entry, &size), TrashEntryStatus::kInTrash);
  EXPECT_EQ(size, 9u);

  EXPECT_EQ(Restore(entry), TrashEntryStatus::kRestored);
  EXPECT_EQ(ReadBytes(path), "deep down");
  EXPECT_FALSE(Exists(InfoPath(entry)));
  EXPECT_FALSE(Exists(trash_ + "/files/deep.txt"));
  // Once back, it is no longer in the trash; a second restore changes nothing.
  EXPECT_EQ(Find(entry), TrashEntryStatus::kGone);
  EXPECT_EQ(Restore(entry), TrashEntryStatus::kGone);
  EXPECT_EQ(ReadBytes(path), "deep down");
}

TEST_F(TrashRestoreTest, ATakenPlaceIsNeverReplaced) {
  const std::string path = root_ + "/work/taken.txt";
  TrashedEntry entry = Trash(path, "old");
  WriteBytes(path, "new");
  EXPECT_EQ(Restore(entry), TrashEntryStatus::kPlaceTaken);
  EXPECT_EQ(ReadBytes(path), "new");
  EXPECT_EQ(Find(entry), TrashEntryStatus::kInTrash);

  // A dangling link takes the place as much as a file does.
  ASSERT_EQ(unlink(path.c_str()), 0);
  ASSERT_EQ(symlink("nowhere", path.c_str()), 0);
  EXPECT_EQ(Restore(entry), TrashEntryStatus::kPlaceTaken);
  EXPECT_EQ(Find(entry), TrashEntryStatus::kInTrash);
}

TEST_F(TrashRestoreTest, ATrashChangedByAnotherToolIsLeftAlone) {
  const std::string path = root_ + "/work/file.txt";
  TrashedEntry entry = Trash(path, "text");
  const std::string info = ReadBytes(InfoPath(entry));

  // The same name now stands for another deletion: another date, another path.
  TrashedEntry other_date = entry, other_path = entry;
  other_date.deletion_date = "1999-01-01T00:00:00";
  other_path.original_path = root_ + "/work/elsewhere.txt";
  EXPECT_EQ(Restore(other_date), TrashEntryStatus::kChanged);
  EXPECT_EQ(Restore(other_path), TrashEntryStatus::kChanged);
  EXPECT_FALSE(Exists(other_path.original_path));

  // A file without its record is not ours either.
  ASSERT_EQ(unlink(InfoPath(entry).c_str()), 0);
  EXPECT_EQ(Restore(entry), TrashEntryStatus::kChanged);
  EXPECT_FALSE(Exists(path));
  WriteBytes(InfoPath(entry), info);
  EXPECT_EQ(Find(entry), TrashEntryStatus::kInTrash);

  // A record without its file (a move cut short): nothing to restore, and the record of nothing
  // goes so that trash listings do not show it.
  ASSERT_EQ(rename((trash_ + "/files/file.txt").c_str(), (root_ + "/kept.txt").c_str()), 0);
  EXPECT_EQ(Restore(entry), TrashEntryStatus::kGone);
  EXPECT_FALSE(Exists(InfoPath(entry)));
  EXPECT_FALSE(Exists(path));
}

TEST_F(TrashRestoreTest, NamesThatLeaveTheTrashAndFoldersThatAreNoTrashAreRefused) {
  const std::string outside = root_ + "/work/outside.txt";
  WriteBytes(outside, "not trashed");
  TrashedEntry real = Trash(root_ + "/work/real.txt", "real");
  // A folder laid out like a trash, with a record that agrees.
  const std::string fake = root_ + "/work/fake";
  std::system(("mkdir -p '" + fake + "/files' '" + fake + "/info' '" + root_ + "/work/.Trash-" +
               std::to_string(getuid()) + "/files'")
                  .c_str());
  WriteBytes(fake + "/files/x.txt", "fake");
  WriteBytes(fake + "/info/x.txt.trashinfo",
             "[Trash Info]\nPath=" + root_ + "/work/x.txt\nDeletionDate=2026-01-01T00:00:00\n");

  std::vector<TrashedEntry> forged;
  for (const std::string& name : {std::string("../../work/outside.txt"), std::string(".."),
                                  std::string("."), std::string(""), std::string("a/b")}) {
    TrashedEntry entry = real;
    entry.name = name;
    forged.push_back(entry);
  }
  for (const std::string& folder :
       {fake, trash_ + "/../Trash", std::string("data/Trash"), root_ + "/work/fake/",
        root_ + "/work/.Trash-" + std::to_string(getuid())}) {
    TrashedEntry entry = {folder, "x.txt", root_ + "/work/x.txt", "2026-01-01T00:00:00"};
    forged.push_back(entry);
  }
  for (const TrashedEntry& entry : forged) {
    EXPECT_EQ(Restore(entry), TrashEntryStatus::kNotATrash)
        << entry.trash_folder << " | " << entry.name;
  }
  EXPECT_EQ(ReadBytes(outside), "not trashed");
  EXPECT_EQ(ReadBytes(fake + "/files/x.txt"), "fake");
  EXPECT_FALSE(Exists(root_ + "/work/x.txt"));
  EXPECT_EQ(Find(real), TrashEntryStatus::kInTrash);
}

// A small tmpfs in the test root stands for a second disk with its own trash at its top.
class TopDirRestoreTest : public TrashRestoreTest {
 protected:
  void SetUp() override {
    TrashRestoreTest::SetUp();
    if (HasFatalFailure()) return;
    mount_ = root_ + "/stick";
    mkdir(mount_.c_str(), 0755);
    if (mount("tmpfs", mount_.c_str(), "tmpfs", 0, "size=1m,nr_inodes=64,mode=0755") != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs here (" << strerror(errno) << ")";
    }
    mounted_ = true;
  }

  void TearDown() override {
    if (mounted_) umount2(mount_.c_str(), MNT_DETACH);
    TrashRestoreTest::TearDown();
  }

  std::string mount_;
  bool mounted_ = false;
};

TEST_F(TopDirRestoreTest, AnEntryOfAnotherDiskComesBackFromThatDisksTrash) {
  const std::string path = mount_ + "/photos/kitten.png";
  TrashedEntry entry = Trash(path, "kitten");
  EXPECT_EQ(entry.trash_folder, mount_ + "/.Trash-" + std::to_string(getuid()));
  EXPECT_EQ(entry.original_path, path);
  EXPECT_NE(ReadBytes(InfoPath(entry)).find("\nPath=photos/kitten.png\n"), std::string::npos);
  EXPECT_EQ(Restore(entry), TrashEntryStatus::kRestored);
  EXPECT_EQ(ReadBytes(path), "kitten");

  // With the disk gone, its entries cannot be reached, and say so.
  TrashedEntry later = Trash(mount_ + "/hamster.png", "hamster");
  ASSERT_EQ(umount2(mount_.c_str(), MNT_DETACH), 0);
  mounted_ = false;
  EXPECT_EQ(Find(later), TrashEntryStatus::kTrashMissing);
  EXPECT_EQ(Restore(later), TrashEntryStatus::kTrashMissing);
}

TEST_F(TopDirRestoreTest, AFullDiskLeavesTheEntryInTheTrash) {
  const std::string path = mount_ + "/folder/file.txt";
  TrashedEntry entry = Trash(path, "kept safe");
  ASSERT_EQ(rmdir((mount_ + "/folder").c_str()), 0);
  // Use up every inode, so the folder cannot be made again.
  std::vector<std::string> fillers;
  for (int i = 0; i < 1000; ++i) {
    std::string filler = mount_ + "/filler" + std::to_string(i);
    int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) break;
    close(fd);
    fillers.push_back(filler);
  }
  ASSERT_FALSE(fillers.empty());

  uint32_t error = 0;
  EXPECT_EQ(Restore(entry, &error), TrashEntryStatus::kFailed);
  EXPECT_EQ(error, platform::error::kDiskFull);
  EXPECT_EQ(Find(entry), TrashEntryStatus::kInTrash);
  EXPECT_FALSE(Exists(mount_ + "/folder"));

  ASSERT_EQ(unlink(fillers.back().c_str()), 0);
  EXPECT_EQ(Restore(entry), TrashEntryStatus::kRestored);
  EXPECT_EQ(ReadBytes(path), "kept safe");
}

}  // namespace
