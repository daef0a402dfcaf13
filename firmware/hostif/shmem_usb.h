// The ShMemUsb mailbox: the only channel between the USB task and the
// application. Two boxes of 128 16-bit words, one per direction; every word
// is read or written on its own under SHMEM_SEM, so no lock is ever held
// across words. A box is either empty or full: the sender fills words 1, 2
// and the payload while the box is empty and writes the state word last;
// the receiver reads while it is full and clears the state word last.
//
// Box format:
//   word 0      state: SHMEM_FULL or SHMEM_EMPTY in the low byte, the
//               exchange tag in the high byte (0 = untagged)
//   word 1      payload length in bytes, at most 250
//   word 2      AppMessageCode
//   words 3-127 payload, two bytes per word, the lower-addressed byte in
//               the low half
//
// The tag ties a reply to the request it answers: the USB task gives every
// request a new tag, the application sends its reply with the tag of the
// request it answers, and the USB task takes only a reply carrying the tag
// it waits for. A late reply of an earlier request therefore never answers
// a later one of the same code.
#pragma once

#include <cstdint>

// Box numbers of ReadShMemUsb and WriteShMemUsb.
constexpr uint32_t SHMEM_BOX_TO_USB = 1;  // written by the application: replies, notifications
constexpr uint32_t SHMEM_BOX_TO_APP = 2;  // written by the USB task: requests

constexpr uint32_t SHMEM_BOX_WORDS = 128;
constexpr uint32_t SHMEM_WORD_STATE = 0;
constexpr uint32_t SHMEM_WORD_LENGTH = 1;
constexpr uint32_t SHMEM_WORD_CODE = 2;
constexpr uint32_t SHMEM_WORD_PAYLOAD = 3;
constexpr uint32_t SHMEM_PAYLOAD_MAX = 250;

constexpr uint16_t SHMEM_EMPTY = 0;
constexpr uint16_t SHMEM_FULL = 7;

constexpr uint16_t ShMemFullWord(uint8_t ucTag) { return static_cast<uint16_t>(SHMEM_FULL | (ucTag << 8)); }
constexpr bool ShMemIsFull(uint16_t usState) { return (usState & 0xFFu) == SHMEM_FULL; }
constexpr uint8_t ShMemTagOf(uint16_t usState) { return static_cast<uint8_t>(usState >> 8); }

struct ShMemUsbBox {
  uint16_t ausWord[SHMEM_BOX_WORDS];
};

extern ShMemUsbBox g_ShMemUsbToUsb;  // box 1
extern ShMemUsbBox g_ShMemUsbToApp;  // box 2

// Message codes. A request is APPMSG_REQUEST | n, sent by the USB task for a
// host command; the application answers with reply n. Notifications and
// the tone-curve marker are the application's own.
enum AppMessageCode : uint16_t {
  APPMSG_PRINT = 1,
  APPMSG_STATUS = 2,
  APPMSG_MEDIA_INFO = 3,
  APPMSG_CANCEL_PRINT_JOB = 4,
  APPMSG_FLASH_LED = 5,
  APPMSG_RESET = 6,
  APPMSG_READ_TONE_CURVE = 7,
  APPMSG_OPERATION_BUTTON = 8,
  APPMSG_SELF_DIAGNOSIS = 9,
  APPMSG_GET_DIAGNOSIS_RESULT = 10,
  APPMSG_GET_FIRMWARE_INFO = 11,
  APPMSG_UPDATE = 12,
  APPMSG_GET_EEPROM_MAINTENANCE = 13,
  APPMSG_SET_EEPROM_MAINTENANCE = 14,
  APPMSG_JOB_IMAGE_CONTROL = 15,
  APPMSG_GET_ERROR_LOG = 17,
  APPMSG_RESET_ERROR_LOG = 18,
  APPMSG_MAINTENANCE_PERMISSION = 19,
  APPMSG_GET_SERIAL_NO = 20,
  APPMSG_SET_SERIAL_NO = 21,
  APPMSG_GET_PARAMETER = 22,
  APPMSG_SET_PARAMETER = 23,
  APPMSG_SET_LAMINATE_STRING = 24,
  APPMSG_SET_CUT_LIST = 25,
  APPMSG_26 = 26,
  APPMSG_27 = 27,
  APPMSG_READ_HEAD_EEPROM = 28,
  APPMSG_SETUP_PRINT_JOB = 29,
  APPMSG_GET_JOB_STATUS = 30,
  APPMSG_GET_PRINTER_ID_STATUS = 31,
  APPMSG_GET_COUNTERS = 32,
  APPMSG_GET_EXIT_TRAY_STATUS = 33,
  APPMSG_GET_BUFFER_STATUS = 34,
  APPMSG_UNIVERSAL = 255,
  APPMSG_NOTIFY_STATUS = 0x1002,
  APPMSG_NOTIFY_MEDIA = 0x1003,
  APPMSG_TONE_CURVE_DATA = 0x1007,  // never sent: marks the tone-curve piece sender
  APPMSG_REQUEST = 0x8000,
};

constexpr uint16_t AppRequestCode(uint16_t usReply) { return static_cast<uint16_t>(APPMSG_REQUEST | usReply); }
constexpr bool IsAppRequest(uint16_t usCode) { return (usCode & APPMSG_REQUEST) != 0; }
constexpr uint16_t AppReplyCodeOf(uint16_t usRequest) { return static_cast<uint16_t>(usRequest & 0x7FFFu); }

// One word of a box, under SHMEM_SEM: 0, or -1 for a box other than 1 or 2
// or an index above 127 (nothing read or written, the lock not taken).
int32_t ReadShMemUsb(uint32_t ulBox, uint32_t ulIndex, uint16_t* pusValue);
int32_t WriteShMemUsb(uint32_t ulBox, uint32_t ulIndex, uint16_t usValue);
// Clears both boxes without the lock: start-up only, before either side
// exchanges a message. Returns 0.
int32_t InitShMemUsb();

// A message as one side holds it outside the mailbox.
struct ShMemMessage {
  uint16_t usCode;
  uint16_t usLength;  // at most SHMEM_PAYLOAD_MAX
  uint8_t ucTag;
  uint8_t aucPayload[SHMEM_PAYLOAD_MAX];
};

// Writes a message into an empty box: words 1, 2 and the payload words,
// then the state word. 0, or -1 when a word access failed (the state word
// is then not written and the box stays empty). A length above 250 is cut.
int32_t ShMemPutMessage(uint32_t ulBox, uint16_t usCode, uint8_t ucTag, const uint8_t* pucPayload,
                        uint16_t usLength);
// Reads the message of a full box: code, length (cut to 250), payload
// (zero-filled behind the length); then empties the box. 0, or -1 when a
// word access failed (the box then stays full).
int32_t ShMemTakeMessage(uint32_t ulBox, uint8_t ucTag, ShMemMessage* pMessage);
