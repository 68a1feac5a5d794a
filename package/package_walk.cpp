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

namespace {

// How Windows compares names: letters without case, either separator.
char Fold(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c == '/' ? '\\' : c; }

// The part [part, part + n) opens a device on Windows: what comes before the
// first dot, trailing spaces dropped ("nul .txt" is NUL too), in any case. COM
// and LPT take a digit, 0 included, or a superscript one, two or three (code
// page 1252's B9, B2, B3), which Windows reads as the digit.
int NamesDevice(const char* part, size_t n) {
  size_t stem = 0;
  while (stem < n && part[stem] != '.') ++stem;
  while (stem && part[stem - 1] == ' ') --stem;
  const unsigned char last = stem == 4 ? static_cast<unsigned char>(part[3]) : 0;
  const int numbered = (last >= '0' && last <= '9') || last == 0xB9 || last == 0xB2 || last == 0xB3;
  if (stem != 3 && !numbered) return 0;
  static const char kDevices[][4] = {"con", "prn", "aux", "nul", "com", "lpt"};
  for (int i = numbered ? 4 : 0; i < (numbered ? 6 : 4); ++i)
    if (Fold(part[0]) == kDevices[i][0] && Fold(part[1]) == kDevices[i][1] &&
        Fold(part[2]) == kDevices[i][2])
      return 1;
  return 0;
}

// Characters that no Windows file name may hold: the wildcards, redirection
// and quoting characters, and the control characters.
int ForbiddenInName(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return (u >= 1 && u <= 31) || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*';
}

}  // namespace

const char* EntryNameUnsafe(const char* name) {
  if (name[0] == '\\' || name[0] == '/') return "it starts at the root";
  if (strchr(name, ':')) return "it names a drive or a stream (':')";
  for (const char* c = name; *c; ++c)
    if (ForbiddenInName(*c)) return "it holds a character that Windows refuses in names (< > \" | ? * or 1-31)";
  for (const char* part = name;;) {
    size_t n = 0;  // by hand: strcspn would be one more import of the shipped program
    while (part[n] && part[n] != '\\' && part[n] != '/') ++n;
    if (n == 0) return "it has an empty folder part";
    if (n == 2 && part[0] == '.' && part[1] == '.') return "it steps out of its folder ('..')";
    if (n == 1 && part[0] == '.') return "it has a '.' part";
    if (part[n - 1] == '.' || part[n - 1] == ' ')
      return "it has a part ending in a dot or a space, which Windows drops";
    if (NamesDevice(part, n)) return "it names a device (CON, PRN, AUX, NUL, COM0-9, LPT0-9)";
    if (!part[n]) return nullptr;
    part += n + 1;
  }
}

int EntryNamesClash(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (Fold(*a) != Fold(*b)) return 0;
    if (!*a) return 1;
  }
}

int EntryInside(const PackageEntry* entry, uint64_t package_size) {
  return uint64_t(entry->offset) + entry->size <= package_size;
}

namespace {

// Pieces of an entry: a multiple of 64 that a second-level cache holds.
// An entry only verified goes through a buffer of this size; one to be
// written needs all its plain bytes at once, and is still read in pieces.
constexpr uint32_t kPiece = 256 * 1024;

const uint8_t* StoredPiece(const uint8_t* package, const PackageWalk* walk, uint64_t offset,
                           uint32_t size, uint8_t* room) {
  return walk->stored ? walk->stored(walk->user, offset, size, room) : package + offset;
}

// D alone, for an entry that got no buffer: through a small room of its own.
int StoredDigest(const uint8_t* package, const PackageWalk* walk, const PackageEntry* entry,
                 uint8_t digest[16]) {
  uint8_t room[4096];
  Md5 md5;
  Md5Init(&md5);
  for (uint32_t done = 0; done < entry->size;) {
    const uint32_t piece = entry->size - done < sizeof room ? entry->size - done : sizeof room;
    const uint8_t* in = StoredPiece(package, walk, uint64_t(entry->offset) + done, piece, room);
    if (!in) return 0;
    Md5Update(&md5, in, piece);
    done += piece;
  }
  Md5Final(&md5, digest);
  return 1;
}

}  // namespace

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
    // A package is data from elsewhere: a name that would leave the folder is
    // verified like any other, so that the chain goes on, but never written.
    const int unsafe = wanted && EntryNameUnsafe(name) != nullptr;
    const int whole = wanted && !unsafe;
    EntryOutcome outcome;
    if (!EntryInside(entry, package_size)) {
      outcome = ENTRY_OUTSIDE;  // the chain stays where the previous record left it
    } else {
      const uint32_t want = whole || entry->size < kPiece ? entry->size : kPiece;
      uint8_t* plain = want ? walk->buffer(walk->user, want) : empty;
      EntryDigests digests;
      int read = 1;
      if (!plain) {
        // The chain follows the stored bytes, so the records after this one
        // can still be verified.
        read = StoredDigest(package, walk, entry, digests.in);
        outcome = read ? ENTRY_NO_MEMORY : ENTRY_UNREADABLE;
      } else {
        KernelRun run;
        KernelStart(&run, &chain, entry->size);
        for (uint32_t done = 0; read && done < entry->size; done += kPiece) {
          const uint32_t piece = entry->size - done < kPiece ? entry->size - done : kPiece;
          uint8_t* out = whole ? plain + done : plain;
          const uint8_t* in = StoredPiece(package, walk, uint64_t(entry->offset) + done, piece, out);
          if (in)
            KernelPiece(&run, in, out, piece);
          else
            read = 0;
        }
        KernelEnd(&run, &digests);
        if (!read)
          outcome = ENTRY_UNREADABLE;
        else if (unsafe)
          outcome = ENTRY_UNSAFE_NAME;
        else if (memcmp(digests.out, entry->digest, 16) != 0)
          outcome = ENTRY_DIGEST_MISMATCH;
        else if (!wanted)
          outcome = ENTRY_VERIFIED;
        else if (walk->write(walk->user, name, plain, entry->size))
          outcome = ENTRY_WRITTEN;
        else
          outcome = ENTRY_WRITE_FAILED;
      }
      if (read) ChainAdvance(&chain, digests.in);  // else no D: the chain stays, as for a record outside
    }
    if (outcome != ENTRY_VERIFIED && outcome != ENTRY_WRITTEN) ++failures;
    if (walk->report) walk->report(walk->user, i, name, outcome);
  }
  return failures;
}

int PackageResult(uint32_t failures) { return failures ? -100 - int(failures) : 0; }
