// Raw access: the caller's universal payload, the caller's packet as it is,
// raw bulk data, the model probe, and the raw command family. None takes
// the device lock or folds its code; an application that mixes them with
// the locked operations of another thread or process serialises them
// itself.
#include <cstring>

#include "bom7300upgrade.h"
#include "library_frame.h"
#include "locked_exchange.h"
#include "protocol/codes.h"
#include "protocol/replies.h"
#include "protocol/requests.h"
#include "protocol/wire.h"
#include "raw_commands.h"

namespace hostlib {

namespace {

constexpr int32_t kUniversalPayloadMax = 250;
// The universal reply's data: its count byte and the count's bytes.
constexpr size_t kUniversalReplyMax = 1 + protocol::UNIVERSAL_REPLY_DATA_MAX;

// A length the caller gives as a signed count: above zero and at most `max`.
bool LengthAccepted(int32_t length, int32_t max) { return length > 0 && length <= max; }

}  // namespace

int PrinterSession::UniversalCommand(const uint8_t *data, int32_t length, uint8_t *reply, uint8_t *replyLength,
                                     uint16_t *err) {
  if (data == nullptr || reply == nullptr || replyLength == nullptr ||
      !LengthAccepted(length, kUniversalPayloadMax)) {
    return RefuseBadParameter(err);
  }
  if (!writer_->SendUniversal(data, length, err)) return 0;
  uint8_t payload[kUniversalReplyMax] = {};
  uint8_t count = 0;
  if (!reader_->ReadUniversalReply(payload, sizeof payload, &count, err)) return 0;
  std::memcpy(reply, payload, count);
  *replyLength = count;
  return 1;
}

int PrinterSession::SendCommandRaw(const uint8_t *packet, int32_t length, uint8_t *reply, uint32_t *replyLength,
                                   uint16_t *err) {
  if (packet == nullptr || reply == nullptr || replyLength == nullptr ||
      !LengthAccepted(length, static_cast<int32_t>(protocol::COMMAND_PACKET_MAX))) {
    return RefuseBadParameter(err);
  }
  // On a worker with the time-out, as the reply read: a printer that no
  // longer takes packets costs the caller the time-out, not its thread.
  uint32_t written = 0;
  if (!writer_->WriteThreaded(packet, static_cast<uint32_t>(length), &written, err)) return 0;
  return reader_->ReadDirect(reply, replyLength, err);
}

int PrinterSession::SendUndefinedCommand(uint16_t *err) {
  return writer_->SendModelProbe(err) && reader_->ReadStatusOrError(err) ? 1 : 0;
}

// ---- The raw command family ---------------------------------------------------------

namespace {

using RawBuilder = int (*)(CommandWriter &writer, const RawCommandArguments &a, uint16_t *err);
// How the one reply is read: ReadDirect into a local buffer, discarded,
// unless the row names another reader.
enum class RawReader : uint8_t { Direct, Ack, Payload };

struct RawCommandRow {
  uint16_t code;
  RawBuilder build;
  RawReader reader;
};

constexpr RawCommandRow kRawCommands[] = {
    {protocol::CMD_FLASH_LED, [](CommandWriter &w, const RawCommandArguments &, uint16_t *e) { return w.SendFlashLed(e); },
     RawReader::Direct},
    {protocol::CMD_CANCEL_PRINT_JOB,
     [](CommandWriter &w, const RawCommandArguments &a, uint16_t *e) { return w.SendCancelPrintJob(a.b0, a.b1, e); },
     RawReader::Direct},
    {protocol::CMD_RESET,
     [](CommandWriter &w, const RawCommandArguments &a, uint16_t *e) { return w.SendReset(a.b0, a.b1, e); },
     RawReader::Direct},
    {protocol::CMD_READ_TONE_CURVE,
     [](CommandWriter &w, const RawCommandArguments &a, uint16_t *e) { return w.SendReadToneCurve(a.b0, a.b1, e); },
     RawReader::Direct},
    {protocol::CMD_OPERATION_BUTTON,
     [](CommandWriter &w, const RawCommandArguments &a, uint16_t *e) { return w.SendOperationButton(a.b0, e); },
     RawReader::Direct},
    {protocol::CMD_GET_STATUS, [](CommandWriter &w, const RawCommandArguments &, uint16_t *e) { return w.SendGetStatus(e); },
     RawReader::Direct},
    {protocol::CMD_GET_MEDIA_INFO,
     [](CommandWriter &w, const RawCommandArguments &, uint16_t *e) { return w.SendGetMediaInfo(e); }, RawReader::Direct},
    {protocol::CMD_SELF_DIAGNOSIS,
     [](CommandWriter &w, const RawCommandArguments &a, uint16_t *e) {
       return w.SendSelfDiagnosis(a.b0, a.b1, a.b2, e);
     },
     RawReader::Direct},
    {protocol::CMD_GET_DIAGNOSIS_RESULT,
     [](CommandWriter &w, const RawCommandArguments &, uint16_t *e) { return w.SendGetDiagnosisResult(e); },
     RawReader::Direct},
    {protocol::CMD_GET_FIRMWARE_INFO,
     [](CommandWriter &w, const RawCommandArguments &a, uint16_t *e) { return w.SendGetFirmwareInfo(a.b0, e); },
     RawReader::Direct},
    // A whole Print request: job number, image width and height, x offset
    // and image type.
    {protocol::CMD_PRINT,
     [](CommandWriter &w, const RawCommandArguments &a, uint16_t *e) {
       protocol::PrintRequest request{};
       request.jobNumber = a.b0;
       request.imageWidth = a.w0;
       request.imageHeight = a.w1;
       request.xOffset = a.w2;
       request.imageType = a.b1;
       return w.SendPrint(request, e);
     },
     RawReader::Direct},
    {protocol::CMD_UPDATE,
     [](CommandWriter &w, const RawCommandArguments &a, uint16_t *e) { return w.SendUpdate(a.b0, a.b1, 0, a.value, e); },
     RawReader::Direct},
    {protocol::CMD_GET_SERIAL_NO,
     [](CommandWriter &w, const RawCommandArguments &, uint16_t *e) { return w.SendGetSerialNo(e); }, RawReader::Direct},
    {protocol::CMD_SET_SERIAL_NO,
     [](CommandWriter &w, const RawCommandArguments &a, uint16_t *e) {
       if (a.text == nullptr || a.count != protocol::SetSerialNoRequest::kSize) return RefuseBadParameter(e);
       return w.SendSetSerialNo(a.text, e);
     },
     RawReader::Direct},
    {protocol::CMD_GET_PARAMETER,
     [](CommandWriter &w, const RawCommandArguments &a, uint16_t *e) { return w.SendGetParameter(a.b0, e); },
     RawReader::Direct},
    {protocol::CMD_SET_PARAMETER,
     [](CommandWriter &w, const RawCommandArguments &a, uint16_t *e) { return w.SendSetParameter(a.b0, a.value, e); },
     RawReader::Direct},
    {protocol::CMD_GET_ERROR_LOG,
     [](CommandWriter &w, const RawCommandArguments &, uint16_t *e) { return w.SendGetErrorLog(e); }, RawReader::Direct},
    {protocol::CMD_RESET_ERROR_LOG,
     [](CommandWriter &w, const RawCommandArguments &, uint16_t *e) { return w.SendResetErrorLog(e); },
     RawReader::Direct},
    {protocol::CMD_SET_LAMINATE_STRING,
     [](CommandWriter &w, const RawCommandArguments &a, uint16_t *e) {
       return w.SendSetLaminateString(a.b0, a.w0, a.w1, a.b1, a.b2, a.count, a.text, e);
     },
     RawReader::Ack},
    {protocol::CMD_GET_PRINTER_ID_STATUS,
     [](CommandWriter &w, const RawCommandArguments &a, uint16_t *e) { return w.SendGetPrinterIdStatus(a.b0, e); },
     RawReader::Payload},
};

int ReadRawReply(ReplyReader &reader, RawReader kind, uint16_t *err) {
  uint8_t reply[kDirectReadSize] = {};
  switch (kind) {
    case RawReader::Ack:
      return reader.ReadAck(err);
    case RawReader::Payload:
      return reader.ReadPayload(reply, sizeof reply, err);
    case RawReader::Direct:
      break;
  }
  uint32_t received = 0;
  return reader.ReadDirect(reply, &received, err);
}

}  // namespace

int SendRawCommand(uint16_t code, const RawCommandArguments &arguments, uint16_t *err) {
  PrinterSession *session = CallerSession();
  if (session == nullptr) {
    SetCode(err, RESULT_NO_SESSION);
    return 0;
  }
  uint16_t result = RESULT_BAD_PARAMETER;
  int done = 0;
  for (const RawCommandRow &row : kRawCommands) {
    if (row.code != code) continue;
    done = row.build(session->Writer(), arguments, &result) && ReadRawReply(session->Reader(), row.reader, &result);
    break;
  }
  SetCode(err, result);
  return done;
}

}  // namespace hostlib

using namespace hostlib;

extern "C" {

int KT_CALL kt_universal_command(const uint8_t *data, int32_t length, uint8_t *reply, uint8_t *replyLength,
                                 uint16_t *err) noexcept {
  return RunOnCallerSession(err, [&](PrinterSession &session, uint16_t *code) {
    return session.UniversalCommand(data, length, reply, replyLength, code);
  });
}

int KT_CALL kt_SendCommand(const uint8_t *packet, int32_t length, uint8_t *reply, uint32_t *replyLength,
                           uint16_t *err) noexcept {
  return RunOnCallerSession(err, [&](PrinterSession &session, uint16_t *code) {
    return session.SendCommandRaw(packet, length, reply, replyLength, code);
  });
}

int KT_CALL kt_SendRawData(const uint8_t *data, uint32_t *length, uint16_t *err) noexcept {
  return RunOnCallerSession(
      err, [&](PrinterSession &session, uint16_t *code) { return SendBulkData(session, data, length, code); });
}

int KT_CALL kt_undefine_command(uint16_t *err) noexcept {
  return RunOnCallerSession(err,
                            [](PrinterSession &session, uint16_t *code) { return session.SendUndefinedCommand(code); });
}

}  // extern "C"
