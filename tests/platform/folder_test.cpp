// Folders, listings and entry operations of the POSIX backend, on real temporary trees.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <linux/limits.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_system.h"
#include "platform/find.h"
#include "platform/platform.h"
#include "platform/posix/internal.h"
#include "platform/posix/look_ring.h"
#include "platform/stat_pool.h"

namespace platform {
namespace {

constexpr FileTime kTicksAtUnixEpoch = 116444736000000000ULL;

FileTime Ticks(int64_t seconds, int64_t nanoseconds) {
  return kTicksAtUnixEpoch + static_cast<FileTime>(seconds) * 10'000'000 + nanoseconds / 100;
}

int OpenDescriptorCount() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  while (readdir(dir) != nullptr) ++count;
  closedir(dir);
  return count;
}

// A fresh folder below $TMPDIR (or /tmp), removed with everything in it afterwards.
class FolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/sweepwell-folder-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }

  void TearDown() override {
    for (const std::string& path : mounts_) umount2(path.c_str(), MNT_DETACH);
    for (const std::string& path : immutable_) SetImmutable(path, false);
    std::system(("rm -rf '" + root_ + "'").c_str());
  }

  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

  void MakeFile(const std::string& relative, const std::string& content = "", mode_t mode = 0644) {
    const int fd = open(Path(relative).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    ASSERT_GE(fd, 0) << relative;
    ASSERT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(fd);
    ASSERT_EQ(chmod(Path(relative).c_str(), mode), 0);
  }

  void MakeFolder(const std::string& relative, mode_t mode = 0755) {
    ASSERT_EQ(mkdir(Path(relative).c_str(), 0755), 0) << relative;
    ASSERT_EQ(chmod(Path(relative).c_str(), mode), 0);
  }

  void MakeLink(const std::string& target, const std::string& relative) {
    ASSERT_EQ(symlink(target.c_str(), Path(relative).c_str()), 0) << relative;
  }

  bool Exists(const std::string& relative) const {
    struct stat st;
    return lstat(Path(relative).c_str(), &st) == 0;
  }

  mode_t Mode(const std::string& relative) const {
    struct stat st;
    EXPECT_EQ(lstat(Path(relative).c_str(), &st), 0) << relative;
    return st.st_mode & 07777;
  }

  Folder OpenRoot() {
    uint32_t code = 99;
    Folder folder = Folder::Open(root_, &code);
    EXPECT_EQ(code, error::kSuccess);
    EXPECT_TRUE(folder.IsOpen());
    return folder;
  }

  std::map<std::string, FindRecord> ListByName(const Folder& folder) {
    std::vector<FindRecord> records;
    EXPECT_EQ(ListFolder(folder, &records), error::kSuccess);
    std::map<std::string, FindRecord> by_name;
    for (const FindRecord& record : records) {
      EXPECT_TRUE(by_name.emplace(record.name, record).second) << "listed twice: " << record.name;
    }
    return by_name;
  }

  // chattr +i / -i. False when the file system or the user cannot do it.
  bool SetImmutable(const std::string& path, bool on) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    close(fd);
    if (done && on) immutable_.push_back(path);
    return done;
  }

  bool MountTmpfs(const std::string& path) {
    if (mount("sweepwell-test", path.c_str(), "tmpfs", 0, "size=1m") != 0) return false;
    mounts_.push_back(path);
    return true;
  }

  std::string root_;
  std::vector<std::string> immutable_;
  std::vector<std::string> mounts_;
};

// ---------------------------------------------------------------------------------------------
// Listing

TEST_F(FolderTest, ListsEveryKindOfEntryWithWindowsAttributes) {
  MakeFile("file.txt", "hello");
  MakeFolder("sub");
  MakeFile(".hidden", "x");
  MakeFile("readonly", "ro", 0444);
  MakeLink("sub", "link_to_folder");
  MakeLink("file.txt", "link_to_file");
  MakeLink("missing", "dangling");
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0644), 0);
  MakeFile("sparse");
  ASSERT_EQ(truncate(Path("sparse").c_str(), 1 << 20), 0);

  const Folder root = OpenRoot();
  const auto listed = ListByName(root);

  const std::map<std::string, uint32_t> expected = {
      {".", attr::kDirectory},
      {"..", attr::kDirectory},
      {"file.txt", attr::kArchive},
      {"sub", attr::kDirectory},
      {".hidden", attr::kArchive | attr::kHidden},
      {"readonly", attr::kArchive | attr::kReadOnly},
      {"link_to_folder", attr::kDirectory | attr::kReparsePoint},
      {"link_to_file", attr::kReparsePoint},
      {"dangling", attr::kReparsePoint},
      {"pipe", attr::kDevice},  // as FILE_ATTRIBUTE_DEVICE: no file to clean, never opened
      {"sparse", attr::kArchive | attr::kSparse},
  };
  ASSERT_EQ(listed.size(), expected.size());
  for (const auto& [name, attributes] : expected) {
    ASSERT_TRUE(listed.count(name)) << name;
    EXPECT_EQ(listed.at(name).attributes, attributes) << name;
  }
  EXPECT_EQ(listed.at("file.txt").size, 5u);
  EXPECT_EQ(listed.at("sparse").size, 1u << 20);
  EXPECT_EQ(listed.at("sub").size, 0u);
  EXPECT_EQ(listed.at("link_to_file").size, 0u);
}

TEST_F(FolderTest, GetEntryAttributesAgreesWithTheListing) {
  MakeFile("file.txt", "hello");
  MakeFolder("sub");
  MakeFile(".hidden", "x", 0400);
  MakeLink("sub", "link_to_folder");
  MakeLink("missing", "dangling");

  const Folder root = OpenRoot();
  for (const auto& [name, record] : ListByName(root)) {
    uint32_t attributes = 0;
    uint64_t size = 7;
    ASSERT_EQ(GetEntryAttributes(root, name, &attributes, &size), error::kSuccess) << name;
    EXPECT_EQ(attributes, record.attributes) << name;
    EXPECT_EQ(size, record.size) << name;
  }
  uint32_t attributes = 0;
  EXPECT_EQ(GetEntryAttributes(root, "nothing", &attributes, nullptr), error::kFileNotFound);
}

TEST_F(FolderTest, TimesAreTheEntrysOwnInFileTimeTicks) {
  MakeFile("file");
  MakeFile("target");
  MakeLink("target", "link");
  // 2001-02-03 04:05:06.789 UTC written, 2010-01-01 00:00:00.5 read.
  const timespec file_times[2] = {{1262304000, 500000000}, {981173106, 789000000}};
  ASSERT_EQ(utimensat(AT_FDCWD, Path("file").c_str(), file_times, 0), 0);
  const timespec link_times[2] = {{1000000000, 0}, {1100000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, Path("link").c_str(), link_times, AT_SYMLINK_NOFOLLOW), 0);

  const auto listed = ListByName(OpenRoot());
  const FindRecord& file = listed.at("file");
  EXPECT_EQ(file.last_write_time, Ticks(981173106, 789000000));
  EXPECT_EQ(file.last_access_time, Ticks(1262304000, 500000000));
  const FindRecord& link = listed.at("link");
  EXPECT_EQ(link.last_write_time, Ticks(1100000000, 0));
  EXPECT_EQ(link.last_access_time, Ticks(1000000000, 0));

  // Birth time where the file system keeps one, else the last write: never later than now.
  struct statx st;
  ASSERT_EQ(statx(AT_FDCWD, Path("file").c_str(), 0, STATX_BTIME | STATX_MTIME, &st), 0);
  const FileTime expected_creation = (st.stx_mask & STATX_BTIME)
                                         ? Ticks(st.stx_btime.tv_sec, st.stx_btime.tv_nsec)
                                         : file.last_write_time;
  EXPECT_EQ(file.creation_time, expected_creation);
  EXPECT_LE(file.creation_time, GetSystemTimeAsFileTime());
}

TEST_F(FolderTest, ListingGetsEveryEntryOfALargeFolderAndStartsOverWhenRepeated) {
  // Long names make the folder span many reads of the entry buffer.
  const std::string padding(180, 'n');
  constexpr int kCount = 1500;
  for (int i = 0; i < kCount; ++i) MakeFile(padding + std::to_string(i));

  const Folder root = OpenRoot();
  std::vector<FindRecord> first, second;
  ASSERT_EQ(ListFolder(root, &first), error::kSuccess);
  ASSERT_EQ(ListFolder(root, &second), error::kSuccess);
  EXPECT_EQ(first.size(), kCount + 2u);
  ASSERT_EQ(second.size(), first.size());
  for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(first[i].name, second[i].name);
}

// The walks that delete list names and kinds, then describe only the files they act on: the
// records come out as a full listing gives them.
TEST_F(FolderTest, NamesListingDescribedLaterAgreesWithTheFullListing) {
  MakeFile("file.txt", "hello");
  MakeFolder("sub");
  MakeFile(".hidden", "x", 0400);
  MakeLink("sub", "link_to_folder");
  MakeLink("missing", "dangling");
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0644), 0);
  MakeFile("goes");

  const Folder root = OpenRoot();
  const auto full = ListByName(root);
  FileSystem& files = RealFileSystem();
  std::vector<FindRecord> records;
  bool described = true;
  ASSERT_EQ(files.ListFolderNames(root, &records, &described), error::kSuccess);
  EXPECT_FALSE(described);
  ASSERT_EQ(records.size(), full.size());
  ASSERT_EQ(unlink(Path("goes").c_str()), 0);  // gone between the listing and the look
  std::vector<FindRecord*> pointers;
  for (FindRecord& record : records) pointers.push_back(&record);
  std::vector<uint32_t> codes(pointers.size(), 99);
  files.DescribeEntries(root, pointers, codes.data());
  for (size_t i = 0; i < records.size(); ++i) {
    const FindRecord& record = records[i];
    if (record.name == "goes") {
      EXPECT_EQ(codes[i], error::kFileNotFound);
      continue;
    }
    EXPECT_EQ(codes[i], error::kSuccess) << record.name;
    EXPECT_EQ(record.attributes, full.at(record.name).attributes) << record.name;
    EXPECT_EQ(record.size, full.at(record.name).size) << record.name;
    // (The folder itself changed when "goes" went.)
    if (record.name != ".") {
      EXPECT_EQ(record.last_write_time, full.at(record.name).last_write_time) << record.name;
    }
  }
}

// While a walk holds a stat pool, its listings and batches look at their entries through the
// pool's ring, a few hundred per system call: every record must come out as the calls of their
// own make it, for more entries than one submission holds, kinds of every sort among them.
TEST_F(FolderTest, ListingsThroughTheWalksRingAgreeWithOneCallEach) {
  constexpr size_t kFiles = 2 * posix::LookRing::kDepth + 40;
  for (size_t i = 0; i < kFiles; ++i) {
    MakeFile("f" + std::to_string(i), std::string(i % 300, 'x'), i % 5 == 0 ? 0444 : 0644);
  }
  MakeFolder("sub");
  MakeLink("sub", "link_to_folder");
  MakeLink("missing", "dangling");
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0644), 0);
  const Folder root = OpenRoot();

  posix::AllowLookRings(false);
  std::map<std::string, FindRecord> own_calls;
  {
    StatPool pool;
    own_calls = ListByName(root);
  }
  posix::AllowLookRings(true);
  StatPool pool;
  const auto through_ring = ListByName(root);
  ASSERT_EQ(through_ring.size(), own_calls.size());
  for (const auto& [name, record] : own_calls) {
    // ".." is the temporary folder the tests running beside this one change meanwhile.
    if (name == "..") continue;
    const FindRecord& other = through_ring.at(name);
    EXPECT_EQ(other.attributes, record.attributes) << name;
    EXPECT_EQ(other.size, record.size) << name;
    EXPECT_EQ(other.last_write_time, record.last_write_time) << name;
    EXPECT_EQ(other.creation_time, record.creation_time) << name;
  }

  // A batch with names gone since the listing: those say so, the others are described.
  FileSystem& files = RealFileSystem();
  std::vector<FindRecord> records;
  bool described = true;
  ASSERT_EQ(files.ListFolderNames(root, &records, &described), error::kSuccess);
  for (size_t i = 0; i < kFiles; i += 7)
    ASSERT_EQ(unlink(Path("f" + std::to_string(i)).c_str()), 0);
  std::vector<FindRecord*> pointers;
  for (FindRecord& record : records) pointers.push_back(&record);
  std::vector<uint32_t> codes(pointers.size(), 99);
  files.DescribeEntries(root, pointers, codes.data());
  for (size_t i = 0; i < records.size(); ++i) {
    const std::string& name = records[i].name;
    if (name[0] == 'f' && std::stoul(name.substr(1)) % 7 == 0) {
      EXPECT_EQ(codes[i], error::kFileNotFound) << name;
    } else {
      EXPECT_EQ(codes[i], error::kSuccess) << name;
      EXPECT_EQ(records[i].size, own_calls.at(name).size) << name;
      EXPECT_EQ(records[i].attributes, own_calls.at(name).attributes) << name;
    }
  }
}

// The deferred looks of a search: a thread keeps its buffers from one batch to the next, so a
// small batch after a large one must still describe only its own entries, and store nothing
// for an entry that went, or became a folder, since it was listed. Both with the ring and with
// one call per entry.
TEST_F(FolderTest, SuccessiveDeferredBatchesOnOneThreadDescribeOnlyTheirOwnEntries) {
  struct Seen {
    FindRecord record;
    int stores = 0;
  };
  const auto store = [](void* destination, const FindRecord& looked) {
    Seen& seen = *static_cast<Seen*>(destination);
    seen.record = looked;
    ++seen.stores;
  };
  // Batch of the deferred entries of `found`, each stored into its own Seen.
  const auto batch_of = [&](const FindResult& found, std::map<std::string, Seen>* seen) {
    DeferredLooks batch;
    batch.source = found.deferred;
    batch.store = store;
    for (const FindRecord& entry : found.entries) {
      if (!entry.look_deferred) continue;
      auto it = seen->emplace(entry.name, Seen{}).first;
      batch.looks.push_back({it->first.c_str(), &it->second});
    }
    return batch;
  };
  constexpr size_t kLarge = posix::LookRing::kDepth + 44;
  // What the file system decides (a fresh small file may not have its blocks yet).
  constexpr uint32_t kMayVary = attr::kSparse | attr::kCompressed;
  MakeFolder("large");
  for (size_t i = 0; i < kLarge; ++i) MakeFile("large/f" + std::to_string(i), std::string(i, 'x'));
  FindOptions options;
  options.defer_looks = true;
  for (const bool ring : {false, true}) {
    SCOPED_TRACE(ring ? "through the ring" : "one call each");
    MakeFolder("small");
    MakeFile("small/kept", "abc", 0444);
    MakeFile("small/gone", "12345");
    MakeFile("small/becomes_folder", "1");
    posix::AllowLookRings(ring);
    StatPool pool;  // the ring of this thread lives while a pool does
    FindResult large, small;
    ASSERT_EQ(FindEntries(RealFileSystem(), Path("large/*"), &large, options), error::kSuccess);
    ASSERT_EQ(FindEntries(RealFileSystem(), Path("small/*"), &small, options), error::kSuccess);
    ASSERT_EQ(unlink(Path("small/gone").c_str()), 0);
    ASSERT_EQ(unlink(Path("small/becomes_folder").c_str()), 0);
    MakeFolder("small/becomes_folder");

    std::map<std::string, Seen> large_seen, small_seen;
    LookAtEntries(batch_of(large, &large_seen));
    LookAtEntries(batch_of(small, &small_seen));
    ASSERT_EQ(large_seen.size(), kLarge);
    for (const auto& [name, seen] : large_seen) {
      EXPECT_EQ(seen.stores, 1) << name;
      EXPECT_EQ(seen.record.size, std::stoul(name.substr(1))) << name;
      EXPECT_EQ(seen.record.attributes & ~kMayVary, attr::kArchive) << name;
    }
    ASSERT_EQ(small_seen.size(), 3u);
    EXPECT_EQ(small_seen["kept"].stores, 1);
    EXPECT_EQ(small_seen["kept"].record.size, 3u);
    EXPECT_EQ(small_seen["kept"].record.attributes & ~kMayVary, attr::kArchive | attr::kReadOnly);
    EXPECT_TRUE(small_seen["kept"].record.name.empty());
    EXPECT_EQ(small_seen["gone"].stores, 0);
    EXPECT_EQ(small_seen["becomes_folder"].stores, 0);
    std::system(("rm -rf '" + Path("small") + "'").c_str());
  }
  posix::AllowLookRings(true);
}

// A child forked while the parent's walk holds the ring must not submit to the parent's ring
// (the two would take each other's answers): it lists through a ring of its own, or none.
TEST_F(FolderTest, AChildForkedDuringAWalkListsOnItsOwn) {
  constexpr size_t kFiles = 500;
  for (size_t i = 0; i < kFiles; ++i) MakeFile("f" + std::to_string(i), std::string(i % 97, 'y'));
  const Folder root = OpenRoot();
  StatPool pool;
  const auto before = ListByName(root);  // the parent's ring is open from here on
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int wrong = 0;
    for (int round = 0; round < 20; ++round) {
      std::vector<FindRecord> records;
      if (ListFolder(root, &records) != error::kSuccess) _exit(2);
      for (const FindRecord& record : records) {
        if (record.name[0] == 'f' && record.size != std::stoul(record.name.substr(1)) % 97) {
          ++wrong;
        }
      }
    }
    _exit(wrong == 0 ? 0 : 1);
  }
  for (int round = 0; round < 20; ++round) {
    const auto again = ListByName(root);
    ASSERT_EQ(again.size(), before.size());
    for (const auto& [name, record] : again) EXPECT_EQ(record.size, before.at(name).size) << name;
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Two threads listing one Folder at once, each by both listings the walks use, each get every
// entry exactly once: a listing's place in the folder is its own, not the Folder's.
TEST_F(FolderTest, ListingsOfOneFolderOnTwoThreadsDoNotMoveEachOthersPlace) {
  constexpr size_t kFiles = 3000;  // more than one read of the folder takes
  for (size_t i = 0; i < kFiles; ++i) MakeFile("f" + std::to_string(i));
  const Folder root = OpenRoot();
  auto list = [&root](bool names_only, int* wrong) {
    for (int round = 0; round < 30; ++round) {
      std::vector<FindRecord> records;
      bool described = false;
      const uint32_t code = names_only ? posix::ListFolderNames(root, &records, &described)
                                       : ListFolder(root, &records);
      std::map<std::string, int> seen;
      for (const FindRecord& record : records) ++seen[record.name];
      bool once = true;
      for (const auto& [name, count] : seen) once = once && count == 1;
      if (code != error::kSuccess || records.size() != kFiles + 2 || !once) ++*wrong;
    }
  };
  int wrong_a = 0, wrong_b = 0;
  std::thread other(list, true, &wrong_b);
  list(false, &wrong_a);
  other.join();
  EXPECT_EQ(wrong_a, 0);
  EXPECT_EQ(wrong_b, 0);
}

// A batch of deletions goes in order and stops at the first refusal.
TEST_F(FolderTest, BatchDeletionsGoInOrderAndStopAtTheFirstRefusal) {
  FileSystem& files = RealFileSystem();
  {
    std::vector<FindRecord> records(60);
    for (size_t i = 0; i < records.size(); ++i) {
      records[i].name = "f" + std::to_string(i);
      if (i == 37) {
        MakeFolder(records[i].name);  // unlinkat refuses a folder
      } else {
        MakeFile(records[i].name, "x");
      }
    }
    std::vector<const FindRecord*> entries;
    for (const FindRecord& record : records) entries.push_back(&record);
    const Folder root = OpenRoot();
    uint32_t error = 99;
    EXPECT_EQ(files.DeleteEntryFiles(root, entries, &error), 37u);
    EXPECT_EQ(error, error::kAccessDenied);
    for (size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(Exists(records[i].name), i >= 37) << records[i].name;
    }
    // The rest, after the folder, and a name that is no entry of one folder stops a batch.
    ASSERT_EQ(rmdir(Path("f37").c_str()), 0);
    records[37].name = "f36/../f38";
    entries.erase(entries.begin(), entries.begin() + 38);
    entries.push_back(&records[37]);
    EXPECT_EQ(files.DeleteEntryFiles(root, entries, &error), 22u);
    EXPECT_EQ(error, error::kInvalidName);
    for (const FindRecord& record : records) EXPECT_FALSE(Exists(record.name)) << record.name;
  }
}

TEST_F(FolderTest, ListingAClosedFolderFails) {
  std::vector<FindRecord> records(3);
  EXPECT_EQ(ListFolder(Folder(), &records), error::kInvalidHandle);
  EXPECT_TRUE(records.empty());
}

// ---------------------------------------------------------------------------------------------
// Opening folders

TEST_F(FolderTest, OpenReportsMissingPathsAndFilesAsPathNotFound) {
  MakeFile("file");
  MakeFolder("sub");
  MakeLink("sub", "link");
  uint32_t code = 0;
  EXPECT_FALSE(Folder::Open(Path("missing"), &code).IsOpen());
  EXPECT_EQ(code, error::kPathNotFound);
  EXPECT_FALSE(Folder::Open(Path("file"), &code).IsOpen());
  EXPECT_EQ(code, error::kPathNotFound);
  EXPECT_FALSE(Folder::Open(Path("missing/deeper"), &code).IsOpen());
  EXPECT_EQ(code, error::kPathNotFound);

  const Folder root = OpenRoot();
  const Folder through_link = root.OpenEntry("link", &code);
  EXPECT_EQ(code, error::kSuccess);
  EXPECT_EQ(through_link.Id(), root.OpenEntry("sub", &code).Id());
  EXPECT_FALSE(root.OpenEntry("file", &code).IsOpen());
  EXPECT_EQ(code, error::kPathNotFound);
}

TEST_F(FolderTest, EntryNamesThatCannotBeOneEntryAreRefused) {
  MakeFolder("a");
  MakeFolder("a/b");
  const Folder root = OpenRoot();
  uint32_t code = 0;
  EXPECT_FALSE(root.OpenEntry("a/b", &code).IsOpen());
  EXPECT_EQ(code, error::kInvalidName);
  EXPECT_EQ(RemoveEntryDirectory(root, "a/b"), error::kInvalidName);
  EXPECT_TRUE(Exists("a/b"));
  EXPECT_EQ(DeleteEntryFile(root, std::string_view("a\0b", 3)), error::kInvalidName);
  EXPECT_EQ(DeleteEntryFile(root, std::string(NAME_MAX + 1, 'x')), error::kFilenameTooLong);
}

TEST_F(FolderTest, MovedFolderKeepsItsHandleAndTheSourceIsClosed) {
  Folder first = OpenRoot();
  const int handle = platform::posix::FdOf(first);
  Folder second = std::move(first);
  EXPECT_FALSE(first.IsOpen());
  EXPECT_EQ(platform::posix::FdOf(second), handle);
  first = std::move(second);
  EXPECT_EQ(platform::posix::FdOf(first), handle);
  first.Close();
  EXPECT_FALSE(first.IsOpen());
}

// A chain of folders deeper than PATH_MAX is reached, listed and removed level by level.
TEST_F(FolderTest, WalksAndRemovesAChainDeeperThanPathMax) {
  const std::string name(200, 'd');
  constexpr int kDepth = 25;
  static_assert(kDepth * 201 > PATH_MAX);

  std::vector<FolderId> ids;
  Folder current = OpenRoot();
  std::string long_path = root_;
  for (int level = 0; level < kDepth; ++level) {
    ids.push_back(current.Id());
    ASSERT_EQ(mkdirat(platform::posix::FdOf(current), name.c_str(), 0755), 0) << level;
    uint32_t code = 99;
    current = current.OpenEntry(name, &code);
    ASSERT_EQ(code, error::kSuccess) << level;
    long_path += "/" + name;
  }

  const int fd =
      openat(platform::posix::FdOf(current), "leaf", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  close(fd);
  auto listed = ListByName(current);
  EXPECT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed.at("leaf").attributes, attr::kArchive);

  // The by-path forms reach this deep too, one name at a time.
  uint32_t attributes = 0;
  EXPECT_EQ(GetFileAttributes(long_path + "/leaf", &attributes, nullptr), error::kSuccess);
  EXPECT_EQ(attributes, attr::kArchive);
  EXPECT_EQ(DeleteFile(long_path + "/leaf"), error::kSuccess);
  EXPECT_EQ(GetFileAttributes(long_path + "/leaf", &attributes, nullptr), error::kFileNotFound);
  EXPECT_EQ(GetFileAttributes(long_path + "/missing/leaf", &attributes, nullptr),
            error::kPathNotFound);

  uint32_t code = 0;
  EXPECT_FALSE(current.OpenEntryVerified("..", ids[0], &code).IsOpen());
  EXPECT_EQ(code, error::kPathNotFound);

  for (int level = kDepth - 1; level >= 0; --level) {
    Folder parent = current.OpenEntryVerified("..", ids[level], &code);
    ASSERT_EQ(code, error::kSuccess) << level;
    ASSERT_TRUE(parent.IsOpen());
    current.Close();
    ASSERT_EQ(RemoveEntryDirectory(parent, name), error::kSuccess) << level;
    current = std::move(parent);
  }
  EXPECT_EQ(current.Id(), OpenRoot().Id());
  EXPECT_FALSE(Exists(name));
}

// ---------------------------------------------------------------------------------------------
// Removing and changing entries

TEST_F(FolderTest, RemovingALinkToAFolderLeavesTheTargetAlone) {
  MakeFolder("target");
  MakeFile("target/keep", "data");
  MakeLink("target", "junction");
  MakeLink(Path("target"), "absolute_junction");
  const Folder root = OpenRoot();

  EXPECT_EQ(RemoveEntryDirectory(root, "junction"), error::kSuccess);
  EXPECT_EQ(RemoveDirectory(Path("absolute_junction/")), error::kSuccess);
  EXPECT_FALSE(Exists("junction"));
  EXPECT_FALSE(Exists("absolute_junction"));
  EXPECT_TRUE(Exists("target/keep"));
}

TEST_F(FolderTest, RemoveDirectoryReportsWhyAFolderStays) {
  MakeFolder("full");
  MakeFile("full/file");
  MakeFile("file");
  const Folder root = OpenRoot();

  EXPECT_EQ(RemoveEntryDirectory(root, "full"), error::kDirNotEmpty);
  EXPECT_EQ(RemoveDirectory(Path("full")), error::kDirNotEmpty);
  EXPECT_TRUE(Exists("full/file"));
  EXPECT_EQ(RemoveEntryDirectory(root, "missing"), error::kFileNotFound);
  EXPECT_EQ(RemoveDirectory(Path("missing/deeper")), error::kPathNotFound);
  EXPECT_EQ(RemoveEntryDirectory(root, "file"), error::kPathNotFound);
  EXPECT_TRUE(Exists("file"));

  MakeFolder("empty");
  EXPECT_EQ(RemoveDirectory(Path("empty")), error::kSuccess);
  EXPECT_FALSE(Exists("empty"));
}

TEST_F(FolderTest, DeleteFileRemovesFilesAndLinksButNoFolder) {
  MakeFile("file");
  MakeFile("target", "keep");
  MakeLink("target", "link");
  MakeFolder("sub");
  MakeLink("sub", "link_to_folder");
  const Folder root = OpenRoot();

  EXPECT_EQ(DeleteEntryFile(root, "file"), error::kSuccess);
  EXPECT_EQ(DeleteFile(Path("link")), error::kSuccess);
  EXPECT_EQ(DeleteEntryFile(root, "link_to_folder"), error::kSuccess);
  EXPECT_FALSE(Exists("file"));
  EXPECT_FALSE(Exists("link"));
  EXPECT_FALSE(Exists("link_to_folder"));
  EXPECT_TRUE(Exists("target"));

  EXPECT_EQ(DeleteEntryFile(root, "sub"), error::kAccessDenied);
  EXPECT_TRUE(Exists("sub"));
  EXPECT_EQ(DeleteEntryFile(root, "file"), error::kFileNotFound);
  EXPECT_EQ(DeleteFile(Path("missing/file")), error::kPathNotFound);
  EXPECT_EQ(DeleteFile(Path("target/file")), error::kPathNotFound);
}

TEST_F(FolderTest, SetAttributesNormalGivesTheOwnerWriteBitBackAndLeavesLinksAlone) {
  MakeFile("readonly", "", 0444);
  MakeFile("private", "", 0400);
  MakeFolder("locked", 0555);
  MakeFile("target", "", 0444);
  MakeLink("target", "link");
  const Folder root = OpenRoot();

  EXPECT_EQ(SetEntryAttributesNormal(root, "readonly"), error::kSuccess);
  EXPECT_EQ(Mode("readonly"), 0644u);
  EXPECT_EQ(SetFileAttributesNormal(Path("private")), error::kSuccess);
  EXPECT_EQ(Mode("private"), 0600u);
  EXPECT_EQ(SetEntryAttributesNormal(root, "locked"), error::kSuccess);
  EXPECT_EQ(Mode("locked"), 0755u);
  EXPECT_EQ(SetEntryAttributesNormal(root, "link"), error::kSuccess);
  EXPECT_EQ(Mode("target"), 0444u);

  uint32_t attributes = 0;
  ASSERT_EQ(GetEntryAttributes(root, "readonly", &attributes, nullptr), error::kSuccess);
  EXPECT_EQ(attributes, attr::kArchive);
  EXPECT_EQ(SetEntryAttributesNormal(root, "missing"), error::kFileNotFound);
}

TEST_F(FolderTest, ImmutableFileCannotBeDeletedOrChanged) {
  if (geteuid() != 0) GTEST_SKIP() << "making a file immutable needs root";
  MakeFile("stuck", "data", 0444);
  if (!SetImmutable(Path("stuck"), true)) {
    GTEST_SKIP() << "this file system cannot make a file immutable";
  }
  const Folder root = OpenRoot();
  EXPECT_EQ(SetEntryAttributesNormal(root, "stuck"), error::kAccessDenied);
  EXPECT_EQ(DeleteEntryFile(root, "stuck"), error::kAccessDenied);
  EXPECT_EQ(DeleteFile(Path("stuck")), error::kAccessDenied);
  EXPECT_TRUE(Exists("stuck"));
  EXPECT_EQ(Mode("stuck"), 0444u);
}

TEST_F(FolderTest, MountPointIsAJunctionThatCannotBeRemoved) {
  MakeFolder("mnt");
  if (!MountTmpfs(Path("mnt"))) {
    GTEST_SKIP() << "mount -t tmpfs is not allowed here; mount points are not tested";
  }
  MakeFile("mnt/inside");
  const Folder root = OpenRoot();
  EXPECT_EQ(ListByName(root).at("mnt").attributes, attr::kDirectory | attr::kReparsePoint);
  uint32_t attributes = 0;
  EXPECT_EQ(GetFileAttributes(Path("mnt"), &attributes, nullptr), error::kSuccess);
  EXPECT_EQ(attributes, attr::kDirectory | attr::kReparsePoint);

  // Inside the mount its own entries are plain, and "." is not called a junction.
  uint32_t code = 0;
  const Folder inner = root.OpenEntry("mnt", &code);
  const auto listed = ListByName(inner);
  EXPECT_EQ(listed.at(".").attributes, attr::kDirectory);
  EXPECT_EQ(listed.at("inside").attributes, attr::kArchive);

  EXPECT_EQ(RemoveEntryDirectory(root, "mnt"), error::kSharingViolation);
  EXPECT_TRUE(Exists("mnt/inside"));
}

// ---------------------------------------------------------------------------------------------
// Emptiness, creation and paths

TEST_F(FolderTest, FolderIsEmptyWhenItHoldsOnlyDotAndDotDot) {
  MakeFolder("empty");
  MakeFolder("hidden_inside");
  MakeFile("hidden_inside/.x");
  MakeFile("file");
  MakeLink("empty", "link_to_empty");
  const Folder root = OpenRoot();

  bool empty = false;
  EXPECT_EQ(IsEntryFolderEmpty(root, "empty", &empty), error::kSuccess);
  EXPECT_TRUE(empty);
  EXPECT_EQ(IsFolderEmpty(Path("link_to_empty"), &empty), error::kSuccess);
  EXPECT_TRUE(empty);
  EXPECT_EQ(IsFolderEmpty(Path("hidden_inside"), &empty), error::kSuccess);
  EXPECT_FALSE(empty);
  empty = true;
  EXPECT_EQ(IsEntryFolderEmpty(root, "file", &empty), error::kPathNotFound);
  EXPECT_FALSE(empty);
  EXPECT_EQ(IsFolderEmpty(Path("missing"), &empty), error::kPathNotFound);
}

TEST_F(FolderTest, CreateDirectoryMakesOneLevel) {
  EXPECT_EQ(CreateDirectory(Path("new")), error::kSuccess);
  EXPECT_EQ(ListByName(OpenRoot()).at("new").attributes, attr::kDirectory);
  EXPECT_EQ(CreateDirectory(Path("new")), error::kAlreadyExists);
  EXPECT_EQ(CreateDirectory(Path("a/b")), error::kPathNotFound);
  EXPECT_FALSE(Exists("a"));
}

TEST_F(FolderTest, ByPathOperationsIgnoreTrailingSeparatorsAndWorkRelativeToTheCurrentFolder) {
  MakeFolder("sub");
  MakeFile("sub/.conf", "abc");
  uint32_t attributes = 0;
  uint64_t size = 0;
  EXPECT_EQ(GetFileAttributes(Path("sub//"), &attributes, &size), error::kSuccess);
  EXPECT_EQ(attributes, attr::kDirectory);
  EXPECT_EQ(GetFileAttributes("/", &attributes, &size), error::kSuccess);
  EXPECT_EQ(attributes, attr::kDirectory);

  char* saved = getcwd(nullptr, 0);
  ASSERT_NE(saved, nullptr);
  ASSERT_EQ(chdir(Path("sub").c_str()), 0);
  EXPECT_EQ(GetFileAttributes(".conf", &attributes, &size), error::kSuccess);
  EXPECT_EQ(attributes, attr::kArchive | attr::kHidden);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(GetFileAttributes(".", &attributes, &size), error::kSuccess);
  EXPECT_EQ(attributes, attr::kDirectory);
  EXPECT_EQ(AbsolutePath("x/../y"), Path("sub") + "/x/../y");
  EXPECT_EQ(AbsolutePath("/abs/path"), "/abs/path");
  EXPECT_EQ(chdir(saved), 0);
  std::free(saved);

  EXPECT_EQ(GetFileAttributes("", &attributes, &size), error::kPathNotFound);
}

TEST(SplitParentTest, CutsBeforeTheLastComponent) {
  using posix::SplitParent;
  struct Case {
    std::string path, parent, name;
  };
  const Case cases[] = {
      {"/a/b/c", "/a/b", "c"}, {"/a/b/c///", "/a/b", "c"}, {"a//b", "a", "b"},
      {"name", ".", "name"},   {"name/", ".", "name"},     {"/top", "/", "top"},
      {"/", "/", "."},         {"///", "/", "."},          {".", ".", "."},
      {"a/..", "a", ".."},
  };
  for (const Case& c : cases) {
    const posix::ParentAndName parts = SplitParent(c.path);
    EXPECT_EQ(parts.parent, c.parent) << c.path;
    EXPECT_EQ(parts.name, c.name) << c.path;
  }
}

// ---------------------------------------------------------------------------------------------
// Descriptors

TEST_F(FolderTest, NoOperationLeavesADescriptorOpen) {
  MakeFolder("sub");
  MakeFolder("full");
  MakeFile("full/file");
  MakeFile("file", "x", 0444);
  MakeLink("sub", "link");
  const int before = OpenDescriptorCount();
  ASSERT_GT(before, 0);
  {
    uint32_t code = 0;
    uint32_t attributes = 0;
    bool empty = false;
    std::vector<FindRecord> records;
    Folder root = Folder::Open(root_, &code);
    ListFolder(root, &records);
    Folder sub = root.OpenEntry("sub", &code);
    Folder wrong = root.OpenEntryVerified("sub", root.Id(), &code);
    Folder missing = root.OpenEntry("missing", &code);
    Folder::Open(Path("file"), &code);
    GetFileAttributes(Path("file"), &attributes, nullptr);
    GetFileAttributes(Path("missing/x"), &attributes, nullptr);
    SetFileAttributesNormal(Path("file"));
    IsFolderEmpty(Path("full"), &empty);
    IsFolderEmpty(Path("file"), &empty);
    RemoveDirectory(Path("full"));
    RemoveDirectory(Path("link"));
    DeleteFile(Path("full/file"));
    DeleteFile(Path("sub"));
    sub = std::move(root);
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

}  // namespace
}  // namespace platform
