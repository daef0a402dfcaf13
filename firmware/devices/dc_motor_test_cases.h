// The line levels of the DC-motor operations as the H-bridge drivers are
// wired: the cases both motor classes' tests run.
#pragma once

#include <cstdint>

#include "firmware/devices/dc_motor.h"

namespace dcmotortest {

enum Drives : uint32_t { FPGA_ONLY = 1, PORT_ONLY = 2, BOTH = 3 };

struct LineCase {
  const char* name;
  int32_t (CDcMotor::*op)();
  uint32_t polarity;
  uint32_t state;
  int lineA;
  int lineB;
  Drives drives;
};

// The H-bridge's truth table as the drivers wire it.
inline const LineCase kLineCases[] = {
    {"Forward", &CDcMotor::Forward, 0, 1, 1, 0, BOTH},   {"Forward", &CDcMotor::Forward, 1, 1, 0, 1, BOTH},
    {"Reverse", &CDcMotor::Reverse, 0, 2, 0, 1, BOTH},   {"Reverse", &CDcMotor::Reverse, 1, 2, 1, 0, BOTH},
    {"Stop", &CDcMotor::Stop, 0, 0, 1, 1, BOTH},         {"Stop", &CDcMotor::Stop, 1, 0, 0, 0, BOTH},
    {"Brake", &CDcMotor::Brake, 0, 0, 0, 0, BOTH},       {"Brake", &CDcMotor::Brake, 1, 0, 1, 1, BOTH},
    {"Hold", &CDcMotor::Hold, 0, 3, 0, 0, PORT_ONLY},    {"Hold", &CDcMotor::Hold, 1, 3, 1, 1, PORT_ONLY},
    {"HoldAlt", &CDcMotor::HoldAlt, 0, 3, 0, 0, PORT_ONLY}, {"HoldAlt", &CDcMotor::HoldAlt, 1, 3, 1, 1, PORT_ONLY},
};

}  // namespace dcmotortest
