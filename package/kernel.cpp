#include "package/kernel.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

// The descrambler's chain over one block, alone: the low 16 bits of each
// product, for MaskBlock.
inline void ChainBlock(int32_t* a, uint32_t* n, uint16_t low[64]) {
  int32_t s_a = *a;
  uint32_t s_n = *n;
  for (uint32_t i = 0; i < 64; ++i) {
    uint32_t sum = uint32_t(s_a) + s_n--;
    uint32_t p = sum * sum;
    low[i] = uint16_t(p);
    s_a = int32_t(p) >> 8;
  }
  *a = s_a;
  *n = s_n;
}

// Masks and XOR for a whole block, through a local copy so that the compiler
// may use vector code whatever in and out alias.
inline void MaskBlock(const uint8_t* in, uint8_t* out, const uint16_t low[64],
                      const uint8_t table_at[64]) {
  uint8_t block[64];
  memcpy(block, in, 64);
  for (uint32_t i = 0; i < 64; ++i) block[i] ^= uint8_t(low[i] + (low[i] >> 8) + table_at[i]);
  memcpy(out, block, 64);
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
// The end of a one-pass piece: the output's MD5 catches up with the blocks it
// still lags behind, before the caller reuses the buffer, the run takes the
// chain's state, and a tail shorter than a block goes the chunked way.
static void FinishOnePassPiece(KernelRun* run, uint32_t out_state[4], int32_t chain_a, uint32_t n,
                               const uint8_t* in, uint8_t* out, uint32_t count) {
  const uint32_t blocks = count / 64;
  const uint32_t lagging = blocks < 2 ? blocks : 2;
  Md5Blocks(out_state, out + 64 * size_t(blocks - lagging), lagging);
  memcpy(run->out_md5.state, out_state, 4 * sizeof out_state[0]);
  run->in_md5.length += 64 * uint64_t(blocks);
  run->out_md5.length += 64 * uint64_t(blocks);
  run->a = chain_a;
  run->n = n;
  const uint32_t tail = count % 64;
  if (tail) KernelPieceChunked(run, in + 64 * size_t(blocks), out + 64 * size_t(blocks), tail);
}

// Byte i of the descrambler's chain, kept by both one-pass kernels in
// chain_a and n; only the low 16 bits of the product are needed later.
#define KERNEL_CHAIN_STEP(i)                \
  {                                         \
    uint32_t sum = uint32_t(chain_a) + n--; \
    uint32_t p = sum * sum;                 \
    low[i] = uint16_t(p);                   \
    chain_a = int32_t(p) >> 8;              \
  }

// One step of each chain: MD5 step i of input block k (state I*), descrambler
// byte i of block k, MD5 step i of output block k-2 (state O*), which was
// stored two blocks ago and so never waits for a store just made. The
// descrambler keeps only its chain here; masks are applied per block after.
#define KERNEL_TRIPLE(f, a, b, c, d, k, t, s, i)        \
  I##a += f(I##b, I##c, I##d) + Load32(bin + 4 * k) + (t); \
  I##a = Rotl(I##a, s) + I##b;                            \
  KERNEL_CHAIN_STEP(i)                                    \
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
      // ChainBlock written out: through it GCC allocates the whole loop's
      // registers worse, some 5 % slower.
      for (uint32_t i = 0; i < 64; ++i) {
        uint32_t sum = uint32_t(chain_a) + n--;
        uint32_t p = sum * sum;
        low[i] = uint16_t(p);
        chain_a = int32_t(p) >> 8;
      }
    }
    MaskBlock(bin, out + 64 * size_t(k), low, table_at);
  }
  run->in_md5.state[0] = Ia, run->in_md5.state[1] = Ib, run->in_md5.state[2] = Ic,
  run->in_md5.state[3] = Id;
  uint32_t out_state[4] = {Oa, Ob, Oc, Od};
  FinishOnePassPiece(run, out_state, chain_a, n, in, out, count);
}

#if defined(__x86_64__)
// The same with the two MD5 streams as lanes 0 (input) and 1 (output) of one
// vector. AVX-512VL has a three-input logic operation for F, G, H and I and a
// rotate: a step of both streams is then seven vector instructions and four
// cycles, under the descrambler's five, and it leaves the general registers
// and units to the descrambler. The step adds the message word and constant
// before the function value, so that only one add follows the logic operation
// on the chain.
#define KERNEL_F_LOGIC 0xca  // b ? c : d
#define KERNEL_G_LOGIC 0xe4  // d ? b : c
#define KERNEL_H_LOGIC 0x96  // b ^ c ^ d
#define KERNEL_I_LOGIC 0x39  // c ^ (b | ~d)
#define MD5_F_LOGIC KERNEL_F_LOGIC
#define MD5_G_LOGIC KERNEL_G_LOGIC
#define MD5_H_LOGIC KERNEL_H_LOGIC
#define MD5_I_LOGIC KERNEL_I_LOGIC
#define KERNEL_PAIR(f, a, b, c, d, k, t, s, i)                                             \
  V##a = _mm_add_epi32(V##a, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(words + k))); \
  V##a = _mm_add_epi32(V##a, _mm_set1_epi32(int32_t(t)));                                \
  __asm__("" : "+v"(V##a)); /* keeps the compiler from moving these adds after f */      \
  V##a = _mm_add_epi32(V##a, _mm_ternarylogic_epi32(V##b, V##c, V##d, f##_LOGIC));       \
  KERNEL_CHAIN_STEP(i)                                    \
  V##a = _mm_add_epi32(_mm_rol_epi32(V##a, s), V##b);

int KernelHasAvx512() { return __builtin_cpu_supports("avx512vl"); }

__attribute__((target("avx512f,avx512vl"))) void KernelPieceOnePassAvx512(KernelRun* run,
                                                                          const uint8_t* in,
                                                                          uint8_t* out,
                                                                          uint32_t count) {
  if (run->in_md5.length % 64) {  // a piece after an odd-sized one: no whole blocks to share
    KernelPieceChunked(run, in, out, count);
    return;
  }
  int32_t chain_a = run->a;
  uint32_t n = run->n;
  const uint8_t* table_at = run->table_at;
  const uint32_t blocks = count / 64;
  const uint32_t first = blocks < 2 ? blocks : 2;  // the output's MD5 has nothing yet
  uint16_t low[64];
  for (uint32_t k = 0; k < first; ++k) {
    Md5Blocks(run->in_md5.state, in + 64 * size_t(k), 1);
    ChainBlock(&chain_a, &n, low);
    MaskBlock(in + 64 * size_t(k), out + 64 * size_t(k), low, table_at);
  }
  const uint32_t* si = run->in_md5.state;
  const uint32_t* so = run->out_md5.state;
  __m128i Va = _mm_set_epi32(0, 0, int32_t(so[0]), int32_t(si[0]));
  __m128i Vb = _mm_set_epi32(0, 0, int32_t(so[1]), int32_t(si[1]));
  __m128i Vc = _mm_set_epi32(0, 0, int32_t(so[2]), int32_t(si[2]));
  __m128i Vd = _mm_set_epi32(0, 0, int32_t(so[3]), int32_t(si[3]));
  for (uint32_t k = first; k < blocks; ++k) {
    const uint8_t* bin = in + 64 * size_t(k);
    const uint8_t* bout = out + 64 * size_t(k - 2);
    // Word j of both blocks side by side. Each step loads its pair alone: a
    // load that spans two of these stores would wait for them to reach the
    // cache instead of taking their bytes on the way.
    uint64_t words[16];
    for (int q = 0; q < 4; ++q) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bin + 16 * q));
      const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bout + 16 * q));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(words + 4 * q), _mm_unpacklo_epi32(x, y));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(words + 4 * q + 2), _mm_unpackhi_epi32(x, y));
    }
    const __m128i Va0 = Va, Vb0 = Vb, Vc0 = Vc, Vd0 = Vd;
    MD5_SCHEDULE(KERNEL_PAIR)
    Va = _mm_add_epi32(Va, Va0), Vb = _mm_add_epi32(Vb, Vb0);
    Vc = _mm_add_epi32(Vc, Vc0), Vd = _mm_add_epi32(Vd, Vd0);
    MaskBlock(bin, out + 64 * size_t(k), low, table_at);
  }
  uint32_t out_state[4] = {uint32_t(_mm_extract_epi32(Va, 1)), uint32_t(_mm_extract_epi32(Vb, 1)),
                           uint32_t(_mm_extract_epi32(Vc, 1)), uint32_t(_mm_extract_epi32(Vd, 1))};
  if (blocks > first) {
    run->in_md5.state[0] = uint32_t(_mm_cvtsi128_si32(Va));
    run->in_md5.state[1] = uint32_t(_mm_cvtsi128_si32(Vb));
    run->in_md5.state[2] = uint32_t(_mm_cvtsi128_si32(Vc));
    run->in_md5.state[3] = uint32_t(_mm_cvtsi128_si32(Vd));
  }
  FinishOnePassPiece(run, out_state, chain_a, n, in, out, count);
}

void ProcessEntryOnePassAvx512(const PackageChain* chain, const uint8_t* in, uint8_t* out,
                               uint32_t length, EntryDigests* digests) {
  KernelRun run;
  KernelStart(&run, chain, length);
  KernelPieceOnePassAvx512(&run, in, out, length);
  KernelEnd(&run, digests);
}
#endif

void ProcessEntryOnePass(const PackageChain* chain, const uint8_t* in, uint8_t* out,
                         uint32_t length, EntryDigests* digests) {
  KernelRun run;
  KernelStart(&run, chain, length);
  KernelPieceOnePass(&run, in, out, length);
  KernelEnd(&run, digests);
}

void KernelPiece(KernelRun* run, const uint8_t* in, uint8_t* out, uint32_t count) {
#if defined(__x86_64__)
  if (KernelHasAvx512())
    KernelPieceOnePassAvx512(run, in, out, count);
  else
    KernelPieceOnePass(run, in, out, count);
#elif defined(__aarch64__)
  KernelPieceOnePass(run, in, out, count);
#else
  KernelPieceChunked(run, in, out, count);
#endif
}

void ProcessEntry(const PackageChain* chain, const uint8_t* in, uint8_t* out, uint32_t length,
                  EntryDigests* digests) {
#if defined(__x86_64__)
  if (KernelHasAvx512())
    ProcessEntryOnePassAvx512(chain, in, out, length, digests);
  else
    ProcessEntryOnePass(chain, in, out, length, digests);
#elif defined(__aarch64__)
  ProcessEntryOnePass(chain, in, out, length, digests);
#else
  ProcessEntryChunked(chain, in, out, length, digests);
#endif
}
