// EEPROM cells: a fixed run of bytes of the main EEPROM (CEepromCell) or of
// a head-unit EEPROM (CHeadEepromCell) holding one persistent value, with a
// default and the initialisation rule applied once at construction:
//   1. when the main EEPROM's init flags (RAM copy) share a bit with the
//      cell's init mask, the default is written;
//   2. otherwise, when the cell's minimum layout version is above the
//      stored layout version, the default is written;
//   3. otherwise the stored bytes stay.
// Head cells follow the main EEPROM's flags and version too. Cells keep no
// RAM copy: every read and write goes to the device. Bytes are copied in
// address order through the 16-bit byte accessor, so multi-byte values are
// stored low byte first.
#pragma once

#include <cstdint>

class CHeadEeprom;

class CEepromCell {
 public:
  constexpr CEepromCell() = default;
  // A bit index of 16 or more gives no init mask.
  CEepromCell(uint32_t ulAddress, uint32_t ulSize, const void* pDefault, uint16_t usBitIndex,
              uint16_t usMinVersion);

  // 0, or -1 when a byte could not be read (the caller does not own the bus).
  int32_t Read(void* pDestination) const;
  // WriteBytes, then the EEPROM's commit step: 0 or the first failure.
  int32_t Write(const void* pSource) const;
  // Stops at the first byte that fails and returns its code.
  int32_t WriteBytes(const void* pSource) const;
  int32_t GetSize(uint32_t* pulSize) const;
  int32_t WriteDefault() const { return Write(m_pDefault); }
  uint32_t Address() const { return m_ulAddress; }

 private:
  uint32_t m_ulSize = 0;
  uint32_t m_ulAddress = 0;
  const void* m_pDefault = nullptr;
  uint16_t m_usInitMask = 0;
  uint16_t m_usMinVersion = 0;
};

class CHeadEepromCell {
 public:
  constexpr CHeadEepromCell() = default;
  CHeadEepromCell(CHeadEeprom* pEeprom, uint32_t ulAddress, uint32_t ulSize, const void* pDefault,
                  uint16_t usBitIndex, uint16_t usMinVersion);

  int32_t Read(void* pDestination) const;
  // Stops at the first byte that fails (-1 or -2); no commit step.
  int32_t Write(const void* pSource) const;
  int32_t GetSize(uint32_t* pulSize) const;
  int32_t WriteDefault() const { return Write(m_pDefault); }

 private:
  CHeadEeprom* m_pEeprom = nullptr;
  uint32_t m_ulSize = 0;
  uint32_t m_ulAddress = 0;
  const void* m_pDefault = nullptr;
  uint16_t m_usInitMask = 0;
  uint16_t m_usMinVersion = 0;
};

// Whether a cell with this mask and version takes its default now.
bool EepromCellNeedsDefault(uint16_t usInitMask, uint16_t usMinVersion);
