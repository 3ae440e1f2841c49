// The streams of a file as orvFileStreams lists them: the data stream, alternate streams
// ("user." attributes), the security stream of a file with an access control list, on the
// temporary folder's file system and on a real NTFS volume written by ntfs-3g's own tools.
#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "automation/collection.h"
#include "automation/component.h"
#include "common/test_files.h"
#include "fileio/loop_image.h"
#include "fileio/orvFileStreams.h"
#include "support/ov_error.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

using automation::CallByName;
using automation::MakeObject;
using automation::Ref;
using automation::Variant;
using orvanel::testing::ErrorNumberOf;
using orvanel::testing::TempFolder;
using orvanel::testing::WriteBytes;
using quern::testing::LoopImage;
using quern::testing::RunCommand;

std::u16string Text(const std::string& utf8) { return support::Utf16FromUtf8(utf8); }
std::string Utf8(const std::u16string& text) { return support::Utf8FromUtf16(text); }

// What a test compares: one stream as the list shows it.
struct Seen {
  int32_t id;
  std::string name;
  double size;
  bool operator==(const Seen&) const = default;
};
void PrintTo(const Seen& s, std::ostream* out) {
  *out << "{" << s.id << ", \"" << s.name << "\", " << s.size << "}";
}

std::vector<Seen> Streams(const orvFileStreams& list) {
  std::vector<Seen> seen;
  for (int32_t i = 0; i < list.Count(); ++i) {
    const Ref<FileStream> stream = list.Item(i);
    seen.push_back({stream->StreamID(), Utf8(stream->Name()), stream->Size()});
  }
  return seen;
}

// The size of attribute `name` of `path`, or -1.
ssize_t AttributeSize(const std::string& path, const std::string& name) {
  return getxattr(path.c_str(), name.c_str(), nullptr, 0);
}

class StreamsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    file_ = folder_ / "file.txt";
    WriteBytes(file_, "twelve bytes");
    if (setxattr(file_.c_str(), "user.probe", "", 0, 0) != 0) {
      GTEST_SKIP() << "the temporary folder's file system keeps no user attributes";
    }
    removexattr(file_.c_str(), "user.probe");
  }
  void AddStream(const std::string& path, const std::string& name, const std::string& value) {
    ASSERT_EQ(setxattr(path.c_str(), ("user." + name).c_str(), value.data(), value.size(), 0), 0);
  }

  TempFolder folder_;
  std::string file_;
  Ref<orvFileStreams> list_ = MakeObject<orvFileStreams>();
};

TEST_F(StreamsTest, PlainFileHasOnlyItsDataStream) {
  ASSERT_TRUE(list_->ReadFileStreams(Text(file_)));
  ASSERT_EQ(list_->Count(), 1);
  const Ref<FileStream> data = list_->Item(0);
  EXPECT_EQ(data->StreamID(), 1);
  EXPECT_TRUE(data->StreamIDData());
  EXPECT_FALSE(data->StreamIDAlternateData());
  EXPECT_EQ(data->Name(), u"::$DATA");
  EXPECT_EQ(data->ShortName(), u"");
  EXPECT_EQ(data->Size(), 12.0);
  EXPECT_EQ(data->Attributes(), 0);
}

TEST_F(StreamsTest, EmptyFileStillHasItsDataStream) {
  const std::string empty = folder_ / "empty";
  WriteBytes(empty, "");
  ASSERT_TRUE(list_->ReadFileStreams(Text(empty)));
  EXPECT_EQ(Streams(*list_), (std::vector<Seen>{{1, "::$DATA", 0}}));
}

TEST_F(StreamsTest, AlternateStreamsFollowTheDataStream) {
  const std::string zone = "[ZoneTransfer]\r\nZoneId=3\r\n";
  AddStream(file_, "Zone.Identifier", zone);
  AddStream(file_, "Поток", "");
  ASSERT_TRUE(list_->ReadFileStreams(Text(file_)));
  ASSERT_EQ(list_->Count(), 3);
  EXPECT_TRUE(list_->Item(0)->StreamIDData());
  // The system's listing order decides between the two alternate streams.
  std::vector<Seen> alternates = {
      {list_->Item(1)->StreamID(), Utf8(list_->Item(1)->Name()), list_->Item(1)->Size()},
      {list_->Item(2)->StreamID(), Utf8(list_->Item(2)->Name()), list_->Item(2)->Size()}};
  if (alternates[0].name != ":Zone.Identifier:$DATA") std::swap(alternates[0], alternates[1]);
  EXPECT_EQ(alternates[0], (Seen{4, ":Zone.Identifier:$DATA", double(zone.size())}));
  EXPECT_EQ(alternates[1], (Seen{4, ":Поток:$DATA", 0}));
  for (int32_t i = 1; i <= 2; ++i) {
    const Ref<FileStream> stream = list_->Item(i);
    EXPECT_TRUE(stream->StreamIDAlternateData());
    EXPECT_EQ(stream->Attributes(), 0);
    const std::string short_name = Utf8(stream->ShortName());
    EXPECT_TRUE(short_name == "Zone.Identifier" || short_name == "Поток") << short_name;
  }
}

TEST_F(StreamsTest, AttributesOfOtherNamespacesAreNoStreams) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can write trusted. attributes";
  ASSERT_EQ(setxattr(file_.c_str(), "trusted.marker", "x", 1, 0), 0);
  ASSERT_TRUE(list_->ReadFileStreams(Text(file_), true));
  EXPECT_EQ(Streams(*list_), (std::vector<Seen>{{1, "::$DATA", 12}}));
}

TEST_F(StreamsTest, FolderHasNoDataStreamButItsNamedStreams) {
  const std::string sub = folder_ / "sub";
  ASSERT_EQ(RunCommand("mkdir '" + sub + "'"), 0);
  ASSERT_TRUE(list_->ReadFileStreams(Text(sub)));
  EXPECT_EQ(list_->Count(), 0);
  AddStream(sub, "note", "abc");
  ASSERT_TRUE(list_->ReadFileStreams(Text(sub)));
  EXPECT_EQ(Streams(*list_), (std::vector<Seen>{{4, ":note:$DATA", 3}}));
}

TEST_F(StreamsTest, LinkIsFollowedAndFifoIsNotWaitedFor) {
  const std::string link = folder_ / "link";
  ASSERT_EQ(symlink(file_.c_str(), link.c_str()), 0);
  AddStream(file_, "s", "12345");
  ASSERT_TRUE(list_->ReadFileStreams(Text(link)));
  EXPECT_EQ(Streams(*list_), (std::vector<Seen>{{1, "::$DATA", 12}, {4, ":s:$DATA", 5}}));
  const std::string fifo = folder_ / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_TRUE(list_->ReadFileStreams(Text(fifo)));
  EXPECT_EQ(list_->Count(), 0);
}

TEST_F(StreamsTest, MissingFileGivesFalseAndAnEmptyList) {
  ASSERT_TRUE(list_->ReadFileStreams(Text(file_)));
  ASSERT_EQ(list_->Count(), 1);
  EXPECT_FALSE(list_->ReadFileStreams(Text(folder_ / "missing")));
  EXPECT_EQ(list_->Count(), 0);
  EXPECT_FALSE(list_->ReadFileStreams(u""));
  EXPECT_FALSE(list_->ReadFileStreams(Text(folder_ / "missing/below")));
  EXPECT_EQ(list_->Count(), 0);
}

TEST_F(StreamsTest, SecurityStreamComesFirstOnlyWhenAskedAndAnAclIsThere) {
  ASSERT_TRUE(list_->ReadFileStreams(Text(file_), true));
  EXPECT_EQ(list_->Count(), 1) << "mode bits alone are no access control list";
  if (RunCommand("command -v setfacl >/dev/null") != 0) GTEST_SKIP() << "setfacl is missing";
  if (RunCommand("setfacl -m u:nobody:r '" + file_ + "'") != 0) {
    GTEST_SKIP() << "the temporary folder's file system keeps no access control lists";
  }
  const ssize_t acl_size = AttributeSize(file_, "system.posix_acl_access");
  ASSERT_GT(acl_size, 0);
  ASSERT_TRUE(list_->ReadFileStreams(Text(file_), true));
  ASSERT_EQ(list_->Count(), 2);
  const Ref<FileStream> security = list_->Item(0);
  EXPECT_EQ(security->StreamID(), 3);
  EXPECT_TRUE(security->StreamIDSecurityData());
  EXPECT_TRUE(security->AttributeContainsSecurity());
  EXPECT_EQ(security->Size(), double(acl_size));
  EXPECT_EQ(security->Name(), u"");
  EXPECT_TRUE(list_->Item(1)->StreamIDData());
  ASSERT_TRUE(list_->ReadFileStreams(Text(file_), false));
  EXPECT_EQ(Streams(*list_), (std::vector<Seen>{{1, "::$DATA", 12}}));
}

TEST_F(StreamsTest, ItemCountsFromZeroWithTheCollectionErrors) {
  EXPECT_EQ(ErrorNumberOf([&] { list_->Item(0); }), 5);
  EXPECT_EQ(ErrorNumberOf([&] { list_->Item(2147483647); }), 6);
  AddStream(file_, "a", "1");
  ASSERT_TRUE(list_->ReadFileStreams(Text(file_)));
  EXPECT_EQ(ErrorNumberOf([&] { list_->Item(-1); }), 5);
  EXPECT_EQ(ErrorNumberOf([&] { list_->Item(2); }), 5);
  EXPECT_EQ(ErrorNumberOf([&] { list_->Item(2147483647); }), 6);
  EXPECT_EQ(ErrorNumberOf([&] { list_->Item(1); }), 0);
}

TEST_F(StreamsTest, EnumeratorWalksTheItemsInOrderAndStreamsOutliveTheList) {
  AddStream(file_, "a", "1");
  AddStream(file_, "b", "22");
  ASSERT_TRUE(list_->ReadFileStreams(Text(file_)));
  auto enumerator = list_->NewEnum();
  auto* walk = static_cast<automation::Enumerator*>(enumerator.get());
  Variant value;
  int32_t index = 0;
  std::vector<Ref<FileStream>> kept;
  while (walk->Next(&value)) {
    ASSERT_LT(index, list_->Count());
    EXPECT_EQ(value.ObjectRef().get(), list_->Item(index).get());
    kept.push_back(list_->Item(index));
    ++index;
  }
  EXPECT_EQ(index, 3);
  EXPECT_FALSE(list_->ReadFileStreams(Text(folder_ / "missing")));
  list_.reset();
  EXPECT_EQ(kept[0]->Name(), u"::$DATA");
  EXPECT_EQ(kept[2]->Size() + kept[1]->Size(), 3.0);
}

TEST(FileStreamTest, ShortNameAndNameFollowTheHeader) {
  auto stream = MakeObject<FileStream>();
  stream->SetStreamHeader(4, 0, 5, 0, u":Zone.Identifier:$DATA");
  EXPECT_EQ(stream->ShortName(), u"Zone.Identifier");
  stream->SetStreamHeader(4, 0, 5, 0, u"plain");
  EXPECT_EQ(stream->ShortName(), u"plain");
  stream->SetStreamHeader(4, 0, 5, 0, u"a:b:c");
  EXPECT_EQ(stream->ShortName(), u"b");
  stream->SetStreamHeader(4, 0, 5, 0, u"tail:");
  EXPECT_EQ(stream->ShortName(), u"");
  stream->SetStreamHeader(1, 0, 0, 0, u"");
  EXPECT_EQ(stream->Name(), u"::$DATA");
  EXPECT_EQ(stream->ShortName(), u"");
  stream->SetStreamHeader(3, 2, 0, 0, u"");
  EXPECT_EQ(stream->Name(), u"");
}

TEST(FileStreamTest, SizeIsTheUnsigned64BitValueAndFlagsFollowTheBits) {
  auto stream = MakeObject<FileStream>();
  stream->SetStreamHeader(9, 0xF, 0xFFFFFFFFu, 0x1, u"");
  EXPECT_EQ(stream->Size(), 8589934591.0);
  EXPECT_TRUE(stream->StreamIDSparseBlock());
  EXPECT_TRUE(stream->AttributeModifiedWhenRead() && stream->AttributeContainsSecurity() &&
              stream->AttributeContainsProperties() && stream->AttributeSparseAttribute());
  stream->SetStreamHeader(0, 4, 0, 0x80000000u, u"");
  EXPECT_EQ(stream->Size(), 9223372036854775808.0);
  EXPECT_TRUE(stream->StreamIDInvalid());
  EXPECT_FALSE(stream->AttributeContainsSecurity());
  EXPECT_TRUE(stream->AttributeContainsProperties());
}

TEST_F(StreamsTest, LateBoundCallsAndCreation) {
  Ref<automation::Object> list = automation::CreateObject("Quern0102.orvFileStreams");
  ASSERT_TRUE(list);
  AddStream(file_, "x", "abc");
  // ProcessSecurity left out counts as False.
  EXPECT_EQ(CallByName(*list, "ReadFileStreams", {Variant(Text(file_))}), Variant(true));
  EXPECT_EQ(CallByName(*list, "Count"), Variant(int32_t{2}));
  Ref<automation::Object> second = CallByName(*list, "Item", {Variant(int32_t{1})}).ToObject();
  EXPECT_EQ(CallByName(*second, "ShortName"), Variant(u"x"));
  EXPECT_EQ(CallByName(*second, "StreamIDAlternateData"), Variant(true));
  EXPECT_EQ(CallByName(*second, "Size"), Variant(3.0));
  EXPECT_EQ(ErrorNumberOf([&] { CallByName(*list, "Item", {Variant(int32_t{2})}); }), 5);
  EXPECT_EQ(ErrorNumberOf([] { automation::CreateObject("Quern0102.FileStream"); }), 429);
}

// A tmpfs keeps user attributes and access control lists in memory; the tools that set them
// are those of the attr and acl packages.
TEST(TmpfsStreamsTest, AttributesAndAclSetByTheToolsAreListed) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a tmpfs";
  if (RunCommand("command -v setfattr >/dev/null && command -v setfacl >/dev/null") != 0) {
    GTEST_SKIP() << "setfattr or setfacl is missing";
  }
  TempFolder folder;
  const std::string mount = folder / "mnt";
  ASSERT_EQ(RunCommand("mkdir '" + mount + "'"), 0);
  if (RunCommand("mount -t tmpfs -o size=4m tmpfs '" + mount + "'") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs";
  }
  struct Unmount {
    std::string path;
    ~Unmount() { RunCommand("umount '" + path + "'"); }
  } unmount{mount};
  const std::string file = mount + "/f";
  ASSERT_EQ(RunCommand("printf 'abc' > '" + file + "' && setfattr -n user.note -v 0x0102030405 '" +
                       file + "' && setfacl -m u:nobody:rw '" + file + "'"),
            0);
  const ssize_t acl = AttributeSize(file, "system.posix_acl_access");
  ASSERT_GT(acl, 0);
  auto list = MakeObject<orvFileStreams>();
  ASSERT_TRUE(list->ReadFileStreams(Text(file), true));
  EXPECT_EQ(Streams(*list),
            (std::vector<Seen>{{3, "", double(acl)}, {1, "::$DATA", 3}, {4, ":note:$DATA", 5}}));
}

// Streams written by ntfs-3g itself (its Windows-style "file:name" interface) and read back by
// the class on the xattr mount: the real NTFS streams, with their names and sizes.
TEST(NtfsStreamsTest, StreamsWrittenByNtfs3gAreListed) {
  LoopImage image(LoopImage::kNtfs);
  if (!image.usable()) GTEST_SKIP() << image.why();
  ASSERT_TRUE(image.Unmount());
  const std::string mount = image.mount_point();
  ASSERT_EQ(
      RunCommand("ntfs-3g -o streams_interface=windows '" + image.device() + "' '" + mount + "'"),
      0);
  const std::string file = mount + "/report.txt";
  int written =
      RunCommand("printf 'seven b' > '" + file + "' && printf '[ZoneTransfer]\\r\\n' > '" + file +
                 ":Zone.Identifier' && printf '' > '" + file + ":empty' && " + "mkdir '" + mount +
                 "/dir' && printf 'abcd' > '" + mount + "/dir:tag'");
  RunCommand("umount '" + mount + "'");
  ASSERT_EQ(written, 0);
  ASSERT_TRUE(image.Mount());

  auto list = MakeObject<orvFileStreams>();
  ASSERT_TRUE(list->ReadFileStreams(Text(image / "report.txt")));
  std::vector<Seen> seen = Streams(*list);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], (Seen{1, "::$DATA", 7}));
  std::vector<Seen> alternates(seen.begin() + 1, seen.end());
  if (alternates[0].name != ":Zone.Identifier:$DATA") std::swap(alternates[0], alternates[1]);
  EXPECT_EQ(alternates[0], (Seen{4, ":Zone.Identifier:$DATA", 16}));
  EXPECT_EQ(alternates[1], (Seen{4, ":empty:$DATA", 0}));

  ASSERT_TRUE(list->ReadFileStreams(Text(image / "dir")));
  EXPECT_EQ(Streams(*list), (std::vector<Seen>{{4, ":tag:$DATA", 4}}));

  // Every NTFS file has a security descriptor: it comes first, with its real size.
  const ssize_t descriptor = AttributeSize(image / "report.txt", "system.ntfs_acl");
  ASSERT_GT(descriptor, 0);
  ASSERT_TRUE(list->ReadFileStreams(Text(image / "report.txt"), true));
  ASSERT_EQ(list->Count(), 4);
  EXPECT_EQ(list->Item(0)->StreamID(), 3);
  EXPECT_EQ(list->Item(0)->Size(), double(descriptor));
  EXPECT_TRUE(list->Item(1)->StreamIDData());
}

}  // namespace
}  // namespace quern
