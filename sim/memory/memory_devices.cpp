#include "sim/board.h"
#include "sim/board_devices.h"
#include "sim/memory/board_power.h"
#include "sim/memory/nor_flash.h"

namespace sim {

// The NOR flash on the external memory bus, kept in the state directory's
// flash.bin. It hangs on the board's supply (BoardPower): a power cut that a
// test arms on it or on the board ends the boot where the CPU stands.
//
// The serial EEPROMs are built by the models of the lines they hang on (the
// board's GPIO bank and the FPGA ports), which pass their files.
void InstallMemoryDevices(Board& board, const BoardInputs& inputs) {
  const std::string path = inputs.stateDir.empty() ? std::string() : inputs.stateDir + "/flash.bin";
  NorFlash& flash = board.AddDevice<NorFlash>(board.Clock(), path);
  if (!flash.FileError().empty()) board.ReportFault("flash: " + flash.FileError());
  flash.UsePowerCutSwitch(BoardPower::Of(board).Switch());
  board.GetBus().MapDevice(NorFlash::kBase, NorFlash::kLast, RegionKind::Flash, &flash, "nor-flash");
}

}  // namespace sim
