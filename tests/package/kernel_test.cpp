// The one-pass and chunked kernels against the three plain passes.
#include <gtest/gtest.h>

#include <random>

#include "package/kernel.h"
#include "test_package.h"

using Kernel = void (*)(const PackageChain*, const uint8_t*, uint8_t*, uint32_t, EntryDigests*);

static void ExpectSameAsNaive(Kernel kernel, const PackageChain& chain,
                              const std::vector<uint8_t>& in, const char* what) {
  const uint32_t n = uint32_t(in.size());
  std::vector<uint8_t> want(n + 1, 0xee), got(n + 1, 0xee);
  EntryDigests dw, dg;
  ProcessEntryNaive(&chain, in.data(), want.data(), n, &dw);
  kernel(&chain, in.data(), got.data(), n, &dg);
  ASSERT_TRUE(got == want) << what << " length " << n;  // the guard byte behind too
  ASSERT_EQ(Hex(dg.in, 16), Hex(dw.in, 16)) << what << " length " << n;
  ASSERT_EQ(Hex(dg.out, 16), Hex(dw.out, 16)) << what << " length " << n;
  // In place gives the same.
  std::vector<uint8_t> inplace = in;
  kernel(&chain, inplace.data(), inplace.data(), n, &dg);
  ASSERT_TRUE(std::equal(inplace.begin(), inplace.end(), want.begin())) << what << " in place " << n;
  ASSERT_EQ(Hex(dg.in, 16), Hex(dw.in, 16)) << what << " in place " << n;
  ASSERT_EQ(Hex(dg.out, 16), Hex(dw.out, 16)) << what << " in place " << n;
}

TEST(Kernel, EveryVariantMatchesThePlainPassesOnRandomData) {
  std::mt19937 rng(1234);
  std::vector<uint32_t> lengths;
  for (uint32_t n = 0; n <= 300; ++n) lengths.push_back(n);  // every block/tail split near the start
  for (uint32_t n : {4095u, 4096u, 4097u, 8191u, 12345u, 65537u, 200003u}) lengths.push_back(n);
  for (int i = 0; i < 20; ++i) lengths.push_back(rng() % 20000);
  for (uint32_t n : lengths) {
    PackageChain chain;
    chain.key = rng();
    for (auto& t : chain.table) t = uint8_t(rng());
    std::vector<uint8_t> in(n);
    for (auto& b : in) b = uint8_t(rng());
    ExpectSameAsNaive(ProcessEntryOnePass, chain, in, "one-pass");
    ExpectSameAsNaive(ProcessEntryChunked, chain, in, "chunked");
    ExpectSameAsNaive(ProcessEntry, chain, in, "default");
  }
}

// Keys whose products keep bit 31 set exercise the sign-copying shift.
TEST(Kernel, NegativeStatesMatchToo) {
  for (uint32_t key : {0x80000000u, 0xffffffffu, 0xfffffff0u, 0x7fffffffu}) {
    PackageChain chain;
    chain.key = key;
    for (int i = 0; i < 16; ++i) chain.table[i] = uint8_t(0xf0 + i);
    std::vector<uint8_t> in(1000, 0);
    ExpectSameAsNaive(ProcessEntryOnePass, chain, in, "one-pass");
    ExpectSameAsNaive(ProcessEntryChunked, chain, in, "chunked");
    ExpectSameAsNaive(ProcessEntry, chain, in, "default");
  }
}

// An entry taken in pieces, into one reused buffer, gives the same digests as
// the whole; pieces of odd sizes fall back to the simple path and still agree.
TEST(Kernel, PiecesGiveTheSameDigests) {
  std::mt19937 rng(77);
  using Piece = void (*)(KernelRun*, const uint8_t*, uint8_t*, uint32_t);
  for (Piece piece : {KernelPieceOnePass, KernelPieceChunked, KernelPiece}) {
    for (int round = 0; round < 40; ++round) {
      uint32_t n = rng() % 9000;
      PackageChain chain;
      chain.key = rng();
      for (auto& t : chain.table) t = uint8_t(rng());
      std::vector<uint8_t> in(n), want(n);
      for (auto& b : in) b = uint8_t(rng());
      EntryDigests dw, dg;
      ProcessEntryNaive(&chain, in.data(), want.data(), n, &dw);
      KernelRun run;
      KernelStart(&run, &chain, n);
      std::vector<uint8_t> buffer(n + 64), got;
      for (uint32_t done = 0; done < n;) {
        // mostly multiples of 64, sometimes not
        uint32_t step = round % 3 == 0 ? 1 + rng() % 300 : 64 * (1 + rng() % 20);
        if (step > n - done) step = n - done;
        piece(&run, in.data() + done, buffer.data(), step);
        got.insert(got.end(), buffer.begin(), buffer.begin() + step);
        std::fill(buffer.begin(), buffer.end(), 0xcc);  // reused: stale bytes must not matter
        done += step;
      }
      KernelEnd(&run, &dg);
      ASSERT_TRUE(got == want) << "round " << round << " length " << n;
      ASSERT_EQ(Hex(dg.in, 16), Hex(dw.in, 16)) << "round " << round;
      ASSERT_EQ(Hex(dg.out, 16), Hex(dw.out, 16)) << "round " << round;
    }
  }
}
