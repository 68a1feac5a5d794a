// Descrambling and verifying one entry: the MD5 of the bytes read, the
// descrambled bytes, and the MD5 of the bytes written. Reading a package, the
// input is the stored bytes (their MD5 is D) and the output the plain bytes;
// writing one, the other way round. Every variant gives the same bytes and
// digests; in == out is allowed, other overlap is not.
#pragma once
#include <cstdint>

#include "package/chain.h"

struct EntryDigests {
  uint8_t in[16];
  uint8_t out[16];
};

// The variant this build's target runs best.
void ProcessEntry(const PackageChain* chain, const uint8_t* in, uint8_t* out, uint32_t length,
                  EntryDigests* digests);

// Three whole passes: MD5 of the input, descramble, MD5 of the output.
void ProcessEntryNaive(const PackageChain* chain, const uint8_t* in, uint8_t* out,
                       uint32_t length, EntryDigests* digests);
// The same three passes over 4 KiB chunks: few live values per loop, which is
// what a target with eight registers compiles well.
void ProcessEntryChunked(const PackageChain* chain, const uint8_t* in, uint8_t* out,
                         uint32_t length, EntryDigests* digests);
// One pass: per 64-byte block, the MD5 of input block k, the descrambler over
// block k and the MD5 of output block k-2 run as three independent dependency
// chains in one loop. Needs about 16 general registers.
void ProcessEntryOnePass(const PackageChain* chain, const uint8_t* in, uint8_t* out,
                         uint32_t length, EntryDigests* digests);
