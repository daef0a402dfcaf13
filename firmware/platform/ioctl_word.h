// A word of a system-device argument block. Blocks are laid out in words; a
// word carries either a physical address, a value, or a host pointer, never
// one converted into the other, so it is as wide as a pointer (32 bits on
// the target).
#pragma once

#include <cstdint>

using IoctlWord = uintptr_t;

// A result word as the signed 32-bit value it holds.
inline int32_t IoctlResult(IoctlWord word) { return static_cast<int32_t>(static_cast<uint32_t>(word)); }
