// The request parsers of usb_comm: each stores its request in the command's
// block, then sets the command's event for a handler or queues its reply at
// once. Payloads are read through the protocol's request decoders; the
// request data is zero behind the received length, so a missing byte reads
// as 0, never as a byte of an earlier request.
#include <cstring>

#include "firmware/control/event_set.h"
#include "firmware/hostif/diagnosis_handlers.h"
#include "firmware/hostif/print_job_handlers.h"
#include "firmware/hostif/setting_handlers.h"
#include "firmware/hostif/shmem_usb.h"
#include "firmware/hostif/update_handlers.h"
#include "firmware/hostif/usb_comm_internal.h"
#include "protocol/codes.h"
#include "protocol/requests.h"

namespace {

using protocol::REPLY_ERR_BAD_PARAMETER;

template <class Block>
Block& BlockOf(void (*pfnAccessor)(Block**)) {
  Block* pBlock = nullptr;
  pfnAccessor(&pBlock);
  return *pBlock;
}

template <class Request>
Request Decode(const UsbRequest& request) {
  Request r{};
  protocol::DecodeRequest(request.pucData, request.usLength, &r);
  return r;
}

int32_t Queue(uint16_t usReply) { return usb_comm::regist_txreq_code(usReply); }

int32_t ParsePrint(const UsbRequest& request) {
  const auto r = Decode<protocol::PrintRequest>(request);
  PrintBlock& b = BlockOf(usb_comm_get_print_block);
  b.ucResult = 0;
  b.usImageWidth = r.imageWidth;
  b.usImageHeight = r.imageHeight;
  b.usMediaMaxWidth = r.mediaMaxWidth;
  b.usMediaMaxHeight = r.mediaMaxHeight;
  b.usXOffset = static_cast<uint16_t>(r.xOffset & ~1u);
  b.usYOffset = r.yOffset;
  b.ucPrintOptionA = r.printOptionA;
  b.ucImageType = r.imageType;
  b.ucPrintOptionB = r.printOptionB;
  usb_comm_set_event(CMDEV_PRINT);
  return 0;
}

int32_t ParseCancelPrintJob(const UsbRequest& request) {
  const auto r = Decode<protocol::CancelPrintJobRequest>(request);
  CancelJobBlock& b = BlockOf(usb_comm_get_cancel_job_block);
  b.ucJobId = r.jobNumber;
  b.ucMode = r.mode;
  if (r.mode > 2) {
    b.ucResult = REPLY_ERR_BAD_PARAMETER;
    return Queue(APPMSG_CANCEL_PRINT_JOB);
  }
  b.ucResult = 0;
  usb_comm_set_event(CMDEV_CANCEL_PRINT_JOB);
  return 0;
}

int32_t ParseFlashLed(const UsbRequest&) {
  BlockOf(usb_comm_get_flash_led_block).ucResult = 0;
  usb_comm_set_event(CMDEV_FLASH_LED);
  return 0;
}

// The host was answered before the request came (the USB task answers a
// reset at once), so these results never reach it.
int32_t ParseReset(const UsbRequest& request) {
  const auto r = Decode<protocol::ResetRequest>(request);
  ResetBlock& b = BlockOf(usb_comm_get_reset_block);
  b.ucKind = r.kind;
  b.ucArgument = r.argument;
  switch (r.kind) {
    case protocol::RESET_KIND_PRINTER:
      b.ucResult = 0;
      g_pCurEventMng->SetEvent(EV_SYSTEM_RESET);
      return 0;
    case protocol::RESET_KIND_TONE_CURVE:
    case protocol::RESET_KIND_LAMINATE:
      // Counted with the resets accepted before whose replies have not
      // run yet, so the list never takes a fourth.
      if (AcceptDeferredReset(r.kind, r.argument) != 0) {
        b.ucResult = protocol::REPLY_ERR_QUEUE_FULL;
        return 0;
      }
      b.ucResult = 0;
      return Queue(APPMSG_RESET);
    default:
      b.ucResult = REPLY_ERR_BAD_PARAMETER;
      return 0;
  }
}

int32_t ParseReadToneCurve(const UsbRequest& request) {
  const auto r = Decode<protocol::ReadToneCurveRequest>(request);
  ReadToneCurveBlock& b = BlockOf(usb_comm_get_read_tone_curve_block);
  b.ucKind = r.type;
  b.ucCurve = r.curve;
  b.usSize = protocol::TONE_CURVE_SIZE;
  const bool bValid = r.type >= 1 && r.type <= protocol::TONE_CURVE_TYPE_MAX && r.curve >= 1 &&
                      r.curve <= protocol::TONE_CURVE_NUMBER_MAX;
  b.ucResult = bValid ? 0 : REPLY_ERR_BAD_PARAMETER;
  return Queue(APPMSG_READ_TONE_CURVE);
}

int32_t ParseOperationButton(const UsbRequest& request) {
  const auto r = Decode<protocol::OperationButtonRequest>(request);
  OperationButtonBlock& b = BlockOf(usb_comm_get_operation_button_block);
  b.ucValue = r.enable;
  b.ucResult = r.enable > 1 ? REPLY_ERR_BAD_PARAMETER : 0;
  usb_comm_set_event(CMDEV_OPERATION_BUTTON);
  return 0;
}

int32_t ParseSelfDiagnosis(const UsbRequest& request) {
  const auto r = Decode<protocol::SelfDiagnosisRequest>(request);
  SelfDiagnosisBlock& b = BlockOf(usb_comm_get_self_diagnosis_block);
  b.ucResult = 0;
  b.ucSubCommand = r.subCommand;
  b.ucDeviceId = r.deviceId;
  b.ucAction = r.action;
  b.ucValue = 0;
  // The follow-ups are answered first; their reply's builder starts them.
  if (DiagnosisRunsAfterReply(r.subCommand)) return Queue(APPMSG_SELF_DIAGNOSIS);
  usb_comm_set_event(CMDEV_SELF_DIAGNOSIS);
  return 0;
}

int32_t ParseGetDiagnosisResult(const UsbRequest&) { return Queue(APPMSG_GET_DIAGNOSIS_RESULT); }

int32_t ParseGetFirmwareInfo(const UsbRequest& request) {
  const auto r = Decode<protocol::GetFirmwareInfoRequest>(request);
  FirmwareInfoReqBlock& b = BlockOf(usb_comm_get_firmware_info_req_block);
  b.ucComponent = r.component;
  const bool bValid = r.component >= protocol::FW_COMPONENT_BOOT && r.component <= protocol::FW_COMPONENT_TABLE;
  b.ucResult = bValid ? 0 : REPLY_ERR_BAD_PARAMETER;
  return Queue(APPMSG_GET_FIRMWARE_INFO);
}

int32_t ParseUpdate(const UsbRequest& request) {
  const auto r = Decode<protocol::UpdateRequest>(request);
  UpdateBlock& b = BlockOf(usb_comm_get_update_block);
  b.ucResult = 0;
  b.ucKind = r.kind;
  b.ucArgument = r.argument;
  b.ucNoReset = r.noReset;
  std::memcpy(b.aucReserved, r.reserved, sizeof b.aucReserved);
  b.ulDataSize = r.dataSize;
  usb_comm_set_event(CMDEV_UPDATE);
  return 0;
}

int32_t ParseGetEepromMaintenance(const UsbRequest& request) {
  const auto r = Decode<protocol::GetEepromMaintenanceRequest>(request);
  GetEepromMaintBlock& b = BlockOf(usb_comm_get_get_eeprom_maint_block);
  std::memcpy(b.aucRequest, r.bytes, sizeof b.aucRequest);
  b.ucResult = protocol::REPLY_ERR_REFUSED;
  return Queue(APPMSG_GET_EEPROM_MAINTENANCE);
}

int32_t ParseSetEepromMaintenance(const UsbRequest& request) {
  const auto r = Decode<protocol::SetEepromMaintenanceRequest>(request);
  SetEepromMaintBlock& b = BlockOf(usb_comm_get_set_eeprom_maint_block);
  std::memcpy(b.aucRequest, r.bytes, sizeof b.aucRequest);
  std::memcpy(b.aucData, r.data, sizeof b.aucData);
  b.ucResult = protocol::REPLY_ERR_REFUSED;
  return Queue(APPMSG_SET_EEPROM_MAINTENANCE);
}

int32_t ParseJobImageControl(const UsbRequest& request) {
  const auto r = Decode<protocol::JobImageControlRequest>(request);
  JobImageControlBlock& b = BlockOf(usb_comm_get_job_image_control_block);
  b.ucControl = r.control;
  b.ucResult = 0;
  usb_comm_set_event(CMDEV_JOB_IMAGE_CONTROL);
  return 0;
}

int32_t ParseGetErrorLog(const UsbRequest&) { return Queue(APPMSG_GET_ERROR_LOG); }

int32_t ParseResetErrorLog(const UsbRequest&) {
  BlockOf(usb_comm_get_reset_error_log_block).ucResult = 0;
  usb_comm_set_event(CMDEV_RESET_ERROR_LOG);
  return 0;
}

int32_t ParseMaintenancePermission(const UsbRequest& request) {
  const auto r = Decode<protocol::MaintenancePermissionRequest>(request);
  MaintPermissionBlock& b = BlockOf(usb_comm_get_maint_permission_block);
  std::memcpy(b.aucRequest, r.bytes, sizeof b.aucRequest);
  b.ucResult = protocol::REPLY_ERR_REFUSED;
  return Queue(APPMSG_MAINTENANCE_PERMISSION);
}

int32_t ParseSetSerialNo(const UsbRequest& request) {
  const auto r = Decode<protocol::SetSerialNoRequest>(request);
  SetSerialBlock& b = BlockOf(usb_comm_get_set_serial_block);
  std::memcpy(b.acSerial, r.serial, sizeof b.acSerial);
  b.ucResult = 0;
  usb_comm_set_event(CMDEV_SET_SERIAL_NO);
  return 0;
}

int32_t ParseGetParameter(const UsbRequest& request) {
  const auto r = Decode<protocol::GetParameterRequest>(request);
  GetParameterBlock& b = BlockOf(usb_comm_get_get_parameter_block);
  b.ucParameterId = r.parameterId;
  b.ulValue = 0;
  b.ucResult = 0;
  usb_comm_set_event(CMDEV_GET_PARAMETER);
  return 0;
}

int32_t ParseSetParameter(const UsbRequest& request) {
  const auto r = Decode<protocol::SetParameterRequest>(request);
  SetParameterBlock& b = BlockOf(usb_comm_get_set_parameter_block);
  b.ucParameterId = r.parameterId;
  b.lValue = r.value;
  b.ucResult = 0;
  usb_comm_set_event(CMDEV_SET_PARAMETER);
  return 0;
}

int32_t ParseSetLaminateString(const UsbRequest& request) {
  const auto r = Decode<protocol::SetLaminateStringRequest>(request);
  LaminateStringBlock& b = BlockOf(usb_comm_get_laminate_string_block);
  b.ucItemNumber = r.itemNumber;
  b.usX = r.x;
  b.usY = r.y;
  b.ucStyle1 = r.style1;
  b.ucStyle2 = r.style2;
  b.ucTextLength = r.textLength > LAMINATE_TEXT ? LAMINATE_TEXT : r.textLength;
  std::memset(b.acText, 0, sizeof b.acText);
  std::memcpy(b.acText, r.text, b.ucTextLength);
  b.ucResult = 0;
  usb_comm_set_event(CMDEV_SET_LAMINATE_STRING);
  return 0;
}

int32_t ParseSetCutList(const UsbRequest& request) {
  const auto r = Decode<protocol::SetCutListRequest>(request);
  CutListBlock& b = BlockOf(usb_comm_get_cut_list_block);
  std::memcpy(b.ausCutPositions, r.cutPositions, sizeof b.ausCutPositions);
  b.ucResult = 0;
  usb_comm_set_event(CMDEV_SET_CUT_LIST);
  return 0;
}

int32_t ParseReadHeadEeprom(const UsbRequest& request) {
  const auto r = Decode<protocol::ReadHeadEepromRequest>(request);
  HeadEepromBlock& b = BlockOf(usb_comm_get_head_eeprom_block);
  b.ucUnit = r.unit;
  b.ucAddress = r.address;
  b.ucValue = 0;
  b.ucResult = 0;
  if (r.unit == 1 || r.unit == 2) {
    if (ReadHeadEepromForHost(r.unit, r.address, &b.ucValue) != 0) b.ucResult = protocol::REPLY_ERR_UNIT_ERROR;
  }
  return Queue(APPMSG_READ_HEAD_EEPROM);
}

int32_t ParseSetupPrintJob(const UsbRequest& request) {
  const auto r = Decode<protocol::SetupPrintJobRequest>(request);
  SetupPrintJobBlock& b = BlockOf(usb_comm_get_setup_print_job_block);
  b.ucResult = 0;
  b.usCopies = r.copies;
  b.ucUnitRequest = r.unitRequest;
  b.ucFinishOptions = r.finishOptions;
  b.usCutOffset1 = r.cutOffset1;
  b.usCutOffset2 = r.cutOffset2;
  b.ucCutCount = r.cutCount;
  std::memset(b.ausCutPositions, 0, sizeof b.ausCutPositions);
  if (r.cutCount != protocol::CUT_COUNT_DEFAULT) {
    const uint32_t ulCopied = r.cutCount < CUT_POSITIONS ? r.cutCount : CUT_POSITIONS;
    for (uint32_t i = 0; i < ulCopied; ++i) b.ausCutPositions[i] = r.cutPositions[i];
  }
  if (r.cutCount == protocol::CUT_COUNT_DEFAULT) {
    b.ucCutMode = CUT_MODE_DEFAULT;
  } else {
    b.ucCutMode = r.cutCount >= 2 && r.cutCount <= CUT_POSITIONS ? CUT_MODE_LIST : CUT_MODE_NONE;
  }
  b.ucFirstUnitSelection = r.firstUnitSelection;
  b.ucPrintMode = r.printMode;
  g_ulJobSetupPending = 1;
  usb_comm_set_event(CMDEV_SETUP_PRINT_JOB);
  return 0;
}

int32_t ParseGetJobStatus(const UsbRequest& request) {
  const auto r = Decode<protocol::GetJobStatusRequest>(request);
  BlockOf(usb_comm_get_job_status_block).ucJobId = r.jobId;
  usb_comm_set_event(CMDEV_GET_JOB_STATUS);
  return 0;
}

int32_t ParseGetPrinterIdStatus(const UsbRequest& request) {
  const auto r = Decode<protocol::GetPrinterIdStatusRequest>(request);
  PrinterIdStatusBlock& b = BlockOf(usb_comm_get_printer_id_status_block);
  b.ucJobId = r.jobId;
  b.ucPending = 1;
  b.ucResult = 0;
  usb_comm_set_event(CMDEV_GET_PRINTER_ID_STATUS);
  return 0;
}

int32_t ParseGetCounters(const UsbRequest&) {
  BlockOf(usb_comm_get_counters_block).ucResult = 0;
  return Queue(APPMSG_GET_COUNTERS);
}

int32_t ParseGetExitTrayStatus(const UsbRequest&) {
  ExitTrayStatusBlock& b = BlockOf(usb_comm_get_exit_tray_status_block);
  b.ucStep = 1;
  b.ulStartTime = 0;
  usb_comm_set_event(CMDEV_GET_EXIT_TRAY_STATUS);
  return 0;
}

int32_t ParseGetBufferStatus(const UsbRequest&) {
  BlockOf(usb_comm_get_buffer_status_block).ucResult = 0;
  return Queue(APPMSG_GET_BUFFER_STATUS);
}

// A count the request cannot hold, or data bytes the request does not
// carry, refuse the request: its handler does not run, the block's request
// part stays as it was, and the host gets a bad-parameter answer.
int32_t ParseUniversal(const UsbRequest& request) {
  protocol::UniversalRequest r{};
  const int32_t lDecoded = protocol::DecodeRequest(request.pucData, request.usLength, &r);
  UniversalBlock& b = BlockOf(usb_comm_get_universal_block);
  if (lDecoded != protocol::WIRE_OK || request.usLength < 1u + r.count) {
    b.ucResult = REPLY_ERR_BAD_PARAMETER;
    Queue(APPMSG_UNIVERSAL);
    return -1;
  }
  b.ucRequestLength = r.count;
  std::memset(b.aucRequest, 0, sizeof b.aucRequest);
  std::memcpy(b.aucRequest, r.data, r.count);
  b.ucReplyLength = 0;
  b.ucResult = 0;
  usb_comm_set_event(CMDEV_UNIVERSAL);
  return 0;
}

constexpr RequestRoute kRoutes[] = {
    {AppRequestCode(APPMSG_PRINT), ParsePrint, CMDEV_PRINT | CMDEV_PRINT_DATA_RECEIVED},
    {AppRequestCode(APPMSG_CANCEL_PRINT_JOB), ParseCancelPrintJob, CMDEV_CANCEL_PRINT_JOB},
    {AppRequestCode(APPMSG_FLASH_LED), ParseFlashLed, CMDEV_FLASH_LED},
    {AppRequestCode(APPMSG_RESET), ParseReset, CMDEV_RESET},
    {AppRequestCode(APPMSG_READ_TONE_CURVE), ParseReadToneCurve, 0},
    {AppRequestCode(APPMSG_OPERATION_BUTTON), ParseOperationButton, CMDEV_OPERATION_BUTTON},
    {AppRequestCode(APPMSG_SELF_DIAGNOSIS), ParseSelfDiagnosis, CMDEV_SELF_DIAGNOSIS | CMDEV_DIAGNOSIS_FOLLOWUP},
    {AppRequestCode(APPMSG_GET_DIAGNOSIS_RESULT), ParseGetDiagnosisResult, 0},
    {AppRequestCode(APPMSG_GET_FIRMWARE_INFO), ParseGetFirmwareInfo, 0},
    {AppRequestCode(APPMSG_UPDATE), ParseUpdate, CMDEV_UPDATE | CMDEV_UPDATE_DATA_RECEIVED},
    {AppRequestCode(APPMSG_GET_EEPROM_MAINTENANCE), ParseGetEepromMaintenance, 0},
    {AppRequestCode(APPMSG_SET_EEPROM_MAINTENANCE), ParseSetEepromMaintenance, 0},
    {AppRequestCode(APPMSG_JOB_IMAGE_CONTROL), ParseJobImageControl, CMDEV_JOB_IMAGE_CONTROL},
    {AppRequestCode(APPMSG_GET_ERROR_LOG), ParseGetErrorLog, 0},
    {AppRequestCode(APPMSG_RESET_ERROR_LOG), ParseResetErrorLog, CMDEV_RESET_ERROR_LOG},
    {AppRequestCode(APPMSG_MAINTENANCE_PERMISSION), ParseMaintenancePermission, 0},
    {AppRequestCode(APPMSG_SET_SERIAL_NO), ParseSetSerialNo, CMDEV_SET_SERIAL_NO},
    {AppRequestCode(APPMSG_GET_PARAMETER), ParseGetParameter, CMDEV_GET_PARAMETER},
    {AppRequestCode(APPMSG_SET_PARAMETER), ParseSetParameter, CMDEV_SET_PARAMETER},
    {AppRequestCode(APPMSG_SET_LAMINATE_STRING), ParseSetLaminateString, CMDEV_SET_LAMINATE_STRING},
    {AppRequestCode(APPMSG_SET_CUT_LIST), ParseSetCutList, CMDEV_SET_CUT_LIST},
    {AppRequestCode(APPMSG_READ_HEAD_EEPROM), ParseReadHeadEeprom, 0},
    // The print handler reads the job set-up's block too.
    {AppRequestCode(APPMSG_SETUP_PRINT_JOB), ParseSetupPrintJob, CMDEV_SETUP_PRINT_JOB | CMDEV_PRINT},
    {AppRequestCode(APPMSG_GET_JOB_STATUS), ParseGetJobStatus, CMDEV_GET_JOB_STATUS},
    {AppRequestCode(APPMSG_GET_PRINTER_ID_STATUS), ParseGetPrinterIdStatus, CMDEV_GET_PRINTER_ID_STATUS},
    {AppRequestCode(APPMSG_GET_COUNTERS), ParseGetCounters, 0},
    {AppRequestCode(APPMSG_GET_EXIT_TRAY_STATUS), ParseGetExitTrayStatus, CMDEV_GET_EXIT_TRAY_STATUS},
    {AppRequestCode(APPMSG_GET_BUFFER_STATUS), ParseGetBufferStatus, 0},
    {AppRequestCode(APPMSG_UNIVERSAL), ParseUniversal, CMDEV_UNIVERSAL},
};

}  // namespace

const RequestRoute* FindRequestRoute(uint16_t usRequest) {
  for (const RequestRoute& route : kRoutes) {
    if (route.usRequest == usRequest) return &route;
  }
  return nullptr;
}
