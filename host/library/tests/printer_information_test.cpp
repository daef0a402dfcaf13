// Printer information by type: what kt_getPrinterInfo reads and how it
// fills the caller's buffer, and what kt_setPrinterInfo sends or keeps.
#include <cstring>
#include <string>

#include "device_watcher.h"
#include "library_test_support.h"
#include "protocol/codes.h"
#include "protocol/status_record.h"

namespace hostlib_test {
namespace {

constexpr uint8_t kUntouched = 0xA5;

class InformationTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    usbctrl_double::AddPrinter("R0000001");
    Open();
    sentBefore_ = usbctrl_double::Written(0).size();
  }
  // The packets the printer received since the test's kt_open.
  size_t SentSinceOpen() const { return usbctrl_double::Written(0).size() - sentBefore_; }
  Bytes LastSent() const { return usbctrl_double::Written(0).back(); }
  static Bytes StatusData(uint8_t first = 0) {
    Bytes data(protocol::STATUS_REPLY_SIZE);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(first + i);
    return data;
  }
  static Bytes ReadyStatus() { return ReplyBytes(0, protocol::PRINTER_STATE_READY, StatusData()); }
  // The printer answers the next commands with these replies, in order.
  static void Script(const std::vector<Bytes> &replies) {
    for (const Bytes &reply : replies) usbctrl_double::QueueRawReply(0, reply);
  }

  size_t sentBefore_ = 0;
};

// The size contract on a firmware-information read: a null buffer asks for
// the size, a larger buffer gets the information and the size lowered, a
// smaller one gets what fits; unknown types fail with size 0.
TEST_F(InformationTest, ReadFillsTheBufferByTypeAndSize) {
  struct Case {
    const char *what;
    uint16_t type;
    bool nullData;
    uint32_t size;
    int result;
    uint32_t sizeAfter;
    size_t copied;
  };
  const Case cases[] = {
      {"firmware information, size asked", PINFTAG_ENGID, true, 0, 1, 153, 0},
      {"firmware information, larger buffer", PINFTAG_ENGID, false, 200, 1, 153, 153},
      {"firmware information, smaller buffer", PINFTAG_ENGID, false, 100, 1, 100, 100},
      {"model, exact buffer", PINFTAG_MODEL, false, 54, 1, 54, 54},
      {"serial, smaller buffer", PINFTAG_SERIAL, false, 3, 1, 3, 3},
      {"type 1 has no row", 1, false, 200, 0, 0, 0},
      {"type 998 lies between the parameters and 999", 998, false, 200, 0, 0, 0},
      {"type 1000 and above", 1000, false, 200, 0, 0, 0},
      {"a set-only type", PINFTAG_LAMISTRING, false, 200, 0, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    uint8_t buffer[256];
    std::memset(buffer, kUntouched, sizeof buffer);
    uint32_t size = c.size;
    EXPECT_EQ(kt_getPrinterInfo(c.type, c.nullData ? nullptr : buffer, &size), c.result);
    EXPECT_EQ(size, c.sizeAfter);
    if (c.copied != 0) {
      EXPECT_NE(buffer[0], kUntouched);
    }
    for (size_t i = c.copied; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], kUntouched) << i;
    EXPECT_TRUE(DeviceLockIsFree());
  }
}

// The firmware information: the status check twice, then components 1 to 4
// in order, each record copied as the printer gave it behind the count 4.
TEST_F(InformationTest, FirmwareInformationHoldsTheFourRecordsUnchanged) {
  std::vector<Bytes> replies = {ReadyStatus(), ReadyStatus()};
  for (uint8_t component = 1; component <= 4; ++component) {
    Bytes record(38);
    for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<uint8_t>(component * 40 + i);
    replies.push_back(ReplyBytes(0, 0, record));
  }
  Script(replies);
  uint8_t info[KT_FIRMWARE_INFO_SIZE] = {};
  uint32_t size = sizeof info;
  ASSERT_EQ(kt_getPrinterInfo(PINFTAG_ENGID, info, &size), 1);
  EXPECT_EQ(info[0], 4);
  for (uint8_t component = 1; component <= 4; ++component) {
    for (size_t i = 0; i < 38; ++i) {
      ASSERT_EQ(info[1 + 38 * (component - 1) + i], static_cast<uint8_t>(component * 40 + i)) << int{component};
    }
  }
  const auto written = usbctrl_double::Written(0);
  ASSERT_EQ(SentSinceOpen(), 6u);
  const std::vector<Bytes> expected = {{0x01, 0x00, 0x00, 0x00},       {0x01, 0x00, 0x00, 0x00},
                                       {0x03, 0xC0, 0x01, 0x00, 0x01}, {0x03, 0xC0, 0x01, 0x00, 0x02},
                                       {0x03, 0xC0, 0x01, 0x00, 0x03}, {0x03, 0xC0, 0x01, 0x00, 0x04}};
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(written[sentBefore_ + i], expected[i]) << i;
}

// What each read type takes out of its reply (scripted after the status
// check), and which command it sends.
TEST_F(InformationTest, EachTypeTakesItsBytesFromItsReply) {
  Bytes media = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C};
  Bytes mediaReordered = media;
  std::swap(mediaReordered[1], mediaReordered[2]);
  const Bytes status = StatusData();
  Bytes model = {0x07, 0xFB, 0x00, 0x73};
  const std::string modelText = "Brental Orvik Company ORVIK M7300 Photo Printer";
  model.insert(model.end(), modelText.begin(), modelText.end());
  model.resize(54, 0);
  struct Case {
    const char *what;
    uint16_t type;
    Bytes reply;  // empty: the type sends nothing
    Bytes expected;
    Bytes command;
  };
  const Case cases[] = {
      {"media, bytes 1 and 2 exchanged", PINFTAG_MEDIA, ReplyBytes(0, 0, media), mediaReordered, {0x02, 0x00, 0x00, 0x00}},
      {"status bytes 0-61", PINFTAG_STATUS, ReplyBytes(0, 0, status), Bytes(status.begin(), status.begin() + 62),
       {0x01, 0x00, 0x00, 0x00}},
      {"status bytes 81-90", PINFTAG_STATUS_EXT, ReplyBytes(0, 0, status),
       Bytes(status.begin() + 81, status.begin() + 91), {0x01, 0x00, 0x00, 0x00}},
      {"error while in error", PINFTAG_ERROR, ReplyBytes(0, protocol::PRINTER_STATE_ERROR, status, 2, 7), {2, 7},
       {0x01, 0x00, 0x00, 0x00}},
      {"error while busy", PINFTAG_ERROR, ReplyBytes(0, protocol::PRINTER_STATE_OPERATION, status, 2, 7), {0, 0},
       {0x01, 0x00, 0x00, 0x00}},
      {"unit status",
       PINFTAG_UNITSTATUS,
       ReplyBytes(0, 0, status),
       {62, 0, 63, 64, 65, 66, 67, 68, 5, 4, 6, 4, 7, 4, 8, 4, 73, 0, 74, 75, 0xC, 4, 0xD, 4, 0xE, 4, 0xF, 4},
       {0x01, 0x00, 0x00, 0x00}},
      {"counters", PINFTAG_COUNTER, ReplyBytes(0, 0, Bytes(status.begin(), status.begin() + 24)),
       Bytes(status.begin(), status.begin() + 16), {0x08, 0x00, 0x00, 0x00}},
      {"error log", PINFTAG_ERRLOG, ReplyBytes(0, 0, Bytes(status.begin(), status.begin() + 61)),
       Bytes(status.begin(), status.begin() + 61), {0x04, 0x00, 0x00, 0x00}},
      {"serial from the printer", PINFTAG_SERIALNO, ReplyBytes(0, 0, {'P', 'R', 'N', 'T', '0', '0', '0', '9'}),
       {'P', 'R', 'N', 'T', '0', '0', '0', '9'}, {0x06, 0x00, 0x00, 0x00}},
      {"parameter 0x41", PINFTAG_PARAM_41, ReplyBytes(0, 0, {1, 2, 3, 4}), {1, 2, 3, 4},
       {0x05, 0x00, 0x01, 0x00, 0x41}},
      {"parameter 0x14", PINFTAG_PARAM_14, ReplyBytes(0, 0, {9, 8, 7, 6}), {9, 8, 7, 6},
       {0x05, 0x00, 0x01, 0x00, 0x14}},
      {"selected serial", PINFTAG_SERIAL, {}, {'R', '0', '0', '0', '0', '0', '0', '1'}, {}},
      {"model", PINFTAG_MODEL, {}, model, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const size_t before = usbctrl_double::Written(0).size();
    Script({ReadyStatus()});
    if (!c.reply.empty()) Script({c.reply});
    uint8_t buffer[256] = {};
    uint32_t size = sizeof buffer;
    ASSERT_EQ(kt_getPrinterInfo(c.type, buffer, &size), 1);
    EXPECT_EQ(Bytes(buffer, buffer + size), c.expected);
    const auto written = usbctrl_double::Written(0);
    // The status check, then the type's own command, if any.
    ASSERT_EQ(written.size(), before + (c.command.empty() ? 1 : 2));
    EXPECT_EQ(written[before], (Bytes{0x01, 0x00, 0x00, 0x00}));
    if (!c.command.empty()) {
      EXPECT_EQ(written.back(), c.command);
    }
  }
}

// Only a printer that is gone or does not answer fails the status check;
// the firmware information is refused while the panel runs an operation;
// a failure on the way leaves size 0 and the lock free.
TEST_F(InformationTest, ReadFailsOnlyForAnUnreachableOrBusyPrinter) {
  uint8_t buffer[KT_FIRMWARE_INFO_SIZE];
  uint32_t size = sizeof buffer;

  usbctrl_double::SetStatus(0, protocol::PRINTER_STATE_ERROR, 6, 1);  // cover open
  EXPECT_EQ(kt_getPrinterInfo(PINFTAG_ENGID, buffer, &size), 1);
  EXPECT_EQ(size, 153u);

  usbctrl_double::SetStatus(0, protocol::PRINTER_STATE_OPERATION, 0, 0);
  const size_t infoQueries = CommandsSent(0, protocol::CMD_GET_FIRMWARE_INFO);
  EXPECT_EQ(kt_getPrinterInfo(PINFTAG_ENGID, buffer, &size), 0);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(CommandsSent(0, protocol::CMD_GET_FIRMWARE_INFO), infoQueries);
  size = 0;
  EXPECT_EQ(kt_getPrinterInfo(PINFTAG_ENGID, nullptr, &size), 1);  // the size needs no record
  EXPECT_EQ(size, 153u);
  EXPECT_EQ(kt_getPrinterInfo(PINFTAG_SERIAL, buffer, &size), 1);  // other types still answer
  usbctrl_double::SetStatus(0, protocol::PRINTER_STATE_READY, 0, 0);

  // A printer that stops answering half-way.
  usbctrl_double::DropCommands(0, protocol::CMD_GET_FIRMWARE_INFO, 1);
  size = sizeof buffer;
  EXPECT_EQ(kt_getPrinterInfo(PINFTAG_ENGID, buffer, &size), 0);
  EXPECT_EQ(size, 0u);
  EXPECT_TRUE(DeviceLockIsFree());

  // A silent printer fails the status check after the read time-out.
  usbctrl_double::DropCommands(0, protocol::CMD_GET_STATUS, 1);
  size = sizeof buffer;
  const uint64_t start = Elapsed();
  EXPECT_EQ(kt_getPrinterInfo(PINFTAG_SERIAL, buffer, &size), 0);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(Elapsed() - start, hostlib::kTransferTimeoutMs);
  EXPECT_TRUE(DeviceLockIsFree());

  // A printer that is gone cannot be locked: size stays as it was.
  ASSERT_EQ(usbctrl_double::Unplug(0), 1);
  Sleep(hostlib::kWatcherPollMs + 1);  // past the watcher's next look, whatever its phase
  size = sizeof buffer;
  EXPECT_EQ(kt_getPrinterInfo(PINFTAG_SERIAL, buffer, &size), 0);
  EXPECT_EQ(size, sizeof buffer);
}

TEST_F(InformationTest, NoSessionLeavesSizeUntouched) {
  kt_close();
  uint8_t buffer[8];
  uint32_t size = sizeof buffer;
  EXPECT_EQ(kt_getPrinterInfo(PINFTAG_SERIAL, buffer, &size), 0);
  EXPECT_EQ(size, sizeof buffer);
  uint16_t err = 0;
  EXPECT_EQ(kt_setPrinterInfo(PINFTAG_PRINTOPT_B, buffer, &size, &err), 0);
  EXPECT_EQ(err, RESULT_NO_SESSION);
}

// Set types that go to the printer: the packet each sends, and the
// refusals found on the host side, which send nothing.
TEST_F(InformationTest, SetSendsTheCommandOfItsType) {
  struct Case {
    const char *what;
    uint16_t type;
    Bytes data;  // empty: a null pointer
    uint32_t size;
    int result;
    uint16_t code;
    Bytes command;  // empty: nothing is sent
  };
  const Case cases[] = {
      {"serial of 8", PINFTAG_SERIAL, {'N', 'E', 'W', 'S', 'E', 'R', 'I', 'L'}, 8, 1, RESULT_OK,
       {0x09, 0xC0, 0x08, 0x00, 'N', 'E', 'W', 'S', 'E', 'R', 'I', 'L'}},
      {"serial of 7", PINFTAG_SERIAL, {'N', 'E', 'W', 'S', 'E', 'R', 'I', 'L'}, 7, 0, RESULT_BAD_PARAMETER, {}},
      {"serial of 9", PINFTAG_SERIAL, {'N', 'E', 'W', 'S', 'E', 'R', 'I', 'L', 'X'}, 9, 0, RESULT_BAD_PARAMETER, {}},
      {"operation button on", PINFTAG_OPERATION_BUTTON, {1, 0}, 2, 1, RESULT_OK, {0x06, 0x40, 0x01, 0x00, 0x01}},
      {"operation button off", PINFTAG_OPERATION_BUTTON, {0, 0}, 2, 1, RESULT_OK, {0x06, 0x40, 0x01, 0x00, 0x00}},
      {"operation button 2", PINFTAG_OPERATION_BUTTON, {2, 0}, 2, 0, RESULT_BAD_PARAMETER, {}},
      {"operation button 256", PINFTAG_OPERATION_BUTTON, {0, 1}, 2, 0, RESULT_BAD_PARAMETER, {}},
      {"u16 parameter, zero-extended", PINFTAG_PARAM_41, {0xFF, 0xFF}, 2, 1, RESULT_OK,
       {0x07, 0x40, 0x05, 0x00, 0x41, 0xFF, 0xFF, 0x00, 0x00}},
      {"i8 parameter -1, sign-extended", PINFTAG_PARAM_81, {0xFF}, 1, 1, RESULT_OK,
       {0x07, 0x40, 0x05, 0x00, 0x81, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"i8 parameter 127", PINFTAG_PARAM_83, {0x7F}, 1, 1, RESULT_OK,
       {0x07, 0x40, 0x05, 0x00, 0x83, 0x7F, 0x00, 0x00, 0x00}},
      {"u32 parameter", PINFTAG_PARAM_F1, {0x01, 0x00, 0x00, 0x80}, 4, 1, RESULT_OK,
       {0x07, 0x40, 0x05, 0x00, 0xF1, 0x01, 0x00, 0x00, 0x80}},
      {"u16 parameter 0x11", PINFTAG_PARAM_11, {0x34, 0x12}, 2, 1, RESULT_OK,
       {0x07, 0x40, 0x05, 0x00, 0x11, 0x34, 0x12, 0x00, 0x00}},
      {"unknown type", 1, {0, 0}, 2, 0, RESULT_BAD_PARAMETER, {}},
      {"a read-only type", PINFTAG_ENGID, {0, 0}, 2, 0, RESULT_BAD_PARAMETER, {}},
      {"null data", PINFTAG_PARAM_41, {}, 2, 0, RESULT_BAD_PARAMETER, {}},
      // Sizes below what the type reads: refused before anything is sent
      // or kept.
      {"u16 parameter from one byte", PINFTAG_PARAM_41, {0xFF, 0xFF}, 1, 0, RESULT_BAD_PARAMETER, {}},
      {"u32 parameter from three bytes", PINFTAG_PARAM_F1, {0x01, 0x00, 0x00, 0x80}, 3, 0, RESULT_BAD_PARAMETER, {}},
      {"i8 parameter from none", PINFTAG_PARAM_81, {0xFF}, 0, 0, RESULT_BAD_PARAMETER, {}},
      {"operation button from one byte", PINFTAG_OPERATION_BUTTON, {1, 0}, 1, 0, RESULT_BAD_PARAMETER, {}},
      {"print option A from one byte", PINFTAG_PRINTOPT_A, {7, 1}, 1, 0, RESULT_BAD_PARAMETER, {}},
      {"print option B from none", PINFTAG_PRINTOPT_B, {7}, 0, 0, RESULT_BAD_PARAMETER, {}},
      {"laminate string without its length", PINFTAG_LAMISTRING, {1, 0, 2, 0, 1, 2, 0}, 6, 0, RESULT_BAD_PARAMETER, {}},
      {"laminate string shorter than its text", PINFTAG_LAMISTRING, {1, 0, 2, 0, 1, 2, 3, 'A', 'B', 'C'}, 9, 0,
       RESULT_BAD_PARAMETER, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const size_t before = usbctrl_double::Written(0).size();
    uint32_t size = c.size;
    uint16_t err = 0xFFFF;
    EXPECT_EQ(kt_setPrinterInfo(c.type, c.data.empty() ? nullptr : c.data.data(), &size, &err), c.result);
    EXPECT_EQ(err, c.code);
    const auto written = usbctrl_double::Written(0);
    if (c.command.empty()) {
      EXPECT_EQ(written.size(), before);
    } else {
      ASSERT_EQ(written.size(), before + 1);
      EXPECT_EQ(written.back(), c.command);
    }
    EXPECT_TRUE(DeviceLockIsFree());
  }
  EXPECT_EQ(FirstSession().Laminates().Count(), 0);
  EXPECT_EQ(FirstSession().PrintOptionA(), hostlib::kDefaultPrintOptionA);
  EXPECT_EQ(FirstSession().PrintOptionB(), 0);
  const uint16_t value = 1;
  uint16_t err = 0xFFFF;
  EXPECT_EQ(kt_setPrinterInfo(PINFTAG_PARAM_41, &value, nullptr, &err), 0);
  EXPECT_EQ(err, RESULT_BAD_PARAMETER);
}

// The printer's refusal of a set reaches the caller unfolded.
TEST_F(InformationTest, SetReportsThePrintersRefusalUnchanged) {
  Script({ReplyBytes(protocol::REPLY_ERR_BAD_PARAMETER, 0, {})});
  const uint16_t value = 5;
  uint32_t size = sizeof value;
  uint16_t err = 0;
  EXPECT_EQ(kt_setPrinterInfo(PINFTAG_PARAM_41, &value, &size, &err), 0);
  EXPECT_EQ(err, RESULT_PRINTER_BAD_PARAMETER);
  EXPECT_TRUE(DeviceLockIsFree());
}

// The media size is checked against the loaded media, read with the status
// check, and kept only when it fits.
TEST_F(InformationTest, MediaSizeIsCheckedAgainstTheLoadedMedia) {
  // Loaded media: maximum width 1200 (bytes 5-6), height 1800 (7-8).
  const Bytes media = ReplyBytes(0, 0, {0, 3, 4, 0, 0, 0xB0, 0x04, 0x08, 0x07, 0, 0, 0, 0});
  struct Case {
    const char *what;
    uint32_t size;
    uint16_t width;
    uint16_t height;
    bool asksPrinter;
    int result;
    uint16_t code;
  };
  const Case cases[] = {
      {"fits", 10, 1200, 1800, true, 1, RESULT_OK},
      {"too wide", 10, 1201, 1000, true, 0, RESULT_MEDIA_MISMATCH},
      {"too high", 10, 1000, 1801, true, 0, RESULT_MEDIA_MISMATCH},
      {"request of 9 bytes", 9, 100, 100, false, 0, RESULT_BAD_PARAMETER},
  };
  hostlib::PrinterSession &session = FirstSession();
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    if (c.asksPrinter) Script({ReadyStatus(), media});
    uint8_t request[10] = {0, static_cast<uint8_t>(c.width), static_cast<uint8_t>(c.width >> 8),
                           static_cast<uint8_t>(c.height), static_cast<uint8_t>(c.height >> 8)};
    uint32_t size = c.size;
    uint16_t err = 0xFFFF;
    EXPECT_EQ(kt_setPrinterInfo(PINFTAG_MEDIA, request, &size, &err), c.result);
    EXPECT_EQ(err, c.code);
    EXPECT_EQ(session.MediaSet(), c.result == 1);
    if (c.result == 1) {
      EXPECT_EQ(session.MediaWidth(), c.width);
      EXPECT_EQ(session.MediaHeight(), c.height);
    }
    EXPECT_TRUE(DeviceLockIsFree());
  }
}

// Print options are kept by the session without USB traffic.
TEST_F(InformationTest, PrintOptionsAreKeptForTheNextPrint) {
  const uint16_t optionA = 0x0105;
  const uint8_t optionB = 7;
  uint32_t size = 2;
  uint16_t err = 0xFFFF;
  EXPECT_EQ(kt_setPrinterInfo(PINFTAG_PRINTOPT_A, &optionA, &size, &err), 1);
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_EQ(kt_setPrinterInfo(PINFTAG_PRINTOPT_B, &optionB, &size, &err), 1);
  EXPECT_EQ(FirstSession().PrintOptionA(), optionA);
  EXPECT_EQ(FirstSession().PrintOptionB(), optionB);
  EXPECT_EQ(SentSinceOpen(), 0u);
}

// Twelve laminate strings are kept, numbered 1-12; every further one is
// refused without being counted, however many are tried, until the
// strings are cleared.
TEST_F(InformationTest, LaminateStringsStopAtTwelve) {
  auto entry = [](uint8_t n, const std::string &text) {
    Bytes data = {n, 0, static_cast<uint8_t>(2 * n), 0, 1, 2, static_cast<uint8_t>(text.size())};
    data.insert(data.end(), text.begin(), text.end());
    return data;
  };
  hostlib::PrinterSession &session = FirstSession();
  uint16_t err = 0xFFFF;
  for (uint8_t n = 1; n <= 12; ++n) {
    const Bytes data = entry(n, "TEXT " + std::to_string(n));
    uint32_t size = static_cast<uint32_t>(data.size());
    ASSERT_EQ(kt_setPrinterInfo(PINFTAG_LAMISTRING, data.data(), &size, &err), 1) << int{n};
  }
  const Bytes extra = entry(13, "THIRTEEN");
  for (int attempt = 0; attempt < 300; ++attempt) {
    uint32_t size = static_cast<uint32_t>(extra.size());
    ASSERT_EQ(kt_setPrinterInfo(PINFTAG_LAMISTRING, extra.data(), &size, &err), 0) << attempt;
    ASSERT_EQ(err, RESULT_BAD_PARAMETER);
    ASSERT_EQ(session.Laminates().Count(), 12);
  }
  for (uint8_t i = 0; i < 12; ++i) {
    const hostlib::LaminateString &stored = session.Laminates().Entry(i);
    EXPECT_EQ(stored.number, i + 1);
    EXPECT_EQ(stored.x, i + 1);
    EXPECT_EQ(stored.y, 2 * (i + 1));
    EXPECT_EQ(std::string(stored.text, stored.textLength), "TEXT " + std::to_string(i + 1));
  }
  EXPECT_EQ(SentSinceOpen(), 0u);

  session.ClearLaminateStrings();
  const Bytes longText = entry(1, "A TEXT OF TWENTY-FIVE CHS");
  uint32_t size = static_cast<uint32_t>(longText.size());
  EXPECT_EQ(kt_setPrinterInfo(PINFTAG_LAMISTRING, longText.data(), &size, &err), 1);
  EXPECT_EQ(session.Laminates().Count(), 1);
  EXPECT_EQ(session.Laminates().Entry(0).textLength, 25);
  EXPECT_EQ(std::string(session.Laminates().Entry(0).text, 20), "A TEXT OF TWENTY-FIV");
}

}  // namespace
}  // namespace hostlib_test
