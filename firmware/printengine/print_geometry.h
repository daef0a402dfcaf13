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

// Builds the four track-correction line buffers from the TABLE data: 0, or
// the first failing TABLE lookup's result.
int32_t LoadTrackCorrectLineBuffers();
// Fills the 4096 bytes of the DSP's table 10 with the byte.
int32_t FillDspTable10(uint8_t ucValue);
