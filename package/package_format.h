// Layout of the package that the setup program carries as RCDATA 100:
// a fixed directory of 53 records, then the entries' stored (scrambled) bytes.
#pragma once
#include <cstdint>

constexpr uint32_t PACKAGE_ENTRY_COUNT = 53;
constexpr uint32_t PACKAGE_ENTRY_SIZE = 156;
constexpr uint32_t PACKAGE_DIRECTORY_SIZE = PACKAGE_ENTRY_COUNT * PACKAGE_ENTRY_SIZE;  // 8268
constexpr uint32_t PACKAGE_NAME_SIZE = 128;
constexpr uint32_t PACKAGE_CHAIN_KEY_START = 0x3A7C19E5u;
constexpr int PACKAGE_RESOURCE_ID = 100;

// Little-endian on disk; every target of this program is little-endian, so the
// directory is used as it lies.
struct PackageEntry {
  char name[PACKAGE_NAME_SIZE];  // NUL-terminated, NUL-filled; may hold "folder\file"
  uint32_t offset;               // from the start of the package
  uint32_t size;                 // stored size == plain size
  uint8_t digest[16];            // MD5 of the plain bytes
  uint32_t reserved;             // never read
};
static_assert(sizeof(PackageEntry) == PACKAGE_ENTRY_SIZE, "record layout");

struct PackageDirectory {
  PackageEntry entries[PACKAGE_ENTRY_COUNT];
};
static_assert(sizeof(PackageDirectory) == PACKAGE_DIRECTORY_SIZE, "directory layout");
