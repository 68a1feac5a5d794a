// Windows version -> OsGeneration (-1 .. 8). Pure: no windows.h.
#pragma once
#include <cstdint>

// have_version 0: the version could not be read at all.
// product_type: wProductType (0 when only the basic record was filled).
int32_t ClassifyVersion(int have_version, uint32_t major, uint32_t minor, uint8_t product_type);
