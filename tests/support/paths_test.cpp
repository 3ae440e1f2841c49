// Path splitting and joining, and the file-system chores on a real temporary tree.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "support/ov_error.h"
#include "support/ov_paths.h"

using namespace support;
namespace fs = std::filesystem;

TEST(OvGetFilePathAndName, SplitAtTheLastSeparator) {
  struct Case {
    const char* path;
    const char* folder;
    const char* name;
  };
  for (const Case& c :
       {Case{"/", "/", ""}, Case{"/tmp", "/", "tmp"}, Case{"/tmp/", "/tmp", ""}, Case{"a", "", "a"},
        Case{"a/b", "a", "b"}, Case{"/a/b/c.txt", "/a/b", "c.txt"}, Case{"/tmp/*.*", "/tmp", "*.*"},
        Case{"//x", "/", "x"}, Case{"", "", ""}}) {
    EXPECT_EQ(ovGetFilePath(c.path), c.folder) << "path " << c.path;
    EXPECT_EQ(ovGetFileName(c.path), c.name) << "path " << c.path;
  }
}

TEST(OvBuildFileName, JoinsWithExactlyOneSeparator) {
  EXPECT_EQ(ovBuildFileName("/tmp", "a.txt"), "/tmp/a.txt");
  EXPECT_EQ(ovBuildFileName("/tmp/", "a.txt"), "/tmp/a.txt");
  EXPECT_EQ(ovBuildFileName("/", "tmp"), "/tmp");
  EXPECT_EQ(ovBuildFileName("", "a.txt"), "a.txt");
  EXPECT_EQ(ovBuildFileName("a", "b/c"), "a/b/c");
}

TEST(OvBuildFileName, UndoesTheSplit) {
  for (const char* path : {"/tmp", "/tmp/x", "a/b", "/a/b/c.txt"}) {
    EXPECT_EQ(ovBuildFileName(ovGetFilePath(path), ovGetFileName(path)), path);
  }
}

namespace {

class TreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/paths_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_env_) {
      value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }
    fs::remove_all(root_);
  }

  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
  void WriteFile(const std::string& relative, const std::string& content) {
    std::ofstream(Path(relative), std::ios::binary) << content;
  }
  void SetEnv(const std::string& name, const std::string& value) {
    if (!saved_env_.count(name)) {
      const char* old = std::getenv(name.c_str());
      saved_env_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    setenv(name.c_str(), value.c_str(), 1);
  }

  std::string root_;
  std::map<std::string, std::optional<std::string>> saved_env_;
};

int32_t SizeErrorNumber(const std::string& path) {
  try {
    ovGetFileSizeEx(path);
  } catch (const Error& error) {
    return error.number();
  }
  return 0;
}

}  // namespace

TEST_F(TreeTest, KindsOfEntriesAreTold) {
  fs::create_directory(Path("dir"));
  WriteFile("file", "x");
  fs::create_directory_symlink(Path("dir"), Path("link-to-dir"));
  fs::create_symlink(Path("file"), Path("link-to-file"));
  fs::create_symlink(Path("gone"), Path("dangling"));

  EXPECT_TRUE(ovIsDirectory(Path("dir")));
  EXPECT_TRUE(ovIsDirectoryExist(Path("dir")));
  EXPECT_TRUE(ovIsDirectoryExist(Path("dir/")));
  EXPECT_FALSE(ovIsFileExist(Path("dir")));
  EXPECT_FALSE(ovIsJunction(Path("dir")));

  EXPECT_FALSE(ovIsDirectory(Path("file")));
  EXPECT_TRUE(ovIsFileExist(Path("file")));
  EXPECT_FALSE(ovIsJunction(Path("file")));

  EXPECT_TRUE(ovIsDirectory(Path("link-to-dir")));
  EXPECT_TRUE(ovIsJunction(Path("link-to-dir")));
  EXPECT_FALSE(ovIsFileExist(Path("link-to-dir")));

  EXPECT_FALSE(ovIsJunction(Path("link-to-file")));
  EXPECT_TRUE(ovIsFileExist(Path("link-to-file")));
  EXPECT_TRUE(ovIsFileExist(Path("dangling")));  // the link itself is there

  for (const char* missing : {"missing", "missing/x", "file/x"}) {
    EXPECT_FALSE(ovIsDirectory(Path(missing))) << missing;
    EXPECT_FALSE(ovIsDirectoryExist(Path(missing))) << missing;
    EXPECT_FALSE(ovIsFileExist(Path(missing))) << missing;
    EXPECT_FALSE(ovIsJunction(Path(missing))) << missing;
  }
}

TEST_F(TreeTest, CreateComplexDirectoryMakesEveryMissingLevel) {
  EXPECT_TRUE(ovCreateComplexDirectory(Path("a/b/c/d")));
  EXPECT_TRUE(fs::is_directory(Path("a/b/c/d")));
  EXPECT_EQ(ovGetLastDLLError(), 0u);
  EXPECT_TRUE(ovCreateComplexDirectory(Path("a//b/e/")));  // doubled and trailing separators
  EXPECT_TRUE(fs::is_directory(Path("a/b/e")));
}

TEST_F(TreeTest, CreateComplexDirectoryAcceptsWhatExists) {
  fs::create_directories(Path("x/y"));
  EXPECT_TRUE(ovCreateComplexDirectory(Path("x/y")));
  EXPECT_TRUE(ovCreateComplexDirectory(Path("x")));
  EXPECT_TRUE(ovCreateComplexDirectory("/"));
  fs::create_directory_symlink(Path("x"), Path("junction"));
  EXPECT_TRUE(ovCreateComplexDirectory(Path("junction/z")));
  EXPECT_TRUE(fs::is_directory(Path("x/z")));
}

TEST_F(TreeTest, CreateComplexDirectoryWorksWithRelativePaths) {
  const fs::path before = fs::current_path();
  fs::current_path(root_);
  const bool made = ovCreateComplexDirectory("rel/one/two");
  fs::current_path(before);
  EXPECT_TRUE(made);
  EXPECT_TRUE(fs::is_directory(Path("rel/one/two")));
}

TEST_F(TreeTest, CreateComplexDirectoryFailsOnAFileInTheWay) {
  fs::create_directory(Path("p"));
  WriteFile("p/file", "x");
  EXPECT_FALSE(ovCreateComplexDirectory(Path("p/file")));
  EXPECT_EQ(ovGetLastDLLError(), platform::error::kAlreadyExists);
  EXPECT_FALSE(ovCreateComplexDirectory(Path("p/file/sub/deeper")));
  EXPECT_EQ(ovGetLastDLLError(), platform::error::kPathNotFound);
  EXPECT_TRUE(fs::is_regular_file(Path("p/file")));
  EXPECT_FALSE(ovCreateComplexDirectory(""));
  EXPECT_NE(ovGetLastDLLError(), 0u);
  // A success afterwards clears the remembered error.
  EXPECT_TRUE(ovCreateComplexDirectory(Path("p/ok")));
  EXPECT_EQ(ovGetLastDLLError(), 0u);
}

TEST_F(TreeTest, FileSizeOfFilesAndFolders) {
  WriteFile("five", "12345");
  WriteFile("empty", "");
  fs::create_directory(Path("dir"));
  EXPECT_EQ(ovGetFileSizeEx(Path("five")), 5.0);
  EXPECT_EQ(ovGetFileSizeEx(Path("empty")), 0.0);
  EXPECT_EQ(ovGetFileSizeEx(Path("dir")), 0.0);
}

TEST_F(TreeTest, FileSizeRaisesTheMappedFileError) {
  WriteFile("file", "x");
  EXPECT_EQ(SizeErrorNumber(Path("missing")), errnum::kFileNotFound);
  EXPECT_EQ(SizeErrorNumber(Path("missing/x")), errnum::kPathNotFound);
  EXPECT_EQ(SizeErrorNumber(Path("file/x")), errnum::kPathNotFound);
  try {
    ovGetFileSizeEx(Path("missing"));
  } catch (const Error& error) {
    EXPECT_EQ(error.description(), "Файл не найден");
  }
}

TEST_F(TreeTest, SpecialFolderAppDataIsTheUserDataFolder) {
  SetEnv("XDG_DATA_HOME", Path("data"));
  EXPECT_EQ(ovGetSpecialFolder(26), Path("data"));
  try {
    ovGetSpecialFolder(5);
    ADD_FAILURE() << "no error raised";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kInvalidCall);
  }
}

TEST_F(TreeTest, ExpandEnvironmentStringsReachesTheEnvironment) {
  SetEnv("SWEEPWELL_PATHS_TEST", root_);
  EXPECT_EQ(ovExpandEnvironmentStrings("%SWEEPWELL_PATHS_TEST%/x"), root_ + "/x");
}

TEST_F(TreeTest, ExpansionReportsTheVariablesSetToNothing) {
  SetEnv("SWEEPWELL_PATHS_TEST", root_);
  SetEnv("SWEEPWELL_PATHS_EMPTY", "");
  SetEnv("SWEEPWELL_PATHS_BLANK", " \t");
  std::vector<std::string> blank;
  EXPECT_EQ(ovExpandEnvironmentStringsReporting(
                "%SWEEPWELL_PATHS_TEST%/%SWEEPWELL_PATHS_EMPTY%/%SWEEPWELL_PATHS_BLANK%/"
                "%SWEEPWELL_PATHS_EMPTY%",
                &blank),
            root_ + "// \t/");
  EXPECT_EQ(blank, (std::vector<std::string>{"SWEEPWELL_PATHS_EMPTY", "SWEEPWELL_PATHS_BLANK"}));
  // Unknown names stay as written and are not reported; a set name after one still is, and
  // the expansion itself is the old one's.
  const std::string text = "%SWEEPWELL_PATHS_UNSET%SWEEPWELL_PATHS_EMPTY%x";
  EXPECT_EQ(ovExpandEnvironmentStringsReporting(text, &blank), ovExpandEnvironmentStrings(text));
  EXPECT_EQ(blank, (std::vector<std::string>{"SWEEPWELL_PATHS_EMPTY"}));
  EXPECT_EQ(ovExpandEnvironmentStringsReporting("100%% %SWEEPWELL_PATHS_TEST%", &blank),
            "100%% " + root_);
  EXPECT_TRUE(blank.empty());
}
