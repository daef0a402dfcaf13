// The update command: the rules of each update kind (argument, the data
// sizes its destination can hold, immediate or deferred), the buffer its
// data lands in, and the dispatch once the data phase has ended.
//
// Every refusal is answered before a data phase is armed, so the host's
// bulk data never lands anywhere. The data of an update is given image
// buffers of the colour pool for the time it lies in the download buffer:
// an immediate kind the buffers from offset 0, which must be free (the
// sheet being printed, a queued job's image or a parked update could lie
// there), a deferred kind as many consecutive free buffers as it needs.
#include "firmware/control/event_set.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/devices/lami_image.h"
#include "firmware/devices/main_image_writer.h"
#include "firmware/hostif/update_handlers.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/hostif/usb_command_layer.h"
#include "firmware/printengine/cis.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/table_store.h"
#include "protocol/codes.h"

uint32_t g_ulPendingUpdArg1[PENDING_UPDATES_MAX];
uint32_t g_ulPendingUpdArg2[PENDING_UPDATES_MAX];
uint32_t g_ulPendingUpdArg3[PENDING_UPDATES_MAX];
uint32_t g_ulPendingUpdCount;

namespace {

using namespace protocol;

struct UpdateKindRule {
  uint8_t ucKind;
  // Null: deferred, parked until the printer state applies it.
  int32_t (*pfnImmediate)();
  bool bCurveArgument;
  // The sizes accepted: from the minimum to the maximum in steps.
  uint32_t ulMinBytes;
  uint32_t ulMaxBytes;
  uint32_t ulStepBytes;
  // Bytes behind the data that its action writes into the buffer.
  uint32_t ulTrailerBytes;
};

constexpr uint32_t ANY_SIZE_STEP = 1;

constexpr UpdateKindRule kRules[] = {
    {UPDATE_KIND_DSP, ExecDspUpdate, false, DSP_IMAGE_BYTES, DSP_IMAGE_BYTES, ANY_SIZE_STEP, 0},
    {UPDATE_KIND_MAIN, ExecMainUpdate, false, 1, FIRMWARE_MAX_PROGRAM_LENGTH, ANY_SIZE_STEP, 0},
    {UPDATE_KIND_TABLE, ExecTableUpdate, false, 1, TABLE_AREA_BYTES, ANY_SIZE_STEP, 0},
    {UPDATE_KIND_TONE_CURVE_SAVE, nullptr, true, TONE_CURVE_SIZE, TONE_CURVE_SIZE, ANY_SIZE_STEP, 0},
    {UPDATE_KIND_TONE_CURVE, nullptr, true, TONE_CURVE_SIZE, TONE_CURVE_SIZE, ANY_SIZE_STEP, 0},
    {UPDATE_KIND_LAMINATE_1, nullptr, false, LAMI_IMG_PIXELS, LAMI_IMG_PIXELS, ANY_SIZE_STEP, LAMI_IMG_HEADER_BYTES},
    {UPDATE_KIND_LAMINATE_2, nullptr, false, LAMI_IMG_PIXELS, LAMI_IMG_PIXELS, ANY_SIZE_STEP, LAMI_IMG_HEADER_BYTES},
    {UPDATE_KIND_LAMINATE_3, nullptr, false, LAMI_IMG_PIXELS, LAMI_IMG_PIXELS, ANY_SIZE_STEP, LAMI_IMG_HEADER_BYTES},
    // The image without or with its 8-byte serial number: its 8 KB sector
    // lies right below the error-history sectors.
    {UPDATE_KIND_CALIBRATION, ExecCalibUpdate, false, CIS_CALIB_IMAGE_BYTES,
     CIS_CALIB_IMAGE_BYTES + CIS_CALIB_SERIAL_BYTES, CIS_CALIB_SERIAL_BYTES, 0},
};

const UpdateKindRule* FindRule(uint32_t ulKind) {
  for (const UpdateKindRule& rule : kRules) {
    if (rule.ucKind == ulKind) return &rule;
  }
  return nullptr;
}

bool SizeFits(const UpdateKindRule& rule, uint32_t ulBytes) {
  return ulBytes >= rule.ulMinBytes && ulBytes <= rule.ulMaxBytes && (ulBytes - rule.ulMinBytes) % rule.ulStepBytes == 0;
}

UpdateBlock& Block() {
  UpdateBlock* pBlock = nullptr;
  usb_comm_get_update_block(&pBlock);
  return *pBlock;
}

CBufSlotTable& ColourPool() { return *g_pCurBufSlots[BUF_POOL_COLOUR]; }

// The buffers the data and its trailer take; 0 when the pool cannot say.
uint32_t BuffersFor(const UpdateKindRule& rule, uint32_t ulBytes) {
  const uint32_t ulSlotBytes = BufSlotBytes(&ColourPool());
  if (ulSlotBytes == 0) return 0;
  const uint32_t ulNeeded = ulBytes + rule.ulTrailerBytes;
  return ulNeeded / ulSlotBytes + (ulNeeded % ulSlotBytes != 0 ? 1 : 0);
}

// The buffers for the data: 0 with its offset, or the refusal's result.
uint8_t TakeBuffers(const UpdateKindRule& rule, uint32_t ulBytes, uint32_t* pulOffset) {
  const uint32_t ulBuffers = BuffersFor(rule, ulBytes);
  if (ulBuffers == 0) return REPLY_ERR_NO_RESOURCE;
  if (rule.pfnImmediate != nullptr) {
    return ColourPool().AllocateAt(BUF_TYPE_UPDATE, ulBuffers, 0, pulOffset) == 0 ? 0 : REPLY_ERR_NO_RESOURCE;
  }
  int32_t lIndex = 0;
  if (ColourPool().Allocate(BUF_TYPE_UPDATE, ulBuffers, 0, 0, &lIndex, pulOffset) != 0) return REPLY_ERR_NO_RESOURCE;
  // The last buffers of the fine pool reach past what the USB task receives
  // into.
  if (*pulOffset > DOWNLOAD_BUFFER_SIZE || ulBytes > DOWNLOAD_BUFFER_SIZE - *pulOffset) {
    ColourPool().FreeByAddress(*pulOffset);
    return REPLY_ERR_NO_RESOURCE;
  }
  return 0;
}

uint8_t CheckRequest(const UpdateBlock& b, const UpdateKindRule** ppRule) {
  const UpdateKindRule* pRule = FindRule(b.ucKind);
  if (pRule == nullptr) return REPLY_ERR_BAD_PARAMETER;
  if (pRule->bCurveArgument && (b.ucArgument < 1 || b.ucArgument > TONE_CURVE_NUMBER_MAX)) {
    return REPLY_ERR_BAD_PARAMETER;
  }
  if (!SizeFits(*pRule, b.ulDataSize)) return REPLY_ERR_BAD_PARAMETER;
  if (pRule->pfnImmediate == nullptr && g_ulPendingUpdCount >= PENDING_UPDATES_MAX) return REPLY_ERR_QUEUE_FULL;
  *ppRule = pRule;
  return 0;
}

// Appends a parked update: 0, or -1 when the list is full.
int32_t ParkUpdate(const UpdateBlock& b, uint32_t ulOffset) {
  if (g_ulPendingUpdCount >= PENDING_UPDATES_MAX) return -1;
  g_ulPendingUpdArg1[g_ulPendingUpdCount] = b.ucKind;
  g_ulPendingUpdArg2[g_ulPendingUpdCount] = b.ucArgument;
  g_ulPendingUpdArg3[g_ulPendingUpdCount] = ulOffset;
  ++g_ulPendingUpdCount;
  g_pCurEventMng->SetEvent(EV_DEFERRED_UPDATE);
  return 0;
}

}  // namespace

int32_t ExecUpdateCommand() {
  UpdateBlock& b = Block();
  const UpdateKindRule* pRule = nullptr;
  b.ucResult = CheckRequest(b, &pRule);
  uint32_t ulOffset = 0;
  if (b.ucResult == 0) b.ucResult = TakeBuffers(*pRule, b.ulDataSize, &ulOffset);
  if (b.ucResult != 0) return -1;
  UsbCommState* pState = nullptr;
  usb_comm_get_state(&pState);
  pState->ulDataPhase = DATA_PHASE_UPDATE_DATA;
  pState->ulDataOffset = ulOffset;
  SetDownloadOffset(ulOffset);
  return 0;
}

int32_t OnUpdateDataReceived() {
  UpdateBlock& b = Block();
  UsbCommState* pState = nullptr;
  usb_comm_get_state(&pState);
  const uint32_t ulOffset = pState->ulDataOffset;
  const UpdateKindRule* pRule = FindRule(b.ucKind);
  int32_t lResult = 0;
  if (usb_comm_take_data_abandoned() != 0 || pRule == nullptr) {
    // Nothing is written or queued.
    ColourPool().FreeByAddress(ulOffset);
    lResult = -1;
  } else if (pRule->pfnImmediate != nullptr) {
    lResult = pRule->pfnImmediate();
    ColourPool().FreeByAddress(ulOffset);
  } else if (ParkUpdate(b, ulOffset) != 0) {
    ColourPool().FreeByAddress(ulOffset);
    lResult = -1;
  }
  g_IdleSupervisor.RequestStateUpdate();
  pState->ulDataPhase = DATA_PHASE_NONE;
  return lResult;
}
