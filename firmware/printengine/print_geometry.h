// The print geometry: the print edges derived from the position settings,
// the engine constants, the track-correction line buffers and the DSP's
// table 10.
#pragma once

#include <cstdint>

class CPrintGeometry {
 public:
  constexpr CPrintGeometry() = default;

  // Recompute the print edges from "CisOffset L"/"CisOffset R", and from
  // "MG Offset L"/"MG Offset R". 0.
  int32_t ApplyCisOffsets();
  int32_t ApplyMgOffsets();
  // The print-width constants of the "Engine Version" value, then the edges.
  int32_t SetForEngine(int32_t lEngineVersion);

  // The offsets the edges were last computed from.
  int32_t CisOffset(uint32_t ulUnit) const { return m_alCisOffset[ulUnit & 1u]; }
  int32_t MgOffset(uint32_t ulUnit) const { return m_alMgOffset[ulUnit & 1u]; }

 private:
  int32_t m_alCisOffset[2] = {};
  int32_t m_alMgOffset[2] = {};
};

extern CPrintGeometry g_PrintGeometry;

// The track-correction lengths: for each side (A = 0, B = 1) three lengths
// in print lines, and the active flag. Every operation: 0, or -1 for a side
// other than 0 or 1.
class CTrackCorrect {
 public:
  constexpr CTrackCorrect() = default;
  // Mode 1: the lengths move down one place and the value goes first;
  // mode 2: all three become the value; any other mode: the first does.
  int32_t PushLength(uint32_t ulSide, uint32_t ulValue, uint32_t ulMode);
  int32_t GetLengths(uint32_t ulSide, uint32_t aulLengths[3]) const;
  // Each length of the side less the fed length, not below 0.
  int32_t ConsumeLength(uint32_t ulSide, uint32_t ulFed);
  int32_t SetActive();
  int32_t ClearActive();
  int32_t IsActive(uint32_t* pulFlag) const;

 private:
  uint32_t m_aaulLengths[2][3] = {};
  uint32_t m_ulActive = 0;
};

extern CTrackCorrect g_TrackCorrect;

// Builds the four track-correction line buffers from the TABLE data: 0, or
// the first failing TABLE lookup's result.
int32_t LoadTrackCorrectLineBuffers();
// Fills the 4096 bytes of the DSP's table 10 with the byte.
int32_t FillDspTable10(uint8_t ucValue);
