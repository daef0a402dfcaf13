// The one-sector RAM buffer that the flash-image writers assemble what they
// program in. Each writer uses it only inside one write, and only the
// application task writes flash images, so one buffer serves them all.
#pragma once

#include <cstdint>

constexpr uint32_t FLASH_WRITE_BUF_BYTES = 0x10000u;

extern uint8_t g_FlashWriteBuf[FLASH_WRITE_BUF_BYTES];
