// The positioners as the system tests drive them: one handle per part
// (start, step, position, motor), and the poll loop of the sequences' unit
// moves, with the abort check between the polls.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "firmware/devices/chop_motor.h"
#include "firmware/devices/dc_motor.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/mechanism/cutter.h"
#include "firmware/mechanism/feed_pinch.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/mechanism/path_select.h"
#include "firmware/mechanism/rotation_lock.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/mechanism/step_machine.h"
#include "sim/machine.h"
#include "sim/mechanism/positioner_geometry.h"
#include "tests/support/machine_test.h"

namespace positionertest {

// The pinch rollers are those of the engine variant in use (g_pProllMain,
// g_pProllFeed); their requests are position codes (1 up, 2-5 half or down
// on a side).
enum class Part { HeadL, HeadR, LoadPinch, LoadBar, EjectPinch, PathSel, RotLock, Cutter, MainPinch, FeedPinch };

// One positioner as a table drives it.
struct Driven {
  std::function<int32_t(uint32_t)> start;
  std::function<int32_t(int32_t*)> step;
  std::function<uint32_t()> position;
  CDcMotor* pMotor;
  CFpgaChopMotor* pChopper;  // null for a plain DC motor
  // Run once before the first move (the cutter settles), may be empty.
  std::function<int32_t()> settle;
};

template <typename T>
Driven Drive(T& positioner, CDcMotor* pMotor, CFpgaChopMotor* pChopper) {
  return {[&positioner](uint32_t r) { return positioner.StartMove(r); },
          [&positioner](int32_t* p) { return positioner.Step(p); },
          [&positioner] {
            uint32_t ulPosition = 0;
            positioner.GetPosition(&ulPosition);
            return ulPosition;
          },
          pMotor, pChopper};
}

// The cutter's request is its cut mode.
inline Driven CutterDriven() {
  return {[](uint32_t ulMode) { return g_Cutter.Cut(ulMode); },
          [](int32_t* p) { return g_Cutter.Step(p); },
          [] {
            uint32_t ulPosition = 0;
            g_Cutter.GetPosition(&ulPosition);
            return ulPosition;
          },
          &g_DcMotorCutter,
          &g_ChopMotorCutter,
          [] { return g_Cutter.SettlePosition(); }};
}

// A pinch roller: Move with unit 0.
template <typename Roller>
Driven PinchDriven(Roller* const& pRoller, CDcMotor* pMotor) {
  return {[&pRoller](uint32_t r) { return pRoller->Move(r, 0); },
          [&pRoller](int32_t* p) { return pRoller->Step(p); },
          [&pRoller] {
            uint32_t ulPosition = 0;
            pRoller->GetPosition(&ulPosition);
            return ulPosition;
          },
          pMotor, nullptr};
}

inline Driven Of(Part part) {
  switch (part) {
    case Part::HeadL: return Drive(g_HeadLiftL, &g_DcMotorHeadL, &g_ChopMotorHeadL);
    case Part::HeadR: return Drive(g_HeadLiftR, &g_DcMotorHeadR, &g_ChopMotorHeadR);
    case Part::LoadPinch: return Drive(g_LoadPinch, &g_DcMotorLoadPinch, nullptr);
    case Part::LoadBar: return Drive(g_LoadBar, &g_DcMotorLoadBar, &g_ChopMotorLoadBar);
    case Part::EjectPinch: return Drive(g_EjectPinch, &g_DcMotorEjectPinch, &g_ChopMotorEjectPinch);
    case Part::PathSel: return Drive(g_PathSelect, &g_DcMotorPathSel, nullptr);
    case Part::RotLock: return Drive(g_RotationLock, &g_DcMotorRotLock, &g_ChopMotorRotLock);
    case Part::Cutter: return CutterDriven();
    case Part::MainPinch: return PinchDriven(g_pProllMain, &g_DcMotorMainPinch);
    case Part::FeedPinch: return PinchDriven(g_pProllFeed, &g_DcMotorFeedPinch);
  }
  return {};
}

// Polls until done or failure with the abort check between the polls: the
// step's result, or -2 when the abort check ended the polls.
inline int32_t Poll(const Driven& d) {
  int32_t lResult = 0, lDone = 0;
  while (lResult == 0 && lDone == 0) {
    lResult = d.step(&lDone);
    if (lResult == 0 && lDone == 0 && CheckAbort(SEQ_CHECK_COVERS) != 0) return -2;
  }
  return lResult;
}

// Settles the part and brings it to its start by the moves `before`.
inline void Prepare(const Driven& d, const std::vector<uint32_t>& before) {
  if (d.settle) {
    ASSERT_EQ(d.settle(), 0);
  }
  for (uint32_t ulBefore : before) {
    ASSERT_EQ(d.start(ulBefore), 0);
    ASSERT_EQ(Poll(d), 0) << "to " << ulBefore;
  }
}

inline uint32_t MotorState(const Driven& d) {
  uint32_t ulState = 0;
  d.pMotor->GetState(&ulState);
  return ulState;
}

// A table case's name as a test name.
template <typename Info>
std::string CaseName(const Info& test) {
  std::string name = test.param.pszName;
  for (char& ch : name) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name;
}

// The options of a printer of the engine variant: "Engine Version" 1 (EM2)
// written into the main EEPROM before the boot; EM3 keeps the EEPROM's.
inline sim::MachineOptions VariantOptions(sim::EngineVariant variant, sim::MachineOptions options = {}) {
  options.engineVersion = variant == sim::EngineVariant::EM2 ? sim::kEngineVersionEm2 : 0;
  return options;
}

}  // namespace positionertest
