#include "sim/board_devices.h"
#include "sim/dsp/dsp_core.h"

namespace sim {

// The DSP core with its memories, on the SoC's power and configuration.
void InstallDspDevices(Board& board, const BoardInputs& inputs) {
  board.AddDevice<DspCore>(board).SetLink(inputs.dspLink);
}

}  // namespace sim
