// The removal of the product, on the window thread.
#include "procedures/uninstall.h"

#include "package/package.h"
#include "procedures/asio.h"
#include "procedures/driver_setup.h"
#include "procedures/install.h"
#include "procedures/procedure_texts.h"
#include "procedures/shortcuts.h"
#include "startup/cmdline.h"
#include "startup/environment.h"
#include "system/files.h"
#include "system/registry.h"
#include "system/run_log.h"
#include "system/text.h"
#include "window/commands.h"
#include "window/session_end.h"

void RemoveStartMenuEntries(const char* programs_folder) {
  char folder[1024];
  if (!StartMenuFolder(folder, sizeof folder, programs_folder)) return;
  for (int i = 0; i < SHORTCUT_COUNT; i++) DeleteShortcut(folder, SHORTCUT_REMOVAL_ORDER[i]);
  // Only when empty: the user can write here, so no tree is deleted, and what
  // else is in the folder is the user's. The parent "Halcyra" stays: other
  // products of the maker may use it.
  RemoveDirectoryA(folder);
}

void RemoveAutostart() {
  // An unknown Startup folder would make the name relative: the root of the current drive.
  const char* startup = GetStartupFolder();
  if (startup && startup[0]) DeleteShortcut(startup, AUTOSTART_SHORTCUT);
  WriteUserDword(PRODUCT_USER_KEY, "SysTray", 0);
  WriteUserDword(PRODUCT_USER_KEY, "SysTrayShowOnRun", 0);
}

static int DeleteAtRestart(void*, const wchar_t* path) {
  return MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

// Windows cannot delete a running program, so the uninstaller copy (and with it
// the folder) outlives the removal; the restart that the user is asked for finishes it.
// The running copy is known by the file held since start-up: it is scheduled
// at once, not waited on as a file that another program holds for a moment.
int ScheduleRemovalAtRestart(const char* folder, HANDLE own_file) {
  return DeleteFolderTreeOr(folder, DeleteAtRestart, nullptr, own_file);
}

int UninstallEntryPresent() {
  char key[1024];
  // The install writes this value last: without it the entry is one that a
  // killed install left half written.
  return ComposeUninstallKey(key, sizeof key) && MachineValueExists(key, "UninstallString");
}

// Runs one driver setup program in removal mode. 1 with its exit code in
// *exit_code; 0 when it could not be run (-605 or -604 in *exit_code).
static int RemoveDriver(SetupContext* context, const char* program, int32_t* exit_code) {
  *exit_code = RunDriverSetup(program, DRIVER_REMOVE_SWITCHES, context->install_folder);
  RunLogLine("%s %s: exit code %d", program, DRIVER_REMOVE_SWITCHES, *exit_code);
  return *exit_code != -605 && *exit_code != -604;
}

int32_t UninstallProcedure(SetupContext* context) {
  CopyText(context->error_caption, sizeof context->error_caption, UNINSTALL_ERROR_CAPTION);
  RunLogStep("Read Package");
  if (ReadPackageDirectory(context) != 0) return FailWithSite(context, -1, TEXT_UNINSTALL_PACKAGE);
  // Without a product folder no driver setup program can be written or run
  // (and a name joined to none would be relative): stopped as that would be.
  if (ResolveInstallFolder(context, PRODUCT_SUBFOLDER) != 0) return FailWithSite(context, -605, TEXT_UNINSTALL_DRIVER);

  // The installed copy may be gone or damaged: write the one from the package,
  // into the folder made anew when it was deleted by hand.
  RunLogStep("Remove Audio Driver");
  const char* line_driver = LineDriverSetupName(context->is_wow64);
  MakeFolderPath(context->install_folder);
  ExtractPackage(context, line_driver);

  // Nothing is removed without the drivers' own removal: the user is told.
  char program[2048];
  int32_t exit_code = -605;
  if (!JoinPath(program, sizeof program, context->install_folder, line_driver) ||
      !RemoveDriver(context, program, &exit_code))
    return FailWithSite(context, exit_code, TEXT_UNINSTALL_DRIVER);

  RunLogStep("Remove Aux Audio Driver");
  if (!JoinPath(program, sizeof program, context->install_folder, AuxDriverSetupName(context->is_wow64)))
    return FailWithSite(context, -605, TEXT_UNINSTALL_DRIVER);
  if (FileExists(program) == 1) {
    int32_t aux_exit_code = 0;
    if (!RemoveDriver(context, program, &aux_exit_code))
      return FailWithSite(context, aux_exit_code, TEXT_UNINSTALL_DRIVER);
    exit_code = aux_exit_code;
  }

  RunLogStep("Unregister ASIO Drivers");
  RegisterAsioDrivers(context, 0);
  RunLogStep("Delete Files");
  DeletePackageFiles(context);

  RunLogStep("Remove Shortcuts");
  char programs[1024];
  if (ReadUserPath(SHELL_FOLDERS_KEY, PROGRAMS_VALUE, programs, sizeof programs) == 1)
    RemoveStartMenuEntries(programs);
  const char* common_programs = GetCommonProgramsFolder();
  if (common_programs && common_programs[0]) RemoveStartMenuEntries(common_programs);

  RemoveAutostart();

  RunLogStep("Remove Folder");
  if (ResolveInstallFolder(context, PRODUCT_SUBFOLDER) == 0)
    ScheduleRemovalAtRestart(context->install_folder, context->setup_file);
  context->install_folder[0] = '\0';

  // Last, as the install writes it last: a removal stopped at any step before
  // leaves the entry, by which "-u" finds the product again and finishes.
  RunLogStep("Remove Uninstall Entry");
  char key[1024];
  if (ComposeUninstallKey(key, sizeof key)) RemoveRegistryTree(HKEY_LOCAL_MACHINE, key);

  // Every change is made: the box that asks for a restart must not refuse one.
  ReleaseSessionEnd();
  if (!SilentFlag)
    MessageBoxA(context->main_window, UninstallFinalText(exit_code), REBOOT_CAPTION, MB_SYSTEMMODAL | MB_ICONWARNING);
  return 0;
}
