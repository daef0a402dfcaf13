#include "sim/mechanism/positioner_geometry.h"

#include "tools/eeprom/eeprom_image.h"

namespace sim {

namespace {

using namespace positioner;

// ---- EM2: the head lifts' shorter stroke ----
constexpr int32_t kEm2LiftTravel = 6400;
constexpr SensorWindow Em2DownZone(SensorBit s) { return {kEm2LiftTravel - kLiftEndZone, kEm2LiftTravel, s}; }
constexpr SensorWindow kEm2HeadLWindows[] = {UpZone(kHeadLUp), Em2DownZone(kHeadLDn)};
constexpr SensorWindow kEm2HeadRWindows[] = {UpZone(kHeadRUp), Em2DownZone(kHeadRDn)};
// 320 ms at full duty.
constexpr AxisGeometry kEm2HeadL = Linear(kEm2LiftTravel, 0, 20000, kEm2HeadLWindows);
constexpr AxisGeometry kEm2HeadR = Linear(kEm2LiftTravel, 0, 20000, kEm2HeadRWindows);

// ---- EM2: two-window pinch cams ----
constexpr SensorWindow kEm2MainPinchWindows[] = {
    Cam<kEm2Half>({-kEm2A + 1, kEm2A - 1, kMainPinL}),
    Cam<kEm2Half>({-kEm2B + 1, kEm2B - 1, kMainPinC}),
};
constexpr SensorWindow kEm2FeedPinchWindows[] = {
    Cam<kEm2Half>({-kEm2A + 1, kEm2A - 1, kFeedPinchL}),
    Cam<kEm2Half>({-kEm2B + 1, kEm2B - 1, kFeedPinchR}),
};
constexpr AxisGeometry kEm2MainPinch = CamAxis(kEm2Half, kEm2MainPinchWindows);
constexpr AxisGeometry kEm2FeedPinch = CamAxis(kEm2Half, kEm2FeedPinchWindows);

constexpr PositionerGeometry kEm3 = {kHeadL,   kHeadR,   kLoadPinch, kLoadBar, kEjectPinch,
                                     kPathSel, kRotLock, kMainPinch, kFeedPinch};
constexpr PositionerGeometry kEm2 = {kEm2HeadL, kEm2HeadR, kLoadPinch,    kLoadBar,     kEjectPinch,
                                     kPathSel,  kRotLock,  kEm2MainPinch, kEm2FeedPinch};

}  // namespace

const char* ToString(EngineVariant variant) { return variant == EngineVariant::EM2 ? "EM2" : "EM3"; }

const PositionerGeometry& GeometryOf(EngineVariant variant) { return variant == EngineVariant::EM2 ? kEm2 : kEm3; }

EngineVariant EngineVariantOf(const std::vector<uint8_t>& mainEeprom) {
  if (!eepromimage::IsFormatted(mainEeprom)) return EngineVariant::EM3;
  return mainEeprom[kEngineVersionByte] == kEngineVersionEm2 ? EngineVariant::EM2 : EngineVariant::EM3;
}

}  // namespace sim
