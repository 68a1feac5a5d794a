// The walk over the records: bounds, verification, the chain, filters and
// failure counts, on packages that the tests build.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "package/package_walk.h"
#include "test_package.h"

namespace {

struct Outcomes {
  std::map<std::string, std::vector<uint8_t>> written;
  std::vector<EntryOutcome> outcomes;
  std::vector<uint8_t> buffer;
  int fail_alloc_at = -1;  // record index whose buffer request fails
  int fail_write_at = -1;
  uint32_t index = 0;
  uint32_t buffer_requests = 0;
  const uint8_t* begin = nullptr;  // the package, for the stored bytes asked for
  const uint8_t* end = nullptr;
  bool read_into_room = false;  // as qvpack reads a file; else pointed to, as in a resource
  uint64_t fail_read_at = 0;     // package offset of a piece whose read fails
  uint64_t stored = 0;
  uint32_t largest_piece = 0;
};

uint8_t* Buffer(void* u, uint32_t size) {
  Outcomes* r = static_cast<Outcomes*>(u);
  ++r->buffer_requests;
  if (int(r->index) == r->fail_alloc_at) return nullptr;
  if (r->buffer.size() < size) r->buffer.resize(size);
  return r->buffer.data();
}

int Write(void* u, const char* name, const uint8_t* plain, uint32_t size) {
  Outcomes* r = static_cast<Outcomes*>(u);
  if (int(r->index) == r->fail_write_at) return 0;
  r->written[name].assign(plain, plain + size);
  return 1;
}

void Report(void* u, uint32_t index, const char*, EntryOutcome outcome) {
  Outcomes* r = static_cast<Outcomes*>(u);
  EXPECT_EQ(index, r->outcomes.size());
  r->outcomes.push_back(outcome);
  r->index = index + 1;
}

const uint8_t* Stored(void* u, uint64_t offset, uint32_t size, uint8_t* room) {
  Outcomes* r = static_cast<Outcomes*>(u);
  EXPECT_TRUE(offset >= PACKAGE_DIRECTORY_SIZE && size <= r->end - r->begin - offset);
  r->stored += size;
  r->largest_piece = std::max(r->largest_piece, size);
  if (offset == r->fail_read_at) return nullptr;
  if (!r->read_into_room) return r->begin + offset;
  memcpy(room, r->begin + offset, size);
  return room;
}

int Extract(const std::vector<uint8_t>& pkg, const char* filter, Outcomes* run, bool write = true) {
  PackageDirectory dir;
  memcpy(&dir, pkg.data(), sizeof dir);
  run->begin = pkg.data();
  run->end = pkg.data() + pkg.size();
  PackageWalk walk = {run, Buffer, write ? Write : nullptr, Report, Stored};
  return PackageResult(WalkPackage(pkg.data(), pkg.size(), &dir, filter, &walk));
}

std::vector<int> Failed(const Outcomes& run) {
  std::vector<int> v;
  for (size_t i = 0; i < run.outcomes.size(); ++i)
    if (run.outcomes[i] != ENTRY_WRITTEN && run.outcomes[i] != ENTRY_VERIFIED) v.push_back(int(i));
  return v;
}

}  // namespace

TEST(Walk, SoundPackageWritesEveryEntry) {
  std::vector<TestEntry> entries = SampleEntries();
  std::vector<uint8_t> pkg = BuildPackage(entries);
  Outcomes run;
  EXPECT_EQ(Extract(pkg, nullptr, &run), 0);
  ASSERT_EQ(run.written.size(), PACKAGE_ENTRY_COUNT);
  for (const TestEntry& e : entries) EXPECT_TRUE(run.written[e.name] == e.bytes) << e.name;
  EXPECT_TRUE(run.written.count("codec\\part_52.bin"));
  EXPECT_EQ(run.written["entry_07.bin"].size(), 0u);  // the empty entry is written, empty
}

TEST(Walk, FlippedStoredByteFailsThatEntryAndTheChainRecoversAfterFour) {
  std::vector<TestEntry> entries = SampleEntries();
  std::vector<uint8_t> pkg = BuildPackage(entries);
  const uint32_t bad = 10;
  pkg[EntryAt(pkg, bad)->offset + 5] ^= 0x01;
  Outcomes run;
  int result = Extract(pkg, nullptr, &run);
  std::vector<int> failed = Failed(run);
  ASSERT_FALSE(failed.empty());
  EXPECT_EQ(failed.front(), int(bad));
  EXPECT_EQ(failed[1], int(bad) + 1);  // its table is the damaged D
  EXPECT_LE(failed.back(), int(bad) + 4);
  for (uint32_t i = bad + 5; i < PACKAGE_ENTRY_COUNT; ++i)
    EXPECT_EQ(run.outcomes[i], ENTRY_WRITTEN) << i;
  EXPECT_EQ(result, -100 - int(failed.size()));
  for (int i : failed) {
    EXPECT_EQ(run.outcomes[i], ENTRY_DIGEST_MISMATCH);
    EXPECT_FALSE(run.written.count(entries[i].name)) << "nothing written for a failed entry";
  }
}

TEST(Walk, WrongDigestInOneRecordFailsThatEntryAlone) {
  std::vector<uint8_t> pkg = BuildPackage(SampleEntries());
  EntryAt(pkg, 20)->digest[3] ^= 0x80;
  Outcomes run;
  EXPECT_EQ(Extract(pkg, nullptr, &run), -101);
  EXPECT_EQ(Failed(run), std::vector<int>{20});
  EXPECT_EQ(run.written.size(), PACKAGE_ENTRY_COUNT - 1);
}

TEST(Walk, FilterWritesOnlyTheExactNameButVerifiesAll) {
  std::vector<TestEntry> entries = SampleEntries();
  std::vector<uint8_t> pkg = BuildPackage(entries);
  Outcomes run;
  EXPECT_EQ(Extract(pkg, "entry_30.bin", &run), 0);
  ASSERT_EQ(run.written.size(), 1u);
  EXPECT_TRUE(run.written["entry_30.bin"] == entries[30].bytes);

  Outcomes in_folder;  // the folder part is part of the name
  EXPECT_EQ(Extract(pkg, "codec\\part_51.bin", &in_folder), 0);
  EXPECT_EQ(in_folder.written.size(), 1u);
  Outcomes stripped;
  EXPECT_EQ(Extract(pkg, "part_51.bin", &stripped), 0);
  EXPECT_TRUE(stripped.written.empty());

  Outcomes other_case;
  EXPECT_EQ(Extract(pkg, "ENTRY_30.bin", &other_case), 0);
  EXPECT_TRUE(other_case.written.empty());
  Outcomes prefix;
  EXPECT_EQ(Extract(pkg, "entry_30.bi", &prefix), 0);
  EXPECT_TRUE(prefix.written.empty());

  EntryAt(pkg, 40)->digest[0] ^= 1;  // a record other than the wanted one
  Outcomes damaged;
  EXPECT_EQ(Extract(pkg, "entry_30.bin", &damaged), -101);
  EXPECT_EQ(damaged.written.size(), 1u);
}

TEST(Walk, RecordsBeyondTheEndAreCountedWithoutMovingTheChain) {
  std::vector<TestEntry> entries = SampleEntries();
  std::vector<uint8_t> pkg = BuildPackage(entries);
  // Entry 12 points past the end. The chain does not advance for it, so entry
  // 13 - made with the chain after 12 - fails, and the chain catches up later.
  EntryAt(pkg, 12)->offset = uint32_t(pkg.size()) - EntryAt(pkg, 12)->size + 1;
  // Entry 30: offset + size wraps in 32 bits to a small number.
  EntryAt(pkg, 30)->offset = 0xfffffff0u;
  EntryAt(pkg, 30)->size = 0x20;
  Outcomes run;
  int result = Extract(pkg, nullptr, &run);
  EXPECT_EQ(run.outcomes[12], ENTRY_OUTSIDE);
  EXPECT_EQ(run.outcomes[30], ENTRY_OUTSIDE);
  EXPECT_EQ(run.outcomes[13], ENTRY_DIGEST_MISMATCH);
  EXPECT_EQ(run.outcomes[11], ENTRY_WRITTEN);
  EXPECT_EQ(run.outcomes[52], ENTRY_WRITTEN);
  EXPECT_EQ(result, -100 - int(Failed(run).size()));
  uint32_t read = 0;  // records outside are never read; empty ones need no buffer
  for (uint32_t i = 0; i < PACKAGE_ENTRY_COUNT; ++i)
    if (i != 12 && i != 30 && entries[i].bytes.size()) ++read;
  EXPECT_EQ(run.buffer_requests, read);
}

// Skipping a record that lies outside must leave the chain exactly as it was:
// a package whose writer skipped the record's bytes in the chain verifies.
TEST(Walk, OutsideRecordKeepsTheChainForTheNext) {
  std::vector<TestEntry> entries = SampleEntries();
  std::vector<TestEntry> without = entries;
  without.erase(without.begin() + 5);
  without.push_back({"last.bin", {1, 2, 3}});
  std::vector<uint8_t> pkg = BuildPackage(without);
  // Shift records 5.. down by one and put an outside record at 5.
  PackageDirectory dir;
  memcpy(&dir, pkg.data(), sizeof dir);
  for (uint32_t i = PACKAGE_ENTRY_COUNT - 1; i > 5; --i) dir.entries[i] = dir.entries[i - 1];
  memset(&dir.entries[5], 0, sizeof dir.entries[5]);
  strcpy(dir.entries[5].name, "ghost.bin");
  dir.entries[5].offset = uint32_t(pkg.size());
  dir.entries[5].size = 1;
  memcpy(pkg.data(), &dir, sizeof dir);
  Outcomes run;
  EXPECT_EQ(Extract(pkg, nullptr, &run), -101);
  EXPECT_EQ(Failed(run), std::vector<int>{5});
}

TEST(Walk, NoMemoryFailsTheEntryAndTheChainGoesOn) {
  std::vector<uint8_t> pkg = BuildPackage(SampleEntries());
  Outcomes run;
  run.fail_alloc_at = 9;
  EXPECT_EQ(Extract(pkg, nullptr, &run), -101);
  EXPECT_EQ(run.outcomes[9], ENTRY_NO_MEMORY);
  EXPECT_EQ(Failed(run), std::vector<int>{9});
}

TEST(Walk, FailedWritesAreCountedAndTheRunGoesOn) {
  std::vector<uint8_t> pkg = BuildPackage(SampleEntries());
  Outcomes run;
  run.fail_write_at = 0;
  EXPECT_EQ(Extract(pkg, nullptr, &run), -101);
  EXPECT_EQ(run.outcomes[0], ENTRY_WRITE_FAILED);
  EXPECT_EQ(run.written.size(), PACKAGE_ENTRY_COUNT - 1);
}

TEST(Walk, VerifyOnlyWritesNothing) {
  std::vector<uint8_t> pkg = BuildPackage(SampleEntries());
  Outcomes run;
  EXPECT_EQ(Extract(pkg, nullptr, &run, false), 0);
  EXPECT_TRUE(run.written.empty());
  EXPECT_EQ(run.outcomes.size(), PACKAGE_ENTRY_COUNT);
}

// Entries larger than the verifier's piece are verified through a small buffer;
// the one wanted gets a buffer of its whole size.
TEST(Walk, LargeEntriesVerifiedInPiecesWrittenWhole) {
  std::vector<TestEntry> entries = SampleEntries();
  for (uint32_t i : {2u, 3u, 40u}) {
    entries[i].bytes.resize(600000 + i * 13);  // more than one piece
    for (size_t j = 0; j < entries[i].bytes.size(); ++j) entries[i].bytes[j] = uint8_t(j * 31 + i);
  }
  std::vector<uint8_t> pkg = BuildPackage(entries);
  Outcomes run;
  run.read_into_room = true;
  EXPECT_EQ(Extract(pkg, "entry_03.bin", &run), 0);
  EXPECT_TRUE(run.written["entry_03.bin"] == entries[3].bytes);
  EXPECT_EQ(run.buffer.size(), entries[3].bytes.size());
  Outcomes verify;
  verify.read_into_room = true;
  EXPECT_EQ(Extract(pkg, nullptr, &verify, false), 0);
  EXPECT_LE(verify.buffer.size(), 256u * 1024);
  // Every stored byte is asked for once, a piece at a time: a caller that
  // reads the package from a file need not hold more of it than that.
  EXPECT_EQ(verify.stored, pkg.size() - PACKAGE_DIRECTORY_SIZE);
  EXPECT_LE(verify.largest_piece, verify.buffer.size());
  EXPECT_EQ(run.stored, verify.stored);
  EntryAt(pkg, 40)->digest[15] ^= 1;
  Outcomes damaged;
  EXPECT_EQ(Extract(pkg, nullptr, &damaged, false), -101);
  EXPECT_EQ(damaged.outcomes[40], ENTRY_DIGEST_MISMATCH);
}

// A file cut short while read: the entry, half descrambled, is never written.
TEST(Walk, EntryWhosePieceCannotBeReadIsNotWritten) {
  std::vector<TestEntry> entries = SampleEntries();
  entries[3].bytes.assign(600000, 0x5a);
  std::vector<uint8_t> pkg = BuildPackage(entries);
  Outcomes run;
  run.read_into_room = true;
  run.fail_read_at = EntryAt(pkg, 3)->offset + 256 * 1024;  // its second piece
  EXPECT_LT(Extract(pkg, "entry_03.bin", &run), -100);
  EXPECT_EQ(run.outcomes[3], ENTRY_UNREADABLE);
  EXPECT_TRUE(run.written.empty());
  EXPECT_EQ(run.outcomes[52], ENTRY_VERIFIED);  // the walk went on
}

TEST(Walk, EveryRecordOutsideFailsAll53) {
  std::vector<uint8_t> pkg = BuildPackage(SampleEntries());
  pkg.resize(PACKAGE_DIRECTORY_SIZE + 1);
  Outcomes run;
  // Record 0 is empty and so still fits at 8268; all others lie outside.
  EXPECT_EQ(Extract(pkg, nullptr, &run), -152);
  EXPECT_EQ(run.outcomes[0], ENTRY_WRITTEN);
}

TEST(Walk, NamesWithoutTerminatorStayInsideTheRecord) {
  std::vector<uint8_t> pkg = BuildPackage(SampleEntries());
  memset(EntryAt(pkg, 3)->name, 'x', PACKAGE_NAME_SIZE);
  char name[PACKAGE_NAME_SIZE + 1];
  CopyEntryName(EntryAt(pkg, 3), name);
  EXPECT_EQ(strlen(name), PACKAGE_NAME_SIZE);
  EXPECT_TRUE(EntryNameEquals(EntryAt(pkg, 3), std::string(PACKAGE_NAME_SIZE, 'x').c_str()));
  EXPECT_FALSE(EntryNameEquals(EntryAt(pkg, 3), std::string(PACKAGE_NAME_SIZE + 1, 'x').c_str()));
  Outcomes run;
  EXPECT_EQ(Extract(pkg, nullptr, &run), 0);
  EXPECT_TRUE(run.written.count(std::string(PACKAGE_NAME_SIZE, 'x')));
}

// The names that would leave the install folder, or that Windows would take
// for another file or a device, are never written: a failed entry each.
TEST(Walk, UnsafeNamesAreVerifiedButNeverWritten) {
  for (const char* name : {"..\\..\\x.txt", "sub/../../x.bin", "\\root.bin", "/root.bin", "c:drive.bin",
                           "x.txt:stream", "sub\\\\x.bin", "sub\\", "", ".\\x.bin", "foo.", "foo ",
                           "bar. \\z", "CON", "nul.txt", "Aux .log", "sub\\com1\\x.bin", "LPT9.txt", "a<b", "a>b",
                           "say\"hi\"", "a|b", "what?", "*.dll", "tab\there", "sub\\x\x1f", "lpt0", "COM0.txt",
                           "com\xb9", "LPT\xb2.log", "Com\xb3 .txt"})
    EXPECT_NE(EntryNameUnsafe(name), nullptr) << name;
  for (const char* name : {"entry.bin", "codec\\lib.dll", "sub/x.bin", "a..b", ".hidden", "console.txt",
                           "com10.txt", "com\xb4.txt", "x.con", "com"})
    EXPECT_EQ(EntryNameUnsafe(name), nullptr) << name;
  EXPECT_TRUE(EntryNamesClash("Codec\\Lib.DLL", "codec/lib.dll"));
  EXPECT_FALSE(EntryNamesClash("lib.dll", "lib.dll2"));

  std::vector<TestEntry> entries = SampleEntries();
  entries[4].name = "..\\..\\x.txt";
  entries[9].name = "nul.txt";
  std::vector<uint8_t> pkg = BuildPackage(entries);
  Outcomes run;
  EXPECT_EQ(Extract(pkg, nullptr, &run), -102);
  EXPECT_EQ(Failed(run), (std::vector<int>{4, 9}));
  EXPECT_EQ(run.outcomes[4], ENTRY_UNSAFE_NAME);
  EXPECT_EQ(run.written.size(), PACKAGE_ENTRY_COUNT - 2);  // the chain went on past them
  Outcomes named;
  EXPECT_EQ(Extract(pkg, "nul.txt", &named), -101);
  EXPECT_TRUE(named.written.empty());
  Outcomes verify;
  EXPECT_EQ(Extract(pkg, nullptr, &verify, false), 0);
}
