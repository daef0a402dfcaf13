// The dummy lines of the print sizes: four sets of settings (ribbon-size
// family 8x10 or 8x12, unit L or R), each front and rear for the five
// planes, and the two full-size records that print with them.
#include "firmware/printengine/dummy_lines.h"

#include "firmware/control/app_startup.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/printengine/print_size.h"

namespace {

#define DUMMY_LINES_SETTING(name, ...) &name,
// [family 8x10, 8x12][unit L, R][front, rear][plane]
constexpr CParameter* const kSettings[2][2][2][PRINT_PLANES] = {
    {{{SETTINGS_FRONT_DUMMY(DUMMY_LINES_SETTING, 8x10, L)}, {SETTINGS_REAR_DUMMY(DUMMY_LINES_SETTING, 8x10, L)}},
     {{SETTINGS_FRONT_DUMMY(DUMMY_LINES_SETTING, 8x10, R)}, {SETTINGS_REAR_DUMMY(DUMMY_LINES_SETTING, 8x10, R)}}},
    {{{SETTINGS_FRONT_DUMMY(DUMMY_LINES_SETTING, 8x12, L)}, {SETTINGS_REAR_DUMMY(DUMMY_LINES_SETTING, 8x12, L)}},
     {{SETTINGS_FRONT_DUMMY(DUMMY_LINES_SETTING, 8x12, R)}, {SETTINGS_REAR_DUMMY(DUMMY_LINES_SETTING, 8x12, R)}}},
};
#undef DUMMY_LINES_SETTING

constexpr uint32_t kFront = 0;
constexpr uint32_t kRear = 1;
// Start-up values: front by the ribbon control (colour-sensor ribbons, or
// none), rear for every ribbon.
constexpr uint32_t kFrontColorSensor[PRINT_PLANES] = {154, 171, 118, 136, 300};
constexpr uint32_t kFrontPlain[PRINT_PLANES] = {66, 170, 200, 180, 300};
constexpr uint32_t kRearLines[PRINT_PLANES] = {82, 82, 82, 118, 300};

PrintSizeRecord* const kFamilyRecords[2] = {&g_PrintSize8x10, &g_PrintSize8x12};

}  // namespace

int32_t InitDummyLines() {
  const uint32_t* pulFront = g_ucRibbonControlType != 0 ? kFrontColorSensor : kFrontPlain;
  for (const auto& family : kSettings) {
    for (const auto& unit : family) {
      for (uint32_t p = 0; p < PRINT_PLANES; ++p) {
        unit[kFront][p]->SetValueNoSave(static_cast<int32_t>(pulFront[p]));
        unit[kRear][p]->SetValueNoSave(static_cast<int32_t>(kRearLines[p]));
      }
    }
  }
  for (PrintSizeRecord& record : g_PrintSizeTable) {
    for (uint32_t p = 0; p < PRINT_PLANES; ++p) {
      record.aulFrontDummyLines[p] = pulFront[p];
      record.aulRearDummyLines[p] = kRearLines[p];
    }
  }
  return 0;
}

int32_t LoadDummyLines() {
  const uint32_t ulUnit = GetCurrentUnit() != 0 ? 1u : 0u;
  for (uint32_t f = 0; f < 2; ++f) {
    PrintSizeRecord& record = *kFamilyRecords[f];
    for (uint32_t p = 0; p < PRINT_PLANES; ++p) {
      const CParameter& front = *kSettings[f][ulUnit][kFront][p];
      const CParameter& rear = *kSettings[f][ulUnit][kRear][p];
      // The unit switch made while the machine is built comes before the
      // settings: a record keeps its lines until they exist.
      if (front.GetLabel() != nullptr) record.aulFrontDummyLines[p] = static_cast<uint32_t>(SettingValue(front));
      if (rear.GetLabel() != nullptr) record.aulRearDummyLines[p] = static_cast<uint32_t>(SettingValue(rear));
    }
  }
  return 0;
}
