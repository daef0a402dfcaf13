// The reply builders of usb_comm: each reads its command block (or the host
// status table, the media block, the error history, the firmware images in
// flash) and assembles the message payload that the USB task turns into the
// host's reply: the result byte first, then the reply data in the layout
// the protocol module gives, or the status and media records themselves.
#include <cstring>

#include "firmware/control/error_history.h"
#include "firmware/control/host_status_table.h"
#include "firmware/hostif/diagnosis_handlers.h"
#include "firmware/hostif/shmem_usb.h"
#include "firmware/hostif/update_handlers.h"
#include "firmware/hostif/usb_comm_internal.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/number_text.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/table_store.h"
#include "protocol/codes.h"
#include "protocol/media.h"
#include "protocol/replies.h"
#include "protocol/status_record.h"

namespace {

template <class Block>
Block& BlockOf(void (*pfnAccessor)(Block**)) {
  Block* pBlock = nullptr;
  pfnAccessor(&pBlock);
  return *pBlock;
}

// [result][encoded reply]: the total, or -1 when the encoder failed.
template <class Reply>
int32_t WithResult(uint8_t ucResult, const Reply& reply, uint8_t* pucWork, uint32_t ulRoom) {
  pucWork[0] = ucResult;
  const int32_t lLength = protocol::EncodeReply(reply, pucWork + 1, ulRoom - 1);
  return lLength < 0 ? -1 : lLength + 1;
}

int32_t ResultOnly(uint8_t ucResult, uint8_t* pucWork) {
  pucWork[0] = ucResult;
  return 1;
}

uint8_t Low8(uint32_t ulValue) { return static_cast<uint8_t>(ulValue & 0xFFu); }
uint16_t Low16(uint32_t ulValue) { return static_cast<uint16_t>(ulValue & 0xFFFFu); }

// ---- Notifications ---------------------------------------------------------------------

int32_t BuildStatusRecord(uint8_t* pucWork, uint32_t ulRoom) {
  protocol::StatusRecord r{};
  r.errorClass = Low8(GetStatusItem(SI_ERROR_MAJOR));
  r.errorDetail = Low8(GetStatusItem(SI_ERROR_MINOR));
  r.printerState = Low8(GetStatusItem(SI_PRINTER_STATE));
  r.auxStatus = Low8(GetStatusItem(SI_AUX_STATUS));
  for (uint32_t i = 0; i < protocol::STATUS_COUNTER_ITEMS; ++i) r.counterItems[i] = GetStatusItem(SI_COUNTER_TOTAL + i);
  r.paperRemain = Low16(GetStatusItem(SI_PAPER_REMAIN));
  for (uint32_t i = 0; i < protocol::STATUS_JOB_ITEMS; ++i) r.jobStatus[i] = Low16(GetStatusItem(SI_JOB_STATUS_0 + i));
  r.keyEnable = Low8(GetStatusItem(SI_KEY_ENABLE));
  for (uint32_t i = 0; i < protocol::STATUS_TONE_CURVE_ITEMS; ++i) {
    r.toneCurveFlags[i] = Low8(GetStatusItem(SI_TONE_CURVE_1 + i));
  }
  for (uint32_t i = 0; i < protocol::STATUS_UNIT_ASSIGN_ITEMS; ++i) {
    r.unitAssign[i] = Low8(GetStatusItem(SI_UNIT_ASSIGN_1 + i));
  }
  r.printMode = Low8(GetStatusItem(SI_PRINT_MODE));
  return protocol::EncodeStatusRecord(r, pucWork, ulRoom);
}

int32_t BuildMediaRecord(uint8_t* pucWork, uint32_t ulRoom) {
  protocol::MediaRecord r = BlockOf(usb_comm_get_media_info_block).record;
  if (r.sizeCount > protocol::MEDIA_SIZE_ENTRIES) r.sizeCount = protocol::MEDIA_SIZE_ENTRIES;
  return protocol::EncodeMediaRecord(r, pucWork, ulRoom);
}

// ---- Replies -------------------------------------------------------------------------------

int32_t BuildPrint(uint8_t* pucWork, uint32_t ulRoom) {
  const PrintBlock& b = BlockOf(usb_comm_get_print_block);
  return WithResult(b.ucResult, protocol::PrintReply{b.ucSlotIndex}, pucWork, ulRoom);
}

int32_t BuildCancelPrintJob(uint8_t* pucWork, uint32_t) {
  return ResultOnly(BlockOf(usb_comm_get_cancel_job_block).ucResult, pucWork);
}

int32_t BuildFlashLed(uint8_t* pucWork, uint32_t) {
  return ResultOnly(BlockOf(usb_comm_get_flash_led_block).ucResult, pucWork);
}

// The accepted tone-curve or laminate resets become deferred work once a
// reply is on its way (the handler appends each of them once, whichever
// reply's builder ran first).
int32_t BuildReset(uint8_t* pucWork, uint32_t) {
  const ResetBlock& b = BlockOf(usb_comm_get_reset_block);
  if (AcceptedResetCount() != 0) usb_comm_set_event(CMDEV_RESET);
  return ResultOnly(b.ucResult, pucWork);
}

// {result, type, curve, u16 size}: the USB task fetches the curve by type
// and number and sends it in pieces.
int32_t BuildReadToneCurve(uint8_t* pucWork, uint32_t) {
  const ReadToneCurveBlock& b = BlockOf(usb_comm_get_read_tone_curve_block);
  pucWork[0] = b.ucResult;
  pucWork[1] = b.ucKind;
  pucWork[2] = b.ucCurve;
  protocol::PutU16(pucWork + 3, b.ucResult == 0 ? b.usSize : 0);
  return 5;
}

int32_t BuildOperationButton(uint8_t* pucWork, uint32_t) {
  return ResultOnly(BlockOf(usb_comm_get_operation_button_block).ucResult, pucWork);
}

// The key test and sub-commands 252-255 run after their reply has been built.
int32_t BuildSelfDiagnosis(uint8_t* pucWork, uint32_t ulRoom) {
  const SelfDiagnosisBlock& b = BlockOf(usb_comm_get_self_diagnosis_block);
  if (DiagnosisRunsAfterReply(b.ucSubCommand) && b.ucResult == 0) usb_comm_set_event(CMDEV_DIAGNOSIS_FOLLOWUP);
  const uint8_t ucValue = b.ucResult == protocol::REPLY_ERR_REFUSED ? 0 : b.ucValue;
  return WithResult(b.ucResult, protocol::SelfDiagnosisReply{b.ucSubCommand, b.ucDeviceId, b.ucAction, ucValue},
                    pucWork, ulRoom);
}

// {result, u16 count, the result bytes}.
int32_t BuildDiagnosisResult(uint8_t* pucWork, uint32_t) {
  pucWork[0] = 0;
  protocol::PutU16(pucWork + 1, DIAG_RESULT_BYTES);
  std::memcpy(pucWork + 3, g_ucDiagResults, DIAG_RESULT_BYTES);
  return 3 + DIAG_RESULT_BYTES;
}

// ---- Firmware information, read from the images in flash ------------------------------------

struct InfoSource {
  PhysAddr ulAddress;
  uint32_t ulName;
  uint32_t ulType;
  uint32_t ulDate;
  uint32_t ulMajor;
  uint32_t ulMinor;
  bool bHexVersion;  // version as two hex characters, else a byte value
  uint32_t ulChecksum;
};

// By component 1-4: the boot image area's and the main program's
// information blocks, the DSP image's, and the TABLE image's header.
constexpr InfoSource kInfoSources[] = {
    {0x600A0000u, 2, 10, 32, 26, 28, true, 42},
    {0x60100000u, 2, 10, 32, 26, 28, true, 42},
    {DSP_INFO_FLASH, DSP_INFO_PROGRAM_NAME, DSP_INFO_PROGRAM_TYPE, DSP_INFO_CREATE_DATE, DSP_INFO_VERSION_MAJOR,
     DSP_INFO_VERSION_MINOR, true, DSP_INFO_IMAGE_CHECKSUM},
    {TABLE_FLASH, TABLE_HDR_PROGRAM_NAME, TABLE_HDR_PROGRAM_TYPE, TABLE_HDR_CREATE_DATE, TABLE_HDR_VERSION_MAJOR,
     TABLE_HDR_VERSION_MINOR, false, TABLE_HDR_IMAGE_CHECKSUM},
};
constexpr uint32_t kInfoBytes = 50;

protocol::FirmwareInfoRecord ReadFirmwareInfoRecord(uint8_t ucComponent) {
  const InfoSource& s = kInfoSources[ucComponent - 1u];
  uint8_t aucInfo[kInfoBytes] = {};
  // Flash is read byte by byte through the system-device call.
  for (uint32_t i = 0; i < kInfoBytes; ++i) IoctlRead8(s.ulAddress + i, &aucInfo[i]);
  protocol::FirmwareInfoRecord r{};
  std::memcpy(r.programName, aucInfo + s.ulName, sizeof r.programName);
  std::memcpy(r.programType, aucInfo + s.ulType, sizeof r.programType);
  std::memcpy(r.createDate, aucInfo + s.ulDate, sizeof r.createDate);
  if (s.bHexVersion) {
    r.versionMajor = static_cast<uint8_t>(ParseHex(reinterpret_cast<const char*>(aucInfo + s.ulMajor), 2));
    r.versionMinor = static_cast<uint8_t>(ParseHex(reinterpret_cast<const char*>(aucInfo + s.ulMinor), 2));
  } else {
    r.versionMajor = aucInfo[s.ulMajor];
    r.versionMinor = aucInfo[s.ulMinor];
  }
  r.imageChecksum = protocol::GetU16(aucInfo + s.ulChecksum);
  return r;
}

// {result, component, the record}.
int32_t BuildFirmwareInfo(uint8_t* pucWork, uint32_t ulRoom) {
  const FirmwareInfoReqBlock& b = BlockOf(usb_comm_get_firmware_info_req_block);
  pucWork[0] = b.ucResult;
  pucWork[1] = b.ucComponent;
  const protocol::FirmwareInfoRecord record = b.ucResult == 0 ? ReadFirmwareInfoRecord(b.ucComponent)
                                                               : protocol::FirmwareInfoRecord{};
  const int32_t lLength = protocol::EncodeReply(record, pucWork + 2, ulRoom - 2);
  return lLength < 0 ? -1 : lLength + 2;
}

int32_t BuildUpdate(uint8_t* pucWork, uint32_t) {
  return ResultOnly(BlockOf(usb_comm_get_update_block).ucResult, pucWork);
}

// Always refused, with no data.
int32_t BuildGetEepromMaintenance(uint8_t* pucWork, uint32_t) {
  pucWork[0] = protocol::REPLY_ERR_REFUSED;
  pucWork[1] = 0;
  return 2;
}

int32_t BuildSetEepromMaintenance(uint8_t* pucWork, uint32_t) {
  return ResultOnly(BlockOf(usb_comm_get_set_eeprom_maint_block).ucResult, pucWork);
}

int32_t BuildJobImageControl(uint8_t* pucWork, uint32_t) {
  return ResultOnly(BlockOf(usb_comm_get_job_image_control_block).ucResult, pucWork);
}

int32_t BuildErrorLog(uint8_t* pucWork, uint32_t ulRoom) {
  protocol::ErrorLogReply reply{};
  const uint8_t ucCount = g_ErrorHistTable.ucCount;
  reply.count = ucCount > protocol::ERROR_LOG_ENTRIES_MAX ? protocol::ERROR_LOG_ENTRIES_MAX : ucCount;
  for (uint32_t i = 0; i < reply.count; ++i) {
    const ErrorHistRecord& record = g_ErrorHistTable.aRecords[i];
    reply.entries[i] = protocol::ErrorLogEntry{record.ucCodeMajor, record.ucCodeMinor, record.ulTotalCount};
  }
  return WithResult(0, reply, pucWork, ulRoom);
}

int32_t BuildResetErrorLog(uint8_t* pucWork, uint32_t) {
  return ResultOnly(BlockOf(usb_comm_get_reset_error_log_block).ucResult, pucWork);
}

int32_t BuildMaintenancePermission(uint8_t* pucWork, uint32_t) {
  return ResultOnly(BlockOf(usb_comm_get_maint_permission_block).ucResult, pucWork);
}

int32_t BuildSetSerialNo(uint8_t* pucWork, uint32_t) {
  return ResultOnly(BlockOf(usb_comm_get_set_serial_block).ucResult, pucWork);
}

int32_t BuildGetParameter(uint8_t* pucWork, uint32_t ulRoom) {
  const GetParameterBlock& b = BlockOf(usb_comm_get_get_parameter_block);
  const int32_t lValue = b.ucResult == 0 ? static_cast<int32_t>(b.ulValue) : 0;
  return WithResult(b.ucResult, protocol::GetParameterReply{lValue}, pucWork, ulRoom);
}

int32_t BuildSetParameter(uint8_t* pucWork, uint32_t) {
  return ResultOnly(BlockOf(usb_comm_get_set_parameter_block).ucResult, pucWork);
}

int32_t BuildSetLaminateString(uint8_t* pucWork, uint32_t) {
  return ResultOnly(BlockOf(usb_comm_get_laminate_string_block).ucResult, pucWork);
}

int32_t BuildSetCutList(uint8_t* pucWork, uint32_t) {
  return ResultOnly(BlockOf(usb_comm_get_cut_list_block).ucResult, pucWork);
}

int32_t BuildReadHeadEeprom(uint8_t* pucWork, uint32_t ulRoom) {
  const HeadEepromBlock& b = BlockOf(usb_comm_get_head_eeprom_block);
  return WithResult(b.ucResult, protocol::ReadHeadEepromReply{b.ucValue}, pucWork, ulRoom);
}

int32_t BuildSetupPrintJob(uint8_t* pucWork, uint32_t ulRoom) {
  const SetupPrintJobBlock& b = BlockOf(usb_comm_get_setup_print_job_block);
  protocol::SetupPrintJobReply reply{};
  if (b.ucResult == 0) {
    reply.jobId = b.ucJobId;
    std::memcpy(reply.assignment, b.aucAssignment, sizeof reply.assignment);
  }
  return WithResult(b.ucResult, reply, pucWork, ulRoom);
}

int32_t BuildGetJobStatus(uint8_t* pucWork, uint32_t ulRoom) {
  const JobStatusBlock& b = BlockOf(usb_comm_get_job_status_block);
  protocol::JobStatusReply reply{};
  reply.jobId = b.ucJobId;
  if (b.ucResult == 0) {
    reply.copies = b.usCopies;
    reply.receiveState = b.ucSlotMask;
    reply.cutCount = b.ucCutCount;
    std::memcpy(reply.cutPositions, b.ausCutPositions, sizeof reply.cutPositions);
    reply.firstUnitSelection = b.ucFirstUnitSelection;
    reply.printMode = b.ucPrintMode;
  }
  return WithResult(b.ucResult, reply, pucWork, ulRoom);
}

int32_t BuildGetPrinterIdStatus(uint8_t* pucWork, uint32_t ulRoom) {
  const PrinterIdStatusBlock& b = BlockOf(usb_comm_get_printer_id_status_block);
  const protocol::PrinterIdStatusReply reply{b.ucJobId, b.usCopiesLeft, b.usCopiesPrinted, b.usCopies, b.usPrintPhase};
  return WithResult(b.ucResult, reply, pucWork, ulRoom);
}

int32_t BuildGetCounters(uint8_t* pucWork, uint32_t ulRoom) {
  const protocol::CountersReply reply{GetStatusItem(SI_COUNTER_CUT),           GetStatusItem(SI_COUNTER_CAROUSEL),
                                      GetStatusItem(SI_COUNTER_HEAD_LENGTH_L), GetStatusItem(SI_COUNTER_HEAD_LENGTH_R),
                                      GetStatusItem(SI_COUNTER_HEAD_PRINTS_L), GetStatusItem(SI_COUNTER_HEAD_PRINTS_R)};
  return WithResult(BlockOf(usb_comm_get_counters_block).ucResult, reply, pucWork, ulRoom);
}

int32_t BuildGetExitTrayStatus(uint8_t* pucWork, uint32_t ulRoom) {
  const ExitTrayStatusBlock& b = BlockOf(usb_comm_get_exit_tray_status_block);
  return WithResult(b.ucResult, protocol::ExitTrayStatusReply{b.ucTrayState}, pucWork, ulRoom);
}

int32_t BuildGetBufferStatus(uint8_t* pucWork, uint32_t ulRoom) {
  const BufferStatusBlock& b = BlockOf(usb_comm_get_buffer_status_block);
  protocol::BufferStatusReply reply{};
  for (uint32_t i = 0; i < BUFFER_STATUS_ENTRIES; ++i) {
    reply.entries[i] = protocol::BufferStatusEntry{b.aucEntries[i][0], b.aucEntries[i][1], b.aucEntries[i][2]};
  }
  return WithResult(b.ucResult, reply, pucWork, ulRoom);
}

// {result, count m, m bytes}: the handler's reply, or m = 0 for a request
// refused before its handler ran.
int32_t BuildUniversal(uint8_t* pucWork, uint32_t ulRoom) {
  const UniversalBlock& b = BlockOf(usb_comm_get_universal_block);
  protocol::UniversalReply reply{};
  if (b.ucResult == 0) {
    reply.length = b.ucReplyLength > protocol::UNIVERSAL_REPLY_DATA_MAX ? protocol::UNIVERSAL_REPLY_DATA_MAX
                                                                        : b.ucReplyLength;
    std::memcpy(reply.data, b.aucReply, reply.length);
  }
  return WithResult(b.ucResult, reply, pucWork, ulRoom);
}

using ReplyBuilder = int32_t (*)(uint8_t* pucWork, uint32_t ulRoom);

struct BuilderRoute {
  uint16_t usCode;
  ReplyBuilder pfnBuild;
};

constexpr BuilderRoute kBuilders[] = {
    {APPMSG_PRINT, BuildPrint},
    {APPMSG_CANCEL_PRINT_JOB, BuildCancelPrintJob},
    {APPMSG_FLASH_LED, BuildFlashLed},
    {APPMSG_RESET, BuildReset},
    {APPMSG_READ_TONE_CURVE, BuildReadToneCurve},
    {APPMSG_OPERATION_BUTTON, BuildOperationButton},
    {APPMSG_SELF_DIAGNOSIS, BuildSelfDiagnosis},
    {APPMSG_GET_DIAGNOSIS_RESULT, BuildDiagnosisResult},
    {APPMSG_GET_FIRMWARE_INFO, BuildFirmwareInfo},
    {APPMSG_UPDATE, BuildUpdate},
    {APPMSG_GET_EEPROM_MAINTENANCE, BuildGetEepromMaintenance},
    {APPMSG_SET_EEPROM_MAINTENANCE, BuildSetEepromMaintenance},
    {APPMSG_JOB_IMAGE_CONTROL, BuildJobImageControl},
    {APPMSG_GET_ERROR_LOG, BuildErrorLog},
    {APPMSG_RESET_ERROR_LOG, BuildResetErrorLog},
    {APPMSG_MAINTENANCE_PERMISSION, BuildMaintenancePermission},
    {APPMSG_SET_SERIAL_NO, BuildSetSerialNo},
    {APPMSG_GET_PARAMETER, BuildGetParameter},
    {APPMSG_SET_PARAMETER, BuildSetParameter},
    {APPMSG_SET_LAMINATE_STRING, BuildSetLaminateString},
    {APPMSG_SET_CUT_LIST, BuildSetCutList},
    {APPMSG_READ_HEAD_EEPROM, BuildReadHeadEeprom},
    {APPMSG_SETUP_PRINT_JOB, BuildSetupPrintJob},
    {APPMSG_GET_JOB_STATUS, BuildGetJobStatus},
    {APPMSG_GET_PRINTER_ID_STATUS, BuildGetPrinterIdStatus},
    {APPMSG_GET_COUNTERS, BuildGetCounters},
    {APPMSG_GET_EXIT_TRAY_STATUS, BuildGetExitTrayStatus},
    {APPMSG_GET_BUFFER_STATUS, BuildGetBufferStatus},
    {APPMSG_UNIVERSAL, BuildUniversal},
    {APPMSG_NOTIFY_STATUS, BuildStatusRecord},
    {APPMSG_NOTIFY_MEDIA, BuildMediaRecord},
};

}  // namespace

int32_t BuildReplyPayload(uint16_t usCode, uint8_t* pucWork, uint32_t ulRoom) {
  for (const BuilderRoute& route : kBuilders) {
    if (route.usCode == usCode) return route.pfnBuild(pucWork, ulRoom);
  }
  return -1;
}
