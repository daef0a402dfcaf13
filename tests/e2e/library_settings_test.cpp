// The host library's parameter, serial-number, universal and raw exports
// against a printer-sim process on a bus directory of the test's own, as a
// table of export against outcome: the printer answers, refuses, is held by
// another process, stops answering, or goes away.
//
// The test runs on the replaceable clock: while the printer answers, a
// thread of ours stays blocked outside the clock's waits, so virtual time
// stands still and every exchange takes the printer's real time; once the
// printer can no longer answer, time moves straight to the library's
// time-outs.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <win32_ext.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bom7300upgrade.h"
#include "host_result_codes.h"
#include "protocol/status_record.h"
#include "tests/e2e/clock_hold.h"
#include "tests/e2e/device_mutex_holder.h"
#include "tests/e2e/printer_sim_bus.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Virtual time let pass at each check while waiting in real time.
constexpr DWORD kVirtualStepMs = 50;

class LibrarySettingExports : public e2e::PrinterSimBusTest {
 protected:
  void SetUp() override {
    e2e::PrinterSimBusTest::SetUp();
    // Forked before any thread, and before the clock is replaced: the
    // holder runs on the real one.
    m_other = std::make_unique<e2e::MutexHolder>(MutexNameOf("p"));
    ASSERT_TRUE(W32X_UseVirtualClock(nullptr));
  }
  void TearDown() override {
    kt_close();
    EXPECT_TRUE(W32X_UseRealClock());
  }

  std::unique_ptr<e2e::MutexHolder> m_other;
};

uint8_t g_value[4];
uint8_t g_reply[KT_RAW_REPLY_SIZE];
uint8_t g_universalLength;
uint32_t g_replyLength;
uint8_t g_diagnosis[4];
const Bytes kUniversalEcho = {3, 129, 0x34, 0x12};
const Bytes kUniversalShort = {5, 129};  // a count the request does not carry
const Bytes kStatusPacket = {0x01, 0x00, 0x00, 0x00};
const Bytes kRawData(10000, 0);

int Universal(const Bytes& request, uint16_t* err) {
  return kt_universal_command(request.data(), static_cast<int32_t>(request.size()), g_reply, &g_universalLength, err);
}

struct ExportRow {
  const char* name;
  std::function<int(uint16_t*)> call;
  std::function<int(uint16_t*)> refused;  // a request the printer refuses, or none
  uint16_t refusedCode;
  bool locked;
  bool waitsForAReply;  // raw bulk data does not
};

std::vector<ExportRow> Rows() {
  return {
      {"kt_setParameter", [](uint16_t* e) { return kt_setParameter(1, 300, e); },
       [](uint16_t* e) { return kt_setParameter(1, 5, e); }, RESULT_BAD_PARAMETER, true, true},
      {"kt_getParameter", [](uint16_t* e) { return kt_getParameter(1, g_value, e); },
       [](uint16_t* e) { return kt_getParameter(200, g_value, e); }, RESULT_BAD_PARAMETER, true, true},
      {"kt_getEEPROM", [](uint16_t* e) { return kt_getEEPROM(1, g_value, e); }, nullptr, 0, true, true},
      {"kt_setPrinterInfo of the serial number",
       [](uint16_t* e) {
         uint32_t size = KT_SERIAL_LENGTH;
         return kt_setPrinterInfo(PINFTAG_SERIAL, "SETS0002", &size, e);
       },
       nullptr, 0, true, true},
      // The Ready LED off; an LED id the printer does not have.
      {"kt_setDiagnostic", [](uint16_t* e) { return kt_setDiagnostic(9, 2, 2, e); },
       [](uint16_t* e) { return kt_setDiagnostic(9, 0, 1, e); }, RESULT_BAD_PARAMETER, true, true},
      {"kt_resetErrHistory", [](uint16_t* e) { return kt_resetErrHistory(e); }, nullptr, 0, true, true},
      // Switch "HeadL Up" read.
      {"kt_command_diagnostic", [](uint16_t* e) { return kt_command_diagnostic(7, 1, 0, g_diagnosis, e); }, nullptr,
       0, false, true},
      {"kt_universal_command", [](uint16_t* e) { return Universal(kUniversalEcho, e); },
       [](uint16_t* e) { return Universal(kUniversalShort, e); }, RESULT_PRINTER_BAD_PARAMETER, false, true},
      {"kt_SendCommand",
       [](uint16_t* e) {
         return kt_SendCommand(kStatusPacket.data(), static_cast<int32_t>(kStatusPacket.size()), g_reply,
                               &g_replyLength, e);
       },
       nullptr, 0, false, true},
      {"kt_SendRawData",
       [](uint16_t* e) {
         uint32_t length = static_cast<uint32_t>(kRawData.size());
         return kt_SendRawData(kRawData.data(), &length, e);
       },
       nullptr, 0, false, false},
  };
}

TEST_F(LibrarySettingExports, EachExportAgainstEachOutcome) {
  auto printer = StartPrinter("p", "SETS0001");
  ASSERT_TRUE(WaitForPorts({PortOf("p")})) << printer->Log();
  auto hold = std::make_unique<e2e::ClockHold>();
  ASSERT_TRUE(hold->Holding());
  uint16_t err = 0xFFFF;
  ASSERT_EQ(kt_open(&err), 1) << err;
  ASSERT_NE(kt_selectPrinterSN("SETS0001", &err), nullptr);
  ASSERT_EQ(err, RESULT_OK);

  // The printer answers.
  for (const ExportRow& row : Rows()) {
    SCOPED_TRACE(row.name);
    err = 0xFFFF;
    EXPECT_EQ(row.call(&err), 1);
    EXPECT_EQ(err, RESULT_OK);
  }
  ASSERT_EQ(kt_getParameter(1, g_value, &err), 1);
  EXPECT_EQ(Bytes(g_value, g_value + 4), (Bytes{0x2C, 0x01, 0, 0})) << "the 300 set before";
  char serial[KT_SERIAL_LENGTH] = {};
  uint32_t size = sizeof serial;
  ASSERT_EQ(kt_getPrinterInfo(PINFTAG_SERIALNO, serial, &size), 1);
  EXPECT_EQ(std::string(serial, sizeof serial), "SETS0002");
  ASSERT_EQ(Universal(kUniversalEcho, &err), 1);
  EXPECT_EQ(Bytes(g_reply, g_reply + g_universalLength), (Bytes{4, 129, 0, 0x34, 0x12}));
  EXPECT_EQ(Bytes(g_diagnosis, g_diagnosis + 3), (Bytes{7, 1, 0})) << "the diagnosis reply as it came";
  uint8_t results[100] = {};
  uint32_t resultLength = sizeof results;
  ASSERT_EQ(kt_getDiagnostic(results, &resultLength, &err), 1) << err;
  EXPECT_EQ(resultLength, uint32_t{KT_DIAGNOSIS_COPY_MAX});
  ASSERT_EQ(kt_SendCommand(kStatusPacket.data(), 4, g_reply, &g_replyLength, &err), 1);
  EXPECT_EQ(g_replyLength, 10 + protocol::STATUS_REPLY_SIZE);
  EXPECT_EQ(kt_status(&err), 1) << "the raw data left the printer answering: " << err;

  // The printer refuses.
  for (const ExportRow& row : Rows()) {
    if (!row.refused) continue;
    SCOPED_TRACE(row.name);
    err = 0xFFFF;
    EXPECT_EQ(row.refused(&err), 0);
    EXPECT_EQ(err, row.refusedCode);
  }

  // From here on the printer cannot answer in time, and time may move.
  hold.reset();

  // Another process holds the printer.
  ASSERT_TRUE(m_other->Hold());
  for (const ExportRow& row : Rows()) {
    if (!row.locked) continue;
    SCOPED_TRACE(row.name);
    err = 0xFFFF;
    EXPECT_EQ(row.call(&err), 0);
    EXPECT_EQ(err, RESULT_DEVICE_BUSY);
  }
  EXPECT_EQ(m_other->Release(), 0);

  // The printer stops answering: each exchange ends at its time-out.
  ASSERT_EQ(kill(printer->Pid(), SIGSTOP), 0);
  for (const ExportRow& row : Rows()) {
    if (!row.waitsForAReply) continue;
    SCOPED_TRACE(row.name);
    const uint64_t start = W32X_ClockNow();
    err = 0xFFFF;
    EXPECT_EQ(row.call(&err), 0);
    EXPECT_EQ(err, RESULT_USB_ERROR);
    EXPECT_GE(W32X_ClockNow() - start, 60000u);
  }
  ASSERT_EQ(kill(printer->Pid(), SIGCONT), 0);

  // The printer goes away.
  EXPECT_EQ(printer->Stop(SIGTERM), 0) << printer->Log();
  // The library's watcher looks for the removal in steps of virtual time:
  // each check lets some pass.
  EXPECT_TRUE(e2e::PollUntil(
      [] {
        Sleep(kVirtualStepMs);
        return e2e::Deselected();
      },
      e2e::kNoticeLimitMs));
  for (const ExportRow& row : Rows()) {
    SCOPED_TRACE(row.name);
    err = 0xFFFF;
    EXPECT_EQ(row.call(&err), 0);
    EXPECT_EQ(err, row.locked ? RESULT_PRINTER_NOT_RECOGNIZED : RESULT_USB_ERROR);
  }
}

}  // namespace
