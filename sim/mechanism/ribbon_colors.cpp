#include "sim/mechanism/ribbon_colors.h"

#include <cstring>

namespace sim {

namespace {

constexpr uint32_t kPanels = static_cast<uint32_t>(Panel::Count);

// Receiver levels (raw A/D counts) with one LED lit, by panel: red, green,
// blue. Each channel reads one of two levels: a panel's own dye lets the
// light of one LED through far better than the others', the overcoat lets
// none through well, and an empty sensor reads high on all three.
constexpr uint16_t kLow = 300;
constexpr uint16_t kHigh = 700;
constexpr uint16_t kLevels[kPanels][3] = {
    {kLow, kLow, kHigh},  // yellow
    {kLow, kHigh, kLow},  // magenta
    {kHigh, kLow, kLow},  // cyan
    {kLow, kLow, kLow},   // overcoat
    {900, 900, 900},      // no ribbon
};

// The firmware tells the panels apart by signed differences of the three
// readings against a margin of 93 counts, first match winning: blue over
// green means yellow, green over red magenta, red over blue cyan, anything
// else overcoat. The rule that decides a panel must pass by several times
// that margin, and the rules before it must fail by the margin at least (no
// better is possible for overcoat, whose three differences sum to zero), so
// that no drift of the readings changes a panel's class.
constexpr int32_t kFirmwareMargin = 93;
constexpr int32_t kWellClear = 3 * kFirmwareMargin;

constexpr int32_t Diff(uint32_t panel, uint32_t a, uint32_t b) {
  return static_cast<int32_t>(kLevels[panel][a]) - static_cast<int32_t>(kLevels[panel][b]);
}
constexpr uint32_t kR = 0, kG = 1, kB = 2;

// Whether the firmware gives a panel the class expected, well clear of
// every rule on the way.
constexpr bool ClassifiesWellClear(uint32_t panel, uint32_t expectedClass) {
  const int32_t rules[3] = {Diff(panel, kB, kG), Diff(panel, kG, kR), Diff(panel, kR, kB)};
  for (uint32_t c = 0; c < 3; ++c) {
    if (rules[c] > kFirmwareMargin) return c == expectedClass && rules[c] >= kFirmwareMargin + kWellClear;
    if (rules[c] > 0) return false;
  }
  return expectedClass == 3;
}
static_assert(ClassifiesWellClear(static_cast<uint32_t>(Panel::Yellow), 0));
static_assert(ClassifiesWellClear(static_cast<uint32_t>(Panel::Magenta), 1));
static_assert(ClassifiesWellClear(static_cast<uint32_t>(Panel::Cyan), 2));
static_assert(ClassifiesWellClear(static_cast<uint32_t>(Panel::Overcoat), 3));

// The donor check winds from panel to panel and names the panel that comes
// by the first channel that changes by more than its threshold of 100: blue
// rising means yellow, green rising magenta, red rising cyan, red falling
// overcoat. With two levels per channel more than that apart, every step
// Y -> M -> C -> L -> Y is named right (the clear gap after L reads like
// the overcoat).
constexpr int32_t kDonorThreshold = 100;
static_assert(kHigh - kLow > kDonorThreshold);

constexpr int32_t Change(uint32_t from, uint32_t to, uint32_t channel) {
  return static_cast<int32_t>(kLevels[to][channel]) - static_cast<int32_t>(kLevels[from][channel]);
}
constexpr int32_t NamedByChange(uint32_t from, uint32_t to) {
  if (Change(from, to, kB) > kDonorThreshold) return 0;
  if (Change(from, to, kG) > kDonorThreshold) return 1;
  if (Change(from, to, kR) > kDonorThreshold) return 2;
  if (-Change(from, to, kR) > kDonorThreshold) return 3;
  return -1;
}
static_assert(NamedByChange(3, 0) == 0 && NamedByChange(0, 1) == 1 && NamedByChange(1, 2) == 2 &&
              NamedByChange(2, 3) == 3);

// COLOR_CTRL bits of each unit's red, green and blue LED.
constexpr uint32_t kFirstLedBit[2] = {0, 3};

}  // namespace

bool RibbonColors::ParsePanel(const char* pszName, Panel* pPanel) {
  static constexpr const char* kNames[kPanels] = {"yellow", "magenta", "cyan", "overcoat", "none"};
  for (uint32_t i = 0; i < kPanels; ++i) {
    if (std::strcmp(pszName, kNames[i]) == 0) {
      *pPanel = static_cast<Panel>(i);
      return true;
    }
  }
  return false;
}

uint16_t RibbonColors::Level(Panel panel, LedColor led) {
  return kLevels[static_cast<uint32_t>(panel)][static_cast<uint32_t>(led)];
}

void RibbonColors::SetLedFailed(uint32_t led, bool bFailed) {
  if (led < 1 || led > 6) return;
  const auto bit = static_cast<uint16_t>(1u << (led - 1));
  m_failedLeds = static_cast<uint16_t>(bFailed ? (m_failedLeds | bit) : (m_failedLeds & ~bit));
}

uint16_t RibbonColors::Receiver(PrintUnit unit, uint16_t colorCtrl) const {
  const uint32_t u = static_cast<uint32_t>(unit);
  const uint16_t lit = static_cast<uint16_t>(colorCtrl & ~m_failedLeds);
  uint32_t level = kDark;
  for (uint32_t c = 0; c < 3; ++c) {
    if (((lit >> (kFirstLedBit[u] + c)) & 1u) != 0) level += Level(m_panels[u], static_cast<LedColor>(c)) - kDark;
  }
  return static_cast<uint16_t>(level > kFullScale ? kFullScale : level);
}

bool RibbonColors::Analog(uint32_t channel, uint16_t colorCtrl, uint16_t* pLevel) const {
  if (m_pcbRevision == 0) {
    if (channel != kChannel && channel != kChannelRightRev0) return false;
    *pLevel = Receiver(channel == kChannel ? PrintUnit::L : PrintUnit::R, colorCtrl);
    return true;
  }
  if (channel != kChannel) return false;
  *pLevel = Receiver((colorCtrl & kSelectLeft) != 0 ? PrintUnit::L : PrintUnit::R, colorCtrl);
  return true;
}

}  // namespace sim
