// The print geometry: the print edges derived from the position settings.
#pragma once

#include <cstdint>

class CPrintGeometry {
 public:
  constexpr CPrintGeometry() = default;

  // Recompute the print edges from "CisOffset L"/"CisOffset R", and from
  // "MG Offset L"/"MG Offset R". 0.
  int32_t ApplyCisOffsets();
  int32_t ApplyMgOffsets();

  // The offsets the edges were last computed from.
  int32_t CisOffset(uint32_t ulUnit) const { return m_alCisOffset[ulUnit & 1u]; }
  int32_t MgOffset(uint32_t ulUnit) const { return m_alMgOffset[ulUnit & 1u]; }

 private:
  int32_t m_alCisOffset[2] = {};
  int32_t m_alMgOffset[2] = {};
};

extern CPrintGeometry g_PrintGeometry;
