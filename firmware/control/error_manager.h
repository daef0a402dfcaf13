// The error manager: one bit per error index, raised by the parts that find
// an error and read by the printer-state selection, the status line and the
// host status.
#pragma once

#include <cstdint>

class CErrorMng {
 public:
  static constexpr uint32_t kWords = 2048;  // one bit per index 0x0000-0xFFFF
  static constexpr uint32_t kNoIndex = 0xFFFF;

  constexpr CErrorMng() : m_aulBits{}, m_ulSubCode(0) {}

  // 0, -1 (index not in the table), -2 (a flagged row while the error
  // history is disabled). kNoIndex is ignored.
  int32_t SetError(uint32_t ulIndex);
  int32_t ClearError(uint32_t ulIndex);
  int32_t IsErrorSet(uint32_t ulIndex, uint32_t* pulFlag) const;
  // 0 with the lowest raised index, or -1 with index -1 when none is raised.
  int32_t LowestActiveError(int32_t* plIndex) const;

 private:
  uint32_t m_aulBits[kWords];
  uint32_t m_ulSubCode;
};

extern CErrorMng g_ErrorMng;
