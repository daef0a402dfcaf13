// The data phase of a started job: image rows to the printer, never more
// than the printer armed its receive for (the protocol's print-data size
// of the image), since bytes past it would reach the printer's command
// channel as packets.
//
// Colour rows go through the image pipeline in strips of whole rows. A send
// that ends inside a row can only be carried over to the next call while
// the pipeline passes bytes unchanged; otherwise it is refused, since the
// converters work on whole rows only. One-bit images (one component) go to
// the printer as the caller gives them.
#include <algorithm>
#include <cstring>

#include "host_result_codes.h"
#include "printer_session.h"
#include "protocol/print_size.h"

namespace hostlib {

namespace {

int RefuseData(uint32_t *length, uint16_t *err) {
  if (length != nullptr) *length = 0;
  *err = RESULT_BAD_PARAMETER;
  return 0;
}

}  // namespace

uint32_t PrinterSession::ImageByteCount() const {
  const uint8_t wireType = image_.type == kImageTypeGrey ? protocol::IMAGE_TYPE_ONE_BIT : protocol::IMAGE_TYPE_COLOUR;
  return protocol::PrintDataSize(image_.width, image_.height, wireType);
}

uint32_t PrinterSession::WithinImageCount(uint32_t length) const {
  const uint32_t count = ImageByteCount();
  return std::min(length, count - std::min(image_.bytesSent, count));
}

bool PrinterSession::PipelineChangesBytes() const {
  const bool swapped = image_.type == kImageTypeBgr && image_.components == 3;
  return pipeline_->Mode() != kModePlain || swapped || image_.firstSetActive != 0;
}

int PrinterSession::SendPrintData(const uint8_t *data, uint32_t *length, uint16_t *err) {
  if (image_.components != 1) return SendImageStrips(data, length, err);
  const uint32_t asked = length != nullptr ? *length : 0;
  uint32_t within = WithinImageCount(asked);
  if (asked != 0 && within == 0) return RefuseData(length, err);
  if (!SendBulkData(*this, data, &within, err)) return 0;
  image_.bytesSent += within;
  if (within < asked) {
    *length = within;
    *err = RESULT_BAD_PARAMETER;
    return 0;
  }
  return 1;
}

int PrinterSession::ConvertWholeRows(const uint8_t *data, uint32_t *length, uint16_t *err) {
  const uint32_t rowBytes = image_.RowBytes();
  const uint32_t stripMax = RowsPerStrip(rowBytes) * rowBytes;
  const uint32_t total = *length;
  *length = 0;
  while (*length < total) {
    uint32_t piece = std::min(total - *length, stripMax);
    uint8_t *strip = stripBuffer_.get();
    std::memcpy(strip, data + *length, piece);
    uint32_t swapped = image_.type == kImageTypeBgr ? 1 : 0;
    if (image_.firstSetActive != 0) {
      // The first table set puts the channels in order as it maps them.
      ApplyChannelLut(strip, strip, image_.components, piece / image_.components, image_.Set(1), swapped);
      swapped = 0;
    }
    const uint32_t taken = piece;
    if (!pipeline_->ConvertStrip(strip, &piece, err, swapped)) return 0;
    *length += taken;
  }
  return 1;
}

int PrinterSession::SendImageStrips(const uint8_t *data, uint32_t *length, uint16_t *err) {
  if (data == nullptr || length == nullptr || *length == 0) {
    *err = RESULT_OK;
    return 1;
  }
  if (selectedDevice_.load() >= kDeviceCount) {
    *err = RESULT_PRINTER_NOT_RECOGNIZED;
    return 0;
  }
  const uint32_t rowBytes = image_.RowBytes();
  // No image format yet, or rows wider than the row buffer: nothing to cut.
  if (rowBytes == 0 || rowBytes > kRowBufferSize || !stripBuffer_) return RefuseData(length, err);
  if (image_.rowsConverted == 0) image_.imageBytes = rowBytes * image_.height;
  const uint32_t asked = *length;
  uint32_t within = WithinImageCount(asked);
  if (within == 0) return RefuseData(length, err);
  int sent = 0;
  if (within % rowBytes == 0) {
    sent = ConvertWholeRows(data, &within, err);
  } else if (PipelineChangesBytes()) {
    return RefuseData(length, err);
  } else {
    sent = SendStagedData(data, &within, err);
  }
  if (sent == 0) {
    *length = 0;
    *err = RESULT_USB_ERROR;
    return 0;
  }
  image_.bytesSent += within;
  *length = within;
  *err = within < asked ? RESULT_BAD_PARAMETER : RESULT_OK;
  return within < asked ? 0 : 1;
}

int PrinterSession::SendPaddingRows(uint32_t bytes, uint32_t count) {
  if (!paddingRow_ || bytes > kRowBufferSize) return 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t length = WithinImageCount(bytes);
    if (length < bytes) return 0;
    uint16_t code = RESULT_OK;
    if (!SendStagedData(paddingRow_.get(), &length, &code)) return 0;
    image_.bytesSent += bytes;
  }
  return 1;
}

}  // namespace hostlib
