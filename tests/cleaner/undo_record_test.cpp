// The undo record: what a run writes down as it trashes, how it reads back (damage included),
// and the undo command line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "cleaner/Undo.h"
#include "cleaner/UndoRecord.h"
#include "cleaner/temp_folder.h"
#include "common/memory_file_system.h"

namespace sweepwell {
namespace {

using testing::TempFolder;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

platform::TrashedEntry Entry(const std::string& name) {
  return {"/data/Trash", name, "/work/" + name, "2026-12-07T10:00:00"};
}

// One move as COutput makes it: announced entries, then the outcome.
void Move(UndoRecord& record, const std::vector<std::string>& announced, bool moved) {
  platform::TrashMove move;
  record.WatchMove(&move);
  for (const std::string& name : announced) move.before_move(Entry(name));
  record.MoveFinished(moved);
}

TEST(UndoRecordFields, EveryByteSurvivesAndAFieldStaysOneField) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  std::string encoded = EncodeRecordField(all);
  EXPECT_EQ(encoded.find_first_of("\t\n\r"), std::string::npos);
  std::string decoded;
  ASSERT_TRUE(DecodeRecordField(encoded, &decoded));
  EXPECT_EQ(decoded, all);
  EXPECT_EQ(EncodeRecordField("/home/я/a b.txt"), "/home/я/a b.txt");  // readable where it can be
  for (const char* damaged : {"%", "%4", "a%zz", "%g0"}) {
    EXPECT_FALSE(DecodeRecordField(damaged, &decoded)) << damaged;
  }
}

TEST(UndoRecordWriter, NothingIsMadeBeforeTheFirstTrashedEntry) {
  TempFolder temp;
  {
    UndoRecord record(platform::RealFileSystem(), temp / "Undo", "script.loom",
                      platform::GetLocalTime());
    Move(record, {}, false);  // a move that failed before it named an entry
    EXPECT_TRUE(record.Path().empty());
  }
  EXPECT_TRUE(ListUndoRecords(platform::RealFileSystem(), temp / "Undo").empty());
  EXPECT_NE(access((temp / "Undo").c_str(), F_OK), 0);
}

TEST(UndoRecordWriter, EntriesAreWrittenAsTheyGoAndOnlyTheMovedOnesStand) {
  TempFolder temp;
  platform::SystemTime started{2026, 12, 1, 7, 9, 5, 3, 0};
  UndoRecord record(platform::RealFileSystem(), temp / "Undo", "/scripts/clean.loom", started);
  Move(record, {"a"}, true);
  Move(record, {"b", "b.2"}, true);  // the first name was taken in between
  Move(record, {"c"}, false);        // announced, then the move failed
  Move(record, {"d"}, true);

  // Readable while the run still holds it, and locked against an undo meanwhile.
  ASSERT_FALSE(record.Path().empty());
  int fd = open(record.Path().c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);
  close(fd);

  UndoRun run;
  ASSERT_TRUE(ParseUndoRecord(ReadText(record.Path()), &run));
  EXPECT_EQ(run.started, "2026-12-07T09:05:03");
  EXPECT_EQ(run.script, "/scripts/clean.loom");
  std::vector<std::string> standing;
  for (const UndoEntry& entry : run.entries) {
    if (!entry.failed) standing.push_back(entry.trashed.name);
  }
  EXPECT_EQ(standing, (std::vector<std::string>{"a", "b.2", "d"}));
  EXPECT_EQ(run.entries[0].trashed.original_path, "/work/a");
  EXPECT_EQ(run.damaged_lines, 0);
  const std::string id = ListUndoRecords(platform::RealFileSystem(), temp / "Undo").at(0);
  EXPECT_TRUE(id.starts_with("2026-12-07_09-05-03_")) << id;
  EXPECT_EQ(UndoRecordPath(temp / "Undo", id), record.Path());
}

TEST(UndoRecordReader, DamageIsCountedAndACutLastLineIgnored) {
  const std::string header = "Sweepwell undo record 1\nstarted\t2026-12-07T10:00:00\nscript\t/s\n";
  const std::string entry = "trash\tD\t/data/Trash\tx%0Ay\t/w/x%0Ay\n";
  UndoRun run;
  ASSERT_TRUE(ParseUndoRecord(header + entry + entry + "restored\t2\tD\nfailed\t9\nbogus\n" +
                                  "undone\tD\ntrash\tD\t/data/Trash\tcut",
                              &run));
  ASSERT_EQ(run.entries.size(), 2u);
  EXPECT_EQ(run.entries[0].trashed.name, "x\ny");
  EXPECT_FALSE(run.entries[0].restored);
  EXPECT_TRUE(run.entries[1].restored);
  EXPECT_EQ(run.damaged_lines, 2);  // "failed" of an entry that does not exist, and "bogus"
  EXPECT_TRUE(run.undone);

  for (const std::string& text :
       {std::string(), std::string("garbage\n"), header.substr(0, header.size() - 1),
        std::string("Sweepwell undo record 2\n")}) {
    EXPECT_FALSE(ParseUndoRecord(text, &run)) << text;
  }
}

TEST(UndoRecordWriter, EachFolderOnTheWayIsWrittenOnceBeforeItsFirstEntry) {
  TempFolder temp;
  const std::string tree = temp / "tree";
  ASSERT_EQ(mkdir(tree.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((tree + "/sticky").c_str(), 0700), 0);
  ASSERT_EQ(chmod((tree + "/sticky").c_str(), 01777), 0);
  ASSERT_EQ(symlink("sticky", (tree + "/via").c_str()), 0);
  UndoRecord record(platform::RealFileSystem(), temp / "Undo", "s.loom", platform::GetLocalTime());
  for (const char* name : {"/sticky/a", "/sticky/b", "/via/c"}) {
    platform::TrashMove move;
    record.WatchMove(&move);
    move.before_move({"/data/Trash", "x", tree + name, "2026-12-07T10:00:00"});
    EXPECT_FALSE(move.refused);
    record.MoveFinished(true);
  }
  const std::string text = ReadText(record.Path());
  UndoRun run;
  ASSERT_TRUE(ParseUndoRecord(text, &run));
  EXPECT_EQ(run.damaged_lines, 0);
  const std::string folder_line = "folder\t" + tree + "/sticky\t1777\t" + std::to_string(getuid()) +
                                  "\t" + std::to_string(getgid());
  EXPECT_EQ(text.find(folder_line), text.rfind(folder_line)) << text;
  EXPECT_LT(text.find(folder_line), text.find("\ntrash\t"));
  ASSERT_EQ(run.folders.count(tree + "/sticky"), 1u);
  EXPECT_EQ(run.folders[tree + "/sticky"].mode, 01777u);
  ASSERT_EQ(run.folders.count(tree + "/via"), 1u);
  EXPECT_EQ(run.folders[tree + "/via"].link, "sticky");
}

TEST(UndoRecordWriter, ARecordThatCannotBeMadeRefusesEveryMove) {
  TempFolder temp;
  std::ofstream(temp / "Undo") << "a file where the folder goes";
  UndoRecord record(platform::RealFileSystem(), temp / "Undo", "s.loom", platform::GetLocalTime());
  platform::TrashMove move;
  record.WatchMove(&move);
  move.before_move(Entry("a"));
  EXPECT_TRUE(move.refused);
  EXPECT_TRUE(record.Failed());
}

// The record's volume in memory: made locked, and a volume that is full or read-only keeps the
// run from trashing unrecorded, with the reason said once.
class MemoryUndoRecord : public ::testing::Test {
 protected:
  static constexpr char kFolder[] = "/data/Undo";

  void SetUp() override { disk.AddFolder("/data"); }

  // One entry announced and the move's outcome; the move's refusal.
  bool Refused(UndoRecord& record, const std::string& name) {
    platform::TrashMove move;
    record.WatchMove(&move);
    move.before_move(Entry(name));
    record.MoveFinished(!move.refused);
    return move.refused;
  }

  orvanel::testing::MemoryFileSystem disk;
};

TEST_F(MemoryUndoRecord, IsMadeOnItsFileSystemAlreadyLockedAndNeverTakesAName) {
  const platform::SystemTime started{2026, 12, 1, 7, 9, 5, 3, 0};
  UndoRecord first(disk, kFolder, "/s.loom", started);
  EXPECT_FALSE(Refused(first, "a"));
  ASSERT_FALSE(first.Path().empty());
  // Held from its first line on: no other holder can lock it.
  platform::File other;
  ASSERT_EQ(
      platform::OpenFileByPath(disk, first.Path(), platform::FileOpening::kAppendExisting, &other),
      platform::error::kSuccess);
  bool locked = true;
  ASSERT_EQ(other.TryLock(&locked), platform::error::kSuccess);
  EXPECT_FALSE(locked);
  // A second run of the same second and process takes the next name.
  UndoRecord second(disk, kFolder, "/s.loom", started);
  EXPECT_FALSE(Refused(second, "b"));
  EXPECT_NE(second.Path(), first.Path());
  EXPECT_EQ(disk.List(kFolder).size(), 2u);
  UndoRun run;
  ASSERT_TRUE(ParseUndoRecord(disk.Contents(first.Path()), &run));
  ASSERT_EQ(run.entries.size(), 1u);
  EXPECT_EQ(run.entries[0].trashed.name, "a");
}

TEST_F(MemoryUndoRecord, AFullOrReadOnlyVolumeRefusesTheMoveAndSaysWhy) {
  struct Case {
    const char* what;
    std::function<void(orvanel::testing::MemoryFileSystem&)> set;
    const char* said;
  };
  const std::vector<Case> cases = {
      // No room for the folder of the records.
      {"no room", [](auto& d) { d.SetFreeBytes(0); }, "не сохранена"},
      // The folder is there; the first line does not fit.
      {"full at the header",
       [](auto& d) {
         d.AddFolder(kFolder);
         d.SetFreeBytes(10);
       },
       "диск заполнен"},
      {"read-only",
       [](auto& d) {
         d.AddFolder(kFolder);
         d.SetReadOnly(true);
       },
       "только для чтения"},
  };
  for (const Case& c : cases) {
    orvanel::testing::MemoryFileSystem volume;
    volume.AddFolder("/data");
    c.set(volume);
    ::testing::internal::CaptureStderr();
    {
      UndoRecord record(volume, kFolder, "/s.loom", platform::GetLocalTime());
      EXPECT_TRUE(Refused(record, "a")) << c.what;
      EXPECT_TRUE(Refused(record, "b")) << c.what;  // and every move after it
      EXPECT_TRUE(record.Failed()) << c.what;
    }
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(c.said), std::string::npos) << c.what << ": " << said;
    EXPECT_EQ(said.find("не сохранена"), said.rfind("не сохранена")) << c.what << ": " << said;
  }
}

// A line that does not fit once the record is made refuses that entry's move (and every one
// after it): the entry stays where it was, so nothing is in the trash without its line.
TEST_F(MemoryUndoRecord, ALineThatDoesNotFitRefusesItsMove) {
  disk.AddFolder(kFolder);
  ::testing::internal::CaptureStderr();
  UndoRecord record(disk, kFolder, "/s.loom", platform::GetLocalTime());
  EXPECT_FALSE(Refused(record, "a"));
  disk.SetFreeBytes(5);
  EXPECT_TRUE(Refused(record, "b"));
  EXPECT_TRUE(Refused(record, "c"));
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("диск заполнен"), std::string::npos);
  UndoRun run;
  ASSERT_TRUE(ParseUndoRecord(disk.Contents(record.Path()), &run));
  ASSERT_FALSE(run.entries.empty());
  EXPECT_EQ(run.entries[0].trashed.name, "a");
  EXPECT_FALSE(run.entries[0].failed);
}

TEST(UndoRecordReader, FolderAndLinkLinesAndTheirDamage) {
  const std::string header = "Sweepwell undo record 1\nstarted\t2026-12-07T10:00:00\nscript\t/s\n";
  UndoRun run;
  ASSERT_TRUE(ParseUndoRecord(header + "folder\t/w/a%09b\t2755\t1000\t100\n" +
                                  "folder\t/w/a%09b\t700\t0\t0\n" +  // the first one stands
                                  "link\t/home\tvar/home\t0\n" +
                                  "folder\t/w/x\t9\t0\t0\n" +      // no octal number
                                  "folder\t/w/y\t17777\t0\t0\n" +  // more than mode bits
                                  "folder\t/w/z\t755\t-1\t0\n" + "link\t/l\t\t0\n",
                              &run));
  EXPECT_EQ(run.damaged_lines, 4);
  ASSERT_EQ(run.folders.size(), 2u);
  EXPECT_EQ(run.folders["/w/a\tb"].mode, 02755u);
  EXPECT_EQ(run.folders["/w/a\tb"].owner, 1000u);
  EXPECT_EQ(run.folders["/w/a\tb"].group, 100u);
  EXPECT_EQ(run.folders["/home"].link, "var/home");
}

TEST(UndoRecordReader, OnlyPlainNamesNameARecord) {
  for (const char* id : {"", ".", "..", "../x", "a/b", "a\\b"}) {
    EXPECT_EQ(UndoRecordPath("/undo", id), "") << id;
  }
  EXPECT_EQ(UndoRecordPath("/undo", "2026-12-07_10-00-00_42"), "/undo/2026-12-07_10-00-00_42.undo");
}

TEST(UndoCommandLine, TheThreeFormsAndTheirSlashTwins) {
  UndoRequest request;
  ASSERT_TRUE(ParseUndoArguments({"--undo"}, &request));
  EXPECT_FALSE(request.list);
  EXPECT_EQ(request.run, "");
  ASSERT_TRUE(ParseUndoArguments({"/uNDo", "/LIST"}, &request));
  EXPECT_TRUE(request.list);
  ASSERT_TRUE(ParseUndoArguments({"--undo", "2026-12-07_10-00-00_42"}, &request));
  EXPECT_EQ(request.run, "2026-12-07_10-00-00_42");
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"--undo", "--list", "x"},
                                             {"--undo", "--preview"},
                                             {"--undo", "/NoLong"},
                                             {"--undo", ""},
                                             {"undo"}}) {
    EXPECT_FALSE(ParseUndoArguments(bad, &request)) << bad.back();
  }
}

}  // namespace
}  // namespace sweepwell
