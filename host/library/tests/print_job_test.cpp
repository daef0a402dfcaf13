// The job's set-up and frame: the image format, the job set-up on the wire
// and its answer, the job status, the Print command with its laminate
// strings, the device lock of the data phase, and cancelling.
#include "print_test_support.h"

namespace hostlib_test {
namespace {

using hostlib::PrinterSession;

constexpr size_t kPayloadAt = protocol::COMMAND_HEADER_SIZE;

TEST_F(PrintTest, ImageFormatIsCheckedAndStoredOnlyWhenItFits) {
  SetMedia(1000, 800);
  struct Case {
    const char *what;
    uint16_t type, components, bits, width, height, x, y;
  };
  const Case refused[] = {
      {"width 4097", 3, 3, 8, 4097, 100, 0, 0},   {"height 0", 3, 3, 8, 100, 0, 0, 0},
      {"components 4", 3, 4, 8, 100, 100, 0, 0},  {"type 2", 2, 3, 8, 100, 100, 0, 0},
      {"bits 16", 3, 3, 16, 100, 100, 0, 0},      {"narrower than width + x", 3, 3, 8, 900, 100, 101, 0},
      {"lower than height + y", 3, 3, 8, 100, 700, 0, 101},
  };
  uint16_t err = 0xFFFF;
  ASSERT_EQ(Session().SetImageFormat(1, 1, 8, 50, 60, 2, 4, &err), 1);
  for (const Case &c : refused) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Session().SetImageFormat(c.type, c.components, c.bits, c.width, c.height, c.x, c.y, &err), 0);
    EXPECT_EQ(err, RESULT_BAD_PARAMETER);
    EXPECT_EQ(Job().type, 1);
    EXPECT_EQ(Job().components, 1);
    EXPECT_EQ(Job().width, 50);
    EXPECT_EQ(Job().height, 60);
    EXPECT_EQ(Session().Job().xOffset, 2);
    EXPECT_EQ(Session().Job().yOffset, 4);
  }
  ASSERT_EQ(Session().SetImageFormat(4, 3, 8, 900, 700, 100, 100, &err), 1);
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_EQ(Job().width, 900);
  EXPECT_EQ(Job().height, 700);
  EXPECT_EQ(Job().type, 4);
  EXPECT_EQ(Session().Job().xOffset, 100);
  EXPECT_EQ(Session().Job().yOffset, 100);
}

TEST_F(PrintTest, SetupWithACutCountOfZeroSendsNothingAndFreesTheLock) {
  const size_t before = Mark();
  uint8_t cuts[hostlib::kCutListBytes] = {0};
  uint16_t jobId = 0;
  uint8_t unit1[2] = {}, unit2[2] = {}, extra = 0;
  uint16_t err = 0;
  EXPECT_EQ(Session().SetupPrintJob(&jobId, unit1, unit2, &extra, 1, 0, 0, 0, 0, cuts, &err), 0);
  EXPECT_EQ(err, RESULT_BAD_LAYOUT);
  EXPECT_EQ(jobId, 0xFFFF);
  EXPECT_EQ(Mark(), before);
  EXPECT_TRUE(DeviceLockIsFree());
}

// The set-up on the wire: copies, the two flag fields packed into byte 2,
// the cut offsets, count and positions.
TEST_F(PrintTest, SetupCarriesTheJobSettingsOnTheWire) {
  struct Case {
    uint8_t flags1, flags2;
    uint8_t packed;  // byte 2
    bool cutList;
  };
  const Case cases[] = {{0, 0, 0x00, false}, {1, 0, 0x01, true}, {2, 0, 0x04, false},
                        {0, 1, 0x02, true},  {0, 2, 0x08, false}, {3, 3, 0x0F, true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "flags " << int(c.flags1) << "/" << int(c.flags2));
    uint8_t cuts[hostlib::kCutListBytes] = {3, 0x10, 0x01, 0x20, 0x02, 0x30, 0x03};
    const size_t before = Mark();
    uint16_t jobId = 0;
    uint8_t unit1[2] = {}, unit2[2] = {}, extra = 0;
    uint16_t err = 0xFFFF;
    ASSERT_EQ(Session().SetupPrintJob(&jobId, unit1, unit2, &extra, 0x0203, c.flags1, c.flags2, 0x0405, 0x0607,
                                      c.cutList ? cuts : nullptr, &err),
              1);
    const auto writes = usbctrl_double::Written(0);
    ASSERT_EQ(writes.size(), before + 1);
    const Bytes &packet = writes.back();
    ASSERT_EQ(packet.size(), kPayloadAt + 60);
    EXPECT_EQ(protocol::GetU16(packet.data()), protocol::CMD_SETUP_PRINT_JOB);
    Bytes expected = {0x03, 0x02, c.packed, 0, 0x05, 0x04, 0x07, 0x06};
    expected.resize(60, 0);
    if (c.cutList) {
      expected[8] = 3;
      const uint8_t positions[] = {0x10, 0x01, 0x20, 0x02, 0x30, 0x03};
      std::copy(std::begin(positions), std::end(positions), expected.begin() + 9);
    } else {
      expected[8] = protocol::CUT_COUNT_DEFAULT;
    }
    EXPECT_EQ(Bytes(packet.begin() + kPayloadAt, packet.end()), expected);
  }
}

// The answer names the job (byte 0 + device x 256) and the units' nibbles;
// a full buffer still delivers them and fails.
TEST_F(TwoPrinterTest, SetupAnswerGivesTheJobIdAndUnitInformation) {
  Select(1);
  uint16_t err = 0xFFFF;
  const Bytes answer = {0x07, 0x21, 0xB4, 0x5C};
  struct Case {
    const char *what;
    Bytes reply;
    int result;
    uint16_t code;
  };
  const Case cases[] = {
      {"accepted", Answer(answer), 1, RESULT_OK},
      {"buffer full", Refusal(0x21, answer), 0, RESULT_BUFFER_FULL},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Script({c.reply}, 1);
    uint16_t jobId = 0;
    uint8_t unit1[2] = {}, unit2[2] = {}, extra = 0;
    EXPECT_EQ(Session().SetupPrintJob(&jobId, unit1, unit2, &extra, 1, 1, 0, 0, 0, nullptr, &err), c.result);
    EXPECT_EQ(err, c.code);
    EXPECT_EQ(jobId, 0x0107);
    EXPECT_EQ(Session().Job().jobId, 0x0107);
    EXPECT_EQ(unit1[0], 0x1);
    EXPECT_EQ(unit1[1], 0x2);
    EXPECT_EQ(unit2[0], 0x4);
    EXPECT_EQ(unit2[1], 0xB);
    EXPECT_EQ(extra, 0x5C);
    EXPECT_TRUE(DeviceLockIsFree(1));
  }
}

TEST_F(PrintTest, SetupRefusedByThePrinterLeavesTheOutputsUnset) {
  Script({Refusal(protocol::REPLY_ERR_BAD_PARAMETER, {1, 2, 3, 4})});
  uint16_t jobId = 0;
  uint8_t unit1[2] = {}, unit2[2] = {}, extra = 0;
  uint16_t err = 0xFFFF;
  EXPECT_EQ(Session().SetupPrintJob(&jobId, unit1, unit2, &extra, 1, 1, 0, 0, 0, nullptr, &err), 0);
  EXPECT_EQ(err, RESULT_BAD_PARAMETER);
  EXPECT_EQ(jobId, 0xFFFF);
  EXPECT_EQ(unit1[0], 0xFF);
  EXPECT_EQ(extra, 0xFF);
}

// CMD_GET_JOB_STATUS asks for no job; the printer answers for the job
// printing next. Byte 3, the job's expected images, splits into the two
// flag fields.
TEST_F(PrintTest, JobStatusIsDecoded) {
  struct Case {
    uint8_t images;
    uint8_t flags1, flags2;
  };
  const Case cases[] = {{0x00, 0, 0}, {0x01, 1, 0}, {0x04, 2, 0}, {0x02, 0, 1}, {0x08, 0, 2}, {0x0F, 3, 3}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "images " << int(c.images));
    Bytes reply = {9, 0x34, 0x12, c.images, 0x78, 0x56, 0xBC, 0x9A};
    reply.resize(60, 0);
    for (size_t i = 8; i < 29; ++i) reply[i] = static_cast<uint8_t>(i);
    Script({Answer(reply)});
    const size_t before = Mark();
    uint16_t jobId = 0, value = 0, a = 0, b = 0, err = 0xFFFF;
    uint8_t flags1 = 0xFF, flags2 = 0xFF;
    uint8_t data[hostlib::kJobStatusDataBytes] = {};
    ASSERT_EQ(Session().GetJobStatus(&jobId, &value, &flags1, &flags2, &a, &b, data, &err), 1);
    EXPECT_EQ(err, RESULT_OK);
    // No job id goes out: the printer answers for the job printing next.
    EXPECT_EQ(usbctrl_double::Written(0)[before], (Bytes{0x0C, 0x40, 0x00, 0x00}));
    EXPECT_EQ(jobId, 9);
    EXPECT_EQ(value, 0x1234);
    EXPECT_EQ(flags1, c.flags1);
    EXPECT_EQ(flags2, c.flags2);
    EXPECT_EQ(a, 0x5678);
    EXPECT_EQ(b, 0x9ABC);
    EXPECT_EQ(Bytes(data, data + sizeof data), Bytes(reply.begin() + 8, reply.begin() + 29));
    EXPECT_TRUE(DeviceLockIsFree());
  }
}

// Refusals before the Print command send nothing of the job and leave the
// lock free.
TEST_F(PrintTest, StartPrintRefusalsSendNothingAndFreeTheLock) {
  struct Case {
    const char *what;
    uint16_t jobId;
    bool media;
    uint8_t printerState;
    uint16_t code;
  };
  const Case cases[] = {
      {"another printer's job", JobId(1, 1), true, protocol::PRINTER_STATE_READY, RESULT_BAD_PARAMETER},
      {"no media size", JobId(), false, protocol::PRINTER_STATE_READY, RESULT_BAD_PARAMETER},
      {"paper loading", JobId(), true, 0x33, RESULT_PAPER_LOADING},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    if (c.media) {
      SetMedia(100, 100);
    } else {
      ForgetMedia();
    }
    Job().width = 100;
    Job().height = 100;
    AddLaminate(10, "text");
    usbctrl_double::SetStatus(0, c.printerState, 0, 0);
    const size_t before = Mark();
    uint16_t err = 0xFFFF;
    EXPECT_EQ(Session().StartPrint(c.jobId, 0, &err), 0);
    EXPECT_EQ(err, c.code);
    for (uint16_t code : Commands(before)) EXPECT_EQ(code, protocol::CMD_GET_STATUS);
    EXPECT_FALSE(Session().HoldsDataPhaseLock());
    EXPECT_TRUE(DeviceLockIsFree());
    usbctrl_double::SetStatus(0, protocol::PRINTER_STATE_READY, 0, 0);
  }
}

// The laminate strings go out in entry order before the Print command: a
// refused string does not stop the job, a failed write does.
TEST_F(PrintTest, StartPrintSendsTheLaminateStringsThenThePrint) {
  using protocol::CMD_GET_STATUS;
  using protocol::CMD_PRINT;
  using protocol::CMD_SET_LAMINATE_STRING;
  struct Case {
    const char *what;
    std::vector<Bytes> replies;
    int writesBeforeFailure;
    int result;
    uint16_t code;
    std::vector<uint16_t> commands;
  };
  const Case cases[] = {
      {"all accepted", {}, -1, 1, RESULT_OK,
       {CMD_GET_STATUS, CMD_SET_LAMINATE_STRING, CMD_SET_LAMINATE_STRING, CMD_SET_LAMINATE_STRING, CMD_PRINT}},
      {"the second refused", {Status(), Answer({}), Refusal(protocol::REPLY_ERR_BAD_PARAMETER)}, -1, 1, RESULT_OK,
       {CMD_GET_STATUS, CMD_SET_LAMINATE_STRING, CMD_SET_LAMINATE_STRING, CMD_SET_LAMINATE_STRING, CMD_PRINT}},
      {"the second's write fails", {}, 2, 0, RESULT_USB_ERROR, {CMD_GET_STATUS, CMD_SET_LAMINATE_STRING}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    SetMedia(200, 100);
    uint16_t err = 0xFFFF;
    ASSERT_EQ(Session().SetImageFormat(3, 3, 8, 200, 100, 0, 0, &err), 1);
    AddLaminate(10, "A");
    AddLaminate(20, "BB");
    AddLaminate(30, "CCC");
    Script(c.replies);
    const size_t before = Mark();
    usbctrl_double::FailWritesAfter(0, c.writesBeforeFailure);
    EXPECT_EQ(Session().StartPrint(JobId(), 0, &err), c.result);
    usbctrl_double::FailWritesAfter(0, -1);
    EXPECT_EQ(err, c.code);
    EXPECT_EQ(Commands(before), c.commands);
    const auto writes = usbctrl_double::Written(0);
    for (size_t i = 1; i < c.commands.size() && c.commands[i] == CMD_SET_LAMINATE_STRING; ++i) {
      const Bytes &packet = writes[before + i];
      EXPECT_EQ(packet[kPayloadAt], i) << "entry number";
      EXPECT_EQ(packet[kPayloadAt + 1], 10 * i) << "x";
      EXPECT_EQ(packet[kPayloadAt + 7], i) << "text length";
    }
    EXPECT_EQ(Session().HoldsDataPhaseLock(), c.result == 1);
    EXPECT_EQ(DeviceLockIsFree(), c.result == 0);
    ASSERT_EQ(Session().EndPrintData(&err), 1);
    EXPECT_EQ(Session().Laminates().Count(), 0);
    EXPECT_TRUE(DeviceLockIsFree());
  }
}

TEST_F(PrintTest, PrintCommandCarriesTheImageAndMedia) {
  struct Case {
    uint16_t type, components;
    uint8_t typeByte;
  };
  const Case cases[] = {{3, 3, protocol::IMAGE_TYPE_COLOUR}, {4, 3, protocol::IMAGE_TYPE_COLOUR},
                        {1, 1, protocol::IMAGE_TYPE_ONE_BIT}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type);
    SetMedia(0x0302, 0x0504);
    uint16_t err = 0xFFFF;
    ASSERT_EQ(Session().SetImageFormat(c.type, c.components, 8, 0x0102, 0x0203, 0x0010, 0x0020, &err), 1);
    const uint16_t optionA = 0x0107;
    uint32_t size = 2;
    ASSERT_EQ(kt_setPrinterInfo(PINFTAG_PRINTOPT_A, &optionA, &size, &err), 1);
    const uint8_t optionB = 9;
    size = 1;
    ASSERT_EQ(kt_setPrinterInfo(PINFTAG_PRINTOPT_B, &optionB, &size, &err), 1);
    const size_t before = Mark();
    ASSERT_EQ(Session().StartPrint(JobId(0x2A), 0x5B, &err), 1);
    const Bytes packet = usbctrl_double::Written(0).back();
    ASSERT_EQ(Commands(before).back(), protocol::CMD_PRINT);
    const Bytes expected = {0x2A, 0x5B, 0,    0x02, 0x01, 0x03, 0x02, 0x02, 0x03,       0x04,
                            0x05, 0x10, 0x00, 0x20, 0x00, 0x07, c.typeByte, 9};
    EXPECT_EQ(Bytes(packet.begin() + kPayloadAt, packet.end()), expected);
    Session().EndPrintData(&err);
  }
}

// The lock StartPrint took holds through the data phase: ClearPrintFlag
// keeps it, EndPrintData gives it back.
TEST_F(PrintTest, DataPhaseHoldsTheDeviceLockUntilEndPrintData) {
  Start(100, 10, 3, 3);
  AddLaminate(1, "x");
  uint16_t err = 0xFFFF;
  EXPECT_FALSE(DeviceLockIsFree());
  ASSERT_EQ(Session().ClearPrintFlag(&err), 1);
  EXPECT_EQ(Session().Job().copies, 1);
  EXPECT_EQ(Session().Laminates().Count(), 0);
  EXPECT_FALSE(DeviceLockIsFree());
  ASSERT_EQ(Session().EndPrintData(&err), 1);
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_TRUE(DeviceLockIsFree());
}

TEST_F(TwoPrinterTest, CancelNamesTheJobAndFoldsThePrintersAnswer) {
  struct Case {
    const char *what;
    uint16_t jobId;
    std::vector<Bytes> replies;
    bool sent;
    uint8_t jobNumber;
    int result;
    uint16_t code;
  };
  const Case cases[] = {
      {"job 0: every job of the selected printer", 0, {}, true, 0, 1, RESULT_OK},
      {"a job of this printer", JobId(5), {}, true, 5, 1, RESULT_OK},
      {"another printer's job", JobId(5, 1), {}, false, 0, 0, RESULT_BAD_PARAMETER},
      {"refused as a bad parameter", JobId(5), {Refusal(protocol::REPLY_ERR_BAD_PARAMETER)}, true, 5, 0,
       RESULT_BAD_PARAMETER},
      {"errorCode 2", JobId(5), {Refusal(2)}, true, 5, 0, RESULT_USB_ERROR},
      {"errorCode 3", JobId(5), {Refusal(3)}, true, 5, 0, RESULT_USB_ERROR},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Script(c.replies);
    const size_t before = Mark();
    uint16_t err = 0xFFFF;
    EXPECT_EQ(Session().CancelPrintJob(c.jobId, 2, &err), c.result);
    EXPECT_EQ(err, c.code);
    const auto writes = usbctrl_double::Written(0);
    ASSERT_EQ(writes.size(), before + (c.sent ? 1 : 0));
    if (c.sent) {
      EXPECT_EQ(writes.back(), (Bytes{0x02, 0x40, 0x02, 0x00, c.jobNumber, 2}));
    }
    EXPECT_TRUE(DeviceLockIsFree());
  }
}

TEST_F(PrintTest, ResetJobFieldsRestoresTheDefaults) {
  Start(300, 200, 1, 1);
  uint16_t err = 0xFFFF;
  Session().EndPrintData(&err);
  int32_t sharpen[9] = {0, -10, 0, -10, 140, -10, 0, -10, 0};
  Session().SetFilter(sharpen);
  Job().lut[4][7] = 0;
  ASSERT_EQ(Session().ResetJobFields(&err), 1);
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_EQ(Job().width, 1200);
  EXPECT_EQ(Job().height, 1200);
  EXPECT_EQ(Job().components, 3);
  EXPECT_EQ(Job().type, 3);
  EXPECT_EQ(Job().filterOn, 0u);
  EXPECT_TRUE(Job().SetIsIdentity(2));
  EXPECT_EQ(Session().PrintOptionA(), 2);
  EXPECT_EQ(Session().PrintOptionB(), 1);
  EXPECT_EQ(Session().MediaWidth(), 1200);
  EXPECT_EQ(Session().MediaHeight(), 1200);
  const hostlib::PrintJob &job = Session().Job();
  EXPECT_EQ(job.jobId, 0);
  EXPECT_EQ(job.copies, 1);
  EXPECT_EQ(job.cutCount, protocol::CUT_COUNT_DEFAULT);
  for (uint8_t i = 0; i < hostlib::LaminateStrings::kMaxEntries; ++i) {
    const hostlib::LaminateString &entry = Session().Laminates().Entry(i);
    EXPECT_EQ(entry.number, i + 1);
    EXPECT_EQ(entry.x, 0);
    EXPECT_EQ(entry.style1, 1);
    EXPECT_EQ(entry.style2, 1);
    EXPECT_EQ(entry.textLength, 0);
    EXPECT_EQ(std::string(entry.text, sizeof entry.text), std::string(20, ' '));
  }
}

}  // namespace
}  // namespace hostlib_test
