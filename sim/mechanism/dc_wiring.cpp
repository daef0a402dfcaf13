#include "sim/mechanism/dc_wiring.h"

#include <array>

#include "sim/mechanism/positioner_geometry.h"

namespace sim {

namespace {

constexpr uint32_t kDcMotor0 = 0x30, kDcMotor1 = 0x32, kDcMotor2 = 0x34;

}  // namespace

// clang-format off
const DcMotorWiring kDcMotorWiring[Index(DcMotor::Count)] = {
    {"DcMotorLoadPinch",   kDcMotor0, 0x0100, 0x0200, true,  kNoPwm},
    {"DcMotorMainPinch",   kDcMotor0, 0x4000, 0x8000, true,  kNoPwm},
    {"DcMotorFeedPinch",   kDcMotor1, 0x0080, 0x0040, true,  kNoPwm},
    {"DcMotorPathSel",     kDcMotor1, 0x0100, 0x0200, true,  kNoPwm},
    {"DcMotorEjectPinch",  kDcMotor1, 0x0400, 0x0800, true,  13},
    {"DcMotorSpare45",     kDcMotor2, 0x0010, 0x0020, true,  18},
    {"DcMotorRibDstL",     kDcMotor0, 0x0002, 0x0001, false, 0},
    {"DcMotorRibDstR",     kDcMotor1, 0x0001, 0x0002, false, 8},
    {"DcMotorRibSrcL",     kDcMotor0, 0x0004, 0x0008, true,  1},
    {"DcMotorRibSrcR",     kDcMotor1, 0x0008, 0x0004, true,  9},
    {"DcMotorHeadL",       kDcMotor0, 0x0020, 0x0010, false, 2},
    {"DcMotorHeadR",       kDcMotor1, 0x0020, 0x0010, false, 10},
    {"DcMotorRotLock",     kDcMotor0, 0x0040, 0x0080, true,  3},
    {"DcMotorPaperRot",    kDcMotor0, 0x0400, 0x0800, true,  5},
    {"DcMotorLoadBar",     kDcMotor0, 0x1000, 0x2000, true,  6},
    {"DcMotorCutter",      kDcMotor1, 0x2000, 0x1000, false, 14},
    {"DcMotorEject",       kDcMotor1, 0x4000, 0x8000, true,  15},
    {"DcMotorSpare01",     kDcMotor2, 0x0001, 0x0002, true,  16},
    {"DcMotorSpare23",     kDcMotor2, 0x0004, 0x0008, true,  17},
};
// clang-format on

namespace {

// The channels with a {period, duty} pair, pair k at 0x60 + 4k.
constexpr uint8_t kPwmChannels[] = {0, 1, 2, 3, 5, 6, 8, 9, 10, 14, 15, 16, 17};
constexpr uint32_t kPwmBase = 0x60;

constexpr SwitchedLoadWiring kLoads[] = {
    {"ClutchRibRvsL", 0x0001, true}, {"ClutchRibRvsR", 0x0002, true}, {"ClutchLoad", 0x0004, true},
    {"FanHeadL", 0x0008, false},     {"FanHeadR", 0x0010, false},     {"FanSideL", 0x0020, false},
    {"FanSideR", 0x0040, false},     {"FanStpMtr", 0x0080, false},    {"FanPcb", 0x0100, false},
    {"Fan7", 0x0200, false},         {"Fan8", 0x0400, false},
};

// ---- the axes (micrometres, or millidegrees for the cams) ----
// The positioners' axes: positioner_geometry.h.
using positioner::kTurn;

using positioner::Cyclic;
using positioner::In;


}  // namespace

const std::span<const SwitchedLoadWiring> kSwitchedLoads{kLoads};

const char* const kColorLedNames[kColorLedCount] = {"ColorLedRedL", "ColorLedGreenL", "ColorLedBlueL",
                                                    "ColorLedRedR", "ColorLedGreenR", "ColorLedBlueR"};

// clang-format off
const AxisWiring kAxisWiring[Index(Axis::Count)] = {
    {"HeadL",      DcMotor::HeadL,      {}, &PositionerGeometry::headL},
    {"HeadR",      DcMotor::HeadR,      {}, &PositionerGeometry::headR},
    {"LoadPinch",  DcMotor::LoadPinch,  {}, &PositionerGeometry::loadPinch},
    {"MainPinch",  DcMotor::MainPinch,  {}, &PositionerGeometry::mainPinch},
    {"FeedPinch",  DcMotor::FeedPinch,  {}, &PositionerGeometry::feedPinch},
    {"EjectPinch", DcMotor::EjectPinch, {}, &PositionerGeometry::ejectPinch},
    {"PathSel",    DcMotor::PathSel,    {}, &PositionerGeometry::pathSel},
    {"RotLock",    DcMotor::RotLock,    {}, &PositionerGeometry::rotLock},
    {"LoadBar",    DcMotor::LoadBar,    {}, &PositionerGeometry::loadBar},
    {"Cutter",     DcMotor::Cutter,     positioner::kCutter, nullptr},
};

// clang-format on

const AxisGeometry& AxisGeometryOf(Axis axis, EngineVariant variant) {
  const AxisWiring& w = kAxisWiring[Index(axis)];
  return w.pVariantRow != nullptr ? GeometryOf(variant).*w.pVariantRow : w.geometry;
}

bool PwmPairOffset(uint32_t channel, uint32_t* pPeriodOffset) {
  for (uint32_t k = 0; k < sizeof kPwmChannels; ++k) {
    if (kPwmChannels[k] == channel) {
      *pPeriodOffset = kPwmBase + 4 * k;
      return true;
    }
  }
  return false;
}

}  // namespace sim
