// The colour sensors of the two print units: each unit's ribbon shows one
// panel (yellow, magenta, cyan, overcoat, or no ribbon at all) under its
// sensor, which three LEDs (red, green, blue) light and one receiver reads.
// Both receivers reach the A/D converter on channel 128, switched by the
// left-sensor select bit of COLOR_CTRL (bit 8); boards of PCB revision 0
// have them on channels 128 (left) and 129 (right) instead.
//
// The receiver reads the level its lit LED gives on that panel (the sum over
// the lit LEDs, should several be lit), the dark level when none is, and
// nothing of a failed LED.
#pragma once

#include <array>
#include <cstdint>

namespace sim {

enum class Panel : uint8_t { Yellow, Magenta, Cyan, Overcoat, None, Count };
enum class PrintUnit : uint8_t { L, R };
enum class LedColor : uint8_t { Red, Green, Blue };

class RibbonColors {
 public:
  static constexpr uint32_t kChannel = 128;
  static constexpr uint32_t kChannelRightRev0 = 129;
  static constexpr uint16_t kSelectLeft = 0x0100;
  static constexpr uint16_t kDark = 20;
  static constexpr uint16_t kFullScale = 1023;
  // The receiver's level with one LED lit on a panel.
  static uint16_t Level(Panel panel, LedColor led);

  // Parses a panel's option name (yellow, magenta, cyan, overcoat, none).
  static bool ParsePanel(const char* pszName, Panel* pPanel);

  explicit RibbonColors(uint32_t pcbRevision) : m_pcbRevision(pcbRevision) {}

  void SetPanel(PrintUnit unit, Panel panel) { m_panels[static_cast<uint32_t>(unit)] = panel; }
  Panel PanelOf(PrintUnit unit) const { return m_panels[static_cast<uint32_t>(unit)]; }
  // LED 1-6 (COLOR_CTRL bit LED - 1).
  void SetLedFailed(uint32_t led, bool bFailed);

  // The A/D level of `channel` while COLOR_CTRL holds `colorCtrl`; false for
  // a channel that carries no receiver.
  bool Analog(uint32_t channel, uint16_t colorCtrl, uint16_t* pLevel) const;

 private:
  uint16_t Receiver(PrintUnit unit, uint16_t colorCtrl) const;

  uint32_t m_pcbRevision;
  std::array<Panel, 2> m_panels{Panel::Yellow, Panel::Yellow};
  uint16_t m_failedLeds = 0;
};

}  // namespace sim
