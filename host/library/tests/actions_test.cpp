// The parameter, action and raw-access exports against the USB-access
// double: the bytes each sends, how each ends for every answer of the
// printer, the arguments refused before anything is sent, and the device
// lock free again after every call.
#include <atomic>
#include <climits>
#include <cstdint>
#include <functional>
#include <string>

#include "device_watcher.h"
#include "library_test_support.h"
#include "protocol/codes.h"
#include "protocol/replies.h"
#include "protocol/status_record.h"
#include "raw_commands.h"

namespace hostlib_test {
namespace {

using protocol::REPLY_ERR_BAD_PARAMETER;

class ActionsTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    usbctrl_double::AddPrinter("R0000001");
    Open();
  }
  static size_t WrittenCount() { return usbctrl_double::Written(0).size(); }
  static Bytes LastWritten() { return usbctrl_double::Written(0).back(); }
};

const Bytes kStatusPacket = {0x01, 0x00, 0x00, 0x00};

// A status reply that lets a pre-checked command go out.
Bytes StatusReply() { return ReplyBytes(0, 0, Bytes(protocol::STATUS_REPLY_SIZE, 0)); }

// One export as a call, what it sends last, and what a printer's refusal of
// that command (errorCode 1) becomes.
struct ExportCase {
  const char *name;
  std::function<int(uint16_t *)> call;
  Bytes packet;            // the last packet it writes
  bool statusFirst;        // asks for the status before its command
  bool locked;             // takes the device lock
  uint16_t refusedCode;    // a printer's bad parameter
};

uint8_t g_buffer[512];
uint32_t g_length;
uint8_t g_shortLength;

std::vector<ExportCase> Exports() {
  static const uint8_t kUniversal[] = {3, 129, 0x34, 0x12};
  static const uint8_t kPacket[] = {0x01, 0x00, 0x00, 0x00};
  return {
      {"kt_setParameter", [](uint16_t *e) { return kt_setParameter(0x41, 1000, e); },
       {0x07, 0x40, 0x05, 0x00, 0x41, 0xE8, 0x03, 0x00, 0x00}, false, true, RESULT_BAD_PARAMETER},
      {"kt_getParameter", [](uint16_t *e) { return kt_getParameter(0x41, g_buffer, e); },
       {0x05, 0x00, 0x01, 0x00, 0x41}, false, true, RESULT_BAD_PARAMETER},
      {"kt_getEEPROM", [](uint16_t *e) { return kt_getEEPROM(2, g_buffer, e); }, {0x0A, 0xC0, 0x01, 0x00, 0x02},
       false, true, RESULT_BAD_PARAMETER},
      {"kt_setDiagnostic", [](uint16_t *e) { return kt_setDiagnostic(1, 5, 6, e); },
       {0x01, 0xC0, 0x03, 0x00, 0x01, 0x00, 0x00}, false, true, RESULT_BAD_PARAMETER},
      {"kt_setDiagnostic of one device", [](uint16_t *e) { return kt_setDiagnostic(2, 5, 6, e); },
       {0x01, 0xC0, 0x03, 0x00, 0x02, 0x05, 0x06}, false, true, RESULT_BAD_PARAMETER},
      {"kt_getDiagnostic",
       [](uint16_t *e) {
         g_length = 10;
         return kt_getDiagnostic(g_buffer, &g_length, e);
       },
       {0x02, 0xC0, 0x00, 0x00}, false, true, RESULT_BAD_PARAMETER},
      {"kt_resetErrHistory", [](uint16_t *e) { return kt_resetErrHistory(e); }, {0x08, 0xC0, 0x00, 0x00}, false,
       true, RESULT_BAD_PARAMETER},
      {"kt_blinkLED", [](uint16_t *e) { return kt_blinkLED(e); }, {0x03, 0x40, 0x00, 0x00}, true, true,
       RESULT_BAD_PARAMETER},
      {"kt_resetPrinter", [](uint16_t *e) { return kt_resetPrinter(e); }, {0x04, 0x40, 0x02, 0x00, 0x03, 0x00}, true,
       true, RESULT_BAD_PARAMETER},
      {"kt_command_diagnostic", [](uint16_t *e) { return kt_command_diagnostic(1, 5, 6, g_buffer, e); },
       {0x01, 0xC0, 0x03, 0x00, 0x01, 0x05, 0x06}, false, false, RESULT_PRINTER_BAD_PARAMETER},
      {"kt_universal_command",
       [](uint16_t *e) { return kt_universal_command(kUniversal, sizeof kUniversal, g_buffer, &g_shortLength, e); },
       {0xFF, 0xC0, 0x04, 0x00, 3, 129, 0x34, 0x12}, false, false, RESULT_PRINTER_BAD_PARAMETER},
      {"kt_SendCommand",
       [](uint16_t *e) { return kt_SendCommand(kPacket, sizeof kPacket, g_buffer, &g_length, e); },
       {0x01, 0x00, 0x00, 0x00}, false, false, RESULT_OK},
  };
}

TEST_F(ActionsTest, EachExportSendsItsPacketAndSucceeds) {
  for (const ExportCase &c : Exports()) {
    SCOPED_TRACE(c.name);
    const size_t before = WrittenCount();
    uint16_t err = 0xFFFF;
    EXPECT_EQ(c.call(&err), 1);
    EXPECT_EQ(err, RESULT_OK);
    EXPECT_EQ(WrittenCount(), before + (c.statusFirst ? 2 : 1));
    EXPECT_EQ(LastWritten(), c.packet);
    EXPECT_TRUE(DeviceLockIsFree());
  }
}

TEST_F(ActionsTest, APrintersRefusalIsTheCallersBadParameter) {
  for (const ExportCase &c : Exports()) {
    SCOPED_TRACE(c.name);
    if (c.statusFirst) usbctrl_double::QueueRawReply(0, StatusReply());
    usbctrl_double::QueueRawReply(0, ReplyBytes(REPLY_ERR_BAD_PARAMETER, 0, {}));
    uint16_t err = 0xFFFF;
    const int expected = c.refusedCode == RESULT_OK ? 1 : 0;  // the raw packet's reply is not checked
    EXPECT_EQ(c.call(&err), expected);
    EXPECT_EQ(err, c.refusedCode);
    EXPECT_TRUE(DeviceLockIsFree());
  }
}

// A printer that stopped answering: each export fails after the read's
// time-out; the pre-checked ones send nothing but their status request.
TEST_F(ActionsTest, ASilentPrinterIsAUsbErrorAfterTheTimeOut) {
  usbctrl_double::DropCommands(0, 0, -1);
  for (const ExportCase &c : Exports()) {
    SCOPED_TRACE(c.name);
    const size_t before = WrittenCount();
    const uint64_t start = Elapsed();
    uint16_t err = 0xFFFF;
    EXPECT_EQ(c.call(&err), 0);
    EXPECT_EQ(err, RESULT_USB_ERROR);
    EXPECT_GE(Elapsed() - start, hostlib::kTransferTimeoutMs);
    ASSERT_EQ(WrittenCount(), before + 1);
    EXPECT_EQ(LastWritten(), c.statusFirst ? kStatusPacket : c.packet);
    EXPECT_TRUE(DeviceLockIsFree());
  }
}

TEST_F(ActionsTest, AnotherHolderOfTheDeviceLockMakesTheLockedExportsBusy) {
  HANDLE mutex = hostlib::g_aDeviceTable.mutex[0].load();
  std::atomic<bool> held{false};
  TestThread holder([&] {
    if (WaitForSingleObject(mutex, 0) != WAIT_OBJECT_0) return 1u;
    held = true;
    Sleep(100000);
    ReleaseMutex(mutex);
    return 0u;
  });
  Sleep(10);
  ASSERT_TRUE(held);
  for (const ExportCase &c : Exports()) {
    if (!c.locked) continue;
    SCOPED_TRACE(c.name);
    const size_t before = WrittenCount();
    uint16_t err = 0xFFFF;
    EXPECT_EQ(c.call(&err), 0);
    EXPECT_EQ(err, RESULT_DEVICE_BUSY);
    EXPECT_EQ(WrittenCount(), before);
  }
  EXPECT_EQ(holder.Join(), 0u);
}

TEST_F(ActionsTest, AGonePrinterIsNotRecognizedByTheLockedExports) {
  Sleep(1);  // lets the device watcher start
  ASSERT_EQ(usbctrl_double::Unplug(0), 1);
  Sleep(hostlib::kWatcherPollMs + 1);
  for (const ExportCase &c : Exports()) {
    SCOPED_TRACE(c.name);
    uint16_t err = 0xFFFF;
    EXPECT_EQ(c.call(&err), 0);
    EXPECT_EQ(err, c.locked ? RESULT_PRINTER_NOT_RECOGNIZED : RESULT_USB_ERROR);
  }
}

TEST_F(ActionsTest, WithoutASessionEveryExportSaysSo) {
  kt_close();
  for (const ExportCase &c : Exports()) {
    SCOPED_TRACE(c.name);
    uint16_t err = 0xFFFF;
    EXPECT_EQ(c.call(&err), 0);
    EXPECT_EQ(err, RESULT_NO_SESSION);
  }
  uint16_t err = 0xFFFF;
  uint32_t length = 1;
  EXPECT_EQ(kt_SendRawData(g_buffer, &length, &err), 0);
  EXPECT_EQ(err, RESULT_NO_SESSION);
  EXPECT_EQ(kt_undefine_command(&err), 0);
  EXPECT_EQ(err, RESULT_NO_SESSION);
}

// ---- Arguments refused before anything is sent ------------------------------------------

TEST_F(ActionsTest, BadArgumentsAreRefusedBeforeAnythingIsSent) {
  static const uint8_t kBytes[251] = {250};
  uint8_t reply[512];
  uint8_t shortLength = 0;
  uint32_t length = 0;
  struct Case {
    const char *what;
    std::function<int(uint16_t *)> call;
  };
  const Case cases[] = {
      {"universal of 251 bytes", [&](uint16_t *e) { return kt_universal_command(kBytes, 251, reply, &shortLength, e); }},
      {"universal of 0 bytes", [&](uint16_t *e) { return kt_universal_command(kBytes, 0, reply, &shortLength, e); }},
      {"universal of -1 bytes", [&](uint16_t *e) { return kt_universal_command(kBytes, -1, reply, &shortLength, e); }},
      {"universal of INT32_MIN bytes",
       [&](uint16_t *e) { return kt_universal_command(kBytes, INT32_MIN, reply, &shortLength, e); }},
      {"universal without data", [&](uint16_t *e) { return kt_universal_command(nullptr, 4, reply, &shortLength, e); }},
      {"universal without reply", [&](uint16_t *e) { return kt_universal_command(kBytes, 4, nullptr, &shortLength, e); }},
      {"universal without reply length", [&](uint16_t *e) { return kt_universal_command(kBytes, 4, reply, nullptr, e); }},
      {"command of -4 bytes", [&](uint16_t *e) { return kt_SendCommand(kBytes, -4, reply, &length, e); }},
      {"command of 0 bytes", [&](uint16_t *e) { return kt_SendCommand(kBytes, 0, reply, &length, e); }},
      {"command of 513 bytes", [&](uint16_t *e) { return kt_SendCommand(kBytes, 513, reply, &length, e); }},
      {"command without packet", [&](uint16_t *e) { return kt_SendCommand(nullptr, 4, reply, &length, e); }},
      {"command without reply", [&](uint16_t *e) { return kt_SendCommand(kBytes, 4, nullptr, &length, e); }},
      {"raw data of 0 bytes", [&](uint16_t *e) {
         length = 0;
         return kt_SendRawData(kBytes, &length, e);
       }},
      {"raw data without data", [&](uint16_t *e) {
         length = 4;
         return kt_SendRawData(nullptr, &length, e);
       }},
      {"raw data without length", [&](uint16_t *e) { return kt_SendRawData(kBytes, nullptr, e); }},
      {"parameter without value", [&](uint16_t *e) { return kt_getParameter(1, nullptr, e); }},
      {"head EEPROM without value", [&](uint16_t *e) { return kt_getEEPROM(1, nullptr, e); }},
      {"diagnosis without data", [&](uint16_t *e) {
         length = 10;
         return kt_getDiagnostic(nullptr, &length, e);
       }},
      {"diagnosis without length", [&](uint16_t *e) { return kt_getDiagnostic(reply, nullptr, e); }},
      {"direct diagnosis without data", [&](uint16_t *e) { return kt_command_diagnostic(1, 2, 3, nullptr, e); }},
  };
  const size_t before = WrittenCount();
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    uint16_t err = 0xFFFF;
    EXPECT_EQ(c.call(&err), 0);
    EXPECT_EQ(err, RESULT_BAD_PARAMETER);
    EXPECT_TRUE(DeviceLockIsFree());
  }
  EXPECT_EQ(WrittenCount(), before);
}

// ---- What the replies give the caller ---------------------------------------------------

TEST_F(ActionsTest, ParameterAndEepromValuesComeFromTheReply) {
  usbctrl_double::QueueRawReply(0, ReplyBytes(0, 0, {0xE8, 0x03, 0x00, 0x00}));
  uint8_t value[4] = {};
  uint16_t err = 0xFFFF;
  ASSERT_EQ(kt_getParameter(0x41, value, &err), 1);
  EXPECT_EQ(Bytes(value, value + 4), (Bytes{0xE8, 0x03, 0x00, 0x00}));
  usbctrl_double::QueueRawReply(0, ReplyBytes(0, 0, {0x64}));
  uint8_t byte = 0;
  ASSERT_EQ(kt_getEEPROM(1, &byte, &err), 1);
  EXPECT_EQ(byte, 0x64);
}

TEST_F(ActionsTest, DiagnosisResultsAreCutTo47Bytes) {
  Bytes results(protocol::DIAGNOSIS_RESULT_SIZE);
  for (size_t i = 0; i < results.size(); ++i) results[i] = static_cast<uint8_t>(i + 1);
  struct Case {
    uint32_t asked;
    uint32_t given;
  };
  for (const Case c : {Case{100, 47}, Case{48, 47}, Case{47, 47}, Case{5, 5}, Case{0, 0}}) {
    SCOPED_TRACE(c.asked);
    usbctrl_double::QueueRawReply(0, ReplyBytes(0, 0, results));
    uint8_t data[128];
    std::memset(data, 0xEE, sizeof data);
    uint32_t length = c.asked;
    uint16_t err = 0xFFFF;
    ASSERT_EQ(kt_getDiagnostic(data, &length, &err), 1);
    EXPECT_EQ(err, RESULT_OK);
    EXPECT_EQ(length, c.given);
    EXPECT_EQ(Bytes(data, data + c.given), Bytes(results.begin(), results.begin() + c.given));
    EXPECT_EQ(data[c.given], 0xEE) << "nothing past the copy";
  }
}

TEST_F(ActionsTest, AFailedDiagnosisReadGivesZeros) {
  struct Case {
    const char *what;
    std::function<void()> setup;
    uint16_t code;
  };
  const Case cases[] = {
      {"a refusal", [] { usbctrl_double::QueueRawReply(0, ReplyBytes(REPLY_ERR_BAD_PARAMETER, 0, {})); },
       RESULT_BAD_PARAMETER},
      {"a printer without room",
       [] { usbctrl_double::QueueRawReply(0, ReplyBytes(protocol::REPLY_ERR_NO_RESOURCE, 0, {})); },
       RESULT_DIAGNOSIS_FAILED},
      {"a reply cut short",
       [] {
         Bytes cut = ReplyBytes(0, 0, Bytes(protocol::DIAGNOSIS_RESULT_SIZE));
         cut.resize(20);
         usbctrl_double::QueueRawReply(0, cut);
       },
       RESULT_USB_ERROR},
      {"a silent printer", [] { usbctrl_double::DropCommands(0, protocol::CMD_GET_DIAGNOSIS_RESULT, 1); },
       RESULT_USB_ERROR},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    c.setup();
    uint8_t data[64];
    std::memset(data, 0xEE, sizeof data);
    uint32_t length = 100;
    uint16_t err = 0xFFFF;
    EXPECT_EQ(kt_getDiagnostic(data, &length, &err), 0);
    EXPECT_EQ(err, c.code);
    EXPECT_EQ(length, 47u);
    EXPECT_EQ(Bytes(data, data + 47), Bytes(47, 0));
    EXPECT_EQ(data[47], 0xEE);
    EXPECT_TRUE(DeviceLockIsFree());
  }
}

TEST_F(ActionsTest, RawRepliesReachTheCaller) {
  const Bytes universal = {5, 129, 0, 0x34, 0x12, 0};
  usbctrl_double::QueueRawReply(0, ReplyBytes(0, 0, universal));
  const uint8_t request[] = {3, 129, 0x34, 0x12};
  uint8_t reply[KT_UNIVERSAL_REPLY_SIZE] = {};
  uint8_t replyLength = 0;
  uint16_t err = 0xFFFF;
  ASSERT_EQ(kt_universal_command(request, sizeof request, reply, &replyLength, &err), 1);
  EXPECT_EQ(replyLength, universal.size());
  EXPECT_EQ(Bytes(reply, reply + replyLength), universal);

  // The raw reply comes back whole, an error reply included.
  const Bytes refusal = ReplyBytes(REPLY_ERR_BAD_PARAMETER, 0x31, {7, 8});
  usbctrl_double::QueueRawReply(0, refusal);
  const uint8_t packet[] = {0x05, 0x00, 0x01, 0x00, 0x09};
  uint8_t raw[KT_RAW_REPLY_SIZE] = {};
  uint32_t rawLength = 0;
  ASSERT_EQ(kt_SendCommand(packet, sizeof packet, raw, &rawLength, &err), 1);
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_EQ(Bytes(raw, raw + rawLength), refusal);
}

TEST_F(ActionsTest, RawDataGoesInWritesOf4096Bytes) {
  Bytes data(10000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  const size_t before = WrittenCount();
  uint32_t length = static_cast<uint32_t>(data.size());
  uint16_t err = 0xFFFF;
  ASSERT_EQ(kt_SendRawData(data.data(), &length, &err), 1);
  EXPECT_EQ(err, RESULT_OK);
  const auto written = usbctrl_double::Written(0);
  ASSERT_EQ(written.size(), before + 3);
  EXPECT_EQ(written[before], Bytes(data.begin(), data.begin() + 4096));
  EXPECT_EQ(written[before + 1], Bytes(data.begin() + 4096, data.begin() + 8192));
  EXPECT_EQ(written[before + 2], Bytes(data.begin() + 8192, data.end()));
}

// The model probe is dropped by a real printer: the read's time-out.
TEST_F(ActionsTest, TheUndefinedCommandSendsTheProbe) {
  usbctrl_double::DropCommands(0, 0, 1);
  const size_t before = WrittenCount();
  uint16_t err = 0xFFFF;
  EXPECT_EQ(kt_undefine_command(&err), 0);
  EXPECT_EQ(err, RESULT_USB_ERROR);
  ASSERT_EQ(WrittenCount(), before + 1);
  const auto &probe = protocol::kModelProbePacket;
  EXPECT_EQ(LastWritten(), Bytes(probe.begin(), probe.end()));
}

// ---- The raw command family ----------------------------------------------------------------

TEST_F(ActionsTest, TheRawFamilySendsEachMembersPacket) {
  hostlib::RawCommandArguments serial;
  serial.text = "S1234567";
  serial.count = 8;
  hostlib::RawCommandArguments parameter;
  parameter.b0 = 0x41;
  parameter.value = 1000;
  hostlib::RawCommandArguments reset;
  reset.b0 = protocol::RESET_KIND_PRINTER;
  struct Case {
    uint16_t code;
    hostlib::RawCommandArguments arguments;
    Bytes packet;
  };
  const Case cases[] = {
      {protocol::CMD_FLASH_LED, {}, {0x03, 0x40, 0x00, 0x00}},
      {protocol::CMD_RESET, reset, {0x04, 0x40, 0x02, 0x00, 0x03, 0x00}},
      {protocol::CMD_SET_PARAMETER, parameter, {0x07, 0x40, 0x05, 0x00, 0x41, 0xE8, 0x03, 0x00, 0x00}},
      {protocol::CMD_SET_SERIAL_NO, serial, {0x09, 0xC0, 0x08, 0x00, 'S', '1', '2', '3', '4', '5', '6', '7'}},
      {protocol::CMD_GET_PRINTER_ID_STATUS, parameter, {0x07, 0x00, 0x01, 0x00, 0x41}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.code);
    uint16_t err = 0xFFFF;
    EXPECT_EQ(hostlib::SendRawCommand(c.code, c.arguments, &err), 1);
    EXPECT_EQ(err, RESULT_OK);
    EXPECT_EQ(LastWritten(), c.packet);
  }
  const size_t before = WrittenCount();
  uint16_t err = 0xFFFF;
  EXPECT_EQ(hostlib::SendRawCommand(protocol::CMD_UNIVERSAL, {}, &err), 0) << "no member";
  EXPECT_EQ(err, RESULT_BAD_PARAMETER);
  serial.count = 7;
  EXPECT_EQ(hostlib::SendRawCommand(protocol::CMD_SET_SERIAL_NO, serial, &err), 0);
  EXPECT_EQ(err, RESULT_BAD_PARAMETER);
  EXPECT_EQ(WrittenCount(), before);
}

}  // namespace
}  // namespace hostlib_test
