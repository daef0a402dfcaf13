#include "firmware/devices/eeprom.h"

#include "firmware/control/error_manager.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/main_image_writer.h"
#include "firmware/hal/board.h"
#include "firmware/hal/global.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/board_eeprom.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/time_base.h"
#include "firmware/platform/us_timer.h"

CEepromDevice g_EepromDevice;
CEeprom g_Eeprom;
uint8_t CEeprom::s_aucImage[CEeprom::kImageBytes];
CInputPortWord g_PortHeadEepromDoL, g_PortHeadEepromDoR;
COutputPortWord g_PortHeadEepromDiL, g_PortHeadEepromClkL, g_PortHeadEepromCsL;
COutputPortWord g_PortHeadEepromDiR, g_PortHeadEepromClkR, g_PortHeadEepromCsR;
CMicrowireBus g_HeadEepromBusL, g_HeadEepromBusR;
CHeadEeprom g_HeadEepromL, g_HeadEepromR;

namespace {

constexpr uint32_t kWriteTries = 3;
constexpr uint8_t kDevicePrimary = 0;
constexpr uint8_t kDeviceBackup = 1;

bool Refused(const char* pszWhat) {
  if (EepromBusOwnedByCaller()) return false;
  syslog(LOG_ERROR, "[EEPROM] %s refused outside the application task\n", pszWhat);
  return true;
}

void SelectDevice(uint8_t ucDevice) { g_FpgaMain.SelectExternalEeprom(ucDevice); }

}  // namespace

// ---- CEepromDevice ----------------------------------------------------------------------

int32_t CEepromDevice::ReadByte(uint8_t ucAddress, uint8_t* pucOut) {
  uint32_t ulValue = 0;
  if (IoctlEepromRead(ucAddress, &ulValue) != 0) return -1;
  *pucOut = static_cast<uint8_t>(ulValue & 0xFFu);
  return 0;
}

int32_t CEepromDevice::WriteOnce(uint8_t ucAddress, uint8_t ucValue) { return IoctlEepromWrite(ucAddress, ucValue); }

int32_t CEepromDevice::WriteByte(uint8_t ucAddress, uint8_t ucValue) {
  if (Refused("write")) return -1;
  int32_t lResult = -1;
  for (uint32_t i = 0; i < kWriteTries; ++i) {
    lResult = WriteOnce(ucAddress, ucValue);
    if (lResult == 0) return 0;
    g_MsTimer.WaitMs(1);
  }
  if (lResult == -1) g_ErrorMng.SetError(CEeprom::kErrorWriteFailed);
  return -1;
}

// ---- CEeprom ------------------------------------------------------------------------------

int32_t CEeprom::ReadByte(uint16_t usAddress, uint8_t* pucOut) {
  if (usAddress >= kImageBytes || Refused("read")) return -1;
  g_FpgaMain.SelectEepromUpperHalf((usAddress & 0xFF00u) != 0 ? 1u : 0u);
  return g_EepromDevice.ReadByte(static_cast<uint8_t>(usAddress & 0xFFu), pucOut);
}

int32_t CEeprom::WriteByte(uint16_t usAddress, uint8_t ucValue) {
  if (usAddress >= kImageBytes || Refused("write")) return -1;
  g_FpgaMain.SelectEepromUpperHalf((usAddress & 0xFF00u) != 0 ? 1u : 0u);
  return g_EepromDevice.WriteByte(static_cast<uint8_t>(usAddress & 0xFFu), ucValue);
}

int32_t CEeprom::GetLayoutVersion(uint16_t* pusOut) const {
  *pusOut = m_usLayoutVersion;
  return 0;
}

int32_t CEeprom::GetInitFlags(uint16_t* pusOut) const {
  *pusOut = m_usInitFlags;
  return 0;
}

uint16_t CEeprom::RunningFirmwareVersion() {
  uint8_t aucInfo[FIRMWARE_INFO_BYTES];
  ReadFirmwareInfo(1, aucInfo);
  return FirmwareVersionFromInfo(aucInfo);
}

int32_t CEeprom::Load() {
  if (CheckHeader() == 1) return Format();
  return 0;
}

int32_t CEeprom::ReadHeader() {
  for (uint16_t i = 0; i < EEPROM_HEADER_BYTES; ++i) {
    if (ReadByte(i, &m_aucHeader[i]) != 0) return -1;
  }
  return 0;
}

void CEeprom::AdoptFirmwareVersion(uint16_t usRunning) {
  m_usLayoutVersion = usRunning == 0 ? 0 : static_cast<uint16_t>(usRunning - 1);
}

int32_t CEeprom::CheckHeader() {
  // An EEPROM that cannot be read is not formatted over.
  if (ReadHeader() != 0) return 0;
  for (uint32_t i = 0; i < EEPROM_SIGNATURE_LENGTH; ++i) {
    if (m_aucHeader[i] != static_cast<uint8_t>(EEPROM_SIGNATURE[i])) return 1;
  }
  m_usLayoutVersion = static_cast<uint16_t>((m_aucHeader[EEPROM_LAYOUT_VERSION_ADDR] << 8) |
                                            m_aucHeader[EEPROM_LAYOUT_VERSION_ADDR + 1]);
  const uint16_t usRunning = RunningFirmwareVersion();
  if (m_usLayoutVersion == EEPROM_LAYOUT_ADOPT_A || m_usLayoutVersion == EEPROM_LAYOUT_ADOPT_B) {
    AdoptFirmwareVersion(usRunning);
  }
  m_usInitFlags = static_cast<uint16_t>(m_aucHeader[EEPROM_INIT_FLAGS_ADDR] |
                                        (m_aucHeader[EEPROM_INIT_FLAGS_ADDR + 1] << 8));
  return m_usInitFlags == 0xFFFFu ? 1 : 0;
}

int32_t CEeprom::WriteZeros(uint16_t usFirst, uint16_t usLast) {
  for (uint16_t a = usFirst; a <= usLast; ++a) {
    const int32_t lResult = WriteByte(a, 0);
    if (lResult != 0) return lResult;
  }
  return 0;
}

int32_t CEeprom::Format() {
  syslog(LOG_NOTICE, "[EEPROM] formatting the main EEPROM\n");
  for (uint16_t i = 0; i < EEPROM_SIGNATURE_LENGTH; ++i) {
    const int32_t lResult = WriteByte(i, static_cast<uint8_t>(EEPROM_SIGNATURE[i]));
    if (lResult != 0) return lResult;
  }
  m_usLayoutVersion = 0;
  int32_t lResult = WriteZeros(EEPROM_LAYOUT_VERSION_ADDR, EEPROM_LAYOUT_VERSION_ADDR + 1);
  if (lResult != 0) return lResult;
  m_usInitFlags = 0;
  lResult = WriteZeros(EEPROM_INIT_FLAGS_ADDR, EEPROM_INIT_FLAGS_ADDR + 1);
  if (lResult != 0) return lResult;
  // Every cell built from now on writes its default.
  m_usInitFlags = 0xFFFFu;
  return WriteZeros(EEPROM_HEADER_BYTES, kImageBytes - 1);
}

int32_t CEeprom::StoreFirmwareVersion() {
  const uint16_t usRunning = RunningFirmwareVersion();
  if (usRunning > m_usLayoutVersion) {
    int32_t lResult = WriteByte(EEPROM_LAYOUT_VERSION_ADDR, static_cast<uint8_t>(usRunning >> 8));
    if (lResult == 0) lResult = WriteByte(EEPROM_LAYOUT_VERSION_ADDR + 1, static_cast<uint8_t>(usRunning & 0xFFu));
    if (lResult != 0) return lResult;
  }
  if (m_usInitFlags != 0) {
    const int32_t lResult = WriteInitFlags(0);
    if (lResult != 0) return lResult;
    m_usInitFlags = 0;
  }
  return 0;
}

int32_t CEeprom::WriteInitFlags(uint16_t usFlags) {
  const int32_t lResult = WriteByte(EEPROM_INIT_FLAGS_ADDR, static_cast<uint8_t>(usFlags & 0xFFu));
  if (lResult != 0) return lResult;
  return WriteByte(EEPROM_INIT_FLAGS_ADDR + 1, static_cast<uint8_t>(usFlags >> 8));
}

int32_t CEeprom::BackupToSecondDevice() {
  if (Refused("backup")) return -1;
  SelectDevice(kDevicePrimary);
  for (uint16_t a = 0; a < kImageBytes; ++a) ReadByte(a, &s_aucImage[a]);
  SelectDevice(kDeviceBackup);
  int32_t lResult = 0;
  for (uint16_t a = 0; a < kImageBytes && lResult == 0; ++a) lResult = WriteByte(a, s_aucImage[a]);
  SelectDevice(kDevicePrimary);
  return lResult;
}

int32_t CEeprom::RestoreFromSecondDevice() {
  if (Refused("restore")) return -1;
  SelectDevice(kDeviceBackup);
  for (uint16_t a = 0; a < kImageBytes; ++a) ReadByte(a, &s_aucImage[a]);
  SelectDevice(kDevicePrimary);
  int32_t lResult = 0;
  for (uint16_t a = EEPROM_HEADER_BYTES; a < kImageBytes && lResult == 0; ++a) lResult = WriteByte(a, s_aucImage[a]);
  return lResult;
}

// ---- CMicrowireBus --------------------------------------------------------------------------
//
// The waits and the ready time-out run on the board's microsecond counter
// (timer 0), not on the FPGA's: the bus lies on FPGA ports, and with an
// FPGA that refused its bitstream the FPGA's counter reads the idle bus and
// never moves, which would hold the start-up in the first wait for ever.

namespace {

constexpr uint32_t kLineWaitUs = 2;
constexpr uint32_t kReadyTimeoutMs = 500;
constexpr uint32_t kRetryWaitUs = 1000;
constexpr uint8_t kOpRead = 0xC0;   // 1 10
constexpr uint8_t kOpWrite = 0xA0;  // 1 01
constexpr uint8_t kOpExtended = 0x80;  // 1 00, the address bits pick EWEN/EWDS
constexpr uint8_t kEwen = 0xC0;
constexpr uint8_t kEwds = 0x00;

}  // namespace

CMicrowireBus::CMicrowireBus(CInputPort* pDo, COutputPort* pDi, COutputPort* pClk, COutputPort* pCs)
    : m_ulReadyTimeout(g_UsTimer.MsToTicks(kReadyTimeoutMs)), m_pDo(pDo), m_pDi(pDi), m_pClk(pClk), m_pCs(pCs) {}

void CMicrowireBus::Line(COutputPort* pPort, bool bHigh) {
  if (bHigh) {
    pPort->Set();
  } else {
    pPort->Clear();
  }
  BoardWaitUs(kLineWaitUs);
}

void CMicrowireBus::ClockBit(bool bHigh) {
  Line(m_pDi, bHigh);
  Line(m_pClk, true);
  Line(m_pClk, false);
}

void CMicrowireBus::SendCommand(uint8_t ucWordAddress, uint8_t ucOpcodeBits) {
  Line(m_pCs, false);
  Line(m_pDi, false);
  Line(m_pClk, false);
  Line(m_pCs, true);
  for (int32_t lBit = 7; lBit >= 5; --lBit) ClockBit(((ucOpcodeBits >> lBit) & 1u) != 0);
  for (int32_t lBit = 7; lBit >= 0; --lBit) ClockBit(((ucWordAddress >> lBit) & 1u) != 0);
  Line(m_pDi, false);
}

void CMicrowireBus::WriteEnable() {
  SendCommand(kEwen, kOpExtended);
  Line(m_pCs, false);
}

void CMicrowireBus::WriteDisable() {
  SendCommand(kEwds, kOpExtended);
  Line(m_pCs, false);
}

void CMicrowireBus::StartWrite(uint8_t ucWordAddress) { SendCommand(ucWordAddress, kOpWrite); }
void CMicrowireBus::StartRead(uint8_t ucWordAddress) { SendCommand(ucWordAddress, kOpRead); }

int32_t CMicrowireBus::ReadWord(uint16_t* pusOut) {
  uint16_t usWord = 0;
  for (int32_t lBit = 15; lBit >= 0; --lBit) {
    Line(m_pClk, true);
    Line(m_pClk, false);
    uint32_t ulLevel = 0;
    m_pDo->ReadStable(&ulLevel);
    if (ulLevel != 0) usWord = static_cast<uint16_t>(usWord | (1u << lBit));
  }
  *pusOut = usWord;
  return 0;
}

int32_t CMicrowireBus::WriteWord(uint16_t usValue) {
  for (int32_t lBit = 15; lBit >= 0; --lBit) ClockBit(((usValue >> lBit) & 1u) != 0);
  Line(m_pDi, false);
  return 0;
}

int32_t CMicrowireBus::WaitReady() {
  const uint32_t ulStart = BoardReadUsCounter();
  Line(m_pCs, true);
  for (;;) {
    uint32_t ulLevel = 0;
    m_pDo->ReadStable(&ulLevel);
    if (BoardReadUsCounter() - ulStart > m_ulReadyTimeout) return -1;
    if (ulLevel != 0) return 0;
  }
}

int32_t CMicrowireBus::ReadByte(uint8_t ucByteAddress, uint8_t* pucOut) {
  uint16_t usWord = 0;
  StartRead(static_cast<uint8_t>(ucByteAddress >> 1));
  ReadWord(&usWord);
  Line(m_pCs, false);
  *pucOut = static_cast<uint8_t>((ucByteAddress & 1u) != 0 ? usWord >> 8 : usWord & 0xFFu);
  return 0;
}

int32_t CMicrowireBus::WriteByte(uint8_t ucByteAddress, uint8_t ucValue) {
  const uint8_t ucWordAddress = static_cast<uint8_t>(ucByteAddress >> 1);
  const bool bHigh = (ucByteAddress & 1u) != 0;
  uint16_t usWord = 0;
  StartRead(ucWordAddress);
  ReadWord(&usWord);
  const uint8_t ucCurrent = static_cast<uint8_t>(bHigh ? usWord >> 8 : usWord & 0xFFu);
  if (ucCurrent == ucValue) {
    Line(m_pCs, false);
    return 0;
  }
  WriteEnable();
  StartWrite(ucWordAddress);
  usWord = bHigh ? static_cast<uint16_t>((usWord & 0x00FFu) | (ucValue << 8))
                 : static_cast<uint16_t>((usWord & 0xFF00u) | ucValue);
  WriteWord(usWord);
  Line(m_pCs, false);
  int32_t lResult = WaitReady();
  if (lResult == 0) {
    uint8_t ucBack = 0;
    ReadByte(ucByteAddress, &ucBack);
    lResult = ucBack == ucValue ? 0 : -2;
  }
  WriteDisable();
  Line(m_pCs, false);
  return lResult;
}

int32_t CMicrowireBus::WriteByteRetry(uint8_t ucByteAddress, uint8_t ucValue) {
  for (uint32_t i = 0; i < kWriteTries; ++i) {
    if (WriteByte(ucByteAddress, ucValue) == 0) return 0;
    BoardWaitUs(kRetryWaitUs);
  }
  return -1;
}

// ---- CHeadEeprom ------------------------------------------------------------------------------

int32_t CHeadEeprom::ReadByte(uint8_t ucAddress, uint8_t* pucOut) {
  if (Refused("head read")) return -1;
  return m_pBus->ReadByte(ucAddress, pucOut);
}

int32_t CHeadEeprom::WriteByte(uint8_t ucAddress, uint8_t ucValue) {
  if (Refused("head write")) return -1;
  return m_pBus->WriteByteRetry(ucAddress, ucValue);
}

// ---- construction -------------------------------------------------------------------------------

void ConstructMainEeprom() {
  hal::ConstructGlobal(g_EepromDevice);
  hal::ConstructGlobal(g_Eeprom, kGlobalBuild);
}

void ConstructHeadEeprom(uint32_t ulUnit) {
  if (ulUnit == 0) {
    ConstructPorts(PORT_HEAD_EEPROM_FIRST_L, PORT_HEAD_EEPROM_COUNT);
    hal::ConstructGlobal(g_HeadEepromBusL, &g_PortHeadEepromDoL, &g_PortHeadEepromDiL, &g_PortHeadEepromClkL,
                         &g_PortHeadEepromCsL);
    hal::ConstructGlobal(g_HeadEepromL, &g_HeadEepromBusL);
  } else {
    ConstructPorts(PORT_HEAD_EEPROM_FIRST_R, PORT_HEAD_EEPROM_COUNT);
    hal::ConstructGlobal(g_HeadEepromBusR, &g_PortHeadEepromDoR, &g_PortHeadEepromDiR, &g_PortHeadEepromClkR,
                         &g_PortHeadEepromCsR);
    hal::ConstructGlobal(g_HeadEepromR, &g_HeadEepromBusR);
  }
}
