// Fans and clutches: on/off loads on bits of the FPGA's fan-control
// register. A limited fan (CFanCnt) also rests after a long run.
#pragma once

#include <cstdint>

enum FanState : uint32_t { FAN_OFF = 0, FAN_ON = 1, FAN_RESTING = 2 };

class CFanCrutch {
 public:
  constexpr CFanCrutch() = default;
  int32_t On();
  int32_t Off();
  int32_t GetState(uint32_t* pulState) const;

 protected:
  uint32_t m_ulState = FAN_OFF;
};

class CFanCnt : public CFanCrutch {
 public:
  constexpr CFanCnt() = default;
  // The on-time supervision of the pass.
  int32_t Check();
  // Resting from now on.
  int32_t Rest();
};

extern CFanCnt g_FanHeadL;
extern CFanCnt g_FanHeadR;
extern CFanCnt g_FanSideL;
extern CFanCnt g_FanSideR;
