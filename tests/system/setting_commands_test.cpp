// The host's access to the printer's configuration through the in-process
// host port, on the whole firmware: settings and life counters by parameter
// id, the serial number (at once, in the EEPROMs, and after a restart in the
// USB identity), the head-EEPROM byte and the universal command's sub-codes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <utility>
#include <string>
#include <vector>

#include "firmware/control/app_startup.h"
#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/host_status_table.h"
#include "firmware/devices/eeprom.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/settings.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/printengine/head_line_log.h"
#include "firmware/printengine/print_geometry.h"
#include "protocol/codes.h"
#include "sim/bus.h"
#include "sim/memory/board_eeproms.h"
#include "sim/run_boots.h"
#include "sim/usb/usb_host_port.h"
#include "tests/support/machine_test.h"

namespace {

using hostiftest::Bytes;
using hostiftest::Command;
using hostiftest::ErrorCodeOf;
using hostiftest::Reply;
using testsupport::Ms;
using namespace protocol;

constexpr uint8_t kOk = 0;
constexpr uint8_t kBad = REPLY_ERR_BAD_PARAMETER;
constexpr uint8_t kWriteFailed = REPLY_ERR_UNIT_ERROR;

Bytes U32Bytes(int32_t lValue) {
  const auto ulValue = static_cast<uint32_t>(lValue);
  return {static_cast<uint8_t>(ulValue), static_cast<uint8_t>(ulValue >> 8), static_cast<uint8_t>(ulValue >> 16),
          static_cast<uint8_t>(ulValue >> 24)};
}

Bytes SetParameterPayload(uint8_t ucId, int32_t lValue) {
  Bytes payload{ucId};
  const Bytes value = U32Bytes(lValue);
  payload.insert(payload.end(), value.begin(), value.end());
  return payload;
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

sim::BoardEeproms& Eeproms(sim::Machine& m) { return *m.GetBoard().FindDevice<sim::BoardEeproms>(); }

class SettingCommandsTest : public testsupport::MachineTest {
 protected:
  sim::UsbHostPort& BootPrinter(sim::MachineOptions options = {}) {
    sim::Machine& m = Boot(std::move(options));
    sim::UsbHostPort& host = m.UsbHost();
    EXPECT_TRUE(host.WaitForConfigured(Ms(10000))) << host.Hub().FailureReason();
    EXPECT_TRUE(hostiftest::WaitForSettledStatus(m));
    return host;
  }

  int SetParameter(uint8_t ucId, int32_t lValue) {
    return ErrorCodeOf(Command(m_machine->UsbHost(), CMD_SET_PARAMETER, SetParameterPayload(ucId, lValue)));
  }

  // errorCode and the value of a parameter read.
  std::pair<int, int32_t> GetParameter(uint8_t ucId) {
    const Reply r = Command(m_machine->UsbHost(), CMD_GET_PARAMETER, {ucId});
    int32_t lValue = 0;
    if (r.data.size() == 4) std::memcpy(&lValue, r.data.data(), 4);
    return {ErrorCodeOf(r), lValue};
  }

  // The reply data of a universal request: {m, m bytes}.
  Bytes Universal(const Bytes& request) {
    Bytes payload{static_cast<uint8_t>(request.size())};
    payload.insert(payload.end(), request.begin(), request.end());
    const Reply r = Command(m_machine->UsbHost(), CMD_UNIVERSAL, payload);
    EXPECT_EQ(ErrorCodeOf(r), 0);
    if (r.data.empty()) return {};
    EXPECT_EQ(r.data[0] + 1u, r.data.size());
    return Bytes(r.data.begin() + 1, r.data.end());
  }

  void RunInApp(std::function<void()> step) { ASSERT_TRUE(m_machine->RunStep(std::move(step), Ms(2000))); }
};

// ---- Parameters ---------------------------------------------------------------------

// Each row sets a parameter and reads it back, in order: a refused value
// leaves what the row before it set.
TEST_F(SettingCommandsTest, ParametersFollowTheirIdsAndLimits) {
  BootPrinter();
  struct Case {
    const char* what;
    uint8_t ucId;
    int32_t lValue;
    int setResult;
    int getResult;
    int32_t lReadBack;
  };
  const Case cases[] = {
      {"empty id 0", 0, 5, kBad, kBad, 0},
      {"empty id 6", 6, 300, kBad, kBad, 0},
      {"empty id 200", 200, 5, kBad, kBad, 0},
      {"empty id 224", 224, 5, kBad, kBad, 0},
      {"empty counter id 238", 238, 5, kBad, kBad, 0},
      {"THV Y L at its minimum", 1, 280, kOk, kOk, 280},
      {"THV Y L below it", 1, 279, kBad, kOk, 280},
      {"THV SP R at its maximum", 14, 1023, kOk, kOk, 1023},
      {"THV SP R above it", 14, 1024, kBad, kOk, 1023},
      {"Matte Adjust negative", 22, -25, kOk, kOk, -25},
      {"Matte Adjust below", 22, -26, kBad, kOk, -25},
      {"OP Level -1", 169, -1, kOk, kOk, -1},
      {"OP Level 256", 169, 256, kBad, kOk, -1},
      {"TProtectL Lv 255", 165, 255, kOk, kOk, 255},
      {"TProtectL Lv 256, more than its one-byte cell holds", 165, 256, kBad, kOk, 255},
      {"a value far out of any range", 25, INT32_MIN, kBad, kOk, 1},
      {"Time [sec]", 25, 100, kOk, kOk, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(SetParameter(c.ucId, c.lValue), c.setResult);
    const auto [getResult, lValue] = GetParameter(c.ucId);
    EXPECT_EQ(getResult, c.getResult);
    EXPECT_EQ(lValue, c.lReadBack);
  }
}

TEST_F(SettingCommandsTest, EngineVersionSwitchesTheVariantAtOnce) {
  BootPrinter();
  EXPECT_EQ(g_ulEngColorRibbon, 1u) << "the default version 5 is an EM3 engine";
  struct Case {
    int32_t lVersion;
    int result;
    int32_t lStored;
    uint32_t ulColorRibbon;
  };
  const Case cases[] = {{1, kOk, 1, 0}, {3, kOk, 3, 1}, {6, kBad, 3, 1}, {0, kBad, 3, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lVersion);
    EXPECT_EQ(SetParameter(129, c.lVersion), c.result);
    EXPECT_EQ(SettingValue(g_ParamEngineVersion), c.lStored);
    EXPECT_EQ(g_ulEngColorRibbon, c.ulColorRibbon);
  }
}

TEST_F(SettingCommandsTest, CounterIdsResetTheirCounterWhateverTheValue) {
  BootPrinter();
  struct Case {
    uint8_t ucId;
    CLifeCounter* pCounter;
    uint32_t ulItem;
    int32_t lValue;
  };
  const Case cases[] = {
      {225, &g_CounterTotal, SI_COUNTER_TOTAL, 999},
      {240, &g_CounterCut, SI_COUNTER_CUT, 0},
      {255, &g_CounterMainPin, 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ucId);
    RunInApp([&] {
      c.pCounter->Write(1234);
      RefreshCounterItems();
    });
    EXPECT_EQ(GetParameter(c.ucId), std::make_pair(0, int32_t{1234}));
    EXPECT_EQ(SetParameter(c.ucId, c.lValue), kOk);
    EXPECT_EQ(GetParameter(c.ucId), std::make_pair(0, int32_t{0}));
    if (c.ulItem != 0) {
      EXPECT_EQ(GetStatusItem(c.ulItem), 0u);
    }
  }
}

// Ids 153-156 recompute the print edges after every set request, a refused
// one included: they follow the stored values.
TEST_F(SettingCommandsTest, OffsetIdsRecomputeThePrintEdges) {
  BootPrinter();
  EXPECT_EQ(SetParameter(153, 10), kOk);
  EXPECT_EQ(SetParameter(154, -64), kOk);
  EXPECT_EQ(SetParameter(156, 127), kOk);
  EXPECT_EQ(g_PrintGeometry.LeftEdge(), -10);
  EXPECT_EQ(g_PrintGeometry.RightEdge(), 2560 + 64);
  EXPECT_EQ(g_PrintGeometry.MgEdgeR(), g_PrintGeometry.WidthB() - 127);
  RunInApp([] { g_ParamMgOffsetL.SetValueNoSave(-7); });
  EXPECT_EQ(SetParameter(155, 128), kBad);
  EXPECT_EQ(g_PrintGeometry.MgEdgeL(), g_PrintGeometry.WidthB() - 7);
  EXPECT_EQ(SettingValue(g_ParamMgOffsetL), -7);
}

// ---- Serial number ----------------------------------------------------------------------

TEST_F(SettingCommandsTest, ANewSerialNumberIsAnsweredAtOnceAndStoredInEveryEeprom) {
  sim::UsbHostPort& host = BootPrinter();
  sim::BoardEeproms& parts = Eeproms(*m_machine);
  const std::string serial = "N1234567";
  EXPECT_EQ(ErrorCodeOf(Command(host, CMD_SET_SERIAL_NO, Bytes(serial.begin(), serial.end()))), kOk);
  EXPECT_EQ(Text(Command(host, CMD_GET_SERIAL_NO).data), serial);
  std::string stored;
  for (uint32_t i = 0; i < 8; ++i) stored += static_cast<char>(parts.Main().PeekByte(20 + i));
  EXPECT_EQ(stored, serial);
  for (uint32_t unit = 0; unit < 2; ++unit) {
    EXPECT_EQ(parts.Head(unit).PeekByte(80), '1') << unit;
    EXPECT_EQ(parts.Head(unit).PeekByte(81), '2') << unit;
  }
  // Until the next start the printer enumerates with the number it started
  // with.
  EXPECT_EQ(host.Identity().serialNumber, "R0000000");
}

// A write the EEPROM does not take is reported to the host, whichever part
// fails; the same request goes through once the part is back.
TEST_F(SettingCommandsTest, FailedEepromWritesAreReported) {
  sim::UsbHostPort& host = BootPrinter();
  sim::BoardEeproms& parts = Eeproms(*m_machine);
  using Part = sim::BoardEeproms::Part;
  struct Case {
    const char* what;
    Part part;
    uint16_t usCode;
    Bytes payload;
    int failed;
    Bytes failedData;  // the reply's data when the write failed
  };
  const Case cases[] = {
      {"serial number, main part", Part::Main, CMD_SET_SERIAL_NO, Bytes(8, 'F'), kWriteFailed, {}},
      {"serial number, head L", Part::HeadL, CMD_SET_SERIAL_NO, Bytes(8, 'F'), kWriteFailed, {}},
      {"serial number, head R", Part::HeadR, CMD_SET_SERIAL_NO, Bytes(8, 'F'), kWriteFailed, {}},
      {"a setting", Part::Main, CMD_SET_PARAMETER, SetParameterPayload(1, 300), kWriteFailed, {}},
      {"a counter reset", Part::Main, CMD_SET_PARAMETER, SetParameterPayload(225, 0), kWriteFailed, {}},
      {"universal 241", Part::Main, CMD_UNIVERSAL, {3, 241, 200, 0x5A}, kOk, {2, 241, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    parts.Get(c.part).SetAbsent(true);
    const Reply failed = Command(host, c.usCode, c.payload);
    EXPECT_EQ(ErrorCodeOf(failed), c.failed);
    EXPECT_EQ(failed.data, c.failedData);
    parts.Get(c.part).SetAbsent(false);
    EXPECT_EQ(ErrorCodeOf(Command(host, c.usCode, c.payload)), kOk);
  }
  RunInApp([] { g_ErrorMng.ClearError(CEeprom::kErrorWriteFailed); });
}

// Values and the serial number set by the host survive a restart; the
// printer then enumerates with the new number.
TEST(SettingCommandsBoots, ValuesAndTheSerialNumberSurviveARestart) {
  const std::string dir = testsupport::MakeTempDir();
  const std::vector<int> codes = sim::RunBoots(2, [&](int index) {
    sim::MachineOptions options;
    options.stateDir = dir;
    sim::Machine m(options);
    sim::UsbHostPort& host = m.UsbHost();
    if (!host.WaitForConfigured(Ms(20000))) return 1;
    // The first start writes the tone-curve banks after the device connects.
    if (m.RunUntil([&m] { return m.Logged("Main Loop ..."); }, Ms(30000)) != sim::RunResult::ConditionMet) return 10;
    if (index == 0) {
      const std::string serial = "Z7654321";
      const bool bSet = ErrorCodeOf(Command(host, CMD_SET_PARAMETER, SetParameterPayload(1, 300))) == 0 &&
                        ErrorCodeOf(Command(host, CMD_SET_PARAMETER, SetParameterPayload(129, 1))) == 0 &&
                        ErrorCodeOf(Command(host, CMD_SET_SERIAL_NO, Bytes(serial.begin(), serial.end()))) == 0;
      return bSet ? 0 : 2;
    }
    const Reply thv = Command(host, CMD_GET_PARAMETER, {1});
    if (thv.data != U32Bytes(300)) return 3;
    if (SettingValue(g_ParamEngineVersion) != 1 || g_ulEngColorRibbon != 0) return 4;
    if (host.Identity().serialNumber != "Z7654321") return 5;
    const std::string& id = host.Identity().deviceIdText;
    if (id.size() < 12 || id.substr(id.size() - 12) != "SN:Z7654321;") return 6;
    if (sim::UsbStringText(host.GetDescriptor(3, 3, 0x0409, 255).data) != "Z7654321") return 7;
    if (Text(Command(host, CMD_GET_SERIAL_NO).data) != "Z7654321") return 8;
    return m.UnexpectedFaults().empty() ? 0 : 9;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0}));
}

// ---- Head EEPROM --------------------------------------------------------------------------

TEST_F(SettingCommandsTest, TheHeadEepromByteComesFromTheUnitsPart) {
  sim::UsbHostPort& host = BootPrinter();
  sim::BoardEeproms& parts = Eeproms(*m_machine);
  struct Case {
    uint8_t ucUnit;
    bool bAbsent;
    int result;
    Bytes data;
  };
  // The start-up left head byte 0 of each part as the format wrote it.
  const Case cases[] = {
      {1, false, kOk, {parts.Head(0).PeekByte(0)}},
      {2, false, kOk, {parts.Head(1).PeekByte(0)}},
      {3, false, kOk, {0}},
      {0, false, kOk, {0}},
      {2, true, kOk, {0xFF}},  // an absent part reads as the line's pull
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ucUnit);
    parts.Head(1).SetAbsent(c.bAbsent);
    const Reply r = Command(host, CMD_READ_HEAD_EEPROM, {c.ucUnit, 0});
    EXPECT_EQ(ErrorCodeOf(r), c.result);
    EXPECT_EQ(r.data, c.data);
  }
  parts.Head(1).SetAbsent(false);
}

// ---- Universal command --------------------------------------------------------------------

Bytes HeadLogReply(uint16_t usStart, uint32_t ulCount) {
  Bytes reply{UNIVERSAL_HEAD_LINE_LOG, 0, static_cast<uint8_t>(usStart), static_cast<uint8_t>(usStart >> 8),
              static_cast<uint8_t>(ulCount), 0};
  for (uint32_t i = 0; i < ulCount; ++i) {
    const uint32_t ulIndex = usStart + i;
    const uint16_t usValue = ulIndex < HEAD_LINE_LOG_VALUES ? static_cast<uint16_t>(ulIndex * 3 + 1) : 0;
    reply.push_back(static_cast<uint8_t>(usValue));
    reply.push_back(static_cast<uint8_t>(usValue >> 8));
  }
  return reply;
}

TEST_F(SettingCommandsTest, UniversalSubCodesAnswerByTheirTable) {
  BootPrinter();
  // The head log holds 3i + 1 at value i; SDRAM at 0xC0100000 the bytes
  // 0x10, 0x11, ...
  RunInApp([] {
    for (uint32_t i = 0; i < HEAD_LINE_LOG_VALUES; ++i) {
      g_usHeadLineLogA[i / HEAD_LINE_LOG_ENTRIES][i % HEAD_LINE_LOG_ENTRIES] = static_cast<uint16_t>(i * 3 + 1);
    }
  });
  uint8_t* pucRam = m_machine->GetBoard().GetBus().RamPointer(0xC0100000u, 80);
  for (uint32_t i = 0; i < 80; ++i) pucRam[i] = static_cast<uint8_t>(0x10 + i);
  auto Memory = [](uint8_t ucAddressLow, uint8_t ucWidth, uint8_t ucCount, const Bytes& data) {
    Bytes reply{UNIVERSAL_READ_MEMORY, 0, ucAddressLow, 0x00, 0x10, 0xC0, ucWidth, ucCount};
    reply.insert(reply.end(), data.begin(), data.end());
    return reply;
  };
  struct Case {
    const char* what;
    Bytes request;
    Bytes reply;
  };
  const Case cases[] = {
      {"129 echoes the record number", {129, 0x34, 0x12}, {129, 0, 0x34, 0x12}},
      {"130 cuts the count to 64", {130, 0, 0, 100}, HeadLogReply(0, 64)},
      {"130 from the middle", {130, 0x10, 0x27, 3}, HeadLogReply(10000, 3)},
      {"130 past the log's end reads 0", {130, 0xFE, 0x4F, 4}, HeadLogReply(20478, 4)},
      {"194 in range", {194, 0x9F, 0x09}, {194, 0}},
      {"194 out of range", {194, 0xA0, 0x09}, {194, 1}},
      {"224 bytes", {224, 0x03, 0x00, 0x10, 0xC0, 0, 3}, Memory(0x03, 0, 3, {0x13, 0x14, 0x15})},
      {"224 16-bit from the even address below", {224, 0x03, 0x00, 0x10, 0xC0, 1, 5},
       Memory(0x03, 1, 5, {0x12, 0x13, 0x14, 0x15, 0})},
      {"224 32-bit from the multiple of 4 below", {224, 0x07, 0x00, 0x10, 0xC0, 2, 8},
       Memory(0x07, 2, 8, {0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B})},
      {"224 of 64 bytes", {224, 0x00, 0x00, 0x10, 0xC0, 0, 64}, [&] {
         Bytes data;
         for (uint8_t i = 0; i < 64; ++i) data.push_back(static_cast<uint8_t>(0x10 + i));
         return Memory(0x00, 0, 64, data);
       }()},
      {"224 of 65 bytes", {224, 0x00, 0x00, 0x10, 0xC0, 0, 65}, {224, 1}},
      {"224 outside memory", {224, 0x00, 0x00, 0x00, 0x50, 2, 4}, {224, 1}},
      {"224 running off low RAM's end", {224, 0xFC, 0xFF, 0xFF, 0x00, 2, 8}, {224, 1}},
      {"241 writes a byte", {241, 200, 0x5A}, {241, 0, 200, 0x5A}},
      {"240 reads it", {240, 200}, {240, 0, 200, 0x5A}},
      {"241 without its value does nothing", {241, 200}, {241, 1}},
      {"240 reads the byte unchanged", {240, 200}, {240, 0, 200, 0x5A}},
      {"an unknown sub-code", {255, 1, 2}, {255, UNIVERSAL_RESULT_UNKNOWN}},
      {"sub-code 7", {7}, {7, UNIVERSAL_RESULT_UNKNOWN}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Universal(c.request), c.reply);
  }
  EXPECT_EQ(SettingValue(g_ParamHeadLogOffset), 2463) << "the refused 2464 changed nothing";
  EXPECT_EQ(Eeproms(*m_machine).Main().PeekByte(200), 0x5A);
}

}  // namespace
