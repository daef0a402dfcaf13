// The printer's serial EEPROMs: the main EEPROM (512 bytes, with a second
// device of the same size as its backup), reached through the system-device
// call with the device and half chosen by the FPGA's EEPROM select bits, and
// one EEPROM per head unit on a Microwire bus bit-banged on FPGA port bits.
//
// The main EEPROM's bus and select bits belong to the application task (and
// to the main task while it builds the machine): CEepromDevice and CEeprom
// refuse any other caller with -1 and a log line before touching the select
// bits, so a frame is never cut by another task's frame. The USB task keeps
// the serial number in RAM only; the application writes its cell.
#pragma once

#include <cstdint>

#include "firmware/devices/eeprom_map.h"
#include "firmware/devices/io_port.h"
#include "firmware/platform/global_build.h"

// Byte access to whichever main device the select bits choose.
class CEepromDevice {
 public:
  constexpr CEepromDevice() = default;

  // 0, or -1 when the caller does not own the bus (*pucOut unchanged).
  int32_t ReadByte(uint8_t ucAddress, uint8_t* pucOut);
  // Up to three tries with 1 ms after each failure: 0, or -1 (the third
  // failure raises error index 0x0101).
  int32_t WriteByte(uint8_t ucAddress, uint8_t ucValue);
  int32_t WriteOnce(uint8_t ucAddress, uint8_t ucValue);
};

// The main EEPROM as addresses 0-511 of the selected device, and its header.
class CEeprom {
 public:
  static constexpr uint32_t kImageBytes = EEPROM_MAIN_BYTES;
  static constexpr uint16_t kErrorWriteFailed = 0x0101;

  constexpr CEeprom() = default;
  // Loads the header; formats an EEPROM whose signature is foreign or whose
  // init flags are all ones.
  explicit CEeprom(GlobalBuild) { Load(); }

  // Select the half by address bit 8, then the device call with the low 8
  // bits. -1 for an address above 511 or a caller that does not own the bus.
  int32_t ReadByte(uint16_t usAddress, uint8_t* pucOut);
  int32_t WriteByte(uint16_t usAddress, uint8_t ucValue);

  int32_t GetLayoutVersion(uint16_t* pusOut) const;
  int32_t GetInitFlags(uint16_t* pusOut) const;

  int32_t Load();
  // 1 when the EEPROM needs a format, else 0.
  int32_t CheckHeader();
  int32_t Format();
  // Raises the stored layout version to the running firmware's and clears
  // the init flags; once, by the start-up, after every cell exists.
  int32_t StoreFirmwareVersion();
  // Bytes 18 (low) and 19 (high); the RAM copy is left as it is.
  int32_t WriteInitFlags(uint16_t usFlags);
  // The whole of device 0 to device 1; device 0 is selected again after.
  int32_t BackupToSecondDevice();
  // Bytes 20-511 of device 1 to device 0 (device 0 keeps its own header).
  int32_t RestoreFromSecondDevice();
  // The step after a cell write: nothing to do.
  int32_t Commit() { return 0; }

  // The running firmware's version, (major << 8) | minor, from the MAIN
  // image's information block in flash.
  static uint16_t RunningFirmwareVersion();

 private:
  int32_t ReadHeader();
  void AdoptFirmwareVersion(uint16_t usRunning);
  int32_t WriteZeros(uint16_t usFirst, uint16_t usLast);

  uint16_t m_usLayoutVersion = 0;
  uint16_t m_usInitFlags = 0;
  uint8_t m_aucHeader[EEPROM_HEADER_BYTES] = {};
  // Shared by backup and restore.
  static uint8_t s_aucImage[kImageBytes];
};

// A Microwire bus on port bits: 93Cxx instructions with 8-bit word
// addresses, 16-bit words.
class CMicrowireBus {
 public:
  constexpr CMicrowireBus() = default;
  CMicrowireBus(CInputPort* pDo, COutputPort* pDi, COutputPort* pClk, COutputPort* pCs);

  // Byte b is the low half of word b >> 1 (even b) or its high half.
  int32_t ReadByte(uint8_t ucByteAddress, uint8_t* pucOut);
  // 0, -1 (not ready within the time-out) or -2 (read back differs).
  int32_t WriteByte(uint8_t ucByteAddress, uint8_t ucValue);
  // Up to three tries, 1000 us after each failure: 0 or -1. Waits and the
  // 500 ms ready time-out run on the board's microsecond counter.
  int32_t WriteByteRetry(uint8_t ucByteAddress, uint8_t ucValue);

  void SendCommand(uint8_t ucWordAddress, uint8_t ucOpcodeBits);
  void WriteEnable();
  void WriteDisable();
  void StartWrite(uint8_t ucWordAddress);
  void StartRead(uint8_t ucWordAddress);
  int32_t WaitReady();
  int32_t ReadWord(uint16_t* pusOut);
  int32_t WriteWord(uint16_t usValue);

 private:
  void Line(COutputPort* pPort, bool bHigh);
  void ClockBit(bool bHigh);

  uint32_t m_ulReadyTimeout = 0;
  CInputPort* m_pDo = nullptr;
  COutputPort* m_pDi = nullptr;
  COutputPort* m_pClk = nullptr;
  COutputPort* m_pCs = nullptr;
};

// One head-unit EEPROM.
class CHeadEeprom {
 public:
  constexpr CHeadEeprom() = default;
  explicit CHeadEeprom(CMicrowireBus* pBus) : m_pBus(pBus) {}

  // -1 for a caller that does not own the EEPROM buses, else as the bus.
  int32_t ReadByte(uint8_t ucAddress, uint8_t* pucOut);
  int32_t WriteByte(uint8_t ucAddress, uint8_t ucValue);

 private:
  CMicrowireBus* m_pBus = nullptr;
};

// The head-EEPROM lines: DO on FPGA input 0x6400002A, DI/CLK/CS on FPGA
// output 0x6400002C (unit L bits 0 / 0, 1, 2; unit R bits 1 / 3, 4, 5).
constexpr uint32_t HEAD_EEPROM_IN_REG = 0x6400002Au;
constexpr uint32_t HEAD_EEPROM_OUT_REG = 0x6400002Cu;

extern CEepromDevice g_EepromDevice;
extern CEeprom g_Eeprom;
extern CInputPortWord g_PortHeadEepromDoL, g_PortHeadEepromDoR;
extern COutputPortWord g_PortHeadEepromDiL, g_PortHeadEepromClkL, g_PortHeadEepromCsL;
extern COutputPortWord g_PortHeadEepromDiR, g_PortHeadEepromClkR, g_PortHeadEepromCsR;
extern CMicrowireBus g_HeadEepromBusL, g_HeadEepromBusR;
extern CHeadEeprom g_HeadEepromL, g_HeadEepromR;

// The machine definition's steps for these objects: the main EEPROM device
// and header (before every cell), then the ports, bus and device of the
// unit L head EEPROM and of unit R (unit 0, 1).
void ConstructMainEeprom();
void ConstructHeadEeprom(uint32_t ulUnit);
