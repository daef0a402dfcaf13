#include "sim/board_devices.h"

#include "sim/mechanism/print_recorder.h"

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
  // The record of the printed lines, on the head drive and the main stepper.
  InstallPrintRecorder(board);
  InstallPaperWeb(board, inputs);
  InstallPanelDevices(board, inputs);
}

}  // namespace sim
