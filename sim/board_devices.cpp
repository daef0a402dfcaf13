#include "sim/board_devices.h"

namespace sim {

void InstallBoardDevices(Board& board, const BoardInputs& inputs) {
  InstallMemoryDevices(board, inputs);
  InstallTimerDevices(board, inputs);
  InstallSocDevices(board, inputs);
  InstallUsbDevices(board, inputs);
  InstallFpgaDevices(board, inputs);
  InstallMechanismDevices(board, inputs);
  InstallStepperDrivers(board);
  InstallEepromDevices(board, inputs);
  InstallPanelDevices(board, inputs);
}

}  // namespace sim
