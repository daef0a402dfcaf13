// The deferred updates and resets: tone curves and lamination patterns are
// parked by the update and reset commands and applied by the printer
// state's dispatch in the main loop, never nested in a sequence.
#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/devices/lami_image.h"
#include "firmware/hostif/update_handlers.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/printengine/tone_curve.h"
#include "protocol/codes.h"

uint32_t g_ulPendingResetKind[PENDING_RESETS_MAX];
uint32_t g_ulPendingResetArg[PENDING_RESETS_MAX];
uint32_t g_ulPendingResetCount;

namespace {

using namespace protocol;

constexpr uint32_t LAMI_ERROR_INDEX = 0x118;
constexpr uint32_t TONE_CURVE_ERROR_INDEX = 0x115;
constexpr char kLamiText[] = "Loading L 8x12  ";
// Kind 18's text is one character longer than the line.
constexpr char kLamiRamText[] = "Loading L 8x12   ";

// Accepted by the reset parser, not yet appended to the list.
uint32_t s_aulAcceptedKind[PENDING_RESETS_MAX];
uint32_t s_aulAcceptedArg[PENDING_RESETS_MAX];
uint32_t s_ulAcceptedCount;

bool IsCurve(uint32_t ulCurve) { return ulCurve >= 1 && ulCurve <= TONE_CURVE_NUMBER_MAX; }

CBufSlotTable& ColourPool() { return *g_pCurBufSlots[BUF_POOL_COLOUR]; }

void ShowText(const char* pszText, uint32_t ulLength) { g_Lcd.WriteText(pszText, 0, ulLength); }

void PublishDownloading() { SetStatusItem(SI_PRINTER_STATE, PRINTER_STATE_DOWNLOADING, 1); }

void SetUpdateResult(uint8_t ucResult) {
  UpdateBlock* pBlock = nullptr;
  usb_comm_get_update_block(&pBlock);
  pBlock->ucResult = ucResult;
}

int32_t ExpandActiveSlot() {
  ShowText(kLamiText, CLcd::kVisibleColumns);
  return g_LamiImgSlot0.Expand(LAMI_PATTERN_BUFFER);
}

int32_t StoreAndExpand(uint32_t ulKind, uint32_t ulOffset) {
  if (ulKind == UPDATE_KIND_LAMINATE_3) {
    ShowText(kLamiRamText, sizeof kLamiRamText - 1);
    return g_LamiImgSlot0.LoadFromRam(ulOffset, LAMI_PATTERN_BUFFER);
  }
  int32_t lResult = 0;
  if (ulKind == UPDATE_KIND_LAMINATE_1) {
    lResult = g_LamiImgSlot0.Store(ulOffset);
  } else {
    lResult = g_LamiImgSlot1.Store(ulOffset);
    if (lResult == 0) lResult = g_LamiImgSlot0.CopyFrom(g_LamiImgSlot1.GetFlashAddress());
  }
  if (lResult != 0) {
    g_ErrorMng.SetError(LAMI_ERROR_INDEX);
    return lResult;
  }
  return ExpandActiveSlot();
}

// Both tone-curve updates: stored in flash and RAM (with its text and, on
// failure, its error index) or loaded into RAM only. The parked buffer is
// given back in any case.
int32_t ApplyHostCurve(uint32_t ulCurve, uint32_t ulOffset, bool bStore) {
  PublishDownloading();
  ColourPool().ReleaseByAddress(ulOffset);
  if (bStore) ShowText("TONE DATA UPDATE", CLcd::kVisibleColumns);
  int32_t lResult = -1;
  if (!IsCurve(ulCurve)) {
    SetUpdateResult(REPLY_ERR_BAD_PARAMETER);
  } else if (bStore) {
    lResult = g_ToneCurve.StoreHostCurve(ulCurve, ulOffset);
    if (lResult != 0) g_ErrorMng.SetError(TONE_CURVE_ERROR_INDEX);
  } else {
    lResult = g_ToneCurve.LoadHostCurve(ulCurve, ulOffset);
  }
  ColourPool().FreeByAddress(ulOffset);
  return lResult;
}

}  // namespace

int32_t ExecToneCurveSave(uint32_t ulCurve, uint32_t ulOffset) { return ApplyHostCurve(ulCurve, ulOffset, true); }

int32_t ExecToneCurveLoad(uint32_t ulCurve, uint32_t ulOffset) { return ApplyHostCurve(ulCurve, ulOffset, false); }

int32_t ExecLamiImageUpdate(uint32_t ulKind, uint32_t ulOffset) {
  PublishDownloading();
  ColourPool().ReleaseByAddress(ulOffset);
  const int32_t lResult = StoreAndExpand(ulKind, ulOffset);
  ColourPool().FreeByAddress(ulOffset);
  return lResult;
}

int32_t ExecToneCurveReset(uint32_t ulCurve) {
  if (!IsCurve(ulCurve)) {
    ResetBlock* pBlock = nullptr;
    usb_comm_get_reset_block(&pBlock);
    pBlock->ucResult = REPLY_ERR_BAD_PARAMETER;
    return -1;
  }
  ShowText("ToneCurve reset ", CLcd::kVisibleColumns);
  const int32_t lResult = g_ToneCurve.RebuildToneCurve(ulCurve);
  if (lResult != 0) return lResult;
  PhysAddr ulAddress = 0;
  if (g_ToneCurve.GetCurveAddress(TONE_CURVE_SOURCE_FLASH, ulCurve, &ulAddress) != 0) return -1;
  return g_ToneCurve.LoadCurve(ulCurve, ulAddress);
}

int32_t ExecLamiImageReset(uint32_t ulKind) {
  if (ulKind != RESET_KIND_LAMINATE) return -1;
  const int32_t lResult = g_LamiImgSlot0.CopyFrom(g_LamiImgSlot1.GetFlashAddress());
  if (lResult != 0) return lResult;
  return ExpandActiveSlot();
}

// Each action shows the printer downloading while it runs; the state the
// printer showed before comes back when the list is done (the printer state
// that runs the list stays, so nothing else would publish it again, and
// the host's commands would be refused as during a download).
int32_t ApplyPendingUpdates() {
  const uint32_t ulShownState = GetStatusItem(SI_PRINTER_STATE);
  int32_t lResult = 0;
  const uint32_t ulCount = g_ulPendingUpdCount < PENDING_UPDATES_MAX ? g_ulPendingUpdCount : PENDING_UPDATES_MAX;
  for (uint32_t i = 0; i < ulCount; ++i) {
    const uint32_t ulKind = g_ulPendingUpdArg1[i];
    if (ulKind == UPDATE_KIND_TONE_CURVE_SAVE) {
      lResult = ExecToneCurveSave(g_ulPendingUpdArg2[i], g_ulPendingUpdArg3[i]);
    } else if (ulKind == UPDATE_KIND_TONE_CURVE) {
      lResult = ExecToneCurveLoad(g_ulPendingUpdArg2[i], g_ulPendingUpdArg3[i]);
    } else {
      lResult = ExecLamiImageUpdate(ulKind, g_ulPendingUpdArg3[i]);
    }
  }
  g_ulPendingUpdCount = 0;
  g_pCurEventMng->ClearEvent(EV_DEFERRED_UPDATE);
  if (ulCount != 0) SetStatusItem(SI_PRINTER_STATE, ulShownState, 1);
  return lResult;
}

int32_t ApplyPendingResets() {
  int32_t lResult = 0;
  const uint32_t ulCount = g_ulPendingResetCount < PENDING_RESETS_MAX ? g_ulPendingResetCount : PENDING_RESETS_MAX;
  for (uint32_t i = 0; i < ulCount; ++i) {
    if (g_ulPendingResetKind[i] == RESET_KIND_TONE_CURVE) {
      lResult = ExecToneCurveReset(g_ulPendingResetArg[i]);
    } else {
      lResult = ExecLamiImageReset(g_ulPendingResetKind[i]);
    }
  }
  g_ulPendingResetCount = 0;
  g_pCurEventMng->ClearEvent(EV_DEFERRED_RESET);
  return lResult;
}

int32_t AcceptDeferredReset(uint32_t ulKind, uint32_t ulArgument) {
  if (g_ulPendingResetCount + s_ulAcceptedCount >= PENDING_RESETS_MAX) return -1;
  s_aulAcceptedKind[s_ulAcceptedCount] = ulKind;
  s_aulAcceptedArg[s_ulAcceptedCount] = ulArgument;
  ++s_ulAcceptedCount;
  return 0;
}

uint32_t AcceptedResetCount() { return s_ulAcceptedCount; }

// Appends every reset accepted since the last run, each once, in the order
// they were accepted.
int32_t ExecResetCommand() {
  for (uint32_t i = 0; i < s_ulAcceptedCount && g_ulPendingResetCount < PENDING_RESETS_MAX; ++i) {
    g_ulPendingResetKind[g_ulPendingResetCount] = s_aulAcceptedKind[i];
    g_ulPendingResetArg[g_ulPendingResetCount] = s_aulAcceptedArg[i];
    ++g_ulPendingResetCount;
  }
  s_ulAcceptedCount = 0;
  if (g_ulPendingResetCount != 0) g_pCurEventMng->SetEvent(EV_DEFERRED_RESET);
  g_IdleSupervisor.RequestStateUpdate();
  return 0;
}
