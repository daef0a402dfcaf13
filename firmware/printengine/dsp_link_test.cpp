// The DSP link on the virtual board: the image check in flash and in RAM,
// the update from the download buffer, the handshake against each way the
// DSP stand-in can take it, the mode switch's limits and the table
// transfer's tries.
#include "firmware/printengine/dsp_link.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "firmware/control/lcd.h"
#include "firmware/devices/flash_area_writer.h"
#include "firmware/hal/hw.h"
#include "firmware/platform/dsp_boot.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/time_base.h"
#include "firmware/control/error_manager.h"
#include "firmware/printengine/print_line.h"
#include "sim/board.h"
#include "sim/dsp/dsp_core.h"
#include "sim/memory/nor_flash.h"
#include "tests/support/machine_test.h"
#include "tools/images/dsp_image.h"
#include "tools/images/flash_map.h"

namespace {

using testsupport::kStartUp;
using testsupport::Ms;

sim::NorFlash& Flash() { return *sim::Board::Current().FindDevice<sim::NorFlash>(); }
sim::DspCore& Dsp() { return *sim::Board::Current().FindDevice<sim::DspCore>(); }

void PutInFlash(const images::Bytes& image) {
  Flash().LoadImage(images::kAreaDsp.offset, image.data(), static_cast<uint32_t>(image.size()));
}

void PutInDownloadBuffer(uint32_t ulOffset, const images::Bytes& image) {
  std::memcpy(PhysToHost(DOWNLOAD_BUFFER + ulOffset, static_cast<uint32_t>(image.size())), image.data(), image.size());
}

uint16_t SharedWord(PhysAddr ulAddr) {
  uint16_t us = 0;
  IoctlRead16(ulAddr, &us);
  return us;
}

class DspLink : public testsupport::AppBodyTest {
 protected:
  void RunInApp(std::function<void()> body) { AppBodyTest::RunInApp(std::move(body), kStartUp + Ms(120000)); }
};

// The checksum covers the two programs, not the information block around
// the checksum word.
TEST_F(DspLink, TheImageCheckComparesTheProgramsWithTheStoredSum) {
  RunInApp([] {
    const images::Bytes good = images::BuildDspImage();
    struct Case {
      const char* what;
      std::function<void(images::Bytes&)> change;
      int32_t lExpected;
    };
    const Case cases[] = {
        {"the sample image", [](images::Bytes&) {}, 0},
        {"a bit of the internal program", [](images::Bytes& b) { b[0x100] ^= 0x01; }, -4},
        {"the last byte the sum covers", [](images::Bytes& b) { b[0x3FF7F] ^= 0x80; }, -4},
        {"the stored sum", [](images::Bytes& b) { b[0x3FFB0] ^= 0x01; }, -4},
        {"the program name, outside the sum", [](images::Bytes& b) { b[0x3FF80] = 'X'; }, 0},
        {"an erased area", [](images::Bytes& b) { b.assign(b.size(), 0xFF); }, -4},
    };
    for (const Case& c : cases) {
      images::Bytes image = good;
      c.change(image);
      PutInFlash(image);
      EXPECT_EQ(CheckDspImage(DSP_IMAGE_FLASH), c.lExpected) << c.what << " in flash";
      PutInDownloadBuffer(0x2000, image);
      EXPECT_EQ(CheckDspImage(DOWNLOAD_BUFFER + 0x2000), c.lExpected) << c.what << " in RAM";
    }
  });
}

TEST_F(DspLink, AnUpdateWritesOnlyAGoodImage) {
  RunInApp([] {
    PutInFlash(images::BuildDspImage());
    images::DspImageParams params;
    params.version = images::Version{0x03, 0x07};
    const images::Bytes next = images::BuildDspImage(params);

    images::Bytes bad = next;
    bad[0x12345] ^= 0x04;
    PutInDownloadBuffer(0, bad);
    const uint64_t ulOps = Flash().OperationCount();
    EXPECT_EQ(UpdateDspImage(0), -4);
    EXPECT_EQ(Flash().OperationCount(), ulOps) << "flash untouched";
    EXPECT_EQ(CheckDspImage(DSP_IMAGE_FLASH), 0);

    // An image further into the buffer.
    PutInDownloadBuffer(0x10000, next);
    EXPECT_EQ(UpdateDspImage(0x10000), 0);
    EXPECT_EQ(std::memcmp(Flash().Array() + images::kAreaDsp.offset, next.data(), next.size()), 0);
    EXPECT_EQ(CheckDspImage(DSP_IMAGE_FLASH), 0);
    char acLine[16];
    g_Lcd.ReadText(acLine, 0, 13);
    EXPECT_EQ(std::string(acLine, 13), "Verifying... ");

    // A sector that will not erase is left to the comparison, which fails.
    // The stuck word: one whose zeros the image written next must set.
    const images::Bytes sample = images::BuildDspImage();
    uint32_t ulWord = 2 * 0x10000 + 0x40;
    while ((images::GetU16LE(sample, ulWord) & ~images::GetU16LE(next, ulWord)) == 0) ulWord += 2;
    const uint32_t ulStuck = images::kAreaDsp.offset + ulWord;
    Flash().SetEraseFailBits(ulStuck, static_cast<uint16_t>(~Flash().PeekHalf(ulStuck)));
    PutInDownloadBuffer(0, sample);
    EXPECT_EQ(UpdateDspImage(0), -3);
    EXPECT_EQ(Flash().PeekHalf(ulStuck + 0x10000), 0xFFFF) << "the sector after it was erased all the same";
    EXPECT_NE(CheckDspImage(DSP_IMAGE_FLASH), 0);
    Flash().SetEraseFailBits(ulStuck, 0);
  });
}

// One DSP, restarted for each case with the stand-in's link switch set.
TEST_F(DspLink, TheHandshakeFollowsTheDspsAnswers) {
  RunInApp([] {
    PutInFlash(images::BuildDspImage());
    ASSERT_EQ(LoadDspInternalImage(DSP_IMAGE_FLASH), 0);
    struct Case {
      const char* what;
      sim::DspCore::Link link;
      uint32_t ulMode;
      int32_t lResult;
      uint32_t ulMinMs;  // the handshake's duration
      uint32_t ulMaxMs;
      uint16_t usStatus;  // the status word afterwards
    };
    const Case cases[] = {
        {"accepted", sim::DspCore::Link::Accepts, 1, 0, 0, 2, 0x0000},
        {"accepted in another mode", sim::DspCore::Link::Accepts, 0, 0, 0, 2, 0x0000},
        {"refused after the echo: one try of the start", sim::DspCore::Link::Refuses, 1, -1, 0, 2, 0xFF00},
        {"echoed, then no answer: three tries of the start", sim::DspCore::Link::EchoesOnly, 1, -1, 1503, 1510,
         0xFFFF},
        {"silent: two tries of the hello", sim::DspCore::Link::Silent, 1, -1, 1002, 1008, 0x0000},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      Dsp().SetLink(c.link);
      DspHoldInReset();
      ASSERT_EQ(StartDsp(DSP_INTERNAL_IMAGE_LAYOUT.ulEntry, 1), 0);
      const uint32_t ulLinkAnswers = Dsp().LinkAnswers();
      const uint32_t ulStart = g_MsTimer.NowMs();
      EXPECT_EQ(DspBootHandshake(c.ulMode), c.lResult);
      const uint32_t ulMs = g_MsTimer.NowMs() - ulStart;
      EXPECT_GE(ulMs, c.ulMinMs);
      EXPECT_LE(ulMs, c.ulMaxMs);
      EXPECT_EQ(SharedWord(DSP_SHM_BASE + DSP_SHM_CONTROL), 0) << "the control word is 0 afterwards";
      EXPECT_EQ(SharedWord(DSP_SHM_BASE + DSP_SHM_STATUS), c.usStatus);
      const bool bAnswered = c.link == sim::DspCore::Link::Accepts || c.link == sim::DspCore::Link::Refuses;
      EXPECT_EQ(Dsp().LinkAnswers(), ulLinkAnswers + (bAnswered ? 1 : 0));
      EXPECT_EQ(Dsp().Linked(), c.lResult == 0);
    }
  });
}

// A linked DSP, as the start-up leaves it.
void StartLinkedDsp() {
  PutInFlash(images::BuildDspImage());
  ASSERT_EQ(LoadDspInternalImage(DSP_IMAGE_FLASH), 0);
  ASSERT_EQ(DspBootHandshake(1), 0);
}

uint32_t MsSince(uint32_t ulStart) { return g_MsTimer.NowMs() - ulStart; }

// Modes 0 and 4 wait 5 ms per try, the others 3000 ms; two tries.
TEST_F(DspLink, AModeSwitchWaitsByItsMode) {
  RunInApp([] {
    StartLinkedDsp();
    struct Case {
      const char* what;
      bool bSilent;
      sim::Nanos echo;
      uint16_t usMode;
      int32_t lResult;
      uint32_t ulMinMs;
      uint32_t ulMaxMs;
    };
    const Case cases[] = {
        {"table mode echoed", false, sim::DspCore::kModeEcho, DSP_MODE_TABLE, 0, 0, 1},
        {"image mode echoed", false, sim::DspCore::kModeEcho, DSP_MODE_IMAGE, 0, 0, 1},
        {"table mode, silent: two tries of 5 ms", true, 0, DSP_MODE_TABLE, -1, 12, 14},
        {"image mode, silent: two tries of 3000 ms", true, 0, DSP_MODE_IMAGE, -1, 6002, 6004},
        {"print mode, silent", true, 0, DSP_MODE_PRINT, -1, 6002, 6004},
        {"table mode echoed after 20 ms: too slow", false, Ms(20), DSP_MODE_TABLE, -1, 12, 14},
        {"image mode echoed after 2500 ms", false, Ms(2500), DSP_MODE_IMAGE, 0, 2500, 2502},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      Dsp().SetModesSilent(c.bSilent);
      Dsp().SetModeEchoLatency(c.echo);
      const uint32_t ulStart = g_MsTimer.NowMs();
      EXPECT_EQ(DspSendMode(c.usMode), c.lResult);
      EXPECT_GE(MsSince(ulStart), c.ulMinMs);
      EXPECT_LE(MsSince(ulStart), c.ulMaxMs);
      EXPECT_EQ(SharedWord(DSP_CONTROL_WORD), c.usMode);
      // Back to idle with a prompt DSP for the next case.
      Dsp().SetModesSilent(false);
      Dsp().SetModeEchoLatency(sim::DspCore::kModeEcho);
      ASSERT_EQ(DspSendMode(DSP_MODE_IDLE), 0);
    }
    // The run bit is compared alone.
    EXPECT_EQ(DspSetRunBit(DSP_MODE_TABLE, 1), 0);
    EXPECT_EQ(SharedWord(DSP_CONTROL_WORD), DSP_MODE_TABLE | DSP_RUN_BIT);
    EXPECT_EQ(DspSetRunBit(DSP_MODE_TABLE, 0), 0);
    EXPECT_EQ(SharedWord(DSP_CONTROL_WORD), DSP_MODE_TABLE);
  });
}

// Checksum errors are tried again up to five transfers; a DSP that does not
// follow ends the tries at once. The DSP is idle after every transfer.
TEST_F(DspLink, ATableTransferTriesAgainOnlyAfterAChecksumError) {
  RunInApp([] {
    StartLinkedDsp();
    struct Case {
      const char* what;
      uint32_t ulFailures;
      bool bSilent;
      int32_t lResult;
      uint32_t ulRuns;
      bool b278;
      bool b279;
    };
    const Case cases[] = {
        {"taken", 0, false, 0, 1, false, false},
        {"257 once, then taken", 1, false, 0, 2, false, false},
        {"257 four times, then taken", 4, false, 0, 5, false, false},
        {"257 five times", 5, false, -2, 5, false, true},
        {"silent: no retry", 0, true, -1, 0, true, false},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      g_ErrorMng.ClearError(0x0116);
      g_ErrorMng.ClearError(0x0117);
      for (uint32_t i = 0; i < 512; ++i) HwWrite8(DSP_TABLE_STAGING + i, static_cast<uint8_t>(i * 7 + c.ulFailures));
      Dsp().FailChecksums(c.ulFailures);
      Dsp().SetModesSilent(c.bSilent);
      const uint32_t ulRuns = Dsp().TableRuns();
      const uint32_t ulStart = g_MsTimer.NowMs();
      EXPECT_EQ(g_PrintLine.SendDspTable(DSP_TABLE_8, 512), c.lResult);
      EXPECT_EQ(Dsp().TableRuns() - ulRuns, c.ulRuns);
      EXPECT_EQ(IsErrorRaised(0x0116), c.b278);
      EXPECT_EQ(IsErrorRaised(0x0117), c.b279);
      if (c.bSilent) {
        EXPECT_LE(MsSince(ulStart), 30u) << "the first try's mode switch and the switch back";
      }
      EXPECT_EQ(SharedWord(DSP_CONTROL_WORD) & DSP_MODE_MASK, DSP_MODE_IDLE);
      EXPECT_EQ(SharedWord(DSP_TABLE_ID), DSP_TABLE_8);
      EXPECT_EQ(SharedWord(DSP_ADDRESS_HIGH), 0xC7DF);
      EXPECT_EQ(SharedWord(DSP_ADDRESS_LOW), 0x8000);
      if (c.lResult == 0) {
        ASSERT_EQ(Dsp().Table(DSP_TABLE_8).size(), 512u);
        EXPECT_EQ(std::memcmp(Dsp().Table(DSP_TABLE_8).data(), PhysToHost(DSP_TABLE_STAGING, 512), 512), 0);
      }
      Dsp().SetModesSilent(false);
    }
  });
}

// The stand-in sums what its format gives the id: a transfer whose length
// differs from it is answered with a checksum error.
TEST_F(DspLink, TheDspSumsItsOwnLengthOfATable) {
  RunInApp([] {
    StartLinkedDsp();
    for (uint32_t i = 0; i < 4096; ++i) HwWrite8(DSP_TABLE_STAGING + i, static_cast<uint8_t>(i + 1));
    EXPECT_EQ(DspSendTable(DSP_TABLE_5, 256), 0);
    EXPECT_EQ(DspSendTable(DSP_TABLE_5, 512), -2);
    EXPECT_EQ(DspSendTable(DSP_TABLE_10, 4096), 0);
    EXPECT_EQ(DspSendTable(2, 512), -2) << "no table 2";
    EXPECT_EQ(Dsp().Table(DSP_TABLE_10).size(), 4096u);
  });
}

}  // namespace
