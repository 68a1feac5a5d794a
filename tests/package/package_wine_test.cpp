// ReadPackageDirectory, ExtractPackage and DeletePackageFiles on real files,
// with packages carried as RCDATA 100 of a resource-only DLL whose module
// handle stands in for the setup program's own.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "package/package.h"
#include "test_package.h"

namespace {

SetupContext context;  // large: static, like the program's own

// The x64 build puts the DLL carrying the known-answer package beside this test.
const char* kReferenceDll = "qv_test_package.dll";

class Package : public ::testing::Test {
 protected:
  std::string folder;
  void SetUp() override {
    char tmp[MAX_PATH];
    GetTempPathA(sizeof tmp, tmp);
    static int n = 0;
    folder = std::string(tmp) + "qvpkg" + std::to_string(n++);
    memset(&context, 0, sizeof context);
    strcpy(context.install_folder, folder.c_str());
    context.instance = LoadLibraryA(kReferenceDll);
    ASSERT_NE(context.instance, nullptr) << "the test package DLL is missing";
  }
  std::string P(const std::string& name) const { return folder + "\\" + name; }
  static bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  static std::vector<uint8_t> Read(const std::string& path) {
    std::vector<uint8_t> v;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {0xde, 0xad};
    uint8_t buf[4096];
    DWORD got;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got) v.insert(v.end(), buf, buf + got);
    CloseHandle(h);
    return v;
  }
  void ExpectReferenceFile(uint32_t i) const {
    const PackageEntry& e = context.package_directory.entries[i];
    EXPECT_TRUE(Read(P(e.name)) == ReferencePlain(i, e.size)) << e.name;
  }
  // A copy of the reference DLL whose RCDATA 100 is `package` (or removed).
  HMODULE DllWith(const std::vector<uint8_t>* package) {
    static int n = 0;
    char self[MAX_PATH];
    GetModuleFileNameA(context.instance, self, sizeof self);
    std::string copy = folder + "_variant" + std::to_string(n++) + ".dll";
    EXPECT_TRUE(CopyFileA(self, copy.c_str(), FALSE));
    HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
    EXPECT_NE(update, nullptr);
    if (!update) return nullptr;
    BOOL ok = UpdateResourceA(update, MAKEINTRESOURCEA(10), MAKEINTRESOURCEA(100),
                              MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                              package ? const_cast<uint8_t*>(package->data()) : nullptr,
                              package ? DWORD(package->size()) : 0);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(EndUpdateResourceA(update, FALSE));
    return LoadLibraryA(copy.c_str());
  }
};

TEST_F(Package, ReadPackageDirectoryCopiesTheDirectory) {
  ASSERT_EQ(ReadPackageDirectory(&context), 0);
  EXPECT_STREQ(context.package_directory.entries[0].name, "entry_00.bin");
  EXPECT_STREQ(context.package_directory.entries[52].name, "codec\\codec_licence.txt");
  EXPECT_EQ(context.package_directory.entries[0].offset, PACKAGE_DIRECTORY_SIZE);
}

TEST_F(Package, ExtractWritesEveryEntryAndItsSubFolder) {
  ASSERT_EQ(ReadPackageDirectory(&context), 0);
  // Without the install folder only the two entries of the sub-folder, whose
  // folder path is made on the way, can be written.
  ASSERT_EQ(ExtractPackage(&context, nullptr), -151);
  EXPECT_TRUE(Exists(P("codec\\codec_lib.dll")));
  ASSERT_EQ(ExtractPackage(&context, nullptr), 0);
  for (uint32_t i = 0; i < PACKAGE_ENTRY_COUNT; ++i) ExpectReferenceFile(i);
  EXPECT_TRUE(Exists(P("codec\\codec_lib.dll")));
  EXPECT_EQ(Read(P("codec\\codec_licence.txt")).size(), 0u);
  // The resource was only read: a second run verifies and writes it all again.
  DeleteFileA(P("entry_09.bin").c_str());
  EXPECT_EQ(ExtractPackage(&context, nullptr), 0);
  ExpectReferenceFile(9);
}

TEST_F(Package, InstallFolderEndingInABackslash) {
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  strcat(context.install_folder, "\\");
  ASSERT_EQ(ReadPackageDirectory(&context), 0);
  EXPECT_EQ(ExtractPackage(&context, nullptr), 0);
  ExpectReferenceFile(5);
  ExpectReferenceFile(51);
}

TEST_F(Package, FilterWritesOnlyTheNamedEntry) {
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_EQ(ReadPackageDirectory(&context), 0);
  EXPECT_EQ(ExtractPackage(&context, "ENTRY_05.bin"), 0);  // case counts: nothing written
  EXPECT_FALSE(Exists(P("entry_05.bin")));
  EXPECT_EQ(ExtractPackage(&context, "codec\\codec_lib.dll"), 0);
  ExpectReferenceFile(51);
  EXPECT_FALSE(Exists(P("entry_05.bin")));
  EXPECT_FALSE(Exists(P("entry_50.bin")));
}

// A destination held open without sharing cannot be replaced: one failure.
// (A read-only one would do the same on Windows; Wine run as root writes it.)
TEST_F(Package, ReplacesLongerFilesAndCountsLockedOnes) {
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_EQ(ReadPackageDirectory(&context), 0);
  HANDLE h = CreateFileA(P("entry_03.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  std::string junk(10000, 'j');
  DWORD w;
  WriteFile(h, junk.data(), DWORD(junk.size()), &w, nullptr);
  CloseHandle(h);
  HANDLE locked = CreateFileA(P("entry_04.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ExtractPackage(&context, nullptr), -101);
  CloseHandle(locked);
  ExpectReferenceFile(3);
  ExpectReferenceFile(5);
  EXPECT_EQ(Read(P("entry_04.bin")).size(), 0u);

  // Held as a running program holds its file (reading shared, writing not):
  // the verified bytes already there count as written, other bytes do not.
  ASSERT_EQ(ExtractPackage(&context, nullptr), 0);
  h = CreateFileA(P("entry_06.bin").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  WriteFile(h, "x", 1, &w, nullptr);  // same size, first byte changed
  CloseHandle(h);
  HANDLE good = CreateFileA(P("entry_04.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE bad = CreateFileA(P("entry_06.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(good, INVALID_HANDLE_VALUE);
  ASSERT_NE(bad, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ExtractPackage(&context, nullptr), -101);
  CloseHandle(good);
  CloseHandle(bad);
  EXPECT_EQ(Read(P("entry_06.bin"))[0], 'x');
  ExpectReferenceFile(4);
}

TEST_F(Package, DeletePackageFilesLeavesTheSubFolder) {
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_EQ(ReadPackageDirectory(&context), 0);
  ASSERT_EQ(ExtractPackage(&context, nullptr), 0);
  DeletePackageFiles(&context);
  EXPECT_FALSE(Exists(P("entry_00.bin")));
  EXPECT_FALSE(Exists(P("codec\\codec_lib.dll")));
  EXPECT_TRUE(Exists(P("codec")));
}

TEST_F(Package, NoResourceIsMinusOne) {
  context.instance = GetModuleHandleA(nullptr);  // this test carries no package
  EXPECT_EQ(ReadPackageDirectory(&context), -1);
  EXPECT_EQ(ExtractPackage(&context, nullptr), -1);
  context.instance = DllWith(nullptr);
  ASSERT_NE(context.instance, nullptr);
  EXPECT_EQ(ReadPackageDirectory(&context), -1);
}

TEST_F(Package, ResourceNoLargerThanTheDirectoryIsMinusOne) {
  std::vector<uint8_t> small(PACKAGE_DIRECTORY_SIZE, 0);
  context.instance = DllWith(&small);
  ASSERT_NE(context.instance, nullptr);
  EXPECT_EQ(ReadPackageDirectory(&context), -1);
}

TEST_F(Package, FlippedByteFailsItAndAFewAfterIt) {
  std::vector<uint8_t> pkg = BuildPackage(SampleEntries());
  pkg[EntryAt(pkg, 20)->offset + 1] ^= 0x40;
  context.instance = DllWith(&pkg);
  ASSERT_NE(context.instance, nullptr);
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_EQ(ReadPackageDirectory(&context), 0);
  int r = ExtractPackage(&context, nullptr);
  EXPECT_LE(r, -102);
  EXPECT_GE(r, -105);
  EXPECT_FALSE(Exists(P("entry_20.bin")));
  EXPECT_FALSE(Exists(P("entry_21.bin")));
  EXPECT_TRUE(Exists(P("entry_25.bin")));
  EXPECT_TRUE(Exists(P("codec\\part_52.bin")));
}

// A package from elsewhere: an entry named to leave the install folder is a
// failed entry, and the removal leaves what lies at that place.
TEST_F(Package, EntryNamedOutsideIsNeitherWrittenNorDeleted) {
  std::vector<TestEntry> entries = SampleEntries();
  entries[3].name = "..\\..\\x.txt";
  std::vector<uint8_t> pkg = BuildPackage(entries);
  context.instance = DllWith(&pkg);
  ASSERT_NE(context.instance, nullptr);
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(P("a").c_str(), nullptr));
  strcat(context.install_folder, "\\a\\b");
  ASSERT_TRUE(CreateDirectoryA(context.install_folder, nullptr));
  ASSERT_EQ(ReadPackageDirectory(&context), 0);
  EXPECT_EQ(ExtractPackage(&context, nullptr), -101);
  EXPECT_FALSE(Exists(P("x.txt")));
  EXPECT_TRUE(Exists(P("a\\b\\entry_04.bin")));
  HANDLE h = CreateFileA(P("x.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  DeletePackageFiles(&context);
  EXPECT_TRUE(Exists(P("x.txt")));
  EXPECT_FALSE(Exists(P("a\\b\\entry_04.bin")));
}

TEST_F(Package, OverLongDestinationPathsFailCleanly) {
  std::string deep = folder + "\\" + std::string(1000, 'd');
  strcpy(context.install_folder, deep.c_str());
  ASSERT_EQ(ReadPackageDirectory(&context), 0);
  EXPECT_EQ(ExtractPackage(&context, nullptr), -153);
  DeletePackageFiles(&context);  // must not overrun on them either
}

}  // namespace
