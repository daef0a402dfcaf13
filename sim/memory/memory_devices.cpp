#include "sim/board_devices.h"

namespace sim {

// The NOR flash and the serial EEPROMs join here.
void InstallMemoryDevices(Board&, const BoardInputs&) {}

}  // namespace sim
