#include <gtest/gtest.h>

#include <cstring>

#include "startup/os_classify.h"
#include "startup/path_root.h"

namespace {

TEST(ClassifyVersion, EveryRowOfTheTable) {
  struct Row {
    uint32_t major, minor;
    uint8_t type;
    int32_t expected;
  } rows[] = {
      {5, 0, 1, 0},  {5, 1, 1, 1},  {5, 2, 1, 2},  {4, 10, 0, 1}, {4, 90, 0, 1}, {4, 0, 0, 0},
      {6, 0, 1, 3},  {6, 1, 1, 4},  {6, 1, 3, 3},  {6, 1, 2, 3},  {6, 2, 1, 5},  {6, 3, 1, 6},
      {6, 4, 1, -1}, {6, 9, 1, -1}, {7, 0, 1, -1}, {8, 0, 1, -1}, {9, 0, 1, -1}, {10, 0, 1, 7},
      {11, 0, 1, 8}, {0xFFFFFFFF, 0, 1, 8},
  };
  for (const Row& r : rows)
    EXPECT_EQ(ClassifyVersion(1, r.major, r.minor, r.type), r.expected) << r.major << "." << r.minor;
  EXPECT_EQ(ClassifyVersion(0, 10, 0, 1), -1);
  // Only the basic record filled: the product type stays 0, so 6.1 reads as a server.
  EXPECT_EQ(ClassifyVersion(1, 6, 1, 0), 3);
}

std::string Root(const char* in, int* result) {
  char buf[256];
  strcpy(buf, in);
  *result = KeepPathRoot(buf);
  return buf;
}

TEST(KeepPathRoot, CutsAfterTheRootBackslash) {
  int r;
  EXPECT_EQ(Root("C:\\WINDOWS", &r), "C:\\");
  EXPECT_EQ(r, 1);
  EXPECT_EQ(Root("\\\\server\\share\\WINDOWS", &r), "\\\\server\\");
  EXPECT_EQ(r, 1);
  EXPECT_EQ(Root("\\WINDOWS\\SYSTEM", &r), "\\WINDOWS\\");
  EXPECT_EQ(r, 1);
  EXPECT_EQ(Root("C:", &r), "C:");
  EXPECT_EQ(r, 0);
  EXPECT_EQ(Root("", &r), "");
  EXPECT_EQ(r, 0);
  // Short paths that begin with a backslash must not be read past their end.
  EXPECT_EQ(Root("\\", &r), "\\");
  EXPECT_EQ(r, 0);
  EXPECT_EQ(Root("\\\\", &r), "\\\\");
  EXPECT_EQ(r, 0);
}

TEST(ProgramFilesFromWindowsDir, OneBackslashBetweenRootAndFolder) {
  char out[64];
  ASSERT_EQ(ProgramFilesFromWindowsDir(out, sizeof out, "D:\\WINDOWS"), 1);
  EXPECT_STREQ(out, "D:\\Program Files\\");
  ASSERT_EQ(ProgramFilesFromWindowsDir(out, sizeof out, "E:"), 1);
  EXPECT_STREQ(out, "E:\\Program Files\\");
  ASSERT_EQ(ProgramFilesFromWindowsDir(out, sizeof out, nullptr), 1);
  EXPECT_STREQ(out, "C:\\Program Files\\");
  ASSERT_EQ(ProgramFilesFromWindowsDir(out, sizeof out, "\\\\srv\\share\\win"), 1);
  EXPECT_STREQ(out, "\\\\srv\\Program Files\\");
  EXPECT_EQ(ProgramFilesFromWindowsDir(out, 10, "C:\\WINDOWS"), 0);
}

}  // namespace
