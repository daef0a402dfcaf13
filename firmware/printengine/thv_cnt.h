// The head supply voltage (THV) of one plane or use: its setting, and the
// walk of the FPGA's voltage step towards it.
#pragma once

#include <cstdint>

class CParameter;

class CThvCnt {
 public:
  constexpr CThvCnt() = default;
  constexpr CThvCnt(const CParameter* pThv, const CParameter* pDensity) : m_pThv(pThv), m_pDensity(pDensity) {}
  CThvCnt(const CThvCnt&) = delete;
  CThvCnt& operator=(const CThvCnt&) = delete;

  // Start-up: the rest step to the FPGA, the supply on, the walk to it.
  int32_t Init();
  // Starts a walk of the voltage step towards the target.
  int32_t StartStepToTarget();
  // 1 while walking, 0 when the target is reached, -1 in a bad state.
  int32_t StepToTarget();
  // Walks the voltage back to its rest step and switches the supply off
  // (before a restart): 0, or negative.
  int32_t RestoreAndPowerOff();
  // The humidity correction of the voltage step (signed). 0.
  int32_t SetHumidCorrection(int32_t lCorrection);

 private:
  const CParameter* m_pThv = nullptr;
  const CParameter* m_pDensity = nullptr;
  uint32_t m_ulWalking = 0;
};

// The pre-heat's THV objects of unit L and unit R, and unit L's yellow
// plane.
extern CThvCnt g_ThvPheatL;
extern CThvCnt g_ThvPheatR;
// The THV object of the first plane of unit L, which also rules the supply.
extern CThvCnt g_ThvYL;

// Start-up: the THV power values from the TABLE data; 0 or -2.
int32_t LoadThvPowerFromTable();

// Walks the THV to its target and waits until it is there.
int32_t WalkThvToTarget(CThvCnt& thv);
