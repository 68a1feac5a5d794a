// The environment probes on a real (Wine) system, and their fallbacks through
// the library seam.
#include <gtest/gtest.h>
#include <windows.h>
#include <setupapi.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "startup/environment.h"
#include "startup/environment_hooks.h"

namespace {

// --- ClassifyOs with both record sizes -------------------------------------

DWORD g_major, g_minor;
BYTE g_type;
bool g_accept_ex, g_accept_basic;

BOOL WINAPI FakeVersion(OSVERSIONINFOA* info) {
  bool ex = info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXA);
  if (ex ? !g_accept_ex : !g_accept_basic) return FALSE;
  info->dwMajorVersion = g_major;
  info->dwMinorVersion = g_minor;
  if (ex) reinterpret_cast<OSVERSIONINFOEXA*>(info)->wProductType = g_type;
  return TRUE;
}

int32_t Classify(DWORD major, DWORD minor, BYTE type, bool ex, bool basic) {
  g_major = major, g_minor = minor, g_type = type, g_accept_ex = ex, g_accept_basic = basic;
  return ClassifyOsWith(FakeVersion);
}

TEST(ClassifyOs, ExtendedRecordCarriesTheProductType) {
  EXPECT_EQ(Classify(6, 1, VER_NT_WORKSTATION, true, true), 4);
  EXPECT_EQ(Classify(6, 1, VER_NT_SERVER, true, true), 3);
  EXPECT_EQ(Classify(10, 0, VER_NT_WORKSTATION, true, true), 7);
}

TEST(ClassifyOs, BasicRecordLeavesTheProductTypeZero) {
  EXPECT_EQ(Classify(6, 1, VER_NT_WORKSTATION, false, true), 3);
  EXPECT_EQ(Classify(5, 1, 0, false, true), 1);
  EXPECT_EQ(Classify(10, 0, 1, false, false), -1);
}

TEST(ClassifyOs, TheRealSystemIsKnown) {
  EXPECT_NE(ClassifyOs(), -1);
}

TEST(IsWow64, MatchesTheProcessWidth) {
  // Every run says what to expect: 1 for the 32-bit build in a 64-bit prefix, else 0.
  const char* expect = getenv("QV_EXPECT_WOW64");
  ASSERT_NE(expect, nullptr) << "QV_EXPECT_WOW64 is not set for this run";
  EXPECT_EQ(IsWow64(), atoi(expect));
}

// --- ProbeProductDevice ----------------------------------------------------

const char kInterfaceKey[] =
    "System\\CurrentControlSet\\Control\\DeviceClasses\\{3F9A2C64-7B18-4E5D-A2C7-91D05E3B6F48}";

TEST(ProbeProductDevice, AbsentWithoutAnInterfaceOfTheClass) {
  EXPECT_EQ(ProbeProductDevice(PRODUCT_DEVICE_INTERFACE_GUID), nullptr);
}

TEST(ProbeProductDevice, PresentOnceTheInterfaceIsLinked) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(&PRODUCT_DEVICE_INTERFACE_GUID, nullptr);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  ASSERT_TRUE(SetupDiCreateDeviceInfoA(set, "ROOT\\QVPROBE\\0000", &PRODUCT_DEVICE_INTERFACE_GUID, "probe test",
                                       nullptr, 0, &device));
  ASSERT_TRUE(SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr));
  SP_DEVICE_INTERFACE_DATA iface{};
  iface.cbSize = sizeof iface;
  ASSERT_TRUE(SetupDiCreateDeviceInterfaceA(set, &device, &PRODUCT_DEVICE_INTERFACE_GUID, nullptr, 0, &iface));
  SetupDiDestroyDeviceInfoList(set);

  // Registered but not linked: not present yet.
  EXPECT_EQ(ProbeProductDevice(PRODUCT_DEVICE_INTERFACE_GUID), nullptr);

  std::string control = std::string(kInterfaceKey) +
                        "\\##?#root#qvprobe#0000#{3f9a2c64-7b18-4e5d-a2c7-91d05e3b6f48}\\#\\Control";
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, control.c_str(), &key), ERROR_SUCCESS);
  DWORD one = 1;
  RegSetValueExA(key, "Linked", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), sizeof one);
  RegCloseKey(key);

  // The device path names no openable file here, so the result is the
  // invalid-handle value: still "installed".
  HANDLE h = ProbeProductDevice(PRODUCT_DEVICE_INTERFACE_GUID);
  EXPECT_NE(h, nullptr);
  if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);

  // Another class stays absent.
  GUID other = PRODUCT_DEVICE_INTERFACE_GUID;
  other.Data1 ^= 1;
  EXPECT_EQ(ProbeProductDevice(other), nullptr);
}

// --- Folders ---------------------------------------------------------------

TEST(ResolveInstallFolder, ProgramFilesOfTheSystem) {
  SetupContext context{};
  EXPECT_EQ(ResolveInstallFolder(&context, "HC\\Quorvane"), 0);
  // A 32-bit program on 64-bit Windows is given the 32-bit Program Files.
  const char* expected =
      IsWow64() ? "C:\\Program Files (x86)\\HC\\Quorvane" : "C:\\Program Files\\HC\\Quorvane";
  EXPECT_STREQ(context.install_folder, expected);
}

std::string FakeShellPath() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  *strrchr(path, '\\') = '\0';
  return std::string(path) + "\\fakeshell.dll";
}

// Which library the seam hands out for each name.
enum class Lib { Missing, Fake, WithoutFunctions };
Lib g_shell32 = Lib::Fake, g_shfolder = Lib::Fake;
int g_loads;

HMODULE LoadFor(Lib lib) {
  ++g_loads;
  switch (lib) {
    case Lib::Missing: return nullptr;
    case Lib::Fake: return LoadLibraryA(FakeShellPath().c_str());
    case Lib::WithoutFunctions: return LoadLibraryA("version.dll");
  }
  return nullptr;
}

HMODULE HookedLoad(const char* name) {
  return LoadFor(strcmp(name, "SHELL32.DLL") == 0 ? g_shell32 : g_shfolder);
}

const wchar_t* g_windows_dir;
UINT HookedWindowsDir(wchar_t* buffer, UINT size) {
  if (g_windows_dir == nullptr) return 0;
  lstrcpynW(buffer, g_windows_dir, size);
  return static_cast<UINT>(lstrlenW(g_windows_dir));
}

const EnvironmentHooks kHooks = {HookedLoad, HookedWindowsDir};

class Seamed : public ::testing::Test {
 protected:
  void SetUp() override {
    g_environment_hooks = &kHooks;
    g_shell32 = g_shfolder = Lib::Fake;
    g_loads = 0;
    g_windows_dir = nullptr;
    ForgetSpecialFoldersForTest();
    for (const char* v : {"FAKESHELL_SPECIAL_38", "FAKESHELL_FOLDER_38", "FAKESHELL_SPECIAL_23",
                          "FAKESHELL_SPECIAL_7", "FAKESHELL_FOLDER_23", "FAKESHELL_FOLDER_7"})
      SetEnvironmentVariableA(v, nullptr);
  }
  void TearDown() override {
    g_environment_hooks = nullptr;
    ForgetSpecialFoldersForTest();
  }
  std::string Resolve(int expected = 0) {
    SetupContext context{};
    EXPECT_EQ(ResolveInstallFolder(&context, "HC\\Quorvane"), expected);
    return context.install_folder;
  }
};

TEST_F(Seamed, ProgramFilesWithOrWithoutTrailingBackslash) {
  SetEnvironmentVariableA("FAKESHELL_SPECIAL_38", "X:\\Apps");
  EXPECT_EQ(Resolve(), "X:\\Apps\\HC\\Quorvane");
  SetEnvironmentVariableA("FAKESHELL_SPECIAL_38", "X:\\Apps\\");
  EXPECT_EQ(Resolve(), "X:\\Apps\\HC\\Quorvane");
}

TEST_F(Seamed, ShfolderWhenShell32Fails) {
  SetEnvironmentVariableA("FAKESHELL_SPECIAL_38", "FAIL");
  SetEnvironmentVariableA("FAKESHELL_FOLDER_38", "Y:\\PF");
  EXPECT_EQ(Resolve(), "Y:\\PF\\HC\\Quorvane");
  g_shell32 = Lib::Missing;  // tried even when SHELL32 cannot be loaded
  EXPECT_EQ(Resolve(), "Y:\\PF\\HC\\Quorvane");
}

TEST_F(Seamed, WindowsDirectoryRootThenDriveC) {
  g_shell32 = Lib::Missing;
  g_shfolder = Lib::WithoutFunctions;
  g_windows_dir = L"Z:\\WINNT";  // no Program Files at the host's root: none, never one made there
  EXPECT_EQ(Resolve(-3), "");
  g_windows_dir = L"C:";
  EXPECT_EQ(Resolve(), "C:\\Program Files\\HC\\Quorvane");
  g_windows_dir = nullptr;  // cannot be read
  EXPECT_EQ(Resolve(), "C:\\Program Files\\HC\\Quorvane");
  g_shfolder = Lib::Missing;
  EXPECT_EQ(Resolve(), "C:\\Program Files\\HC\\Quorvane");
}

TEST_F(Seamed, SpecialFoldersFromShell32) {
  SetEnvironmentVariableA("FAKESHELL_SPECIAL_23", "C:\\All\\Programs");
  SetEnvironmentVariableA("FAKESHELL_SPECIAL_7", "C:\\Me\\Startup");
  SetEnvironmentVariableA("FAKESHELL_FOLDER_23", "C:\\wrong");
  ResolveSpecialFolders();
  EXPECT_STREQ(GetCommonProgramsFolder(), "C:\\All\\Programs");
  EXPECT_STREQ(GetStartupFolder(), "C:\\Me\\Startup");
  EXPECT_EQ(g_loads, 1);  // a good pass never asks SHFOLDER
}

TEST_F(Seamed, ShfolderFillsWhatShell32LeftEmpty) {
  SetEnvironmentVariableA("FAKESHELL_SPECIAL_23", "FAIL");
  SetEnvironmentVariableA("FAKESHELL_SPECIAL_7", "C:\\Me\\Startup");
  SetEnvironmentVariableA("FAKESHELL_FOLDER_23", "C:\\All\\Programs");
  SetEnvironmentVariableA("FAKESHELL_FOLDER_7", "C:\\wrong");
  ResolveSpecialFolders();
  EXPECT_STREQ(GetCommonProgramsFolder(), "C:\\All\\Programs");
  EXPECT_STREQ(GetStartupFolder(), "C:\\Me\\Startup");
}

TEST_F(Seamed, ShfolderFillsBothWhenShell32LacksTheFunction) {
  g_shell32 = Lib::WithoutFunctions;
  SetEnvironmentVariableA("FAKESHELL_FOLDER_23", "C:\\All\\Programs");
  SetEnvironmentVariableA("FAKESHELL_FOLDER_7", "C:\\Me\\Startup");
  ResolveSpecialFolders();
  EXPECT_STREQ(GetCommonProgramsFolder(), "C:\\All\\Programs");
  EXPECT_STREQ(GetStartupFolder(), "C:\\Me\\Startup");
}

// A folder named outside the code page, without a short form (it is not
// there), is unknown: never fitted to a look-alike such as "C:\Lukasz\...".
TEST_F(Seamed, FoldersOutsideTheCodePageAreNeverFitted) {
  for (const wchar_t* v : {L"FAKESHELL_SPECIAL_23", L"FAKESHELL_SPECIAL_7", L"FAKESHELL_FOLDER_7", L"FAKESHELL_SPECIAL_38"})
    SetEnvironmentVariableW(v, L"C:\\\u0141ukasz\\Folder");
  ResolveSpecialFolders();
  EXPECT_STREQ(GetCommonProgramsFolder(), "");
  EXPECT_STREQ(GetStartupFolder(), "");
  EXPECT_EQ(Resolve(), "C:\\Program Files\\HC\\Quorvane");
}

TEST_F(Seamed, EntriesNoSourceFillsStayEmptyAndTheWorkIsNeverRepeated) {
  SetEnvironmentVariableA("FAKESHELL_SPECIAL_23", "FAIL");
  SetEnvironmentVariableA("FAKESHELL_SPECIAL_7", "FAIL");
  ResolveSpecialFolders();
  EXPECT_STREQ(GetCommonProgramsFolder(), "");
  EXPECT_STREQ(GetStartupFolder(), "");
  int loads = g_loads;
  SetEnvironmentVariableA("FAKESHELL_SPECIAL_23", "C:\\All\\Programs");
  ResolveSpecialFolders();
  EXPECT_EQ(g_loads, loads);
  EXPECT_STREQ(GetCommonProgramsFolder(), "");
}

TEST_F(Seamed, NoShell32MeansNoOtherSource) {
  g_shell32 = Lib::Missing;
  SetEnvironmentVariableA("FAKESHELL_FOLDER_23", "C:\\All\\Programs");
  ResolveSpecialFolders();
  EXPECT_EQ(g_loads, 1);
  EXPECT_STREQ(GetCommonProgramsFolder(), "");
}

TEST(ResolveSpecialFolders, TheRealShellFillsBoth) {
  ForgetSpecialFoldersForTest();
  ResolveSpecialFolders();
  std::string programs = GetCommonProgramsFolder(), startup = GetStartupFolder();
  for (std::string* s : {&programs, &startup})
    for (char& c : *s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  EXPECT_NE(programs.find("\\programs"), std::string::npos) << programs;
  EXPECT_NE(startup.find("\\startup"), std::string::npos) << startup;
  ForgetSpecialFoldersForTest();
}

}  // namespace
