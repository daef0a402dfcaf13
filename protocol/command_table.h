// The one command table of the USB protocol. For every command code it says
// how many payload bytes the printer reads and the host library sends, how
// the printer answers (at once from its mirrors, or forwarded to the
// application with a wait time), whether a data phase follows, and how long
// the reply data is. The printer's command layer and the host's reply readers
// both check themselves against it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/codes.h"
#include "protocol/wire.h"

namespace protocol {

enum class CommandAnswer : uint8_t {
  AtOnce,            // the USB task answers from its mirrors or constants
  Forwarded,         // posted to the application; the USB task waits waitMs
  AtOnceThenPosted,  // answered at once, then posted without waiting
  Unknown,           // answered REPLY_ERR_UNKNOWN_COMMAND
};

enum class DataPhase : uint8_t {
  None,
  PrintData,        // the host sends the image after an accepted reply
  UpdateData,       // the host sends the update image after an accepted reply
  ToneCurvePieces,  // the printer sends the curve in pieces after its reply
};

struct CommandInfo {
  uint16_t code;
  // The name by which the host's trace log calls the command; null when the
  // trace has none.
  const char* traceName;
  // Payload bytes the printer reads. For a variable payload, its maximum.
  uint16_t printerReads;
  // Payload bytes the host library sends; where it has no builder of its
  // own, the bytes the printer reads.
  uint16_t hostSends;
  bool variablePayload;
  CommandAnswer answer;
  // Wait for the application's answer in ms (0 for commands never posted).
  uint16_t waitMs;
  // Request message code posted to the application (0x8000 | reply code),
  // 0 for commands never posted.
  uint16_t appRequest;
  bool gated;                  // checked against the permission table
  bool needsMaintPermission;   // only right after CMD_MAINTENANCE_PERMISSION
  DataPhase dataPhase;
  // Reply data bytes. For a variable reply (1 + m), its maximum.
  uint16_t replyLength;
  bool variableReply;
};

namespace detail {
using A = CommandAnswer;
using D = DataPhase;
constexpr CommandInfo Row(uint16_t code, const char* name, uint16_t reads, uint16_t sends,
                          A answer, uint16_t waitMs, uint16_t request, D phase,
                          uint16_t reply) {
  return CommandInfo{code,    name,    reads, sends, false, answer, waitMs,
                     request, answer != A::AtOnce && answer != A::Unknown,
                     false,   phase,   reply, false};
}
}  // namespace detail

inline constexpr std::array<CommandInfo, 36> kCommandTable = [] {
  using detail::A;
  using detail::D;
  using detail::Row;
  std::array<CommandInfo, 36> t = {{
      Row(CMD_GET_STATUS, "Get Status Command", 0, 0, A::AtOnce, 0, 0, D::None, 100),
      Row(CMD_GET_MEDIA_INFO, "Get Media Information Command", 0, 0, A::AtOnce, 0, 0, D::None, 13),
      Row(CMD_GET_MODEL_NAME, "Get Model Name Command", 0, 0, A::AtOnce, 0, 0, D::None, 55),
      Row(CMD_GET_ERROR_LOG, "Get Error Log Command", 0, 0, A::Forwarded, 3000, 0x8011, D::None, 61),
      Row(CMD_GET_PARAMETER, "Get Parameter Command", 1, 1, A::Forwarded, 10000, 0x8016, D::None, 4),
      Row(CMD_GET_SERIAL_NO, "Get Serial No. Command", 0, 0, A::AtOnce, 0, 0, D::None, 8),
      Row(CMD_GET_PRINTER_ID_STATUS, "Get Printer ID Status Command", 1, 1, A::Forwarded, 10000,
          0x801F, D::None, 9),
      Row(CMD_GET_COUNTERS, nullptr, 0, 0, A::Forwarded, 10000, 0x8020, D::None, 24),
      Row(CMD_GET_EXIT_TRAY_STATUS, nullptr, 0, 0, A::Forwarded, 10000, 0x8021, D::None, 4),
      Row(CMD_GET_MEDIA_INFO_EX, nullptr, 0, 0, A::AtOnce, 0, 0, D::None, 58),
      Row(CMD_GET_BUFFER_STATUS, nullptr, 0, 0, A::Forwarded, 10000, 0x8022, D::None, 72),
      Row(CMD_PRINT, "Print Command", 18, 18, A::Forwarded, 3000, 0x8001, D::PrintData, 1),
      Row(CMD_CANCEL_PRINT_JOB, "Cancel Print Job Command", 2, 2, A::Forwarded, 10000, 0x8004,
          D::None, 0),
      Row(CMD_FLASH_LED, "Flash LED Command", 0, 0, A::Forwarded, 10000, 0x8005, D::None, 0),
      Row(CMD_RESET, "Reset Command", 2, 2, A::AtOnceThenPosted, 10000, 0x8006, D::None, 0),
      Row(CMD_READ_TONE_CURVE, "Read Tone Curve Command", 2, 2, A::Forwarded, 10000, 0x8007,
          D::ToneCurvePieces, 2),
      Row(CMD_OPERATION_BUTTON, "Operation Button Command", 1, 1, A::Forwarded, 10000, 0x8008,
          D::None, 0),
      Row(CMD_SET_PARAMETER, "Set Parameter Command", 5, 5, A::Forwarded, 10000, 0x8017, D::None, 0),
      Row(CMD_SET_LAMINATE_STRING, "Set Laminate String Command", 28, 28, A::Forwarded, 10000,
          0x8018, D::None, 0),
      Row(CMD_SET_CUT_LIST, "Set Cut List Command", 8, 8, A::Forwarded, 10000, 0x8019, D::None, 0),
      Row(CMD_WAKEUP_STANDBY, "Wake-up Stand-by Command", 0, 0, A::Unknown, 0, 0, D::None, 0),
      // The host pads the set-up to 60 bytes; the printer reads bytes 0-30.
      Row(CMD_SETUP_PRINT_JOB, nullptr, 31, 60, A::Forwarded, 3000, 0x801D, D::None, 4),
      // The host sends no job id; the printer reads the missing byte as job 0.
      Row(CMD_GET_JOB_STATUS, nullptr, 1, 0, A::Forwarded, 3000, 0x801E, D::None, 60),
      Row(CMD_JOB_IMAGE_CONTROL, nullptr, 1, 1, A::Forwarded, 10000, 0x800F, D::None, 0),
      Row(CMD_USB_FIRMWARE_DOWNLOAD, "USB firmware download command", 0, 0, A::Unknown, 0, 0,
          D::None, 0),
      Row(CMD_MAINTENANCE_PERMISSION, "Maintenance Permission Command", 2, 2, A::AtOnceThenPosted,
          10000, 0x8013, D::None, 0),
      Row(CMD_SELF_DIAGNOSIS, "Self-diagnosis execution Command", 3, 3, A::Forwarded, 10000,
          0x8009, D::None, 4),
      Row(CMD_GET_DIAGNOSIS_RESULT, "Batch Self-diagnosis Result acquisition Command", 0, 0,
          A::Forwarded, 10000, 0x800A, D::None, 131),
      Row(CMD_GET_FIRMWARE_INFO, "Get Firmware Information Command", 1, 1, A::Forwarded, 10000,
          0x800B, D::None, 38),
      Row(CMD_UPDATE, "Update Command", 10, 10, A::Forwarded, 10000, 0x800C, D::UpdateData, 0),
      Row(CMD_GET_EEPROM_MAINTENANCE, "Get EEPROM Maintenance Command", 2, 2, A::Forwarded, 10000,
          0x800D, D::None, 0),
      Row(CMD_SET_EEPROM_MAINTENANCE, "Set EEPROM Maintenance Command", 250, 250, A::Forwarded,
          10000, 0x800E, D::None, 0),
      Row(CMD_RESET_ERROR_LOG, "Reset Error Log Command", 0, 0, A::Forwarded, 10000, 0x8012,
          D::None, 0),
      Row(CMD_SET_SERIAL_NO, "Set Serial No. Command", 8, 8, A::Forwarded, 10000, 0x8015, D::None,
          0),
      // The host sends one byte, which the printer reads as the unit; the
      // missing address reads as 0.
      Row(CMD_READ_HEAD_EEPROM, nullptr, 2, 1, A::Forwarded, 10000, 0x801C, D::None, 1),
      Row(CMD_UNIVERSAL, "Universal Command", 250, 250, A::Forwarded, 10000, 0x80FF, D::None, 250),
  }};
  for (CommandInfo& row : t) {
    if (row.code == CMD_SET_EEPROM_MAINTENANCE) {
      row.variablePayload = true;
      row.needsMaintPermission = true;
    }
    if (row.code == CMD_UNIVERSAL) {
      row.variablePayload = true;
      row.variableReply = true;
    }
  }
  return t;
}();

// The index of a code's row, or kCommandTable.size() for a code the table
// does not list.
constexpr size_t CommandIndex(uint16_t code) {
  for (size_t i = 0; i < kCommandTable.size(); ++i) {
    if (kCommandTable[i].code == code) return i;
  }
  return kCommandTable.size();
}

// The row of a code, or null for a code the table does not list (0x0000,
// 0xFFFF and every other code the printer does not know).
constexpr const CommandInfo* FindCommand(uint16_t code) {
  const size_t index = CommandIndex(code);
  return index < kCommandTable.size() ? &kCommandTable[index] : nullptr;
}

// True for the codes the printer serves; false for codes it answers with
// REPLY_ERR_UNKNOWN_COMMAND, listed or not.
constexpr bool IsServedCommand(uint16_t code) {
  const CommandInfo* row = FindCommand(code);
  return row != nullptr && row->answer != CommandAnswer::Unknown;
}

// The trace name of a code, or null.
constexpr const char* CommandTraceName(uint16_t code) {
  const CommandInfo* row = FindCommand(code);
  return row == nullptr ? nullptr : row->traceName;
}

namespace detail {
constexpr bool TableIsConsistent() {
  for (size_t i = 0; i < kCommandTable.size(); ++i) {
    const CommandInfo& row = kCommandTable[i];
    for (size_t j = i + 1; j < kCommandTable.size(); ++j) {
      if (kCommandTable[j].code == row.code) return false;
    }
    const uint8_t group = CommandGroupOf(row.code);
    if (group != CMD_GROUP_QUERY && group != CMD_GROUP_ACTION && group != CMD_GROUP_DOWNLOAD &&
        group != CMD_GROUP_MAINTENANCE) {
      return false;
    }
    if (COMMAND_HEADER_SIZE + row.printerReads > COMMAND_PACKET_MAX) return false;
    if (row.printerReads > FORWARDED_PAYLOAD_MAX || row.replyLength > REPLY_DATA_MAX) return false;
    const bool posted =
        row.answer == CommandAnswer::Forwarded || row.answer == CommandAnswer::AtOnceThenPosted;
    if (posted != (row.appRequest != 0) || posted != (row.waitMs != 0)) return false;
    if (posted && (row.appRequest & 0x8000u) == 0) return false;
  }
  return true;
}
static_assert(TableIsConsistent(), "the command table contradicts itself");
}  // namespace detail

}  // namespace protocol
