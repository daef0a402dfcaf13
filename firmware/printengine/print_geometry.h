// The horizontal geometry of a print: the track points of the two units,
// the paper edges the CIS sees, the edges of the head's print window and
// the engine variant's width constants; the pending track-correction
// lengths of the two track sides; the track-correction line buffers built
// from the TABLE data; the DSP's table 10. Positions are dots.
#pragma once

#include <cstdint>

#include "firmware/platform/global_build.h"

class CPrintGeometry {
 public:
  constexpr CPrintGeometry() = default;

  // The width constants of the "Engine Version" value, written to
  // "Widthx100" and the two "Width" settings; then Calc and both offsets. 0.
  int32_t SetForEngine(int32_t lEngineVersion);
  // The window edges from the paper width, the default paper edges, and the
  // track points ("Cis SW" on: the settings; off: 80 both). 0.
  int32_t Calc();
  // leftEdge = -"CisOffset L", rightEdge = 2560 - "CisOffset R". 0.
  int32_t ApplyCisOffsets();
  // mgEdgeL = widthB + "MG Offset L", mgEdgeR = widthB - "MG Offset R". 0.
  int32_t ApplyMgOffsets();
  // Track point A (which 0) or B (other), also into its setting. 0.
  int32_t SetTrackPoint(uint32_t ulWhich, int32_t lValue);
  // The track offset of unit L (0) or R (other). 0.
  int32_t GetTrackOffset(uint32_t ulUnit, int32_t* plOffset) const;

  int32_t TrackPointA() const { return m_lTrackPointA; }
  int32_t TrackPointB() const { return m_lTrackPointB; }
  int32_t LeftEdge() const { return m_lLeftEdge; }
  int32_t RightEdge() const { return m_lRightEdge; }
  int32_t MgEdgeR() const { return m_lMgEdgeR; }
  int32_t MgEdgeL() const { return m_lMgEdgeL; }
  int32_t WidthX100() const { return m_lWidthX100; }
  int32_t WidthA() const { return m_lWidthA; }
  int32_t WidthB() const { return m_lWidthB; }

 private:
  int32_t m_lTrackPointA = 0;
  int32_t m_lTrackPointB = 0;
  int32_t m_lLeftEdge = 0;
  int32_t m_lRightEdge = 0;
  int32_t m_lMgEdgeR = 0;
  int32_t m_lMgEdgeL = 0;
  int32_t m_lWidthX100 = 0;
  int32_t m_lWidthA = 0;
  int32_t m_lWidthB = 0;
};

extern CPrintGeometry g_PrintGeometry;

// Three pending track-correction lengths for each track side (0 A, 1 B),
// kept in the "TrackLen..." settings, each change written at once.
class CTrackCorrect {
 public:
  static constexpr uint32_t kLengths = 3;

  constexpr CTrackCorrect() = default;
  // The machine definition's construction: both sides' lengths from their
  // settings, not active.
  explicit CTrackCorrect(GlobalBuild);

  // Mode 1: the lengths move down one place and the first takes the value;
  // mode 2: all three take it; other modes: the first takes it. 0, or -1
  // for a side other than 0 or 1.
  int32_t PushLength(uint32_t ulSide, uint32_t ulValue, uint32_t ulMode);
  int32_t GetLengths(uint32_t ulSide, uint32_t* pulLengths) const;
  // Each length of the side less the paper fed, 0 at most. 0, or -1.
  int32_t ConsumeLength(uint32_t ulSide, uint32_t ulFed);
  // Exchanges the two sides' lengths and writes all six settings. 0.
  int32_t SwapSides();
  int32_t SetActive();
  int32_t ClearActive();
  int32_t IsActive(uint32_t* pulFlag) const;

 private:
  void Store(uint32_t ulSide, uint32_t ulIndex);

  uint32_t m_aulLengths[2][kLengths] = {};
  uint32_t m_ulActive = 0;
};

extern CTrackCorrect g_TrackCorrect;

// The four track-correction line buffers: buffer k at 0xC7000000 +
// k x 0x200000, rows of 2560 16-bit entries, built from TABLE table
// 126 + k. Rows are cut to the 409 that fit a buffer, bytes per row to 2560.
constexpr uint32_t TRACK_LINE_BUFFERS = 4;
constexpr uint32_t TRACK_LINE_BUFFER_BASE = 0xC7000000u;
constexpr uint32_t TRACK_LINE_BUFFER_STRIDE = 0x200000u;
constexpr uint32_t TRACK_LINE_ENTRIES = 2560;
constexpr uint32_t TRACK_LINE_MAX_ROWS = TRACK_LINE_BUFFER_STRIDE / (2 * TRACK_LINE_ENTRIES);
// 0, or the first failing TABLE lookup's result (the buffers before it
// built).
int32_t LoadTrackCorrectLineBuffers();

// The DSP's table 10.
constexpr uint32_t DSP_TABLE10_BYTES = 4096;
extern uint8_t g_DspTable10[DSP_TABLE10_BYTES];
int32_t FillDspTable10(uint8_t ucValue);

// Ascending in place: for each position from the front, adjacent pairs are
// compared from the end back to it and exchanged when the first is larger.
int32_t SortIntAscending(int32_t* plValues, uint32_t ulCount);
