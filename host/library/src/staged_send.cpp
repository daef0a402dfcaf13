// The staged send: image rows completed in the row buffer and written to
// the printer in blocks of the staging buffer's size.
#include <algorithm>
#include <cstring>

#include "host_result_codes.h"
#include "printer_session.h"

namespace hostlib {

void PrinterSession::BeginImageData() {
  image_.rowsConverted = 0;
  image_.bytesStaged = 0;
  image_.bytesSent = 0;
  image_.imageBytes = image_.RowBytes() * image_.height;
  carriedRowBytes_ = 0;
  if (rowBuffer_) std::memset(rowBuffer_.get(), 0xFF, kRowBufferSize);
  stagingCapacity_ = kStagingCapacity;
  stagingFree_ = kStagingCapacity;
}

bool PrinterSession::FlushStaging(uint16_t *err) {
  const uint32_t filled = stagingCapacity_ - stagingFree_;
  uint32_t written = filled;
  const int ok = SendDataDirect(staging_.get(), &written, err);
  if (ok) {
    stagingFree_ = stagingCapacity_;
    return true;
  }
  // What was not written stays at the front, to go first next time.
  written = std::min(written, filled);
  std::memmove(staging_.get(), staging_.get() + written, filled - written);
  stagingFree_ = stagingCapacity_ - (filled - written);
  return false;
}

bool PrinterSession::StageRow(const uint8_t *row, uint32_t rowBytes, uint16_t *err) {
  uint32_t done = 0;
  while (done < rowBytes) {
    if (stagingFree_ == 0 && !FlushStaging(err)) return false;
    const uint32_t piece = std::min(stagingFree_, rowBytes - done);
    std::memcpy(staging_.get() + (stagingCapacity_ - stagingFree_), row + done, piece);
    stagingFree_ -= piece;
    done += piece;
    image_.bytesStaged += piece;
    const bool complete = image_.imageBytes != 0 && image_.bytesStaged >= image_.imageBytes;
    if ((stagingFree_ == 0 || complete) && !FlushStaging(err)) return false;
  }
  return true;
}

int PrinterSession::SendStagedData(const uint8_t *data, uint32_t *length, uint16_t *err) {
  if (data == nullptr || length == nullptr || *length == 0) {
    *err = RESULT_OK;
    return 1;
  }
  const uint32_t rowBytes = image_.RowBytes();
  bool ok = staging_ && rowBuffer_ && rowBytes != 0 && rowBytes <= kRowBufferSize;
  uint32_t taken = 0;
  if (ok) {
    const uint64_t total = static_cast<uint64_t>(carriedRowBytes_) + *length;
    const uint64_t rows = total / rowBytes;
    for (uint64_t r = 0; r < rows && ok; ++r) {
      const uint32_t need = rowBytes - static_cast<uint32_t>(carriedRowBytes_);
      std::memcpy(rowBuffer_.get() + carriedRowBytes_, data + taken, need);
      taken += need;
      carriedRowBytes_ = 0;
      ok = StageRow(rowBuffer_.get(), rowBytes, err);
    }
  }
  if (ok) {
    const uint32_t rest = *length - taken;
    std::memcpy(rowBuffer_.get() + carriedRowBytes_, data + taken, rest);
    carriedRowBytes_ += static_cast<int32_t>(rest);
    *err = RESULT_OK;
    return 1;
  }
  *length = 0;
  *err = RESULT_USB_ERROR;
  return 0;
}

}  // namespace hostlib
