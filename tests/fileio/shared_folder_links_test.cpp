// Writes through links in a sticky world-writable folder (/tmp and its kind): the library
// follows such a link only when it belongs to the caller or to the folder's owner, as the
// kernel's fs.protected_symlinks rule says, whatever the machine's setting. The cases with
// another user plant the link as `nobody` from a forked child and need root.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/test_files.h"
#include "fileio/orvFSO.h"
#include "support/ov_error.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

using orvanel::testing::ReadBytes;
using orvanel::testing::TempFolder;
using orvanel::testing::WriteBytes;
using Bytes = std::vector<uint8_t>;

std::u16string Name(const std::string& path) { return support::FileNameFromNative(path); }

// Makes the link `link` -> `target` as the user `uid` in a forked child; true when it exists.
bool LinkAs(uid_t uid, const std::string& target, const std::string& link) {
  const pid_t child = fork();
  if (child == 0) {
    const gid_t gid = static_cast<gid_t>(uid);
    if (setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0) _exit(2);
    _exit(symlink(target.c_str(), link.c_str()) == 0 ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

uid_t OwnerOf(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 ? info.st_uid : static_cast<uid_t>(-1);
}

class SharedFolderLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    // The temporary folder itself is private (mkdtemp); the shared one inside it must be
    // reachable by the other user.
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(mkdir(shared.c_str(), 0755), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    WriteBytes(secret, "root only");
    ASSERT_EQ(chmod(secret.c_str(), 0600), 0);
  }

  // The other user, or nothing (the test is skipped) when this is not root.
  bool OtherUser(uid_t* uid) {
    if (geteuid() != 0) return false;
    const struct passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr) return false;
    *uid = nobody->pw_uid;
    return true;
  }

  Ref<orvFSO> fso = automation::MakeObject<orvFSO>();
  TempFolder dir;
  const std::string shared = dir / "shared";
  const std::string secret = dir / "secret";
};

TEST_F(SharedFolderLinks, AnotherUsersLinkIsNotFollowedByAnyWrite) {
  uid_t other = 0;
  if (!OtherUser(&other)) GTEST_SKIP() << "needs root to plant a link as another user";
  ASSERT_TRUE(LinkAs(other, secret, shared + "/planted"));
  ASSERT_EQ(OwnerOf(shared + "/planted"), other);
  const std::u16string planted = Name(shared + "/planted");

  EXPECT_FALSE(fso->PutFileB(planted, Bytes{'x'}));
  EXPECT_FALSE(fso->PutFile2(planted, u"x"));
  EXPECT_FALSE(fso->AppendFileB(planted, Bytes{'x'}));
  EXPECT_FALSE(fso->OverwriteFileB(planted, Bytes{'x'}));
  EXPECT_EQ(ReadBytes(secret), "root only");
  struct stat info;
  ASSERT_EQ(lstat((shared + "/planted").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link itself must stay as it was";
  // Refused as the kernel refuses it: access denied, raised as such.
  try {
    fso->PutFileB(planted, Bytes{'x'}, true);
    ADD_FAILURE() << "no error raised";
  } catch (const support::Error& error) {
    EXPECT_EQ(error.number(), support::errnum::kPermissionDenied) << error.description();
  }
  EXPECT_EQ(ReadBytes(secret), "root only");
}

TEST_F(SharedFolderLinks, AnotherUsersLinkOnTheWayIsNotFollowedEither) {
  uid_t other = 0;
  if (!OtherUser(&other)) GTEST_SKIP() << "needs root to plant a link as another user";
  // A link to a folder in the middle of the path, and one reached through a link of our own.
  ASSERT_TRUE(LinkAs(other, dir.path(), shared + "/folder"));
  EXPECT_FALSE(fso->PutFileB(Name(shared + "/folder/secret"), Bytes{'x'}));
  ASSERT_EQ(symlink((shared + "/folder/secret").c_str(), (dir / "mine").c_str()), 0);
  EXPECT_FALSE(fso->PutFileB(Name(dir / "mine"), Bytes{'x'}));
  ASSERT_TRUE(LinkAs(other, "../secret", shared + "/relative"));
  EXPECT_FALSE(fso->PutFile2(Name(shared + "/relative"), u"x"));
  EXPECT_EQ(ReadBytes(secret), "root only");
  EXPECT_FALSE(fso->PutFileB(Name(shared + "/folder/new"), Bytes{'x'}));
  EXPECT_EQ(access((dir / "new").c_str(), F_OK), -1);
}

TEST_F(SharedFolderLinks, TheFolderOwnersLinkIsFollowed) {
  uid_t other = 0;
  if (!OtherUser(&other)) GTEST_SKIP() << "needs root to plant a link as another user";
  ASSERT_EQ(chown(shared.c_str(), other, static_cast<gid_t>(-1)), 0);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  ASSERT_TRUE(LinkAs(other, secret, shared + "/owners"));
  EXPECT_TRUE(fso->PutFileB(Name(shared + "/owners"), Bytes{'n', 'e', 'w'}));
  EXPECT_EQ(ReadBytes(secret), "new");
}

TEST_F(SharedFolderLinks, TheCallersOwnLinkIsFollowedAsBefore) {
  WriteBytes(dir / "target", "old");
  ASSERT_EQ(symlink((dir / "target").c_str(), (shared + "/own").c_str()), 0);
  EXPECT_TRUE(fso->PutFileB(Name(shared + "/own"), Bytes{'n', 'e', 'w'}));
  EXPECT_EQ(ReadBytes(dir / "target"), "new");
  EXPECT_TRUE(fso->PutFile2(Name(shared + "/own"), u"text"));
  EXPECT_EQ(ReadBytes(dir / "target"), "text");
  EXPECT_TRUE(fso->AppendFileB(Name(shared + "/own"), Bytes{'!'}));
  EXPECT_EQ(ReadBytes(dir / "target"), "text!");
  struct stat info;
  ASSERT_EQ(lstat((shared + "/own").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  // A folder that is only sticky, or only world-writable, is no shared folder.
  ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
  EXPECT_TRUE(fso->PutFileB(Name(shared + "/own"), Bytes{'a'}));
  EXPECT_EQ(ReadBytes(dir / "target"), "a");
}

TEST_F(SharedFolderLinks, AnotherUsersLinkOutsideASharedFolderIsFollowed) {
  uid_t other = 0;
  if (!OtherUser(&other)) GTEST_SKIP() << "needs root to plant a link as another user";
  const std::string open = dir / "open";
  ASSERT_EQ(mkdir(open.c_str(), 0755), 0);
  ASSERT_EQ(chown(open.c_str(), other, static_cast<gid_t>(-1)), 0);
  ASSERT_TRUE(LinkAs(other, secret, open + "/link"));
  EXPECT_TRUE(fso->PutFileB(Name(open + "/link"), Bytes{'y'}));
  EXPECT_EQ(ReadBytes(secret), "y");
}

}  // namespace
}  // namespace quern
