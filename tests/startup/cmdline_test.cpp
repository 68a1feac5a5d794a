#include <gtest/gtest.h>

#include "startup/cmdline.h"

namespace {

struct Flags {
  int silent, install, uninstall;
  bool operator==(const Flags& o) const {
    return silent == o.silent && install == o.install && uninstall == o.uninstall;
  }
};

Flags Parse(const char* text) {
  SilentFlag = InstallFlag = UninstallFlag = 0;
  ParseCommandLine(text);
  return {SilentFlag, InstallFlag, UninstallFlag};
}

void PrintTo(const Flags& f, std::ostream* os) {
  *os << "{h=" << f.silent << " i=" << f.install << " u=" << f.uninstall << "}";
}

TEST(ParseCommandLine, SwitchesAndTheirCase) {
  EXPECT_EQ(Parse("-i -h"), (Flags{1, 1, 0}));
  EXPECT_EQ(Parse("-u"), (Flags{0, 0, 1}));
  EXPECT_EQ(Parse("-U"), (Flags{0, 0, 1}));
  EXPECT_EQ(Parse("-H"), (Flags{1, 0, 0}));
  EXPECT_EQ(Parse("-I"), (Flags{0, 0, 0}));  // upper-case i is not a switch
  EXPECT_EQ(Parse("-x -y"), (Flags{0, 0, 0}));
}

TEST(ParseCommandLine, OnlyTheCharRightAfterADashCounts) {
  EXPECT_EQ(Parse("-ih"), (Flags{0, 1, 0}));
  EXPECT_EQ(Parse("-i-h"), (Flags{1, 1, 0}));
  // The second dash is the examined char, so it cannot start a switch itself.
  EXPECT_EQ(Parse("--u"), (Flags{0, 0, 0}));
  EXPECT_EQ(Parse("---u"), (Flags{0, 0, 1}));
}

TEST(ParseCommandLine, ADashCountsAnywhere) {
  EXPECT_EQ(Parse("x-u"), (Flags{0, 0, 1}));
  EXPECT_EQ(Parse("\"C:\\my-installs\\setup.exe\""), (Flags{0, 1, 0}));
}

TEST(ParseCommandLine, ShortAndEmptyTexts) {
  EXPECT_EQ(Parse(nullptr), (Flags{0, 0, 0}));
  EXPECT_EQ(Parse(""), (Flags{0, 0, 0}));
  EXPECT_EQ(Parse("-"), (Flags{0, 0, 0}));
  EXPECT_EQ(Parse("h"), (Flags{0, 0, 0}));
  EXPECT_EQ(Parse("ab-"), (Flags{0, 0, 0}));  // a trailing dash has nothing after it
}

TEST(ParseCommandLine, FlagsAreOnlyEverSet) {
  SilentFlag = InstallFlag = UninstallFlag = 0;
  ParseCommandLine("-h");
  ParseCommandLine("-u");
  ParseCommandLine("nothing here");
  EXPECT_EQ(SilentFlag, 1);
  EXPECT_EQ(UninstallFlag, 1);
  EXPECT_EQ(InstallFlag, 0);
}

TEST(SkipProgramName, QuotedAndPlainNames) {
  EXPECT_STREQ(SkipProgramName("\"C:\\a b\\setup.exe\" -i -h"), "-i -h");
  EXPECT_STREQ(SkipProgramName("\"C:\\a b\\setup.exe\"-u"), "-u");
  EXPECT_STREQ(SkipProgramName("setup.exe   \t -u"), "-u");
  EXPECT_STREQ(SkipProgramName("setup.exe"), "");
  EXPECT_STREQ(SkipProgramName("\"unterminated -i"), "");
  EXPECT_STREQ(SkipProgramName(""), "");
  // Chars above 127 belong to the name, not to the blanks.
  EXPECT_STREQ(SkipProgramName("s\xE9tup.exe -h"), "-h");
}

}  // namespace
