// A word of a system-device argument block. Blocks are laid out in words; a
// word carries either a physical address, a value, or a host pointer, never
// one converted into the other, so it is as wide as a pointer (32 bits on
// the target).
#pragma once

#include <cstdint>

using IoctlWord = uintptr_t;

// A result word as the signed 32-bit value it holds.
inline int32_t IoctlResult(IoctlWord word) { return static_cast<int32_t>(static_cast<uint32_t>(word)); }

// A signed result as the word that carries it (its low 32 bits).
inline IoctlWord IoctlResultWord(int32_t lResult) { return static_cast<IoctlWord>(static_cast<uint32_t>(lResult)); }

// The low 32 bits of a word: an address, a count or a value.
inline uint32_t IoctlValue(IoctlWord word) { return static_cast<uint32_t>(word); }

// A word that carries a host pointer, and the pointer it carries.
template <class T>
inline IoctlWord IoctlPointerWord(T* p) {
  return reinterpret_cast<IoctlWord>(p);
}
template <class T>
inline T* IoctlPointer(IoctlWord word) {
  return reinterpret_cast<T*>(word);
}

// Ends a list of address words (the write batch); compared in its low 32
// bits.
constexpr uint32_t IOCTL_LIST_END = 0xFFFFFFFFu;
inline bool IoctlIsListEnd(IoctlWord word) { return static_cast<uint32_t>(word) == IOCTL_LIST_END; }

// The bytes of a block from word ulWord on: bulk data that follows a header
// of words (the FPGA bitstream of a configuration block, the sections of a
// DSP boot block).
inline uint8_t* IoctlBlockBytes(IoctlWord* pBlock, uint32_t ulWord) {
  return reinterpret_cast<uint8_t*>(pBlock + ulWord);
}
inline const uint8_t* IoctlBlockBytes(const IoctlWord* pBlock, uint32_t ulWord) {
  return reinterpret_cast<const uint8_t*>(pBlock + ulWord);
}
