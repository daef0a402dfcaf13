// The staged send: rows completed in the row buffer, writes of the staging
// buffer when it is full and at the image's end, and a failed write whose
// bytes go first next time.
#include "image_test_support.h"

namespace hostlib_test {
namespace {

class StagedSendTest : public ImageTest {
 protected:
  // Sends `bytes` of the image from `at` on; the call's result.
  int Send(const std::vector<uint8_t> &image, size_t at, uint32_t bytes, uint32_t *length, uint16_t *err) {
    *length = bytes;
    return Session().SendStagedData(image.data() + at, length, err);
  }
};

TEST_F(StagedSendTest, OneAndAHalfRowsSendOneRowAndCarryHalf) {
  SetImage(4096, 2, 1, 1);  // a row fills the staging buffer
  const std::vector<uint8_t> image = TestBytes(2 * 4096, 1);
  const size_t before = usbctrl_double::Written(0).size();
  uint32_t length = 0;
  uint16_t err = 0xFFFF;
  ASSERT_EQ(Send(image, 0, 6144, &length, &err), 1);
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_EQ(length, 6144u);
  auto writes = WritesFrom(before);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0], std::vector<uint8_t>(image.begin(), image.begin() + 4096));

  ASSERT_EQ(Send(image, 6144, 2048, &length, &err), 1);
  writes = WritesFrom(before);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[1], std::vector<uint8_t>(image.begin() + 4096, image.end()));
  EXPECT_EQ(Job().bytesStaged, Job().imageBytes);
}

TEST_F(StagedSendTest, WritesWhenFullAndAtTheImagesEnd) {
  struct Case {
    const char *what;
    uint32_t pieces;  // the image is sent in this many calls
  };
  const Case cases[] = {{"one call", 1}, {"ten calls", 10}, {"a call per byte group of 7", 1286}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    SetImage(1000, 3, 3, 3);  // 9000 bytes: 4096, 4096, then the last 808
    const std::vector<uint8_t> image = TestBytes(9000, 3);
    const size_t before = usbctrl_double::Written(0).size();
    const uint32_t step = (9000 + c.pieces - 1) / c.pieces;
    for (uint32_t at = 0; at < 9000; at += step) {
      uint32_t length = 0;
      uint16_t err = 0xFFFF;
      ASSERT_EQ(Send(image, at, std::min<uint32_t>(step, 9000 - at), &length, &err), 1);
    }
    const auto writes = WritesFrom(before);
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].size(), 4096u);
    EXPECT_EQ(writes[1].size(), 4096u);
    EXPECT_EQ(writes[2].size(), 808u);
    std::vector<uint8_t> received;
    for (const auto &w : writes) received.insert(received.end(), w.begin(), w.end());
    EXPECT_EQ(received, image);
  }
}

TEST_F(StagedSendTest, FailedWriteKeepsTheUnsentBytesForTheNextWrite) {
  SetImage(4096, 3, 1, 1);
  const std::vector<uint8_t> image = TestBytes(3 * 4096, 9);
  const size_t before = usbctrl_double::Written(0).size();
  usbctrl_double::FailWritesAfter(0, 0);
  uint32_t length = 0;
  uint16_t err = 0;
  EXPECT_EQ(Send(image, 0, 4096, &length, &err), 0);
  EXPECT_EQ(err, RESULT_USB_ERROR);
  EXPECT_EQ(length, 0u);
  EXPECT_TRUE(WritesFrom(before).empty());
  usbctrl_double::FailWritesAfter(0, -1);

  // The next rows go after the kept row, nothing lost or repeated.
  ASSERT_EQ(Send(image, 4096, 8192, &length, &err), 1);
  EXPECT_EQ(err, RESULT_OK);
  std::vector<uint8_t> received;
  for (const auto &w : WritesFrom(before)) received.insert(received.end(), w.begin(), w.end());
  EXPECT_EQ(received, image);
}

TEST_F(StagedSendTest, NothingToSendSucceeds) {
  SetImage(10, 1, 3, 3);
  uint32_t length = 0;
  uint16_t err = 0xFFFF;
  const uint8_t byte = 0;
  EXPECT_EQ(Session().SendStagedData(&byte, &length, &err), 1);
  EXPECT_EQ(err, RESULT_OK);
  length = 5;
  EXPECT_EQ(Session().SendStagedData(nullptr, &length, &err), 1);
}

}  // namespace
}  // namespace hostlib_test
