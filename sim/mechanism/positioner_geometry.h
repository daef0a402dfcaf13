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
// below are EM3's; EM2 differs only in its head lifts, whose stroke is
// shorter (6.4 mm against 8 mm: a travel takes 320 ms at full duty instead
// of 400, its end zones as wide). The cutter is the same in both. The board
// takes the variant at each boot from the main EEPROM, where the firmware
// takes it.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/mechanism/dc_axis.h"

namespace sim {

// The engine variants: "Engine Version" 1 is EM2, any other value EM3.
enum class EngineVariant : uint8_t { EM2, EM3 };
const char* ToString(EngineVariant variant);

// The positioner axes of one engine variant. The cutter's, the pinch
// rollers' and the carousel's do not depend on it (dc_wiring.cpp).
struct PositionerGeometry {
  AxisGeometry headL;
  AxisGeometry headR;
  AxisGeometry loadPinch;
  AxisGeometry loadBar;
  AxisGeometry ejectPinch;
  AxisGeometry pathSel;
  AxisGeometry rotLock;
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

}  // namespace positioner
}  // namespace sim
