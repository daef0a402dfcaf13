// What the machine is given to build its board from, and the installation
// of every device model on the board.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "sim/dsp/dsp_core.h"
#include "sim/mechanism/head_thermal.h"
#include "sim/mechanism/paper_web.h"
#include "sim/mechanism/ribbon_colors.h"
#include "sim/mechanism/ribbon_transport.h"

namespace sim {

class Board;

struct BoardInputs {
  // The state directory (flash and EEPROM files live there); empty: none.
  std::string stateDir;
  // The PCB revision the board set-up reads.
  uint32_t pcbRevision = 0;
  // Without a state directory: "Engine Version" of the factory-programmed
  // main EEPROM (0: the cell's default).
  uint32_t engineVersion = 0;
  // The USB connection speed the root hub negotiates.
  bool bUsbHighSpeed = true;
  // The mechanism at power-on: the covers open (one bit per sim::Cover),
  // and whether a paper roll is loaded.
  uint32_t openCovers = 0;
  bool bRollLoaded = true;
  // The ribbon panel under each unit's colour sensor (L, R).
  std::array<Panel, 2> ribbonPanels{Panel::Yellow, Panel::Yellow};
  // Copy every entry of the mechanism's trace to the console as it is made.
  bool bEchoMechanism = false;
  // How the DSP program takes the link's handshake.
  DspCore::Link dspLink = DspCore::Link::Accepts;
  // The ribbon roll in each unit (L, R) and the ribbon drive mode (1 or 2).
  std::array<RibbonLoad, 2> ribbons{};
  uint32_t ribbonDriveMode = kDefaultRibbonDriveMode;
  // The paper roll's diameter at power-on, mm.
  double paperRollDiameterMm = 150.0;
  // The room's temperature and humidity, and heads that stay hot.
  HeadClimate climate{};
  // The paper roll at power-on: its paper in lines (0: by the diameter),
  // and threaded, new or none (bRollLoaded false: none).
  uint32_t rollLines = 0;
  RollStart rollStart = RollStart::Threaded;
};

// Builds every device model of the board and maps it on the bus.
void InstallBoardDevices(Board& board, const BoardInputs& inputs);

// The device groups, each installed by its own folder.
void InstallTimerDevices(Board& board, const BoardInputs& inputs);
void InstallSocDevices(Board& board, const BoardInputs& inputs);
// The DSP core (after the SoC devices it hangs on).
void InstallDspDevices(Board& board, const BoardInputs& inputs);
void InstallUsbDevices(Board& board, const BoardInputs& inputs);
void InstallMemoryDevices(Board& board, const BoardInputs& inputs);
// The GPIO controller, the external memory interface and the FPGA.
void InstallFpgaDevices(Board& board, const BoardInputs& inputs);
// The serial EEPROMs on the GPIO and FPGA lines (after both).
void InstallEepromDevices(Board& board, const BoardInputs& inputs);
// The mechanism's covers, photo sensors and thermistors on the FPGA's
// inputs and A/D converter, what its DC motors, fans, clutches and colour
// LEDs drive, the ribbons, and its fault switches (after the FPGA and the EEPROMs: the
// main EEPROM's "Engine Version" selects the positioners' geometry).
void InstallMechanismDevices(Board& board, const BoardInputs& inputs);
// The stepper drivers on their control bytes and the FPGA's pulse channels
// (after the FPGA; after the mechanism, whose ribbons follow the main
// stepper under a lowered head).
void InstallStepperDrivers(Board& board);
// The paper web on the stepper drivers and the mechanism (after both).
void InstallPaperWeb(Board& board, const BoardInputs& inputs);
// The operator panel (LCD, keys, LEDs) on the GPIO and FPGA lines.
void InstallPanelDevices(Board& board, const BoardInputs& inputs);

}  // namespace sim
