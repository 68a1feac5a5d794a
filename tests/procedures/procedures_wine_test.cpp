// The install and uninstall procedures under Wine, against packages built by the
// test and the driver setup stand-ins of the x86_64 build (its product folder).
#include <windows.h>
#include <objbase.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "package/package_writer.h"
#include "procedures/driver_setup.h"
#include "procedures/install.h"
#include "procedures/uninstall.h"
#include "startup/cmdline.h"
#include "startup/environment.h"
#include "startup/environment_hooks.h"
#include "startup/own_file.h"
#include "startup/startup.h"
#include "system/files.h"
#include "system/registry.h"
#include "window/commands.h"

namespace {

// Program Files\HC\Quorvane and Program Files\HC, as this process sees Program
// Files (a 32-bit process on 64-bit Windows gets the x86 one).
std::string g_install_folder;
std::string g_hc_folder;
const char UNINSTALL_KEY[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\HC:Quorvane {4C2E8B16-7305-2A91}";
const char SHELL_FOLDERS[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char WORK_FOLDER[] = "C:\\qvtest";
const char LOG_PATH[] = "C:\\qvtest-standins.log";
const char* const SHORTCUT_NAMES[] = {"Readme", "Line Driver Panel", "Aux Line Driver Panel",
                                      "Quorvane Bravora", "Quick Keys", "Quorvane"};

struct Entry {
  std::string name;
  std::vector<uint8_t> bytes;
};

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  DWORD size = GetFileSize(file, nullptr);
  bytes.resize(size);
  DWORD read = 0;
  if (size && !ReadFile(file, bytes.data(), size, &read, nullptr)) read = 0;
  bytes.resize(read);
  CloseHandle(file);
  return bytes;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string InFolder(const std::string& name) {
  return g_install_folder + "\\" + name;
}

// The x86_64 build's product folder: this test lives in <build>\tests.
std::string ProductFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string p(path);
  p.resize(p.find_last_of('\\'));
  p.resize(p.find_last_of('\\'));
  return p + "\\product";
}

std::string ReadLog() {
  std::vector<uint8_t> bytes = ReadBytes(LOG_PATH);
  return std::string(bytes.begin(), bytes.end());
}

std::string LogLine(const char* program, const char* switches) {
  return std::string(program) + " [" + switches + "] in " + g_install_folder + "\r\n";
}

int ReadMachineString(const char* key_path, const char* name, std::string* out) {
  char data[2048];
  DWORD size = sizeof data, type = 0;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS || type != REG_SZ) return 0;
  out->assign(data, strnlen(data, size));
  return 1;
}

// -1 when the value is missing.
long long ReadUserDword(const char* name) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Halcyra\\QuorVane", 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
  DWORD value = 0, size = sizeof value, type = 0;
  LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return r == ERROR_SUCCESS && type == REG_DWORD ? static_cast<long long>(value) : -1;
}

std::string UserProgramsFolder() {
  HKEY key;
  char data[1024] = "";
  if (RegOpenKeyExA(HKEY_CURRENT_USER, SHELL_FOLDERS, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    DWORD size = sizeof data - 1;
    if (RegQueryValueExA(key, "Programs", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
      data[0] = '\0';
    RegCloseKey(key);
  }
  return data;
}

// Lists first and deletes afterwards: deleting while the enumeration is open
// can make it skip entries, which left stray files for the next test.
void RemoveTree(const std::string& folder) {
  for (int pass = 0; pass < 10 && GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES; ++pass) {
    std::vector<std::pair<std::string, bool>> items;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
          items.emplace_back(folder + "\\" + name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
      } while (FindNextFileA(find, &found));
      FindClose(find);
    }
    for (const auto& item : items) {
      if (item.second) {
        RemoveTree(item.first);
      } else {
        SetFileAttributesA(item.first.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(item.first.c_str());
      }
    }
    if (!RemoveDirectoryA(folder.c_str())) Sleep(50);
  }
}

int CountFiles(const std::string& folder) {
  int n = 0;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    n += (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? CountFiles(folder + "\\" + name) : 1;
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return n;
}

class Procedures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // As start-up does for the window thread: the shell link objects need it.
    CoInitialize(nullptr);
    ResolveSpecialFolders();
    static SetupContext scratch;
    ResolveInstallFolder(&scratch, PRODUCT_SUBFOLDER);
    g_install_folder = scratch.install_folder;
    g_hc_folder = g_install_folder.substr(0, g_install_folder.find_last_of('\\'));
    SilentFlag = 1;  // the removal's closing message box would wait for a click
  }

  void SetUp() override {
    RemoveTree(g_hc_folder);
    RemoveTree(WORK_FOLDER);
    CreateDirectoryA(WORK_FOLDER, nullptr);
    DeleteFileA(LOG_PATH);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Halcyra");
    for (const std::string& programs : {UserProgramsFolder(), std::string(GetCommonProgramsFolder())})
      if (!programs.empty()) RemoveTree(programs + "\\Halcyra");
    SetEnvironmentVariableA("QV_STANDIN_LOG", LOG_PATH);
    for (const char* name : {"QV_HCLINE_EXIT", "QV_HCQVAUX_EXIT", "QV_HCLINE_DELAY_MS", "QV_HCQVAUX_DELAY_MS"})
      SetEnvironmentVariableA(name, nullptr);

    memset(&context_, 0, sizeof context_);
    context_.main_window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(context_.main_window, nullptr);
    product_ = ProductFolder();
    line_setup_ = ReadBytes(product_ + "\\HCLINE_Setup.exe");
    aux_setup_ = ReadBytes(product_ + "\\HCQVAUX_Setup.exe");
    ASSERT_FALSE(line_setup_.empty()) << "driver setup stand-ins missing in " << product_;
    ASSERT_FALSE(aux_setup_.empty());
  }

  void TearDown() override {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
    if (context_.setup_file) CloseHandle(context_.setup_file);
    context_.setup_file = nullptr;
    if (context_.main_window) DestroyWindow(context_.main_window);
    context_.main_window = nullptr;
  }

  // A second case inside one test: everything back to the start.
  void Reset() {
    TearDown();
    SetUp();
  }

  // The product's programs as the package carries them; the driver setup
  // programs are the stand-ins, the rest only need to exist.
  std::vector<Entry> ProductEntries() {
    std::vector<Entry> entries = {
        {"HCLINE_Setup.exe", line_setup_},
        {"HCQVAUX_Setup.exe", aux_setup_},
        {"readme.txt", {'r', 'e', 'a', 'd', 'm', 'e'}},
        {"Quorvane.exe", {'M', 'Z', 1}},
        {"QuorvanePro.exe", {'M', 'Z', 2}},
        {"QuorvaneQuickKeys.exe", {'M', 'Z', 3}},
        {"HCLINE_ControlPanel.exe", {'M', 'Z', 4}},
        {"HCQVAUX_ControlPanel.exe", {'M', 'Z', 5}},
    };
    for (int i = static_cast<int>(entries.size()); i < 51; i++) {
      char name[32];
      wsprintfA(name, "data_%02d.bin", i);
      entries.push_back({name, std::vector<uint8_t>(static_cast<size_t>(i * 37 % 500), static_cast<uint8_t>(i))});
    }
    entries.push_back({"codec\\encoder.dll", {'M', 'Z', 6}});
    entries.push_back({"codec\\licence.txt", {'L'}});
    return entries;
  }

  static std::vector<uint8_t> BuildPackage(const std::vector<Entry>& entries) {
    std::vector<uint8_t> package(PACKAGE_DIRECTORY_SIZE);
    PackageDirectory directory;
    memset(&directory, 0, sizeof directory);
    PackageChain chain;
    ChainStart(&chain);
    for (size_t i = 0; i < PACKAGE_ENTRY_COUNT && i < entries.size(); i++) {
      PackageEntry* record = &directory.entries[i];
      memcpy(record->name, entries[i].name.data(), entries[i].name.size());
      record->offset = static_cast<uint32_t>(package.size());
      std::vector<uint8_t> stored(entries[i].bytes.size());
      ScrambleEntry(&chain, entries[i].bytes.data(), stored.data(), static_cast<uint32_t>(stored.size()), record);
      package.insert(package.end(), stored.begin(), stored.end());
    }
    memcpy(package.data(), &directory, sizeof directory);
    return package;
  }

  // A copy of a small program of the product with the package as its resource
  // 100, loaded as the procedures' instance; it is also the "running setup
  // program" that the install copies as uninstaller. An empty package: none.
  void UsePackage(const std::vector<uint8_t>& package, const char* host_name = "QuorvaneSetup.exe") {
    if (context_.setup_file) CloseHandle(context_.setup_file);
    std::string host = std::string(WORK_FOLDER) + "\\" + host_name;
    ASSERT_TRUE(CopyFileA((product_ + "\\HCLINE_Setup.exe").c_str(), host.c_str(), FALSE));
    if (!package.empty()) {
      HANDLE update = BeginUpdateResourceA(host.c_str(), FALSE);
      ASSERT_NE(update, nullptr);
      ASSERT_TRUE(UpdateResourceA(update, MAKEINTRESOURCEA(10), MAKEINTRESOURCEA(100),
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), const_cast<uint8_t*>(package.data()),
                                  static_cast<DWORD>(package.size())));
      ASSERT_TRUE(EndUpdateResourceA(update, FALSE));
    }
    module_ = LoadLibraryExA(host.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr);
    context_.instance = module_;
    HoldSetup(host);
  }

  // As start-up holds the running program's own file.
  void HoldSetup(const std::string& path) {
    if (context_.setup_file) CloseHandle(context_.setup_file);
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    OwnFile own;
    ASSERT_EQ(OpenOwnFile(wide, &own), 1);
    HoldSetupFile(&context_, &own);
    setup_path_ = path;
  }

  // The commands posted to the window so far, as "status:<lParam>".
  std::vector<std::string> TakePosts() {
    std::vector<std::string> posts;
    MSG msg;
    while (PeekMessageA(&msg, context_.main_window, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_COMMAND && LOWORD(msg.wParam) == ID_STATUS)
        posts.push_back("status:" + std::to_string(static_cast<long>(msg.lParam)));
      else if (msg.message == WM_COMMAND)
        posts.push_back("command:" + std::to_string(LOWORD(msg.wParam)));
    }
    return posts;
  }

  std::string Status() {
    char text[1024];
    CopyStatusText(&context_, text, sizeof text);
    return text;
  }

  // A failure caused by the machine: the usual text, then one line that names
  // the file and gives the system's reason.
  void ExpectMachineReason(const char* usual, const std::string& file) {
    const std::string text = context_.error_text, lead = std::string(usual) + "\n" + file + ": ";
    EXPECT_EQ(text.substr(0, lead.size()), lead);
    EXPECT_GT(text.size(), lead.size()) << "no reason";
    EXPECT_EQ(text.find_first_of("\r\n", lead.size()), std::string::npos) << text;
  }

  void ExpectShortcutSet(const std::string& programs, bool present) {
    for (const char* name : SHORTCUT_NAMES) {
      std::string link = programs + "\\Halcyra\\Quorvane\\" + name + ".LNK";
      EXPECT_EQ(Exists(link), present) << link;
    }
  }

  // Installs with the product package and forgets the posts.
  void InstallProduct() {
    UsePackage(BuildPackage(ProductEntries()));
    ASSERT_EQ(InstallProcedure(&context_), 0);
    TakePosts();
    DeleteFileA(LOG_PATH);
  }

  SetupContext context_;
  std::string setup_path_;  // the held "running setup program"
  HMODULE module_ = nullptr;
  std::string product_;
  std::vector<uint8_t> line_setup_, aux_setup_;
};

TEST(RunDriverSetup, ReportsTheFullExitCodeAndStartsWithTheSwitchesAlone) {
  CreateDirectoryA(WORK_FOLDER, nullptr);
  std::string program = ProductFolder() + "\\HCQVAUX_Setup.exe";
  SetEnvironmentVariableA("QV_STANDIN_LOG", LOG_PATH);
  DeleteFileA(LOG_PATH);
  SetEnvironmentVariableA("QV_HCQVAUX_EXIT", "-123456789");
  SetEnvironmentVariableA("QV_HCQVAUX_DELAY_MS", "1500");
  DWORD start = GetTickCount();
  EXPECT_EQ(RunDriverSetup(program.c_str(), "-h -x -H", WORK_FOLDER), -123456789);
  EXPECT_GE(GetTickCount() - start, 1400u) << "returned before the program ended";
  SetEnvironmentVariableA("QV_HCQVAUX_DELAY_MS", nullptr);
  SetEnvironmentVariableA("QV_HCQVAUX_EXIT", "2147483647");
  EXPECT_EQ(RunDriverSetup(program.c_str(), "-h -x -H", WORK_FOLDER), 2147483647);
  SetEnvironmentVariableA("QV_HCQVAUX_EXIT", nullptr);
  std::string expected = std::string("HCQVAUX_Setup.exe [-h -x -H] in ") + WORK_FOLDER + "\r\n";
  std::vector<uint8_t> log = ReadBytes(LOG_PATH);
  EXPECT_EQ(std::string(log.begin(), log.end()), expected + expected);
}

TEST(RunDriverSetup, MissingProgramGivesMinus605) {
  EXPECT_EQ(RunDriverSetup("C:\\no\\such\\HCLINE_Setup.exe", "-h -i -H -n", "C:\\"), -605);
  // A folder is no program either.
  EXPECT_EQ(RunDriverSetup("C:\\windows", "-h -i -H -n", "C:\\"), -605);
}

TEST_F(Procedures, InstallRunsEveryStepAndPostsDone) {
  UsePackage(BuildPackage(ProductEntries()));
  // The copy must not keep the read-only mark of the running program.
  SetFileAttributesA(setup_path_.c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_EQ(InstallProcedure(&context_), 0);
  EXPECT_EQ(TakePosts(), std::vector<std::string>{"status:128"});
  EXPECT_EQ(Status(), "Installation Completed");
  EXPECT_STREQ(context_.error_caption, "Quorvane Installation Error");
  EXPECT_EQ(context_.install_folder, g_install_folder);

  EXPECT_EQ(CountFiles(g_install_folder), 54) << "53 entries and the uninstaller copy";
  EXPECT_EQ(ReadBytes(InFolder("HCLINE_Setup.exe")), line_setup_);
  EXPECT_TRUE(Exists(InFolder("codec\\licence.txt")));
  EXPECT_EQ(ReadBytes(InFolder("QuorvaneSetup.exe")), ReadBytes(setup_path_));
  EXPECT_EQ(GetFileAttributesA(InFolder("QuorvaneSetup.exe").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  SetFileAttributesA(setup_path_.c_str(), FILE_ATTRIBUTE_NORMAL);

  EXPECT_EQ(ReadLog(), LogLine("HCLINE_Setup.exe", "-h -i -H -n") + LogLine("HCQVAUX_Setup.exe", "-h -i -H -n"));

  EXPECT_EQ(ReadUserDword("install"), 0);
  EXPECT_EQ(ReadUserDword("nbLaunch"), 0);
  EXPECT_EQ(ReadUserDword("done"), 0);
  std::string value;
  ASSERT_TRUE(ReadMachineString(UNINSTALL_KEY, "DisplayName", &value));
  EXPECT_EQ(value, "Quorvane, The Soft Mixing Desk");
  ASSERT_TRUE(ReadMachineString(UNINSTALL_KEY, "Publisher", &value));
  EXPECT_EQ(value, "Halcyra Software");
  ASSERT_TRUE(ReadMachineString(UNINSTALL_KEY, "UninstallString", &value));
  EXPECT_EQ(value, "\"" + InFolder("QuorvaneSetup.exe") + "\"");

  ASSERT_FALSE(UserProgramsFolder().empty()) << "the prefix has no per-user Programs folder";
  ASSERT_NE(GetCommonProgramsFolder()[0], '\0');
  ExpectShortcutSet(UserProgramsFolder(), true);
  ExpectShortcutSet(GetCommonProgramsFolder(), true);
}

TEST_F(Procedures, InstallOverwritesAnExistingUninstallerCopy) {
  CreateDirectoryA(g_hc_folder.c_str(), nullptr);
  CreateDirectoryA(g_install_folder.c_str(), nullptr);
  HANDLE old = CreateFileA(InFolder("QuorvaneSetup.exe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(old, INVALID_HANDLE_VALUE);
  DWORD written;
  WriteFile(old, "old", 3, &written, nullptr);
  CloseHandle(old);
  UsePackage(BuildPackage(ProductEntries()));
  ASSERT_EQ(InstallProcedure(&context_), 0);
  EXPECT_EQ(ReadBytes(InFolder("QuorvaneSetup.exe")), ReadBytes(setup_path_));
}

TEST_F(Procedures, UninstallerCopyNeverTakesTheNameOfAProductFile) {
  UsePackage(BuildPackage(ProductEntries()), "quorvane.EXE");
  ASSERT_EQ(InstallProcedure(&context_), 0);
  EXPECT_EQ(ReadBytes(InFolder("Quorvane.exe")), std::vector<uint8_t>({'M', 'Z', 1}));
  EXPECT_EQ(ReadBytes(InFolder("QuorvaneSetup.exe")), ReadBytes(setup_path_));
}

TEST_F(Procedures, FileInUseIsNamedWithTheSystemsReason) {
  ASSERT_EQ(MakeFolderPath(g_install_folder.c_str()), 1);
  HANDLE held = CreateFileA(InFolder("readme.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  UsePackage(BuildPackage(ProductEntries()));
  EXPECT_EQ(InstallProcedure(&context_), -10);
  CloseHandle(held);
  ExpectMachineReason("Failed to copy file(s) to destination folder...\nInstallation package might be corrupted\n"
                      "thanks to download official package at\nhttps://www.halcyra.example.",
                      InFolder("readme.txt"));
}

TEST_F(Procedures, LineDriverAskingForRestartStopsTheInstall) {
  SetEnvironmentVariableA("QV_HCLINE_EXIT", "1");
  UsePackage(BuildPackage(ProductEntries()));
  EXPECT_EQ(InstallProcedure(&context_), -21);
  EXPECT_EQ(TakePosts(), std::vector<std::string>{"status:127"});
  EXPECT_STREQ(context_.error_text,
               "Cannot install Quorvane Package now...\nYou must RESTART your system and then relaunch setup program");
  EXPECT_STREQ(context_.error_caption, "Quorvane Installation Error");
  EXPECT_EQ(Status(), "Install Audio Driver");
  EXPECT_EQ(ReadLog(), LogLine("HCLINE_Setup.exe", "-h -i -H -n")) << "the auxiliary program must not run";
  EXPECT_EQ(CountFiles(g_install_folder), 53) << "extracted files stay, no uninstaller copy";
  EXPECT_EQ(ReadUserDword("install"), -1);
  std::string value;
  EXPECT_FALSE(ReadMachineString(UNINSTALL_KEY, "DisplayName", &value));
  ExpectShortcutSet(GetCommonProgramsFolder(), false);
}

TEST_F(Procedures, AuxDriverAskingForRestartStopsAfterTheLineDriver) {
  SetEnvironmentVariableA("QV_HCQVAUX_EXIT", "1");
  UsePackage(BuildPackage(ProductEntries()));
  EXPECT_EQ(InstallProcedure(&context_), -21);
  EXPECT_EQ(TakePosts(), std::vector<std::string>{"status:127"});
  EXPECT_EQ(Status(), "Install Aux Audio Driver");
  EXPECT_EQ(ReadLog(), LogLine("HCLINE_Setup.exe", "-h -i -H -n") + LogLine("HCQVAUX_Setup.exe", "-h -i -H -n"));
  EXPECT_EQ(ReadUserDword("install"), -1);
  EXPECT_FALSE(Exists(InFolder("QuorvaneSetup.exe")));
}

TEST_F(Procedures, OtherDriverExitCodesLetTheInstallGoOn) {
  for (const char* code : {"2", "-1", "-21", "256"}) {
    Reset();
    SetEnvironmentVariableA("QV_HCLINE_EXIT", code);
    SetEnvironmentVariableA("QV_HCQVAUX_EXIT", code);
    UsePackage(BuildPackage(ProductEntries()));
    EXPECT_EQ(InstallProcedure(&context_), 0) << code;
    EXPECT_EQ(TakePosts(), std::vector<std::string>{"status:128"}) << code;
  }
}

TEST_F(Procedures, MissingDriverProgramFailsWithItsOwnText) {
  std::vector<Entry> entries = ProductEntries();
  entries[1].name = "HCQVAUX_Setup.bak";  // the auxiliary program is not in the package
  UsePackage(BuildPackage(entries));
  lstrcpyA(context_.error_text, "earlier text");
  EXPECT_EQ(InstallProcedure(&context_), -605);
  EXPECT_EQ(TakePosts(), std::vector<std::string>{"status:127"});
  EXPECT_STREQ(context_.error_text,
               "Driver setup program could not be started...\nthanks to download official package at\n"
               "https://www.halcyra.example.");
  EXPECT_EQ(Status(), "Install Aux Audio Driver");
  EXPECT_EQ(ReadLog(), LogLine("HCLINE_Setup.exe", "-h -i -H -n"));
  EXPECT_EQ(ReadUserDword("install"), -1);

  Reset();
  entries = ProductEntries();
  entries[0].name = "HCLINE_Setup.bak";
  UsePackage(BuildPackage(entries));
  EXPECT_EQ(InstallProcedure(&context_), -605);
  EXPECT_EQ(TakePosts(), std::vector<std::string>{"status:127"});
  EXPECT_EQ(Status(), "Install Audio Driver");
  EXPECT_EQ(ReadLog(), "");
}

TEST_F(Procedures, DamagedEntryFailsTheCopyAndKeepsTheGoodEntries) {
  std::vector<uint8_t> package = BuildPackage(ProductEntries());
  reinterpret_cast<PackageEntry*>(package.data() + 20 * PACKAGE_ENTRY_SIZE)->digest[3] ^= 0x40;
  UsePackage(package);
  EXPECT_EQ(InstallProcedure(&context_), -10);
  EXPECT_EQ(TakePosts(), std::vector<std::string>{"status:127"});
  EXPECT_STREQ(context_.error_text,
               "Failed to copy file(s) to destination folder...\nInstallation package might be corrupted\n"
               "thanks to download official package at\nhttps://www.halcyra.example.");
  EXPECT_EQ(Status(), "Copy Files");
  EXPECT_EQ(CountFiles(g_install_folder), 52);
  EXPECT_FALSE(Exists(InFolder("data_20.bin")));
  EXPECT_EQ(ReadLog(), "") << "no driver setup program runs after a failed copy";
}

TEST_F(Procedures, UnreadablePackageFailsFirst) {
  UsePackage({});
  EXPECT_EQ(InstallProcedure(&context_), -1);
  EXPECT_EQ(TakePosts(), std::vector<std::string>{"status:127"});
  EXPECT_STREQ(context_.error_text,
               "Installation package might be corrupted\nthanks to download official package at\n"
               "https://www.halcyra.example.");
  EXPECT_EQ(Status(), "Extract Package");
  EXPECT_FALSE(Exists(g_install_folder));

  // A package no larger than its directory is unreadable too.
  FreeLibrary(module_);
  module_ = nullptr;
  UsePackage(std::vector<uint8_t>(PACKAGE_DIRECTORY_SIZE, 0));
  EXPECT_EQ(InstallProcedure(&context_), -1);

  // A good package, but the program's own file not held at start-up: the same
  // stop, naming the file and why.
  Reset();
  UsePackage(BuildPackage(ProductEntries()));
  CloseHandle(context_.setup_file);
  context_.setup_file = nullptr;
  context_.setup_file_error = ERROR_SHARING_VIOLATION;
  EXPECT_EQ(InstallProcedure(&context_), -1);
  ExpectMachineReason("Installation package might be corrupted\nthanks to download official package at\n"
                      "https://www.halcyra.example.",
                      "QuorvaneSetup.exe");
  EXPECT_FALSE(Exists(g_install_folder));
}

TEST_F(Procedures, FolderThatCannotBeMadeFailsWithMinus3) {
  // A file where the folder "HC" should go, then one where "Quorvane" should:
  // the last is refused as a folder too, not left for the extraction to fail on.
  for (const std::string& blocked : {g_hc_folder, g_install_folder}) {
    Reset();
    if (blocked == g_install_folder) ASSERT_TRUE(CreateDirectoryA(g_hc_folder.c_str(), nullptr));
    HANDLE blocker = CreateFileA(blocked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(blocker, INVALID_HANDLE_VALUE);
    CloseHandle(blocker);
    UsePackage(BuildPackage(ProductEntries()));
    EXPECT_EQ(InstallProcedure(&context_), -3) << blocked;
    DeleteFileA(blocked.c_str());
    EXPECT_EQ(TakePosts(), std::vector<std::string>{"status:127"});
    ExpectMachineReason("Failed to create target folder on system disk\nthanks to download official package at\n"
                        "https://www.halcyra.example.",
                        blocked);
  }
}

// A removal's deletion of the folder at the next restart that cannot be
// withdrawn: the install stops before writing anything, with its own text.
TEST_F(Procedures, RestartDeletionsThatStayFailWithMinus3) {
  UsePackage(BuildPackage(ProductEntries()));
  ASSERT_TRUE(MoveFileExA(g_install_folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                          READ_CONTROL | WRITE_DAC, &key),
            ERROR_SUCCESS);
  char saved[4096];
  DWORD saved_size = sizeof saved;
  ASSERT_EQ(RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, saved, &saved_size), ERROR_SUCCESS);
  PSECURITY_DESCRIPTOR read_only = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;KRWD;;;WD)", SDDL_REVISION_1, &read_only,
                                                                   nullptr));
  ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, read_only), ERROR_SUCCESS);
  EXPECT_EQ(InstallProcedure(&context_), -3);
  EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, saved), ERROR_SUCCESS);
  LocalFree(read_only);
  RegCloseKey(key);
  EXPECT_EQ(TakePosts(), std::vector<std::string>{"status:127"});
  EXPECT_STREQ(context_.error_text,
               "Failed to cancel the deletion of target folder\nthat Windows will carry out at next restart...\n"
               "thanks to download official package at\nhttps://www.halcyra.example.");
  EXPECT_FALSE(Exists(g_install_folder));
  EXPECT_EQ(WithdrawRestartDeletions(g_install_folder.c_str()), 1);
}

TEST_F(Procedures, WithoutProgramsValueOnlyAllUsersShortcuts) {
  std::string programs = UserProgramsFolder();
  ASSERT_FALSE(programs.empty());
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, SHELL_FOLDERS, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  RegDeleteValueA(key, "Programs");
  UsePackage(BuildPackage(ProductEntries()));
  int32_t result = InstallProcedure(&context_);
  RegSetValueExA(key, "Programs", 0, REG_SZ, reinterpret_cast<const BYTE*>(programs.c_str()),
                 static_cast<DWORD>(programs.size() + 1));
  RegCloseKey(key);
  EXPECT_EQ(result, 0);
  ExpectShortcutSet(programs, false);
  ExpectShortcutSet(GetCommonProgramsFolder(), true);
}

TEST_F(Procedures, WithoutAllUsersFolderOnlyPerUserShortcuts) {
  std::string common = GetCommonProgramsFolder();
  ForgetSpecialFoldersForTest();  // leaves both cache entries empty
  UsePackage(BuildPackage(ProductEntries()));
  int32_t result = InstallProcedure(&context_);
  ResolveSpecialFolders();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(TakePosts(), std::vector<std::string>{"status:128"});
  ExpectShortcutSet(UserProgramsFolder(), true);
  ExpectShortcutSet(common, false);
}

TEST_F(Procedures, WorkerWaitingReturnsTheResult) {
  UsePackage(BuildPackage(ProductEntries()));
  EXPECT_EQ(StartInstallWorker(&context_, 1), 0);
  EXPECT_EQ(WorkerBusy(&context_), 0);
  EXPECT_EQ(context_.worker_result, 0);
  EXPECT_EQ(context_.worker_thread, nullptr);
  EXPECT_EQ(TakePosts(), std::vector<std::string>{"status:128"});

  Reset();
  SetEnvironmentVariableA("QV_HCLINE_EXIT", "1");
  UsePackage(BuildPackage(ProductEntries()));
  EXPECT_EQ(StartInstallWorker(&context_, 1), -21);
  EXPECT_EQ(TakePosts(), std::vector<std::string>{"status:127"});
}

TEST_F(Procedures, WorkerWithoutWaitingRunsBesideTheCaller) {
  SetEnvironmentVariableA("QV_HCLINE_DELAY_MS", "1500");
  UsePackage(BuildPackage(ProductEntries()));
  ASSERT_EQ(StartInstallWorker(&context_, 0), 0);
  ASSERT_NE(context_.worker_thread, nullptr);
  EXPECT_EQ(WorkerBusy(&context_), 1) << "busy while the line driver program sleeps";
  EXPECT_EQ(context_.worker_result, -1);
  // The status text can be read at any time while the worker rewrites it.
  std::vector<std::string> seen;
  for (int busy = 1; busy;) {
    busy = WorkerBusy(&context_);
    std::string status = Status();
    // Empty until the worker's first step.
    if (!status.empty() && (seen.empty() || seen.back() != status)) seen.push_back(status);
    Sleep(5);
  }
  EXPECT_EQ(context_.worker_result, 0) << "the result is stored before busy drops";
  EXPECT_EQ(WaitForSingleObject(context_.worker_thread, 5000), WAIT_OBJECT_0);
  CloseHandle(context_.worker_thread);
  const std::vector<std::string> order = {"Extract Package", "Copy Files", "Install Audio Driver",
                                          "Install Aux Audio Driver", "Finalize Installation",
                                          "Installation Completed"};
  ASSERT_FALSE(seen.empty());
  // Every text seen is whole and in order (fast steps may be missed).
  size_t at = 0;
  for (const std::string& s : seen) {
    while (at < order.size() && order[at] != s) at++;
    EXPECT_LT(at, order.size()) << "unexpected or out-of-order status: " << s;
  }
  EXPECT_NE(std::find(seen.begin(), seen.end(), "Install Audio Driver"), seen.end());
  EXPECT_EQ(seen.back(), "Installation Completed");
  EXPECT_EQ(TakePosts(), std::vector<std::string>{"status:128"});
}

TEST_F(Procedures, UninstallRemovesWhatTheInstallMade) {
  InstallProduct();
  // The autostart shortcut that the product itself may have made.
  std::string autostart = std::string(GetStartupFolder()) + "\\Quorvane (Halcyra).LNK";
  HANDLE link = CreateFileA(autostart.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(link, INVALID_HANDLE_VALUE);
  CloseHandle(link);

  EXPECT_EQ(UninstallProcedure(&context_), 0);
  EXPECT_TRUE(TakePosts().empty());
  EXPECT_STREQ(context_.error_caption, "Quorvane Uninstallation Error");
  EXPECT_STREQ(context_.install_folder, "");
  EXPECT_EQ(ReadLog(), LogLine("HCLINE_Setup.exe", "-h -u -H") + LogLine("HCQVAUX_Setup.exe", "-h -u -H"));
  EXPECT_FALSE(Exists(g_install_folder));
  EXPECT_TRUE(Exists(g_hc_folder));
  for (const std::string& programs : {UserProgramsFolder(), std::string(GetCommonProgramsFolder())}) {
    EXPECT_FALSE(Exists(programs + "\\Halcyra\\Quorvane")) << programs;
    EXPECT_TRUE(Exists(programs + "\\Halcyra")) << programs;
  }
  EXPECT_FALSE(Exists(autostart));
  EXPECT_EQ(ReadUserDword("SysTray"), 0);
  EXPECT_EQ(ReadUserDword("SysTrayShowOnRun"), 0);
  EXPECT_EQ(ReadUserDword("install"), 0) << "the install's values stay";
  std::string value;
  EXPECT_FALSE(ReadMachineString(UNINSTALL_KEY, "DisplayName", &value));
}

TEST_F(Procedures, UninstallRestoresTheLineDriverProgramFromThePackage) {
  InstallProduct();
  DeleteFileA(InFolder("HCLINE_Setup.exe").c_str());
  DeleteFileA(InFolder("HCQVAUX_Setup.exe").c_str());
  EXPECT_EQ(UninstallProcedure(&context_), 0);
  EXPECT_EQ(ReadLog(), LogLine("HCLINE_Setup.exe", "-h -u -H")) << "no auxiliary program, only the line driver's";
  EXPECT_FALSE(Exists(g_install_folder));

  // The whole product folder deleted by hand: it is made again for the program.
  Reset();
  InstallProduct();
  RemoveTree(g_install_folder);
  ASSERT_FALSE(Exists(g_install_folder));
  EXPECT_EQ(UninstallProcedure(&context_), 0);
  EXPECT_EQ(ReadLog(), LogLine("HCLINE_Setup.exe", "-h -u -H"));
  EXPECT_FALSE(Exists(g_install_folder));
  std::string value;
  EXPECT_FALSE(ReadMachineString(UNINSTALL_KEY, "DisplayName", &value));
}

TEST_F(Procedures, UninstallGoesOnWhateverTheDriversReturn) {
  InstallProduct();
  SetEnvironmentVariableA("QV_HCLINE_EXIT", "1");
  SetEnvironmentVariableA("QV_HCQVAUX_EXIT", "-7");
  EXPECT_EQ(UninstallProcedure(&context_), 0);
  EXPECT_FALSE(Exists(g_install_folder));
  EXPECT_EQ(ReadUserDword("SysTray"), 0);
}

TEST_F(Procedures, UninstallWithoutLineDriverProgramRemovesNothing) {
  InstallProduct();
  FreeLibrary(module_);
  module_ = nullptr;
  std::vector<Entry> entries = ProductEntries();
  entries[0].name = "HCLINE_Setup.bak";
  UsePackage(BuildPackage(entries));
  DeleteFileA(InFolder("HCLINE_Setup.exe").c_str());

  EXPECT_EQ(UninstallProcedure(&context_), -605);
  EXPECT_EQ(TakePosts(), std::vector<std::string>{"status:127"});
  EXPECT_STREQ(context_.error_text,
               "De-Installation driver setup program could not be started...\nthanks to download official package at\n"
               "https://www.halcyra.example.");
  EXPECT_EQ(ReadLog(), "");
  EXPECT_EQ(CountFiles(g_install_folder), 53);
  ExpectShortcutSet(UserProgramsFolder(), true);
  ExpectShortcutSet(GetCommonProgramsFolder(), true);
  std::string value;
  EXPECT_TRUE(ReadMachineString(UNINSTALL_KEY, "DisplayName", &value));
  EXPECT_EQ(ReadUserDword("SysTray"), -1);
}

TEST_F(Procedures, UninstallWithUnreadablePackagePostsFailure) {
  UsePackage({});
  EXPECT_EQ(UninstallProcedure(&context_), -1);
  EXPECT_EQ(TakePosts(), std::vector<std::string>{"status:127"});
  EXPECT_STREQ(context_.error_caption, "Quorvane Uninstallation Error");
  EXPECT_STREQ(context_.error_text,
               "De-Installation package might be corrupted\nthanks to download official package at\n"
               "https://www.halcyra.example.");
}

// The pending deletions that Windows carries out at the next start.
std::vector<std::string> PendingRenames() {
  std::vector<std::string> items;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return items;
  std::vector<char> data(65536);
  DWORD size = static_cast<DWORD>(data.size()), type = 0;
  if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                       &size) == ERROR_SUCCESS &&
      type == REG_MULTI_SZ) {
    // Pairs of source and target; an empty target means delete.
    size_t at = 0;
    while (at < size && data[at]) {
      std::string source = data.data() + at;
      at += source.size() + 1;
      std::string target = at < size ? data.data() + at : "";
      at += target.size() + 1;
      items.push_back(source + (target.empty() ? "" : " -> " + target));
    }
  }
  RegCloseKey(key);
  return items;
}

const wchar_t SESSION_MANAGER_W[] = L"System\\CurrentControlSet\\Control\\Session Manager";

// The value as stored, every unit.
std::wstring PendingRenamesW(HKEY key) {
  std::vector<wchar_t> data(32768);
  DWORD size = DWORD(data.size() * 2), type = 0;
  if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                       &size) != ERROR_SUCCESS)
    return L"<none>";
  return std::wstring(data.data(), size / 2);
}

TEST_F(Procedures, WhatCannotBeDeletedIsScheduledForRestart) {
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                     "PendingFileRenameOperations");
  std::string folder = std::string(WORK_FOLDER) + "\\left";
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA((folder + "\\sub").c_str(), nullptr);
  std::string busy = folder + "\\sub\\busy.exe";
  // Held open without delete sharing, as a running program is.
  HANDLE held = CreateFileA(busy.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  HANDLE other = CreateFileA((folder + "\\other.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(other);

  EXPECT_EQ(ScheduleRemovalAtRestart(folder.c_str()), 1);
  CloseHandle(held);
  EXPECT_FALSE(Exists(folder + "\\other.txt")) << "what can be deleted now is deleted now";
  std::vector<std::string> expected = {"\\??\\" + busy, "\\??\\" + folder + "\\sub", "\\??\\" + folder};
  EXPECT_EQ(PendingRenames(), expected);

  // A reinstall withdraws them, and leaves what other programs scheduled as
  // they wrote it: every unit, outside the ANSI code page too, and in order.
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, SESSION_MANAGER_W, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  const std::wstring foreign = std::wstring(L"\\??\\C:\\\u00e9t\u00e9\\\u65e5\u672c.dll") + L'\0' + L'\0' +
                               L"C:\\x" + L'\0' + L"C:\\y" + L'\0';
  std::wstring value = PendingRenamesW(key);
  value.insert(value.size() - 1, foreign);  // before the closing NUL
  value.insert(0, foreign);
  ASSERT_EQ(RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ,
                           reinterpret_cast<const BYTE*>(value.data()), DWORD(value.size() * 2)),
            ERROR_SUCCESS);
  EXPECT_EQ(WithdrawRestartDeletions((folder + "\\").c_str()), 1);
  EXPECT_EQ(PendingRenamesW(key), foreign + foreign + L'\0');
  // Only ours: the value goes.
  ASSERT_EQ(RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ,
                           reinterpret_cast<const BYTE*>(L"C:\\qvtest\\LEFT\0\0"), 17 * 2), ERROR_SUCCESS);
  EXPECT_EQ(WithdrawRestartDeletions(folder.c_str()), 1);
  EXPECT_EQ(RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, nullptr),
            ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);

  // Nothing left, nothing scheduled.
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                     "PendingFileRenameOperations");
  RemoveTree(folder);
  EXPECT_EQ(ScheduleRemovalAtRestart(folder.c_str()), 1);
  EXPECT_TRUE(PendingRenames().empty());
}

}  // namespace
