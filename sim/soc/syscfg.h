// The system configuration module SYSCFG0 at 0x01C14000: the chip's
// identification, the kick lock, pin multiplexing and the chip configuration
// registers (CFGCHIP0-4), of which CFGCHIP2 controls the USB0 PHY.
//
// What the part does, as the firmware drives it (32-bit registers):
// - KICK0R (0x38) and KICK1R (0x3C) read back what was written. The other
//   registers accept writes only while KICK0R holds kKick0Unlock and KICK1R
//   holds kKick1Unlock; any other value in either locks them again. A write
//   while locked is ignored, as on the part, and reported as a board fault:
//   the firmware forgot to unlock.
// - REVID (0x00) reads kRevision; it is read-only.
// - CFGCHIP2 (0x184), the USB0 PHY:
//     bits 0-3   REFFREQ   reference clock code; 1-9 are valid (2 = 24 MHz)
//     bit 4      VBDTCTEN  VBUS comparator on
//     bit 5      SESENDEN  session-end comparator on
//     bit 6      PHY_PLLON PHY PLL on
//     bit 8      DATPOL    data polarity normal
//     bit 9      OTGPWRDN  OTG analog blocks powered down
//     bit 10     PHYPWDN   PHY powered down
//     bit 11     PHYCLKMUX PHY clock source
//     bits 13-14 OTGMODE   0: the ID pin decides (this board: device)
//     bit 15     RESET     PHY held in reset
//     bit 16     VBUSSENSE (read-only) VBUS above the session threshold, read
//                          through the comparator (0 while VBDTCTEN is off)
//     bit 17     PHYCLKGD  (read-only) the PHY's clock is good
//   The PHY clock turns good kPhyLockTime after the PHY is out of reset,
//   powered (PHYPWDN and OTGPWRDN clear), its PLL on and REFFREQ valid; it
//   turns bad at once when any of that ends. Reset value kCfgChip2Reset: the
//   PHY in reset and powered down.
// - HOST1CFG (0x44), the DSP's boot address: bits 10-31 are the address the
//   DSP starts at when its local reset is released (the DSP model reads
//   them then); bits 0-9 read back as written. Reset value 0: no program.
// - PINMUX0-19 (0x120-0x16C), CFGCHIP0, 1, 3, 4 and the other registers read
//   back what was written (reset value 0).
//
// Fault switch: `FailUsb0PhyClock(true)` keeps PHYCLKGD at 0 whatever the
// PHY is told, as a PHY without its reference clock.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/board.h"
#include "sim/bus.h"
#include "sim/clock.h"

namespace sim {

class SystemConfig final : public DeviceModel, public BusDevice {
 public:
  static constexpr PhysAddr kBase = 0x01C14000u;
  static constexpr PhysAddr kLast = 0x01C14FFFu;
  static constexpr uint32_t kRevision = 0x4E840102u;
  static constexpr uint32_t kKick0Unlock = 0x83E70B13u;
  static constexpr uint32_t kKick1Unlock = 0x95A4F1E0u;
  static constexpr Nanos kPhyLockTime = 200 * kNsPerUs;

  // Register offsets.
  static constexpr uint32_t kRevId = 0x00;
  static constexpr uint32_t kKick0 = 0x38;
  static constexpr uint32_t kKick1 = 0x3C;
  static constexpr uint32_t kDspBootAddr = 0x44;
  static constexpr uint32_t kDspBootAddrMask = 0xFFFFFC00u;
  static constexpr uint32_t kPinMux0 = 0x120;
  static constexpr uint32_t kCfgChip0 = 0x17C;
  static constexpr uint32_t kCfgChip2 = 0x184;

  // CFGCHIP2 bits.
  static constexpr uint32_t kRefFreqMask = 0xFu;
  static constexpr uint32_t kVbusDetectEnable = 1u << 4;
  static constexpr uint32_t kPllOn = 1u << 6;
  static constexpr uint32_t kOtgPowerDown = 1u << 9;
  static constexpr uint32_t kPhyPowerDown = 1u << 10;
  static constexpr uint32_t kPhyReset = 1u << 15;
  static constexpr uint32_t kVbusSense = 1u << 16;
  static constexpr uint32_t kPhyClockGood = 1u << 17;
  static constexpr uint32_t kCfgChip2Reset = kPhyReset | kPhyPowerDown | kOtgPowerDown;

  explicit SystemConfig(Board& board);
  SystemConfig(const SystemConfig&) = delete;
  SystemConfig& operator=(const SystemConfig&) = delete;

  bool Unlocked() const { return m_kick0 == kKick0Unlock && m_kick1 == kKick1Unlock; }
  bool Usb0PhyClockGood() const { return m_bPhyClockGood; }
  uint32_t CfgChip2() const { return m_cfgChip2; }
  PhysAddr DspBootAddress() const { return m_words[kDspBootAddr / 4] & kDspBootAddrMask; }
  // The value of a register as the firmware last wrote it (a pin-mux
  // register, a CFGCHIP).
  uint32_t Register(uint32_t offset) const { return m_words[(offset & 0xFFFu) / 4]; }

  // Where VBUS comes from: the USB cable of the board.
  void SetUsb0VbusSource(std::function<bool()> fn) { m_vbus = std::move(fn); }
  // Called when the PHY's clock turns good or bad.
  void AddUsb0PhyObserver(std::function<void()> fn) { m_phyObservers.push_back(std::move(fn)); }
  void FailUsb0PhyClock(bool bFail);

  uint32_t Read(uint32_t offset, uint32_t width) override;
  void Write(uint32_t offset, uint32_t width, uint32_t value) override;

 private:
  bool PhyRunning() const;
  void UpdatePhy();
  void SetPhyClockGood(bool bGood);

  Board& m_board;
  std::array<uint32_t, 0x1000 / 4> m_words{};
  uint32_t m_kick0 = 0;
  uint32_t m_kick1 = 0;
  uint32_t m_cfgChip2 = kCfgChip2Reset;
  bool m_bPhyClockGood = false;
  bool m_bPhyClockFails = false;
  SimClock::EventId m_lockEvent = 0;
  std::function<bool()> m_vbus;
  std::vector<std::function<void()>> m_phyObservers;
};

}  // namespace sim
