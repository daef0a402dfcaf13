// An error-history sector (flash 0x607F4000 or 0x607F6000, 8 KB each) with
// its slots of 62 bytes at 2 + 62 n (n = 0-131) behind the header halfword
// (0x0001 in use, 0xFFFF erased). A slot: count, head, then ten entries of
// code major, code minor, counter bits 16-31 (u16 LE) and bits 0-15 (u16 LE),
// entry 0 the newest. The firmware finds the current slot through the main
// EEPROM's cells 122 (slot) and 123 (sector), which a formatted EEPROM holds
// as 0: slot 0 of the first sector.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/images/bytes.h"

namespace images {

constexpr uint32_t kErrorHistSectorBytes = 0x2000;
constexpr uint32_t kErrorHistSlotBytes = 62;

struct ErrorHistEntry {
  uint16_t code;     // major << 8 | minor
  uint32_t counter;  // the "Total" counter when the error was raised
};

// A sector in use whose slot `slot` holds up to ten entries (newest first);
// the other slots stay erased.
Bytes BuildErrorHistorySector(const std::vector<ErrorHistEntry>& entries, uint32_t slot = 0, uint8_t head = 0);

}  // namespace images
