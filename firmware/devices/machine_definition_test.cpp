// The machine definition's tables: the EEPROM map's byte ownership and CIS
// backup order, the settings' labels and storage, the host id tables, the
// wiring tables and the order rules of the construction list.
#include "firmware/devices/machine_definition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "firmware/control/leds.h"
#include "firmware/devices/eeprom_cells.h"
#include "firmware/devices/host_id_tables.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"

namespace {

// ---- the EEPROM map ----------------------------------------------------------------------

TEST(EepromMap, NoByteHasTwoCellsAndOnlyTheHeadVoltagesLieOn224To253) {
  std::vector<int> owner(EEPROM_MAIN_BYTES, -1);
  for (uint32_t i = 0; i < EEPROM_MAIN_CELL_COUNT; ++i) {
    const EepromCellSpec& cell = kMainEepromCells[i];
    for (uint32_t b = cell.usAddress; b < cell.usAddress + cell.usSize; ++b) {
      ASSERT_LT(b, EEPROM_MAIN_BYTES);
      EXPECT_EQ(owner[b], -1) << "byte " << b << " named by two cells";
      owner[b] = static_cast<int>(i);
    }
  }
  // The head voltages own 224-253, two bytes each, 238-239 unused: the
  // wait settings have no bytes there.
  std::set<uint32_t> thvCells;
  for (const SettingSpec& entry : g_aSettingSpecs) {
    if (std::strncmp(entry.pszLabel, "THV ", 4) == 0) thvCells.insert(entry.usMainCell);
  }
  EXPECT_EQ(thvCells.size(), 14u);
  for (uint32_t b = 224; b <= 253; ++b) {
    if (b == 238 || b == 239) {
      EXPECT_EQ(owner[b], -1) << b;
      continue;
    }
    ASSERT_NE(owner[b], -1) << b;
    EXPECT_TRUE(thvCells.count(kMainEepromCells[owner[b]].usAddress)) << "byte " << b;
  }
}

TEST(EepromMap, TheCisBackupTableFollowsTheMarkedRowsInTheStoredOrder) {
  // 187-191, 220-223, 326-347, 352-363, 441-511, then two empty words.
  std::vector<uint32_t> expected;
  for (auto [first, last] : {std::pair{187u, 191u}, {220u, 223u}, {326u, 347u}, {352u, 363u}, {441u, 511u}}) {
    for (uint32_t a = first; a <= last; ++a) expected.push_back(a);
  }
  ASSERT_EQ(expected.size(), CIS_BACKUP_CELL_COUNT);
  for (uint32_t i = 0; i < CIS_BACKUP_CELL_COUNT; ++i) {
    EXPECT_EQ(g_apCisBackupCells[i], FindMainEepromCell(expected[i])) << i;
    EXPECT_NE(g_apCisBackupCells[i], nullptr) << i;
  }
  EXPECT_EQ(g_apCisBackupCells[CIS_BACKUP_CELL_COUNT], nullptr);
  EXPECT_EQ(g_apCisBackupCells[CIS_BACKUP_CELL_COUNT + 1], nullptr);
}

TEST(EepromMap, ALayoutVersionGivesDefaultsToExactlyTheNewerCells) {
  struct Case {
    uint16_t stored;
    std::set<uint16_t> versions;
  };
  for (const Case& c : {Case{45, {47, 49, 50, 52, 264, 278, 279, 641}}, Case{279, {641}}}) {
    std::set<uint16_t> newer;
    for (const EepromCellSpec& cell : kMainEepromCells) {
      if (cell.usVersion > c.stored) newer.insert(cell.usVersion);
    }
    EXPECT_EQ(newer, c.versions) << c.stored;
  }
  uint32_t ulAbove279 = 0;
  for (const EepromCellSpec& cell : kMainEepromCells) ulAbove279 += cell.usVersion > 279 ? 1 : 0;
  EXPECT_EQ(ulAbove279, 1u) << "only the \"Time [sec]\" cell (118)";
}

// ---- the settings ------------------------------------------------------------------------

TEST(SettingsTable, LabelsAndStorageFitTheirCells) {
  const std::set<std::string> kLong17 = {"FeedRollDiam     ", "Stp/Lx1000       ", "ExitPrint1       ",
                                         "DonorHomePosi    ", "Key Enable       ", "ReclaimL Lv.     ",
                                         "ReclaimN Lv.     ", "ReclaimL2Lv.     "};
  uint32_t ulBlank = 0;
  std::set<uint16_t> mainCells;
  for (const SettingSpec& entry : g_aSettingSpecs) {
    const std::string label = entry.pszLabel;
    if (label == std::string(32, ' ')) {
      ++ulBlank;
    } else if (kLong17.count(label)) {
      EXPECT_EQ(label.size(), 17u);
    } else if (label == "Paper Mode         ") {
      EXPECT_EQ(label.size(), 19u);
    } else if (label.rfind("Slit", 0) == 0) {
      EXPECT_EQ(label.size(), 14u) << label;
    } else {
      EXPECT_EQ(label.size(), 16u) << "|" << label << "|";
    }
    EXPECT_LE(entry.lMin, entry.lMax) << label;
    if (entry.usMainCell == 0) continue;
    EXPECT_TRUE(mainCells.insert(entry.usMainCell).second) << "cell " << entry.usMainCell << " has two settings";
    const int32_t lRow = FindMainEepromRow(entry.usMainCell);
    ASSERT_GE(lRow, 0) << label;
    const uint32_t ulBits = 8 * kMainEepromCells[lRow].usSize;
    const bool bFits = entry.lMin < 0 ? entry.lMin >= -(1ll << (ulBits - 1)) && entry.lMax < (1ll << (ulBits - 1))
                                     : entry.lMax < (1ll << ulBits);
    // The one exception: "TProtectL Lv" 0..256 on one byte, which the
    // setting refuses beyond its cell.
    EXPECT_EQ(bFits, label != "TProtectL Lv    ") << label;
  }
  EXPECT_EQ(ulBlank, 7u);
}

TEST(SettingsTable, DensitiesCarryTheirOwnUnitsHeadCellFirst) {
  const SettingSpec* pL = FindSettingSpec(&g_ParamDensityYmcL);
  const SettingSpec* pR = FindSettingSpec(&g_ParamDensityYmcR);
  ASSERT_TRUE(pL && pR);
  EXPECT_EQ(pL->usMainCell, 58);
  EXPECT_EQ(pR->usMainCell, 80);
  EXPECT_EQ(pL->eHeadCells, SETTING_HEAD_UNIT_L);
  EXPECT_EQ(pR->eHeadCells, SETTING_HEAD_UNIT_R);
  EXPECT_EQ(pL->usHeadCell, 64);
  EXPECT_EQ(pR->usHeadCell, 64);
  const SettingSpec* pWait = FindSettingSpec(&g_ParamWait10ms);
  ASSERT_TRUE(pWait);
  EXPECT_EQ(pWait->usMainCell, 0) << "the waits live in RAM";
  EXPECT_EQ(pWait->lDefault, 0);
}

// ---- the host id tables ------------------------------------------------------------------

TEST(HostIdTables, SettingsAndCountersByIdAndTheIdsThatDoNotExist) {
  uint32_t ulSettings = 0, ulCounters = 0;
  for (uint32_t id = 0; id < HOST_PARAM_ID_COUNT; ++id) {
    const HostParamEntry& e = FindHostParam(id);
    if (e.eKind == HOST_PARAM_SETTING) {
      ++ulSettings;
      EXPECT_TRUE(id >= 1 && id <= 180) << id;
      EXPECT_NE(e.pParam, nullptr);
    } else if (e.eKind == HOST_PARAM_COUNTER) {
      ++ulCounters;
      EXPECT_TRUE(id >= 225 && id <= 255) << id;
      EXPECT_NE(e.pCounter, nullptr);
    }
  }
  EXPECT_EQ(ulSettings, 82u);
  EXPECT_EQ(ulCounters, 20u);
  for (uint32_t id : {0u, 6u, 13u, 181u, 224u, 238u, 239u, 246u, 254u, 256u, 0xFFFFFFFFu}) {
    EXPECT_EQ(FindHostParam(id).eKind, HOST_PARAM_NONE) << id;
  }
  EXPECT_EQ(FindHostParam(129).pParam, &g_ParamEngineVersion);
  EXPECT_STREQ(FindSettingSpec(FindHostParam(129).pParam)->pszLabel, "Engine Version  ");
  const CParameter* const apHeadInfo[] = {&g_ParamHeadRev1, &g_ParamHeadRev2, &g_ParamHeadRevInt1,
                                          &g_ParamHeadRevInt2};
  for (uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(FindHostParam(177 + i).pParam, apHeadInfo[i]);
    EXPECT_EQ(FindSettingSpec(apHeadInfo[i])->usMainCell, 29 + i);
    EXPECT_EQ(FindSettingSpec(apHeadInfo[i])->usHeadCell, 76 + i);
  }
  EXPECT_EQ(FindHostParam(225).pCounter, &g_CounterTotal);
  EXPECT_EQ(FindHostParam(245).pCounter, &g_CounterHeadPrintsR);
  EXPECT_EQ(FindHostParam(255).pCounter, &g_CounterMainPin);
  // The diagnosis rows built so far; the others read as none.
  EXPECT_EQ(FindDiagDevice(37).pPanelLed, &g_LedPower);
  EXPECT_EQ(FindDiagDevice(39).pPanelLed, &g_LedError);
  EXPECT_EQ(FindDiagDevice(0).pStepper, &g_StpmtrMain);
  EXPECT_EQ(FindDiagDevice(1).pStepper, &g_StpmtrSub);
  EXPECT_EQ(FindDiagDevice(1).eKind, DIAG_DEVICE_STEPPER);
  EXPECT_EQ(FindDiagDevice(4).eKind, DIAG_DEVICE_NONE);
  EXPECT_EQ(FindDiagDevice(46).eKind, DIAG_DEVICE_NONE);
}

// The self-diagnosis sensor ids 8-30 by the labels the host's sub-commands
// name; ids 11, 17 and 18 have no sensor.
TEST(HostIdTables, DiagnosisSensorIdsReadTheirOwnSensors) {
  struct Row {
    uint32_t ulId;
    DiagDeviceKind eKind;
    const char* pszLabel;
  };
  const Row kRows[] = {
      {8, DIAG_DEVICE_AD_SENSOR, "Top L           "},      {9, DIAG_DEVICE_AD_SENSOR, "Position        "},
      {10, DIAG_DEVICE_AD_SENSOR, "PaperEmpty      "},     {11, DIAG_DEVICE_NONE, nullptr},
      {12, DIAG_DEVICE_AD_SENSOR, "EnvTherm        "},     {13, DIAG_DEVICE_AD_SENSOR, "H.Therm L       "},
      {14, DIAG_DEVICE_AD_SENSOR, "H.Therm R       "},     {15, DIAG_DEVICE_SWITCH_SENSOR, "HeadL Up        "},
      {16, DIAG_DEVICE_SWITCH_SENSOR, "HeadL Dn        "}, {17, DIAG_DEVICE_NONE, nullptr},
      {18, DIAG_DEVICE_NONE, nullptr},                      {19, DIAG_DEVICE_SWITCH_SENSOR, "EjectPin Mn     "},
      {20, DIAG_DEVICE_SWITCH_SENSOR, "EjectPin Sb     "}, {21, DIAG_DEVICE_SWITCH_SENSOR, "Cutter L        "},
      {22, DIAG_DEVICE_SWITCH_SENSOR, "Cutter C        "}, {23, DIAG_DEVICE_SWITCH_SENSOR, "Cutter R        "},
      {24, DIAG_DEVICE_SWITCH_SENSOR, "RibEncDstL      "}, {25, DIAG_DEVICE_SWITCH_SENSOR, "RibEncSrcL      "},
      {26, DIAG_DEVICE_SWITCH_SENSOR, "UpperCoverL     "}, {27, DIAG_DEVICE_SWITCH_SENSOR, "PaperCover      "},
      {28, DIAG_DEVICE_SWITCH_SENSOR, "PaperGuide      "}, {29, DIAG_DEVICE_SWITCH_SENSOR, "HeadR Up        "},
      {30, DIAG_DEVICE_SWITCH_SENSOR, "HeadR Dn        "},
  };
  // A sensor's label is the one its wiring row gives it.
  auto labelOf = [](const auto& wiring, const void* pSensor) -> std::string {
    for (const auto& w : wiring) {
      if (w.pSensor == pSensor) return w.pszLabel;
    }
    return "not wired";
  };
  for (const Row& row : kRows) {
    const DiagDeviceEntry& e = FindDiagDevice(row.ulId);
    ASSERT_EQ(e.eKind, row.eKind) << "id " << row.ulId;
    EXPECT_EQ(e.pPanelLed, nullptr) << "id " << row.ulId;
    EXPECT_EQ(e.pSwitchSensor == nullptr, row.eKind != DIAG_DEVICE_SWITCH_SENSOR) << "id " << row.ulId;
    EXPECT_EQ(e.pAdSensor == nullptr, row.eKind != DIAG_DEVICE_AD_SENSOR) << "id " << row.ulId;
    if (row.eKind == DIAG_DEVICE_SWITCH_SENSOR) {
      EXPECT_EQ(labelOf(g_aSwitchSensorWiring, e.pSwitchSensor), row.pszLabel);
    } else if (row.eKind == DIAG_DEVICE_AD_SENSOR) {
      EXPECT_EQ(labelOf(g_aAdSensorWiring, e.pAdSensor), row.pszLabel);
    }
  }
}

// The motors, fans and colour LEDs of the diagnosis ids; ids 4, 7, 35 and
// 36 have none. Each entry sets the one pointer of its kind.
TEST(HostIdTables, DiagnosisActuatorIdsNameTheirOwnDevices) {
  struct Row {
    uint32_t ulId;
    DiagDeviceKind eKind;
    const void* pDevice;
  };
  const Row kRows[] = {
      {2, DIAG_DEVICE_CHOP_MOTOR, &g_ChopMotorRibDstL}, {3, DIAG_DEVICE_CHOP_MOTOR, &g_ChopMotorRibSrcL},
      {4, DIAG_DEVICE_NONE, nullptr},                   {5, DIAG_DEVICE_DC_MOTOR, &g_DcMotorHeadL},
      {6, DIAG_DEVICE_DC_MOTOR, &g_DcMotorMainPinch},   {7, DIAG_DEVICE_NONE, nullptr},
      {31, DIAG_DEVICE_FAN, &g_FanHeadL},               {32, DIAG_DEVICE_FAN, &g_FanHeadR},
      {33, DIAG_DEVICE_FAN, &g_FanPcb},                 {34, DIAG_DEVICE_FAN, &g_FanStpMtr},
      {35, DIAG_DEVICE_NONE, nullptr},                  {36, DIAG_DEVICE_NONE, nullptr},
      {40, DIAG_DEVICE_COLOR_LED, &g_ColorLedRedL},     {41, DIAG_DEVICE_COLOR_LED, &g_ColorLedRedR},
      {42, DIAG_DEVICE_COLOR_LED, &g_ColorLedGreenL},   {43, DIAG_DEVICE_COLOR_LED, &g_ColorLedGreenR},
      {44, DIAG_DEVICE_COLOR_LED, &g_ColorLedBlueL},    {45, DIAG_DEVICE_COLOR_LED, &g_ColorLedBlueR},
  };
  for (const Row& row : kRows) {
    const DiagDeviceEntry& e = FindDiagDevice(row.ulId);
    EXPECT_EQ(e.eKind, row.eKind) << "id " << row.ulId;
    const void* const apSet[] = {e.pPanelLed, e.pSwitchSensor, e.pAdSensor, e.pChopMotor,
                                 e.pDcMotor,  e.pFan,          e.pColorLed};
    std::vector<const void*> set;
    for (const void* p : apSet) {
      if (p != nullptr) set.push_back(p);
    }
    EXPECT_EQ(set, row.pDevice == nullptr ? std::vector<const void*>{} : std::vector<const void*>{row.pDevice})
        << "id " << row.ulId;
  }
  // The colour LEDs' numbers: red, green, blue, unit L's 1-3 and R's 4-6.
  for (const ColorLedWiring& w : g_aColorLedWiring) {
    const char cColor = w.pszName[0];
    const uint32_t ulUnit = std::strstr(w.pszName, " R ") != nullptr ? 1 : 0;
    EXPECT_EQ(w.ulNumber, (cColor == 'R' ? 1u : cColor == 'G' ? 2u : 3u) + 3 * ulUnit) << w.pszName;
  }
}

// ---- the wiring --------------------------------------------------------------------------

TEST(Wiring, PortsUseTheirRegistersAndEachSensorItsOwnBitOrChannel) {
  std::set<uint32_t> aRegs[4];
  for (const PortSpec& port : g_aPortSpecs) aRegs[port.eKind].insert(port.ulRegister);
  EXPECT_EQ(aRegs[PORT_IN_WORD].size(), 4u);
  EXPECT_EQ(aRegs[PORT_OUT_WORD].size(), 2u);
  EXPECT_EQ(aRegs[PORT_IN_LONG].size(), 4u);
  EXPECT_EQ(aRegs[PORT_OUT_LONG].size(), 4u);
  std::set<std::pair<uint32_t, uint32_t>> bits;
  for (const SwitchSensorWiring& w : g_aSwitchSensorWiring) {
    EXPECT_NE(SwitchInputPort(w.ulRegister, w.ulBit), nullptr) << w.pszLabel;
    EXPECT_TRUE(bits.insert({w.ulRegister, w.ulBit}).second) << w.pszLabel;
  }
  // Shared channels: the two colour sensors (told apart by the mode word)
  // and "EnvTherm 2" with "Reserve2".
  std::set<std::pair<uint32_t, uint32_t>> channels;
  uint32_t ulShared = 0;
  for (const AdSensorWiring& w : g_aAdSensorWiring) ulShared += channels.insert({w.ulMode, w.ulChannel}).second ? 0 : 1;
  EXPECT_EQ(ulShared, 1u);
}

TEST(Wiring, EachChopperFollowsItsMotorAndEverySlitItsChopper) {
  std::set<const CFpgaDcMotor*> motors;
  std::set<const CChopMotor*> choppers;
  std::set<uint32_t> channels;
  for (const MotorWiring& w : g_aMotorWiring) {
    if (w.pChopper == nullptr) {
      EXPECT_TRUE(motors.insert(w.pMotor).second);
      // Both lines of a motor lie in one DC-motor register.
      EXPECT_TRUE(w.ulRegisterA == w.ulRegisterB && w.ulRegisterA >= 0x64000030u && w.ulRegisterA <= 0x64000034u);
      EXPECT_NE(w.ulMaskA, w.ulMaskB);
      continue;
    }
    EXPECT_TRUE(motors.count(w.pMotor)) << "chopper on channel " << w.ulChannel << " before its motor";
    EXPECT_TRUE(choppers.insert(w.pChopper).second);
    EXPECT_TRUE(channels.insert(w.ulChannel).second) << w.ulChannel;
  }
  for (const SlitWiring& w : g_aSlitWiring) {
    if (w.pMotor != nullptr) {
      EXPECT_TRUE(choppers.count(w.pMotor)) << w.pszLabel;
    }
  }
  // The pairs are not in ascending order for every motor: a swapped pair
  // would reverse the motor.
  const MotorWiring* pDstL = nullptr;
  const MotorWiring* pSrcL = nullptr;
  for (const MotorWiring& w : g_aMotorWiring) {
    if (w.pChopper == nullptr && w.pMotor == &g_DcMotorRibDstL) pDstL = &w;
    if (w.pChopper == nullptr && w.pMotor == &g_DcMotorRibSrcL) pSrcL = &w;
  }
  ASSERT_TRUE(pDstL && pSrcL);
  EXPECT_EQ(std::pair(pDstL->ulMaskA, pDstL->ulMaskB), std::pair(0x0002u, 0x0001u));
  EXPECT_EQ(std::pair(pSrcL->ulMaskA, pSrcL->ulMaskB), std::pair(0x0004u, 0x0008u));
  // The fan register: eight limited fans on bits 3-10, three plain outputs
  // on bits 0-2, the Exit LED's bit 11 left alone.
  uint32_t ulLimited = 0, ulPlain = 0;
  for (const FanWiring& w : g_aFanWiring) {
    EXPECT_EQ(w.ulRegister, 0x64000036u);
    if (w.pFan != nullptr) ulLimited |= w.ulMask;
    if (w.pOutput != nullptr) ulPlain |= w.ulMask;
  }
  EXPECT_EQ(ulLimited, 0x07F8u);
  EXPECT_EQ(ulPlain, 0x0007u);
}

// ---- the construction list ---------------------------------------------------------------

struct BuiltCells {
  std::vector<uint32_t> main = std::vector<uint32_t>(EEPROM_MAIN_CELL_COUNT, 0);
  std::vector<uint32_t> head[2] = {std::vector<uint32_t>(EEPROM_HEAD_CELL_COUNT, 0),
                                   std::vector<uint32_t>(EEPROM_HEAD_CELL_COUNT, 0)};
  void Main(uint32_t ulAddress) {
    const int32_t lRow = FindMainEepromRow(ulAddress);
    ASSERT_GE(lRow, 0) << ulAddress;
    ++main[lRow];
  }
  void Head(uint32_t ulUnit, uint32_t ulAddress) {
    const int32_t lRow = FindHeadEepromRow(ulAddress);
    ASSERT_GE(lRow, 0) << ulAddress;
    ++head[ulUnit][lRow];
  }
};

uint32_t StepOf(const char* pszObject) {
  for (uint32_t i = 0; i < g_ulMachineBuildStepCount; ++i) {
    const BuildStep& s = g_aMachineBuildSteps[i];
    if (s.pszObjects != nullptr && std::strstr(s.pszObjects, pszObject) != nullptr) return i;
  }
  ADD_FAILURE() << pszObject << " is not built";
  return 0;
}

TEST(ConstructionList, EveryCellOnceAfterItsEepromAndTheOrderRules) {
  BuiltCells cells;
  uint32_t ulFirstCellStep = 0xFFFF, ulFirstHeadCellStep = 0xFFFF, ulPowerSaveTimeStep = 0;
  uint32_t ulLastMechanismSettingStep = 0;
  for (uint32_t i = 0; i < g_ulMachineBuildStepCount; ++i) {
    const BuildStep& s = g_aMachineBuildSteps[i];
    const uint32_t ulEnd = static_cast<uint32_t>(s.usFirst) + s.usCount;
    const uint32_t ulMainBefore = std::accumulate(cells.main.begin(), cells.main.end(), 0u);
    const uint32_t ulHeadBefore = std::accumulate(cells.head[0].begin(), cells.head[0].end(), 0u) +
                                  std::accumulate(cells.head[1].begin(), cells.head[1].end(), 0u);
    switch (s.eKind) {
      case BUILD_LOOSE_CELLS:
        for (uint32_t c = s.usFirst; c < ulEnd; ++c) {
          const LooseCell& cell = g_aLooseCells[c];
          if (cell.ucHeadUnit == LOOSE_CELL_MAIN) cells.Main(cell.usAddress);
          else cells.Head(cell.ucHeadUnit, cell.usAddress);
        }
        break;
      case BUILD_CIS_BACKUP_CELLS:
        for (const EepromCellSpec& cell : kMainEepromCells) {
          if ((cell.usMarks & EEPROM_CELL_CIS_BACKUP) != 0) cells.Main(cell.usAddress);
        }
        break;
      case BUILD_SETTINGS:
      case BUILD_SETTINGS_CELL_BLOCK:
        for (uint32_t r = s.usFirst; r < ulEnd; ++r) {
          const SettingSpec& entry = g_aSettingSpecs[r];
          if (entry.pParam == &g_ParamPowerSaveTime) ulPowerSaveTimeStep = i;
          if (entry.pParam == &g_ParamLoadBarDownDuty || entry.pParam == &g_ParamPrintpathFlag ||
              entry.pParam == &g_ParamRotationLockFlag) {
            ulLastMechanismSettingStep = std::max(ulLastMechanismSettingStep, i);
          }
          if (entry.usMainCell != 0) cells.Main(entry.usMainCell);
          if (entry.eHeadCells == SETTING_HEAD_UNIT_L || entry.eHeadCells == SETTING_HEAD_BOTH) cells.Head(0, entry.usHeadCell);
          if (entry.eHeadCells == SETTING_HEAD_UNIT_R || entry.eHeadCells == SETTING_HEAD_BOTH) cells.Head(1, entry.usHeadCell);
        }
        break;
      case BUILD_COUNTERS:
        for (uint32_t r = s.usFirst; r < ulEnd; ++r) {
          const LifeCounterSpec& entry = g_aLifeCounterSpecs[r];
          cells.Main(entry.usMainCell);
          if (entry.ucHeadUnit != LIFE_COUNTER_HEAD_NONE) cells.Head(entry.ucHeadUnit, entry.usHeadCell);
        }
        break;
      case BUILD_OBJECTS:
      case BUILD_PORTS:
        break;
    }
    if (std::accumulate(cells.main.begin(), cells.main.end(), 0u) != ulMainBefore) ulFirstCellStep = std::min(ulFirstCellStep, i);
    const uint32_t ulHeadAfter = std::accumulate(cells.head[0].begin(), cells.head[0].end(), 0u) +
                                 std::accumulate(cells.head[1].begin(), cells.head[1].end(), 0u);
    if (ulHeadAfter != ulHeadBefore) ulFirstHeadCellStep = std::min(ulFirstHeadCellStep, i);
  }
  for (uint32_t r = 0; r < EEPROM_MAIN_CELL_COUNT; ++r) EXPECT_EQ(cells.main[r], 1u) << kMainEepromCells[r].usAddress;
  for (uint32_t u = 0; u < 2; ++u) {
    for (uint32_t r = 0; r < EEPROM_HEAD_CELL_COUNT; ++r) EXPECT_EQ(cells.head[u][r], 1u) << u << "/" << r;
  }
  EXPECT_EQ(StepOf("g_SystemInit"), 0u);
  EXPECT_LT(StepOf("g_PortRegTableInWord"), StepOf("g_KeyMng"));
  EXPECT_LT(StepOf("g_Eeprom"), ulFirstCellStep);
  EXPECT_LT(StepOf("g_HeadEepromR"), ulFirstHeadCellStep);
  EXPECT_LT(StepOf("switch sensors"), StepOf("g_AdConverter"));
  EXPECT_LT(StepOf("g_AdConverter"), StepOf("A/D sensors"));
  EXPECT_LT(StepOf("A/D sensors"), StepOf("colour LEDs, sensors and sets"));
  EXPECT_LT(StepOf("colour LEDs, sensors and sets"), StepOf("DC motors and choppers"));
  EXPECT_LT(StepOf("DC motors and choppers"), StepOf("encoder slits"));
  EXPECT_LT(StepOf("encoder slits"), StepOf("fans and clutches"));
  EXPECT_LT(StepOf("fans and clutches"), StepOf("g_EventMngReadyB"));
  // The positioners point at switch sensors, motors and mechanism settings.
  EXPECT_LT(StepOf("fans and clutches"), StepOf("g_HeadLiftL"));
  EXPECT_LT(ulLastMechanismSettingStep, StepOf("g_HeadLiftL"));
  EXPECT_LT(StepOf("g_HeadLiftL"), StepOf("g_EventMngReadyB"));
  EXPECT_LT(ulPowerSaveTimeStep, StepOf("g_PowerSave"));
  // The actuators after the A/D sensors, the steppers after the fans they
  // switch, then their ramps;
  // the paper position before every counter; the ribbon-roll models and
  // the ribbon managers after the positioners; the print line after the
  // printer states.
  uint32_t ulFirstCounterStep = 0xFFFF;
  for (uint32_t i = 0; i < g_ulMachineBuildStepCount; ++i) {
    if (g_aMachineBuildSteps[i].eKind == BUILD_COUNTERS) ulFirstCounterStep = std::min(ulFirstCounterStep, i);
  }
  EXPECT_LT(StepOf("A/D sensors"), StepOf("g_StpmtrMain"));
  EXPECT_LT(StepOf("fans and clutches"), StepOf("g_StpmtrMain")) << "the steppers switch fans";
  EXPECT_LT(StepOf("g_StpmtrExit"), StepOf("g_Ramp00"));
  EXPECT_LT(StepOf("g_LoadBar"), StepOf("g_RibbonRolls"));
  EXPECT_LT(StepOf("g_RibbonRolls"), StepOf("g_DonorMngMarkSenL"));
  EXPECT_LT(StepOf("g_DonorMngColorSenR"), StepOf("g_EventMngReadyB"));
  EXPECT_LT(StepOf("g_PaperPosition"), ulFirstCounterStep);
  // The four ribbon watchdogs after the paper position, on slits built before.
  EXPECT_LT(StepOf("encoder slits"), StepOf("g_JamCheckRibbonL"));
  EXPECT_LT(StepOf("g_PaperPosition"), StepOf("g_JamCheckRibbonL"));
  EXPECT_EQ(StepOf("g_LockCheckRibbonR"), StepOf("g_JamCheckRibbonL"));
  EXPECT_LT(StepOf("g_EventMngLoadFail"), StepOf("g_PrintLine"));
  // The lamination slots after the image-buffer tables, before the print line.
  EXPECT_LT(StepOf("g_BufSlots18B"), StepOf("g_LamiImgSlot0"));
  EXPECT_LT(StepOf("g_LamiImgSlot1"), StepOf("g_PrintLine"));
  EXPECT_LT(StepOf("g_PlaneSequencer"), StepOf("g_PowerSave"));
  EXPECT_LT(StepOf("g_PreheatBoth"), StepOf("g_PrintLog"));
  EXPECT_LT(StepOf("g_PrintLog"), StepOf("g_PowerSave"));
}

}  // namespace
