// Registry helpers against the prefix's real registry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "system/registry.h"

namespace {

const char MACHINE_ROOT[] = "Software\\QvRegistryTest";
const char USER_ROOT[] = "Software\\QvRegistryTest";

void DeleteTree(HKEY root, const char* path) { RegDeleteTreeA(root, path); }

// Raw value as the registry keeps it (ANSI view); type 0 when missing.
struct RawValue {
  DWORD type = 0;
  DWORD length = 0;
  std::string bytes;
};

RawValue Query(HKEY root, const char* key_path, const char* name) {
  RawValue value;
  HKEY key;
  if (RegOpenKeyExA(root, key_path, 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
  char data[16384];
  DWORD length = sizeof(data);
  if (RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &length) ==
      ERROR_SUCCESS) {
    value.length = length;
    value.bytes.assign(data, length);
  } else {
    value.type = 0;
  }
  RegCloseKey(key);
  return value;
}

void SetUserValue(const char* name, DWORD type, const void* data, DWORD length) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, USER_ROOT, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), length), ERROR_SUCCESS);
  RegCloseKey(key);
}

bool KeyExists(HKEY root, const char* path) {
  HKEY key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTree(HKEY_LOCAL_MACHINE, MACHINE_ROOT);
    DeleteTree(HKEY_CURRENT_USER, USER_ROOT);
  }
  void TearDown() override { SetUp(); }
};

TEST_F(Registry, WriteMachineStringCreatesThePathAndReplacesTheValue) {
  const char path[] = "Software\\QvRegistryTest\\Level1\\Level2\\Uninstall";
  ASSERT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\QvRegistryTest"));
  EXPECT_EQ(WriteMachineString(path, "DisplayName", "Quorvane first"), 1);
  RawValue first = Query(HKEY_LOCAL_MACHINE, path, "DisplayName");
  EXPECT_EQ(first.type, static_cast<DWORD>(REG_SZ));
  EXPECT_STREQ(first.bytes.c_str(), "Quorvane first");

  EXPECT_EQ(WriteMachineString(path, "DisplayName", "second"), 1);
  RawValue second = Query(HKEY_LOCAL_MACHINE, path, "DisplayName");
  EXPECT_EQ(second.type, static_cast<DWORD>(REG_SZ));
  // The helper passes the length without the NUL; Windows itself counts the
  // terminator that follows the data, so the stored value is the text plus one NUL.
  EXPECT_EQ(second.length, strlen("second") + 1);
  EXPECT_EQ(second.bytes, std::string("second", 7));
  // An empty text is a value of its own, not a failure.
  EXPECT_EQ(WriteMachineString(path, "Empty", ""), 1);
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, path, "Empty").type, static_cast<DWORD>(REG_SZ));
}

TEST_F(Registry, WritesFailWhenTheKeyCanNeitherBeOpenedNorCreated) {
  // A lasting key cannot be created under a volatile one.
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(root, "Software\\QvRegistryTest\\Volatile", 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  EXPECT_EQ(WriteMachineString("Software\\QvRegistryTest\\Volatile\\Child", "x", "y"), 0);
  EXPECT_EQ(WriteUserDword("Software\\QvRegistryTest\\Volatile\\Child", "x", 1), 0);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\QvRegistryTest\\Volatile\\Child"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\QvRegistryTest\\Volatile\\Child"));
}

TEST_F(Registry, WriteUserDwordStoresFourLittleEndianBytes) {
  const char path[] = "Software\\QvRegistryTest\\Halcyra\\QuorVane";
  EXPECT_EQ(WriteUserDword(path, "Flag", 0x01020304u), 1);
  RawValue value = Query(HKEY_CURRENT_USER, path, "Flag");
  EXPECT_EQ(value.type, static_cast<DWORD>(REG_DWORD));
  ASSERT_EQ(value.length, 4u);
  EXPECT_EQ(value.bytes, std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(WriteUserDword(path, "Flag", 0), 1);
  EXPECT_EQ(Query(HKEY_CURRENT_USER, path, "Flag").bytes, std::string(4, '\0'));
}

TEST_F(Registry, ReadUserStringReadsWhatWasWritten) {
  SetUserValue("Programs", REG_SZ, "C:\\Start\\Programs", 18);
  char out[1024];
  EXPECT_EQ(ReadUserString(USER_ROOT, "Programs", out, sizeof(out)), 1);
  EXPECT_STREQ(out, "C:\\Start\\Programs");
}

TEST_F(Registry, ReadUserStringRefusesOtherTypesAndMissingValuesUntouched) {
  SetUserValue("Expand", REG_EXPAND_SZ, "C:\\fits", 8);
  DWORD number = 7;
  SetUserValue("Number", REG_DWORD, &number, 4);
  char out[64];
  memset(out, 'Z', sizeof(out));
  EXPECT_EQ(ReadUserString(USER_ROOT, "Expand", out, sizeof(out)), 0);
  EXPECT_EQ(ReadUserString(USER_ROOT, "Number", out, sizeof(out)), 0);
  EXPECT_EQ(ReadUserString(USER_ROOT, "Missing", out, sizeof(out)), 0);
  EXPECT_EQ(ReadUserString("Software\\QvRegistryTest\\NoSuchKey", "Programs", out, sizeof(out)), 0);
  for (char c : out) ASSERT_EQ(c, 'Z');
}

TEST_F(Registry, ReadUserStringSizeLimits) {
  std::string big(4999, 'b');  // 5000 bytes with the NUL: larger than the query area
  SetUserValue("Big", REG_SZ, big.c_str(), 5000);
  std::string fits(4079, 'n');  // 4080 bytes with the NUL: fits, capped at 4050
  fits[0] = 'A';
  fits[4049] = 'E';
  SetUserValue("Near", REG_SZ, fits.c_str(), 4080);

  static char out[8192];
  memset(out, 'Z', sizeof(out));
  EXPECT_EQ(ReadUserString(USER_ROOT, "Big", out, sizeof(out)), 0);
  EXPECT_EQ(out[0], 'Z');

  EXPECT_EQ(ReadUserString(USER_ROOT, "Near", out, sizeof(out)), 1);
  EXPECT_EQ(strlen(out), 4050u);  // exactly the first 4050 bytes, then our terminator
  EXPECT_EQ(std::string(out, 4050), fits.substr(0, 4050));
  EXPECT_EQ(out[4051], 'Z');
}

TEST_F(Registry, ReadUserStringRefusesWhatDoesNotFitTheCallerArea) {
  std::string fits(4079, 'p');
  SetUserValue("Near", REG_SZ, fits.c_str(), 4080);
  // What the procedures do with the Programs folder: keep it in 1024 chars, then
  // append. A cut path would name another folder: nothing rather than a cut one.
  struct {
    char area[1024];
    char guard[64];
  } caller;
  memset(&caller, 'G', sizeof(caller));
  EXPECT_EQ(ReadUserString(USER_ROOT, "Near", caller.area, sizeof(caller.area)), 0);
  for (char c : caller.area) ASSERT_EQ(c, 'G');
  for (char c : caller.guard) ASSERT_EQ(c, 'G');

  // 1023 characters and the NUL fill the area exactly; one more does not fit.
  std::string exact(1023, 'x');
  SetUserValue("Exact", REG_SZ, exact.c_str(), 1024);
  EXPECT_EQ(ReadUserString(USER_ROOT, "Exact", caller.area, sizeof(caller.area)), 1);
  EXPECT_EQ(std::string(caller.area), exact);
  for (char c : caller.guard) ASSERT_EQ(c, 'G');
  std::string over(1024, 'y');
  SetUserValue("Over", REG_SZ, over.c_str(), 1025);
  EXPECT_EQ(ReadUserString(USER_ROOT, "Over", caller.area, sizeof(caller.area)), 0);
  EXPECT_EQ(std::string(caller.area), exact);
  // Stored without its NUL, 1023 bytes still need the terminator we add.
  SetUserValue("RawExact", REG_SZ, over.c_str(), 1023);
  EXPECT_EQ(ReadUserString(USER_ROOT, "RawExact", caller.area, sizeof(caller.area)), 1);
  EXPECT_EQ(std::string(caller.area), over.substr(0, 1023));
  SetUserValue("RawOver", REG_SZ, over.c_str(), 1024);
  EXPECT_EQ(ReadUserString(USER_ROOT, "RawOver", caller.area, sizeof(caller.area)), 0);

  char tiny[1];
  tiny[0] = 'Z';
  EXPECT_EQ(ReadUserString(USER_ROOT, "Near", tiny, 1), 0);
  EXPECT_EQ(tiny[0], 'Z');
  SetUserValue("Empty", REG_SZ, "", 1);
  EXPECT_EQ(ReadUserString(USER_ROOT, "Empty", tiny, 1), 1);
  EXPECT_EQ(tiny[0], '\0');
}

TEST_F(Registry, ReadUserStringTerminatesAValueStoredWithoutNul) {
  // "abcX" with a length of 3: the byte after the data is not a NUL, so Windows
  // stores three bytes and no terminator.
  SetUserValue("Raw", REG_SZ, "abcX", 3);
  char out[16];
  memset(out, 'Z', sizeof(out));
  EXPECT_EQ(ReadUserString(USER_ROOT, "Raw", out, sizeof(out)), 1);
  EXPECT_STREQ(out, "abc");
}

TEST_F(Registry, RemoveRegistryTreeRemovesThreeLevels) {
  const char* keys[] = {
      "Software\\QvRegistryTest\\Entry\\A\\A1\\A11",
      "Software\\QvRegistryTest\\Entry\\A\\A2",
      "Software\\QvRegistryTest\\Entry\\B\\B1\\B11",
      "Software\\QvRegistryTest\\Entry\\C",
  };
  for (const char* k : keys) ASSERT_EQ(WriteMachineString(k, "v", "x"), 1);
  ASSERT_EQ(WriteMachineString("Software\\QvRegistryTest\\Sibling", "v", "stays"), 1);
  EXPECT_EQ(RemoveRegistryTree(HKEY_LOCAL_MACHINE, "Software\\QvRegistryTest\\Entry"), 1);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\QvRegistryTest\\Entry"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\QvRegistryTest\\Sibling"));
  EXPECT_EQ(RemoveRegistryTree(HKEY_LOCAL_MACHINE, "Software\\QvRegistryTest\\Entry"), 0);
  // A leaf key with values only.
  EXPECT_EQ(RemoveRegistryTree(HKEY_LOCAL_MACHINE, "Software\\QvRegistryTest\\Sibling"), 1);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\QvRegistryTest\\Sibling"));
}

TEST_F(Registry, RemoveRegistryTreeRemovesSubKeysNamedOutsideTheCodePage) {
  // Enumerated through the ANSI functions, such a name came back with '?' or a
  // look-alike in place of the character, and that name opened nothing: the
  // tree stayed (and before that, the walk never ended).
  ASSERT_EQ(WriteMachineString("Software\\QvRegistryTest\\Entry\\Plain", "v", "x"), 1);
  for (const wchar_t* name :
       {L"Software\\QvRegistryTest\\Entry\\Odd\xD800", L"Software\\QvRegistryTest\\Entry\\\u0141\u00f3d\u017a"}) {
    HKEY odd;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, name, 0, nullptr, 0, KEY_WRITE, nullptr, &odd, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(odd);
  }
  EXPECT_EQ(RemoveRegistryTree(HKEY_LOCAL_MACHINE, "Software\\QvRegistryTest\\Entry"), 1);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\QvRegistryTest\\Entry"));
}

// Pending restart deletions while another program schedules its own: a copy
// of this program started with QV_STRESS_SCHEDULE set schedules as fast as it
// can, one of ours between two of its own, and ends.
const wchar_t SESSION_MANAGER[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const int STRESS_ROUNDS = 350;

std::wstring StressPath(const wchar_t* kind, int i) {
  return std::wstring(L"C:\\qvstress\\") + kind + L"\\" + std::to_wstring(i);
}

const int g_other_program = [] {
  if (!getenv("QV_STRESS_SCHEDULE")) return 0;
  for (int i = 0; i < STRESS_ROUNDS; ++i) {
    MoveFileExW(StressPath(L"other", i).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    if (i % 2) MoveFileExW(StressPath(L"Quorvane", i).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
  ExitProcess(0);
}();

TEST(PendingDeletions, AnotherProgramSchedulingMeanwhileLosesNothing) {
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, SESSION_MANAGER, L"PendingFileRenameOperations");
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  SetEnvironmentVariableA("QV_STRESS_SCHEDULE", "1");
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION other{};
  BOOL started = CreateProcessA(self, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &other);
  SetEnvironmentVariableA("QV_STRESS_SCHEDULE", nullptr);
  ASSERT_TRUE(started);
  int calls = 0;
  for (DWORD start = GetTickCount(); WaitForSingleObject(other.hProcess, 0) == WAIT_TIMEOUT; ++calls) {
    ASSERT_LT(GetTickCount() - start, 120000u) << "the other program never ended";
    WithdrawRestartDeletions("C:\\qvstress\\Quorvane");
  }
  CloseHandle(other.hThread);
  CloseHandle(other.hProcess);
  EXPECT_GT(calls, 0) << "the other program ended before the withdrawal ran";
  EXPECT_EQ(WithdrawRestartDeletions("C:\\qvstress\\Quorvane"), 1);
  // Every one of the other program's deletions, in its order, and nothing else.
  std::wstring left(1 << 16, L'\0');
  DWORD size = DWORD(left.size() * 2);
  ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, SESSION_MANAGER, L"PendingFileRenameOperations", RRF_RT_ANY, nullptr,
                         &left[0], &size),
            ERROR_SUCCESS);
  left.resize(size / 2);
  int lost = 0;
  size_t at = 0;
  for (int i = 0; i < STRESS_ROUNDS; ++i) {
    std::wstring pair = L"\\??\\" + StressPath(L"other", i) + L'\0' + L'\0';
    if (left.compare(at, pair.size(), pair) == 0)
      at += pair.size();
    else
      ++lost;
  }
  EXPECT_EQ(lost, 0) << "of " << STRESS_ROUNDS;
  EXPECT_EQ(left.substr(at), std::wstring(1, L'\0')) << "more than the other program's";
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, SESSION_MANAGER, L"PendingFileRenameOperations");
}

}  // namespace
