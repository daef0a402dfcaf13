#include "sim/cable/send_job.h"

#include <cstdio>

#include "protocol/codes.h"
#include "protocol/headers.h"
#include "protocol/media.h"
#include "protocol/print_size.h"
#include "protocol/replies.h"
#include "protocol/requests.h"
#include "protocol/status_record.h"

namespace sim::cable {
namespace {

using Bytes = std::vector<uint8_t>;
using Print = std::function<void(const std::string&)>;

constexpr uint8_t kSideAColour = 1;
constexpr uint8_t kOneSided = 16;
// Status polls while the printer takes the image in.
constexpr int kStatusPolls = 50;

std::string Format(const char* pszFormat, auto... args) {
  char acLine[256];
  std::snprintf(acLine, sizeof acLine, pszFormat, args...);
  return acLine;
}

struct Answer {
  bool bOk = false;
  protocol::ReplyHeader header{};
  Bytes data;
};

Answer Exchange(const JobLink& link, const Bytes& packet) {
  Answer a;
  Bytes reply;
  if (!link.bulkOut(packet) || !link.bulkIn(&reply)) return a;
  protocol::ReplyFrame frame{};
  if (protocol::DecodeReplyFrame(reply.data(), reply.size(), &frame) != protocol::WIRE_OK) return a;
  a.bOk = true;
  a.header = frame.header;
  a.data.assign(frame.data, frame.data + frame.dataLength);
  return a;
}

template <class Request>
Answer Send(const JobLink& link, const Request& request) {
  Bytes packet(protocol::COMMAND_PACKET_MAX);
  const int32_t n = protocol::EncodeRequestPacket(request, packet.data(), packet.size());
  packet.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return Exchange(link, packet);
}

Answer SendCode(const JobLink& link, uint16_t usCode, const Bytes& payload = {}) {
  Bytes packet(protocol::COMMAND_HEADER_SIZE + payload.size());
  protocol::EncodeCommandPacket(usCode, payload.data(), static_cast<uint16_t>(payload.size()), packet.data(),
                                packet.size());
  return Exchange(link, packet);
}

// The reply's data decoded; false (with the reason printed) for a refusal.
template <class Reply>
bool Decode(const Answer& a, const char* pszWhat, const Print& print, Reply* pReply) {
  if (!a.bOk) {
    print(Format("%s: no answer", pszWhat));
    return false;
  }
  if (a.header.errorCode != 0) {
    print(Format("%s: refused, error code 0x%02X (printer state 0x%02X)", pszWhat, a.header.errorCode,
                 a.header.printerState));
    return false;
  }
  if (protocol::DecodeReply(a.data.data(), a.data.size(), pReply) != protocol::WIRE_OK) {
    print(Format("%s: a reply of %zu bytes", pszWhat, a.data.size()));
    return false;
  }
  return true;
}

const char* SlotStateText(uint32_t ulState) {
  switch (ulState) {
    case 0: return "none";
    case 1: return "expected";
    case 2: return "received";
    case 4: return "printing";
    default: return "?";
  }
}

// Side A's colour slot state of the head job, from the status record.
bool HeadJob(const JobLink& link, uint32_t* pulId, uint32_t* pulSideA) {
  const Answer a = SendCode(link, protocol::CMD_GET_STATUS);
  protocol::StatusRecord record{};
  if (!a.bOk || protocol::DecodeStatusReply(a.data.data(), a.data.size(), &record) != protocol::WIRE_OK) return false;
  *pulId = record.jobStatus[0];
  *pulSideA = record.jobStatus[4];
  return true;
}

std::string JobLine(uint32_t ulId, uint32_t ulSideA) {
  const uint32_t ulColour = (ulSideA >> 8) & 0xFu;
  return Format("status: job %u %s (side A on unit %u: colour image %s)", ulId,
                ulColour == 2 ? "complete" : "receiving", (ulSideA >> 4) & 0xFu, SlotStateText(ulColour));
}

}  // namespace

int SendOneSidedJob(const JobLink& link, const Print& print) {
  protocol::MediaInfoReply media{};
  if (!Decode(SendCode(link, protocol::CMD_GET_MEDIA_INFO), "media", print, &media)) return 1;
  if (media.fullWidth == 0 || media.fullLength == 0) {
    print("media: the printer has no media loaded");
    return 1;
  }
  print(Format("media: full size %u x %u", media.fullWidth, media.fullLength));

  protocol::SetupPrintJobRequest setup{};
  setup.copies = 1;
  setup.unitRequest = kSideAColour | kOneSided;
  setup.cutCount = protocol::CUT_COUNT_DEFAULT;
  protocol::SetupPrintJobReply job{};
  if (!Decode(Send(link, setup), "set-up", print, &job)) return 1;
  print(Format("set-up: job %u, first side %u, unit of side A %u, unit of side B %u", job.jobId, job.assignment[0],
               job.assignment[1] >> 4, job.assignment[2] >> 4));
  uint32_t ulId = 0;
  uint32_t ulSideA = 0;
  if (HeadJob(link, &ulId, &ulSideA)) print(JobLine(ulId, ulSideA));

  protocol::PrintRequest image{};
  image.imageWidth = media.fullWidth;
  image.imageHeight = media.fullLength;
  image.mediaMaxWidth = media.fullWidth;
  image.mediaMaxHeight = media.fullLength;
  image.imageType = protocol::IMAGE_TYPE_COLOUR;
  image.printOptionA = 2;
  protocol::PrintReply slot{};
  if (!Decode(Send(link, image), "print", print, &slot)) return 1;
  const uint32_t ulBytes = protocol::PrintDataSize(image);
  print(Format("print: image %u x %u, %u bytes into buffer slot %u", image.imageWidth, image.imageHeight, ulBytes,
               slot.slotIndex));
  Bytes data(ulBytes);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i / (3u * media.fullWidth));
  if (!link.bulkOut(data)) {
    print("print: the printer did not take the image data");
    return 1;
  }

  bool bComplete = false;
  for (int i = 0; i < kStatusPolls && !bComplete; ++i) {
    if (i > 0) link.pause();
    bComplete = HeadJob(link, &ulId, &ulSideA) && ulId == job.jobId && ((ulSideA >> 8) & 0xFu) == 2;
  }
  print(JobLine(ulId, ulSideA));
  if (!bComplete) return 1;

  protocol::JobStatusReply status{};
  if (!Decode(SendCode(link, protocol::CMD_GET_JOB_STATUS, {job.jobId}), "job status", print, &status)) return 1;
  print(Format("job status: job %u, %u cop%s, images 0x%02X, cuts %u at %u and %u", status.jobId, status.copies,
               status.copies == 1 ? "y" : "ies", status.receiveState, status.cutCount, status.cutPositions[0],
               status.cutPositions[1]));

  protocol::BufferStatusReply buffers{};
  if (!Decode(SendCode(link, protocol::CMD_GET_BUFFER_STATUS), "buffer status", print, &buffers)) return 1;
  int held = 0;
  for (uint32_t i = 0; i < protocol::BUFFER_STATUS_ENTRIES; ++i) {
    const protocol::BufferStatusEntry& e = buffers.entries[i];
    if (e.inUse == 0) continue;
    print(Format("buffer status: slot %u held by job %u, side %c", i, e.firstTag, e.secondTag == 2 ? 'B' : 'A'));
    ++held;
  }
  if (held == 0) print("buffer status: no slot in use");
  print(Format("job %u waits in the printer's queue", job.jobId));
  return 0;
}

}  // namespace sim::cable
