// Settings: a signed number with a 16-character LCD label, limits and a
// default, kept in a main EEPROM cell (and, for head-specific values, also
// in a cell of each head-unit EEPROM), and the panel editor most service
// menu items use.
#pragma once

#include <cstdint>

class CEepromCell;
class CHeadEepromCell;

// The width class of a setting, chosen from its limits.
enum ParamWidth : uint16_t {
  PARAM_WIDTH_S8 = 0,
  PARAM_WIDTH_U8 = 1,
  PARAM_WIDTH_S16 = 2,
  PARAM_WIDTH_U16 = 3,
  PARAM_WIDTH_32 = 4,
};

class CParameter {
 public:
  constexpr CParameter() = default;
  // Stores the fields, classifies the width and loads the value from the
  // main cell (taken as stored, not compared with the limits), else takes
  // the default.
  CParameter(const char* pszLabel, int32_t lMin, int32_t lMax, const CEepromCell* pMainCell,
             const CHeadEepromCell* pHeadCellA, const CHeadEepromCell* pHeadCellB, int32_t lDefault);

  int32_t GetValue(int32_t* plValue) const;
  int32_t GetMin(int32_t* plValue) const;
  int32_t GetMax(int32_t* plValue) const;
  int32_t GetDefault(int32_t* plValue) const;
  const char* GetLabel() const { return m_pszLabel; }
  ParamWidth GetWidth() const { return m_usWidth; }

  // -1 (nothing changes) outside [min, max] or when the cells cannot hold
  // the value; else stores it, writes the main cell and, when that
  // succeeded, the head cells: 0 or the first failing write's code.
  int32_t SetValue(int32_t lValue);
  // The same checks, RAM only.
  int32_t SetValueNoSave(int32_t lValue);
  int32_t ResetToDefault();
  // 1 when the value can be stored in every cell of the setting and read
  // back unchanged.
  bool Storable(int32_t lValue) const;

  // The unit's head cell read with the width's sign extension; 0 and the
  // result untouched when the setting has no such cell.
  int32_t ReadHeadCell(uint32_t ulUnit, int32_t* plValue) const;
  // -2 no head cell, -1 differs from the value, 0 equal.
  int32_t VerifyHeadCell(uint32_t ulUnit) const;
  // -1 unless there are a main and a unit-A head cell; else the head cell's
  // value becomes the value (no range check) and is written to the main cell.
  int32_t CopyHeadCellToMain();

  // Characters of the value in decimal, the minus sign included.
  static int32_t CountDigits(int32_t lValue, int32_t* plCount);
  static ParamWidth ClassifyWidth(int32_t lMin, int32_t lMax);

 private:
  int32_t LoadMain();
  int32_t SaveMain();
  int32_t SaveHeads();
  uint32_t Masked(int32_t lValue) const;
  template <class Cell>
  int32_t ReadCell(const Cell* pCell, int32_t* plValue) const;
  template <class Cell>
  int32_t WriteCell(const Cell* pCell, int32_t lValue) const;
  template <class Cell>
  bool CellHolds(const Cell* pCell, int32_t lValue) const;

  const char* m_pszLabel = nullptr;
  int32_t m_lValue = 0;
  int32_t m_lMin = 0;
  int32_t m_lMax = 0;
  const CEepromCell* m_pMainCell = nullptr;
  const CHeadEepromCell* m_pHeadCellA = nullptr;
  const CHeadEepromCell* m_pHeadCellB = nullptr;
  ParamWidth m_usWidth = PARAM_WIDTH_S8;
  int32_t m_lDefault = 0;
};

// Restores the default in RAM only.
int32_t RestoreDefault(CParameter* pParam);

// The panel editor of one setting; returns 0 when the operator leaves it
// with Clear.
int32_t EditParameter(CParameter* pParam);
