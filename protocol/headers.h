// Framing of the USB command protocol: the 4-byte CommandHeader in front of
// every command packet and the 10-byte ReplyHeader in front of every reply,
// and the checks both ends make on a whole packet or reply.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/command_table.h"
#include "protocol/wire.h"

namespace protocol {

// Bytes 0-3 of a command packet.
struct CommandHeader {
  uint8_t commandNumber;   // low byte of the command code
  uint8_t commandGroup;    // high byte: CMD_GROUP_...
  uint16_t payloadLength;  // payload bytes behind the header

  constexpr uint16_t Code() const { return MakeCommandCode(commandGroup, commandNumber); }
};

constexpr CommandHeader MakeCommandHeader(uint16_t code, uint16_t payloadLength) {
  return CommandHeader{CommandNumberOf(code), CommandGroupOf(code), payloadLength};
}

// Bytes 0-9 of a reply.
struct ReplyHeader {
  uint8_t replyKind;     // REPLY_OK or REPLY_ERROR, follows errorCode
  uint8_t errorCode;     // 0, a REPLY_ERR_... code, or the refusing state
  uint8_t errorClass;    // major byte of the error shown on the printer
  uint8_t errorDetail;   // minor byte of that error
  uint8_t reserved4;     // always 0
  uint8_t reserved5;     // always 0
  uint8_t auxStatus;     // status item 4
  uint8_t printerState;  // PrinterState, unit-marked
  uint16_t dataLength;   // reply data bytes behind the header
};

// A reply header whose replyKind follows from errorCode.
constexpr ReplyHeader MakeReplyHeader(uint8_t errorCode, uint8_t errorClass, uint8_t errorDetail,
                                      uint8_t auxStatus, uint8_t printerState,
                                      uint16_t dataLength) {
  return ReplyHeader{ReplyKindFor(errorCode), errorCode, errorClass, errorDetail, 0, 0,
                     auxStatus, printerState, dataLength};
}

int32_t EncodeCommandHeader(const CommandHeader& header, uint8_t* out, size_t capacity);
int32_t DecodeCommandHeader(const uint8_t* in, size_t length, CommandHeader* header);
int32_t EncodeReplyHeader(const ReplyHeader& header, uint8_t* out, size_t capacity);
int32_t DecodeReplyHeader(const uint8_t* in, size_t length, ReplyHeader* header);

// Writes header and payload as one packet; returns its size.
int32_t EncodeCommandPacket(uint16_t code, const uint8_t* payload, uint16_t payloadLength,
                            uint8_t* out, size_t capacity);

// A command packet as the printer received it.
struct CommandPacket {
  CommandHeader header;
  const uint8_t* payload;     // points into the received bytes
  uint16_t payloadLength;     // = header.payloadLength
  const CommandInfo* info;    // the table row, null for an unlisted code
};

// Checks a received command packet, in the printer's order:
//  - fewer than 4 bytes: WIRE_ERR_SHORT_BUFFER; more than 512: WIRE_ERR_TOO_LONG
//  - bytes received != payloadLength + 4: WIRE_ERR_LENGTH_MISMATCH; the
//    printer drops such a packet without reply
//  - a code the printer does not serve: WIRE_ERR_UNKNOWN_COMMAND, with
//    *packet filled so the caller can answer REPLY_ERR_UNKNOWN_COMMAND.
// A payload shorter than the printer reads is accepted; the request decoders
// read the missing bytes as 0.
int32_t DecodeCommandPacket(const uint8_t* bytes, size_t received, CommandPacket* packet);

// A reply as the host received it.
struct ReplyFrame {
  ReplyHeader header;
  const uint8_t* data;   // points into the received bytes
  uint16_t dataLength;   // = header.dataLength
};

// Checks a received reply: at least 10 bytes (else WIRE_ERR_SHORT_BUFFER) and
// exactly 10 + dataLength (else WIRE_ERR_LENGTH_MISMATCH).
int32_t DecodeReplyFrame(const uint8_t* bytes, size_t received, ReplyFrame* frame);

// Checks reply data against the table row of the command it answers: the
// fixed length, or for CMD_UNIVERSAL a count byte m with dataLength = 1 + m.
int32_t CheckReplyData(uint16_t code, const uint8_t* data, uint16_t dataLength);

// The host's model probe: code 0x0003, then "QRXF" where the length field
// and the first payload bytes would be, then 10 zero bytes. Its size never
// matches its length field, so the printer drops it without reply.
inline constexpr std::array<uint8_t, 16> kModelProbePacket = {
    0x03, 0x00, 'Q', 'R', 'X', 'F', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

}  // namespace protocol
