// The install procedure and the worker thread it runs on.
#include "procedures/install.h"

#include <objbase.h>

#include "package/package.h"
#include "procedures/asio.h"
#include "procedures/driver_setup.h"
#include "procedures/procedure_texts.h"
#include "procedures/shortcuts.h"
#include "startup/environment.h"
#include "system/ansi_path.h"
#include "startup/startup.h"
#include "system/files.h"
#include "system/registry.h"
#include "system/run_log.h"
#include "system/text.h"
#include "system/wait.h"
#include "window/commands.h"

// status_text is rewritten by the worker while the window may be painting it.
// A critical section, which every Windows we run on has; it is made during
// static initialisation, so it exists before any worker or window can use it,
// and lives as long as the process.
namespace {
struct StatusLock {
  CRITICAL_SECTION section;
  StatusLock() { InitializeCriticalSection(&section); }
};
StatusLock g_status_lock;
}  // namespace

void SetStatusText(SetupContext* context, const char* text) {
  EnterCriticalSection(&g_status_lock.section);
  if (!CopyText(context->status_text, sizeof context->status_text, text)) context->status_text[0] = '\0';
  LeaveCriticalSection(&g_status_lock.section);
  RunLogStep(text);
}

void CopyStatusText(SetupContext* context, char* out, size_t out_size) {
  if (out_size == 0) return;
  EnterCriticalSection(&g_status_lock.section);
  size_t i = 0;
  // A short buffer gets the start of the text rather than nothing.
  for (; i + 1 < out_size && i < sizeof context->status_text && context->status_text[i]; i++)
    out[i] = context->status_text[i];
  out[i] = '\0';
  LeaveCriticalSection(&g_status_lock.section);
}

int32_t WorkerBusy(const SetupContext* context) {
  return __atomic_load_n(&context->worker_busy, __ATOMIC_ACQUIRE);
}

// Stores the text before the post, so the window reads it whole.
static int32_t Fail(SetupContext* context, int32_t code, const char* text) {
  CopyText(context->error_text, sizeof context->error_text, text);
  RunLogFailure(code, context->error_caption, context->error_text);
  PostOutcome(context->main_window, STATUS_FAILED);
  return code;
}

int32_t FailWithSite(SetupContext* context, int32_t code, FailureText which) {
  char text[sizeof context->error_text];
  if (!ComposeFailureText(text, sizeof text, which)) text[0] = '\0';
  return Fail(context, code, text);
}

// The machine's own reason for error, as the system words it; empty when it
// has no text or the text would not fit (never a reason cut short).
static void SystemReason(uint32_t error, char* out, DWORD cap) {
  DWORD n = error ? FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                   out, cap, nullptr)
                  : 0;
  if (n >= cap) n = 0;
  while (n > 0 && (out[n - 1] == '\r' || out[n - 1] == '\n' || out[n - 1] == ' ')) --n;
  out[n] = '\0';
}

// A failure caused by the machine rather than the package (a file in use, a
// full disk): the text says which file, and why, under the usual lines.
static int32_t FailWriting(SetupContext* context, int32_t code, FailureText which, const FileFailure& failure) {
  char text[sizeof context->error_text];
  if (!ComposeFailureText(text, sizeof text, which)) text[0] = '\0';
  if (failure.path[0]) {
    char reason[512];
    SystemReason(failure.error, reason, sizeof reason);
    AppendFileReason(text, sizeof text, failure.path, reason);
  }
  return Fail(context, code, text);
}

// Runs one driver setup program from the install folder. 1: go on; 0: stop
// with *result (-605, -604 or -21), posted like every other failure.
static int InstallDriver(SetupContext* context, const char* program_name, int32_t* result) {
  char program[2048];
  int32_t exit_code = -605;
  if (JoinPath(program, sizeof program, context->install_folder, program_name))
    exit_code = RunDriverSetup(program, DRIVER_INSTALL_SWITCHES, context->install_folder);
  RunLogLine("%s %s: exit code %d", program_name, DRIVER_INSTALL_SWITCHES, exit_code);
  if (exit_code == -605 || exit_code == -604) {
    // Unposted, the window would go back to its button without a word.
    *result = FailWithSite(context, exit_code, TEXT_INSTALL_DRIVER);
    return 0;
  }
  if (exit_code == 1) {
    *result = Fail(context, -21, INSTALL_RESTART_TEXT);
    return 0;
  }
  return 1;
}

// The six shortcuts in <programs folder>\Halcyra\Quorvane; none through a link
// there, asked again once the folders are made.
static void CreateShortcutSet(SetupContext* context, const char* programs_folder) {
  char folder[1024];
  if (!StartMenuFolder(folder, sizeof folder, programs_folder)) return;
  if (MakeFolderPath(folder) != 1 || !StartMenuFolder(folder, sizeof folder, programs_folder)) return;
  for (int i = 0; i < SHORTCUT_COUNT; i++) {
    char target[2048];
    if (!JoinPath(target, sizeof target, context->install_folder, SHORTCUT_INSTALL_ORDER[i].target_file)) continue;
    CreateShortcut(target, folder, SHORTCUT_INSTALL_ORDER[i].display_name, nullptr);
  }
}

// The install stops, before it changes anything, without the program's own
// file proven ours at start-up: the uninstaller copy that the Uninstall entry
// runs elevated could be another program. The box names the file and why.
static int32_t FailOwnFile(SetupContext* context) {
  FileFailure failure = {};
  wchar_t own[1024];
  char path[1024];
  DWORD n = GetModuleFileNameW(context->instance, own, sizeof own / sizeof own[0]);
  if (n == 0 || n >= sizeof own / sizeof own[0] || !AnsiPathFromWide(own, path, sizeof path))
    CopyText(path, sizeof path, context->setup_name);
  NoteFileFailure(&failure, path, context->setup_file_error);
  return FailWriting(context, -1, TEXT_INSTALL_PACKAGE, failure);
}

// Whether name, in folder, is the name of nothing else: free, or the long
// name of what stands there. A short (8.3) alias such as QUOR~4CY.EXE may be
// that of a product program, which the copy would replace.
static int NamesNothingElse(const char* folder, const char* name) {
  char path[2048];
  wchar_t wide_path[2048];
  wchar_t wide_name[MAX_PATH];
  if (!JoinPath(path, sizeof path, folder, name) ||
      !WideFromAnsi(path, wide_path, sizeof wide_path / sizeof wide_path[0]) || !WideFromAnsi(name, wide_name, MAX_PATH))
    return 0;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(wide_path, &found);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  FindClose(find);
  return SameFileName(found.cFileName, wide_name);
}

// Copies the running setup program, from the file held since start-up (never
// by its path, which others may have changed since), into the install folder.
// 1 when dest holds a whole copy.
static int CopyUninstaller(SetupContext* context, char* dest, size_t dest_size, FileFailure* failure) {
  const char* name = UninstallerName(context->setup_name, &context->package_directory);
  if (name != UNINSTALLER_FALLBACK_NAME && !NamesNothingElse(context->install_folder, name))
    name = UNINSTALLER_FALLBACK_NAME;
  if (!JoinPath(dest, dest_size, context->install_folder, name)) {
    NoteFileFailure(failure, name, ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  return CopyWholeFile(context->setup_file, dest, failure);
}

// The Windows Uninstall entry of the product, whose uninstaller copy is at
// uninstaller. 1 when every value was written.
static int WriteUninstallEntry(SetupContext* context, const char* uninstaller) {
  char key[1024];
  // Quoted: unquoted, "C:\Program Files\..." could start C:\Program.exe.
  char command[2048 + 2] = "\"";
  char quiet[sizeof command + 16];
  char icon[2048 + 2];
  // The copy is a whole copy of the file held since start-up: its size is that file's.
  DWORD size_high = 0;
  SetLastError(NO_ERROR);
  DWORD size_low = GetFileSize(context->setup_file, &size_high);
  if (size_low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) size_low = size_high = 0;
  const uint32_t size_kb =
      EstimatedSizeKb(&context->package_directory, (static_cast<uint64_t>(size_high) << 32) | size_low);
  if (!ComposeUninstallKey(key, sizeof key) || !AppendText(command, sizeof command, uninstaller) ||
      !AppendText(command, sizeof command, "\"") || !CopyText(quiet, sizeof quiet, command) ||
      !AppendText(quiet, sizeof quiet, QUIET_UNINSTALL_SWITCHES) || !CopyText(icon, sizeof icon, uninstaller) ||
      !AppendText(icon, sizeof icon, ",0"))
    return 0;
  return WriteMachineString(key, "DisplayName", "Quorvane, The Soft Mixing Desk") &&
         WriteMachineString(key, "Publisher", "Halcyra Software") &&
         WriteMachineString(key, "DisplayVersion", SETUP_VERSION) && WriteMachineString(key, "DisplayIcon", icon) &&
         WriteMachineString(key, "InstallLocation", context->install_folder) &&
         WriteMachineDword(key, "EstimatedSize", size_kb) &&
         WriteMachineString(key, "QuietUninstallString", quiet) &&
         WriteMachineString(key, "URLInfoAbout", PRODUCT_WEB_SITE) &&
         // Nothing but removal: the copy offers no change or repair.
         WriteMachineDword(key, "NoModify", 1) && WriteMachineDword(key, "NoRepair", 1) &&
         // Last: the entry counts only once this value is there.
         WriteMachineString(key, "UninstallString", command);
}

int32_t InstallProcedure(SetupContext* context) {
  CopyText(context->error_caption, sizeof context->error_caption, INSTALL_ERROR_CAPTION);

  SetStatusText(context, STATUS_EXTRACT);
  if (ReadPackageDirectory(context) != 0) return FailWithSite(context, -1, TEXT_INSTALL_PACKAGE);
  if (!context->setup_file) return FailOwnFile(context);

  SetStatusText(context, STATUS_COPY);
  FileFailure failure = {};
  if (ResolveInstallFolder(context, PRODUCT_SUBFOLDER, &failure) != 0)
    return FailWriting(context, -3, TEXT_INSTALL_FOLDER, failure);
  // A removal not yet finished by a restart would delete what is written now.
  if (!WithdrawRestartDeletions(context->install_folder)) return FailWithSite(context, -3, TEXT_INSTALL_PENDING);
  if (MakeFolderPath(context->install_folder, &failure) != 1)
    return FailWriting(context, -3, TEXT_INSTALL_FOLDER, failure);
  if (ExtractPackage(context, nullptr, &failure) != 0) return FailWriting(context, -10, TEXT_INSTALL_COPY, failure);

  int32_t result = 0;
  SetStatusText(context, STATUS_LINE_DRIVER);
  if (!InstallDriver(context, LineDriverSetupName(context->is_wow64), &result)) return result;
  SetStatusText(context, STATUS_AUX_DRIVER);
  if (!InstallDriver(context, AuxDriverSetupName(context->is_wow64), &result)) return result;

  RegisterAsioDrivers(context, 1);

  WriteUserDword(PRODUCT_USER_KEY, "install", 0);
  WriteUserDword(PRODUCT_USER_KEY, "nbLaunch", 0);
  WriteUserDword(PRODUCT_USER_KEY, "done", 0);

  SetStatusText(context, STATUS_FINALIZE);
  char programs[1024];
  if (ReadUserPath(SHELL_FOLDERS_KEY, PROGRAMS_VALUE, programs, sizeof programs) == 1)
    CreateShortcutSet(context, programs);
  const char* common_programs = GetCommonProgramsFolder();
  if (common_programs && common_programs[0]) CreateShortcutSet(context, common_programs);

  // Without a whole uninstaller the entry would offer a removal that cannot run.
  char uninstaller[2048];
  if (!CopyUninstaller(context, uninstaller, sizeof uninstaller, &failure))
    return FailWriting(context, -10, TEXT_INSTALL_COPY, failure);
  // An entry the machine refused is no install: Windows would list nothing to
  // remove it by, and the rerun of -i that finishes it needs to be asked for.
  if (!WriteUninstallEntry(context, uninstaller)) return FailWithSite(context, -10, TEXT_INSTALL_ENTRY);

  SetStatusText(context, STATUS_COMPLETED);
  PostOutcome(context->main_window, STATUS_DONE);
  return 0;
}

DWORD WINAPI InstallWorkerThread(LPVOID parameter) {
  SetupContext* context = static_cast<SetupContext*>(parameter);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
  HRESULT com = CoInitialize(nullptr);
  // The result is stored before the busy flag drops; both are full barriers.
  InterlockedExchange(&context->worker_result, InstallProcedure(context));
  if (com == S_OK) CoUninitialize();
  InterlockedExchange(&context->worker_busy, 0);
  return 0;
}

int32_t StartInstallWorker(SetupContext* context, int32_t wait) {
  InterlockedExchange(&context->worker_result, -1);
  InterlockedExchange(&context->worker_busy, 1);
  // An earlier worker's handle, when the window did not wait for that one.
  CloseHandleIfSet(context->worker_thread);
  context->worker_thread = CreateThread(nullptr, 0, InstallWorkerThread, context, 0, &context->worker_thread_id);
  if (!context->worker_thread) {
    // No worker will ever clear it, and the window would refuse to close.
    InterlockedExchange(&context->worker_busy, 0);
    return -1;
  }
  if (wait != 1) return 0;

  // The window thread waits here: its window must still answer what the
  // worker's children send to every window.
  WaitAnsweringSentMessages(context->worker_thread, INFINITE);
  CloseHandle(context->worker_thread);
  int32_t result = InterlockedCompareExchange(&context->worker_result, 0, 0);
  context->worker_thread = nullptr;
  return result;
}
