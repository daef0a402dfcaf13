// The update and reset handlers on the virtual board, the test playing the
// USB task's side: which requests arm a data phase and where their data
// lands, what an abandoned transfer leaves, the deferred lists and their
// order, the reset list's bound, and the error index of each writer's
// failure.
#include <gtest/gtest.h>

#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/devices/flash_area_writer.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/settings.h"
#include "firmware/hal/hw.h"
#include "firmware/hostif/update_handlers.h"
#include "firmware/hostif/usb_command_layer.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/platform/usb_driver.h"
#include "firmware/control/host_status_table.h"
#include "firmware/printengine/tone_curve.h"
#include "sim/memory/nor_flash.h"
#include "tools/images/flash_map.h"
#include "tools/images/main_image.h"
#include "protocol/codes.h"

namespace {

using hostiftest::Bytes;
using hostiftest::Message;
using hostiftest::PostRequest;
using hostiftest::TakeMessage;
using testsupport::Ms;
using namespace protocol;

constexpr uint32_t kLami = 8929536;
constexpr uint32_t kFineSlot = 0x455000;

UpdateBlock& Block() {
  UpdateBlock* pBlock = nullptr;
  usb_comm_get_update_block(&pBlock);
  return *pBlock;
}

UsbCommState& State() {
  UsbCommState* pState = nullptr;
  usb_comm_get_state(&pState);
  return *pState;
}

CBufSlotTable& Pool() { return *g_pCurBufSlots[BUF_POOL_COLOUR]; }

uint32_t FreeSlots() {
  uint32_t ulFree = 0;
  Pool().CountFree(&ulFree);
  return ulFree;
}

// The update request as its parser leaves it, then the handler.
uint8_t Request(uint8_t ucKind, uint8_t ucArgument, uint32_t ulSize) {
  UpdateBlock& b = Block();
  b = UpdateBlock{};
  b.ucKind = ucKind;
  b.ucArgument = ucArgument;
  b.ulDataSize = ulSize;
  ExecUpdateCommand();
  return b.ucResult;
}

// The data phase ends: abandoned by the driver, or with its data in.
int32_t EndDataPhase(bool bAbandoned) {
  g_ulUsbRxAbandoned = bAbandoned ? 1 : 0;
  return OnUpdateDataReceived();
}

class UpdateHandlers : public hostiftest::UsbCommandTest {
 protected:
  void SetUp() override {
    UsbCommandTest::SetUp();
    BootQuiet();
    InApp([] { ConstructBufSlotTables(); });
  }
};

struct RequestCase {
  const char* name;
  uint8_t ucKind;
  uint8_t ucArgument;
  uint32_t ulSize;
  uint8_t ucResult;
};

// Each kind's destination bounds its size; a refusal arms no data phase.
const RequestCase kRequests[] = {
    {"unknown kind", 5, 0, 100, REPLY_ERR_BAD_PARAMETER},
    {"size 0", UPDATE_KIND_MAIN, 0, 0, REPLY_ERR_BAD_PARAMETER},
    {"DSP exact", UPDATE_KIND_DSP, 0, 0x40000, 0},
    {"DSP short", UPDATE_KIND_DSP, 0, 0x3FFFF, REPLY_ERR_BAD_PARAMETER},
    {"DSP long", UPDATE_KIND_DSP, 0, 0x40001, REPLY_ERR_BAD_PARAMETER},
    {"MAIN largest", UPDATE_KIND_MAIN, 0, 0x240000, 0},
    {"MAIN one over", UPDATE_KIND_MAIN, 0, 0x240001, REPLY_ERR_BAD_PARAMETER},
    {"TABLE largest", UPDATE_KIND_TABLE, 0, 0x160000, 0},
    {"TABLE one over", UPDATE_KIND_TABLE, 0, 0x160001, REPLY_ERR_BAD_PARAMETER},
    {"TABLE wrapping size", UPDATE_KIND_TABLE, 0, 0xFFFFFFFFu, REPLY_ERR_BAD_PARAMETER},
    {"calibration without serial", UPDATE_KIND_CALIBRATION, 0, 4920, 0},
    {"calibration with serial", UPDATE_KIND_CALIBRATION, 0, 4928, 0},
    {"calibration between", UPDATE_KIND_CALIBRATION, 0, 4924, REPLY_ERR_BAD_PARAMETER},
    {"calibration into the history sectors", UPDATE_KIND_CALIBRATION, 0, 0x2001, REPLY_ERR_BAD_PARAMETER},
    {"curve 0", UPDATE_KIND_TONE_CURVE_SAVE, 0, TONE_CURVE_SIZE, REPLY_ERR_BAD_PARAMETER},
    {"curve 9", UPDATE_KIND_TONE_CURVE, 9, TONE_CURVE_SIZE, REPLY_ERR_BAD_PARAMETER},
    {"curve 8", UPDATE_KIND_TONE_CURVE, 8, TONE_CURVE_SIZE, 0},
    {"curve one byte over", UPDATE_KIND_TONE_CURVE_SAVE, 1, TONE_CURVE_SIZE + 1, REPLY_ERR_BAD_PARAMETER},
    {"lamination", UPDATE_KIND_LAMINATE_2, 0, kLami, 0},
    {"lamination short", UPDATE_KIND_LAMINATE_1, 0, kLami - 1, REPLY_ERR_BAD_PARAMETER},
    {"lamination long", UPDATE_KIND_LAMINATE_3, 0, kLami + 1, REPLY_ERR_BAD_PARAMETER},
};

TEST_F(UpdateHandlers, KindArgumentAndSizeDecideTheResultAndOnlyZeroArmsTheDataPhase) {
  InApp([] {
    for (const RequestCase& c : kRequests) {
      SetDownloadOffset(0x12345678u);
      EXPECT_EQ(Request(c.ucKind, c.ucArgument, c.ulSize), c.ucResult) << c.name;
      if (c.ucResult != 0) {
        EXPECT_EQ(State().ulDataPhase, DATA_PHASE_NONE) << c.name;
        EXPECT_EQ(GetDownloadOffset(), 0x12345678u) << c.name;
        EXPECT_EQ(FreeSlots(), Pool().Count()) << c.name;
        continue;
      }
      EXPECT_EQ(State().ulDataPhase, DATA_PHASE_UPDATE_DATA) << c.name;
      EXPECT_EQ(GetDownloadOffset(), State().ulDataOffset) << c.name;
      EXPECT_EQ(FreeSlots(), Pool().Count() - 1) << c.name;
      // Abandoned: the buffer is given back and nothing else happens.
      EndDataPhase(true);
      EXPECT_EQ(State().ulDataPhase, DATA_PHASE_NONE) << c.name;
      EXPECT_EQ(FreeSlots(), Pool().Count()) << c.name;
      EXPECT_EQ(g_ulPendingUpdCount, 0u) << c.name;
      EXPECT_FALSE(IsErrorRaised(0x111) || IsErrorRaised(0x10F) || IsErrorRaised(0x113)) << c.name;
    }
  });
}

// In multi-up mode a buffer holds 0x455000 bytes: a lamination pattern and
// the header stored behind it take two in a row. An immediate update lands
// at offset 0 and is refused while anything holds the first buffer.
TEST_F(UpdateHandlers, DataGetsAsManyBuffersAsItNeedsAndAnImmediateKindOnlyAFreeStart) {
  InApp([] {
    g_pCurBufSlots[BUF_POOL_COLOUR] = &g_BufSlots18A;
    uint32_t ulIndex = 0;
    uint32_t ulOffset = 0;
    ASSERT_EQ(Pool().AllocateAt(BUF_TYPE_PRINT, 1, 1, &ulOffset), 0);  // a job's image in buffer 1
    ASSERT_EQ(Request(UPDATE_KIND_LAMINATE_1, 0, kLami), 0);
    EXPECT_EQ(State().ulDataOffset, 2 * kFineSlot) << "the first run of two free buffers";
    EXPECT_EQ(FreeSlots(), 18u - 3u);
    EndDataPhase(true);
    EXPECT_EQ(FreeSlots(), 18u - 1u);

    // Buffer 0 in use, then released (printed, not yet freed): refused.
    ASSERT_EQ(Pool().AllocateAt(BUF_TYPE_PRINT, 1, 0, &ulOffset), 0);
    for (int i = 0; i < 2; ++i) {
      for (uint8_t ucKind : {UPDATE_KIND_DSP, UPDATE_KIND_MAIN, UPDATE_KIND_TABLE, UPDATE_KIND_CALIBRATION}) {
        const uint32_t ulSize = ucKind == UPDATE_KIND_CALIBRATION ? 4920 : 0x40000;
        EXPECT_EQ(Request(ucKind, 0, ulSize), REPLY_ERR_NO_RESOURCE) << int(ucKind);
        EXPECT_EQ(State().ulDataPhase, DATA_PHASE_NONE);
      }
      Pool().Release(0);
    }
    Pool().Free(0);
    Pool().Free(1);
    EXPECT_EQ(Request(UPDATE_KIND_MAIN, 0, 0x240000), 0);
    EXPECT_EQ(State().ulDataOffset, 0u);
    EndDataPhase(true);

    // Only the last two buffers free: they reach past the receive area.
    for (uint32_t i = 0; i < 16; ++i) ASSERT_EQ(Pool().AllocateAt(BUF_TYPE_PRINT, 1, i, &ulOffset), 0);
    EXPECT_EQ(Request(UPDATE_KIND_LAMINATE_1, 0, kLami), REPLY_ERR_NO_RESOURCE);
    EXPECT_EQ(FreeSlots(), 2u);
    EXPECT_EQ(Request(UPDATE_KIND_TONE_CURVE, 1, TONE_CURVE_SIZE), 0) << "a curve fits buffer 16";
    EndDataPhase(true);
    for (uint32_t i = 0; i < 16; ++i) Pool().Free(i);

    // No run of two free buffers left.
    for (uint32_t i = 0; i < 18; i += 2) ASSERT_EQ(Pool().AllocateAt(BUF_TYPE_PRINT, 1, i, &ulOffset), 0);
    EXPECT_EQ(Request(UPDATE_KIND_LAMINATE_3, 0, kLami), REPLY_ERR_NO_RESOURCE);
    EXPECT_EQ(Request(UPDATE_KIND_TONE_CURVE, 1, TONE_CURVE_SIZE), 0);
    EXPECT_EQ(Pool().FindByAddress(&ulIndex, State().ulDataOffset), 0);
    EXPECT_EQ(ulIndex, 1u);
    EndDataPhase(true);
  });
}

// Tone curves parked in arrival order, a fourth refused; the idle state's
// runner applies them in that order and frees every buffer.
TEST_F(UpdateHandlers, DeferredUpdatesAreParkedAppliedInArrivalOrderAndTheirBuffersFreed) {
  InApp([this] {
    // The firmware's version texts go into every bank it writes.
    const images::Bytes main = images::BuildMainImage();
    m_machine->GetBoard().FindDevice<sim::NorFlash>()->LoadImage(images::kAreaMain.offset, main.data(),
                                                                 static_cast<uint32_t>(main.size()));
    struct Parked {
      uint8_t ucKind;
      uint8_t ucCurve;
      uint16_t usData;
    };
    const Parked parked[] = {
        {UPDATE_KIND_TONE_CURVE_SAVE, 2, 0x1111}, {UPDATE_KIND_TONE_CURVE, 5, 0x2222}, {UPDATE_KIND_TONE_CURVE_SAVE, 8, 0x3333}};
    std::vector<uint32_t> offsets;
    for (const Parked& p : parked) {
      ASSERT_EQ(Request(p.ucKind, p.ucCurve, TONE_CURVE_SIZE), 0);
      offsets.push_back(State().ulDataOffset);
      HwWrite16(DOWNLOAD_BUFFER + State().ulDataOffset, p.usData);
      EndDataPhase(false);
    }
    EXPECT_EQ(g_ulPendingUpdCount, 3u);
    uint32_t ulSet = 0;
    g_pCurEventMng->TestEvent(EV_DEFERRED_UPDATE, &ulSet);
    EXPECT_EQ(ulSet, 1u);
    EXPECT_EQ(FreeSlots(), 0u) << "three coarse buffers parked";
    EXPECT_EQ(Request(UPDATE_KIND_TONE_CURVE, 1, TONE_CURVE_SIZE), REPLY_ERR_QUEUE_FULL);
    EXPECT_EQ(State().ulDataPhase, DATA_PHASE_NONE);

    SetStatusItem(SI_PRINTER_STATE, PRINTER_STATE_READY, 0);
    EXPECT_EQ(ApplyPendingUpdates(), 0);
    EXPECT_EQ(GetStatusItem(SI_PRINTER_STATE), PRINTER_STATE_READY) << "shown again when the list is done";
    for (const Parked& p : parked) {
      const bool bStored = p.ucKind == UPDATE_KIND_TONE_CURVE_SAVE;
      EXPECT_EQ(CToneCurve::RamCurve(p.ucCurve)[0], p.usData) << int(p.ucCurve);
      EXPECT_EQ(GetStatusItem(SI_TONE_CURVE_1 - 1 + p.ucCurve), bStored ? 1u : 2u) << int(p.ucCurve);
      uint32_t ulState = 9;
      g_ToneCurve.GetCurveState(p.ucCurve, &ulState);
      EXPECT_EQ(ulState, bStored ? 1u : 0u) << int(p.ucCurve);
    }
    EXPECT_EQ(g_ulPendingUpdCount, 0u);
    g_pCurEventMng->TestEvent(EV_DEFERRED_UPDATE, &ulSet);
    EXPECT_EQ(ulSet, 0u);
    EXPECT_EQ(FreeSlots(), Pool().Count());

    // A store that fails raises its error index; the buffer is freed.
    sim::NorFlash& flash = *m_machine->GetBoard().FindDevice<sim::NorFlash>();
    for (uint32_t ulBank : {TONE_BANK_0, TONE_BANK_1}) flash.SetProgramFailBits(ulBank - 0x60000000u, 0xFFFF);
    ASSERT_EQ(Request(UPDATE_KIND_TONE_CURVE_SAVE, 3, TONE_CURVE_SIZE), 0);
    EndDataPhase(false);
    EXPECT_EQ(ApplyPendingUpdates(), -1);
    EXPECT_TRUE(IsErrorRaised(0x115));
    EXPECT_EQ(FreeSlots(), Pool().Count());
  }, Ms(60000));
}

// Resets accepted while their replies wait are counted: with one in the
// list, two more are accepted and the next refused, and each accepted one
// is appended once with its own kind and argument.
TEST_F(UpdateHandlers, ResetsAcceptedBeforeTheirRepliesAreCountedAndAppendedOnceEach) {
  InApp([] {
    g_ulPendingResetCount = 1;
    g_ulPendingResetKind[0] = RESET_KIND_LAMINATE;
    g_ulPendingResetArg[0] = 0;
    ResetBlock* pBlock = nullptr;
    usb_comm_get_reset_block(&pBlock);
    const uint8_t aucCurves[] = {4, 7, 2};
    const uint8_t aucExpected[] = {0, 0, REPLY_ERR_QUEUE_FULL};
    for (uint32_t i = 0; i < 3; ++i) {
      PostRequest(AppRequestCode(APPMSG_RESET), {RESET_KIND_TONE_CURVE, aucCurves[i]}, static_cast<uint8_t>(i + 1));
      usb_comm_receive();
      usb_comm_dispatch_request();
      EXPECT_EQ(pBlock->ucResult, aucExpected[i]) << i;
    }
    EXPECT_EQ(AcceptedResetCount(), 2u);
    // Both replies go out; each builder finds accepted resets or none.
    for (int i = 0; i < 12; ++i) {
      usb_comm_poll();
      TakeMessage();
      usb_comm_run_events();
    }
    ASSERT_EQ(g_ulPendingResetCount, 3u);
    EXPECT_EQ(g_ulPendingResetKind[1], RESET_KIND_TONE_CURVE);
    EXPECT_EQ(g_ulPendingResetArg[1], 4u);
    EXPECT_EQ(g_ulPendingResetKind[2], RESET_KIND_TONE_CURVE);
    EXPECT_EQ(g_ulPendingResetArg[2], 7u);
    EXPECT_EQ(AcceptedResetCount(), 0u);
    uint32_t ulSet = 0;
    g_pCurEventMng->TestEvent(EV_DEFERRED_RESET, &ulSet);
    EXPECT_EQ(ulSet, 1u);

    // A curve outside 1-8 leaves result 1 and rebuilds nothing.
    g_ulPendingResetCount = 1;
    g_ulPendingResetKind[0] = RESET_KIND_TONE_CURVE;
    g_ulPendingResetArg[0] = 9;
    pBlock->ucResult = 0;
    const int32_t lBankBefore = SettingValue(g_ParamTonecurveNo);
    ApplyPendingResets();
    EXPECT_EQ(pBlock->ucResult, REPLY_ERR_BAD_PARAMETER);
    EXPECT_EQ(SettingValue(g_ParamTonecurveNo), lBankBefore) << "no bank written";
    EXPECT_EQ(g_ulPendingResetCount, 0u);
    g_pCurEventMng->TestEvent(EV_DEFERRED_RESET, &ulSet);
    EXPECT_EQ(ulSet, 0u);
  });
}

struct WriterCase {
  const char* name;
  uint8_t ucKind;
  uint32_t ulSize;
  uint32_t ulRaised;
  uint32_t ulCleared;  // raised before, cleared by the failure; 0: none
};

// Received data that is no image fails each writer's check before flash
// is touched.
const WriterCase kWriters[] = {
    {"DSP checksum", UPDATE_KIND_DSP, 0x40000, 0x111, 0x109},
    {"MAIN check", UPDATE_KIND_MAIN, 0x1000, 0x10F, 0},
    {"TABLE check", UPDATE_KIND_TABLE, 0x1000, 0x113, 0x10A},
    {"calibration check", UPDATE_KIND_CALIBRATION, 4920, 0x11B, 0},
    {"calibration check with serial", UPDATE_KIND_CALIBRATION, 4928, 0x11B, 0},
};

TEST_F(UpdateHandlers, AWriterThatFailsRaisesItsErrorIndexAndNoRestartFollows) {
  // Neither erased nor zero: an image of those would pass its sum.
  static std::vector<uint8_t> noImage(0x40000);
  for (size_t i = 0; i < noImage.size(); ++i) noImage[i] = static_cast<uint8_t>(0x35 + i * 7);
  InApp([] {
    for (const WriterCase& c : kWriters) {
      HwWriteBlock(DOWNLOAD_BUFFER, noImage.data(), static_cast<uint32_t>(noImage.size()));
      if (c.ulCleared != 0) g_ErrorMng.SetError(c.ulCleared);
      ASSERT_EQ(Request(c.ucKind, 0, c.ulSize), 0) << c.name;
      EXPECT_LT(EndDataPhase(false), 0) << c.name;
      EXPECT_TRUE(IsErrorRaised(c.ulRaised)) << c.name;
      if (c.ulCleared != 0) {
        EXPECT_FALSE(IsErrorRaised(c.ulCleared)) << c.name;
      }
      EXPECT_EQ(g_ulMainLoopStop, 0u) << c.name;
      EXPECT_EQ(GetStatusItem(SI_PRINTER_STATE), PRINTER_STATE_DOWNLOADING) << c.name;
      EXPECT_EQ(FreeSlots(), Pool().Count()) << c.name;
      g_ErrorMng.ClearError(c.ulRaised);
    }
  }, Ms(20000));
}

}  // namespace
