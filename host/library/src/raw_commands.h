// The raw command family: one command by its code with the caller's
// arguments, no device lock, one reply read and discarded (the result is
// that of the read). No caller in this library; kept for applications
// built into it.
#pragma once

#include <cstdint>

namespace hostlib {

// The arguments of every member, each using the fields it names:
//   CMD_CANCEL_PRINT_JOB b0 job number, b1 mode; CMD_RESET b0 kind,
//   b1 argument; CMD_READ_TONE_CURVE b0 type, b1 curve;
//   CMD_OPERATION_BUTTON b0; CMD_SELF_DIAGNOSIS b0-b2;
//   CMD_GET_FIRMWARE_INFO b0 component; CMD_PRINT b0 job number, w0 image
//   width, w1 image height, w2 x offset, b1 image type; CMD_UPDATE b0 kind,
//   b1 argument, value size; CMD_SET_SERIAL_NO text, count (8);
//   CMD_GET_PARAMETER b0 id; CMD_SET_PARAMETER b0 id, value;
//   CMD_SET_LAMINATE_STRING b0 entry, w0 x, w1 y, b1 and b2 styles,
//   count length, text; CMD_GET_PRINTER_ID_STATUS b0 job number.
struct RawCommandArguments {
  uint8_t b0 = 0;
  uint8_t b1 = 0;
  uint8_t b2 = 0;
  uint16_t w0 = 0;
  uint16_t w1 = 0;
  uint16_t w2 = 0;
  uint32_t value = 0;
  uint8_t count = 0;
  const char *text = nullptr;
};

// RESULT_NO_SESSION without a session, RESULT_BAD_PARAMETER for a code
// that is no member; else the builder's or the read's code.
int SendRawCommand(uint16_t code, const RawCommandArguments &arguments, uint16_t *err);

}  // namespace hostlib
