// Placeholder of the print line and the plane sequencer: their interrupt
// ticks are counted and do nothing else; no line is printed yet, so the
// head log of unit A stays all zero.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/head_line_log.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_line_placeholder.h"

constinit CPrintLine g_PrintLine;
constinit CPlaneSequencer g_PlaneSequencer;
constinit hal::IsrShared<uint32_t> g_ulLineIrqEnable;
constinit hal::IsrShared<uint16_t> g_usLineIrqFlags[3];
constinit hal::IsrShared<uint16_t> g_usLineIrqCounts[3];
// No plane is planned yet: the print size of the plane is the large
// media's full size.
PrintSizeRecord* g_pCurPrintSize = &g_PrintSize8x12;
uint32_t g_ulPlaceholderLineSegmentTicks;
uint32_t g_ulPlaceholderPlaneTicks;
uint32_t g_ulPlaceholderStopPrintCalls;
uint16_t g_usHeadLineLogA[HEAD_LINE_LOG_LINES][HEAD_LINE_LOG_VALUES_PER_LINE];

namespace {
bool s_bLogged;
}  // namespace

CPrintLine::CPrintLine(GlobalBuild) { LogPlaceholderOnce(s_bLogged, "CPrintLine, CPlaneSequencer (print line)"); }

CPlaneSequencer::CPlaneSequencer(GlobalBuild) {
  LogPlaceholderOnce(s_bLogged, "CPrintLine, CPlaneSequencer (print line)");
}

int32_t CPrintLine::StepLineSegment() {
  ++g_ulPlaceholderLineSegmentTicks;
  return 0;
}

int32_t CPlaneSequencer::OnLine() {
  ++g_ulPlaceholderPlaneTicks;
  return 0;
}

int32_t CPrintLine::StopPrint() {
  LogPlaceholderOnce(s_bLogged, "CPrintLine, CPlaneSequencer (print line)");
  ++g_ulPlaceholderStopPrintCalls;
  return 0;
}
