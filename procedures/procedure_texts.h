// Names and texts of the install and uninstall procedures. Pure: no windows.h.
#pragma once
#include <cstddef>
#include <cstdint>

// Ends the failure texts of the install and one of the removal.
extern const char PRODUCT_WEB_SITE[];  // "https://www.halcyra.example"

extern const char PRODUCT_USER_KEY[];   // "Halcyra\\QuorVane", directly below HKEY_CURRENT_USER
extern const char SHELL_FOLDERS_KEY[];  // the per-user "Shell Folders" key
extern const char PROGRAMS_VALUE[];     // "Programs"
extern const char UNINSTALL_PARENT_KEY[];  // "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
extern const char UNINSTALL_ENTRY_NAME[];  // "HC:Quorvane {4C2E8B16-7305-2A91}"

extern const char DRIVER_INSTALL_SWITCHES[];  // "-h -i -H -n"
extern const char DRIVER_REMOVE_SWITCHES[];   // "-h -u -H"
// What the Uninstall entry's QuietUninstallString puts after the quoted uninstaller.
extern const char QUIET_UNINSTALL_SWITCHES[];  // " -u -h"

extern const char INSTALL_ERROR_CAPTION[];
extern const char UNINSTALL_ERROR_CAPTION[];
extern const char INSTALL_RESTART_TEXT[];  // a driver setup program asked for a restart
extern const char REBOOT_CAPTION[];        // "REBOOT YOUR SYSTEM"

// Status texts of the install, in the order it sets them.
extern const char STATUS_EXTRACT[];
extern const char STATUS_COPY[];
extern const char STATUS_LINE_DRIVER[];
extern const char STATUS_AUX_DRIVER[];
extern const char STATUS_FINALIZE[];
extern const char STATUS_COMPLETED[];

enum FailureText {
  TEXT_INSTALL_PACKAGE,    // -1 of the install
  TEXT_INSTALL_FOLDER,     // -3
  TEXT_INSTALL_PENDING,    // -3: the folder's deletion at the next restart cannot be withdrawn
  TEXT_INSTALL_COPY,       // -10
  TEXT_INSTALL_ENTRY,      // -10: the Uninstall entry could not be written
  TEXT_UNINSTALL_PACKAGE,  // -1 of the removal
  TEXT_INSTALL_DRIVER,     // -605 / -604: a driver setup program could not be started
  TEXT_UNINSTALL_DRIVER,   // -605 / -604 of the removal
};
// The failure text that ends with the web site's address and a full stop.
// 1 when it fit into out (cap bytes); otherwise out is left as it was.
int ComposeFailureText(char* out, size_t cap, FailureText which);
// Adds the line that names the file the machine refused and the system's own
// reason: "\n<file>: <reason>", or "\n<file>" without a reason. A reason that
// would not fit is left out, then the whole line. 1 when a line was added.
int AppendFileReason(char* text, size_t cap, const char* file, const char* reason);

struct PackageDirectory;
extern const char UNINSTALLER_FALLBACK_NAME[];  // "QuorvaneSetup.exe"
// The uninstaller copy's file name: the program's own, unless it has no exact
// ANSI form (empty) or is the name of a package entry, compared without
// letter case, which the copy would overwrite.
const char* UninstallerName(const char* own_name, const PackageDirectory* directory);

// "HCLINE_Setup.exe" / "HCLINE_Setup_x64.exe", by the WOW64 flag.
const char* LineDriverSetupName(int32_t is_wow64);
// "HCQVAUX_Setup.exe" / "HCQVAUX_Setup_x64.exe".
const char* AuxDriverSetupName(int32_t is_wow64);

// UNINSTALL_PARENT_KEY, a backslash and UNINSTALL_ENTRY_NAME. 1 when it fit.
int ComposeUninstallKey(char* out, size_t cap);

// The Uninstall entry's EstimatedSize: KB, rounded up, of the package's entries
// and the uninstaller copy of copy_bytes.
uint32_t EstimatedSizeKb(const PackageDirectory* directory, uint64_t copy_bytes);

// The closing notice of a removal, chosen by the remembered driver exit code.
const char* UninstallFinalText(int32_t driver_exit_code);
