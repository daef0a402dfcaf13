// Multi-up sheets: the first three active jobs looked at, the selector of
// the next sheet decided by the media, the jobs' sizes, copies left and
// how long the jobs have waited, and the merged record built.
#include "firmware/printengine/print_job_merge.h"

#include <cstring>

#include "firmware/devices/settings.h"
#include "firmware/platform/us_timer.h"
#include "firmware/printengine/media_config.h"
#include "firmware/printengine/print_job_queue.h"

constinit PrintJobRecord g_MergedJobRecord;
PrintJobRecord* g_pMergeTargetJob;

namespace {

constexpr uint32_t kWait = 0;
constexpr uint32_t kAny = 0;

// The layout record of a sheet by its selector and the first two jobs'
// size ids (kAny: whatever the id).
struct LayoutChoice {
  uint8_t ucSelectorFrom;
  uint8_t ucSelectorTo;
  uint8_t ucId1;
  uint8_t ucId2;
  uint8_t ucLayout;
};

constexpr LayoutChoice kLayoutChoices[] = {
    {2, 2, 7, kAny, 10}, {2, 2, 8, kAny, 14},  // two copies of one job
    {3, 3, 7, 7, 10},    {3, 3, 8, 7, 11},    {3, 3, 9, 7, 12},
    {3, 3, 7, 8, 13},    {3, 3, 8, 8, 14},    {3, 3, 7, 9, 15},
    {4, 7, kAny, kAny, 16},  // three pictures
};

// What the decision reads of a job.
struct JobView {
  bool bPresent = false;
  uint32_t ulId = 0;  // 0 without a print size
  uint32_t ulLeft = 0;
  bool bDone = false;
  bool bTimedOut = false;
};

JobView ViewOf(const PrintJobRecord* pJob, uint32_t ulNowUs, uint32_t ulWaitUs) {
  JobView v;
  if (pJob == nullptr) return v;
  v.bPresent = true;
  v.ulId = pJob->pPrintSize != nullptr ? pJob->pPrintSize->ulSizeId : 0;
  v.ulLeft = pJob->usCopiesLeft;
  v.bDone = pJob->usComplete != 0;
  v.bTimedOut = ulNowUs - pJob->ulCompletionTick > ulWaitUs;
  return v;
}

bool IdIn(uint32_t ulId, uint32_t a, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0) {
  return ulId == a || (b != 0 && ulId == b) || (c != 0 && ulId == c) || (d != 0 && ulId == d);
}

// A lone first job prints once it has waited long enough.
uint32_t AloneOrWait(const JobView& j, uint32_t ulAlone) { return j.bTimedOut ? ulAlone : kWait; }

// A picture that fits twice on the sheet.
uint32_t RuleA(const JobView& j1, const JobView& j2) {
  if (j1.ulLeft >= 2) return 2;
  if (!j2.bPresent) return AloneOrWait(j1, 1);
  if (j2.bDone) return IdIn(j2.ulId, 7, 8) ? 3u : 1u;
  return j2.ulId == 0 || IdIn(j2.ulId, 7, 8) ? kWait : 1u;
}

// A picture that fits once beside an id-7 picture.
uint32_t RuleB(const JobView& j1, const JobView& j2) {
  if (j1.ulLeft >= 2) return 1;
  if (!j2.bPresent) return AloneOrWait(j1, 1);
  if (j2.bDone) return j2.ulId == 7 ? 3u : 1u;
  return j2.ulId != 0 && j2.ulId != 7 ? 1u : kWait;
}

uint32_t SmallMedia(const JobView& j1, const JobView& j2) {
  if (IdIn(j1.ulId, PRINT_SIZE_ID_8X10, PRINT_SIZE_ID_8X12, 9)) return 1;
  if (j1.ulId == 7) return RuleA(j1, j2);
  if (j1.ulId == 8) return RuleB(j1, j2);
  return kWait;
}

// The short picture on the large media: up to three on a sheet.
uint32_t LargeMediaShort(const JobView& j1, const JobView& j2, const JobView& j3) {
  if (j1.ulLeft > 2) return 4;
  if (j1.ulLeft == 2) {
    if (!j2.bPresent) return AloneOrWait(j1, 2);
    if (j2.bDone) return j2.ulId == 7 ? 5u : 2u;
    return j2.ulId == 0 || j2.ulId == 7 ? kWait : 2u;
  }
  if (!j2.bPresent) return AloneOrWait(j1, 1);
  if (j2.bDone && j2.ulId == 7) {
    if (j2.ulLeft > 1) return 6;
    if (!j3.bPresent) return AloneOrWait(j2, 3);
    if (j3.bDone) return j3.ulId == 7 ? 7u : 3u;
    return j3.ulId == 0 || j3.ulId == 7 ? kWait : 3u;
  }
  if (j2.bDone) return IdIn(j2.ulId, 8, 9) ? 3u : 1u;
  return j2.ulId == 0 || IdIn(j2.ulId, 7, 8, 9) ? kWait : 1u;
}

uint32_t LargeMedia(const JobView& j1, const JobView& j2, const JobView& j3) {
  if (IdIn(j1.ulId, PRINT_SIZE_ID_8X10, PRINT_SIZE_ID_8X12)) return 1;
  if (j1.ulId == 8) return RuleA(j1, j2);
  if (j1.ulId == 9) return RuleB(j1, j2);
  if (j1.ulId == 7) return LargeMediaShort(j1, j2, j3);
  return kWait;
}

// The compatibility tests a selector's sheet needs: the selector it falls
// back to for incompatible jobs, or -1 (selector 0) when a test fails.
int32_t ApplyCompatibility(uint32_t* pulSelector, PrintJobRecord* pJob1, PrintJobRecord* pJob2,
                           PrintJobRecord* pJob3) {
  const uint32_t ulSelector = *pulSelector;
  if (ulSelector != 3 && ulSelector != 5 && ulSelector != 6 && ulSelector != 7) return 0;
  const auto fail = [pulSelector] {
    *pulSelector = 0;
    return -1;
  };
  const MergeCompatibility first = TestMergeCompatibility(pJob1, pJob2);
  if (first == MERGE_FAILS) return fail();
  if (first == MERGE_INCOMPATIBLE) {
    *pulSelector = 1;
    return 0;
  }
  if (ulSelector != 7) return 0;
  const MergeCompatibility second = TestMergeCompatibility(pJob2, pJob3);
  if (second == MERGE_FAILS) return fail();
  const MergeCompatibility third = TestMergeCompatibility(pJob1, pJob3);
  if (third == MERGE_FAILS) return fail();
  if (second == MERGE_INCOMPATIBLE || third == MERGE_INCOMPATIBLE) *pulSelector = 3;
  return 0;
}

// One side's colour pictures of two jobs.
MergeCompatibility OvercoatsMatch(const PrintJobRecord* pX, const PrintJobRecord* pY, uint32_t ulSideIndex) {
  const uint8_t ucCode = SlotCode(ulSideIndex, 0);
  const ImageSlot& x = ulSideIndex == 0 ? pX->slotColorA : pX->slotColorB;
  const ImageSlot& y = ulSideIndex == 0 ? pY->slotColorA : pY->slotColorB;
  const bool bX = (pX->ucExpectedMask & ucCode) != 0;
  const bool bY = (pY->ucExpectedMask & ucCode) != 0;
  // Kind 1 (no overcoat) and glossy share a sheet; matte only with matte.
  const auto glossy = [](uint16_t usKind) { return usKind == 1 || usKind == OVERCOAT_GLOSSY; };
  if (bX && bY) {
    if (x.usOvercoatKind == OVERCOAT_MATTE) {
      if (y.usOvercoatKind == OVERCOAT_MATTE) return MERGE_COMPATIBLE;
      return glossy(y.usOvercoatKind) ? MERGE_INCOMPATIBLE : MERGE_FAILS;
    }
    if (glossy(y.usOvercoatKind)) return MERGE_COMPATIBLE;
    return y.usOvercoatKind == OVERCOAT_MATTE ? MERGE_INCOMPATIBLE : MERGE_FAILS;
  }
  if (!bX && !bY) return MERGE_COMPATIBLE;
  const uint16_t usKind = bX ? x.usOvercoatKind : y.usOvercoatKind;
  if (glossy(usKind)) return MERGE_COMPATIBLE;
  return usKind == OVERCOAT_MATTE ? MERGE_INCOMPATIBLE : MERGE_FAILS;
}

constexpr uint32_t UnitAssignment::*kRequestFields[] = {&UnitAssignment::ulFirstSide, &UnitAssignment::ulUnitA,
                                                        &UnitAssignment::ulUnitB};

bool KeepsFirstJobsOptions(uint32_t ulSelector) { return MergedJobCount(ulSelector) == 1; }

int32_t CombineRequests(uint32_t ulSelector, const PrintJobRecord* pJob1, const PrintJobRecord* pJob2,
                        const PrintJobRecord* pJob3, UnitAssignment* pCombined) {
  *pCombined = pJob1->request;
  if (KeepsFirstJobsOptions(ulSelector)) return 0;
  for (uint32_t UnitAssignment::*pField : kRequestFields) {
    const uint32_t ulX = pJob1->request.*pField;
    const uint32_t ulY = pJob2 != nullptr ? pJob2->request.*pField : 0;
    int32_t lResult = 0;
    if (ulSelector == 7) {
      const uint32_t ulZ = pJob3 != nullptr ? pJob3->request.*pField : 0;
      lResult = CombineMergedRequest(ulX, ulY, ulZ, &(pCombined->*pField));
    } else {
      lResult = CombineMergedRequest(ulX, ulY, &(pCombined->*pField));
    }
    if (lResult != 0) return -1;
  }
  return 0;
}

// The merged record's masks from the target's progress, and the tone
// curves of the slots the first job lacks from the job that has them.
void MergeMasks(PrintJobRecord* pJobs[3], uint32_t ulJobs, const PrintJobRecord* pTarget) {
  PrintJobRecord& m = g_MergedJobRecord;
  uint8_t ucExpected = 0;
  for (uint32_t i = 0; i < ulJobs; ++i) {
    if (pJobs[i] != nullptr) ucExpected = static_cast<uint8_t>(ucExpected | pJobs[i]->ucExpectedMask);
  }
  const uint8_t ucOthers = static_cast<uint8_t>(ucExpected & ~pTarget->ucExpectedMask);
  m.ucExpectedMask = ucExpected;
  m.ucPendingMask = ucExpected;
  m.ucReceivedMask = static_cast<uint8_t>(ucOthers | pTarget->ucReceivedMask);
  m.ucCompleteMask = static_cast<uint8_t>(ucOthers | pTarget->ucCompleteMask);
  for (uint32_t ulSlot = 0; ulSlot < 4; ++ulSlot) {
    const uint8_t ucCode = static_cast<uint8_t>(1u << ulSlot);
    if ((ucExpected & ucCode) == 0 || (pJobs[0]->ucExpectedMask & ucCode) != 0) continue;
    const PrintJobRecord* pFrom = pJobs[1] != nullptr && (pJobs[1]->ucExpectedMask & ucCode) != 0 ? pJobs[1] : pJobs[2];
    if (pFrom == nullptr) continue;
    ImageSlot* pTo = nullptr;
    ImageSlot* pSource = nullptr;
    g_PrintJobQueue.GetImageSlot(&m, ucCode, &pTo);
    g_PrintJobQueue.GetImageSlot(const_cast<PrintJobRecord*>(pFrom), ucCode, &pSource);
    std::memcpy(pTo->ausToneCurve, pSource->ausToneCurve, sizeof(pTo->ausToneCurve));
  }
}

// The fill-in side stays where every job of the sheet has it there.
void MergeFillIn(uint32_t ulSelector, PrintJobRecord* pJobs[3]) {
  PrintJobRecord& m = g_MergedJobRecord;
  const uint8_t uc1 = pJobs[0]->ucFillInSlot;
  const uint8_t uc2 = pJobs[1] != nullptr ? pJobs[1]->ucFillInSlot : 0;
  const uint8_t uc3 = pJobs[2] != nullptr ? pJobs[2]->ucFillInSlot : 0;
  const uint32_t ulJobs = MergedJobCount(ulSelector);
  const bool bKeep = ulJobs == 1 || uc1 == 0 || (uc2 == uc1 && (ulJobs == 2 || uc3 == uc1));
  m.ucFillInSlot = bKeep ? uc1 : 0;
  if (bKeep) return;
  for (ImageSlot* pSlot : {&m.slotColorA, &m.slotColorB}) {
    pSlot->usInternal = 0;
    pSlot->usFillIn = 0;
  }
}

}  // namespace

MergeCompatibility TestMergeCompatibility(const PrintJobRecord* pX, const PrintJobRecord* pY) {
  if (pX == nullptr || pY == nullptr) return MERGE_FAILS;
  for (uint32_t UnitAssignment::*pField : kRequestFields) {
    const uint32_t ulX = pX->request.*pField;
    const uint32_t ulY = pY->request.*pField;
    if (ulX == 0) continue;
    if (ulX > 2) return MERGE_FAILS;
    if (ulY != 0 && ulY != ulX) return MERGE_INCOMPATIBLE;
  }
  const MergeCompatibility sideA = OvercoatsMatch(pX, pY, 0);
  if (sideA != MERGE_COMPATIBLE) return sideA;
  return OvercoatsMatch(pX, pY, 1);
}

uint32_t MergedLayoutId(uint32_t ulSelector, uint32_t ulId1, uint32_t ulId2) {
  for (const LayoutChoice& c : kLayoutChoices) {
    if (ulSelector < c.ucSelectorFrom || ulSelector > c.ucSelectorTo) continue;
    if (c.ucId1 != kAny && c.ucId1 != ulId1) continue;
    if (c.ucId2 != kAny && c.ucId2 != ulId2) continue;
    return c.ucLayout;
  }
  return 0;
}

PrintSizeRecord* PrintSizeOfId(uint32_t ulId) {
  for (PrintSizeRecord& r : g_PrintSizeTable) {
    if (ulId != 0 && r.ulSizeId == ulId) return &r;
  }
  return nullptr;
}

int32_t CombineMergedRequest(uint32_t ulX, uint32_t ulY, uint32_t* pulCombined) {
  if (ulX == 0) {
    *pulCombined = ulY;
    return 0;
  }
  if (ulX > 2 || (ulY != 0 && ulY != ulX)) return -1;
  *pulCombined = ulX;
  return 0;
}

int32_t CombineMergedRequest(uint32_t ulX, uint32_t ulY, uint32_t ulZ, uint32_t* pulCombined) {
  if (ulX == 0) return CombineMergedRequest(ulY, ulZ, pulCombined);
  if (ulX > 2 || (ulY != 0 && ulY != ulX) || (ulZ != 0 && ulZ != ulX)) return -1;
  *pulCombined = ulX;
  return 0;
}

int32_t CPrintJobQueue::TryMergeJobs(uint32_t* pulSelector, uint32_t ulMode) {
  *pulSelector = 0;
  PrintJobRecord* pJob1 = m_pActiveHead;
  if (pJob1 == nullptr) return 0;
  if (ulMode == MERGE_FROM_IDLE && pJob1->usComplete == 0) return 0;
  PrintJobRecord* pJob2 = pJob1->pNext;
  PrintJobRecord* pJob3 = pJob2 != nullptr ? pJob2->pNext : nullptr;
  const uint32_t ulNow = g_UsTimer.NowUs();
  const uint32_t ulWaitUs = static_cast<uint32_t>(SettingValue(g_ParamWaitTime)) * 1000000u;
  const JobView j1 = ViewOf(pJob1, ulNow, ulWaitUs), j2 = ViewOf(pJob2, ulNow, ulWaitUs),
                j3 = ViewOf(pJob3, ulNow, ulWaitUs);
  uint32_t ulMedia = 0;
  g_MediaConfig.GetMediaSize(&ulMedia);
  uint32_t ulSelector = 0;
  if (ulMedia == RIBBON_SIZE_8X10) {
    ulSelector = SmallMedia(j1, j2);
  } else if (ulMedia == RIBBON_SIZE_8X12) {
    ulSelector = LargeMedia(j1, j2, j3);
  } else {
    return -1;
  }
  if (ApplyCompatibility(&ulSelector, pJob1, pJob2, pJob3) != 0) return -1;
  if (ulSelector == 0) return 0;
  // The decision only gives selectors whose layout and options exist.
  if (MergeJobs(ulSelector, pJob1, pJob2, pJob3) != 0) return -1;
  *pulSelector = ulSelector;
  PrintJobRecord* apJobs[3] = {pJob1, pJob2, pJob3};
  for (uint32_t i = 0; i < MergedJobCount(ulSelector); ++i) apJobs[i]->ucPrinting = 1;
  return 0;
}

int32_t CPrintJobQueue::MergeJobs(uint32_t ulSelector, PrintJobRecord* pJob1, PrintJobRecord* pJob2,
                                  PrintJobRecord* pJob3) {
  if (ulSelector == 0) return 0;
  const uint32_t ulJobs = MergedJobCount(ulSelector);
  PrintJobRecord* apJobs[3] = {pJob1, pJob2, pJob3};
  if (ulJobs == 0 || pJob1 == nullptr) return -1;
  for (uint32_t i = 0; i < ulJobs; ++i) {
    if (apJobs[i] == nullptr) return -1;
  }
  UnitAssignment options{};
  if (CombineRequests(ulSelector, pJob1, pJob2, pJob3, &options) != 0) return -1;
  PrintSizeRecord* pLayout = pJob1->pPrintSize;
  if (ulSelector != 1) {
    const uint32_t ulId1 = pJob1->pPrintSize != nullptr ? pJob1->pPrintSize->ulSizeId : 0;
    const uint32_t ulId2 = pJob2 != nullptr && pJob2->pPrintSize != nullptr ? pJob2->pPrintSize->ulSizeId : 0;
    pLayout = PrintSizeOfId(MergedLayoutId(ulSelector, ulId1, ulId2));
  }
  if (pLayout == nullptr) return -1;

  PrintJobRecord& m = g_MergedJobRecord;
  m = *pJob1;
  m.usMergeSelector = static_cast<uint16_t>(ulSelector);
  GetNthActiveJob(ulJobs, &g_pMergeTargetJob);
  m.pPrintSize = pLayout;
  const uint32_t ulCuts = pLayout->ulCutCount < JOB_CUT_POSITIONS ? pLayout->ulCutCount : JOB_CUT_POSITIONS;
  m.ucCutCount = static_cast<uint8_t>(ulCuts);
  for (uint32_t i = 0; i < JOB_CUT_POSITIONS; ++i) {
    m.ausCutPositions[i] = static_cast<uint16_t>(i < ulCuts ? pLayout->aulCutPositions[i] : 0);
  }
  MergeMasks(apJobs, ulJobs, apJobs[ulJobs - 1]);
  MergeFillIn(ulSelector, apJobs);
  m.request = options;
  m.usCopies = 1;
  m.usCopiesLeft = 1;
  m.usCopiesPrinted = 0;

  int32_t lUnitA = 0, lUnitB = 0, lPathSide = 0, lPathSlot = 0;
  g_UnitPair.Resolve(&lUnitA, &lUnitB, &lPathSide, &lPathSlot);
  SetUnitAssignment(&m, static_cast<uint32_t>(lPathSide), static_cast<uint32_t>(lUnitA),
                    static_cast<uint32_t>(lUnitB));
  ResolveUnitAssignment(&m);
  SetCopyAssignments(&m);
  ApplyUnitAssignment(&m);
  return 0;
}
