// The start-up's DSP step: check the DSP image, load and start its two
// programs, and the link's handshake. Any failure raises the DSP error once
// for each failing stage; the start-up goes on without a DSP program.
#pragma once

void StartUpDsp();
