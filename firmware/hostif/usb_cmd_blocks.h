// The command events and the command blocks of the application's command
// channel. A request parser stores a command's parameters in its block and
// sets its event bit; usb_comm_run_events later runs the event's handler on
// the same block and queues its reply, whose builder reads the block.
// Commands that need no work are answered by their parser at once.
//
// Blocks are static records, one per command, reached through their
// accessors. Unless a block says otherwise its first field is the result: 0,
// or a REPLY_ERR_... code that becomes the reply's error code.
#pragma once

#include <cstdint>

#include "protocol/media.h"

// ---- Command events ----------------------------------------------------------------
enum CmdEvent : uint32_t {
  CMDEV_PRINT = 0x1,
  CMDEV_CANCEL_PRINT_JOB = 0x2,
  CMDEV_FLASH_LED = 0x4,
  CMDEV_RESET = 0x8,
  CMDEV_OPERATION_BUTTON = 0x20,
  CMDEV_SELF_DIAGNOSIS = 0x40,
  CMDEV_UPDATE = 0x100,
  CMDEV_RESET_ERROR_LOG = 0x400,
  CMDEV_SET_SERIAL_NO = 0x2000,
  CMDEV_GET_PARAMETER = 0x4000,
  CMDEV_SET_PARAMETER = 0x8000,
  CMDEV_SET_LAMINATE_STRING = 0x10000,
  CMDEV_SET_CUT_LIST = 0x20000,
  CMDEV_DIAGNOSIS_FOLLOWUP = 0x40000,
  CMDEV_GET_PRINTER_ID_STATUS = 0x80000,
  CMDEV_GET_EXIT_TRAY_STATUS = 0x100000,
  CMDEV_JOB_IMAGE_CONTROL = 0x200000,
  CMDEV_UNIVERSAL = 0x800000,
  CMDEV_PRINT_DATA_RECEIVED = 0x1000000,
  CMDEV_UPDATE_DATA_RECEIVED = 0x2000000,
  CMDEV_SETUP_PRINT_JOB = 0x4000000,
  CMDEV_GET_JOB_STATUS = 0x8000000,
};

// The pending events; the application task's own.
extern uint32_t g_ulCmdEvents;

// Sets the bits: 0, or -1 when any of them is already set (nothing
// changes).
int32_t usb_comm_set_event(uint32_t ulMask);
int32_t usb_comm_clear_event(uint32_t ulMask);
// -1 when any of the bits is set, else 0.
int32_t usb_comm_test_event(uint32_t ulMask);
int32_t usb_comm_clear_events();

// ---- Command blocks ------------------------------------------------------------------
constexpr uint32_t CUT_POSITIONS = 10;

struct SetupPrintJobBlock {
  uint8_t ucResult;
  uint8_t ucJobId;  // filled when the job is created
  uint16_t usCopies;
  uint8_t ucUnitRequest;
  uint8_t ucFinishOptions;  // bits 0-1, 2-3, 4-5
  uint16_t usCutOffset1;
  uint16_t usCutOffset2;
  uint8_t ucCutCount;  // 2-10, or 255 for the default cuts
  uint16_t ausCutPositions[CUT_POSITIONS];  // beyond the count: 0
  uint8_t ucCutMode;  // 1 explicit list, 0 count below 2 or above 10, 2 default cuts
  uint8_t ucFirstUnitSelection;
  uint8_t ucPrintMode;
  uint8_t aucAssignment[3];  // filled when the job is created
};
constexpr uint8_t CUT_MODE_NONE = 0;
constexpr uint8_t CUT_MODE_LIST = 1;
constexpr uint8_t CUT_MODE_DEFAULT = 2;

struct JobStatusBlock {
  uint8_t ucResult;
  uint8_t ucJobId;  // 0 = the job printing next
  uint16_t usCopies;
  uint8_t ucSlotMask;
  uint8_t ucCutCount;
  uint16_t ausCutPositions[CUT_POSITIONS];
  uint8_t ucFirstUnitSelection;
  uint8_t ucPrintMode;
};

// The media record the media configuration sends with every media
// notification.
struct MediaInfoBlock {
  protocol::MediaRecord record;
};

struct PrintBlock {
  uint8_t ucResult;
  uint16_t usImageWidth;
  uint16_t usImageHeight;
  uint16_t usMediaMaxWidth;
  uint16_t usMediaMaxHeight;
  uint16_t usXOffset;  // even
  uint16_t usYOffset;
  uint8_t ucImageType;  // 0 three bytes per pixel, 1 one bit per pixel
  uint8_t ucPrintOptionA;
  uint8_t ucPrintOptionB;
  uint8_t ucSlotIndex;  // filled by the print handler
};

struct ResetBlock {
  uint8_t ucResult;
  uint8_t ucKind;  // RESET_KIND_...
  uint8_t ucArgument;
};

struct CancelJobBlock {
  uint8_t ucResult;
  uint8_t ucMode;   // 0, 1 or 2
  uint8_t ucJobId;  // 0 = every job
};

struct PrinterIdStatusBlock {
  uint8_t ucResult;
  uint8_t ucJobId;  // 0 = the job printing next
  uint16_t usCopiesLeft;
  uint16_t usCopiesPrinted;
  uint16_t usCopies;
  uint16_t usPrintPhase;  // 0, 256 or 512
  uint8_t ucPending;      // 1 set by the parser, 0 once answered
};

struct CountersBlock {
  uint8_t ucResult;  // the reply reads status items 64-69
};

struct ExitTrayStatusBlock {
  uint8_t ucResult;
  uint8_t ucTrayState;  // 0 no tray seen, 1 tray without print, 2 tray with print
  uint8_t ucStep;       // 1 start, 2 waiting, 3 read the sensors, 0 done
  uint32_t ulStartTime;  // ms
};

// Written by the image-buffer pools on every change: entry i for slot i,
// bytes {in use, first tag, second tag, not written}.
constexpr uint32_t BUFFER_STATUS_ENTRIES = 18;
struct BufferStatusBlock {
  uint8_t ucResult;
  uint8_t aucReserved[3];
  uint8_t aucEntries[BUFFER_STATUS_ENTRIES][4];
};

struct ReadToneCurveBlock {
  uint8_t ucResult;
  uint8_t ucKind;   // 1-2
  uint8_t ucCurve;  // 1-8
  uint16_t usSize;  // 1536
};

struct OperationButtonBlock {
  uint8_t ucResult;
  uint8_t ucValue;  // key enable
};

struct SelfDiagnosisBlock {
  uint8_t ucResult;
  uint8_t ucSubCommand;
  uint8_t ucDeviceId;
  uint8_t ucAction;
  uint8_t ucValue;  // measured
};

struct FirmwareInfoReqBlock {
  uint8_t ucResult;
  uint8_t ucComponent;  // FW_COMPONENT_... 1-4
};

struct UpdateBlock {
  uint8_t ucResult;
  uint8_t ucKind;  // UPDATE_KIND_...
  uint8_t ucArgument;
  uint8_t ucNoReset;
  uint8_t aucReserved[3];
  uint32_t ulDataSize;
};

constexpr uint32_t EEPROM_MAINT_DATA = 248;
struct SetEepromMaintBlock {
  uint8_t ucResult;  // always REPLY_ERR_REFUSED
  uint8_t aucRequest[2];
  uint8_t aucData[EEPROM_MAINT_DATA];
};

struct GetEepromMaintBlock {
  uint8_t ucResult;
  uint8_t aucRequest[2];
};

struct JobImageControlBlock {
  uint8_t ucResult;
  uint8_t ucControl;  // 1 placeholder for the missing image, else one unit only
};

struct ResetErrorLogBlock {
  uint8_t ucResult;
};

struct MaintPermissionBlock {
  uint8_t ucResult;  // always REPLY_ERR_REFUSED
  uint8_t aucRequest[2];
};

struct SetSerialBlock {
  uint8_t ucResult;
  char acSerial[8];
};

struct GetParameterBlock {
  uint8_t ucResult;
  uint8_t ucParameterId;
  uint32_t ulValue;
};

struct SetParameterBlock {
  uint8_t ucResult;
  uint8_t ucParameterId;
  int32_t lValue;
};

struct FlashLedBlock {
  uint8_t ucResult;
};

constexpr uint32_t LAMINATE_TEXT = 20;
struct LaminateStringBlock {
  uint8_t ucResult;
  uint8_t ucItemNumber;  // 1-12
  uint16_t usX;
  uint16_t usY;
  uint8_t ucStyle1;
  uint8_t ucStyle2;
  uint8_t ucTextLength;  // at most 20
  char acText[LAMINATE_TEXT];
};

struct CutListBlock {
  uint8_t ucResult;
  uint16_t ausCutPositions[4];
};

struct HeadEepromBlock {
  uint8_t ucResult;
  uint8_t ucUnit;  // 1 left, 2 right
  uint8_t ucAddress;
  uint8_t ucValue;  // the byte read
};

// The universal command: its request {length n, n bytes, sub-code first}
// and the handler's reply {sub-code echo, result, data} of ucReplyLength
// bytes from byte 252 on. ucResult is REPLY_ERR_BAD_PARAMETER for a request
// that was refused before its handler ran.
constexpr uint32_t UNIVERSAL_DATA = 250;
struct UniversalBlock {
  uint8_t ucRequestLength;
  uint8_t ucReplyLength;
  uint8_t aucRequest[UNIVERSAL_DATA];
  uint8_t aucReply[UNIVERSAL_DATA];
  uint8_t ucResult;
};

void usb_comm_get_setup_print_job_block(SetupPrintJobBlock** ppBlock);
void usb_comm_get_job_status_block(JobStatusBlock** ppBlock);
void usb_comm_get_media_info_block(MediaInfoBlock** ppBlock);
void usb_comm_get_print_block(PrintBlock** ppBlock);
void usb_comm_get_reset_block(ResetBlock** ppBlock);
void usb_comm_get_cancel_job_block(CancelJobBlock** ppBlock);
void usb_comm_get_printer_id_status_block(PrinterIdStatusBlock** ppBlock);
void usb_comm_get_counters_block(CountersBlock** ppBlock);
void usb_comm_get_exit_tray_status_block(ExitTrayStatusBlock** ppBlock);
void usb_comm_get_buffer_status_block(BufferStatusBlock** ppBlock);
void usb_comm_get_read_tone_curve_block(ReadToneCurveBlock** ppBlock);
void usb_comm_get_operation_button_block(OperationButtonBlock** ppBlock);
void usb_comm_get_self_diagnosis_block(SelfDiagnosisBlock** ppBlock);
void usb_comm_get_firmware_info_req_block(FirmwareInfoReqBlock** ppBlock);
void usb_comm_get_update_block(UpdateBlock** ppBlock);
void usb_comm_get_set_eeprom_maint_block(SetEepromMaintBlock** ppBlock);
void usb_comm_get_get_eeprom_maint_block(GetEepromMaintBlock** ppBlock);
void usb_comm_get_job_image_control_block(JobImageControlBlock** ppBlock);
void usb_comm_get_reset_error_log_block(ResetErrorLogBlock** ppBlock);
void usb_comm_get_maint_permission_block(MaintPermissionBlock** ppBlock);
void usb_comm_get_set_serial_block(SetSerialBlock** ppBlock);
void usb_comm_get_get_parameter_block(GetParameterBlock** ppBlock);
void usb_comm_get_set_parameter_block(SetParameterBlock** ppBlock);
void usb_comm_get_flash_led_block(FlashLedBlock** ppBlock);
void usb_comm_get_laminate_string_block(LaminateStringBlock** ppBlock);
void usb_comm_get_cut_list_block(CutListBlock** ppBlock);
void usb_comm_get_head_eeprom_block(HeadEepromBlock** ppBlock);
void usb_comm_get_universal_block(UniversalBlock** ppBlock);

// Little-endian stores for the reply builders.
void usb_comm_put_u16(uint8_t* pucDest, uint16_t usValue);
void usb_comm_put_u32(uint8_t* pucDest, uint32_t ulValue);
