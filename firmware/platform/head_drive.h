// The FPGA's thermal-head drive block: a register block and a two-bank line
// buffer in FPGA bank 1 (0x64010000), and three look-up tables, one in each
// of banks 1, 2 and 3. It turns lines of dot data into strobe pulses for
// head A (unit L) and head B (unit R), and runs timed strobe bursts without
// image data (the pre-heat).
//
// g_HeadDrive is the one driver of the block. Every access except the
// interrupt path's line-word read is one system-device call on the bank's
// code with the low 16 bits of the address as offset; the call's own result
// is not passed on. Five registers are kept in shadow words.
#pragma once

#include <cstdint>

#include "firmware/platform/global_build.h"

// The registers of the block, as full bus addresses.
enum HeadDriveRegister : uint32_t {
  HD_BANK1_BASE = 0x64010000u,
  HD_RESET = 0x64010000u,        // 0x80 at set-up
  HD_DIVISION = 0x64010002u,     // bits 5-14 pulse length, bits 0-4 division count
  HD_CONFIG = 0x64010004u,
  HD_CONTROL = 0x64010006u,      // see HeadDriveControlBit
  HD_BUFFER_CTRL = 0x64010008u,  // bit 0 CPU window bank, bit 4 owned by the drive
  HD_BANK_STATUS = 0x6401000Cu,  // bit 0 bank in use by the drive
  HD_STROBE_COUNT = 0x64010010u,
  HD_PERIOD_LO = 0x64010014u,  // 50 MHz counts, 32 bits
  HD_PERIOD_HI = 0x64010016u,
  HD_OFF_TIME_LO = 0x64010018u,  // 50 MHz counts, 32 bits
  HD_OFF_TIME_HI = 0x6401001Au,
  HD_PARAM0 = 0x64010022u,  // HD_PARAM0-3 at 0x22, 0x24, 0x26, 0x28
  HD_HEAD_ENABLE = 0x64010030u,  // bit 0 head A, bit 1 head B
  HD_LINE_BUFFER = 0x64011000u,  // 2560 words, two banks behind one window
  HD_TABLE1 = 0x64014000u,       // 1024 words
  HD_TABLE2 = 0x64020000u,       // 256 words
  HD_TABLE3 = 0x64030000u,       // 160 words loaded, 256 filled
};

enum HeadDriveControlBit : uint16_t {
  HD_CONTROL_START = 0x0001u,  // pulsed 0-1-0
  HD_CONTROL_ENABLE = 0x0002u,
  HD_CONTROL_RUN = 0x0004u,
  HD_CONTROL_DONE = 0x0008u,  // read only: the strobe run has finished
  HD_CONTROL_STROBE_A = 0x0010u,
  HD_CONTROL_STROBE_B = 0x0020u,
};

constexpr uint32_t HD_LINE_WORDS = 2560;
constexpr uint32_t HD_TABLE1_WORDS = 1024;
constexpr uint32_t HD_TABLE2_WORDS = 256;
constexpr uint32_t HD_TABLE3_FILL_WORDS = 256;
constexpr uint32_t HD_TABLE3_LOAD_WORDS = 160;
constexpr uint32_t HD_PARAM_COUNT = 4;

class CHeadDrive {
 public:
  constexpr CHeadDrive() = default;
  // The machine definition's construction: reads HD_DIVISION, HD_CONFIG,
  // HD_CONTROL and HD_BUFFER_CTRL from the configured FPGA into the shadows.
  explicit CHeadDrive(GlobalBuild);
  CHeadDrive(const CHeadDrive&) = delete;
  CHeadDrive& operator=(const CHeadDrive&) = delete;

  // ---- access: -2 for an address outside the expected bank (nothing
  // accessed, nothing stored), else 0 ----
  int32_t Write(uint32_t ulAddress, uint16_t usValue);
  int32_t Read(uint32_t ulAddress, uint16_t* pusValue);
  int32_t WriteBank2(uint32_t ulAddress, uint16_t usValue);
  int32_t WriteBank3(uint32_t ulAddress, uint16_t usValue);
  // Bank 1 without the address check.
  int32_t WriteRaw(uint32_t ulAddress, uint16_t usValue);
  int32_t ReadRaw(uint32_t ulAddress, uint16_t* pusValue);
  // Read-modify-write of a bank-1 register with interrupts masked; the
  // HD_CONTROL shadow is left as it is.
  int32_t SetBits(uint32_t ulAddress, uint16_t usMask);
  int32_t ClearBits(uint32_t ulAddress, uint16_t usMask);
  void SetBitsRaw(uint32_t ulAddress, uint16_t usMask);
  void ClearBitsRaw(uint32_t ulAddress, uint16_t usMask);

  // ---- set-up and tables ----
  int32_t Init();
  // Copy from memory (each word read by the system-device call); the first
  // failed write ends the copy and is the result.
  int32_t LoadBank1Table(uint32_t ulSource);
  int32_t LoadBank2Table(uint32_t ulSource);
  int32_t LoadBank3Table(uint32_t ulSource);
  int32_t FillBank1Table(uint16_t usValue);
  int32_t FillBank2Table(uint16_t usValue);
  int32_t FillBank3Table(uint16_t usValue);
  // All four are written; -1 when any write failed.
  int32_t SetDriveParams(const uint16_t* pusParams);
  int32_t SetPulseDivision(uint16_t usLength, uint16_t usCount);
  int32_t SetHeadEnableA(uint16_t usOn);
  int32_t SetHeadEnableB(uint16_t usOn);

  // ---- line buffers ----
  int32_t FillLineBuffer(uint16_t usValue);
  int32_t ToggleLineBank();
  int32_t SetBufferToDrive(uint16_t usOwner);
  // The interrupt path's read of a word the drive is using: plain bus
  // accesses to the buffer control and the line buffer.
  int32_t ReadLineWord(uint16_t* pusOut, uint32_t ulByteOffset, uint32_t ulInvert);

  // ---- strobe control ----
  // 0 or 1, else -2 and nothing written; also the FPGA's head-drive enable.
  int32_t Enable(uint32_t ulOn);
  int32_t SetStrobe(uint32_t ulPeriodUs, uint16_t usDuty, uint32_t ulHeadA, uint32_t ulHeadB);
  int32_t SetStrobeCount(uint16_t usCount);
  int32_t Start();
  // *pulDone = 1 when the strobe run has finished.
  int32_t IsDone(uint32_t* pulDone);
  int32_t Stop();

 private:
  int32_t ModifyBits(uint32_t ulAddress, uint16_t usClear, uint16_t usSet);
  void ModifyBitsRaw(uint32_t ulAddress, uint16_t usClear, uint16_t usSet);
  int32_t WriteShadow(uint32_t ulAddress, const uint32_t& ulShadow) {
    return Write(ulAddress, static_cast<uint16_t>(ulShadow));
  }

  uint32_t m_ulDivision = 0;
  uint32_t m_ulConfig = 0;
  uint32_t m_ulControl = 0;
  uint32_t m_ulBufferCtrl = 0;
  uint32_t m_ulHeadEnable = 0;
};

extern CHeadDrive g_HeadDrive;
