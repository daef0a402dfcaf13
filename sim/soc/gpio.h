// The SoC's GPIO controller at 0x01E26000: banks 0-8 of 16 pins, in pairs
// of two banks per 32-bit register (pin p of the board is bank p / 16,
// bit p mod 32 of pair p / 32; bank 8 is the low half of the last pair).
//
// What the part does, as the firmware drives it (32-bit registers):
// - REVID (0x00) reads kRevision; BINTEN (0x08) bit n enables the interrupt
//   of bank n. Each bank's interrupt goes to its own system event (bank 0:
//   event 42, the FPGA's interrupt lines).
// - Per pair at 0x10 + 0x28 k: DIR (+0x00, 1 = input), OUT_DATA (+0x04, the
//   output latch), SET_DATA / CLR_DATA (+0x08 / +0x0C: ones set or clear
//   latch bits; both read the latch), IN_DATA (+0x10, the pad levels, read
//   only), SET_RIS_TRIG / CLR_RIS_TRIG (+0x14 / +0x18) and SET_FAL_TRIG /
//   CLR_FAL_TRIG (+0x1C / +0x20): ones enable or disable the rising- or
//   falling-edge detection of a pin, both read the enables; INTSTAT
//   (+0x24): set by a detected edge, cleared by writing ones.
// - A pad is driven by the latch while the pin is an output; an input pin
//   shows what a device on the board drives on it, or the board's pull
//   (high unless told otherwise). Edges are detected on the pad whatever
//   the direction, as on the part: an enabled edge sets the pin's INTSTAT
//   bit and, when the bank's BINTEN bit is set, raises the bank's event.
// - Registers take 32-bit accesses; narrower reads return their lanes, a
//   narrower write is a board fault (the controller's registers are words).
// - The controller answers only while its module of PSC1 is enabled (the
//   boot loader leaves it so); an access to it otherwise is a board fault.
//
// Other models hang on the pins: they drive inputs (`DriveInput`), watch
// pads (`AddPinObserver`) and read levels (`PinLevel`).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/board.h"
#include "sim/bus.h"

namespace sim {

class Psc1;

// The bus device first: the bus calls it on every access, without a thunk.
class GpioController final : public BusDevice, public DeviceModel {
 public:
  static constexpr PhysAddr kBase = 0x01E26000u;
  static constexpr PhysAddr kLast = 0x01E26FFFu;
  static constexpr uint32_t kRevision = 0x44830105u;
  static constexpr uint32_t kBankCount = 9;
  static constexpr uint32_t kPinCount = 16 * kBankCount;
  static constexpr uint32_t kPairCount = 5;
  // System event of bank n's interrupt: kEventBank0 + n.
  static constexpr uint32_t kEventBank0 = 42;

  // Register offsets.
  static constexpr uint32_t kRevId = 0x00;
  static constexpr uint32_t kBinten = 0x08;
  static constexpr uint32_t kPairBase = 0x10;
  static constexpr uint32_t kPairStride = 0x28;
  static constexpr uint32_t kDir = 0x00;
  static constexpr uint32_t kOutData = 0x04;
  static constexpr uint32_t kSetData = 0x08;
  static constexpr uint32_t kClrData = 0x0C;
  static constexpr uint32_t kInData = 0x10;
  static constexpr uint32_t kSetRisTrig = 0x14;
  static constexpr uint32_t kClrRisTrig = 0x18;
  static constexpr uint32_t kSetFalTrig = 0x1C;
  static constexpr uint32_t kClrFalTrig = 0x20;
  static constexpr uint32_t kIntStat = 0x24;

  explicit GpioController(Board& board);
  // Pad levels and interrupt status change only when another model drives a
  // pin (at its events) or the CPU writes: a loop that reads them polls.
  bool ReadIsPolled(uint32_t offset) const override;
  GpioController(const GpioController&) = delete;
  GpioController& operator=(const GpioController&) = delete;

  // ---- the pins, for the models of the board ----
  // The pad level of pin p (0 .. kPinCount - 1).
  bool PinLevel(uint32_t pin) const;
  bool IsOutput(uint32_t pin) const;
  // A device drives an input pin (or lets it go back to the board's pull).
  void DriveInput(uint32_t pin, bool bLevel);
  void ReleaseInput(uint32_t pin);
  // The level an undriven pin takes.
  void SetPull(uint32_t pin, bool bLevel);
  // Called after the pad level of the pin changed.
  void AddPinObserver(uint32_t pin, std::function<void(bool bLevel)> fn);

  // ---- observation, for tests ----
  uint32_t Direction(uint32_t pair) const { return m_pairs[pair].dir; }
  uint32_t OutputLatch(uint32_t pair) const { return m_pairs[pair].out; }
  uint32_t FallTrigger(uint32_t pair) const { return m_pairs[pair].fal; }
  uint32_t RiseTrigger(uint32_t pair) const { return m_pairs[pair].ris; }
  uint32_t IntStatus(uint32_t pair) const { return m_pairs[pair].intStat; }
  uint32_t BankIrqEnable() const { return m_binten; }

  uint32_t Read(uint32_t offset, uint32_t width) override;
  void Write(uint32_t offset, uint32_t width, uint32_t value) override;

 private:
  struct Pair {
    uint32_t dir = 0xFFFFFFFFu;  // every pin an input after reset
    uint32_t out = 0;
    uint32_t ris = 0;
    uint32_t fal = 0;
    uint32_t intStat = 0;
    uint32_t driven = 0;   // input pins a device drives
    uint32_t drive = 0;    // their levels
    uint32_t pull = 0xFFFFFFFFu;
    uint32_t pad = 0xFFFFFFFFu;  // the levels last seen on the pads
  };

  bool Answering();
  uint32_t PadLevels(uint32_t pair) const;
  // Brings the pair's pads to their new levels: edges, status, interrupts,
  // observers.
  void Settle(uint32_t pair);
  uint32_t ReadRegister(uint32_t offset);
  void WriteRegister(uint32_t offset, uint32_t value);

  Board& m_board;
  Psc1* m_psc1 = nullptr;
  std::array<Pair, kPairCount> m_pairs{};
  uint32_t m_binten = 0;
  std::array<std::vector<std::function<void(bool)>>, kPinCount> m_observers;
};

}  // namespace sim
