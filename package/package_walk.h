// The walk over the 53 records that ExtractPackage and qvpack share: bounds,
// descrambling, verification, the chain, and the choice of what to write,
// which names included.
// No file system here: the caller supplies the buffer and the writer.
#pragma once
#include <cstdint>

#include "package/package_format.h"

enum EntryOutcome {
  ENTRY_VERIFIED,         // digest matched; not wanted, so not written
  ENTRY_WRITTEN,          // digest matched and the file was written
  ENTRY_OUTSIDE,          // offset + size beyond the package: not read, chain kept
  ENTRY_DIGEST_MISMATCH,  // plain bytes differ from the record's digest
  ENTRY_NO_MEMORY,        // no buffer for the plain bytes
  ENTRY_WRITE_FAILED,     // verified, but the writer reported failure
  ENTRY_UNSAFE_NAME,      // wanted, but its name would not stay inside the folder
  ENTRY_UNREADABLE,       // its stored bytes could not be read: chain kept
};

struct PackageWalk {
  void* user;
  // A buffer of at least `size` bytes for the plain bytes, reused from entry to
  // entry; null when it cannot be had (that entry fails, the chain goes on).
  uint8_t* (*buffer)(void* user, uint32_t size);
  // Writes a verified, wanted entry; 1 when every byte was written. Null
  // verifies only.
  int (*write)(void* user, const char* name, const uint8_t* plain, uint32_t size);
  // Optional: told the outcome of every record in directory order.
  void (*report)(void* user, uint32_t index, const char* name, EntryOutcome outcome);
  // Optional: where the stored bytes come from, a piece at a time, in order.
  // Null: from `package` in memory. Else the stored bytes [offset, offset +
  // size) of the package: a pointer to them, or `room` (size bytes, which the
  // walk then descrambles in place) after reading them there; null when they
  // cannot be read.
  const uint8_t* (*stored)(void* user, uint64_t offset, uint32_t size, uint8_t* room);
};

// The record's name as a C string, even when the record holds no NUL.
void CopyEntryName(const PackageEntry* entry, char name[PACKAGE_NAME_SIZE + 1]);
// Byte for byte over the whole name: letter case counts, no folder is stripped.
int EntryNameEquals(const PackageEntry* entry, const char* filter);
// Why a name would not stay below the folder it is written into, or would not
// name the file it says on Windows; null when it is safe. Both separators
// count. Unsafe: a start at the root, ':' (a drive or a stream), a character
// that Windows refuses in names (< > " | ? * and 1-31), an empty, '.' or '..'
// part, a part that Windows alters (ending in a dot or a space) or takes for a
// device (CON, PRN, AUX, NUL, COM and LPT with 0-9 or a superscript 1-3, any
// case, with or without an extension).
const char* EntryNameUnsafe(const char* name);
// Two names of one file on Windows: equal but for letter case (A-Z) and the
// separator ('/' or '\').
int EntryNamesClash(const char* a, const char* b);
// offset + size within the package, computed without 32-bit overflow.
int EntryInside(const PackageEntry* entry, uint64_t package_size);

// Visits every record in directory order; a failed record never stops the
// walk. filter: null for every entry, else the one name to write. A wanted
// entry whose name is unsafe is verified, never written, and fails. Returns
// the number of failed records. `package` may be null when walk->stored is set.
uint32_t WalkPackage(const uint8_t* package, uint64_t package_size,
                     const PackageDirectory* directory, const char* filter,
                     const PackageWalk* walk);

// 0, or -100 - n for n failed records.
int PackageResult(uint32_t failures);
