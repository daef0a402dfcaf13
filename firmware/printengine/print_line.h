// The print-line control: one plane (Y, M, C, overcoat or SP) printed on
// the current unit's head, line by line from the FPGA's line interrupt.
//
// Before a plane the application task prepares it (TABLE bank, ramps,
// gradation base, parameter block) and starts it (head-drive tables, DSP
// tables, print mode, a table of ten line segments). From then on every
// tick of the line interrupt steps through the segment table: the lead-in
// counts down, four lead lines and the first line start the DSP's pipeline
// and the FPGA's line timer, each print line hands the DSP the source of
// the next row with a run-bit exchange and logs one head word, and the
// plane stops itself at its end.
//
// Every word the interrupt writes and a task reads is a hal::IsrShared.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"
#include "firmware/hal/isr_shared.h"
#include "firmware/platform/global_build.h"
#include "firmware/printengine/head_line_log.h"
#include "firmware/printengine/print_size.h"

struct ImageSlot;
class CSelfPrint;

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

class CPrintLine;
// A line handler: runs when its segment starts and again each time its
// steps run out while repetitions remain.
using LineHandler = int32_t (CPrintLine::*)();
struct LineSegment {
  LineHandler pfnHandler;  // null for none
  uint32_t ulSteps;
  uint32_t ulRepetitions;
};
constexpr uint32_t LINE_SEGMENTS = 10;
// The segments of a plane, by index.
enum LineSegmentIndex : uint32_t {
  LINE_SEG_LEAD_IN = 0,
  LINE_SEG_GAP = 1,
  LINE_SEG_LEAD_FIRST = 2,  // 2-5: the four lead lines
  LINE_SEG_FIRST = 6,
  LINE_SEG_PRINT = 7,
  LINE_SEG_PLANE_END = 8,
  LINE_SEG_END = 9,
};

// The handlers' call counters, cleared at every plane start.
enum LineCallCounter : uint32_t {
  LINE_CALLS_LEAD = 0,
  LINE_CALLS_FIRST = 1,
  LINE_CALLS_PRINT = 2,
  LINE_CALLS_PLANE_END = 3,
  LINE_CALLS_SEGMENT_END = 4,
  LINE_CALLS_HANDSHAKE = 5,
  LINE_CALL_COUNTERS = 6,
};

// The line exchange with the DSP waits at most this long, with interrupts
// masked (timed by the microsecond counter: the millisecond base stands
// still while they are).
constexpr uint32_t LINE_HANDSHAKE_BOUND_US = 10000;
// A blank source row of 8192 words of 0xFFFF.
constexpr PhysAddr PRINT_BLANK_ROW = 0xC7DFC000u;
constexpr uint32_t PRINT_BLANK_ROW_WORDS = 8192;
// Where the DSP puts the overcoat plane of the sheet.
constexpr PhysAddr PRINT_OVERCOAT_PLANE = 0xC5A00000u;
constexpr uint32_t PRINT_SUB_IMAGES = 3;

class CPrintLine {
 public:
  constexpr CPrintLine() = default;
  // The segment table's defaults, last TABLE bank -1, then StopPrint.
  explicit CPrintLine(GlobalBuild);

  // ---- the plane, from the application task ----
  // The current job's slot, the TABLE bank and its ramps, the gradation
  // base, the parameter block, the blank row. ulReserved is kept only.
  // 0 or the first failure.
  int32_t PreparePlane(uint32_t ulCurveParam, uint32_t ulReserved);
  // Plane code 0 Y, 1 M, 2 C, 3 overcoat, 4 SP: 0, or the first failing
  // table download's result (nothing of the line timer, the head power or
  // the segment table set up then); -1 without a prepared slot or for
  // another code.
  int32_t StartPlane(uint32_t ulPlaneCode);
  // Ends a running plane at once: the line words, the DSP's print mode, the
  // line trigger, both heads' power and the line flags. 0.
  int32_t StopPrint();
  // StopPrint at the end of a pass; raises a late line exchange first.
  int32_t EndPlane();
  // -1 makes the next PreparePlane reload the ramp tables.
  void SetLastTableBank(uint32_t ulBank) { m_ulLastTableBank = ulBank; }
  // Raises error 278 once when the line interrupt noted a late DSP
  // exchange since the last call (the task side of the handshake).
  void ReportLateExchange();

  // ---- interrupt context ----
  // One tick of the segment table: the handler's result, else 0.
  int32_t StepLineSegment();
  // The segment index, plus 1 while only one repetition is left.
  uint32_t GetSegmentPosition() const;
  // The per-line run-bit exchange with the DSP, with the mask saved and
  // restored. 0, or -1 when a wait ran out or the DSP was given up.
  int32_t LineHandshake();

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

  // ---- what the plane did (diagnosis and tests) ----
  uint16_t LineCounter() const { return m_usLineCounter; }
  uint16_t CallCount(LineCallCounter eCounter) const { return m_ausCalls[eCounter]; }
  uint32_t StepsLeft() const { return m_ulStepsLeft; }
  const LineSegment& Segment(uint32_t ulIndex) const { return m_aSegments[ulIndex % LINE_SEGMENTS]; }
  uint16_t LinePeriodUs() const { return m_usLinePeriod; }
  uint32_t LogOffsetBytes() const { return m_ulLogOffset; }
  uint16_t FirstImageLine() const { return m_usFirstImageLine; }
  uint16_t LastImageLine() const { return m_usLastImageLine; }
  uint32_t SubImageCount() const { return m_ulSubImageCount; }
  uint32_t SubImageBase(uint32_t ulIndex) const { return m_aulSubImageBase[ulIndex % PRINT_SUB_IMAGES]; }
  uint32_t SubImageRows(uint32_t ulIndex) const { return m_aulSubImageRows[ulIndex % PRINT_SUB_IMAGES]; }
  // Puts the segment table at a position (the interrupt dispatch's tests).
  void SetSegmentPosition(uint32_t ulIndex, uint32_t ulStepsLeft, uint32_t ulRepetitionsLeft);

 private:
  // The words a line hands the DSP: the row's base (when bBase) and row.
  struct RowWords {
    uint32_t ulBase;
    uint16_t usRow;
    bool bBase;
  };

  static const LineSegment kDefaultSegments[LINE_SEGMENTS];

  // ---- segment handlers ----
  int32_t OnLeadLine();
  int32_t OnFirstLine();
  int32_t OnPrintLine();
  int32_t OnPlaneEnd();
  int32_t OnSegmentEnd();
  void Count(LineCallCounter eCounter);
  // Row source, line counter + 1, the exchange, then the row's words.
  void HandOverLine(bool bPrintEntry, bool bLogHeadWord);
  void PrefetchFirstRow();
  RowWords RowSource(bool bPrintEntry);
  uint16_t TakeRow(uint16_t usLine);
  RowWords SplitRow(uint32_t ulRow) const;
  static void WriteRowWords(const RowWords& words);
  void LogHeadWord(uint32_t ulInvert);
  // Waits with interrupts masked until the DSP status shows usWant under
  // usMask, at most until the bound from ulStartUs: false when it ran out.
  static bool WaitDspStatus(uint16_t usMask, uint16_t usWant, uint32_t ulStartUs);

  // ---- plane start ----
  bool TakePlane(uint32_t ulPlaneCode, uint32_t* pulTableIndex, uint32_t* pulLeadInLines);
  void SetLineMapping(const PrintSizeRecord& params, uint32_t ulPlaneCode);
  void SetupSubImages(uint32_t ulPlaneCode);
  int32_t SendPlaneTables(uint32_t ulPlaneCode);
  void LoadHeadDrive(uint32_t ulTableIndex);
  void BuildSegments(uint32_t ulLeadInLines);
  void StartLineTimer();
  void StartHeadLog(uint32_t ulPlaneCode);

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
  uint32_t m_ulPlaneCode = 0;
  uint16_t m_usDspPlane = 0;
  const PrintSizeRecord* m_pParams = nullptr;
  LineSegment m_aSegments[LINE_SEGMENTS] = {};
  // Position in the segment table.
  hal::IsrShared<uint32_t> m_ulSegmentIndex;
  hal::IsrShared<uint32_t> m_ulStepsLeft;
  hal::IsrShared<uint32_t> m_ulRepetitionsLeft;
  // Lines handed to the DSP, the source-row counter and the two zones in
  // which each row is printed twice.
  hal::IsrShared<uint16_t> m_usLineCounter;
  hal::IsrShared<uint16_t> m_usSourceRow;
  hal::IsrShared<uint16_t> m_usZoneACount;
  hal::IsrShared<uint16_t> m_usZoneBCount;
  uint16_t m_usZoneAStart = 0;
  uint16_t m_usZoneBStart = 0;
  uint16_t m_usZoneAEnd = 0;
  uint16_t m_usZoneBEnd = 0;
  uint16_t m_usFirstImageLine = 0;
  uint16_t m_usLastImageLine = 0;
  // The pattern of an internal image, its previous row (kept across
  // planes) and its last answer.
  CSelfPrint* m_pPattern = nullptr;
  hal::IsrShared<uint16_t> m_usPrevPatternRow{0xFFFF};
  hal::IsrShared<uint16_t> m_usPatternRow;
  uint16_t m_usLinePeriod = 0;
  uint32_t m_aulHeadTables[3] = {};
  hal::IsrShared<uint16_t> m_usFirstTriggerDone;
  uint32_t m_ulBlankRow = 0;
  uint16_t m_usDspAnswer = 4;
  // The sources of tables 5 and 6: two 256-entry constant tables.
  const uint16_t* m_pusTable5Source = g_ausDspConstTableA;
  const uint16_t* m_pusTable6Source = g_ausDspConstTableB;
  uint32_t m_ulLastTableBank = 0xFFFFFFFFu;
  uint16_t m_ausOvercoatLevels[4] = {};
  uint32_t m_ulSubImageCount = 0;
  uint32_t m_aulSubImageBase[PRINT_SUB_IMAGES] = {};
  uint32_t m_aulSubImageRows[PRINT_SUB_IMAGES] = {};
  uint32_t m_ulReserved = 0;
  hal::IsrShared<uint16_t> m_ausCalls[LINE_CALL_COUNTERS];
  // The head log of the plane and the next entry.
  hal::IsrShared<uint16_t>* m_pLog = nullptr;
  hal::IsrShared<uint32_t> m_ulLogIndex;
  uint32_t m_ulLogOffset = 0;
  // Late exchanges not yet raised, and 1 once a wait ran out in this plane:
  // the rest of the plane hands its rows over without waiting.
  hal::IsrShared<uint32_t> m_ulLateExchanges;
  hal::IsrShared<uint32_t> m_ulDspGivenUp;
};

extern CPrintLine g_PrintLine;

// 0: the line pin steps the line segments; non-zero: the paper-step pin
// counts up and raises the line trigger at every second step.
extern hal::IsrShared<uint32_t> g_ulLineIrqEnable;
// Three counters of line pulses, each counting while its flag is set.
extern hal::IsrShared<uint16_t> g_usLineIrqFlags[3];
extern hal::IsrShared<uint16_t> g_usLineIrqCounts[3];

// The print size of the plane being printed (set by the plane sequencer);
// never null.
extern PrintSizeRecord* g_pCurPrintSize;
