// The descrambling chain: each entry's key and table come from the stored
// bytes of the entries before it.
#pragma once
#include <cstdint>

struct PackageChain {
  uint32_t key;
  uint8_t table[16];
};

// Key 0x3A7C19E5, table all zero.
void ChainStart(PackageChain* chain);
// After an entry that lay inside the package, whatever its digest said:
// stored_digest is D, the MD5 of that entry's stored bytes.
void ChainAdvance(PackageChain* chain, const uint8_t stored_digest[16]);

// Turns stored bytes into plain bytes in place (and plain into stored: XOR).
void DescrambleEntry(uint32_t key, uint8_t* bytes, uint32_t length, const uint8_t table[16]);
// The same from `in` to `out`; in == out is allowed, other overlap is not.
void DescrambleCopy(uint32_t key, const uint8_t* in, uint8_t* out, uint32_t length,
                    const uint8_t table[16]);
