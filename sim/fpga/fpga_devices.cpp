#include "sim/board_devices.h"
#include "sim/fpga/cis_window.h"
#include "sim/fpga/fpga_config_port.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/fpga/head_drive_block.h"
#include "sim/fpga/tag_bridge.h"
#include "sim/soc/emif.h"
#include "sim/soc/gpio.h"

namespace sim {

// The FPGA on the external memory bus and what it hangs on: the GPIO
// controller (its configuration port and its interrupt lines), the external
// memory interface (its bus timing), then the FPGA itself: its main block
// with the tag bridge (and the reader chip behind it), its head-drive
// block and the CIS window (its scene comes from the paper web). The power and
// sleep controllers are installed before (the GPIO controller answers only
// while its module is enabled).
void InstallFpgaDevices(Board& board, const BoardInputs& inputs) {
  GpioController& gpio = board.AddDevice<GpioController>(board);
  board.AddDevice<ExternalMemoryInterface>(board);
  FpgaConfigPort& config = board.AddDevice<FpgaConfigPort>(board, gpio);
  FpgaMainBlock& main = board.AddDevice<FpgaMainBlock>(board, gpio, config, inputs.pcbRevision);
  board.AddDevice<TagBridge>(board, config, main);
  board.AddDevice<HeadDriveBlock>(board, gpio, config, main);
  board.AddDevice<CisWindow>(board, config);
}

}  // namespace sim
