// The media configuration: the effective size of the two units' ribbons,
// the print sizes selected for it and found for a print command, the
// checked setters, the ribbon mismatch, the media record the host is sent,
// and the print mode with its image pools and status item 55.
#include "firmware/printengine/media_config.h"

#include <string>
#include <vector>

#include "firmware/control/app_startup.h"
#include "firmware/control/control_test_rig.h"
#include "firmware/devices/settings.h"
#include "firmware/hostif/shmem_usb.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "protocol/media.h"

namespace controltest {
namespace {

using namespace jobtest;

uint32_t MediaSize() {
  uint32_t ulSize = 9;
  g_MediaConfig.GetMediaSize(&ulSize);
  return ulSize;
}

TEST_F(ControlTest, TheEffectiveSizeIsTheSmallerFamilyOfTheUnitsWithRibbon) {
  struct Case {
    uint16_t sizeL;
    uint16_t sizeR;
    uint32_t size;
  };
  const Case cases[] = {{2, 1, 1}, {0, 2, 2}, {0, 0, 0}, {1, 2, 1}, {2, 2, 2}, {2, 0, 2}, {1, 0, 1}, {0, 1, 1}};
  InApp([&] {
    for (const Case& c : cases) {
      g_MediaConfig.SetRibbonSize(0, c.sizeL);
      g_MediaConfig.SetRibbonSize(1, c.sizeR);
      EXPECT_EQ(MediaSize(), c.size) << c.sizeL << "/" << c.sizeR;
      uint32_t ulL = 9, ulR = 9;
      g_MediaConfig.GetRibbonSize(0, &ulL);
      g_MediaConfig.GetRibbonSize(1, &ulR);
      EXPECT_EQ(ulL, c.sizeL);
      EXPECT_EQ(ulR, c.sizeR);
    }
  });
}

struct SelectCase {
  const char* name;
  uint16_t sizeL;
  uint16_t sizeR;
  uint16_t loadMode;
  uint32_t fullId;  // 0: none selected
  std::vector<uint16_t> printable;  // lengths of 2464-dot images found
  std::vector<uint16_t> refused;
};

TEST_F(ControlTest, ThePrintSizesOfTheLoadedFamilyAreSelectedAndFoundOnlyExactly) {
  const SelectCase cases[] = {
      {"not loaded", 2, 2, 0, 0, {}, {3624, 3024, 2408, 1808, 1208}},
      {"the large family", 2, 2, LOAD_MODE_LOADED, 6, {3624, 3024, 2408, 1808, 1208}, {2400, 3616, 2416}},
      {"the small family", 1, 2, LOAD_MODE_LOADED, 5, {3024, 2408, 1808, 1208}, {3624}},
      {"no ribbon", 0, 0, LOAD_MODE_LOADED, 0, {}, {3024}},
  };
  InApp([&] {
    for (const SelectCase& c : cases) {
      PrintSizeRecord* pBefore = g_pPrintSizeTable;
      g_MediaConfig.SetRibbonSize(0, c.sizeL);
      g_MediaConfig.SetRibbonSize(1, c.sizeR);
      g_MediaConfig.SetLoadMode(c.loadMode);
      g_MediaConfig.SelectPrintSizeTable();
      PrintSizeRecord* pFull = nullptr;
      EXPECT_EQ(g_MediaConfig.GetPrintSizeRecord(&pFull), c.fullId != 0 ? 0 : -1) << c.name;
      if (c.fullId != 0) {
        EXPECT_EQ(pFull->ulSizeId, c.fullId) << c.name;
        EXPECT_EQ(g_pPrintSizeTable, pFull) << c.name;
        EXPECT_EQ(g_pPrevPrintSizeTable, pBefore) << c.name;
      } else {
        EXPECT_EQ(g_pPrintSizeTable, pBefore) << c.name << ": the selection stays";
      }
      for (uint16_t usLength : c.printable) {
        SetImageBlock(2464, usLength);
        ImageBlock().usXOffset = 10;
        ImageBlock().usMediaMaxHeight = 4000;
        PrintSizeRecord* pSize = nullptr;
        ASSERT_EQ(g_MediaConfig.FindPrintSize(&pSize), 0) << c.name << " " << usLength;
        EXPECT_EQ(pSize->ulPrintLength, usLength);
        EXPECT_EQ(ImageBlock().usMediaMaxHeight, usLength) << "the print size is the image's";
        EXPECT_EQ(ImageBlock().usXOffset, 0);
      }
      for (uint16_t usLength : c.refused) {
        SetImageBlock(2464, usLength);
        PrintSizeRecord* pSize = &g_PrintSize8x10;
        EXPECT_EQ(g_MediaConfig.FindPrintSize(&pSize), -1) << c.name << " " << usLength;
        EXPECT_EQ(pSize, &g_PrintSize8x10);
      }
      SetImageBlock(2400, 2408);
      PrintSizeRecord* pSize = nullptr;
      EXPECT_EQ(g_MediaConfig.FindPrintSize(&pSize), -1) << "another width";
    }
    // The 2408-line size is id 9.
    LoadMedia(RIBBON_SIZE_8X12, RIBBON_SIZE_8X12);
    SetImageBlock(2464, 2408);
    PrintSizeRecord* pSize = nullptr;
    ASSERT_EQ(g_MediaConfig.FindPrintSize(&pSize), 0);
    EXPECT_EQ(pSize->ulSizeId, 9u);
    // A new selection of the same family is no change, of the other one is.
    SavePrintSizeTable();
    g_MediaConfig.SelectPrintSizeTable();
    EXPECT_EQ(IsPrintSizeTableChanged(), 0);
    LoadMedia(RIBBON_SIZE_8X10, RIBBON_SIZE_8X12);
    EXPECT_EQ(IsPrintSizeTableChanged(), -1);
    SavePrintSizeTable();
    EXPECT_EQ(IsPrintSizeTableChanged(), 0);
  });
}

TEST_F(ControlTest, CheckedSettersRefuseWhatTheLoadModeDoesNotAllowAndClearTheValue) {
  struct SizeCase {
    uint16_t loadMode;
    uint16_t size;
    int32_t result;
    uint32_t stored;
  };
  const SizeCase sizeCases[] = {{0, 5, 0, 5}, {2, 1, 0, 1}, {2, 2, 0, 2}, {2, 0, -3, 0}, {2, 3, -3, 0}, {1, 1, -2, 0}};
  struct ModeCase {
    uint16_t sizeL;
    uint16_t sizeR;
    uint16_t mode;
    int32_t result;
    bool selects;  // a selection afterwards finds the full size
  };
  const ModeCase modeCases[] = {{0, 3, 2, -2, false}, {1, 1, 1, -3, false}, {1, 1, 2, 0, true}, {0, 0, 1, 0, false}};
  InApp([&] {
    for (const SizeCase& c : sizeCases) {
      g_MediaConfig.SetLoadMode(c.loadMode);
      g_MediaConfig.SetRibbonSize(1, 9);
      EXPECT_EQ(g_MediaConfig.SetRibbonSizeChecked(1, c.size), c.result) << c.loadMode << "/" << c.size;
      uint32_t ulStored = 7;
      g_MediaConfig.GetRibbonSize(1, &ulStored);
      EXPECT_EQ(ulStored, c.stored) << c.loadMode << "/" << c.size;
    }
    for (const ModeCase& c : modeCases) {
      g_MediaConfig.SetRibbonSize(0, c.sizeL);
      g_MediaConfig.SetRibbonSize(1, c.sizeR);
      g_MediaConfig.SetLoadMode(LOAD_MODE_LOADED);
      EXPECT_EQ(g_MediaConfig.SetLoadModeChecked(c.mode), c.result) << c.sizeL << " mode " << c.mode;
      g_MediaConfig.SelectPrintSizeTable();
      PrintSizeRecord* pFull = nullptr;
      EXPECT_EQ(g_MediaConfig.GetPrintSizeRecord(&pFull) == 0, c.selects) << c.sizeL << " mode " << c.mode;
    }
  });
}

TEST_F(ControlTest, TwoColourRibbonsOfAnotherSizeOrKindAreAMismatch) {
  struct Case {
    uint8_t controlType;
    int32_t ribbonStatus;
    uint16_t sizeR;
    uint16_t kindR;
    int32_t result;
  };
  // Unit L holds size 1, kind 1.
  const Case cases[] = {{1, 0, 1, 1, 0}, {1, 0, 2, 1, -1}, {1, 0, 1, 2, -1}, {1, 1, 2, 2, 0}, {0, 0, 2, 2, 0}};
  InApp([&] {
    g_MediaConfig.SetRibbonSize(0, 1);
    g_MediaConfig.SetRibbonKind(0, 1);
    for (const Case& c : cases) {
      g_ErrorMng.ClearError(0x1605);
      g_ucRibbonControlType = c.controlType;
      g_ParamRibbonStatus.SetValueNoSave(c.ribbonStatus);
      g_MediaConfig.SetRibbonSize(1, c.sizeR);
      g_MediaConfig.SetRibbonKind(1, c.kindR);
      uint32_t ulKind = 0;
      g_MediaConfig.GetRibbonKind(1, &ulKind);
      EXPECT_EQ(ulKind, c.kindR);
      EXPECT_EQ(g_MediaConfig.CheckRibbonMismatch(), c.result) << c.sizeR << "/" << c.kindR;
      EXPECT_EQ(IsErrorSet(0x1605), c.result != 0) << c.sizeR << "/" << c.kindR;
    }
  });
}

struct MediaCase {
  const char* name;
  int32_t ribbonStatus;
  uint16_t sizeL;
  uint16_t sizeR;
  uint32_t typeL;  // ribbon-type index into the colour models
  uint32_t typeR;
  protocol::MediaBytes media;
  uint16_t fullLength;
  std::vector<uint16_t> lengths;
};

TEST_F(ControlTest, TheMediaRecordTellsTheHostTheRibbonsAndThePrintableSizes) {
  const MediaCase cases[] = {
      {"no ribbon yet", 0, 0, 0, 0, 0, {0, 0, 0, 0}, 0, {}},
      {"colour 8x10 in both", 0, 1, 1, 0, 0, {3, 3, 1, 1}, 3024, {3024, 2408, 1808, 1208}},
      {"8x12, four-panel in R", 0, 2, 2, 1, 3, {3, 4, 2, 2}, 3624, {3624, 3024, 2408, 1808, 1208}},
      {"colour in L, SP in R", 1, 1, 1, 2, 0, {4, 1, 1, 1}, 3024, {3024, 2408, 1808, 1208}},
      {"colour in L, SP in R without a size", 1, 1, 0, 2, 0, {4, 0, 1, 1}, 3024, {3024, 2408, 1808, 1208}},
      {"colour in L, R empty", 2, 2, 0, 1, 0, {3, 0, 2, 0}, 3624, {3624, 3024, 2408, 1808, 1208}},
      {"L empty, colour in R", 3, 0, 1, 0, 2, {0, 4, 0, 1}, 3024, {3024, 2408, 1808, 1208}},
      {"ribbons gone: the sizes last sent stay", 3, 0, 0, 0, 0, {0, 0, 0, 0}, 3024, {3024, 2408, 1808, 1208}},
  };
  InApp([&] {
    for (const MediaCase& c : cases) {
      g_ParamRibbonStatus.SetValueNoSave(c.ribbonStatus);
      g_MediaConfig.SetRibbonSize(0, c.sizeL);
      g_MediaConfig.SetRibbonSize(1, c.sizeR);
      g_ulRibbonTypeIndexL = c.typeL;
      g_ulRibbonTypeIndexR = c.typeR;
      TakeNotifications();
      EXPECT_EQ(g_MediaConfig.SendMediaInfo(), 0);
      usb_comm_poll();
      const hostiftest::Message m = hostiftest::TakeMessage();
      ASSERT_TRUE(m.bPresent) << c.name;
      EXPECT_EQ(m.usCode, APPMSG_NOTIFY_MEDIA) << c.name;
      protocol::MediaRecord r{};
      ASSERT_EQ(protocol::DecodeMediaRecord(m.payload.data(), m.payload.size(), &r), protocol::WIRE_OK);
      EXPECT_EQ(r.media.ribbonKindL, c.media.ribbonKindL) << c.name;
      EXPECT_EQ(r.media.ribbonKindR, c.media.ribbonKindR) << c.name;
      EXPECT_EQ(r.media.unitStateL, c.media.unitStateL) << c.name;
      EXPECT_EQ(r.media.unitStateR, c.media.unitStateR) << c.name;
      EXPECT_EQ(r.fullWidth, c.fullLength != 0 ? 2464 : 0) << c.name;
      EXPECT_EQ(r.fullLength, c.fullLength) << c.name;
      ASSERT_EQ(r.sizeCount, c.lengths.size()) << c.name;
      for (uint32_t i = 0; i < protocol::MEDIA_SIZE_ENTRIES; ++i) {
        const bool bListed = i < c.lengths.size();
        EXPECT_EQ(r.sizes[i].width, bListed ? 2464 : 0) << c.name << i;
        EXPECT_EQ(r.sizes[i].length, bListed ? c.lengths[i] : 0) << c.name << i;
      }
      usb_comm_poll();
      usb_comm_poll();
      TakeNotifications();
    }
  });
}

TEST_F(ControlTest, ThePrintModeChangesOnlyWithAnEmptyQueueAndIsAlwaysPublished) {
  struct ModeStep {
    const char* name;
    bool jobQueued;
    uint32_t mode;
    int32_t result;
    uint32_t modeAfter;
    uint32_t notifications;
  };
  const ModeStep steps[] = {
      {"multi-up with a job queued", true, 1, -1, 0, 1},
      {"multi-up", false, 1, 0, 1, 1},
      {"multi-up again", false, 1, 0, 1, 1},
      {"no such mode", false, 2, -2, 1, 0},
      {"normal", false, 0, 0, 0, 1},
  };
  InApp([&] {
    for (const ModeStep& s : steps) {
      EmptyQueue();
      if (s.jobQueued) {
        ASSERT_NE(MakeInternalJob(), nullptr);
      }
      SetStatusItem(SI_PRINT_MODE, 9, 0);
      TakeNotifications();
      EXPECT_EQ(SetPrintMode(s.mode), s.result) << s.name;
      EXPECT_EQ(g_ulPrintMode, s.modeAfter) << s.name;
      EXPECT_EQ(GetStatusItem(SI_PRINT_MODE), s.notifications != 0 ? s.modeAfter : 9u) << s.name;
      EXPECT_EQ(TakeNotifications(), s.notifications) << s.name;
      const bool bMultiUp = s.modeAfter == 1;
      EXPECT_EQ(g_pCurBufSlots[BUF_POOL_COLOUR], bMultiUp ? &g_BufSlots18A : &g_BufSlots3A) << s.name;
      EXPECT_EQ(g_pCurBufSlots[BUF_POOL_ONE_BIT], bMultiUp ? &g_BufSlots18B : &g_BufSlots3B) << s.name;
      // An image of id 8 takes one buffer, or three small ones.
      uint32_t ulSlots = 0;
      EXPECT_EQ(GetPrintSizeImageBytes(&g_PrintSizeTable[1], &ulSlots), 0);
      EXPECT_EQ(ulSlots, bMultiUp ? 3u : 1u) << s.name;
    }
    uint32_t ulSlots = 7;
    EXPECT_EQ(GetPrintSizeImageBytes(nullptr, &ulSlots), -1);
    EXPECT_EQ(ulSlots, 7u);
  });
}

TEST(PackedImageBytes, AreWholeBytesPerLineTimesTheLines) {
  EXPECT_EQ(PackedImageBytes(2464, 1208), 372064u);
  EXPECT_EQ(PackedImageBytes(2465, 1208), 309u * 1208u);
  EXPECT_EQ(PackedImageBytes(1, 3), 3u);
  EXPECT_EQ(PackedImageBytes(0, 100), 0u);
}

}  // namespace
}  // namespace controltest
