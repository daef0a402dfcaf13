// Unit assignment and print order: the decision from the requests and what
// the job before left, the copy sets, the assignment each job leaves to the
// record after it (status items 52-54), the print-order rows and the
// machine's present assignment from the roll rotation and the path
// selector.
#include <string>
#include <vector>

#include "firmware/control/control_test_rig.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/path_select.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/print_job_queue.h"

static void PrintTo(const UnitAssignment& a, std::ostream* os) {
  *os << "{" << a.ulFirstSide << ", " << a.ulUnitA << ", " << a.ulUnitB << "}";
}

namespace controltest {
namespace {

using namespace jobtest;

UnitAssignment PublishedAssignment() {
  return UnitAssignment{GetStatusItem(SI_UNIT_ASSIGN_3), GetStatusItem(SI_UNIT_ASSIGN_1),
                        GetStatusItem(SI_UNIT_ASSIGN_2)};
}

// A job record and the record after it, outside the queue's lists.
PrintJobRecord g_Job;
PrintJobRecord g_Next;

struct ResolveCase {
  const char* name;
  uint8_t expected;
  UnitAssignment request;
  UnitAssignment inherited;
  uint16_t copies;
  int32_t result;
  UnitAssignment resolved;
  UnitAssignment even;
  UnitAssignment left;
};

TEST_F(ControlTest, TheAssignmentFollowsTheRequestsOrWhatTheJobBeforeLeft) {
  const ResolveCase cases[] = {
      {"two sides, nothing asked, 2 copies", 5, {0, 0, 0}, {1, 1, 2}, 2, 0, {1, 1, 2}, {2, 1, 2}, {1, 1, 2}},
      {"A asked on R: B on L, both changed, A first", 5, {0, 2, 0}, {1, 1, 2}, 1, 0, {1, 2, 1}, {}, {2, 2, 1}},
      {"B asked on L: A on R as before, first side kept", 5, {0, 0, 1}, {2, 2, 1}, 1, 0, {2, 2, 1}, {}, {1, 2, 1}},
      {"only A's unit changed: B first", 5, {0, 2, 2}, {1, 1, 2}, 1, 0, {2, 2, 2}, {}, {1, 2, 1}},
      {"both on L", 5, {0, 1, 1}, {1, 1, 2}, 3, 0, {1, 1, 1}, {2, 1, 1}, {2, 2, 1}},
      {"first side asked: even copies keep it", 5, {2, 1, 2}, {1, 1, 2}, 2, 0, {2, 1, 2}, {2, 1, 2}, {1, 1, 2}},
      {"one side B, nothing asked", 4, {0, 0, 0}, {1, 1, 2}, 1, 0, {2, 0, 2}, {}, {2, 1, 2}},
      {"one side A on L", 1, {0, 1, 0}, {2, 2, 1}, 1, 0, {1, 1, 0}, {}, {1, 1, 2}},
      {"one side A, side B asked first", 1, {2, 0, 0}, {1, 1, 2}, 1, 0, {2, 2, 0}, {}, {2, 1, 0}},
      {"a unit request of 3 is kept and refused", 5, {0, 3, 0}, {1, 1, 2}, 1, -1, {0, 3, 0}, {}, {1, 3, 1}},
      {"no colour picture", 2, {0, 0, 0}, {1, 1, 2}, 1, -1, {0, 0, 0}, {}, {2, 1, 0}},
      {"no copies ordered leaves what one copy leaves", 5, {0, 0, 0}, {1, 1, 2}, 0, 0, {1, 1, 2}, {}, {2, 1, 2}},
  };
  InApp([&] {
    g_Job.pNext = &g_Next;
    for (const ResolveCase& c : cases) {
      g_Job.ucExpectedMask = c.expected;
      g_Job.ucFirstSideCommand = 0;
      g_Job.request = c.request;
      g_Job.inherited = c.inherited;
      g_Job.usCopies = c.copies;
      EXPECT_EQ(g_PrintJobQueue.ResolveUnitAssignment(&g_Job), c.result) << c.name;
      EXPECT_EQ(g_Job.resolved, c.resolved) << c.name;
      g_PrintJobQueue.SetCopyAssignments(&g_Job);
      EXPECT_EQ(g_Job.oddCopySet, c.resolved) << c.name;
      EXPECT_EQ(g_Job.evenCopySet, c.even) << c.name;
      TakeNotifications();
      g_PrintJobQueue.ApplyUnitAssignment(&g_Job);
      EXPECT_EQ(g_Next.inherited, c.left) << c.name;
      EXPECT_EQ(PublishedAssignment(), c.left) << c.name;
      EXPECT_EQ(TakeNotifications(), 1u) << c.name;
    }
    // A one-sided job's first side becomes its set-up's first side.
    g_Job.ucExpectedMask = SLOT_COLOR_B;
    g_Job.request = UnitAssignment{};
    g_PrintJobQueue.ResolveUnitAssignment(&g_Job);
    EXPECT_EQ(g_Job.ucFirstSideCommand, SIDE_B);
    // The last record of a list leaves nothing anywhere.
    g_Job.pNext = nullptr;
    SetStatusItem(SI_UNIT_ASSIGN_3, 7, 0);
    TakeNotifications();
    EXPECT_EQ(g_PrintJobQueue.ApplyUnitAssignment(&g_Job), 0);
    EXPECT_EQ(GetStatusItem(SI_UNIT_ASSIGN_3), 7u);
    EXPECT_EQ(TakeNotifications(), 0u);
  }, Ms(5000));
}

TEST_F(ControlTest, EveryCopyNumberTakesTheSetOfItsParityHoweverManyCopiesWereOrdered) {
  struct CopyCase {
    uint32_t copy;
    int32_t result;
    UnitAssignment set;
    uint32_t firstUnit;
    uint32_t secondUnit;
  };
  const CopyCase cases[] = {
      {1, 0, {1, 1, 2}, 1, 2},      {2, 0, {2, 1, 2}, 2, 1},      {300, 0, {2, 1, 2}, 2, 1},
      {301, 0, {1, 1, 2}, 1, 2},    {65535, 0, {1, 1, 2}, 1, 2},  {0, -1, {9, 9, 9}, 0, 0},
  };
  InApp([&] {
    g_Job.ucExpectedMask = SLOT_COLORS;
    g_Job.request = UnitAssignment{};
    g_Job.inherited = UnitAssignment{1, 1, 2};
    g_Job.usCopies = 65535;
    g_PrintJobQueue.ResolveUnitAssignment(&g_Job);
    g_PrintJobQueue.SetCopyAssignments(&g_Job);
    for (const CopyCase& c : cases) {
      UnitAssignment set{9, 9, 9};
      EXPECT_EQ(g_PrintJobQueue.GetCopyAssignment(&g_Job, c.copy, &set.ulFirstSide, &set.ulUnitA, &set.ulUnitB),
                c.result)
          << c.copy;
      EXPECT_EQ(set, c.set) << c.copy;
      uint32_t ulFirst = 9, ulSecond = 9;
      EXPECT_EQ(g_PrintJobQueue.GetCopyUnits(&g_Job, c.copy, &ulFirst, &ulSecond), c.result) << c.copy;
      EXPECT_EQ(ulFirst, c.firstUnit) << c.copy;
      EXPECT_EQ(ulSecond, c.secondUnit) << c.copy;
    }
  });
}

TEST_F(ControlTest, WhatAJobLeavesSurvivesTheReuseOfTheRecordThatFollowsIt) {
  InApp([] {
    // Every record used once, so the one that follows holds an old job.
    for (uint32_t i = 0; i < PRINT_JOB_RECORDS; ++i) {
      ASSERT_NE(MakeInternalJob(1, 1, &g_PrintSize8x10, false), nullptr);
      g_PrintJobQueue.CompleteJob();
      EmptyQueue();
    }
    HostSetup asked;
    asked.ucMask = SLOT_COLORS;
    asked.ucFinishOptions = (UNIT_R << 2) | (UNIT_L << 4);  // A on R, B on L
    ASSERT_EQ(SetUpHostJob(asked), 0);
    PrintJobRecord* pFirst = ReceivingJob();
    // The record that followed it on the free list, which the next job takes.
    PrintJobRecord* pFollowing = nullptr;
    ASSERT_EQ(g_PrintJobQueue.GetJob(PRINT_JOB_LIST_FREE, &pFollowing), 0);
    EXPECT_NE(pFollowing->ulJobId, 0u) << "a record used before";
    EXPECT_EQ(pFirst->resolved, (UnitAssignment{1, 2, 1}));
    EXPECT_EQ(pFollowing->inherited, (UnitAssignment{2, 2, 1})) << "side A printed first, B first next";
    // Completed and cancelled, so the machine's assignment is not read.
    g_PrintJobQueue.CompleteJob();
    ASSERT_EQ(g_PrintJobQueue.CancelJob(SetupBlock().ucJobId, 0), 0);
    ASSERT_EQ(SetUpHostJob(HostSetup{SLOT_COLORS}), 0);
    PrintJobRecord* pSecond = ReceivingJob();
    EXPECT_EQ(pSecond, pFollowing);
    EXPECT_EQ(pSecond->resolved, (UnitAssignment{2, 2, 1})) << "as the first job left it";
    EXPECT_EQ(SetupBlock().aucAssignment[0], 2);
    EXPECT_EQ(SetupBlock().aucAssignment[1], 0x20);
    EXPECT_EQ(SetupBlock().aucAssignment[2], 0x10);
  }, Ms(10000));
}

struct OrderCase {
  const char* name;
  uint8_t expected;
  UnitAssignment assignment;
  std::vector<PrintOrderEntry> rows;
  std::vector<uint8_t> slots;  // the slot of each row before the finish
};

TEST_F(ControlTest, ThePrintOrderListsTheColourSidesThenTheSpPicturesOnUnitRThenTheFinish) {
  const OrderCase cases[] = {
      {"everything, A first", 15, {1, 1, 2}, {{0, 1, 1}, {1, 2, 2}, {2, 1, 2}, {3, 2, 2}, {4, 2, 2}}, {1, 4, 2, 8}},
      {"colour A only on R", 1, {1, 2, 0}, {{0, 1, 2}, {4, 1, 2}}, {1}},
      {"both colours, B first", 5, {2, 1, 2}, {{0, 2, 2}, {1, 1, 1}, {4, 1, 1}}, {4, 1}},
      {"colour B and SP of A, B first", 6, {2, 0, 1}, {{0, 2, 1}, {3, 1, 2}, {4, 1, 2}}, {4, 2}},
  };
  InApp([&] {
    ASSERT_NE(MakeInternalJob(), nullptr);
    PrintJobRecord* pJob = nullptr;
    g_PrintJobQueue.GetJob(PRINT_JOB_LIST_ACTIVE, &pJob);
    for (const OrderCase& c : cases) {
      pJob->ucExpectedMask = c.expected;
      g_PrintJobQueue.SetPrintOrderIndex(3);
      EXPECT_EQ(g_PrintJobQueue.BuildPrintOrder(pJob, c.assignment.ulFirstSide, c.assignment.ulUnitA,
                                                c.assignment.ulUnitB),
                0);
      EXPECT_EQ(pJob->ulLastOrderRow, c.rows.size() - 1) << c.name;
      for (uint32_t i = 0; i < c.rows.size(); ++i) {
        PrintOrderEntry row{};
        EXPECT_EQ(g_PrintJobQueue.GetPrintOrderEntry(i, &row.ulKind, &row.ulSide, &row.ulUnit), 0);
        EXPECT_EQ(row.ulKind, c.rows[i].ulKind) << c.name << " row " << i;
        EXPECT_EQ(row.ulSide, c.rows[i].ulSide) << c.name << " row " << i;
        EXPECT_EQ(row.ulUnit, c.rows[i].ulUnit) << c.name << " row " << i;
      }
      // Each row's slot, in turn; none for the finish row.
      for (uint32_t i = 0; i < c.rows.size(); ++i) {
        uint32_t ulIndex = 9;
        g_PrintJobQueue.GetPrintOrderIndex(&ulIndex);
        EXPECT_EQ(ulIndex, i) << c.name;
        ImageSlot* pSlot = nullptr;
        ImageSlot* pWanted = nullptr;
        const int32_t lResult = g_PrintJobQueue.GetOrderedSlot(pJob, &pSlot, 3);
        if (i < c.slots.size()) {
          g_PrintJobQueue.GetImageSlot(pJob, c.slots[i], &pWanted);
          EXPECT_EQ(lResult, 0) << c.name << " row " << i;
          EXPECT_EQ(pSlot, pWanted) << c.name << " row " << i;
        } else {
          EXPECT_EQ(lResult, -1) << c.name << " finish";
        }
        g_PrintJobQueue.SetPrintOrderIndex(i + 1);
      }
    }
    uint32_t ulKind = 9, ulSide = 9, ulUnit = 9;
    EXPECT_EQ(g_PrintJobQueue.GetPrintOrderEntry(5, &ulKind, &ulSide, &ulUnit), -1);
    EXPECT_EQ(ulKind + ulSide + ulUnit, 0u);
  });
}

struct PairCase {
  int32_t rotation;
  uint32_t position;  // of the path selector, 0 undefined
  int32_t unitA;
  int32_t unitB;
  int32_t pathSide;
  int32_t pathSlot;
};

TEST_F(ControlTest, TheUnitPairFollowsTheRollRotationAndThePathSelector) {
  const PairCase cases[] = {
      {2, 0, 1, 2, 0, 0}, {3, 0, 2, 1, 0, 0}, {0, 3, 0, 0, 0, 0}, {2, 3, 1, 2, 1, 1},
      {3, 3, 2, 1, 2, 2}, {2, 4, 1, 2, 2, 4}, {3, 4, 2, 1, 1, 3}, {5, 4, 0, 0, 0, 0},
  };
  InApp([&] {
    g_PortMotorEnable.Set();
    for (const PairCase& c : cases) {
      uint32_t ulPosition = 0;
      g_PathSelect.GetPosition(&ulPosition);
      if (c.position != ulPosition) {
        ASSERT_EQ(g_PathSelect.MoveAndWait(c.position), 0) << c.position;
      }
      g_ParamRotationFlag.SetValueNoSave(c.rotation);
      int32_t lUnitA = 9, lUnitB = 9, lPathSide = 9, lPathSlot = 9;
      EXPECT_EQ(g_UnitPair.Resolve(&lUnitA, &lUnitB, &lPathSide, &lPathSlot), 0);
      const std::string name = std::to_string(c.rotation) + " at " + std::to_string(c.position);
      EXPECT_EQ(lUnitA, c.unitA) << name;
      EXPECT_EQ(lUnitB, c.unitB) << name;
      EXPECT_EQ(lPathSide, c.pathSide) << name;
      EXPECT_EQ(lPathSlot, c.pathSlot) << name;
    }
  }, Ms(20000));
}

}  // namespace
}  // namespace controltest
