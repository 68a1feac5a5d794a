#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "system/path_utils.h"

static std::string Cut(const char* s) {
  char b[64];
  strcpy(b, s);
  CutAtLastBackslash(b);
  return b;
}

static std::string Keep(const char* s) {
  char b[64];
  strcpy(b, s);
  KeepFileName(b);
  return b;
}

TEST(PathCutters, CutAtLastBackslash) {
  EXPECT_EQ(Cut("C:\\dir\\file.exe"), "C:\\dir");
  EXPECT_EQ(Cut("C:\\dir\\"), "C:\\dir");
  EXPECT_EQ(Cut("C:\\"), "C:");
  EXPECT_EQ(Cut("\\only"), "");
  EXPECT_EQ(Cut("no separator"), "no separator");
  EXPECT_EQ(Cut(""), "");
}

TEST(PathCutters, KeepFileName) {
  EXPECT_EQ(Keep("C:\\dir\\Setup.exe"), "Setup.exe");
  EXPECT_EQ(Keep("C:\\dir\\"), "");
  EXPECT_EQ(Keep("Setup.exe"), "Setup.exe");
  EXPECT_EQ(Keep("a\\b\\c\\d"), "d");
}

namespace {
struct Maker {
  std::vector<std::string> made;
  int fail_at = -1;  // index into made of the call that fails
};
int Make(void* u, const char* folder) {
  Maker* m = static_cast<Maker*>(u);
  m->made.push_back(folder);
  return int(m->made.size()) - 1 != m->fail_at;
}
std::vector<std::string> Walk(const char* path, int* result, int fail_at = -1) {
  Maker m;
  m.fail_at = fail_at;
  *result = WalkFolderPath(path, Make, &m);
  return m.made;
}
using V = std::vector<std::string>;
}  // namespace

TEST(FolderPath, RootEnds) {
  EXPECT_EQ(FolderPathRootEnd("C:\\a\\b"), 2u);
  EXPECT_EQ(FolderPathRootEnd("\\\\server\\share\\dir"), 14u);
  EXPECT_EQ(FolderPathRootEnd("\\\\server\\share"), 14u);
  EXPECT_EQ(FolderPathRootEnd("\\\\server"), 8u);
  EXPECT_EQ(FolderPathRootEnd("abcdef"), 6u);
  EXPECT_EQ(FolderPathRootEnd("ab\\cd"), 2u);
  EXPECT_EQ(FolderPathRootEnd("x"), 1u);
}

TEST(FolderPath, DriveMakesEveryFolderBelowTheRoot) {
  int r;
  EXPECT_EQ(Walk("C:\\Program Files\\HC\\Quorvane", &r),
            (V{"C:\\Program Files", "C:\\Program Files\\HC", "C:\\Program Files\\HC\\Quorvane"}));
  EXPECT_EQ(r, 1);
  EXPECT_EQ(Walk("C:\\ab", &r), V{"C:\\ab"});
  EXPECT_EQ(r, 1);
}

TEST(FolderPath, FiveCharacterRuleAndNoPath) {
  int r;
  EXPECT_TRUE(Walk("C:\\a", &r).empty());
  EXPECT_EQ(r, 0);
  EXPECT_TRUE(Walk("", &r).empty());
  EXPECT_EQ(r, 0);
  EXPECT_EQ(WalkFolderPath(nullptr, Make, nullptr), 0);
}

TEST(FolderPath, NetworkPathMakesOnlyBelowTheShare) {
  int r;
  EXPECT_EQ(Walk("\\\\server\\share\\a\\b", &r), (V{"\\\\server\\share\\a", "\\\\server\\share\\a\\b"}));
  EXPECT_EQ(r, 1);
  EXPECT_TRUE(Walk("\\\\server\\share", &r).empty());
  EXPECT_EQ(r, 1);
  EXPECT_TRUE(Walk("\\\\server\\share\\", &r).empty());
  EXPECT_EQ(r, 1);
}

TEST(FolderPath, TrailingBackslashAndBareRoot) {
  int r;
  EXPECT_EQ(Walk("C:\\x\\y\\", &r), (V{"C:\\x", "C:\\x\\y"}));
  EXPECT_EQ(r, 1);
  EXPECT_TRUE(Walk("C:\\\\", &r).size() <= 1);
  EXPECT_TRUE(Walk("abcdefgh", &r).empty());  // no backslash from the third character on
  EXPECT_EQ(r, 1);
}

TEST(FolderPath, StopsAtTheFirstFolderThatCannotBeMade) {
  int r;
  EXPECT_EQ(Walk("C:\\a\\b\\c", &r, 1), (V{"C:\\a", "C:\\a\\b"}));
  EXPECT_EQ(r, 0);
  EXPECT_EQ(Walk("C:\\a\\b\\c", &r, 2).size(), 3u);
  EXPECT_EQ(r, 0);
}

TEST(FolderPath, OverLongPathIsRefusedBeforeAnythingIsMade) {
  std::string p = "C:\\" + std::string(FOLDER_PATH_AREA, 'x');
  int r;
  EXPECT_TRUE(Walk(p.c_str(), &r).empty());
  EXPECT_EQ(r, 0);
  std::string fits = "C:\\d\\" + std::string(FOLDER_PATH_AREA - 6, 'x');  // 1023 characters
  EXPECT_EQ(Walk(fits.c_str(), &r).size(), 2u);
  EXPECT_EQ(r, 1);
}
