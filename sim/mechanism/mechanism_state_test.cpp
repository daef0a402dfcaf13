#include "sim/mechanism/mechanism_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace sim {
namespace {

MechanismState Sample() {
  MechanismState s;
  s.variant = EngineVariant::EM2;
  for (uint32_t i = 0; i < s.axes.size(); ++i) s.axes[i] = static_cast<int32_t>(1000 * i) - 7;
  s.carousel = -123456;
  s.bRoll = true;
  s.web = {67133.5, 65000.25, false, WebPath::R, 12.5, 123456.75, true, 271.5};
  s.ribbons[0] = {RibbonType::Mark8x10, 1.5, 2.25, 3.0, -410.125};
  s.ribbons[1] = {RibbonType::Color8x12K2, 99999.0, 0.0, 0.0, 1e6};
  return s;
}

// Byte offsets of the layout.
constexpr size_t kVersionAt = 4;
constexpr size_t kVariantAt = 8;
constexpr size_t kAxesAt = 12;
constexpr size_t kWebFlagsAt = kAxesAt + 4 * 10 + 4;
constexpr size_t kWebRealsAt = kWebFlagsAt + 4;
constexpr size_t kRibbonAt = kWebRealsAt + 40;

// A change written as this board would write it: the checksum made good.
void Reseal(std::vector<uint8_t>* pBytes) {
  const uint32_t h = MechanismStateChecksum(pBytes->data(), pBytes->size() - 4);
  for (int i = 0; i < 4; ++i) (*pBytes)[pBytes->size() - 4 + i] = static_cast<uint8_t>(h >> (8 * i));
}
void PutReal(std::vector<uint8_t>* pBytes, size_t at, double v) {
  uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  for (int i = 0; i < 8; ++i) (*pBytes)[at + i] = static_cast<uint8_t>(bits >> (8 * i));
}

TEST(MechanismState, RoundTripsInItsStatedLittleEndianLayout) {
  const MechanismState s = Sample();
  const std::vector<uint8_t> bytes = EncodeMechanismState(s);
  ASSERT_EQ(bytes.size(), 176u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "MECH");
  EXPECT_EQ(bytes[kVersionAt], 2);
  EXPECT_EQ(bytes[kVersionAt + 1], 0);
  EXPECT_EQ(bytes[kVariantAt], 0) << "EM2";
  // Axis 1 = 993 = 0x3E1, low byte first.
  EXPECT_EQ(bytes[kAxesAt + 4], 0xE1);
  EXPECT_EQ(bytes[kAxesAt + 5], 0x03);
  EXPECT_EQ(bytes[kWebFlagsAt], 1 + 4) << "a roll, the web detached in the path";
  EXPECT_EQ(bytes[kWebFlagsAt + 1], 1) << "path R";
  MechanismState back;
  std::string error;
  ASSERT_TRUE(DecodeMechanismState(bytes.data(), bytes.size(), &back, &error)) << error;
  EXPECT_EQ(back.variant, s.variant);
  EXPECT_EQ(back.axes, s.axes);
  EXPECT_EQ(back.carousel, s.carousel);
  EXPECT_EQ(back.bRoll, s.bRoll);
  EXPECT_EQ(back.web.front, s.web.front);
  EXPECT_EQ(back.web.tail, s.web.tail);
  EXPECT_EQ(back.web.bAttached, s.web.bAttached);
  EXPECT_EQ(back.web.path, s.web.path);
  EXPECT_EQ(back.web.slackMm, s.web.slackMm);
  EXPECT_EQ(back.web.onRollMm, s.web.onRollMm);
  EXPECT_EQ(back.web.bWeb, s.web.bWeb);
  EXPECT_EQ(back.web.edgeDeg, s.web.edgeDeg);
  for (size_t u = 0; u < 2; ++u) {
    EXPECT_EQ(back.ribbons[u].type, s.ribbons[u].type);
    EXPECT_EQ(back.ribbons[u].supplyMm, s.ribbons[u].supplyMm);
    EXPECT_EQ(back.ribbons[u].takeUpMm, s.ribbons[u].takeUpMm);
    EXPECT_EQ(back.ribbons[u].slackMm, s.ribbons[u].slackMm);
    EXPECT_EQ(back.ribbons[u].headLine, s.ribbons[u].headLine);
  }
}

struct DamageCase {
  const char* pszName;
  std::function<void(std::vector<uint8_t>*)> damage;
  const char* pszMessagePart;
};

TEST(MechanismState, ADamagedOrForeignFileIsRefusedWithItsReason) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const DamageCase cases[] = {
      {"empty", [](auto* b) { b->clear(); }, "length"},
      {"short", [](auto* b) { b->pop_back(); }, "length"},
      {"long", [](auto* b) { b->push_back(0); }, "length"},
      {"magic", [](auto* b) { (*b)[0] = 'X'; }, "magic"},
      {"version 1", [](auto* b) { (*b)[kVersionAt] = 1; Reseal(b); }, "version"},
      {"one bit flipped", [](auto* b) { (*b)[kAxesAt + 2] ^= 0x10; }, "checksum"},
      {"variant 2", [](auto* b) { (*b)[kVariantAt] = 2; Reseal(b); }, "engine variant"},
      {"axis count", [](auto* b) { (*b)[kVariantAt + 1] = 9; Reseal(b); }, "layout"},
      {"web flags", [](auto* b) { (*b)[kWebFlagsAt] = 8; Reseal(b); }, "flags"},
      {"path 2", [](auto* b) { (*b)[kWebFlagsAt + 1] = 2; Reseal(b); }, "flags"},
      {"front NaN", [nan](auto* b) { PutReal(b, kWebRealsAt, nan); Reseal(b); }, "paper web"},
      {"front far", [](auto* b) { PutReal(b, kWebRealsAt, 1e300); Reseal(b); }, "paper web"},
      {"slack below 0", [](auto* b) { PutReal(b, kWebRealsAt + 16, -1.0); Reseal(b); }, "paper web"},
      {"front a turn round", [](auto* b) { PutReal(b, kWebRealsAt + 32, 360.0); Reseal(b); }, "paper web"},
      {"front below 0 degrees", [](auto* b) { PutReal(b, kWebRealsAt + 32, -0.5); Reseal(b); }, "paper web"},
      {"ribbon type", [](auto* b) { (*b)[kRibbonAt] = 6; Reseal(b); }, "ribbon type"},
      {"supply infinite", [](auto* b) { PutReal(b, kRibbonAt + 4, INFINITY); Reseal(b); }, "ribbon"},
      {"take-up below 0", [](auto* b) { PutReal(b, kRibbonAt + 12, -0.5); Reseal(b); }, "ribbon"},
  };
  for (const DamageCase& c : cases) {
    std::vector<uint8_t> bytes = EncodeMechanismState(Sample());
    c.damage(&bytes);
    MechanismState untouched;
    untouched.carousel = 77;
    std::string error;
    EXPECT_FALSE(DecodeMechanismState(bytes.data(), bytes.size(), &untouched, &error)) << c.pszName;
    EXPECT_NE(error.find(c.pszMessagePart), std::string::npos) << c.pszName << ": " << error;
    EXPECT_EQ(untouched.carousel, 77) << c.pszName << ": nothing taken from a refused file";
  }
}

TEST(MechanismState, ARibbonIsKeptOnlyWhereTheSameTypeIsLoaded) {
  MechanismState s = Sample();
  std::array<RibbonLoad, 2> loads{RibbonLoad{RibbonType::Mark8x10}, RibbonLoad{RibbonType::Color8x10K1}};
  ApplyRibbonState(s, &loads);
  EXPECT_EQ(loads[0].supplyMm, 1.5);
  EXPECT_EQ(loads[0].takeUpMm, 2.25);
  EXPECT_EQ(loads[0].slackMm, 3.0);
  EXPECT_EQ(loads[1].supplyMm, RibbonLoad::kFullRoll) << "another ribbon went into unit R: a new roll";
  EXPECT_EQ(loads[1].takeUpMm, RibbonLoad::kNewTakeUpMm);
}

}  // namespace
}  // namespace sim
