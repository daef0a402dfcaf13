// The unit switch between print unit A (left, L) and unit B (right, R): the
// mechanism and print code works on the current unit through global
// pointers and error-index words that SelectUnit re-points all at once.
#pragma once

#include <cstdint>

#include "firmware/devices/analog_sensor.h"
#include "firmware/devices/chop_motor.h"
#include "firmware/devices/color_sensor.h"
#include "firmware/devices/digital_sensor.h"
#include "firmware/devices/fan.h"
#include "firmware/devices/io_port.h"
#include "firmware/devices/life_counter.h"
#include "firmware/devices/parameter.h"
#include "firmware/devices/slit.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/mechanism/ribbon_watchdogs.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/printengine/head_overheat.h"
#include "firmware/printengine/thv_control.h"

// The current-unit pointers in the order the switch writes them (the ribbon
// rows between the two lists): pointer type, pointer, unit A object, unit B
// object. Roles whose objects are not
// built yet join this list with them. The two side offsets cross over: the
// first is "Side B-R" on unit B.
#define UNIT_SWITCH_ROLES(R)                                                              \
  R(CHeadLift, g_pCurHeadLift, g_HeadLiftL, g_HeadLiftR)                                  \
  R(CAnalogSensor, g_pCurAdTop, g_AdTopL, g_AdTopR)                                       \
  R(CAnalogSensor, g_pCurAdRMark1, g_AdRMark1L, g_AdRMark1R)                              \
  R(CAnalogSensor, g_pCurAdRMark2, g_AdRMark2L, g_AdRMark2R)                              \
  R(CAnalogSensor, g_pCurAdRMark3, g_AdRMark3L, g_AdRMark3R)                              \
  R(CAnalogSensor, g_pCurAdRMark4, g_AdRMark4L, g_AdRMark4R)                              \
  R(CAnalogSensor, g_pCurAdHTherm, g_AdHThermL, g_AdHThermR)                              \
  R(CAnalogSensor, g_pCurAdBarcode, g_AdBarcodeL, g_AdBarcodeR)                           \
  R(CAnalogSensor, g_pCurAdCSen, g_AdCSenL, g_AdCSenR)                                    \
  R(CColorLed, g_pCurColorLedRed, g_ColorLedRedL, g_ColorLedRedR)                         \
  R(CColorLed, g_pCurColorLedGreen, g_ColorLedGreenL, g_ColorLedGreenR)                   \
  R(CColorLed, g_pCurColorLedBlue, g_ColorLedBlueL, g_ColorLedBlueR)                      \
  R(CColorSensor, g_pCurColorSensorRed, g_ColorSensorRedL, g_ColorSensorRedR)             \
  R(CColorSensor, g_pCurColorSensorGreen, g_ColorSensorGreenL, g_ColorSensorGreenR)       \
  R(CColorSensor, g_pCurColorSensorBlue, g_ColorSensorBlueL, g_ColorSensorBlueR)          \
  R(CColorSensorSet, g_pCurColorSensorSet, g_ColorSensorSetL, g_ColorSensorSetR)          \
  R(CParameter, g_pCurParamSliceBarcode, g_ParamSliceBarcodeL, g_ParamSliceBarcodeR)      \
  R(CParameter, g_pCurParamSliceRibbonColor, g_ParamSliceRibbonColorL,                    \
    g_ParamSliceRibbonColorR)                                                             \
  R(CSlit, g_pCurSlitRibEncDst, g_SlitRibEncDstL, g_SlitRibEncDstR)                      \
  R(CSlit, g_pCurSlitRibEncSrc, g_SlitRibEncSrcL, g_SlitRibEncSrcR)                      \
  R(CParameter, g_pCurParamCompRibInit, g_ParamCompRibInitL, g_ParamCompRibInitR)         \
  R(CChopMotor, g_pCurChopMotorRibSrc, g_ChopMotorRibSrcL, g_ChopMotorRibSrcR)           \
  R(CChopMotor, g_pCurChopMotorRibDst, g_ChopMotorRibDstL, g_ChopMotorRibDstR)           \
  R(CFanCrutch, g_pCurClutchRibRvs, g_ClutchRibRvsL, g_ClutchRibRvsR)                     \
  R(CFanCnt, g_pCurFanHead, g_FanHeadL, g_FanHeadR)                                       \
  R(CFanCnt, g_pCurFanSide, g_FanSideL, g_FanSideR)                                       \
  R(CDigitalSensor, g_pCurSensorUpperCover, g_SensorUpperCoverL, g_SensorUpperCoverR)     \
  R(CParameter, g_pCurParamDensityYmc, g_ParamDensityYmcL, g_ParamDensityYmcR)            \
  R(CParameter, g_pCurParamDensityLow, g_ParamDensityLowL, g_ParamDensityLowR)            \
  R(CParameter, g_pCurParamDensityLm, g_ParamDensityLmL, g_ParamDensityLmR)               \
  R(CParameter, g_pCurParamDensityMt, g_ParamDensityMtL, g_ParamDensityMtR)               \
  R(CParameter, g_pCurParamDensityMt2, g_ParamDensityMt2L, g_ParamDensityMt2R)            \
  R(CParameter, g_pCurParamDensityLmMinor, g_ParamDensityLmMinorL, g_ParamDensityLmMinorR) \
  R(CParameter, g_pCurParamDensityMtMinor, g_ParamDensityMtMinorL, g_ParamDensityMtMinorR) \
  R(CParameter, g_pCurParamDensityMt2Minor, g_ParamDensityMt2MinorL,                      \
    g_ParamDensityMt2MinorR)                                                              \
  R(CParameter, g_pCurParamDensitySp, g_ParamDensitySpL, g_ParamDensitySpR)               \
  R(CParameter, g_pCurParamDonorKeep, g_ParamDonorKeepA, g_ParamDonorKeepB)

// The pointers written after the ribbon rows.
#define UNIT_SWITCH_ROLES_AFTER_RIBBON(R)                                                 \
  R(uint32_t, g_pCurSlackTakeUpCount, g_ulSlackTakeUpCountL, g_ulSlackTakeUpCountR)       \
  R(CParameter, g_pCurParamTopOffset, g_ParamTopOffsetL, g_ParamTopOffsetR)               \
  R(CParameter, g_pCurParamSide1, g_ParamSideAL, g_ParamSideBR)                           \
  R(CParameter, g_pCurParamSide2, g_ParamSideAR, g_ParamSideBL)                           \
  R(CParameter, g_pCurParamSensorOffset, g_ParamSensorOffsetL, g_ParamSensorOffsetR)      \
  R(CParameter, g_pCurParamCutterOffset, g_ParamCutterOffsetL, g_ParamCutterOffsetR)      \
  R(CParameter, g_pCurParamBorderOffset, g_ParamBorderOffsetL, g_ParamBorderOffsetR)      \
  R(COutputPortLong, g_pCurPortHeadPower, g_PortHeadPowerL, g_PortHeadPowerR)             \
  R(CLifeCounter, g_pCurCounterTotalLength, g_CounterTotalLengthL, g_CounterTotalLengthR) \
  R(CLifeCounter, g_pCurCounterMntLength, g_CounterMntLengthL, g_CounterMntLengthR)       \
  R(CLifeCounter, g_pCurCounterTotal, g_CounterTotalL, g_CounterTotalR)                   \
  R(CLifeCounter, g_pCurCounterMnt, g_CounterMntL, g_CounterMntR)                         \
  R(CLifeCounter, g_pCurCounterMediaPrn, g_CounterMediaPrnL, g_CounterMediaPrnR)          \
  R(CLifeCounter, g_pCurCounterHeadLength, g_CounterHeadLengthL, g_CounterHeadLengthR)    \
  R(CLifeCounter, g_pCurCounterHeadPrints, g_CounterHeadPrintsL, g_CounterHeadPrintsR)    \
  R(CJamCheckRibbon, g_pCurJamCheckRibbon, g_JamCheckRibbonL, g_JamCheckRibbonR)          \
  R(CLockCheckRibbon, g_pCurLockCheckRibbon, g_LockCheckRibbonL, g_LockCheckRibbonR)    \
  R(CHeadOverheat, g_pCurHeadOverheat, g_HeadOverheatL, g_HeadOverheatR)                \
  R(CThvCnt, g_pCurThvY, g_ThvYL, g_ThvYR)                                                \
  R(CThvCnt, g_pCurThvM, g_ThvML, g_ThvMR)                                                \
  R(CThvCnt, g_pCurThvC, g_ThvCL, g_ThvCR)                                                \
  R(CThvCnt, g_pCurThvOP, g_ThvOPL, g_ThvOPR)                                             \
  R(CThvCnt, g_pCurThvMatte, g_ThvMatteL, g_ThvMatteR)                                    \
  R(CThvCnt, g_pCurThvSP, g_ThvSPL, g_ThvSPR)

// The error index each unit raises for one condition: word, unit A index,
// unit B's distance from it (the jam rows of unit B lie 100 rows further,
// the ribbon rows one row).
#define UNIT_SWITCH_ERROR_WORDS(E)       \
  E(g_ulCurErrRibbonEmpty, 0x1603u, 1u)  \
  E(g_ulCurErrIncorrectRib, 0x1600u, 1u) \
  E(g_ulCurErrUpperJam03, 0x1503u, 100u) \
  E(g_ulCurErrUpperJam05, 0x1505u, 100u) \
  E(g_ulCurErrUpperJam08, 0x1508u, 100u) \
  E(g_ulCurErrUpperJam09, 0x1509u, 100u) \
  E(g_ulCurErrUpperJam11, 0x150Bu, 100u) \
  E(g_ulCurErrUpperJam12, 0x150Cu, 100u) \
  E(g_ulCurErrUpperJam13, 0x150Du, 100u) \
  E(g_ulCurErrUpperJam14, 0x150Eu, 100u) \
  E(g_ulCurErrUpperJam21, 0x1515u, 100u) \
  E(g_ulCurErrUpperJam31, 0x151Fu, 100u) \
  E(g_ulCurErrUpperJam35, 0x1523u, 100u) \
  E(g_ulCurErrUpperJam41, 0x1529u, 100u) \
  E(g_ulCurErrUpperJam42, 0x152Au, 100u) \
  E(g_ulCurErrUpperJam51, 0x1533u, 100u) \
  E(g_ulCurErrUpperJam55, 0x1537u, 100u) \
  E(g_ulCurErrUpperJam56, 0x1538u, 100u) \
  E(g_ulCurErrUpperJam60, 0x153Cu, 100u) \
  E(g_ulCurErrUpperJam61, 0x153Du, 100u) \
  E(g_ulCurErrUpperJam62, 0x153Eu, 100u) \
  E(g_ulCurErrUpperJam63, 0x153Fu, 100u) \
  E(g_ulCurErrUpperJam64, 0x1540u, 100u) \
  E(g_ulCurErrUpperJam65, 0x1541u, 100u) \
  E(g_ulCurErrUpperJam66, 0x1542u, 100u) \
  E(g_ulCurErrUpperJam67, 0x1543u, 100u) \
  E(g_ulCurErrUpperJam68, 0x1544u, 100u)

#define UNIT_SWITCH_DECLARE_ROLE(type, pointer, ...) extern type* pointer;
#define UNIT_SWITCH_DECLARE_ERROR_WORD(word, ...) extern uint32_t word;
UNIT_SWITCH_ROLES(UNIT_SWITCH_DECLARE_ROLE)
UNIT_SWITCH_ROLES_AFTER_RIBBON(UNIT_SWITCH_DECLARE_ROLE)
UNIT_SWITCH_ERROR_WORDS(UNIT_SWITCH_DECLARE_ERROR_WORD)
#undef UNIT_SWITCH_DECLARE_ROLE
#undef UNIT_SWITCH_DECLARE_ERROR_WORD

// The current unit's row of ribbon-roll models (ribbon_roll.h), copied by
// the switch.
extern CRibbonRoll* g_pCurRibbonRolls[RIBBON_ROLL_ROW];
// The current unit's ribbon-type word, and the model it selects in the row.
extern uint32_t* g_pCurRibbonTypeIndex;
extern CRibbonRoll* g_pRibbonRoll;

// The current unit as last passed to SelectUnit: 0 unit A, 1 unit B.
extern uint32_t g_ulCurrentUnit;

// 0 selects unit A, any other value unit B; re-points every current-unit
// pointer and error-index word, then reloads the unit's dummy lines and
// returns the reload's result. Only addresses are stored, so it may run
// while the objects named are still being built.
int32_t SelectUnit(uint32_t arg_ulUnit);
uint32_t GetCurrentUnit();
