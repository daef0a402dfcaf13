// The print order of one copy: the rows the print-job sequence works
// through, and the index of the row printing now.
#include "firmware/printengine/print_job_queue.h"

int32_t CPrintJobQueue::BuildPrintOrder(PrintJobRecord* pJob, uint32_t ulFirstSide, uint32_t ulUnitA,
                                        uint32_t ulUnitB) {
  for (PrintOrderEntry& row : m_aPrintOrder) {
    row.ulSide = 0;
    row.ulUnit = 0;
  }
  const bool bSideAFirst = ulFirstSide == SIDE_A;
  const uint32_t ulFirst = bSideAFirst ? SIDE_A : SIDE_B;
  const uint32_t ulSecond = bSideAFirst ? SIDE_B : SIDE_A;
  const uint32_t ulFirstUnit = bSideAFirst ? ulUnitA : ulUnitB;
  const uint32_t ulSecondUnit = bSideAFirst ? ulUnitB : ulUnitA;
  const uint8_t ucExpected = pJob->ucExpectedMask;
  uint32_t n = 0;
  m_aPrintOrder[n++] = PrintOrderEntry{ORDER_COLOR_FIRST, ulFirst, ulFirstUnit};
  if ((ucExpected & SlotCode(ulSecond - 1, 0)) != 0) {
    m_aPrintOrder[n++] = PrintOrderEntry{ORDER_COLOR_SECOND, ulSecond, ulSecondUnit};
  }
  // SP pictures always print on unit R.
  if ((ucExpected & SlotCode(ulFirst - 1, 1)) != 0) m_aPrintOrder[n++] = PrintOrderEntry{ORDER_SP_FIRST, ulFirst, UNIT_R};
  if ((ucExpected & SlotCode(ulSecond - 1, 1)) != 0) {
    m_aPrintOrder[n++] = PrintOrderEntry{ORDER_SP_SECOND, ulSecond, UNIT_R};
  }
  const PrintOrderEntry& before = m_aPrintOrder[n - 1];
  m_aPrintOrder[n] = PrintOrderEntry{ORDER_FINISH, before.ulSide, before.ulUnit};
  pJob->ulLastOrderRow = n;
  m_ulPrintOrderIndex = 0;
  return 0;
}

int32_t CPrintJobQueue::GetPrintOrderEntry(uint32_t ulIndex, uint32_t* pulKind, uint32_t* pulSide,
                                           uint32_t* pulUnit) const {
  if (ulIndex >= PRINT_ORDER_ROWS) {
    *pulKind = 0;
    *pulSide = 0;
    *pulUnit = 0;
    return -1;
  }
  const PrintOrderEntry& row = m_aPrintOrder[ulIndex];
  *pulKind = row.ulKind;
  *pulSide = row.ulSide;
  *pulUnit = row.ulUnit;
  return 0;
}

int32_t CPrintJobQueue::GetPrintOrderIndex(uint32_t* pulIndex) const {
  *pulIndex = m_ulPrintOrderIndex;
  return 0;
}

int32_t CPrintJobQueue::SetPrintOrderIndex(uint32_t ulIndex) {
  m_ulPrintOrderIndex = ulIndex;
  return 0;
}
