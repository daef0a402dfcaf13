// Printer bytes (and command bytes) into the protocol's decoders: the first
// input byte picks a decoder from the table, the rest is what arrived. Every
// decoder must stay inside the bytes it was given (the sanitizers watch),
// and whatever it accepts must come back through its encoder: encode,
// decode, encode writes the same bytes.
#include <iterator>
#include <vector>

#include "protocol/headers.h"
#include "protocol/identity.h"
#include "protocol/media.h"
#include "protocol/replies.h"
#include "protocol/requests.h"
#include "protocol/status_record.h"
#include "protocol/tone_curve.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using namespace protocol;

// Room for any encoding of this protocol.
constexpr size_t kEncodeRoom = 1024;

// Decodes with `decode`; what it accepts must encode, and encoding is stable
// from there: encode, decode, encode writes the same bytes again. (An
// encoder may normalise once, as a serial number read from an erased cell
// is sent as its placeholder text.)
template <typename Record, typename Decode, typename Encode>
void RoundTrip(const std::vector<uint8_t>& bytes, Decode decode, Encode encode) {
  Record first{};
  if (decode(bytes.data(), bytes.size(), &first) != WIRE_OK) return;
  std::vector<uint8_t> encoded(kEncodeRoom);
  const int32_t written = encode(first, encoded.data(), encoded.size());
  if (written < 0) return;
  fuzz::Require(static_cast<size_t>(written) <= encoded.size(), "an encoder stays inside its buffer");
  encoded.resize(static_cast<size_t>(written));
  Record second{};
  fuzz::Require(decode(encoded.data(), encoded.size(), &second) == WIRE_OK, "what an encoder writes decodes");
  std::vector<uint8_t> again(kEncodeRoom);
  const int32_t rewritten = encode(second, again.data(), again.size());
  fuzz::Require(rewritten == written, "a record encodes to the same size again");
  again.resize(static_cast<size_t>(rewritten));
  fuzz::Require(again == encoded, "encode, decode, encode writes the same bytes");
}

template <typename Reply>
void ReplyPayload(const std::vector<uint8_t>& bytes) {
  RoundTrip<Reply>(
      bytes, [](const uint8_t* in, size_t n, Reply* r) { return DecodeReply(in, n, r); },
      [](const Reply& r, uint8_t* out, size_t capacity) { return EncodeReply(r, out, capacity); });
}

template <typename Request>
void RequestPayload(const std::vector<uint8_t>& bytes) {
  RoundTrip<Request>(
      bytes, [](const uint8_t* in, size_t n, Request* r) { return DecodeRequest(in, n, r); },
      [](const Request& r, uint8_t* out, size_t capacity) { return EncodeRequest(r, out, capacity); });
}

// A whole reply as the host reads it: the frame, its data against the
// command's table row, and the status view of it.
void WholeReply(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 2) return;
  const uint16_t code = static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
  ReplyFrame frame{};
  if (DecodeReplyFrame(bytes.data() + 2, bytes.size() - 2, &frame) != WIRE_OK) return;
  fuzz::Require(frame.dataLength == bytes.size() - 2 - REPLY_HEADER_SIZE, "a frame's data is what arrived");
  CheckReplyData(code, frame.data, frame.dataLength);
  StatusRecord status{};
  StatusFromReply(frame, &status);
}

void ReplyHeaderBytes(const std::vector<uint8_t>& bytes) {
  RoundTrip<ReplyHeader>(bytes, DecodeReplyHeader, EncodeReplyHeader);
}

void CommandPacketBytes(const std::vector<uint8_t>& bytes) {
  CommandPacket packet{};
  if (DecodeCommandPacket(bytes.data(), bytes.size(), &packet) != WIRE_OK) return;
  fuzz::Require(packet.payload + packet.payloadLength <= bytes.data() + bytes.size(),
                "a command's payload lies inside the packet");
}

void StatusRecordBytes(const std::vector<uint8_t>& bytes) {
  RoundTrip<StatusRecord>(bytes, DecodeStatusRecord, EncodeStatusRecord);
}

void MediaRecordBytes(const std::vector<uint8_t>& bytes) {
  RoundTrip<MediaRecord>(bytes, DecodeMediaRecord, EncodeMediaRecord);
}

void ToneCurvePieceBytes(const std::vector<uint8_t>& bytes) {
  RoundTrip<ToneCurvePiece>(bytes, DecodeToneCurvePiece, EncodeToneCurvePiece);
}

using Decoder = void (*)(const std::vector<uint8_t>&);
constexpr Decoder kDecoders[] = {
    WholeReply,
    ReplyHeaderBytes,
    CommandPacketBytes,
    StatusRecordBytes,
    MediaRecordBytes,
    ToneCurvePieceBytes,
    ReplyPayload<PrintReply>,
    ReplyPayload<ReadToneCurveReply>,
    ReplyPayload<ErrorLogReply>,
    ReplyPayload<GetParameterReply>,
    ReplyPayload<SerialNoReply>,
    ReplyPayload<PrinterIdStatusReply>,
    ReplyPayload<CountersReply>,
    ReplyPayload<ExitTrayStatusReply>,
    ReplyPayload<BufferStatusReply>,
    ReplyPayload<SetupPrintJobReply>,
    ReplyPayload<JobStatusReply>,
    ReplyPayload<SelfDiagnosisReply>,
    ReplyPayload<DiagnosisResultReply>,
    ReplyPayload<FirmwareInfoRecord>,
    ReplyPayload<ReadHeadEepromReply>,
    ReplyPayload<UniversalReply>,
    ReplyPayload<MediaInfoReply>,
    ReplyPayload<MediaInfoExReply>,
    ReplyPayload<ModelNameReply>,
    RequestPayload<PrintRequest>,
    RequestPayload<CancelPrintJobRequest>,
    RequestPayload<ResetRequest>,
    RequestPayload<ReadToneCurveRequest>,
    RequestPayload<OperationButtonRequest>,
    RequestPayload<GetParameterRequest>,
    RequestPayload<SetParameterRequest>,
    RequestPayload<SetLaminateStringRequest>,
    RequestPayload<SetCutListRequest>,
    RequestPayload<SetupPrintJobRequest>,
    RequestPayload<GetJobStatusRequest>,
    RequestPayload<JobImageControlRequest>,
    RequestPayload<MaintenancePermissionRequest>,
    RequestPayload<SelfDiagnosisRequest>,
    RequestPayload<GetFirmwareInfoRequest>,
    RequestPayload<UpdateRequest>,
    RequestPayload<GetEepromMaintenanceRequest>,
    RequestPayload<SetEepromMaintenanceRequest>,
    RequestPayload<SetSerialNoRequest>,
    RequestPayload<ReadHeadEepromRequest>,
    RequestPayload<GetPrinterIdStatusRequest>,
    RequestPayload<UniversalRequest>,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const Decoder decode = kDecoders[in.Byte() % std::size(kDecoders)];
  // The rest in a buffer of its own size, so reading past it is caught.
  decode(in.Rest());
  return 0;
}
