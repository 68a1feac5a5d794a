// The procedures' fixed texts, as the window shows them and the registry keeps them.
#include "procedures/procedure_texts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "startup/cmdline.h"
#include "startup/version.h"

TEST(ProcedureTexts, FailureTextsEndWithTheWebSiteAndAFullStop) {
  struct Case {
    FailureText which;
    const char* expected;
  } cases[] = {
      {TEXT_INSTALL_PACKAGE,
       "Installation package might be corrupted\nthanks to download official package at\n"
       "https://www.halcyra.example."},
      {TEXT_INSTALL_FOLDER,
       "Failed to create target folder on system disk\nthanks to download official package at\n"
       "https://www.halcyra.example."},
      {TEXT_INSTALL_COPY,
       "Failed to copy file(s) to destination folder...\nInstallation package might be corrupted\n"
       "thanks to download official package at\nhttps://www.halcyra.example."},
      {TEXT_UNINSTALL_PACKAGE,
       "De-Installation package might be corrupted\nthanks to download official package at\n"
       "https://www.halcyra.example."},
      {TEXT_INSTALL_DRIVER,
       "Driver setup program could not be started...\nthanks to download official package at\n"
       "https://www.halcyra.example."},
  };
  for (const Case& c : cases) {
    char text[2048];
    ASSERT_EQ(ComposeFailureText(text, sizeof text, c.which), 1);
    EXPECT_STREQ(text, c.expected);
  }
}

TEST(ProcedureTexts, FailureTextThatDoesNotFitLeavesTheBufferAlone) {
  char text[40] = "untouched";
  EXPECT_EQ(ComposeFailureText(text, sizeof text, TEXT_INSTALL_COPY), 0);
  EXPECT_STREQ(text, "untouched");
  // Exactly the length of the text plus its terminator fits.
  char full[2048];
  ASSERT_EQ(ComposeFailureText(full, sizeof full, TEXT_INSTALL_PACKAGE), 1);
  const size_t need = strlen(full) + 1;
  char exact[512];
  ASSERT_LE(need, sizeof exact);
  EXPECT_EQ(ComposeFailureText(exact, need, TEXT_INSTALL_PACKAGE), 1);
  EXPECT_STREQ(exact, full);
  EXPECT_EQ(ComposeFailureText(exact, need - 1, TEXT_INSTALL_PACKAGE), 0);
}

TEST(ProcedureTexts, FileReasonLineLeavesOutWhatDoesNotFit) {
  char text[64] = "Failed.";
  EXPECT_EQ(AppendFileReason(text, sizeof text, "C:\\x.dll", "There is not enough space on the disk."), 1);
  EXPECT_STREQ(text, "Failed.\nC:\\x.dll: There is not enough space on the disk.");
  char small[24] = "Failed.";
  EXPECT_EQ(AppendFileReason(small, sizeof small, "C:\\x.dll", "There is not enough space on the disk."), 1);
  EXPECT_STREQ(small, "Failed.\nC:\\x.dll") << "the reason, not the file, is left out";
  EXPECT_EQ(AppendFileReason(small, sizeof small, "C:\\a\\much\\longer\\name.dll", ""), 0);
  EXPECT_STREQ(small, "Failed.\nC:\\x.dll");
}

TEST(ProcedureTexts, DriverSetupProgramsFollowTheWow64Flag) {
  EXPECT_STREQ(LineDriverSetupName(0), "HCLINE_Setup.exe");
  EXPECT_STREQ(LineDriverSetupName(1), "HCLINE_Setup_x64.exe");
  EXPECT_STREQ(AuxDriverSetupName(0), "HCQVAUX_Setup.exe");
  EXPECT_STREQ(AuxDriverSetupName(1), "HCQVAUX_Setup_x64.exe");
}

TEST(ProcedureTexts, UninstallKeyJoinsItsTwoPartsWithOneBackslash) {
  char key[1024];
  ASSERT_EQ(ComposeUninstallKey(key, sizeof key), 1);
  EXPECT_STREQ(key, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\HC:Quorvane {4C2E8B16-7305-2A91}");
  char small[16] = "x";
  EXPECT_EQ(ComposeUninstallKey(small, sizeof small), 0);
  EXPECT_STREQ(small, "x");
}

TEST(ProcedureTexts, FinalRemovalNoticeDependsOnlyOnExitCodeOne) {
  EXPECT_STREQ(UninstallFinalText(1), "Restart System to finish de-installation!");
  const char* other =
      "Quorvane is removed from the system\nBut you must Restart your computer before installing new version !";
  for (int32_t code : {0, 2, -1, -21, 257}) EXPECT_STREQ(UninstallFinalText(code), other) << code;
}

// The example package-manager manifest that the README shows: its version,
// product code and switches must be this program's, read from what it is built from.
TEST(ProcedureTexts, DeploymentManifestDescribesThisProgram) {
  std::ifstream file(QV_TESTDATA_DIR "/../../docs/deployment/installer-manifest.yaml");
  ASSERT_TRUE(file.is_open());
  std::map<std::string, std::vector<std::string>> values;  // every value of each key, in order
  for (std::string line; std::getline(file, line);) {
    line = line.substr(0, line.find(" #"));
    const size_t colon = line.find(": "), start = line.find_first_not_of(" -");
    if (colon == std::string::npos || start >= colon) continue;
    std::string value = line.substr(colon + 2);
    if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') value = value.substr(1, value.size() - 2);
    values[line.substr(start, colon - start)].push_back(value);
  }
  using Texts = std::vector<std::string>;
  EXPECT_EQ(values["PackageVersion"], Texts{SETUP_VERSION_TEXT});
  EXPECT_EQ(values["DisplayVersion"], Texts{SETUP_VERSION_TEXT});
  EXPECT_EQ(values["ProductCode"], (Texts{UNINSTALL_ENTRY_NAME, UNINSTALL_ENTRY_NAME}));
  for (const char* key : {"Silent", "SilentWithProgress"}) {
    ASSERT_EQ(values[key].size(), 1u) << key;
    SilentFlag = InstallFlag = UninstallFlag = 0;
    ParseCommandLine(values[key][0].c_str());
    EXPECT_TRUE(SilentFlag == 1 && InstallFlag == 1 && UninstallFlag == 0) << key << ": " << values[key][0];
  }
}
