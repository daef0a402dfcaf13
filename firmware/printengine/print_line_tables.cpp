// The DSP's parameter block of a plane and its table downloads: each table
// is copied into the staging buffer and sent with tries. A staged table
// never holds more than the download copied, and never more than the
// staging buffer's 4096 bytes, whatever length the TABLE directory gives.
#include <array>

#include "firmware/control/error_manager.h"
#include "firmware/devices/print_log.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/head_drive.h"
#include "firmware/platform/ioctl.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/gradation.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/print_job_record.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_sequence_words.h"
#include "firmware/printengine/table_store.h"
#include "firmware/printengine/tone_curve.h"

namespace {

constexpr std::array<uint16_t, 256> Filled(uint16_t usValue) {
  std::array<uint16_t, 256> a{};
  for (uint16_t& us : a) us = usValue;
  return a;
}

// Environment-temperature corrections of the DSP plane, by "EnvTherm" / 4.
constexpr std::array<uint16_t, 256> kEnvTempCorrection1 = Filled(32768);
constexpr std::array<uint16_t, 256> kEnvTempCorrection2 = Filled(32768);
constexpr std::array<uint16_t, 256> kEnvTempCorrection3 = Filled(1024);
// The factor of table 5, by "EnvTherm" / 4.
constexpr std::array<uint16_t, 256> kTable5Factor = Filled(0);

constexpr uint32_t kPlaneOvercoat = 3;
constexpr uint32_t kPlaneSp = 4;
constexpr uint32_t kColourPlanes = 3;
constexpr uint16_t kOvercoatKindNone = 1;
constexpr int32_t kOpLevelFromTable = -1;

// TABLE values, by the plane's table index k where added.
constexpr uint32_t kValuePulseLength = 0x30;
constexpr uint32_t kValuePulseCount = 0x38;
constexpr uint32_t kValueOvercoatBase = 0x44;
constexpr uint32_t kValueDsp80 = 0x80;
constexpr uint32_t kValueDsp88 = 0x88;
constexpr uint32_t kValueDsp68 = 0x68;
constexpr uint32_t kValueDsp70 = 0x70;
constexpr uint32_t kValueDsp78 = 0x78;
constexpr uint32_t kValueTrackLines0 = 0xA8;
constexpr uint32_t kValueTrackLines1 = 0xB8;
constexpr uint32_t kValueTrackLines2 = 0xBC;
// TABLE tables, by the plane's table index k.
constexpr uint32_t kTable3Source = 24;
constexpr uint32_t kTable8Source = 30;
constexpr uint32_t kTable9Source = 36;
constexpr uint32_t kTable4Source = 60;
constexpr uint32_t kTrackTable = 114;
constexpr uint32_t kTrackFactorTable = 120;

constexpr uint32_t kTableBytes = 512;
constexpr uint32_t kTableWords = kTableBytes / 2;
constexpr uint32_t kTable5Words = 128;
constexpr uint32_t kTrackLineBytes = 2 * TRACK_LINE_ENTRIES;
constexpr uint32_t kTrackLengthLines = 72;

// Parameter words.
constexpr PhysAddr kWordMargin1 = 0x80013A00u;
constexpr PhysAddr kWordRowLength = 0x80013882u;
constexpr PhysAddr kWordLineCount = 0x80013884u;
constexpr PhysAddr kWordOvercoatWidth = 0x8001389Cu;
constexpr PhysAddr kWordSideOffset = 0x80013886u;
constexpr PhysAddr kWordHeatControl = 0x80013888u;
constexpr PhysAddr kWordOpLevel = 0x8001388Au;
constexpr PhysAddr kWordSourceHeight = 0x8001388Cu;
constexpr PhysAddr kWordMargin2 = 0x8001388Eu;
constexpr PhysAddr kWordValue80 = 0x80013890u;
constexpr PhysAddr kWordValue88 = 0x8001389Eu;
constexpr PhysAddr kWordOvercoatLevels = 0x80013870u;
constexpr PhysAddr kWordMatte = 0x80013878u;
constexpr PhysAddr kWordTwo = 0x8001387Au;
constexpr PhysAddr kWordMatteGloss = 0x800138A4u;
constexpr PhysAddr kWordDeGlossBlk = 0x800138A6u;
constexpr PhysAddr kWordDeGlossWht = 0x800138A8u;
constexpr PhysAddr kWordConstants = 0x80013920u;
constexpr uint16_t kConstants[] = {268, 236, 118};
constexpr PhysAddr kWordEnvTemp = 0x80013960u;
constexpr PhysAddr kWordValue68 = 0x80013968u;
constexpr PhysAddr kWordValue70 = 0x8001396Cu;
constexpr PhysAddr kWordValue78 = 0x80013970u;
constexpr PhysAddr kWordHeadDots = 0x80013FE0u;
constexpr PhysAddr kWordRowsTable = 0x80013FEAu;
constexpr PhysAddr kWordThree = 0x80013FECu;
constexpr PhysAddr kWordOne = 0x80013FEEu;
constexpr PhysAddr kWordPlane = 0x80013FF2u;
constexpr PhysAddr kWordTrackSwitch = 0x80013A10u;
constexpr PhysAddr kWordTrackOffset = 0x80013A0Au;
constexpr PhysAddr kWordCutList = 0x80013980u;
constexpr PhysAddr kWordInternal = 0x80013FF4u;
constexpr PhysAddr kWordPulseLength = 0x8001389Au;
constexpr PhysAddr kWordTrackBaseLow = 0x80013A12u;

// Print-log keys.
constexpr uint32_t kLogSideOffset = 0xF0000;
constexpr uint32_t kLogTrackOffset = 0x100000;

void Put(PhysAddr ulAddr, uint32_t ulValue) {
  const uint16_t us = static_cast<uint16_t>(ulValue);
  WriteDspWord(ulAddr, &us);
}

void PutLong(PhysAddr ulLow, uint32_t ulValue) {
  Put(ulLow, ulValue & 0xFFFFu);
  Put(ulLow + 2, ulValue >> 16);
}

uint32_t Value(uint32_t ulIndex) {
  uint32_t ulValue = 0;
  GetTableValue(ulIndex, &ulValue);
  return ulValue;
}

uint32_t Reading8(CAnalogSensor& sensor) {
  uint32_t ulRaw = 0;
  sensor.Read(&ulRaw);
  return (ulRaw >> 2) & 0xFFu;
}

int32_t Clamp255(int32_t l) { return l < 0 ? 0 : l > 255 ? 255 : l; }

bool UnitL() { return g_ulCurrentUnit == 0; }

uint32_t Min(uint32_t a, uint32_t b) { return a < b ? a : b; }

}  // namespace

const uint16_t g_ausDspConstTableA[256] = {};
const uint16_t g_ausDspConstTableB[256] = {};

// ---- transfer ----

int32_t CPrintLine::SendDspTable(uint16_t usTableId, uint32_t ulLength) {
  int32_t lResult = 0;
  for (uint32_t i = 0; i < DSP_TABLE_TRIES; ++i) {
    lResult = DspSendTable(usTableId, ulLength);
    if (lResult == 0) break;
    if (lResult == -1) {
      g_ErrorMng.SetError(erridx::kDspTableTimeout);
      break;
    }
    g_ErrorMng.SetError(erridx::kDspTableChecksum);
    if (i + 1 < DSP_TABLE_TRIES) g_ErrorMng.ClearError(erridx::kDspTableChecksum);
  }
  return lResult;
}

void CPrintLine::StageFromFlash(PhysAddr ulSource, uint32_t ulBytes) {
  for (uint32_t i = 0; i + 1 < ulBytes; i += 2) {
    uint16_t us = 0;
    IoctlRead16(ulSource + i, &us);
    HwWrite16(DSP_TABLE_STAGING + i, us);
  }
}

void CPrintLine::StageWords(const uint16_t* pusSource, uint32_t ulWords) {
  for (uint32_t i = 0; i < ulWords; ++i) HwWrite16(DSP_TABLE_STAGING + 2 * i, pusSource[i]);
}

bool CPrintLine::InternalImage() const { return m_plane.pSlot != nullptr && m_plane.pSlot->usInternal == 1; }

void CPrintLine::WriteInternalWord(uint32_t ulPlaneCode) const {
  Put(kWordInternal, InternalImage() || ulPlaneCode == kPlaneOvercoat ? 1 : 0);
}

int32_t CPrintLine::SendStoredTable(uint16_t usDspTable, uint32_t ulTableId, uint32_t ulMaxBytes) {
  PhysAddr ulSource = 0;
  uint32_t ulLength = 0;
  GetTableAddress(ulTableId, &ulSource);
  GetTableLength(ulTableId, &ulLength);
  const uint32_t ulBytes = Min(ulLength, ulMaxBytes);
  StageFromFlash(ulSource, ulBytes);
  return SendDspTable(usDspTable, ulBytes);
}

// ---- the tables ----

int32_t CPrintLine::SendTable1(uint32_t ulPlaneCode) {
  const uint32_t k = GetTableIndex(ulPlaneCode);
  const uint32_t ulEnv = Reading8(g_AdEnvTherm);
  const uint32_t ulHumid = Reading8(g_AdEnvHumid);
  const uint32_t ulHead = Reading8(*g_pCurAdHTherm);
  const uint16_t* pusCurve = m_plane.pSlot != nullptr ? m_plane.pSlot->ausToneCurve : nullptr;
  uint32_t ulLength = 0;
  GetTableLength(GRADATION_BASE_TABLE + k, &ulLength);
  g_ToneCurve.CorrectPlaneByTemperature(ulPlaneCode, ulEnv, ulHead, pusCurve);
  CorrectGradationHumid(ulPlaneCode, ulEnv, ulHumid, g_ausPlaneGradation, g_ausPlaneGradation, pusCurve,
                        ulLength / 2);
  syslog(LOG_EMERG, UnitL() ? "[TABLE] UnitA - Color = %d, env_humid = %d" : "[TABLE] UnitB - Color = %d, env_humid = %d",
         ulPlaneCode, ulHumid);
  WriteInternalWord(ulPlaneCode);
  // One block of the plane: the directory's length may span further blocks.
  const uint32_t ulBytes = Min(ulLength, kTableBytes);
  StageWords(g_ausPlaneGradation + (ulPlaneCode % PRINT_PLANES) * GRADATION_BLOCK, ulBytes / 2);
  return SendDspTable(DSP_TABLE_GRADATION, ulBytes);
}

int32_t CPrintLine::SendTable3(uint32_t ulPlaneCode) {
  return SendStoredTable(DSP_TABLE_3, kTable3Source + GetTableIndex(ulPlaneCode), DSP_TABLE_STAGING_BYTES);
}

int32_t CPrintLine::SendTable4(uint32_t ulPlaneCode) {
  WriteInternalWord(ulPlaneCode);
  return SendStoredTable(DSP_TABLE_4, kTable4Source + GetTableIndex(ulPlaneCode), kTableBytes);
}

int32_t CPrintLine::SendTables5And6() {
  const uint32_t ulFactor = kTable5Factor[Reading8(g_AdEnvTherm)];
  for (uint32_t i = 0; i < kTable5Words; ++i) {
    HwWrite16(DSP_TABLE_STAGING + 2 * i, static_cast<uint16_t>((m_pusTable5Source[i] * ulFactor) >> 10));
  }
  const int32_t lResult = SendDspTable(DSP_TABLE_5, 2 * kTable5Words);
  if (lResult != 0) return lResult;
  StageWords(m_pusTable6Source, kTableWords);
  return SendDspTable(DSP_TABLE_6, kTableBytes);
}

int32_t CPrintLine::SendTable8(uint32_t ulPlaneCode) {
  WriteInternalWord(ulPlaneCode);
  return SendStoredTable(DSP_TABLE_8, kTable8Source + GetTableIndex(ulPlaneCode), kTableBytes);
}

int32_t CPrintLine::SendTable9(uint32_t ulPlaneCode) {
  WriteInternalWord(ulPlaneCode);
  return SendStoredTable(DSP_TABLE_9, kTable9Source + GetTableIndex(ulPlaneCode), kTableBytes);
}

int32_t CPrintLine::SendTable10() {
  for (uint32_t i = 0; i < DSP_TABLE10_BYTES; ++i) HwWrite8(DSP_TABLE_STAGING + i, g_DspTable10[i]);
  return SendDspTable(DSP_TABLE_10, DSP_TABLE10_BYTES);
}

// ---- track correction ----

int32_t CPrintLine::SendTable7(uint32_t ulPlaneCode) {
  const uint32_t k = GetTableIndex(ulPlaneCode);
  const uint32_t i = ulPlaneCode < kColourPlanes ? k : kColourPlanes;
  uint32_t ulBase = TRACK_LINE_BUFFER_BASE + i * TRACK_LINE_BUFFER_STRIDE;
  const uint32_t aulLines[3] = {Value(kValueTrackLines0 + i), Value(kValueTrackLines1 + i),
                                Value(kValueTrackLines2 + i)};
  const uint32_t n0 = aulLines[0] - 1;
  const uint32_t n1 = aulLines[1];
  const uint32_t n2 = aulLines[2];
  uint32_t aulLengths[CTrackCorrect::kLengths] = {};
  g_TrackCorrect.GetLengths(UnitL() ? 0 : 1, aulLengths);
  const int32_t lBorder = SettingValue(UnitL() ? g_ParamBorderOffsetL : g_ParamBorderOffsetR);
  uint32_t aulL[3] = {};
  for (uint32_t n = 0; n < 3; ++n) {
    const int32_t l = static_cast<int32_t>(aulLengths[n] + aulLines[n] / 2) + static_cast<int32_t>(n + 1) * lBorder;
    aulL[n] = l < 0 ? 0 : static_cast<uint32_t>(l);
  }
  const PrintSizeRecord& size = *g_pCurPrintSize;
  const uint32_t t = size.ulPrintLength + kTrackLengthLines + size.aulExtraLines[0] + size.aulExtraLines[1] -
                     static_cast<uint32_t>(g_lSensorOffsetLines);
  uint32_t s0 = t, s1 = t, s2 = t;
  const uint32_t s3 = t;
  uint32_t b0 = n0, b1 = n1, b2 = n2;
  if (t > aulL[0]) {
    s0 = t - aulL[0];
    if (t > aulL[1]) {
      s1 = t - aulL[1];
      if (t > aulL[2]) s2 = t - aulL[2];
    }
  } else {
    ulBase += n0 * kTrackLineBytes;
    b0 = n1;
    b1 = n2;
    if (t > aulL[1]) {
      s0 = t - aulL[1];
      if (t > aulL[2]) s1 = t - aulL[2];
    } else {
      ulBase += n1 * kTrackLineBytes;
      b0 = n2;
      b1 = n2;
      if (t > aulL[2]) {
        s0 = t - aulL[2];
      } else {
        ulBase += n2 * kTrackLineBytes;
      }
    }
  }
  PutLong(kWordTrackBaseLow, ulBase);
  const uint32_t aulWords[] = {s0, b0, s1, b1, s2, b2, s3};
  for (uint32_t n = 0; n < sizeof aulWords / sizeof aulWords[0]; ++n) Put(kWordTrackBaseLow + 4 + 2 * n, aulWords[n]);

  PhysAddr ulTable = 0;
  PhysAddr ulFactors = 0;
  uint32_t ulLength = 0;
  GetTableAddress(kTrackTable + k, &ulTable);
  GetTableLength(kTrackTable + k, &ulLength);
  GetTableAddress(kTrackFactorTable + k, &ulFactors);
  uint8_t ucFactor = 0;
  IoctlRead8(ulFactors + Reading8(g_AdEnvTherm), &ucFactor);
  const uint32_t ulWords = Min(ulLength, kTableBytes) / 2;
  const bool bReverse = InternalImage();
  for (uint32_t n = 0; n < ulWords; ++n) {
    uint16_t us = 0;
    IoctlRead16(ulTable + 2 * n, &us);
    const uint32_t ulAt = bReverse ? ulWords - 1 - n : n;
    HwWrite16(DSP_TABLE_STAGING + 2 * ulAt, static_cast<uint16_t>(us * ucFactor));
  }
  return SendDspTable(DSP_TABLE_TRACK, 2 * ulWords);
}

// ---- overcoat levels and pulse division ----

int32_t CPrintLine::SetOvercoatLevels(uint32_t ulPlaneCode) {
  for (uint16_t& us : m_ausOvercoatLevels) us = 0;
  if (ulPlaneCode != kPlaneOvercoat) return 0;
  const int32_t lBase = static_cast<int32_t>(Value(kValueOvercoatBase));
  const bool bMatte = GetTableIndex(kPlaneOvercoat) != kPlaneOvercoat;
  CParameter* const apRel[4] = {&g_ParamMatteRel1, &g_ParamMatteRel2, &g_ParamMatteRel3, &g_ParamMatteRel4};
  for (uint32_t i = 0; i < 4; ++i) {
    int32_t l = lBase;
    if (bMatte) l = Clamp255(Clamp255(lBase + SettingValue(*apRel[i])) + SettingValue(g_ParamMatteAdjust));
    m_ausOvercoatLevels[i] = static_cast<uint16_t>(l);
  }
  return 0;
}

int32_t CPrintLine::SetPulseDivision(uint32_t ulPlaneCode) {
  const uint32_t k = GetTableIndex(ulPlaneCode);
  const uint32_t ulLength = Value(k + kValuePulseLength);
  const uint32_t ulCount = Value(k + kValuePulseCount);
  const int32_t lResult =
      g_HeadDrive.SetPulseDivision(static_cast<uint16_t>(ulLength), static_cast<uint16_t>(ulCount));
  Put(kWordPulseLength, ulLength * (ulCount + 1) + ulCount);
  return lResult;
}

// ---- the parameter block ----

void CPrintLine::WriteSideOffset() {
  const bool bRotated = SettingValue(g_ParamRotationFlag) == 2;
  CParameter& side = UnitL() ? (bRotated ? g_ParamSideAL : g_ParamSideAR) : (bRotated ? g_ParamSideBR : g_ParamSideBL);
  int32_t lOffset = SettingValue(side);
  if (SettingValue(g_ParamCisSW) == 1 && SettingValue(g_ParamConfigMode) == 0 && g_lCisEdgeResult == 0) {
    lOffset += SettingValue(UnitL() ? g_ParamSideOffsetL : g_ParamSideOffsetR);
  }
  syslog(LOG_EMERG, "MAIN->DSP:Side Offset=%d ", lOffset);
  g_PrintLog.SetField(kLogSideOffset, static_cast<uint32_t>(lOffset));
  Put(kWordSideOffset, static_cast<uint32_t>(lOffset));
}

void CPrintLine::WriteTrackOffset() {
  int32_t lOffset = UnitL() ? g_PrintGeometry.TrackPointA() : g_PrintGeometry.TrackPointB();
  if (UnitL()) {
    const int32_t lCis = SettingValue(g_ParamCisOffsetL);
    syslog(LOG_EMERG, "CisOffsetL=%d ", lCis);
    lOffset -= lCis;
  } else {
    const int32_t lCis = SettingValue(g_ParamCisOffsetR);
    syslog(LOG_EMERG, "CisOffsetR=%d ", lCis);
    lOffset += lCis;
  }
  syslog(LOG_EMERG, "MAIN->DSP:Track Offset=%d ", lOffset);
  g_PrintLog.SetField(kLogTrackOffset, static_cast<uint32_t>(lOffset));
  Put(kWordTrackOffset, static_cast<uint32_t>(lOffset));
}

int32_t CPrintLine::WriteDspParams(uint32_t ulPlaneCode) {
  const uint32_t k = GetTableIndex(ulPlaneCode);
  const ImageSlot* pSlot = m_plane.pSlot;
  const bool bColour = ulPlaneCode < kColourPlanes;
  Put(kWordMargin1, m_plane.usMargin1);
  Put(kWordRowLength, m_plane.usRowLength);
  Put(kWordLineCount, m_plane.usLineCount);
  Put(kWordOvercoatWidth, m_plane.usOvercoatWidth);
  WriteSideOffset();
  Put(kWordHeatControl, 1 + 2 * (static_cast<uint32_t>(SettingValue(g_ParamHeatControl)) & 1u));
  const int32_t lOpLevel = SettingValue(g_ParamOpLevel);
  if (lOpLevel != kOpLevelFromTable) {
    Put(kWordOpLevel, static_cast<uint32_t>(lOpLevel));
  } else {
    const bool bNoOvercoat = pSlot != nullptr && pSlot->usOvercoatKind == kOvercoatKindNone;
    Put(kWordOpLevel, bNoOvercoat ? 0 : Value(kValueOvercoatBase));
  }
  Put(kWordSourceHeight, m_plane.usSourceHeight);
  Put(kWordMargin2, m_plane.usMargin2);
  Put(kWordValue80, Value(k + kValueDsp80));
  Put(kWordValue88, Value(k + kValueDsp88));
  for (uint32_t i = 0; i < 4; ++i) Put(kWordOvercoatLevels + 2 * i, m_ausOvercoatLevels[i]);
  Put(kWordMatte, pSlot != nullptr && pSlot->usOvercoatKind == OVERCOAT_MATTE ? 1 : 0);
  Put(kWordTwo, 2);
  Put(kWordMatteGloss, static_cast<uint32_t>(SettingValue(g_ParamMatteGloss)));
  Put(kWordDeGlossBlk, static_cast<uint32_t>(SettingValue(g_ParamDeGlossBlk)));
  Put(kWordDeGlossWht, static_cast<uint32_t>(SettingValue(g_ParamDeGlossWht)));
  for (uint32_t i = 0; i < 3; ++i) Put(kWordConstants + 2 * i, kConstants[i]);
  const uint32_t ulEnv = Reading8(g_AdEnvTherm);
  Put(kWordEnvTemp, kEnvTempCorrection1[ulEnv]);
  Put(kWordEnvTemp + 2, kEnvTempCorrection2[ulEnv]);
  Put(kWordEnvTemp + 4, kEnvTempCorrection3[ulEnv]);
  PutLong(kWordValue68, Value(k + kValueDsp68));
  PutLong(kWordValue70, Value(k + kValueDsp70));
  PutLong(kWordValue78, Value(k + kValueDsp78));
  uint32_t ulDots = 0;
  g_FpgaMain.GetHeadDots(&ulDots);
  Put(kWordHeadDots, ulDots);
  Put(kWordRowsTable, !bColour || InternalImage() ? 1 : 0);
  Put(kWordThree, 3);
  Put(DSP_ADDRESS_HIGH, m_plane.ulImageBase >> 16);
  Put(DSP_ADDRESS_LOW, m_plane.ulImageBase & 0xFFFFu);
  Put(kWordOne, 1);
  Put(kWordPlane, bColour && !(InternalImage() && m_plane.usTextPage != 0) ? ulPlaneCode : 0);
  Put(kWordTrackSwitch, bColour ? static_cast<uint32_t>(SettingValue(g_ParamTrackCorrectSW)) : 0);
  if (bColour) WriteTrackOffset();
  for (uint32_t i = 0; i < 4; ++i) Put(kWordCutList + 2 * i, pSlot != nullptr ? pSlot->ausCutList[i] : 0);
  return 0;
}
