// Finding a resource in a PE file (32- or 64-bit) held in memory, without
// trusting a single field of it: every offset is checked against the bytes given.
#pragma once
#include <cstddef>
#include <cstdint>

enum PeResult {
  PE_FOUND,
  PE_NOT_PE,       // no MZ header or no PE signature
  PE_DAMAGED,      // headers or resource tree point outside the file
  PE_NO_RESOURCE,  // a sound PE without that resource
};

struct PeResource {
  const uint8_t* data;
  uint32_t size;
  const char* why;  // for PE_DAMAGED and PE_NO_RESOURCE: what was wrong
};

// True when the bytes begin like a PE file ("MZ").
bool LooksLikePe(const uint8_t* file, size_t size);
// The first language of resource `id` of numeric type `type` (RT_RCDATA is 10).
PeResult FindPeResource(const uint8_t* file, size_t size, uint32_t type, uint32_t id,
                        PeResource* out);
