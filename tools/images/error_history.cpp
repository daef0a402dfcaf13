#include "tools/images/error_history.h"

#include <stdexcept>

namespace images {

Bytes BuildErrorHistorySector(const std::vector<ErrorHistEntry>& entries, uint32_t slot, uint8_t head) {
  if (entries.size() > 10) throw std::invalid_argument("an error-history slot holds ten entries");
  if (slot > 131) throw std::invalid_argument("an error-history sector holds slots 0-131");
  Bytes sector(kErrorHistSectorBytes, 0xFF);
  PutU16LE(sector, 0, 0x0001);
  const size_t at = 2 + kErrorHistSlotBytes * slot;
  PutU8(sector, at, static_cast<uint8_t>(entries.size()));
  PutU8(sector, at + 1, head);
  for (size_t k = 0; k < entries.size(); ++k) {
    const size_t e = at + 2 + 6 * k;
    PutU8(sector, e, static_cast<uint8_t>(entries[k].code >> 8));
    PutU8(sector, e + 1, static_cast<uint8_t>(entries[k].code));
    PutU16LE(sector, e + 2, static_cast<uint16_t>(entries[k].counter >> 16));
    PutU16LE(sector, e + 4, static_cast<uint16_t>(entries[k].counter));
  }
  return sector;
}

}  // namespace images
