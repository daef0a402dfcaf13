#include "firmware/platform/head_drive.h"

#include "firmware/hal/hw.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/ioctl.h"

constinit CHeadDrive g_HeadDrive;

namespace {

constexpr uint32_t kBank1Tag = 0x6401u;
constexpr uint32_t kBank2Tag = 0x6402u;
constexpr uint32_t kBank3Tag = 0x6403u;

constexpr uint16_t kResetValue = 0x80u;
constexpr uint16_t kConfigBits = 0x00A3u;  // bits 0, 1, 5 and 7
constexpr uint16_t kInitPulseLength = 88;
constexpr uint16_t kInitDivisionCount = 7;
constexpr uint16_t kInitDriveParams[HD_PARAM_COUNT] = {0x0819u, 0, 0x0819u, 0};
constexpr uint32_t kBufferBank = 0x0001u;
constexpr uint32_t kBufferOwnedByDrive = 0x0010u;
constexpr uint32_t kHeadEnableBoth = 0x0003u;
constexpr uint32_t kCountsPerUs = 50;

bool InBank(uint32_t ulAddress, uint32_t ulTag) { return (ulAddress >> 16) == ulTag; }
uint32_t Offset(uint32_t ulAddress) { return ulAddress & 0xFFFFu; }

uint16_t Low(uint32_t ulValue) { return static_cast<uint16_t>(ulValue); }
uint16_t High(uint32_t ulValue) { return static_cast<uint16_t>(ulValue >> 16); }

// A table's words, written one after another by its bank's checked write;
// the first failure ends the walk.
using TableWrite = int32_t (CHeadDrive::*)(uint32_t, uint16_t);

int32_t FillTable(CHeadDrive& drive, TableWrite pfnWrite, uint32_t ulTable, uint32_t ulWords, uint16_t usValue) {
  for (uint32_t i = 0; i < ulWords; ++i) {
    const int32_t lResult = (drive.*pfnWrite)(ulTable + 2 * i, usValue);
    if (lResult != 0) return lResult;
  }
  return 0;
}

int32_t LoadTable(CHeadDrive& drive, TableWrite pfnWrite, uint32_t ulTable, uint32_t ulWords, uint32_t ulSource) {
  for (uint32_t i = 0; i < ulWords; ++i) {
    uint16_t usWord = 0;
    IoctlRead16(ulSource + 2 * i, &usWord);
    const int32_t lResult = (drive.*pfnWrite)(ulTable + 2 * i, usWord);
    if (lResult != 0) return lResult;
  }
  return 0;
}

uint32_t SetOrClear(uint32_t ulWord, uint32_t ulMask, bool bSet) { return bSet ? ulWord | ulMask : ulWord & ~ulMask; }

}  // namespace

CHeadDrive::CHeadDrive(GlobalBuild) {
  uint32_t* const apShadows[] = {&m_ulDivision, &m_ulConfig, &m_ulControl, &m_ulBufferCtrl};
  constexpr uint32_t kAddresses[] = {HD_DIVISION, HD_CONFIG, HD_CONTROL, HD_BUFFER_CTRL};
  for (uint32_t i = 0; i < sizeof kAddresses / sizeof kAddresses[0]; ++i) {
    uint16_t usValue = 0;
    Read(kAddresses[i], &usValue);
    *apShadows[i] = usValue;
  }
}

// ---- Access ------------------------------------------------------------------------------

int32_t CHeadDrive::Write(uint32_t ulAddress, uint16_t usValue) {
  if (!InBank(ulAddress, kBank1Tag)) return -2;
  return WriteRaw(ulAddress, usValue);
}

int32_t CHeadDrive::Read(uint32_t ulAddress, uint16_t* pusValue) {
  if (!InBank(ulAddress, kBank1Tag)) return -2;
  return ReadRaw(ulAddress, pusValue);
}

int32_t CHeadDrive::WriteBank2(uint32_t ulAddress, uint16_t usValue) {
  if (!InBank(ulAddress, kBank2Tag)) return -2;
  IoctlFpga2Write(Offset(ulAddress), usValue);
  return 0;
}

int32_t CHeadDrive::WriteBank3(uint32_t ulAddress, uint16_t usValue) {
  if (!InBank(ulAddress, kBank3Tag)) return -2;
  IoctlFpga3Write(Offset(ulAddress), usValue);
  return 0;
}

int32_t CHeadDrive::WriteRaw(uint32_t ulAddress, uint16_t usValue) {
  IoctlFpga1Write(Offset(ulAddress), usValue);
  return 0;
}

int32_t CHeadDrive::ReadRaw(uint32_t ulAddress, uint16_t* pusValue) {
  IoctlFpga1Read(Offset(ulAddress), pusValue);
  return 0;
}

// Only task code changes HD_CONTROL this way; the interrupt path touches
// HD_BUFFER_CTRL alone.
int32_t CHeadDrive::ModifyBits(uint32_t ulAddress, uint16_t usClear, uint16_t usSet) {
  DisableIrq();
  uint16_t usValue = 0;
  int32_t lResult = Read(ulAddress, &usValue);
  if (lResult == 0) lResult = Write(ulAddress, static_cast<uint16_t>((usValue & ~usClear) | usSet));
  EnableIrq();
  return lResult;
}

int32_t CHeadDrive::SetBits(uint32_t ulAddress, uint16_t usMask) { return ModifyBits(ulAddress, 0, usMask); }
int32_t CHeadDrive::ClearBits(uint32_t ulAddress, uint16_t usMask) { return ModifyBits(ulAddress, usMask, 0); }

void CHeadDrive::ModifyBitsRaw(uint32_t ulAddress, uint16_t usClear, uint16_t usSet) {
  DisableIrq();
  uint16_t usValue = 0;
  ReadRaw(ulAddress, &usValue);
  WriteRaw(ulAddress, static_cast<uint16_t>((usValue & ~usClear) | usSet));
  EnableIrq();
}

void CHeadDrive::SetBitsRaw(uint32_t ulAddress, uint16_t usMask) { ModifyBitsRaw(ulAddress, 0, usMask); }
void CHeadDrive::ClearBitsRaw(uint32_t ulAddress, uint16_t usMask) { ModifyBitsRaw(ulAddress, usMask, 0); }

// ---- Set-up and tables -------------------------------------------------------------------

int32_t CHeadDrive::Init() {
  Write(HD_RESET, kResetValue);
  SetPulseDivision(kInitPulseLength, kInitDivisionCount);
  m_ulConfig = kConfigBits;
  WriteShadow(HD_CONFIG, m_ulConfig);
  m_ulControl = 0;
  WriteShadow(HD_CONTROL, m_ulControl);
  Enable(1);
  SetDriveParams(kInitDriveParams);
  SetStrobe(0, 0, 1, 0);
  SetStrobeCount(0);
  // Both banks cleared, the CPU window left on the other one.
  FillLineBuffer(0);
  ToggleLineBank();
  FillLineBuffer(0);
  FillBank1Table(0);
  FillBank2Table(0);
  FillBank3Table(0);
  m_ulHeadEnable |= kHeadEnableBoth;
  WriteShadow(HD_HEAD_ENABLE, m_ulHeadEnable);
  // Bank 0 to the CPU window, the buffers owned by the drive.
  m_ulBufferCtrl = (m_ulBufferCtrl & ~kBufferBank) | kBufferOwnedByDrive;
  WriteRaw(HD_BUFFER_CTRL, Low(m_ulBufferCtrl));
  return 0;
}

int32_t CHeadDrive::LoadBank1Table(uint32_t ulSource) {
  return LoadTable(*this, &CHeadDrive::Write, HD_TABLE1, HD_TABLE1_WORDS, ulSource);
}
int32_t CHeadDrive::LoadBank2Table(uint32_t ulSource) {
  return LoadTable(*this, &CHeadDrive::WriteBank2, HD_TABLE2, HD_TABLE2_WORDS, ulSource);
}
int32_t CHeadDrive::LoadBank3Table(uint32_t ulSource) {
  return LoadTable(*this, &CHeadDrive::WriteBank3, HD_TABLE3, HD_TABLE3_LOAD_WORDS, ulSource);
}
int32_t CHeadDrive::FillBank1Table(uint16_t usValue) {
  return FillTable(*this, &CHeadDrive::Write, HD_TABLE1, HD_TABLE1_WORDS, usValue);
}
int32_t CHeadDrive::FillBank2Table(uint16_t usValue) {
  return FillTable(*this, &CHeadDrive::WriteBank2, HD_TABLE2, HD_TABLE2_WORDS, usValue);
}
int32_t CHeadDrive::FillBank3Table(uint16_t usValue) {
  return FillTable(*this, &CHeadDrive::WriteBank3, HD_TABLE3, HD_TABLE3_FILL_WORDS, usValue);
}

int32_t CHeadDrive::SetDriveParams(const uint16_t* pusParams) {
  int32_t lResult = 0;
  for (uint32_t i = 0; i < HD_PARAM_COUNT; ++i) {
    if (Write(HD_PARAM0 + 2 * i, pusParams[i]) != 0) lResult = -1;
  }
  return lResult;
}

int32_t CHeadDrive::SetPulseDivision(uint16_t usLength, uint16_t usCount) {
  m_ulDivision = (static_cast<uint32_t>(usLength & 0x3FFu) << 5) | (usCount & 0x1Fu);
  return WriteShadow(HD_DIVISION, m_ulDivision);
}

int32_t CHeadDrive::SetHeadEnableA(uint16_t usOn) {
  m_ulHeadEnable = SetOrClear(m_ulHeadEnable, 0x1u, (usOn & 1u) != 0);
  return WriteShadow(HD_HEAD_ENABLE, m_ulHeadEnable);
}

int32_t CHeadDrive::SetHeadEnableB(uint16_t usOn) {
  m_ulHeadEnable = SetOrClear(m_ulHeadEnable, 0x2u, (usOn & 1u) != 0);
  return WriteShadow(HD_HEAD_ENABLE, m_ulHeadEnable);
}

// ---- Line buffers ------------------------------------------------------------------------

int32_t CHeadDrive::FillLineBuffer(uint16_t usValue) {
  for (uint32_t i = 0; i < HD_LINE_WORDS; ++i) WriteRaw(HD_LINE_BUFFER + 2 * i, usValue);
  return 0;
}

int32_t CHeadDrive::ToggleLineBank() {
  m_ulBufferCtrl ^= kBufferBank;
  WriteRaw(HD_BUFFER_CTRL, Low(m_ulBufferCtrl));
  return 0;
}

int32_t CHeadDrive::SetBufferToDrive(uint16_t usOwner) {
  m_ulBufferCtrl = SetOrClear(m_ulBufferCtrl, kBufferOwnedByDrive, (usOwner & 1u) != 0);
  WriteRaw(HD_BUFFER_CTRL, Low(m_ulBufferCtrl));
  return 0;
}

int32_t CHeadDrive::ReadLineWord(uint16_t* pusOut, uint32_t ulByteOffset, uint32_t ulInvert) {
  uint16_t usStatus = 0;
  Read(HD_BANK_STATUS, &usStatus);
  if (ulInvert != 0) usStatus = static_cast<uint16_t>(~usStatus);
  const uint32_t ulBank = usStatus & kBufferBank;

  m_ulBufferCtrl = HwRead16(HD_BUFFER_CTRL);
  m_ulBufferCtrl = (m_ulBufferCtrl & ~(kBufferBank | kBufferOwnedByDrive)) | ulBank;
  HwWrite16(HD_BUFFER_CTRL, Low(m_ulBufferCtrl));
  *pusOut = HwRead16(HD_LINE_BUFFER + ulByteOffset);
  m_ulBufferCtrl = HwRead16(HD_BUFFER_CTRL) | kBufferOwnedByDrive;
  HwWrite16(HD_BUFFER_CTRL, Low(m_ulBufferCtrl));
  return 0;
}

// ---- Strobe control ----------------------------------------------------------------------

int32_t CHeadDrive::Enable(uint32_t ulOn) {
  if (ulOn > 1) return -2;
  m_ulControl = SetOrClear(m_ulControl, HD_CONTROL_ENABLE, ulOn != 0);
  const int32_t lResult = WriteShadow(HD_CONTROL, m_ulControl);
  if (lResult != 0) return lResult;
  return g_FpgaMain.SetHeadDriveEnable(static_cast<uint16_t>(ulOn));
}

int32_t CHeadDrive::SetStrobe(uint32_t ulPeriodUs, uint16_t usDuty, uint32_t ulHeadA, uint32_t ulHeadB) {
  const uint32_t ulPeriod = ulPeriodUs * kCountsPerUs;
  Write(HD_PERIOD_LO, Low(ulPeriod));
  Write(HD_PERIOD_HI, High(ulPeriod));
  const uint32_t ulOffShare = static_cast<uint16_t>(100u - usDuty);
  const uint32_t ulOff = ulOffShare * ulPeriod / 100u;
  Write(HD_OFF_TIME_LO, Low(ulOff));
  Write(HD_OFF_TIME_HI, High(ulOff));
  if (ulHeadA == 1) {
    SetBits(HD_CONTROL, HD_CONTROL_STROBE_A);
  } else {
    ClearBits(HD_CONTROL, HD_CONTROL_STROBE_A);
  }
  if (ulHeadB == 1) {
    SetBits(HD_CONTROL, HD_CONTROL_STROBE_B);
  } else {
    ClearBits(HD_CONTROL, HD_CONTROL_STROBE_B);
  }
  return 0;
}

int32_t CHeadDrive::SetStrobeCount(uint16_t usCount) {
  Write(HD_STROBE_COUNT, usCount);
  return 0;
}

int32_t CHeadDrive::Start() {
  int32_t lResult = SetBits(HD_CONTROL, HD_CONTROL_RUN);
  if (lResult != 0) return lResult;
  lResult = ClearBits(HD_CONTROL, HD_CONTROL_START);
  if (lResult != 0) return lResult;
  SetBits(HD_CONTROL, HD_CONTROL_START);
  ClearBits(HD_CONTROL, HD_CONTROL_START);
  return 0;
}

int32_t CHeadDrive::IsDone(uint32_t* pulDone) {
  uint16_t usValue = 0;
  const int32_t lResult = Read(HD_CONTROL, &usValue);
  if (lResult != 0) return lResult;
  m_ulControl = usValue;
  *pulDone = (usValue & HD_CONTROL_DONE) != 0 ? 1u : 0u;
  return 0;
}

int32_t CHeadDrive::Stop() { return ClearBits(HD_CONTROL, HD_CONTROL_RUN); }
