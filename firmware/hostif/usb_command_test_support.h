// Test support of the host command interface (test code only).
//
// The test application replaces AppTaskMain: it runs the start-up steps of
// the host interface (status items, mailbox, usb_comm, command layer, USB
// identity, connect) and then polls the host commands as the main loop
// does, on a pace the test sets (every pass, every k ms, or not at all
// until a time). A hook runs between the poll and the handlers, where a test
// plays a handler that is not built yet. Tests of usb_comm alone run it with
// a quiet USB task, so that only the test touches the mailbox's USB side.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "firmware/control/app_startup.h"
#include "firmware/control/host_status_table.h"
#include "firmware/devices/serial_number.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/hostif/host_command_interface.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/sftprn.h"
#include "protocol/headers.h"
#include "protocol/requests.h"
#include "protocol/wire.h"
#include "sim/board.h"
#include "sim/machine.h"
#include "sim/usb/usb_host_port.h"
#include "sim/usb/usb_root_hub.h"
#include "tests/support/machine_test.h"
#include "tests/support/usb_task_kernel.h"

namespace hostiftest {

using Bytes = std::vector<uint8_t>;
using testsupport::Ms;

struct TestApp {
  // Set by the test before Boot.
  char acSerial[SERIAL_NO_LENGTH] = {'T', '7', '3', '0', '0', '0', '0', '1'};
  bool bConnect = true;
  // The pace: a pass every ulPeriodMs (0: every turn of the loop), none
  // before ulQuietUntilMs (kernel time).
  uint32_t ulPeriodMs = 0;
  uint32_t ulQuietUntilMs = 0;
  // No pass of its own at all: the test runs AppPass in its jobs.
  bool bManual = false;
  // Runs between usb_comm_poll and usb_comm_run_events.
  std::function<void()> beforeEvents;
  // Filled by the application.
  bool bReady = false;
  uint32_t ulPasses = 0;
  std::deque<std::function<void()>> jobs;
  // The requests the application's passes took, in order (code, payload).
  std::vector<std::pair<uint16_t, Bytes>> requests;
};

inline TestApp g_app;

inline uint32_t KernelMs() {
  SYSTIM now = 0;
  get_tim(&now);
  return now;
}

inline void RunAppJobs() {
  while (!g_app.jobs.empty()) {
    std::function<void()> job = std::move(g_app.jobs.front());
    g_app.jobs.pop_front();
    job();
  }
}

// One pass of the host-command poll with the test's hook.
inline void AppPass() {
  // A request taken by this pass leaves its code in the request record.
  UsbCommState* pState = nullptr;
  usb_comm_get_state(&pState);
  pState->usRequestCode = 0;
  usb_comm_poll();
  if (pState->usRequestCode != 0) {
    g_app.requests.emplace_back(pState->usRequestCode,
                                Bytes(pState->aucRequestData, pState->aucRequestData + pState->usRequestLength));
  }
  if (g_app.beforeEvents) g_app.beforeEvents();
  usb_comm_run_events();
  ++g_app.ulPasses;
}

inline void StartHostInterface() {
  InitStatusItems();
  usb_attention();
  InitShMemUsb();
  usb_attention();
  InitUsbProcess();
  g_ucRibbonControlType = 1;
  SetSerialNumberRam(g_app.acSerial);
  char acSerial[SERIAL_NO_LENGTH];
  GetSerialNumber(acSerial);
  SetupUsbIdentity(acSerial);
  if (g_app.bConnect) IoctlConnectUsb();
}

inline void TestAppEntry() {
  StartHostInterface();
  g_app.bReady = true;
  uint32_t ulLastPass = KernelMs();
  for (;;) {
    RunAppJobs();
    const uint32_t ulNow = KernelMs();
    const bool bQuiet = static_cast<int32_t>(ulNow - g_app.ulQuietUntilMs) < 0;
    if (!g_app.bManual && !bQuiet && (g_app.ulPeriodMs == 0 || ulNow - ulLastPass >= g_app.ulPeriodMs)) {
      ulLastPass = ulNow;
      AppPass();
    }
    CpuRelax();
  }
}

// A USB task that never touches the mailbox, for tests that play the USB
// task's side themselves (QuietUsbOptions puts it in the firmware's kernel
// configuration).
inline void QuietUsbTask(VP_INT) {
  for (;;) dly_tsk(1000);
}

inline sim::MachineOptions AppOptions(bool bHighSpeed = true) {
  sim::MachineOptions options;
  options.bUsbHighSpeed = bHighSpeed;
  options.appEntry = TestAppEntry;
  return options;
}

inline sim::MachineOptions QuietUsbOptions() {
  static testsupport::KernelWithUsbTask kernel(QuietUsbTask);
  sim::MachineOptions options;
  options.kernel = &kernel.config;
  options.appEntry = TestAppEntry;
  return options;
}

// A message as the USB task's side puts it into box 2 and takes it from
// box 1, for tests that play that side in the application task.
inline void PostRequest(uint16_t usCode, const Bytes& payload, uint8_t ucTag = 1) {
  ASSERT_EQ(ShMemPutMessage(SHMEM_BOX_TO_APP, usCode, ucTag, payload.data(), static_cast<uint16_t>(payload.size())), 0);
}

struct Message {
  bool bPresent = false;
  uint16_t usCode = 0;
  uint8_t ucTag = 0;
  Bytes payload;
};

inline Message TakeMessage() {
  Message m;
  uint16_t usState = 0;
  if (ReadShMemUsb(SHMEM_BOX_TO_USB, SHMEM_WORD_STATE, &usState) != 0 || !ShMemIsFull(usState)) return m;
  static ShMemMessage s_Message;
  if (ShMemTakeMessage(SHMEM_BOX_TO_USB, ShMemTagOf(usState), &s_Message) != 0) return m;
  m.bPresent = true;
  m.usCode = s_Message.usCode;
  m.ucTag = s_Message.ucTag;
  m.payload.assign(s_Message.aucPayload, s_Message.aucPayload + s_Message.usLength);
  return m;
}

// Passes until a message is in box 1 (at most `passes`), then takes it.
inline Message PassUntilMessage(uint32_t ulPasses = 8) {
  for (uint32_t i = 0; i < ulPasses; ++i) {
    AppPass();
    Message m = TakeMessage();
    if (m.bPresent) return m;
  }
  return Message{};
}

inline sim::Kernel& TheKernel() { return sim::Board::Current().GetKernel(); }

// ---- The host's side -----------------------------------------------------------------

inline Bytes Packet(uint16_t usCode, const Bytes& payload = {}) {
  Bytes packet(protocol::COMMAND_HEADER_SIZE + payload.size());
  const int32_t n = protocol::EncodeCommandPacket(usCode, payload.data(), static_cast<uint16_t>(payload.size()),
                                                  packet.data(), packet.size());
  EXPECT_GE(n, 0);
  return packet;
}

struct Reply {
  sim::UsbOutcome outcome = sim::UsbOutcome::Gone;
  Bytes raw;
  protocol::ReplyHeader header{};
  Bytes data;
  bool bFramed = false;  // exactly 10 + dataLength bytes
};

inline Reply ParseReply(const sim::UsbTransferResult& in) {
  Reply r;
  r.outcome = in.outcome;
  r.raw = in.data;
  protocol::ReplyFrame frame{};
  if (protocol::DecodeReplyFrame(in.data.data(), in.data.size(), &frame) == protocol::WIRE_OK) {
    r.bFramed = true;
    r.header = frame.header;
    r.data.assign(frame.data, frame.data + frame.dataLength);
  }
  return r;
}

inline Reply Exchange(sim::UsbHostPort& host, const Bytes& packet, sim::Nanos timeout = Ms(12000)) {
  const sim::UsbTransferResult sent = host.BulkOut(packet, Ms(1000));
  EXPECT_EQ(sent.outcome, sim::UsbOutcome::Done);
  return ParseReply(host.BulkIn(1024, timeout));
}

// A request as the host library encodes it into its command packet.
template <class Request>
Bytes PacketOf(const Request& request) {
  Bytes packet(protocol::COMMAND_PACKET_MAX);
  const int32_t n = protocol::EncodeRequestPacket(request, packet.data(), packet.size());
  EXPECT_GT(n, 0);
  packet.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return packet;
}

// The reply's errorCode, or 0xFFFF when no framed reply came.
inline int ErrorCodeOf(const Reply& r) {
  return r.outcome == sim::UsbOutcome::Done && r.bFramed ? r.header.errorCode : 0xFFFF;
}

inline Reply Command(sim::UsbHostPort& host, uint16_t usCode, const Bytes& payload = {},
                     sim::Nanos timeout = Ms(12000)) {
  return Exchange(host, Packet(usCode, payload), timeout);
}

// CMD_UPDATE's request: kind, argument, the no-reset flag and the data's
// size.
inline Bytes UpdateRequest(uint8_t ucKind, uint8_t ucArgument, uint8_t ucNoReset, uint32_t ulSize) {
  return Bytes{ucKind, ucArgument, ucNoReset, 0, 0, 0, static_cast<uint8_t>(ulSize), static_cast<uint8_t>(ulSize >> 8),
               static_cast<uint8_t>(ulSize >> 16), static_cast<uint8_t>(ulSize >> 24)};
}

// CMD_UPDATE, then the data when it was accepted: the reply's error code,
// -1 without a framed reply, -2 when the data did not go out.
inline int SendUpdate(sim::UsbHostPort& host, uint8_t ucKind, uint8_t ucArgument, uint8_t ucNoReset, const Bytes& data) {
  const Reply r = Command(host, protocol::CMD_UPDATE, UpdateRequest(ucKind, ucArgument, ucNoReset, static_cast<uint32_t>(data.size())));
  if (r.outcome != sim::UsbOutcome::Done || !r.bFramed) return -1;
  if (r.header.errorCode != 0) return r.header.errorCode;
  return host.BulkOut(data, Ms(60000)).outcome == sim::UsbOutcome::Done ? 0 : -2;
}

// Runs until the start-up is over as the host sees it: the USB task's
// status mirror holds the application's printer state, past CPU init. (A
// command that arrives before is answered by the state of the moment,
// which refuses most commands while the printer starts.)
inline bool WaitForSettledStatus(sim::Machine& m, sim::Nanos limit = Ms(10000)) {
  return m.RunUntil(
             [] {
               const uint32_t ulState = GetStatusItem(SI_PRINTER_STATE);
               return ulState != protocol::PRINTER_STATE_CPU_INIT && g_ReplyStatus.ucPrinterState == ulState;
             },
             limit) == sim::RunResult::ConditionMet;
}

// The fixture: a printer running the test application, configured on the
// cable.
class UsbCommandTest : public testsupport::MachineTest {
 protected:
  void SetUp() override { g_app = TestApp{}; }

  sim::UsbHostPort& BootApp(sim::MachineOptions options = AppOptions()) {
    sim::Machine& m = Boot(std::move(options));
    m.RunUntil([] { return g_app.bReady; }, Ms(10000));
    EXPECT_TRUE(g_app.bReady);
    sim::UsbHostPort& host = m.UsbHost();
    EXPECT_TRUE(host.WaitForConfigured(Ms(5000))) << host.Hub().FailureReason();
    return host;
  }

  // Runs `job` in the application task and the machine until it has run.
  void InApp(std::function<void()> job, sim::Nanos limit = Ms(1000)) {
    bool bDone = false;
    g_app.jobs.push_back([&bDone, job = std::move(job)] {
      job();
      bDone = true;
    });
    m_machine->RunUntil([&] { return bDone; }, limit);
    EXPECT_TRUE(bDone) << "the application job did not run";
  }

  // A printer whose USB task leaves the mailbox to the test, and whose
  // application makes no pass of its own.
  void BootQuiet() {
    g_app.bManual = true;
    g_app.bConnect = false;
    Boot(QuietUsbOptions());
    m_machine->RunUntil([] { return g_app.bReady; }, Ms(10000));
    ASSERT_TRUE(g_app.bReady);
  }

  // Publishes a printer state as the application does (with notification)
  // and runs until the USB task has taken it into its reply status.
  void PublishState(uint8_t ucState) {
    InApp([ucState] { SetStatusItem(SI_PRINTER_STATE, ucState, 1); });
    m_machine->RunUntil([ucState] { return g_ReplyStatus.ucPrinterState == ucState; }, Ms(100));
    EXPECT_EQ(g_ReplyStatus.ucPrinterState, ucState);
  }
};

}  // namespace hostiftest
