// What the FPGA interrupt runs of the print-line control: the line
// segment's tick on the line pin, the plane sequencer's tick on the
// paper-step pin, and the words that switch and count them.
#pragma once

#include <cstdint>

#include "firmware/hal/isr_shared.h"
#include "firmware/platform/global_build.h"
#include "firmware/printengine/print_size.h"

class CPrintLine {
 public:
  constexpr CPrintLine() = default;
  explicit CPrintLine(GlobalBuild);
  // Interrupt context: one tick of the line segments.
  int32_t StepLineSegment();
  // Sends the DSP's table 10 (FillDspTable10) to the DSP.
  int32_t SendTable10();
  // The TABLE index of a plane code (0 Y, 1 M, 2 C, 3 overcoat, 4 SP): the
  // base of the plane's TABLE values and tables. Y, M, C keep their code;
  // the overcoat is 3, or 4 when the current image slot of the job at the
  // head of the active list is matte; SP is 5; other codes keep theirs.
  uint32_t GetTableIndex(uint32_t ulPlaneCode) const;
  // Ends the print of the current plane: the line segments stop.
  int32_t StopPrint();
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
