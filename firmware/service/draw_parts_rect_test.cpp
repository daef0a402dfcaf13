// The plane drawers: plane bases behind a buffer, exactly the bytes of a
// rectangle, the first row always written, and each drawer writing the
// level of its own plane.
#include "firmware/service/draw_parts_rect.h"

#include <cstring>

#include "firmware/service/service_test_support.h"

namespace servicetest {
namespace {

TEST_F(ServiceTest, DrawersLayThePlanesOneAfterTheOtherAndFillExactlyTheirRectangle) {
  RunInApp([] {
    UseLength(1808);
    SetBases(kBuffer);
    EXPECT_EQ(g_DrawPartsRectY.GetBase(), 0x1A00000u);
    EXPECT_EQ(g_DrawPartsRectM.GetBase(), 0x1A00000u + 2464u * 1832u);
    EXPECT_EQ(g_DrawPartsRectC.GetBase(), 0x1A00000u + 2u * 2464u * 1832u);

    struct Case {
      const char* pszWhat;
      uint16_t usHeight;
      uint32_t ulRowsWritten;
    };
    const Case kCases[] = {{"height 3", 3, 3}, {"height 1", 1, 1}, {"height 0 writes one row", 0, 1}};
    for (const Case& c : kCases) {
      uint8_t* pPlanes = ImageAt(kBuffer, 3 * PlaneBytes());
      std::memset(pPlanes, 0xEE, 3 * PlaneBytes());
      for (uint32_t ulPlane = 0; ulPlane < 3; ++ulPlane) {
        CDrawPartsRect* p = Drawer(ulPlane);
        p->SetLevels({1, 2, 3});
        p->SetColumn(10);
        p->SetRow(2);
        p->SetWidth(4);
        p->SetHeight(c.usHeight);
        p->Fill();
      }
      for (uint32_t ulPlane = 0; ulPlane < 3; ++ulPlane) {
        const uint8_t* pPlane = pPlanes + ulPlane * PlaneBytes();
        uint32_t ulChanged = 0;
        for (uint32_t i = 0; i < 8 * kW; ++i) {
          const uint32_t r = i / kW, x = i % kW;
          const bool bInside = r >= 2 && r < 2 + c.ulRowsWritten && x >= 10 && x < 14;
          if (pPlane[i] != 0xEE) ++ulChanged;
          if (bInside) {
            EXPECT_EQ(pPlane[i], ulPlane + 1) << c.pszWhat << " plane " << ulPlane << " row " << r;
          }
        }
        EXPECT_EQ(ulChanged, 4 * c.ulRowsWritten) << c.pszWhat << " plane " << ulPlane;
      }
    }
  });
}

}  // namespace
}  // namespace servicetest
