// The data phase: rows carried between calls, strips of whole rows through
// the pipeline, the staged send's final flush, one-bit images as given,
// and the bound of the image's byte count.
#include "print_test_support.h"

namespace hostlib_test {
namespace {

// The pipeline's output goes to `sent`, one entry per strip.
class StripTest : public PrintTest {
 protected:
  void SetUp() override {
    PrintTest::SetUp();
    CaptureOutput();
  }
};

TEST_F(PrintTest, HalfARowIsCarriedToTheNextCallInModeZero) {
  Start(100, 2, 3, 3);  // rows of 300 bytes; the image's end flushes
  const Bytes image = TestBytes(600, 1);
  const size_t before = Mark();
  Sent call = SendData(image, 0, 450);
  ASSERT_EQ(call.result, 1);
  EXPECT_EQ(call.length, 450u);
  EXPECT_EQ(Job().bytesStaged, 300u) << "one row staged, half a row carried";
  EXPECT_EQ(Mark(), before);
  call = SendData(image, 450, 150);
  ASSERT_EQ(call.result, 1);
  EXPECT_EQ(Received(before), image);
}

TEST_F(StripTest, WholeRowsGoThroughThePipelineInStripsOfTenRows) {
  // Rows of 12288 bytes: 131072 / 12288 = 10 rows a strip.
  constexpr uint32_t kRow = 4096 * 3;
  struct Case {
    const char *what;
    std::vector<uint32_t> calls;  // rows per call
    std::vector<uint32_t> strips;  // rows per strip
  };
  const Case cases[] = {
      {"one call", {25}, {10, 10, 5}},
      {"calls of 1, 7 and 17 rows", {1, 7, 17}, {1, 7, 10, 7}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    sent.clear();
    Start(4096, 25, 3, 3);
    const Bytes image = TestBytes(25 * kRow, 2);
    uint32_t at = 0;
    for (uint32_t rows : c.calls) {
      const Sent call = SendData(image, at, rows * kRow);
      ASSERT_EQ(call.result, 1);
      EXPECT_EQ(call.length, rows * kRow);
      at += rows * kRow;
    }
    ASSERT_EQ(sent.size(), c.strips.size());
    for (size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i].size(), c.strips[i] * kRow) << "strip " << i;
    EXPECT_EQ(AllSent(), image);
    EXPECT_EQ(Job().rowsConverted, 25u);
    EXPECT_EQ(Job().bytesSent, 25 * kRow);
  }
}

TEST_F(PrintTest, TheLastWriteFlushesAtTheImagesCount) {
  Start(1000, 5, 3, 3);  // 15000 bytes: three full staging buffers and 2712
  const Bytes image = TestBytes(15000, 3);
  const size_t before = Mark();
  ASSERT_EQ(SendData(image, 0, 15000).result, 1);
  const auto writes = usbctrl_double::Written(0);
  ASSERT_EQ(writes.size(), before + 4);
  EXPECT_EQ(writes.back().size(), 2712u);
  EXPECT_EQ(Received(before), image);
}

// BGR rows are swapped to RGB; with the first table set active the tables
// do that swap as they map, and the strip goes on as unswapped.
TEST_F(StripTest, BgrRowsAndTheFirstTableSet) {
  struct Case {
    const char *what;
    bool tables;
  };
  const Case cases[] = {{"swap only", false}, {"first table set", true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    sent.clear();
    SetMedia(40, 3);
    uint16_t err = 0xFFFF;
    ASSERT_EQ(Session().SetImageFormat(4, 3, 8, 40, 3, 0, 0, &err), 1);
    Session().InitIdentityLut();
    if (c.tables) {
      for (int i = 0; i < 256; ++i) {
        Job().lut[0][i] = static_cast<uint8_t>(255 - i);
        Job().lut[1][i] = static_cast<uint8_t>(i / 2);
        Job().lut[2][i] = static_cast<uint8_t>(i ^ 0x5A);
      }
    }
    ASSERT_EQ(Session().StartPrint(JobId(), 0, &err), 1);
    EXPECT_EQ(Pipeline().Mode(), hostlib::kModePlain);
    const Bytes image = TestBytes(360, 4);
    ASSERT_EQ(SendData(image, 0, 360).result, 1);
    Bytes expected(360);
    for (size_t p = 0; p < 360; p += 3) {
      expected[p] = image[p + 2];
      expected[p + 1] = image[p + 1];
      expected[p + 2] = image[p];
      if (c.tables) {
        expected[p] = Job().lut[0][expected[p]];
        expected[p + 1] = Job().lut[1][expected[p + 1]];
        expected[p + 2] = Job().lut[2][expected[p + 2]];
      }
    }
    EXPECT_EQ(AllSent(), expected);
    Session().EndPrintData(&err);
  }
}

// Past the image's count the printer would read bytes as commands: the
// excess is refused and only the bytes within the count go. One-bit images
// (one component) count ceil(w / 8) bytes a row and go as given.
TEST_F(PrintTest, BytesPastTheImagesCountAreRefused) {
  struct Case {
    const char *what;
    uint16_t width, height, components, type;
    uint32_t count;   // the image's bytes on the wire
    uint32_t first;   // a send within the count
    uint32_t second;  // a send across its end
  };
  const Case cases[] = {
      {"one-bit rows of 3 bytes", 20, 3, 1, 1, 9, 5, 7},
      {"colour rows of 300 bytes", 100, 2, 3, 3, 600, 300, 600},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Start(c.width, c.height, c.components, c.type);
    const Bytes image = TestBytes(c.first + c.second + 1, 5);
    const size_t before = Mark();
    ASSERT_EQ(SendData(image, 0, c.first).result, 1);
    Sent call = SendData(image, c.first, c.second);
    EXPECT_EQ(call.result, 0);
    EXPECT_EQ(call.code, RESULT_BAD_PARAMETER);
    EXPECT_EQ(call.length, c.count - c.first);
    EXPECT_EQ(Received(before), Bytes(image.begin(), image.begin() + c.count));
    call = SendData(image, c.first + c.second, 1);
    EXPECT_EQ(call.result, 0);
    EXPECT_EQ(call.code, RESULT_BAD_PARAMETER);
    EXPECT_EQ(call.length, 0u);
    EXPECT_EQ(Received(before).size(), c.count);
    uint16_t err = 0xFFFF;
    Session().EndPrintData(&err);
  }
}

// A send that ends inside a row cannot pass a converter: refused, nothing
// sent, while the pipeline changes bytes.
TEST_F(PrintTest, PartialRowsAreRefusedWhileThePipelineChangesBytes) {
  struct Case {
    const char *what;
    uint16_t type;
    void (*prepare)(hostlib::PrinterSession &);
    uint32_t mode;
  };
  const Case cases[] = {
      {"BGR rows", 4, [](hostlib::PrinterSession &) {}, hostlib::kModePlain},
      {"first table set", 3, [](hostlib::PrinterSession &s) { s.Image().lut[1][9] = 0; }, hostlib::kModePlain},
      {"second table set", 3, [](hostlib::PrinterSession &s) { s.Image().lut[4][9] = 0; }, hostlib::kModeTables},
      {"filter",
       3,
       [](hostlib::PrinterSession &s) {
         const int32_t soften[9] = {10, 10, 10, 10, 20, 10, 10, 10, 10};
         s.SetFilter(soften);
       },
       hostlib::kModeFilter},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    SetMedia(100, 4);
    uint16_t err = 0xFFFF;
    ASSERT_EQ(Session().SetImageFormat(c.type, 3, 8, 100, 4, 0, 0, &err), 1);
    Session().InitIdentityLut();
    Session().SetFilter(nullptr);
    c.prepare(Session());
    ASSERT_EQ(Session().StartPrint(JobId(), 0, &err), 1);
    EXPECT_EQ(Pipeline().Mode(), c.mode);
    const Bytes image = TestBytes(1200, 7);
    const size_t before = Mark();
    const Sent call = SendData(image, 0, 450);
    EXPECT_EQ(call.result, 0);
    EXPECT_EQ(call.code, RESULT_BAD_PARAMETER);
    EXPECT_EQ(call.length, 0u);
    EXPECT_EQ(Mark(), before);
    EXPECT_EQ(Job().bytesStaged, 0u);
    EXPECT_EQ(SendData(image, 0, 1200).result, 1) << "whole rows still go";
    Session().EndPrintData(&err);
  }
}

TEST_F(PrintTest, AFailedWriteReportsAUsbError) {
  Start(100, 20, 3, 3);
  const Bytes image = TestBytes(6000, 8);
  usbctrl_double::FailWritesAfter(0, 0);
  const Sent call = SendData(image, 0, 6000);
  usbctrl_double::FailWritesAfter(0, -1);
  EXPECT_EQ(call.result, 0);
  EXPECT_EQ(call.code, RESULT_USB_ERROR);
  EXPECT_EQ(call.length, 0u);
}

TEST_F(PrintTest, PaddingRowsAreWhiteAndBoundedByTheImage) {
  Start(100, 2, 3, 3);
  const size_t before = Mark();
  EXPECT_EQ(Session().SendPaddingRows(300, 2), 1);
  EXPECT_EQ(Received(before), Bytes(600, 0xFF));
  EXPECT_EQ(Session().SendPaddingRows(300, 1), 0);
  EXPECT_EQ(Received(before).size(), 600u);
}

// Before any image format there are no rows to cut strips of.
TEST_F(PrintTest, StripsWithoutAnImageFormatAreRefused) {
  const Bytes data = TestBytes(30, 9);
  uint32_t length = 30;
  uint16_t err = 0xFFFF;
  Job().width = 0;
  EXPECT_EQ(Session().SendImageStrips(data.data(), &length, &err), 0);
  EXPECT_EQ(err, RESULT_BAD_PARAMETER);
  EXPECT_EQ(length, 0u);
}

}  // namespace
}  // namespace hostlib_test
