// The pattern classes: planes and drawers by construction order, the row of
// every line (RowOf) at the edges of each pattern's bands and periods, the
// sequences NextRow gives after Reset against RowOf, and the registration
// boxes' columns.
#include "firmware/service/self_print.h"

#include <cstring>
#include <vector>

#include "firmware/hal/global.h"
#include "firmware/service/ams_pattern_data.h"
#include "firmware/service/service_test_support.h"

namespace servicetest {
namespace {

std::vector<uint16_t> NextRows(CSelfPrint& obj, uint32_t ulCalls) {
  std::vector<uint16_t> rows;
  obj.Reset();
  for (uint32_t k = 0; k < ulCalls; ++k) rows.push_back(obj.NextRow());
  return rows;
}

std::vector<uint16_t> RowsOf(CSelfPrint& obj, uint32_t ulFirst, uint32_t ulCount) {
  std::vector<uint16_t> rows;
  for (uint32_t n = ulFirst; n < ulFirst + ulCount; ++n) rows.push_back(obj.RowOf(static_cast<uint16_t>(n)));
  return rows;
}

TEST_F(ServiceTest, EachCountedClassTakesPlanesYMCInConstructionOrder) {
  RunInApp([] {
    struct Objects {
      const char* pszClass;
      CSelfPrint* apObjects[3];
    };
    const Objects kClasses[] = {
        {"Gray", {&g_SelfPrintGrayY, &g_SelfPrintGrayM, &g_SelfPrintGrayC}},
        {"Cross", {&g_SelfPrintCrossY, &g_SelfPrintCrossM, &g_SelfPrintCrossC}},
        {"Level8", {&g_SelfPrintLevel8Y, &g_SelfPrintLevel8M, &g_SelfPrintLevel8C}},
        {"Level8Letter", {&g_SelfPrintLevel8LetterY, &g_SelfPrintLevel8LetterM, &g_SelfPrintLevel8LetterC}},
        {"Standard", {&g_SelfPrintStandardY, &g_SelfPrintStandardM, &g_SelfPrintStandardC}},
        {"Regi", {&g_SelfPrintRegiY, &g_SelfPrintRegiM, &g_SelfPrintRegiC}},
        {"HPatern", {&g_SelfPrintHPaternY, &g_SelfPrintHPaternM, &g_SelfPrintHPaternC}},
        {"AMS", {&g_SelfPrintAMSY, &g_SelfPrintAMSM, &g_SelfPrintAMSC}},
    };
    for (const Objects& c : kClasses) {
      for (uint32_t p = 0; p < 3; ++p) {
        EXPECT_EQ(c.apObjects[p]->Plane(), p + 1) << c.pszClass << " " << p;
        EXPECT_EQ(c.apObjects[p]->Drawer(), Drawer(p)) << c.pszClass << " " << p;
      }
    }
    for (CSelfPrint* p : {static_cast<CSelfPrint*>(&g_SelfPrintStringY), static_cast<CSelfPrint*>(&g_SelfPrintStringC)}) {
      EXPECT_EQ(p->Plane(), 0);
      EXPECT_EQ(p->Drawer(), nullptr);
    }
    EXPECT_EQ(g_pAmsPatternAddr, 0x60330004u);

    // Built again in another order, the objects swap planes; a fourth
    // object gets none.
    CSelfPrintCross::ResetInstances();
    hal::ConstructGlobal(g_SelfPrintCrossC, kGlobalBuild);
    hal::ConstructGlobal(g_SelfPrintCrossY, kGlobalBuild);
    hal::ConstructGlobal(g_SelfPrintCrossM, kGlobalBuild);
    EXPECT_EQ(g_SelfPrintCrossC.Drawer(), &g_DrawPartsRectY);
    EXPECT_EQ(g_SelfPrintCrossY.Drawer(), &g_DrawPartsRectM);
    EXPECT_EQ(g_SelfPrintCrossM.Plane(), 3);
    const CSelfPrintCross fourth(kGlobalBuild);
    EXPECT_EQ(fourth.Plane(), 0);
    EXPECT_EQ(fourth.Drawer(), nullptr);
    CSelfPrintCross::ResetInstances();
    hal::ConstructGlobal(g_SelfPrintCrossY, kGlobalBuild);
    hal::ConstructGlobal(g_SelfPrintCrossM, kGlobalBuild);
    hal::ConstructGlobal(g_SelfPrintCrossC, kGlobalBuild);
    EXPECT_EQ(g_SelfPrintCrossY.Plane(), 1);
  });
}

TEST_F(ServiceTest, RowsOfLinesAtTheEdgesOfEveryPattern) {
  RunInApp([] {
    SetBases(kBuffer);
    struct Case {
      const char* pszWhat;
      CSelfPrint* pObject;
      uint32_t ulLength;
      std::vector<std::pair<uint16_t, uint16_t>> lines;  // line, row
    };
    const Case kCases[] = {
        {"Cross", &g_SelfPrintCrossY, 1808, {{0, 0}, {3, 0}, {4, 1}, {47, 1}, {48, 0}, {51, 0}, {52, 1}}},
        {"H", &g_SelfPrintHPaternY, 1808,
         {{0, 0}, {5, 0}, {6, 1}, {19, 1}, {20, 2}, {27, 2}, {28, 1}, {41, 1}, {42, 0}, {48, 1}}},
        {"Level8 L 1808", &g_SelfPrintLevel8Y, 1808, {{0, 0}, {225, 0}, {226, 1}, {1581, 6}, {1582, 7}, {1807, 7}, {3000, 7}}},
        {"Letter L 2408", &g_SelfPrintLevel8LetterY, 2408,
         {{2106, 6}, {2107, 7}, {2116, 7}, {2117, 8}, {2118, 8}, {2119, 9}, {2371, 135}, {2372, 135}, {2373, 136}, {2407, 136}}},
        {"Letter L 1208", &g_SelfPrintLevel8LetterY, 1208, {{1066, 7}, {1067, 8}, {1207, 8 + 70}}},
        {"String L 1808", &g_SelfPrintStringY, 1808, {{0, 0}, {1, 0}, {2, 1}, {1807, 903}, {1808, 0}}},
        {"Regi L 1808", &g_SelfPrintRegiY, 1808,
         {{0, 0}, {235, 0}, {236, 1}, {237, 1}, {238, 2}, {241, 3}, {299, 4}, {303, 3}, {361, 2}, {364, 1}, {366, 0},
          {601, 0}, {602, 0}, {838, 1}}},
        {"Standard L 1808", &g_SelfPrintStandardY, 1808,
         {{0, 0}, {92, 0}, {93, 1}, {110, 1}, {111, 2}, {115, 3}, {133, 4}, {226, 5}, {904, 8}, {908, 9}, {1360, 10},
          {1364, 11}, {1807, 11}, {2000, 11}}},
        {"Standard L 1208", &g_SelfPrintStandardY, 1208, {{54, 0}, {55, 1}, {150, 4}, {151, 5}, {1207, 11}}},
    };
    for (const Case& c : kCases) {
      UseLength(c.ulLength);
      if (c.pObject != &g_SelfPrintStringY) c.pObject->Draw();
      for (const auto& [usLine, usRow] : c.lines) EXPECT_EQ(c.pObject->RowOf(usLine), usRow) << c.pszWhat << " line " << usLine;
    }

    // The standard bands' heights.
    UseLength(1808);
    g_SelfPrintStandardY.Draw();
    const uint16_t aus1808[12] = {93, 18, 4, 18, 93, 226, 226, 226, 4, 452, 4, 444};
    for (uint32_t b = 0; b < 12; ++b) EXPECT_EQ(g_SelfPrintStandardY.BandHeight(b), aus1808[b]) << b;
    UseLength(1208);
    g_SelfPrintStandardY.Draw();
    const uint16_t aus1208[12] = {55, 18, 4, 18, 56, 151, 151, 151, 4, 302, 4, 294};
    for (uint32_t b = 0; b < 12; ++b) EXPECT_EQ(g_SelfPrintStandardY.BandHeight(b), aus1208[b]) << b;
  });
}

TEST_F(ServiceTest, NextRowFollowsRowOfFromTheFirstOrTheSecondLine) {
  RunInApp([] {
    SetBases(kBuffer);
    struct Case {
      const char* pszWhat;
      CSelfPrint* pObject;
      uint32_t ulLength;
      uint32_t ulShift;  // the k-th call answers RowOf(k + shift)
    };
    const Case kCases[] = {
        {"Cross", &g_SelfPrintCrossY, 1808, 0},   {"Regi", &g_SelfPrintRegiY, 1808, 0},
        {"String", &g_SelfPrintStringY, 1808, 0}, {"Level8", &g_SelfPrintLevel8Y, 1808, 1},
        {"Letter", &g_SelfPrintLevel8LetterY, 2408, 1}, {"Standard", &g_SelfPrintStandardY, 1808, 1},
    };
    for (const Case& c : kCases) {
      UseLength(c.ulLength);
      if (c.pObject != &g_SelfPrintStringY) c.pObject->Draw();
      const uint32_t ulCalls = c.ulLength - c.ulShift;
      EXPECT_EQ(NextRows(*c.pObject, ulCalls), RowsOf(*c.pObject, c.ulShift, ulCalls)) << c.pszWhat;
    }
    // Level8: the first 1 comes at the 226th call.
    UseLength(1808);
    g_SelfPrintLevel8Y.Draw();
    const std::vector<uint16_t> level8 = NextRows(g_SelfPrintLevel8Y, 300);
    EXPECT_EQ(level8[224], 0);
    EXPECT_EQ(level8[225], 1);
    // A string page restarts at line L.
    const std::vector<uint16_t> page = NextRows(g_SelfPrintStringY, 1812);
    EXPECT_EQ(page[1807], 903);
    EXPECT_EQ(page[1808], 0);
    EXPECT_EQ(page[1809], 0);
    EXPECT_EQ(page[1810], 0);
    EXPECT_EQ(page[1811], 1);

    // H: the first period as RowOf, then 7 blank calls, then a 43-call period.
    g_SelfPrintHPaternY.Draw();
    const std::vector<uint16_t> h = NextRows(g_SelfPrintHPaternY, 42 + 43 * 3);
    EXPECT_EQ(std::vector<uint16_t>(h.begin(), h.begin() + 42), RowsOf(g_SelfPrintHPaternY, 0, 42));
    EXPECT_EQ(std::vector<uint16_t>(h.begin() + 42, h.begin() + 49), std::vector<uint16_t>(7, 0));
    EXPECT_NE(h[49], 0);
    for (uint32_t k = 42; k + 43 < h.size(); ++k) EXPECT_EQ(h[k], h[k + 43]) << k;
  });
}

TEST_F(ServiceTest, RegistrationBoxesSitAtTheColumnsOfTheirConstruction) {
  RunInApp([] {
    UseLength(1808);
    SetBases(kBuffer);
    g_SelfPrintRegiY.SetLevel(50);
    uint8_t* pPlane = ImageAt(kBuffer, PlaneBytes());
    std::memset(pPlane, 0xEE, 12 * kW);
    g_SelfPrintRegiY.Draw();
    // h = (821 - 130) / 2 = 345; boxes at 345, 345 + 820, 345 + 1640.
    const uint32_t kBoxes[3] = {345, 1165, 1985};
    auto Expected = [&](uint32_t r, uint32_t x) -> uint8_t {
      if (r == 0 || r > 9) return r < 10 ? 50 : 0xEE;
      for (uint32_t b : kBoxes) {
        if (x < b || x >= b + 130 || r > 4) continue;
        const uint32_t d = x - b;
        const bool bFrame = d < 2 || d >= 128;
        switch (r) {
          case 1: return 255;
          case 2: return bFrame ? 255 : 0;
          case 3: return (bFrame || (d >= 63 && d < 67)) ? 255 : 0;
          default: return (bFrame || (d >= 5 && d < 125)) ? 255 : 0;
        }
      }
      return 50;
    };
    for (uint32_t r = 0; r < 12; ++r) {
      for (uint32_t x = 0; x < kW; ++x) ASSERT_EQ(pPlane[r * kW + x], Expected(r, x)) << "row " << r << " x " << x;
    }
  });
}

}  // namespace
}  // namespace servicetest
