// The ribbon barcode: sample strings decoded into rotated run lists (ends
// joined or trimmed, the start bar by its neighbours), refused when the
// run list cannot hold them; every template matched by its own samples
// only; the start bar's delta on the windows; "Engine Version" 1 choosing
// the type; the panel position kept across a change of model; the
// maintenance screen.
#include <gtest/gtest.h>

#include <string>

#include "firmware/control/app_startup.h"
#include "firmware/control/error_manager.h"
#include "firmware/devices/settings.h"
#include "firmware/mechanism/donor_mng_color.h"
#include "firmware/mechanism/ribbon_test_rig.h"
#include "firmware/service/service_menus.h"

namespace ribbontest {
namespace {

constexpr uint32_t kIncorrectRibL = 0x1600;
constexpr uint32_t kBar = '0';
constexpr uint32_t kGap = '1';

uint32_t RunWord(uint32_t ulLevel, uint32_t ulLength) { return ulLevel << 8 | ulLength; }

// The samples of a template read once from its start bar: bars "0", gaps
// "1", 5 samples per unit.
std::string TemplateSamples(RibbonType eType, uint32_t ulSkipLast = 0) {
  std::string samples;
  const uint8_t* pucWidths = g_aRibbonTypes[eType].aucBarcodeTemplate;
  uint32_t ulCount = 0;
  while (pucWidths[ulCount] != RIBBON_BARCODE_END) ++ulCount;
  for (uint32_t i = 0; i + ulSkipLast < ulCount; ++i) samples.append(pucWidths[i] * 5u, i % 2 == 0 ? '0' : '1');
  return samples;
}

std::string Runs(std::initializer_list<std::pair<char, uint32_t>> runs) {
  std::string samples;
  for (const auto& r : runs) samples.append(r.second, r.first);
  return samples;
}

// Decodes on unit L's colour-sensor manager (the colour row current).
class Barcode : public RibbonTest {
 protected:
  void SetUp() override {
    RibbonTest::SetUp();
    InApp([] {
      s_ucControlType = g_ucRibbonControlType;
      g_ucRibbonControlType = 1;
      SelectUnit(0);
      g_ulDonorSelect = 0;
    });
  }
  void TearDown() override {
    InApp([] {
      g_ParamEngineVersion.SetValueNoSave(5);
      g_ulDonorSelect = 0;
      g_ucRibbonControlType = s_ucControlType;
      g_ulRibbonTypeIndexL = 0;
      SelectUnit(0);
    });
    RibbonTest::TearDown();
  }

  struct Decoded {
    int32_t lResult = 0;
    std::vector<uint32_t> runs;  // up to the terminator
    bool bIncorrectRib = false;
    const CRibbonRoll* pRoll = nullptr;
    uint32_t ulTypeIndex = 0;
  };
  // Decodes with the model of row index ulIndex current before.
  Decoded Decode(const std::string& samples, uint32_t ulIndexBefore = 0) {
    static const std::string* s_pSamples;
    static uint32_t s_ulIndexBefore;
    static Decoded s_decoded;
    s_pSamples = &samples;
    s_ulIndexBefore = ulIndexBefore;
    InApp([] {
      g_ulRibbonTypeIndexL = s_ulIndexBefore;
      SelectUnit(0);
      g_ErrorMng.ClearError(kIncorrectRibL);
      s_decoded = {};
      s_decoded.lResult = g_pDonorMng->DecodeBarcode(reinterpret_cast<const uint8_t*>(s_pSamples->data()),
                                                     static_cast<uint32_t>(s_pSamples->size()));
      for (const uint32_t* p = g_pDonorMng->GetBarcodeRuns(); *p != CDonorMng::kBarcodeRunEnd; ++p) {
        s_decoded.runs.push_back(*p);
      }
      uint32_t ulFlag = 0;
      g_ErrorMng.IsErrorSet(kIncorrectRibL, &ulFlag);
      s_decoded.bIncorrectRib = ulFlag != 0;
      g_ErrorMng.ClearError(kIncorrectRibL);
      s_decoded.pRoll = g_pRibbonRoll;
      s_decoded.ulTypeIndex = g_ulRibbonTypeIndexL;
    });
    return s_decoded;
  }
  static inline uint8_t s_ucControlType;
};

// The models in RibbonType order, unit L.
const CRibbonRoll* const kModelsL[RIBBON_TYPE_COUNT] = {
    &g_RibbonRolls.mark8x10L,     &g_RibbonRolls.mark8x12L,     &g_RibbonRolls.color8x10K1L,
    &g_RibbonRolls.color8x12K1L, &g_RibbonRolls.color8x10K2L, &g_RibbonRolls.color8x12K2L};

TEST_F(Barcode, EachTemplateIsMatchedByItsOwnSamplesAndRefusedByTheOthers) {
  for (uint32_t t = 0; t < RIBBON_TYPE_COUNT; ++t) {
    SCOPED_TRACE(testing::Message() << "type " << t);
    const Decoded d = Decode(TemplateSamples(static_cast<RibbonType>(t)));
    ASSERT_FALSE(d.runs.empty());
    EXPECT_EQ(d.runs[0], RunWord(kBar, g_aRibbonTypes[t].aucBarcodeTemplate[0] * 5u));
    for (uint32_t m = 0; m < RIBBON_TYPE_COUNT; ++m) {
      uint32_t ulMatch = 7;
      kModelsL[m]->MatchBarcode(d.runs.data(), static_cast<uint32_t>(d.runs.size()), &ulMatch);
      EXPECT_EQ(ulMatch, m == t ? 1u : 0u) << "model " << m;
    }
    // The colour row (types 2-5) identifies the colour types.
    const bool bInRow = t >= RIBBON_TYPE_COLOR_8X10_K1;
    EXPECT_EQ(d.lResult, bInRow ? 0 : -1);
    EXPECT_EQ(d.bIncorrectRib, !bInRow);
    if (bInRow) {
      EXPECT_EQ(d.pRoll, kModelsL[t]);
      EXPECT_EQ(d.ulTypeIndex, t - RIBBON_TYPE_COLOR_8X10_K1);
    } else {
      EXPECT_EQ(d.pRoll, kModelsL[RIBBON_TYPE_COLOR_8X10_K1]) << "the model stays";
    }
  }
}

TEST_F(Barcode, TheEndsAreJoinedOrTrimmedAndTheStartBarFoundByItsNeighbours) {
  struct Case {
    const char* name;
    std::string samples;
    std::vector<uint32_t> runs;
  };
  const Case cases[] = {
      {"first and last runs joined into the start bar",
       Runs({{'0', 40}, {'1', 10}, {'0', 10}, {'1', 10}, {'0', 10}, {'1', 10}, {'0', 30}}),
       {RunWord(kBar, 70), RunWord(kGap, 10), RunWord(kBar, 10), RunWord(kGap, 10), RunWord(kBar, 10), RunWord(kGap, 10)}},
      {"a stray first sample trimmed",
       "1" + Runs({{'0', 70}, {'1', 10}, {'0', 30}, {'1', 10}, {'0', 10}}),
       {RunWord(kBar, 70), RunWord(kGap, 10), RunWord(kBar, 30), RunWord(kGap, 10), RunWord(kBar, 10)}},
      {"a start bar after a neighbour of 14",
       Runs({{'0', 70}, {'1', 10}, {'0', 10}, {'1', 10}, {'0', 40}, {'1', 10}, {'0', 10}, {'1', 14}}),
       {RunWord(kBar, 70), RunWord(kGap, 10), RunWord(kBar, 10), RunWord(kGap, 10), RunWord(kBar, 40), RunWord(kGap, 10), RunWord(kBar, 10),
        RunWord(kGap, 14)}},
      {"a neighbour of 15 not accepted at T = 15: the next longest bar",
       Runs({{'0', 70}, {'1', 10}, {'0', 10}, {'1', 10}, {'0', 40}, {'1', 10}, {'0', 10}, {'1', 15}}),
       {RunWord(kBar, 40), RunWord(kGap, 10), RunWord(kBar, 10), RunWord(kGap, 15), RunWord(kBar, 70), RunWord(kGap, 10), RunWord(kBar, 10),
        RunWord(kGap, 10)}},
      {"a neighbour of 15 accepted at T = 16",
       Runs({{'0', 70}, {'1', 10}, {'0', 20}, {'1', 20}, {'0', 10}, {'1', 15}}),
       {RunWord(kBar, 70), RunWord(kGap, 10), RunWord(kBar, 20), RunWord(kGap, 20), RunWord(kBar, 10), RunWord(kGap, 15)}},
      {"a neighbour of 18 accepted at T = 19",
       Runs({{'0', 70}, {'1', 10}, {'0', 20}, {'1', 20}, {'0', 10}, {'1', 18}}),
       {RunWord(kBar, 70), RunWord(kGap, 10), RunWord(kBar, 20), RunWord(kGap, 20), RunWord(kBar, 10), RunWord(kGap, 18)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = Decode(c.samples);
    EXPECT_EQ(d.runs, c.runs);
    EXPECT_EQ(d.lResult, -1) << "no type has this barcode";
    EXPECT_TRUE(d.bIncorrectRib);
  }
}

TEST_F(Barcode, WhatTheRunListCannotHoldOrPlaceIsRefusedAndTheModelStays) {
  std::string runs33;
  for (uint32_t i = 0; i < 33; ++i) runs33.append(5, i % 2 == 0 ? '0' : '1');
  std::string runs32 = runs33.substr(0, 32 * 5);
  struct Case {
    const char* name;
    std::string samples;
    bool bRefused;
  };
  const Case cases[] = {
      {"33 runs", runs33, true},
      {"no start bar: every bar after a run of 19",
       Runs({{'0', 40}, {'1', 19}, {'0', 40}, {'1', 19}}), true},
      {"a run of 256", Runs({{'0', 256}, {'1', 10}}), true},
      {"a joined start bar of 256", Runs({{'0', 200}, {'1', 10}, {'0', 56}}), true},
      {"1025 samples", Runs({{'0', 70}, {'1', 10}, {'0', 10}, {'1', 935}}), true},
      {"no samples", "", true},
      {"32 runs are held", runs32, false},
      {"a run of 255", Runs({{'0', 255}, {'1', 10}, {'0', 10}, {'1', 10}}), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = Decode(c.samples, 1);
    EXPECT_EQ(d.runs.empty(), c.bRefused);
    EXPECT_EQ(d.lResult, -1);
    EXPECT_TRUE(d.bIncorrectRib);
    EXPECT_EQ(d.pRoll, kModelsL[RIBBON_TYPE_COLOR_8X12_K1]) << "the model stays";
    EXPECT_EQ(d.ulTypeIndex, 1u);
  }
}

TEST_F(Barcode, TheStartBarsDeltaShiftsTheWindowsOfItsLevelOnly) {
  // Start bar 76 against width 14: delta 3; a gap of width 2 accepts 5..16,
  // a bar of width 2 8..19.
  struct Case {
    std::vector<uint32_t> runs;
    uint32_t ulMatch;
  };
  const Case cases[] = {
      {{RunWord(kBar, 76), RunWord(kGap, 5)}, 1},   {{RunWord(kBar, 76), RunWord(kGap, 16)}, 1},
      {{RunWord(kBar, 76), RunWord(kGap, 4)}, 0},   {{RunWord(kBar, 76), RunWord(kGap, 17)}, 0},
      {{RunWord(kBar, 76), RunWord(kGap, 10), RunWord(kBar, 8)}, 1},  {{RunWord(kBar, 76), RunWord(kGap, 10), RunWord(kBar, 19)}, 1},
      {{RunWord(kBar, 76), RunWord(kGap, 10), RunWord(kBar, 7)}, 0},  {{RunWord(kBar, 76), RunWord(kGap, 10), RunWord(kBar, 20)}, 0},
      // The start bar lies in its own window only for a delta of -5..6.
      {{RunWord(kBar, 82), RunWord(kGap, 10)}, 1},  {{RunWord(kBar, 83), RunWord(kGap, 10)}, 0},
      {{RunWord(kBar, 60), RunWord(kGap, 10)}, 1},  {{RunWord(kBar, 59), RunWord(kGap, 10)}, 0},
      {{RunWord(kBar, 70)}, 0},
  };
  for (const Case& c : cases) {
    std::vector<uint32_t> runs = c.runs;
    runs.push_back(CDonorMng::kBarcodeRunEnd);
    uint32_t ulMatch = 7;
    g_RibbonRolls.mark8x10L.MatchBarcode(runs.data(), static_cast<uint32_t>(c.runs.size()), &ulMatch);
    EXPECT_EQ(ulMatch, c.ulMatch) << "start " << (c.runs[0] & 0xFF) << ", last " << (c.runs.back() & 0xFF);
  }
}

TEST_F(Barcode, EngineVersion1TakesTheUsersChoiceWhateverTheBarcode) {
  struct Case {
    const char* name;
    std::string samples;
    int32_t lResult;
  };
  const Case cases[] = {
      {"a barcode of another type", TemplateSamples(RIBBON_TYPE_MARK_8X10), 0},
      {"no start bar", Runs({{'0', 40}, {'1', 19}, {'0', 40}, {'1', 19}}), -1},
  };
  InApp([] {
    g_ParamEngineVersion.SetValueNoSave(1);
    g_ulDonorSelect = 2;
  });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = Decode(c.samples);
    EXPECT_EQ(d.lResult, c.lResult);
    EXPECT_EQ(d.pRoll, kModelsL[RIBBON_TYPE_COLOR_8X10_K2]);
    EXPECT_EQ(d.ulTypeIndex, 2u);
  }
}

TEST_F(Barcode, ANewModelTakesOverThePanelPositionAndTheOldKeepsItsOwn) {
  static uint32_t s_aulNew[3], s_aulOld[3];
  InApp([] {
    g_ulRibbonTypeIndexL = 0;
    SelectUnit(0);
    g_RibbonRolls.color8x12K2L.SetTargetColorStep(0);
    g_RibbonRolls.color8x12K2L.SetPanelIndex(0);
    g_pRibbonRoll->SetPanelIndex(2);
    g_pRibbonRoll->SetTargetColorStep(3);
    g_pRibbonRoll->SetSearchPanel(1);
    const std::string samples = TemplateSamples(RIBBON_TYPE_COLOR_8X12_K2);
    g_pDonorMng->DecodeBarcode(reinterpret_cast<const uint8_t*>(samples.data()),
                               static_cast<uint32_t>(samples.size()));
    const CRibbonRoll& n = g_RibbonRolls.color8x12K2L;
    const CRibbonRoll& o = g_RibbonRolls.color8x10K1L;
    s_aulNew[0] = n.GetColorStepIndex();
    s_aulNew[1] = n.GetTargetColorStep();
    s_aulNew[2] = n.GetSearchPanel();
    s_aulOld[0] = o.GetColorStepIndex();
    s_aulOld[1] = o.GetTargetColorStep();
    s_aulOld[2] = o.GetSearchPanel();
  });
  EXPECT_EQ(s_aulNew[0], 2u);
  EXPECT_EQ(s_aulNew[1], 3u);
  EXPECT_EQ(s_aulNew[2], 1u);
  EXPECT_EQ(s_aulOld[0], 2u);
  EXPECT_EQ(s_aulOld[1], 3u);
  EXPECT_EQ(s_aulOld[2], 1u);
}

TEST_F(Barcode, TheScreenShowsNoDonorOrEachRunKeyByKey) {
  Decode(Runs({{'0', 40}, {'1', 19}, {'0', 40}, {'1', 19}}));
  InApp([] { g_pDonorMng->ShowBarcodeScreen(); }, Ms(100));
  EXPECT_EQ(Lcd().Visible(), "No Donor        ");

  // 8x12 K1: 70, then 10, 10, 10, 10, 30, 10, 40, 40, 30, 10, 10.
  Decode(TemplateSamples(RIBBON_TYPE_COLOR_8X12_K1));
  Start([] { g_pDonorMng->ShowBarcodeScreen(); });
  const char* const screens[] = {"Barcode8x12:0070", "Barcode8x12:1010", "Barcode8x12:0010",
                                 "Barcode8x12:1010", "Barcode8x12:0010", "Barcode8x12:1030"};
  for (const char* pszScreen : screens) {
    ASSERT_TRUE(RunUntilShown(pszScreen)) << Lcd().Visible();
    RunFor(Ms(500));
    EXPECT_EQ(Lcd().Visible(), pszScreen) << "waits for a key";
    Keys().Tap(sim::PanelKey::Enter, Ms(200), Ms(60));
    RunFor(Ms(600));
  }
  for (uint32_t i = 6; i < 12; ++i) {
    Keys().Tap(sim::PanelKey::Enter, Ms(200), Ms(60));
    RunFor(Ms(600));
  }
  EXPECT_TRUE(Finish(Ms(1000))) << "returns after the last run";
}

}  // namespace
}  // namespace ribbontest
