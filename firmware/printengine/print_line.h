// What the FPGA interrupt runs of the print-line control: the line
// segment's tick on the line pin, the plane sequencer's tick on the
// paper-step pin, and the words that switch and count them.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"
#include "firmware/hal/isr_shared.h"
#include "firmware/platform/global_build.h"
#include "firmware/printengine/print_size.h"

struct ImageSlot;

// What the plane preparation and start give the DSP parameter block and
// the table downloads: the plane's image slot and geometry.
struct PrintLinePlane {
  ImageSlot* pSlot;
  uint16_t usRowLength;     // source width (overcoat plane: overcoat width)
  uint16_t usLineCount;     // lines including the two extra-line runs
  uint16_t usOvercoatWidth;
  uint32_t ulImageBase;     // SDRAM address of the rows printed
  uint16_t usSourceWidth;
  uint16_t usSourceHeight;
  uint16_t usMargin1;
  uint16_t usMargin2;
  uint16_t usTextPage;      // 1: the plane's test-print pattern is its text page
};

// The two 512-byte constant tables of the DSP's tables 5 and 6.
extern const uint16_t g_ausDspConstTableA[256];
extern const uint16_t g_ausDspConstTableB[256];

class CPrintLine {
 public:
  constexpr CPrintLine() = default;
  explicit CPrintLine(GlobalBuild);
  // Interrupt context: one tick of the line segments.
  int32_t StepLineSegment();
  // DspSendTable with up to five tries: a checksum error raises
  // kDspTableChecksum, which is cleared again while tries remain; a DSP
  // that does not follow raises kDspTableTimeout and ends the tries. The
  // last try's result.
  int32_t SendDspTable(uint16_t usTableId, uint32_t ulLength);
  // Sends the DSP's table 10 (FillDspTable10) to the DSP.
  int32_t SendTable10();

  // ---- parameter block and tables of a plane (plane codes 0 Y, 1 M, 2 C,
  // 3 overcoat, 4 SP); each download returns SendDspTable's result ----
  // The parameter block in its fixed order; logs and stores the side and
  // track offsets. 0.
  int32_t WriteDspParams(uint32_t ulPlaneCode);
  // The four overcoat levels: 0 but on the overcoat plane, where they are
  // TABLE value 0x44, each moved by its "Matte Rel." setting and "Matte
  // Adjust" on a matte slot (clamped to 0..255 after each step). 0.
  int32_t SetOvercoatLevels(uint32_t ulPlaneCode);
  // The head drive's pulse division from TABLE values k + 0x30 and k + 0x38,
  // and the DSP's pulse-length word. The head drive's result.
  int32_t SetPulseDivision(uint32_t ulPlaneCode);
  int32_t SendTable1(uint32_t ulPlaneCode);  // the corrected gradation
  int32_t SendTable3(uint32_t ulPlaneCode);
  int32_t SendTable4(uint32_t ulPlaneCode);
  int32_t SendTables5And6();
  int32_t SendTable7(uint32_t ulPlaneCode);  // track correction
  int32_t SendTable8(uint32_t ulPlaneCode);
  int32_t SendTable9(uint32_t ulPlaneCode);

  // The plane as the preparation set it (tests set it directly).
  void SetPlane(const PrintLinePlane& plane) { m_plane = plane; }
  const PrintLinePlane& Plane() const { return m_plane; }
  uint16_t OvercoatLevel(uint32_t ulIndex) const { return m_ausOvercoatLevels[ulIndex & 3u]; }
  // The TABLE index of a plane code (0 Y, 1 M, 2 C, 3 overcoat, 4 SP): the
  // base of the plane's TABLE values and tables. Y, M, C keep their code;
  // the overcoat is 3, or 4 when the current image slot of the job at the
  // head of the active list is matte; SP is 5; other codes keep theirs.
  uint32_t GetTableIndex(uint32_t ulPlaneCode) const;
  // Ends the print of the current plane: the line segments stop.
  int32_t StopPrint();

 private:
  // Copies ulBytes from flash to the staging buffer word by word.
  static void StageFromFlash(PhysAddr ulSource, uint32_t ulBytes);
  static void StageWords(const uint16_t* pusSource, uint32_t ulWords);
  // 0x80013FF4: 1 for an internal image or the overcoat plane.
  void WriteInternalWord(uint32_t ulPlaneCode) const;
  // Sends TABLE table ulTableId (at most ulMaxBytes of it) as a DSP table.
  int32_t SendStoredTable(uint16_t usDspTable, uint32_t ulTableId, uint32_t ulMaxBytes);
  bool InternalImage() const;
  void WriteSideOffset();
  void WriteTrackOffset();

  PrintLinePlane m_plane = {};
  uint16_t m_ausOvercoatLevels[4] = {};
  // The sources of tables 5 and 6: two 256-entry constant tables.
  const uint16_t* m_pusTable5Source = g_ausDspConstTableA;
  const uint16_t* m_pusTable6Source = g_ausDspConstTableB;
};

class CPlaneSequencer {
 public:
  constexpr CPlaneSequencer() = default;
  explicit CPlaneSequencer(GlobalBuild);
  // Interrupt context: one tick of the plane at a paper step.
  int32_t OnLine();
};

extern CPrintLine g_PrintLine;
extern CPlaneSequencer g_PlaneSequencer;

// 0: the line pin steps the line segments; non-zero: the paper-step pin
// counts up and raises the line trigger at every second step.
extern hal::IsrShared<uint32_t> g_ulLineIrqEnable;
// Three counters of line pulses, each counting while its flag is set.
extern hal::IsrShared<uint16_t> g_usLineIrqFlags[3];
extern hal::IsrShared<uint16_t> g_usLineIrqCounts[3];

// The print size of the plane being printed; never null.
extern PrintSizeRecord* g_pCurPrintSize;
