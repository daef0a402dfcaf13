// The TABLE image store in flash (0x60600000): the start-up's check of the
// image and the lookups of its banks and tables.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

constexpr PhysAddr TABLE_IMAGE_FLASH = 0x60600000u;

// Start-up, before any lookup: 0 valid, -1 wrong format word, -2 checksum,
// -3 size.
int32_t InitTableData();
// 0 with the bank selected, or -1 and the bank kept.
int32_t SelectTableBank(uint32_t ulBank);
// 0 with the flash address of table `id` in the selected bank, or a
// negative value (the address untouched).
int32_t GetTableAddress(uint32_t ulId, PhysAddr* pulAddress);
