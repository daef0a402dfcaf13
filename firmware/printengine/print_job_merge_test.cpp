// Multi-up sheets in the application of a printer: which of the first three
// queued jobs share the next sheet on either media (by their sizes, copies
// left and how long they have waited), when two jobs may not share one, the
// layout printed, and the merged record's masks, tone curves, fill-in side
// and finish options.
#include "firmware/printengine/print_job_merge.h"

#include <string>
#include <vector>

#include "firmware/control/control_test_rig.h"
#include "firmware/devices/settings.h"
#include "firmware/platform/us_timer.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/print_job_queue.h"

namespace controltest {
namespace {

using namespace jobtest;

// A queued job: a picture of a size id (0: none yet) and its copies; done
// jobs completed that long ago, the others still receiving.
struct QueuedJob {
  uint32_t id;
  uint32_t copies;
  bool done;
  uint32_t ageMs;
};

// Against "Time [sec]" 1.
constexpr uint32_t kYoung = 0, kOld = 1001;

PrintJobRecord* Queue(const QueuedJob& j) {
  PrintJobRecord* pJob = MakeInternalJob(j.copies, 1, PrintSizeOfId(j.id), j.done);
  if (pJob != nullptr && j.done) pJob->ulCompletionTick = g_UsTimer.NowUs() - j.ageMs * 1000u;
  return pJob;
}

std::vector<PrintJobRecord*> QueueJobs(const std::vector<QueuedJob>& jobs) {
  EmptyQueue();
  std::vector<PrintJobRecord*> queued;
  for (const QueuedJob& j : jobs) queued.push_back(Queue(j));
  return queued;
}

QueuedJob Done(uint32_t id, uint32_t copies = 1, uint32_t ageMs = kYoung) { return {id, copies, true, ageMs}; }
QueuedJob Receiving(uint32_t id) { return {id, 1, false, 0}; }

struct DecisionCase {
  const char* name;
  uint16_t media;
  std::vector<QueuedJob> jobs;
  uint32_t selector;
  uint32_t layout;  // the merged record's size id
};

constexpr uint16_t kSmall = RIBBON_SIZE_8X10, kLarge = RIBBON_SIZE_8X12;

TEST_F(ControlTest, TheNextSheetTakesThePicturesThatFitOnTheMedia) {
  const DecisionCase cases[] = {
      // The small media: rule A for 1208 lines, rule B for 1808.
      {"small, 2408 lines: alone at once", kSmall, {Done(9)}, 1, 9},
      {"small, full size", kSmall, {Done(5)}, 1, 5},
      {"small, 1208 x2", kSmall, {Done(7, 2)}, 2, 10},
      {"small, 1208 + 1208", kSmall, {Done(7), Done(7)}, 3, 10},
      {"small, 1208 + 1808", kSmall, {Done(7), Done(8)}, 3, 13},
      {"small, 1208 + 2408: alone", kSmall, {Done(7), Done(9)}, 1, 7},
      {"small, 1208 + 1808 receiving: wait", kSmall, {Done(7), Receiving(8)}, 0, 0},
      {"small, 1208 + a job without a picture yet: wait", kSmall, {Done(7), Receiving(0)}, 0, 0},
      {"small, 1208 + 2408 receiving: alone", kSmall, {Done(7), Receiving(9)}, 1, 7},
      {"small, lone 1208 waits", kSmall, {Done(7)}, 0, 0},
      {"small, lone 1208 timed out", kSmall, {Done(7, 1, kOld)}, 1, 7},
      {"small, 1808 + 1208: 3016 lines", kSmall, {Done(8), Done(7)}, 3, 11},
      {"small, 1808 x2: alone", kSmall, {Done(8, 2)}, 1, 8},
      {"small, 1808 + 1808: alone", kSmall, {Done(8), Done(8)}, 1, 8},
      {"small, 1808 + 2408 receiving: alone", kSmall, {Done(8), Receiving(9)}, 1, 8},
      {"small, 1808 + 1208 receiving: wait", kSmall, {Done(8), Receiving(7)}, 0, 0},
      {"small, 1808 + no picture yet: wait", kSmall, {Done(8), Receiving(0)}, 0, 0},
      {"small, lone 1808 waits", kSmall, {Done(8)}, 0, 0},
      {"small, lone 1808 timed out", kSmall, {Done(8, 1, kOld)}, 1, 8},
      // The large media: rule A for 1808 lines, rule B for 2408, the tree
      // of the 1208-line pictures.
      {"large, full size", kLarge, {Done(6)}, 1, 6},
      {"large, small full size", kLarge, {Done(5)}, 1, 5},
      {"large, 1808 x2", kLarge, {Done(8, 2)}, 2, 14},
      {"large, 1808 + 1808", kLarge, {Done(8), Done(8)}, 3, 14},
      {"large, 1808 + 1208", kLarge, {Done(8), Done(7)}, 3, 11},
      {"large, 2408 + 1208", kLarge, {Done(9), Done(7)}, 3, 12},
      {"large, 2408 + 2408: alone", kLarge, {Done(9), Done(9)}, 1, 9},
      {"large, 1208 x3", kLarge, {Done(7, 3)}, 4, 16},
      {"large, 1208 x2 + 1208", kLarge, {Done(7, 2), Done(7)}, 5, 16},
      {"large, 1208 x2 + 1808: the two copies", kLarge, {Done(7, 2), Done(8)}, 2, 10},
      {"large, 1208 x2 + 1208 receiving: wait", kLarge, {Done(7, 2), Receiving(7)}, 0, 0},
      {"large, 1208 x2 + 2408 receiving: the two copies", kLarge, {Done(7, 2), Receiving(9)}, 2, 10},
      {"large, lone 1208 x2 waits", kLarge, {Done(7, 2)}, 0, 0},
      {"large, lone 1208 x2 timed out", kLarge, {Done(7, 2, kOld)}, 2, 10},
      {"large, 1208 + 1208 x2", kLarge, {Done(7), Done(7, 2)}, 6, 16},
      {"large, 1208 + 1208 + 1208", kLarge, {Done(7), Done(7), Done(7)}, 7, 16},
      {"large, 1208 + 1208 + 2408: two", kLarge, {Done(7), Done(7), Done(9)}, 3, 10},
      {"large, 1208 + 1208 + 1208 receiving: wait", kLarge, {Done(7), Done(7), Receiving(7)}, 0, 0},
      {"large, 1208 + 1208 + no picture yet: wait", kLarge, {Done(7), Done(7), Receiving(0)}, 0, 0},
      {"large, 1208 + 1208 + 1808 receiving: two", kLarge, {Done(7), Done(7), Receiving(8)}, 3, 10},
      {"large, 1208 + 1208, the second young: wait", kLarge, {Done(7, 1, kOld), Done(7)}, 0, 0},
      {"large, 1208 + 1208, the second timed out", kLarge, {Done(7, 1, kOld), Done(7, 1, kOld)}, 3, 10},
      {"large, 1208 + 1808", kLarge, {Done(7), Done(8)}, 3, 13},
      {"large, 1208 + 2408", kLarge, {Done(7), Done(9)}, 3, 15},
      {"large, 1208 + full size: alone", kLarge, {Done(7), Done(6)}, 1, 7},
      {"large, 1208 + 2408 receiving: wait", kLarge, {Done(7), Receiving(9)}, 0, 0},
      {"large, 1208 + full size receiving: alone", kLarge, {Done(7), Receiving(6)}, 1, 7},
      {"large, lone 1208 waits", kLarge, {Done(7)}, 0, 0},
      {"large, lone 1208 timed out", kLarge, {Done(7, 1, kOld)}, 1, 7},
  };
  InApp([&] {
    g_ParamWaitTime.SetValueNoSave(1);
    for (const DecisionCase& c : cases) {
      LoadMedia(c.media, c.media);
      const std::vector<PrintJobRecord*> jobs = QueueJobs(c.jobs);
      g_MergedJobRecord.usMergeSelector = 0;
      uint32_t ulSelector = 99;
      EXPECT_EQ(g_PrintJobQueue.TryMergeJobs(&ulSelector, MERGE_FROM_IDLE), 0) << c.name;
      EXPECT_EQ(ulSelector, c.selector) << c.name;
      EXPECT_EQ(g_MergedJobRecord.usMergeSelector, c.selector) << c.name;
      if (c.selector != 0) {
        ASSERT_NE(g_MergedJobRecord.pPrintSize, nullptr) << c.name;
        EXPECT_EQ(g_MergedJobRecord.pPrintSize->ulSizeId, c.layout) << c.name;
        EXPECT_EQ(g_pMergeTargetJob, jobs[MergedJobCount(c.selector) - 1]) << c.name;
      }
      for (size_t i = 0; i < jobs.size(); ++i) {
        EXPECT_EQ(jobs[i]->ucPrinting, i < MergedJobCount(c.selector) ? 1u : 0u) << c.name << " job " << i + 1;
      }
    }
  }, Ms(10000));
}

TEST_F(ControlTest, NothingMergesForAJobStillReceivingFromTheIdleCheckOrOnOtherMedia) {
  InApp([] {
    g_ParamWaitTime.SetValueNoSave(1);
    uint32_t ulSelector = 99;
    LoadMedia(kLarge, kLarge);
    QueueJobs({Receiving(7)})[0]->usCopiesLeft = 3;
    EXPECT_EQ(g_PrintJobQueue.TryMergeJobs(&ulSelector, MERGE_FROM_IDLE), 0);
    EXPECT_EQ(ulSelector, 0u) << "the head job still receiving";
    EXPECT_EQ(g_PrintJobQueue.TryMergeJobs(&ulSelector, MERGE_FROM_PRINT_SEQUENCE), 0);
    EXPECT_EQ(ulSelector, 4u) << "between sheets the head job need not be complete";

    QueueJobs({Done(7, 3)});
    LoadMedia(RIBBON_SIZE_NONE, RIBBON_SIZE_NONE);
    ulSelector = 99;
    EXPECT_EQ(g_PrintJobQueue.TryMergeJobs(&ulSelector, MERGE_FROM_IDLE), -1);
    EXPECT_EQ(ulSelector, 0u);

    EmptyQueue();
    ulSelector = 99;
    EXPECT_EQ(g_PrintJobQueue.TryMergeJobs(&ulSelector, MERGE_FROM_IDLE), 0);
    EXPECT_EQ(ulSelector, 0u) << "no job";
  }, Ms(5000));
}

TEST_F(ControlTest, WithoutAWaitTimeALoneJobPrintsOnceAnyTimeHasPassed) {
  InApp([] {
    LoadMedia(kLarge, kLarge);
    for (int32_t lSeconds : {1, 0}) {
      g_ParamWaitTime.SetValueNoSave(lSeconds);
      QueueJobs({Done(7)});
      uint32_t ulSelector = 99;
      g_PrintJobQueue.TryMergeJobs(&ulSelector, MERGE_FROM_IDLE);
      EXPECT_EQ(ulSelector, lSeconds == 0 ? 1u : 0u) << "\"Time [sec]\" " << lSeconds;
    }
  }, Ms(5000));
}

// ---- compatibility ----

struct SideKinds {
  bool a;  // the colour picture of side A expected
  uint16_t kindA;
  bool b;
  uint16_t kindB;
};

struct CompatibilityCase {
  const char* name;
  UnitAssignment x;  // first side, unit of A, unit of B requested
  UnitAssignment y;
  SideKinds kx;
  SideKinds ky;
  MergeCompatibility expected;
};

PrintJobRecord JobOf(const UnitAssignment& request, const SideKinds& kinds) {
  PrintJobRecord r{};
  r.request = request;
  r.ucExpectedMask = static_cast<uint8_t>((kinds.a ? SLOT_COLOR_A : 0) | (kinds.b ? SLOT_COLOR_B : 0));
  r.slotColorA.usOvercoatKind = kinds.kindA;
  r.slotColorB.usOvercoatKind = kinds.kindB;
  return r;
}

TEST(MergeCompatibility, RequestsAndOvercoatsDecideWhetherTwoJobsShareASheet) {
  constexpr SideKinds kGlossyA{true, 2, false, 0}, kMatteA{true, 3, false, 0}, kNone{false, 0, false, 0};
  const CompatibilityCase cases[] = {
      {"nothing asked, glossy", {}, {}, kGlossyA, kGlossyA, MERGE_COMPATIBLE},
      {"first side above 2", {3, 0, 0}, {}, kGlossyA, kGlossyA, MERGE_FAILS},
      {"unit of B above 2", {0, 0, 3}, {}, kGlossyA, kGlossyA, MERGE_FAILS},
      {"unit L against unit R for A", {0, 1, 0}, {0, 2, 0}, kGlossyA, kGlossyA, MERGE_INCOMPATIBLE},
      {"unit L for A, the other leaves it", {0, 1, 0}, {}, kGlossyA, kGlossyA, MERGE_COMPATIBLE},
      {"the first leaves it, the other asks", {}, {2, 2, 2}, kGlossyA, kGlossyA, MERGE_COMPATIBLE},
      {"the later job's value is not range-checked", {}, {7, 0, 0}, kGlossyA, kGlossyA, MERGE_COMPATIBLE},
      {"first side A against B", {1, 0, 0}, {2, 0, 0}, kGlossyA, kGlossyA, MERGE_INCOMPATIBLE},
      {"matte and matte", {}, {}, kMatteA, kMatteA, MERGE_COMPATIBLE},
      {"matte and glossy", {}, {}, kMatteA, kGlossyA, MERGE_INCOMPATIBLE},
      {"matte and kind 0", {}, {}, kMatteA, {true, 0, false, 0}, MERGE_FAILS},
      {"glossy and matte", {}, {}, kGlossyA, kMatteA, MERGE_INCOMPATIBLE},
      {"glossy and kind 1", {}, {}, kGlossyA, {true, 1, false, 0}, MERGE_COMPATIBLE},
      {"glossy and kind 4", {}, {}, kGlossyA, {true, 4, false, 0}, MERGE_FAILS},
      {"only the first has A: matte", {}, {}, kMatteA, kNone, MERGE_INCOMPATIBLE},
      {"only the later has A: glossy", {}, {}, kNone, kGlossyA, MERGE_COMPATIBLE},
      {"only the later has A: kind 5", {}, {}, kNone, {true, 5, false, 0}, MERGE_FAILS},
      {"neither has a picture", {}, {}, kNone, kNone, MERGE_COMPATIBLE},
      {"side B matte against glossy", {}, {}, {true, 2, true, 3}, {true, 2, true, 2}, MERGE_INCOMPATIBLE},
      {"side B not looked at after A", {}, {}, kMatteA, {true, 2, true, 9}, MERGE_INCOMPATIBLE},
      {"requests before overcoats", {0, 1, 0}, {0, 2, 0}, kMatteA, {true, 9, false, 0}, MERGE_INCOMPATIBLE},
  };
  for (const CompatibilityCase& c : cases) {
    const PrintJobRecord x = JobOf(c.x, c.kx), y = JobOf(c.y, c.ky);
    EXPECT_EQ(TestMergeCompatibility(&x, &y), c.expected) << c.name;
  }
  const PrintJobRecord x = JobOf({}, kGlossyA);
  EXPECT_EQ(TestMergeCompatibility(&x, nullptr), MERGE_FAILS);
  EXPECT_EQ(TestMergeCompatibility(nullptr, &x), MERGE_FAILS);
}

struct QueueCompatibilityCase {
  const char* name;
  uint16_t media;
  std::vector<QueuedJob> jobs;
  std::vector<UnitAssignment> requests;
  std::vector<uint16_t> kinds;  // each job's colour B picture
  uint32_t selector;
  int32_t result;
};

TEST_F(ControlTest, JobsThatMayNotShareASheetPrintAloneAndAFailedTestPrintsNothing) {
  const QueueCompatibilityCase cases[] = {
      {"matte beside glossy: alone", kSmall, {Done(7), Done(7)}, {{}, {}}, {3, 2}, 1, 0},
      {"unit L beside unit R for A: alone", kSmall, {Done(7), Done(7)}, {{0, 1, 0}, {0, 2, 0}}, {2, 2}, 1, 0},
      {"a request above 2: nothing", kSmall, {Done(7), Done(7)}, {{0, 3, 0}, {}}, {2, 2}, 0, -1},
      {"three copies are not tested", kLarge, {Done(7, 3), Done(7)}, {{0, 3, 0}, {}}, {3, 2}, 4, 0},
      {"two copies + one: tested", kLarge, {Done(7, 2), Done(7)}, {{}, {}}, {3, 2}, 1, 0},
      {"one + two copies: tested", kLarge, {Done(7), Done(7, 2)}, {{}, {}}, {2, 3}, 1, 0},
      {"three jobs, the first two apart: alone", kLarge, {Done(7), Done(7), Done(7)}, {{}, {}, {}}, {2, 3, 3}, 1, 0},
      {"three jobs, the third apart: two", kLarge, {Done(7), Done(7), Done(7)}, {{}, {}, {}}, {2, 2, 3}, 3, 0},
      {"three jobs, the third apart from the first only: two", kLarge, {Done(7), Done(7), Done(7)},
       {{1, 0, 0}, {}, {2, 0, 0}}, {2, 2, 2}, 3, 0},
      {"three jobs, the third fails: nothing", kLarge, {Done(7), Done(7), Done(7)}, {{}, {}, {}}, {2, 2, 6}, 0, -1},
  };
  InApp([&] {
    g_ParamWaitTime.SetValueNoSave(1);
    for (const QueueCompatibilityCase& c : cases) {
      LoadMedia(c.media, c.media);
      const std::vector<PrintJobRecord*> jobs = QueueJobs(c.jobs);
      for (size_t i = 0; i < jobs.size(); ++i) {
        jobs[i]->request = c.requests[i];
        jobs[i]->slotColorB.usOvercoatKind = c.kinds[i];
      }
      uint32_t ulSelector = 99;
      EXPECT_EQ(g_PrintJobQueue.TryMergeJobs(&ulSelector, MERGE_FROM_IDLE), c.result) << c.name;
      EXPECT_EQ(ulSelector, c.selector) << c.name;
    }
  }, Ms(10000));
}

// ---- the merged record ----

TEST(MergedLayout, EverySelectorAndPairOfSizesHasItsLayoutOrNone) {
  struct Row {
    uint32_t selector, id1, id2, layout;
  };
  const Row rows[] = {
      {2, 7, 0, 10}, {2, 8, 7, 14}, {2, 9, 0, 0},    {3, 7, 7, 10}, {3, 8, 7, 11}, {3, 9, 7, 12},
      {3, 7, 8, 13}, {3, 8, 8, 14}, {3, 7, 9, 15},   {3, 9, 9, 0},  {3, 9, 8, 0},  {3, 6, 7, 0},
      {4, 7, 0, 16}, {5, 7, 7, 16}, {6, 7, 7, 16},   {7, 7, 7, 16}, {1, 7, 0, 0},  {8, 7, 7, 0},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(MergedLayoutId(r.selector, r.id1, r.id2), r.layout) << r.selector << " " << r.id1 << " " << r.id2;
  }
  for (uint32_t ulId : {10u, 11u, 12u, 13u, 14u, 15u, 16u}) {
    const PrintSizeRecord* pLayout = PrintSizeOfId(ulId);
    ASSERT_NE(pLayout, nullptr) << ulId;
    EXPECT_EQ(pLayout->ulPicturesPerSheet, ulId == 16 ? 3u : 2u) << ulId;
  }
  EXPECT_EQ(PrintSizeOfId(0), nullptr);
  EXPECT_EQ(PrintSizeOfId(17), nullptr);
}

TEST(MergedRequests, FinishOptionsCombineWhereTheyAgree) {
  struct Row {
    uint32_t x, y, z;
    bool three;
    int32_t result;
    uint32_t combined;
  };
  const Row rows[] = {
      {0, 2, 0, false, 0, 2}, {0, 7, 0, false, 0, 7}, {1, 0, 0, false, 0, 1}, {1, 1, 0, false, 0, 1},
      {1, 2, 0, false, -1, 0}, {2, 0, 0, false, 0, 2}, {2, 1, 0, false, -1, 0}, {3, 0, 0, false, -1, 0},
      {1, 0, 1, true, 0, 1},  {1, 1, 2, true, -1, 0}, {2, 2, 0, true, 0, 2},  {2, 0, 1, true, -1, 0},
      {0, 0, 2, true, 0, 2},  {0, 1, 2, true, -1, 0}, {0, 0, 0, true, 0, 0},  {4, 0, 0, true, -1, 0},
  };
  for (const Row& r : rows) {
    uint32_t ulCombined = 0;
    const int32_t lResult = r.three ? CombineMergedRequest(r.x, r.y, r.z, &ulCombined)
                                    : CombineMergedRequest(r.x, r.y, &ulCombined);
    EXPECT_EQ(lResult, r.result) << r.x << r.y << r.z;
    if (lResult == 0) {
      EXPECT_EQ(ulCombined, r.combined) << r.x << r.y << r.z;
    }
  }
}

// Three jobs of one 1208-line picture each, on the large media, their
// expected, received and complete masks and fill-in sides as given.
struct MaskCase {
  const char* name;
  uint32_t selector;
  uint8_t expected[3];
  uint8_t received;  // of the target job
  uint8_t complete;
  uint8_t fillIn[3];
  uint8_t mergedExpected;
  uint8_t mergedReceived;
  uint8_t mergedComplete;
  uint8_t mergedFillIn;
  const char* curves;  // per slot of the merged record: the job whose tone curve it holds
};

TEST_F(ControlTest, TheMergedRecordTakesTheTargetsProgressAndTheCurvesOfTheSlotsTheFirstJobLacks) {
  const MaskCase cases[] = {
      {"one job alone", 1, {4, 1, 2}, 4, 4, {1, 0, 0}, 4, 4, 4, 1, "1-1-1-1"},
      {"two copies", 2, {5, 1, 2}, 1, 0, {1, 4, 0}, 5, 1, 0, 1, "1-1-1-1"},
      {"two jobs, the second receiving", 3, {4, 1, 2}, 0, 0, {1, 1, 0}, 5, 4, 4, 1, "2-1-1-1"},
      {"two jobs, the second complete", 3, {4, 3, 2}, 3, 3, {1, 4, 0}, 7, 7, 7, 0, "2-2-1-1"},
      {"no fill-in on the first: kept", 5, {4, 4, 2}, 4, 4, {0, 1, 0}, 4, 4, 4, 0, "1-1-1-1"},
      {"three jobs, the third receiving", 7, {4, 1, 2}, 2, 0, {1, 1, 1}, 7, 7, 5, 1, "2-3-1-1"},
      {"three jobs, the fill-in sides differ", 7, {4, 1, 8}, 8, 8, {1, 1, 4}, 13, 13, 13, 0, "2-1-1-3"},
  };
  InApp([&] {
    LoadMedia(kLarge, kLarge);
    for (const MaskCase& c : cases) {
      const std::vector<PrintJobRecord*> jobs = QueueJobs({Done(7), Done(7), Done(7)});
      for (uint32_t i = 0; i < 3; ++i) {
        jobs[i]->ucExpectedMask = c.expected[i];
        jobs[i]->ucFillInSlot = c.fillIn[i];
        for (ImageSlot* pSlot : SlotsOf(jobs[i])) {
          pSlot->ausToneCurve[0] = static_cast<uint16_t>(i + 1);
          pSlot->usInternal = 1;
          pSlot->usFillIn = 1;
        }
      }
      PrintJobRecord* pTarget = jobs[MergedJobCount(c.selector) - 1];
      pTarget->ucReceivedMask = c.received;
      pTarget->ucCompleteMask = c.complete;
      ASSERT_EQ(g_PrintJobQueue.MergeJobs(c.selector, jobs[0], jobs[1], jobs[2]), 0) << c.name;
      const PrintJobRecord& m = g_MergedJobRecord;
      EXPECT_EQ(m.usMergeSelector, c.selector) << c.name;
      EXPECT_EQ(g_pMergeTargetJob, pTarget) << c.name;
      EXPECT_EQ(m.ucExpectedMask, c.mergedExpected) << c.name;
      EXPECT_EQ(m.ucPendingMask, c.mergedExpected) << c.name;
      EXPECT_EQ(m.ucReceivedMask, c.mergedReceived) << c.name;
      EXPECT_EQ(m.ucCompleteMask, c.mergedComplete) << c.name;
      EXPECT_EQ(m.ucFillInSlot, c.mergedFillIn) << c.name;
      const uint16_t usDropped = m.ucFillInSlot == c.fillIn[0] ? 1 : 0;
      EXPECT_EQ(m.slotColorA.usFillIn, usDropped) << c.name;
      EXPECT_EQ(m.slotColorB.usInternal, usDropped) << c.name;
      EXPECT_EQ(m.slotSpA.usInternal, 1u) << c.name << ": the SP slots keep theirs";
      std::string curves;
      for (uint32_t ulCode : {SLOT_COLOR_A, SLOT_SP_A, SLOT_COLOR_B, SLOT_SP_B}) {
        ImageSlot* pSlot = nullptr;
        g_PrintJobQueue.GetImageSlot(&g_MergedJobRecord, ulCode, &pSlot);
        curves += (curves.empty() ? "" : "-") + std::to_string(pSlot->ausToneCurve[0]);
      }
      EXPECT_EQ(curves, c.curves) << c.name;
      EXPECT_EQ(m.usCopies, 1u);
      EXPECT_EQ(m.usCopiesLeft, 1u);
      EXPECT_EQ(m.usCopiesPrinted, 0u);
    }
  }, Ms(10000));
}

TEST_F(ControlTest, TheMergedSheetCarriesItsLayoutsCutsAndTheJobsCombinedOptions) {
  struct OptionsCase {
    const char* name;
    uint32_t selector;
    UnitAssignment requests[3];
    int32_t result;
    UnitAssignment merged;
  };
  const OptionsCase cases[] = {
      {"copies of one job keep its options", 4, {{1, 2, 3}, {2, 1, 1}, {}}, 0, {1, 2, 3}},
      {"two jobs: the first's 0 takes the second's", 3, {{0, 1, 0}, {2, 1, 2}, {}}, 0, {2, 1, 2}},
      {"two jobs that disagree", 6, {{1, 0, 0}, {2, 0, 0}, {}}, -1, {}},
      {"three jobs: the first decides", 7, {{0, 2, 0}, {1, 2, 0}, {0, 0, 1}}, 0, {1, 2, 1}},
      {"three jobs, the third disagrees", 7, {{0, 2, 0}, {0, 0, 0}, {0, 1, 0}}, -1, {}},
  };
  InApp([&] {
    LoadMedia(kLarge, kLarge);
    for (const OptionsCase& c : cases) {
      const std::vector<PrintJobRecord*> jobs = QueueJobs({Done(7), Done(7), Done(7)});
      for (uint32_t i = 0; i < 3; ++i) jobs[i]->request = c.requests[i];
      g_MergedJobRecord.usMergeSelector = 0;
      EXPECT_EQ(g_PrintJobQueue.MergeJobs(c.selector, jobs[0], jobs[1], jobs[2]), c.result) << c.name;
      if (c.result != 0) {
        EXPECT_EQ(g_MergedJobRecord.usMergeSelector, 0u) << c.name << ": nothing built";
        continue;
      }
      EXPECT_EQ(g_MergedJobRecord.request, c.merged) << c.name;
      const PrintSizeRecord* pLayout = g_MergedJobRecord.pPrintSize;
      ASSERT_NE(pLayout, nullptr);
      ASSERT_EQ(g_MergedJobRecord.ucCutCount, pLayout->ulCutCount) << c.name;
      for (uint32_t i = 0; i < pLayout->ulCutCount; ++i) {
        EXPECT_EQ(g_MergedJobRecord.ausCutPositions[i], pLayout->aulCutPositions[i]) << c.name << " " << i;
      }
    }
    PrintJobRecord* pJob = QueueJobs({Done(9)})[0];
    EXPECT_EQ(g_PrintJobQueue.MergeJobs(2, pJob, nullptr, nullptr), -1) << "no layout of two 2408-line pictures";
    EXPECT_EQ(g_PrintJobQueue.MergeJobs(0, pJob, nullptr, nullptr), 0);
  }, Ms(10000));
}

}  // namespace
}  // namespace controltest
