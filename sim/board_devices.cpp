#include "sim/board_devices.h"

namespace sim {

void InstallBoardDevices(Board& board, const BoardInputs& inputs) {
  InstallMemoryDevices(board, inputs);
  InstallTimerDevices(board, inputs);
  InstallSocDevices(board, inputs);
  InstallDspDevices(board, inputs);
  InstallUsbDevices(board, inputs);
  InstallFpgaDevices(board, inputs);
  // The EEPROMs before the mechanism, which takes its engine variant from
  // the main EEPROM.
  InstallEepromDevices(board, inputs);
  InstallMechanismDevices(board, inputs);
  InstallStepperDrivers(board);
  InstallPaperWeb(board, inputs);
  InstallPanelDevices(board, inputs);
}

}  // namespace sim
