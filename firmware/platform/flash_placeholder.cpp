// Placeholder of the flash erase and program operations: nothing is erased
// or programmed, and every operation says so.
#include "firmware/platform/flash.h"
#include "firmware/platform/placeholder.h"

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "flash erase and program"); }
}  // namespace

int32_t FlashEraseSector(PhysAddr) {
  Note();
  return -1;
}

int32_t FlashProgram(PhysAddr, IoctlWord, uint32_t, uint32_t) {
  Note();
  return -1;
}

int32_t FlashEraseOnce(PhysAddr, uint32_t) {
  Note();
  return -1;
}

int32_t FlashProgramWordOnce(PhysAddr, uint32_t, uint16_t) {
  Note();
  return -1;
}

uint16_t FlashReadWord(PhysAddr) {
  Note();
  return 0xFFFF;
}

void FlashWriteWord(PhysAddr, uint16_t) { Note(); }
