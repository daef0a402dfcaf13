// Where the positioners' parts move and where their switches sit: the axes
// of the head lifts, the load pinch, the load bar, the eject pinch, the
// path selector, the rotation lock and the cutter. A motor's Forward moves
// an axis towards higher coordinates, Reverse towards lower ones.
//
// The sizes and speeds let every move of the firmware end with margin: a
// full travel of a lift or slide takes 300-600 ms at the default duties,
// well inside the 2000 ms time-outs; a third of the eject pinch's turn
// takes 500 ms at full drive. At power-on the heads, pinches and load bar
// are up, the eject pinch at Up, the lock locked, the path selector at its
// position-3 end and the cutter at LEFT.
//
// One table per engine variant (positioner_geometry.cpp). The constants
// below are EM3's; EM2 differs in its head lifts, whose stroke is shorter
// (6.4 mm against 8 mm: a travel takes 320 ms at full duty instead of 400,
// its end zones as wide), and in its pinch-roller cams. The cutter is the
// same in both. The board takes the variant at each boot from the main
// EEPROM, where the firmware takes it.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/mechanism/dc_axis.h"

namespace sim {

// The engine variants: "Engine Version" 1 is EM2, any other value EM3.
enum class EngineVariant : uint8_t { EM2, EM3 };
const char* ToString(EngineVariant variant);

// The positioner axes of one engine variant. The cutter's and the
// carousel's do not depend on it (dc_wiring.cpp).
struct PositionerGeometry {
  AxisGeometry headL;
  AxisGeometry headR;
  AxisGeometry loadPinch;
  AxisGeometry loadBar;
  AxisGeometry ejectPinch;
  AxisGeometry pathSel;
  AxisGeometry rotLock;
  AxisGeometry mainPinch;
  AxisGeometry feedPinch;
};
const PositionerGeometry& GeometryOf(EngineVariant variant);

// The "Engine Version" cell: main EEPROM byte 28.
constexpr uint32_t kEngineVersionByte = 28;
constexpr uint8_t kEngineVersionEm2 = 1;
// The variant a main EEPROM image selects, as the firmware will: its
// "Engine Version" 1 is EM2, any other value EM3; a blank or unformatted
// EEPROM (which the firmware formats, writing the default 5) is EM3.
EngineVariant EngineVariantOf(const std::vector<uint8_t>& mainEeprom);

namespace positioner {

constexpr SensorBit In(uint8_t word, uint8_t bit, bool bActiveLow = false) { return SensorBit{word, bit, bActiveLow}; }
inline constexpr SensorBit kLockMain = In(0, 1), kLockSub = In(0, 2), kEjectPinSb = In(0, 3), kEjectPinMn = In(0, 4);
inline constexpr SensorBit kPathPosiL = In(0, 5), kPathPosiR = In(0, 6);
inline constexpr SensorBit kLoadPinUp = In(0, 14), kLoadPinDn = In(0, 15);
inline constexpr SensorBit kHeadLUp = In(1, 0), kHeadLDn = In(1, 1), kHeadRUp = In(1, 4), kHeadRDn = In(1, 5);
inline constexpr SensorBit kLoadBarUp = In(1, 10), kLoadBarDn = In(1, 11);
inline constexpr SensorBit kFeedPinchL = In(0, 7), kFeedPinchR = In(0, 9);
inline constexpr SensorBit kMainPinL = In(0, 11), kMainPinC = In(0, 12);

constexpr AxisGeometry Linear(int32_t length, int32_t start, uint32_t fullSpeed, std::span<const SensorWindow> w) {
  return AxisGeometry{AxisKind::Linear, length, start, fullSpeed, w};
}
constexpr AxisGeometry Cyclic(int32_t length, int32_t start, uint32_t fullSpeed, std::span<const SensorWindow> w) {
  return AxisGeometry{AxisKind::Cyclic, length, start, fullSpeed, w};
}

// ---- lifts (micrometres): up at 0 (Reverse), down at the far end (Forward) ----
inline constexpr int32_t kLiftTravel = 8000;
inline constexpr int32_t kLiftEndZone = 400;
constexpr SensorWindow UpZone(SensorBit s) { return {0, kLiftEndZone, s}; }
constexpr SensorWindow DownZone(SensorBit s) { return {kLiftTravel - kLiftEndZone, kLiftTravel, s}; }
inline constexpr SensorWindow kHeadLWindows[] = {UpZone(kHeadLUp), DownZone(kHeadLDn)};
inline constexpr SensorWindow kHeadRWindows[] = {UpZone(kHeadRUp), DownZone(kHeadRDn)};
inline constexpr SensorWindow kLoadPinchWindows[] = {UpZone(kLoadPinUp), DownZone(kLoadPinDn)};
inline constexpr SensorWindow kLoadBarWindows[] = {UpZone(kLoadBarUp), DownZone(kLoadBarDn)};
// 400 ms at full duty; the load bar's 60 % down duty takes 555 ms.
inline constexpr AxisGeometry kHeadL = Linear(kLiftTravel, 0, 20000, kHeadLWindows);
inline constexpr AxisGeometry kHeadR = Linear(kLiftTravel, 0, 20000, kHeadRWindows);
inline constexpr AxisGeometry kLoadPinch = Linear(kLiftTravel, 0, 20000, kLoadPinchWindows);
inline constexpr AxisGeometry kLoadBar = Linear(kLiftTravel, 0, 24000, kLoadBarWindows);

// ---- eject pinch (millidegrees of its cam): Forward turns Up, CDown, FDown, Up ----
inline constexpr int32_t kTurn = 360000;
inline constexpr int32_t kEjectUp = 0, kEjectCDown = 120000, kEjectFDown = 240000;
inline constexpr int32_t kDetent = 10000;
inline constexpr SensorWindow kEjectPinchWindows[] = {
    {0, kEjectUp + kDetent, kEjectPinSb},
    {kEjectCDown - kDetent, kEjectCDown + kDetent, kEjectPinSb},
    {kEjectFDown - kDetent, kEjectFDown + kDetent, kEjectPinMn},
    {kTurn - kDetent, kTurn - 1, kEjectPinSb},
};
inline constexpr AxisGeometry kEjectPinch = Cyclic(kTurn, kEjectUp, 240000, kEjectPinchWindows);

// ---- path selector (micrometres): position 4 at 0 (Reverse), 3 at the far end (Forward) ----
inline constexpr int32_t kPathTravel = 4000;
inline constexpr SensorWindow kPathSelWindows[] = {{0, 300, kPathPosiL}, {kPathTravel - 300, kPathTravel, kPathPosiR}};
inline constexpr AxisGeometry kPathSel = Linear(kPathTravel, kPathTravel, 10000, kPathSelWindows);

// ---- rotation lock (micrometres): unlocked at 0 (Reverse), the lock at the far end ----
// "Lock Main" is on at the unlocked end and in the lock; "Lock Sub" while
// the pin is engaged, which includes the point the back-off stops at, just
// short of the lock zone.
inline constexpr int32_t kLockTravel = 4000;
inline constexpr int32_t kLockZone = 3400;
inline constexpr int32_t kPinEngaged = 3000;
inline constexpr SensorWindow kRotLockWindows[] = {
    {0, 300, kLockMain}, {kLockZone, kLockTravel, kLockMain}, {kPinEngaged, kLockTravel, kLockSub}};
inline constexpr AxisGeometry kRotLock = Linear(kLockTravel, kLockZone - 100, 12000, kRotLockWindows);

// ---- cutter (micrometres): LEFT at 0 (Reverse), RIGHT at the far end (Forward) ----
// Its switches read 0 while active. "Cutter L" and "Cutter R" each pass a
// pre-flag shortly before their end zone, so a crossing shows the
// destination switch off, on, off, on; "Cutter C" sits in the middle. A
// full crossing takes 137.5 ms at full duty; at 50 % to the centre and
// 22 % after it (the slowest cut) 450 ms, well inside the 1000 ms
// time-out. The narrowest window (the centre at full duty) lasts 1.25 ms.
inline constexpr SensorBit kCutterL = In(1, 12, true), kCutterC = In(1, 13, true), kCutterR = In(1, 14, true);
inline constexpr int32_t kCutterTravel = 220000;
inline constexpr int32_t kCutterEndZone = 2000;
inline constexpr int32_t kCutterPreFlag = 8000;  // its near edge, from the end
inline constexpr int32_t kCutterFlagWidth = 2000;
inline constexpr int32_t kCutterCentre = kCutterTravel / 2;
inline constexpr SensorWindow kCutterWindows[] = {
    {0, kCutterEndZone, kCutterL},
    {kCutterPreFlag, kCutterPreFlag + kCutterFlagWidth, kCutterL},
    {kCutterCentre - kCutterFlagWidth / 2, kCutterCentre + kCutterFlagWidth / 2, kCutterC},
    {kCutterTravel - kCutterPreFlag - kCutterFlagWidth, kCutterTravel - kCutterPreFlag, kCutterR},
    {kCutterTravel - kCutterEndZone, kCutterTravel, kCutterR},
};
inline constexpr AxisGeometry kCutter = Linear(kCutterTravel, 0, 1600000, kCutterWindows);

// ---- pinch rollers: cams (millidegrees) turning through θ, up at θ = 0 ----
// The axis runs from one end stop (coordinate 0) to the other; θ = 0 lies
// in the middle. Every cam turns at 120 degrees a second, so no motion
// takes more than 500 ms. Windows are given in θ; Cam() places them.
inline constexpr uint32_t kCamSpeed = 120000;
struct CamWindow {
  int32_t from;
  int32_t to;
  SensorBit sensor;
};
template <int32_t kHalfTurn>
constexpr SensorWindow Cam(const CamWindow& w) {
  return {w.from + kHalfTurn, w.to + kHalfTurn, w.sensor};
}
constexpr AxisGeometry CamAxis(int32_t halfTurn, std::span<const SensorWindow> w) {
  return Linear(2 * halfTurn, halfTurn, kCamSpeed, w);
}

// EM3 main pinch: Forward passes 2, 3, 1, 5, 4 (half L, down L, up, down
// R, half R). "MainPin C" is on while up (|θ| < c1) and at the halves
// (h1 <= |θ| <= h2), "MainPin L" from l0 outwards: lowering from up stops
// just inside the L region, lowering from half just outside it.
inline constexpr int32_t kMainC1 = 10000, kMainL0 = 30000, kMainH1 = 50000, kMainH2 = 70000;
inline constexpr int32_t kMainEm3Half = 90000;
inline constexpr SensorWindow kMainPinchEm3Windows[] = {
    Cam<kMainEm3Half>({-kMainC1, kMainC1, kMainPinC}),
    Cam<kMainEm3Half>({-kMainH2, -kMainH1, kMainPinC}),
    Cam<kMainEm3Half>({kMainH1, kMainH2, kMainPinC}),
    Cam<kMainEm3Half>({-kMainEm3Half, -kMainL0, kMainPinL}),
    Cam<kMainEm3Half>({kMainL0, kMainEm3Half, kMainPinL}),
};
inline constexpr AxisGeometry kMainPinch = CamAxis(kMainEm3Half, kMainPinchEm3Windows);

// EM3 feed pinch: "FeedPinch R" is on in (-d, a) and from -c outwards,
// "FeedPinch L" in (-a, d) and from c outwards; down L (reached by
// Reverse) stands at -c, down R at +c. Beyond each down position the cam
// has a second detent: its sensor is off for a short stretch and on
// again, so a roller driven on because the other sensor did not confirm
// the end seats again there.
inline constexpr int32_t kFeedA = 10000, kFeedD = 30000, kFeedC = 50000;
inline constexpr int32_t kFeedDetent = 10000, kFeedDetentGap = 6000;
inline constexpr int32_t kFeedSecond = kFeedC + kFeedDetent + kFeedDetentGap;
inline constexpr int32_t kFeedEm3Half = 80000;
inline constexpr SensorWindow kFeedPinchEm3Windows[] = {
    Cam<kFeedEm3Half>({-kFeedD + 1, kFeedA - 1, kFeedPinchR}),
    Cam<kFeedEm3Half>({-kFeedC - kFeedDetent, -kFeedC, kFeedPinchR}),
    Cam<kFeedEm3Half>({-kFeedEm3Half, -kFeedSecond, kFeedPinchR}),
    Cam<kFeedEm3Half>({-kFeedA + 1, kFeedD - 1, kFeedPinchL}),
    Cam<kFeedEm3Half>({kFeedC, kFeedC + kFeedDetent, kFeedPinchL}),
    Cam<kFeedEm3Half>({kFeedSecond, kFeedEm3Half, kFeedPinchL}),
};
inline constexpr AxisGeometry kFeedPinch = CamAxis(kFeedEm3Half, kFeedPinchEm3Windows);

// EM2 rollers: Forward runs to side L (position 3), Reverse to side R (5).
// The wide window (main "MainPin L", feed "FeedPinch L") is on for |θ| <
// a, the narrow one (main "MainPin C", feed "FeedPinch R") for |θ| < b.
inline constexpr int32_t kEm2A = 30000, kEm2B = 10000, kEm2Half = 60000;

}  // namespace positioner
}  // namespace sim
