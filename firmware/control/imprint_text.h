// The printer's imprint texts for internal prints: 12 text items in the
// layout of the host's laminate text items, which the job queue copies
// into an internal image.
#pragma once

#include <cstdint>

// One item, 28 bytes: x and y (unsigned 16-bit, low byte first),
// orientation, alignment, text length, then up to 21 text bytes (not
// terminated).
constexpr uint32_t IMPRINT_TEXT_ITEM_BYTES = 28;
constexpr uint32_t IMPRINT_TEXT_ITEMS = 12;
constexpr uint32_t IMPRINT_TEXT_MAX_CHARS = 21;
constexpr uint32_t IMPRINT_TEXT_OFFSET_X = 0;
constexpr uint32_t IMPRINT_TEXT_OFFSET_Y = 2;
constexpr uint32_t IMPRINT_TEXT_OFFSET_ORIENTATION = 4;
constexpr uint32_t IMPRINT_TEXT_OFFSET_ALIGNMENT = 5;
constexpr uint32_t IMPRINT_TEXT_OFFSET_LENGTH = 6;
constexpr uint32_t IMPRINT_TEXT_OFFSET_TEXT = 7;

extern uint8_t g_ImprintTextItems[IMPRINT_TEXT_ITEMS][IMPRINT_TEXT_ITEM_BYTES];

// Zeroes every item, then fills the maker's name (item 0), the model
// (item 1) and the serial number g_szSerialNo (item 3).
void InitImprintTextItems();
