#include "firmware/hostif/usb_comm.h"

#include <cstring>

#include "firmware/hal/kernel.h"
#include "firmware/hostif/diagnosis_handlers.h"
#include "firmware/hostif/print_job_handlers.h"
#include "firmware/hostif/setting_handlers.h"
#include "firmware/hostif/shmem_usb.h"
#include "firmware/hostif/update_handlers.h"
#include "firmware/hostif/usb_command_layer.h"
#include "firmware/hostif/usb_comm_internal.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/usb_driver.h"

uint16_t g_usTxReqQueue[TXREQ_QUEUE_SIZE];
uint8_t g_aucTxReqTag[TXREQ_QUEUE_SIZE];
uint16_t g_usTxReqCount;
UsbEventHandler g_pfnUsbEvent100000 = ExecExitTrayStatus_EM3;

namespace {

UsbCommState g_UsbCommState;

// The tag of the latest request of each reply code, for the reply that
// answers it.
uint8_t s_aucRequestTag[256];
// The tag of the request held for dispatch, and of the message being sent.
uint8_t s_ucRxTag;
uint8_t s_ucTxTag;
// Handlers running now (nesting through a poll inside a handler).
uint32_t s_ulRunningEvents;
// The data phase: its receive was seen armed by the USB task, or the USB
// task moved on to the next request without arming it.
uint32_t s_ulDataArmSeen;
uint32_t s_ulDataNotArmed;

ShMemMessage s_Received;
uint8_t s_aucWork[USB_COMM_WORK_SIZE];

struct EventRoute {
  uint32_t ulBit;
  UsbEventHandler pfnHandler;  // null: through g_pfnUsbEvent100000
  uint16_t usReply;            // 0: no reply code queued after the handler
};

// The order in which usb_comm_run_events tests the events.
constexpr EventRoute kEventOrder[] = {
    {CMDEV_PRINT_DATA_RECEIVED, OnPrintDataReceived, 0},
    {CMDEV_UPDATE_DATA_RECEIVED, OnUpdateDataReceived, 0},
    {CMDEV_PRINT, ExecPrintCommand, APPMSG_PRINT},
    {CMDEV_CANCEL_PRINT_JOB, ExecCancelPrintJob, APPMSG_CANCEL_PRINT_JOB},
    {CMDEV_FLASH_LED, ExecFlashLed, APPMSG_FLASH_LED},
    {CMDEV_RESET, ExecResetCommand, 0},
    {CMDEV_OPERATION_BUTTON, ExecOperationButton, APPMSG_OPERATION_BUTTON},
    {CMDEV_SELF_DIAGNOSIS, ExecSelfDiagnosis, APPMSG_SELF_DIAGNOSIS},
    {CMDEV_UPDATE, ExecUpdateCommand, APPMSG_UPDATE},
    {CMDEV_RESET_ERROR_LOG, ExecResetErrorLog, APPMSG_RESET_ERROR_LOG},
    {CMDEV_SET_SERIAL_NO, ExecSetSerialNo, APPMSG_SET_SERIAL_NO},
    {CMDEV_GET_PARAMETER, ExecGetParameter, APPMSG_GET_PARAMETER},
    {CMDEV_SET_PARAMETER, ExecSetParameter, APPMSG_SET_PARAMETER},
    {CMDEV_SET_LAMINATE_STRING, ExecSetLaminateString, APPMSG_SET_LAMINATE_STRING},
    {CMDEV_SET_CUT_LIST, ExecSetCutList, APPMSG_SET_CUT_LIST},
    {CMDEV_DIAGNOSIS_FOLLOWUP, ExecDiagnosisFollowup, 0},
    {CMDEV_GET_PRINTER_ID_STATUS, ExecGetPrinterIdStatus, APPMSG_GET_PRINTER_ID_STATUS},
    {CMDEV_GET_EXIT_TRAY_STATUS, nullptr, 0},
    {CMDEV_JOB_IMAGE_CONTROL, ExecJobImageControl, APPMSG_JOB_IMAGE_CONTROL},
    {CMDEV_UNIVERSAL, ExecUniversalCommand, APPMSG_UNIVERSAL},
    {CMDEV_GET_JOB_STATUS, ExecGetJobStatus, APPMSG_GET_JOB_STATUS},
    {CMDEV_SETUP_PRINT_JOB, ExecSetupPrintJob, APPMSG_SETUP_PRINT_JOB},
};

bool BoxFull(uint32_t ulBox) {
  uint16_t usState = 0;
  return ReadShMemUsb(ulBox, SHMEM_WORD_STATE, &usState) == 0 && ShMemIsFull(usState);
}

uint32_t DataReceivedEvent(uint32_t ulPhase) {
  return ulPhase == DATA_PHASE_UPDATE_DATA ? CMDEV_UPDATE_DATA_RECEIVED : CMDEV_PRINT_DATA_RECEIVED;
}

// A data phase opened by an accepting print or update handler lasts only if
// the USB task armed its receive. It arms it before it answers the host and
// serves one command at a time, so a new request in box 2 while the receive
// was never seen armed means the USB task answered without arming (its wait
// for the handler had run out): the phase ends as an abandoned one, and
// requests are taken again.
void CheckDataPhaseArmed(UsbCommState& st) {
  if (st.ulDataPhase == DATA_PHASE_NONE) {
    s_ulDataArmSeen = 0;
    s_ulDataNotArmed = 0;
    return;
  }
  if (s_ulDataArmSeen != 0 || s_ulDataNotArmed != 0) return;
  if (GetBulkRxKind() != BULK_RX_NONE) {
    s_ulDataArmSeen = 1;
    return;
  }
  if (!BoxFull(SHMEM_BOX_TO_APP)) return;
  s_ulDataNotArmed = 1;
  usb_comm_set_event(DataReceivedEvent(st.ulDataPhase));
}

void TransmitStep(UsbCommState& st) {
  if (g_usTxReqCount == 0) return;
  if (usb_comm_tx_box_free() != 0) return;
  if (st.ulTxState == 0) {
    usb_comm_build_reply(usb_comm_txreq_head());
    st.ulTxState = 1;
  } else {
    // The USB task has taken the message: the code has been sent.
    usb_comm_remove_txreq_code(usb_comm_txreq_head());
    st.ulTxState = 0;
  }
}

void DataCompleteStep() {
  const uint32_t ulKind = GetBulkRxKind();
  if (ulKind == BULK_RX_NONE) return;
  s_ulDataArmSeen = 1;
  uint32_t ulRunning = 1;
  if (IoctlUsbBulkRxStatus(&ulRunning) != 0 || ulRunning != 0) return;
  usb_comm_set_event(ulKind == BULK_RX_UPDATE ? CMDEV_UPDATE_DATA_RECEIVED : CMDEV_PRINT_DATA_RECEIVED);
  ClearBulkRxKind();
}

}  // namespace

void usb_comm_get_state(UsbCommState** ppState) { *ppState = &g_UsbCommState; }

void usb_attention() {
  UsbCommState& st = g_UsbCommState;
  st.ulRxState = 0;
  st.ulDataPhase = DATA_PHASE_NONE;
  st.ulDataOffset = 0;
  st.ulTxState = 0;
  std::memset(g_usTxReqQueue, 0, sizeof g_usTxReqQueue);
  std::memset(g_aucTxReqTag, 0, sizeof g_aucTxReqTag);
  g_usTxReqCount = 0;
  usb_comm_clear_events();
  s_ulDataArmSeen = 0;
  s_ulDataNotArmed = 0;
}

int32_t usb_comm_poll() {
  UsbCommState& st = g_UsbCommState;
  TransmitStep(st);
  CheckDataPhaseArmed(st);
  if (st.ulDataPhase == DATA_PHASE_NONE) {
    usb_comm_receive();
    if (usb_comm_request_present() == 0) usb_comm_dispatch_request();
  }
  DataCompleteStep();
  return 0;
}

int32_t usb_comm_receive() {
  uint16_t usState = 0;
  if (ReadShMemUsb(SHMEM_BOX_TO_APP, SHMEM_WORD_STATE, &usState) != 0 || !ShMemIsFull(usState)) return -1;
  uint16_t usCode = 0;
  if (ReadShMemUsb(SHMEM_BOX_TO_APP, SHMEM_WORD_CODE, &usCode) != 0) return -1;
  // A request for a handler that is running now stays in the box until the
  // handler has returned: its parser would overwrite the block the handler
  // works on.
  const RequestRoute* pRoute = FindRequestRoute(usCode);
  if (pRoute != nullptr && (pRoute->ulEvents & s_ulRunningEvents) != 0) return -1;
  if (ShMemTakeMessage(SHMEM_BOX_TO_APP, ShMemTagOf(usState), &s_Received) != 0) return -1;
  UsbCommState& st = g_UsbCommState;
  st.usRequestLength = s_Received.usLength;
  st.usRequestCode = s_Received.usCode;
  std::memcpy(st.aucRequestData, s_Received.aucPayload, sizeof st.aucRequestData);
  s_ucRxTag = s_Received.ucTag;
  st.ulRxState = USB_RX_HELD;
  return 0;
}

int32_t usb_comm_request_present() { return g_UsbCommState.ulRxState == USB_RX_HELD ? 0 : -1; }

int32_t usb_comm_dispatch_request() {
  UsbCommState& st = g_UsbCommState;
  if (st.ulRxState != USB_RX_HELD) return -1;
  st.ulRxState = 0;
  const RequestRoute* pRoute = FindRequestRoute(st.usRequestCode);
  if (pRoute == nullptr) return -1;  // not ours: dropped, the USB task's wait runs out
  s_aucRequestTag[AppReplyCodeOf(st.usRequestCode) & 0xFFu] = s_ucRxTag;
  const UsbRequest request{st.usRequestLength, st.usRequestCode, st.aucRequestData};
  return pRoute->pfnParse(request);
}

int32_t usb_comm_run_events() {
  for (const EventRoute& route : kEventOrder) {
    if ((g_ulCmdEvents & route.ulBit) == 0) continue;
    const bool bExitTray = route.ulBit == CMDEV_GET_EXIT_TRAY_STATUS;
    if ((s_ulRunningEvents & route.ulBit) != 0) {
      // Never nested in itself; the events behind the exit-tray status wait
      // for it to finish.
      if (bExitTray) return 0;
      continue;
    }
    s_ulRunningEvents |= route.ulBit;
    if (bExitTray) {
      // Entered on every call until the handler ends the event itself.
      if (g_pfnUsbEvent100000 != nullptr) {
        g_pfnUsbEvent100000();
      } else {
        usb_comm_clear_event(route.ulBit);
      }
    } else {
      // Cleared when the handler has run: a request for it that comes
      // meanwhile waits in the mailbox (usb_comm_receive) and sets the event
      // anew afterwards.
      route.pfnHandler();
      usb_comm_clear_event(route.ulBit);
      if (route.usReply != 0) usb_comm::regist_txreq_code(route.usReply);
    }
    s_ulRunningEvents &= ~route.ulBit;
    return 0;
  }
  return 0;
}

int32_t usb_comm::regist_txreq_code(uint16_t usCode) {
  if (g_usTxReqCount >= TXREQ_QUEUE_SIZE) {
    syslog(LOG_EMERG, "[usb_comm::regist_txreq_code] NG (code=0x%04X, num_queue=%d)", usCode, g_usTxReqCount);
    return -1;
  }
  g_usTxReqQueue[g_usTxReqCount] = usCode;
  g_aucTxReqTag[g_usTxReqCount] = usCode <= 0xFFu ? s_aucRequestTag[usCode] : 0;
  ++g_usTxReqCount;
  return 0;
}

int32_t usb_comm_build_reply(uint16_t usCode) {
  s_ucTxTag = g_usTxReqCount != 0 && g_usTxReqQueue[0] == usCode ? g_aucTxReqTag[0] : 0;
  const int32_t lLength = BuildReplyPayload(usCode, s_aucWork, sizeof s_aucWork);
  if (lLength < 0) return -1;
  return usb_comm_send(static_cast<uint16_t>(lLength), usCode, s_aucWork);
}

int32_t usb_comm_send(uint16_t usLength, uint16_t usCode, const uint8_t* pucPayload) {
  return ShMemPutMessage(SHMEM_BOX_TO_USB, usCode, s_ucTxTag, pucPayload, usLength);
}

int32_t usb_comm_tx_box_free() {
  uint16_t usState = 0;
  if (ReadShMemUsb(SHMEM_BOX_TO_USB, SHMEM_WORD_STATE, &usState) != 0) return -1;
  return usState == SHMEM_EMPTY ? 0 : -1;
}

uint32_t usb_comm_txreq_count() { return g_usTxReqCount; }

uint16_t usb_comm_txreq_head() { return g_usTxReqQueue[0]; }

uint32_t usb_comm_txreq_waiting(uint16_t usCode) {
  const uint32_t ulFirst = g_UsbCommState.ulTxState != 0 ? 1u : 0u;
  for (uint32_t i = ulFirst; i < g_usTxReqCount; ++i) {
    if (g_usTxReqQueue[i] == usCode) return 1;
  }
  return 0;
}

int32_t usb_comm_remove_txreq_code(uint16_t usCode) {
  for (uint32_t i = 0; i < g_usTxReqCount; ++i) {
    if (g_usTxReqQueue[i] != usCode) continue;
    for (uint32_t j = i; j + 1 < g_usTxReqCount; ++j) {
      g_usTxReqQueue[j] = g_usTxReqQueue[j + 1];
      g_aucTxReqTag[j] = g_aucTxReqTag[j + 1];
    }
    --g_usTxReqCount;
    g_usTxReqQueue[g_usTxReqCount] = 0;
    g_aucTxReqTag[g_usTxReqCount] = 0;
    return 0;
  }
  return -1;
}

int32_t usb_comm_take_data_abandoned() {
  const bool bAbandoned = s_ulDataNotArmed != 0 || g_ulUsbRxAbandoned != 0;
  s_ulDataNotArmed = 0;
  g_ulUsbRxAbandoned = 0;
  return bAbandoned ? 1 : 0;
}
