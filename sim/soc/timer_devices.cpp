#include "sim/board_devices.h"

namespace sim {

// Timer 0 is answered by the board support directly for now.
void InstallTimerDevices(Board&, const BoardInputs&) {}

}  // namespace sim
