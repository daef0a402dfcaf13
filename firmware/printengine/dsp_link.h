// The DSP link of the print engine: the check of the DSP image in flash and
// the link's start-up handshake over the DSP control word.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

// 0 when the DSP image at the flash address is valid.
int32_t CheckDspImage(PhysAddr ulFlashAddr);
// The link's handshake after the DSP programs are loaded: 0 when the DSP
// took it.
int32_t DspBootHandshake(uint32_t ulMode);
