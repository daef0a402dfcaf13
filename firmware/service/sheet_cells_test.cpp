// Cells of the text pages: the engine-version cell draws its text for the
// known versions and nothing for the others, exactly as the text drawn
// directly would look.
#include "firmware/service/sheet_cells.h"

#include <cstring>

#include "firmware/devices/settings.h"
#include "firmware/hal/global.h"
#include "firmware/service/service_test_support.h"
#include "firmware/service/text_render.h"

namespace servicetest {
namespace {

TEST_F(ServiceTest, TheEngineVersionCellNamesKnownVersionsOnlyAndDrawsAsItsText) {
  RunInApp([] {
    UseLength(3024);
    constexpr uint32_t kBytes = 60 * 16 * kW;
    const PhysAddr ulSheet = IMAGE_BUFFER_BASE + kBuffer;
    const PhysAddr ulDirect = ulSheet + kBytes;
    constexpr SheetCell kCell[] = {Text(19, 53, CELL_ENGINE_TEXT, 0)};
    struct Case {
      int32_t lVersion;
      const char* pszText;  // null: nothing drawn
    };
    const Case kCases[] = {{0, nullptr}, {1, "EM1/EM2"}, {2, "EM3"}, {3, "PPM 1st/2nd"},
                           {4, "PPM 3rd"},  {5, "MP"},      {6, nullptr}, {-1, nullptr}};
    for (const Case& c : kCases) {
      // A setting without cells holding the version as stored.
      hal::ConstructGlobal(g_ParamEngineVersion, "Engine Version  ", -1, 9, nullptr, nullptr, nullptr, c.lVersion);
      std::memset(PhysToHost(ulSheet, 2 * kBytes), 0, 2 * kBytes);
      DrawSheetBlock({ulSheet, 0, 0}, Block(kCell));
      if (c.pszText != nullptr) DrawTextCells(ulDirect, 19, 53, c.pszText, 0);
      EXPECT_EQ(0, std::memcmp(PhysToHost(ulSheet, kBytes), PhysToHost(ulDirect, kBytes), kBytes)) << c.lVersion;
    }
  });
}

}  // namespace
}  // namespace servicetest
