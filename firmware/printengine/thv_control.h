// The head supply voltage (THV): one adjustable supply feeds both heads,
// set by a 10-bit step in the FPGA (a higher step gives a lower voltage)
// and measured on an A/D channel. Each print plane of each unit has a
// CThvCnt: its THV setting (the plane's print step), the density setting
// that corrects it, the humidity correction of the print sequences and the
// power the automatic tuning aims at. Every walk of the step moves one step
// at a time with a pause after each, so the supply never jumps.
#pragma once

#include <cstdint>

class CParameter;

class CThvCnt {
 public:
  // The supply's rest step: every THV setting's default.
  static constexpr uint16_t kRestStep = 776;
  static constexpr uint16_t kDefaultPower = 1350;
  // A non-blocking walk's step state.
  static constexpr uint32_t kStateIdle = 0;
  static constexpr uint32_t kStateWalking = 100;

  constexpr CThvCnt() = default;
  CThvCnt(CParameter* pThv, const CParameter* pDensity, uint16_t usPower);
  CThvCnt(const CThvCnt&) = delete;
  CThvCnt& operator=(const CThvCnt&) = delete;

  // Start-up: the rest step to the FPGA, the supply on, the walk to it.
  int32_t Init();
  // Walks to the rest step and switches the supply off.
  int32_t RestoreAndPowerOff();
  uint32_t MeasureThvMilliVolt();
  // Measures and shows "THV           mV"; returns the millivolts.
  uint32_t ShowThvMilliVolt();
  // The setting corrected by density and humidity, clamped to its limits.
  uint16_t ComputeTargetStep();
  // The non-blocking walk: start it (0), then step it from a polling loop:
  // 1 while walking, 0 when idle, -1 in any other state.
  int32_t StartStepToTarget();
  int32_t StepToTarget();
  // Walks to the target, then measures.
  uint32_t ReadThvMilliVolt();
  // The manual tuning screen "Thv": + and - move the step, Enter stores.
  int32_t ManualTune();
  // 0 once the front cover is closed, -1 when the operator cancels.
  int32_t WaitFrontCoverClosed();
  // Finds the step whose voltage meets the power for the head resistance:
  // 0 done (stored), -1 cancelled or the step range exhausted.
  int32_t AutoTuneThv(uint16_t usHeadResistance);
  int32_t SetPower(uint16_t usPower);
  uint16_t GetPower() const { return m_usPower; }
  int32_t GetThvSetting(CParameter** ppSetting) const;
  int32_t SetHumidCorrection(int32_t lSteps);

  // The walk's state, for tests and diagnosis.
  uint32_t StepState() const { return m_ulStepState; }
  int32_t HumidCorrection() const { return m_lHumidCorrection; }

 private:
  int32_t SettingValue() const;
  uint16_t RestStep() const;

  uint32_t m_ulStartTick = 0;
  uint32_t m_ulStepState = kStateIdle;
  uint32_t m_ulCurrent = 0;
  uint32_t m_ulTarget = 0;
  CParameter* m_pThv = nullptr;
  const CParameter* m_pDensity = nullptr;
  int32_t m_lHumidCorrection = 0;
  uint32_t m_ulSpare = 0;
  uint16_t m_usPower = 0;
};

extern CThvCnt g_ThvYL;
extern CThvCnt g_ThvML;
extern CThvCnt g_ThvCL;
extern CThvCnt g_ThvYR;
extern CThvCnt g_ThvMR;
extern CThvCnt g_ThvCR;
extern CThvCnt g_ThvOPL;
extern CThvCnt g_ThvOPR;
extern CThvCnt g_ThvMatteL;
extern CThvCnt g_ThvMatteR;
extern CThvCnt g_ThvSPL;
extern CThvCnt g_ThvSPR;
extern CThvCnt g_ThvPheatL;
extern CThvCnt g_ThvPheatR;

// Each unit's seven objects (Y, M, C, OP, MATTE, SP, PHEAT) and a null end,
// for the tuning screens.
constexpr uint32_t THV_TABLE_ENTRIES = 8;
extern CThvCnt* const g_ThvTableL[THV_TABLE_ENTRIES];
extern CThvCnt* const g_ThvTableR[THV_TABLE_ENTRIES];

// The machine definition's step: the fourteen objects in their order.
void ConstructThvObjects();

// Writes the step to the FPGA.
int32_t SetThvStep(uint16_t usStep);
// Blocking walk from the FPGA's step to usStep, one step every 2 ms.
int32_t MoveThvTo(uint16_t usStep);
// The mean raw reading of 100 samples with the measurement switched on.
uint32_t MeasureThvAverage();
// Start-up: the THV powers from the TABLE values; 0, or -2 (error 290
// raised) at the first missing or out-of-range value.
int32_t LoadThvPowerFromTable();

// Walks the THV to its target and waits until it is there.
int32_t WalkThvToTarget(CThvCnt& thv);
