// The paper roll's diameter and the remaining paper it gives.
#pragma once

#include <cstdint>

class CRollDiameter {
 public:
  constexpr CRollDiameter() = default;
  // The remaining paper is unknown until the next load.
  int32_t ResetRemainPercent();
  int32_t GetRemainPercent(uint32_t* pulPercent) const;

 private:
  uint32_t m_ulRemainPercent = 100;
};

extern CRollDiameter g_RollDiameter;
