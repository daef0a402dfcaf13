#include "firmware/hostif/usb_app_messages.h"

#include <cstring>

#include "firmware/devices/tone_curve_lookup.h"
#include "firmware/hostif/usb_command_layer.h"
#include "firmware/platform/soft_timer.h"
#include "protocol/codes.h"

PendingAppRequests g_PendingAppRequest;
AppReplyBlock g_AppReply;
protocol::StatusRecord g_StatusMirror;
protocol::MediaRecord g_MediaMirror;

namespace {

// Tags run 1..255; 0 marks an untagged message.
uint8_t s_ucLastTag;

// The message being dispatched (USB task only).
ShMemMessage s_Received;

// The tone-curve reply: result, curve type, curve number, u16 size.
constexpr uint32_t kToneReplyType = 1;
constexpr uint32_t kToneReplyCurve = 2;
constexpr uint32_t kToneReplySize = 3;
constexpr uint32_t kToneCurveSendMs = 10000;

uint8_t NextTag() {
  s_ucLastTag = static_cast<uint8_t>(s_ucLastTag == 0xFFu ? 1u : s_ucLastTag + 1u);
  return s_ucLastTag;
}

ShMemMessage& SlotAt(uint32_t ulPosition) {
  return g_PendingAppRequest.aSlot[(g_PendingAppRequest.ulHead + ulPosition) % APP_REQUEST_SLOTS];
}

void TakeStatusRecord(const ShMemMessage& m) {
  protocol::StatusRecord record;
  if (protocol::DecodeStatusRecord(m.aucPayload, m.usLength, &record) != protocol::WIRE_OK) return;
  g_StatusMirror = record;
  // Every reply header from now on carries the new state.
  g_ReplyStatus.ucErrorClass = record.errorClass;
  g_ReplyStatus.ucErrorDetail = record.errorDetail;
  g_ReplyStatus.ucPrinterState = record.printerState;
  g_ReplyStatus.ucAuxStatus = record.auxStatus;
}

void TakeMediaRecord(const ShMemMessage& m) {
  protocol::MediaRecord record;
  if (protocol::DecodeMediaRecord(m.aucPayload, m.usLength, &record) != protocol::WIRE_OK) return;
  g_MediaMirror = record;
}

// An accepted tone-curve answer starts the piece sender; a curve that the
// store cannot name turns the answer into a refusal, so the host is never
// promised pieces that do not exist.
void StartToneCurvePieces() {
  uint8_t* pucReply = g_AppReply.aucData;
  if (pucReply[0] != 0) return;
  PhysAddr ulCurve = 0;
  GetToneCurve(pucReply[kToneReplyType], pucReply[kToneReplyCurve], &ulCurve);
  const uint16_t usSize = protocol::GetU16(pucReply + kToneReplySize);
  if (ulCurve == 0 || usSize == 0) {
    pucReply[0] = protocol::REPLY_ERR_REFUSED;
    return;
  }
  StartPieceSend(usSize, APPMSG_TONE_CURVE_DATA, kToneCurveSendMs, ulCurve);
}

}  // namespace

uint8_t PostToApplication(uint16_t usLength, uint16_t usCode, const uint8_t* pucPayload) {
  if (g_PendingAppRequest.ulCount >= APP_REQUEST_SLOTS) return 0;
  ShMemMessage& slot = SlotAt(g_PendingAppRequest.ulCount);
  if (usLength > SHMEM_PAYLOAD_MAX) usLength = SHMEM_PAYLOAD_MAX;
  slot.usCode = usCode;
  slot.usLength = usLength;
  slot.ucTag = NextTag();
  std::memset(slot.aucPayload, 0, sizeof slot.aucPayload);
  if (usLength != 0) std::memcpy(slot.aucPayload, pucPayload, usLength);
  ++g_PendingAppRequest.ulCount;
  return slot.ucTag;
}

int32_t WithdrawAppRequest(uint8_t ucTag) {
  for (uint32_t i = 0; i < g_PendingAppRequest.ulCount; ++i) {
    if (SlotAt(i).ucTag != ucTag) continue;
    for (uint32_t j = i; j + 1 < g_PendingAppRequest.ulCount; ++j) SlotAt(j) = SlotAt(j + 1);
    --g_PendingAppRequest.ulCount;
    return 0;
  }
  return -1;
}

uint32_t FreeAppRequestSlots() { return APP_REQUEST_SLOTS - g_PendingAppRequest.ulCount; }

void ArmAppReplyWait(uint16_t usCode, uint8_t ucTag, uint32_t ulMs) {
  g_usAwaitedRequest = usCode;
  g_ucAwaitedTag = ucTag;
  g_usLastAppMessage = 0;
  StartSoftTimer(SOFT_TIMER_USB_REPLY, ulMs);
}

void ExchangeShMemUsb() {
  uint16_t usState = 0;
  // 1. The oldest waiting request goes out when box 2 is free.
  if (g_PendingAppRequest.ulCount != 0 && ReadShMemUsb(SHMEM_BOX_TO_APP, SHMEM_WORD_STATE, &usState) == 0 &&
      usState == SHMEM_EMPTY) {
    const ShMemMessage& head = SlotAt(0);
    if (ShMemPutMessage(SHMEM_BOX_TO_APP, head.usCode, head.ucTag, head.aucPayload, head.usLength) == 0) {
      g_PendingAppRequest.ulHead = (g_PendingAppRequest.ulHead + 1u) % APP_REQUEST_SLOTS;
      --g_PendingAppRequest.ulCount;
    }
  }
  // 2. One message comes in from box 1.
  if (ReadShMemUsb(SHMEM_BOX_TO_USB, SHMEM_WORD_STATE, &usState) != 0 || !ShMemIsFull(usState)) return;
  if (ShMemTakeMessage(SHMEM_BOX_TO_USB, ShMemTagOf(usState), &s_Received) != 0) return;
  DispatchApplicationMessage(s_Received);
}

int32_t DispatchApplicationMessage(const ShMemMessage& m) {
  if (m.usCode == APPMSG_NOTIFY_STATUS) {
    TakeStatusRecord(m);
    return 1;
  }
  if (m.usCode == APPMSG_NOTIFY_MEDIA) {
    TakeMediaRecord(m);
    return 1;
  }
  // Only the answer to the awaited request counts. A reply that comes after
  // its request timed out, or answers an earlier request of the same code,
  // carries another tag and is dropped: it would answer the wrong request.
  const bool bAwaited = g_ucUsbCmdState == USB_CMD_AWAIT_REPLY && !IsAppRequest(m.usCode) && m.usCode != 0 &&
                        m.usCode == AppReplyCodeOf(g_usAwaitedRequest) && m.ucTag == g_ucAwaitedTag;
  if (!bAwaited) return 1;
  g_AppReply.usCode = m.usCode;
  g_AppReply.usLength = m.usLength;
  std::memset(g_AppReply.aucData, 0, sizeof g_AppReply.aucData);
  std::memcpy(g_AppReply.aucData, m.aucPayload, m.usLength);
  if (m.usCode == APPMSG_READ_TONE_CURVE) StartToneCurvePieces();
  g_usLastAppMessage = m.usCode;
  return 0;
}

void ResetAppMessages() {
  std::memset(&g_PendingAppRequest, 0, sizeof g_PendingAppRequest);
  std::memset(&g_AppReply, 0, sizeof g_AppReply);
  g_StatusMirror = protocol::StatusRecord{};
  g_MediaMirror = protocol::MediaRecord{};
  g_ReplyStatus.ucErrorClass = g_StatusMirror.errorClass;
  g_ReplyStatus.ucErrorDetail = g_StatusMirror.errorDetail;
  g_ReplyStatus.ucPrinterState = g_StatusMirror.printerState;
  g_ReplyStatus.ucAuxStatus = g_StatusMirror.auxStatus;
}
