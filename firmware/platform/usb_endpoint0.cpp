// Endpoint 0: the USB0 interrupt, the control-transfer stages and the
// standard and printer-class requests.
#include "firmware/platform/usb_endpoint0.h"

#include <cstring>

#include "firmware/hal/hw.h"
#include "firmware/hal/isr_shared.h"
#include "firmware/platform/usb_bulk_out.h"
#include "firmware/platform/usb_controller.h"
#include "firmware/platform/usb_descriptor_store.h"
#include "firmware/platform/usb_device_interrupt.h"
#include "firmware/platform/usb_registers.h"

namespace {

// Standard requests.
constexpr uint8_t REQ_GET_STATUS = 0;
constexpr uint8_t REQ_CLEAR_FEATURE = 1;
constexpr uint8_t REQ_SET_FEATURE = 3;
constexpr uint8_t REQ_SET_ADDRESS = 5;
constexpr uint8_t REQ_GET_DESCRIPTOR = 6;
constexpr uint8_t REQ_GET_CONFIGURATION = 8;
constexpr uint8_t REQ_SET_CONFIGURATION = 9;
constexpr uint8_t REQ_GET_INTERFACE = 10;
constexpr uint8_t REQ_SET_INTERFACE = 11;
// Features.
constexpr uint16_t FEATURE_ENDPOINT_HALT = 0;
constexpr uint16_t FEATURE_DEVICE_REMOTE_WAKEUP = 1;
constexpr uint16_t FEATURE_TEST_MODE = 2;
// bmRequestType fields.
constexpr uint8_t TYPE_MASK = 0x60u;
constexpr uint8_t TYPE_STANDARD = 0x00u;
constexpr uint8_t TYPE_CLASS = 0x20u;
constexpr uint8_t RECIPIENT_MASK = 0x1Fu;
constexpr uint8_t RECIPIENT_DEVICE = 0;
constexpr uint8_t RECIPIENT_INTERFACE = 1;
constexpr uint8_t RECIPIENT_ENDPOINT = 2;
constexpr uint8_t DIRECTION_IN = 0x80u;

// The USB 2.0 test packet (Test_Packet mode).
constexpr uint8_t kTestPacket[53] = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA,
    0xAA, 0xAA, 0xAA, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xFE, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0xBF, 0xDF, 0xEF, 0xF7,
    0xFB, 0xFD, 0xFC, 0x7E, 0xBF, 0xDF, 0xEF, 0xF7, 0xFB, 0xFD, 0x7E};

// Shared with the USB task's watchdog.
hal::IsrShared<uint32_t> s_ulStage;
hal::IsrShared<uint32_t> s_ulLastStep;
// The interrupt's own.
UsbSetupRecord s_Setup;
uint8_t s_ucConfiguration;
bool s_bTestMode;
uint8_t s_aucReply[USB_REPLY_MAX];
uint32_t s_ulReplyLength;
uint32_t s_ulReplyOffset;
bool s_bReplyZeroLength;

// Sends the next packet of the reply: stage 1 while more follows, stage 0
// after the last (handed over with DATAEND).
int32_t SendNextPacket() {
  uint32_t ulPiece = s_ulReplyLength - s_ulReplyOffset;
  if (ulPiece > USB_EP0_PACKET) ulPiece = USB_EP0_PACKET;
  UsbEp0WriteFifo(s_aucReply + s_ulReplyOffset, ulPiece);
  s_ulReplyOffset += ulPiece;
  // A reply shorter than wLength that fills its last packet is ended by a
  // zero-length packet, else the host waits for more.
  const bool bLast = s_ulReplyOffset == s_ulReplyLength && !(ulPiece == USB_EP0_PACKET && s_bReplyZeroLength);
  UsbEp0TxReady(bLast);
  s_ulStage = bLast ? USB_EP0_IDLE : USB_EP0_DATA_IN;
  return 0;
}

// Answers an IN request with at most wLength bytes of the reply.
int32_t Reply(const uint8_t* pucData, uint32_t ulLength) {
  if (s_ulStage != USB_EP0_IDLE) return -1;
  if (ulLength > s_Setup.usLength) ulLength = s_Setup.usLength;
  if (ulLength > USB_REPLY_MAX) ulLength = USB_REPLY_MAX;
  if (s_Setup.usLength == 0) {
    UsbEp0ServicedRx(true);  // no data stage at all
    return 0;
  }
  std::memcpy(s_aucReply, pucData, ulLength);
  s_ulReplyLength = ulLength;
  s_ulReplyOffset = 0;
  s_bReplyZeroLength = ulLength < s_Setup.usLength && ulLength % USB_EP0_PACKET == 0;
  UsbEp0ServicedRx(false);
  return SendNextPacket();
}

uint32_t EndpointOf(const UsbSetupRecord& setup) { return setup.usIndex & 0x0Fu; }

// The form each request must have before it is run: its type, direction and
// the recipients it may address. The driver takes no OUT data on endpoint 0,
// so an OUT request carries no data stage (wLength 0). A request that does
// not fit is stalled at its SETUP; the host's OUT data packet then meets the
// stall and is never read, so it can never be taken for the next SETUP.
constexpr uint8_t ToRecipient(uint8_t ucRecipient) { return static_cast<uint8_t>(1u << ucRecipient); }
constexpr uint8_t TO_DEVICE = ToRecipient(RECIPIENT_DEVICE);
constexpr uint8_t TO_INTERFACE = ToRecipient(RECIPIENT_INTERFACE);
constexpr uint8_t TO_ENDPOINT = ToRecipient(RECIPIENT_ENDPOINT);

struct RequestForm {
  uint8_t ucType;
  uint8_t ucRequest;
  bool bIn;
  uint8_t ucRecipients;
};

constexpr uint8_t CLASS_GET_DEVICE_ID = 0;
// The printer class decodes only the low five bits of bRequest.
constexpr uint8_t CLASS_REQUEST_MASK = 0x1Fu;

constexpr RequestForm kRequestForms[] = {
    {TYPE_STANDARD, REQ_GET_STATUS, true, TO_DEVICE | TO_INTERFACE | TO_ENDPOINT},
    {TYPE_STANDARD, REQ_CLEAR_FEATURE, false, TO_DEVICE | TO_ENDPOINT},
    {TYPE_STANDARD, REQ_SET_FEATURE, false, TO_DEVICE | TO_ENDPOINT},
    {TYPE_STANDARD, REQ_SET_ADDRESS, false, TO_DEVICE},
    {TYPE_STANDARD, REQ_GET_DESCRIPTOR, true, TO_DEVICE},
    {TYPE_STANDARD, REQ_GET_CONFIGURATION, true, TO_DEVICE},
    {TYPE_STANDARD, REQ_SET_CONFIGURATION, false, TO_DEVICE},
    {TYPE_STANDARD, REQ_GET_INTERFACE, true, TO_INTERFACE},
    {TYPE_STANDARD, REQ_SET_INTERFACE, false, TO_INTERFACE},
    {TYPE_CLASS, CLASS_GET_DEVICE_ID, true, TO_INTERFACE},
};

bool RequestFits(const UsbSetupRecord& r) {
  const uint8_t ucType = r.ucRequestType & TYPE_MASK;
  const uint8_t ucRequest = ucType == TYPE_CLASS ? (r.ucRequest & CLASS_REQUEST_MASK) : r.ucRequest;
  const bool bIn = (r.ucRequestType & DIRECTION_IN) != 0;
  const uint8_t ucRecipient = r.ucRequestType & RECIPIENT_MASK;
  for (const RequestForm& form : kRequestForms) {
    if (form.ucType != ucType || form.ucRequest != ucRequest) continue;
    if (form.bIn != bIn || (!bIn && r.usLength != 0)) return false;
    return ucRecipient < 8 && (form.ucRecipients & ToRecipient(ucRecipient)) != 0;
  }
  return false;
}

int32_t GetStatus() {
  uint8_t aucStatus[2] = {0, 0};
  switch (s_Setup.ucRequestType & RECIPIENT_MASK) {
    case RECIPIENT_DEVICE:
      aucStatus[0] = static_cast<uint8_t>((UsbStoreSelfPowered() ? 1u : 0u) | (UsbStoreRemoteWakeup() ? 2u : 0u));
      break;
    case RECIPIENT_INTERFACE:
      break;
    case RECIPIENT_ENDPOINT: {
      // Only the endpoints of the configuration have a status.
      const uint32_t ulEp = EndpointOf(s_Setup);
      if (ulEp != USB_EP_BULK_IN && ulEp != USB_EP_BULK_OUT) return -1;
      uint32_t ulHalt = 0;
      if (UsbGetEndpointHalt(ulEp, &ulHalt) != 0) return -1;
      aucStatus[0] = static_cast<uint8_t>(ulHalt);
      break;
    }
    default:
      return -1;
  }
  return Reply(aucStatus, sizeof aucStatus);
}

int32_t GetDescriptor() {
  const uint8_t ucType = static_cast<uint8_t>(s_Setup.usValue >> 8);
  const uint8_t ucIndex = static_cast<uint8_t>(s_Setup.usValue);
  uint8_t aucOut[USB_REPLY_MAX];
  int32_t lLength = -1;
  switch (ucType) {
    case USB_DT_DEVICE:
      lLength = UsbBuildDeviceDescriptor(aucOut);
      break;
    case USB_DT_CONFIGURATION:
      lLength = UsbBuildConfiguration(UsbIsHighSpeed(), false, aucOut);
      break;
    case USB_DT_STRING:
      lLength = UsbBuildString(ucIndex, aucOut);
      break;
    case USB_DT_DEVICE_QUALIFIER:
      lLength = UsbBuildQualifier(aucOut);
      break;
    case USB_DT_OTHER_SPEED_CONFIGURATION:
      lLength = UsbBuildConfiguration(!UsbIsHighSpeed(), true, aucOut);
      break;
    default:
      break;
  }
  if (lLength < 0) return -1;
  return Reply(aucOut, static_cast<uint32_t>(lLength));
}

int32_t EnterTestMode(uint32_t ulSelector, bool bApply) {
  uint8_t ucMode = 0;
  switch (ulSelector) {
    case 1:
      ucMode = TESTMODE_J;
      break;
    case 2:
      ucMode = TESTMODE_K;
      break;
    case 3:
      ucMode = TESTMODE_SE0_NAK;
      break;
    case 4:
      ucMode = TESTMODE_PACKET;
      break;
    default:
      return -1;
  }
  if (!bApply) return 0;
  // The device stays in test mode until power is removed and serves no
  // further request.
  s_bTestMode = true;
  if (ucMode == TESTMODE_PACKET) {
    UsbEp0WriteFifo(kTestPacket, sizeof kTestPacket);
    HwWrite8(USB_TESTMODE, ucMode);
    HwWrite16(USB_CSR0, CSR0_TXPKTRDY);
  } else {
    HwWrite8(USB_TESTMODE, ucMode);
  }
  return 0;
}

// The requests acknowledged at once and carried out when their status stage
// has completed. bApply false only checks that the request can be carried
// out, so that a request that cannot is stalled rather than acknowledged.
int32_t TwoPhaseAction(bool bApply) {
  const UsbSetupRecord& r = s_Setup;
  const uint8_t ucRecipient = r.ucRequestType & RECIPIENT_MASK;
  const uint32_t ulEp = EndpointOf(r);
  switch (r.ucRequest) {
    case REQ_CLEAR_FEATURE:
    case REQ_SET_FEATURE: {
      const bool bSet = r.ucRequest == REQ_SET_FEATURE;
      if (ucRecipient == RECIPIENT_DEVICE && r.usValue == FEATURE_DEVICE_REMOTE_WAKEUP) {
        if (bApply) UsbStoreSetRemoteWakeup(bSet);
        return 0;
      }
      if (ucRecipient == RECIPIENT_DEVICE && r.usValue == FEATURE_TEST_MODE && bSet && (r.usIndex & 0xFFu) == 0) {
        return EnterTestMode(r.usIndex >> 8, bApply);
      }
      if (ucRecipient == RECIPIENT_ENDPOINT && r.usValue == FEATURE_ENDPOINT_HALT && ulEp >= 1 && ulEp <= 4) {
        if (!bApply) return 0;
        return bSet ? UsbStallEndpoint(ulEp) : UsbClearEndpointStall(ulEp);
      }
      return -1;
    }
    case REQ_SET_ADDRESS:
      if ((r.usValue & 0xFFu) > 127) return -1;
      return bApply ? UsbSetAddress(r.usValue & 0xFFu) : 0;
    case REQ_SET_CONFIGURATION: {
      if (!bApply) return 0;
      s_ucConfiguration = static_cast<uint8_t>(r.usValue);
      const uint32_t ulPacket = UsbStoreBulkOutMaxPacket(UsbIsHighSpeed());
      UsbEnableEpDma(USB_EP_BULK_OUT, USB_DIR_OUT);
      return UsbSetBulkPacketSize(ulPacket);
    }
    case REQ_SET_INTERFACE:
      if (bApply) UsbStoreSetAlternateSetting(static_cast<uint8_t>(r.usValue));
      return 0;
    default:
      return -1;
  }
}

int32_t UsbStandardRequest() {
  switch (s_Setup.ucRequest) {
    case REQ_GET_STATUS:
      return GetStatus();
    case REQ_CLEAR_FEATURE:
    case REQ_SET_FEATURE:
    case REQ_SET_ADDRESS:
    case REQ_SET_CONFIGURATION:
    case REQ_SET_INTERFACE:
      if (s_ulStage == USB_EP0_IDLE) {
        if (TwoPhaseAction(false) != 0) return -1;
        UsbEp0ServicedRx(true);
        s_ulStage = USB_EP0_STATUS;
        return 0;
      }
      if (s_ulStage == USB_EP0_STATUS) {
        s_ulStage = USB_EP0_IDLE;
        return TwoPhaseAction(true);
      }
      return -1;
    case REQ_GET_DESCRIPTOR:
      return GetDescriptor();
    case REQ_GET_CONFIGURATION:
      return Reply(&s_ucConfiguration, 1);
    case REQ_GET_INTERFACE: {
      const uint8_t ucSetting = UsbStoreAlternateSetting();
      return Reply(&ucSetting, 1);
    }
    default:
      return -1;  // SET_DESCRIPTOR and anything unknown
  }
}

// The printer class: GET_DEVICE_ID (bRequest 0, device to host).
int32_t UsbClassRequest() {
  if ((s_Setup.ucRequest & CLASS_REQUEST_MASK) != CLASS_GET_DEVICE_ID || (s_Setup.ucRequestType & DIRECTION_IN) == 0) {
    return -1;
  }
  uint8_t aucId[USB_REPLY_MAX];
  const int32_t lLength = UsbBuildDeviceId(aucId);
  if (lLength <= 0) return -1;
  return Reply(aucId, static_cast<uint32_t>(lLength));
}

int32_t RunRequest() {
  switch (s_Setup.ucRequestType & TYPE_MASK) {
    case TYPE_STANDARD:
      return UsbStandardRequest();
    case TYPE_CLASS:
      return UsbClassRequest();
    default:
      return -1;
  }
}

}  // namespace

// ---- the interrupt ------------------------------------------------------------------------

void UsbDeviceInterrupt() {
  const uint32_t ulPending = HwRead32(USB_INTMASKEDR);
  if (ulPending != 0) {
    HwWrite32(USB_INTCLRR, ulPending);
    if ((ulPending & INT_EP0) != 0) {
      UsbEp0Interrupt();
    } else if ((ulPending & INT_USB_EVENTS) != 0) {
      UsbEp0Abort();
    }
  }
  HwWrite32(USB_EOIR, 0);
}

void UsbEp0Interrupt() {
  if (s_bTestMode) return;
  if (UsbEp0SentStall()) {
    s_ulStage = USB_EP0_IDLE;
    UsbEp0ClearStall();
  }
  if (UsbEp0SetupEnd()) {
    s_ulStage = USB_EP0_IDLE;
    UsbEp0ServiceSetupEnd();
  }
  const uint32_t ulStage = s_ulStage;
  if (ulStage != USB_EP0_IDLE) {
    const int32_t lResult = ulStage == USB_EP0_DATA_IN ? SendNextPacket() : RunRequest();
    if (lResult != 0) {
      UsbEp0Abort();
      return;
    }
  }
  // The completion of a stage and the host's next SETUP share one interrupt
  // when they come close together: a SETUP that waits is served now.
  if (s_ulStage == USB_EP0_IDLE && UsbReadSetupPacket(&s_Setup) == 0 && (!RequestFits(s_Setup) || RunRequest() != 0)) {
    UsbEp0Stall();
    s_ulStage = USB_EP0_IDLE;
  }
  const uint32_t ulNewStage = s_ulStage;
  if (ulNewStage == USB_EP0_DATA_IN || ulNewStage == USB_EP0_STATUS) s_ulLastStep = UsbNowMs();
}

int32_t UsbEp0Abort() {
  UsbEp0FlushFifo();
  s_ulStage = USB_EP0_IDLE;
  return -1;
}

void UsbEp0Watchdog() {
  UsbDisableTxInterrupt(0);
  const uint32_t ulStage = s_ulStage;
  if ((ulStage == USB_EP0_DATA_IN || ulStage == USB_EP0_STATUS) && UsbNowMs() - s_ulLastStep > USB_EP0_WATCHDOG_MS) {
    UsbEp0Abort();
  }
  UsbEnableTxInterrupt(0);
}

void UsbEp0Reset() {
  s_ulStage = USB_EP0_IDLE;
  s_bTestMode = false;
}

uint32_t UsbEp0Stage() { return s_ulStage; }

uint8_t UsbConfigurationValue() { return s_ucConfiguration; }

// ---- endpoint-0 registers ---------------------------------------------------------------------

void UsbEp0ServicedRx(bool bDataEnd) {
  HwWrite16(USB_CSR0, static_cast<uint16_t>(CSR0_SERV_RXPKTRDY | (bDataEnd ? CSR0_DATAEND : 0u)));
}

void UsbEp0WriteFifo(const uint8_t* pucData, uint32_t ulLength) {
  for (uint32_t i = 0; i < ulLength; ++i) HwWrite8(UsbFifo(0), pucData[i]);
}

void UsbEp0TxReady(bool bDataEnd) {
  HwWrite16(USB_CSR0, static_cast<uint16_t>(CSR0_TXPKTRDY | (bDataEnd ? CSR0_DATAEND : 0u)));
}

void UsbEp0Stall() {
  // A SETUP not yet serviced is serviced with the stall.
  const uint16_t usCsr = HwRead16(USB_CSR0);
  HwWrite16(USB_CSR0,
            static_cast<uint16_t>(CSR0_SENDSTALL | ((usCsr & CSR0_RXPKTRDY) != 0 ? CSR0_SERV_RXPKTRDY : 0u)));
}

void UsbEp0ClearStall() { HwWrite16(USB_CSR0, 0); }  // SENDSTALL and SENTSTALL written 0

bool UsbEp0SentStall() { return (HwRead16(USB_CSR0) & CSR0_SENTSTALL) != 0; }

bool UsbEp0SetupEnd() { return (HwRead16(USB_CSR0) & CSR0_SETUPEND) != 0; }

void UsbEp0ServiceSetupEnd() { HwWrite16(USB_CSR0, CSR0_SERV_SETUPEND); }

void UsbEp0FlushFifo() { HwWrite16(USB_CSR0, CSR0_FLUSHFIFO); }

int32_t UsbReadSetupPacket(UsbSetupRecord* pSetup) {
  if ((HwRead16(USB_CSR0) & CSR0_RXPKTRDY) == 0) return -1;
  const uint32_t ulCount = HwRead16(USB_COUNT0) & 0x7Fu;
  uint8_t aucPacket[8] = {};
  for (uint32_t i = 0; i < ulCount; ++i) {
    const uint8_t ucByte = HwRead8(UsbFifo(0));
    if (i < sizeof aucPacket) aucPacket[i] = ucByte;
  }
  pSetup->ucRequestType = aucPacket[0];
  pSetup->ucRequest = aucPacket[1];
  pSetup->usValue = static_cast<uint16_t>(aucPacket[2] | (aucPacket[3] << 8));
  pSetup->usIndex = static_cast<uint16_t>(aucPacket[4] | (aucPacket[5] << 8));
  pSetup->usLength = static_cast<uint16_t>(aucPacket[6] | (aucPacket[7] << 8));
  return 0;
}
