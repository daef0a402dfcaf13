// The numbers of the USB command protocol: command codes and their groups,
// reply kinds and error codes, printer states, and the kinds, components and
// sub-commands that travel inside request payloads.
#pragma once

#include <cstdint>

namespace protocol {

// ---------------------------------------------------------------------------
// Command codes. Bytes 0-1 of a command packet read as a little-endian u16:
// the low byte is the command number, the high byte the group (0x4001 travels
// as 01 40).

inline constexpr uint8_t CMD_GROUP_QUERY = 0x00;
inline constexpr uint8_t CMD_GROUP_ACTION = 0x40;
inline constexpr uint8_t CMD_GROUP_DOWNLOAD = 0x80;
inline constexpr uint8_t CMD_GROUP_MAINTENANCE = 0xC0;

enum CommandCode : uint16_t {
  CMD_GET_STATUS = 0x0001,
  CMD_GET_MEDIA_INFO = 0x0002,
  CMD_GET_MODEL_NAME = 0x0003,
  CMD_GET_ERROR_LOG = 0x0004,
  CMD_GET_PARAMETER = 0x0005,
  CMD_GET_SERIAL_NO = 0x0006,
  CMD_GET_PRINTER_ID_STATUS = 0x0007,
  CMD_GET_COUNTERS = 0x0008,
  CMD_GET_EXIT_TRAY_STATUS = 0x0009,
  CMD_GET_MEDIA_INFO_EX = 0x000A,
  CMD_GET_BUFFER_STATUS = 0x000B,
  CMD_PRINT = 0x4001,
  CMD_CANCEL_PRINT_JOB = 0x4002,
  CMD_FLASH_LED = 0x4003,
  CMD_RESET = 0x4004,
  CMD_READ_TONE_CURVE = 0x4005,
  CMD_OPERATION_BUTTON = 0x4006,
  CMD_SET_PARAMETER = 0x4007,
  CMD_SET_LAMINATE_STRING = 0x4008,
  CMD_SET_CUT_LIST = 0x4009,
  CMD_WAKEUP_STANDBY = 0x400A,
  CMD_SETUP_PRINT_JOB = 0x400B,
  CMD_GET_JOB_STATUS = 0x400C,
  CMD_JOB_IMAGE_CONTROL = 0x400D,
  CMD_USB_FIRMWARE_DOWNLOAD = 0x8001,
  CMD_MAINTENANCE_PERMISSION = 0x8002,
  CMD_SELF_DIAGNOSIS = 0xC001,
  CMD_GET_DIAGNOSIS_RESULT = 0xC002,
  CMD_GET_FIRMWARE_INFO = 0xC003,
  CMD_UPDATE = 0xC004,
  CMD_GET_EEPROM_MAINTENANCE = 0xC005,
  CMD_SET_EEPROM_MAINTENANCE = 0xC006,
  CMD_RESET_ERROR_LOG = 0xC008,
  CMD_SET_SERIAL_NO = 0xC009,
  CMD_READ_HEAD_EEPROM = 0xC00A,
  CMD_UNIVERSAL = 0xC0FF,
};

constexpr uint8_t CommandNumberOf(uint16_t code) {
  return static_cast<uint8_t>(code & 0xFFu);
}
constexpr uint8_t CommandGroupOf(uint16_t code) {
  return static_cast<uint8_t>(code >> 8);
}
constexpr uint16_t MakeCommandCode(uint8_t group, uint8_t number) {
  return static_cast<uint16_t>((group << 8) | number);
}

// ---------------------------------------------------------------------------
// Reply kinds and error codes (ReplyHeader bytes 0 and 1).

enum ReplyKind : uint8_t {
  REPLY_OK = 1,     // errorCode is 0
  REPLY_ERROR = 2,  // errorCode is not 0
};

enum ReplyErrorCode : uint8_t {
  REPLY_ERR_BAD_PARAMETER = 0x01,    // a payload value is out of range
  REPLY_ERR_REFUSED = 0x02,          // the request is refused
  REPLY_ERR_TIMEOUT = 0x03,          // the application did not answer in time
  REPLY_ERR_NO_PERMISSION = 0x04,    // EEPROM maintenance without permission
  REPLY_ERR_UNKNOWN_COMMAND = 0x05,  // the command code is unknown
  REPLY_ERR_UNIT_ERROR = 0x11,       // a print unit is busy or in error
  REPLY_ERR_NO_RESOURCE = 0x21,      // no free print job or image buffer
  REPLY_ERR_JOB_STATE = 0x22,        // the job cannot be changed now
  REPLY_ERR_QUEUE_FULL = 0x37,       // three deferred resets already wait
  REPLY_ERR_BAD_LAYOUT = 0x46,       // the cut layout of a job set-up is invalid
};

// replyKind never stands on its own: it follows from the error code.
constexpr uint8_t ReplyKindFor(uint8_t errorCode) {
  return errorCode == 0 ? REPLY_OK : REPLY_ERROR;
}

// ---------------------------------------------------------------------------
// Printer state (status item 3, ReplyHeader.printerState, and the errorCode
// of a command that the permission table refuses).

enum PrinterState : uint8_t {
  PRINTER_STATE_READY = 0x00,
  PRINTER_STATE_ERROR = 0x11,
  PRINTER_STATE_BUFFER_FULL = 0x21,
  PRINTER_STATE_CPU_INIT = 0x31,
  PRINTER_STATE_RIBBON_INIT = 0x32,
  PRINTER_STATE_PAPER_LOADING = 0x33,
  PRINTER_STATE_THERMAL_PROTECT = 0x34,
  PRINTER_STATE_OPERATION = 0x35,
  PRINTER_STATE_SELF_DIAGNOSIS = 0x36,
  PRINTER_STATE_DOWNLOADING = 0x37,
  PRINTER_STATE_COOLING = 0x60,
  PRINTER_STATE_PRINTING = 0x61,
  PRINTER_STATE_PRINT_62 = 0x62,
  PRINTER_STATE_PRINT_63 = 0x63,
  PRINTER_STATE_PRINT_64 = 0x64,
  PRINTER_STATE_PRINT_65 = 0x65,
  PRINTER_STATE_PRINT_66 = 0x66,
  PRINTER_STATE_PRINT_67 = 0x67,
  PRINTER_STATE_PRINT_68 = 0x68,
  PRINTER_STATE_PRINT_69 = 0x69,
  PRINTER_STATE_PRINT_6A = 0x6A,
  PRINTER_STATE_PRINT_6B = 0x6B,
  PRINTER_STATE_PRINT_6C = 0x6C,
  PRINTER_STATE_PRINT_6D = 0x6D,
  PRINTER_STATE_PRINT_6E = 0x6E,
  PRINTER_STATE_CHANGING_PATH = 0x6F,
  PRINTER_STATE_PRINT_71 = 0x71,
};

// Print unit numbers as the unit switch gives them.
inline constexpr uint8_t PRINT_UNIT_A = 0;  // left (L)
inline constexpr uint8_t PRINT_UNIT_B = 1;  // right (R)

// Bit 7 marks a printing state of unit B. Only 0x60-0x69 and 0x6C-0x6E carry
// it; 0x6A, 0x6B, 0x6F and every other state travel unchanged.
inline constexpr uint8_t PRINTER_STATE_UNIT_B_BIT = 0x80;

constexpr bool IsUnitMarkedState(uint8_t state) {
  return (state >= 0x60 && state <= 0x69) || (state >= 0x6C && state <= 0x6E);
}

// The state as it travels while `unit` is the current print unit.
constexpr uint8_t PrinterStateForUnit(uint8_t state, uint8_t unit) {
  return (unit == PRINT_UNIT_B && IsUnitMarkedState(state))
             ? static_cast<uint8_t>(state | PRINTER_STATE_UNIT_B_BIT)
             : state;
}

// True when a state read from the wire carries the unit-B mark.
constexpr bool IsUnitBState(uint8_t wireState) {
  return (wireState & PRINTER_STATE_UNIT_B_BIT) != 0 &&
         IsUnitMarkedState(static_cast<uint8_t>(wireState & 0x7Fu));
}

// The reverse: the state without the unit-B mark. Values that the mark never
// produces (0xEA, 0xEF, 0xF1 ...) are returned unchanged.
constexpr uint8_t PrinterStateWithoutUnit(uint8_t wireState) {
  return IsUnitBState(wireState) ? static_cast<uint8_t>(wireState & 0x7Fu) : wireState;
}

// The print unit a wire state names: B when marked, else A.
constexpr uint8_t PrintUnitOfState(uint8_t wireState) {
  return IsUnitBState(wireState) ? PRINT_UNIT_B : PRINT_UNIT_A;
}

// ---------------------------------------------------------------------------
// Kinds and sub-commands carried in request payloads.

// CMD_UPDATE byte 0.
enum UpdateKind : uint8_t {
  UPDATE_KIND_DSP = 0,
  UPDATE_KIND_MAIN = 1,
  UPDATE_KIND_TABLE = 2,
  UPDATE_KIND_TONE_CURVE_SAVE = 3,  // argument: curve 1-8; stored and loaded
  UPDATE_KIND_TONE_CURVE = 4,       // argument: curve 1-8; loaded into RAM only
  UPDATE_KIND_LAMINATE_1 = 16,
  UPDATE_KIND_LAMINATE_2 = 17,
  UPDATE_KIND_LAMINATE_3 = 18,
  UPDATE_KIND_CALIBRATION = 240,
};

// CMD_GET_FIRMWARE_INFO byte 0.
enum FirmwareComponent : uint8_t {
  FW_COMPONENT_BOOT = 1,
  FW_COMPONENT_MAIN = 2,
  FW_COMPONENT_DSP = 3,
  FW_COMPONENT_TABLE = 4,
};

// CMD_RESET byte 0.
enum ResetKind : uint8_t {
  // Answered by the USB task and never forwarded to the application.
  RESET_KIND_ANSWER_ONLY = 2,
  RESET_KIND_PRINTER = 3,
  RESET_KIND_TONE_CURVE = 4,  // argument: curve 1-8, rebuilt to its default
  RESET_KIND_LAMINATE = 16,   // restore pattern slot 0 from slot 1
};

// CMD_SELF_DIAGNOSIS byte 0. The device id (byte 1) and action (byte 2)
// mean what the sub-command says.
enum DiagnosisSubCommand : uint8_t {
  DIAG_AUTO_DIAGNOSIS = 1,
  DIAG_STEPPER = 3,         // ids 1-2; actions 1-2 constant, 3-4 ramp, 5 stop
  DIAG_MOTOR = 4,           // ribbon motors 1-3, DC motors 16-19; 1 fwd, 2 rev, 3 stop
  DIAG_ANALOG_SENSOR = 6,   // ids 1-7; value = reading / 4
  DIAG_SWITCH_SENSOR = 7,   // ids 1-16; value 0 or 1
  DIAG_FAN = 8,             // ids 1-6; 1 on, 2 off
  DIAG_LED = 9,             // ids 1-3; 1 on, 2 off
  DIAG_KEY_TEST = 11,
  DIAG_INIT_MECHA = 240,
  // From here on the printer answers first and then runs the sub-command.
  DIAG_STATUS_SHEET = 252,
  DIAG_THV_TUNE_BOTH = 253,
  DIAG_THV_TUNE_L = 254,
  DIAG_THV_TUNE_R = 255,
};

inline constexpr uint8_t DIAG_FOLLOWUP_FIRST = DIAG_STATUS_SHEET;

// Sub-codes of CMD_UNIVERSAL (request byte 1, the first data byte behind the
// count), echoed as the first byte of the universal answer.
enum UniversalSubCode : uint8_t {
  UNIVERSAL_PRINT_LOG_NUMBER = 129,  // u16 record number, echoed
  UNIVERSAL_HEAD_LINE_LOG = 130,     // u16 start, count: values of the head log
  UNIVERSAL_HEAD_LOG_OFFSET = 194,   // u16 value of "H-LogOffset"
  UNIVERSAL_READ_MEMORY = 224,       // u32 address, width, count (at most 64)
  UNIVERSAL_READ_EEPROM = 240,       // address: one main-EEPROM byte
  UNIVERSAL_WRITE_EEPROM = 241,      // address, value: write and read back
};

// Result byte of a universal answer whose sub-code the printer does not know.
inline constexpr uint8_t UNIVERSAL_RESULT_UNKNOWN = 255;

// CMD_PRINT byte 16.
enum ImageType : uint8_t {
  IMAGE_TYPE_COLOUR = 0,   // three bytes per pixel
  IMAGE_TYPE_ONE_BIT = 1,  // one bit per pixel
};

// CMD_SETUP_PRINT_JOB byte 2: a mask of the images the job expects.
inline constexpr uint8_t JOB_IMAGE_COLOUR_L = 0x01;
inline constexpr uint8_t JOB_IMAGE_ONE_BIT_L = 0x02;
inline constexpr uint8_t JOB_IMAGE_COLOUR_R = 0x04;
inline constexpr uint8_t JOB_IMAGE_ONE_BIT_R = 0x08;
// Set: the job expects exactly the images of the mask, no placeholder.
inline constexpr uint8_t JOB_IMAGE_EXACT = 0x10;

// CMD_SETUP_PRINT_JOB byte 8: the media's default cuts instead of a list.
inline constexpr uint8_t CUT_COUNT_DEFAULT = 255;
inline constexpr uint8_t CUT_POSITIONS_MAX = 10;

// Print modes (CMD_SETUP_PRINT_JOB byte 30).
inline constexpr uint8_t PRINT_MODE_NORMAL = 0;
inline constexpr uint8_t PRINT_MODE_MULTI_UP = 1;

// Tone curves: types 1-2, curves 1-8, 1536 bytes each.
inline constexpr uint8_t TONE_CURVE_TYPE_MAX = 2;
inline constexpr uint8_t TONE_CURVE_NUMBER_MAX = 8;
inline constexpr uint16_t TONE_CURVE_SIZE = 1536;

// Job phase of the printer-ID status answer.
inline constexpr uint16_t JOB_PHASE_NOT_PRINTING = 0;
inline constexpr uint16_t JOB_PHASE_PRINTING = 256;
inline constexpr uint16_t JOB_PHASE_LAST_COPY = 512;

// Exit-tray state of the exit-tray status answer.
inline constexpr uint8_t EXIT_TRAY_NONE = 0;
inline constexpr uint8_t EXIT_TRAY_EMPTY = 1;
inline constexpr uint8_t EXIT_TRAY_WITH_PRINT = 2;

}  // namespace protocol
