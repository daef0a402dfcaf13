// The current unit's ribbon (donor) manager, as far as the background drive
// steps and the FPGA interrupt use it, and the four managers the unit
// switch chooses from.
#pragma once

#include <cstdint>

#include "firmware/hal/isr_shared.h"
#include "firmware/platform/global_build.h"

class CDonorMng {
 public:
  constexpr CDonorMng() = default;
  // One step of the manager's pending background operation: 1 while it is
  // still running, any other value once it has ended.
  virtual int32_t BackgroundStep();
  // Interrupt context, at every main-stepper step pulse: counts it while
  // counting is enabled. 0.
  int32_t CountStepPulse();
  // Counting on (non-zero) or off; the count starts again from 0.
  int32_t SetStepCounting(uint32_t ulOn);
  int32_t GetStepPulseCount(uint32_t* pulCount) const;

 protected:
  ~CDonorMng() = default;

 private:
  hal::IsrShared<uint32_t> m_ulStepPulseCount;
  hal::IsrShared<uint32_t> m_ulCountingEnabled;
};

// The mark-sensor and the colour-sensor ribbon managers.
class CDonorMng_MarkSen final : public CDonorMng {
 public:
  constexpr CDonorMng_MarkSen() = default;
  explicit CDonorMng_MarkSen(GlobalBuild);
};

class CDonorMng_ColorSen final : public CDonorMng {
 public:
  constexpr CDonorMng_ColorSen() = default;
  explicit CDonorMng_ColorSen(GlobalBuild);
};

extern CDonorMng_MarkSen g_DonorMngMarkSenL;
extern CDonorMng_MarkSen g_DonorMngMarkSenR;
extern CDonorMng_ColorSen g_DonorMngColorSenL;
extern CDonorMng_ColorSen g_DonorMngColorSenR;

// The current unit's manager, chosen by the unit switch (never null).
extern CDonorMng* g_pDonorMng;
