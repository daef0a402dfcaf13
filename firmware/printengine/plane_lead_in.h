// The lead-in of a plane: the lines the paper moves under the head before
// the plane's first image line, as the plane sequencer plans them and the
// print line counts them down.
#pragma once

#include <cstdint>

#include "firmware/printengine/print_size.h"

// Plane codes.
constexpr uint32_t PLANE_Y = 0;
constexpr uint32_t PLANE_M = 1;
constexpr uint32_t PLANE_C = 2;
constexpr uint32_t PLANE_OVERCOAT = 3;
constexpr uint32_t PLANE_SP = 4;

// Lead-in lines of the plane (taken as 16 bits): the ribbon's lead-in or
// the plane's front dummy lines of the print size, the print size's front
// extra lines where the plane takes them, and the plane's top offset.
// bFillIn: the plane prints the job's blank fill-in side.
uint32_t PlaneLeadInLines(uint32_t ulPlaneCode, const PrintSizeRecord& size, bool bFillIn);
