// The two test-print pickers: one page each, run by the launchers. The
// title handler preselects the item of the stored value, Enter stores the
// item's value, confirms and ends the picker.
#include "firmware/service/test_prints.h"

constinit uint16_t g_usTestPrintConfirm = 0;
constinit uint16_t g_usTestPrintCount = 1;
constinit uint16_t g_usTestGrayLevel = 0;

const uint16_t g_ausPrintNumbers[PRINT_NUMBER_ITEMS] = {
    1,  2,  3,  4,  5,  6,  7,   8,   9,   10,  11,  12,  13,  14,  15,  16,  17,  18,  19,  20,  25,
    30, 35, 40, 45, 50, 75, 100, 125, 150, 175, 200, 225, 250, 275, 300, 400, 500, 600, 700, 750,
};
const uint16_t g_ausGrayLevels[GRAY_LEVEL_ITEMS] = {0, 32, 64, 96, 128, 160, 192, 224, 255};

namespace {

constexpr uint32_t kGrayDefaultItem = 5;  // 128

const char* const kPrintNumberLabels[] = {
    nullptr,
    "Print Number  :1", "Print Number  :2", "Print Number  :3", "Print Number  :4", "Print Number  :5",
    "Print Number  :6", "Print Number  :7", "Print Number  :8", "Print Number  :9", "Print Number :10",
    "Print Number :11", "Print Number :12", "Print Number :13", "Print Number :14", "Print Number :15",
    "Print Number :16", "Print Number :17", "Print Number :18", "Print Number :19", "Print Number :20",
    "Print Number :25", "Print Number :30", "Print Number :35", "Print Number :40", "Print Number :45",
    "Print Number :50", "Print Number :75", "Print Number:100", "Print Number:125", "Print Number:150",
    "Print Number:175", "Print Number:200", "Print Number:225", "Print Number:250", "Print Number:275",
    "Print Number:300", "Print Number:400", "Print Number:500", "Print Number:600", "Print Number:700",
    "Print Number:750", nullptr,
};
constexpr MenuHandler P = PrintNumberItem;
const MenuHandler kPrintNumberHandlers[] = {
    PrintNumberTitle, P, P, P, P, P, P, P, P, P, P, P, P, P, P, P, P, P, P, P, P, P,
    P, P, P, P, P, P, P, P, P, P, P, P, P, P, P, P, P, P, P, P,
};
static_assert(sizeof kPrintNumberLabels / sizeof kPrintNumberLabels[0] == PRINT_NUMBER_ITEMS + 2);
static_assert(sizeof kPrintNumberHandlers / sizeof kPrintNumberHandlers[0] == PRINT_NUMBER_ITEMS + 1);

const char* const kGrayLevelLabels[] = {
    nullptr,           "Gray Level    :0", "Gray Level   :32", "Gray Level   :64", "Gray Level   :96",
    "Gray Level  :128", "Gray Level  :160", "Gray Level  :192", "Gray Level  :224", "Gray Level  :255",
    nullptr,
};
constexpr MenuHandler G = GrayLevelItem;
const MenuHandler kGrayLevelHandlers[] = {GrayLevelTitle, G, G, G, G, G, G, G, G, G};
static_assert(sizeof kGrayLevelLabels / sizeof kGrayLevelLabels[0] == GRAY_LEVEL_ITEMS + 2);

const MenuDesc kPrintNumberMenu = {kPrintNumberLabels, kPrintNumberHandlers};
const MenuDesc kGrayLevelMenu = {kGrayLevelLabels, kGrayLevelHandlers};

}  // namespace

const MenuDesc* const g_apPrintNumberPages[] = {&kPrintNumberMenu, nullptr};
const MenuDesc* const g_apGrayLevelPages[] = {&kGrayLevelMenu, nullptr};

void PrintNumberTitle() {
  uint32_t ulItem = PRINT_NUMBER_ITEMS;
  for (uint32_t i = 0; i < PRINT_NUMBER_ITEMS; ++i) {
    if (g_ausPrintNumbers[i] >= g_usTestPrintCount) {
      ulItem = i + 1;
      break;
    }
  }
  SetMenuSelection(ulItem);
}

void PrintNumberItem() {
  uint32_t ulItem = GetMenuSelection();
  if (ulItem < 1) ulItem = 1;
  if (ulItem > PRINT_NUMBER_ITEMS) ulItem = PRINT_NUMBER_ITEMS;
  g_usTestPrintConfirm = 1;
  g_usTestPrintCount = g_ausPrintNumbers[ulItem - 1];
  SetMenuAbort(1);
}

void GrayLevelTitle() {
  uint32_t ulItem = kGrayDefaultItem;
  for (uint32_t i = 0; i < GRAY_LEVEL_ITEMS; ++i) {
    if (g_ausGrayLevels[i] == g_usTestGrayLevel) ulItem = i + 1;
  }
  SetMenuSelection(ulItem);
}

void GrayLevelItem() {
  const uint32_t ulItem = GetMenuSelection();
  SetMenuAbort(1);
  g_usTestPrintConfirm = 1;
  g_usTestGrayLevel = ulItem >= 1 && ulItem <= GRAY_LEVEL_ITEMS ? g_ausGrayLevels[ulItem - 1] : 128;
}
