// Shortcut files written through the shell, read back through the shell.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "procedures/shortcuts.h"

namespace {

const char BASE[] = "C:\\qv shortcuts";
const char INSTALL[] = "C:\\qv shortcuts\\Program Files\\Halcyra\\Quorvane";
const char MENU[] = "C:\\qv shortcuts\\Programs\\Halcyra\\Quorvane";

struct LinkInfo {
  HRESULT loaded = E_FAIL;
  std::string path, description, arguments, work_dir;
};

LinkInfo ReadLink(const std::string& file) {
  LinkInfo info;
  IShellLinkA* link = nullptr;
  info.loaded = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&link));
  if (FAILED(info.loaded)) return info;
  IPersistFile* persist = nullptr;
  info.loaded = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
  if (SUCCEEDED(info.loaded)) {
    WCHAR wide[2048];
    MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, 2048);
    info.loaded = persist->Load(wide, STGM_READ);
    persist->Release();
  }
  if (SUCCEEDED(info.loaded)) {
    char text[2048];
    text[0] = '\0';
    link->GetPath(text, sizeof(text), nullptr, SLGP_RAWPATH);
    info.path = text;
    text[0] = '\0';
    link->GetDescription(text, sizeof(text));
    info.description = text;
    text[0] = '\0';
    link->GetArguments(text, sizeof(text));
    info.arguments = text;
    text[0] = '\0';
    link->GetWorkingDirectory(text, sizeof(text));
    info.work_dir = text;
  }
  link->Release();
  return info;
}

// Names of the files in a folder, as the file system spells them.
std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return names;
}

void MakeFolders(const char* path) {
  std::string part;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\' && !part.empty() && part.back() != ':') CreateDirectoryA(part.c_str(), nullptr);
    part += *p;
  }
  CreateDirectoryA(part.c_str(), nullptr);
}

void WipeFolder(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        WipeFolder(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

class Shortcuts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    WipeFolder(BASE);
    MakeFolders(INSTALL);
    MakeFolders(MENU);
    for (const ShortcutRow& row : SHORTCUT_INSTALL_ORDER) {
      HANDLE file = CreateFileA(Target(row.target_file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE);
      CloseHandle(file);
    }
  }
  void TearDown() override {
    WipeFolder(BASE);
    CoUninitialize();
  }
  static std::string Target(const char* file) { return std::string(INSTALL) + "\\" + file; }
};

TEST_F(Shortcuts, EachOfTheSetReadsBackAsWritten) {
  for (const ShortcutRow& row : SHORTCUT_INSTALL_ORDER) {
    EXPECT_EQ(CreateShortcut(Target(row.target_file).c_str(), MENU, row.display_name, nullptr), S_OK)
        << row.display_name;
  }
  std::vector<std::string> names = ListFolder(MENU);
  EXPECT_EQ(names.size(), static_cast<size_t>(SHORTCUT_COUNT));
  for (const ShortcutRow& row : SHORTCUT_INSTALL_ORDER) {
    std::string file_name = std::string(row.display_name) + ".LNK";
    bool spelled_so = false;
    for (const std::string& n : names) spelled_so |= n == file_name;
    EXPECT_TRUE(spelled_so) << file_name;

    LinkInfo info = ReadLink(std::string(MENU) + "\\" + file_name);
    ASSERT_EQ(info.loaded, S_OK) << file_name;
    EXPECT_STRCASEEQ(info.path.c_str(), Target(row.target_file).c_str());
    EXPECT_EQ(info.description, row.display_name);
    EXPECT_EQ(info.arguments, "");
    // The install folder itself, no trailing backslash.
    EXPECT_EQ(info.work_dir, INSTALL);
  }
}

TEST_F(Shortcuts, FolderWithTrailingBackslashGetsNoSecondOne) {
  std::string with_slash = std::string(MENU) + "\\";
  ASSERT_EQ(CreateShortcut(Target("Quorvane.exe").c_str(), with_slash.c_str(), "Quorvane", nullptr), S_OK);
  ASSERT_EQ(ListFolder(MENU), std::vector<std::string>{"Quorvane.LNK"});
  LinkInfo info = ReadLink(std::string(MENU) + "\\Quorvane.LNK");
  ASSERT_EQ(info.loaded, S_OK);
  EXPECT_EQ(info.work_dir, INSTALL);
  // Either spelling of the folder names the same file for DeleteShortcut.
  EXPECT_NE(DeleteShortcut(MENU, "Quorvane"), FALSE);
  EXPECT_TRUE(ListFolder(MENU).empty());
}

TEST_F(Shortcuts, ArgumentsAreStoredAndASecondSaveReplacesTheFirst) {
  ASSERT_EQ(CreateShortcut(Target("readme.txt").c_str(), MENU, "Readme", "-first"), S_OK);
  ASSERT_EQ(CreateShortcut(Target("Quorvane.exe").c_str(), MENU, "Readme", "-x \"two words\""), S_OK);
  LinkInfo info = ReadLink(std::string(MENU) + "\\Readme.LNK");
  ASSERT_EQ(info.loaded, S_OK);
  EXPECT_STRCASEEQ(info.path.c_str(), Target("Quorvane.exe").c_str());
  EXPECT_EQ(info.arguments, "-x \"two words\"");
  EXPECT_EQ(ListFolder(MENU).size(), 1u);
}

TEST_F(Shortcuts, RemovalOrderDeletesExactlyWhatTheInstallOrderWrote) {
  // Something of the user's in the same folder must survive.
  std::string own = std::string(MENU) + "\\Notes.lnk.txt";
  HANDLE file = CreateFileA(own.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  for (const ShortcutRow& row : SHORTCUT_INSTALL_ORDER) {
    ASSERT_EQ(CreateShortcut(Target(row.target_file).c_str(), MENU, row.display_name, nullptr), S_OK);
  }
  for (const char* name : SHORTCUT_REMOVAL_ORDER) EXPECT_NE(DeleteShortcut(MENU, name), FALSE) << name;
  EXPECT_EQ(ListFolder(MENU), std::vector<std::string>{"Notes.lnk.txt"});
  // Gone already: 0, and nothing else touched.
  for (const char* name : SHORTCUT_REMOVAL_ORDER) EXPECT_EQ(DeleteShortcut(MENU, name), FALSE) << name;
  EXPECT_EQ(DeleteShortcut(MENU, AUTOSTART_SHORTCUT), FALSE);
  EXPECT_EQ(ListFolder(MENU), std::vector<std::string>{"Notes.lnk.txt"});
}

TEST_F(Shortcuts, APathBeyondTheBufferIsRefusedNotCut) {
  std::string long_folder = std::string(MENU) + "\\" + std::string(2040, 'f');
  HRESULT result = CreateShortcut(Target("Quorvane.exe").c_str(), long_folder.c_str(), "Quorvane", nullptr);
  EXPECT_TRUE(FAILED(result));
  EXPECT_EQ(DeleteShortcut(long_folder.c_str(), "Quorvane"), FALSE);
  EXPECT_TRUE(ListFolder(MENU).empty());
}

}  // namespace
