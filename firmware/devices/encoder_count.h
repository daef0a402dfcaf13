// Arithmetic on encoder counts. The FPGA's pulse counters are 16 bits wide
// and wrap (slit.h), so every target and every difference of counts is
// taken modulo 2^16: a target is held as a 16-bit count, and a distance
// between two counts lies in -32768..32767. A move of 32768 counts or more
// cannot be told from one backwards; the callers' moves are far shorter.
#pragma once

#include <cstdint>

constexpr uint32_t ENCODER_COUNT_MASK = 0xFFFFu;
// The longest distance forward a target may lie from its count.
constexpr uint32_t ENCODER_MAX_DISTANCE = 0x7FFFu;

// Signed distance from count ulFrom forward to count ulTo.
constexpr int32_t EncoderDistance(uint32_t ulFrom, uint32_t ulTo) {
  return static_cast<int16_t>(static_cast<uint16_t>((ulTo - ulFrom) & ENCODER_COUNT_MASK));
}

// The count ulCounts (at most ENCODER_MAX_DISTANCE; more is taken as that)
// past ulCount.
constexpr uint32_t EncoderTarget(uint32_t ulCount, uint32_t ulCounts) {
  const uint32_t ulDistance = ulCounts > ENCODER_MAX_DISTANCE ? ENCODER_MAX_DISTANCE : ulCounts;
  return (ulCount + ulDistance) & ENCODER_COUNT_MASK;
}
