// ASIO driver registration with the real stand-ins: the six driver DLLs and
// "hcregsvr64.exe", copied into an install folder of the prefix. The stand-ins
// append one line per call to the log named by QV_STANDIN_LOG, so the order of
// calls and the exact command lines can be checked.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <tlhelp32.h>

#include <cstring>
#include <string>
#include <vector>

#include "procedures/asio.h"
#include "product/asio/standins.h"

namespace {

const char INSTALL[] = "C:\\Program Files\\Halcyra Test\\Quorvane";
const char DEPS[] = "C:\\qv asio deps";
const char LOG[] = "C:\\qv-asio-test.log";

std::string ExeFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s = path;
  return s.substr(0, s.rfind('\\'));
}
std::string ProductDir() { return ExeFolder() + "\\..\\product"; }
// The x86_64 build, home of the 64-bit stand-ins: this very build on x86_64, the
// sibling one for i686 (scripts/build lays the builds side by side).
std::string X64Dir() {
#if defined(_WIN64)
  return ExeFolder() + "\\..";
#else
  return ExeFolder() + "\\..\\..\\x64";
#endif
}
std::string TestDllDir() { return ExeFolder() + "\\asio"; }
std::string InInstall(const std::string& file) { return std::string(INSTALL) + "\\" + file; }

void MakeFolders(const std::string& path) {
  for (size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  }
}

void WipeFolder(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      DeleteFileA((folder + "\\" + found.cFileName).c_str());
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

std::vector<std::string> LogLines() {
  std::vector<std::string> lines;
  HANDLE file = CreateFileA(LOG, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lines;
  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) text.append(chunk, got);
  CloseHandle(file);
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

const AsioStandin& Standin(const char* stem) {
  for (const AsioStandin& s : ASIO_STANDINS) {
    if (strcmp(s.stem, stem) == 0) return s;
  }
  ADD_FAILURE() << "no stand-in " << stem;
  return ASIO_STANDINS[0];
}

// A 64-bit DLL writes the 64-bit registry view; one of our own width writes ours.
REGSAM ViewOf(const char* stem) {
  size_t n = strlen(stem);
  return n > 2 && strcmp(stem + n - 2, "64") == 0 ? KEY_WOW64_64KEY : 0;
}

std::string ReadString(HKEY root, const std::string& path, const char* name, REGSAM view) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return "";
  char value[MAX_PATH] = "";
  DWORD type = 0;
  DWORD size = sizeof(value) - 1;
  LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS && type == REG_SZ ? value : "";
}

// The server path that the stand-in's COM class names, "" when not registered.
std::string ClassServer(const char* stem) {
  return ReadString(HKEY_CLASSES_ROOT, std::string("CLSID\\") + Standin(stem).clsid + "\\InprocServer32",
                    nullptr, ViewOf(stem));
}

bool AsioEntry(const char* stem) {
  return ReadString(HKEY_LOCAL_MACHINE, std::string("SOFTWARE\\ASIO\\") + stem, "CLSID", ViewOf(stem)) ==
         Standin(stem).clsid;
}

// Registered as the stand-in defines it: its class names the DLL in the install folder.
bool Registered(const char* stem) {
  std::string server = ClassServer(stem);
  bool has_class = !server.empty();
  if (has_class) EXPECT_STRCASEEQ(server.c_str(), InInstall(std::string(stem) + ".dll").c_str());
  EXPECT_EQ(has_class, AsioEntry(stem)) << stem;
  return has_class;
}

std::vector<DWORD> RunningRegsvr64() {
  std::vector<DWORD> ids;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snap, &entry); more; more = Process32Next(snap, &entry)) {
    if (lstrcmpiA(entry.szExeFile, "hcregsvr64.exe") == 0) ids.push_back(entry.th32ProcessID);
  }
  CloseHandle(snap);
  return ids;
}

void EndProcess(DWORD id) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
  if (!process) return;
  TerminateProcess(process, 99);
  WaitForSingleObject(process, 5000);
  CloseHandle(process);
}

// Runs the registration program as the setup program does; returns its exit code.
DWORD RunRegsvr64(const std::string& command_line) {
  std::string program = InInstall("hcregsvr64.exe");
  std::vector<char> command(command_line.begin(), command_line.end());
  command.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                      nullptr, &startup, &process)) {
    ADD_FAILURE() << "hcregsvr64.exe did not start";
    return 1000;
  }
  CloseHandle(process.hThread);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  DWORD code = 1000;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  return code;
}

double MillisecondsSince(LARGE_INTEGER start) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t;
}

class Asio : public ::testing::Test {
 protected:
  void SetUp() override {
    // As the setup program does at start: no DLL search in the current or the
    // program's folder, System32 only.
    ASSERT_TRUE(SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32));
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    Clean();
    MakeFolders(INSTALL);
    for (const AsioStandin& s : ASIO_STANDINS) {
      Install(ViewOf(s.stem) ? X64Dir() + "\\product" : ProductDir(), std::string(s.stem) + ".dll");
    }
    Install(X64Dir() + "\\product", "hcregsvr64.exe");
    ASSERT_TRUE(SetEnvironmentVariableA(QV_ENV_STANDIN_LOG, LOG));
    memset(&context_, 0, sizeof(context_));
    strcpy(context_.install_folder, INSTALL);
  }
  void TearDown() override {
    Clean();
    CoUninitialize();
  }
  void Clean() {
    SetEnvironmentVariableA(QV_ENV_ASIO_FAIL, nullptr);
    SetEnvironmentVariableA(QV_ENV_REGSVR64_HANG, nullptr);
    SetEnvironmentVariableA("QV_ASIO_HELPER_LOADED", nullptr);
    DeleteFileA(Planted().c_str());
    for (DWORD id : RunningRegsvr64()) EndProcess(id);
    for (const AsioStandin& s : ASIO_STANDINS) {
      std::string clsid = std::string("CLSID\\") + s.clsid;
      RegDeleteKeyExA(HKEY_CLASSES_ROOT, (clsid + "\\InprocServer32").c_str(), ViewOf(s.stem), 0);
      RegDeleteKeyExA(HKEY_CLASSES_ROOT, clsid.c_str(), ViewOf(s.stem), 0);
      RegDeleteKeyExA(HKEY_LOCAL_MACHINE, (std::string("SOFTWARE\\ASIO\\") + s.stem).c_str(), ViewOf(s.stem), 0);
    }
    WipeFolder(INSTALL);
    WipeFolder(DEPS);
    DeleteFileA(LOG);
  }
  static void Install(const std::string& from_dir, const std::string& file,
                      const std::string& as = std::string()) {
    std::string to = InInstall(as.empty() ? file : as);
    ASSERT_TRUE(CopyFileA((from_dir + "\\" + file).c_str(), to.c_str(), FALSE)) << from_dir << "\\" << file;
  }
  // A copy of the driver's helper beside this program, which stands for the
  // setup program's folder.
  static std::string Planted() { return ExeFolder() + "\\qvasiohelper.dll"; }
  static std::string HelperLoadedFrom() {
    char path[MAX_PATH] = "";
    GetEnvironmentVariableA("QV_ASIO_HELPER_LOADED", path, MAX_PATH);
    return path;
  }
  // The registration program's log line: its command line, and the folder it
  // was started in, which must be the install folder.
  static std::string Run64(const char* prefix, const char* stem) {
    return std::string("hcregsvr64 [") + prefix + INSTALL + "\\" + stem + ".dll] in " + INSTALL;
  }
  static SetupContext context_;
};
SetupContext Asio::context_;

TEST_F(Asio, Without64BitWindowsOnlyTheInProcessCallsHappen) {
  context_.is_wow64 = 0;
  RegisterAsioDrivers(&context_, 1);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"hcqv_asiodriver register ok", "hcqvaux_asiodriver register ok",
                                                  "hcqvins_asiodriver register ok"}));
  EXPECT_TRUE(Registered("hcqv_asiodriver"));
  EXPECT_TRUE(Registered("hcqvaux_asiodriver"));
  EXPECT_TRUE(Registered("hcqvins_asiodriver"));
  EXPECT_FALSE(Registered("hcqv_asiodriver64"));

  DeleteFileA(LOG);
  RegisterAsioDrivers(&context_, 0);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"hcqv_asiodriver unregister ok", "hcqvaux_asiodriver unregister ok",
                                                  "hcqvins_asiodriver unregister ok"}));
  for (const AsioStandin& s : ASIO_STANDINS) EXPECT_FALSE(Registered(s.stem)) << s.stem;
}

TEST_F(Asio, On64BitWindowsTheRegistrationProgramFollowsInRowOrder) {
  context_.is_wow64 = 1;
  RegisterAsioDrivers(&context_, 1);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "hcqv_asiodriver register ok",
                            "hcqvaux_asiodriver register ok",
                            "hcqvins_asiodriver register ok",
                            Run64(" -f", "hcqv_asiodriver64"),
                            "hcqv_asiodriver64 register ok",
                            Run64(" -f", "hcqvaux_asiodriver64"),
                            "hcqvaux_asiodriver64 register ok",
                            Run64(" -f", "hcqvins_asiodriver64"),
                            "hcqvins_asiodriver64 register ok",
                        }));
  for (const AsioStandin& s : ASIO_STANDINS) EXPECT_TRUE(Registered(s.stem)) << s.stem;

  DeleteFileA(LOG);
  RegisterAsioDrivers(&context_, 0);
  // " -u " then " -f": two blanks between the u and the second minus.
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "hcqv_asiodriver unregister ok",
                            "hcqvaux_asiodriver unregister ok",
                            "hcqvins_asiodriver unregister ok",
                            Run64(" -u  -f", "hcqv_asiodriver64"),
                            "hcqv_asiodriver64 unregister ok",
                            Run64(" -u  -f", "hcqvaux_asiodriver64"),
                            "hcqvaux_asiodriver64 unregister ok",
                            Run64(" -u  -f", "hcqvins_asiodriver64"),
                            "hcqvins_asiodriver64 unregister ok",
                        }));
  for (const AsioStandin& s : ASIO_STANDINS) EXPECT_FALSE(Registered(s.stem)) << s.stem;
}

TEST_F(Asio, AFolderEndingInABackslashGetsNoSecondOne) {
  context_.is_wow64 = 1;
  strcat(context_.install_folder, "\\");
  RegisterAsioDrivers(&context_, 1);
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[3], Run64(" -f", "hcqv_asiodriver64"));
  EXPECT_TRUE(Registered("hcqv_asiodriver"));
  EXPECT_TRUE(Registered("hcqvins_asiodriver64"));
}

TEST_F(Asio, AFailingRowOnlyAffectsItself) {
  context_.is_wow64 = 1;
  // Row 1: both DLLs missing. Row 2: the 32-bit DLL lacks the entry point, the
  // 64-bit one fails. Row 3: the 32-bit one fails, the 64-bit one works.
  ASSERT_TRUE(DeleteFileA(InInstall("hcqv_asiodriver.dll").c_str()));
  ASSERT_TRUE(DeleteFileA(InInstall("hcqv_asiodriver64.dll").c_str()));
  Install(TestDllDir(), "noentry.dll", "hcqvaux_asiodriver.dll");
  ASSERT_TRUE(SetEnvironmentVariableA(QV_ENV_ASIO_FAIL, "hcqvaux_asiodriver64.dll;HCQVINS_ASIODRIVER.DLL"));

  RegisterAsioDrivers(&context_, 1);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "hcqvins_asiodriver register failed",
                            Run64(" -f", "hcqv_asiodriver64"),
                            Run64(" -f", "hcqvaux_asiodriver64"),
                            "hcqvaux_asiodriver64 register failed",
                            Run64(" -f", "hcqvins_asiodriver64"),
                            "hcqvins_asiodriver64 register ok",
                        }));
  for (const AsioStandin& s : ASIO_STANDINS) {
    EXPECT_EQ(Registered(s.stem), strcmp(s.stem, "hcqvins_asiodriver64") == 0) << s.stem;
  }
}

TEST_F(Asio, AHangingRegistrationProgramIsLeftAfterTenSecondsAndTheNextRowFollows) {
  context_.is_wow64 = 1;
  ASSERT_TRUE(SetEnvironmentVariableA(QV_ENV_REGSVR64_HANG, "hcqvaux_asiodriver64.dll"));
  LARGE_INTEGER start = Now();
  RegisterAsioDrivers(&context_, 1);
  double elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, REGSVR64_WAIT_MS - 50.0);
  EXPECT_LT(elapsed, REGSVR64_WAIT_MS + 15000.0);  // not the hang's full minute

  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[5], Run64(" -f", "hcqvaux_asiodriver64"));
  EXPECT_EQ(lines[6], Run64(" -f", "hcqvins_asiodriver64"));
  EXPECT_EQ(lines[7], "hcqvins_asiodriver64 register ok");
  EXPECT_FALSE(Registered("hcqvaux_asiodriver64"));
  EXPECT_TRUE(Registered("hcqvins_asiodriver64"));

  // Nobody ended it: the hanging run is still there.
  std::vector<DWORD> running = RunningRegsvr64();
  ASSERT_EQ(running.size(), 1u);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, running[0]);
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(WaitForSingleObject(process, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(process);
}

TEST_F(Asio, RegisterDllResultsAndThePauseOnlyAfterSuccess) {
  std::string dll = InInstall("hcqv_asiodriver.dll");
  // Keep the DLL loaded so that the timings measure the calls, not the loader.
  HMODULE held = LoadLibraryA(dll.c_str());
  ASSERT_NE(held, nullptr);

  LARGE_INTEGER start = Now();
  EXPECT_EQ(RegisterDll(dll.c_str()), 1);
  EXPECT_GE(MillisecondsSince(start), 49.0);
  EXPECT_TRUE(Registered("hcqv_asiodriver"));

  ASSERT_TRUE(SetEnvironmentVariableA(QV_ENV_ASIO_FAIL, "hcqv_asiodriver.dll"));
  start = Now();
  EXPECT_EQ(RegisterDll(dll.c_str()), 0);
  EXPECT_LT(MillisecondsSince(start), 45.0);
  // Unregistering reports the call, not what the DLL answered; the pause follows.
  start = Now();
  EXPECT_EQ(UnregisterDll(dll.c_str()), 1);
  EXPECT_GE(MillisecondsSince(start), 49.0);
  EXPECT_TRUE(Registered("hcqv_asiodriver"));  // its DllUnregisterServer refused

  SetEnvironmentVariableA(QV_ENV_ASIO_FAIL, nullptr);
  EXPECT_EQ(UnregisterDll(dll.c_str()), 1);
  EXPECT_FALSE(Registered("hcqv_asiodriver"));
  FreeLibrary(held);

  EXPECT_EQ(RegisterDll(InInstall("absent.dll").c_str()), 0);
  EXPECT_EQ(UnregisterDll(InInstall("absent.dll").c_str()), 0);
  std::string no_entry = TestDllDir() + "\\noentry.dll";
  EXPECT_EQ(RegisterDll(no_entry.c_str()), 0);
  EXPECT_EQ(UnregisterDll(no_entry.c_str()), 0);
  // The library was released on the way out.
  EXPECT_EQ(GetModuleHandleA(no_entry.c_str()), nullptr);
}

// The driver's own folder and System32 only: never this program's folder,
// where anyone may have put a DLL beside a downloaded setup program.
TEST_F(Asio, ADllBesideTheDriverIsFoundButNotOneBesideThisProgram) {
  MakeFolders(DEPS);
  std::string driver = std::string(DEPS) + "\\needs_helper.dll";
  ASSERT_TRUE(CopyFileA((TestDllDir() + "\\needs_helper.dll").c_str(), driver.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA((TestDllDir() + "\\qvasiohelper.dll").c_str(), Planted().c_str(), FALSE));
  EXPECT_EQ(RegisterDll(driver.c_str()), 0);
  EXPECT_EQ(UnregisterDll(driver.c_str()), 0);
  EXPECT_EQ(HelperLoadedFrom(), "") << "the planted DLL was loaded";

  std::string beside = std::string(DEPS) + "\\qvasiohelper.dll";
  ASSERT_TRUE(CopyFileA((TestDllDir() + "\\qvasiohelper.dll").c_str(), beside.c_str(), FALSE));
  // The plain load does not look beside the DLL any more: the case to get right.
  HMODULE plain = LoadLibraryA(driver.c_str());
  EXPECT_EQ(plain, nullptr);
  if (plain) FreeLibrary(plain);

  EXPECT_EQ(RegisterDll(driver.c_str()), 1);
  EXPECT_STRCASEEQ(HelperLoadedFrom().c_str(), beside.c_str());
  EXPECT_EQ(UnregisterDll(driver.c_str()), 1);
}

TEST_F(Asio, RegistrationProgramExitCodes) {
  std::string dll = InInstall("hcqv_asiodriver64.dll");
  EXPECT_EQ(RunRegsvr64(" -f" + dll), 0u);
  EXPECT_TRUE(Registered("hcqv_asiodriver64"));
  EXPECT_EQ(RunRegsvr64(" -u  -f" + dll), 0u);
  EXPECT_FALSE(Registered("hcqv_asiodriver64"));
  // Typed by hand: a program name in front, a quoted path.
  EXPECT_EQ(RunRegsvr64("\"" + InInstall("hcregsvr64.exe") + "\" -f\"" + dll + "\""), 0u);
  EXPECT_TRUE(Registered("hcqv_asiodriver64"));
  EXPECT_EQ(RunRegsvr64("hcregsvr64.exe -u -f" + dll), 0u);
  EXPECT_FALSE(Registered("hcqv_asiodriver64"));

  EXPECT_EQ(RunRegsvr64(""), 1u);
  EXPECT_EQ(RunRegsvr64(" -u "), 1u);
  EXPECT_EQ(RunRegsvr64(" -f" + InInstall("absent64.dll")), 2u);
  EXPECT_EQ(RunRegsvr64(" -f" + X64Dir() + "\\tests\\asio\\noentry.dll"), 3u);
  ASSERT_TRUE(SetEnvironmentVariableA(QV_ENV_ASIO_FAIL, "hcqv_asiodriver64.dll"));
  EXPECT_EQ(RunRegsvr64(" -f" + dll), 4u);
  EXPECT_FALSE(Registered("hcqv_asiodriver64"));
}

// Which search a driver DLL is loaded with: asked of kernel32 through a
// stand-in GetProcAddress, as on a system with or without AddDllDirectory.
bool g_exports_add_dll_directory;
std::string g_asked;
FARPROC WINAPI StandInLookup(HMODULE module, LPCSTR name) {
  g_asked = std::string(module == GetModuleHandleA("kernel32.dll") ? "kernel32!" : "?!") + name;
  return g_exports_add_dll_directory ? reinterpret_cast<FARPROC>(&StandInLookup) : nullptr;
}

TEST(AsioLoadFlags, ChosenByWhetherKernel32ExportsAddDllDirectory) {
  g_exports_add_dll_directory = true;
  EXPECT_EQ(DriverDllLoadFlags(StandInLookup), DWORD(LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32));
  EXPECT_EQ(g_asked, "kernel32!AddDllDirectory");
  // 2000 and XP ignore the search flags: this program's folder would come first.
  g_exports_add_dll_directory = false;
  EXPECT_EQ(DriverDllLoadFlags(StandInLookup), DWORD(LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace
