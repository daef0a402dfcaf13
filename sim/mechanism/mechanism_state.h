// The mechanism's physical state kept across power cycles: where each
// axis, the carousel, the paper web and each ribbon stood when the board
// stopped, reset or lost power. The board writes it into its state
// directory and puts the mechanism back there at the next power-on; the
// firmware still finds every position unknown and homes.
//
// File layout (all numbers little-endian; reals as IEEE-754 binary64):
//   0  4  magic "MECH"
//   4  2  version (kMechanismStateVersion)
//   6  2  bytes that follow the header up to the checksum (kBodyBytes)
//   8  1  engine variant (0 EM2, 1 EM3); positions are the variant's
//   9  1  number of axes (sim::Axis::Count)
//  10  2  0
//  12  4 x axes   axis positions (int32, sim::Axis order)
//   .  4  carousel position (int32)
//   .  1  paper web flags: bit 0 a roll loaded, bit 1 the web attached to it,
//         bit 2 paper in the path
//   .  1  paper path (0 L, 1 R)
//   .  2  0
//   .  8 x 5  paper front, paper tail (lines), slack (mm), paper on the roll
//         (mm), where the roll's own front lies on it (degrees, 0 to below
//         360)
//   .  2 x (1 ribbon type (sim::RibbonType), 3 x 0,
//           8 x 4 supply, take-up, slack (mm), head's tape coordinate (lines))
//   .  4  checksum: FNV-1a (32 bit) of every byte before it
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/mechanism/dc_wiring.h"
#include "sim/mechanism/enum_index.h"
#include "sim/mechanism/paper_web.h"
#include "sim/mechanism/positioner_geometry.h"
#include "sim/mechanism/ribbon_spool.h"
#include "sim/mechanism/ribbon_transport.h"

namespace sim {

class Board;

inline constexpr uint16_t kMechanismStateVersion = 2;

struct MechanismState {
  EngineVariant variant = EngineVariant::EM3;
  std::array<int32_t, Index(Axis::Count)> axes{};
  int32_t carousel = 0;
  bool bRoll = false;
  PaperWeb::Placement web{};
  struct Ribbon {
    RibbonType type = RibbonType::Color8x12K1;
    double supplyMm = 0;
    double takeUpMm = 0;
    double slackMm = 0;
    double headLine = 0;
  };
  std::array<Ribbon, 2> ribbons{};
};

std::vector<uint8_t> EncodeMechanismState(const MechanismState& state);
// The checksum of the layout: FNV-1a (32 bit) of `size` bytes.
uint32_t MechanismStateChecksum(const uint8_t* pData, size_t size);
// False with a message when the bytes are not a state this board wrote:
// another length, magic or version, a bad checksum, or a value no
// mechanism can have.
bool DecodeMechanismState(const uint8_t* pData, size_t size, MechanismState* pState, std::string* pError);

// The board's mechanism now (false on a board without one).
bool CaptureMechanismState(Board& board, MechanismState* pState);
// Before the board's devices are built: each unit's ribbon as the state
// left it where the unit is loaded with a ribbon of the same type.
void ApplyRibbonState(const MechanismState& state, std::array<RibbonLoad, 2>* pLoads);
// After they are built: axes, carousel, the roll and its web (unless
// `bKeepRoll` is false: the options put another roll in, or none) and tape
// placed where the state left them. False with a message when the state
// belongs to another engine variant (nothing is placed).
bool PlaceMechanism(Board& board, const MechanismState& state, bool bKeepRoll, std::string* pError);

}  // namespace sim
