// Which unit prints which side of a job, and which side comes first, for
// every copy. The decision leaves the machine as it is where the host
// leaves the choice open: each job takes what the job before it left in
// its record.
#include "firmware/control/host_status_table.h"
#include "firmware/printengine/print_job_queue.h"

namespace {

uint32_t Other(uint32_t ulValue) { return ulValue == 1 ? 2u : 1u; }

bool BothColorSides(const PrintJobRecord* pJob) { return (pJob->ucExpectedMask & SLOT_COLORS) == SLOT_COLORS; }

// Both sides: a unit requested for one side puts the other on the other
// unit; none requested keeps the inherited units. Without a first-side
// request the inherited first side stays while the units do, side B comes
// first when only side A's unit changed, side A otherwise.
int32_t ResolveBothSides(PrintJobRecord* pJob) {
  uint32_t r = pJob->request.ulFirstSide;
  uint32_t a = pJob->request.ulUnitA;
  uint32_t b = pJob->request.ulUnitB;
  const UnitAssignment& inherited = pJob->inherited;
  if (a == 0 && b != 0) {
    if (b != UNIT_L && b != UNIT_R) {
      pJob->resolved = UnitAssignment{r, a, b};
      return -1;
    }
    a = Other(b);
  } else if (a != 0 && b == 0) {
    if (a != UNIT_L && a != UNIT_R) {
      pJob->resolved = UnitAssignment{r, a, b};
      return -1;
    }
    b = Other(a);
  } else if (a == 0 && b == 0) {
    a = inherited.ulUnitA;
    b = inherited.ulUnitB;
  }
  if (r == 0) {
    if (a == inherited.ulUnitA && b == inherited.ulUnitB) {
      r = inherited.ulFirstSide;
    } else if (a != inherited.ulUnitA && b == inherited.ulUnitB) {
      r = SIDE_B;
    } else {
      r = SIDE_A;
    }
  }
  pJob->resolved = UnitAssignment{r, a, b};
  return 0;
}

// One side: it comes first and prints on unit R unless a unit is asked for.
int32_t ResolveOneSide(PrintJobRecord* pJob) {
  const bool bSideA = (pJob->ucExpectedMask & SLOT_COLOR_A) != 0;
  uint32_t r = pJob->request.ulFirstSide;
  if (r == 0) r = bSideA ? SIDE_A : SIDE_B;
  uint32_t a = 0;
  uint32_t b = 0;
  if (bSideA) {
    a = pJob->request.ulUnitA != 0 ? pJob->request.ulUnitA : UNIT_R;
  } else {
    b = pJob->request.ulUnitB != 0 ? pJob->request.ulUnitB : UNIT_R;
  }
  pJob->resolved = UnitAssignment{r, a, b};
  pJob->ucFirstSideCommand = static_cast<uint8_t>(r);
  return 0;
}

// The set of the job's last copy; a job ordered without copies prints one.
const UnitAssignment& LastCopySet(const PrintJobRecord* pJob) {
  const bool bEven = pJob->usCopies != 0 && pJob->usCopies % 2 == 0;
  return bEven ? pJob->evenCopySet : pJob->oddCopySet;
}

}  // namespace

int32_t CPrintJobQueue::ResolveUnitAssignment(PrintJobRecord* pJob) {
  const uint8_t ucColors = pJob->ucExpectedMask & SLOT_COLORS;
  if (ucColors == SLOT_COLORS) return ResolveBothSides(pJob);
  if (ucColors != 0) return ResolveOneSide(pJob);
  pJob->resolved = UnitAssignment{};
  return -1;
}

int32_t CPrintJobQueue::SetCopyAssignments(PrintJobRecord* pJob) {
  pJob->oddCopySet = pJob->resolved;
  pJob->evenCopySet = UnitAssignment{};
  if (pJob->usCopies > 1) {
    pJob->evenCopySet = pJob->resolved;
    // Even copies of a two-sided job print the other side first, unless the
    // host fixed the first side.
    if (BothColorSides(pJob) && pJob->request.ulFirstSide == 0) {
      pJob->evenCopySet.ulFirstSide = pJob->resolved.ulFirstSide == SIDE_A ? SIDE_B : SIDE_A;
    }
  }
  return 0;
}

// The side printed last comes first next time, the units of the two sides
// kept apart.
int32_t CPrintJobQueue::ApplyUnitAssignment(PrintJobRecord* pJob) {
  const UnitAssignment& last = LastCopySet(pJob);
  const bool bSideAFirst = last.ulFirstSide == SIDE_A;
  UnitAssignment left{};
  if (BothColorSides(pJob) ? bSideAFirst : !bSideAFirst) {
    left = UnitAssignment{SIDE_B, Other(last.ulUnitB), last.ulUnitB};
  } else {
    left = UnitAssignment{SIDE_A, last.ulUnitA, Other(last.ulUnitA)};
  }
  if (pJob->pNext == nullptr) return 0;
  return SetUnitAssignment(pJob->pNext, left.ulFirstSide, left.ulUnitA, left.ulUnitB);
}

int32_t CPrintJobQueue::SetUnitAssignment(PrintJobRecord* pRecord, uint32_t ulFirstSide, uint32_t ulUnitA,
                                          uint32_t ulUnitB) {
  pRecord->inherited = UnitAssignment{ulFirstSide, ulUnitA, ulUnitB};
  SetStatusItem(SI_UNIT_ASSIGN_1, ulUnitA, 0);
  SetStatusItem(SI_UNIT_ASSIGN_2, ulUnitB, 0);
  return SetStatusItem(SI_UNIT_ASSIGN_3, ulFirstSide, 1);
}

// Every copy takes the set of its number's parity, however many copies the
// host ordered.
int32_t CPrintJobQueue::GetCopyAssignment(const PrintJobRecord* pJob, uint32_t ulCopy, uint32_t* pulFirstSide,
                                          uint32_t* pulUnitA, uint32_t* pulUnitB) const {
  if (ulCopy == 0) return -1;
  const UnitAssignment& set = ulCopy % 2 != 0 ? pJob->oddCopySet : pJob->evenCopySet;
  *pulFirstSide = set.ulFirstSide;
  *pulUnitA = set.ulUnitA;
  *pulUnitB = set.ulUnitB;
  return 0;
}

int32_t CPrintJobQueue::GetCopyUnits(const PrintJobRecord* pJob, uint32_t ulCopy, uint32_t* pulFirstUnit,
                                     uint32_t* pulSecondUnit) const {
  uint32_t ulFirstSide = 0, ulUnitA = 0, ulUnitB = 0;
  if (GetCopyAssignment(pJob, ulCopy, &ulFirstSide, &ulUnitA, &ulUnitB) != 0) {
    *pulFirstUnit = 0;
    *pulSecondUnit = 0;
    return -1;
  }
  const bool bSideAFirst = ulFirstSide == SIDE_A;
  *pulFirstUnit = bSideAFirst ? ulUnitA : ulUnitB;
  *pulSecondUnit = bSideAFirst ? ulUnitB : ulUnitA;
  return 0;
}

int32_t CPrintJobQueue::SlotCodeToUnit(uint32_t ulCode, uint32_t* pulSideIndex) const {
  switch (ulCode) {
    case SLOT_COLOR_A:
    case SLOT_SP_A: *pulSideIndex = 0; return 0;
    case SLOT_COLOR_B:
    case SLOT_SP_B: *pulSideIndex = 1; return 0;
    default: return -1;
  }
}

// The fill-in heads the slot order when its side prints first, and also
// when the first side has no colour picture before it.
int32_t CPrintJobQueue::CheckFirstSlotUnit(const PrintJobRecord* pJob, int32_t* plResult) const {
  if (pJob->ucFillInSlot == 0) {
    *plResult = -1;
  } else {
    *plResult = pJob->ucSlotCount != 0 && pJob->aucSlotOrder[0] == pJob->ucFillInSlot ? 1 : 0;
  }
  return 0;
}
