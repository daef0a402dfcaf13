// Placeholder of the setting, serial-number and universal command handlers:
// no setting, counter or EEPROM cell exists yet, so every parameter id reads
// as empty, the serial number's EEPROM write is refused (the USB task has
// changed only the RAM copy), every universal sub-code is unknown and no
// head EEPROM can be read.
#include "firmware/hostif/setting_handlers.h"

#include <cstring>

#include "firmware/hostif/usb_comm.h"
#include "firmware/platform/placeholder.h"
#include "protocol/codes.h"

namespace {
bool s_bLogged;
void Note() { LogPlaceholderOnce(s_bLogged, "setting, serial-number and universal command handlers"); }
}  // namespace

int32_t ExecGetParameter() {
  Note();
  GetParameterBlock* pBlock = nullptr;
  usb_comm_get_get_parameter_block(&pBlock);
  pBlock->ucResult = protocol::REPLY_ERR_BAD_PARAMETER;
  pBlock->ulValue = 0;
  return 0;
}

int32_t ExecSetParameter() {
  Note();
  SetParameterBlock* pBlock = nullptr;
  usb_comm_get_set_parameter_block(&pBlock);
  pBlock->ucResult = protocol::REPLY_ERR_BAD_PARAMETER;
  return 0;
}

int32_t ExecSetSerialNo() {
  Note();
  SetSerialBlock* pBlock = nullptr;
  usb_comm_get_set_serial_block(&pBlock);
  pBlock->ucResult = protocol::REPLY_ERR_REFUSED;
  return 0;
}

int32_t ExecUniversalCommand() {
  Note();
  UniversalBlock* pBlock = nullptr;
  usb_comm_get_universal_block(&pBlock);
  std::memset(pBlock->aucReply, 0, sizeof pBlock->aucReply);
  pBlock->aucReply[0] = pBlock->aucRequest[0];
  pBlock->aucReply[1] = protocol::UNIVERSAL_RESULT_UNKNOWN;
  pBlock->ucReplyLength = 2;
  return 0;
}

int32_t ReadHeadEepromForHost(uint8_t, uint8_t, uint8_t* pucValue) {
  Note();
  *pucValue = 0;
  return -1;
}
