// The DSP parameter block and the table downloads of a plane, against the
// DSP stand-in: the parameter words in their order, the overcoat levels and
// the pulse division, the track-correction words, and every table the DSP
// kept compared with its source. The sample TABLE gives the values and
// tables; some cases change a few of them.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "firmware/control/control_test_rig.h"
#include "firmware/control/error_manager.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/hw.h"
#include "firmware/platform/dsp_boot.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/ioctl.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/gradation.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/print_line_test_support.h"
#include "firmware/printengine/print_sequence_words.h"
#include "firmware/printengine/table_store.h"
#include "sim/board.h"
#include "sim/bus.h"
#include "sim/dsp/dsp_core.h"
#include "sim/memory/nor_flash.h"
#include "tests/support/machine_test.h"
#include "tools/images/dsp_image.h"
#include "tools/images/flash_map.h"
#include "tools/images/table_image.h"

namespace {

using testsupport::Ms;

sim::DspCore& Dsp() { return *sim::Board::Current().FindDevice<sim::DspCore>(); }

using printlinetest::CurrentSlot;
using printlinetest::PrepareBoard;
using printlinetest::TableChange;

// The plane of the slot: 2000 x 1200 of source, margins 7 and 9.
PrintLinePlane PlaneOf(ImageSlot* pSlot, uint16_t usInternal, uint16_t usOvercoatKind) {
  pSlot->usInternal = usInternal;
  pSlot->usOvercoatKind = usOvercoatKind;
  for (uint16_t i = 0; i < CUT_LIST_WORDS; ++i) pSlot->ausCutList[i] = static_cast<uint16_t>(100 + i);
  return PrintLinePlane{pSlot, 2000, 1224, 2464, 0xC1234560u, 2000, 1200, 7, 9, 0};
}

uint32_t Env() {
  uint32_t ulRaw = 0;
  g_AdEnvTherm.Read(&ulRaw);
  return (ulRaw >> 2) & 0xFF;
}

uint16_t Word(PhysAddr ulAddr) { return HwRead16(ulAddr); }
uint16_t Low(uint32_t ul) { return static_cast<uint16_t>(ul); }
uint16_t High(uint32_t ul) { return static_cast<uint16_t>(ul >> 16); }

// The TABLE table's bytes as the sample holds them.
std::vector<uint8_t> SampleTable(uint32_t ulId, size_t bytes) {
  std::vector<uint8_t> v(bytes);
  for (size_t j = 0; j < bytes; ++j) v[j] = images::SampleDspTableByte(ulId, static_cast<uint32_t>(j));
  return v;
}

class PrintLineTables : public controltest::ControlTest {
 protected:
  void RunInApp(std::function<void()> body, TableChange change = nullptr) {
    InApp(
        [&] {
          PrepareBoard(change);
          if (::testing::Test::HasFatalFailure()) return;
          body();
        },
        Ms(120000));
  }
};

// The settings every parameter-block case starts from.
void BaseSettings() {
  g_ParamSideAL.SetValueNoSave(5);
  g_ParamSideAR.SetValueNoSave(-3);
  g_ParamSideBR.SetValueNoSave(7);
  g_ParamSideBL.SetValueNoSave(-6);
  g_ParamSideOffsetL.SetValueNoSave(11);
  g_ParamSideOffsetR.SetValueNoSave(-12);
  g_ParamRotationFlag.SetValueNoSave(0);
  g_ParamCisSW.SetValueNoSave(1);
  g_ParamConfigMode.SetValueNoSave(0);
  g_ParamCisOffsetL.SetValueNoSave(4);
  g_ParamCisOffsetR.SetValueNoSave(9);
  g_ParamHeatControl.SetValueNoSave(1);
  g_ParamOpLevel.SetValueNoSave(-1);
  g_ParamMatteGloss.SetValueNoSave(105);
  g_ParamDeGlossBlk.SetValueNoSave(195);
  g_ParamDeGlossWht.SetValueNoSave(205);
  g_ParamTrackCorrectSW.SetValueNoSave(1);
  g_lCisEdgeResult = 0;
  g_PrintGeometry.SetTrackPoint(0, 100);
  g_PrintGeometry.SetTrackPoint(1, 120);
}

using Writes = std::vector<std::pair<uint32_t, uint16_t>>;

// The whole block of plane Y on unit L, internal image off, glossy slot,
// in the order it is written.
Writes BlockOfYOnL(uint32_t k) {
  return Writes{
      {0x80013A00, 7},
      {0x80013882, 2000},
      {0x80013884, 1224},
      {0x8001389C, 2464},
      {0x80013886, 8},  // "Side A-R" -3 + "SideOffset L" 11
      {0x80013888, 3},
      {0x8001388A, images::kSampleOvercoatBase},
      {0x8001388C, 1200},
      {0x8001388E, 9},
      {0x80013890, Low(images::SampleDspWord(0x80 + k))},
      {0x8001389E, Low(images::SampleDspWord(0x88 + k))},
      {0x80013870, 0},
      {0x80013872, 0},
      {0x80013874, 0},
      {0x80013876, 0},
      {0x80013878, 0},
      {0x8001387A, 2},
      {0x800138A4, 105},
      {0x800138A6, 195},
      {0x800138A8, 205},
      {0x80013920, 268},
      {0x80013922, 236},
      {0x80013924, 118},
      {0x80013960, 32768},
      {0x80013962, 32768},
      {0x80013964, 1024},
      {0x80013968, Low(images::SampleDspWord(0x68 + k))},
      {0x8001396A, High(images::SampleDspWord(0x68 + k))},
      {0x8001396C, Low(images::SampleDspWord(0x70 + k))},
      {0x8001396E, High(images::SampleDspWord(0x70 + k))},
      {0x80013970, Low(images::SampleDspWord(0x78 + k))},
      {0x80013972, High(images::SampleDspWord(0x78 + k))},
      {0x80013FE0, 2560},
      {0x80013FEA, 0},
      {0x80013FEC, 3},
      {0x80013FE6, 0xC123},
      {0x80013FE8, 0x4560},
      {0x80013FEE, 1},
      {0x80013FF2, 0},
      {0x80013A10, 1},
      {0x80013A0A, 96},  // track point A 100 - "CisOffset L" 4
      {0x80013980, 100},
      {0x80013982, 101},
      {0x80013984, 102},
      {0x80013986, 103},
  };
}

void Replace(Writes& writes, uint32_t ulAddr, uint16_t usValue) {
  for (auto& w : writes) {
    if (w.first == ulAddr) w.second = usValue;
  }
}

void Remove(Writes& writes, uint32_t ulAddr) {
  for (auto it = writes.begin(); it != writes.end(); ++it) {
    if (it->first == ulAddr) {
      writes.erase(it);
      return;
    }
  }
}

TEST_F(PrintLineTables, TheParameterBlockIsWrittenWordByWordInItsOrder) {
  RunInApp([] {
    struct Case {
      const char* what;
      uint32_t ulUnit;
      uint32_t ulPlane;
      uint32_t k;
      uint16_t usInternal;
      uint16_t usOvercoatKind;
      std::function<void()> settings;
      std::function<void(Writes&)> expected;  // changes of the Y-on-L block
    };
    const Case cases[] = {
        {"Y on unit L", 0, 0, 0, 0, OVERCOAT_GLOSSY, [] {}, [](Writes&) {}},
        {"C on unit R, \"Rotation Flag\" 2", 1, 2, 2, 0, OVERCOAT_GLOSSY,
         [] { g_ParamRotationFlag.SetValueNoSave(2); },
         [](Writes& w) {
           Replace(w, 0x80013886, static_cast<uint16_t>(7 - 12));  // "Side B-R" + "SideOffset R"
           Replace(w, 0x80013FF2, 2);
           Replace(w, 0x80013A0A, 129);  // track point B 120 + "CisOffset R" 9
         }},
        {"M without the CIS edge: no side offset added", 0, 1, 1, 0, OVERCOAT_GLOSSY, [] { g_lCisEdgeResult = -1; },
         [](Writes& w) {
           Replace(w, 0x80013886, static_cast<uint16_t>(-3));
           Replace(w, 0x80013FF2, 1);
         }},
        {"matte overcoat", 0, 3, 4, 0, OVERCOAT_MATTE, [] {},
         [](Writes& w) {
           Replace(w, 0x80013878, 1);
           Replace(w, 0x80013FEA, 1);
           Replace(w, 0x80013A10, 0);
           Remove(w, 0x80013A0A);
           // Levels of the matte base 200: + 0, 10, 20, 30.
           Replace(w, 0x80013870, 200);
           Replace(w, 0x80013872, 210);
           Replace(w, 0x80013874, 220);
           Replace(w, 0x80013876, 230);
         }},
        {"SP", 0, 4, 5, 0, OVERCOAT_GLOSSY, [] {},
         [](Writes& w) {
           Replace(w, 0x80013FEA, 1);
           Replace(w, 0x80013A10, 0);
           Remove(w, 0x80013A0A);
         }},
        {"internal image, Y", 0, 0, 0, 1, OVERCOAT_GLOSSY, [] {}, [](Writes& w) { Replace(w, 0x80013FEA, 1); }},
    };
    ImageSlot* pSlot = CurrentSlot();
    ASSERT_NE(pSlot, nullptr);
    sim::BusTrace& trace = sim::Board::Current().GetBus().Trace();
    trace.WatchRam(DSP_WINDOW, DSP_WINDOW + DSP_WINDOW_BYTES - 1);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      BaseSettings();
      c.settings();
      SelectUnit(c.ulUnit);
      g_PrintLine.SetPlane(PlaneOf(pSlot, c.usInternal, c.usOvercoatKind));
      EXPECT_EQ(g_PrintLine.GetTableIndex(c.ulPlane), c.k);
      g_PrintLine.SetOvercoatLevels(c.ulPlane);
      Writes expected = BlockOfYOnL(c.k);
      c.expected(expected);
      trace.Clear();
      trace.Start();
      EXPECT_EQ(g_PrintLine.WriteDspParams(c.ulPlane), 0);
      trace.Stop();
      Writes written;
      for (const sim::BusAccess& a : trace.In(DSP_WINDOW, DSP_WINDOW + DSP_WINDOW_BYTES - 1, sim::BusTrace::Kind::Writes)) {
        written.emplace_back(a.addr, static_cast<uint16_t>(a.value));
      }
      EXPECT_EQ(written, expected);
    }
    trace.WatchRam(1, 0);
  });
}

// "OP Level" -1 takes 0 for a slot of overcoat kind 1, else TABLE value
// 0x44; any other setting is written as it is.
TEST_F(PrintLineTables, TheOvercoatWordFollowsTheSettingOrTheSlot) {
  RunInApp([] {
    ImageSlot* pSlot = CurrentSlot();
    ASSERT_NE(pSlot, nullptr);
    struct Case {
      int32_t lOpLevel;
      uint16_t usKind;
      uint16_t usWord;
    };
    const Case cases[] = {{-1, 1, 0}, {-1, 2, images::kSampleOvercoatBase}, {-1, 3, images::kSampleOvercoatBase},
                          {77, 1, 77}, {0, 2, 0}};
    BaseSettings();
    for (const Case& c : cases) {
      g_ParamOpLevel.SetValueNoSave(c.lOpLevel);
      g_PrintLine.SetPlane(PlaneOf(pSlot, 0, c.usKind));
      g_PrintLine.WriteDspParams(0);
      EXPECT_EQ(Word(0x8001388A), c.usWord) << c.lOpLevel << " kind " << c.usKind;
    }
  });
}

// A matte overcoat's levels are clamped after the relative setting and
// again after the adjustment; other planes have none, a glossy slot the
// base four times.
TEST_F(PrintLineTables, OvercoatLevelsAreClampedStepByStep) {
  RunInApp(
      [] {
        ImageSlot* pSlot = CurrentSlot();
        ASSERT_NE(pSlot, nullptr);
        struct Case {
          const char* what;
          uint32_t ulPlane;
          uint16_t usKind;
          int32_t lAdjust;
          uint16_t ausLevels[4];
        };
        const Case cases[] = {
            {"matte, 250 + 0/10/20/30", 3, OVERCOAT_MATTE, 0, {250, 255, 255, 255}},
            {"matte, adjusted -25 after the clamp", 3, OVERCOAT_MATTE, -25, {225, 230, 230, 230}},
            {"glossy", 3, OVERCOAT_GLOSSY, -25, {250, 250, 250, 250}},
            {"plane Y", 0, OVERCOAT_MATTE, 0, {0, 0, 0, 0}},
        };
        g_ParamMatteRel1.SetValueNoSave(0);
        g_ParamMatteRel2.SetValueNoSave(10);
        g_ParamMatteRel3.SetValueNoSave(20);
        g_ParamMatteRel4.SetValueNoSave(30);
        for (const Case& c : cases) {
          SCOPED_TRACE(c.what);
          g_ParamMatteAdjust.SetValueNoSave(c.lAdjust);
          g_PrintLine.SetPlane(PlaneOf(pSlot, 0, c.usKind));
          g_PrintLine.SetOvercoatLevels(c.ulPlane);
          for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(g_PrintLine.OvercoatLevel(i), c.ausLevels[i]) << i;
        }
        g_ParamMatteAdjust.SetValueNoSave(0);
      },
      [](images::TableImageParams& p) {
        for (auto& bank : p.values) bank[0x44] = 250;
      });
}

TEST_F(PrintLineTables, ThePulseDivisionWordCountsEveryPulse) {
  RunInApp([] {
    for (uint32_t ulPlane = 0; ulPlane < 5; ++ulPlane) {
      const uint32_t k = g_PrintLine.GetTableIndex(ulPlane);
      const uint32_t ulLength = images::kSamplePulseLength + k;
      const uint32_t ulCount = images::kSamplePulseCount + k;
      EXPECT_EQ(g_PrintLine.SetPulseDivision(ulPlane), 0);
      EXPECT_EQ(Word(0x8001389A), ulLength * (ulCount + 1) + ulCount) << ulPlane;
    }
  });
}

// Plane M (i = 1): the sample's segment lines N0 = 2 - 1, N1 = N2 = 1; the
// lengths L = track lengths + 1, + 0, + 0 (+ the border offsets); T = 3624
// + 72 + 12 + 12 on the large media's size.
TEST_F(PrintLineTables, TrackCorrectionTakesTheFirstSegmentLongerThanThePrint) {
  RunInApp([] {
    ImageSlot* pSlot = CurrentSlot();
    ASSERT_NE(pSlot, nullptr);
    constexpr uint32_t T = 3624 + 72 + 24;
    constexpr uint32_t kBase = 0xC7000000u + 0x200000u;
    constexpr uint32_t kLine = 0x1400;
    struct Case {
      const char* what;
      uint32_t aulLengths[3];
      int32_t lBorder;
      uint16_t usInternal;
      uint32_t ulBase;
      uint16_t ausWords[7];  // S0 B0 S1 B1 S2 B2 S3
    };
    const Case cases[] = {
        {"all three shorter", {100, 200, 300}, 0, 0, kBase, {T - 101, 1, T - 200, 1, T - 300, 1, T}},
        {"the first longer", {5000, 200, 300}, 0, 0, kBase + kLine, {T - 200, 1, T - 300, 1, T, 1, T}},
        {"the first two longer", {5000, 5000, 300}, 0, 1, kBase + 2 * kLine, {T - 300, 1, T, 1, T, 1, T}},
        {"all longer", {5000, 5000, 5000}, 0, 0, kBase + 3 * kLine, {T, 1, T, 1, T, 1, T}},
        {"a border offset below 0 floors the lengths", {10, 20, 30}, -100, 0, kBase, {T, 1, T, 1, T, 1, T}},
    };
    g_lSensorOffsetLines = 0;
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      g_ParamBorderOffsetL.SetValueNoSave(c.lBorder);
      g_TrackCorrect.PushLength(0, c.aulLengths[2], 1);
      g_TrackCorrect.PushLength(0, c.aulLengths[1], 1);
      g_TrackCorrect.PushLength(0, c.aulLengths[0], 1);
      g_PrintLine.SetPlane(PlaneOf(pSlot, c.usInternal, OVERCOAT_GLOSSY));
      ASSERT_EQ(g_PrintLine.SendTable7(1), 0);
      EXPECT_EQ(Word(0x80013A12), Low(c.ulBase));
      EXPECT_EQ(Word(0x80013A14), High(c.ulBase));
      for (uint32_t n = 0; n < 7; ++n) EXPECT_EQ(Word(0x80013A16 + 2 * n), c.ausWords[n]) << n;
      // Table 115's entries times table 121's byte at the environment
      // index, reversed for an internal image.
      const std::vector<uint8_t>& kept = Dsp().Table(DSP_TABLE_TRACK);
      ASSERT_EQ(kept.size(), 512u);
      const std::vector<uint8_t> source = SampleTable(115, 512);
      const uint8_t ucFactor = images::SampleDspTableByte(121, Env());
      for (uint32_t n = 0; n < 256; ++n) {
        const uint32_t m = c.usInternal != 0 ? 255 - n : n;
        const uint16_t usEntry = static_cast<uint16_t>(source[2 * n] | source[2 * n + 1] << 8);
        const uint16_t usKept = static_cast<uint16_t>(kept[2 * m] | kept[2 * m + 1] << 8);
        ASSERT_EQ(usKept, static_cast<uint16_t>(usEntry * ucFactor)) << n;
      }
    }
    g_ParamBorderOffsetL.SetValueNoSave(0);
  });
}

// Every table the DSP kept is its source: TABLE tables of the plane's
// index, the plane's block of the corrected gradation, the constant tables
// and the start-up's table 10.
TEST_F(PrintLineTables, EveryTableTheDspKeptIsItsSource) {
  RunInApp([] {
    ImageSlot* pSlot = CurrentSlot();
    ASSERT_NE(pSlot, nullptr);
    for (uint32_t ulPlane = 0; ulPlane < 5; ++ulPlane) {
      SCOPED_TRACE(ulPlane);
      g_PrintLine.SetPlane(PlaneOf(pSlot, 0, OVERCOAT_GLOSSY));
      const uint32_t k = g_PrintLine.GetTableIndex(ulPlane);
      ASSERT_EQ(g_PrintLine.SendTable1(ulPlane), 0);
      EXPECT_EQ(Word(0x80013FF4), ulPlane == 3 ? 1 : 0);
      ASSERT_EQ(g_PrintLine.SendTable3(ulPlane), 0);
      ASSERT_EQ(g_PrintLine.SendTable4(ulPlane), 0);
      ASSERT_EQ(g_PrintLine.SendTables5And6(), 0);
      ASSERT_EQ(g_PrintLine.SendTable8(ulPlane), 0);
      ASSERT_EQ(g_PrintLine.SendTable9(ulPlane), 0);
      std::vector<uint8_t> gradation(512);
      std::memcpy(gradation.data(), g_ausPlaneGradation + ulPlane * GRADATION_BLOCK, 512);
      EXPECT_EQ(Dsp().Table(DSP_TABLE_GRADATION), gradation);
      EXPECT_EQ(Dsp().Table(DSP_TABLE_3), SampleTable(24 + k, 512));
      EXPECT_EQ(Dsp().Table(DSP_TABLE_4), SampleTable(60 + k, 512));
      EXPECT_EQ(Dsp().Table(DSP_TABLE_5), std::vector<uint8_t>(256, 0));
      EXPECT_EQ(Dsp().Table(DSP_TABLE_6), std::vector<uint8_t>(512, 0));
      EXPECT_EQ(Dsp().Table(DSP_TABLE_8), SampleTable(30 + k, 512));
      EXPECT_EQ(Dsp().Table(DSP_TABLE_9), SampleTable(36 + k, 512));
    }
    g_PrintLine.SetPlane(PlaneOf(pSlot, 1, OVERCOAT_GLOSSY));
    ASSERT_EQ(g_PrintLine.SendTable8(0), 0);
    EXPECT_EQ(Word(0x80013FF4), 1) << "an internal image";
    FillDspTable10(128);
    ASSERT_EQ(g_PrintLine.SendTable10(), 0);
    EXPECT_EQ(Dsp().Table(DSP_TABLE_10), std::vector<uint8_t>(4096, 128));
    EXPECT_FALSE(IsErrorRaised(0x0116));
    EXPECT_FALSE(IsErrorRaised(0x0117));
  });
}

// TABLE entries longer than a download copies: the download stages and
// sums what it copies, never past the staging buffer.
TEST_F(PrintLineTables, LongTableEntriesStageOnlyWhatTheDownloadCopies) {
  RunInApp(
      [] {
        ImageSlot* pSlot = CurrentSlot();
        ASSERT_NE(pSlot, nullptr);
        g_PrintLine.SetPlane(PlaneOf(pSlot, 0, OVERCOAT_GLOSSY));
        for (uint32_t i = 0; i < 16; ++i) HwWrite16(0xC7DFC000u + 2 * i, 0xFFFF);
        const uint16_t usAfter = g_ausPlaneGradation[GRADATION_ENTRIES - 1];
        // Table 23 (SP's) of 3072 bytes: plane SP's block is the last of the
        // buffer.
        EXPECT_EQ(g_PrintLine.SendTable1(4), 0);
        std::vector<uint8_t> gradation(512);
        std::memcpy(gradation.data(), g_ausPlaneGradation + 4 * GRADATION_BLOCK, 512);
        EXPECT_EQ(Dsp().Table(DSP_TABLE_GRADATION), gradation);
        EXPECT_EQ(g_ausPlaneGradation[GRADATION_ENTRIES - 1], usAfter);
        // Table 60 of 1024 bytes: its first 256 entries, summed alone.
        EXPECT_EQ(g_PrintLine.SendTable4(0), 0);
        EXPECT_EQ(Dsp().Table(DSP_TABLE_4), SampleTable(60, 512));
        // Tables 24 and 114 of 20000 bytes stay out of the blank row.
        g_PrintLine.SendTable3(0);
        EXPECT_EQ(g_PrintLine.SendTable7(0), 0);
        for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(HwRead16(0xC7DFC000u + 2 * i), 0xFFFF) << i;
        EXPECT_EQ(Dsp().Table(DSP_TABLE_TRACK).size(), 512u);
      },
      [](images::TableImageParams& p) {
        images::Bytes base(3072);
        for (size_t i = 0; i < base.size(); ++i) base[i] = static_cast<uint8_t>(i / 7);
        p.tables.erase(19);
        p.tables[18] = {base};
        p.tables[23] = {base};
        images::Bytes t60(1024);
        for (size_t j = 0; j < t60.size(); ++j) t60[j] = images::SampleDspTableByte(60, static_cast<uint32_t>(j));
        p.tables[60] = {t60};
        p.tables[24] = {images::Bytes(20000, 0x5A)};
        images::Bytes t114(20000);
        for (size_t j = 0; j < t114.size(); ++j) t114[j] = static_cast<uint8_t>(j);
        p.tables[114] = {t114};
      });
}

}  // namespace
