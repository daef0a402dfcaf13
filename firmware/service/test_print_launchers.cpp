// The launchers' tables and the hooks particular to some of them.
#include <cstring>

#include "firmware/control/app_startup.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/devices/settings.h"
#include "firmware/printengine/image_buffer.h"
#include "firmware/printengine/print_size.h"
#include "firmware/service/self_print.h"
#include "firmware/service/test_print_road.h"
#include "firmware/service/test_prints.h"

namespace {

constexpr uint16_t kTargetBLevel = 155;

#define OBJECTS(name) {&name##Y, &name##M, &name##C}

// ---- grey level: saved before the pickers, back when its picker is left ------------------

uint16_t s_usSavedGrayLevel;
void SaveGrayLevel() { s_usSavedGrayLevel = g_usTestGrayLevel; }
void RestoreGrayLevel(uint32_t ulPicker) {
  if (ulPicker == 0) g_usTestGrayLevel = s_usSavedGrayLevel;
}
void SetGrayLevels(uint16_t usLevel) {
  g_SelfPrintGrayY.SetLevel(usLevel);
  g_SelfPrintGrayM.SetLevel(usLevel);
  g_SelfPrintGrayC.SetLevel(usLevel);
}
void GrayFromPicker(uint32_t) { SetGrayLevels(g_usTestGrayLevel); }
void GrayTargetB(uint32_t) { SetGrayLevels(kTargetBLevel); }
void RegiFromPicker() {
  g_SelfPrintRegiY.SetLevel(g_usTestGrayLevel);
  g_SelfPrintRegiM.SetLevel(g_usTestGrayLevel);
  g_SelfPrintRegiC.SetLevel(g_usTestGrayLevel);
}

// ---- eight steps: gloss or matte, with or without the imprint texts ---------------------

uint32_t s_ulLevel8Item;
int32_t s_lSavedMatteMode;
void TakeLevel8Item() { s_ulLevel8Item = GetMenuSelection(); }
void SetLevel8Finish(uint32_t) {
  s_lSavedMatteMode = SettingValue(g_ParamMatteMode);
  // Items 1-4: gloss, matte, gloss with texts, matte with texts.
  const uint32_t ulVariant = s_ulLevel8Item >= 1 && s_ulLevel8Item <= 4 ? s_ulLevel8Item - 1 : 0;
  g_ParamMatteMode.SetValue(static_cast<int32_t>(ulVariant & 1u));
  g_ParamImprintText.SetValue(static_cast<int32_t>(ulVariant >> 1));
}
void RestoreLevel8Finish() {
  g_ParamMatteMode.SetValue(s_lSavedMatteMode);
  g_ParamImprintText.SetValue(0);
}

// ---- the stored pattern: on the 8x10 size around the job ----------------------------------

PrintSizeRecord* s_pSavedPrintSize;
void UseAmsPrintSize() {
  s_pSavedPrintSize = g_pPrintSizeTable;
  g_pPrintSizeTable = &g_PrintSize8x10;
}
void RestoreAmsPrintSize() {
  if (s_pSavedPrintSize != nullptr) g_pPrintSizeTable = s_pSavedPrintSize;
  s_pSavedPrintSize = nullptr;
}

// ---- the steps with text, drawn with the image's print unit --------------------------------

void DrawLetter(const TestPrintRoad&, uint32_t ulBuffer, uint32_t ulUnit) {
  g_pSelfPrintY = &g_SelfPrintLevel8LetterY;
  g_pSelfPrintM = &g_SelfPrintLevel8LetterM;
  g_pSelfPrintC = &g_SelfPrintLevel8LetterC;
  g_DrawPartsRectY.SetBase(ulBuffer);
  g_DrawPartsRectM.SetBase(ulBuffer);
  g_DrawPartsRectC.SetBase(ulBuffer);
  g_SelfPrintLevel8LetterY.DrawWithSide(ulUnit);
  g_SelfPrintLevel8LetterM.DrawWithSide(ulUnit);
  g_SelfPrintLevel8LetterC.DrawWithSide(ulUnit);
}

// The user test print: the standard pattern on a mark-sensor ribbon.
void DrawUserTestPrint(const TestPrintRoad& road, uint32_t ulBuffer, uint32_t ulUnit) {
  if (g_ucRibbonControlType != 0) {
    DrawLetter(road, ulBuffer, ulUnit);
    return;
  }
  g_DrawPartsRectY.SetBase(ulBuffer);
  g_DrawPartsRectM.SetBase(ulBuffer);
  g_DrawPartsRectC.SetBase(ulBuffer);
  g_SelfPrintStandardY.Draw();
  g_SelfPrintStandardM.Draw();
  g_SelfPrintStandardC.Draw();
  g_pSelfPrintY = &g_SelfPrintStandardY;
  g_pSelfPrintM = &g_SelfPrintStandardM;
  g_pSelfPrintC = &g_SelfPrintStandardC;
}

// ---- the status sheet: one cleared plane serving all three colours -----------------------

void ClearSheetBuffer(uint32_t ulBuffer) {
  const uint32_t ulBytes = BufSlotBytes(&g_BufSlots3A);
  std::memset(PhysToHost(CImageBuffer::AddressOf(ulBuffer), ulBytes), 0, ulBytes);
}
void DrawSheet(const TestPrintRoad&, uint32_t ulBuffer, uint32_t) {
  g_DrawPartsRectY.SetBase(ulBuffer);
  g_SelfPrintStringY.SetTextBase(g_DrawPartsRectY.GetBase());
  g_SelfPrintStringY.Draw();
  g_pSelfPrintY = g_pSelfPrintM = g_pSelfPrintC = &g_SelfPrintStringY;
}

}  // namespace

// {pickers}, {objects}, images, abort, one copy, abort always, units,
// start, picker left, confirmed, end, image set-up, draw, image done
const TestPrintRoad g_DefaultPatternRoad = {{g_apPrintNumberPages, nullptr}, OBJECTS(g_SelfPrintStandard), 2, 3, false,
                                            false, false, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
const TestPrintRoad g_GrayPatternRoad = {{g_apGrayLevelPages, g_apPrintNumberPages}, OBJECTS(g_SelfPrintGray), 2, 3,
                                         false, false, false, SaveGrayLevel, RestoreGrayLevel, nullptr, nullptr,
                                         GrayFromPicker, nullptr, nullptr};
const TestPrintRoad g_CrossPatternRoad = {{g_apPrintNumberPages, nullptr}, OBJECTS(g_SelfPrintCross), 2, 3, false,
                                          false, false, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
const TestPrintRoad g_Level8PatternRoad = {{g_apPrintNumberPages, nullptr}, OBJECTS(g_SelfPrintLevel8), 2, 3, false,
                                           false, false, TakeLevel8Item, nullptr, nullptr, nullptr, SetLevel8Finish,
                                           nullptr, RestoreLevel8Finish};
const TestPrintRoad g_Level8LetterRoad = {{g_apPrintNumberPages, nullptr}, OBJECTS(g_SelfPrintLevel8Letter), 2, 3,
                                          false, false, true, nullptr, nullptr, nullptr, nullptr, nullptr, DrawLetter,
                                          nullptr};
const TestPrintRoad g_RegiPatternRoad = {{g_apGrayLevelPages, g_apPrintNumberPages}, OBJECTS(g_SelfPrintRegi), 2, 3,
                                         false, false, false, SaveGrayLevel, RestoreGrayLevel, RegiFromPicker, nullptr,
                                         nullptr, nullptr, nullptr};
const TestPrintRoad g_HPatternRoad = {{g_apPrintNumberPages, nullptr}, OBJECTS(g_SelfPrintHPatern), 2, 3, false,
                                      false, false, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
const TestPrintRoad g_AmsPatternRoad = {{g_apPrintNumberPages, nullptr}, OBJECTS(g_SelfPrintAMS), 2, 3, false,
                                        false, false, nullptr, nullptr, UseAmsPrintSize, RestoreAmsPrintSize, nullptr,
                                        nullptr, nullptr};
const TestPrintRoad g_TargetBPatternRoad = {{g_apPrintNumberPages, nullptr}, OBJECTS(g_SelfPrintGray), 2, 3, false,
                                            false, false, nullptr, nullptr, nullptr, nullptr, GrayTargetB, nullptr,
                                            nullptr};
const TestPrintRoad g_DefaultTestPrintRoad = {{nullptr, nullptr}, OBJECTS(g_SelfPrintStandard), 2, 1, true, false,
                                              true, nullptr, nullptr, nullptr, nullptr, nullptr, DrawUserTestPrint,
                                              nullptr};
const TestPrintRoad g_StatusSheetRoad = {{nullptr, nullptr},
                                         {&g_SelfPrintStringY, &g_SelfPrintStringY, &g_SelfPrintStringY},
                                         1,
                                         1,
                                         true,
                                         true,
                                         false,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         ClearSheetBuffer,
                                         DrawSheet,
                                         nullptr};

void PrintDefaultPattern() { RunTestPrintRoad(g_DefaultPatternRoad); }
void PrintGrayPattern() { RunTestPrintRoad(g_GrayPatternRoad); }
void PrintCrossPattern() { RunTestPrintRoad(g_CrossPatternRoad); }
void Print8LevelPattern() { RunTestPrintRoad(g_Level8PatternRoad); }
void Print8LevelLetter() { RunTestPrintRoad(g_Level8LetterRoad); }
void PrintRegiPattern() { RunTestPrintRoad(g_RegiPatternRoad); }
void PrintHPattern() { RunTestPrintRoad(g_HPatternRoad); }
void PrintAmsPattern() { RunTestPrintRoad(g_AmsPatternRoad); }
void PrintTargetBPattern() { RunTestPrintRoad(g_TargetBPatternRoad); }
void PrintDefaultTestPrint() { RunTestPrintRoad(g_DefaultTestPrintRoad); }
int32_t PrintStatusSheet() {
  RunTestPrintRoad(g_StatusSheetRoad);
  return 0;
}
