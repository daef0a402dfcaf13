#include "firmware/control/imprint_text.h"

#include <cstring>

#include "firmware/devices/serial_number.h"

// Every item a job may copy exists: 12, as many as the laminate text items.
uint8_t g_ImprintTextItems[IMPRINT_TEXT_ITEMS][IMPRINT_TEXT_ITEM_BYTES];

namespace {

struct ImprintText {
  uint32_t ulItem;
  uint16_t usX;
  uint16_t usY;
  uint8_t ucOrientation;
  uint8_t ucAlignment;
  // Null: the serial number.
  const char* pszText;
};

constexpr ImprintText kImprintTexts[] = {
    {0, 132, 100, 1, 1, "BRENTAL ORVIK"},
    {1, 2332, 100, 1, 2, "M7300 PHOTO PRINTER"},
    {3, 2332, 2860, 1, 2, nullptr},
};

void PutItem(const ImprintText& t, const char* pcText, uint32_t ulLength) {
  uint8_t* pucItem = g_ImprintTextItems[t.ulItem];
  pucItem[IMPRINT_TEXT_OFFSET_X] = static_cast<uint8_t>(t.usX & 0xFFu);
  pucItem[IMPRINT_TEXT_OFFSET_X + 1] = static_cast<uint8_t>(t.usX >> 8);
  pucItem[IMPRINT_TEXT_OFFSET_Y] = static_cast<uint8_t>(t.usY & 0xFFu);
  pucItem[IMPRINT_TEXT_OFFSET_Y + 1] = static_cast<uint8_t>(t.usY >> 8);
  pucItem[IMPRINT_TEXT_OFFSET_ORIENTATION] = t.ucOrientation;
  pucItem[IMPRINT_TEXT_OFFSET_ALIGNMENT] = t.ucAlignment;
  pucItem[IMPRINT_TEXT_OFFSET_LENGTH] = static_cast<uint8_t>(ulLength);
  std::memcpy(pucItem + IMPRINT_TEXT_OFFSET_TEXT, pcText, ulLength);
}

}  // namespace

void InitImprintTextItems() {
  std::memset(g_ImprintTextItems, 0, sizeof(g_ImprintTextItems));
  char acSerial[SERIAL_NO_LENGTH];
  GetSerialNumber(acSerial);
  for (const ImprintText& t : kImprintTexts) {
    if (t.pszText == nullptr) {
      PutItem(t, acSerial, SERIAL_NO_LENGTH);
    } else {
      PutItem(t, t.pszText, static_cast<uint32_t>(std::strlen(t.pszText)));
    }
  }
}
