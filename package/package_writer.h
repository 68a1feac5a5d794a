// Making packages (qvpack build and the tests): each entry's stored bytes are
// its plain bytes run through the descrambler with the chain as it stands, and
// the chain then advances with the MD5 of those stored bytes.
#pragma once
#include <cstdint>

#include "package/chain.h"
#include "package/package_format.h"

// Scrambles `size` plain bytes into `stored` (may be the same buffer), sets the
// record's size and digest, and advances the chain. The caller sets name and
// offset.
void ScrambleEntry(PackageChain* chain, const uint8_t* plain, uint8_t* stored, uint32_t size,
                   PackageEntry* entry);
