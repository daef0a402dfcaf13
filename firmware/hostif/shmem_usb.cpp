#include "firmware/hostif/shmem_usb.h"

#include <cstring>

#include "firmware/hal/kernel.h"
#include "firmware/platform/sftprn.h"

ShMemUsbBox g_ShMemUsbToUsb;
ShMemUsbBox g_ShMemUsbToApp;

namespace {

ShMemUsbBox* BoxOf(uint32_t ulBox) {
  if (ulBox == SHMEM_BOX_TO_USB) return &g_ShMemUsbToUsb;
  if (ulBox == SHMEM_BOX_TO_APP) return &g_ShMemUsbToApp;
  return nullptr;
}

uint16_t PayloadWords(uint16_t usLength) { return static_cast<uint16_t>((usLength + 1u) / 2u); }

}  // namespace

int32_t ReadShMemUsb(uint32_t ulBox, uint32_t ulIndex, uint16_t* pusValue) {
  ShMemUsbBox* pBox = BoxOf(ulBox);
  if (pBox == nullptr || ulIndex >= SHMEM_BOX_WORDS || pusValue == nullptr) return -1;
  wai_sem(SHMEM_SEM);
  *pusValue = pBox->ausWord[ulIndex];
  sig_sem(SHMEM_SEM);
  return 0;
}

int32_t WriteShMemUsb(uint32_t ulBox, uint32_t ulIndex, uint16_t usValue) {
  ShMemUsbBox* pBox = BoxOf(ulBox);
  if (pBox == nullptr || ulIndex >= SHMEM_BOX_WORDS) return -1;
  wai_sem(SHMEM_SEM);
  pBox->ausWord[ulIndex] = usValue;
  sig_sem(SHMEM_SEM);
  return 0;
}

int32_t InitShMemUsb() {
  std::memset(&g_ShMemUsbToUsb, 0, sizeof g_ShMemUsbToUsb);
  std::memset(&g_ShMemUsbToApp, 0, sizeof g_ShMemUsbToApp);
  return 0;
}

int32_t ShMemPutMessage(uint32_t ulBox, uint16_t usCode, uint8_t ucTag, const uint8_t* pucPayload,
                        uint16_t usLength) {
  if (usLength > SHMEM_PAYLOAD_MAX) usLength = SHMEM_PAYLOAD_MAX;
  if (WriteShMemUsb(ulBox, SHMEM_WORD_LENGTH, usLength) != 0) return -1;
  if (WriteShMemUsb(ulBox, SHMEM_WORD_CODE, usCode) != 0) return -1;
  for (uint16_t i = 0; i < PayloadWords(usLength); ++i) {
    const uint32_t ulLow = 2u * i;
    const uint16_t usWord = static_cast<uint16_t>(
        pucPayload[ulLow] | (ulLow + 1u < usLength ? pucPayload[ulLow + 1u] << 8 : 0));
    if (WriteShMemUsb(ulBox, SHMEM_WORD_PAYLOAD + i, usWord) != 0) return -1;
  }
  // Last: from here on the receiver may read the box.
  return WriteShMemUsb(ulBox, SHMEM_WORD_STATE, ShMemFullWord(ucTag));
}

int32_t ShMemTakeMessage(uint32_t ulBox, uint8_t ucTag, ShMemMessage* pMessage) {
  uint16_t usCode = 0;
  uint16_t usLength = 0;
  if (ReadShMemUsb(ulBox, SHMEM_WORD_CODE, &usCode) != 0) return -1;
  if (ReadShMemUsb(ulBox, SHMEM_WORD_LENGTH, &usLength) != 0) return -1;
  if (usLength > SHMEM_PAYLOAD_MAX) usLength = SHMEM_PAYLOAD_MAX;
  pMessage->usCode = usCode;
  pMessage->usLength = usLength;
  pMessage->ucTag = ucTag;
  // Bytes behind the length read as 0, never as what an earlier message left.
  std::memset(pMessage->aucPayload, 0, sizeof pMessage->aucPayload);
  for (uint16_t i = 0; i < PayloadWords(usLength); ++i) {
    uint16_t usWord = 0;
    if (ReadShMemUsb(ulBox, SHMEM_WORD_PAYLOAD + i, &usWord) != 0) return -1;
    const uint32_t ulLow = 2u * i;
    pMessage->aucPayload[ulLow] = static_cast<uint8_t>(usWord & 0xFFu);
    if (ulLow + 1u < usLength) pMessage->aucPayload[ulLow + 1u] = static_cast<uint8_t>(usWord >> 8);
  }
  // Last: from here on the sender may fill the box again.
  return WriteShMemUsb(ulBox, SHMEM_WORD_STATE, SHMEM_EMPTY);
}
