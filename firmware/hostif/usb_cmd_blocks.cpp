#include "firmware/hostif/usb_cmd_blocks.h"

#include "protocol/wire.h"

uint32_t g_ulCmdEvents;

namespace {
SetupPrintJobBlock s_SetupPrintJobBlock;
JobStatusBlock s_JobStatusBlock;
MediaInfoBlock s_MediaInfoBlock;
PrintBlock s_PrintBlock;
ResetBlock s_ResetBlock;
CancelJobBlock s_CancelJobBlock;
PrinterIdStatusBlock s_PrinterIdStatusBlock;
CountersBlock s_CountersBlock;
ExitTrayStatusBlock s_ExitTrayStatusBlock;
BufferStatusBlock s_BufferStatusBlock;
ReadToneCurveBlock s_ReadToneCurveBlock;
OperationButtonBlock s_OperationButtonBlock;
SelfDiagnosisBlock s_SelfDiagnosisBlock;
FirmwareInfoReqBlock s_FirmwareInfoReqBlock;
UpdateBlock s_UpdateBlock;
SetEepromMaintBlock s_SetEepromMaintBlock;
GetEepromMaintBlock s_GetEepromMaintBlock;
JobImageControlBlock s_JobImageControlBlock;
ResetErrorLogBlock s_ResetErrorLogBlock;
MaintPermissionBlock s_MaintPermissionBlock;
SetSerialBlock s_SetSerialBlock;
GetParameterBlock s_GetParameterBlock;
SetParameterBlock s_SetParameterBlock;
FlashLedBlock s_FlashLedBlock;
LaminateStringBlock s_LaminateStringBlock;
CutListBlock s_CutListBlock;
HeadEepromBlock s_HeadEepromBlock;
UniversalBlock s_UniversalBlock;
}  // namespace

int32_t usb_comm_set_event(uint32_t ulMask) {
  if ((g_ulCmdEvents & ulMask) != 0) return -1;
  g_ulCmdEvents |= ulMask;
  return 0;
}

int32_t usb_comm_clear_event(uint32_t ulMask) {
  g_ulCmdEvents &= ~ulMask;
  return 0;
}

int32_t usb_comm_test_event(uint32_t ulMask) { return (g_ulCmdEvents & ulMask) != 0 ? -1 : 0; }

int32_t usb_comm_clear_events() {
  g_ulCmdEvents = 0;
  return 0;
}

void usb_comm_get_setup_print_job_block(SetupPrintJobBlock** ppBlock) { *ppBlock = &s_SetupPrintJobBlock; }
void usb_comm_get_job_status_block(JobStatusBlock** ppBlock) { *ppBlock = &s_JobStatusBlock; }
void usb_comm_get_media_info_block(MediaInfoBlock** ppBlock) { *ppBlock = &s_MediaInfoBlock; }
void usb_comm_get_print_block(PrintBlock** ppBlock) { *ppBlock = &s_PrintBlock; }
void usb_comm_get_reset_block(ResetBlock** ppBlock) { *ppBlock = &s_ResetBlock; }
void usb_comm_get_cancel_job_block(CancelJobBlock** ppBlock) { *ppBlock = &s_CancelJobBlock; }
void usb_comm_get_printer_id_status_block(PrinterIdStatusBlock** ppBlock) { *ppBlock = &s_PrinterIdStatusBlock; }
void usb_comm_get_counters_block(CountersBlock** ppBlock) { *ppBlock = &s_CountersBlock; }
void usb_comm_get_exit_tray_status_block(ExitTrayStatusBlock** ppBlock) { *ppBlock = &s_ExitTrayStatusBlock; }
void usb_comm_get_buffer_status_block(BufferStatusBlock** ppBlock) { *ppBlock = &s_BufferStatusBlock; }
void usb_comm_get_read_tone_curve_block(ReadToneCurveBlock** ppBlock) { *ppBlock = &s_ReadToneCurveBlock; }
void usb_comm_get_operation_button_block(OperationButtonBlock** ppBlock) { *ppBlock = &s_OperationButtonBlock; }
void usb_comm_get_self_diagnosis_block(SelfDiagnosisBlock** ppBlock) { *ppBlock = &s_SelfDiagnosisBlock; }
void usb_comm_get_firmware_info_req_block(FirmwareInfoReqBlock** ppBlock) { *ppBlock = &s_FirmwareInfoReqBlock; }
void usb_comm_get_update_block(UpdateBlock** ppBlock) { *ppBlock = &s_UpdateBlock; }
void usb_comm_get_set_eeprom_maint_block(SetEepromMaintBlock** ppBlock) { *ppBlock = &s_SetEepromMaintBlock; }
void usb_comm_get_get_eeprom_maint_block(GetEepromMaintBlock** ppBlock) { *ppBlock = &s_GetEepromMaintBlock; }
void usb_comm_get_job_image_control_block(JobImageControlBlock** ppBlock) { *ppBlock = &s_JobImageControlBlock; }
void usb_comm_get_reset_error_log_block(ResetErrorLogBlock** ppBlock) { *ppBlock = &s_ResetErrorLogBlock; }
void usb_comm_get_maint_permission_block(MaintPermissionBlock** ppBlock) { *ppBlock = &s_MaintPermissionBlock; }
void usb_comm_get_set_serial_block(SetSerialBlock** ppBlock) { *ppBlock = &s_SetSerialBlock; }
void usb_comm_get_get_parameter_block(GetParameterBlock** ppBlock) { *ppBlock = &s_GetParameterBlock; }
void usb_comm_get_set_parameter_block(SetParameterBlock** ppBlock) { *ppBlock = &s_SetParameterBlock; }
void usb_comm_get_flash_led_block(FlashLedBlock** ppBlock) { *ppBlock = &s_FlashLedBlock; }
void usb_comm_get_laminate_string_block(LaminateStringBlock** ppBlock) { *ppBlock = &s_LaminateStringBlock; }
void usb_comm_get_cut_list_block(CutListBlock** ppBlock) { *ppBlock = &s_CutListBlock; }
void usb_comm_get_head_eeprom_block(HeadEepromBlock** ppBlock) { *ppBlock = &s_HeadEepromBlock; }
void usb_comm_get_universal_block(UniversalBlock** ppBlock) { *ppBlock = &s_UniversalBlock; }

void usb_comm_put_u16(uint8_t* pucDest, uint16_t usValue) { protocol::PutU16(pucDest, usValue); }
void usb_comm_put_u32(uint8_t* pucDest, uint32_t ulValue) { protocol::PutU32(pucDest, ulValue); }
