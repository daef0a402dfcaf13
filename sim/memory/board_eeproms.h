// The board's four serial EEPROMs and their wiring:
// - the main EEPROM and its backup device (93C66, x16) share the main
//   board's Microwire lines on GPIO bank 2: GP2[14] chip select, GP2[13]
//   clock, GP2[10] data in (outputs of the SoC), GP2[11] data out (input).
//   The FPGA's EEPROM select register (0x64000022) routes them: bit 0 picks
//   the backup device (the other one sees its chip select low), bit 1 drives
//   the top bit of the word address (the upper half of the part);
// - one EEPROM per head unit on FPGA port bits: data out on input word IN3
//   (0x6400002A) bit 0 (unit L) / bit 1 (unit R); data in, clock and chip
//   select on the output register 0x6400002C bits 0, 1, 2 (L) / 3, 4, 5 (R).
// Each part is kept in its own file of the state directory (see StateDir);
// a board without one starts with factory-programmed EEPROMs (serial number
// "R0000000", every cell at its default; the backup device erased).
// Tests reach the parts and their fault switches (absent chip, never
// ready, failed verify) through Board::FindDevice<BoardEeproms>().
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "sim/board.h"
#include "sim/memory/microwire_eeprom.h"

namespace sim {

class GpioController;
class FpgaMainBlock;

class BoardEeproms final : public DeviceModel {
 public:
  enum class Part : uint8_t { Main = 0, Backup = 1, HeadL = 2, HeadR = 3 };
  static constexpr uint32_t kPinCs = 32 + 14;  // GP2[14]
  static constexpr uint32_t kPinSk = 32 + 13;  // GP2[13]
  static constexpr uint32_t kPinDi = 32 + 10;  // GP2[10]
  static constexpr uint32_t kPinDo = 32 + 11;  // GP2[11]
  static constexpr uint16_t kSelBackup = 0x0001;
  static constexpr uint16_t kSelUpperHalf = 0x0002;

  // stateDir empty: the parts live in memory only, programmed as they leave
  // the factory (main EEPROM with "Engine Version" engineVersion unless 0).
  BoardEeproms(Board& board, GpioController& gpio, FpgaMainBlock& fpga, const std::string& stateDir,
               uint32_t engineVersion = 0);
  BoardEeproms(const BoardEeproms&) = delete;
  BoardEeproms& operator=(const BoardEeproms&) = delete;

  MicrowireEeprom& Get(Part part) { return *m_parts[static_cast<size_t>(part)]; }
  MicrowireEeprom& Main() { return Get(Part::Main); }
  MicrowireEeprom& Backup() { return Get(Part::Backup); }
  MicrowireEeprom& Head(uint32_t unit) { return Get(unit == 0 ? Part::HeadL : Part::HeadR); }
  uint16_t Select() const { return m_select; }

 private:
  void RouteMain();
  void UpdateDataOut();
  void RouteHeads(uint16_t out);

  GpioController& m_gpio;
  std::array<std::unique_ptr<MicrowireEeprom>, 4> m_parts;
  uint16_t m_select = 0;
};

}  // namespace sim
