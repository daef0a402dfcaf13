// The image pipeline of a session: what becomes of the image rows between
// the application and the staged send. By mode: 0 plain (channel swap
// only), 1 the 3x3 filter, 2 colour matching, 3 the second table set.
#pragma once

#include <cstdint>

#include "image_job.h"

namespace hostlib {

class PrinterSession;

inline constexpr uint32_t kModePlain = 0;
inline constexpr uint32_t kModeFilter = 1;
inline constexpr uint32_t kModeColorMatch = 2;
inline constexpr uint32_t kModeTables = 3;
inline constexpr uint16_t kFilterMaxWidth = 4096;
inline constexpr uint32_t kFilterRowBufferSize = 16392;  // 4 + 4096 x 4 + 4
inline constexpr uint32_t kFilterOutputBlockSize = 81960;
inline constexpr uint32_t kStripBytesMax = 131072;
// Coefficients at the corners of the kernel; without one the five-tap
// cross is enough.
inline constexpr uint32_t kFilterCornerMask = 0x145;

// Rows of one strip as the print path cuts an image.
inline uint32_t RowsPerStrip(uint32_t rowBytes) { return rowBytes == 0 ? 0 : kStripBytesMax / rowBytes; }

// Exchanges the first and third byte of each of `count` 3-byte pixels.
void SwapRgbBgr(uint8_t *pixels, uint32_t count);
// Maps each pixel through a table set: with 3 or 4 components out = (T0[in0],
// T1[in1], T2[in2]) (swapped: T0[in2], T1[in1], T2[in0]) and a fourth byte
// unchanged; other component counts are copied as they are. dst may be src.
void ApplyChannelLut(uint8_t *dst, const uint8_t *src, uint16_t components, uint32_t pixels, const LutSet &set,
                     uint32_t swapped);

class ImagePipeline {
 public:
  // Where converted bytes go; by default the session's staged send.
  using Sink = int (*)(void *context, const uint8_t *data, uint32_t *length, uint16_t *err);

  explicit ImagePipeline(PrinterSession &session) : session_(session) {}
  ImagePipeline(const ImagePipeline &) = delete;
  ImagePipeline &operator=(const ImagePipeline &) = delete;

  // Picks the mode from the session's settings and writes the two
  // table-set flags.
  void ChooseMode(uint32_t *firstSetActive, uint32_t *secondSetActive);
  uint32_t Mode() const { return mode_; }
  // Converts the whole rows of a strip and hands them to the sink.
  int ConvertStrip(uint8_t *data, uint32_t *length, uint16_t *err, uint32_t swapped);
  // A null sink restores the staged send.
  void SetSink(Sink sink, void *context);

 private:
  int Filter(const uint8_t *data, uint32_t length, uint16_t *err, uint32_t swapped);
  void FilterMiddleRow(uint32_t swapped);
  int SendOutputBlock(uint16_t *err);
  int Send(uint8_t *data, uint32_t length, uint16_t *err);

  PrinterSession &session_;
  uint32_t mode_ = kModePlain;
  uint8_t rows_[3][kFilterRowBufferSize] = {};
  uint8_t output_[kFilterOutputBlockSize] = {};
  uint8_t *newest_ = rows_[0];
  uint8_t *middle_ = rows_[1];
  uint8_t *oldest_ = rows_[2];
  uint32_t outputFill_ = 0;
  uint32_t outputRows_ = 0;
  Sink sink_ = nullptr;
  void *sinkContext_ = nullptr;
};

}  // namespace hostlib
