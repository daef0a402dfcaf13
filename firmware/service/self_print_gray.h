// The test-print pattern objects that the print engine asks for the rows of
// an internal image, one per colour plane (Y, M, C), reached through
// g_pSelfPrintY, g_pSelfPrintM and g_pSelfPrintC. The grey pattern draws
// the blank side of a job whose host sent a picture for one side only.
#pragma once

#include <cstdint>

class CSelfPrint {
 public:
  constexpr CSelfPrint() = default;
  // Starts the row sequence of a new plane.
  virtual void Reset();
  // The row that the next line of the sequence prints.
  virtual uint16_t NextRow();
  // The source row of output line usLine, for the DSP's row tables.
  virtual uint16_t RowOf(uint16_t usLine);

 protected:
  ~CSelfPrint() = default;
  uint16_t m_usLineCounter = 0;
};

class CSelfPrintGray final : public CSelfPrint {
 public:
  constexpr CSelfPrintGray() = default;

 private:
  uint16_t m_usLevel = 0;
};

extern CSelfPrintGray g_SelfPrintGrayY;
extern CSelfPrintGray g_SelfPrintGrayM;
extern CSelfPrintGray g_SelfPrintGrayC;

// The pattern objects of planes Y, M and C for the internal image printed
// next; null until a pattern is installed.
extern CSelfPrint* g_pSelfPrintY;
extern CSelfPrint* g_pSelfPrintM;
extern CSelfPrint* g_pSelfPrintC;

// Installs the three grey objects as the patterns of planes Y, M and C.
void InstallGrayPatterns();
