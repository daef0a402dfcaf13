// The machine's settings: every CParameter object, built by the machine
// definition in its order from the data rows of settings_list.h.
#pragma once

#include <cstdint>

#include "firmware/devices/parameter.h"
#include "firmware/devices/settings_list.h"

// Which head EEPROM cells a setting writes besides its main cell.
enum SettingHeadCells : uint8_t {
  SETTING_HEAD_NONE = 0,
  // The unit's own head EEPROM, in the first head-cell slot (the density
  // settings: the head check and the copy back read that slot).
  SETTING_HEAD_UNIT_L = 1,
  SETTING_HEAD_UNIT_R = 2,
  // Unit L's head EEPROM first, unit R's second (the head information).
  SETTING_HEAD_BOTH = 3,
};

// One setting as the construction list builds it.
struct SettingSpec {
  CParameter* pParam;
  const char* pszLabel;
  int32_t lMin;
  int32_t lMax;
  uint16_t usMainCell;  // main EEPROM address, 0 = RAM only
  SettingHeadCells eHeadCells;
  uint16_t usHeadCell;  // head EEPROM address when eHeadCells is not NONE
  int32_t lDefault;
};

#define SETTING_DECLARE(name, ...) extern CParameter name;
SETTINGS_ALL(SETTING_DECLARE)
#undef SETTING_DECLARE

#define SETTING_COUNT_ONE(...) +1
constexpr uint32_t SETTING_COUNT = 0 SETTINGS_ALL(SETTING_COUNT_ONE);
static_assert(SETTING_COUNT == 326, "the machine has 326 settings");

// Every setting in construction order.
extern const SettingSpec g_aSettingSpecs[SETTING_COUNT];

// The groups of the construction list: [first, first + count) of the rows.
struct SettingGroup {
  uint16_t usFirst;
  uint16_t usCount;
};
namespace settinggroups {
constexpr uint16_t kBasics = 0 SETTINGS_MECHANISM_BASICS(SETTING_COUNT_ONE);
constexpr uint16_t kSlices = 0 SETTINGS_SLICE_LEVELS(SETTING_COUNT_ONE);
constexpr uint16_t kThv = 0 SETTINGS_HEAD_VOLTAGE(SETTING_COUNT_ONE);
constexpr uint16_t kPositions = 0 SETTINGS_POSITIONS(SETTING_COUNT_ONE);
constexpr uint16_t kMechanism = 0 SETTINGS_MECHANISM(SETTING_COUNT_ONE);
constexpr uint16_t kPrint = 0 SETTINGS_PRINT(SETTING_COUNT_ONE);
constexpr uint16_t kService = 0 SETTINGS_SERVICE(SETTING_COUNT_ONE);
constexpr uint16_t kBeforePowerSave = 0 SETTINGS_BEFORE_POWER_SAVE(SETTING_COUNT_ONE);
constexpr uint16_t kAfterPowerSave = 0 SETTINGS_AFTER_POWER_SAVE(SETTING_COUNT_ONE);
}  // namespace settinggroups
constexpr SettingGroup SETTINGS_GROUP_BASICS{0, settinggroups::kBasics};
constexpr SettingGroup SETTINGS_GROUP_SLICES{SETTINGS_GROUP_BASICS.usFirst + settinggroups::kBasics,
                                             settinggroups::kSlices};
constexpr SettingGroup SETTINGS_GROUP_THV{SETTINGS_GROUP_SLICES.usFirst + settinggroups::kSlices, settinggroups::kThv};
constexpr SettingGroup SETTINGS_GROUP_POSITIONS{SETTINGS_GROUP_THV.usFirst + settinggroups::kThv,
                                                settinggroups::kPositions};
// Mechanism, print and service rows follow one another without other
// objects between them (yet): one group.
constexpr SettingGroup SETTINGS_GROUP_REST{
    SETTINGS_GROUP_POSITIONS.usFirst + settinggroups::kPositions,
    settinggroups::kMechanism + settinggroups::kPrint + settinggroups::kService};
constexpr SettingGroup SETTINGS_GROUP_BEFORE_POWER_SAVE{SETTINGS_GROUP_REST.usFirst + SETTINGS_GROUP_REST.usCount,
                                                        settinggroups::kBeforePowerSave};
constexpr SettingGroup SETTINGS_GROUP_AFTER_POWER_SAVE{
    SETTINGS_GROUP_BEFORE_POWER_SAVE.usFirst + settinggroups::kBeforePowerSave, settinggroups::kAfterPowerSave};
static_assert(SETTINGS_GROUP_AFTER_POWER_SAVE.usFirst + SETTINGS_GROUP_AFTER_POWER_SAVE.usCount == SETTING_COUNT);

// Builds the group's settings in order, each right after its main and head
// cells; with bCellBlock the group's main cells are built first as one
// block (the head voltages).
void ConstructSettings(SettingGroup group, bool bCellBlock = false);

// The row of a setting object, or null.
const SettingSpec* FindSettingSpec(const CParameter* pParam);

// The setting's value, for readers that need no result code.
inline int32_t SettingValue(const CParameter& param) {
  int32_t lValue = 0;
  param.GetValue(&lValue);
  return lValue;
}
