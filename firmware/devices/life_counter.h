// Life counters: usage counts of the printer kept in RAM and written
// through to their main EEPROM cell on every change; those that belong to a
// print head are mirrored in that head unit's own EEPROM.
#pragma once

#include <cstdint>

class CEepromCell;
class CHeadEepromCell;

class CLifeCounter {
 public:
  constexpr CLifeCounter() = default;
  // Takes the main cell's size and reads the value from it (the head cell
  // is not read here).
  CLifeCounter(const char* pszLabel, const CEepromCell* pMainCell, const CHeadEepromCell* pHeadCell);

  int32_t GetValue(uint32_t* pulValue) const;
  // value += n (wrapping), then the main cell; the head cell only after a
  // good main write.
  int32_t Add(uint32_t ulCount);
  int32_t Increment() { return Add(1); }
  int32_t Write(uint32_t ulValue);
  int32_t Reset() { return Write(0); }
  // -2 without a head cell; -1 when the head cell differs from the value
  // (or cannot be read); 0 when equal.
  int32_t CompareHeadCell() const;
  // The head cell's value becomes the value of both cells; -1 without a
  // head cell or when it cannot be read.
  int32_t RestoreFromHeadCell();
  // Reads the main cell back into the value.
  int32_t Reload();
  // The counter screen without waiting: mode 10 decimal, else hexadecimal.
  int32_t Show(uint32_t ulMode) const;
  // The interactive counter screen: Enter asks "RESET ?" and a second Enter
  // resets; Clear leaves (returns 1).
  int32_t MenuScreen(uint32_t ulMode);

  const char* GetLabel() const { return m_pszLabel; }
  uint32_t GetCellSize() const { return m_ulCellSize; }

 private:
  int32_t WriteCells(bool bCommit);

  const char* m_pszLabel = nullptr;
  uint32_t m_ulValue = 0;
  uint32_t m_ulCellSize = 0;
  const CEepromCell* m_pMainCell = nullptr;
  const CHeadEepromCell* m_pHeadCell = nullptr;
};

constexpr uint32_t LIFE_COUNTER_MODE_DECIMAL = 10;
