#include "tools/testprint/testprint.h"

#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>

#include "firmware/devices/buf_slot_table.h"
#include "firmware/hal/hw.h"
#include "firmware/printengine/image_buffer.h"
#include "firmware/printengine/print_size.h"
#include "firmware/service/self_print.h"
#include "firmware/service/test_print_road.h"
#include "firmware/service/test_prints.h"
#include "sim/machine.h"

namespace testprint {

const char kUsage[] =
    "usage: bom-testprint PATTERN|status --state DIR [--size ROW] [--gray N] [--side 0|1|2] [--scale N] OUT.png\n"
    "  PATTERN: default gray cross level8 letter regi h ams targetb user\n"
    "  --size ROW   a row (0-11) of the print-size table; default the selected size\n"
    "  --gray N     the level (0-255) of the gray and regi patterns\n"
    "  --side S     the head line of the letter pattern: 0 none, 1 left, 2 right\n"
    "  --scale N    N x N dots averaged into one pixel (1-64)\n";

const char* const kPatterns[] = {"default", "gray",    "cross", "level8", "letter", "regi",
                                 "h",       "ams",     "targetb", "user", "status", nullptr};

namespace {

const TestPrintRoad* const kRoads[] = {&g_DefaultPatternRoad, &g_GrayPatternRoad,    &g_CrossPatternRoad,
                                       &g_Level8PatternRoad,  &g_Level8LetterRoad,   &g_RegiPatternRoad,
                                       &g_HPatternRoad,       &g_AmsPatternRoad,     &g_TargetBPatternRoad,
                                       &g_DefaultTestPrintRoad, &g_StatusSheetRoad};

int32_t PatternIndex(std::string_view name) {
  for (int32_t i = 0; kPatterns[i] != nullptr; ++i) {
    if (name == kPatterns[i]) return i;
  }
  return -1;
}

bool ParseNumber(const char* pszText, int32_t lMin, int32_t lMax, int32_t* plValue) {
  char* pEnd = nullptr;
  const long lValue = std::strtol(pszText, &pEnd, 10);
  if (pEnd == pszText || *pEnd != '\0' || lValue < lMin || lValue > lMax) return false;
  *plValue = static_cast<int32_t>(lValue);
  return true;
}

constexpr sim::Nanos kBootLimit = 120000 * sim::kNsPerMs;
constexpr sim::Nanos kDrawLimit = 600000 * sim::kNsPerMs;

// The page composed in the application task.
struct Page {
  uint32_t ulWidth = 0;
  uint32_t ulLines = 0;
  std::vector<uint8_t> planes[3];  // Y, M, C, line after line
  bool bDone = false;
  bool bBuffer = false;
};

void Compose(Page* pPage) {
  const PrintSizeRecord& size = *g_pPrintSizeTable;
  pPage->ulWidth = size.ulPrintWidth;
  pPage->ulLines = size.ulPrintLength;
  CSelfPrint* const apPatterns[3] = {g_pSelfPrintY, g_pSelfPrintM, g_pSelfPrintC};
  CDrawPartsRect* const apDrawers[3] = {&g_DrawPartsRectY, &g_DrawPartsRectM, &g_DrawPartsRectC};
  for (uint32_t p = 0; p < 3; ++p) {
    // A pattern without a plane of its own (the text page) serves every
    // plane from the first.
    const CDrawPartsRect* pDrawer = apPatterns[p]->Drawer() != nullptr ? apDrawers[p] : apDrawers[0];
    std::vector<uint8_t>& plane = pPage->planes[p];
    plane.resize(static_cast<size_t>(pPage->ulWidth) * pPage->ulLines);
    for (uint32_t n = 0; n < pPage->ulLines; ++n) {
      const uint32_t ulRow = apPatterns[p]->RowOf(static_cast<uint16_t>(n));
      const PhysAddr ulAt = CImageBuffer::AddressOf(pDrawer->GetBase() + ulRow * pPage->ulWidth);
      std::memcpy(&plane[static_cast<size_t>(n) * pPage->ulWidth], PhysToHost(ulAt, pPage->ulWidth), pPage->ulWidth);
    }
  }
}

// The drawing half of the launcher on a free large buffer.
void DrawPage(const Request& request, const TestPrintRoad& road, Page* pPage) {
  PrintSizeRecord* const pSaved = g_pPrintSizeTable;
  if (request.sizeRow >= 0) g_pPrintSizeTable = &g_PrintSizeTable[request.sizeRow];
  if (g_pPrintSizeTable == nullptr) g_pPrintSizeTable = &g_PrintSize8x10;
  if (request.gray >= 0) g_usTestGrayLevel = static_cast<uint16_t>(request.gray);
  int32_t lIndex = -1;
  uint32_t ulBuffer = BUF_SLOT_NO_OFFSET;
  if (g_BufSlots3A.Allocate(BUF_TYPE_PRINT, 1, 0, 0, &lIndex, &ulBuffer) == 0) {
    pPage->bBuffer = true;
    if (road.pfnConfirmed != nullptr) road.pfnConfirmed();
    DrawTestPrintImage(road, ulBuffer, request.side);
    Compose(pPage);
    if (road.pfnImageDone != nullptr) road.pfnImageDone();
    if (road.pfnEnd != nullptr) road.pfnEnd();
    g_BufSlots3A.Free(static_cast<uint32_t>(lIndex));
  }
  g_pPrintSizeTable = pSaved;
  pPage->bDone = true;
}

sim::SheetImage Picture(const Page& page, uint32_t ulScale) {
  const uint32_t ulW = page.ulWidth / ulScale;
  const uint32_t ulH = page.ulLines / ulScale;
  sim::SheetImage image(ulW, ulH, 3, 0);
  for (uint32_t y = 0; y < ulH; ++y) {
    for (uint32_t x = 0; x < ulW; ++x) {
      for (uint32_t c = 0; c < 3; ++c) {
        // Red from C, green from M, blue from Y.
        const std::vector<uint8_t>& plane = page.planes[2 - c];
        uint32_t ulSum = 0;
        for (uint32_t dy = 0; dy < ulScale; ++dy) {
          for (uint32_t dx = 0; dx < ulScale; ++dx) {
            ulSum += plane[static_cast<size_t>(y * ulScale + dy) * page.ulWidth + x * ulScale + dx];
          }
        }
        image.At(x, y, c) = static_cast<uint8_t>(255 - (ulSum + ulScale * ulScale / 2) / (ulScale * ulScale));
      }
    }
  }
  return image;
}

}  // namespace

bool ParseArgs(int argc, const char* const* argv, Request* pRequest, std::string* pError) {
  Request r;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool bValue = i + 1 < argc;
    int32_t lValue = 0;
    if (arg == "--state" && bValue) {
      r.stateDir = argv[++i];
    } else if (arg == "--size" && bValue && ParseNumber(argv[i + 1], 0, PRINT_SIZE_ROWS - 1, &lValue)) {
      r.sizeRow = lValue;
      ++i;
    } else if (arg == "--gray" && bValue && ParseNumber(argv[i + 1], 0, 255, &lValue)) {
      r.gray = lValue;
      ++i;
    } else if (arg == "--side" && bValue && ParseNumber(argv[i + 1], 0, 2, &lValue)) {
      r.side = static_cast<uint32_t>(lValue);
      ++i;
    } else if (arg == "--scale" && bValue && ParseNumber(argv[i + 1], 1, 64, &lValue)) {
      r.scale = static_cast<uint32_t>(lValue);
      ++i;
    } else if (!arg.empty() && arg[0] == '-') {
      *pError = "bad option or value: " + std::string(arg);
      return false;
    } else {
      positional.emplace_back(arg);
    }
  }
  if (positional.size() != 2) {
    *pError = "a pattern and an output file are needed";
    return false;
  }
  r.pattern = positional[0];
  r.out = positional[1];
  if (PatternIndex(r.pattern) < 0) {
    *pError = "unknown pattern: " + r.pattern;
    return false;
  }
  if (r.stateDir.empty() || !std::filesystem::is_directory(r.stateDir)) {
    *pError = "--state needs a state directory";
    return false;
  }
  *pRequest = r;
  return true;
}

bool Render(const Request& request, sim::SheetImage* pImage, std::string* pError) {
  namespace fs = std::filesystem;
  std::string temp = (fs::temp_directory_path() / "bom-testprint-XXXXXX").string();
  if (mkdtemp(temp.data()) == nullptr) {
    *pError = "cannot make a temporary directory";
    return false;
  }
  std::error_code ec;
  fs::copy(request.stateDir, temp, fs::copy_options::recursive, ec);
  bool bOk = !ec;
  if (!bOk) *pError = "cannot copy the state directory: " + ec.message();
  Page page;
  if (bOk) {
    sim::MachineOptions options;
    options.stateDir = temp;
    auto machine = std::make_unique<sim::Machine>(std::move(options));
    machine->RunUntil([&] { return machine->Logged("Main Loop ..."); }, kBootLimit);
    if (!machine->Logged("Main Loop ...")) {
      *pError = "the printer did not reach its main loop";
      bOk = false;
    } else {
      const TestPrintRoad& road = *kRoads[PatternIndex(request.pattern)];
      machine->AtNextPass([&] { DrawPage(request, road, &page); });
      machine->RunUntil([&] { return page.bDone; }, kDrawLimit);
      if (!page.bDone || !page.bBuffer) {
        *pError = page.bDone ? "no free large image buffer" : "the drawing did not end";
        bOk = false;
      }
    }
  }
  fs::remove_all(temp, ec);
  if (!bOk) return false;
  *pImage = Picture(page, request.scale);
  return true;
}

int Main(int argc, const char* const* argv) {
  Request request;
  std::string error;
  if (!ParseArgs(argc, argv, &request, &error)) {
    std::fprintf(stderr, "bom-testprint: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  sim::SheetImage image;
  if (!Render(request, &image, &error) || !sim::sheet_png::WriteFile(request.out, image)) {
    std::fprintf(stderr, "bom-testprint: %s\n", error.empty() ? "cannot write the PNG file" : error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace testprint
