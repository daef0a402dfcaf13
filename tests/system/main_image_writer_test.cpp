// The flash services and the MAIN image writer on the virtual board's NOR
// flash: erase and program with their fault paths (the part is always left
// in read mode), the image check, the bounds of the announced byte count,
// the LCD progress, the verify, and a power cut in the middle of a write.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "firmware/control/lcd.h"
#include "firmware/devices/main_image_writer.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/flash.h"
#include "firmware/platform/ioctl_word.h"
#include "firmware/platform/time_base.h"
#include "sim/board.h"
#include "sim/memory/nor_flash.h"
#include "tests/support/forked_boots.h"
#include "tests/support/machine_test.h"
#include "tools/images/main_image.h"

namespace {

using testsupport::kStartUp;
using testsupport::Ms;

constexpr PhysAddr kFlash = 0x60000000u;

sim::NorFlash& Flash() { return *sim::Board::Current().FindDevice<sim::NorFlash>(); }

std::string LcdLine() {
  char ac[16];
  g_Lcd.ReadText(ac, 0, 16);
  return std::string(ac, 16);
}

// The sample MAIN image in the download buffer; returns its size.
uint32_t LoadImage(const images::Bytes& image) {
  std::memcpy(PhysToHost(DOWNLOAD_BUFFER, static_cast<uint32_t>(image.size())), image.data(), image.size());
  return static_cast<uint32_t>(image.size());
}

class FlashTest : public testsupport::AppBodyTest {
 protected:
  void RunInApp(std::function<void()> body) { AppBodyTest::RunInApp(std::move(body), kStartUp + Ms(300000)); }
};

TEST_F(FlashTest, EraseAndProgramWithinTheFlashOnly) {
  RunInApp([] {
    const uint64_t ops = Flash().OperationCount();
    EXPECT_EQ(FlashEraseSector(0x5FFFFFFFu), -1);
    EXPECT_EQ(FlashEraseSector(0x60800000u), -1);
    static const uint8_t aucData[6] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    EXPECT_EQ(FlashProgram(0x60800000u, IoctlPointerWord(aucData), 5, 1), -1);
    EXPECT_EQ(FlashProgram(0x607FFFFEu, IoctlPointerWord(aucData), 4, 1), -1) << "runs past the end";
    EXPECT_EQ(Flash().OperationCount(), ops);

    EXPECT_EQ(FlashEraseSector(0x60370010u), 0);
    EXPECT_EQ(HwRead16(0x60370000u), 0xFFFF);
    // 5 bytes are 3 halfwords.
    EXPECT_EQ(FlashProgram(0x60370000u, IoctlPointerWord(aucData), 5, 1), 0);
    EXPECT_EQ(HwRead16(0x60370000u), 0x2211);
    EXPECT_EQ(HwRead16(0x60370004u), 0x6655);
    EXPECT_EQ(HwRead16(0x60370006u), 0xFFFF);
    // A source in flash, read through the window.
    EXPECT_EQ(FlashProgram(0x60370100u, 0x60370000u, 6, 0), 0);
    EXPECT_EQ(HwRead16(0x60370102u), 0x4433);
  });
}

// A part that gives up on an operation stays in status mode until reset:
// after every failure the flash reads as data again.
TEST_F(FlashTest, FailuresLeaveThePartInReadMode) {
  RunInApp([] {
    EXPECT_EQ(FlashEraseSector(0x60360000u), 0);
    static const uint8_t aucWord[2] = {0x00, 0x00};
    EXPECT_EQ(FlashProgram(0x60360000u, IoctlPointerWord(aucWord), 2, 1), 0);

    Flash().SetProgramFailBits(0x360010u, 0x0001);
    EXPECT_EQ(FlashProgram(0x60360010u, IoctlPointerWord(aucWord), 2, 1), -1);
    EXPECT_FALSE(Flash().TimedOut());
    EXPECT_EQ(HwRead16(0x60360000u), 0x0000);
    EXPECT_EQ(HwRead16(0x60360012u), 0xFFFF);

    // A programmed bit of the sector that will not erase.
    EXPECT_EQ(FlashProgram(0x60370000u, IoctlPointerWord(aucWord), 2, 1), 0);
    Flash().SetEraseFailBits(0x370000u, 0x0100);
    const uint64_t ops = Flash().OperationCount();
    EXPECT_EQ(FlashEraseSector(0x60370000u), -1);
    EXPECT_EQ(Flash().OperationCount(), ops + 4) << "four attempts, each taken by the part";
    EXPECT_FALSE(Flash().TimedOut());
    EXPECT_EQ(HwRead16(0x60360000u), 0x0000);

    // A part that never ends: four attempts of 10 s each.
    Flash().SetStuckBusy(true);
    const uint32_t ulStart = GetSystemTimeMs();
    EXPECT_EQ(FlashEraseSector(0x60380000u), -1);
    EXPECT_GE(GetSystemTimeMs() - ulStart, 40000u);
    Flash().SetStuckBusy(false);
  });
}

TEST_F(FlashTest, TheWriterRefusesBadImagesAndCountsBeforeErasingAnything) {
  RunInApp([] {
    const images::Bytes good = images::BuildMainImage();
    struct Case {
      const char* what;
      std::function<void(images::Bytes&)> change;
      uint32_t ulCountDelta;  // added to the image size
      int32_t lExpected;
    };
    const Case cases[] = {
        {"too long for the area", [](images::Bytes&) {}, 0x240000u, -1},
        {"shorter than the image", [](images::Bytes&) {}, static_cast<uint32_t>(-2), -1},
        {"another model", [](images::Bytes& b) { b[10] = 'X'; }, 0, -2},
        {"a body that does not fold", [](images::Bytes& b) { b[100] ^= 0x01; }, 0, -1},
    };
    for (const Case& c : cases) {
      images::Bytes image = good;
      c.change(image);
      const uint32_t ulSize = LoadImage(image);
      const uint64_t ops = Flash().OperationCount();
      EXPECT_EQ(WriteFirmwareImage(1, ulSize + c.ulCountDelta), c.lExpected) << c.what;
      EXPECT_EQ(Flash().OperationCount(), ops) << c.what;
    }
    // A sound image without the FPGA configuration the MAIN area carries:
    // writing it would leave the next start without an FPGA.
    images::MainImageParams bare;
    bare.bWithFlashData = false;
    const images::Bytes bareImage = images::BuildMainImage(bare);
    ASSERT_EQ(images::CheckMainImage(bareImage), 0);
    const uint32_t ulBare = LoadImage(bareImage);
    const uint64_t ops = Flash().OperationCount();
    EXPECT_EQ(WriteFirmwareImage(1, ulBare), -1);
    EXPECT_EQ(Flash().OperationCount(), ops);
  });
}

TEST_F(FlashTest, TheWriterProgramsAndVerifiesTheImageWithItsProgress) {
  RunInApp([] {
    const images::Bytes image = images::BuildMainImage();
    const uint32_t ulSize = LoadImage(image);
    // A longer announced count programs the image only: the byte behind it
    // stays erased.
    static_cast<uint8_t*>(PhysToHost(DOWNLOAD_BUFFER + ulSize, 2))[0] = 0x00;
    EXPECT_EQ(WriteFirmwareImage(1, ulSize + 2), 0);
    EXPECT_EQ(LcdLine().substr(0, 13), "Verifying... ");
    EXPECT_EQ(LcdLine()[15], '%');
    std::vector<uint8_t> flash(ulSize);
    std::memcpy(flash.data(), Flash().Array() + 0x100000, ulSize);
    EXPECT_TRUE(flash == std::vector<uint8_t>(image.begin(), image.end()));
    EXPECT_EQ(Flash().Array()[0x100000 + ulSize], 0xFF);
    EXPECT_EQ(CheckFirmwareImage(FLASH_MAIN_AREA), 0);

    // The erase progress is the sector's share of 36: a failing sector
    // stops the write with its figure on the line.
    struct Case {
      uint32_t ulSector;
      const char* pszShown;
    };
    for (const Case& c : {Case{0, "00"}, Case{1, "02"}, Case{2, "05"}, Case{35, "97"}}) {
      const uint32_t ulOffset = 0x100000u + c.ulSector * 0x10000u;
      // A bit that is 0 and will not erase.
      static const uint8_t aucZero[2] = {0, 0};
      if (Flash().PeekHalf(ulOffset) == 0xFFFF) FlashProgram(kFlash + ulOffset, IoctlPointerWord(aucZero), 2, 1);
      Flash().SetEraseFailBits(ulOffset, static_cast<uint16_t>(~Flash().PeekHalf(ulOffset)));
      EXPECT_EQ(WriteFirmwareImage(1, ulSize), -1);
      EXPECT_EQ(LcdLine(), std::string("Erasing...   ") + c.pszShown + "%") << c.ulSector;
      Flash().SetEraseFailBits(ulOffset, 0);
    }
  });
}

// A word whose operation ends while the poll looks at DQ5 reads back as
// data: a written value with bit 5 set then looks like the time limit, and
// only the second look (DQ6 still, the word as asked) tells that it ended
// after all. Every low byte, at several busy times, lands one such moment.
TEST_F(FlashTest, AnOperationEndingAtTheTimeLimitCheckCountsAsDone) {
  RunInApp([] {
    constexpr PhysAddr kSector = 0x60360000u;
    const double scales[] = {1.0, 0.5, 0.1, 0.013, 0.0};
    uint32_t ulWord = 0;
    for (const double scale : scales) {
      Flash().SetBusyTimeScale(scale);
      for (uint32_t i = 0; i < 256; ++i, ++ulWord) {
        const uint16_t usValue = static_cast<uint16_t>(0xFF00u | i);
        EXPECT_EQ(FlashProgramWordOnce(kFlash, kSector - kFlash + 2 * ulWord, usValue), 0) << scale << " " << i;
        EXPECT_EQ(Flash().PeekHalf(kSector - kFlash + 2 * ulWord), usValue);
      }
    }
    Flash().SetBusyTimeScale(1.0);
  });
}

TEST_F(FlashTest, VerifyComparesWholeHalfwordsAtAnyLength) {
  RunInApp([] {
    static const uint8_t aucData[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(FlashEraseSector(0x60370000u), 0);
    EXPECT_EQ(FlashProgram(0x60370000u, IoctlPointerWord(aucData), 10, 1), 0);
    std::memcpy(PhysToHost(DOWNLOAD_BUFFER, 10), aucData, 10);
    EXPECT_EQ(VerifyFlashWrite(0x60370000u, DOWNLOAD_BUFFER, 10), 0) << "fewer than 100 halfwords";
    // An odd length compares its last halfword in full.
    static_cast<uint8_t*>(PhysToHost(DOWNLOAD_BUFFER + 9, 1))[0] = 0x55;
    EXPECT_EQ(VerifyFlashWrite(0x60370000u, DOWNLOAD_BUFFER, 9), -1);
    EXPECT_EQ(VerifyFlashWrite(0x60370000u, DOWNLOAD_BUFFER, 8), 0);
  });
}

// A power cut while the MAIN image is programmed leaves an area whose
// check fails at the next start.
TEST(FlashBoots, APowerCutInTheMiddleOfAWriteIsDetectedAtTheNextStart) {
  testsupport::ForkedBoots boots;
  const std::vector<int> codes = boots.Run(2, [](int index, sim::MachineOptions options) {
    options.appEntry = [] {
      if (testsupport::ForkedBoots::Index() == 0) {
        syslog(LOG_NOTICE, "[test] check %d", CheckFirmwareImage(FLASH_MAIN_AREA));
        const uint32_t ulSize = LoadImage(images::BuildMainImage());
        // Past the 36 erases, into the programming.
        Flash().SetPowerCutAfter(36 + 5000, sim::CutDamage::Partial);
        WriteFirmwareImage(1, ulSize);
        syslog(LOG_NOTICE, "[test] not cut");
      } else {
        syslog(LOG_NOTICE, "[test] check %d", CheckFirmwareImage(FLASH_MAIN_AREA));
      }
    };
    sim::Machine m(options);
    if (index == 0) {
      m.RunUntil([&] { return m.Logged("[test] not cut"); }, Ms(120000));
      return m.Logged("[test] check 0") && m.Console().find("[board] power cut") != std::string::npos && !m.Logged("[test] not cut") ? 0 : 1;
    }
    m.RunUntil([&] { return m.Logged("[test] check -1"); }, Ms(20000));
    return m.Logged("[test] check -1") ? 0 : 1;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0}));
}

}  // namespace
