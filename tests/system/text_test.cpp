#include <gtest/gtest.h>

#include <cstring>

#include "system/text.h"

TEST(Text, JoinAddsOneSeparatorOnlyWhenMissing) {
  char buf[64];
  ASSERT_EQ(JoinPath(buf, sizeof buf, "C:\\Program Files", "HC\\Quorvane"), 1);
  EXPECT_STREQ(buf, "C:\\Program Files\\HC\\Quorvane");
  ASSERT_EQ(JoinPath(buf, sizeof buf, "C:\\Program Files\\", "x"), 1);
  EXPECT_STREQ(buf, "C:\\Program Files\\x");
  ASSERT_EQ(AppendPathPart(buf, sizeof buf, "y"), 1);
  EXPECT_STREQ(buf, "C:\\Program Files\\x\\y");
}

TEST(Text, RefusesWhatDoesNotFitAndLeavesTheBufferAlone) {
  char buf[8] = "abc";
  EXPECT_EQ(AppendText(buf, sizeof buf, "defg"), 1);  // exactly 7 chars + NUL
  EXPECT_STREQ(buf, "abcdefg");
  EXPECT_EQ(AppendText(buf, sizeof buf, "h"), 0);
  EXPECT_STREQ(buf, "abcdefg");
  EXPECT_EQ(CopyText(buf, sizeof buf, "12345678"), 0);
  EXPECT_STREQ(buf, "abcdefg");
  strcpy(buf, "abcdef");
  EXPECT_EQ(AppendPathPart(buf, sizeof buf, "g"), 0);  // needs the separator too
  EXPECT_STREQ(buf, "abcdef");
  EXPECT_EQ(JoinPath(buf, sizeof buf, "abc", "defg"), 0);
  EXPECT_EQ(JoinPath(buf, sizeof buf, "abc", "def"), 1);
  EXPECT_STREQ(buf, "abc\\def");
}
