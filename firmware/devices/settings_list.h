// The machine's settings as data, in construction order, one group per
// place of the construction list:
//   S(object, label, minimum, maximum, main cell address or 0 for RAM,
//     head cells, head cell address, default)
// Head cells: SETTING_HEAD_NONE; SETTING_HEAD_UNIT_L / SETTING_HEAD_UNIT_R
// (the unit's own head EEPROM, in the first slot); SETTING_HEAD_BOTH (unit L
// first, unit R second).
#pragma once

#define SETTING_BLANK_LABEL "                                "

// Feed-roll diameter, steps per line and the exit-print comparator level.
#define SETTINGS_MECHANISM_BASICS(S)                                                          \
  S(g_ParamFeedRollDiam, "FeedRollDiam     ", 0, 255, 381, SETTING_HEAD_NONE, 0, 0)           \
  S(g_ParamStpLx1000, "Stp/Lx1000       ", 1000, 8000, 0, SETTING_HEAD_NONE, 0, 4000)         \
  S(g_ParamSliceExitPrint1, "ExitPrint1       ", 0, 255, 0, SETTING_HEAD_NONE, 0, 127)

// The A/D slice levels: those in RAM, then those stored.
#define SETTINGS_SLICE_LEVELS(S)                                                              \
  S(g_ParamSliceHeadThermL, "HeadTherm L     ", 0, 255, 0, SETTING_HEAD_NONE, 0, 128)         \
  S(g_ParamSliceHeadThermR, "HeadTherm R     ", 0, 255, 0, SETTING_HEAD_NONE, 0, 128)         \
  S(g_ParamSliceEnvTherm, "EnvTherm        ", 0, 255, 0, SETTING_HEAD_NONE, 0, 128)           \
  S(g_ParamSliceEnvHumid, "EnvHumid        ", 0, 255, 0, SETTING_HEAD_NONE, 0, 128)           \
  S(g_ParamSliceSPRibEndL, "SPRibEnd L      ", 0, 255, 0, SETTING_HEAD_NONE, 0, 128)          \
  S(g_ParamSliceSPRibEndR, "SPRibEnd R      ", 0, 255, 0, SETTING_HEAD_NONE, 0, 128)          \
  S(g_ParamSliceCISOutVol, "CISOutVol       ", 0, 255, 0, SETTING_HEAD_NONE, 0, 128)          \
  S(g_ParamSliceCISLEDVol, "CISLEDVol       ", 0, 255, 0, SETTING_HEAD_NONE, 0, 128)          \
  S(g_ParamSliceEnvTherm2, "EnvTherm 2      ", 0, 255, 0, SETTING_HEAD_NONE, 0, 128)          \
  S(g_ParamSliceReserve1, "Reserve1        ", 0, 255, 0, SETTING_HEAD_NONE, 0, 128)           \
  S(g_ParamSliceReserve2, "Reserve2        ", 0, 255, 0, SETTING_HEAD_NONE, 0, 128)           \
  S(g_ParamSliceReserve3, "Reserve3        ", 0, 255, 0, SETTING_HEAD_NONE, 0, 128)           \
  S(g_ParamSliceRibbonColorL, "RibbonColorL    ", 0, 255, 0, SETTING_HEAD_NONE, 0, 128)       \
  S(g_ParamSliceRibbonColorR, "RibbonColorR    ", 0, 255, 0, SETTING_HEAD_NONE, 0, 128)       \
  S(g_ParamSliceBarcodeL, "Barcode L       ", 0, 255, 0, SETTING_HEAD_NONE, 0, 128)           \
  S(g_ParamSliceBarcodeR, "Barcode R       ", 0, 255, 0, SETTING_HEAD_NONE, 0, 128)           \
  S(g_ParamSliceRollEdge, "RollEdge        ", 0, 255, 0, SETTING_HEAD_NONE, 0, 128)           \
  S(g_ParamSlice24Vol, "24Vol           ", 0, 255, 0, SETTING_HEAD_NONE, 0, 212)              \
  S(g_ParamSliceExitPrint, "ExitPrint       ", 0, 255, 161, SETTING_HEAD_NONE, 0, 113)        \
  S(g_ParamSlicePaperEnd, "PaperEnd        ", 0, 255, 154, SETTING_HEAD_NONE, 0, 113)         \
  S(g_ParamSliceTopL, "Top L           ", 0, 255, 155, SETTING_HEAD_NONE, 0, 113)             \
  S(g_ParamSliceTopR, "Top R           ", 0, 255, 158, SETTING_HEAD_NONE, 0, 113)             \
  S(g_ParamSlicePosition, "Position        ", 0, 255, 153, SETTING_HEAD_NONE, 0, 113)         \
  S(g_ParamSlicePaperPath, "PaperPath       ", 0, 255, 152, SETTING_HEAD_NONE, 0, 113)        \
  S(g_ParamSliceRMark1L, "R.Mark1 L       ", 0, 255, 144, SETTING_HEAD_NONE, 0, 128)          \
  S(g_ParamSliceRMark1R, "R.Mark1 R       ", 0, 255, 148, SETTING_HEAD_NONE, 0, 128)          \
  S(g_ParamSliceRMark2L, "R.Mark2 L       ", 0, 255, 145, SETTING_HEAD_NONE, 0, 128)          \
  S(g_ParamSliceRMark2R, "R.Mark2 R       ", 0, 255, 149, SETTING_HEAD_NONE, 0, 128)          \
  S(g_ParamSliceRMark3L, "R.Mark3 L       ", 0, 255, 146, SETTING_HEAD_NONE, 0, 128)          \
  S(g_ParamSliceRMark3R, "R.Mark3 R       ", 0, 255, 150, SETTING_HEAD_NONE, 0, 128)          \
  S(g_ParamSliceRMark4L, "R.Mark4 L       ", 0, 255, 147, SETTING_HEAD_NONE, 0, 128)          \
  S(g_ParamSliceRMark4R, "R.Mark4 R       ", 0, 255, 151, SETTING_HEAD_NONE, 0, 128)

// The head voltages; their fourteen cells are built as one block before them.
#define SETTINGS_HEAD_VOLTAGE(S)                                                              \
  S(g_ParamThvYL, "THV Y L         ", 280, 1023, 224, SETTING_HEAD_NONE, 0, 776)              \
  S(g_ParamThvYR, "THV Y R         ", 280, 1023, 240, SETTING_HEAD_NONE, 0, 776)              \
  S(g_ParamThvML, "THV M L         ", 280, 1023, 226, SETTING_HEAD_NONE, 0, 776)              \
  S(g_ParamThvMR, "THV M R         ", 280, 1023, 242, SETTING_HEAD_NONE, 0, 776)              \
  S(g_ParamThvCL, "THV C L         ", 280, 1023, 228, SETTING_HEAD_NONE, 0, 776)              \
  S(g_ParamThvCR, "THV C R         ", 280, 1023, 244, SETTING_HEAD_NONE, 0, 776)              \
  S(g_ParamThvOPL, "THV OP L        ", 280, 1023, 232, SETTING_HEAD_NONE, 0, 776)             \
  S(g_ParamThvOPR, "THV OP R        ", 280, 1023, 248, SETTING_HEAD_NONE, 0, 776)             \
  S(g_ParamThvMatteL, "THV MATTE L     ", 280, 1023, 230, SETTING_HEAD_NONE, 0, 776)          \
  S(g_ParamThvMatteR, "THV MATTE R     ", 280, 1023, 246, SETTING_HEAD_NONE, 0, 776)          \
  S(g_ParamThvSPL, "THV SP L        ", 280, 1023, 236, SETTING_HEAD_NONE, 0, 776)             \
  S(g_ParamThvSPR, "THV SP R        ", 280, 1023, 252, SETTING_HEAD_NONE, 0, 776)             \
  S(g_ParamThvPheatL, "THV PHEAT L     ", 280, 1023, 234, SETTING_HEAD_NONE, 0, 776)          \
  S(g_ParamThvPheatR, "THV PHEAT R     ", 280, 1023, 250, SETTING_HEAD_NONE, 0, 776)

// The positions, between the counters and the two counters that follow them.
#define SETTINGS_POSITIONS(S)                                                                 \
  S(g_ParamMainPinStatus, "MainPinStatus   ", 0, 255, 384, SETTING_HEAD_NONE, 0, 0)           \
  S(g_ParamLoadTarget, "Load Target     ", 1, 100, 0, SETTING_HEAD_NONE, 0, 5)                \
  S(g_ParamSetTarget, "Set Target      ", 1, 400, 0, SETTING_HEAD_NONE, 0, 1)

// Offsets, state flags, ribbon, energy save, motor duties and pulses.
#define SETTINGS_MECHANISM(S)                                                                 \
  S(g_ParamTopOffsetL, "Top L           ", -32, 32, 164, SETTING_HEAD_NONE, 0, 0)             \
  S(g_ParamSideAL, "Side A-L        ", -32, 32, 166, SETTING_HEAD_NONE, 0, 0)                 \
  S(g_ParamSideAR, "Side A-R        ", -32, 32, 167, SETTING_HEAD_NONE, 0, 0)                 \
  S(g_ParamSensorOffsetL, "Sensor L        ", -32, 32, 165, SETTING_HEAD_NONE, 0, 0)          \
  S(g_ParamCutterOffsetL, "Cutter L        ", -64, 64, 175, SETTING_HEAD_NONE, 0, 0)          \
  S(g_ParamTopOffsetR, "Top R           ", -32, 32, 171, SETTING_HEAD_NONE, 0, 0)             \
  S(g_ParamSideBR, "Side B-R        ", -32, 32, 170, SETTING_HEAD_NONE, 0, 0)                 \
  S(g_ParamSideBL, "Side B-L        ", -32, 32, 173, SETTING_HEAD_NONE, 0, 0)                 \
  S(g_ParamSensorOffsetR, "Sensor R        ", -32, 32, 172, SETTING_HEAD_NONE, 0, 0)          \
  S(g_ParamCutterOffsetR, "Cutter R        ", -64, 64, 176, SETTING_HEAD_NONE, 0, 0)          \
  S(g_ParamTopOffsetSP, "Top SP          ", -128, 127, 174, SETTING_HEAD_NONE, 0, 0)          \
  S(g_ParamRollBackFlag, "RollBack Flag   ", 0, 5, 126, SETTING_HEAD_NONE, 0, 0)              \
  S(g_ParamRotationFlag, "Rotation Flag   ", 0, 5, 127, SETTING_HEAD_NONE, 0, 0)              \
  S(g_ParamRotationLockFlag, "RotationLockFlag", 0, 2, 197, SETTING_HEAD_NONE, 0, 0)          \
  S(g_ParamPrintpathFlag, "Printpath Flag  ", 0, 5, 128, SETTING_HEAD_NONE, 0, 0)             \
  S(g_ParamDonorKeepA, "DonorKeepA      ", 0, 500, 140, SETTING_HEAD_NONE, 0, 0)              \
  S(g_ParamDonorKeepB, "DonorKeepB      ", 0, 500, 142, SETTING_HEAD_NONE, 0, 0)              \
  S(g_ParamDonorHomePosi, "DonorHomePosi    ", 0, 65535, 132, SETTING_HEAD_NONE, 0, 32768)    \
  S(g_ParamEnergySave, SETTING_BLANK_LABEL, 0, 1, 119, SETTING_HEAD_NONE, 0, 0)               \
  S(g_ParamWaitTime, "Time [sec]      ", 0, 100, 118, SETTING_HEAD_NONE, 0, 1)                \
  S(g_ParamRollUpDs, "RollUp Ds[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 80)                 \
  S(g_ParamRollUpSr, "RollUp Sr[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 0)                  \
  S(g_ParamRollBackD, "RollBackD[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 32)                \
  S(g_ParamRollBackS, "RollBackS[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)               \
  S(g_ParamRollBackInitD, "RolBackID[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 0)             \
  S(g_ParamRollBackInitS, "RolBackIS[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)           \
  S(g_ParamTensionD, "Tension D[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 40)                 \
  S(g_ParamTensionS, "Tension S[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)                \
  S(g_ParamInitialD, "Initial D[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 60)                 \
  S(g_ParamInitialS, "Initial S[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)                \
  S(g_ParamCalibDs, "Calib Ds[%]     ", 0, 100, 0, SETTING_HEAD_NONE, 0, 60)                  \
  S(g_ParamCalibSr, "Calib Sr[%]     ", 0, 100, 0, SETTING_HEAD_NONE, 0, 0)                   \
  S(g_ParamRollUpAPD, "RollUpAPD[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 80)                \
  S(g_ParamRollUpAPS, "RollUpAPS[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 0)                 \
  S(g_ParamPrintYD, "Print Y D[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 0)                   \
  S(g_ParamPrintMD, "Print M D[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 0)                   \
  S(g_ParamPrintCD, "Print C D[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 0)                   \
  S(g_ParamPrintLD, "Print L D[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 0)                   \
  S(g_ParamPrintYS, "Print Y S[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 0)                   \
  S(g_ParamPrintMS, "Print M S[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 0)                   \
  S(g_ParamPrintCS, "Print C S[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 0)                   \
  S(g_ParamPrintLS, "Print L S[%]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 0)                   \
  S(g_ParamHeadYmcUpPulse, "U x100[uSec]    ", 1, 200, 0, SETTING_HEAD_NONE, 0, 8)            \
  S(g_ParamHeadYmcDownPulse, "D x100[uSec]    ", 1, 200, 0, SETTING_HEAD_NONE, 0, 8)          \
  S(g_ParamHeadOPUpPulse, "U x100[uSec]    ", 1, 200, 0, SETTING_HEAD_NONE, 0, 8)             \
  S(g_ParamHeadOPDownPulse, "D x100[uSec]    ", 1, 200, 0, SETTING_HEAD_NONE, 0, 8)           \
  S(g_ParamPinchPulse1, "#1x100[uSec]    ", 1, 200, 0, SETTING_HEAD_NONE, 0, 8)               \
  S(g_ParamPinchPulse2, "#2x100[uSec]    ", 1, 200, 0, SETTING_HEAD_NONE, 0, 8)               \
  S(g_ParamPinchPulse3, "#3x100[uSec]    ", 1, 200, 0, SETTING_HEAD_NONE, 0, 8)               \
  S(g_ParamPinchPulse4, "#4x100[uSec]    ", 1, 200, 0, SETTING_HEAD_NONE, 0, 8)               \
  S(g_ParamEjectPinchUpPulse, "U x100[uSec]    ", 1, 200, 0, SETTING_HEAD_NONE, 0, 8)         \
  S(g_ParamEjectPinchDownPulse, "D x100[uSec]    ", 1, 200, 0, SETTING_HEAD_NONE, 0, 8)       \
  S(g_ParamRotLockPulse1, "#1x100[uSec]    ", 1, 200, 0, SETTING_HEAD_NONE, 0, 8)             \
  S(g_ParamRotLockPulse2, "#1x100[uSec]    ", 1, 200, 0, SETTING_HEAD_NONE, 0, 8)             \
  S(g_ParamEjectMotorPulse, "Mx100[uSec]     ", 1, 200, 0, SETTING_HEAD_NONE, 0, 8)           \
  S(g_ParamLoadBarUpPulse, "U x100[uSec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)          \
  S(g_ParamLoadBarDownPulse, "D x100[uSec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)        \
  S(g_ParamHeadYmcUpDuty, "UpDuty[%]       ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)           \
  S(g_ParamHeadYmcDownDuty, "DownDuty[%]     ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)         \
  S(g_ParamHeadOPUpDuty, "UpDuty[%]       ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)            \
  S(g_ParamHeadOPDownDuty, "DownDuty[%]     ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)          \
  S(g_ParamPinchDuty1, "Duty1[%]        ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)              \
  S(g_ParamPinchDuty2, "Duty2[%]        ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)              \
  S(g_ParamPinchDuty3, "Duty3[%]        ", 0, 100, 0, SETTING_HEAD_NONE, 0, 60)               \
  S(g_ParamPinchDuty4, "Duty4[%]        ", 0, 100, 0, SETTING_HEAD_NONE, 0, 60)               \
  S(g_ParamLoadPinchUpDuty, "UpDuty[%]       ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)         \
  S(g_ParamEjectPinchDuty1, "UpDuty[%]       ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)         \
  S(g_ParamEjectPinchDuty2, "UpDuty[%]       ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)         \
  S(g_ParamEjectPinchDownDuty, "DownDuty[%]     ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)      \
  S(g_ParamRotLockUnlockDuty1, "Unlock[%]       ", 0, 100, 0, SETTING_HEAD_NONE, 0, 60)       \
  S(g_ParamRotLockUnlockDuty2, "Unlock[%]       ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)      \
  S(g_ParamRotLockLockDuty, "lock[%]         ", 0, 100, 0, SETTING_HEAD_NONE, 0, 60)          \
  S(g_ParamEjectMotorDuty, "MoveDuty[%]     ", 0, 100, 0, SETTING_HEAD_NONE, 0, 60)           \
  S(g_ParamLoadBarUpDuty, "UpDuty[%]       ", 0, 100, 0, SETTING_HEAD_NONE, 0, 100)           \
  S(g_ParamLoadBarDownDuty, "DownDuty[%]     ", 0, 100, 0, SETTING_HEAD_NONE, 0, 60)          \
  S(g_ParamTensionYmc, "Tnsion x100     ", 0, 50, 0, SETTING_HEAD_NONE, 0, 5)                 \
  S(g_ParamTensionL, "Tnsion x100     ", 0, 50, 0, SETTING_HEAD_NONE, 0, 5)                   \
  S(g_ParamTensionMatte, "Tnsion x100     ", 0, 50, 0, SETTING_HEAD_NONE, 0, 4)               \
  S(g_ParamTensionSP, "Tnsion x100     ", 0, 50, 0, SETTING_HEAD_NONE, 0, 9)                  \
  S(g_ParamRibbonDtLine, "R-DT Line       ", 0, 1000, 0, SETTING_HEAD_NONE, 0, 360)

// Ten dummy-line settings of one print size and unit: front, then rear.
#define SETTINGS_FRONT_DUMMY(S, size, unit)                                                      \
  S(g_ParamFrontDummyY##size##unit, "FrontDummyY     ", 10, 500, 0, SETTING_HEAD_NONE, 0, 66)    \
  S(g_ParamFrontDummyM##size##unit, "FrontDummyM     ", 10, 500, 0, SETTING_HEAD_NONE, 0, 170)   \
  S(g_ParamFrontDummyC##size##unit, "FrontDummyC     ", 10, 500, 0, SETTING_HEAD_NONE, 0, 200)   \
  S(g_ParamFrontDummyL##size##unit, "FrontDummyL     ", 10, 500, 0, SETTING_HEAD_NONE, 0, 180)   \
  S(g_ParamFrontDummySP##size##unit, "FrontDummySP    ", 10, 500, 0, SETTING_HEAD_NONE, 0, 300)
#define SETTINGS_REAR_DUMMY(S, size, unit)                                                       \
  S(g_ParamRearDummyY##size##unit, "RearDummyY      ", 10, 500, 0, SETTING_HEAD_NONE, 0, 82)     \
  S(g_ParamRearDummyM##size##unit, "RearDummyM      ", 10, 500, 0, SETTING_HEAD_NONE, 0, 82)     \
  S(g_ParamRearDummyC##size##unit, "RearDummyC      ", 10, 500, 0, SETTING_HEAD_NONE, 0, 82)     \
  S(g_ParamRearDummyL##size##unit, "RearDummyL      ", 10, 500, 0, SETTING_HEAD_NONE, 0, 118)    \
  S(g_ParamRearDummySP##size##unit, "RearDummySP     ", 10, 500, 0, SETTING_HEAD_NONE, 0, 300)

// Dummy lines, tone curve, matte, print control, head information,
// densities, pre-heat, head protection, fans, keys, backup and engine.
#define SETTINGS_PRINT(S)                                                                     \
  SETTINGS_FRONT_DUMMY(S, 8x10, L)                                                            \
  SETTINGS_FRONT_DUMMY(S, 8x10, R)                                                            \
  SETTINGS_REAR_DUMMY(S, 8x10, L)                                                             \
  SETTINGS_REAR_DUMMY(S, 8x10, R)                                                             \
  SETTINGS_FRONT_DUMMY(S, 8x12, L)                                                            \
  SETTINGS_FRONT_DUMMY(S, 8x12, R)                                                            \
  SETTINGS_REAR_DUMMY(S, 8x12, L)                                                             \
  SETTINGS_REAR_DUMMY(S, 8x12, R)                                                             \
  S(g_ParamTonecurveNo, "TonecurveNo.    ", 0, 1, 121, SETTING_HEAD_NONE, 0, 0)               \
  S(g_ParamMatteRel1, "Matte Rel.1     ", 0, 255, 111, SETTING_HEAD_NONE, 0, 0)               \
  S(g_ParamMatteRel2, "Matte Rel.2     ", 0, 255, 112, SETTING_HEAD_NONE, 0, 10)              \
  S(g_ParamMatteRel3, "Matte Rel.3     ", 0, 255, 113, SETTING_HEAD_NONE, 0, 20)              \
  S(g_ParamMatteRel4, "Matte Rel.4     ", 0, 255, 114, SETTING_HEAD_NONE, 0, 30)              \
  S(g_ParamMatteAdjust, "Matte Adjust    ", -25, 25, 115, SETTING_HEAD_NONE, 0, 0)            \
  S(g_ParamMatteMode, "Matte Mode      ", 0, 1, 0, SETTING_HEAD_NONE, 0, 1)                   \
  S(g_ParamMatteGloss, "Matte Gloss     ", 0, 255, 66, SETTING_HEAD_NONE, 0, 105)             \
  S(g_ParamDeGlossBlk, "DeGloss Blk     ", 0, 255, 67, SETTING_HEAD_NONE, 0, 195)             \
  S(g_ParamDeGlossWht, "DeGloss Wht     ", 0, 255, 68, SETTING_HEAD_NONE, 0, 205)             \
  S(g_ParamHeatControl, "Heat Control    ", 0, 1, 0, SETTING_HEAD_NONE, 0, 1)                 \
  S(g_ParamHumidCorrect, "HumidCorrect    ", 0, 1, 0, SETTING_HEAD_NONE, 0, 1)                \
  S(g_ParamOpLevel, "OP Level        ", -1, 255, 0, SETTING_HEAD_NONE, 0, -1)                 \
  S(g_ParamHeadRev1, SETTING_BLANK_LABEL, 0, 255, 29, SETTING_HEAD_BOTH, 76, 48)              \
  S(g_ParamHeadRev2, SETTING_BLANK_LABEL, 0, 255, 30, SETTING_HEAD_BOTH, 77, 48)              \
  S(g_ParamHeadRevInt1, SETTING_BLANK_LABEL, 0, 255, 31, SETTING_HEAD_BOTH, 78, 48)           \
  S(g_ParamHeadRevInt2, SETTING_BLANK_LABEL, 0, 255, 32, SETTING_HEAD_BOTH, 79, 48)           \
  S(g_ParamDensityYmcL, "DensityYMC      ", 0, 200, 58, SETTING_HEAD_UNIT_L, 64, 100)         \
  S(g_ParamDensityYmcR, "DensityYMC      ", 0, 200, 80, SETTING_HEAD_UNIT_R, 64, 100)         \
  S(g_ParamDensityLowL, "DensityLow      ", 0, 250, 59, SETTING_HEAD_UNIT_L, 65, 100)         \
  S(g_ParamDensityLowR, "DensityLow      ", 0, 250, 81, SETTING_HEAD_UNIT_R, 65, 100)         \
  S(g_ParamDensityLmL, "DensityLm       ", 0, 255, 60, SETTING_HEAD_UNIT_L, 66, 100)          \
  S(g_ParamDensityLmR, "DensityLm       ", 0, 255, 82, SETTING_HEAD_UNIT_R, 66, 100)          \
  S(g_ParamDensityMtL, "DensityMt       ", 0, 255, 62, SETTING_HEAD_UNIT_L, 68, 100)          \
  S(g_ParamDensityMtR, "DensityMt       ", 0, 255, 84, SETTING_HEAD_UNIT_R, 68, 100)          \
  S(g_ParamDensityMt2L, "DensityMt2      ", 0, 255, 64, SETTING_HEAD_UNIT_L, 70, 100)         \
  S(g_ParamDensityMt2R, "DensityMt2      ", 0, 255, 86, SETTING_HEAD_UNIT_R, 70, 100)         \
  S(g_ParamDensityLmMinorL, "Density Lm Minor", 0, 9, 61, SETTING_HEAD_UNIT_L, 67, 0)         \
  S(g_ParamDensityLmMinorR, "Density Lm Minor", 0, 9, 83, SETTING_HEAD_UNIT_R, 67, 0)         \
  S(g_ParamDensityMtMinorL, "Density Mt2Minor", 0, 9, 63, SETTING_HEAD_UNIT_L, 69, 0)         \
  S(g_ParamDensityMtMinorR, "Density Mt2Minor", 0, 9, 85, SETTING_HEAD_UNIT_R, 69, 0)         \
  S(g_ParamDensityMt2MinorL, "Density Mt2Minor", 0, 9, 65, SETTING_HEAD_UNIT_L, 71, 0)        \
  S(g_ParamDensityMt2MinorR, "Density Mt2Minor", 0, 9, 87, SETTING_HEAD_UNIT_R, 71, 0)        \
  S(g_ParamDensitySpL, "DensitySP       ", 0, 200, 102, SETTING_HEAD_UNIT_L, 72, 100)         \
  S(g_ParamDensitySpR, "DensitySP       ", 0, 200, 103, SETTING_HEAD_UNIT_R, 72, 100)         \
  S(g_ParamPreheatDuty, "Preheat Duty    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)              \
  S(g_ParamPreheatOff, "Preheat Off     ", -1, 255, 0, SETTING_HEAD_NONE, 0, -1)              \
  S(g_ParamPreheatOn, "Preheat On      ", -1, 255, 0, SETTING_HEAD_NONE, 0, -1)               \
  S(g_ParamPreheatKeep, "Preheat Keep    ", -1, 120, 0, SETTING_HEAD_NONE, 0, -1)             \
  S(g_ParamPreheatCount1, "Counterx100     ", 0, 1200, 0, SETTING_HEAD_NONE, 0, 20)           \
  S(g_ParamPreheatCount2, "Counterx100     ", 0, 1200, 0, SETTING_HEAD_NONE, 0, 200)          \
  S(g_ParamPreheatSW, "Preheat SW      ", 0, 1, 0, SETTING_HEAD_NONE, 0, 1)                   \
  S(g_ParamTProtectOn, "TProtect On     ", 0, 256, 0, SETTING_HEAD_NONE, 0, 53)               \
  S(g_ParamTProtectOff, "TProtect Off    ", 0, 256, 0, SETTING_HEAD_NONE, 0, 53)              \
  S(g_ParamTProtectLLv, "TProtectL Lv    ", 0, 256, 179, SETTING_HEAD_NONE, 0, 78)            \
  S(g_ParamTProtectLSW, "TProtectL SW    ", 0, 1, 178, SETTING_HEAD_NONE, 0, 0)               \
  S(g_ParamFanOn, "Fan On          ", -1, 256, 0, SETTING_HEAD_NONE, 0, -1)                   \
  S(g_ParamFanOff, "Fan Off         ", -1, 256, 0, SETTING_HEAD_NONE, 0, -1)                  \
  S(g_ParamKeyEnable, "Key Enable       ", 0, 1, 380, SETTING_HEAD_NONE, 0, 1)                \
  S(g_ParamReclaimLLv, "ReclaimL Lv.     ", 0, 256, 0, SETTING_HEAD_NONE, 0, 200)             \
  S(g_ParamReclaimNLv, "ReclaimN Lv.     ", 0, 256, 0, SETTING_HEAD_NONE, 0, 200)             \
  S(g_ParamReclaimL2Lv, "ReclaimL2Lv.     ", 0, 256, 0, SETTING_HEAD_NONE, 0, 200)            \
  S(g_ParamRibDummy, "Rib Dummy       ", 0, 500, 0, SETTING_HEAD_NONE, 0, 50)                 \
  S(g_ParamEepromBackup, "Eeprom Backup   ", 0, 1, 120, SETTING_HEAD_NONE, 0, 1)              \
  S(g_ParamEngineVersion, "Engine Version  ", 1, 5, 28, SETTING_HEAD_NONE, 0, 5)

// Mechanism tuning, paper, slits and slack, units, waits, print misc, CIS
// and track correction.
#define SETTINGS_SERVICE(S)                                                                   \
  S(g_ParamAmplitudeRate1, "Rate1[%]        ", 0, 50, 0, SETTING_HEAD_NONE, 0, 0)             \
  S(g_ParamAmplitudeRate2, "Rate2[%]        ", 0, 50, 0, SETTING_HEAD_NONE, 0, 0)             \
  S(g_ParamImprintText, SETTING_BLANK_LABEL, 0, 1, 0, SETTING_HEAD_NONE, 0, 0)                \
  S(g_ParamTuningSwitch, SETTING_BLANK_LABEL, 0, 1, 0, SETTING_HEAD_NONE, 0, 0)               \
  S(g_ParamSkewCycle, "Skew Cycle      ", 1, 500, 0, SETTING_HEAD_NONE, 0, 2)                 \
  S(g_ParamSkewLine, "Line            ", 0, 1200, 0, SETTING_HEAD_NONE, 0, 1200)              \
  S(g_ParamSkewWait, "Wait(x10mS)     ", 0, 50, 0, SETTING_HEAD_NONE, 0, 12)                  \
  S(g_ParamPrecutExitRollUp, "PRec-ExRlUp     ", 0, 1000, 0, SETTING_HEAD_NONE, 0, 118)       \
  S(g_ParamDonorIniPosi, "D-IniPosi       ", 50, 1000, 0, SETTING_HEAD_NONE, 0, 120)          \
  S(g_ParamDonorIniPosiDef, "D-IniPosiDef    ", 100, 1000, 0, SETTING_HEAD_NONE, 0, 60)       \
  S(g_ParamHeadLogOffset, "H-LogOffset     ", 0, 2463, 0, SETTING_HEAD_NONE, 0, 1232)         \
  S(g_ParamTensionSlit, "Tension Slit    ", 1, 200, 0, SETTING_HEAD_NONE, 0, 1)               \
  S(g_ParamPaperMode, "Paper Mode         ", 0, 1, 192, SETTING_HEAD_NONE, 0, 0)              \
  S(g_ParamPaperLength1, "Length[mm]      ", 0, 50, 0, SETTING_HEAD_NONE, 0, 2)               \
  S(g_ParamPaperDuty1, "Duty[%]         ", 0, 100, 0, SETTING_HEAD_NONE, 0, 30)               \
  S(g_ParamPaperLength2, "Length[mm]      ", 0, 50, 0, SETTING_HEAD_NONE, 0, 2)               \
  S(g_ParamPaperDuty2, "Duty[%]         ", 0, 100, 0, SETTING_HEAD_NONE, 0, 30)               \
  S(g_ParamPaperDuty3, "Duty[%]         ", 0, 100, 0, SETTING_HEAD_NONE, 0, 30)               \
  S(g_ParamPaperTime, "Time[mSec]      ", 0, 1000, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamPlaneMarkLines, "Line =          ", 1, 1000, 0, SETTING_HEAD_NONE, 0, 24)          \
  S(g_ParamPlaneFlagLinesY, "Line =          ", 0, 1000, 0, SETTING_HEAD_NONE, 0, 24)         \
  S(g_ParamPlaneFlagLinesM, "Line =          ", 0, 1000, 0, SETTING_HEAD_NONE, 0, 0)          \
  S(g_ParamPlaneFlagLinesC, "Line =          ", 0, 1000, 0, SETTING_HEAD_NONE, 0, 0)          \
  S(g_ParamPlaneFlagLinesL, "Line =          ", 0, 1000, 0, SETTING_HEAD_NONE, 0, 0)          \
  S(g_ParamPlaneFlagLinesSP, "Line =          ", 0, 1000, 0, SETTING_HEAD_NONE, 0, 0)         \
  S(g_ParamSlit1, "Slit1         ", 1, 1000, 0, SETTING_HEAD_NONE, 0, 89)                     \
  S(g_ParamSlit2, "Slit2         ", 1, 1000, 0, SETTING_HEAD_NONE, 0, 100)                    \
  S(g_ParamSlit3, "Slit3         ", 1, 1000, 0, SETTING_HEAD_NONE, 0, 150)                    \
  S(g_ParamSlackNum1, "Slack Num1      ", 0, 50, 0, SETTING_HEAD_NONE, 0, 0)                  \
  S(g_ParamSlackNum2, "Slack Num2      ", 1, 50, 0, SETTING_HEAD_NONE, 0, 10)                 \
  S(g_ParamSlackNum, "Slack Num       ", 1, 50, 0, SETTING_HEAD_NONE, 0, 18)                  \
  S(g_ParamWaitMs, "Wait[ms]        ", 0, 1000, 0, SETTING_HEAD_NONE, 0, 0)                   \
  S(g_ParamCompRibInitL, "Comp Rib.Init   ", 0, 1, 130, SETTING_HEAD_NONE, 0, 0)              \
  S(g_ParamCompRibInitR, "Comp Rib.Init   ", 0, 1, 136, SETTING_HEAD_NONE, 0, 0)              \
  S(g_ParamLoadUnit, "Load Unit       ", 0, 1, 194, SETTING_HEAD_NONE, 0, 0)                  \
  S(g_ParamChangeUnit, "CHANGE UNIT     ", 0, 1, 195, SETTING_HEAD_NONE, 0, 0)                \
  S(g_ParamWaitStep01, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamWaitStep02, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamWait10ms, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 0)                  \
  S(g_ParamWaitStep04, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 0)                \
  S(g_ParamWaitStep05, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 0)                \
  S(g_ParamWaitStep06, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamWaitStep07, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamWaitStep08, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamWaitStep09, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamWaitStep10, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamWaitStep11, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamWaitStep12, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamWaitStep13, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamWaitStep14, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamWaitStep15, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamWaitStep16, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamWaitStep17, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamWaitStep18, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamWaitStep19, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamWaitStep20, "Wait[10msec]    ", 0, 100, 0, SETTING_HEAD_NONE, 0, 20)               \
  S(g_ParamDuty, "Duty            ", 0, 100, 0, SETTING_HEAD_NONE, 0, 50)                     \
  S(g_ParamSecondPrint, "SecondPrint     ", 0, 3, 0, SETTING_HEAD_NONE, 0, 0)                 \
  S(g_ParamUnitTestIndex, "UnitTestIndex   ", 0, 7, 0, SETTING_HEAD_NONE, 0, 0)               \
  S(g_ParamUnitTest, "UnitTest        ", 0, 1, 196, SETTING_HEAD_NONE, 0, 0)                  \
  S(g_ParamPrecutMode, "Precut Mode     ", 0, 1, 0, SETTING_HEAD_NONE, 0, 0)                  \
  S(g_ParamRibbonStatus, "Ribbon Status   ", 0, 3, 198, SETTING_HEAD_NONE, 0, 0)              \
  S(g_ParamCisSW, "Cis SW          ", 0, 1, 219, SETTING_HEAD_NONE, 0, 1)                     \
  S(g_ParamCisLedV, "Cis Led V       ", 0, 255, 0, SETTING_HEAD_NONE, 0, 40)                  \
  S(g_ParamCisLedVCB, "Cis Led V CB    ", 0, 255, 209, SETTING_HEAD_NONE, 0, 40)              \
  S(g_ParamCisLedVDA, "Cis Led V DA    ", 0, 255, 210, SETTING_HEAD_NONE, 0, 40)              \
  S(g_ParamCisLedVDB, "Cis Led V DB    ", 0, 255, 211, SETTING_HEAD_NONE, 0, 40)              \
  S(g_ParamCisOffsetV, "Cis Offset V    ", 0, 255, 0, SETTING_HEAD_NONE, 0, 60)               \
  S(g_ParamPaperEdgeSLv, "PaperEdgeSLv    ", 0, 255, 213, SETTING_HEAD_NONE, 0, 75)           \
  S(g_ParamImageEdgeSLv, "ImageEdgeSLv    ", 0, 255, 214, SETTING_HEAD_NONE, 0, 75)           \
  S(g_ParamCisOffsetL, "CisOffset L     ", -64, 64, 215, SETTING_HEAD_NONE, 0, 0)             \
  S(g_ParamCisOffsetR, "CisOffset R     ", -64, 64, 216, SETTING_HEAD_NONE, 0, 0)             \
  S(g_ParamSideOffsetL, "SideOffset L    ", -128, 127, 0, SETTING_HEAD_NONE, 0, 0)            \
  S(g_ParamSideOffsetR, "SideOffset R    ", -128, 127, 0, SETTING_HEAD_NONE, 0, 0)            \
  S(g_ParamConfigMode, "Config Mode     ", 0, 1, 0, SETTING_HEAD_NONE, 0, 0)                  \
  S(g_ParamCisWrProgress, "CisWrProgress   ", 0, 1, 186, SETTING_HEAD_NONE, 0, 0)             \
  S(g_ParamTrackPointA, "TrackPointA     ", 0, 3000, 364, SETTING_HEAD_NONE, 0, 80)           \
  S(g_ParamTrackPointB, "TrackPointB     ", 0, 3000, 368, SETTING_HEAD_NONE, 0, 80)           \
  S(g_ParamTrackCorrectSW, "TrackCrct SW    ", 0, 1, 0, SETTING_HEAD_NONE, 0, 1)              \
  S(g_ParamMgOffsetL, "MG Offset L     ", -128, 127, 217, SETTING_HEAD_NONE, 0, 0)          \
  S(g_ParamMgOffsetR, "MG Offset R     ", -128, 127, 218, SETTING_HEAD_NONE, 0, 0)          \
  S(g_ParamMgSideOffsetL, "MgSideOffsetL   ", -128, 127, 0, SETTING_HEAD_NONE, 0, 0)        \
  S(g_ParamMgSideOffsetR, "MgSideOffsetR   ", -128, 127, 0, SETTING_HEAD_NONE, 0, 0)        \
  S(g_ParamBorderOffsetL, "Border L        ", -128, 127, 184, SETTING_HEAD_NONE, 0, 0)      \
  S(g_ParamBorderOffsetR, "Border R        ", -128, 127, 185, SETTING_HEAD_NONE, 0, 0)      \
  S(g_ParamTrackLenA, "TrackLenA       ", 0, 20000, 372, SETTING_HEAD_NONE, 0, 0)             \
  S(g_ParamTrackLenB, "TrackLenB       ", 0, 20000, 376, SETTING_HEAD_NONE, 0, 0)             \
  S(g_ParamTrackLen2A, "TrackLen2A      ", 0, 20000, 374, SETTING_HEAD_NONE, 0, 0)            \
  S(g_ParamTrackLen2B, "TrackLen2B      ", 0, 20000, 378, SETTING_HEAD_NONE, 0, 0)            \
  S(g_ParamTrackLen3A, "TrackLen3A      ", 0, 20000, 366, SETTING_HEAD_NONE, 0, 0)            \
  S(g_ParamTrackLen3B, "TrackLen3B      ", 0, 20000, 370, SETTING_HEAD_NONE, 0, 0)

// The last group: five settings before the power-save object (which reads
// "Time[Min]" when it is built), three after it.
#define SETTINGS_BEFORE_POWER_SAVE(S)                                                         \
  S(g_ParamWidthx100, "Widthx100       ", 0, 10000, 0, SETTING_HEAD_NONE, 0, 0)               \
  S(g_ParamWidth, "Width           ", 0, 1000, 0, SETTING_HEAD_NONE, 0, 0)                    \
  S(g_ParamWidth2, "Width           ", 0, 1000, 0, SETTING_HEAD_NONE, 0, 0)                   \
  S(g_ParamCycle, "Cycle[sec]      ", 1, 60, 0, SETTING_HEAD_NONE, 0, 5)                      \
  S(g_ParamPowerSaveTime, "Time[Min]       ", 0, 240, 0, SETTING_HEAD_NONE, 0, 5)
#define SETTINGS_AFTER_POWER_SAVE(S)                                                          \
  S(g_ParamPaperPercent, "Paper[%]        ", 0, 100, 0, SETTING_HEAD_NONE, 0, 5)              \
  S(g_ParamStickL, "Stick L         ", -100, 100, 0, SETTING_HEAD_NONE, 0, 0)                 \
  S(g_ParamStickR, "Stick R         ", -100, 100, 0, SETTING_HEAD_NONE, 0, 0)

// Every setting, in construction order.
#define SETTINGS_ALL(S)           \
  SETTINGS_MECHANISM_BASICS(S)    \
  SETTINGS_SLICE_LEVELS(S)        \
  SETTINGS_HEAD_VOLTAGE(S)        \
  SETTINGS_POSITIONS(S)           \
  SETTINGS_MECHANISM(S)           \
  SETTINGS_PRINT(S)               \
  SETTINGS_SERVICE(S)             \
  SETTINGS_BEFORE_POWER_SAVE(S)   \
  SETTINGS_AFTER_POWER_SAVE(S)
