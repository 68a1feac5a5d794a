#include "package/package_writer.h"

#include <cstring>

#include "package/kernel.h"

void ScrambleEntry(PackageChain* chain, const uint8_t* plain, uint8_t* stored, uint32_t size,
                   PackageEntry* entry) {
  EntryDigests digests;
  ProcessEntry(chain, plain, stored, size, &digests);
  entry->size = size;
  memcpy(entry->digest, digests.in, 16);  // MD5 of the plain bytes
  ChainAdvance(chain, digests.out);        // MD5 of the stored bytes
}
