// The USB command channel, printer end, through the in-process host port:
// the printer enumerates with its identity; the USB task answers status,
// media, model name and serial number itself; forwarded commands reach
// usb_comm in the application and their replies come back; the printer
// state refuses what it does not permit; malformed packets are dropped.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "firmware/control/event_states.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "firmware/control/event_set.h"
#include "firmware/control/host_status_table.h"
#include "firmware/devices/eeprom_map.h"
#include "firmware/devices/serial_number.h"
#include "firmware/hal/kernel.h"
#include "firmware/hostif/host_command_interface.h"
#include "firmware/hostif/usb_app_messages.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/platform/sftprn.h"
#include "firmware/sequences/sequence_words.h"
#include "protocol/codes.h"
#include "protocol/identity.h"
#include "protocol/media.h"
#include "protocol/replies.h"
#include "protocol/requests.h"
#include "protocol/status_record.h"
#include "sim/state_dir.h"
#include "tests/support/usb_task_kernel.h"

namespace {

using hostiftest::Bytes;
using hostiftest::Command;
using hostiftest::g_app;
using hostiftest::Reply;
using hostiftest::UsbCommandTest;
using sim::UsbOutcome;
using testsupport::Ms;
using namespace protocol;

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

void ExpectOk(const Reply& r, size_t dataLength) {
  ASSERT_EQ(r.outcome, UsbOutcome::Done);
  ASSERT_TRUE(r.bFramed) << "reply of " << r.raw.size() << " bytes";
  EXPECT_EQ(r.header.replyKind, REPLY_OK);
  EXPECT_EQ(r.header.errorCode, 0);
  EXPECT_EQ(r.data.size(), dataLength);
}

void ExpectError(const Reply& r, uint8_t errorCode, size_t dataLength) {
  ASSERT_EQ(r.outcome, UsbOutcome::Done);
  ASSERT_TRUE(r.bFramed) << "reply of " << r.raw.size() << " bytes";
  EXPECT_EQ(r.header.replyKind, REPLY_ERROR);
  EXPECT_EQ(r.header.errorCode, errorCode);
  EXPECT_EQ(r.data.size(), dataLength);
}

// ---- The printer as printer-sim runs it ------------------------------------------------

class PrinterOnTheCable : public testsupport::MachineTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PrinterOnTheCable, EnumeratesWithItsIdentityAndAnswersAtOnce) {
  sim::MachineOptions options;
  options.bUsbHighSpeed = GetParam();
  // The sample printer as it leaves the factory: it starts up without an
  // error.
  sim::Machine& m = BootNewPrinter(std::move(options));
  sim::UsbHostPort& host = m.UsbHost();
  ASSERT_TRUE(host.WaitForConfigured(Ms(10000))) << host.Hub().FailureReason();
  EXPECT_TRUE(m.Logged("[MAIN] IoctlConnectUsb ..."));

  // The factory's serial number, everywhere the host can read it.
  const sim::UsbDeviceIdentity& id = host.Identity();
  EXPECT_EQ(id.vendorId, USB_VENDOR_ID);
  EXPECT_EQ(id.productId, USB_PRODUCT_ID);
  EXPECT_EQ(id.manufacturer, std::string(USB_MANUFACTURER_TEXT));
  EXPECT_EQ(id.product, std::string(USB_PRODUCT_TEXT));
  EXPECT_EQ(id.serialNumber, testsupport::kSampleSerial);
  EXPECT_EQ(id.interfaceClass, USB_INTERFACE_CLASS_PRINTER);
  EXPECT_EQ(id.interfaceSubClass, USB_INTERFACE_SUBCLASS_PRINTER);
  EXPECT_EQ(id.interfaceProtocol, USB_INTERFACE_PROTOCOL_BIDIRECTIONAL);
  EXPECT_EQ(id.bulkOutEndpoint, USB_ENDPOINT_BULK_OUT);
  EXPECT_EQ(id.bulkInEndpoint, USB_ENDPOINT_BULK_IN);
  EXPECT_EQ(id.bulkInMaxPacket, GetParam() ? USB_BULK_PACKET_HIGH_SPEED : USB_BULK_PACKET_FULL_SPEED);
  Bytes deviceId(DEVICE_ID_RECORD_SIZE);
  EncodeDeviceIdRecord(testsupport::kSampleSerial, deviceId.data(), deviceId.size());
  EXPECT_EQ(id.deviceId, deviceId);
  EXPECT_EQ(host.GetDeviceId().data, deviceId);
  EXPECT_EQ(sim::UsbStringText(host.GetDescriptor(3, 4, 0x0409, 255).data), USB_CONFIG_HIGH_SPEED_TEXT);

  // Answered by the USB task from its mirrors and constants, once the
  // printer has settled in ready state A (the host sees it from the
  // start-up's connection on, before the states refresh the mirrors). A new
  // printer's status is zero but for "Key Enable" (data byte 80), whose
  // default is 1; the media mirror holds the start-up's default media
  // (colour 8x10 ribbons in both units: full size 2464 x 3024).
  m.RunUntil([] { return g_pCurEventMng == &g_EventMngReadyA; }, Ms(10000));
  ASSERT_EQ(g_pCurEventMng, &g_EventMngReadyA);
  m.RunFor(Ms(100));
  const Reply status = Command(host, CMD_GET_STATUS);
  ExpectOk(status, STATUS_REPLY_SIZE);
  Bytes expectedStatus(STATUS_REPLY_SIZE, 0);
  expectedStatus[80] = 1;
  EXPECT_EQ(status.data, expectedStatus);
  const Reply media = Command(host, CMD_GET_MEDIA_INFO);
  ExpectOk(media, MEDIA_INFO_REPLY_SIZE);
  EXPECT_EQ(media.data, (Bytes{3, 3, 1, 1, 0, 0xA0, 0x09, 0xD0, 0x0B, 0, 0, 0, 0}));
  ExpectOk(Command(host, CMD_GET_MEDIA_INFO_EX), MEDIA_INFO_EX_REPLY_SIZE);
  const Reply model = Command(host, CMD_GET_MODEL_NAME);
  ExpectOk(model, ModelNameReply::kSize);
  EXPECT_EQ(Text(model.data), "FB077300" + std::string(MODEL_NAME_TEXT));
  const Reply serial = Command(host, CMD_GET_SERIAL_NO);
  ExpectOk(serial, SerialNoReply::kSize);
  EXPECT_EQ(Text(serial.data), testsupport::kSampleSerial);

  // A forwarded command reaches usb_comm in the application's main loop and
  // its reply comes back.
  const Reply counters = Command(host, CMD_GET_COUNTERS);
  ExpectOk(counters, CountersReply::kSize);
  const Reply log = Command(host, CMD_GET_ERROR_LOG);
  ExpectOk(log, ErrorLogReply::kSize);
  ASSERT_EQ(log.data.size(), ErrorLogReply::kSize);
  EXPECT_EQ(log.data[0], 10) << "a blank history: ten empty records";
  for (size_t i = 1; i < log.data.size(); ++i) EXPECT_EQ(log.data[i], 0) << "byte " << i;
  EXPECT_TRUE(m.UnexpectedFaults().empty());
}

INSTANTIATE_TEST_SUITE_P(Speeds, PrinterOnTheCable, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return std::string(p.param ? "HighSpeed" : "FullSpeed");
                         });

class PrinterWithSerial : public testsupport::MachineTest {};

TEST_F(PrinterWithSerial, ShowsTheSerialNumberOfItsEepromCellEverywhere) {
  // A main EEPROM in the printer's layout (signature, a layout version no
  // cell is newer than, no cell to initialise) whose serial-number cell
  // holds A1234567.
  const std::string dir = testsupport::MakeTempDir();
  std::string eeprom(sim::StateDir::kMainEepromBytes, '\xFF');
  eeprom.replace(0, EEPROM_SIGNATURE_LENGTH, EEPROM_SIGNATURE, EEPROM_SIGNATURE_LENGTH);
  uint16_t usVersion = 0;
  for (const EepromCellSpec& cell : kMainEepromCells) usVersion = std::max(usVersion, cell.usVersion);
  eeprom[EEPROM_LAYOUT_VERSION_ADDR] = static_cast<char>(usVersion >> 8);
  eeprom[EEPROM_LAYOUT_VERSION_ADDR + 1] = static_cast<char>(usVersion & 0xFF);
  eeprom[EEPROM_INIT_FLAGS_ADDR] = eeprom[EEPROM_INIT_FLAGS_ADDR + 1] = 0;
  eeprom.replace(EEPROM_SERIAL_NO_ADDR, EEPROM_SERIAL_NO_BYTES, "A1234567");
  ASSERT_TRUE(sim::WriteFileAtomically(sim::StateDir(dir).MainEepromPath(), eeprom));
  sim::MachineOptions options;
  options.stateDir = dir;
  sim::Machine& m = Boot(std::move(options));
  sim::UsbHostPort& host = m.UsbHost();
  ASSERT_TRUE(host.WaitForConfigured(Ms(10000))) << host.Hub().FailureReason();
  EXPECT_TRUE(m.Logged("[MAIN] S/N = A1234567"));
  EXPECT_EQ(host.Identity().serialNumber, "A1234567");
  EXPECT_THAT(host.Identity().deviceIdText, ::testing::EndsWith("SN:A1234567;"));
  EXPECT_EQ(host.Identity().deviceId.size(), DEVICE_ID_RECORD_SIZE);
  EXPECT_EQ(Text(Command(host, CMD_GET_SERIAL_NO).data), "A1234567");
}

// ---- The command layer with the test application -------------------------------------------

TEST_F(UsbCommandTest, AnErasedSerialNumberShowsAsTheErasedTextEverywhere) {
  std::memset(g_app.acSerial, 0xFF, sizeof g_app.acSerial);
  sim::UsbHostPort& host = BootApp();
  EXPECT_EQ(host.Identity().serialNumber, SERIAL_NO_ERASED_TEXT);
  EXPECT_THAT(host.Identity().deviceIdText, ::testing::EndsWith("SN:P0000000;"));
  EXPECT_EQ(Text(Command(host, CMD_GET_SERIAL_NO).data), SERIAL_NO_ERASED_TEXT);
}

TEST_F(UsbCommandTest, StatusAndMediaRecordsReachTheMirrorsAndEveryReplyHeader) {
  sim::UsbHostPort& host = BootApp();
  InApp([] {
    SetStatusItem(SI_ERROR_MAJOR, 0x05, 0);
    SetStatusItem(SI_ERROR_MINOR, 0x17, 0);
    SetStatusItem(SI_AUX_STATUS, 0x02, 0);
    SetStatusItem(SI_COUNTER_TOTAL, 0x01020304, 0);
    SetStatusItem(SI_PAPER_REMAIN, 77, 0);
    SetStatusItem(SI_PRINT_MODE, 1, 0);
    SetStatusItem(SI_PRINTER_STATE, PRINTER_STATE_ERROR, 1);
    MediaInfoBlock* pMedia = nullptr;
    usb_comm_get_media_info_block(&pMedia);
    pMedia->record.media = MediaBytes{3, 4, 1, 2};
    pMedia->record.fullWidth = 1844;
    pMedia->record.fullLength = 2464;
    pMedia->record.sizeCount = 1;
    pMedia->record.sizes[0] = MediaSizeEntry{1200, 1800, 5, 6};
    usb_comm::regist_txreq_code(APPMSG_NOTIFY_MEDIA);
  });
  m_machine->RunUntil([] { return g_MediaMirror.fullWidth == 1844; }, Ms(100));

  const Reply status = Command(host, CMD_GET_STATUS);
  ExpectOk(status, STATUS_REPLY_SIZE);
  EXPECT_EQ(status.header.errorClass, 0x05);
  EXPECT_EQ(status.header.errorDetail, 0x17);
  EXPECT_EQ(status.header.auxStatus, 0x02);
  EXPECT_EQ(status.header.printerState, PRINTER_STATE_ERROR);
  StatusRecord record{};
  ReplyFrame frame{status.header, status.data.data(), static_cast<uint16_t>(status.data.size())};
  ASSERT_EQ(StatusFromReply(frame, &record), WIRE_OK);
  EXPECT_EQ(record.counterItems[0], 0x01020304u);
  EXPECT_EQ(record.paperRemain, 77);
  EXPECT_EQ(record.printMode, 1);

  const Reply media = Command(host, CMD_GET_MEDIA_INFO_EX);
  ExpectOk(media, MEDIA_INFO_EX_REPLY_SIZE);
  MediaInfoExReply ex{};
  ASSERT_EQ(DecodeReply(media.data.data(), media.data.size(), &ex), WIRE_OK);
  EXPECT_EQ(ex.media.ribbonKindR, 4);
  EXPECT_EQ(ex.sizeCount, 1);
  EXPECT_EQ(ex.sizes[0].length, 1800);
  // Every reply carries the last status, whoever answers it.
  EXPECT_EQ(Command(host, CMD_GET_MODEL_NAME).header.printerState, PRINTER_STATE_ERROR);
}

// The permission table by printer state: the upper nibble picks the column.
struct PermissionCase {
  const char* name;
  uint8_t state;
  uint16_t code;
  Bytes payload;
  bool bPermitted;
};

class Permission : public UsbCommandTest, public ::testing::WithParamInterface<PermissionCase> {};

TEST_P(Permission, GatedCommandsFollowThePrinterState) {
  const PermissionCase& c = GetParam();
  sim::UsbHostPort& host = BootApp();
  PublishState(c.state);
  const Reply r = Command(host, c.code, c.payload);
  ASSERT_EQ(r.outcome, UsbOutcome::Done);
  ASSERT_TRUE(r.bFramed);
  if (c.bPermitted) {
    EXPECT_NE(r.header.errorCode, c.state) << "answered by the application, not refused";
  } else {
    EXPECT_EQ(r.header.replyKind, REPLY_ERROR);
    EXPECT_EQ(r.header.errorCode, c.state);
  }
  // The refused command keeps its fixed data length.
  EXPECT_EQ(r.data.size(), FindCommand(c.code)->replyLength);
}

using PC = PermissionCase;
INSTANTIATE_TEST_SUITE_P(
    ByState, Permission,
    ::testing::Values(PC{"ErrorPermitsEverything", PRINTER_STATE_ERROR, CMD_SELF_DIAGNOSIS, {3, 1, 1}, true},
                      PC{"BufferFullRefusesCounters", PRINTER_STATE_BUFFER_FULL, CMD_GET_COUNTERS, {}, false},
                      PC{"SelfDiagnosisRefusesReset", PRINTER_STATE_SELF_DIAGNOSIS, CMD_RESET, {3, 0}, false},
                      PC{"LoadingRefusesErrorLog", PRINTER_STATE_PAPER_LOADING, CMD_GET_ERROR_LOG, {}, false},
                      PC{"LoadingPermitsFirmwareInfo", PRINTER_STATE_PAPER_LOADING, CMD_GET_FIRMWARE_INFO, {2}, true},
                      PC{"PrintingRefusesSetParameter", PRINTER_STATE_PRINTING, CMD_SET_PARAMETER, {1, 0, 0, 0, 0},
                         false},
                      PC{"UnitBPrintingRefusesDiagnosis", 0xE3, CMD_SELF_DIAGNOSIS, {3, 1, 1}, false},
                      PC{"UnitBPrintingPermitsCounters", 0xE1, CMD_GET_COUNTERS, {}, true},
                      PC{"PrintSubState71RefusesCounters", PRINTER_STATE_PRINT_71, CMD_GET_COUNTERS, {}, false}),
    [](const ::testing::TestParamInfo<PermissionCase>& p) { return std::string(p.param.name); });

TEST_F(UsbCommandTest, AResetRefusedByTheStateIsNotPosted) {
  sim::UsbHostPort& host = BootApp();
  PublishState(PRINTER_STATE_SELF_DIAGNOSIS);
  ExpectError(Command(host, CMD_RESET, {RESET_KIND_PRINTER, 0}), PRINTER_STATE_SELF_DIAGNOSIS, 0);
  m_machine->RunFor(Ms(50));
  EXPECT_EQ(g_EventSet & (uint64_t{1} << EV_SYSTEM_RESET), 0u);
  // Permitted again, the same reset is answered first and then raises the
  // printer's reset event in the application.
  PublishState(PRINTER_STATE_READY);
  ExpectOk(Command(host, CMD_RESET, {RESET_KIND_PRINTER, 0}), 0);
  m_machine->RunUntil([] { return (g_EventSet & (uint64_t{1} << EV_SYSTEM_RESET)) != 0; }, Ms(100));
  EXPECT_NE(g_EventSet & (uint64_t{1} << EV_SYSTEM_RESET), 0u);
}

TEST_F(UsbCommandTest, MalformedAndUnknownPacketsAndTheNextCommand) {
  sim::UsbHostPort& host = BootApp();
  // A length field that the bytes do not match: dropped without a reply.
  for (const Bytes& packet : {Bytes{0x03, 0x00, 0x05, 0x00}, Bytes{0x01, 0x00, 0x00, 0x00, 0xAA},
                              Bytes(kModelProbePacket.begin(), kModelProbePacket.end())}) {
    ASSERT_EQ(host.BulkOut(packet, Ms(1000)).outcome, UsbOutcome::Done);
    const sim::UsbTransferResult none = host.BulkIn(1024, Ms(200));
    EXPECT_EQ(none.outcome, UsbOutcome::NakTimeout);
    EXPECT_TRUE(none.data.empty());
  }
  // Codes the printer does not serve, listed by the host or not.
  for (uint16_t code : {uint16_t{CMD_WAKEUP_STANDBY}, uint16_t{CMD_USB_FIRMWARE_DOWNLOAD}, uint16_t{0x0000},
                        uint16_t{0xFFFF}}) {
    ExpectError(Command(host, code), REPLY_ERR_UNKNOWN_COMMAND, 0);
  }
  const Reply status = Command(host, CMD_GET_STATUS);
  ExpectOk(status, STATUS_REPLY_SIZE);
  EXPECT_EQ(status.raw.size(), 110u);
}

TEST_F(UsbCommandTest, ForwardedRepliesCarryTheApplicationsAnswers) {
  sim::UsbHostPort& host = BootApp();
  InApp([] {
    for (uint32_t i = 0; i < 6; ++i) SetStatusItem(SI_COUNTER_CUT + i, 1000 + i, 0);
  });
  const Reply counters = Command(host, CMD_GET_COUNTERS);
  ExpectOk(counters, CountersReply::kSize);
  CountersReply c{};
  ASSERT_EQ(DecodeReply(counters.data.data(), counters.data.size(), &c), WIRE_OK);
  EXPECT_EQ(c.cut, 1000u);
  EXPECT_EQ(c.headPrintsR, 1005u);

  // Parser checks answered at once by the application.
  ExpectError(Command(host, CMD_READ_TONE_CURVE, {1, 9}), REPLY_ERR_BAD_PARAMETER, 2);
  ExpectError(Command(host, CMD_GET_FIRMWARE_INFO, {0}), REPLY_ERR_BAD_PARAMETER, FirmwareInfoRecord::kSize);
  ExpectError(Command(host, CMD_GET_FIRMWARE_INFO, {5}), REPLY_ERR_BAD_PARAMETER, FirmwareInfoRecord::kSize);
  ExpectError(Command(host, CMD_GET_EEPROM_MAINTENANCE, {0, 0}), REPLY_ERR_REFUSED, 0);
  const Reply firmware = Command(host, CMD_GET_FIRMWARE_INFO, {FW_COMPONENT_MAIN});
  ExpectOk(firmware, FirmwareInfoRecord::kSize);
  // The diagnosis record as the sequences left it, byte for byte.
  g_ucDiagResults[DIAG_PASSED] = 1;
  g_ucDiagResults[DIAG_CIS_LED] = 40;
  g_ucDiagResults[DIAG_RESULT_BYTES - 1] = 0xA5;
  const Reply diagnosis = Command(host, CMD_GET_DIAGNOSIS_RESULT);
  ExpectOk(diagnosis, DIAGNOSIS_RESULT_SIZE);
  ASSERT_EQ(diagnosis.data.size(), DIAGNOSIS_RESULT_SIZE);
  EXPECT_EQ(diagnosis.data[DIAG_PASSED], 1);
  EXPECT_EQ(diagnosis.data[DIAG_CIS_LED], 40);
  EXPECT_EQ(diagnosis.data[DIAG_CIS_OFFSET], 0);
  EXPECT_EQ(diagnosis.data.back(), 0xA5);
  ExpectOk(Command(host, CMD_GET_BUFFER_STATUS), BufferStatusReply::kSize);

  // A handler answers through its command event.
  const Reply universal = Command(host, CMD_UNIVERSAL, {3, 7, 1, 2});
  ExpectOk(universal, 3);
  EXPECT_EQ(universal.data, (Bytes{2, 7, UNIVERSAL_RESULT_UNKNOWN}));
}

TEST_F(UsbCommandTest, MaintenancePermissionIsGoodForOneCommand) {
  sim::UsbHostPort& host = BootApp();
  const Bytes eeprom = {0x10, 0x00, 0xAB};
  ExpectError(Command(host, CMD_SET_EEPROM_MAINTENANCE, eeprom), REPLY_ERR_NO_PERMISSION, 0);
  ExpectOk(Command(host, CMD_MAINTENANCE_PERMISSION, {1, 2}), 0);
  ExpectError(Command(host, CMD_SET_EEPROM_MAINTENANCE, eeprom), REPLY_ERR_REFUSED, 0);
  ExpectError(Command(host, CMD_SET_EEPROM_MAINTENANCE, eeprom), REPLY_ERR_NO_PERMISSION, 0);
  // A permission followed by a command the state refuses is used up too.
  ExpectOk(Command(host, CMD_MAINTENANCE_PERMISSION, {1, 2}), 0);
  PublishState(PRINTER_STATE_PAPER_LOADING);
  ExpectError(Command(host, CMD_SET_EEPROM_MAINTENANCE, eeprom), PRINTER_STATE_PAPER_LOADING, 0);
  PublishState(PRINTER_STATE_READY);
  ExpectError(Command(host, CMD_SET_EEPROM_MAINTENANCE, eeprom), REPLY_ERR_NO_PERMISSION, 0);
  // A reset of kind 2 is answered and goes nowhere.
  ExpectOk(Command(host, CMD_RESET, {RESET_KIND_ANSWER_ONLY, 0}), 0);
}

TEST_F(UsbCommandTest, StateChangingCommandsWithShortPayloadsAreRefused) {
  sim::UsbHostPort& host = BootApp();
  // The job handlers publish the job status, which brings the application's
  // printer state to the host: a ready printer.
  PublishState(PRINTER_STATE_READY);
  struct ShortCase {
    uint16_t code;
    size_t sent;
    uint16_t replyLength;
  };
  for (const ShortCase& c : {ShortCase{CMD_SET_SERIAL_NO, 0, 0}, ShortCase{CMD_SET_SERIAL_NO, 7, 0},
                             ShortCase{CMD_PRINT, 17, 1}, ShortCase{CMD_UPDATE, 9, 0}, ShortCase{CMD_RESET, 1, 0},
                             ShortCase{CMD_SET_PARAMETER, 4, 0}, ShortCase{CMD_SETUP_PRINT_JOB, 30, 4},
                             ShortCase{CMD_MAINTENANCE_PERMISSION, 0, 0}, ShortCase{CMD_UNIVERSAL, 0, 1}}) {
    SCOPED_TRACE(c.code);
    ExpectError(Command(host, c.code, Bytes(c.sent, 'Z')), REPLY_ERR_BAD_PARAMETER, c.replyLength);
  }
  // Nothing of them changed the serial number or reached the application.
  EXPECT_EQ(Text(Command(host, CMD_GET_SERIAL_NO).data), "T7300001");
  SetSerialBlock* pSerial = nullptr;
  usb_comm_get_set_serial_block(&pSerial);
  EXPECT_EQ(std::string(pSerial->acSerial, 8), std::string(8, '\0'));
  // Reading commands take a missing byte as 0 (the host library sends no
  // job id): answered, not refused.
  ExpectError(Command(host, CMD_GET_JOB_STATUS), REPLY_ERR_BAD_PARAMETER, JobStatusReply::kSize);
  // A universal count that names bytes the request does not carry.
  ExpectError(Command(host, CMD_UNIVERSAL, {5, 1, 2}), REPLY_ERR_BAD_PARAMETER, 1);
  Bytes tooMany(251, 0);
  tooMany[0] = 250;
  ExpectError(Command(host, CMD_UNIVERSAL, tooMany), REPLY_ERR_BAD_PARAMETER, 1);
}

// The USB task of this test runs jobs of the test before each pass, as the
// firmware's USB task runs UsbPoll every 2 ms.
std::vector<std::function<void()>> g_usbJobs;

void UsbTaskWithJobs(VP_INT) {
  for (;;) {
    for (auto& job : g_usbJobs) job();
    g_usbJobs.clear();
    UsbPoll();
    dly_tsk(USB_TASK_PERIOD_MS);
  }
}

TEST_F(UsbCommandTest, ToneCurvePiecesGoOutOnePerPassAndEndWithZeroToCome) {
  static testsupport::KernelWithUsbTask kernel(UsbTaskWithJobs);
  sim::MachineOptions options = hostiftest::AppOptions();
  options.kernel = &kernel.config;
  sim::UsbHostPort& host = BootApp(std::move(options));
  // A stored curve goes out of the bank's RAM mirror: 1536 bytes in 96
  // pieces, the count of those still to come falling to 0.
  const Reply accepted = Command(host, CMD_READ_TONE_CURVE, {1, 1});
  ExpectOk(accepted, 2);
  EXPECT_EQ(accepted.data, (Bytes{0x00, 0x06}));
  for (uint32_t i = 0; i < 96; ++i) {
    const Bytes piece = host.BulkIn(64, Ms(100)).data;
    ASSERT_EQ(piece.size(), 18u) << i;
    EXPECT_EQ(piece[0], static_cast<uint8_t>(95 - i)) << i;
  }

  // The sender on its own, from a curve of 40 bytes in RAM.
  constexpr PhysAddr kCurve = 0xC4000000u;
  uint8_t* pucCurve = m_machine->GetBoard().GetBus().RamPointer(kCurve, 40);
  for (uint32_t i = 0; i < 40; ++i) pucCurve[i] = static_cast<uint8_t>(0xA0 + i);
  bool bStarted = false;
  g_usbJobs.push_back([&bStarted] {
    StartPieceSend(40, APPMSG_TONE_CURVE_DATA, 10000, kCurve);
    g_ucUsbCmdState = USB_CMD_SEND_PIECES;
    bStarted = true;
  });
  m_machine->RunUntil([&bStarted] { return bStarted; }, Ms(100));
  std::vector<Bytes> pieces;
  for (int i = 0; i < 3; ++i) pieces.push_back(host.BulkIn(64, Ms(100)).data);
  ASSERT_EQ(pieces[0].size(), 18u);
  EXPECT_EQ(pieces[0][0], 2);
  EXPECT_EQ(pieces[0][1], 16);
  EXPECT_EQ(pieces[0][2], 0xA0);
  EXPECT_EQ(pieces[1][0], 1);
  EXPECT_EQ(pieces[2], (Bytes{0, 8, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7}));
  m_machine->RunFor(Ms(10));
  EXPECT_EQ(g_ucUsbCmdState, USB_CMD_IDLE);
  ExpectOk(Command(host, CMD_GET_STATUS), STATUS_REPLY_SIZE);
}

TEST_F(UsbCommandTest, SetSerialNumberChangesTheRamCopyNotTheIdentity) {
  sim::UsbHostPort& host = BootApp();
  // The USB task changes the RAM copy; the EEPROM writes are the
  // application's handler's. The identity stays until the next start.
  ExpectOk(Command(host, CMD_SET_SERIAL_NO, {'B', '7', '6', '5', '4', '3', '2', '1'}), 0);
  EXPECT_EQ(Text(Command(host, CMD_GET_SERIAL_NO).data), "B7654321");
  SetSerialBlock* pSerial = nullptr;
  usb_comm_get_set_serial_block(&pSerial);
  EXPECT_EQ(std::string(pSerial->acSerial, 8), "B7654321");
  EXPECT_EQ(host.Identity().serialNumber, "T7300001");
  EXPECT_EQ(sim::UsbStringText(host.GetDescriptor(3, 3, 0x0409, 255).data), "T7300001");
}

}  // namespace
