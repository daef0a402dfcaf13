// PNG bytes into the printed sheets' reader: whatever it takes, the picture
// it gives has the size and channels it says, and written again it reads
// back the same.
#include "sim/mechanism/sheet_png.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sim::SheetImage image;
  if (!sim::sheet_png::Decode(data, size, &image)) return 0;
  fuzz::Require(image.channels == 1 || image.channels == 3, "grey or RGB");
  fuzz::Require(image.pixels.size() == static_cast<size_t>(image.width) * image.height * image.channels,
                "the pixels fill the picture");
  fuzz::Require(image.pixels.size() <= sim::sheet_png::kMaxReadBytes, "within the reader's bound");
  const std::vector<uint8_t> again = sim::sheet_png::Encode(image);
  sim::SheetImage back;
  fuzz::Require(sim::sheet_png::Decode(again.data(), again.size(), &back) && back == image, "written again, the same");
  return 0;
}
