// The file and folder helpers on real files, and the window thread's wait, under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "system/ansi_path.h"
#include "system/files.h"
#include "system/run_log.h"
#include "system/wait.h"

namespace {

class Files : public ::testing::Test {
 protected:
  std::string root;
  void SetUp() override {
    char tmp[MAX_PATH];
    GetTempPathA(sizeof tmp, tmp);
    static int n = 0;
    root = std::string(tmp) + "qvfiles" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(n++);
    ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
  }
  std::string P(const std::string& rel) const { return root + "\\" + rel; }
  void Dir(const std::string& rel) const { ASSERT_TRUE(CreateDirectoryA(P(rel).c_str(), nullptr)) << rel; }
  void File(const std::string& rel, const std::string& text = "x", DWORD attrs = 0) const {
    HANDLE h = CreateFileA(P(rel).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << rel;
    DWORD w;
    WriteFile(h, text.data(), DWORD(text.size()), &w, nullptr);
    CloseHandle(h);
    if (attrs) SetFileAttributesA(P(rel).c_str(), attrs);
  }
  static bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
  bool Has(const std::string& rel) const { return Exists(P(rel)); }
  static std::string Read(const std::string& path) {
    std::string s;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    char buf[4096];
    DWORD got;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got) s.append(buf, got);
    CloseHandle(h);
    return s;
  }
};

TEST_F(Files, DeleteFolderTreeOnAMissingFolderChangesNothing) {
  EXPECT_EQ(DeleteFolderTree(P("absent").c_str()), 1);
  EXPECT_TRUE(Has(""));
}

TEST_F(Files, DeleteFolderTreeRemovesFilesNestedFoldersAndTheFolder) {
  Dir("t");
  Dir("t\\a");
  Dir("t\\a\\b");
  File("t\\one.txt");
  File("t\\.hidden");  // a file whose name starts with a dot is deleted like any other
  File("t\\a\\two.bin");
  File("t\\a\\b\\three.dat", "x", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);  // marked by a user
  Dir("t\\a\\b\\c");
  EXPECT_EQ(DeleteFolderTree(P("t").c_str()), 1);
  EXPECT_FALSE(Has("t"));
  Dir("u");
  File("u\\f");
  EXPECT_EQ(DeleteFolderTree(P("u\\").c_str()), 1);  // a trailing backslash gets no second one
  EXPECT_FALSE(Has("u"));
}

TEST_F(Files, DeleteFolderTreeLeavesFoldersWhoseNamesBeginWithADot) {
  Dir("t");
  Dir("t\\.keep");
  File("t\\.keep\\inside.txt");
  File("t\\gone.txt");
  EXPECT_EQ(DeleteFolderTree(P("t").c_str()), 1);
  EXPECT_TRUE(Has("t\\.keep\\inside.txt"));
  EXPECT_FALSE(Has("t\\gone.txt"));
  EXPECT_TRUE(Has("t"));
}

// Held open without delete sharing, as a running program is.
HANDLE Hold(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST_F(Files, DeleteFolderTreeStopsAtAFileInUse) {
  Dir("t");
  File("t\\locked.txt");
  HANDLE held = Hold(P("t\\locked.txt"));
  EXPECT_EQ(DeleteFolderTree(P("t").c_str()), 1);
  CloseHandle(held);
  EXPECT_TRUE(Has("t\\locked.txt"));
  EXPECT_TRUE(Has("t"));
}

// A sub-folder that stays after its removal (here: it holds a file in use)
// would come first in every new enumeration; the walk must end all the same.
TEST_F(Files, DeleteFolderTreeEndsWhenASubFolderStays) {
  Dir("t");
  Dir("t\\sub");
  File("t\\sub\\locked.txt");
  HANDLE held = Hold(P("t\\sub\\locked.txt"));
  Dir("t\\sub2");
  Dir("t\\sub2\\.dot");
  EXPECT_EQ(DeleteFolderTree(P("t").c_str()), 1);
  CloseHandle(held);
  EXPECT_TRUE(Has("t"));
  EXPECT_TRUE(Has("t\\sub\\locked.txt") || Has("t\\sub2\\.dot"));
}

// What cannot be deleted, handed over by the walk, in order.
struct Handed {
  std::vector<std::string> paths;
  int result = 1;
  static int Take(void* user, const wchar_t* path) {
    Handed* h = static_cast<Handed*>(user);
    char ansi[MAX_PATH * 2];
    WideCharToMultiByte(CP_ACP, 0, path, -1, ansi, sizeof ansi, nullptr, nullptr);
    h->paths.push_back(ansi);
    h->wide.push_back(path);
    return h->result;
  }
  std::vector<std::wstring> wide;
};

// A folder link. Wine's CreateSymbolicLink makes nothing and says it did, but
// Wine shows a symbolic link of the host as a linked folder: the host makes one.
bool MakeFolderLink(const std::string& link, const std::string& target) {
  if (CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) &&
      GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES)
    return true;
  typedef char*(CDECL * UnixName)(const WCHAR*);
  auto unix_name = reinterpret_cast<UnixName>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name"));
  if (!unix_name) return false;
  WCHAR wide_link[MAX_PATH], wide_target[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide_link, MAX_PATH);
  MultiByteToWideChar(CP_ACP, 0, target.c_str(), -1, wide_target, MAX_PATH);
  char* unix_link = unix_name(wide_link);
  char* unix_target = unix_name(wide_target);
  // Started without a shell: the words go as they are (no blanks in these paths).
  std::string command = std::string("/bin/ln -s ") + (unix_target ? unix_target : "") + " " + (unix_link ? unix_link : "");
  HeapFree(GetProcessHeap(), 0, unix_link);
  HeapFree(GetProcessHeap(), 0, unix_target);
  STARTUPINFOA startup = {sizeof startup};
  PROCESS_INFORMATION process;
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (int i = 0; i < 100 && GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(20);
  return GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A linked folder inside the tree is removed as a link (or, when it will not
// go, handed over as itself); what it points to stays.
TEST_F(Files, DeleteFolderTreeDoesNotFollowFolderLinks) {
  Dir("outside");
  File("outside\\precious.txt");
  for (const std::string t : {"t", "u"}) {
    const bool handing = t == "u";
    Dir(t);
    File(t + "\\mine.txt");
    if (!MakeFolderLink(P(t + "\\link"), P("outside"))) GTEST_SKIP() << "no folder links here";
    ASSERT_TRUE(GetFileAttributesA(P(t + "\\link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    Handed handed;
    EXPECT_EQ(handing ? DeleteFolderTreeOr(P(t).c_str(), Handed::Take, &handed) : DeleteFolderTree(P(t).c_str()), 1);
    EXPECT_TRUE(Has("outside\\precious.txt"));
    if (!Has(t + "\\link")) {
      EXPECT_FALSE(Has(t));
      EXPECT_TRUE(handed.paths.empty());
    } else if (handing) {
      // Wine cannot delete a link: then the link itself, and the folder, are handed over.
      EXPECT_FALSE(Has(t + "\\mine.txt"));
      EXPECT_EQ(handed.paths, std::vector<std::string>({P(t + "\\link"), P(t)}));
    }
  }
}

// A folder that is itself a link goes as a link, trailing backslash or not;
// what it points to stays.
TEST_F(Files, DeleteFolderTreeTakesALinkedFolderAsALink) {
  Dir("outside");
  File("outside\\precious.txt");
  if (!MakeFolderLink(P("root"), P("outside"))) GTEST_SKIP() << "no folder links here";
  EXPECT_EQ(DeleteFolderTree(P("root\\").c_str()), 1);
  Handed handed;
  EXPECT_EQ(DeleteFolderTreeOr(P("root").c_str(), Handed::Take, &handed), 1);
  EXPECT_TRUE(Has("outside\\precious.txt"));
  // Wine cannot delete a link: then it is handed over as itself, and alone.
  if (Has("root")) EXPECT_EQ(handed.paths, std::vector<std::string>{P("root")});
}

// Handing over what stays, the walk goes on past it: the items that stayed
// come first in every new enumeration, and none may be handed over twice or
// make the walk skip another.
TEST_F(Files, DeleteFolderTreeOrHandsOverWhatStaysAndGoesOn) {
  Dir("t");
  Dir("t\\sub");
  std::vector<HANDLE> held;
  std::vector<std::string> expected;
  for (const char* name : {"a0", "a1", "a2", "a3", "a4", "a5", "a6", "a7", "sub\\b0", "sub\\b1", "sub\\b2"}) {
    File(std::string("t\\") + name);
    if (std::string("a1 a4 a5 sub\\b1").find(name) == std::string::npos) continue;
    // Held open without delete sharing, as a running program is.
    held.push_back(CreateFileA(P(std::string("t\\") + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    expected.push_back(P(std::string("t\\") + name));
  }
  // Named outside the code page: handed over by that name, never a look-alike.
  const std::wstring odd = std::wstring(root.begin(), root.end()) + L"\\t\\\u0141\u00f3d\u017a.qvp";
  held.push_back(CreateFileW(odd.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr));
  // Listed, but not reached by that name (Windows drops a trailing dot): it stays, and the walk ends.
  const std::wstring dotted = L"\\\\?\\" + std::wstring(root.begin(), root.end()) + L"\\t\\x.";
  ASSERT_TRUE(CloseHandle(CreateFileW(dotted.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)));
  Handed handed;
  const DWORD start = GetTickCount();
  EXPECT_EQ(DeleteFolderTreeOr(P("t").c_str(), Handed::Take, &handed), 1);
  // Files held for good share one wait of about two seconds, not one each.
  EXPECT_LT(GetTickCount() - start, 3500u);
  for (HANDLE h : held) CloseHandle(h);
  EXPECT_NE(std::find(handed.wide.begin(), handed.wide.end(), odd), handed.wide.end());
  // Contents before their folder, the folder given last.
  ASSERT_EQ(handed.paths.size(), expected.size() + 3);
  EXPECT_EQ(handed.paths.back(), P("t"));
  auto at = [&](const std::string& p) { return std::find(handed.paths.begin(), handed.paths.end(), p) - handed.paths.begin(); };
  EXPECT_LT(at(P("t\\sub\\b1")), at(P("t\\sub")));
  for (const std::string& p : expected) EXPECT_LT(at(p), static_cast<long>(handed.paths.size())) << p;
  for (const char* gone : {"a0", "a2", "a3", "a6", "a7", "sub\\b0", "sub\\b2"}) EXPECT_FALSE(Has(std::string("t\\") + gone));

  // A folder whose name begins with a dot is never touched, so not all is taken care of;
  // neither is an item its taker refuses.
  Dir("u");
  Dir("u\\.keep");
  File("u\\.keep\\x");
  Handed refused;
  refused.result = 0;
  EXPECT_EQ(DeleteFolderTreeOr(P("u").c_str(), Handed::Take, &refused), 0);
  EXPECT_TRUE(Has("u\\.keep\\x"));
  EXPECT_EQ(refused.paths, std::vector<std::string>{P("u")});
  Handed none;
  EXPECT_EQ(DeleteFolderTreeOr(P("absent").c_str(), Handed::Take, &none), 1);
  EXPECT_TRUE(none.paths.empty()) << "nothing there, nothing to hand over";
}

// The program's own running image never goes while it runs: handed over at
// once rather than waited on like a file held for a moment.
TEST_F(Files, DeleteFolderTreeOrHandsOverTheOwnFileAtOnce) {
  Dir("o");
  File("o\\setup.exe");
  HANDLE own = Hold(P("o\\setup.exe"));
  Handed handed;
  const DWORD start = GetTickCount();
  EXPECT_EQ(DeleteFolderTreeOr(P("o").c_str(), Handed::Take, &handed, own), 1);
  EXPECT_LT(GetTickCount() - start, 1000u);
  CloseHandle(own);
  EXPECT_EQ(handed.paths, std::vector<std::string>({P("o\\setup.exe"), P("o")}));
}

// A path longer than the working area is refused as a whole: a version that
// cut it short would work on the folder its first 2048 characters name.
TEST_F(Files, DeleteFolderTreeRefusesAnOverLongPath) {
  Dir("t");
  File("t\\keep.txt");
  std::string longer = P("t") + std::string(2100, '\\') + "x";
  EXPECT_EQ(DeleteFolderTree(longer.c_str()), 0);
  EXPECT_TRUE(Has("t\\keep.txt"));
}

// A path from the system keeps its folder, by its exact ANSI form or its short
// form, or is unknown; it never becomes a look-alike ("Łukasz" → "Lukasz").
TEST_F(Files, AnsiPathFromWideIsExactOrShortOrNothing) {
  if (GetACP() != 1252) GTEST_SKIP() << "the cases are written for code page 1252";
  const std::wstring base(root.begin(), root.end());
  char out[MAX_PATH];
  EXPECT_EQ(AnsiPathFromWide((base + L"\\Jos\u00e9").c_str(), out, sizeof out), 1);
  EXPECT_EQ(std::string(out), P("Jos\xe9"));
  for (const wchar_t* name : {L"\\\u0141ukasz", L"\\\u4e0b\u8f7d"}) {
    const std::wstring folder = base + name;
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CloseHandle(CreateFileW((folder + L"\\mark").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)));
    EXPECT_EQ(ExactAnsiText(folder.c_str(), out, sizeof out), 0);
    ASSERT_EQ(AnsiPathFromWide(folder.c_str(), out, sizeof out), 1);
    EXPECT_TRUE(Exists(std::string(out) + "\\mark")) << out;
    // What is not there has no short form either.
    EXPECT_EQ(AnsiPathFromWide((folder + L"\\absent").c_str(), out, sizeof out), 0);
    EXPECT_STREQ(out, "");
  }
  EXPECT_EQ(AnsiPathFromWide(L"", out, sizeof out), 0);
}

TEST_F(Files, MakeFolderPathMakesEveryMissingFolder) {
  EXPECT_EQ(MakeFolderPath(P("a\\b\\c").c_str()), 1);
  EXPECT_TRUE(Has("a\\b\\c"));
  EXPECT_EQ(MakeFolderPath(P("a\\b\\c").c_str()), 1);  // all there already
  EXPECT_EQ(MakeFolderPath(P("x\\y\\").c_str()), 1);  // up to the trailing backslash
  EXPECT_TRUE(Has("x\\y"));
  EXPECT_EQ(MakeFolderPath(nullptr), 0);
}

TEST_F(Files, MakeFolderPathFiveCharacterRule) {
  EXPECT_FALSE(Exists("C:\\q"));
  EXPECT_EQ(MakeFolderPath("C:\\q"), 0);
  EXPECT_FALSE(Exists("C:\\q"));
  EXPECT_EQ(MakeFolderPath("C:\\qv"), 1);
  EXPECT_TRUE(Exists("C:\\qv"));
  RemoveDirectoryA("C:\\qv");
}

TEST_F(Files, MakeFolderPathFailsUnderAFileAndKeepsWhatItMade) {
  Dir("m");
  File("m\\f");
  EXPECT_EQ(MakeFolderPath(P("m\\f\\g\\h").c_str()), 0);
  EXPECT_FALSE(Has("m\\f\\g"));
  // A file where the last folder or the one before a trailing backslash should
  // be: "already exists", but not as a folder.
  EXPECT_EQ(MakeFolderPath(P("m\\f").c_str()), 0);
  EXPECT_EQ(MakeFolderPath(P("m\\f\\").c_str()), 0);
  std::string over = P("n\\") + std::string(1100, 'x');
  EXPECT_EQ(MakeFolderPath(over.c_str()), 0);
  EXPECT_FALSE(Has("n"));  // refused before anything was made
}

TEST_F(Files, WriteWholeFileReplacesALongerFile) {
  File("w.bin", std::string(5000, 'a'), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(WriteWholeFile(P("w.bin").c_str(), "new", 3), 1);
  EXPECT_EQ(Read(P("w.bin")), "new");
  EXPECT_EQ(GetFileAttributesA(P("w.bin").c_str()) & FILE_ATTRIBUTE_READONLY, 0u) << "normal attributes";
  EXPECT_EQ(WriteWholeFile(P("empty.bin").c_str(), "", 0), 1);
  EXPECT_EQ(Read(P("empty.bin")), "");
}

// (Read-only files are not tried: Wine run as root writes them all the same.)
TEST_F(Files, WriteWholeFileFailures) {
  File("held.bin", "old");
  HANDLE held = CreateFileA(P("held.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const DWORD start = GetTickCount();
  EXPECT_EQ(WriteWholeFile(P("held.bin").c_str(), "new", 3), 0);
  const DWORD spent = GetTickCount() - start;
  EXPECT_GE(spent, 1500u) << "a hold that may pass is waited out";
  EXPECT_LT(spent, 4000u) << "for about two seconds";
  CloseHandle(held);
  EXPECT_EQ(Read(P("held.bin")), "old");
  EXPECT_EQ(WriteWholeFile(P("nofolder\\f.bin").c_str(), "x", 1), 0);
  EXPECT_EQ(WriteWholeFile(P("").c_str(), "x", 1), 0);  // a folder
}

// A part file that cannot be written (here a folder has its name) is the
// file that the failure names, not the copy.
TEST_F(Files, CopyWholeFileNamesThePartFileThatFails) {
  File("source.exe", "MZ");
  Dir("copy.exe.new");
  HANDLE source = Hold(P("source.exe"));
  FileFailure failure = {};
  EXPECT_EQ(CopyWholeFile(source, P("copy.exe").c_str(), &failure), 0);
  CloseHandle(source);
  EXPECT_EQ(std::string(failure.path), P("copy.exe.new"));
  EXPECT_FALSE(Has("copy.exe"));
}

TEST_F(Files, FileExists) {
  File("e.txt");
  Dir("d");
  EXPECT_EQ(FileExists(P("e.txt").c_str()), 1);
  EXPECT_EQ(FileExists(P("d").c_str()), 0);
  EXPECT_EQ(FileExists(P("none.txt").c_str()), 0);
  HANDLE held = CreateFileA(P("e.txt").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(FileExists(P("e.txt").c_str()), 0);  // held open without read sharing
  CloseHandle(held);
  EXPECT_EQ(FileExists(P("e.txt").c_str()), 1);
}

volatile LONG g_sent = 0, g_posted = 0;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_USER + 1) InterlockedIncrement(&g_sent);
  if (message == WM_USER + 2) InterlockedIncrement(&g_posted);
  return DefWindowProcA(window, message, wparam, lparam);
}
HANDLE g_stop;
// Sends every 20 ms, for 5 s at most, as a child's broadcasts would.
DWORD WINAPI KeepSending(LPVOID window) {
  for (int i = 0; i < 250 && WaitForSingleObject(g_stop, 20) == WAIT_TIMEOUT; i++)
    SendMessageA(static_cast<HWND>(window), WM_USER + 1, 0, 0);
  return 0;
}

TEST(WaitAnsweringSentMessages, AnswersSentLeavesPostedAndKeepsItsTimeOut) {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = CountingProc;
  window_class.lpszClassName = "QvWaitTest";
  ASSERT_NE(RegisterClassA(&window_class), 0);
  HWND window = CreateWindowExA(0, "QvWaitTest", "", WS_OVERLAPPED, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  PostMessageA(window, WM_USER + 2, 0, 0);  // a click or a command, in effect
  g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE sender = CreateThread(nullptr, 0, KeepSending, window, 0, nullptr);
  DWORD start = GetTickCount();
  EXPECT_EQ(WaitAnsweringSentMessages(g_stop, 300), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_LT(GetTickCount() - start, 3000u) << "each answer must not start the time-out afresh";
  SetEvent(g_stop);
  EXPECT_EQ(WaitAnsweringSentMessages(sender, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_GT(g_sent, 0);
  EXPECT_EQ(g_posted, 0);
  MSG message;
  EXPECT_TRUE(PeekMessageA(&message, window, WM_USER + 2, WM_USER + 2, PM_REMOVE)) << "still queued";
  CloseHandle(sender);
  CloseHandle(g_stop);
  DestroyWindow(window);
}

HANDLE g_start_logging;
DWORD WINAPI LogLines(LPVOID tag) {
  WaitForSingleObject(g_start_logging, INFINITE);
  for (int i = 0; i < 900; i++) RunLogLine("%s line %03d", static_cast<const char*>(tag), i);
  return 0;
}

// The run's log: the caller's last error kept, whole lines from two threads at
// once, and at most 64 KB, whose last line says that the rest was left out.
TEST_F(Files, RunLogKeepsLinesWholeAndStaysBounded) {
  SetLastError(1234);
  RunLogLine("first");
  EXPECT_EQ(GetLastError(), 1234u);
  g_start_logging = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE threads[] = {CreateThread(nullptr, 0, LogLines, const_cast<char*>("thread A"), 0, nullptr),
                      CreateThread(nullptr, 0, LogLines, const_cast<char*>("thread B"), 0, nullptr)};
  SetEvent(g_start_logging);
  EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
  for (HANDLE thread : threads) CloseHandle(thread);
  CloseHandle(g_start_logging);
  for (int i = 0; i < 1000; i++) RunLogLine("%0100d", i);  // well past the bound
  RunLogExit(0);

  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((std::string(temp) + "Quorvane Setup *.log").c_str(), &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  FindClose(find);
  const std::string log = Read(std::string(temp) + found.cFileName);
  EXPECT_LE(log.size(), 64u * 1024);
  std::istringstream lines(log);
  const std::regex whole("\\d\\d:\\d\\d:\\d\\d\\.\\d{3}  (first|thread [AB] line \\d{3}|\\d{100})\r");
  int from_threads = 0;
  std::string line, last;
  while (std::getline(lines, line) && line != "(the log is full: what follows is left out)\r") {
    EXPECT_TRUE(std::regex_match(line, whole)) << line;
    from_threads += line.find(" line ") != std::string::npos;
  }
  EXPECT_EQ(from_threads, 1800);
  EXPECT_FALSE(std::getline(lines, last)) << "nothing after the line that says the log is full: " << last;
}

}  // namespace
