#include "sim/board_devices.h"
#include "sim/soc/psc.h"
#include "sim/soc/syscfg.h"

namespace sim {

// The SoC's system configuration and its two power and sleep controllers.
// The models of the peripherals behind them find them by type.
void InstallSocDevices(Board& board, const BoardInputs&) {
  board.AddDevice<SystemConfig>(board);
  board.AddDevice<Psc0>(board);
  board.AddDevice<Psc1>(board);
}

}  // namespace sim
