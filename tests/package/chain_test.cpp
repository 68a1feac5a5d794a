// The descrambler and the chain against the known-answer data of an
// independent implementation.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "package/chain.h"
#include "package/md5.h"
#include "package/package_walk.h"
#include "test_package.h"

static const std::string kData = QV_TESTDATA_DIR;

struct ReferenceRecord {
  uint32_t index;
  std::string name;
  uint32_t size;
  std::string plain_md5, stored_md5;
  uint32_t key;
  std::string table;
};

static std::vector<ReferenceRecord> ReadReference() {
  std::vector<ReferenceRecord> v;
  std::ifstream in(kData + "/reference.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream s(line);
    ReferenceRecord r;
    std::string key;
    s >> r.index >> r.name >> r.size >> r.plain_md5 >> r.stored_md5 >> key >> r.table;
    r.key = uint32_t(std::stoul(key, nullptr, 16));
    v.push_back(r);
  }
  return v;
}

TEST(Descramble, KnownVectors) {
  std::ifstream in(kData + "/vectors.txt");
  std::string line;
  int checked = 0;
  while (std::getline(in, line)) {
    if (line.rfind("# launch", 0) == 0) break;  // the other descrambler's vectors follow
    if (line.empty() || line[0] == '#') continue;
    std::istringstream s(line);
    std::string key, table, plain, stored;
    s >> key >> table >> plain >> stored;
    std::vector<uint8_t> t = FromHex(table), p = FromHex(plain), st = FromHex(stored);
    ASSERT_EQ(t.size(), 16u);
    std::vector<uint8_t> work = st;
    DescrambleEntry(uint32_t(std::stoul(key, nullptr, 16)), work.data(), uint32_t(work.size()),
                    t.data());
    EXPECT_EQ(Hex(work.data(), work.size()), plain) << line;
    // The same call scrambles.
    DescrambleEntry(uint32_t(std::stoul(key, nullptr, 16)), work.data(), uint32_t(work.size()),
                    t.data());
    EXPECT_EQ(Hex(work.data(), work.size()), stored) << line;
    ++checked;
  }
  EXPECT_EQ(checked, 4);
}

TEST(Descramble, EmptyEntryTouchesNothing) {
  uint8_t table[16] = {1, 2, 3};
  uint8_t guard = 0x5a;
  DescrambleEntry(0x12345678, &guard, 0, table);
  EXPECT_EQ(guard, 0x5a);
}

TEST(Chain, AdvancesAsTheReferenceSays) {
  std::vector<ReferenceRecord> ref = ReadReference();
  ASSERT_EQ(ref.size(), PACKAGE_ENTRY_COUNT);
  PackageChain chain;
  ChainStart(&chain);
  for (const ReferenceRecord& r : ref) {
    EXPECT_EQ(chain.key, r.key) << r.name;
    EXPECT_EQ(Hex(chain.table, 16), r.table) << r.name;
    std::vector<uint8_t> d = FromHex(r.stored_md5);
    ChainAdvance(&chain, d.data());
  }
}

// The whole reference package, read the way ExtractPackage reads it.
TEST(Chain, ReadsTheReferencePackage) {
  std::vector<uint8_t> pkg = ReadFileBytes(kData + "/reference.pkg");
  std::vector<ReferenceRecord> ref = ReadReference();
  ASSERT_GT(pkg.size(), PACKAGE_DIRECTORY_SIZE);
  ASSERT_EQ(ref.size(), PACKAGE_ENTRY_COUNT);
  PackageDirectory dir;
  memcpy(&dir, pkg.data(), sizeof dir);

  struct Seen {
    std::vector<std::string> names;
    std::vector<std::vector<uint8_t>> files;
    std::vector<uint8_t> buffer;
  } seen;
  PackageWalk walk = {
      &seen,
      [](void* u, uint32_t size) -> uint8_t* {
        auto* s = static_cast<Seen*>(u);
        if (s->buffer.size() < size) s->buffer.resize(size);
        return s->buffer.data();
      },
      [](void* u, const char* name, const uint8_t* plain, uint32_t size) {
        auto* s = static_cast<Seen*>(u);
        s->names.push_back(name);
        s->files.emplace_back(plain, plain + size);
        return 1;
      },
      nullptr};
  EXPECT_EQ(WalkPackage(pkg.data(), pkg.size(), &dir, nullptr, &walk), 0u);
  ASSERT_EQ(seen.names.size(), PACKAGE_ENTRY_COUNT);
  uint64_t end = PACKAGE_DIRECTORY_SIZE;
  for (uint32_t i = 0; i < PACKAGE_ENTRY_COUNT; ++i) {
    EXPECT_EQ(seen.names[i], ref[i].name);
    EXPECT_EQ(seen.files[i], ReferencePlain(i, ref[i].size)) << ref[i].name;
    uint8_t d[16];
    Md5Bytes(pkg.data() + dir.entries[i].offset, dir.entries[i].size, d);
    EXPECT_EQ(Hex(d, 16), ref[i].stored_md5);
    EXPECT_EQ(Hex(dir.entries[i].digest, 16), ref[i].plain_md5);
    EXPECT_EQ(dir.entries[i].offset, end);
    end += dir.entries[i].size;
  }
  EXPECT_EQ(end, pkg.size());
}

// Our writer, fed the reference's plain bytes, makes the reference package byte for byte.
TEST(Chain, WriterReproducesTheReferencePackage) {
  std::vector<uint8_t> pkg = ReadFileBytes(kData + "/reference.pkg");
  std::vector<ReferenceRecord> ref = ReadReference();
  ASSERT_EQ(ref.size(), PACKAGE_ENTRY_COUNT);
  std::vector<TestEntry> entries;
  for (uint32_t i = 0; i < PACKAGE_ENTRY_COUNT; ++i)
    entries.push_back({ref[i].name, ReferencePlain(i, ref[i].size)});
  EXPECT_TRUE(BuildPackage(entries) == pkg);
}
