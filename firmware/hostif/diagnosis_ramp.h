// The stepper ramp of the self-diagnosis: 75 pulse periods falling along an
// S-shaped curve from 50000 to 6250, used for both acceleration and
// deceleration.
#pragma once

#include <array>
#include <cstdint>

constexpr uint32_t DIAG_RAMP_LENGTH = 75;

inline constexpr std::array<uint16_t, DIAG_RAMP_LENGTH> kDiagStepperRamp = {
    50000, 49995, 49956, 49854, 49655, 49333, 48862, 48225, 47409, 46410, 45232, 43888, 42396, 40782, 39074,
    37301, 35494, 33681, 31885, 30130, 28430, 26800, 25249, 23782, 22402, 21110, 19906, 18786, 17747, 16786,
    15897, 15077, 14321, 13624, 12983, 12391, 11847, 11346, 10885, 10461, 10071, 9711,  9381,  9077,  8797,
    8540,  8304,  8087,  7888,  7706,  7540,  7388,  7249,  7123,  7008,  6905,  6812,  6728,  6653,  6586,
    6528,  6476,  6432,  6393,  6361,  6333,  6311,  6293,  6279,  6268,  6261,  6255,  6252,  6251,  6250,
};
