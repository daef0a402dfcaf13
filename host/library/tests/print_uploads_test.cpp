// Laminate-pattern and tone-curve uploads, the tone-curve read-back and
// SortedMaximum.
#include "print_test_support.h"

namespace hostlib_test {
namespace {

using protocol::CMD_READ_TONE_CURVE;
using protocol::CMD_RESET;
using protocol::CMD_UPDATE;

constexpr uint32_t kPatternSize = 8929536;

Bytes UpdatePacket(uint8_t kind, uint8_t argument, uint32_t size) {
  return {0x04, 0xC0, 0x0A, 0x00, kind, argument, 0, 0, 0, 0, static_cast<uint8_t>(size),
          static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)};
}
Bytes ResetPacket(uint8_t kind, uint8_t argument) { return {0x04, 0x40, 0x02, 0x00, kind, argument}; }

TEST_F(PrintTest, LaminatePatternSteps) {
  const Bytes pattern = TestBytes(kPatternSize, 11);
  struct Case {
    uint16_t step;
    int result;
    uint16_t code;
    Bytes packet;  // empty: nothing sent
    size_t dataWrites;
  };
  const Case cases[] = {
      {0, 1, RESULT_OK, UpdatePacket(protocol::UPDATE_KIND_LAMINATE_1, 0, kPatternSize), 2181},
      {2, 1, RESULT_OK, ResetPacket(protocol::RESET_KIND_LAMINATE, 0), 0},
      {1, 0, RESULT_BAD_PARAMETER, {}, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "step " << c.step);
    const size_t before = Mark();
    uint16_t err = 0xFFFF;
    EXPECT_EQ(Session().UploadLaminatePattern(c.step, pattern.data(), &err), c.result);
    EXPECT_EQ(err, c.code);
    const auto writes = usbctrl_double::Written(0);
    ASSERT_EQ(writes.size() - before, c.packet.empty() ? 0 : 1 + c.dataWrites);
    if (!c.packet.empty()) {
      EXPECT_EQ(writes[before], c.packet);
    }
    if (c.dataWrites != 0) {
      EXPECT_EQ(writes.back().size(), 256u);
      EXPECT_EQ(Received(before + 1), pattern);
    }
    EXPECT_TRUE(DeviceLockIsFree());
  }
}

TEST_F(PrintTest, ToneCurveWritesByTypeAndCurve) {
  const Bytes curve = TestBytes(protocol::TONE_CURVE_SIZE, 12);
  struct Case {
    uint16_t type;
    uint16_t curve;
    Bytes packet;  // empty: refused, nothing sent
  };
  const Case cases[] = {
      {0, 1, ResetPacket(protocol::RESET_KIND_TONE_CURVE, 1)},
      {0, 8, ResetPacket(protocol::RESET_KIND_TONE_CURVE, 8)},
      {1, 1, UpdatePacket(protocol::UPDATE_KIND_TONE_CURVE_SAVE, 1, 1536)},
      {2, 8, UpdatePacket(protocol::UPDATE_KIND_TONE_CURVE, 8, 1536)},
      {0, 0, {}}, {1, 9, {}}, {2, 0, {}}, {3, 1, {}}, {3, 8, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << " curve " << c.curve);
    const size_t before = Mark();
    uint16_t err = 0xFFFF;
    EXPECT_EQ(Session().WriteToneCurve(c.type, c.curve, curve.data(), &err), c.packet.empty() ? 0 : 1);
    EXPECT_EQ(err, c.packet.empty() ? RESULT_BAD_PARAMETER : RESULT_OK);
    const auto writes = usbctrl_double::Written(0);
    if (c.packet.empty()) {
      EXPECT_EQ(writes.size(), before);
      continue;
    }
    ASSERT_GT(writes.size(), before);
    EXPECT_EQ(writes[before], c.packet);
    EXPECT_EQ(Received(before + 1), c.type == 0 ? Bytes{} : curve);
    EXPECT_TRUE(DeviceLockIsFree());
  }
}

// The curve follows its 2-byte reply in pieces [pieces to come][n][n bytes].
std::vector<Bytes> CurveReplies(const Bytes &curve, uint16_t announced, size_t pieceSize) {
  std::vector<Bytes> replies = {
      ReplyBytes(0, protocol::PRINTER_STATE_READY, {static_cast<uint8_t>(announced), static_cast<uint8_t>(announced >> 8)})};
  const size_t pieces = (curve.size() + pieceSize - 1) / pieceSize;
  for (size_t i = 0; i < pieces; ++i) {
    const size_t at = i * pieceSize;
    const size_t n = std::min(pieceSize, curve.size() - at);
    Bytes piece = {static_cast<uint8_t>(pieces - 1 - i), static_cast<uint8_t>(n)};
    piece.insert(piece.end(), curve.begin() + static_cast<long>(at), curve.begin() + static_cast<long>(at + n));
    replies.push_back(piece);
  }
  return replies;
}

TEST_F(PrintTest, ToneCurveReadBack) {
  const Bytes curve = TestBytes(protocol::TONE_CURVE_SIZE, 13);
  struct Case {
    const char *what;
    std::vector<Bytes> replies;
    int result;
    uint16_t code;
  };
  std::vector<Bytes> lying = CurveReplies(curve, 1536, 16);
  lying[5][1] = 15;  // n says 15, 16 bytes came
  const Case cases[] = {
      {"pieces of 16 that add up", CurveReplies(curve, 1536, 16), 1, RESULT_OK},
      {"pieces of 7 that add up", CurveReplies(curve, 1536, 7), 1, RESULT_OK},
      {"more announced than a curve holds", CurveReplies(Bytes(1600, 1), 1600, 16), 0, RESULT_USB_ERROR},
      {"refused", {ReplyBytes(protocol::REPLY_ERR_BAD_PARAMETER, 0, {})}, 0, RESULT_BAD_PARAMETER},
      // Last: the pieces after the bad one stay unread.
      {"a piece whose n differs from its length", lying, 0, RESULT_USB_ERROR},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    usbctrl_double::QueueRawReplies(0, c.replies);
    std::vector<uint16_t> values(768 + 1, 0xEEEE);
    const size_t before = Mark();
    uint16_t err = 0xFFFF;
    EXPECT_EQ(Session().ReadToneCurve(2, 3, values.data(), &err), c.result);
    EXPECT_EQ(err, c.code);
    EXPECT_EQ(usbctrl_double::Written(0)[before], (Bytes{0x05, 0x40, 0x02, 0x00, 2, 3}));
    if (c.result == 1) {
      for (size_t i = 0; i < 768; ++i) ASSERT_EQ(values[i], curve[2 * i] | curve[2 * i + 1] << 8) << i;
    }
    if (c.code != RESULT_OK) {
      EXPECT_EQ(values[0], 0xEEEE) << "nothing written";
    }
    EXPECT_EQ(values[768], 0xEEEE);
    EXPECT_TRUE(DeviceLockIsFree());
    usbctrl_double::DropRawReplies(0);
  }
}

TEST_F(PrintTest, ToneCurveReadArgumentsAreChecked) {
  const std::pair<uint16_t, uint16_t> refused[] = {{0, 1}, {3, 1}, {1, 0}, {2, 9}};
  for (const auto &[type, curve] : refused) {
    uint16_t values[768] = {};
    const size_t before = Mark();
    uint16_t err = 0xFFFF;
    EXPECT_EQ(Session().ReadToneCurve(type, curve, values, &err), 0);
    EXPECT_EQ(err, RESULT_BAD_PARAMETER);
    EXPECT_EQ(Mark(), before);
  }
}

// Announcing data that is not there would leave the printer waiting for
// it: missing data is refused before anything is sent.
TEST_F(PrintTest, UploadsWithoutDataSendNothing) {
  struct Case {
    const char *what;
    std::function<int(uint16_t *)> upload;
  };
  const Case cases[] = {
      {"laminate pattern", [this](uint16_t *err) { return Session().UploadLaminatePattern(0, nullptr, err); }},
      {"stored tone curve", [this](uint16_t *err) { return Session().WriteToneCurve(1, 3, nullptr, err); }},
      {"tone curve in RAM", [this](uint16_t *err) { return Session().WriteToneCurve(2, 3, nullptr, err); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const size_t before = Mark();
    uint16_t err = 0xFFFF;
    EXPECT_EQ(c.upload(&err), 0);
    EXPECT_EQ(err, RESULT_BAD_PARAMETER);
    EXPECT_EQ(Mark(), before);
    EXPECT_TRUE(DeviceLockIsFree());
  }
}

TEST(SortedMaximum, IsTheLargestOfTheFirstValues) {
  std::vector<uint16_t> values(300, 1);
  values[7] = 500;
  values[259] = 700;
  values[260] = 900;  // beyond the 260 looked at
  EXPECT_EQ(hostlib::SortedMaximum(0, values.data()), 0);
  EXPECT_EQ(hostlib::SortedMaximum(5, values.data()), 1);
  EXPECT_EQ(hostlib::SortedMaximum(8, values.data()), 500);
  EXPECT_EQ(hostlib::SortedMaximum(300, values.data()), 700);
}

}  // namespace
}  // namespace hostlib_test
