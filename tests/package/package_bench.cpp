// Speed of the package kernel on 64 MiB: the floor (the descrambler's chain
// alone), MD5 and the descrambler alone, the three plain passes, the chunked
// and the one-pass kernels (on x86_64 also the AVX-512 one), and the whole
// walk over a 53-entry package with the kernel this CPU takes. A benchmark,
// not a test: scripts/bench runs it.
#include <benchmark/benchmark.h>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

#include <ctime>
#include <random>
#include <vector>

#include "package/chain.h"
#include "package/kernel.h"
#include "package/md5.h"
#include "package/package_walk.h"
#include "test_package.h"

namespace {

constexpr uint32_t kSize = 64u << 20;

const std::vector<uint8_t>& Input() {
  static std::vector<uint8_t> v = [] {
    std::vector<uint8_t> d(kSize);
    std::mt19937_64 rng(99);
    for (size_t i = 0; i < d.size(); i += 8) {
      uint64_t r = rng();
      memcpy(&d[i], &r, 8);
    }
    return d;
  }();
  return v;
}

uint64_t Ticks() {
#if defined(__x86_64__) || defined(__i386__)
  return __rdtsc();
#else
  return 0;
#endif
}

double ThreadCpuNs() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e9 + t.tv_nsec;
}

// Reference cycles (TSC) per nanosecond, measured once against the wall clock.
double TicksPerNs() {
  static double rate = [] {
    timespec a, b;
    clock_gettime(CLOCK_MONOTONIC, &a);
    uint64_t t0 = Ticks();
    timespec nap = {0, 100 * 1000 * 1000};
    nanosleep(&nap, nullptr);
    uint64_t t1 = Ticks();
    clock_gettime(CLOCK_MONOTONIC, &b);
    return double(t1 - t0) / ((b.tv_sec - a.tv_sec) * 1e9 + (b.tv_nsec - a.tv_nsec));
  }();
  return rate;
}

// Bytes per second (CPU time), and cycles per byte: the thread's CPU time of
// the fastest iteration at the TSC's rate, which a busy machine disturbs less
// than wall time. best_ms is that time itself.
template <typename F>
void Run(benchmark::State& state, F body) {
  double best = 1e30;
  for (auto _ : state) {
    double t0 = ThreadCpuNs();
    body();
    double t = ThreadCpuNs() - t0;
    if (t < best) best = t;
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kSize);
  state.counters["cycles_per_byte"] = best * TicksPerNs() / kSize;
  state.counters["best_ms"] = best / 1e6;
}

PackageChain TestChain() {
  PackageChain c;
  c.key = 0x3A7C19E5;
  for (int i = 0; i < 16; ++i) c.table[i] = uint8_t(i * 37 + 1);
  return c;
}

// The floor: one add, square and shift per byte, each waiting for the last,
// with no load or store; nothing that reads the bytes can be faster.
void BM_Floor(benchmark::State& state) {
  const PackageChain c = TestChain();
  Run(state, [&] {
    int32_t a = int32_t(c.key);
    for (uint32_t n = kSize; n; --n) {
      uint32_t s = uint32_t(a) + n;
      uint32_t p = s * s;
      a = int32_t(p) >> 8;
    }
    benchmark::DoNotOptimize(a);
  });
}

void BM_Md5(benchmark::State& state) {
  const auto& in = Input();
  uint8_t d[16];
  Run(state, [&] {
    Md5Bytes(in.data(), in.size(), d);
    benchmark::DoNotOptimize(d);
  });
}

void BM_Descramble(benchmark::State& state) {
  const auto& in = Input();
  std::vector<uint8_t> out(kSize);
  PackageChain c = TestChain();
  Run(state, [&] {
    DescrambleCopy(c.key, in.data(), out.data(), kSize, c.table);
    benchmark::DoNotOptimize(out.data());
  });
}

template <void (*Kernel)(const PackageChain*, const uint8_t*, uint8_t*, uint32_t, EntryDigests*)>
void BM_Kernel(benchmark::State& state) {
#if defined(__x86_64__)
  if (Kernel == ProcessEntryOnePassAvx512 && !KernelHasAvx512()) return state.SkipWithError("no AVX-512VL");
#endif
  const auto& in = Input();
  std::vector<uint8_t> out(kSize);
  PackageChain c = TestChain();
  EntryDigests d;
  Run(state, [&] {
    Kernel(&c, in.data(), out.data(), kSize, &d);
    benchmark::DoNotOptimize(d);
  });
}

// The whole walk, as the setup program and qvpack verify run it.
void BM_WalkPackage(benchmark::State& state) {
  std::vector<TestEntry> entries;
  const auto& in = Input();
  const uint32_t each = (kSize - PACKAGE_DIRECTORY_SIZE) / PACKAGE_ENTRY_COUNT;
  for (uint32_t i = 0; i < PACKAGE_ENTRY_COUNT; ++i)
    entries.push_back({"entry_" + std::to_string(i), std::vector<uint8_t>(in.begin() + i * each, in.begin() + (i + 1) * each)});
  std::vector<uint8_t> pkg = BuildPackage(entries);
  PackageDirectory dir;
  memcpy(&dir, pkg.data(), sizeof dir);
  std::vector<uint8_t> buffer(each);
  PackageWalk walk = {&buffer, [](void* u, uint32_t) { return static_cast<std::vector<uint8_t>*>(u)->data(); },
                      nullptr, nullptr, nullptr};
  Run(state, [&] {
    if (WalkPackage(pkg.data(), pkg.size(), &dir, nullptr, &walk) != 0) state.SkipWithError("did not verify");
  });
}

}  // namespace

BENCHMARK(BM_Floor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Md5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Descramble)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Kernel<ProcessEntryNaive>)->Name("BM_Naive3Passes")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Kernel<ProcessEntryChunked>)->Name("BM_Chunked")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Kernel<ProcessEntryOnePass>)->Name("BM_OnePass")->Unit(benchmark::kMillisecond);
#if defined(__x86_64__)
BENCHMARK(BM_Kernel<ProcessEntryOnePassAvx512>)->Name("BM_OnePassAvx512")->Unit(benchmark::kMillisecond);
#endif
BENCHMARK(BM_WalkPackage)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
