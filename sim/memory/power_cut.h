// A power-cut switch shared by the memory parts that hang on one supply:
// each part counts the writes it starts (a flash program or erase, an
// EEPROM programming cycle) here, and the power fails during the write the
// switch was armed for. A part alone has a switch of its own; on the board
// the flash and the serial EEPROMs share the board's (BoardPower), so a
// test can cut the power at any write of a save, whichever part it goes to.
#pragma once

#include <cstdint>
#include <functional>

namespace sim {

// What a write that the power cut interrupts leaves behind.
enum class CutDamage : uint8_t {
  None,     // the write had not changed a cell yet
  Partial,  // flash program: only the low byte's bits were cleared; flash
            // erase: the first half of the sector is erased, the rest not;
            // EEPROM write: the word is left erased (its erase had run)
};

class PowerCutSwitch {
 public:
  // The power fails during the next write after `writes` more (counted from
  // now, so 0 cuts the very next one).
  void Arm(uint64_t writes, CutDamage damage) {
    m_bArmed = true;
    m_cutAt = m_writes + writes;
    m_damage = damage;
  }
  // Runs when the power fails (after the part has left its damage).
  void SetHandler(std::function<void()> handler) { m_onCut = std::move(handler); }

  // A part starts a write: false when the power fails during it (the part
  // then leaves Damage() behind and calls Cut()).
  bool CountWrite() {
    const uint64_t index = m_writes++;
    if (m_bPoweredOff) return false;
    return !(m_bArmed && index >= m_cutAt);
  }
  CutDamage Damage() const { return m_damage; }
  void Cut() {
    m_bPoweredOff = true;
    m_bArmed = false;
    if (m_onCut) m_onCut();
  }

  bool PoweredOff() const { return m_bPoweredOff; }
  uint64_t Writes() const { return m_writes; }

 private:
  uint64_t m_writes = 0;
  uint64_t m_cutAt = 0;
  bool m_bArmed = false;
  bool m_bPoweredOff = false;
  CutDamage m_damage = CutDamage::None;
  std::function<void()> m_onCut;
};

}  // namespace sim
