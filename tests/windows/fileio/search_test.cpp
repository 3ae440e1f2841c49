// orvFoundedFiles over FindFirstFileExW: a tree with names no ANSI code page holds and a path
// beyond MAX_PATH, masks, and folder links that are never entered unless asked.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "fileio/orvFoundedFiles.h"
#include "tests/windows/fileio/fileio_test_support.h"

namespace {

using automation::MakeObject;
using automation::Ref;
using fileio_test::Text;
using quern::FoundedFile;
using quern::orvFoundedFiles;
using windows_test::TempTree;

std::string Utf8(const std::u16string& text) {
  return windows_test::Utf8(std::wstring(text.begin(), text.end()));
}

// Every entry of a search, as "relative\path" (folders with a trailing "\"), sorted.
std::vector<std::string> Flatten(const orvFoundedFiles& files, const std::string& root) {
  std::vector<std::string> found;
  std::function<void(const orvFoundedFiles&)> walk = [&](const orvFoundedFiles& level) {
    for (int32_t i = 0; i < level.Count(); ++i) {
      Ref<FoundedFile> file = level.Item(i);
      std::string path = Utf8(file->Path()) + "\\" + Utf8(file->FileName());
      path = path.substr(std::min(path.size(), root.size() + 1));
      if (file->AttributeDirectory()) path += "\\";
      found.push_back(path);
      if (Ref<orvFoundedFiles> children = file->Childs()) walk(*children);
    }
  };
  walk(files);
  std::sort(found.begin(), found.end());
  return found;
}

class WindowsSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    windows_test::MakeFile(tree_ / "a.txt", 10);
    windows_test::MakeFile(tree_ / "Ünïcödé 日本.TXT", 3);
    windows_test::MakeFile(tree_ / "Папка\\файл.dat", 7);
    deep_ = "Папка";
    while (deep_.size() < 300) deep_ += "\\" + std::string(50, 'n');
    windows_test::MakeFile(tree_ / (deep_ + "\\deep.txt"), 1);
  }

  TempTree tree_;
  std::string deep_;
};

TEST_F(WindowsSearch, FindsEveryNameAtAnyDepth) {
  auto files = MakeObject<orvFoundedFiles>();
  ASSERT_TRUE(files->RefreshEx(Text(tree_.root()), u"*"));
  const std::vector<std::string> found = Flatten(*files, tree_.root());
  EXPECT_NE(std::find(found.begin(), found.end(), "Ünïcödé 日本.TXT"), found.end());
  EXPECT_NE(std::find(found.begin(), found.end(), "Папка\\файл.dat"), found.end());
  EXPECT_NE(std::find(found.begin(), found.end(), deep_ + "\\deep.txt"), found.end());
  EXPECT_EQ(std::count_if(found.begin(), found.end(),
                          [](const std::string& path) { return path.back() != '\\'; }),
            4);
  EXPECT_EQ(files->Size(), 10 + 3 + 7 + 1);  // a folder counts what it holds
}

TEST_F(WindowsSearch, MasksMatchLongNamesOnlyWithLetterCaseIgnored) {
  auto files = MakeObject<orvFoundedFiles>();
  ASSERT_TRUE(files->RefreshEx(Text(tree_.root()), u"*.txt; *.DAT"));
  std::vector<std::string> found = Flatten(*files, tree_.root());
  std::vector<std::string> files_only;
  std::copy_if(found.begin(), found.end(), std::back_inserter(files_only),
               [](const std::string& path) { return path.back() != '\\'; });
  // A folder is searched only when its name matches too: "Папка" does not.
  EXPECT_EQ(files_only, (std::vector<std::string>{"a.txt", "Ünïcödé 日本.TXT"}));
  // "*.tx" must not find "a.txt" through its 8.3 name: nothing matches, which is False.
  EXPECT_FALSE(files->RefreshEx(Text(tree_.root()), u"*.tx"));
  EXPECT_EQ(files->Count(), 0);
}

TEST_F(WindowsSearch, MissingFolderIsFalseAndTimesAreThereForFiles) {
  auto files = MakeObject<orvFoundedFiles>();
  EXPECT_FALSE(files->RefreshEx(Text(tree_ / "missing"), u"*"));
  EXPECT_EQ(files->Count(), 0);
  ASSERT_TRUE(files->RefreshEx(Text(tree_.root()), u"a.txt"));
  ASSERT_EQ(files->Count(), 1);
  Ref<FoundedFile> file = files->Item(0);
  EXPECT_EQ(file->FileSize(), 10);
  EXPECT_GE(file->CompressedFileSize(), 0);
  EXPECT_GT(file->LastWriteTime(), 40000);  // after 2009, as a date serial
}

// A junction back to the root is listed but never entered unless asked, and not even then,
// since it leads back into the search.
TEST_F(WindowsSearch, JunctionsAreNotEntered) {
  if (!windows_test::FolderLinksWork()) {
    GTEST_SKIP() << "this Wine makes no folder links (CreateSymbolicLinkW makes nothing)";
  }
  const std::wstring link = windows_test::LongForm(tree_ / "loop");
  ASSERT_TRUE(CreateSymbolicLinkW(link.c_str(), windows_test::LongForm(tree_.root()).c_str(),
                                  SYMBOLIC_LINK_FLAG_DIRECTORY));
  for (bool follow : {false, true}) {
    auto files = MakeObject<orvFoundedFiles>();
    ASSERT_TRUE(files->RefreshEx(Text(tree_.root()), u"*", follow));
    const std::vector<std::string> found = Flatten(*files, tree_.root());
    EXPECT_NE(std::find(found.begin(), found.end(), "loop\\"), found.end());
    EXPECT_EQ(std::count_if(found.begin(), found.end(),
                            [](const std::string& path) { return path.starts_with("loop\\"); }),
              1);
  }
}

}  // namespace
