// Building packages in memory for the tests, and reading the known-answer data.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "package/package_writer.h"

struct TestEntry {
  std::string name;
  std::vector<uint8_t> bytes;
};

// Entry i of the known-answer package: (i*131 + j*7 + (j>>3)) & 0xFF.
inline std::vector<uint8_t> ReferencePlain(uint32_t index, uint32_t size) {
  std::vector<uint8_t> v(size);
  for (uint32_t j = 0; j < size; ++j) v[j] = uint8_t(index * 131 + j * 7 + (j >> 3));
  return v;
}

// 53 entries back to back behind the directory, as the package writer lays them.
inline std::vector<uint8_t> BuildPackage(const std::vector<TestEntry>& entries) {
  std::vector<uint8_t> pkg(PACKAGE_DIRECTORY_SIZE);
  PackageDirectory dir;
  memset(&dir, 0, sizeof dir);
  PackageChain chain;
  ChainStart(&chain);
  for (uint32_t i = 0; i < PACKAGE_ENTRY_COUNT && i < entries.size(); ++i) {
    PackageEntry* e = &dir.entries[i];
    memcpy(e->name, entries[i].name.data(), entries[i].name.size());
    e->offset = uint32_t(pkg.size());
    std::vector<uint8_t> stored(entries[i].bytes.size());
    ScrambleEntry(&chain, entries[i].bytes.data(), stored.data(), uint32_t(stored.size()), e);
    pkg.insert(pkg.end(), stored.begin(), stored.end());
  }
  memcpy(pkg.data(), &dir, sizeof dir);
  return pkg;
}

// 53 entries of assorted sizes (one empty), the last two in a sub-folder.
inline std::vector<TestEntry> SampleEntries() {
  std::vector<TestEntry> v;
  for (uint32_t i = 0; i < PACKAGE_ENTRY_COUNT; ++i) {
    char name[64];
    if (i >= 51)
      snprintf(name, sizeof name, "codec\\part_%02u.bin", i);
    else
      snprintf(name, sizeof name, "entry_%02u.bin", i);
    uint32_t size = i == 7 ? 0 : (i * 977u) % 3001u + (i % 3);
    std::vector<uint8_t> bytes(size);
    for (uint32_t j = 0; j < size; ++j) bytes[j] = uint8_t((j * 2654435761u + i * 40503u) >> 13);
    v.push_back({name, bytes});
  }
  return v;
}

inline PackageEntry* EntryAt(std::vector<uint8_t>& pkg, uint32_t i) {
  return reinterpret_cast<PackageEntry*>(pkg.data() + i * PACKAGE_ENTRY_SIZE);
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::vector<uint8_t> v;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return v;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) v.insert(v.end(), buf, buf + n);
  fclose(f);
  return v;
}

inline std::string Hex(const uint8_t* p, size_t n) {
  static const char* d = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += d[p[i] >> 4];
    s += d[p[i] & 15];
  }
  return s;
}

inline std::vector<uint8_t> FromHex(const std::string& s) {
  std::vector<uint8_t> v;
  for (size_t i = 0; i + 1 < s.size(); i += 2) v.push_back(uint8_t(std::stoul(s.substr(i, 2), nullptr, 16)));
  return v;
}
