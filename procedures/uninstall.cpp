// The removal of the product, on the window thread.
#include "procedures/uninstall.h"

#include "package/package.h"
#include "procedures/asio.h"
#include "procedures/install.h"
#include "procedures/procedure_texts.h"
#include "procedures/shortcuts.h"
#include "startup/cmdline.h"
#include "startup/environment.h"
#include "system/files.h"
#include "system/registry.h"
#include "system/text.h"
#include "window/commands.h"

void RemoveStartMenuEntries(const char* programs_folder) {
  char folder[1024];
  if (!JoinPath(folder, sizeof folder, programs_folder, START_MENU_SUBFOLDER)) return;
  for (int i = 0; i < SHORTCUT_COUNT; i++) DeleteShortcut(folder, SHORTCUT_REMOVAL_ORDER[i]);
  // The parent "Halcyra" stays: other products of the maker may use it.
  DeleteFolderTree(folder);
}

void RemoveAutostart() {
  DeleteShortcut(GetStartupFolder(), AUTOSTART_SHORTCUT);
  WriteUserDword(PRODUCT_USER_KEY, "SysTray", 0);
  WriteUserDword(PRODUCT_USER_KEY, "SysTrayShowOnRun", 0);
}

static int DeleteNowOrAtRestart(const char* path, int is_folder) {
  if (is_folder ? RemoveDirectoryA(path) : DeleteFileA(path)) return 1;
  return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? 1 : 0;
}

// Windows cannot delete a running program, so the uninstaller copy (and with it
// the folder) outlives the removal; the restart that the user is asked for finishes it.
int ScheduleRemovalAtRestart(const char* folder) {
  if (GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES) return 1;
  char pattern[2048];
  if (!JoinPath(pattern, sizeof pattern, folder, "*.*")) return 0;
  int ok = 1;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(pattern, &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (found.cFileName[0] == '.' &&
          (found.cFileName[1] == '\0' || (found.cFileName[1] == '.' && found.cFileName[2] == '\0')))
        continue;
      char path[2048];
      if (!JoinPath(path, sizeof path, folder, found.cFileName)) {
        ok = 0;
        continue;
      }
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        // Like DeleteFolderTree, folders whose names begin with a dot are never touched.
        if (found.cFileName[0] == '.') {
          ok = 0;
        } else if (!ScheduleRemovalAtRestart(path)) {
          ok = 0;
        }
      } else if (!DeleteNowOrAtRestart(path, 0)) {
        ok = 0;
      }
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  if (!DeleteNowOrAtRestart(folder, 1)) ok = 0;
  return ok;
}

// Runs one driver setup program in removal mode. 1 with its exit code in
// *exit_code; 0 when it could not be run (-605 or -604 in *exit_code).
static int RemoveDriver(SetupContext* context, const char* program, int32_t* exit_code) {
  *exit_code = RunDriverSetup(program, DRIVER_REMOVE_SWITCHES, context->install_folder);
  return *exit_code != -605 && *exit_code != -604;
}

int32_t UninstallProcedure(SetupContext* context) {
  CopyText(context->error_caption, sizeof context->error_caption, UNINSTALL_ERROR_CAPTION);
  if (ReadPackageDirectory(context) != 0) {
    char text[sizeof context->error_text];
    if (!ComposeFailureText(text, sizeof text, TEXT_UNINSTALL_PACKAGE)) text[0] = '\0';
    CopyText(context->error_text, sizeof context->error_text, text);
    PostMessageA(context->main_window, WM_COMMAND, ID_STATUS, STATUS_FAILED);
    return -1;
  }
  ResolveInstallFolder(context, PRODUCT_SUBFOLDER);

  // The installed copy may be gone or damaged: write the one from the package.
  const char* line_driver = LineDriverSetupName(context->is_wow64);
  ExtractPackage(context, line_driver);

  char program[2048];
  int32_t exit_code = -605;
  if (!JoinPath(program, sizeof program, context->install_folder, line_driver)) return -605;
  if (!RemoveDriver(context, program, &exit_code)) return exit_code;

  if (!JoinPath(program, sizeof program, context->install_folder, AuxDriverSetupName(context->is_wow64)))
    return -605;
  if (FileExists(program) == 1) {
    int32_t aux_exit_code = 0;
    if (!RemoveDriver(context, program, &aux_exit_code)) return aux_exit_code;
    exit_code = aux_exit_code;
  }

  RegisterAsioDrivers(context, 0);
  DeletePackageFiles(context);

  char programs[1024];
  if (ReadUserString(SHELL_FOLDERS_KEY, PROGRAMS_VALUE, programs, sizeof programs) == 1)
    RemoveStartMenuEntries(programs);
  const char* common_programs = GetCommonProgramsFolder();
  if (common_programs && common_programs[0]) RemoveStartMenuEntries(common_programs);

  RemoveAutostart();

  char key[1024];
  if (ComposeUninstallKey(key, sizeof key)) RemoveRegistryTree(HKEY_LOCAL_MACHINE, key);

  ResolveInstallFolder(context, PRODUCT_SUBFOLDER);
  DeleteFolderTree(context->install_folder);
  ScheduleRemovalAtRestart(context->install_folder);
  context->install_folder[0] = '\0';

  if (!SilentFlag)
    MessageBoxA(context->main_window, UninstallFinalText(exit_code), REBOOT_CAPTION, MB_SYSTEMMODAL | MB_ICONWARNING);
  return 0;
}
