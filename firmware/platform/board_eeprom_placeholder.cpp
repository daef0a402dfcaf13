// Placeholder of the board EEPROM driver: reads see an erased chip, writes
// store nothing and say so.
#include "firmware/platform/board_eeprom.h"
#include "firmware/platform/placeholder.h"

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "board EEPROM driver"); }
}  // namespace

int32_t EepromReadByte(uint16_t, uint16_t* pusValue) {
  Note();
  *pusValue = 0xFF;
  return 0;
}

int32_t EepromWriteByte(uint16_t, uint16_t) {
  Note();
  return -1;
}
