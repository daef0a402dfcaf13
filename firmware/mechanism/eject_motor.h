// The eject motor, as far as the paper moves start it.
#pragma once

#include <cstdint>

class CEjectMotor {
 public:
  constexpr CEjectMotor() = default;
  // Runs the motor at its move duty: reverse for direction 1, forward for
  // any other; the motor call's result.
  int32_t Start(uint32_t ulDirection);
};

extern CEjectMotor g_EjectMotor;
