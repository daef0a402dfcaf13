// The image pipeline: mode choice, strip conversion, the 3x3 filter, the
// channel swap and the lookup tables.
#include "image_pipeline.h"

#include <algorithm>
#include <cstring>

#include "host_result_codes.h"
#include "printer_session.h"

namespace hostlib {

bool ImageJob::SetIsIdentity(int set) const {
  const LutSet &tables = Set(set);
  for (const auto &table : tables) {
    for (int i = 0; i < kLutEntries; ++i) {
      if (table[i] != i) return false;
    }
  }
  return true;
}

void SwapRgbBgr(uint8_t *pixels, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i, pixels += 3) std::swap(pixels[0], pixels[2]);
}

namespace {

template <int Components>
void MapPixels(uint8_t *dst, const uint8_t *src, uint32_t pixels, const uint8_t *t0, const uint8_t *t1,
               const uint8_t *t2, int first, int last) {
  for (uint32_t i = 0; i < pixels; ++i, src += Components, dst += Components) {
    const uint8_t a = src[first];
    const uint8_t b = src[1];
    const uint8_t c = src[last];
    if constexpr (Components == 4) dst[3] = src[3];
    dst[0] = t0[a];
    dst[1] = t1[b];
    dst[2] = t2[c];
  }
}

}  // namespace

void ApplyChannelLut(uint8_t *dst, const uint8_t *src, uint16_t components, uint32_t pixels, const LutSet &set,
                     uint32_t swapped) {
  const int first = swapped != 0 ? 2 : 0;
  const int last = swapped != 0 ? 0 : 2;
  if (components == 3) {
    MapPixels<3>(dst, src, pixels, set[0], set[1], set[2], first, last);
  } else if (components == 4) {
    MapPixels<4>(dst, src, pixels, set[0], set[1], set[2], first, last);
  } else if (dst != src) {
    std::memmove(dst, src, static_cast<size_t>(pixels) * components);
  }
}

// ---- ImagePipeline -------------------------------------------------------------

void ImagePipeline::SetSink(Sink sink, void *context) {
  sink_ = sink;
  sinkContext_ = context;
}

void ImagePipeline::ChooseMode(uint32_t *firstSetActive, uint32_t *secondSetActive) {
  const ImageJob &job = session_.Image();
  mode_ = kModePlain;
  *secondSetActive = 0;
  if (!job.SetIsIdentity(2)) {
    mode_ = kModeTables;
    *secondSetActive = 1;
  }
  if (session_.ColorMatch().world != nullptr) mode_ = kModeColorMatch;
  if (job.filterOn != 0 && job.width <= kFilterMaxWidth) mode_ = kModeFilter;
  *firstSetActive = job.SetIsIdentity(1) ? 0 : 1;
}

int ImagePipeline::Send(uint8_t *data, uint32_t length, uint16_t *err) {
  if (sink_ != nullptr) return sink_(sinkContext_, data, &length, err);
  return session_.SendStagedData(data, &length, err);
}

int ImagePipeline::ConvertStrip(uint8_t *data, uint32_t *length, uint16_t *err, uint32_t swapped) {
  ImageJob &job = session_.Image();
  if (mode_ == kModeFilter) return Filter(data, *length, err, swapped);
  const uint32_t rowBytes = job.RowBytes();
  const uint32_t rows = rowBytes == 0 ? 0 : *length / rowBytes;
  const uint32_t pixels = rows * job.width;
  switch (mode_) {
    case kModeColorMatch:
      if (swapped != 0 && job.components == 3) SwapRgbBgr(data, pixels);
      if (!ColorMatchWrapper::MatchPixels(session_.ColorMatch(), data, job.width, rows, job.components, data)) {
        *err = RESULT_USB_ERROR;
        return 0;
      }
      break;
    case kModeTables:
      ApplyChannelLut(data, data, job.components, pixels, job.Set(2), swapped);
      break;
    default:
      if (swapped != 0 && job.components == 3) SwapRgbBgr(data, pixels);
      break;
  }
  job.rowsConverted += rows;
  return Send(data, *length, err);
}

// ---- The 3x3 filter --------------------------------------------------------------

namespace {

// One output row from the rows above, here and below. Each row buffer holds
// the row from byte `Components` on, white (0xFF) to its left and right.
template <int Components, bool AllNine>
void FilterRow(const uint8_t *above, const uint8_t *here, const uint8_t *below, uint8_t *out, uint32_t width,
               const int32_t *k, const int *order) {
  const int64_t k0 = k[0], k1 = k[1], k2 = k[2], k3 = k[3], k4 = k[4], k5 = k[5], k6 = k[6], k7 = k[7], k8 = k[8];
  for (uint32_t x = 0; x < width; ++x) {
    const size_t at = Components + static_cast<size_t>(x) * Components;
    for (int c = 0; c < Components; ++c) {
      const size_t i = at + static_cast<size_t>(order[c]);
      int64_t sum = k1 * above[i] + k3 * here[i - Components] + k4 * here[i] + k5 * here[i + Components] +
                    k7 * below[i];
      if constexpr (AllNine) {
        sum += k0 * above[i - Components] + k2 * above[i + Components] + k6 * below[i - Components] +
               k8 * below[i + Components];
      }
      const int64_t value = sum / kFilterUnity;
      out[static_cast<size_t>(x) * Components + static_cast<size_t>(c)] =
          static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 255));
    }
  }
}

template <int Components>
void FilterRowOf(bool allNine, const uint8_t *above, const uint8_t *here, const uint8_t *below, uint8_t *out,
                 uint32_t width, const int32_t *k, const int *order) {
  if (allNine) {
    FilterRow<Components, true>(above, here, below, out, width, k, order);
  } else {
    FilterRow<Components, false>(above, here, below, out, width, k, order);
  }
}

}  // namespace

void ImagePipeline::FilterMiddleRow(uint32_t swapped) {
  const ImageJob &job = session_.Image();
  static constexpr int kStraight[4] = {0, 1, 2, 3};
  static constexpr int kReversed[4] = {2, 1, 0, 3};
  const int *order = swapped != 0 && job.components >= 3 ? kReversed : kStraight;
  const bool allNine = (job.filterMask & kFilterCornerMask) != 0;
  uint8_t *out = output_ + outputFill_;
  switch (job.components) {
    case 1:
      FilterRowOf<1>(allNine, oldest_, middle_, newest_, out, job.width, job.filter, order);
      break;
    case 3:
      FilterRowOf<3>(allNine, oldest_, middle_, newest_, out, job.width, job.filter, order);
      break;
    default:
      FilterRowOf<4>(allNine, oldest_, middle_, newest_, out, job.width, job.filter, order);
      break;
  }
  outputFill_ += job.RowBytes();
  ++outputRows_;
}

int ImagePipeline::SendOutputBlock(uint16_t *err) {
  const ImageJob &job = session_.Image();
  const uint32_t fill = outputFill_;
  const uint32_t rows = outputRows_;
  outputFill_ = 0;
  outputRows_ = 0;
  if (fill == 0) return 1;
  if (session_.ColorMatch().world != nullptr) {
    if (!ColorMatchWrapper::MatchPixels(session_.ColorMatch(), output_, job.width, rows, job.components,
                                        output_)) {
      *err = RESULT_USB_ERROR;
      return 0;
    }
  } else if (job.secondSetActive != 0) {
    ApplyChannelLut(output_, output_, job.components, rows * job.width, job.Set(2), 0);
  }
  return Send(output_, fill, err);
}

int ImagePipeline::Filter(const uint8_t *data, uint32_t length, uint16_t *err, uint32_t swapped) {
  ImageJob &job = session_.Image();
  const uint16_t components = job.components;
  if (job.width < 1 || job.width > kFilterMaxWidth || (components != 1 && components != 3 && components != 4)) {
    *err = RESULT_BAD_PARAMETER;
    return 0;
  }
  const uint32_t rowBytes = job.RowBytes();
  const uint32_t rows = length / rowBytes;
  if (job.rowsConverted == 0) {
    std::memset(rows_, 0xFF, sizeof rows_);
    outputFill_ = 0;
    outputRows_ = 0;
  }
  auto shift = [this] {
    uint8_t *reused = oldest_;
    oldest_ = middle_;
    middle_ = newest_;
    newest_ = reused;
  };
  auto emit = [&](uint16_t *code) {
    if (outputFill_ + rowBytes > kFilterOutputBlockSize && !SendOutputBlock(code)) return false;
    FilterMiddleRow(swapped);
    return true;
  };
  int result = 1;
  for (uint32_t r = 0; r < rows && result != 0; ++r) {
    shift();
    std::memset(newest_, 0xFF, 4);
    std::memcpy(newest_ + components, data + static_cast<size_t>(r) * rowBytes, rowBytes);
    std::memset(newest_ + components + rowBytes, 0xFF, 4);
    ++job.rowsConverted;
    if (job.rowsConverted >= 2 && !emit(err)) result = 0;
    if (result != 0 && job.rowsConverted == job.height) {
      // The last row has white below it.
      shift();
      std::memset(newest_, 0xFF, kFilterRowBufferSize);
      if (!emit(err) || !SendOutputBlock(err)) result = 0;
    }
  }
  if (result != 0) *err = RESULT_OK;
  return result;
}

}  // namespace hostlib
