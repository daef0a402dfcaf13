// usb_comm on the virtual board, with the test playing the USB task's side
// of the mailbox: the transmit queue and its pace, request reception and
// dispatch, the data phases, the command events and their order, the tags
// that tie a reply to its request, and handlers that never run nested.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "firmware/control/event_set.h"
#include "firmware/hostif/print_job_handlers.h"
#include "firmware/hostif/update_handlers.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/platform/usb_driver.h"
#include "firmware/printengine/print_size.h"
#include "firmware/service/self_print.h"
#include "protocol/codes.h"
#include "protocol/replies.h"
#include "protocol/status_record.h"

namespace {

// The reply codes queued and their tags, without the status notifications
// that the job handlers' queue operations publish.
std::vector<std::pair<uint16_t, uint8_t>> QueuedReplies() {
  std::vector<std::pair<uint16_t, uint8_t>> replies;
  for (uint32_t i = 0; i < usb_comm_txreq_count(); ++i) {
    if (g_usTxReqQueue[i] != APPMSG_NOTIFY_STATUS) replies.emplace_back(g_usTxReqQueue[i], g_aucTxReqTag[i]);
  }
  return replies;
}

// Passes until a reply (not a notification) is in box 1, then takes it.
hostiftest::Message PassUntilReply() {
  for (int i = 0; i < 8; ++i) {
    const hostiftest::Message m = hostiftest::PassUntilMessage();
    if (m.bPresent && m.usCode != APPMSG_NOTIFY_STATUS) return m;
  }
  return hostiftest::Message{};
}

using hostiftest::AppPass;
using hostiftest::Bytes;
using hostiftest::g_app;
using hostiftest::Message;
using hostiftest::PassUntilMessage;
using hostiftest::PostRequest;
using hostiftest::TakeMessage;
using testsupport::Ms;

class UsbComm : public hostiftest::UsbCommandTest {
 protected:
  void SetUp() override {
    UsbCommandTest::SetUp();
    BootQuiet();
  }
  UsbCommState& State() {
    UsbCommState* pState = nullptr;
    usb_comm_get_state(&pState);
    return *pState;
  }
};

TEST_F(UsbComm, QueuedCodesGoOutInOrderOnePerTwoPasses) {
  InApp([] {
    // Box 1 busy: nothing moves.
    ASSERT_EQ(ShMemPutMessage(SHMEM_BOX_TO_USB, 0x1234, 0, nullptr, 0), 0);
    for (uint16_t code : {APPMSG_GET_COUNTERS, APPMSG_NOTIFY_STATUS, APPMSG_GET_COUNTERS}) {
      EXPECT_EQ(usb_comm::regist_txreq_code(code), 0);
    }
    AppPass();
    AppPass();
    EXPECT_EQ(usb_comm_txreq_count(), 3u);
    EXPECT_EQ(TakeMessage().usCode, 0x1234);

    std::vector<uint16_t> sent;
    uint32_t ulPasses = 0;
    while (sent.size() < 3 && ulPasses < 20) {
      AppPass();
      ++ulPasses;
      const Message m = TakeMessage();
      if (m.bPresent) sent.push_back(m.usCode);
    }
    EXPECT_EQ(sent, (std::vector<uint16_t>{APPMSG_GET_COUNTERS, APPMSG_NOTIFY_STATUS, APPMSG_GET_COUNTERS}));
    EXPECT_GE(ulPasses, 5u) << "a code is removed only on the pass after its message was taken";
    AppPass();
    EXPECT_EQ(usb_comm_txreq_count(), 0u);
  });
}

TEST_F(UsbComm, TheQueueRefusesThe257thCodeAndLogsIt) {
  InApp([] {
    for (uint32_t i = 0; i < TXREQ_QUEUE_SIZE; ++i) ASSERT_EQ(usb_comm::regist_txreq_code(APPMSG_NOTIFY_STATUS), 0);
    EXPECT_EQ(usb_comm::regist_txreq_code(APPMSG_GET_COUNTERS), -1);
    EXPECT_EQ(usb_comm_txreq_count(), TXREQ_QUEUE_SIZE);
  });
  EXPECT_TRUE(m_machine->Logged("[usb_comm::regist_txreq_code] NG (code=0x0020, num_queue=256)"));
}

// A table that changes on every pass while box 1 is busy (a long bulk
// receive) queues one notice, not one per change, so replies still find
// room; the notice sent carries the last change.
TEST_F(UsbComm, StatusChangesWhileBox1IsBusyShareOneWaitingNotice) {
  InApp([] {
    ASSERT_EQ(ShMemPutMessage(SHMEM_BOX_TO_USB, 0x1234, 0, nullptr, 0), 0);
    for (uint32_t i = 0; i < 2 * TXREQ_QUEUE_SIZE; ++i) {
      ASSERT_EQ(SetStatusItem(SI_JOB_STATUS_0, i & 0x7Fu, 1), 0);
    }
    ASSERT_EQ(SetStatusItem(SI_JOB_STATUS_0, 42, 1), 0);
    EXPECT_EQ(usb_comm_txreq_count(), 1u);
    EXPECT_EQ(usb_comm::regist_txreq_code(APPMSG_GET_COUNTERS), 0) << "a reply still finds room";
    EXPECT_EQ(TakeMessage().usCode, 0x1234);
    const Message notice = PassUntilMessage();
    ASSERT_TRUE(notice.bPresent);
    EXPECT_EQ(notice.usCode, APPMSG_NOTIFY_STATUS);
    protocol::StatusRecord record{};
    ASSERT_EQ(protocol::DecodeStatusRecord(notice.payload.data(), notice.payload.size(), &record), protocol::WIRE_OK);
    EXPECT_EQ(record.jobStatus[0], 42) << "the last change";
    // Built into box 1, the notice is in flight: a change now needs one more.
    ASSERT_EQ(SetStatusItem(SI_JOB_STATUS_0, 7, 1), 0);
    EXPECT_EQ(std::count(g_usTxReqQueue, g_usTxReqQueue + usb_comm_txreq_count(), APPMSG_NOTIFY_STATUS), 1);
  });
  EXPECT_FALSE(m_machine->Logged("[usb_comm::regist_txreq_code] NG"));
}

TEST_F(UsbComm, RequestsAreCutToTheirLengthAndZeroBehindIt) {
  InApp([this] {
    PostRequest(AppRequestCode(APPMSG_GET_PARAMETER), Bytes(40, 0x5A));
    AppPass();
    EXPECT_EQ(State().usRequestLength, 40);
    // A short request after a long one reads zeros, not the earlier bytes.
    PostRequest(AppRequestCode(APPMSG_GET_PARAMETER), Bytes{9});
    AppPass();
    EXPECT_EQ(State().usRequestLength, 1);
    EXPECT_EQ(State().aucRequestData[0], 9);
    EXPECT_EQ(Bytes(State().aucRequestData + 1, State().aucRequestData + USB_REQUEST_DATA_MAX),
              Bytes(USB_REQUEST_DATA_MAX - 1, 0));
    // A length word above 250 is taken as 250.
    ASSERT_EQ(ShMemPutMessage(SHMEM_BOX_TO_APP, AppRequestCode(APPMSG_GET_PARAMETER), 1, Bytes(250, 7).data(), 250), 0);
    ASSERT_EQ(WriteShMemUsb(SHMEM_BOX_TO_APP, SHMEM_WORD_LENGTH, 300), 0);
    AppPass();
    EXPECT_EQ(State().usRequestLength, 250);
  });
}

TEST_F(UsbComm, AnUnknownRequestIsDroppedAndTheNextOneHandled) {
  InApp([] {
    PostRequest(0x8010, {});
    const Message none = PassUntilMessage(4);
    EXPECT_FALSE(none.bPresent);
    PostRequest(AppRequestCode(APPMSG_GET_COUNTERS), {}, 0x21);
    const Message m = PassUntilMessage();
    EXPECT_EQ(m.usCode, APPMSG_GET_COUNTERS);
    EXPECT_EQ(m.payload.size(), 1u + protocol::CountersReply::kSize);
  });
}

TEST_F(UsbComm, RepliesCarryTheTagOfTheRequestTheyAnswer) {
  InApp([] {
    PostRequest(AppRequestCode(APPMSG_GET_COUNTERS), {}, 0x42);
    const Message reply = PassUntilMessage();
    EXPECT_EQ(reply.usCode, APPMSG_GET_COUNTERS);
    EXPECT_EQ(reply.ucTag, 0x42);
    // Notifications are the application's own: untagged.
    usb_comm::regist_txreq_code(APPMSG_NOTIFY_STATUS);
    const Message status = PassUntilMessage();
    EXPECT_EQ(status.usCode, APPMSG_NOTIFY_STATUS);
    EXPECT_EQ(status.ucTag, 0);
    EXPECT_EQ(status.payload.size(), protocol::STATUS_RECORD_SIZE);
  });
}

TEST_F(UsbComm, ARequestWaitsInTheMailboxWhileAnArmedDataPhaseRuns) {
  InApp([this] {
    State().ulDataPhase = DATA_PHASE_PRINT_IMAGE;
    g_ulBulkRxKind = BULK_RX_PRINT;  // armed by the USB task
    PostRequest(AppRequestCode(APPMSG_GET_COUNTERS), {}, 3);
    // The driver has no receive running: the phase's data is complete.
    AppPass();
    EXPECT_EQ(g_ulBulkRxKind, static_cast<uint32_t>(BULK_RX_NONE));
    EXPECT_EQ(usb_comm_test_event(CMDEV_PRINT_DATA_RECEIVED), 0) << "run by the pass's handler step";
    EXPECT_EQ(State().ulDataPhase, DATA_PHASE_NONE);
    const Message m = PassUntilReply();
    EXPECT_EQ(m.usCode, APPMSG_GET_COUNTERS);
  });
}

// The data-received handler (a placeholder here) learns through
// usb_comm_take_data_abandoned why its phase ended.
int32_t g_lAbandonedSeen = -1;

TEST_F(UsbComm, ADataPhaseTheUsbTaskNeverArmedEndsAtTheNextRequest) {
  g_app.beforeEvents = [] {
    if (usb_comm_test_event(CMDEV_PRINT_DATA_RECEIVED) != 0) {
      // Plays OnPrintDataReceived.
      usb_comm_clear_event(CMDEV_PRINT_DATA_RECEIVED);
      g_lAbandonedSeen = usb_comm_take_data_abandoned();
      UsbCommState* pState = nullptr;
      usb_comm_get_state(&pState);
      pState->ulDataPhase = DATA_PHASE_NONE;
    }
  };
  InApp([this] {
    // The print handler accepted, but the USB task had answered the host
    // with a time-out and armed nothing.
    State().ulDataPhase = DATA_PHASE_PRINT_IMAGE;
    for (int i = 0; i < 4; ++i) AppPass();
    EXPECT_EQ(State().ulDataPhase, DATA_PHASE_PRINT_IMAGE) << "the phase waits while no request comes";
    PostRequest(AppRequestCode(APPMSG_GET_COUNTERS), {}, 9);
    const Message m = PassUntilMessage();
    EXPECT_EQ(m.usCode, APPMSG_GET_COUNTERS);
    EXPECT_EQ(m.ucTag, 9);
  });
  EXPECT_EQ(g_lAbandonedSeen, 1);
}

TEST_F(UsbComm, EventsRunOnePerCallInTheirOrder) {
  InApp([this] {
    PostRequest(AppRequestCode(APPMSG_SETUP_PRINT_JOB), Bytes(31, 0), 5);
    usb_comm_poll();
    EXPECT_EQ(g_ulJobSetupPending, 1u);
    State().ulDataPhase = DATA_PHASE_PRINT_IMAGE;
    usb_comm_set_event(CMDEV_PRINT_DATA_RECEIVED);
    usb_comm_run_events();
    EXPECT_EQ(State().ulDataPhase, DATA_PHASE_NONE) << "the data-received handler ran first";
    EXPECT_EQ(usb_comm_test_event(CMDEV_SETUP_PRINT_JOB), -1);
    EXPECT_TRUE(QueuedReplies().empty());
    usb_comm_run_events();
    EXPECT_EQ(usb_comm_test_event(CMDEV_SETUP_PRINT_JOB), 0);
    EXPECT_EQ(QueuedReplies(), (std::vector<std::pair<uint16_t, uint8_t>>{{APPMSG_SETUP_PRINT_JOB, 5}}));
  });
}

TEST_F(UsbComm, ARepeatedRequestBeforeItsHandlerRanIsAnsweredOnceWithTheNewerBlock) {
  InApp([] {
    PostRequest(AppRequestCode(APPMSG_SET_CUT_LIST), {1, 0, 2, 0, 3, 0, 4, 0}, 1);
    usb_comm_poll();
    PostRequest(AppRequestCode(APPMSG_SET_CUT_LIST), {5, 0, 6, 0, 7, 0, 8, 0}, 2);
    usb_comm_poll();
    CutListBlock* pBlock = nullptr;
    usb_comm_get_cut_list_block(&pBlock);
    EXPECT_EQ(pBlock->ausCutPositions[0], 5);
    usb_comm_run_events();
    usb_comm_run_events();
    EXPECT_EQ(usb_comm_txreq_count(), 1u);
    EXPECT_EQ(g_aucTxReqTag[0], 2);
    // An event without a reply code queues nothing.
    usb_comm_set_event(CMDEV_RESET);
    usb_comm_run_events();
    EXPECT_EQ(usb_comm_txreq_count(), 1u);
  });
}

TEST_F(UsbComm, AnEventIsClearedOnlyAfterItsHandlerHasRun) {
  // The diagnosis follow-up of the status sheet sets the sheet's text base
  // and then draws, measuring the head voltages; the event is read while
  // it draws, inside the handler.
  int32_t lDuring = 1;
  bool bDone = false;
  g_app.jobs.push_back([&bDone] {
    SelfDiagnosisBlock* pBlock = nullptr;
    usb_comm_get_self_diagnosis_block(&pBlock);
    pBlock->ucSubCommand = protocol::DIAG_STATUS_SHEET;
    g_pPrintSizeTable = &g_PrintSize8x10;
    usb_comm_set_event(CMDEV_DIAGNOSIS_FOLLOWUP);
    usb_comm_run_events();
    bDone = true;
  });
  m_machine->RunUntil(
      [&] {
        if (lDuring == 1 && g_SelfPrintStringY.TextBase() != 0) {
          lDuring = usb_comm_test_event(CMDEV_DIAGNOSIS_FOLLOWUP);
        }
        return bDone;
      },
      Ms(60000));
  ASSERT_TRUE(bDone);
  EXPECT_EQ(lDuring, -1) << "the event was cleared before its handler ran";
  InApp([] { EXPECT_EQ(usb_comm_test_event(CMDEV_DIAGNOSIS_FOLLOWUP), 0); });
}

// The exit-tray handler is installed through its pointer; this one polls
// the host commands from inside, as a handler that publishes status or
// checks for an abort does.
uint32_t g_ulDepth = 0;
uint32_t g_ulMaxDepth = 0;
uint32_t g_ulEntries = 0;
bool g_bSecondRequestWaited = false;

int32_t PollingExitTrayHandler() {
  ++g_ulEntries;
  g_ulMaxDepth = std::max(g_ulMaxDepth, ++g_ulDepth);
  if (g_ulEntries == 1) {
    // The same command again while this handler runs.
    PostRequest(AppRequestCode(APPMSG_GET_EXIT_TRAY_STATUS), {}, 2);
    for (int i = 0; i < 3; ++i) {
      SetStatusItem(SI_PAPER_REMAIN, 50u + i, 1);  // publishes: a poll pass inside
      usb_comm_poll();
      usb_comm_run_events();
    }
    uint16_t usState = 0;
    ReadShMemUsb(SHMEM_BOX_TO_APP, SHMEM_WORD_STATE, &usState);
    g_bSecondRequestWaited = ShMemIsFull(usState);
  }
  ExitTrayStatusBlock* pBlock = nullptr;
  usb_comm_get_exit_tray_status_block(&pBlock);
  pBlock->ucResult = 0;
  pBlock->ucTrayState = protocol::EXIT_TRAY_EMPTY;
  usb_comm_clear_event(CMDEV_GET_EXIT_TRAY_STATUS);
  usb_comm::regist_txreq_code(APPMSG_GET_EXIT_TRAY_STATUS);
  --g_ulDepth;
  return 0;
}

TEST_F(UsbComm, AHandlerNeverRunsNestedInItself) {
  InApp([] {
    g_pfnUsbEvent100000 = PollingExitTrayHandler;
    PostRequest(AppRequestCode(APPMSG_GET_EXIT_TRAY_STATUS), {}, 1);
    usb_comm_poll();
    usb_comm_run_events();
    EXPECT_EQ(g_ulEntries, 1u);
    EXPECT_TRUE(g_bSecondRequestWaited) << "the request for the running handler stayed in the mailbox";
    // Afterwards the second request is taken and runs its own handler.
    for (int i = 0; i < 4; ++i) {
      usb_comm_poll();
      usb_comm_run_events();
    }
    EXPECT_EQ(g_ulEntries, 2u);
  });
  EXPECT_EQ(g_ulMaxDepth, 1u);
}

TEST_F(UsbComm, ARejectedUniversalCountRunsNothingAndIsAnsweredAsABadParameter) {
  InApp([] {
    PostRequest(AppRequestCode(APPMSG_UNIVERSAL), {2, 129, 7}, 1);
    usb_comm_poll();
    UniversalBlock* pBlock = nullptr;
    usb_comm_get_universal_block(&pBlock);
    EXPECT_EQ(pBlock->ucRequestLength, 2);
    usb_comm_clear_events();
    Bytes request(250, 0xEE);
    request[0] = 250;
    PostRequest(AppRequestCode(APPMSG_UNIVERSAL), request, 2);
    const Message m = PassUntilMessage();
    EXPECT_EQ(usb_comm_test_event(CMDEV_UNIVERSAL), 0) << "no handler for a rejected request";
    EXPECT_EQ(pBlock->ucRequestLength, 2) << "the earlier request is left as it was";
    EXPECT_EQ(pBlock->aucRequest[0], 129);
    ASSERT_EQ(m.usCode, APPMSG_UNIVERSAL);
    EXPECT_EQ(m.ucTag, 2);
    EXPECT_EQ(m.payload, (Bytes{protocol::REPLY_ERR_BAD_PARAMETER, 0}));
  });
}

// Parsers that check their payload, table-driven: request, payload, and
// what the block or the reply then says.
TEST_F(UsbComm, ResetKindsRaiseTheEventQueueTheDeferredResetOrAreRefused) {
  InApp([] {
    PostRequest(AppRequestCode(APPMSG_RESET), {protocol::RESET_KIND_PRINTER, 0});
    usb_comm_poll();
    uint32_t ulSet = 0;
    g_pCurEventMng->TestEvent(EV_SYSTEM_RESET, &ulSet);
    EXPECT_EQ(ulSet, 1u);
    EXPECT_EQ(usb_comm_txreq_count(), 0u);

    PostRequest(AppRequestCode(APPMSG_RESET), {protocol::RESET_KIND_TONE_CURVE, 3});
    Message m;
    for (int i = 0; i < 4 && !m.bPresent; ++i) {
      usb_comm_poll();
      m = TakeMessage();
    }
    EXPECT_EQ(m.usCode, APPMSG_RESET);
    EXPECT_EQ(m.payload, Bytes{0});
    EXPECT_EQ(usb_comm_test_event(CMDEV_RESET), -1) << "set by the reply's builder";

    ResetBlock* pBlock = nullptr;
    usb_comm_get_reset_block(&pBlock);
    g_ulPendingResetCount = PENDING_RESETS_MAX;
    PostRequest(AppRequestCode(APPMSG_RESET), {protocol::RESET_KIND_LAMINATE, 0});
    usb_comm_poll();
    EXPECT_EQ(pBlock->ucResult, protocol::REPLY_ERR_QUEUE_FULL);
    PostRequest(AppRequestCode(APPMSG_RESET), {7, 0});
    usb_comm_poll();
    EXPECT_EQ(pBlock->ucResult, protocol::REPLY_ERR_BAD_PARAMETER);
    g_ulPendingResetCount = 0;
  });
}

struct SetupCase {
  const char* name;
  uint8_t cutCount;
  uint8_t mode;
  uint32_t copied;
};

class SetupParser : public UsbComm, public ::testing::WithParamInterface<SetupCase> {};

TEST_P(SetupParser, CutCountDecidesThePositionsAndTheMode) {
  const SetupCase& c = GetParam();
  InApp([&c] {
    Bytes payload(60, 0);
    payload[0] = 2;  // copies
    payload[8] = c.cutCount;
    for (uint32_t i = 0; i < 10; ++i) payload[9 + 2 * i] = static_cast<uint8_t>(100 + i);
    PostRequest(AppRequestCode(APPMSG_SETUP_PRINT_JOB), payload);
    usb_comm_poll();
    SetupPrintJobBlock* pBlock = nullptr;
    usb_comm_get_setup_print_job_block(&pBlock);
    EXPECT_EQ(pBlock->usCopies, 2);
    EXPECT_EQ(pBlock->ucCutMode, c.mode);
    for (uint32_t i = 0; i < 10; ++i) EXPECT_EQ(pBlock->ausCutPositions[i], i < c.copied ? 100 + i : 0) << i;
  });
}

INSTANTIATE_TEST_SUITE_P(Counts, SetupParser,
                         ::testing::Values(SetupCase{"ThreeCuts", 3, CUT_MODE_LIST, 3},
                                           SetupCase{"TenCuts", 10, CUT_MODE_LIST, 10},
                                           SetupCase{"OneCut", 1, CUT_MODE_NONE, 1},
                                           SetupCase{"ElevenCuts", 11, CUT_MODE_NONE, 10},
                                           SetupCase{"DefaultCuts", 255, CUT_MODE_DEFAULT, 0}),
                         [](const ::testing::TestParamInfo<SetupCase>& p) { return std::string(p.param.name); });

TEST_F(UsbComm, PrintAndLaminateParsersNormaliseTheirFields) {
  InApp([] {
    Bytes print(18, 0);
    print[11] = 101;  // x offset
    print[16] = 1;    // one-bit image
    PostRequest(AppRequestCode(APPMSG_PRINT), print);
    usb_comm_poll();
    PrintBlock* pPrint = nullptr;
    usb_comm_get_print_block(&pPrint);
    EXPECT_EQ(pPrint->usXOffset, 100);
    EXPECT_EQ(pPrint->ucImageType, 1);

    Bytes laminate(28, 'x');
    laminate[0] = 3;
    laminate[7] = 25;
    PostRequest(AppRequestCode(APPMSG_SET_LAMINATE_STRING), laminate);
    usb_comm_poll();
    LaminateStringBlock* pText = nullptr;
    usb_comm_get_laminate_string_block(&pText);
    EXPECT_EQ(pText->ucTextLength, 20);
    EXPECT_EQ(std::string(pText->acText, 20), std::string(20, 'x'));
  });
}

}  // namespace
