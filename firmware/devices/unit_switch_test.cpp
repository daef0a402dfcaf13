// The unit switch: which object every current-unit pointer names and which
// error index every error word holds, for unit A and unit B.
#include "firmware/devices/unit_switch.h"

#include <gtest/gtest.h>

#include "firmware/control/app_startup.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/donor_mng_color.h"
#include "firmware/mechanism/donor_mng_mark.h"
#include "sim/board.h"

namespace {

// A bare board for the switch's console line; unit A is put back after
// each test, as the rest of the firmware expects it.
class UnitSwitch : public ::testing::Test {
 protected:
  void TearDown() override {
    g_ucRibbonControlType = 0;
    g_ulRibbonTypeIndexL = 0;
    g_ulRibbonTypeIndexR = 0;
    SelectUnit(0);
  }
  sim::Board m_board{sim::BoardConfig{}};
};

struct RoleCase {
  const char* pszName;
  const void* (*pfnCurrent)();
  const void* apUnit[2];
};

#define ROLE(pointer, objectA, objectB) \
  {#pointer, [] { return static_cast<const void*>(pointer); }, {&objectA, &objectB}}

const RoleCase kRoles[] = {
    ROLE(g_pCurAdTop, g_AdTopL, g_AdTopR),
    ROLE(g_pCurAdRMark1, g_AdRMark1L, g_AdRMark1R),
    ROLE(g_pCurAdRMark4, g_AdRMark4L, g_AdRMark4R),
    ROLE(g_pCurAdHTherm, g_AdHThermL, g_AdHThermR),
    ROLE(g_pCurAdBarcode, g_AdBarcodeL, g_AdBarcodeR),
    ROLE(g_pCurAdCSen, g_AdCSenL, g_AdCSenR),
    ROLE(g_pCurColorLedRed, g_ColorLedRedL, g_ColorLedRedR),
    ROLE(g_pCurColorLedBlue, g_ColorLedBlueL, g_ColorLedBlueR),
    ROLE(g_pCurColorSensorGreen, g_ColorSensorGreenL, g_ColorSensorGreenR),
    ROLE(g_pCurColorSensorBlue, g_ColorSensorBlueL, g_ColorSensorBlueR),
    ROLE(g_pCurColorSensorSet, g_ColorSensorSetL, g_ColorSensorSetR),
    ROLE(g_pCurParamSliceBarcode, g_ParamSliceBarcodeL, g_ParamSliceBarcodeR),
    ROLE(g_pCurParamSliceRibbonColor, g_ParamSliceRibbonColorL, g_ParamSliceRibbonColorR),
    ROLE(g_pCurSlitRibEncDst, g_SlitRibEncDstL, g_SlitRibEncDstR),
    ROLE(g_pCurSlitRibEncSrc, g_SlitRibEncSrcL, g_SlitRibEncSrcR),
    ROLE(g_pCurParamCompRibInit, g_ParamCompRibInitL, g_ParamCompRibInitR),
    ROLE(g_pCurChopMotorRibSrc, g_ChopMotorRibSrcL, g_ChopMotorRibSrcR),
    ROLE(g_pCurChopMotorRibDst, g_ChopMotorRibDstL, g_ChopMotorRibDstR),
    ROLE(g_pCurClutchRibRvs, g_ClutchRibRvsL, g_ClutchRibRvsR),
    ROLE(g_pCurFanHead, g_FanHeadL, g_FanHeadR),
    ROLE(g_pCurFanSide, g_FanSideL, g_FanSideR),
    ROLE(g_pCurSensorUpperCover, g_SensorUpperCoverL, g_SensorUpperCoverR),
    ROLE(g_pCurParamDensityYmc, g_ParamDensityYmcL, g_ParamDensityYmcR),
    ROLE(g_pCurParamDensityMt2Minor, g_ParamDensityMt2MinorL, g_ParamDensityMt2MinorR),
    ROLE(g_pCurParamDensitySp, g_ParamDensitySpL, g_ParamDensitySpR),
    ROLE(g_pCurParamDonorKeep, g_ParamDonorKeepA, g_ParamDonorKeepB),
    ROLE(g_pCurSlackTakeUpCount, g_ulSlackTakeUpCountL, g_ulSlackTakeUpCountR),
    ROLE(g_pCurParamTopOffset, g_ParamTopOffsetL, g_ParamTopOffsetR),
    // The side offsets cross over: unit B's first one is "Side B-R".
    ROLE(g_pCurParamSide1, g_ParamSideAL, g_ParamSideBR),
    ROLE(g_pCurParamSide2, g_ParamSideAR, g_ParamSideBL),
    ROLE(g_pCurParamSensorOffset, g_ParamSensorOffsetL, g_ParamSensorOffsetR),
    ROLE(g_pCurParamCutterOffset, g_ParamCutterOffsetL, g_ParamCutterOffsetR),
    ROLE(g_pCurParamBorderOffset, g_ParamBorderOffsetL, g_ParamBorderOffsetR),
    ROLE(g_pCurPortHeadPower, g_PortHeadPowerL, g_PortHeadPowerR),
    ROLE(g_pCurCounterTotalLength, g_CounterTotalLengthL, g_CounterTotalLengthR),
    ROLE(g_pCurCounterMnt, g_CounterMntL, g_CounterMntR),
    ROLE(g_pCurCounterMediaPrn, g_CounterMediaPrnL, g_CounterMediaPrnR),
    ROLE(g_pCurCounterHeadPrints, g_CounterHeadPrintsL, g_CounterHeadPrintsR),
    ROLE(g_pCurJamCheckRibbon, g_JamCheckRibbonL, g_JamCheckRibbonR),
    ROLE(g_pCurLockCheckRibbon, g_LockCheckRibbonL, g_LockCheckRibbonR),
};
#undef ROLE

struct ErrorWordCase {
  const char* pszName;
  const uint32_t* pulWord;
  uint32_t aulIndex[2];
};

#define WORD(word, ulA, ulB) {#word, &word, {ulA, ulB}}
const ErrorWordCase kErrorWords[] = {
    WORD(g_ulCurErrRibbonEmpty, 0x1603u, 0x1604u), WORD(g_ulCurErrIncorrectRib, 0x1600u, 0x1601u),
    WORD(g_ulCurErrUpperJam03, 0x1503u, 0x1567u),  WORD(g_ulCurErrUpperJam11, 0x150Bu, 0x156Fu),
    WORD(g_ulCurErrUpperJam21, 0x1515u, 0x1579u),  WORD(g_ulCurErrUpperJam31, 0x151Fu, 0x1583u),
    WORD(g_ulCurErrUpperJam42, 0x152Au, 0x158Eu),  WORD(g_ulCurErrUpperJam56, 0x1538u, 0x159Cu),
    WORD(g_ulCurErrUpperJam60, 0x153Cu, 0x15A0u),  WORD(g_ulCurErrUpperJam68, 0x1544u, 0x15A8u),
};
#undef WORD

TEST_F(UnitSwitch, EveryRoleAndErrorWordFollowsTheSelectedUnit) {
  // B, then A, then B again: nothing may keep a value of an earlier switch.
  for (uint32_t ulUnit : {1u, 0u, 1u, 0u}) {
    SCOPED_TRACE(ulUnit);
    EXPECT_EQ(SelectUnit(ulUnit), 0);
    EXPECT_EQ(GetCurrentUnit(), ulUnit);
    for (const RoleCase& c : kRoles) EXPECT_EQ(c.pfnCurrent(), c.apUnit[ulUnit]) << c.pszName;
    for (const ErrorWordCase& c : kErrorWords) EXPECT_EQ(*c.pulWord, c.aulIndex[ulUnit]) << c.pszName;
  }
}

TEST_F(UnitSwitch, AnyNonZeroUnitIsUnitBAndIsReportedAsOne) {
  // Readers that compare the current unit with 1 must agree with the
  // pointers the switch set.
  SelectUnit(7);
  EXPECT_EQ(GetCurrentUnit(), 1u);
  EXPECT_EQ(g_pCurAdTop, &g_AdTopR);
  EXPECT_EQ(g_ulCurErrUpperJam31, 0x1583u);
}

// The ribbon rows by unit and control type, the manager the FPGA interrupt
// counts into, and the model the new unit's ribbon-type word selects.
TEST_F(UnitSwitch, TheRibbonRowsManagerAndModelFollowTheUnitAndControlType) {
  RibbonRollModels& m = g_RibbonRolls;
  CRibbonRoll* const pEnd = RibbonRollEnd();
  struct Case {
    uint32_t ulUnit;
    uint8_t ucControlType;
    CDonorMng* pManager;
    CRibbonRoll* apRow[RIBBON_ROLL_ROW];
    uint32_t* pulTypeWord;
  };
  const Case cases[] = {
      {0, 0, &g_DonorMngMarkSenL, {&m.mark8x10L, &m.mark8x12L, pEnd, pEnd, pEnd}, &g_ulRibbonTypeIndexL},
      {1, 0, &g_DonorMngMarkSenR, {&m.mark8x10R, &m.mark8x12R, pEnd, pEnd, pEnd}, &g_ulRibbonTypeIndexR},
      {0, 1, &g_DonorMngColorSenL, {&m.color8x10K1L, &m.color8x12K1L, &m.color8x10K2L, &m.color8x12K2L, pEnd},
       &g_ulRibbonTypeIndexL},
      {1, 1, &g_DonorMngColorSenR, {&m.color8x10K1R, &m.color8x12K1R, &m.color8x10K2R, &m.color8x12K2R, pEnd},
       &g_ulRibbonTypeIndexR},
  };
  // Each unit's type word differs, so a model chosen by the previous unit's
  // word shows.
  g_ulRibbonTypeIndexL = 1;
  g_ulRibbonTypeIndexR = 3;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "unit " << c.ulUnit << " control type " << int{c.ucControlType});
    g_ucRibbonControlType = c.ucControlType;
    SelectUnit(c.ulUnit);
    EXPECT_EQ(g_pDonorMng, c.pManager);
    for (uint32_t i = 0; i < RIBBON_ROLL_ROW; ++i) EXPECT_EQ(g_pCurRibbonRolls[i], c.apRow[i]) << i;
    EXPECT_EQ(g_pCurRibbonTypeIndex, c.pulTypeWord);
    EXPECT_EQ(g_pRibbonRoll, c.apRow[*c.pulTypeWord]);
  }
  // A type word beyond the row names no model rather than a word past it.
  g_ulRibbonTypeIndexL = 9;
  SelectUnit(0);
  EXPECT_EQ(g_pRibbonRoll, nullptr);
}

}  // namespace
