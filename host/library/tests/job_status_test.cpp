// A job's printing state from the printer-ID status and the unit status,
// and the status of several printers at once.
#include "print_test_support.h"

namespace hostlib_test {
namespace {

using protocol::CMD_GET_PRINTER_ID_STATUS;
using protocol::CMD_GET_STATUS;

constexpr uint8_t kPrintingM = 0x65;  // a printing state: RESULT_PRINT_65

Bytes IdStatus(uint16_t phase) {
  return {5, 0x03, 0x00, 0x02, 0x00, 0x05, 0x00, static_cast<uint8_t>(phase), static_cast<uint8_t>(phase >> 8)};
}

TEST_F(PrintTest, PrinterIdStatusMapsTheJobPhase) {
  struct Case {
    const char *what;
    uint16_t jobId;
    uint8_t jobPrinting;  // the unit status's job number
    uint16_t phase;
    std::vector<uint16_t> commands;
    uint16_t code;  // result value 3
  };
  const std::vector<uint16_t> unitStatus = {CMD_GET_STATUS, CMD_GET_STATUS};
  auto then = [&](std::vector<uint16_t> more) {
    std::vector<uint16_t> all = unitStatus;
    all.insert(all.end(), more.begin(), more.end());
    return all;
  };
  const Case cases[] = {
      {"phase 0", JobId(5), 5, 0x0000, then({CMD_GET_PRINTER_ID_STATUS}), RESULT_NO_PRINT_STATE},
      {"phase 0xFFFF", JobId(5), 5, 0xFFFF, then({CMD_GET_PRINTER_ID_STATUS}), RESULT_NO_PRINT_STATE},
      {"phase 0x0200", JobId(5), 5, 0x0200, then({CMD_GET_PRINTER_ID_STATUS}), RESULT_ID_STATUS_0200},
      {"phase 0x0100, the job printing", JobId(5), 5, 0x0100, then({CMD_GET_PRINTER_ID_STATUS, CMD_GET_STATUS}),
       RESULT_PRINT_65},
      {"phase 0x0100, another job printing", JobId(5), 4, 0x0100, then({CMD_GET_PRINTER_ID_STATUS}),
       RESULT_NO_PRINT_STATE},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Script({Status(protocol::PRINTER_STATE_READY, c.jobPrinting), Status(protocol::PRINTER_STATE_READY, c.jobPrinting),
            Answer(IdStatus(c.phase)), Status(kPrintingM)});
    const size_t before = Mark();
    uint16_t result[hostlib::kPrinterIdValues] = {9, 9, 9, 9};
    uint16_t err = 0xFFFF;
    EXPECT_EQ(Session().GetPrinterIdStatus(c.jobId, result, &err), 1);
    EXPECT_EQ(err, RESULT_OK);
    EXPECT_EQ(Commands(before), c.commands);
    EXPECT_EQ(usbctrl_double::Written(0)[before + 2], (Bytes{0x07, 0x00, 0x01, 0x00, 5}));
    EXPECT_EQ(result[0], 3);
    EXPECT_EQ(result[1], 2);
    EXPECT_EQ(result[2], 5);
    EXPECT_EQ(result[3], c.code);
    EXPECT_TRUE(DeviceLockIsFree());
    usbctrl_double::DropRawReplies(0);
  }
}

// Job id 0 asks the printer's state itself; another printer's job is
// refused.
TEST_F(PrintTest, PrinterIdStatusOfJobZeroAndOfAnotherPrinter) {
  Script({Status(), Status(), Status(kPrintingM)});
  uint16_t result[hostlib::kPrinterIdValues] = {9, 9, 9, 9};
  uint16_t err = 0xFFFF;
  size_t before = Mark();
  EXPECT_EQ(Session().GetPrinterIdStatus(0, result, &err), 1);
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_EQ(Commands(before), (std::vector<uint16_t>{CMD_GET_STATUS, CMD_GET_STATUS, CMD_GET_STATUS}));
  EXPECT_EQ(result[0], 0);
  EXPECT_EQ(result[3], RESULT_PRINT_65);

  before = Mark();
  EXPECT_EQ(Session().GetPrinterIdStatus(JobId(5, 1), result, &err), 0);
  EXPECT_EQ(err, RESULT_BAD_PARAMETER);
  EXPECT_EQ(Commands(before), (std::vector<uint16_t>{CMD_GET_STATUS, CMD_GET_STATUS}));
}

TEST_F(PrintTest, PrinterIdStatusReportsAUsbErrorAtEachExchange) {
  for (int exchange = 0; exchange < 4; ++exchange) {
    SCOPED_TRACE(testing::Message() << "exchange " << exchange);
    Script({Status(protocol::PRINTER_STATE_READY, 5), Status(protocol::PRINTER_STATE_READY, 5),
            Answer(IdStatus(0x0100)), Status(kPrintingM)});
    usbctrl_double::FailWritesAfter(0, exchange);
    uint16_t result[hostlib::kPrinterIdValues] = {};
    uint16_t err = 0xFFFF;
    EXPECT_EQ(Session().GetPrinterIdStatus(JobId(5), result, &err), 0);
    usbctrl_double::FailWritesAfter(0, -1);
    usbctrl_double::DropRawReplies(0);
    EXPECT_EQ(err, RESULT_USB_ERROR);
    EXPECT_TRUE(DeviceLockIsFree());
  }
}

TEST_F(TwoPrinterTest, StatusOfSeveralPrintersKeepsTheSelection) {
  usbctrl_double::SetStatus(1, 0x33, 0, 0);  // paper loading
  const uint16_t optionA = 7;
  uint32_t size = sizeof optionA;
  uint16_t err = 0xFFFF;
  ASSERT_EQ(kt_setPrinterInfo(PINFTAG_PRINTOPT_A, &optionA, &size, &err), 1);
  struct Case {
    const char *what;
    std::vector<uint8_t> numbers;
    std::vector<uint16_t> codes;
    int result;
  };
  const Case cases[] = {
      {"a ready one among them", {1, 5, 0, 255}, {RESULT_PAPER_LOADING, RESULT_PRINTER_NOT_RECOGNIZED, RESULT_OK}, 1},
      {"none ready", {1, 200, 255}, {RESULT_PAPER_LOADING, RESULT_PRINTER_NOT_RECOGNIZED}, 0},
      {"an empty list", {255}, {}, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint16_t> codes(c.numbers.size() + 1, 0xEEEE);
    EXPECT_EQ(Session().GetStatusOfPrinters(c.numbers.data(), codes.data()), c.result);
    EXPECT_EQ(std::vector<uint16_t>(codes.begin(), codes.begin() + static_cast<long>(c.codes.size())), c.codes);
    EXPECT_EQ(codes[c.codes.size()], 0xEEEE);
    EXPECT_EQ(Session().SelectedDevice(), 0);
    EXPECT_EQ(Session().PrintOptionA(), optionA);
  }
}

}  // namespace
}  // namespace hostlib_test
