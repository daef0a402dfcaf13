#include "sim/board_devices.h"

namespace sim {

// The USB device controller model and the root hub join here.
void InstallUsbDevices(Board&, const BoardInputs&) {}

}  // namespace sim
