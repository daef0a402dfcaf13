// The host end of the command protocol: one builder per command and the
// reply readers. Every packet is encoded and every reply decoded by the
// protocol module; this file only says what the host puts into each field
// and what it takes out of each reply.
#include <algorithm>
#include <cstring>

#include "host_result_codes.h"
#include "printer_session.h"
#include "protocol/codes.h"
#include "protocol/requests.h"
#include "protocol/wire.h"
#include "result_mapping.h"
#include "transport.h"

namespace hostlib {

namespace {

// Payload limit of CMD_UNIVERSAL.
constexpr int32_t kUniversalPayloadMax = 250;
// Status data bytes that, both non-zero, make the model probe's answer a
// full buffer.
constexpr size_t kProbeBufferFlagA = 35;
constexpr size_t kProbeBufferFlagB = 43;

}  // namespace

// ---- Builders ------------------------------------------------------------------

int CommandWriter::SendPacket(const uint8_t *packet, int32_t length, uint16_t *err) {
  if (length <= 0) {
    *err = RESULT_BAD_PARAMETER;
    return 0;
  }
  uint32_t written = 0;
  return WriteThreaded(packet, static_cast<uint32_t>(length), &written, err);
}

template <typename Request>
int CommandWriter::SendRequest(const Request &request, uint16_t *err) {
  uint8_t packet[protocol::COMMAND_PACKET_MAX] = {};
  return SendPacket(packet, protocol::EncodeRequestPacket(request, packet, sizeof packet), err);
}

int CommandWriter::SendEmpty(uint16_t code, uint16_t *err) {
  uint8_t packet[protocol::COMMAND_HEADER_SIZE] = {};
  return SendPacket(packet, protocol::EncodeEmptyRequestPacket(code, packet, sizeof packet), err);
}

int CommandWriter::SendGetStatus(uint16_t *err) { return SendEmpty(protocol::CMD_GET_STATUS, err); }
int CommandWriter::SendGetMediaInfo(uint16_t *err) { return SendEmpty(protocol::CMD_GET_MEDIA_INFO, err); }
int CommandWriter::SendGetErrorLog(uint16_t *err) { return SendEmpty(protocol::CMD_GET_ERROR_LOG, err); }
int CommandWriter::SendGetSerialNo(uint16_t *err) { return SendEmpty(protocol::CMD_GET_SERIAL_NO, err); }
int CommandWriter::SendGetCounters(uint16_t *err) { return SendEmpty(protocol::CMD_GET_COUNTERS, err); }
int CommandWriter::SendFlashLed(uint16_t *err) { return SendEmpty(protocol::CMD_FLASH_LED, err); }
int CommandWriter::SendGetDiagnosisResult(uint16_t *err) { return SendEmpty(protocol::CMD_GET_DIAGNOSIS_RESULT, err); }
int CommandWriter::SendResetErrorLog(uint16_t *err) { return SendEmpty(protocol::CMD_RESET_ERROR_LOG, err); }

int CommandWriter::SendModelProbe(uint16_t *err) {
  const auto &probe = protocol::kModelProbePacket;
  return SendPacket(probe.data(), static_cast<int32_t>(probe.size()), err);
}

int CommandWriter::SendGetParameter(uint8_t parameterId, uint16_t *err) {
  protocol::GetParameterRequest request{};
  request.parameterId = parameterId;
  return SendRequest(request, err);
}

int CommandWriter::SendGetPrinterIdStatus(uint8_t jobNumber, uint16_t *err) {
  protocol::GetPrinterIdStatusRequest request{};
  request.jobId = jobNumber;
  return SendRequest(request, err);
}

int CommandWriter::SendPrint(const protocol::PrintRequest &request, uint16_t *err) { return SendRequest(request, err); }

int CommandWriter::SendCancelPrintJob(uint8_t jobNumber, uint8_t mode, uint16_t *err) {
  protocol::CancelPrintJobRequest request{};
  request.jobNumber = jobNumber;
  request.mode = mode;
  return SendRequest(request, err);
}

int CommandWriter::SendReset(uint8_t kind, uint8_t argument, uint16_t *err) {
  protocol::ResetRequest request{};
  request.kind = kind;
  request.argument = argument;
  return SendRequest(request, err);
}

int CommandWriter::SendReadToneCurve(uint8_t type, uint8_t curve, uint16_t *err) {
  protocol::ReadToneCurveRequest request{};
  request.type = type;
  request.curve = curve;
  return SendRequest(request, err);
}

int CommandWriter::SendOperationButton(uint8_t enable, uint16_t *err) {
  protocol::OperationButtonRequest request{};
  request.enable = enable;
  return SendRequest(request, err);
}

int CommandWriter::SendSetParameter(uint8_t parameterId, uint32_t value, uint16_t *err) {
  protocol::SetParameterRequest request{};
  request.parameterId = parameterId;
  request.value = static_cast<int32_t>(value);
  return SendRequest(request, err);
}

int CommandWriter::SendSetLaminateString(uint8_t entry, uint16_t x, uint16_t y, uint8_t style1, uint8_t style2,
                                         uint8_t length, const char *text, uint16_t *err) {
  protocol::SetLaminateStringRequest request{};
  request.itemNumber = entry;
  request.x = x;
  request.y = y;
  request.style1 = style1;
  request.style2 = style2;
  request.textLength = std::min(length, protocol::LAMINATE_TEXT_MAX);
  // The field always travels as 20 bytes; only the caller's characters are
  // read, the rest stays 0.
  if (text != nullptr) std::memcpy(request.text, text, request.textLength);
  return SendRequest(request, err);
}

int CommandWriter::SendSetupPrintJob(const protocol::SetupPrintJobRequest &request, uint16_t *err) {
  return SendRequest(request, err);
}

int CommandWriter::SendGetJobStatus(uint16_t *err) { return SendRequest(protocol::GetJobStatusRequest{}, err); }

int CommandWriter::SendSelfDiagnosis(uint8_t subCommand, uint8_t deviceId, uint8_t action, uint16_t *err) {
  protocol::SelfDiagnosisRequest request{};
  request.subCommand = subCommand;
  request.deviceId = deviceId;
  request.action = action;
  return SendRequest(request, err);
}

int CommandWriter::SendGetFirmwareInfo(uint8_t component, uint16_t *err) {
  protocol::GetFirmwareInfoRequest request{};
  request.component = component;
  return SendRequest(request, err);
}

int CommandWriter::SendUpdate(uint8_t kind, uint8_t argument, uint32_t third, uint32_t dataSize, uint16_t *err) {
  protocol::UpdateRequest request{};
  request.kind = kind;
  request.argument = argument;
  request.noReset = static_cast<uint8_t>(third);
  request.reserved[0] = static_cast<uint8_t>(third >> 8);
  request.reserved[1] = static_cast<uint8_t>(third >> 16);
  request.reserved[2] = static_cast<uint8_t>(third >> 24);
  request.dataSize = dataSize;
  return SendRequest(request, err);
}

int CommandWriter::SendSetSerialNo(const char serial[8], uint16_t *err) {
  if (serial == nullptr) {
    *err = RESULT_BAD_PARAMETER;
    return 0;
  }
  protocol::SetSerialNoRequest request{};
  std::memcpy(request.serial, serial, sizeof request.serial);
  return SendRequest(request, err);
}

int CommandWriter::SendReadHeadEeprom(uint8_t argument, uint16_t *err) {
  protocol::ReadHeadEepromRequest request{};
  request.unit = argument;  // the host sends this one byte; the address reads as 0
  return SendRequest(request, err);
}

int CommandWriter::SendUniversal(const uint8_t *payload, int32_t length, uint16_t *err) {
  if (length < 0 || length > kUniversalPayloadMax || (payload == nullptr && length != 0)) {
    *err = RESULT_BAD_PARAMETER;
    return 0;
  }
  uint8_t packet[protocol::COMMAND_PACKET_MAX] = {};
  return SendPacket(packet,
                    protocol::EncodeCommandPacket(protocol::CMD_UNIVERSAL, payload, static_cast<uint16_t>(length),
                                                  packet, sizeof packet),
                    err);
}

// ---- Readers -------------------------------------------------------------------

int ReplyReader::ReceiveReply(uint8_t *buffer, protocol::ReplyFrame *frame, uint16_t *err) {
  uint32_t received = 0;
  if (!ReadThreaded(buffer, &received, err)) return 0;
  if (protocol::DecodeReplyFrame(buffer, received, frame) != protocol::WIRE_OK) {
    *err = RESULT_USB_ERROR;
    return 0;
  }
  return 1;
}

int ReplyReader::ReadAck(uint16_t *err) {
  uint8_t buffer[kReplyBufferMin];
  protocol::ReplyFrame frame{};
  if (!ReceiveReply(buffer, &frame, err)) return 0;
  if (frame.header.replyKind == protocol::REPLY_ERROR) return MapErrorReply(frame.header, err);
  *err = RESULT_OK;
  return 1;
}

int ReplyReader::ReadPayload(uint8_t *out, size_t capacity, uint16_t *err, uint16_t *length) {
  uint8_t buffer[kReplyBufferMin];
  protocol::ReplyFrame frame{};
  if (length != nullptr) *length = 0;
  if (!ReceiveReply(buffer, &frame, err)) return 0;
  if (frame.header.replyKind == protocol::REPLY_ERROR) return MapErrorReply(frame.header, err);
  if (frame.dataLength > capacity || (out == nullptr && frame.dataLength != 0)) {
    *err = RESULT_USB_ERROR;
    return 0;
  }
  if (frame.dataLength != 0) std::memcpy(out, frame.data, frame.dataLength);
  if (length != nullptr) *length = frame.dataLength;
  *err = RESULT_OK;
  return 1;
}

int ReplyReader::ReadWholeReply(uint8_t *out, size_t capacity, uint16_t *err) {
  uint8_t buffer[kReplyBufferMin];
  protocol::ReplyFrame frame{};
  if (!ReceiveReply(buffer, &frame, err)) return 0;
  if (frame.header.replyKind == protocol::REPLY_ERROR) return MapErrorReply(frame.header, err);
  const size_t whole = protocol::REPLY_HEADER_SIZE + frame.dataLength;
  if (out == nullptr || whole > capacity) {
    *err = RESULT_USB_ERROR;
    return 0;
  }
  std::memcpy(out, buffer, whole);
  *err = RESULT_OK;
  return 1;
}

int ReplyReader::ReadShortPayload(uint8_t out[2], uint16_t *err) {
  uint8_t buffer[kReplyBufferMin];
  protocol::ReplyFrame frame{};
  if (!ReceiveReply(buffer, &frame, err)) return 0;
  if (frame.header.replyKind == protocol::REPLY_ERROR) return MapErrorReply(frame.header, err);
  if (out == nullptr || frame.dataLength < 2) {
    *err = RESULT_USB_ERROR;
    return 0;
  }
  out[0] = frame.data[0];
  out[1] = frame.data[1];
  *err = RESULT_OK;
  return 1;
}

int ReplyReader::ReadUniversalReply(uint8_t *out, size_t capacity, uint8_t *length, uint16_t *err) {
  uint16_t count = 0;
  if (!ReadPayload(out, capacity, err, &count)) return 0;
  if (length != nullptr) *length = static_cast<uint8_t>(count);
  return 1;
}

int ReplyReader::ReadJobSetupReply(uint8_t *out, size_t capacity, uint16_t *err) {
  uint8_t buffer[kReplyBufferMin];
  protocol::ReplyFrame frame{};
  if (!ReceiveReply(buffer, &frame, err)) return 0;
  int result = 1;
  *err = RESULT_OK;
  if (frame.header.replyKind == protocol::REPLY_ERROR) {
    result = MapErrorReply(frame.header, err);
    if (*err != RESULT_BUFFER_FULL) return result;
  }
  if (frame.dataLength > capacity || (out == nullptr && frame.dataLength != 0)) {
    *err = RESULT_USB_ERROR;
    return 0;
  }
  if (frame.dataLength != 0) std::memcpy(out, frame.data, frame.dataLength);
  return result;
}

int ReplyReader::ReadStatus(uint16_t *err) {
  uint8_t buffer[kReplyBufferMin];
  protocol::ReplyFrame frame{};
  if (!ReceiveReply(buffer, &frame, err)) return 0;
  switch (frame.header.replyKind) {
    case protocol::REPLY_ERROR:
      return MapErrorReply(frame.header, err);
    case protocol::REPLY_OK:
      return MapStatusReply(frame.header, err);
    default:
      *err = RESULT_OK;
      return 1;
  }
}

int ReplyReader::ReadStatusOrError(uint16_t *err) {
  uint8_t buffer[kReplyBufferMin];
  protocol::ReplyFrame frame{};
  if (!ReceiveReply(buffer, &frame, err)) return 0;
  switch (frame.header.replyKind) {
    case protocol::REPLY_ERROR:
      return MapErrorReply(frame.header, err);
    case protocol::REPLY_OK:
      if (!MapStatusReply(frame.header, err)) return 0;
      if (frame.dataLength > kProbeBufferFlagB && frame.data[kProbeBufferFlagA] != 0 &&
          frame.data[kProbeBufferFlagB] != 0) {
        *err = RESULT_BUFFER_FULL;
        return 0;
      }
      *err = RESULT_OK;
      return 1;
    default:
      *err = RESULT_OK;
      return 1;
  }
}

int ReplyReader::ReadPrinterIdStatus(uint16_t *err) {
  uint8_t buffer[kReplyBufferMin];
  protocol::ReplyFrame frame{};
  if (!ReceiveReply(buffer, &frame, err)) return 0;
  if (frame.header.replyKind != protocol::REPLY_OK) {
    *err = RESULT_USB_ERROR;
    return 0;
  }
  return MapPrintingState(frame.header, err);
}

}  // namespace hostlib
