// Request payloads: the bytes behind the CommandHeader of every command that
// carries a payload. Offsets are payload offsets (payload byte 0 is packet
// byte 4); multi-byte fields are little-endian; texts are not terminated.
//
// EncodeRequest writes the layout the printer reads and returns its size.
// DecodeRequest reads it from a payload of any length: bytes the host did
// not send read as 0 (see PayloadReader), so a short payload is never read
// past its end. EncodeRequestPacket writes a whole packet with the payload
// length the host sends (command table, hostSends): it pads with zeros where
// the host sends more than the printer reads and cuts where it sends less.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/codes.h"
#include "protocol/command_table.h"
#include "protocol/headers.h"
#include "protocol/print_size.h"
#include "protocol/wire.h"

namespace protocol {

// CMD_PRINT, 18 bytes.
struct PrintRequest {
  static constexpr uint16_t kCode = CMD_PRINT;
  static constexpr size_t kSize = 18;
  uint8_t jobNumber;       // 0: the host's job number; the printer does not use it
  uint8_t hostArgument;    // 1: the host's second argument; not used either
                           // 2: 0
  uint16_t imageWidth;     // 3-4
  uint16_t imageHeight;    // 5-6
  uint16_t mediaMaxWidth;  // 7-8
  uint16_t mediaMaxHeight; // 9-10
  uint16_t xOffset;        // 11-12 (the printer keeps even offsets only)
  uint16_t yOffset;        // 13-14
  uint8_t printOptionA;    // 15
  uint8_t imageType;       // 16: IMAGE_TYPE_...
  uint8_t printOptionB;    // 17
};

// The image bytes that follow this Print command.
constexpr uint32_t PrintDataSize(const PrintRequest& r) {
  return PrintDataSize(r.imageWidth, r.imageHeight, r.imageType);
}

// CMD_CANCEL_PRINT_JOB, 2 bytes.
struct CancelPrintJobRequest {
  static constexpr uint16_t kCode = CMD_CANCEL_PRINT_JOB;
  static constexpr size_t kSize = 2;
  uint8_t jobNumber;  // 0: 0 = every job
  uint8_t mode;       // 1: 0, 1 or 2
};

// CMD_RESET, 2 bytes.
struct ResetRequest {
  static constexpr uint16_t kCode = CMD_RESET;
  static constexpr size_t kSize = 2;
  uint8_t kind;      // 0: RESET_KIND_...
  uint8_t argument;  // 1: curve number for RESET_KIND_TONE_CURVE
};

// CMD_READ_TONE_CURVE, 2 bytes.
struct ReadToneCurveRequest {
  static constexpr uint16_t kCode = CMD_READ_TONE_CURVE;
  static constexpr size_t kSize = 2;
  uint8_t type;   // 0: 1-2
  uint8_t curve;  // 1: 1-8
};

// CMD_OPERATION_BUTTON, 1 byte.
struct OperationButtonRequest {
  static constexpr uint16_t kCode = CMD_OPERATION_BUTTON;
  static constexpr size_t kSize = 1;
  uint8_t enable;  // 0: 0 or 1
};

// CMD_GET_PARAMETER, 1 byte.
struct GetParameterRequest {
  static constexpr uint16_t kCode = CMD_GET_PARAMETER;
  static constexpr size_t kSize = 1;
  uint8_t parameterId;  // 0
};

// CMD_SET_PARAMETER, 5 bytes.
struct SetParameterRequest {
  static constexpr uint16_t kCode = CMD_SET_PARAMETER;
  static constexpr size_t kSize = 5;
  uint8_t parameterId;  // 0
  int32_t value;        // 1-4
};

// CMD_SET_LAMINATE_STRING, 28 bytes. This is the wire payload only; the
// firmware keeps its own text items.
inline constexpr uint8_t LAMINATE_TEXT_MAX = 20;
struct SetLaminateStringRequest {
  static constexpr uint16_t kCode = CMD_SET_LAMINATE_STRING;
  static constexpr size_t kSize = 28;
  uint8_t itemNumber;  // 0: 1-12
  uint16_t x;          // 1-2
  uint16_t y;          // 3-4
  uint8_t style1;      // 5
  uint8_t style2;      // 6
  // 7: text length. Encoded and decoded as at most 20, whatever it holds.
  uint8_t textLength;
  char text[LAMINATE_TEXT_MAX];  // 8-27, always 20 bytes on the wire
};

// CMD_SET_CUT_LIST, 8 bytes.
struct SetCutListRequest {
  static constexpr uint16_t kCode = CMD_SET_CUT_LIST;
  static constexpr size_t kSize = 8;
  uint16_t cutPositions[4];  // 0-7
};

// CMD_SETUP_PRINT_JOB: the printer reads 31 bytes, the host sends 60 (the
// rest 0).
struct SetupPrintJobRequest {
  static constexpr uint16_t kCode = CMD_SETUP_PRINT_JOB;
  static constexpr size_t kSize = 31;
  uint16_t copies;         // 0-1
  uint8_t unitRequest;     // 2: JOB_IMAGE_... mask (see PackJobImageFlags)
  uint8_t finishOptions;   // 3: three 2-bit fields, bits 0-1, 2-3, 4-5
  uint16_t cutOffset1;     // 4-5
  uint16_t cutOffset2;     // 6-7
  uint8_t cutCount;        // 8: 2-10, or CUT_COUNT_DEFAULT
  uint16_t cutPositions[CUT_POSITIONS_MAX];  // 9-28
  uint8_t firstUnitSelection;  // 29
  uint8_t printMode;           // 30: PRINT_MODE_...
};

// The host packs two 2-bit job flag fields into byte 2: the first field
// (colour images of units L and R) into bits 0 and 2, the second (one-bit
// images of L and R) into bits 1 and 3.
constexpr uint8_t PackJobImageFlags(uint8_t colourFlags, uint8_t oneBitFlags) {
  return static_cast<uint8_t>((colourFlags & 1u) | ((colourFlags & 2u) << 1) |
                              ((oneBitFlags & 1u) << 1) | ((oneBitFlags & 2u) << 2));
}
constexpr uint8_t ColourFlagsOf(uint8_t packed) {
  return static_cast<uint8_t>((packed & 1u) | ((packed >> 1) & 2u));
}
constexpr uint8_t OneBitFlagsOf(uint8_t packed) {
  return static_cast<uint8_t>(((packed >> 1) & 1u) | ((packed >> 2) & 2u));
}

// CMD_GET_JOB_STATUS: the printer reads 1 byte; the host sends none, which
// the printer reads as job id 0.
struct GetJobStatusRequest {
  static constexpr uint16_t kCode = CMD_GET_JOB_STATUS;
  static constexpr size_t kSize = 1;
  uint8_t jobId;  // 0: 0 = the job printing next
};

// CMD_JOB_IMAGE_CONTROL, 1 byte.
struct JobImageControlRequest {
  static constexpr uint16_t kCode = CMD_JOB_IMAGE_CONTROL;
  static constexpr size_t kSize = 1;
  uint8_t control;  // 0: 1 = placeholder for the missing image, else one unit
};

// CMD_MAINTENANCE_PERMISSION, 2 bytes.
struct MaintenancePermissionRequest {
  static constexpr uint16_t kCode = CMD_MAINTENANCE_PERMISSION;
  static constexpr size_t kSize = 2;
  uint8_t bytes[2];
};

// CMD_SELF_DIAGNOSIS, 3 bytes.
struct SelfDiagnosisRequest {
  static constexpr uint16_t kCode = CMD_SELF_DIAGNOSIS;
  static constexpr size_t kSize = 3;
  uint8_t subCommand;  // 0: DIAG_...
  uint8_t deviceId;    // 1
  uint8_t action;      // 2
};

// CMD_GET_FIRMWARE_INFO, 1 byte.
struct GetFirmwareInfoRequest {
  static constexpr uint16_t kCode = CMD_GET_FIRMWARE_INFO;
  static constexpr size_t kSize = 1;
  uint8_t component;  // 0: FW_COMPONENT_...
};

// CMD_UPDATE, 10 bytes.
struct UpdateRequest {
  static constexpr uint16_t kCode = CMD_UPDATE;
  static constexpr size_t kSize = 10;
  uint8_t kind;         // 0: UPDATE_KIND_...
  uint8_t argument;     // 1: curve 1-8 for the tone-curve kinds
  uint8_t noReset;      // 2: 0 = restart after writing
  uint8_t reserved[3];  // 3-5
  uint32_t dataSize;    // 6-9: bytes of update data that follow
};

// CMD_GET_EEPROM_MAINTENANCE, 2 bytes.
struct GetEepromMaintenanceRequest {
  static constexpr uint16_t kCode = CMD_GET_EEPROM_MAINTENANCE;
  static constexpr size_t kSize = 2;
  uint8_t bytes[2];
};

// CMD_SET_EEPROM_MAINTENANCE: 2 request bytes, then up to 248 data bytes.
inline constexpr uint8_t EEPROM_MAINTENANCE_DATA_MAX = 248;
struct SetEepromMaintenanceRequest {
  static constexpr uint16_t kCode = CMD_SET_EEPROM_MAINTENANCE;
  uint8_t bytes[2];
  uint8_t dataLength;
  uint8_t data[EEPROM_MAINTENANCE_DATA_MAX];
};

// CMD_SET_SERIAL_NO, 8 bytes.
struct SetSerialNoRequest {
  static constexpr uint16_t kCode = CMD_SET_SERIAL_NO;
  static constexpr size_t kSize = 8;
  char serial[8];
};

// CMD_READ_HEAD_EEPROM: the printer reads 2 bytes; the host sends 1, its
// caller's byte, which lands on the unit. The address then reads as 0.
struct ReadHeadEepromRequest {
  static constexpr uint16_t kCode = CMD_READ_HEAD_EEPROM;
  static constexpr size_t kSize = 2;
  uint8_t unit;     // 0: 1 = L, 2 = R
  uint8_t address;  // 1
};

// CMD_GET_PRINTER_ID_STATUS, 1 byte.
struct GetPrinterIdStatusRequest {
  static constexpr uint16_t kCode = CMD_GET_PRINTER_ID_STATUS;
  static constexpr size_t kSize = 1;
  uint8_t jobId;  // 0: 0 = the job printing next
};

// CMD_UNIVERSAL: byte 0 the count n, bytes 1..n the data (sub-code first);
// 1 + n is at most 250, so n is at most 249.
inline constexpr uint8_t UNIVERSAL_REQUEST_DATA_MAX = 249;
struct UniversalRequest {
  static constexpr uint16_t kCode = CMD_UNIVERSAL;
  uint8_t count;
  uint8_t data[UNIVERSAL_REQUEST_DATA_MAX];
};

int32_t EncodeRequest(const PrintRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const CancelPrintJobRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const ResetRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const ReadToneCurveRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const OperationButtonRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const GetParameterRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const SetParameterRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const SetLaminateStringRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const SetCutListRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const SetupPrintJobRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const GetJobStatusRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const JobImageControlRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const MaintenancePermissionRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const SelfDiagnosisRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const GetFirmwareInfoRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const UpdateRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const GetEepromMaintenanceRequest& r, uint8_t* out, size_t capacity);
// WIRE_ERR_BAD_VALUE for dataLength above 248.
int32_t EncodeRequest(const SetEepromMaintenanceRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const SetSerialNoRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const ReadHeadEepromRequest& r, uint8_t* out, size_t capacity);
int32_t EncodeRequest(const GetPrinterIdStatusRequest& r, uint8_t* out, size_t capacity);
// WIRE_ERR_BAD_VALUE for a count above 249.
int32_t EncodeRequest(const UniversalRequest& r, uint8_t* out, size_t capacity);

int32_t DecodeRequest(const uint8_t* in, size_t length, PrintRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, CancelPrintJobRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, ResetRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, ReadToneCurveRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, OperationButtonRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, GetParameterRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, SetParameterRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, SetLaminateStringRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, SetCutListRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, SetupPrintJobRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, GetJobStatusRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, JobImageControlRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, MaintenancePermissionRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, SelfDiagnosisRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, GetFirmwareInfoRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, UpdateRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, GetEepromMaintenanceRequest* r);
// Takes at most 248 data bytes behind the two request bytes.
int32_t DecodeRequest(const uint8_t* in, size_t length, SetEepromMaintenanceRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, SetSerialNoRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, ReadHeadEepromRequest* r);
int32_t DecodeRequest(const uint8_t* in, size_t length, GetPrinterIdStatusRequest* r);
// WIRE_ERR_BAD_VALUE (count 0, nothing copied) for a count above 249; data
// bytes the count names but the payload lacks read as 0.
int32_t DecodeRequest(const uint8_t* in, size_t length, UniversalRequest* r);

// Writes a whole command packet for a request, with the payload length the
// host library sends for its command (see the file comment).
template <typename Request>
int32_t EncodeRequestPacket(const Request& request, uint8_t* out, size_t capacity) {
  constexpr size_t index = CommandIndex(Request::kCode);
  static_assert(index < kCommandTable.size(), "request of a command the table does not list");
  const CommandInfo* info = &kCommandTable[index];
  if (out == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  if (capacity < COMMAND_HEADER_SIZE) return WIRE_ERR_NO_ROOM;
  uint8_t* payload = out + COMMAND_HEADER_SIZE;
  const size_t room = capacity - COMMAND_HEADER_SIZE;
  const int32_t written = EncodeRequest(request, payload, room);
  if (written < 0) return written;
  const size_t sent = info->variablePayload ? static_cast<size_t>(written) : info->hostSends;
  if (sent > room) return WIRE_ERR_NO_ROOM;
  for (size_t i = static_cast<size_t>(written); i < sent; ++i) payload[i] = 0;
  return EncodeCommandPacket(Request::kCode, payload, static_cast<uint16_t>(sent), out, capacity);
}

// A packet without payload (CMD_GET_STATUS, CMD_FLASH_LED ...).
int32_t EncodeEmptyRequestPacket(uint16_t code, uint8_t* out, size_t capacity);

}  // namespace protocol
