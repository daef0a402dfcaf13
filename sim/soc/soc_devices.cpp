#include "sim/board_devices.h"

namespace sim {

// The SoC peripheral models join here.
void InstallSocDevices(Board&, const BoardInputs&) {}

}  // namespace sim
