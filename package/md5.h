// MD5 (RFC 1321): the digest every package record carries.
#pragma once
#include <cstddef>
#include <cstdint>

struct Md5 {
  uint32_t state[4];
  uint64_t length;     // bytes fed so far
  uint8_t buffer[64];  // the partial block (length % 64 bytes)
};

void Md5Init(Md5* md5);
void Md5Update(Md5* md5, const void* data, size_t size);
void Md5Final(Md5* md5, uint8_t digest[16]);
void Md5Bytes(const void* data, size_t size, uint8_t digest[16]);

// The compression function over whole 64-byte blocks, for kernels that keep
// the state themselves.
void Md5Blocks(uint32_t state[4], const uint8_t* blocks, size_t count);
