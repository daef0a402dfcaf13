// The board's supply as the memory parts see it: one power-cut switch that
// the NOR flash and the four serial EEPROMs share, so the power can fail at
// the n-th write the firmware makes to any of them. The cut ends the boot
// as a reset would (the CPU stops, the console says "[board] power cut");
// the parts' files keep what they held, and the next boot on the same state
// directory starts from there.
#pragma once

#include <cstdint>

#include "sim/board.h"
#include "sim/memory/power_cut.h"

namespace sim {

class BoardPower final : public DeviceModel {
 public:
  explicit BoardPower(Board& board);
  BoardPower(const BoardPower&) = delete;
  BoardPower& operator=(const BoardPower&) = delete;

  // The board's supply, added at the first call.
  static BoardPower& Of(Board& board);

  PowerCutSwitch& Switch() { return m_switch; }
  // The power fails during the next flash or EEPROM write after `writes`
  // more (0: the very next one).
  void CutAfterWrites(uint64_t writes, CutDamage damage = CutDamage::None) { m_switch.Arm(writes, damage); }
  // Flash and EEPROM writes started since power-on.
  uint64_t Writes() const { return m_switch.Writes(); }
  bool PoweredOff() const { return m_switch.PoweredOff(); }

 private:
  PowerCutSwitch m_switch;
};

}  // namespace sim
