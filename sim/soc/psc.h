// The power and sleep controllers: PSC0 at 0x01C10000 (16 modules) and PSC1
// at 0x01E27000 (32 modules). Each module (LPSC) has a clock and reset state
// that moves only through a transition the firmware starts; a device model
// whose module is not enabled does not answer its firmware.
//
// What the part does, as the firmware drives it:
// - MDCTLn (0xA00 + 4n): bits 0-4 NEXT, the state module n takes at the next
//   transition (0 SwRstDisable, 1 SyncReset, 2 Disable, 3 Enable); bit 8
//   LRST, the module's local reset (0 held, 1 released; observers hear of
//   every change of it); the other bits read back as written.
// - PTCMD (0x120): a 1 in bit d (GO of power domain d, 0 or 1) starts a
//   transition of every module of domain d whose NEXT differs from its state.
//   While it runs, PTSTAT (0x128) bit d reads 1; after kTransitionTime the
//   modules take their NEXT state and the bit reads 0. A GO while the domain
//   is busy is ignored, and a GO with nothing to change completes at once.
//   Every module is in domain 0 but those the constructor puts in domain 1
//   (on PSC0 the DSP, module 15).
// - MDSTATn (0x800 + 4n): bits 0-5 STATE, bit 8 LRST (local reset released,
//   while the module is Disable or Enable), bit 11 MRST (module reset
//   released: Disable or Enable), bit 12 MCKOUT (module clock on: Enable).
// - PDSTAT0 (0x200) reads 1 (domain on); REVID (0x000) reads kRevision.
// - Every other offset reads back what was last written to it (32-bit words).
//
// At power-on every module is SwRstDisable (0) unless the constructor names
// it enabled, as the boot loader leaves the chip: on this board GPIO (PSC1
// module 3), which the firmware uses without enabling it. The USB0 module
// (PSC1 module 1) is the firmware's own to enable.
//
// Fault switches: `HangModule(n)` makes every transition that would change
// module n never end, so PTSTAT stays busy, as a module without its clock
// does; `StickModule(n)` lets the transitions end but module n keeps its
// state, as a module that never comes up.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "sim/board.h"
#include "sim/bus.h"
#include "sim/clock.h"

namespace sim {

class PowerSleepController : public DeviceModel, public BusDevice {
 public:
  static constexpr uint32_t kRevision = 0x44823A00u;
  static constexpr Nanos kTransitionTime = 2 * kNsPerUs;

  static constexpr uint32_t kStateSwRstDisable = 0;
  static constexpr uint32_t kStateSyncReset = 1;
  static constexpr uint32_t kStateDisable = 2;
  static constexpr uint32_t kStateEnable = 3;

  // Register offsets.
  static constexpr uint32_t kRevId = 0x000;
  static constexpr uint32_t kPtcmd = 0x120;
  static constexpr uint32_t kPtstat = 0x128;
  static constexpr uint32_t kPdstat0 = 0x200;
  static constexpr uint32_t kPdctl0 = 0x300;
  static constexpr uint32_t kMdstat0 = 0x800;
  static constexpr uint32_t kMdctl0 = 0xA00;

  PowerSleepController(Board& board, PhysAddr base, std::string name, uint32_t moduleCount,
                       std::initializer_list<uint32_t> enabledAtReset,
                       std::initializer_list<uint32_t> domain1Modules = {});
  PowerSleepController(const PowerSleepController&) = delete;
  PowerSleepController& operator=(const PowerSleepController&) = delete;

  PhysAddr Base() const { return m_base; }
  uint32_t ModuleState(uint32_t module) const;
  bool ModuleEnabled(uint32_t module) const { return ModuleState(module) == kStateEnable; }
  bool LocalResetReleased(uint32_t module) const;
  bool TransitionBusy(uint32_t domain = 0) const { return m_bBusy[domain & 1u]; }

  // Called after a transition changed the state of module n, or the
  // firmware changed its local reset.
  void AddObserver(std::function<void(uint32_t module)> fn) { m_observers.push_back(std::move(fn)); }

  // Fault switches (see above).
  void HangModule(uint32_t module) { m_hung.push_back(module); }
  void StickModule(uint32_t module) { m_stuck.push_back(module); }

  uint32_t Read(uint32_t offset, uint32_t width) override;
  void Write(uint32_t offset, uint32_t width, uint32_t value) override;
  // PTSTAT and the module states change only when a transition ends.
  bool ReadIsPolled(uint32_t offset) const override;

 private:
  void StartTransition(uint32_t domain);
  void EndTransition(uint32_t domain);
  void Notify(uint32_t module);
  uint32_t StoredWord(uint32_t offset) const;

  Board& m_board;
  PhysAddr m_base;
  std::string m_name;
  std::vector<uint32_t> m_state;  // per module
  std::vector<uint32_t> m_mdctl;  // per module, as written
  std::vector<uint32_t> m_words;  // every other register, by word index
  std::vector<uint32_t> m_domain;  // per module: 0 or 1
  std::vector<uint32_t> m_hung;
  std::vector<uint32_t> m_stuck;
  std::vector<std::function<void(uint32_t)>> m_observers;
  bool m_bBusy[2] = {false, false};
};

// The two controllers of this SoC, told apart by type so that models find
// the one they hang on (`Board::FindDevice<Psc1>()`).
class Psc0 final : public PowerSleepController {
 public:
  static constexpr PhysAddr kBase = 0x01C10000u;
  // The DSP, alone in power domain 1.
  static constexpr uint32_t kModuleDsp = 15;
  explicit Psc0(Board& board) : PowerSleepController(board, kBase, "psc0", 16, {}, {kModuleDsp}) {}
};

class Psc1 final : public PowerSleepController {
 public:
  static constexpr PhysAddr kBase = 0x01E27000u;
  // Module numbers of PSC1 that the board's models use.
  static constexpr uint32_t kModuleUsb0 = 1;
  static constexpr uint32_t kModuleGpio = 3;
  explicit Psc1(Board& board) : PowerSleepController(board, kBase, "psc1", 32, {kModuleGpio}) {}
};

}  // namespace sim
