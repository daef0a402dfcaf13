#include "sim/board_devices.h"
#include "sim/soc/timer0.h"

namespace sim {

void InstallTimerDevices(Board& board, const BoardInputs&) { InstallTimer0(board); }

}  // namespace sim
