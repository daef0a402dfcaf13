// The RFID tag reader behind the FPGA's tag bridge.
#pragma once

#include <cstdint>

// Sets the reader chip up: the result of its last register write.
int32_t InitRFTag();
