#include "procedures/procedure_texts.h"

#include <cstring>

#include "package/package_walk.h"
#include "system/text.h"

const char PRODUCT_WEB_SITE[] = "https://www.halcyra.example";

const char PRODUCT_USER_KEY[] = "Halcyra\\QuorVane";
const char SHELL_FOLDERS_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char PROGRAMS_VALUE[] = "Programs";
const char UNINSTALL_PARENT_KEY[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char UNINSTALL_ENTRY_NAME[] = "HC:Quorvane {4C2E8B16-7305-2A91}";

const char DRIVER_INSTALL_SWITCHES[] = "-h -i -H -n";
const char DRIVER_REMOVE_SWITCHES[] = "-h -u -H";
const char QUIET_UNINSTALL_SWITCHES[] = " -u -h";

const char INSTALL_ERROR_CAPTION[] = "Quorvane Installation Error";
const char UNINSTALL_ERROR_CAPTION[] = "Quorvane Uninstallation Error";
const char INSTALL_RESTART_TEXT[] =
    "Cannot install Quorvane Package now...\nYou must RESTART your system and then relaunch setup program";
const char REBOOT_CAPTION[] = "REBOOT YOUR SYSTEM";

const char STATUS_EXTRACT[] = "Extract Package";
const char STATUS_COPY[] = "Copy Files";
const char STATUS_LINE_DRIVER[] = "Install Audio Driver";
const char STATUS_AUX_DRIVER[] = "Install Aux Audio Driver";
const char STATUS_FINALIZE[] = "Finalize Installation";
const char STATUS_COMPLETED[] = "Installation Completed";

int ComposeFailureText(char* out, size_t cap, FailureText which) {
  const char* lead = "";
  switch (which) {
    case TEXT_INSTALL_PACKAGE:
      lead = "Installation package might be corrupted\nthanks to download official package at\n";
      break;
    case TEXT_INSTALL_FOLDER:
      lead = "Failed to create target folder on system disk\nthanks to download official package at\n";
      break;
    case TEXT_INSTALL_PENDING:
      lead =
          "Failed to cancel the deletion of target folder\nthat Windows will carry out at next restart...\n"
          "thanks to download official package at\n";
      break;
    case TEXT_INSTALL_COPY:
      lead =
          "Failed to copy file(s) to destination folder...\nInstallation package might be corrupted\n"
          "thanks to download official package at\n";
      break;
    case TEXT_INSTALL_ENTRY:
      lead = "Failed to register Quorvane among the installed programs...\nthanks to download official package at\n";
      break;
    case TEXT_UNINSTALL_PACKAGE:
      lead = "De-Installation package might be corrupted\nthanks to download official package at\n";
      break;
    case TEXT_INSTALL_DRIVER:
      lead = "Driver setup program could not be started...\nthanks to download official package at\n";
      break;
    case TEXT_UNINSTALL_DRIVER:
      lead = "De-Installation driver setup program could not be started...\nthanks to download official package at\n";
      break;
  }
  char text[512];
  if (!CopyText(text, sizeof text, lead) || !AppendText(text, sizeof text, PRODUCT_WEB_SITE) ||
      !AppendText(text, sizeof text, "."))
    return 0;
  return CopyText(out, cap, text);
}

const char* LineDriverSetupName(int32_t is_wow64) {
  return is_wow64 == 1 ? "HCLINE_Setup_x64.exe" : "HCLINE_Setup.exe";
}

const char* AuxDriverSetupName(int32_t is_wow64) {
  return is_wow64 == 1 ? "HCQVAUX_Setup_x64.exe" : "HCQVAUX_Setup.exe";
}

int ComposeUninstallKey(char* out, size_t cap) {
  char key[1024];
  // The backslash between the two parts is always there: the parent never ends in one.
  if (!CopyText(key, sizeof key, UNINSTALL_PARENT_KEY) || !AppendText(key, sizeof key, "\\") ||
      !AppendText(key, sizeof key, UNINSTALL_ENTRY_NAME))
    return 0;
  return CopyText(out, cap, key);
}

uint32_t EstimatedSizeKb(const PackageDirectory* directory, uint64_t copy_bytes) {
  uint64_t bytes = copy_bytes;
  for (uint32_t i = 0; i < PACKAGE_ENTRY_COUNT; ++i) bytes += directory->entries[i].size;
  const uint64_t kb = bytes / 1024 + (bytes % 1024 != 0);
  return kb > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(kb);
}

const char* UninstallFinalText(int32_t driver_exit_code) {
  if (driver_exit_code == 1) return "Restart System to finish de-installation!";
  return "Quorvane is removed from the system\nBut you must Restart your computer before installing new version !";
}

int AppendFileReason(char* text, size_t cap, const char* file, const char* reason) {
  char line[2048];
  if (!CopyText(line, sizeof line, "\n") || !AppendText(line, sizeof line, file)) return 0;
  const size_t bare = strlen(line);
  if (reason && reason[0] &&
      (!AppendText(line, sizeof line, ": ") || !AppendText(line, sizeof line, reason) ||
       strlen(text) + strlen(line) >= cap))
    line[bare] = '\0';
  return AppendText(text, cap, line);
}

const char UNINSTALLER_FALLBACK_NAME[] = "QuorvaneSetup.exe";

const char* UninstallerName(const char* own_name, const PackageDirectory* directory) {
  if (!own_name || !own_name[0]) return UNINSTALLER_FALLBACK_NAME;
  for (uint32_t i = 0; i < PACKAGE_ENTRY_COUNT; ++i) {
    char name[PACKAGE_NAME_SIZE + 1];
    CopyEntryName(&directory->entries[i], name);
    if (EntryNamesClash(name, own_name)) return UNINSTALLER_FALLBACK_NAME;
  }
  return own_name;
}
