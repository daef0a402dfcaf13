#include "firmware/devices/flash_write_buffer.h"

constinit uint8_t g_FlashWriteBuf[FLASH_WRITE_BUF_BYTES] = {};
