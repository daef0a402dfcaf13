#include "firmware/devices/eeprom_cell.h"

#include "firmware/devices/eeprom.h"
#include "firmware/platform/byte_access16.h"

namespace {

uint16_t InitMask(uint16_t usBitIndex) { return usBitIndex < 16 ? static_cast<uint16_t>(1u << usBitIndex) : 0; }

}  // namespace

bool EepromCellNeedsDefault(uint16_t usInitMask, uint16_t usMinVersion) {
  uint16_t usFlags = 0;
  g_Eeprom.GetInitFlags(&usFlags);
  if ((usFlags & usInitMask) != 0) return true;
  uint16_t usVersion = 0;
  g_Eeprom.GetLayoutVersion(&usVersion);
  return usMinVersion > usVersion;
}

// ---- CEepromCell ------------------------------------------------------------------------

CEepromCell::CEepromCell(uint32_t ulAddress, uint32_t ulSize, const void* pDefault, uint16_t usBitIndex,
                         uint16_t usMinVersion)
    : m_ulSize(ulSize),
      m_ulAddress(ulAddress),
      m_pDefault(pDefault),
      m_usInitMask(InitMask(usBitIndex)),
      m_usMinVersion(usMinVersion) {
  // The result of a default write is not reported: a failed one leaves the
  // bytes the EEPROM holds.
  if (EepromCellNeedsDefault(m_usInitMask, m_usMinVersion)) WriteDefault();
}

int32_t CEepromCell::Read(void* pDestination) const {
  uint8_t* pucDest = static_cast<uint8_t*>(pDestination);
  for (uint32_t i = 0; i < m_ulSize; ++i) {
    uint8_t ucByte = 0;
    if (g_Eeprom.ReadByte(static_cast<uint16_t>(m_ulAddress + i), &ucByte) != 0) return -1;
    g_ByteAccess16.WriteByte(pucDest + i, ucByte);
  }
  return 0;
}

int32_t CEepromCell::WriteBytes(const void* pSource) const {
  const uint8_t* pucSource = static_cast<const uint8_t*>(pSource);
  for (uint32_t i = 0; i < m_ulSize; ++i) {
    uint32_t ulByte = 0;
    g_ByteAccess16.ReadByte(pucSource + i, &ulByte);
    const int32_t lResult = g_Eeprom.WriteByte(static_cast<uint16_t>(m_ulAddress + i), static_cast<uint8_t>(ulByte));
    if (lResult != 0) return lResult;
  }
  return 0;
}

int32_t CEepromCell::Write(const void* pSource) const {
  const int32_t lResult = WriteBytes(pSource);
  if (lResult != 0) return lResult;
  return g_Eeprom.Commit();
}

int32_t CEepromCell::GetSize(uint32_t* pulSize) const {
  *pulSize = m_ulSize;
  return 0;
}

// ---- CHeadEepromCell ------------------------------------------------------------------------

CHeadEepromCell::CHeadEepromCell(CHeadEeprom* pEeprom, uint32_t ulAddress, uint32_t ulSize, const void* pDefault,
                                 uint16_t usBitIndex, uint16_t usMinVersion)
    : m_pEeprom(pEeprom),
      m_ulSize(ulSize),
      m_ulAddress(ulAddress),
      m_pDefault(pDefault),
      m_usInitMask(InitMask(usBitIndex)),
      m_usMinVersion(usMinVersion) {
  if (EepromCellNeedsDefault(m_usInitMask, m_usMinVersion)) WriteDefault();
}

int32_t CHeadEepromCell::Read(void* pDestination) const {
  uint8_t* pucDest = static_cast<uint8_t*>(pDestination);
  for (uint32_t i = 0; i < m_ulSize; ++i) {
    uint8_t ucByte = 0;
    if (m_pEeprom->ReadByte(static_cast<uint8_t>((m_ulAddress + i) & 0xFFu), &ucByte) != 0) return -1;
    g_ByteAccess16.WriteByte(pucDest + i, ucByte);
  }
  return 0;
}

int32_t CHeadEepromCell::Write(const void* pSource) const {
  const uint8_t* pucSource = static_cast<const uint8_t*>(pSource);
  for (uint32_t i = 0; i < m_ulSize; ++i) {
    uint32_t ulByte = 0;
    g_ByteAccess16.ReadByte(pucSource + i, &ulByte);
    const int32_t lResult =
        m_pEeprom->WriteByte(static_cast<uint8_t>((m_ulAddress + i) & 0xFFu), static_cast<uint8_t>(ulByte));
    if (lResult != 0) return lResult;
  }
  return 0;
}

int32_t CHeadEepromCell::GetSize(uint32_t* pulSize) const {
  *pulSize = m_ulSize;
  return 0;
}
