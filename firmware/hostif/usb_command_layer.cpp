#include "firmware/hostif/usb_command_layer.h"

#include <cstring>

#include "firmware/devices/serial_number.h"
#include "firmware/hostif/shmem_usb.h"
#include "firmware/hostif/usb_app_messages.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/soft_timer.h"
#include "protocol/codes.h"
#include "protocol/command_table.h"
#include "protocol/headers.h"
#include "protocol/identity.h"
#include "protocol/media.h"
#include "protocol/print_size.h"
#include "protocol/replies.h"
#include "protocol/requests.h"
#include "protocol/status_record.h"
#include "protocol/tone_curve.h"

using protocol::CommandInfo;

uint8_t g_ucUsbCmdState;
uint8_t g_UsbPacketBuffer[USB_PACKET_BUFFER_SIZE];
uint16_t g_usUsbLastCommand;
ReplyStatus g_ReplyStatus;
uint16_t g_usMaintPermission;
UsbPrintRequest g_UsbPrintRequest;
UsbUpdateRequest g_UsbUpdateRequest;
UsbResetRequest g_UsbResetRequest;
uint16_t g_usAwaitedRequest;
uint8_t g_ucAwaitedTag;
uint16_t g_usLastAppMessage;
PieceSend g_PieceSend;
volatile uint32_t g_ulDownloadOffset;
volatile uint32_t g_ulBulkRxKind;

namespace {

uint32_t s_ulPollCount;

constexpr uint32_t kReplyDataOffset = protocol::REPLY_HEADER_SIZE;
constexpr uint32_t kReplyDataRoom = USB_PACKET_BUFFER_SIZE - kReplyDataOffset;

// The application's answers behind the result byte (usb_comm's reply
// builders): the tone curve {type, curve, u16 size}, the firmware
// information {component, record}, the diagnosis results {u16 count, bytes}.
constexpr uint32_t kAnswerData = 1;
constexpr uint32_t kToneAnswerSize = 3;
constexpr uint32_t kFirmwareAnswerRecord = 2;
constexpr uint32_t kDiagnosisAnswerBytes = 3;

}  // namespace

// ---- Permission table ------------------------------------------------------------------

namespace {
constexpr CommandPermission Row(uint16_t usCode, uint8_t uc0, uint8_t uc1, uint8_t uc3, uint8_t uc6) {
  return CommandPermission{usCode, {uc0, uc1, uc3, uc6}, {0, 0}};
}
}  // namespace

const CommandPermission g_CommandPermissionTable[COMMAND_PERMISSION_ROWS] = {
    Row(0x4001, 0, 0, 1, 0), Row(0x4002, 0, 0, 1, 0), Row(0x4003, 0, 0, 1, 0), Row(0x4004, 0, 0, 1, 0),
    Row(0x4005, 0, 0, 1, 0), Row(0x4006, 0, 0, 1, 1), Row(0x4007, 0, 0, 1, 1), Row(0x4008, 0, 0, 0, 0),
    Row(0x4009, 0, 0, 0, 0), Row(0x400B, 0, 0, 1, 0), Row(0x400C, 0, 0, 1, 0), Row(0x400D, 0, 0, 0, 0),
    Row(0x0001, 0, 0, 0, 0), Row(0x0002, 0, 0, 0, 0), Row(0x0003, 0, 0, 0, 0), Row(0x0004, 0, 0, 1, 0),
    Row(0x0005, 0, 0, 1, 0), Row(0x0006, 0, 0, 0, 0), Row(0x0007, 0, 0, 0, 0), Row(0x0008, 0, 0, 0, 0),
    Row(0x0009, 0, 0, 0, 0), Row(0x000A, 0, 0, 0, 0), Row(0x000B, 0, 0, 0, 0), Row(0xC001, 0, 0, 1, 1),
    Row(0xC002, 0, 0, 1, 1), Row(0xC003, 0, 0, 0, 0), Row(0xC004, 0, 0, 0, 0), Row(0xC005, 0, 0, 1, 1),
    Row(0xC006, 0, 0, 1, 1), Row(0xC008, 0, 0, 1, 1), Row(0xC009, 0, 0, 1, 1), Row(0xC00A, 0, 0, 1, 1),
    Row(0x8002, 0, 0, 1, 1), Row(0xC0FF, 0, 0, 1, 1), Row(0x0000, 1, 1, 1, 1),
};

int32_t CheckCommandPermission(uint16_t usCode, uint8_t* pucState) {
  const uint8_t ucState = g_ReplyStatus.ucPrinterState;
  *pucState = ucState;
  for (const CommandPermission& row : g_CommandPermissionTable) {
    if (row.usCommandCode == 0) break;
    if (row.usCommandCode != usCode) continue;
    switch (ucState & 0xF0u) {
      case 0x00:
        return row.aucAllow[0];
      case 0x10:
        return row.aucAllow[1];
      case 0x30:
        return row.aucAllow[2];
      case 0x60:
      case 0xE0:
        return row.aucAllow[3];
      default:
        return 1;
    }
  }
  return 1;
}

// ---- Shared words --------------------------------------------------------------------------

void SetDownloadOffset(uint32_t ulOffset) { g_ulDownloadOffset = ulOffset; }
uint32_t GetDownloadOffset() { return g_ulDownloadOffset; }
uint32_t GetBulkRxKind() { return g_ulBulkRxKind; }
void ClearBulkRxKind() { g_ulBulkRxKind = BULK_RX_NONE; }

void SetReplyError(uint8_t ucCode) {
  g_ReplyStatus.ucErrorCode = ucCode;
  g_ReplyStatus.ucReplyKind = protocol::ReplyKindFor(ucCode);
}

uint32_t GetUsbPollCount() { return s_ulPollCount; }

// ---- Dispatch --------------------------------------------------------------------------------

namespace {

bool ReplyIsOk() { return g_ReplyStatus.ucErrorCode == 0; }

void Respond() { g_ucUsbCmdState = USB_CMD_RESPOND; }

void Refuse(uint8_t ucCode) {
  SetReplyError(ucCode);
  Respond();
}

// Commands that change the printer's state act on every byte of their
// payload: a payload shorter than the layout they read is refused, so no
// handler ever acts on bytes the host did not send.
bool ChangesState(uint16_t usCode) {
  switch (usCode) {
    case protocol::CMD_PRINT:
    case protocol::CMD_CANCEL_PRINT_JOB:
    case protocol::CMD_RESET:
    case protocol::CMD_OPERATION_BUTTON:
    case protocol::CMD_SET_PARAMETER:
    case protocol::CMD_SET_LAMINATE_STRING:
    case protocol::CMD_SET_CUT_LIST:
    case protocol::CMD_SETUP_PRINT_JOB:
    case protocol::CMD_JOB_IMAGE_CONTROL:
    case protocol::CMD_MAINTENANCE_PERMISSION:
    case protocol::CMD_SELF_DIAGNOSIS:
    case protocol::CMD_UPDATE:
    case protocol::CMD_SET_SERIAL_NO:
      return true;
    default:
      return false;
  }
}

bool PayloadTooShort(const protocol::CommandPacket& packet) {
  if (packet.info->code == protocol::CMD_UNIVERSAL) {
    // The count byte names the data bytes behind it; they must all be there.
    if (packet.payloadLength < 1) return true;
    const uint32_t ulCount = packet.payload[0];
    return ulCount > protocol::UNIVERSAL_REQUEST_DATA_MAX || packet.payloadLength < 1u + ulCount;
  }
  return ChangesState(packet.info->code) && packet.payloadLength < packet.info->printerReads;
}

void Forward(const protocol::CommandPacket& packet) {
  const CommandInfo& info = *packet.info;
  const uint8_t ucTag = PostToApplication(packet.payloadLength, info.appRequest, packet.payload);
  ArmAppReplyWait(info.appRequest, ucTag, info.waitMs);
  SetReplyError(0);
  g_ucUsbCmdState = USB_CMD_AWAIT_REPLY;
}

// Every command that is not answered at once posts a request to the
// application, except a reset that is only answered.
bool PostsAppRequest(const protocol::CommandPacket& packet, const protocol::PayloadReader& payload) {
  return packet.info->code != protocol::CMD_RESET || payload.U8(0) != protocol::RESET_KIND_ANSWER_ONLY;
}

void HandleCommand(const protocol::CommandPacket& packet) {
  const CommandInfo& info = *packet.info;
  const uint16_t usCode = info.code;
  const protocol::PayloadReader payload(packet.payload, packet.payloadLength);
  if (info.answer == protocol::CommandAnswer::AtOnce) {
    SetReplyError(0);
    Respond();
    return;
  }
  if (PostsAppRequest(packet, payload) && FreeAppRequestSlots() == 0) {
    // The request queue is full: refused as busy before anything changes,
    // and no waiting request is overwritten. The host asks again later.
    Refuse(protocol::PRINTER_STATE_OPERATION);
    return;
  }
  if (usCode == protocol::CMD_RESET) {
    g_UsbResetRequest.ucKind = payload.U8(0);
    g_UsbResetRequest.ucArgument = payload.U8(1);
  }
  if (usCode == protocol::CMD_SET_EEPROM_MAINTENANCE) {
    // The permission is good for one command, refused or not.
    const bool bPermitted = g_usMaintPermission == 1;
    g_usMaintPermission = 0;
    if (!bPermitted) {
      Refuse(protocol::REPLY_ERR_NO_PERMISSION);
      return;
    }
  }
  uint8_t ucState = 0;
  if (CheckCommandPermission(usCode, &ucState) != 0) {
    Refuse(ucState);
    return;
  }
  if (PayloadTooShort(packet)) {
    Refuse(protocol::REPLY_ERR_BAD_PARAMETER);
    return;
  }
  switch (usCode) {
    case protocol::CMD_RESET:
      // Answered first; posted by the response builder.
      SetReplyError(0);
      Respond();
      return;
    case protocol::CMD_MAINTENANCE_PERMISSION:
      g_usMaintPermission = 1;
      PostToApplication(packet.payloadLength, info.appRequest, packet.payload);
      SetReplyError(0);
      Respond();
      return;
    case protocol::CMD_PRINT: {
      protocol::PrintRequest request;
      protocol::DecodeRequest(packet.payload, packet.payloadLength, &request);
      g_UsbPrintRequest.usWidth = request.imageWidth;
      g_UsbPrintRequest.usHeight = request.imageHeight;
      g_UsbPrintRequest.ulImageBytes = protocol::PrintDataSize(request);
      break;
    }
    case protocol::CMD_UPDATE: {
      protocol::UpdateRequest request;
      protocol::DecodeRequest(packet.payload, packet.payloadLength, &request);
      g_UsbUpdateRequest.ulDataSize = request.dataSize;
      break;
    }
    case protocol::CMD_SET_SERIAL_NO:
      // The RAM copy at once; the EEPROM cell is written by the application,
      // which owns the EEPROM bus. The registered identity stays as it was
      // registered at start-up.
      SetSerialNumberRam(reinterpret_cast<const char*>(packet.payload));
      break;
    default:
      break;
  }
  Forward(packet);
}

void DispatchHostCommand() {
  uint16_t usSize = 0;
  if (IoctlUsbRead(g_UsbPacketBuffer, &usSize) != 0) {
    g_ucUsbCmdState = USB_CMD_IDLE;
    return;
  }
  protocol::CommandPacket packet;
  const int32_t lResult = protocol::DecodeCommandPacket(g_UsbPacketBuffer, usSize, &packet);
  if (lResult == protocol::WIRE_ERR_UNKNOWN_COMMAND) {
    g_usUsbLastCommand = USB_CMD_UNKNOWN;
    Refuse(protocol::REPLY_ERR_UNKNOWN_COMMAND);
    return;
  }
  if (lResult != protocol::WIRE_OK) {
    // Wrong size, too short or too long: dropped without a reply.
    g_ucUsbCmdState = USB_CMD_IDLE;
    return;
  }
  g_usUsbLastCommand = packet.info->code;
  HandleCommand(packet);
}

void AwaitAppReply() {
  if (g_usLastAppMessage != 0 && g_usLastAppMessage == AppReplyCodeOf(g_usAwaitedRequest)) {
    SetReplyError(g_AppReply.aucData[0]);
    Respond();
  }
  // Independent of the answer: a time-out that ends in the same step wins.
  if (IsSoftTimerRunning(SOFT_TIMER_USB_REPLY) == 0) {
    // A request that has not reached the mailbox yet is withdrawn; one the
    // application already holds will be answered late, and that answer is
    // dropped by its tag.
    WithdrawAppRequest(g_ucAwaitedTag);
    Refuse(protocol::REPLY_ERR_TIMEOUT);
  }
}

// ---- Responses ---------------------------------------------------------------------------------

void SendResponse(uint8_t* pucBuffer, uint16_t usDataLength) {
  const protocol::ReplyHeader header =
      protocol::MakeReplyHeader(g_ReplyStatus.ucErrorCode, g_ReplyStatus.ucErrorClass, g_ReplyStatus.ucErrorDetail,
                                g_ReplyStatus.ucAuxStatus, g_ReplyStatus.ucPrinterState, usDataLength);
  protocol::EncodeReplyHeader(header, pucBuffer, protocol::REPLY_HEADER_SIZE);
  // The write's own result changes nothing: a reply the host did not take
  // is gone either way.
  IoctlUsbWrite(pucBuffer, static_cast<uint16_t>(protocol::REPLY_HEADER_SIZE + usDataLength));
}

// The bulk receive of print or update data, armed before the host sees the
// accepting reply. A count that does not fit behind the download offset or
// a receive the driver refuses turns the reply into a refusal, so the host
// never sends data that nothing takes.
bool FitsArea(uint32_t ulOffset, uint32_t ulBytes, uint32_t ulAreaOffset, uint32_t ulAreaSize) {
  if (ulOffset < ulAreaOffset) return false;
  const uint32_t ulInArea = ulOffset - ulAreaOffset;
  return ulInArea <= ulAreaSize && ulBytes <= ulAreaSize - ulInArea;
}

void ArmBulkRx(uint32_t ulBytes, uint32_t ulKind) {
  const uint32_t ulOffset = GetDownloadOffset();
  const bool bFits = FitsArea(ulOffset, ulBytes, 0, DOWNLOAD_BUFFER_SIZE) ||
                     (ulKind == BULK_RX_PRINT &&
                      FitsArea(ulOffset, ulBytes, ONE_BIT_IMAGE_AREA_OFFSET, ONE_BIT_IMAGE_AREA_SIZE));
  if (!bFits) {
    SetReplyError(protocol::REPLY_ERR_BAD_PARAMETER);
    return;
  }
  if (IoctlUsbStartBulkRx(DOWNLOAD_BUFFER_ADDR + ulOffset, ulBytes) != 0) {
    SetReplyError(protocol::REPLY_ERR_REFUSED);
    return;
  }
  g_ulBulkRxKind = ulKind;
}

uint16_t FixedReplyLength(uint16_t usCode) {
  const CommandInfo* pInfo = protocol::FindCommand(usCode);
  return pInfo == nullptr || pInfo->answer == protocol::CommandAnswer::Unknown ? 0 : pInfo->replyLength;
}

// The data of an answered command: the application's bytes behind its
// result, or zeros for an error reply, whose data carries no information.
uint16_t CopyAnswer(uint8_t* pucData, uint32_t ulFrom, uint16_t usLength) {
  std::memset(pucData, 0, usLength);
  if (ReplyIsOk()) std::memcpy(pucData, g_AppReply.aucData + ulFrom, usLength);
  return usLength;
}

uint16_t BuildSerialNumber(uint8_t* pucData) {
  protocol::SerialNoReply reply{};
  GetSerialNumber(reply.serial);
  if (static_cast<uint8_t>(reply.serial[0]) == 0xFFu) {
    std::memcpy(reply.serial, protocol::SERIAL_NO_ERASED_TEXT, sizeof reply.serial);
  }
  return static_cast<uint16_t>(protocol::EncodeReply(reply, pucData, kReplyDataRoom));
}

uint16_t BuildToneCurve(uint8_t* pucData) {
  protocol::ReadToneCurveReply reply{};
  if (ReplyIsOk()) reply.size = protocol::GetU16(g_AppReply.aucData + kToneAnswerSize);
  return static_cast<uint16_t>(protocol::EncodeReply(reply, pucData, kReplyDataRoom));
}

uint16_t BuildUniversal(uint8_t* pucData) {
  // {count m, m bytes}; an error reply carries m = 0.
  protocol::UniversalReply reply{};
  if (ReplyIsOk()) {
    const uint8_t ucCount = g_AppReply.aucData[kAnswerData];
    reply.length = ucCount > protocol::UNIVERSAL_REPLY_DATA_MAX ? protocol::UNIVERSAL_REPLY_DATA_MAX : ucCount;
    std::memcpy(reply.data, g_AppReply.aucData + kAnswerData + 1, reply.length);
  }
  return static_cast<uint16_t>(protocol::EncodeReply(reply, pucData, kReplyDataRoom));
}

void BuildResponse() {
  uint8_t* pucData = g_UsbPacketBuffer + kReplyDataOffset;
  const uint16_t usCode = g_usUsbLastCommand;
  uint8_t ucNext = USB_CMD_IDLE;
  uint16_t usLength = 0;
  switch (usCode) {
    case USB_CMD_UNKNOWN:
      break;
    case protocol::CMD_GET_STATUS:
      usLength = static_cast<uint16_t>(protocol::EncodeStatusReply(g_StatusMirror, pucData, kReplyDataRoom));
      break;
    case protocol::CMD_GET_MEDIA_INFO:
      usLength = static_cast<uint16_t>(
          protocol::EncodeReply(protocol::MediaInfoReplyFrom(g_MediaMirror), pucData, kReplyDataRoom));
      break;
    case protocol::CMD_GET_MEDIA_INFO_EX:
      usLength = static_cast<uint16_t>(
          protocol::EncodeReply(protocol::MediaInfoExReplyFrom(g_MediaMirror), pucData, kReplyDataRoom));
      break;
    case protocol::CMD_GET_MODEL_NAME:
      usLength = static_cast<uint16_t>(protocol::EncodeReply(protocol::MakeModelNameReply(), pucData, kReplyDataRoom));
      break;
    case protocol::CMD_GET_SERIAL_NO:
      usLength = BuildSerialNumber(pucData);
      break;
    case protocol::CMD_PRINT:
      if (ReplyIsOk()) ArmBulkRx(g_UsbPrintRequest.ulImageBytes, BULK_RX_PRINT);
      usLength = CopyAnswer(pucData, kAnswerData, FixedReplyLength(usCode));
      break;
    case protocol::CMD_UPDATE:
      if (ReplyIsOk()) ArmBulkRx(g_UsbUpdateRequest.ulDataSize, BULK_RX_UPDATE);
      break;
    case protocol::CMD_RESET:
      // The host has its answer before the application hears of the reset.
      SendResponse(g_UsbPacketBuffer, 0);
      g_ucUsbCmdState = USB_CMD_IDLE;
      if (ReplyIsOk() && g_UsbResetRequest.ucKind != protocol::RESET_KIND_ANSWER_ONLY) {
        const uint8_t aucReset[2] = {g_UsbResetRequest.ucKind, g_UsbResetRequest.ucArgument};
        PostToApplication(sizeof aucReset, AppRequestCode(APPMSG_RESET), aucReset);
      }
      return;
    case protocol::CMD_READ_TONE_CURVE:
      usLength = BuildToneCurve(pucData);
      if (ReplyIsOk()) ucNext = USB_CMD_SEND_PIECES;
      break;
    case protocol::CMD_GET_FIRMWARE_INFO:
      usLength = CopyAnswer(pucData, kFirmwareAnswerRecord, FixedReplyLength(usCode));
      break;
    case protocol::CMD_GET_DIAGNOSIS_RESULT:
      usLength = CopyAnswer(pucData, kDiagnosisAnswerBytes, FixedReplyLength(usCode));
      break;
    case protocol::CMD_UNIVERSAL:
      usLength = BuildUniversal(pucData);
      break;
    default:
      usLength = CopyAnswer(pucData, kAnswerData, FixedReplyLength(usCode));
      break;
  }
  SendResponse(g_UsbPacketBuffer, usLength);
  g_ucUsbCmdState = ucNext;
}

void SendNextPiece() {
  PieceSend& s = g_PieceSend;
  if (s.usBytesRemaining == 0) {
    g_ucUsbCmdState = USB_CMD_IDLE;
    return;
  }
  protocol::ToneCurvePiece piece{};
  constexpr uint16_t kPieceMax = protocol::TONE_CURVE_PIECE_DATA_MAX;
  const uint16_t usLength = s.usBytesRemaining < kPieceMax ? s.usBytesRemaining : kPieceMax;
  s.usPieceLength = usLength;
  s.usBytesRemaining = static_cast<uint16_t>(s.usBytesRemaining - usLength);
  s.usPiecesRemaining = static_cast<uint16_t>(s.usPiecesRemaining - 1u);
  HwReadBlock(s.ulSource + s.usReadIndex, piece.data, usLength);
  s.usReadIndex = static_cast<uint16_t>(s.usReadIndex + usLength);
  piece.piecesAfter = static_cast<uint8_t>(s.usPiecesRemaining & 0xFFu);
  piece.length = static_cast<uint8_t>(usLength);
  const int32_t lBytes = protocol::EncodeToneCurvePiece(piece, s.aucPiece, sizeof s.aucPiece);
  if (lBytes > 0) IoctlUsbWrite(s.aucPiece, static_cast<uint16_t>(lBytes));
  if (IsSoftTimerRunning(SOFT_TIMER_USB_SEND) == 0) g_ucUsbCmdState = USB_CMD_IDLE;
}

}  // namespace

void StartPieceSend(uint16_t usSize, uint16_t usCode, uint32_t ulMs, PhysAddr ulSource) {
  g_PieceSend.usBytesRemaining = usSize;
  g_PieceSend.usPieceLength = 0;
  g_PieceSend.usPiecesRemaining = static_cast<uint16_t>(protocol::ToneCurvePieceCount(usSize));
  g_PieceSend.usCode = usCode;
  g_PieceSend.usReadIndex = 0;
  g_PieceSend.ulSource = ulSource;
  StartSoftTimer(SOFT_TIMER_USB_SEND, ulMs);
}

void UsbCommandStep() {
  switch (g_ucUsbCmdState) {
    case USB_CMD_IDLE:
      // Read even while the request queue is full: what is answered at once
      // is answered, and a command that would post is refused as busy.
      if (IoctlUsbRxReady() == 1) g_ucUsbCmdState = USB_CMD_DISPATCH;
      break;
    case USB_CMD_DISPATCH:
      DispatchHostCommand();
      break;
    case USB_CMD_AWAIT_REPLY:
      AwaitAppReply();
      break;
    case USB_CMD_RESPOND:
      BuildResponse();
      break;
    case USB_CMD_SEND_PIECES:
      SendNextPiece();
      break;
    default:
      break;
  }
}

void UsbPoll() {
  ++s_ulPollCount;
  UsbCommandStep();
  ExchangeShMemUsb();
}

int32_t InitUsbProcess() {
  g_ucUsbCmdState = USB_CMD_IDLE;
  g_ulDownloadOffset = 0;
  g_ulBulkRxKind = BULK_RX_NONE;
  SetReplyError(0);
  g_usMaintPermission = 0;
  g_usAwaitedRequest = 0;
  g_ucAwaitedTag = 0;
  g_usLastAppMessage = 0;
  std::memset(&g_PieceSend, 0, sizeof g_PieceSend);
  // Empties the request queue and takes the (cleared) status into the
  // reply status.
  ResetAppMessages();
  return 0;
}
