// The command codec against a fake printer: the bytes each builder puts on
// the wire, and what the readers make of well-formed, malformed and error
// replies.
#include <cstring>
#include <functional>
#include <vector>

#include "library_test_support.h"
#include "protocol/protocol.h"

namespace hostlib_test {
namespace {

using Bytes = std::vector<uint8_t>;

class CommandCodecTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    usbctrl_double::AddPrinter("R0000001");
    Open();
  }
  hostlib::CommandWriter &Writer() { return FirstSession().Writer(); }
  hostlib::ReplyReader &Reader() { return FirstSession().Reader(); }
  static Bytes LastWritten() {
    auto written = usbctrl_double::Written(0);
    return written.empty() ? Bytes{} : written.back();
  }
  // A reply with this header and data, as the printer would send it.
  static Bytes MakeReply(uint8_t errorCode, uint8_t printerState, const Bytes &data, int lengthField = -1) {
    Bytes reply(protocol::REPLY_HEADER_SIZE + data.size());
    const uint16_t length = lengthField < 0 ? static_cast<uint16_t>(data.size()) : static_cast<uint16_t>(lengthField);
    protocol::EncodeReplyHeader(protocol::MakeReplyHeader(errorCode, 0, 0, 0, printerState, length), reply.data(),
                                reply.size());
    std::memcpy(reply.data() + protocol::REPLY_HEADER_SIZE, data.data(), data.size());
    return reply;
  }
  // The printer answers the next command with `reply`; the command goes out.
  void AnswerNextWith(const Bytes &reply) {
    usbctrl_double::QueueRawReply(0, reply);
    uint16_t err = 0;
    ASSERT_EQ(Writer().SendGetStatus(&err), 1);
  }
};

TEST_F(CommandCodecTest, BuildersPutTheHostsBytesOnTheWire) {
  struct Case {
    const char *what;
    std::function<int(hostlib::CommandWriter &, uint16_t *)> send;
    Bytes expected;
  };
  Bytes laminate = {0x08, 0x40, 0x1C, 0x00, 0x01, 0x02, 0x00, 0x03, 0x00, 0x04, 0x05, 20};
  for (char c = 'A'; c < 'A' + 20; ++c) laminate.push_back(static_cast<uint8_t>(c));
  const Case cases[] = {
      {"status", [](auto &w, auto *e) { return w.SendGetStatus(e); }, {0x01, 0x00, 0x00, 0x00}},
      {"set parameter 0x41 to 1000",
       [](auto &w, auto *e) { return w.SendSetParameter(0x41, 1000, e); },
       {0x07, 0x40, 0x05, 0x00, 0x41, 0xE8, 0x03, 0x00, 0x00}},
      {"update MAIN of 1000 bytes",
       [](auto &w, auto *e) { return w.SendUpdate(1, 0, 0, 1000, e); },
       {0x04, 0xC0, 0x0A, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE8, 0x03, 0x00, 0x00}},
      {"laminate string of 25 characters",
       [](auto &w, auto *e) { return w.SendSetLaminateString(1, 2, 3, 4, 5, 25, "ABCDEFGHIJKLMNOPQRSTUVWXY", e); },
       laminate},
      {"job status without payload", [](auto &w, auto *e) { return w.SendGetJobStatus(e); }, {0x0C, 0x40, 0x00, 0x00}},
      {"head EEPROM with one byte",
       [](auto &w, auto *e) { return w.SendReadHeadEeprom(2, e); },
       {0x0A, 0xC0, 0x01, 0x00, 0x02}},
      {"self-diagnosis",
       [](auto &w, auto *e) { return w.SendSelfDiagnosis(1, 5, 6, e); },
       {0x01, 0xC0, 0x03, 0x00, 0x01, 0x05, 0x06}},
      {"model probe", [](auto &w, auto *e) { return w.SendModelProbe(e); },
       Bytes(protocol::kModelProbePacket.begin(), protocol::kModelProbePacket.end())},
      {"universal",
       [](auto &w, auto *e) {
         const uint8_t payload[] = {2, 240, 7};
         return w.SendUniversal(payload, 3, e);
       },
       {0xFF, 0xC0, 0x03, 0x00, 0x02, 0xF0, 0x07}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    uint16_t err = 0xFFFF;
    EXPECT_EQ(c.send(Writer(), &err), 1);
    EXPECT_EQ(err, RESULT_OK);
    EXPECT_EQ(LastWritten(), c.expected);
  }
  // The job set-up goes out padded to 60 bytes.
  uint16_t err = 0;
  protocol::SetupPrintJobRequest setup{};
  setup.copies = 1;
  ASSERT_EQ(Writer().SendSetupPrintJob(setup, &err), 1);
  EXPECT_EQ(LastWritten().size(), 64u);
}

TEST_F(CommandCodecTest, UniversalPayloadAbove250BytesIsRefusedBeforeSending) {
  const size_t before = usbctrl_double::Written(0).size();
  uint8_t payload[251] = {};
  uint16_t err = 0;
  EXPECT_EQ(Writer().SendUniversal(payload, 251, &err), 0);
  EXPECT_EQ(err, RESULT_BAD_PARAMETER);
  EXPECT_EQ(usbctrl_double::Written(0).size(), before);
}

TEST_F(CommandCodecTest, ReadersCheckTheLengthAndMapErrors) {
  uint8_t out[8];
  uint16_t err = 0;
  uint16_t length = 0;

  // An error reply copies nothing.
  AnswerNextWith(MakeReply(protocol::REPLY_ERR_BAD_PARAMETER, 0, Bytes(8, 0x55)));
  std::memset(out, 0xAA, sizeof out);
  EXPECT_EQ(Reader().ReadPayload(out, sizeof out, &err, &length), 0);
  EXPECT_EQ(err, RESULT_PRINTER_BAD_PARAMETER);
  EXPECT_EQ(out[0], 0xAA);

  // A reply shorter than its header says is a USB error.
  AnswerNextWith(MakeReply(0, 0, Bytes(7, 0x55), 8));
  EXPECT_EQ(Reader().ReadPayload(out, sizeof out, &err, &length), 0);
  EXPECT_EQ(err, RESULT_USB_ERROR);
  EXPECT_EQ(out[0], 0xAA);

  // Data longer than the caller's buffer are refused, not copied past it.
  AnswerNextWith(MakeReply(0, 0, Bytes(20, 0x55)));
  EXPECT_EQ(Reader().ReadPayload(out, sizeof out, &err, &length), 0);
  EXPECT_EQ(err, RESULT_USB_ERROR);
  EXPECT_EQ(out[0], 0xAA);

  AnswerNextWith(MakeReply(0, 0, Bytes{'R', '0', '0', '0', '0', '0', '0', '7'}));
  EXPECT_EQ(Reader().ReadPayload(out, sizeof out, &err, &length), 1);
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_EQ(length, 8);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(out), 8), "R0000007");

  // The job set-up reply keeps its data when the printer is out of buffers.
  uint8_t job[4] = {};
  AnswerNextWith(MakeReply(protocol::REPLY_ERR_NO_RESOURCE, 0, Bytes{1, 2, 3, 4}));
  EXPECT_EQ(Reader().ReadJobSetupReply(job, sizeof job, &err), 0);
  EXPECT_EQ(err, RESULT_BUFFER_FULL);
  EXPECT_EQ(job[3], 4);

  // The model probe's answer: a status whose bytes 35 and 43 are set is a
  // full buffer.
  Bytes status(protocol::STATUS_REPLY_SIZE, 0);
  status[35] = 1;
  status[43] = 1;
  AnswerNextWith(MakeReply(0, 0, status));
  EXPECT_EQ(Reader().ReadStatusOrError(&err), 0);
  EXPECT_EQ(err, RESULT_BUFFER_FULL);

  AnswerNextWith(MakeReply(0, 0x65, Bytes(9, 0)));
  EXPECT_EQ(Reader().ReadPrinterIdStatus(&err), 1);
  EXPECT_EQ(err, RESULT_PRINT_65);
  AnswerNextWith(MakeReply(protocol::REPLY_ERR_REFUSED, 0x65, Bytes(9, 0)));
  EXPECT_EQ(Reader().ReadPrinterIdStatus(&err), 0);
  EXPECT_EQ(err, RESULT_USB_ERROR);
}

}  // namespace
}  // namespace hostlib_test
