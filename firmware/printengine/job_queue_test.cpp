// The print-job queue in the application of a printer whose USB task leaves
// the mailbox to the test: jobs created from the set-up command's block
// and as internal jobs, their images attached and completed against the
// slot order, copies counted and the jobs retired with their buffers back
// in the real slot tables, and the job status in the host status table.
#include "firmware/printengine/print_job_queue.h"

#include <algorithm>
#include <string>
#include <vector>

#include "firmware/control/control_test_rig.h"
#include "firmware/control/leds.h"
#include "firmware/devices/settings.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/print_line.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/printengine/tone_curve.h"

namespace controltest {
namespace {

using namespace jobtest;

std::vector<uint8_t> SlotOrder(const PrintJobRecord* pJob) {
  return std::vector<uint8_t>(pJob->aucSlotOrder, pJob->aucSlotOrder + pJob->ucSlotCount);
}

uint32_t FreeBuffers(uint32_t ulPool) {
  uint32_t ulFree = 0;
  g_pCurBufSlots[ulPool]->CountFree(&ulFree);
  return ulFree;
}

bool ReadyLedOn() { return sim::Board::Current().FindDevice<sim::PanelLeds>()->IsOn(PanelLed::Ready); }

TEST_F(ControlTest, JobIdsCountFromOneAndTheHostNeverSeesZero) {
  InApp([] {
    std::vector<uint32_t> reported;
    for (uint32_t i = 0; i < 257; ++i) {
      ASSERT_EQ(SetUpHostJob({}), 0) << i;
      reported.push_back(SetupBlock().ucJobId);
      const PrintJobRecord* pJob = ReceivingJob();
      EXPECT_EQ(pJob->ulJobId & 0xFFu, SetupBlock().ucJobId);
      if (i == 256) {
        EXPECT_EQ(pJob->ulJobId, 258u) << "257 would show as 0";
      }
      ASSERT_EQ(g_PrintJobQueue.CancelJob(SetupBlock().ucJobId, 0), 0);
      TakeNotifications();
    }
    for (uint32_t i = 0; i < 255; ++i) EXPECT_EQ(reported[i], i + 1) << i;
    EXPECT_EQ(reported[255], 1u);
    EXPECT_EQ(reported[256], 2u);
  }, Ms(60000));
}

struct MaskCase {
  const char* name;
  uint8_t mask;
  uint8_t firstSide;      // the set-up's first side
  uint8_t finishOptions;  // bits 0-1: the first side asked for
  uint8_t expected;
  uint8_t fillIn;
  std::vector<uint8_t> order;
  int32_t fillInFirst;  // CheckFirstSlotUnit
};

TEST_F(ControlTest, AHostJobExpectsItsPicturesAndAFillInSideInTheOrderTheyArrive) {
  const MaskCase cases[] = {
      {"colour A: the fill-in B behind it", 1, 1, 0, 5, 4, {1, 4}, 0},
      {"colour A, one-sided", 17, 0, 0, 1, 0, {1}, -1},
      {"colour B printed first: the fill-in A after it", 4, 2, 0, 5, 1, {4, 1}, 0},
      {"colour B with side A first: the fill-in heads", 4, 1, 0, 5, 1, {1, 4}, 1},
      {"colour and SP of A: the fill-in before the SP picture", 3, 1, 0, 7, 4, {1, 4, 2}, 0},
      {"all four, side B first", 15, 2, 0, 15, 0, {4, 8, 1, 2}, -1},
      {"one-sided B asked to print side A first: only B", 0x14, 0, 1, 4, 0, {4}, -1},
      {"first side undecided: the picture before the fill-in", 4, 0, 0, 5, 1, {4, 1}, 0},
      {"SP of B only, side B asked first: the blank colour A before it", 8, 0, 2, 9, 1, {1, 8}, 1},
  };
  InApp([&] {
    LoadMedia(RIBBON_SIZE_8X10, RIBBON_SIZE_8X10);
    for (const MaskCase& c : cases) {
      HostSetup setup;
      setup.ucMask = c.mask;
      setup.ucFirstSide = c.firstSide;
      setup.ucFinishOptions = c.finishOptions;
      ASSERT_EQ(SetUpHostJob(setup), 0) << c.name;
      PrintJobRecord* pJob = ReceivingJob();
      EXPECT_EQ(pJob->ucExpectedMask, c.expected) << c.name;
      EXPECT_EQ(pJob->ucPendingMask, c.expected) << c.name;
      EXPECT_EQ(pJob->ucFillInSlot, c.fillIn) << c.name;
      EXPECT_EQ(SlotOrder(pJob), c.order) << c.name;
      int32_t lFirst = 9;
      EXPECT_EQ(g_PrintJobQueue.CheckFirstSlotUnit(pJob, &lFirst), 0);
      EXPECT_EQ(lFirst, c.fillInFirst) << c.name;
      for (uint8_t ucCode : {1, 2, 4, 8}) {
        ImageSlot* pSlot = nullptr;
        g_PrintJobQueue.GetImageSlot(pJob, ucCode, &pSlot);
        EXPECT_EQ(pSlot->usSlotState, (c.expected & ucCode) != 0 ? SLOT_EXPECTED : SLOT_UNUSED) << c.name << ucCode;
        EXPECT_EQ(pSlot->usFillIn, ucCode == c.fillIn ? 1 : 0) << c.name << ucCode;
      }
      g_PrintJobQueue.CancelJob(static_cast<uint8_t>(pJob->ulJobId), 0);
    }
  }, Ms(5000));
}

struct CutCase {
  const char* name;
  uint8_t count;
  std::vector<uint16_t> cuts;
  uint16_t offset1;
  uint16_t offset2;
  std::vector<uint16_t> before;
  uint16_t imageLength;
  std::vector<uint16_t> after;
};

TEST_F(ControlTest, CutsComeFromTheHostOrTheFullSizeAndDefaultCutsFollowAShorterPicture) {
  const CutCase cases[] = {
      {"default cuts of the full size", 255, {}, 0, 0, {12, 3012}, 3024, {12, 3012}},
      {"default cuts of a shorter picture", 255, {}, 0, 0, {12, 3012}, 1808, {12, 1796}},
      {"host cuts raised by both offsets but the first", 3, {100, 200, 300}, 10, 5, {100, 215, 315}, 1808,
       {100, 215, 315}},
      {"a count above ten keeps ten",
       12,
       {40, 80, 120, 160, 200, 240, 280, 320, 360, 400},
       0,
       0,
       {40, 80, 120, 160, 200, 240, 280, 320, 360, 400},
       1208,
       {40, 80, 120, 160, 200, 240, 280, 320, 360, 400}},
  };
  InApp([&] {
    LoadMedia(RIBBON_SIZE_8X10, RIBBON_SIZE_8X10);
    for (const CutCase& c : cases) {
      HostSetup setup;
      setup.ucCutCount = c.count;
      setup.cuts = c.cuts;
      setup.usOffset1 = c.offset1;
      setup.usOffset2 = c.offset2;
      ASSERT_EQ(SetUpHostJob(setup), 0) << c.name;
      PrintJobRecord* pJob = ReceivingJob();
      auto cuts = [pJob] { return std::vector<uint16_t>(pJob->ausCutPositions, pJob->ausCutPositions + pJob->ucCutCount); };
      EXPECT_EQ(cuts(), c.before) << c.name;
      EXPECT_EQ(pJob->ucDefaultCuts, c.count == 255 ? 1 : 0) << c.name;
      SetImageBlock(2464, c.imageLength);
      ASSERT_EQ(ReceiveImage(0, IMAGE_HOST, &g_PrintSize8x10), 0) << c.name;
      ASSERT_EQ(g_PrintJobQueue.CompleteJob(), 0);
      g_PrintJobQueue.EqualiseSlotLengths(pJob);
      g_PrintJobQueue.SetDefaultCuts(pJob);
      EXPECT_EQ(cuts(), c.after) << c.name;
      uint32_t ulCount = 0, ulPosition = 0;
      g_PrintJobQueue.GetCutCount(pJob, &ulCount);
      EXPECT_EQ(ulCount, c.after.size()) << c.name;
      g_PrintJobQueue.GetCutPosition(pJob, ulCount - 1, &ulPosition);
      EXPECT_EQ(ulPosition, c.after.back()) << c.name;
      g_PrintJobQueue.CancelJob(static_cast<uint8_t>(pJob->ulJobId), 0);
    }
  }, Ms(5000));
}

enum class Act { Attach, Complete };
struct AttachStep {
  const char* name;
  Act act;
  uint32_t kind;
  uint32_t mode;
  int32_t result;
  uint8_t received;
  uint8_t complete;
};

TEST_F(ControlTest, ImagesAreTakenOnlyByTheSlotTheOrderExpectsNext) {
  // Colour A and SP A, side A first: colour A, the blank fill-in B, SP A.
  const AttachStep steps[] = {
      {"complete before any attach", Act::Complete, 0, 0, -1, 0, 0},
      {"an SP image where colour comes", Act::Attach, 1, IMAGE_HOST, -1, 0, 0},
      {"a blank where the host's colour comes", Act::Attach, 0, IMAGE_BLANK_FILL_IN, -1, 0, 0},
      {"an image of no kind", Act::Attach, 2, IMAGE_HOST, -1, 0, 0},
      {"the colour image", Act::Attach, 0, IMAGE_HOST, 0, 1, 0},
      {"a colour image where the fill-in comes", Act::Attach, 0, IMAGE_HOST, -1, 1, 0},
      {"the colour image's data", Act::Complete, 0, 0, 0, 1, 1},
      {"the fill-in", Act::Attach, 0, IMAGE_BLANK_FILL_IN, 0, 5, 1},
      {"the fill-in complete", Act::Complete, 0, 0, 0, 5, 5},
      {"a complete with no image attached", Act::Complete, 0, 0, -1, 5, 5},
      {"the SP image", Act::Attach, 1, IMAGE_HOST, 0, 7, 5},
      {"the SP image's data", Act::Complete, 0, 0, 0, 7, 7},
      {"no slot left to attach", Act::Attach, 1, IMAGE_HOST, -1, 7, 7},
      {"no slot left to complete", Act::Complete, 0, 0, -1, 7, 7},
  };
  InApp([&] {
    LoadMedia(RIBBON_SIZE_8X10, RIBBON_SIZE_8X10);
    g_ParamMatteMode.SetValueNoSave(0);
    HostSetup setup;
    setup.ucMask = SLOT_COLOR_A | SLOT_SP_A;
    setup.ucFirstSide = SIDE_A;
    ASSERT_EQ(SetUpHostJob(setup), 0);
    PrintJobRecord* pJob = ReceivingJob();
    SetImageBlock(2464, 3024);
    for (const AttachStep& s : steps) {
      const auto itemsBefore = JobStatusItems();
      const uint8_t ucAttachBefore = pJob->ucAttachIndex;
      const uint32_t ulOffset = s.kind == 1 ? 0x4E00000u : 0;
      const int32_t lResult = s.act == Act::Attach
                                  ? g_PrintJobQueue.AddImageSlot(s.kind, ulOffset, s.mode, &g_PrintSize8x10)
                                  : g_PrintJobQueue.CompleteSlot();
      EXPECT_EQ(lResult, s.result) << s.name;
      EXPECT_EQ(pJob->ucReceivedMask, s.received) << s.name;
      EXPECT_EQ(pJob->ucCompleteMask, s.complete) << s.name;
      if (s.result != 0) {
        EXPECT_EQ(JobStatusItems(), itemsBefore) << s.name;
        EXPECT_EQ(pJob->ucAttachIndex, ucAttachBefore) << s.name;
      }
    }
    uint32_t ulAll = 0;
    g_PrintJobQueue.AreAllSlotsReceived(pJob, &ulAll);
    EXPECT_EQ(ulAll, 1u);
    EXPECT_EQ(pJob->slotColorB.ucOwnsBuffer, 0);
    EXPECT_EQ(pJob->slotColorB.usInternal, 1);
    EXPECT_EQ(pJob->slotColorB.usOvercoatKind, OVERCOAT_MATTE) << "the fill-in is always matte";
    EXPECT_EQ(pJob->slotColorB.ulImageAddress, 0xC0800000u);
    EXPECT_EQ(pJob->slotColorA.ucOwnsBuffer, 1);
    EXPECT_EQ(pJob->slotColorA.usOvercoatKind, OVERCOAT_GLOSSY);
    EXPECT_EQ(pJob->slotSpA.ulImageAddress, 0xC0800000u + 0x4E00000u);
    for (ImageSlot* pSlot : SlotsOf(pJob)) {
      if (pSlot != &pJob->slotSpB) {
        EXPECT_EQ(pSlot->usSlotState, SLOT_RECEIVED);
      }
    }
  }, Ms(5000));
}

TEST_F(ControlTest, AHostImageTakesThePrintCommandsGeometryAndThePendingTextsAndCutList) {
  InApp([] {
    LoadMedia(RIBBON_SIZE_8X10, RIBBON_SIZE_8X10);
    ASSERT_EQ(SetUpHostJob({}), 0);
    g_LamiTextItems[3][IMPRINT_TEXT_OFFSET_LENGTH] = 2;
    g_LamiTextItems[3][IMPRINT_TEXT_OFFSET_TEXT] = 'O';
    g_usCutList[1] = 700;
    PrintBlock& b = ImageBlock();
    b = PrintBlock{};
    b.usImageWidth = 2000;
    b.usImageHeight = 1500;
    b.usMediaMaxWidth = 2200;
    b.usMediaMaxHeight = 1600;
    b.usXOffset = 40;
    b.usYOffset = 30;
    b.ucPrintOptionA = OVERCOAT_MATTE;
    ASSERT_EQ(ReceiveImage(0, IMAGE_HOST, &g_PrintSize8x10), 0);
    const ImageSlot& slot = ReceivingJob()->slotColorA;
    const PrintSizeRecord& p = slot.printParams;
    EXPECT_EQ(slot.pParams, &slot.printParams);
    EXPECT_EQ(p.ulSizeId, PRINT_SIZE_ID_8X10);
    EXPECT_EQ(p.ulPrintWidth, 2200u);
    EXPECT_EQ(p.ulPrintLength, 1600u);
    EXPECT_EQ(p.ulOvercoatLength, 1600u);
    EXPECT_EQ(p.ulOvercoatWidth, 2464u);
    EXPECT_EQ(p.ulSourceWidth, 2000u);
    EXPECT_EQ(p.ulSourceHeight, 1500u);
    EXPECT_EQ(p.ulMargin1, 40u);
    EXPECT_EQ(p.ulMargin3, 40u);
    EXPECT_EQ(p.ulMargin2, 30u);
    EXPECT_EQ(slot.usOvercoatKind, OVERCOAT_MATTE);
    EXPECT_EQ(slot.aucTextItems[3][IMPRINT_TEXT_OFFSET_TEXT], 'O');
    EXPECT_EQ(slot.ausCutList[1], 700);
    EXPECT_EQ(g_LamiTextItems[3][IMPRINT_TEXT_OFFSET_TEXT], 0) << "the pending items are taken";
    EXPECT_EQ(g_usCutList[1], 0);
    EXPECT_EQ(g_PrintSize8x10.ulPrintLength, 3024u) << "the table keeps its size";
  });
}

TEST_F(ControlTest, ThreeCopiesAreCountedAndTheJobRetiresWithItsBuffersBackInThePool) {
  struct CopyStep {
    uint32_t more;
    uint32_t copiesLeft;
    uint32_t copiesPrinted;
  };
  const CopyStep steps[] = {{1, 2, 1}, {1, 1, 2}, {0, 0, 0}};
  InApp([&] {
    g_ParamRibbonStatus.SetValueNoSave(1);  // both sides on unit L
    PrintJobRecord* pJob = MakeInternalJob(3, 0);
    ASSERT_NE(pJob, nullptr);
    EXPECT_EQ(FreeBuffers(BUF_POOL_COLOUR), 1u);
    EXPECT_EQ(ReadyJobs(), 1u);
    for (const CopyStep& s : steps) {
      uint32_t ulFirst = 0, ulUnitA = 0, ulUnitB = 0;
      ASSERT_EQ(g_PrintJobQueue.GetCopyAssignment(pJob, pJob->usCopiesPrinted + 1u, &ulFirst, &ulUnitA, &ulUnitB), 0);
      g_PrintJobQueue.BuildPrintOrder(pJob, ulFirst, ulUnitA, ulUnitB);
      for (uint32_t ulRow = 0; ulRow < pJob->ulLastOrderRow; ++ulRow) ASSERT_EQ(g_PrintJobQueue.StartSlotPrint(), 0);
      EXPECT_EQ(pJob->ucPendingMask, 0);
      EXPECT_EQ(GetStatusItem(36) >> 8, SLOT_PRINTING) << "side A's colour slot printing";
      uint32_t ulMore = 9;
      ASSERT_EQ(g_PrintJobQueue.NextCopyOrRetire(&ulMore), 0);
      EXPECT_EQ(ulMore, s.more);
      EXPECT_EQ(pJob->usCopiesLeft, s.copiesLeft);
      if (s.more == 1) {
        EXPECT_EQ(pJob->usCopiesPrinted, s.copiesPrinted);
        EXPECT_EQ(GetStatusItem(33), s.copiesLeft);
        EXPECT_EQ(GetStatusItem(34), s.copiesPrinted);
        EXPECT_EQ(pJob->ucPendingMask, pJob->ucExpectedMask) << "re-armed";
        EXPECT_EQ(GetStatusItem(36), 0x10u + (SLOT_RECEIVED << 8)) << "unit L, colour slot received again";
      }
    }
    PrintJobRecord* pLast = nullptr;
    ASSERT_EQ(g_PrintJobQueue.GetLastJob(PRINT_JOB_LIST_FREE, &pLast), 0);
    EXPECT_EQ(pLast, pJob);
    EXPECT_EQ(ActiveJobs(), 0u);
    EXPECT_EQ(ReadyJobs(), 0u);
    EXPECT_EQ(FreeBuffers(BUF_POOL_COLOUR), 3u);
    EXPECT_EQ(JobStatusItems(), (std::array<uint32_t, 10>{})) << "no job left to report";
    PrintJobRecord* pFound = nullptr;
    ASSERT_EQ(g_PrintJobQueue.FindJobById(static_cast<uint8_t>(pJob->ulJobId), &pFound), 0);
    EXPECT_EQ(pFound, pJob) << "a retired record is still found";
    uint32_t ulMore = 9;
    EXPECT_EQ(g_PrintJobQueue.NextCopyOrRetire(&ulMore), -1) << "no head job";
    EXPECT_EQ(ulMore, 9u);
  }, Ms(5000));
}

TEST_F(ControlTest, The34thJobAndASetUpWhileAJobReceivesAreRefusedAndChangeNothing) {
  InApp([] {
    ASSERT_NE(MakeInternalJob(1, 1, &g_PrintSize8x10, false), nullptr);
    const PrintJobRecord* pReceiving = ReceivingJob();
    TakeNotifications();
    const auto items = JobStatusItems();
    EXPECT_EQ(g_PrintJobQueue.CreateJob(1, 1, 1), -1);
    EXPECT_EQ(SetUpHostJob({}), -1);
    EXPECT_EQ(ReceivingJob(), pReceiving);
    EXPECT_EQ(ActiveJobs(), 1u);
    EXPECT_EQ(JobStatusItems(), items);
    g_PrintJobQueue.CompleteJob();
    for (uint32_t i = 1; i < PRINT_JOB_RECORDS; ++i) {
      ASSERT_EQ(g_PrintJobQueue.CreateJob(1, 1, 1), 0) << i;
      ASSERT_EQ(g_PrintJobQueue.CompleteJob(), 0);
    }
    TakeNotifications();
    EXPECT_EQ(ActiveJobs(), PRINT_JOB_RECORDS);
    PrintJobRecord* pFree = nullptr;
    EXPECT_EQ(g_PrintJobQueue.GetJob(PRINT_JOB_LIST_FREE, &pFree), -1);
    const auto fullItems = JobStatusItems();
    EXPECT_EQ(g_PrintJobQueue.CreateJob(1, 1, 1), -1);
    EXPECT_EQ(ActiveJobs(), PRINT_JOB_RECORDS);
    EXPECT_EQ(ReceivingJob(), nullptr);
    EXPECT_EQ(JobStatusItems(), fullItems);
    EXPECT_EQ(g_PrintJobQueue.CompleteJob(), -1) << "nothing receiving";
    EXPECT_EQ(ReadyJobs(), PRINT_JOB_RECORDS);
  }, Ms(10000));
}

TEST_F(ControlTest, GetJobOfTheReceivingListWithoutOnePublishesTheJobStatusAndFails) {
  InApp([] {
    PrintJobRecord* pHead = MakeInternalJob(2, 1);
    ASSERT_NE(pHead, nullptr);
    SetStatusItem(32, 0, 0);
    SetStatusItem(35, 0, 0);
    TakeNotifications();
    PrintJobRecord* pJob = pHead;
    EXPECT_EQ(g_PrintJobQueue.GetJob(PRINT_JOB_LIST_RECEIVING, &pJob), -1);
    EXPECT_EQ(pJob, nullptr);
    EXPECT_EQ(GetStatusItem(32), pHead->ulJobId);
    EXPECT_EQ(GetStatusItem(35), 2u);
    EXPECT_EQ(TakeNotifications(), 1u);
  });
}

TEST_F(ControlTest, TheJobStatusShowsTheFirstTwoJobsWithOneNotification) {
  InApp([] {
    g_ParamRibbonStatus.SetValueNoSave(1);  // every side on unit L
    PrintJobRecord* pHead = MakeInternalJob(2, 0);
    ASSERT_NE(pHead, nullptr);
    PrintJobRecord* pSecond = MakeInternalJob(4, 1, &g_PrintSize8x10, false);
    ASSERT_NE(pSecond, nullptr);
    TakeNotifications();
    PublishJobStatus(&g_PrintJobQueue);
    EXPECT_EQ(TakeNotifications(), 1u);
    const std::array<uint32_t, 10> expected = {
        pHead->ulJobId, 2, 0, 2,
        0x10u + (SLOT_RECEIVED << 8),  // A: unit L, colour received
        0x10u + (SLOT_RECEIVED << 8),  // B
        pSecond->ulJobId, 4,
        0,                             // A: not printed
        0x10u + (SLOT_EXPECTED << 8),  // B: unit L, colour expected
    };
    EXPECT_EQ(JobStatusItems(), expected);
  });
}

struct LedStep {
  const char* name;
  uint32_t sideMode;  // of a job made, or 9 to retire the head
  bool on;
};

TEST_F(ControlTest, TheReadyLedGoesOffWhenEveryColourBufferHoldsDataAndOnAtRetirement) {
  const LedStep steps[] = {
      {"two of three buffers received", 0, true},
      {"the third received", 1, false},
      {"a job retires", 9, true},
  };
  InApp([&] {
    g_LedReady.On();
    for (const LedStep& s : steps) {
      if (s.sideMode == 9) {
        uint32_t ulMore = 0;
        g_PrintJobQueue.NextCopyOrRetire(&ulMore);
      } else {
        ASSERT_NE(MakeInternalJob(1, s.sideMode), nullptr) << s.name;
      }
      EXPECT_EQ(ReadyLedOn(), s.on) << s.name;
    }
  });
}

TEST_F(ControlTest, LookupsOfWhatTheJobDoesNotHoldFailAndLeaveTheirOutputs) {
  InApp([] {
    PrintJobRecord* pJob = MakeInternalJob(1, 0);
    ASSERT_NE(pJob, nullptr);
    ImageSlot* pSlot = &pJob->slotSpB;
    for (uint32_t ulCode : {0u, 3u, 16u}) {
      EXPECT_EQ(g_PrintJobQueue.GetImageSlot(pJob, ulCode, &pSlot), -1) << ulCode;
      EXPECT_EQ(pSlot, &pJob->slotSpB);
    }
    EXPECT_EQ(g_PrintJobQueue.GetOrderedSlot(pJob, &pSlot, 1), -1) << "every slot attached";
    EXPECT_EQ(g_PrintJobQueue.GetOrderedSlot(pJob, &pSlot, 4), -1);
    EXPECT_EQ(pSlot, &pJob->slotSpB);
    uint32_t ulValue = 77;
    EXPECT_EQ(g_PrintJobQueue.GetCutPosition(pJob, 10, &ulValue), -1);
    EXPECT_EQ(ulValue, 77u);
    PrintJobRecord* pOut = pJob;
    EXPECT_EQ(g_PrintJobQueue.FindJobById(0, &pOut), -1) << "no job has id 0, not even an unused record";
    EXPECT_EQ(g_PrintJobQueue.FindJobById(99, &pOut), -1);
    EXPECT_EQ(g_PrintJobQueue.GetLastJob(PRINT_JOB_LIST_RECEIVING, &pOut), -1);
    EXPECT_EQ(g_PrintJobQueue.GetNthActiveJob(0, &pOut), -1);
    EXPECT_EQ(g_PrintJobQueue.GetNthActiveJob(2, &pOut), -1);
    EXPECT_EQ(pOut, pJob);
    EXPECT_EQ(g_PrintJobQueue.SlotCodeToUnit(3, &ulValue), -1);
    EXPECT_EQ(ulValue, 77u);
    EXPECT_EQ(g_PrintJobQueue.IsColorSlotExpected(pJob, 2), -1);
    EXPECT_EQ(g_PrintJobQueue.IsSpSlotExpected(pJob, 0), -1);
    EXPECT_EQ(g_PrintJobQueue.IsColorSlotComplete(pJob, 1), 0);
    // The cutter lead-in of the plane's print size.
    EXPECT_EQ(g_PrintJobQueue.GetCutterLeadLines(&ulValue), 0);
    EXPECT_EQ(ulValue, 84u);
    EXPECT_EQ(g_pCurPrintSize, &g_PrintSize8x12);
  });
}

struct PrintableCase {
  const char* name;
  bool receivingWithImage;  // a receiving job with an attached image
  bool ready;               // a complete job ahead of it
  bool pendingTaken;        // the complete job's pictures already started
  uint32_t flag;
};

TEST_F(ControlTest, APrintableImageIsOneBothPendingAndReceived) {
  const PrintableCase cases[] = {
      {"no job", false, false, false, 0},
      {"a receiving job with an image attached", true, false, false, 1},
      {"a ready job", false, true, false, 1},
      {"a ready job whose pictures all started", true, true, true, 0},
  };
  InApp([&] {
    for (const PrintableCase& c : cases) {
      EmptyQueue();
      PrintJobRecord* pReady = c.ready ? MakeInternalJob(1, 1) : nullptr;
      if (c.pendingTaken) pReady->ucPendingMask = 0;
      if (c.receivingWithImage) {
        ASSERT_NE(MakeInternalJob(1, 1, &g_PrintSize8x10, false), nullptr);
        ASSERT_EQ(ReceiveImage(0, IMAGE_INTERNAL, &g_PrintSize8x10, false), 0);
      }
      uint32_t ulFlag = 9;
      EXPECT_EQ(g_PrintJobQueue.HasPrintableImage(&ulFlag), 0);
      EXPECT_EQ(ulFlag, c.flag) << c.name;
    }
  });
}

TEST_F(ControlTest, SlotsOfAJobAreMadeAsLongAsItsLongestPicture) {
  InApp([] {
    LoadMedia(RIBBON_SIZE_8X10, RIBBON_SIZE_8X10);
    HostSetup setup;
    setup.ucMask = SLOT_COLOR_A | SLOT_COLOR_B;
    setup.ucFirstSide = SIDE_A;
    ASSERT_EQ(SetUpHostJob(setup), 0);
    PrintJobRecord* pJob = ReceivingJob();
    SetImageBlock(2464, 1808);
    ASSERT_EQ(ReceiveImage(0, IMAGE_HOST, &g_PrintSize8x10), 0);
    SetImageBlock(2464, 1208);
    ASSERT_EQ(ReceiveImage(0, IMAGE_HOST, &g_PrintSize8x10), 0);
    ASSERT_EQ(g_PrintJobQueue.CompleteJob(), 0);
    g_PrintJobQueue.EqualiseSlotLengths(pJob);
    const PrintSizeRecord& a = pJob->slotColorA.printParams;
    const PrintSizeRecord& b = pJob->slotColorB.printParams;
    for (uint32_t i = 0; i < PRINT_PLANES; ++i) {
      EXPECT_EQ(a.aulRearDummyLines[i], g_PrintSize8x10.aulRearDummyLines[i]) << i;
      EXPECT_EQ(b.aulRearDummyLines[i], g_PrintSize8x10.aulRearDummyLines[i] + 600) << i;
    }
    EXPECT_EQ(a.ulColourTailLines, 72u);
    EXPECT_EQ(b.ulColourTailLines, 672u);
    EXPECT_EQ(b.ulOvercoatTailLines, 672u);
    EXPECT_EQ(b.ulPrintLength, 1208u) << "the picture keeps its own length";
  });
}

TEST_F(ControlTest, TheFillInSideTakesThePrintSizeOfTheRealSideWhenTheJobCompletes) {
  InApp([] {
    LoadMedia(RIBBON_SIZE_8X10, RIBBON_SIZE_8X10);
    for (const uint8_t ucMask : {SLOT_COLOR_A, SLOT_SP_A}) {
      HostSetup setup;
      setup.ucMask = ucMask;
      setup.ucFirstSide = SIDE_A;
      ASSERT_EQ(SetUpHostJob(setup), 0);
      PrintJobRecord* pJob = ReceivingJob();
      const bool bColour = ucMask == SLOT_COLOR_A;
      ImageSlot& fillIn = bColour ? pJob->slotColorB : pJob->slotColorA;
      if (!bColour) {
        ASSERT_EQ(ReceiveImage(0, IMAGE_BLANK_FILL_IN, &g_PrintSize8x10), 0);
      }
      SetImageBlock(2464, 2408);
      ASSERT_EQ(ReceiveImage(bColour ? 0 : 1, IMAGE_HOST, &g_PrintSize8x10), 0);
      if (bColour) {
        ASSERT_EQ(ReceiveImage(0, IMAGE_BLANK_FILL_IN, &g_PrintSize8x10), 0);
      }
      ASSERT_EQ(g_PrintJobQueue.CompleteJob(), 0);
      // Without a colour picture of its own the job's print size stays.
      EXPECT_EQ(fillIn.printParams.ulPrintLength, bColour ? 2408u : 3024u) << +ucMask;
      EXPECT_EQ(fillIn.printParams.ulSizeId, PRINT_SIZE_ID_8X10) << +ucMask;
      EmptyQueue();
    }
  });
}

struct CurveCase {
  const char* name;
  uint8_t controlType;
  uint32_t typeL;  // ribbon-type indexes
  uint32_t typeR;
  std::vector<uint32_t> curves;  // of colour A, SP A, colour B, SP B
};

TEST_F(ControlTest, EachPictureTakesTheToneCurveOfItsSlotUnitAndRibbonKind) {
  // Side A on unit R, side B on unit L.
  const CurveCase cases[] = {
      {"kind 1 ribbons", 1, 0, 1, {3, 1, 2, 4}},
      {"a four-panel ribbon in R", 1, 0, 2, {7, 5, 2, 4}},
      {"four-panel ribbons in both", 1, 3, 2, {7, 5, 6, 8}},
      {"mark-sensor ribbons", 0, 1, 0, {3, 1, 2, 4}},
  };
  InApp([&] {
    LoadMedia(RIBBON_SIZE_8X10, RIBBON_SIZE_8X10);
    // RAM curve n holds n in every entry.
    for (uint32_t n = 1; n <= TONE_CURVE_COUNT; ++n) {
      std::fill(CToneCurve::RamCurve(n), CToneCurve::RamCurve(n) + TONE_CURVE_ENTRIES, static_cast<uint16_t>(n));
    }
    for (const CurveCase& c : cases) {
      g_ucRibbonControlType = c.controlType;
      g_ulRibbonTypeIndexL = c.typeL;
      g_ulRibbonTypeIndexR = c.typeR;
      HostSetup setup;
      setup.ucMask = SLOT_CODES;
      setup.ucFirstSide = SIDE_A;
      setup.ucFinishOptions = (UNIT_R << 2) | (UNIT_L << 4);
      ASSERT_EQ(SetUpHostJob(setup), 0);
      PrintJobRecord* pJob = nullptr;
      g_PrintJobQueue.GetJob(0, &pJob);
      ASSERT_NE(pJob, nullptr);
      SetImageBlock(2464, 3024);
      for (uint32_t ulKind : {0u, 1u, 0u, 1u}) ASSERT_EQ(ReceiveImage(ulKind, IMAGE_HOST, &g_PrintSize8x10), 0);
      std::vector<uint32_t> curves;
      for (uint32_t i = 0; i < 4; ++i) {
        ImageSlot* pSlot = nullptr;
        ASSERT_EQ(g_PrintJobQueue.GetImageSlot(pJob, pJob->aucSlotOrder[i], &pSlot), 0);
        curves.push_back(pSlot->ausToneCurve[0]);
      }
      EXPECT_EQ(curves, c.curves) << c.name;
      EmptyQueue();
    }
  });
}

struct InternalImageCase {
  const char* name;
  int32_t matte;
  int32_t imprint;
  uint16_t overcoat;
  uint8_t firstText;
};

TEST_F(ControlTest, AnInternalImageTakesTheMatteSettingAndThePrintersImprintTexts) {
  const InternalImageCase cases[] = {
      {"glossy, no imprint", 0, 0, OVERCOAT_GLOSSY, 0},
      {"matte with the imprint", 1, 1, OVERCOAT_MATTE, 'M'},
  };
  InApp([&] {
    g_ImprintTextItems[0][IMPRINT_TEXT_OFFSET_TEXT] = 'M';
    g_usCutList[0] = 500;
    for (const InternalImageCase& c : cases) {
      g_ParamMatteMode.SetValueNoSave(c.matte);
      g_ParamImprintText.SetValueNoSave(c.imprint);
      PrintJobRecord* pJob = MakeInternalJob(1, 1);
      ASSERT_NE(pJob, nullptr);
      const ImageSlot& slot = pJob->slotColorB;
      EXPECT_EQ(slot.usInternal, 1) << c.name;
      EXPECT_EQ(slot.usOvercoatKind, c.overcoat) << c.name;
      EXPECT_EQ(slot.aucTextItems[0][IMPRINT_TEXT_OFFSET_TEXT], c.firstText) << c.name;
      EXPECT_EQ(slot.ausCutList[0], 0) << c.name;
      EXPECT_EQ(pJob->ausCutPositions[1], 0) << "no size selected: no default cuts";
    }
    EXPECT_EQ(g_usCutList[0], 500) << "the host's pending cut list is not an internal image's";
  });
}

}  // namespace
}  // namespace controltest
