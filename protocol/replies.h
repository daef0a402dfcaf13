// Reply payloads: the data bytes behind the ReplyHeader, for every command
// whose reply carries data (status and media replies: status_record.h and
// media.h; model name: identity.h). Offsets are data offsets (data byte 0 is
// reply byte 10); multi-byte fields are little-endian; texts are not
// terminated.
//
// EncodeReply writes the data the printer sends and returns its size; an
// error reply keeps the same size. DecodeReply reads the data the host
// received and insists on the exact size (WIRE_ERR_SHORT_BUFFER,
// WIRE_ERR_LENGTH_MISMATCH).
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/codes.h"
#include "protocol/wire.h"

namespace protocol {

// CMD_PRINT, 1 byte.
struct PrintReply {
  static constexpr uint16_t kCode = CMD_PRINT;
  static constexpr size_t kSize = 1;
  uint8_t slotIndex;  // image buffer slot chosen by the print handler
};

// CMD_READ_TONE_CURVE, 2 bytes; the curve pieces follow (tone_curve.h).
struct ReadToneCurveReply {
  static constexpr uint16_t kCode = CMD_READ_TONE_CURVE;
  static constexpr size_t kSize = 2;
  uint16_t size;  // TONE_CURVE_SIZE when accepted, else 0
};

// CMD_GET_ERROR_LOG, 61 bytes: a count and ten entries of 6 bytes, newest
// first. Entries beyond the count carry no information.
inline constexpr uint8_t ERROR_LOG_ENTRIES_MAX = 10;
struct ErrorLogEntry {
  uint8_t codeMajor;
  uint8_t codeMinor;
  uint32_t totalCount;  // "Total" life counter when the error was raised
};
struct ErrorLogReply {
  static constexpr uint16_t kCode = CMD_GET_ERROR_LOG;
  static constexpr size_t kSize = 61;
  uint8_t count;  // 0-10; the encoder refuses more, the decoder reports more
  ErrorLogEntry entries[ERROR_LOG_ENTRIES_MAX];
};

// CMD_GET_PARAMETER, 4 bytes.
struct GetParameterReply {
  static constexpr uint16_t kCode = CMD_GET_PARAMETER;
  static constexpr size_t kSize = 4;
  int32_t value;  // 0 when the application refused
};

// CMD_GET_SERIAL_NO, 8 bytes.
inline constexpr char SERIAL_NO_ERASED_TEXT[] = "P0000000";
struct SerialNoReply {
  static constexpr uint16_t kCode = CMD_GET_SERIAL_NO;
  static constexpr size_t kSize = 8;
  // The printer's serial number. An erased cell (first byte 0xFF) is sent
  // as "P0000000".
  char serial[8];
};

// CMD_GET_PRINTER_ID_STATUS, 9 bytes.
struct PrinterIdStatusReply {
  static constexpr uint16_t kCode = CMD_GET_PRINTER_ID_STATUS;
  static constexpr size_t kSize = 9;
  uint8_t jobId;           // 0
  uint16_t copiesLeft;     // 1-2
  uint16_t copiesPrinted;  // 3-4
  uint16_t copies;         // 5-6
  uint16_t jobPhase;       // 7-8: JOB_PHASE_...
};

// CMD_GET_COUNTERS, 24 bytes: status items 64-69.
struct CountersReply {
  static constexpr uint16_t kCode = CMD_GET_COUNTERS;
  static constexpr size_t kSize = 24;
  uint32_t cut;          // 0-3 "Cut"
  uint32_t carousel;     // 4-7 "Carousel"
  uint32_t headLengthL;  // 8-11
  uint32_t headLengthR;  // 12-15
  uint32_t headPrintsL;  // 16-19
  uint32_t headPrintsR;  // 20-23
};

// CMD_GET_EXIT_TRAY_STATUS, 4 bytes.
struct ExitTrayStatusReply {
  static constexpr uint16_t kCode = CMD_GET_EXIT_TRAY_STATUS;
  static constexpr size_t kSize = 4;
  uint8_t trayState;  // 0: EXIT_TRAY_...; bytes 1-3 are 0
};

// CMD_GET_BUFFER_STATUS, 72 bytes: 18 entries of 4 bytes.
inline constexpr uint8_t BUFFER_STATUS_ENTRIES = 18;
struct BufferStatusEntry {
  uint8_t inUse;      // 1 in use or released, 0 free
  uint8_t firstTag;
  uint8_t secondTag;  // the fourth byte is 0
};
struct BufferStatusReply {
  static constexpr uint16_t kCode = CMD_GET_BUFFER_STATUS;
  static constexpr size_t kSize = 72;
  BufferStatusEntry entries[BUFFER_STATUS_ENTRIES];
};

// CMD_SETUP_PRINT_JOB, 4 bytes.
struct SetupPrintJobReply {
  static constexpr uint16_t kCode = CMD_SETUP_PRINT_JOB;
  static constexpr size_t kSize = 4;
  uint8_t jobId;          // 0
  uint8_t assignment[3];  // 1-3: the new job's three assignment bytes
};

// CMD_GET_JOB_STATUS, 60 bytes.
struct JobStatusReply {
  static constexpr uint16_t kCode = CMD_GET_JOB_STATUS;
  static constexpr size_t kSize = 60;
  uint8_t jobId;         // 0
  uint16_t copies;       // 1-2
  uint8_t receiveState;  // 3: the job's expected-image mask; 4-7 are 0
  uint8_t cutCount;      // 8
  uint16_t cutPositions[CUT_POSITIONS_MAX];  // 9-28, cut offsets added
  uint8_t firstUnitSelection;  // 29
  uint8_t printMode;           // 30; 31-59 are 0
};

// CMD_SELF_DIAGNOSIS, 4 bytes.
struct SelfDiagnosisReply {
  static constexpr uint16_t kCode = CMD_SELF_DIAGNOSIS;
  static constexpr size_t kSize = 4;
  uint8_t subCommand;  // 0
  uint8_t deviceId;    // 1
  uint8_t action;      // 2
  uint8_t value;       // 3: the measured value
};

// CMD_GET_DIAGNOSIS_RESULT, 131 bytes: the self-diagnosis results as kept.
inline constexpr size_t DIAGNOSIS_RESULT_SIZE = 131;
struct DiagnosisResultReply {
  static constexpr uint16_t kCode = CMD_GET_DIAGNOSIS_RESULT;
  static constexpr size_t kSize = DIAGNOSIS_RESULT_SIZE;
  uint8_t results[DIAGNOSIS_RESULT_SIZE];
};

// CMD_GET_FIRMWARE_INFO, 38 bytes: one FirmwareInfoRecord.
struct FirmwareInfoRecord {
  static constexpr uint16_t kCode = CMD_GET_FIRMWARE_INFO;
  static constexpr size_t kSize = 38;
  char programName[8];   // 0-7
  char programType[16];  // 8-23
  char createDate[10];   // 24-33
  uint8_t versionMajor;  // 34
  uint8_t versionMinor;  // 35
  uint16_t imageChecksum;  // 36-37
};

// CMD_READ_HEAD_EEPROM, 1 byte.
struct ReadHeadEepromReply {
  static constexpr uint16_t kCode = CMD_READ_HEAD_EEPROM;
  static constexpr size_t kSize = 1;
  uint8_t value;
};

// CMD_UNIVERSAL, 1 + m bytes: the count m (at most 249), then the answer:
// sub-code echo, result, data.
inline constexpr uint8_t UNIVERSAL_REPLY_DATA_MAX = 249;
struct UniversalReply {
  static constexpr uint16_t kCode = CMD_UNIVERSAL;
  uint8_t length;  // m
  uint8_t data[UNIVERSAL_REPLY_DATA_MAX];
};

int32_t EncodeReply(const PrintReply& r, uint8_t* out, size_t capacity);
int32_t EncodeReply(const ReadToneCurveReply& r, uint8_t* out, size_t capacity);
// WIRE_ERR_BAD_VALUE for a count above 10.
int32_t EncodeReply(const ErrorLogReply& r, uint8_t* out, size_t capacity);
int32_t EncodeReply(const GetParameterReply& r, uint8_t* out, size_t capacity);
int32_t EncodeReply(const SerialNoReply& r, uint8_t* out, size_t capacity);
int32_t EncodeReply(const PrinterIdStatusReply& r, uint8_t* out, size_t capacity);
int32_t EncodeReply(const CountersReply& r, uint8_t* out, size_t capacity);
int32_t EncodeReply(const ExitTrayStatusReply& r, uint8_t* out, size_t capacity);
int32_t EncodeReply(const BufferStatusReply& r, uint8_t* out, size_t capacity);
int32_t EncodeReply(const SetupPrintJobReply& r, uint8_t* out, size_t capacity);
int32_t EncodeReply(const JobStatusReply& r, uint8_t* out, size_t capacity);
int32_t EncodeReply(const SelfDiagnosisReply& r, uint8_t* out, size_t capacity);
int32_t EncodeReply(const DiagnosisResultReply& r, uint8_t* out, size_t capacity);
int32_t EncodeReply(const FirmwareInfoRecord& r, uint8_t* out, size_t capacity);
int32_t EncodeReply(const ReadHeadEepromReply& r, uint8_t* out, size_t capacity);
// WIRE_ERR_BAD_VALUE for a length above 249.
int32_t EncodeReply(const UniversalReply& r, uint8_t* out, size_t capacity);

int32_t DecodeReply(const uint8_t* in, size_t length, PrintReply* r);
int32_t DecodeReply(const uint8_t* in, size_t length, ReadToneCurveReply* r);
// WIRE_ERR_BAD_VALUE for a count above 10 (the entries are still decoded and
// the count is cut to 10).
int32_t DecodeReply(const uint8_t* in, size_t length, ErrorLogReply* r);
int32_t DecodeReply(const uint8_t* in, size_t length, GetParameterReply* r);
int32_t DecodeReply(const uint8_t* in, size_t length, SerialNoReply* r);
int32_t DecodeReply(const uint8_t* in, size_t length, PrinterIdStatusReply* r);
int32_t DecodeReply(const uint8_t* in, size_t length, CountersReply* r);
int32_t DecodeReply(const uint8_t* in, size_t length, ExitTrayStatusReply* r);
int32_t DecodeReply(const uint8_t* in, size_t length, BufferStatusReply* r);
int32_t DecodeReply(const uint8_t* in, size_t length, SetupPrintJobReply* r);
int32_t DecodeReply(const uint8_t* in, size_t length, JobStatusReply* r);
int32_t DecodeReply(const uint8_t* in, size_t length, SelfDiagnosisReply* r);
int32_t DecodeReply(const uint8_t* in, size_t length, DiagnosisResultReply* r);
int32_t DecodeReply(const uint8_t* in, size_t length, FirmwareInfoRecord* r);
int32_t DecodeReply(const uint8_t* in, size_t length, ReadHeadEepromReply* r);
// The length must be 1 + the count byte.
int32_t DecodeReply(const uint8_t* in, size_t length, UniversalReply* r);

}  // namespace protocol
