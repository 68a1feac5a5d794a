#include "package/chain.h"

#include <cstring>

#include "package/package_format.h"

void ChainStart(PackageChain* chain) {
  chain->key = PACKAGE_CHAIN_KEY_START;
  memset(chain->table, 0, sizeof chain->table);
}

void ChainAdvance(PackageChain* chain, const uint8_t stored_digest[16]) {
  memcpy(chain->table, stored_digest, 16);
  chain->key = ((chain->key * chain->key) << 8) | stored_digest[0];
}

void DescrambleCopy(uint32_t key, const uint8_t* in, uint8_t* out, uint32_t length,
                    const uint8_t table[16]) {
  int32_t a = int32_t(key);
  for (uint32_t n = length; n; --n) {
    uint32_t s = uint32_t(a) + n;
    uint32_t p = s * s;
    uint8_t m = uint8_t(p + (p >> 8) + table[n % 16]);
    *out++ = *in++ ^ m;
    a = int32_t(p) >> 8;  // arithmetic: bits 24-31 copy bit 31 of p
  }
}

void DescrambleEntry(uint32_t key, uint8_t* bytes, uint32_t length, const uint8_t table[16]) {
  DescrambleCopy(key, bytes, bytes, length, table);
}
