// The log of a run, in the temporary folder of the user who started it. The
// program runs elevated, and that folder is the user's: whatever is at the
// log's name, or where the folder's own name points, may have been put there
// to make this program write somewhere else. So the folder is taken by a
// handle, refused when it is itself a link, and the log is made new inside
// that very folder by a name relative to the handle, never opening anything
// that was there before.
#include "system/run_log.h"

#include <windows.h>
#include <winternl.h>

#include <cstdarg>
#include <cstring>
#include <type_traits>

#include "system/text.h"

namespace {

// Bounded: a run that goes wrong over and over must not fill the user's disk.
constexpr DWORD LOG_LIMIT = 64 * 1024;
const char LOG_FULL_LINE[] = "(the log is full: what follows is left out)\r\n";
// A name already taken (another run in the same second, or something planted
// there) moves on to "... (2).log", up to this many; after that, no log.
constexpr int LOG_NAMES = 5;
constexpr NTSTATUS NAME_COLLISION = static_cast<NTSTATUS>(0xC0000035L);  // STATUS_OBJECT_NAME_COLLISION

// In ntdll since Windows NT, fetched at run time; typed from its prototype in winternl.h.
using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE file, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                                        PIO_STATUS_BLOCK io, PLARGE_INTEGER allocation, ULONG file_attributes,
                                        ULONG share, ULONG disposition, ULONG options, PVOID ea, ULONG ea_length);
static_assert(std::is_same<NtCreateFileFn, decltype(&::NtCreateFile)>::value, "NtCreateFile");

struct Log {
  CRITICAL_SECTION lock;
  bool opened;  // the one attempt to make the file was made
  HANDLE file;  // null when there is no log
  DWORD written;
  bool full;
  char step[128];  // the step under way; empty when none
  // Made during static initialisation, before any thread can log.
  Log() { InitializeCriticalSection(&lock); }
};
Log g_log;

// The temporary folder, held by a handle; null when it is a link (a junction
// or mount point can lead anywhere) or cannot be opened.
HANDLE OpenTempFolder() {
  wchar_t folder[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return nullptr;
  // The folder's own name, without the backslash after it, which would have
  // the folder's link followed to open what it leads to ("C:\" stays whole).
  if (length > 3 && folder[length - 1] == L'\\') folder[length - 1] = L'\0';
  HANDLE handle = CreateFileW(folder, FILE_READ_ATTRIBUTES | FILE_TRAVERSE | FILE_ADD_FILE | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  // Asked of the handle, which is what the log is made in; and of the name,
  // which is all that Wine reports a host's link by.
  BY_HANDLE_FILE_INFORMATION info;
  const DWORD by_name = GetFileAttributesW(folder);
  if (!GetFileInformationByHandle(handle, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || by_name == INVALID_FILE_ATTRIBUTES ||
      (by_name & FILE_ATTRIBUTE_REPARSE_POINT)) {
    CloseHandle(handle);
    return nullptr;
  }
  return handle;
}

// Makes the file name (ASCII) new in folder. Whatever holds the name already,
// a file, a hard link to someone's file or a link of any kind, is left alone.
// 1 with *file; 0 when the name is taken; -1 on any other failure.
int CreateNewIn(NtCreateFileFn create, HANDLE folder, const char* name, HANDLE* file) {
  wchar_t wide[64];
  size_t length = 0;
  for (; name[length]; length++) {
    if (length + 1 >= sizeof wide / sizeof wide[0]) return -1;
    wide[length] = static_cast<unsigned char>(name[length]);
  }
  UNICODE_STRING object_name;
  object_name.Buffer = wide;
  object_name.Length = static_cast<USHORT>(length * sizeof(wchar_t));
  object_name.MaximumLength = object_name.Length;
  OBJECT_ATTRIBUTES attributes;
  memset(&attributes, 0, sizeof attributes);
  attributes.Length = sizeof attributes;
  attributes.RootDirectory = folder;
  attributes.ObjectName = &object_name;
  attributes.Attributes = OBJ_CASE_INSENSITIVE;
  IO_STATUS_BLOCK io;
  memset(&io, 0, sizeof io);
  *file = nullptr;
  NTSTATUS status = create(file, GENERIC_WRITE | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                           FILE_SHARE_READ, FILE_CREATE,
                           FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
  if (status >= 0) return 1;
  *file = nullptr;
  return status == NAME_COLLISION ? 0 : -1;
}

HANDLE CreateLog() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");  // in every process; nothing is loaded
  auto create = ntdll ? reinterpret_cast<NtCreateFileFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")))
                      : nullptr;
  if (!create) return nullptr;
  HANDLE folder = OpenTempFolder();
  if (!folder) return nullptr;
  SYSTEMTIME now;
  GetLocalTime(&now);
  HANDLE file = nullptr;
  for (int n = 1; n <= LOG_NAMES; n++) {
    char name[64];
    wsprintfA(name, "Quorvane Setup %04d-%02d-%02d %02d.%02d.%02d", now.wYear, now.wMonth, now.wDay, now.wHour,
              now.wMinute, now.wSecond);
    char number[16];
    wsprintfA(number, n == 1 ? ".log" : " (%d).log", n);
    if (!AppendText(name, sizeof name, number)) break;
    int made = CreateNewIn(create, folder, name, &file);
    if (made != 0) break;
  }
  CloseHandle(folder);
  return file;
}

// The log, made at the first line; null when there is none. Under the lock.
HANDLE Ready() {
  if (!g_log.opened) {
    g_log.opened = true;
    g_log.file = CreateLog();
  }
  return g_log.file;
}

void Write(const void* bytes, DWORD count) {
  DWORD done = 0;
  WriteFile(g_log.file, bytes, count, &done, nullptr);
  g_log.written += count;
}

// One line, whole or not at all: the first that would pass the limit gives
// its place to one line that says so, and no line follows.
void PutLine(const char* lead, const char* text, size_t length) {
  if (!Ready() || g_log.full) return;
  const size_t lead_length = strlen(lead);
  if (g_log.written + lead_length + length + 2 + sizeof LOG_FULL_LINE > LOG_LIMIT) {
    g_log.full = true;
    Write(LOG_FULL_LINE, sizeof LOG_FULL_LINE - 1);
    return;
  }
  Write(lead, static_cast<DWORD>(lead_length));
  Write(text, static_cast<DWORD>(length));
  Write("\r\n", 2);
}

void PutStamped(const char* text) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char stamp[32];
  wsprintfA(stamp, "%02d:%02d:%02d.%03d  ", now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  PutLine(stamp, text, strlen(text));
}

// "<head><name><tail>" as one stamped line; a part that does not fit is left out.
void PutJoined(const char* head, const char* name, const char* tail) {
  char line[1024];
  line[0] = '\0';
  AppendText(line, sizeof line, head);
  AppendText(line, sizeof line, name);
  AppendText(line, sizeof line, tail);
  PutStamped(line);
}

void EndStep(const char* result) {
  if (!g_log.step[0]) return;
  char tail[48];
  wsprintfA(tail, ": %s", result);
  PutJoined("step ends: ", g_log.step, tail);
  g_log.step[0] = '\0';
}

// Each public function keeps the caller's last error: a log line placed
// between a call and the reading of its error must not change what is read.
struct Locked {
  DWORD error;
  Locked() : error(GetLastError()) { EnterCriticalSection(&g_log.lock); }
  ~Locked() {
    LeaveCriticalSection(&g_log.lock);
    SetLastError(error);
  }
};

}  // namespace

void RunLogLine(const char* format, ...) {
  Locked locked;
  char line[1024];  // wvsprintfA never writes more
  va_list args;
  va_start(args, format);
  int length = wvsprintfA(line, format, args);
  va_end(args);
  if (length < 0) return;
  PutStamped(line);
}

void RunLogStep(const char* name) {
  Locked locked;
  EndStep("done");
  if (!CopyText(g_log.step, sizeof g_log.step, name)) g_log.step[0] = '\0';
  PutJoined("step begins: ", name, "");
}

void RunLogFailure(int32_t code, const char* caption, const char* text) {
  Locked locked;
  char result[32];
  wsprintfA(result, "failed, %d", code);
  EndStep(result);
  PutJoined("failure box, caption \"", caption, "\", text:");
  // The text line by line, indented, as the box breaks it.
  for (const char* line = text; line;) {
    const char* end = strchr(line, '\n');
    size_t length = end ? static_cast<size_t>(end - line) : strlen(line);
    if (length > 0 && line[length - 1] == '\r') --length;
    PutLine("        ", line, length);
    line = end ? end + 1 : nullptr;
  }
}

void RunLogExit(int32_t code) {
  Locked locked;
  char result[32];
  wsprintfA(result, "exit code %d", code);
  EndStep(result);
  PutStamped(result);
  if (g_log.file) CloseHandle(g_log.file);
  g_log.file = nullptr;
}
