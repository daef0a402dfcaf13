// The lamination-pattern slots on the virtual board: a store of a download
// and its expansion on the real geometry with every LCD line it shows; the
// same walks on a small image for the edge cases (the first pixel alone,
// the failing erase, program and checksum steps with their retries, the
// bounds of the receive-buffer offset); the check of slots the image tools
// build; the conversion of a download without flash; the start-up and
// service routines with their error indexes.
#include "firmware/devices/lami_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/control/lcd.h"
#include "firmware/hal/global.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "sim/board.h"
#include "sim/memory/nor_flash.h"
#include "sim/panel/panel.h"
#include "tests/support/machine_test.h"
#include "tools/images/checksums.h"
#include "tools/images/lamination_slot.h"
#include "tools/images/main_image.h"

namespace {

using testsupport::Ms;

constexpr PhysAddr kDownloadBuffer = 0xC0800000u;
constexpr uint32_t kPacked = LAMI_IMG_PIXELS / 8;
// Where the update handler receives a pattern: the second colour buffer.
constexpr uint32_t kOffset = 0x1A00000u;
// A small image: two whole chunks and the 256 pixels that the real image
// also leaves for its last chunk with the header.
constexpr uint32_t kSmallPixels = 2 * 8192 + 256;
constexpr uint32_t kSmallPacked = kSmallPixels / 8;
constexpr uint32_t kSmallSlotBytes = kSmallPacked + LAMI_IMG_HEADER_BYTES;
const images::Version kFirmware{0x02, 0x10};

sim::NorFlash& Flash() { return *sim::Board::Current().FindDevice<sim::NorFlash>(); }
uint32_t FlashOffset(PhysAddr ulAddress) { return ulAddress - sim::NorFlash::kBase; }
const uint8_t* FlashAt(PhysAddr ulAddress) { return Flash().Array() + FlashOffset(ulAddress); }
uint8_t* Ram(PhysAddr ulAddress, uint32_t ulBytes) { return static_cast<uint8_t*>(PhysToHost(ulAddress, ulBytes)); }
uint8_t* Download(uint32_t ulOffset, uint32_t ulBytes) { return Ram(kDownloadBuffer + ulOffset, ulBytes); }

std::string LcdLine() {
  char ac[16];
  g_Lcd.ReadText(ac, 0, 16);
  return std::string(ac, 16);
}

// A bit that is 0 and will not erase.
void MakeUnerasable(PhysAddr ulAddress) {
  const uint8_t ucZero = 0;
  Flash().LoadImage(FlashOffset(ulAddress), &ucZero, 1);
  Flash().SetEraseFailBits(FlashOffset(ulAddress), 0x0001);
}

void LoadSlot(PhysAddr ulSlot, const images::Bytes& slot) {
  Flash().LoadImage(FlashOffset(ulSlot), slot.data(), static_cast<uint32_t>(slot.size()));
}

// The 32 bytes a store programs behind the pixels of a download whose
// reserved header bytes are 0xFF: the tools' slot header with the checksum.
images::Bytes ExpectedHeader(const images::Bytes& packed) {
  images::Bytes header(LAMI_IMG_HEADER_BYTES, 0xFF);
  images::PutText(header, 0, LAMI_IMG_SIGNATURE, 16);
  images::PutText(header, 16, "0210", 4);
  images::PutU16LE(header, 20, images::OnesComplementSum16(packed.data(), packed.size()));
  return header;
}

class LamiImageTest : public testsupport::MachineTest {
 protected:
  // Boots a board whose flash holds the MAIN image of firmware 02.10 (the
  // version a store writes into the header), then runs `body` in the
  // application task.
  void RunInApp(std::function<void()> body, sim::Nanos limit = testsupport::kStartUp + Ms(120000)) {
    static std::function<void()> s_body;
    s_body = std::move(body);
    sim::MachineOptions options;
    options.appEntry = [] {
      g_Lcd.Init();
      s_body();
      syslog(LOG_NOTICE, "[test] done");
    };
    sim::Machine& m = Boot(std::move(options));
    images::MainImageParams main;
    main.version = kFirmware;
    const images::Bytes image = images::BuildMainImage(main);
    m.GetBoard().FindDevice<sim::NorFlash>()->LoadImage(0x100000, image.data(), 64);
    ASSERT_EQ(m.RunUntil([&] { return m.Logged("[test] done"); }, limit), sim::RunResult::ConditionMet);
  }

  // The LCD lines shown from the first one that starts with `from` on.
  std::vector<std::string> ScreensFrom(const std::string& from) {
    const auto& screens = m_machine->GetBoard().FindDevice<sim::LcdController>()->Screens();
    std::vector<std::string> lines;
    for (const auto& s : screens) {
      if (lines.empty() && s.text.rfind(from, 0) != 0) continue;
      lines.push_back(s.text);
    }
    return lines;
  }
};

std::string WithPercent(const char* pszStep, uint32_t ulPercent) {
  const std::string digits = std::to_string(100 + ulPercent % 100).substr(1);
  return std::string(pszStep).append(13, ' ').substr(0, 13) + digits + "%";
}

// ---- the real geometry ----------------------------------------------------------------

// The sample pattern, its set pixels carrying any non-zero value.
images::Bytes g_realDownload;

TEST_F(LamiImageTest, AStoredDownloadIsTheToolsSlotAndExpandsToSixesWithEveryProgressLine) {
  g_realDownload = images::BuildSampleLaminationDownload();
  for (uint32_t i = 0; i < g_realDownload.size(); ++i) {
    if (g_realDownload[i] != 0) g_realDownload[i] = static_cast<uint8_t>(1 + i % 255);
  }
  static int32_t s_lStore, s_lCheck, s_lLoad;
  RunInApp([] {
    std::memcpy(Download(kOffset, LAMI_IMG_PIXELS), g_realDownload.data(), LAMI_IMG_PIXELS);
    std::memset(Download(kOffset + LAMI_IMG_PIXELS, LAMI_IMG_HEADER_BYTES), 0xFF, LAMI_IMG_HEADER_BYTES);
    std::memset(Ram(LAMI_PATTERN_BUFFER, LAMI_IMG_PIXELS + 2), 0x55, LAMI_IMG_PIXELS + 2);
    s_lStore = g_LamiImgSlot0.Store(kOffset);
    s_lCheck = g_LamiImgSlot0.Check();
    s_lLoad = LoadLamiImage();
  });
  EXPECT_EQ(s_lStore, 0);
  EXPECT_EQ(s_lCheck, 0);
  EXPECT_EQ(s_lLoad, 0);

  const images::Bytes slot = images::BuildSampleLaminationSlot(kFirmware);
  EXPECT_EQ(std::memcmp(FlashAt(LAMI_IMG_SLOT0_ADDRESS), slot.data(), slot.size()), 0) << "the tools pack alike";
  const uint8_t* pucPattern = Ram(LAMI_PATTERN_BUFFER, LAMI_IMG_PIXELS + 2);
  uint32_t ulWrong = 0;
  for (uint32_t i = 0; i < LAMI_IMG_PIXELS; ++i) {
    if (pucPattern[i] != (g_realDownload[i] != 0 ? 6 : 0)) ++ulWrong;
  }
  EXPECT_EQ(ulWrong, 0u);
  EXPECT_EQ(pucPattern[LAMI_IMG_PIXELS], 0x55) << "nothing past the pattern";

  // Every line, in order: the erase of the header's sector and then of each
  // of the 18 sectors (sector offset * 100 / (P + 32)); the programming
  // before every 16th chunk of 8192 source bytes (done * 90 / (P * 8 + 32),
  // never past 89: no product overflows); the checksum at 95; the verify at
  // each hundredth of the pixels that is a whole number of 8-pixel groups.
  std::vector<std::string> expected = {"Erasing...     %"};
  for (uint32_t ulSector = 0; ulSector < 18; ++ulSector) {
    expected.push_back(WithPercent("Erasing...", ulSector * 0x10000u * 100 / (kPacked + 32)));
  }
  expected.push_back("Updating...     ");
  expected.push_back("Updating...    %");
  for (uint32_t ulDone = 0; ulDone < LAMI_IMG_PIXELS + 32; ulDone += 16 * 8192) {
    expected.push_back(WithPercent("Updating...", ulDone * 90 / (LAMI_IMG_PIXELS + 32)));
  }
  expected.push_back("Updating...  95%");
  expected.push_back("Verifying...   %");
  for (uint32_t ulPercent = 8; ulPercent <= 99; ulPercent += 8) expected.push_back(WithPercent("Verifying...", ulPercent));
  expected.push_back("Loading L 8x12  ");
  expected.push_back("Initializing    ");
  EXPECT_EQ(expected[18], "Erasing...   99%");
  EXPECT_EQ(expected[expected.size() - 17], "Updating...  89%");
  EXPECT_EQ(ScreensFrom("Erasing..."), expected);
}

// ---- a small image --------------------------------------------------------------------

TEST_F(LamiImageTest, TheFirstPixelAloneIsPackedAsTwoAndExpandsToASixInTheFirstByte) {
  static int32_t s_lStore, s_lCheck, s_lExpand;
  static std::vector<uint8_t> s_receivedHeader, s_expanded;
  RunInApp([] {
    CLamiImg slot(LAMI_IMG_SLOT1_ADDRESS, kSmallPixels);
    std::memset(Download(kOffset, kSmallPixels), 0, kSmallPixels);
    Download(kOffset, 1)[0] = 0x01;
    // The reserved bytes behind the header go to flash as they stand.
    std::memset(Download(kOffset + kSmallPixels, 32), 0xAA, 32);
    s_lStore = slot.Store(kOffset);
    const uint8_t* puc = Download(kOffset + kSmallPixels, 32);
    s_receivedHeader.assign(puc, puc + 32);
    s_lCheck = slot.Check();
    std::memset(Ram(LAMI_PATTERN_BUFFER, kSmallPixels + 2), 0x55, kSmallPixels + 2);
    s_lExpand = slot.Expand(LAMI_PATTERN_BUFFER);
    const uint8_t* pucPattern = Ram(LAMI_PATTERN_BUFFER, kSmallPixels + 2);
    s_expanded.assign(pucPattern, pucPattern + kSmallPixels + 2);
  });
  EXPECT_EQ(s_lStore, 0);
  EXPECT_EQ(s_lCheck, 0);
  EXPECT_EQ(s_lExpand, 0);

  images::Bytes packed(kSmallPacked, 0);
  packed[0] = 0x02;
  EXPECT_EQ(images::Bytes(FlashAt(LAMI_IMG_SLOT1_ADDRESS), FlashAt(LAMI_IMG_SLOT1_ADDRESS) + kSmallPacked), packed);
  images::Bytes header = ExpectedHeader(packed);
  std::memset(header.data() + 22, 0xAA, 10);
  EXPECT_EQ(images::Bytes(FlashAt(LAMI_IMG_SLOT1_ADDRESS + kSmallPacked), FlashAt(LAMI_IMG_SLOT1_ADDRESS + kSmallSlotBytes)),
            header);
  // The receive buffer keeps the header as written: ones for the checksum.
  images::Bytes received = header;
  received[20] = received[21] = 0xFF;
  EXPECT_EQ(s_receivedHeader, received);

  std::vector<uint8_t> expanded(kSmallPixels + 2, 0);
  expanded[0] = 6;
  expanded[kSmallPixels] = expanded[kSmallPixels + 1] = 0x55;
  EXPECT_EQ(s_expanded, expanded);
}

TEST_F(LamiImageTest, PackingSetsBitJXorOneForEveryNonZeroByte) {
  static std::vector<uint8_t> s_flash, s_expanded;
  RunInApp([] {
    CLamiImg slot(LAMI_IMG_SLOT1_ADDRESS, kSmallPixels);
    uint8_t* puc = Download(kOffset, kSmallPixels);
    for (uint32_t i = 0; i < kSmallPixels; ++i) puc[i] = (i * 37 + i / 8) % 3 == 0 ? static_cast<uint8_t>(i | 1) : 0;
    ASSERT_EQ(slot.Store(kOffset), 0);
    s_flash.assign(FlashAt(LAMI_IMG_SLOT1_ADDRESS), FlashAt(LAMI_IMG_SLOT1_ADDRESS) + kSmallPacked);
    slot.Expand(LAMI_PATTERN_BUFFER);
    const uint8_t* pucPattern = Ram(LAMI_PATTERN_BUFFER, kSmallPixels);
    s_expanded.assign(pucPattern, pucPattern + kSmallPixels);
  });
  images::Bytes pixels(kSmallPixels);
  std::vector<uint8_t> sixes(kSmallPixels);
  for (uint32_t i = 0; i < kSmallPixels; ++i) {
    pixels[i] = (i * 37 + i / 8) % 3 == 0 ? static_cast<uint8_t>(i | 1) : 0;
    sixes[i] = pixels[i] != 0 ? 6 : 0;
  }
  EXPECT_EQ(s_flash, images::PackLaminationPixels(pixels));
  EXPECT_EQ(s_expanded, sixes);
}

// Each failing step ends the store with its code after its tries; the slot
// it leaves fails its check.
TEST_F(LamiImageTest, AFailingStepEndsTheStoreAfterItsTriesAndLeavesASlotThatFailsItsCheck) {
  struct Case {
    const char* what;
    PhysAddr ulSlot;
    uint32_t ulPixels;
    // Makes the flash fail; the download is the first pixel alone.
    std::function<void()> fail;
    uint64_t ulOperations;
    const char* pszLine;
    int32_t lCheck;
  };
  static const Case cases[] = {
      // The header of a real slot lies in its 18th sector, erased first and
      // not retried.
      {"the header's sector does not erase", LAMI_IMG_SLOT1_ADDRESS, LAMI_IMG_PIXELS,
       [] { MakeUnerasable(LAMI_IMG_SLOT1_ADDRESS + 0x110000u); }, 4,
       "Erasing...     %", -1},
      // A sector of the slot: six tries of the erase service's four.
      {"the sixth sector does not erase", LAMI_IMG_SLOT1_ADDRESS, LAMI_IMG_PIXELS,
       [] { MakeUnerasable(LAMI_IMG_SLOT1_ADDRESS + 5 * 0x10000u); }, 1 + 5 + 6 * 4,
       "Erasing...   29%", -1},
      // Every try programs the chunk up to the word that fails.
      {"a word of the pixels does not program", LAMI_IMG_SLOT1_ADDRESS, kSmallPixels,
       [] { Flash().SetProgramFailBits(FlashOffset(LAMI_IMG_SLOT1_ADDRESS) + 0x100, 0x0001); }, 1 + 1 + 6 * (0x80 + 1),
       "Updating...  00%", -1},
      // The packed pixels 02 00 00 ... sum to 0xFFFD: bit 1 must clear.
      {"the checksum does not program", LAMI_IMG_SLOT1_ADDRESS, kSmallPixels,
       [] { Flash().SetProgramFailBits(FlashOffset(LAMI_IMG_SLOT1_ADDRESS) + kSmallPacked + 20, 0x0002); },
       1 + 1 + kSmallPacked / 2 + 10 + 6, "Updating...  95%", -2},
  };
  static std::vector<int32_t> s_results, s_checks;
  static std::vector<uint64_t> s_operations;
  static std::vector<std::string> s_lines;
  RunInApp([] {
    Flash().SetBusyTimeScale(0.01);
    for (const Case& c : cases) {
      std::memset(Download(kOffset, c.ulPixels + 32), 0, c.ulPixels + 32);
      Download(kOffset, 1)[0] = 0x80;
      std::memset(Download(kOffset + c.ulPixels + 22, 10), 0xFF, 10);
      c.fail();
      CLamiImg slot(c.ulSlot, c.ulPixels);
      const uint64_t ulBefore = Flash().OperationCount();
      s_results.push_back(slot.Store(kOffset));
      s_operations.push_back(Flash().OperationCount() - ulBefore);
      s_lines.push_back(LcdLine());
      s_checks.push_back(slot.Check());
      Flash().SetEraseFailBits(FlashOffset(c.ulSlot) + 0x110000u, 0);
      Flash().SetEraseFailBits(FlashOffset(c.ulSlot) + 5 * 0x10000u, 0);
      Flash().SetProgramFailBits(FlashOffset(c.ulSlot) + 0x100, 0);
      Flash().SetProgramFailBits(FlashOffset(c.ulSlot) + kSmallPacked + 20, 0);
    }
  });
  ASSERT_EQ(s_results.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    EXPECT_EQ(s_results[i], -1);
    EXPECT_EQ(s_operations[i], cases[i].ulOperations);
    EXPECT_EQ(s_lines[i], cases[i].pszLine);
    EXPECT_EQ(s_checks[i], cases[i].lCheck);
  }
}

// A download and the header behind it must lie whole in the receive
// buffer, which ends where the working buffer begins; an odd offset would
// make every halfword access unaligned. Nothing is written for an offset
// refused.
TEST_F(LamiImageTest, TheReceiveBufferOffsetMustKeepTheDownloadAndItsHeaderInside) {
  struct Case {
    const char* what;
    uint32_t ulOffset;
    int32_t lStore;
    int32_t lLoad;
  };
  constexpr uint32_t kLast = LAMI_RECEIVE_BUFFER_BYTES - kSmallPixels - 32;
  static const Case cases[] = {
      {"the last offset with room for the header", kLast, 0, 0},
      {"the header would reach the working buffer", kLast + 2, -1, 0},
      {"the pixels alone reach the working buffer", kLast + 34, -1, -1},
      {"odd", kOffset + 1, -1, -1},
      {"wrapping past the window", 0xFFFFFFF0u, -1, -1},
  };
  static std::vector<int32_t> s_stores, s_loads;
  static std::vector<uint64_t> s_operations;
  static std::vector<bool> s_patternKept;
  RunInApp([] {
    Flash().SetBusyTimeScale(0.01);
    CLamiImg slot(LAMI_IMG_SLOT1_ADDRESS, kSmallPixels);
    for (const Case& c : cases) {
      std::memset(Ram(LAMI_PATTERN_BUFFER, 64), 0x55, 64);
      const uint64_t ulBefore = Flash().OperationCount();
      s_stores.push_back(slot.Store(c.ulOffset));
      s_operations.push_back(Flash().OperationCount() - ulBefore);
      s_patternKept.push_back(Ram(LAMI_PATTERN_BUFFER, 1)[0] == 0x55);
      s_loads.push_back(slot.LoadFromRam(c.ulOffset, LAMI_PATTERN_BUFFER));
    }
  });
  ASSERT_EQ(s_stores.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    EXPECT_EQ(s_stores[i], cases[i].lStore);
    if (cases[i].lStore != 0) {
      EXPECT_EQ(s_operations[i], 0u);
    }
    EXPECT_TRUE(s_patternKept[i]) << "the header never lands in the working buffer";
    EXPECT_EQ(s_loads[i], cases[i].lLoad);
  }
}

// ---- the check ----------------------------------------------------------------------

TEST_F(LamiImageTest, TheCheckRefusesForeignSignaturesBadChecksumsAndSlotsOfOldFirmware) {
  struct Case {
    const char* what;
    images::Version version;
    std::function<void(images::Bytes&)> change;
    int32_t lExpected;
  };
  static const Case cases[] = {
      {"written by 00.02", {0x00, 0x02}, [](images::Bytes&) {}, 0},
      {"written by 01.00", {0x01, 0x00}, [](images::Bytes&) {}, 0},
      {"written by 00.01", {0x00, 0x01}, [](images::Bytes&) {}, -4},
      {"written by 00.00", {0x00, 0x00}, [](images::Bytes&) {}, -4},
      {"foreign signature", {0x02, 0x10}, [](images::Bytes& b) { b[kPacked + 15] = 'X'; }, -1},
      {"erased", {0x02, 0x10}, [](images::Bytes& b) { std::memset(b.data(), 0xFF, b.size()); }, -1},
      {"a changed pixel", {0x02, 0x10}, [](images::Bytes& b) { b[kPacked - 1] ^= 0x40; }, -2},
      {"a changed checksum", {0x02, 0x10}, [](images::Bytes& b) { b[kPacked + 21] ^= 0x01; }, -2},
      {"reserved bytes changed", {0x02, 0x10}, [](images::Bytes& b) { b[kPacked + 31] = 0; }, 0},
  };
  static std::vector<int32_t> s_results, s_states;
  RunInApp([] {
    for (const Case& c : cases) {
      images::Bytes slot = images::BuildSampleLaminationSlot(c.version);
      c.change(slot);
      LoadSlot(LAMI_IMG_SLOT1_ADDRESS, slot);
      CLamiImg image(LAMI_IMG_SLOT1_ADDRESS);
      s_results.push_back(image.Check());
      s_states.push_back(image.State());
    }
  });
  ASSERT_EQ(s_results.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    EXPECT_EQ(s_results[i], cases[i].lExpected);
    EXPECT_EQ(s_states[i], cases[i].lExpected == 0 ? 0 : -1);
  }
}

TEST_F(LamiImageTest, AFailedCheckLeavesTheStateOfAnEarlierPass) {
  static int32_t s_lFirst, s_lSecond, s_lState;
  RunInApp([] {
    LoadSlot(LAMI_IMG_SLOT1_ADDRESS, images::BuildSampleLaminationSlot(kFirmware));
    CLamiImg image(LAMI_IMG_SLOT1_ADDRESS);
    s_lFirst = image.Check();
    const uint8_t ucZero = 0;
    Flash().LoadImage(FlashOffset(LAMI_IMG_SLOT1_ADDRESS) + kPacked, &ucZero, 1);
    s_lSecond = image.Check();
    s_lState = image.State();
  });
  EXPECT_EQ(s_lFirst, 0);
  EXPECT_EQ(s_lSecond, -1);
  EXPECT_EQ(s_lState, 0);
}

// ---- a download without flash -----------------------------------------------------------

TEST_F(LamiImageTest, LoadFromRamKeepsTheTwoTopBitsOfEachPixelDoubled) {
  static const uint8_t aucPixels[16] = {0x00, 0x3F, 0x40, 0x7F, 0x80, 0xBF, 0xC0, 0xFF,
                                        0x01, 0x41, 0x81, 0xC1, 0x20, 0x60, 0xA0, 0xE0};
  static std::vector<uint8_t> s_pattern;
  static int32_t s_lResult;
  static uint64_t s_ulOperations;
  RunInApp([] {
    CLamiImg slot(LAMI_IMG_SLOT0_ADDRESS, 16);
    std::memcpy(Download(kOffset, 16), aucPixels, 16);
    std::memset(Ram(LAMI_PATTERN_BUFFER, 18), 0x55, 18);
    const uint64_t ulBefore = Flash().OperationCount();
    s_lResult = slot.LoadFromRam(kOffset, LAMI_PATTERN_BUFFER);
    s_ulOperations = Flash().OperationCount() - ulBefore;
    const uint8_t* puc = Ram(LAMI_PATTERN_BUFFER, 18);
    s_pattern.assign(puc, puc + 18);
  });
  EXPECT_EQ(s_lResult, 0);
  EXPECT_EQ(s_ulOperations, 0u) << "flash untouched";
  EXPECT_EQ(s_pattern, (std::vector<uint8_t>{0, 0, 2, 2, 4, 4, 6, 6, 0, 2, 4, 6, 0, 2, 4, 6, 0x55, 0x55}));
}

// ---- copies and the start-up and service routines ---------------------------------------------

TEST_F(LamiImageTest, ACopyTakesPixelsAndHeaderButNeverASourceOverlappingTheSlot) {
  static int32_t s_lCopy, s_lCheck, s_lOverlapAbove, s_lOverlapBelow;
  static uint64_t s_ulOverlapOperations;
  static std::vector<uint8_t> s_source, s_copy;
  static std::string s_line;
  RunInApp([] {
    Flash().SetBusyTimeScale(0.01);
    CLamiImg stored(LAMI_IMG_SLOT1_ADDRESS, kSmallPixels);
    CLamiImg active(LAMI_IMG_SLOT0_ADDRESS, kSmallPixels);
    uint8_t* puc = Download(kOffset, kSmallPixels + 32);
    for (uint32_t i = 0; i < kSmallPixels + 32; ++i) puc[i] = static_cast<uint8_t>(i % 3);
    ASSERT_EQ(stored.Store(kOffset), 0);
    s_lCopy = active.CopyFrom(LAMI_IMG_SLOT1_ADDRESS);
    s_line = LcdLine();
    s_lCheck = active.Check();
    s_source.assign(FlashAt(LAMI_IMG_SLOT1_ADDRESS), FlashAt(LAMI_IMG_SLOT1_ADDRESS) + kSmallSlotBytes);
    s_copy.assign(FlashAt(LAMI_IMG_SLOT0_ADDRESS), FlashAt(LAMI_IMG_SLOT0_ADDRESS) + kSmallSlotBytes);
    const uint64_t ulBefore = Flash().OperationCount();
    s_lOverlapAbove = active.CopyFrom(LAMI_IMG_SLOT0_ADDRESS + kSmallSlotBytes - 2);
    s_lOverlapBelow = active.CopyFrom(LAMI_IMG_SLOT0_ADDRESS - kSmallSlotBytes + 2);
    s_ulOverlapOperations = Flash().OperationCount() - ulBefore;
  });
  EXPECT_EQ(s_lCopy, 0);
  EXPECT_EQ(s_lCheck, 0);
  EXPECT_EQ(s_copy, s_source);
  EXPECT_EQ(s_line.substr(0, 13), "Verifying... ");
  EXPECT_EQ(s_lOverlapAbove, -1);
  EXPECT_EQ(s_lOverlapBelow, -1);
  EXPECT_EQ(s_ulOverlapOperations, 0u) << "nothing erased";
}

TEST_F(LamiImageTest, CheckLamiImagesLooksAtTheActiveSlotOnlyWhenTheStoredOnePassed) {
  struct Case {
    const char* what;
    std::function<void(images::Bytes&)> stored;
    std::function<void(images::Bytes&)> active;
    int32_t lResult;
    int32_t lStoredState;
    int32_t lActiveState;
  };
  static const Case cases[] = {
      {"both good", [](images::Bytes&) {}, [](images::Bytes&) {}, 0, 0, 0},
      {"the stored slot foreign", [](images::Bytes& b) { b[kPacked] = 'X'; }, [](images::Bytes&) {}, -1, -1, -1},
      {"the stored slot of 00.01", [](images::Bytes& b) { images::PutText(b, kPacked + 16, "0001", 4); },
       [](images::Bytes&) {}, -4, -1, -1},
      {"the active slot damaged", [](images::Bytes&) {}, [](images::Bytes& b) { b[7] ^= 0x10; }, -2, 0, -1},
  };
  static std::vector<int32_t> s_results, s_stored, s_active;
  static std::vector<bool> s_raised;
  static std::vector<std::string> s_lines;
  static PhysAddr s_ulBuiltActive, s_ulBuiltStored;
  static int32_t s_lBuiltState;
  RunInApp([] {
    // As the machine definition built them.
    s_ulBuiltActive = g_LamiImgSlot0.GetFlashAddress();
    s_ulBuiltStored = g_LamiImgSlot1.GetFlashAddress();
    s_lBuiltState = g_LamiImgSlot0.State() + g_LamiImgSlot1.State();
    const images::Bytes good = images::BuildSampleLaminationSlot(kFirmware);
    for (const Case& c : cases) {
      images::Bytes stored = good;
      images::Bytes active = good;
      c.stored(stored);
      c.active(active);
      LoadSlot(LAMI_IMG_SLOT1_ADDRESS, stored);
      LoadSlot(LAMI_IMG_SLOT0_ADDRESS, active);
      hal::ConstructGlobal(g_LamiImgSlot0, LAMI_IMG_SLOT0_ADDRESS);
      hal::ConstructGlobal(g_LamiImgSlot1, LAMI_IMG_SLOT1_ADDRESS);
      g_ErrorMng.ClearError(0x0119);
      s_results.push_back(CheckLamiImages());
      s_lines.push_back(LcdLine());
      s_stored.push_back(g_LamiImgSlot1.State());
      s_active.push_back(g_LamiImgSlot0.State());
      s_raised.push_back(IsErrorRaised(0x0119));
    }
  });
  EXPECT_EQ(s_ulBuiltActive, 0x604A0000u);
  EXPECT_EQ(s_ulBuiltStored, 0x60380000u);
  EXPECT_EQ(s_lBuiltState, -2) << "neither found valid yet";
  ASSERT_EQ(s_results.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    EXPECT_EQ(s_results[i], cases[i].lResult);
    EXPECT_EQ(s_lines[i], "Checking LamiImg");
    EXPECT_EQ(s_stored[i], cases[i].lStoredState);
    EXPECT_EQ(s_active[i], cases[i].lActiveState);
    EXPECT_EQ(s_raised[i], cases[i].lResult != 0);
  }
}

// The service's reset copies the stored slot over the active one; a copy
// that cannot erase the active slot raises 0x118.
TEST_F(LamiImageTest, CopyLamiImageRestoresTheActiveSlotOrRaisesTheWriteError) {
  static int32_t s_lCopy, s_lCheck, s_lFailed;
  static bool s_bRaisedAfterCopy, s_bRaisedAfterFailure;
  static bool s_bSame;
  RunInApp([] {
    LoadSlot(LAMI_IMG_SLOT1_ADDRESS, images::BuildSampleLaminationSlot(kFirmware));
    s_lCopy = CopyLamiImage();
    s_bRaisedAfterCopy = IsErrorRaised(0x0118);
    s_lCheck = g_LamiImgSlot0.Check();
    s_bSame = std::memcmp(FlashAt(LAMI_IMG_SLOT0_ADDRESS), FlashAt(LAMI_IMG_SLOT1_ADDRESS), kPacked + 32) == 0;

    Flash().SetBusyTimeScale(0.01);
    MakeUnerasable(LAMI_IMG_SLOT0_ADDRESS);
    s_lFailed = CopyLamiImage();
    s_bRaisedAfterFailure = IsErrorRaised(0x0118);
  }, testsupport::kStartUp + Ms(300000));
  EXPECT_EQ(s_lCopy, 0);
  EXPECT_FALSE(s_bRaisedAfterCopy);
  EXPECT_EQ(s_lCheck, 0);
  EXPECT_TRUE(s_bSame);
  EXPECT_EQ(s_lFailed, -1);
  EXPECT_TRUE(s_bRaisedAfterFailure);
}

}  // namespace
