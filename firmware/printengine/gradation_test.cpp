// The gradation chain on golden vectors: a TABLE whose table 18 (listed at
// 3072 bytes) gives every block its own ramp, small coefficient tables
// with negative entries, and each stage's result worked out by hand.
#include "firmware/printengine/gradation.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "firmware/devices/print_log.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/printengine/print_job_record.h"
#include "firmware/printengine/print_sequence_words.h"
#include "firmware/printengine/table_store.h"
#include "firmware/printengine/tone_curve.h"
#include "sim/board.h"
#include "sim/memory/nor_flash.h"
#include "tests/support/machine_test.h"
#include "tools/images/flash_map.h"
#include "tools/images/table_image.h"

namespace {

using testsupport::kStartUp;
using testsupport::Ms;

// Entry i of table 18's block b.
uint16_t Base(uint32_t b, uint32_t i) { return static_cast<uint16_t>(60 * i + 3 * b); }

constexpr uint32_t kEnv = 10;
constexpr uint32_t kHead = 50;
constexpr uint32_t kHumid = 128;

images::Bytes Words(uint32_t count, const std::function<int32_t(uint32_t)>& value) {
  images::Bytes b(2 * count);
  for (uint32_t i = 0; i < count; ++i) images::PutU16LE(b, 2 * i, static_cast<uint16_t>(value(i)));
  return b;
}

// Plane Y (k 0): A = 2, B = -30, C = 500 at the environment index; D =
// 1000, E = level at every level: t = 5 - 15 + level / 2. Humidity: H = -50
// at the humidity index, F = 2000, G = 3000: t = -300.
images::Bytes TestTable() {
  images::TableImageParams p = images::SampleTableParams();
  p.tables.erase(19);
  p.tables[18] = {Words(1536, [](uint32_t i) { return Base(i / 256, i % 256); })};
  for (uint32_t id = 19; id < 24; ++id) p.tables[id] = {Words(256, [](uint32_t) { return 0; })};
  auto at = [](uint32_t index, int32_t v) { return [=](uint32_t i) { return i == index ? v : 0; }; };
  p.tables[66] = {Words(256, at(kEnv, 2))};
  // Environment index 11: only B = -1000, so t = -10 x head.
  p.tables[72] = {Words(256, [](uint32_t i) { return i == kEnv ? -30 : i == kEnv + 1 ? -1000 : 0; })};
  p.tables[78] = {Words(256, at(kEnv, 500))};
  p.tables[84] = {Words(256, [](uint32_t) { return 1000; })};
  p.tables[90] = {Words(256, [](uint32_t j) { return static_cast<int32_t>(j); })};
  images::Bytes humid(512, 0);
  humid[kHumid] = static_cast<uint8_t>(-50);
  p.tables[48] = {humid};
  p.tables[108] = {Words(256, at(kEnv, 2000))};
  p.tables[54] = {Words(256, [](uint32_t) { return 3000; })};
  return images::BuildTableImage(p);
}

class Gradation : public testsupport::AppBodyTest {
 protected:
  void RunInApp(std::function<void()> body) {
    static std::function<void()> s_body;
    s_body = std::move(body);
    AppBodyTest::RunInApp(
        [] {
          const images::Bytes table = TestTable();
          sim::Board::Current().FindDevice<sim::NorFlash>()->LoadImage(images::kAreaTable.offset, table.data(),
                                                                        static_cast<uint32_t>(table.size()));
          ASSERT_EQ(InitTableData(), 0);
          SelectUnit(0);
          s_body();
        },
        kStartUp + Ms(600000));
  }
};

TEST_F(Gradation, TheDefaultBaseIsTableEighteenWithAFlatMatteEndAndAShapedSpBlock) {
  RunInApp([] {
    for (uint16_t usKind : {OVERCOAT_GLOSSY, OVERCOAT_MATTE}) {
      ImageSlot slot{};
      slot.usOvercoatKind = usKind;
      ASSERT_EQ(g_ToneCurve.BuildGradationBase(&slot), 0);
      for (uint32_t i = 0; i < 256; ++i) {
        for (uint32_t b = 0; b < 3; ++b) ASSERT_EQ(g_ausGradationBase[256 * b + i], Base(b, i)) << b << "/" << i;
        const uint32_t ulOvercoat = usKind == OVERCOAT_MATTE ? Base(4, i < 236 ? i : 236) : Base(3, i);
        ASSERT_EQ(g_ausGradationBase[768 + i], ulOvercoat) << usKind << "/" << i;
        const uint32_t ulSp = Base(5, i) < 100 ? 1 : Base(5, i) - 50;
        ASSERT_EQ(g_ausGradationBase[1024 + i], ulSp) << i;
      }
    }
  });
}

TEST_F(Gradation, CompositionInterpolatesBetweenBaseLevels) {
  RunInApp([] {
    ImageSlot slot{};
    ASSERT_EQ(g_ToneCurve.BuildGradationBase(&slot), 0);
    std::vector<uint16_t> curve(768);
    for (uint32_t i = 0; i < 768; ++i) curve[i] = static_cast<uint16_t>(64 * (i % 256));
    curve[0] = 16320;   // level 255, fraction 0
    curve[1] = 100;     // level 1, fraction 36
    curve[256] = 0xFFFF;  // beyond level 255: limited to it
    ASSERT_EQ(g_ToneCurve.ComposeToneCurve(curve.data()), 0);
    const uint16_t* pusComposed = CToneCurve::WorkArea();
    EXPECT_EQ(pusComposed[0], Base(0, 255));
    EXPECT_EQ(pusComposed[1], (28 * Base(0, 1) + 36 * Base(0, 2)) >> 6);
    EXPECT_EQ(pusComposed[2], Base(0, 2));
    EXPECT_EQ(pusComposed[256], Base(1, 255));
    EXPECT_EQ(pusComposed[512 + 77], Base(2, 77));
    for (uint32_t i = 768; i < 1280; ++i) ASSERT_EQ(pusComposed[i], g_ausGradationBase[i]) << i;
  });
}

TEST_F(Gradation, TemperatureAndHumidityCorrectionsWorkedByHand) {
  RunInApp([this] {
    ImageSlot slot{};
    ASSERT_EQ(g_ToneCurve.BuildGradationBase(&slot), 0);
    std::vector<uint16_t> identity(768);
    for (uint32_t i = 0; i < 768; ++i) identity[i] = static_cast<uint16_t>(64 * (i % 256));
    ASSERT_EQ(g_ToneCurve.ComposeToneCurve(identity.data()), 0);
    g_ulPrintLogColor = 2;
    ASSERT_EQ(g_ToneCurve.CorrectPlaneByTemperature(0, kEnv, kHead, identity.data()), 0);
    // t = -10 + level / 2, truncated toward zero with the entry.
    struct Entry {
      uint32_t i;
      uint16_t usWant;
    };
    const Entry temp[] = {{0, 0}, {1, 50}, {2, 111}, {3, 171}, {20, 1200}, {255, 15417}};
    for (const Entry& e : temp) EXPECT_EQ(g_ausPlaneGradation[e.i], e.usWant) << "temperature " << e.i;
    // A correction more negative than the entry gives 0, not a wrapped
    // level: t = -500 at environment index 11.
    ASSERT_EQ(g_ToneCurve.CorrectPlaneByTemperature(0, kEnv + 1, kHead, identity.data()), 0);
    EXPECT_EQ(g_ausPlaneGradation[1], 0);
    EXPECT_EQ(g_ausPlaneGradation[8], 0);
    EXPECT_EQ(g_ausPlaneGradation[9], 40);
    EXPECT_EQ(g_ausPlaneGradation[255], 15300 - 500);
    ASSERT_EQ(g_ToneCurve.CorrectPlaneByTemperature(0, kEnv, kHead, identity.data()), 0);

    // Humidity t = -50 x 3000 x 2000 / 10^6 = -300; 0 stays 0.
    std::vector<uint16_t> before(g_ausPlaneGradation, g_ausPlaneGradation + 1280);
    g_ParamHumidCorrect.SetValue(0);
    ASSERT_EQ(CorrectGradationHumid(0, kEnv, kHumid, g_ausPlaneGradation, g_ausPlaneGradation, identity.data(), 256), 0);
    EXPECT_EQ(std::vector<uint16_t>(g_ausPlaneGradation, g_ausPlaneGradation + 1280), before) << "switched off";
    g_ParamHumidCorrect.SetValue(1);
    // The table lists 18 at 3072 bytes: one block is corrected all the same.
    const uint32_t ulCount = GradationHumidCount(0);
    EXPECT_EQ(ulCount, 1536u);
    g_ausPlaneGradation[256 + 40] = 1234;
    ASSERT_EQ(CorrectGradationHumid(0, kEnv, kHumid, g_ausPlaneGradation, g_ausPlaneGradation, identity.data(), ulCount), 0);
    EXPECT_EQ(g_ausPlaneGradation[0], 0);
    EXPECT_EQ(g_ausPlaneGradation[1], 0) << "50 - 300 stops at 0";
    EXPECT_EQ(g_ausPlaneGradation[20], 1200 - 300);
    EXPECT_EQ(g_ausPlaneGradation[255], 15417 - 300);
    EXPECT_EQ(g_ausPlaneGradation[256 + 40], 1234) << "the next block is left alone";

    // The print log has the plane's environment, head and humidity readings.
    g_PrintLog.Append();
    PhysAddr ulRecord = 0;
    ASSERT_EQ(g_PrintLog.GetRecordAddress(0, &ulRecord), 0);
    EXPECT_EQ(HwRead8(ulRecord + PRINT_LOG_SUB_RECORD_FIRST + 16 + 2), kEnv);
    EXPECT_EQ(HwRead8(ulRecord + PRINT_LOG_SUB_RECORD_FIRST + 20 + 2), kHead);
    EXPECT_EQ(HwRead8(ulRecord + PRINT_LOG_SUB_RECORD_FIRST + 24 + 2), kHumid);
    (void)this;
  });
  EXPECT_TRUE(m_machine->Logged("[TABLE] UnitA - Color = 0, env_temp = 10, head_temp = 50"));
  EXPECT_TRUE(m_machine->Logged("[TABLE] Color = 0, correct_sw = 0"));
  EXPECT_TRUE(m_machine->Logged("[TABLE] Color = 0, correct_sw = 1"));
}

TEST_F(Gradation, LowAndHighEndAdjustments) {
  RunInApp([] {
    std::vector<uint16_t> src(256);
    for (uint32_t i = 0; i < 256; ++i) src[i] = static_cast<uint16_t>(60 * i);
    struct Low {
      int32_t lPercent;
      uint32_t i;
      uint16_t usWant;
    };
    const Low lows[] = {
        {50, 0, 0},    {50, 1, 30},    {50, 30, 1770},  {50, 31, 1830},  {50, 255, 15300},
        {250, 0, 0},   {250, 1, 150},  {250, 30, 1890}, {250, 31, 1950}, {250, 255, 15300},
    };
    std::vector<uint16_t> dst(256);
    ASSERT_EQ(AdjustGradationLowEnd(100, src.data(), dst.data()), 0);
    EXPECT_EQ(dst, src) << "100 % is the identity";
    for (const Low& l : lows) {
      AdjustGradationLowEnd(l.lPercent, src.data(), dst.data());
      EXPECT_EQ(dst[l.i], l.usWant) << l.lPercent << "% at " << l.i;
    }
    ASSERT_EQ(AdjustGradationHighEnd(1000, src.data(), dst.data()), 0);
    for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(dst[i], src[i <= 236 ? i : 236]) << i;
    // 900: P = 9900; level 200: r = 900 + (-5 x 100) / 30 = 884.
    AdjustGradationHighEnd(900, src.data(), dst.data());
    EXPECT_EQ(dst[165], src[165]);
    EXPECT_EQ(dst[200], src[200] + 884 * 9900 / 1000 - 9900);
  });
}

}  // namespace
