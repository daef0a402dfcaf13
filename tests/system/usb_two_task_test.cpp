// The USB task and the application on the virtual board, as they really
// share the CPU: the USB task preempts the application at its wake-ups,
// sleeps inside a bulk IN write while the host has not read, and waits on
// SHMEM_SEM while the application holds it. The application runs slowly or
// not at all for a while; the USB task's waits run out; late replies come;
// the mailbox is hit by a preemption at every switch point; and the same
// run twice gives the same bytes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "firmware/control/event_set.h"
#include "firmware/control/host_status_table.h"
#include "firmware/hostif/host_command_interface.h"
#include "firmware/hostif/usb_app_messages.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "protocol/codes.h"
#include "protocol/replies.h"
#include "sim/run_boots.h"

namespace {

using hostiftest::Bytes;
using hostiftest::Command;
using hostiftest::g_app;
using hostiftest::KernelMs;
using hostiftest::Reply;
using hostiftest::UsbCommandTest;
using sim::UsbOutcome;
using testsupport::Ms;
using namespace protocol;

uint32_t Counter(const Reply& r) {
  CountersReply c{};
  EXPECT_EQ(DecodeReply(r.data.data(), r.data.size(), &c), WIRE_OK);
  return c.cut;
}

class TwoTasks : public UsbCommandTest {
 protected:
  // Makes the application skip its passes for ulMs from now.
  void QuietFor(uint32_t ulMs) {
    InApp([ulMs] { g_app.ulQuietUntilMs = KernelMs() + ulMs; });
  }
  // A stand-in for the application's handler of CMD_GET_PARAMETER, whose
  // answer the test can tell: the value is the id times 100.
  static void PlayGetParameter() {
    if (usb_comm_test_event(CMDEV_GET_PARAMETER) == 0) return;
    usb_comm_clear_event(CMDEV_GET_PARAMETER);
    GetParameterBlock* pBlock = nullptr;
    usb_comm_get_get_parameter_block(&pBlock);
    pBlock->ucResult = 0;
    pBlock->ulValue = pBlock->ucParameterId * 100u;
    usb_comm::regist_txreq_code(APPMSG_GET_PARAMETER);
  }
  // The application's print handler (not built yet): it accepts every
  // image into slot 4 at offset 0x1000 and opens the data phase.
  static void PlayPrint() {
    if (usb_comm_test_event(CMDEV_PRINT) == 0) return;
    usb_comm_clear_event(CMDEV_PRINT);
    PrintBlock* pBlock = nullptr;
    usb_comm_get_print_block(&pBlock);
    pBlock->ucResult = 0;
    pBlock->ucSlotIndex = 4;
    SetDownloadOffset(kImageOffset);
    UsbCommState* pState = nullptr;
    usb_comm_get_state(&pState);
    pState->ulDataPhase = DATA_PHASE_PRINT_IMAGE;
    pState->ulDataOffset = kImageOffset;
    usb_comm::regist_txreq_code(APPMSG_PRINT);
  }
  static constexpr uint32_t kImageOffset = 0x1000;
};

// ---- A slow application ----------------------------------------------------------------

class SlowApplication : public TwoTasks, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(SlowApplication, ForwardedCommandsAreAnsweredAtItsPace) {
  g_app.ulPeriodMs = GetParam();
  sim::UsbHostPort& host = BootApp();
  InApp([] { SetStatusItem(SI_COUNTER_CUT, 31, 0); });
  for (int i = 0; i < 3; ++i) {
    const sim::Nanos sent = m_machine->Now();
    const Reply r = Command(host, CMD_GET_COUNTERS);
    ASSERT_EQ(r.header.replyKind, REPLY_OK);
    EXPECT_EQ(Counter(r), 31u);
    // Two passes of the application (receive, then send) and a few USB passes.
    EXPECT_LE(m_machine->Now() - sent, Ms(2 * GetParam() + 20));
  }
}

INSTANTIATE_TEST_SUITE_P(PassEveryMs, SlowApplication, ::testing::Values(1u, 40u, 400u),
                         [](const ::testing::TestParamInfo<uint32_t>& p) {
                           return "Every" + std::to_string(p.param) + "ms";
                         });

TEST_F(TwoTasks, ALateReplyNeverAnswersTheRetriedRequestOfTheSameCode) {
  g_app.beforeEvents = PlayGetParameter;
  sim::UsbHostPort& host = BootApp();
  ASSERT_EQ(Command(host, CMD_GET_PARAMETER, {3}).data, (Bytes{44, 1, 0, 0}));

  // The application stops for longer than the command's 10 s wait.
  QuietFor(10500);
  const sim::Nanos sent = m_machine->Now();
  const Reply timedOut = Command(host, CMD_GET_PARAMETER, {5});
  EXPECT_EQ(timedOut.header.errorCode, REPLY_ERR_TIMEOUT);
  EXPECT_EQ(timedOut.data, Bytes(4, 0));
  EXPECT_GE(m_machine->Now() - sent, Ms(10000));
  EXPECT_LE(m_machine->Now() - sent, Ms(10020));

  // The host retries with another id. The application wakes up, answers the
  // first request late (500), then the retry (700): only 700 answers it.
  const Reply retried = Command(host, CMD_GET_PARAMETER, {7});
  ASSERT_EQ(retried.header.replyKind, REPLY_OK);
  EXPECT_EQ(retried.data, (Bytes{0xBC, 0x02, 0, 0}));
  ASSERT_EQ(g_app.requests.size(), 3u);
  EXPECT_EQ(g_app.requests[1].second, Bytes{5});
  EXPECT_EQ(g_app.requests[2].second, Bytes{7});
}

TEST_F(TwoTasks, APrintAcceptedAfterTheTimeOutLeavesNoDataPhaseBehind) {
  g_app.beforeEvents = PlayPrint;
  sim::UsbHostPort& host = BootApp();
  // The data-received handler publishes the job status, which brings the
  // application's printer state to the host: a ready printer.
  PublishState(PRINTER_STATE_READY);
  InApp([] { SetStatusItem(SI_COUNTER_CUT, 9, 0); });
  const Bytes print = {1, 0, 0, 4, 0, 2, 0, 4, 0, 2, 0, 0, 0, 0, 0, 0, IMAGE_TYPE_COLOUR, 0};

  // No pass for 3.5 s: the USB task answers the 3 s time-out, arms nothing,
  // and drops the late acceptance.
  QuietFor(3500);
  const Reply timedOut = Command(host, CMD_PRINT, print);
  EXPECT_EQ(timedOut.header.errorCode, REPLY_ERR_TIMEOUT);
  EXPECT_EQ(timedOut.data.size(), 1u);
  m_machine->RunFor(Ms(600));
  EXPECT_EQ(g_ulBulkRxKind, static_cast<uint32_t>(BULK_RX_NONE));

  // The application takes requests again: the phase nobody armed has ended.
  const Reply counters = Command(host, CMD_GET_COUNTERS);
  ASSERT_EQ(counters.header.replyKind, REPLY_OK);
  EXPECT_EQ(Counter(counters), 9u);

  // In time, the same command arms the receive before the host sees the
  // answer, and the image lands at the slot's offset.
  const Reply accepted = Command(host, CMD_PRINT, print);
  ASSERT_EQ(accepted.header.replyKind, REPLY_OK);
  EXPECT_EQ(accepted.data, Bytes{4});
  EXPECT_EQ(g_ulBulkRxKind, static_cast<uint32_t>(BULK_RX_PRINT));
  const Bytes image = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
  ASSERT_EQ(host.BulkOut(image, Ms(1000)).outcome, UsbOutcome::Done);
  m_machine->RunUntil([] { return g_ulBulkRxKind == BULK_RX_NONE; }, Ms(100));
  const uint8_t* pucImage = sim::Board::Current().GetBus().RamPointer(DOWNLOAD_BUFFER_ADDR + kImageOffset, 24);
  EXPECT_EQ(Bytes(pucImage, pucImage + 24), image);
  EXPECT_EQ(Counter(Command(host, CMD_GET_COUNTERS)), 9u);

  // An image the download buffer cannot hold is refused even when the
  // handler accepted it: no receive runs past the buffer, and the phase
  // nobody armed ends at the next request.
  Bytes huge = print;
  huge[3] = huge[4] = huge[5] = huge[6] = 0xFF;
  const Reply refused = Command(host, CMD_PRINT, huge);
  EXPECT_EQ(refused.header.errorCode, REPLY_ERR_BAD_PARAMETER);
  EXPECT_EQ(g_ulBulkRxKind, static_cast<uint32_t>(BULK_RX_NONE));
  EXPECT_EQ(Counter(Command(host, CMD_GET_COUNTERS)), 9u);
}

TEST_F(TwoTasks, RequestsTheHostWasAnsweredForAreNeverDropped) {
  sim::UsbHostPort& host = BootApp();
  QuietFor(2000);
  // Answered at once, posted later: one goes into the mailbox, the others
  // wait in the USB task's queue, which holds four.
  EXPECT_EQ(Command(host, CMD_RESET, {RESET_KIND_PRINTER, 0}).header.replyKind, REPLY_OK);
  for (uint8_t i = 1; i <= 4; ++i) {
    EXPECT_EQ(Command(host, CMD_MAINTENANCE_PERMISSION, {i, i}).header.replyKind, REPLY_OK);
  }
  // While the queue is full the USB task still reads: a command that would
  // post is refused as busy at once, and one answered at once is answered.
  const sim::Nanos full = m_machine->Now();
  const std::pair<uint16_t, Bytes> posting[] = {
      {CMD_MAINTENANCE_PERMISSION, {5, 5}}, {CMD_GET_COUNTERS, {}}, {CMD_RESET, {RESET_KIND_PRINTER, 0}}};
  for (const auto& [usCode, payload] : posting) {
    const Reply busy = Command(host, usCode, payload);
    EXPECT_EQ(busy.header.replyKind, REPLY_ERROR) << usCode;
    EXPECT_EQ(busy.header.errorCode, PRINTER_STATE_OPERATION) << usCode;
  }
  EXPECT_EQ(Command(host, CMD_GET_STATUS).header.replyKind, REPLY_OK);
  // A reset that is only answered needs no place in the queue.
  EXPECT_EQ(Command(host, CMD_RESET, {RESET_KIND_ANSWER_ONLY, 0}).header.replyKind, REPLY_OK);
  EXPECT_LE(m_machine->Now() - full, Ms(100));
  // Once the application runs again, every request arrives in order, none
  // overwritten by the refused ones, and the retried command is served.
  m_machine->RunFor(Ms(2000));
  EXPECT_EQ(Command(host, CMD_MAINTENANCE_PERMISSION, {5, 5}).header.replyKind, REPLY_OK);
  EXPECT_EQ(Command(host, CMD_GET_COUNTERS).header.replyKind, REPLY_OK);
  std::vector<Bytes> payloads;
  for (const auto& [code, payload] : g_app.requests) payloads.push_back(payload);
  EXPECT_EQ(payloads, (std::vector<Bytes>{{3, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {}}));
  EXPECT_NE(g_EventSet & (uint64_t{1} << EV_SYSTEM_RESET), 0u);
}

TEST_F(TwoTasks, TheUsbTaskSleepsInABulkInWriteWhileTheApplicationRuns) {
  // At full speed the 141 bytes of the diagnosis result are three packets,
  // one more than the double-buffered FIFO holds.
  sim::UsbHostPort& host = BootApp(hostiftest::AppOptions(false));
  ASSERT_EQ(host.BulkOut(hostiftest::Packet(CMD_GET_DIAGNOSIS_RESULT), Ms(1000)).outcome, UsbOutcome::Done);
  // The host does not read for 80 ms: the USB task forwards the command,
  // gets its answer and waits in the write of its reply.
  m_machine->RunFor(Ms(30));
  ASSERT_EQ(g_ucUsbCmdState, USB_CMD_RESPOND);
  const uint32_t ulUsbPasses = GetUsbPollCount();
  const uint32_t ulAppPasses = g_app.ulPasses;
  InApp([] { SetStatusItem(SI_PRINTER_STATE, PRINTER_STATE_PAPER_LOADING, 1); });
  m_machine->RunFor(Ms(50));
  EXPECT_EQ(GetUsbPollCount(), ulUsbPasses) << "no pass while the write waits";
  EXPECT_GT(g_app.ulPasses, ulAppPasses + 100) << "the application runs meanwhile";
  EXPECT_TRUE(hostiftest::TheKernel().IsDelayed(USB_TASK));
  const Reply result = hostiftest::ParseReply(host.BulkIn(1024, Ms(1000)));
  EXPECT_EQ(result.header.replyKind, REPLY_OK);
  EXPECT_EQ(result.data.size(), DIAGNOSIS_RESULT_SIZE);
  EXPECT_EQ(result.header.printerState, 0) << "answered before the new state was exchanged";
  EXPECT_EQ(Command(host, CMD_GET_STATUS).header.printerState, PRINTER_STATE_PAPER_LOADING);
}

// ---- A preemption at every switch point of the application's mailbox work -----------------

// The application of this test runs its passes as the main loop does, but
// when k is set it waits for a request in box 2 (in the paired run, with
// another one queued behind it in the USB task), waits for the USB task to
// have slept and for the tick before its wake-up, makes that tick due at the
// k-th switch point from there, and makes four passes: it takes the request,
// frees the box, and writes the reply word by word. The USB task therefore
// preempts it at its k-th switch point: inside a word access, between the
// words of a message, or while it holds SHMEM_SEM, and in the paired run
// refills box 2 as soon as the application has freed it.
struct Window {
  uint32_t ulK = 0;
  uint32_t ulUsbPassesBefore = 0;
  uint32_t ulUsbPassesAfter = 0;
  sim::Nanos from = 0;
  sim::Nanos to = 0;
};
uint32_t g_ulInjectK = 0;
bool g_bPaired = false;
std::vector<Window> g_windows;

void AlignedApplication() {
  hostiftest::StartHostInterface();
  g_app.bReady = true;
  sim::Board& board = sim::Board::Current();
  for (;;) {
    hostiftest::RunAppJobs();
    const bool bWindow = g_ulInjectK != 0 && ShMemIsFull(g_ShMemUsbToApp.ausWord[SHMEM_WORD_STATE]) &&
                         (!g_bPaired || g_PendingAppRequest.ulCount != 0);
    if (!bWindow) {
      if (g_ulInjectK == 0) hostiftest::AppPass();
      CpuRelax();
      continue;
    }
    const uint32_t ulSeen = GetUsbPollCount();
    while (GetUsbPollCount() == ulSeen) CpuRelax();
    const uint32_t ulSlept = KernelMs();
    while (KernelMs() != ulSlept + 2) CpuRelax();
    Window w;
    w.ulK = g_ulInjectK;
    w.ulUsbPassesBefore = GetUsbPollCount();
    w.from = board.Clock().Now();
    board.GetCpu().InjectAtSwitchPoint(21, g_ulInjectK);
    for (int i = 0; i < 4; ++i) hostiftest::AppPass();
    w.to = board.Clock().Now();
    w.ulUsbPassesAfter = GetUsbPollCount();
    g_windows.push_back(w);
    g_ulInjectK = 0;
  }
}

// Runs exchanges with a window at k, from k = 1 on, until the k-th switch
// point lies past the application's mailbox work (its window then passes
// without the USB task), and returns the transcript: every reply's bytes.
// The paired run sends a command that is answered at once and posted first,
// so its request waits in box 2 while the next one waits in the USB task.
std::string RunPreemptedExchanges(sim::Machine& m, sim::UsbHostPort& host, bool bPaired) {
  std::ostringstream transcript;
  g_bPaired = bPaired;
  g_windows.clear();
  for (uint32_t k = 1; k < 400; ++k) {
    g_app.jobs.push_back([k] {
      for (uint32_t i = 0; i < 6; ++i) SetStatusItem(SI_COUNTER_CUT + i, k * 10 + i, 0);
    });
    g_ulInjectK = k;
    const uint8_t ucMark = static_cast<uint8_t>(k);
    if (bPaired) {
      const Reply permission = Command(host, CMD_MAINTENANCE_PERMISSION, {ucMark, ucMark});
      EXPECT_EQ(permission.header.replyKind, REPLY_OK) << "k = " << k;
      for (uint8_t b : permission.raw) transcript << static_cast<int>(b) << ' ';
    }
    const Reply r = Command(host, CMD_GET_COUNTERS);
    EXPECT_EQ(r.header.replyKind, REPLY_OK) << "k = " << k;
    EXPECT_EQ(Counter(r), k * 10) << "k = " << k;
    for (uint8_t b : r.raw) transcript << static_cast<int>(b) << ' ';
    transcript << '\n';
    if (bPaired) {
      MaintPermissionBlock* pBlock = nullptr;
      usb_comm_get_maint_permission_block(&pBlock);
      EXPECT_EQ(pBlock->aucRequest[0], ucMark) << "k = " << k;
    }
    if (g_windows.empty() || g_windows.back().ulUsbPassesAfter == g_windows.back().ulUsbPassesBefore) break;
  }
  transcript << "end " << m.Now() << ' ' << g_app.ulPasses << ' ' << GetUsbPollCount() << '\n';
  return transcript.str();
}

// Checks the windows of one run: every one but the last saw the USB task,
// and in many it waited for SHMEM_SEM while the application held it.
void ExpectEveryWindowPreempted(size_t minimum) {
  ASSERT_GE(g_windows.size(), minimum);
  const auto& dispatches = hostiftest::TheKernel().Dispatches();
  uint32_t ulBlockedOnTheLock = 0;
  for (size_t i = 0; i + 1 < g_windows.size(); ++i) {
    const Window& w = g_windows[i];
    EXPECT_GT(w.ulUsbPassesAfter, w.ulUsbPassesBefore) << "k = " << w.ulK;
    uint32_t ulUsbDispatches = 0;
    for (const auto& d : dispatches) {
      if (d.task == USB_TASK && d.at >= w.from && d.at <= w.to) ++ulUsbDispatches;
    }
    // Dispatched, blocked on SHMEM_SEM, dispatched again at its release.
    if (ulUsbDispatches >= 2) ++ulBlockedOnTheLock;
  }
  EXPECT_GT(ulBlockedOnTheLock, g_windows.size() / 4);
}

TEST_F(TwoTasks, RequestsAndRepliesArriveWholeWhereverTheUsbTaskPreemptsTheMailboxWork) {
  sim::MachineOptions options = hostiftest::AppOptions();
  options.appEntry = AlignedApplication;
  options.bTraceDispatches = true;
  sim::UsbHostPort& host = BootApp(std::move(options));
  RunPreemptedExchanges(*m_machine, host, false);
  ExpectEveryWindowPreempted(45);
  const size_t ulSingle = g_app.requests.size();
  RunPreemptedExchanges(*m_machine, host, true);
  ExpectEveryWindowPreempted(30);
  EXPECT_EQ(g_app.requests.size(), ulSingle + 2 * g_windows.size());
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(TwoTaskRuns, TheSameRunTwiceGivesTheSameBytes) {
  const std::string dir = testsupport::MakeTempDir();
  const std::vector<int> codes = sim::RunBoots(2, [&](int index) {
    g_app = hostiftest::TestApp{};
    sim::MachineOptions options = hostiftest::AppOptions();
    options.appEntry = AlignedApplication;
    sim::Machine m(options);
    m.RunUntil([] { return g_app.bReady; }, Ms(10000));
    sim::UsbHostPort& host = m.UsbHost();
    if (!host.WaitForConfigured(Ms(5000))) return 2;
    std::ofstream(dir + "/transcript" + std::to_string(index))
        << RunPreemptedExchanges(m, host, false) << RunPreemptedExchanges(m, host, true);
    return m.UnexpectedFaults().empty() && !::testing::Test::HasFailure() ? 0 : 1;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0}));
  const std::string first = ReadFile(dir + "/transcript0");
  EXPECT_THAT(first, ::testing::HasSubstr("end "));
  EXPECT_EQ(first, ReadFile(dir + "/transcript1"));
}

}  // namespace
