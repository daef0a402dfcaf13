// The system configuration model: the kick lock, and the USB0 PHY's clock
// as CFGCHIP2 drives it.
#include "sim/soc/syscfg.h"

#include <gtest/gtest.h>

#include "sim/board.h"
#include "sim/testing/board_fixture.h"

namespace sim {
namespace {

// The PHY running: out of reset, powered, PLL on, 24 MHz reference.
constexpr uint32_t kPhyOn = SystemConfig::kPllOn | SystemConfig::kVbusDetectEnable | 2u;

class SysCfgModel : public ::testing::Test {
 protected:
  void Run(Nanos dt) { RunBoardFor(board, dt); }
  void Unlock() {
    syscfg.Write(SystemConfig::kKick0, 4, SystemConfig::kKick0Unlock);
    syscfg.Write(SystemConfig::kKick1, 4, SystemConfig::kKick1Unlock);
  }
  uint32_t CfgChip2() { return syscfg.Read(SystemConfig::kCfgChip2, 4); }

  Board board{BoardConfig{}};
  SystemConfig& syscfg = board.AddDevice<SystemConfig>(board);
};

TEST_F(SysCfgModel, WritesNeedBothKickValues) {
  EXPECT_EQ(CfgChip2(), SystemConfig::kCfgChip2Reset);
  syscfg.Write(SystemConfig::kPinMux0, 4, 0x11u);
  EXPECT_EQ(syscfg.Read(SystemConfig::kPinMux0, 4), 0u);
  EXPECT_EQ(board.Faults().size(), 1u);
  syscfg.Write(SystemConfig::kKick0, 4, SystemConfig::kKick0Unlock);  // half unlocked is locked
  syscfg.Write(SystemConfig::kPinMux0, 4, 0x11u);
  EXPECT_EQ(board.Faults().size(), 2u);
  syscfg.Write(SystemConfig::kKick1, 4, SystemConfig::kKick1Unlock);
  syscfg.Write(SystemConfig::kPinMux0, 4, 0x11u);
  syscfg.Write(SystemConfig::kPinMux0 + 1, 1, 0x22u);  // a byte merges into its word
  EXPECT_EQ(syscfg.Read(SystemConfig::kPinMux0, 4), 0x2211u);
  syscfg.Write(SystemConfig::kRevId, 4, 0);
  EXPECT_EQ(syscfg.Read(SystemConfig::kRevId, 4), SystemConfig::kRevision);
  syscfg.Write(SystemConfig::kKick0, 4, 0);
  syscfg.Write(SystemConfig::kPinMux0, 4, 0);
  EXPECT_EQ(syscfg.Read(SystemConfig::kPinMux0, 4), 0x2211u);
  EXPECT_EQ(board.Faults().size(), 3u);
}

TEST_F(SysCfgModel, ThePhyClockTurnsGoodOnceThePhyRunsAndBadAtOnceWhenItStops) {
  int changes = 0;
  syscfg.AddUsb0PhyObserver([&] { ++changes; });
  Unlock();
  syscfg.Write(SystemConfig::kCfgChip2, 4, kPhyOn | SystemConfig::kPhyReset);  // still in reset
  Run(kNsPerMs);
  EXPECT_EQ(CfgChip2() & SystemConfig::kPhyClockGood, 0u);
  syscfg.Write(SystemConfig::kCfgChip2, 4, kPhyOn);
  Run(SystemConfig::kPhyLockTime - 1);
  EXPECT_FALSE(syscfg.Usb0PhyClockGood());
  Run(1);
  EXPECT_NE(CfgChip2() & SystemConfig::kPhyClockGood, 0u);
  EXPECT_EQ(changes, 1);
  syscfg.Write(SystemConfig::kCfgChip2, 4, kPhyOn | SystemConfig::kPhyPowerDown);
  EXPECT_FALSE(syscfg.Usb0PhyClockGood());
  EXPECT_EQ(changes, 2);
  // An invalid reference code never locks.
  syscfg.Write(SystemConfig::kCfgChip2, 4, (kPhyOn & ~0xFu) | 0xFu);
  Run(kNsPerMs);
  EXPECT_FALSE(syscfg.Usb0PhyClockGood());
}

TEST_F(SysCfgModel, VbusIsSensedThroughItsComparatorAndTheClockCanBeMadeToFail) {
  bool vbus = true;
  syscfg.SetUsb0VbusSource([&] { return vbus; });
  Unlock();
  syscfg.Write(SystemConfig::kCfgChip2, 4, kPhyOn & ~SystemConfig::kVbusDetectEnable);
  EXPECT_EQ(CfgChip2() & SystemConfig::kVbusSense, 0u);
  syscfg.Write(SystemConfig::kCfgChip2, 4, kPhyOn);
  EXPECT_NE(CfgChip2() & SystemConfig::kVbusSense, 0u);
  vbus = false;
  EXPECT_EQ(CfgChip2() & SystemConfig::kVbusSense, 0u);
  syscfg.FailUsb0PhyClock(true);
  Run(kNsPerMs);
  EXPECT_FALSE(syscfg.Usb0PhyClockGood());
  syscfg.FailUsb0PhyClock(false);
  Run(SystemConfig::kPhyLockTime);
  EXPECT_TRUE(syscfg.Usb0PhyClockGood());
}

}  // namespace
}  // namespace sim
