#include "firmware/printengine/tone_curve.h"

#include <cmath>
#include <cstring>

#include "firmware/control/host_status_table.h"
#include "firmware/devices/checksum.h"
#include "firmware/devices/flash_area_writer.h"
#include "firmware/devices/flash_write_buffer.h"
#include "firmware/devices/main_image_writer.h"
#include "firmware/devices/settings.h"
#include "firmware/platform/flash.h"
#include "firmware/platform/ioctl.h"

constinit CToneCurve g_ToneCurve;

namespace {

static_assert(TONE_BANK_BYTES <= FLASH_WRITE_BUF_BYTES);
static_assert(TONE_CURVE_WORK + 2 * TONE_CURVE_WORK_ENTRIES <= TONE_CURVE_MIRROR);

bool ValidCurve(uint32_t ulCurve) { return ulCurve >= 1 && ulCurve <= TONE_CURVE_COUNT; }

uint32_t CurveOffset(uint32_t ulCurve) { return (ulCurve - 1) * TONE_CURVE_BYTES; }

void PutU16(uint8_t* puc, uint16_t usValue) {
  puc[0] = static_cast<uint8_t>(usValue);
  puc[1] = static_cast<uint8_t>(usValue >> 8);
}

uint16_t ReadFlashU16(PhysAddr ulAddress) {
  uint8_t aucBytes[2] = {0xFF, 0xFF};
  IoctlRead8(ulAddress, &aucBytes[0]);
  IoctlRead8(ulAddress + 1, &aucBytes[1]);
  return static_cast<uint16_t>(aucBytes[0] | (aucBytes[1] << 8));
}

// A two-character version text; a character that is no hexadecimal digit
// counts as the digit 0.
uint32_t VersionTextValue(PhysAddr ulAddress) {
  uint32_t ulValue = 0;
  for (uint32_t i = 0; i < 2; ++i) {
    uint8_t uc = 0;
    IoctlRead8(ulAddress + i, &uc);
    uint32_t ulDigit = 0;
    if (uc >= '0' && uc <= '9') {
      ulDigit = uc - static_cast<uint32_t>('0');
    } else if (uc >= 'A' && uc <= 'F') {
      ulDigit = uc - static_cast<uint32_t>('A') + 10;
    } else if (uc >= 'a' && uc <= 'f') {
      ulDigit = uc - static_cast<uint32_t>('a') + 10;
    }
    ulValue = ulValue * 16 + ulDigit;
  }
  return ulValue;
}

PhysAddr OtherBank(PhysAddr ulBank) { return ulBank == TONE_BANK_0 ? TONE_BANK_1 : TONE_BANK_0; }

// What a bank write puts in place of curve n.
struct CurveSource {
  PhysAddr ulAddress;  // read word by word; 0 for the default curve
  uint16_t usState;
};

// The common bank write: the current bank's curves and states (or, when
// the current bank fails its check, default curves with state 0), curve n
// replaced, written into the other bank, which becomes current only when
// the erase and the programming succeeded.
int32_t WriteBank(uint32_t ulCurve, const CurveSource& source) {
  PhysAddr ulBank = TONE_BANK_0;
  g_ToneCurve.GetBankAddress(&ulBank);
  uint8_t* pucBuf = g_FlashWriteBuf;
  uint16_t ausStates[TONE_CURVE_COUNT] = {};
  if (CheckToneCurveBank() == 0) {
    HwReadBlock(ulBank + TONE_BANK_CURVES, pucBuf, TONE_BANK_CURVES_BYTES);
    for (uint32_t n = 0; n < TONE_CURVE_COUNT; ++n) ausStates[n] = ReadFlashU16(ulBank + TONE_BANK_STATES + 2 * n);
  } else {
    for (uint32_t i = 0; i < TONE_BANK_CURVES_BYTES / 2; ++i) {
      PutU16(pucBuf + 2 * i, DefaultToneLevel(i % 256));
    }
  }
  uint8_t* pucCurve = pucBuf + CurveOffset(ulCurve);
  for (uint32_t i = 0; i < TONE_CURVE_ENTRIES; ++i) {
    uint16_t usLevel = DefaultToneLevel(i % 256);
    if (source.ulAddress != 0) IoctlRead16(source.ulAddress + 2 * i, &usLevel);
    PutU16(pucCurve + 2 * i, usLevel);
  }
  ausStates[ulCurve - 1] = source.usState;
  g_ToneCurve.BuildBankTrailer(pucBuf, ausStates);

  const PhysAddr ulTarget = OtherBank(ulBank);
  int32_t lResult = FlashEraseSector(ulTarget);
  if (lResult == 0) lResult = FlashProgram(ulTarget, IoctlPointerWord(pucBuf), TONE_BANK_BYTES, 1);
  if (lResult == 0) {
    g_ToneCurve.ToggleBank();
    g_ToneCurve.RefreshMirror();
  }
  return lResult;
}

}  // namespace

uint16_t DefaultToneLevel(uint32_t ulIndex) {
  return static_cast<uint16_t>(static_cast<uint32_t>(static_cast<double>(ulIndex) * std::pow(2.0, 6.0)));
}

CToneCurve::CToneCurve(GlobalBuild) {
  std::memset(PhysToHost(TONE_CURVE_RAM, TONE_BANK_CURVES_BYTES + 2 * TONE_CURVE_WORK_ENTRIES), 0,
              TONE_BANK_CURVES_BYTES + 2 * TONE_CURVE_WORK_ENTRIES);
}

uint16_t* CToneCurve::RamCurve(uint32_t ulCurve) {
  return static_cast<uint16_t*>(PhysToHost(TONE_CURVE_RAM + CurveOffset(ulCurve), TONE_CURVE_BYTES));
}

uint16_t* CToneCurve::WorkArea() {
  return static_cast<uint16_t*>(PhysToHost(TONE_CURVE_WORK, 2 * TONE_CURVE_WORK_ENTRIES));
}

int32_t CToneCurve::GetBankAddress(PhysAddr* pulAddress) const {
  int32_t lValue = 0;
  const int32_t lResult = g_ParamTonecurveNo.GetValue(&lValue);
  *pulAddress = lValue == 1 ? TONE_BANK_1 : TONE_BANK_0;
  return lResult;
}

int32_t CToneCurve::ToggleBank() const {
  int32_t lValue = 0;
  g_ParamTonecurveNo.GetValue(&lValue);
  return g_ParamTonecurveNo.SetValue(lValue == 0 ? 1 : 0);
}

int32_t CToneCurve::GetFlashCurveAddress(uint32_t ulCurve, PhysAddr* pulAddress) const {
  if (!ValidCurve(ulCurve)) return -1;
  PhysAddr ulBank = TONE_BANK_0;
  GetBankAddress(&ulBank);
  *pulAddress = ulBank + TONE_BANK_CURVES + CurveOffset(ulCurve);
  return 0;
}

int32_t CToneCurve::GetRamCurveAddress(uint32_t ulCurve, PhysAddr* pulAddress) const {
  if (!ValidCurve(ulCurve)) return -1;
  *pulAddress = TONE_CURVE_RAM + CurveOffset(ulCurve);
  return 0;
}

int32_t CToneCurve::GetMirrorCurveAddress(uint32_t ulCurve, PhysAddr* pulAddress) const {
  if (!ValidCurve(ulCurve)) return -1;
  *pulAddress = TONE_CURVE_MIRROR + CurveOffset(ulCurve);
  return 0;
}

int32_t CToneCurve::GetCurveAddress(uint32_t ulSource, uint32_t ulCurve, PhysAddr* pulAddress) const {
  if (ulSource == TONE_CURVE_SOURCE_FLASH) return GetFlashCurveAddress(ulCurve, pulAddress);
  if (ulSource == TONE_CURVE_SOURCE_RAM) return GetRamCurveAddress(ulCurve, pulAddress);
  return -1;
}

int32_t CToneCurve::CopyCurve(uint32_t ulSource, uint32_t ulCurve, uint16_t* pusDestination) const {
  PhysAddr ulAddress = 0;
  const int32_t lResult = GetCurveAddress(ulSource, ulCurve, &ulAddress);
  if (lResult != 0) return lResult;
  if (ulSource == TONE_CURVE_SOURCE_RAM) {
    std::memcpy(pusDestination, RamCurve(ulCurve), TONE_CURVE_BYTES);
    return 0;
  }
  for (uint32_t i = 0; i < TONE_CURVE_ENTRIES; ++i) IoctlRead16(ulAddress + 2 * i, &pusDestination[i]);
  return 0;
}

int32_t CToneCurve::GetCurveState(uint32_t ulCurve, uint32_t* pulState) const {
  if (!ValidCurve(ulCurve)) return -1;
  PhysAddr ulBank = TONE_BANK_0;
  GetBankAddress(&ulBank);
  *pulState = ReadFlashU16(ulBank + TONE_BANK_STATES + 2 * (ulCurve - 1));
  return 0;
}

int32_t CToneCurve::PublishCurveState(uint32_t ulCurve, uint32_t ulState) const {
  if (!ValidCurve(ulCurve)) return -1;
  return SetStatusItem(SI_TONE_CURVE_1 - 1 + ulCurve, ulState, 1);
}

int32_t CToneCurve::BuildBankTrailer(uint8_t* pucBank, const uint16_t* pusStates) const {
  std::memcpy(pucBank + TONE_BANK_MARK, TONE_BANK_MARK_TEXT, TONE_BANK_MARK_BYTES);
  for (uint32_t i = 0; i < 2; ++i) {
    IoctlRead8(FLASH_MAIN_AREA + FIRMWARE_INFO_VERSION_MAJOR + i, &pucBank[TONE_BANK_VERSION_MAJOR + i]);
    IoctlRead8(FLASH_MAIN_AREA + FIRMWARE_INFO_VERSION_MINOR + i, &pucBank[TONE_BANK_VERSION_MINOR + i]);
  }
  for (uint32_t n = 0; n < TONE_CURVE_COUNT; ++n) PutU16(pucBank + TONE_BANK_STATES + 2 * n, pusStates[n]);
  std::memset(pucBank + TONE_BANK_SPARE, 0xFF, TONE_BANK_CHECKSUM - TONE_BANK_SPARE);
  uint16_t usSum = 0;
  OnesComplementSum16(pucBank + TONE_BANK_CURVES, TONE_BANK_CURVES_BYTES, &usSum);
  PutU16(pucBank + TONE_BANK_CHECKSUM, usSum);
  return 0;
}

int32_t CToneCurve::RebuildToneCurve(uint32_t ulCurve) {
  if (!ValidCurve(ulCurve)) return -1;
  const int32_t lResult = WriteBank(ulCurve, CurveSource{0, TONE_CURVE_DEFAULT});
  if (lResult == 0) PublishCurveState(ulCurve, TONE_CURVE_DEFAULT);
  return lResult;
}

int32_t StoreToneCurve(uint32_t ulCurve, PhysAddr ulSource) {
  if (!ValidCurve(ulCurve)) return -1;
  return WriteBank(ulCurve, CurveSource{ulSource, TONE_CURVE_STORED});
}

int32_t CToneCurve::LoadCurve(uint32_t ulCurve, PhysAddr ulSource) {
  if (!ValidCurve(ulCurve)) return -1;
  uint16_t* pusCurve = RamCurve(ulCurve);
  for (uint32_t i = 0; i < TONE_CURVE_ENTRIES; ++i) {
    if (IoctlRead16(ulSource + 2 * i, &pusCurve[i]) != 0) return -1;
  }
  return 0;
}

int32_t CToneCurve::LoadHostCurve(uint32_t ulCurve, uint32_t ulOffset) {
  if (LoadCurve(ulCurve, DOWNLOAD_BUFFER + ulOffset) != 0) return -1;
  PublishCurveState(ulCurve, TONE_CURVE_RAM_ONLY);
  return 0;
}

int32_t CToneCurve::StoreHostCurve(uint32_t ulCurve, uint32_t ulOffset) {
  if (!ValidCurve(ulCurve)) return -1;
  if (StoreToneCurve(ulCurve, DOWNLOAD_BUFFER + ulOffset) != 0) return -1;
  if (LoadCurve(ulCurve, DOWNLOAD_BUFFER + ulOffset) != 0) return -2;
  PublishCurveState(ulCurve, TONE_CURVE_STORED);
  return 0;
}

int32_t CToneCurve::RefreshMirror() const {
  PhysAddr ulBank = TONE_BANK_0;
  GetBankAddress(&ulBank);
  HwReadBlock(ulBank + TONE_BANK_CURVES, PhysToHost(TONE_CURVE_MIRROR, TONE_BANK_CURVES_BYTES),
              TONE_BANK_CURVES_BYTES);
  return 0;
}

// The start-up's states go out with the printer state's first notification:
// a notification of their own, sent while the host is not yet served, would
// wait in the mailbox in front of the start-up's other messages.
int32_t CToneCurve::InitToneCurve() {
  const bool bValid = CheckToneCurveBank() == 0;
  for (uint32_t n = 1; n <= TONE_CURVE_COUNT; ++n) {
    uint32_t ulState = TONE_CURVE_DEFAULT;
    if (bValid) {
      GetCurveState(n, &ulState);
    } else if (WriteBank(n, CurveSource{0, TONE_CURVE_DEFAULT}) != 0) {
      continue;
    }
    SetStatusItem(SI_TONE_CURVE_1 - 1 + n, ulState, 0);
  }
  RefreshMirror();
  for (uint32_t n = 1; n <= TONE_CURVE_COUNT; ++n) {
    PhysAddr ulAddress = 0;
    GetFlashCurveAddress(n, &ulAddress);
    LoadCurve(n, ulAddress);
  }
  return 0;
}

int32_t CheckToneCurveBank() {
  PhysAddr ulBank = TONE_BANK_0;
  g_ToneCurve.GetBankAddress(&ulBank);
  for (uint32_t i = 0; i < TONE_BANK_MARK_BYTES; ++i) {
    uint8_t uc = 0;
    IoctlRead8(ulBank + TONE_BANK_MARK + i, &uc);
    if (uc != static_cast<uint8_t>(TONE_BANK_MARK_TEXT[i])) return -1;
  }
  if (VerifyChecksum16(ulBank + TONE_BANK_CURVES, TONE_BANK_CURVES_BYTES, ReadFlashU16(ulBank + TONE_BANK_CHECKSUM),
                       CHECKSUM_READ_BLOCK) != 0) {
    return -2;
  }
  if (VersionTextValue(ulBank + TONE_BANK_VERSION_MAJOR) == 0 && VersionTextValue(ulBank + TONE_BANK_VERSION_MINOR) < 5) {
    return -4;
  }
  return 0;
}
