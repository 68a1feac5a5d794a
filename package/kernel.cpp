#include "package/kernel.h"

#include <cstring>

#include "package/md5.h"
#include "package/md5_steps.h"

namespace {

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}

inline uint32_t Rotl(uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

// The descrambler from a running state: `a` and the count of bytes still to go.
inline void DescrambleRun(int32_t* a, uint32_t* n, const uint8_t* in, uint8_t* out,
                          uint32_t count, const uint8_t table[16]) {
  int32_t s_a = *a;
  uint32_t s_n = *n;
  for (uint32_t j = 0; j < count; ++j, --s_n) {
    uint32_t s = uint32_t(s_a) + s_n;
    uint32_t p = s * s;
    out[j] = in[j] ^ uint8_t(p + (p >> 8) + table[s_n % 16]);
    s_a = int32_t(p) >> 8;
  }
  *a = s_a;
  *n = s_n;
}

}  // namespace

void ProcessEntryNaive(const PackageChain* chain, const uint8_t* in, uint8_t* out,
                       uint32_t length, EntryDigests* digests) {
  Md5Bytes(in, length, digests->in);
  DescrambleCopy(chain->key, in, out, length, chain->table);
  Md5Bytes(out, length, digests->out);
}

void KernelStart(KernelRun* run, const PackageChain* chain, uint32_t length) {
  Md5Init(&run->in_md5);
  Md5Init(&run->out_md5);
  run->a = int32_t(chain->key);
  run->n = length;
  memcpy(run->table, chain->table, 16);
  for (uint32_t i = 0; i < 64; ++i) run->table_at[i] = chain->table[(length - i) % 16];
}

void KernelEnd(KernelRun* run, EntryDigests* digests) {
  Md5Final(&run->in_md5, digests->in);
  Md5Final(&run->out_md5, digests->out);
}

// MD5 of the input piece, descrambling, MD5 of the output piece: three short
// loops over data in L1, each with few live values.
void KernelPieceChunked(KernelRun* run, const uint8_t* in, uint8_t* out, uint32_t count) {
  Md5Update(&run->in_md5, in, count);  // before the piece is overwritten when in == out
  DescrambleRun(&run->a, &run->n, in, out, count, run->table);
  Md5Update(&run->out_md5, out, count);
}

void ProcessEntryChunked(const PackageChain* chain, const uint8_t* in, uint8_t* out,
                         uint32_t length, EntryDigests* digests) {
  const uint32_t kChunk = 4096;
  KernelRun run;
  KernelStart(&run, chain, length);
  for (uint32_t done = 0; done < length; done += kChunk)
    KernelPieceChunked(&run, in + done, out + done, length - done < kChunk ? length - done : kChunk);
  KernelEnd(&run, digests);
}
// One step of each chain: MD5 step i of input block k (state I*), descrambler
// byte i of block k, MD5 step i of output block k-2 (state O*), which was
// stored two blocks ago and so never waits for a store just made. The
// descrambler keeps only its chain here; masks are applied per block after.
#define KERNEL_TRIPLE(f, a, b, c, d, k, t, s, i)        \
  I##a += f(I##b, I##c, I##d) + Load32(bin + 4 * k) + (t); \
  I##a = Rotl(I##a, s) + I##b;                            \
  {                                                       \
    uint32_t sum = uint32_t(chain_a) + n--;               \
    uint32_t p = sum * sum;                               \
    low[i] = uint16_t(p);                                 \
    chain_a = int32_t(p) >> 8;                            \
  }                                                       \
  O##a += f(O##b, O##c, O##d) + Load32(bout + 4 * k) + (t); \
  O##a = Rotl(O##a, s) + O##b;

void KernelPieceOnePass(KernelRun* run, const uint8_t* in, uint8_t* out, uint32_t count) {
  if (run->in_md5.length % 64) {  // a piece after an odd-sized one: no whole blocks to share
    KernelPieceChunked(run, in, out, count);
    return;
  }
  uint32_t Ia = run->in_md5.state[0], Ib = run->in_md5.state[1], Ic = run->in_md5.state[2],
           Id = run->in_md5.state[3];
  uint32_t Oa = run->out_md5.state[0], Ob = run->out_md5.state[1], Oc = run->out_md5.state[2],
           Od = run->out_md5.state[3];
  int32_t chain_a = run->a;
  uint32_t n = run->n;
  const uint8_t* table_at = run->table_at;
  const uint32_t blocks = count / 64;
  uint16_t low[64];  // the low 16 bits of every product of the block
  for (uint32_t k = 0; k < blocks; ++k) {
    const uint8_t* bin = in + 64 * size_t(k);
    if (k >= 2) {
      const uint8_t* bout = out + 64 * size_t(k - 2);
      const uint32_t Ia0 = Ia, Ib0 = Ib, Ic0 = Ic, Id0 = Id;
      const uint32_t Oa0 = Oa, Ob0 = Ob, Oc0 = Oc, Od0 = Od;
      MD5_SCHEDULE(KERNEL_TRIPLE)
      Ia += Ia0, Ib += Ib0, Ic += Ic0, Id += Id0;
      Oa += Oa0, Ob += Ob0, Oc += Oc0, Od += Od0;
    } else {
      uint32_t state[4] = {Ia, Ib, Ic, Id};
      Md5Blocks(state, bin, 1);
      Ia = state[0], Ib = state[1], Ic = state[2], Id = state[3];
      for (uint32_t i = 0; i < 64; ++i) {
        uint32_t sum = uint32_t(chain_a) + n--;
        uint32_t p = sum * sum;
        low[i] = uint16_t(p);
        chain_a = int32_t(p) >> 8;
      }
    }
    // Masks and XOR for the whole block, through a local copy so that the
    // compiler may use vector code whatever in and out alias.
    uint8_t block[64];
    memcpy(block, bin, 64);
    for (uint32_t i = 0; i < 64; ++i)
      block[i] ^= uint8_t(low[i] + (low[i] >> 8) + table_at[i]);
    memcpy(out + 64 * size_t(k), block, 64);
  }
  run->in_md5.state[0] = Ia, run->in_md5.state[1] = Ib, run->in_md5.state[2] = Ic,
  run->in_md5.state[3] = Id;
  // The output blocks still behind, before the caller reuses the buffer.
  const uint32_t lagging = blocks < 2 ? blocks : 2;
  uint32_t out_state[4] = {Oa, Ob, Oc, Od};
  Md5Blocks(out_state, out + 64 * size_t(blocks - lagging), lagging);
  memcpy(run->out_md5.state, out_state, sizeof out_state);
  run->in_md5.length += 64 * uint64_t(blocks);
  run->out_md5.length += 64 * uint64_t(blocks);
  run->a = chain_a;
  run->n = n;
  const uint32_t tail = count % 64;
  if (tail) KernelPieceChunked(run, in + 64 * size_t(blocks), out + 64 * size_t(blocks), tail);
}

void ProcessEntryOnePass(const PackageChain* chain, const uint8_t* in, uint8_t* out,
                         uint32_t length, EntryDigests* digests) {
  KernelRun run;
  KernelStart(&run, chain, length);
  KernelPieceOnePass(&run, in, out, length);
  KernelEnd(&run, digests);
}

void KernelPiece(KernelRun* run, const uint8_t* in, uint8_t* out, uint32_t count) {
#if defined(__x86_64__) || defined(__aarch64__)
  KernelPieceOnePass(run, in, out, count);
#else
  KernelPieceChunked(run, in, out, count);
#endif
}

void ProcessEntry(const PackageChain* chain, const uint8_t* in, uint8_t* out, uint32_t length,
                  EntryDigests* digests) {
#if defined(__x86_64__) || defined(__aarch64__)
  ProcessEntryOnePass(chain, in, out, length, digests);
#else
  ProcessEntryChunked(chain, in, out, length, digests);
#endif
}
