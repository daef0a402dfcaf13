// The media a printer-sim printer starts with: the start-up's ribbon
// initialisation and paper loading leave the ribbons the ribbon models hold
// (colour 8x10 in both units by default, or as the media option or the
// ribbon loads say) in the media configuration, and the host reads the
// sizes it may print from the USB task's media mirror with
// CMD_GET_MEDIA_INFO and CMD_GET_MEDIA_INFO_EX.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "firmware/control/event_states.h"
#include "firmware/hostif/usb_cmd_blocks.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/printengine/media_config.h"
#include "protocol/media.h"
#include "sim/media_option.h"
#include "sim/mechanism/ribbon_mechanism.h"
#include "tests/support/machine_test.h"

namespace {

using hostiftest::Command;
using hostiftest::ErrorCodeOf;
using testsupport::Ms;
using namespace protocol;

constexpr sim::Nanos kSettle = testsupport::kSettleToReady;

struct MediaCase {
  const char* name;
  std::optional<sim::Media> media;
  // Each unit's ribbon when no media is given.
  sim::RibbonType typeL, typeR;
  MediaBytes bytes;  // kind codes L, R; size codes L, R
  uint16_t usFullLength;
  std::vector<uint16_t> lengths;  // the printable sizes, 2464 dots wide
  uint32_t ulTypeIndexL, ulTypeIndexR;
};

const std::vector<uint16_t> k8x10Sizes{3024, 2408, 1808, 1208};
const std::vector<uint16_t> k8x12Sizes{3624, 3024, 2408, 1808, 1208};
constexpr auto k8x10 = sim::RibbonType::Color8x10K1;

const MediaCase kCases[] = {
    {"Default", std::nullopt, k8x10, k8x10, {3, 3, 1, 1}, 3024, k8x10Sizes, 0, 0},
    {"Media8x12", sim::Media::Size8x12, k8x10, k8x10, {3, 3, 2, 2}, 3624, k8x12Sizes, 1, 1},
    {"MediaNone", sim::Media::None, k8x10, k8x10, {0, 0, 0, 0}, 0, {}, 0, 0},
    // The smaller family of the two counts; each unit's model is its own.
    {"Mixed8x12And8x10", std::nullopt, sim::RibbonType::Color8x12K1, k8x10, {3, 3, 2, 1}, 3024, k8x10Sizes, 1, 0},
    // The four-panel ribbons give kind code 4.
    {"FourPanel8x12", std::nullopt, sim::RibbonType::Color8x12K2, sim::RibbonType::Color8x12K2, {4, 4, 2, 2}, 3624,
     k8x12Sizes, 3, 3},
};

void ExpectMediaBytes(const MediaBytes& got, const MediaBytes& want) {
  const uint8_t aucGot[] = {got.ribbonKindL, got.ribbonKindR, got.unitStateL, got.unitStateR};
  const uint8_t aucWant[] = {want.ribbonKindL, want.ribbonKindR, want.unitStateL, want.unitStateR};
  EXPECT_EQ(std::vector<uint8_t>(aucGot, aucGot + 4), std::vector<uint8_t>(aucWant, aucWant + 4));
}

class DefaultMedia : public testsupport::MachineTest, public ::testing::WithParamInterface<MediaCase> {
 protected:
  void SetUp() override {
    const MediaCase& c = GetParam();
    sim::MachineOptions options;
    options.media = c.media;
    options.ribbons[0].type = c.typeL;
    options.ribbons[1].type = c.typeR;
    BootNewPrinter(std::move(options));
    m_machine->RunUntil([] { return g_pCurEventMng == &g_EventMngReadyA; }, kSettle);
    ASSERT_EQ(g_pCurEventMng, &g_EventMngReadyA);
    ASSERT_TRUE(m_machine->UsbHost().WaitForConfigured(Ms(5000)));
  }

  // FindPrintSize on a print command of a full-width image of this length:
  // the size id found, or -1.
  int32_t FindPrintSize(uint16_t usLength) {
    static int32_t s_lFound;
    static uint16_t s_usLength;
    s_usLength = usLength;
    EXPECT_TRUE(m_machine->RunStep(
        [] {
          PrintBlock* pBlock = nullptr;
          usb_comm_get_print_block(&pBlock);
          pBlock->usImageWidth = 2464;
          pBlock->usImageHeight = s_usLength;
          PrintSizeRecord* pRecord = nullptr;
          s_lFound = g_MediaConfig.FindPrintSize(&pRecord) == 0 ? static_cast<int32_t>(pRecord->ulSizeId) : -1;
        },
        Ms(1000)));
    return s_lFound;
  }
};

TEST_P(DefaultMedia, TheHostReadsTheSizesOfTheLoadedRibbons) {
  const MediaCase& c = GetParam();

  const hostiftest::Reply info = Command(m_machine->UsbHost(), CMD_GET_MEDIA_INFO);
  ASSERT_EQ(ErrorCodeOf(info), 0);
  MediaInfoReply brief{};
  ASSERT_EQ(DecodeReply(info.data.data(), info.data.size(), &brief), WIRE_OK);
  ExpectMediaBytes(brief.media, c.bytes);
  EXPECT_EQ(brief.fullWidth, c.lengths.empty() ? 0 : 2464);
  EXPECT_EQ(brief.fullLength, c.usFullLength);

  const hostiftest::Reply infoEx = Command(m_machine->UsbHost(), CMD_GET_MEDIA_INFO_EX);
  ASSERT_EQ(ErrorCodeOf(infoEx), 0);
  MediaInfoExReply ex{};
  ASSERT_EQ(DecodeReply(infoEx.data.data(), infoEx.data.size(), &ex), WIRE_OK);
  ExpectMediaBytes(ex.media, c.bytes);
  ASSERT_EQ(ex.sizeCount, c.lengths.size());
  for (uint32_t i = 0; i < MEDIA_SIZE_ENTRIES; ++i) {
    SCOPED_TRACE(i);
    const bool bListed = i < c.lengths.size();
    EXPECT_EQ(ex.sizes[i].width, bListed ? 2464 : 0);
    EXPECT_EQ(ex.sizes[i].length, bListed ? c.lengths[i] : 0);
  }

  // The ribbon checks' selection: each unit's colour-sensor model of its
  // ribbon; the ribbon models hold what the media option loaded.
  EXPECT_EQ(g_ulRibbonTypeIndexL, c.ulTypeIndexL);
  EXPECT_EQ(g_ulRibbonTypeIndexR, c.ulTypeIndexR);
  sim::RibbonMechanism& ribbons = *m_machine->GetBoard().FindDevice<sim::RibbonMechanism>();
  if (c.media == sim::Media::Size8x12) {
    EXPECT_EQ(ribbons.Unit(sim::PrintUnit::L).Type(), sim::RibbonType::Color8x12K1);
    EXPECT_EQ(ribbons.Unit(sim::PrintUnit::R).Type(), sim::RibbonType::Color8x12K1);
  }
  EXPECT_EQ(ribbons.Unit(sim::PrintUnit::L).Fault(sim::RibbonFault::NoRibbon), c.media == sim::Media::None);
  EXPECT_EQ(ribbons.Unit(sim::PrintUnit::R).Fault(sim::RibbonFault::NoRibbon), c.media == sim::Media::None);

  // A print command finds its size only among the listed ones: the full
  // size, and 2408 lines, which both families list; never a length no row
  // holds. Without ribbon nothing is found, so every print is refused.
  const int32_t lFullSizeId = c.usFullLength == 3624 ? 6 : 5;
  EXPECT_EQ(FindPrintSize(c.usFullLength == 0 ? 3024 : c.usFullLength), c.lengths.empty() ? -1 : lFullSizeId);
  EXPECT_EQ(FindPrintSize(2408), c.lengths.empty() ? -1 : 9);
  EXPECT_EQ(FindPrintSize(2400), -1);
}

INSTANTIATE_TEST_SUITE_P(Media, DefaultMedia, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<MediaCase>& param) { return param.param.name; });

}  // namespace
