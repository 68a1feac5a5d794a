#include "package/package_walk.h"

#include <cstring>

#include "package/chain.h"
#include "package/kernel.h"
#include "package/md5.h"

void CopyEntryName(const PackageEntry* entry, char name[PACKAGE_NAME_SIZE + 1]) {
  size_t n = strnlen(entry->name, PACKAGE_NAME_SIZE);
  memcpy(name, entry->name, n);
  name[n] = '\0';
}

int EntryNameEquals(const PackageEntry* entry, const char* filter) {
  size_t n = strnlen(entry->name, PACKAGE_NAME_SIZE);
  return strlen(filter) == n && memcmp(entry->name, filter, n) == 0;
}

int EntryInside(const PackageEntry* entry, uint64_t package_size) {
  return uint64_t(entry->offset) + entry->size <= package_size;
}

// Pieces of an entry that is verified but not written: a multiple of 64 that
// stays in the second-level cache.
constexpr uint32_t kPiece = 64 * 1024;

uint32_t WalkPackage(const uint8_t* package, uint64_t package_size,
                     const PackageDirectory* directory, const char* filter,
                     const PackageWalk* walk) {
  static uint8_t empty[1];  // somewhere to point for entries of length 0
  PackageChain chain;
  ChainStart(&chain);
  uint32_t failures = 0;
  for (uint32_t i = 0; i < PACKAGE_ENTRY_COUNT; ++i) {
    const PackageEntry* entry = &directory->entries[i];
    char name[PACKAGE_NAME_SIZE + 1];
    CopyEntryName(entry, name);
    const int wanted = walk->write && (!filter || EntryNameEquals(entry, filter));
    EntryOutcome outcome;
    if (!EntryInside(entry, package_size)) {
      outcome = ENTRY_OUTSIDE;  // the chain stays where the previous record left it
    } else {
      const uint8_t* stored = package + entry->offset;
      // An entry that is only verified goes through a small buffer piece by
      // piece; one to be written needs all its plain bytes at once.
      const uint32_t want = wanted || entry->size < kPiece ? entry->size : kPiece;
      uint8_t* plain = want ? walk->buffer(walk->user, want) : empty;
      EntryDigests digests;
      if (!plain) {
        // The chain follows the stored bytes, so the records after this one
        // can still be verified.
        Md5Bytes(stored, entry->size, digests.in);
        if (walk->consumed) walk->consumed(walk->user, stored, entry->size);
        outcome = ENTRY_NO_MEMORY;
      } else {
        KernelRun run;
        KernelStart(&run, &chain, entry->size);
        for (uint32_t done = 0; done < entry->size; done += want) {
          const uint32_t piece = entry->size - done < want ? entry->size - done : want;
          KernelPiece(&run, stored + done, plain, piece);
          if (walk->consumed) walk->consumed(walk->user, stored + done, piece);
        }
        KernelEnd(&run, &digests);
        if (memcmp(digests.out, entry->digest, 16) != 0)
          outcome = ENTRY_DIGEST_MISMATCH;
        else if (!wanted)
          outcome = ENTRY_VERIFIED;
        else if (walk->write(walk->user, name, plain, entry->size))
          outcome = ENTRY_WRITTEN;
        else
          outcome = ENTRY_WRITE_FAILED;
      }
      ChainAdvance(&chain, digests.in);
    }
    if (outcome != ENTRY_VERIFIED && outcome != ENTRY_WRITTEN) ++failures;
    if (walk->report) walk->report(walk->user, i, name, outcome);
  }
  return failures;
}

int PackageResult(uint32_t failures) { return failures ? -100 - int(failures) : 0; }
