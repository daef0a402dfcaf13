// Timer 0 of the SoC: a 64-bit timer whose two 32-bit halves count on their
// own. The board support uses the upper half (TIM34) as a free-running
// counter at 24 MHz: global control 0x24 (bit 1: the upper half out of
// reset), timer control 0x20 (bits 22-23: its enable mode), period 0x1C and
// counter 0x14. The lower half is the kernel's tick, which the board keeps
// itself; its registers only hold what is written.
//
// The counter is derived from virtual time when the CPU reads it; the model
// schedules nothing.
#pragma once

#include <cstdint>

#include "sim/board.h"
#include "sim/bus.h"
#include "sim/clock.h"

namespace sim {

class Timer0 : public DeviceModel, public BusDevice {
 public:
  static constexpr PhysAddr kFirst = 0x01C20000u;
  static constexpr PhysAddr kLast = 0x01C20FFFu;

  // Register offsets.
  static constexpr uint32_t kTim12 = 0x10;
  static constexpr uint32_t kTim34 = 0x14;
  static constexpr uint32_t kPrd12 = 0x18;
  static constexpr uint32_t kPrd34 = 0x1C;
  static constexpr uint32_t kTcr = 0x20;
  static constexpr uint32_t kTgcr = 0x24;

  static constexpr uint32_t kTgcrTim34Rs = 1u << 1;  // 1: the upper half is out of reset
  static constexpr uint32_t kTcrEnaMode34Shift = 22;
  static constexpr uint32_t kTcrEnaMode34Mask = 3u << kTcrEnaMode34Shift;
  // Enable modes: 0 disabled, 1 once up to the period, 2 and 3 continuous.
  static constexpr uint32_t kEnaDisabled = 0;
  static constexpr uint32_t kEnaOneShot = 1;

  static constexpr uint64_t kCountHz = 24'000'000;

  explicit Timer0(SimClock& clock) : m_clock(clock) {}

  uint32_t Read(uint32_t offset, uint32_t width) override;
  void Write(uint32_t offset, uint32_t width, uint32_t value) override;

  // Observation for tests.
  bool UpperRunning() const { return m_bRunning; }

 private:
  uint32_t ReadRegister(uint32_t reg);
  void WriteRegister(uint32_t reg, uint32_t value);
  // The upper counter now; a one-shot count that reached its period stops
  // there and clears its enable mode, as the part does.
  uint32_t UpperCount();
  // Folds the counting so far into the held count and starts or stops the
  // counter as the control registers now say.
  void Rebase();

  SimClock& m_clock;
  uint32_t m_tim12 = 0;
  uint32_t m_prd12 = 0;
  uint32_t m_prd34 = 0;
  uint32_t m_tcr = 0;
  uint32_t m_tgcr = 0;
  uint32_t m_heldCount = 0;  // the counter at m_since
  Nanos m_since = 0;
  bool m_bRunning = false;
};

// Maps timer 0 on the board's bus.
Timer0& InstallTimer0(Board& board);

}  // namespace sim
