// Cancelling jobs: removal of a job not being printed with its buffers,
// requests on a printing one, every job at once, the jobs of a print size
// the media no longer has, and the ends of cancelled jobs that must leave a
// receiving job behind them able to complete.
#include <algorithm>
#include <vector>

#include "firmware/control/control_test_rig.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/path_select.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/print_job_queue.h"

namespace controltest {
namespace {

using namespace jobtest;

uint32_t FreeColourBuffers() {
  uint32_t ulFree = 0;
  g_pCurBufSlots[BUF_POOL_COLOUR]->CountFree(&ulFree);
  return ulFree;
}

// A queued job as a case makes it.
enum class Job { Ready, ReadyPrinting, Receiving, ReceivingPrinting };

PrintJobRecord* Make(Job job) {
  const bool bReceiving = job == Job::Receiving || job == Job::ReceivingPrinting;
  PrintJobRecord* pJob = MakeInternalJob(2, 1, &g_PrintSize8x10, !bReceiving);
  if (pJob != nullptr) pJob->ucPrinting = job == Job::ReadyPrinting || job == Job::ReceivingPrinting ? 1 : 0;
  return pJob;
}

constexpr uint32_t kAll = 0;      // cancel every job
constexpr uint32_t kUnknown = 99;  // an id no job ever had

struct CancelCase {
  const char* name;
  uint32_t printMode;
  std::vector<Job> jobs;
  uint32_t target;  // 1-based position in the queue, kAll or kUnknown
  uint8_t mode;
  int32_t result;
  std::vector<uint32_t> left;       // positions of the jobs still queued
  std::vector<uint16_t> requests;   // their cancel requests
  uint32_t ready;
  bool receiving;  // a receiving job is left
};

TEST_F(ControlTest, AJobNotPrintingLeavesAtOnceAndAPrintingJobGetsTheRequestOfTheMode) {
  using enum Job;
  const CancelCase cases[] = {
      {"a complete job behind the printing one", 0, {ReadyPrinting, Ready}, 2, 0, 0, {1}, {0}, 1, false},
      {"the receiving job behind a complete one", 0, {Ready, Receiving}, 2, 1, 0, {1}, {0}, 1, false},
      {"mode 0 on the printing job: after the sheet", 0, {ReadyPrinting}, 1, 0, 0, {1}, {1}, 1, false},
      {"mode 1 on the printing job: after the row", 0, {ReadyPrinting, Ready}, 1, 1, 0, {1, 2}, {2, 0}, 2, false},
      {"mode 2 on a printing job still receiving", 0, {ReceivingPrinting}, 1, 2, 0, {1}, {4}, 0, true},
      {"mode 2 on a printing job no longer receiving", 0, {ReadyPrinting}, 1, 2, -1, {1}, {0}, 1, false},
      {"mode 3 on a printing job", 0, {ReadyPrinting}, 1, 3, -1, {1}, {0}, 1, false},
      {"any mode in multi-up print mode", 1, {ReadyPrinting}, 1, 2, 0, {1}, {1}, 1, false},
      {"every job while two print",
       0,
       {ReadyPrinting, ReadyPrinting, Ready, Receiving},
       kAll,
       1,
       0,
       {1, 2},
       {2, 2},
       2,
       false},
      {"an id no job has", 0, {Ready}, kUnknown, 0, -1, {1}, {0}, 1, false},
  };
  InApp([&] {
    for (const CancelCase& c : cases) {
      EmptyQueue();
      g_ulPrintMode = c.printMode;
      std::vector<PrintJobRecord*> jobs;
      for (Job job : c.jobs) jobs.push_back(Make(job));
      const uint32_t ulFreeBefore = FreeColourBuffers();
      const uint8_t ucId = c.target == kAll       ? 0
                           : c.target == kUnknown ? 99
                                                  : static_cast<uint8_t>(jobs[c.target - 1]->ulJobId);
      EXPECT_EQ(g_PrintJobQueue.CancelJobs(ucId, c.mode), c.result) << c.name;
      std::vector<PrintJobRecord*> left;
      std::vector<uint16_t> requests;
      for (uint32_t ulPosition : c.left) {
        left.push_back(jobs[ulPosition - 1]);
        requests.push_back(jobs[ulPosition - 1]->usCancelRequest);
      }
      std::vector<PrintJobRecord*> queued;
      PrintJobRecord* pJob = nullptr;
      for (uint32_t n = 1; g_PrintJobQueue.GetNthActiveJob(n, &pJob) == 0; ++n) queued.push_back(pJob);
      EXPECT_EQ(queued, left) << c.name;
      EXPECT_EQ(requests, c.requests) << c.name;
      EXPECT_EQ(ReadyJobs(), c.ready) << c.name;
      EXPECT_EQ(ActiveJobs(), c.left.size()) << c.name;
      EXPECT_EQ(ReceivingJob() != nullptr, c.receiving) << c.name;
      // A removed job's buffer is back in the pool, and its copies gone.
      const uint32_t ulRemovedWithBuffers = static_cast<uint32_t>(std::count_if(jobs.begin(), jobs.end(), [&](PrintJobRecord* p) {
        return std::find(left.begin(), left.end(), p) == left.end() && p->usComplete != 0;
      }));
      EXPECT_EQ(FreeColourBuffers(), ulFreeBefore + ulRemovedWithBuffers) << c.name;
      for (PrintJobRecord* p : jobs) {
        if (std::find(left.begin(), left.end(), p) == left.end()) {
          EXPECT_EQ(p->usCopies + p->usCopiesLeft + p->usCopiesPrinted, 0) << c.name;
        }
      }
    }
  }, Ms(10000));
}

TEST_F(ControlTest, AnIdOnlyARetiredRecordCarriesCancelsNothing) {
  InApp([] {
    PrintJobRecord* pJob = MakeInternalJob(1, 1);
    uint32_t ulMore = 0;
    g_PrintJobQueue.NextCopyOrRetire(&ulMore);
    PrintJobRecord* pFound = nullptr;
    ASSERT_EQ(g_PrintJobQueue.FindJobById(static_cast<uint8_t>(pJob->ulJobId), &pFound), 0);
    EXPECT_EQ(g_PrintJobQueue.CancelJob(static_cast<uint8_t>(pJob->ulJobId), 0), -1);
    EXPECT_EQ(g_PrintJobQueue.CancelJobs(static_cast<uint8_t>(pJob->ulJobId), 0), -1);
  });
}

TEST_F(ControlTest, CancellingTheOnlyJobWhileItReceivesLeavesTheMachinesAssignmentToTheNext) {
  InApp([] {
    g_PortMotorEnable.Set();
    ASSERT_EQ(g_PathSelect.MoveAndWait(4), 0);
    g_ParamRotationFlag.SetValueNoSave(3);  // A on R, B on L
    PrintJobRecord* pJob = MakeInternalJob(1, 1, &g_PrintSize8x10, false);
    PrintJobRecord* pNext = nullptr;
    g_PrintJobQueue.GetJob(PRINT_JOB_LIST_FREE, &pNext);
    TakeNotifications();
    ASSERT_EQ(g_PrintJobQueue.CancelJob(static_cast<uint8_t>(pJob->ulJobId), 0), 0);
    EXPECT_EQ(TakeNotifications(), 2u) << "the assignment's and the job status'";
    EXPECT_EQ(ReceivingJob(), nullptr);
    // The path leads to unit R, which prints side A: A first.
    EXPECT_EQ(pNext->inherited, (UnitAssignment{1, 2, 1}));
    EXPECT_EQ(GetStatusItem(SI_UNIT_ASSIGN_1), 2u);
    EXPECT_EQ(GetStatusItem(SI_UNIT_ASSIGN_2), 1u);
    EXPECT_EQ(GetStatusItem(SI_UNIT_ASSIGN_3), 1u);
    PrintJobRecord* pFree = nullptr;
    g_PrintJobQueue.GetLastJob(PRINT_JOB_LIST_FREE, &pFree);
    EXPECT_EQ(pFree, pJob) << "the cancelled record goes to the tail of the free list";
  }, Ms(5000));
}

TEST_F(ControlTest, TheJobsOfAPrintSizeLeaveWhateverTheyDoAndWithoutAStatusNotification) {
  InApp([] {
    std::vector<PrintJobRecord*> jobs;
    for (uint32_t ulRow : {PRINT_SIZE_ROW_8X12, 2u, PRINT_SIZE_ROW_8X12}) {
      jobs.push_back(MakeInternalJob(1, 1, &g_PrintSizeTable[ulRow]));
    }
    jobs[0]->ucPrinting = 1;
    TakeNotifications();
    EXPECT_EQ(g_PrintJobQueue.CancelByImageAddress(&g_PrintSize8x12), 0);
    EXPECT_EQ(g_PrintJobQueue.CancelByImageAddress(&g_PrintSize8x10), 0);
    PrintJobRecord* pHead = nullptr;
    g_PrintJobQueue.GetNthActiveJob(1, &pHead);
    EXPECT_EQ(pHead, jobs[1]) << "the id-9 job alone is left";
    EXPECT_EQ(ActiveJobs(), 1u);
    EXPECT_EQ(ReadyJobs(), 1u);
    EXPECT_EQ(FreeColourBuffers(), 2u);
    EXPECT_EQ(TakeNotifications(), 0u);
  });
}

// A job ended by its cancel request at a copy count takes the receiving
// pointer only when it was itself receiving: a job behind it that still
// receives completes as usual.
TEST_F(ControlTest, ACancelledHeadRetiringLeavesTheJobBehindItReceiving) {
  InApp([] {
    PrintJobRecord* pHead = MakeInternalJob(3, 1);
    pHead->ucPrinting = 1;
    PrintJobRecord* pTail = MakeInternalJob(1, 1, &g_PrintSize8x10, false);
    ASSERT_EQ(g_PrintJobQueue.CancelJob(static_cast<uint8_t>(pHead->ulJobId), 0), 0);
    EXPECT_EQ(pHead->usCancelRequest, CANCEL_AFTER_SHEET);
    uint32_t ulMore = 9;
    ASSERT_EQ(g_PrintJobQueue.NextCopyOrRetire(&ulMore), 0);
    EXPECT_EQ(ulMore, 0u) << "the request ends the job whatever copies are left";
    EXPECT_EQ(pHead->usCancelRequest, 0);
    EXPECT_EQ(pHead->usCopies, 0);
    EXPECT_EQ(ReceivingJob(), pTail);
    ASSERT_EQ(ReceiveImage(0, IMAGE_INTERNAL, &g_PrintSize8x10), 0);
    EXPECT_EQ(g_PrintJobQueue.CompleteJob(), 0);
    EXPECT_EQ(ReadyJobs(), 1u);
    PrintJobRecord* pNow = nullptr;
    g_PrintJobQueue.GetJob(PRINT_JOB_LIST_ACTIVE, &pNow);
    EXPECT_EQ(pNow, pTail);
    EXPECT_EQ(pTail->ucPrinting, 1) << "the next head is taken";
  });
}

// After a multi-up sheet the cancelled jobs leave: a receiving one takes
// the receiving pointer with it, and only complete ones lower the count of
// ready jobs.
TEST_F(ControlTest, AJobCancelledDuringAMultiUpSheetLeavesTheQueueAbleToTakeTheNextSetUp) {
  InApp([] {
    ASSERT_EQ(SetPrintMode(PRINT_MODE_MULTI_UP), 0);
    PrintJobRecord* pReady = MakeInternalJob(2, 1);
    pReady->ucPrinting = 1;
    PrintJobRecord* pReceiving = MakeInternalJob(1, 1, &g_PrintSize8x10, false);
    pReceiving->ucPrinting = 1;  // merged into the sheet while it receives
    ASSERT_EQ(g_PrintJobQueue.CancelJob(static_cast<uint8_t>(pReceiving->ulJobId), 1), 0);
    EXPECT_EQ(pReceiving->usCancelRequest, CANCEL_AFTER_SHEET);
    uint32_t ulMore = 9;
    ASSERT_EQ(g_PrintJobQueue.CopyPrinted(&ulMore), 0);
    EXPECT_EQ(ulMore, 1u) << "the head prints another copy";
    EXPECT_EQ(ActiveJobs(), 1u);
    EXPECT_EQ(ReadyJobs(), 1u) << "the job left was not complete";
    EXPECT_EQ(ReceivingJob(), nullptr);
    EXPECT_NE(MakeInternalJob(1, 1), nullptr) << "the next set-up is taken";
    EXPECT_EQ(ReadyJobs(), 2u);
  });
}

}  // namespace
}  // namespace controltest
