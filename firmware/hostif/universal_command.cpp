// The universal command: a maintenance channel of sub-codes, each a row of
// one table with the request bytes it needs and its action. The request is
// {sub-code, b1, b2, ...}; the reply {sub-code, result, data} of
// ucReplyLength bytes. A request shorter than its sub-code needs, or with a
// value the sub-code refuses, answers result 1 and changes nothing.
#include <cstring>

#include "firmware/devices/eeprom.h"
#include "firmware/devices/settings.h"
#include "firmware/hal/hw.h"
#include "firmware/hostif/setting_handlers.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/platform/address_windows.h"
#include "firmware/printengine/head_line_log.h"
#include "protocol/codes.h"

namespace {

constexpr uint8_t RESULT_OK = 0;
constexpr uint8_t RESULT_REFUSED = 1;
constexpr uint32_t HEAD_LOG_VALUES_MAX = 64;
constexpr uint32_t MEMORY_BYTES_MAX = 64;
// Reply bytes before the data of each sub-code.
constexpr uint32_t HEAD_LOG_REPLY_HEAD = 6;
constexpr uint32_t MEMORY_REPLY_HEAD = 8;

// The memory the host may read: plain RAM and the flash window, where a
// read has no side effect.
struct MemoryRange {
  PhysAddr ulFirst;
  PhysAddr ulLast;
};
constexpr MemoryRange kReadableMemory[] = {
    {0x00000000u, 0x00FFFFFFu},  // low RAM
    {0x80000000u, 0x8001FFFFu},  // on-chip shared RAM
    {0xC0000000u, 0xC7FFFFFFu},  // SDRAM
    {FLASH_BASE, FLASH_LAST},
};

bool IsReadableMemory(PhysAddr ulFirst, uint32_t ulBytes) {
  for (const MemoryRange& range : kReadableMemory) {
    if (ulFirst >= range.ulFirst && ulFirst <= range.ulLast && ulBytes - 1u <= range.ulLast - ulFirst) return true;
  }
  return false;
}

uint16_t U16At(const uint8_t* pucBytes) { return static_cast<uint16_t>(pucBytes[0] | pucBytes[1] << 8); }

uint32_t U32At(const uint8_t* pucBytes) {
  return static_cast<uint32_t>(pucBytes[0]) | static_cast<uint32_t>(pucBytes[1]) << 8 |
         static_cast<uint32_t>(pucBytes[2]) << 16 | static_cast<uint32_t>(pucBytes[3]) << 24;
}

void PutLittleEndian(uint8_t* pucDest, uint32_t ulValue, uint32_t ulBytes) {
  for (uint32_t i = 0; i < ulBytes; ++i) pucDest[i] = static_cast<uint8_t>(ulValue >> (8 * i));
}

// An action fills the reply from byte 2 on and returns the reply length, or
// 0 to refuse the request (nothing is changed then).
using UniversalAction = uint32_t (*)(const uint8_t* pucRequest, uint8_t* pucReply);

// 129: the print-log record number, echoed.
uint32_t EchoPrintLogNumber(const uint8_t* pucRequest, uint8_t* pucReply) {
  pucReply[2] = pucRequest[1];
  pucReply[3] = pucRequest[2];
  return 4;
}

// 130: up to 64 values of the head log from value s on; values past its
// end read as 0.
uint32_t ReadHeadLineLog(const uint8_t* pucRequest, uint8_t* pucReply) {
  const uint32_t ulStart = U16At(&pucRequest[1]);
  const uint32_t ulCount = pucRequest[3] > HEAD_LOG_VALUES_MAX ? HEAD_LOG_VALUES_MAX : pucRequest[3];
  pucReply[2] = pucRequest[1];
  pucReply[3] = pucRequest[2];
  pucReply[4] = static_cast<uint8_t>(ulCount);
  pucReply[5] = 0;
  for (uint32_t i = 0; i < ulCount; ++i) {
    const uint32_t ulIndex = ulStart + i;
    const uint16_t usValue = ulIndex < HEAD_LINE_LOG_VALUES ? HeadLineLogValue(g_usHeadLineLogA, ulIndex) : 0;
    PutLittleEndian(&pucReply[HEAD_LOG_REPLY_HEAD + 2 * i], usValue, 2);
  }
  return HEAD_LOG_REPLY_HEAD + 2 * ulCount;
}

// 194: "H-LogOffset" takes the value; a refusal is the reply's result.
uint32_t SetHeadLogOffset(const uint8_t* pucRequest, uint8_t* pucReply) {
  pucReply[1] = g_ParamHeadLogOffset.SetValue(U16At(&pucRequest[1])) == 0 ? RESULT_OK : RESULT_REFUSED;
  return 2;
}

// 224: n bytes of plain memory, read with the access width (1: 16-bit
// reads from the even address below, 2: 32-bit reads from the multiple of 4
// below, else byte reads), laid out low byte first. The bytes of a count
// that is not a multiple of the width are 0.
uint32_t ReadMemory(const uint8_t* pucRequest, uint8_t* pucReply) {
  const uint32_t ulCount = pucRequest[6];
  if (ulCount > MEMORY_BYTES_MAX) return 0;
  const uint8_t ucWidthCode = pucRequest[5];
  const uint32_t ulWidth = ucWidthCode == 1 ? 2u : ucWidthCode == 2 ? 4u : 1u;
  const PhysAddr ulAddress = U32At(&pucRequest[1]) & ~(ulWidth - 1u);
  const uint32_t ulReads = ulCount / ulWidth;
  if (ulReads != 0 && !IsReadableMemory(ulAddress, ulReads * ulWidth)) return 0;
  std::memcpy(&pucReply[2], &pucRequest[1], MEMORY_REPLY_HEAD - 2);
  for (uint32_t i = 0; i < ulReads; ++i) {
    const PhysAddr ulAt = ulAddress + i * ulWidth;
    const uint32_t ulValue = ulWidth == 4 ? HwRead32(ulAt) : ulWidth == 2 ? HwRead16(ulAt) : HwRead8(ulAt);
    PutLittleEndian(&pucReply[MEMORY_REPLY_HEAD + i * ulWidth], ulValue, ulWidth);
  }
  return MEMORY_REPLY_HEAD + ulCount;
}

// 240: one byte of the main EEPROM.
uint32_t ReadEepromByte(const uint8_t* pucRequest, uint8_t* pucReply) {
  if (g_Eeprom.ReadByte(pucRequest[1], &pucReply[3]) != 0) return 0;
  pucReply[2] = pucRequest[1];
  return 4;
}

// 241: writes the byte, then answers what the EEPROM holds.
uint32_t WriteEepromByte(const uint8_t* pucRequest, uint8_t* pucReply) {
  if (g_Eeprom.WriteByte(pucRequest[1], pucRequest[2]) != 0) return 0;
  return ReadEepromByte(pucRequest, pucReply);
}

struct UniversalRow {
  uint8_t ucSubCode;
  uint8_t ucRequestBytes;  // the sub-code included
  UniversalAction pfnAction;
};

constexpr UniversalRow kUniversalRows[] = {
    {protocol::UNIVERSAL_PRINT_LOG_NUMBER, 3, EchoPrintLogNumber},
    {protocol::UNIVERSAL_HEAD_LINE_LOG, 4, ReadHeadLineLog},
    {protocol::UNIVERSAL_HEAD_LOG_OFFSET, 3, SetHeadLogOffset},
    {protocol::UNIVERSAL_READ_MEMORY, 7, ReadMemory},
    {protocol::UNIVERSAL_READ_EEPROM, 2, ReadEepromByte},
    {protocol::UNIVERSAL_WRITE_EEPROM, 3, WriteEepromByte},
};

const UniversalRow* FindUniversalRow(uint8_t ucSubCode) {
  for (const UniversalRow& row : kUniversalRows) {
    if (row.ucSubCode == ucSubCode) return &row;
  }
  return nullptr;
}

}  // namespace

int32_t ExecUniversalCommand() {
  UniversalBlock* pBlock = nullptr;
  usb_comm_get_universal_block(&pBlock);
  const uint8_t* pucRequest = pBlock->aucRequest;
  uint8_t* pucReply = pBlock->aucReply;
  std::memset(pucReply, 0, sizeof pBlock->aucReply);
  pucReply[0] = pucRequest[0];
  pBlock->ucReplyLength = 2;
  const UniversalRow* pRow = pBlock->ucRequestLength == 0 ? nullptr : FindUniversalRow(pucRequest[0]);
  if (pRow == nullptr) {
    pucReply[1] = protocol::UNIVERSAL_RESULT_UNKNOWN;
    return 0;
  }
  const uint32_t ulLength = pBlock->ucRequestLength < pRow->ucRequestBytes ? 0 : pRow->pfnAction(pucRequest, pucReply);
  if (ulLength == 0) {
    std::memset(pucReply + 2, 0, sizeof pBlock->aucReply - 2);
    pucReply[1] = RESULT_REFUSED;
    return 0;
  }
  pBlock->ucReplyLength = static_cast<uint8_t>(ulLength);
  return 0;
}
