#include "protocol/headers.h"

#include <cstring>

namespace protocol {

int32_t EncodeCommandHeader(const CommandHeader& header, uint8_t* out, size_t capacity) {
  if (out == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  if (capacity < COMMAND_HEADER_SIZE) return WIRE_ERR_NO_ROOM;
  out[0] = header.commandNumber;
  out[1] = header.commandGroup;
  PutU16(out + 2, header.payloadLength);
  return static_cast<int32_t>(COMMAND_HEADER_SIZE);
}

int32_t DecodeCommandHeader(const uint8_t* in, size_t length, CommandHeader* header) {
  if (header == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  if (in == nullptr || length < COMMAND_HEADER_SIZE) return WIRE_ERR_SHORT_BUFFER;
  header->commandNumber = in[0];
  header->commandGroup = in[1];
  header->payloadLength = GetU16(in + 2);
  return WIRE_OK;
}

int32_t EncodeReplyHeader(const ReplyHeader& header, uint8_t* out, size_t capacity) {
  if (out == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  if (capacity < REPLY_HEADER_SIZE) return WIRE_ERR_NO_ROOM;
  out[0] = header.replyKind;
  out[1] = header.errorCode;
  out[2] = header.errorClass;
  out[3] = header.errorDetail;
  out[4] = header.reserved4;
  out[5] = header.reserved5;
  out[6] = header.auxStatus;
  out[7] = header.printerState;
  PutU16(out + 8, header.dataLength);
  return static_cast<int32_t>(REPLY_HEADER_SIZE);
}

int32_t DecodeReplyHeader(const uint8_t* in, size_t length, ReplyHeader* header) {
  if (header == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  if (in == nullptr || length < REPLY_HEADER_SIZE) return WIRE_ERR_SHORT_BUFFER;
  header->replyKind = in[0];
  header->errorCode = in[1];
  header->errorClass = in[2];
  header->errorDetail = in[3];
  header->reserved4 = in[4];
  header->reserved5 = in[5];
  header->auxStatus = in[6];
  header->printerState = in[7];
  header->dataLength = GetU16(in + 8);
  return WIRE_OK;
}

int32_t EncodeCommandPacket(uint16_t code, const uint8_t* payload, uint16_t payloadLength,
                            uint8_t* out, size_t capacity) {
  if (out == nullptr || (payload == nullptr && payloadLength != 0)) return WIRE_ERR_BAD_ARGUMENT;
  const size_t total = COMMAND_HEADER_SIZE + payloadLength;
  if (total > COMMAND_PACKET_MAX) return WIRE_ERR_TOO_LONG;
  if (capacity < total) return WIRE_ERR_NO_ROOM;
  // The payload may already sit behind the header in the same buffer.
  if (payloadLength != 0 && payload != out + COMMAND_HEADER_SIZE) {
    std::memmove(out + COMMAND_HEADER_SIZE, payload, payloadLength);
  }
  EncodeCommandHeader(MakeCommandHeader(code, payloadLength), out, capacity);
  return static_cast<int32_t>(total);
}

int32_t DecodeCommandPacket(const uint8_t* bytes, size_t received, CommandPacket* packet) {
  if (packet == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  *packet = CommandPacket{};
  CommandHeader header{};
  const int32_t rc = DecodeCommandHeader(bytes, received, &header);
  if (rc != WIRE_OK) return rc;
  if (received > COMMAND_PACKET_MAX) return WIRE_ERR_TOO_LONG;
  if (received != COMMAND_HEADER_SIZE + header.payloadLength) return WIRE_ERR_LENGTH_MISMATCH;
  packet->header = header;
  packet->payload = bytes + COMMAND_HEADER_SIZE;
  packet->payloadLength = header.payloadLength;
  packet->info = FindCommand(header.Code());
  if (!IsServedCommand(header.Code())) return WIRE_ERR_UNKNOWN_COMMAND;
  return WIRE_OK;
}

int32_t DecodeReplyFrame(const uint8_t* bytes, size_t received, ReplyFrame* frame) {
  if (frame == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  *frame = ReplyFrame{};
  ReplyHeader header{};
  const int32_t rc = DecodeReplyHeader(bytes, received, &header);
  if (rc != WIRE_OK) return rc;
  if (received != REPLY_HEADER_SIZE + header.dataLength) return WIRE_ERR_LENGTH_MISMATCH;
  frame->header = header;
  frame->data = bytes + REPLY_HEADER_SIZE;
  frame->dataLength = header.dataLength;
  return WIRE_OK;
}

int32_t CheckReplyData(uint16_t code, const uint8_t* data, uint16_t dataLength) {
  const CommandInfo* info = FindCommand(code);
  if (info == nullptr) return WIRE_ERR_UNKNOWN_COMMAND;
  if (data == nullptr && dataLength != 0) return WIRE_ERR_BAD_ARGUMENT;
  // Commands the printer does not serve are answered without data.
  if (info->answer == CommandAnswer::Unknown) return CheckExactLength(dataLength, 0);
  if (!info->variableReply) return CheckExactLength(dataLength, info->replyLength);
  if (dataLength < 1) return WIRE_ERR_SHORT_BUFFER;
  if (dataLength > info->replyLength) return WIRE_ERR_LENGTH_MISMATCH;
  return CheckExactLength(dataLength, 1u + data[0]);
}

}  // namespace protocol
