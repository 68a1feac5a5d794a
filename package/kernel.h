// Descrambling and verifying one entry: the MD5 of the bytes read, the
// descrambled bytes, and the MD5 of the bytes written. Reading a package, the
// input is the stored bytes (their MD5 is D) and the output the plain bytes;
// writing one, the other way round. Every variant gives the same bytes and
// digests; in == out is allowed, other overlap is not.
#pragma once
#include <cstdint>

#include "package/chain.h"
#include "package/md5.h"

struct EntryDigests {
  uint8_t in[16];
  uint8_t out[16];
};

// An entry taken in pieces, in order: every piece but the last a multiple of
// 64 bytes long (other lengths work, only slower). Lets a verifier reuse a
// small buffer for the output.
struct KernelRun {
  Md5 in_md5, out_md5;
  int32_t a;           // the descrambler's state
  uint32_t n;          // bytes still to go
  uint8_t table[16];
  uint8_t table_at[64];  // table[(n at block offset i) % 16]: the same for every block
};
void KernelStart(KernelRun* run, const PackageChain* chain, uint32_t length);
void KernelPiece(KernelRun* run, const uint8_t* in, uint8_t* out, uint32_t count);
void KernelEnd(KernelRun* run, EntryDigests* digests);

// The variant this build's target (and on x86_64 this CPU) runs best.
void ProcessEntry(const PackageChain* chain, const uint8_t* in, uint8_t* out, uint32_t length,
                  EntryDigests* digests);

// Three whole passes: MD5 of the input, descramble, MD5 of the output.
void ProcessEntryNaive(const PackageChain* chain, const uint8_t* in, uint8_t* out,
                       uint32_t length, EntryDigests* digests);
// The same three passes over 4 KiB chunks: few live values per loop, which is
// what a target with eight registers compiles well.
void ProcessEntryChunked(const PackageChain* chain, const uint8_t* in, uint8_t* out,
                         uint32_t length, EntryDigests* digests);
// The pieces of either kernel, for the tests and the benchmark.
void KernelPieceChunked(KernelRun* run, const uint8_t* in, uint8_t* out, uint32_t count);
void KernelPieceOnePass(KernelRun* run, const uint8_t* in, uint8_t* out, uint32_t count);
// One pass: per 64-byte block, the MD5 of input block k, the descrambler over
// block k and the MD5 of output block k-2 run as three independent dependency
// chains in one loop. Needs about 16 general registers.
void ProcessEntryOnePass(const PackageChain* chain, const uint8_t* in, uint8_t* out,
                         uint32_t length, EntryDigests* digests);
#if defined(__x86_64__)
// The one-pass kernel with the two MD5 streams as the lanes of one vector, for
// CPUs with AVX-512VL; KernelHasAvx512 says whether this one has it and the
// system keeps its registers. KernelPiece and ProcessEntry take it when so.
int KernelHasAvx512();
void KernelPieceOnePassAvx512(KernelRun* run, const uint8_t* in, uint8_t* out, uint32_t count);
void ProcessEntryOnePassAvx512(const PackageChain* chain, const uint8_t* in, uint8_t* out,
                               uint32_t length, EntryDigests* digests);
#endif
