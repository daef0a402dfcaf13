// bom7300-send-job's job against a printer played in the test: the commands
// it sends in order with their payloads, the image data of the media's
// full size, the lines it prints, and how it stops at a refusal.
#include "sim/cable/send_job.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "protocol/codes.h"
#include "protocol/headers.h"
#include "protocol/media.h"
#include "protocol/replies.h"
#include "protocol/requests.h"
#include "protocol/status_record.h"

namespace sim::cable {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace protocol;

// Answers each command from its code; the image data after an accepted
// print is counted. The job becomes complete once its data is in and the
// status has been asked `pollsToComplete` times.
struct PlayedPrinter {
  std::vector<uint16_t> codes;
  Bytes setupPayload;
  Bytes printPayload;
  size_t dataBytes = 0;
  bool bDataDue = false;
  int pollsToComplete = 2;
  uint8_t refuseCode = 0;  // this command is refused with 0x21
  uint16_t fullLength = 3024;
  std::deque<Bytes> replies;

  template <class Reply>
  void Queue(const Reply& r, uint8_t ucError = 0) {
    Bytes data(Reply::kSize);
    EncodeReply(r, data.data(), data.size());
    QueueData(data, ucError);
  }
  void QueueData(const Bytes& data, uint8_t ucError) {
    Bytes frame(REPLY_HEADER_SIZE + data.size());
    EncodeReplyHeader(MakeReplyHeader(ucError, 0, 0, 0, 0x20, static_cast<uint16_t>(data.size())), frame.data(),
                      frame.size());
    std::copy(data.begin(), data.end(), frame.begin() + REPLY_HEADER_SIZE);
    replies.push_back(frame);
  }

  bool Out(const Bytes& bytes) {
    if (bDataDue) {
      dataBytes = bytes.size();
      bDataDue = false;
      return true;
    }
    CommandPacket packet{};
    if (DecodeCommandPacket(bytes.data(), bytes.size(), &packet) != WIRE_OK) return false;
    const uint16_t code = packet.header.Code();
    codes.push_back(code);
    const Bytes payload(packet.payload, packet.payload + packet.payloadLength);
    const uint8_t ucError = (code & 0xFFu) == refuseCode && refuseCode != 0 ? REPLY_ERR_NO_RESOURCE : 0;
    switch (code) {
      case CMD_GET_MEDIA_INFO: {
        MediaInfoReply media{};
        media.fullWidth = 2464;
        media.fullLength = fullLength;
        Queue(media);
        break;
      }
      case CMD_SETUP_PRINT_JOB:
        setupPayload = payload;
        Queue(SetupPrintJobReply{7, {1, 0x20, 0x10}}, ucError);
        break;
      case CMD_PRINT:
        printPayload = payload;
        bDataDue = ucError == 0;
        Queue(PrintReply{0}, ucError);
        break;
      case CMD_GET_STATUS: {
        StatusRecord record{};
        const bool bComplete = dataBytes != 0 && --pollsToComplete <= 0;
        record.jobStatus[0] = 7;
        record.jobStatus[4] = static_cast<uint16_t>(0x20 | ((bComplete ? 2 : 1) << 8));
        Bytes data(STATUS_REPLY_SIZE);
        EncodeStatusReply(record, data.data(), data.size());
        QueueData(data, 0);
        break;
      }
      case CMD_GET_JOB_STATUS: {
        JobStatusReply status{};
        status.jobId = payload.empty() ? 0 : payload[0];
        status.copies = 1;
        status.receiveState = 1;
        status.cutCount = 2;
        status.cutPositions[0] = 12;
        status.cutPositions[1] = 3012;
        Queue(status);
        break;
      }
      case CMD_GET_BUFFER_STATUS: {
        BufferStatusReply buffers{};
        buffers.entries[0] = BufferStatusEntry{1, 7, 1};
        Queue(buffers);
        break;
      }
      default:
        return false;
    }
    return true;
  }

  JobLink Link() {
    JobLink link;
    link.bulkOut = [this](const Bytes& bytes) { return Out(bytes); };
    link.bulkIn = [this](Bytes* pReply) {
      if (replies.empty()) return false;
      *pReply = replies.front();
      replies.pop_front();
      return true;
    };
    link.pause = [] {};
    return link;
  }
};

std::vector<std::string> SendTo(PlayedPrinter& printer, int* pResult) {
  std::vector<std::string> lines;
  *pResult = SendOneSidedJob(printer.Link(), [&](const std::string& line) { lines.push_back(line); });
  return lines;
}

TEST(SendJob, SendsAOneSidedJobOfTheFullSizeAndReportsItComplete) {
  PlayedPrinter printer;
  int result = -1;
  const std::vector<std::string> lines = SendTo(printer, &result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printer.codes, (std::vector<uint16_t>{CMD_GET_MEDIA_INFO, CMD_SETUP_PRINT_JOB, CMD_GET_STATUS, CMD_PRINT,
                                                  CMD_GET_STATUS, CMD_GET_STATUS, CMD_GET_JOB_STATUS,
                                                  CMD_GET_BUFFER_STATUS}));
  SetupPrintJobRequest setup{};
  ASSERT_EQ(DecodeRequest(printer.setupPayload.data(), printer.setupPayload.size(), &setup), WIRE_OK);
  EXPECT_EQ(setup.unitRequest, 0x11) << "side A's colour picture, one-sided";
  EXPECT_EQ(setup.copies, 1);
  EXPECT_EQ(setup.cutCount, CUT_COUNT_DEFAULT);
  PrintRequest image{};
  ASSERT_EQ(DecodeRequest(printer.printPayload.data(), printer.printPayload.size(), &image), WIRE_OK);
  EXPECT_EQ(image.imageWidth, 2464);
  EXPECT_EQ(image.imageHeight, 3024);
  EXPECT_EQ(image.imageType, IMAGE_TYPE_COLOUR);
  EXPECT_EQ(printer.dataBytes, 2464u * 3024u * 3u);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "media: full size 2464 x 3024",
                       "set-up: job 7, first side 1, unit of side A 2, unit of side B 1",
                       "status: job 7 receiving (side A on unit 2: colour image expected)",
                       "print: image 2464 x 3024, 22353408 bytes into buffer slot 0",
                       "status: job 7 complete (side A on unit 2: colour image received)",
                       "job status: job 7, 1 copy, images 0x01, cuts 2 at 12 and 3012",
                       "buffer status: slot 0 held by job 7, side A",
                       "job 7 waits in the printer's queue",
                   }));
}

TEST(SendJob, StopsWhereThePrinterRefusesOrHasNoMedia) {
  {
    PlayedPrinter printer;
    printer.refuseCode = CMD_SETUP_PRINT_JOB & 0xFF;
    int result = -1;
    const std::vector<std::string> lines = SendTo(printer, &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(lines.back(), "set-up: refused, error code 0x21 (printer state 0x20)");
    EXPECT_EQ(printer.codes.back(), CMD_SETUP_PRINT_JOB);
  }
  {
    PlayedPrinter printer;
    printer.refuseCode = CMD_PRINT & 0xFF;
    int result = -1;
    SendTo(printer, &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(printer.dataBytes, 0u) << "no data after a refused image";
  }
  {
    PlayedPrinter printer;
    printer.fullLength = 0;
    int result = -1;
    EXPECT_EQ(SendTo(printer, &result).back(), "media: the printer has no media loaded");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(printer.codes.size(), 1u);
  }
}

}  // namespace
}  // namespace sim::cable
