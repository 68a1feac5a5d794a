// The two addresses the window hands to the shell. They are kept only in
// scrambled form (generated at build time by tools/mktargets) and turned into
// plain text just for the shell call. Pure: no windows.h.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr uint32_t LAUNCH_TARGET_KEY = 0x6B21D94Fu;
constexpr uint32_t LAUNCH_TARGET_MAX = 512;

// Counts include the terminating zero, which is stored scrambled too.
constexpr uint32_t HEADER_TARGET_COUNT = 27;
constexpr uint32_t DONE_TARGET_COUNT = 59;
extern const unsigned char HEADER_TARGET[HEADER_TARGET_COUNT];
extern const unsigned char DONE_TARGET[DONE_TARGET_COUNT];

// In place; the key stream depends only on key and count, so the same call
// also scrambles. Null bytes or a count of 0 do nothing.
void DescrambleLaunchTarget(uint32_t key, unsigned char* bytes, uint32_t count);

// Zeroes through a volatile pointer so the compiler cannot drop the stores.
void WipeBytes(void* bytes, size_t count);
