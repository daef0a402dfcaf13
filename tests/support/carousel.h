// The paper-roll carousel as the system tests see it: a new printer of an
// engine variant showing "Ready", with the paper out of the carousel's way,
// and a turn read back from the mechanism's trace: where the motor started,
// the notch edge it counted from, each duty it ran at with the counts past
// the edge where that duty was set, and where it braked.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/control/error_history.h"
#include "firmware/control/error_manager.h"
#include "sim/machine.h"
#include "sim/mechanism/carousel.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/panel/panel.h"
#include "tests/support/machine_test.h"
#include "tests/support/positioners.h"

namespace carouseltest {

using testsupport::Ms;

// The duties of a turn: the start duty at the start, then each step at its
// counts past the notch edge.
struct DutyAt {
  uint32_t ulDuty;
  int32_t lCounts;
  bool operator==(const DutyAt&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const DutyAt& d) {
  return out << d.ulDuty << "%@" << d.lCounts;
}

struct TurnProfile {
  bool bStarted = false;
  bool bBraked = false;
  sim::DriveState drive = sim::DriveState::Stop;
  int32_t from = 0;
  int32_t edge = 0;  // the first position outside the window it started in
  int32_t end = 0;
  std::vector<DutyAt> duties;
};

// The first turn of the paper-rotation motor at or after `since`: from its
// first Forward or Reverse to its Brake or Stop.
inline TurnProfile ProfileOf(const sim::DcMechanism& mechanism, sim::Nanos since) {
  const sim::CarouselLayout& layout = mechanism.GetCarousel().Layout();
  std::vector<sim::MechanismEvent> motor, carousel;
  for (const sim::MechanismEvent& e : mechanism.Trace().Events()) {
    if (e.at < since) continue;
    if (e.name == "DcMotorPaperRot") motor.push_back(e);
    if (e.name == "Carousel") carousel.push_back(e);
  }
  // The carousel's position traced at a time (it notes every speed change).
  const auto positionAt = [&](sim::Nanos at) {
    int32_t p = mechanism.GetCarousel().Position();
    for (const sim::MechanismEvent& e : carousel) {
      if (e.at > at) break;
      p = e.value;
    }
    return p;
  };
  TurnProfile t;
  sim::Nanos started = 0;
  std::vector<std::pair<uint32_t, sim::Nanos>> changes;
  for (const sim::MechanismEvent& e : motor) {
    const bool bDriven = e.drive == sim::DriveState::Forward || e.drive == sim::DriveState::Reverse;
    if (!t.bStarted) {
      if (!bDriven) continue;
      t.bStarted = true;
      t.drive = e.drive;
      started = e.at;
      t.from = positionAt(e.at);
    } else if (!bDriven) {
      t.bBraked = e.drive == sim::DriveState::Brake;
      t.end = positionAt(e.at);
      break;
    }
    changes.emplace_back(static_cast<uint32_t>(e.value), e.at);
  }
  if (!t.bStarted) return t;
  t.edge = t.from;
  for (const sim::MechanismEvent& e : carousel) {
    if (e.at >= started && layout.At(e.value) == sim::CarouselPosition::None) {
      t.edge = e.value;
      break;
    }
  }
  for (size_t i = 0; i < changes.size(); ++i) {
    const int32_t counts = i == 0 ? 0 : std::abs(positionAt(changes[i].second) - t.edge);
    t.duties.push_back({changes[i].first, counts});
  }
  return t;
}

// The profile the firmware's ramp gives a turn of `moveCount` counts from
// start duty S to 30 %: S at the start, then 5 % less after 20, 19, 18 ...
// counts, the last step to 30; full speed up to 360 counts before the end.
inline std::vector<DutyAt> ExpectedDuties(uint32_t ulStartDuty, uint32_t ulMoveCount) {
  constexpr uint32_t kEnd = 30;
  std::vector<DutyAt> duties{{ulStartDuty, 0}};
  int32_t counts = ulMoveCount >= 360 ? static_cast<int32_t>(ulMoveCount) - 359 : 0;
  uint32_t duty = ulStartDuty;
  for (int32_t step = 20; duty > kEnd; --step) {
    counts += step;
    duty = duty - 5 >= kEnd + 5 ? duty - 5 : kEnd;
    duties.push_back({duty, counts});
  }
  return duties;
}

// The design counts of a turn on the mechanism of the variant.
inline uint32_t TurnCounts(sim::EngineVariant variant, uint32_t ulFrom, uint32_t ulTo) {
  for (const sim::CarouselTurn& turn : sim::CarouselTurnsOf(variant)) {
    if (static_cast<uint32_t>(turn.from) == ulFrom && static_cast<uint32_t>(turn.to) == ulTo) return turn.counts;
  }
  ADD_FAILURE() << "no turn " << ulFrom << "->" << ulTo;
  return 0;
}

// A motor's drive changes since a time: a duty change keeps the drive and
// is left out, and so is a state its two line writes pass through within
// the microsecond.
struct DriveChange {
  sim::Nanos at;
  sim::DriveState drive;
};
inline std::vector<DriveChange> DrivesOf(const sim::MechanismTrace& trace, std::string_view motor, sim::Nanos since) {
  std::vector<DriveChange> drives;
  for (const sim::MechanismEvent& e : trace.Of(motor)) {
    if (e.at < since) continue;
    if (!drives.empty() && e.at - drives.back().at < sim::kNsPerUs) drives.pop_back();
    if (drives.empty() || drives.back().drive != e.drive) drives.push_back({e.at, e.drive});
  }
  return drives;
}

// Every raised error index.
inline std::vector<uint32_t> RaisedIndexes() {
  std::vector<uint32_t> raised;
  for (uint32_t ulIndex = 0; ulIndex <= 0xFFFF; ++ulIndex) {
    if (IsErrorRaised(ulIndex)) raised.push_back(ulIndex);
  }
  return raised;
}

// A new printer of the engine variant showing "Ready"; the photo sensors
// at the top of both paper paths and at the paper end see no paper, so
// the carousel may turn and home.
class CarouselPrinter : public testsupport::MachineTest {
 protected:
  void BootReady(sim::EngineVariant variant) {
    m_variant = variant;
    BootNewPrinter(positionertest::VariantOptions(variant));
    m_machine->RunUntil([this] { return Lcd().Visible() == testsupport::kReadyLine; },
                        testsupport::kStartUp + testsupport::kFirstBootFormat + Ms(10000));
    ASSERT_EQ(Lcd().Visible(), testsupport::kReadyLine);
    for (const sim::PhotoSensor sensor : {sim::PhotoSensor::TopL, sim::PhotoSensor::TopR, sim::PhotoSensor::PaperEmpty}) {
      Inputs().SetPaperSeen(sensor, false);
    }
  }
  sim::LcdController& Lcd() { return *m_machine->GetBoard().FindDevice<sim::LcdController>(); }
  sim::PanelLeds& Leds() { return *m_machine->GetBoard().FindDevice<sim::PanelLeds>(); }
  sim::MechanismInputs& Inputs() { return *m_machine->GetBoard().FindDevice<sim::MechanismInputs>(); }
  sim::DcMechanism& Mechanism() { return *m_machine->GetBoard().FindDevice<sim::DcMechanism>(); }
  sim::Carousel& Carousel() { return Mechanism().GetCarousel(); }
  const sim::CarouselLayout& Layout() { return Carousel().Layout(); }

  // Runs `step` in the application's main loop; false when it did not end
  // within the limit.
  bool InLoop(std::function<void()> step, sim::Nanos limit = Ms(30000)) {
    return m_machine->RunStep(std::move(step), limit);
  }

  // Once the state machine has run: the index's status line, the Error
  // LED, and the index's code as the newest history entry.
  void ExpectShownAndLogged(uint32_t ulError, const char* pszLine) {
    m_machine->RunUntil([&] { return Lcd().Visible() == pszLine && Leds().IsOn(sim::PanelLed::Error); }, Ms(2000));
    EXPECT_EQ(Lcd().Visible(), pszLine);
    EXPECT_TRUE(Leds().IsOn(sim::PanelLed::Error));
    ASSERT_GE(g_ErrorHistTable.ucCount, 1u);
    EXPECT_EQ(g_ErrorHistTable.aRecords[0].ucCodeMajor, ulError >> 8);
    EXPECT_EQ(g_ErrorHistTable.aRecords[0].ucCodeMinor, ulError & 0xFFu);
  }

  sim::EngineVariant m_variant = sim::EngineVariant::EM3;
};

}  // namespace carouseltest
