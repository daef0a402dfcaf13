// The job's set-up and its frame: the image format, CMD_SETUP_PRINT_JOB,
// the job status, the Print command with its laminate strings, the end of
// the data phase, cancelling, and the job fields' defaults.
//
// The device lock: every operation takes it for its own scope, so every
// path releases it; only a StartPrint that succeeded hands its lock to the
// session, which keeps it through the data phase until EndPrintData.
#include <algorithm>
#include <cstring>

#include "host_result_codes.h"
#include "printer_session.h"
#include "protocol/codes.h"
#include "protocol/requests.h"
#include "protocol/wire.h"
#include "result_mapping.h"

namespace hostlib {

namespace {

// CMD_GET_JOB_STATUS reply bytes.
constexpr size_t kJobStatusCopiesAt = 1;
constexpr size_t kJobStatusImagesAt = 3;
constexpr size_t kJobStatusAAt = 4;
constexpr size_t kJobStatusBAt = 6;
constexpr size_t kJobStatusDataAt = 8;
// CMD_SETUP_PRINT_JOB reply bytes.
constexpr size_t kSetupUnitInfo1At = 1;
constexpr size_t kSetupUnitInfo2At = 2;
constexpr size_t kSetupExtraAt = 3;

bool IsImageType(uint16_t type) { return type == kImageTypeGrey || type == kImageTypeRgb || type == kImageTypeBgr; }
bool IsComponentCount(uint16_t components) { return components == 1 || components == 3; }

// A byte's low and high nibble.
void SplitNibbles(uint8_t byte, uint8_t out[2]) {
  out[0] = static_cast<uint8_t>(byte & 0x0F);
  out[1] = static_cast<uint8_t>(byte >> 4);
}

}  // namespace

int PrinterSession::SetImageFormat(uint16_t type, uint16_t components, uint16_t bits, uint16_t width,
                                   uint16_t height, uint16_t xOffset, uint16_t yOffset, uint16_t *err) {
  // Every check comes first: a refused format changes nothing.
  if (width < 1 || width > kImageSideMax || height < 1 || height > kImageSideMax || !IsImageType(type) ||
      !IsComponentCount(components) || bits != kImageBits ||
      static_cast<uint32_t>(width) + xOffset > mediaWidth_ || static_cast<uint32_t>(height) + yOffset > mediaHeight_) {
    return Refuse(err);
  }
  image_.type = type;
  image_.components = components;
  image_.width = width;
  image_.height = height;
  job_.xOffset = xOffset;
  job_.yOffset = yOffset;
  *err = RESULT_OK;
  return 1;
}

int PrinterSession::SetupPrintJob(uint16_t *jobId, uint8_t unitInfo1[2], uint8_t unitInfo2[2], uint8_t *extra,
                                  uint16_t copies, uint8_t flags1, uint8_t flags2, uint16_t cutOffset1,
                                  uint16_t cutOffset2, const uint8_t *cutList, uint16_t *err) {
  if (jobId == nullptr || unitInfo1 == nullptr || unitInfo2 == nullptr || extra == nullptr) return Refuse(err);
  *jobId = 0xFFFF;
  unitInfo1[0] = unitInfo1[1] = 0xFF;
  unitInfo2[0] = unitInfo2[1] = 0xFF;
  *extra = 0xFF;
  DeviceLock lock;
  if (!LockDevice(&lock, err)) return 0;
  job_.copies = copies;
  job_.flags1 = flags1;
  job_.flags2 = flags2;
  job_.cutOffset1 = cutOffset1;
  job_.cutOffset2 = cutOffset2;
  job_.cutCount = protocol::CUT_COUNT_DEFAULT;
  std::fill(std::begin(job_.cutPositions), std::end(job_.cutPositions), 0);
  if (cutList != nullptr) {
    if (cutList[0] == 0) return Refuse(err, RESULT_BAD_LAYOUT);
    job_.cutCount = cutList[0];
    for (size_t i = 0; i < protocol::CUT_POSITIONS_MAX; ++i) job_.cutPositions[i] = protocol::GetU16(cutList + 1 + 2 * i);
  }
  protocol::SetupPrintJobRequest request{};
  request.copies = job_.copies;
  request.unitRequest = protocol::PackJobImageFlags(job_.flags1, job_.flags2);
  request.cutOffset1 = job_.cutOffset1;
  request.cutOffset2 = job_.cutOffset2;
  request.cutCount = job_.cutCount;
  std::copy(std::begin(job_.cutPositions), std::end(job_.cutPositions), request.cutPositions);

  uint8_t reply[kReplyBufferMin] = {};
  uint16_t code = RESULT_OK;
  const int result = writer_->SendSetupPrintJob(request, &code) && reader_->ReadJobSetupReply(reply, sizeof reply, &code);
  // A full buffer still names the job the printer made; the call fails.
  if (result != 0 || code == RESULT_BUFFER_FULL) {
    job_.jobId = MakeJobId(selectedDevice_.load(), reply[0]);
    *jobId = job_.jobId;
    SplitNibbles(reply[kSetupUnitInfo1At], unitInfo1);
    SplitNibbles(reply[kSetupUnitInfo2At], unitInfo2);
    *extra = reply[kSetupExtraAt];
  }
  *err = FoldParameterCode(code);
  return result;
}

int PrinterSession::GetJobStatus(uint16_t *jobId, uint16_t *value, uint8_t *flags1, uint8_t *flags2, uint16_t *a,
                                 uint16_t *b, uint8_t data[kJobStatusDataBytes], uint16_t *err) {
  if (jobId == nullptr || value == nullptr || flags1 == nullptr || flags2 == nullptr || a == nullptr ||
      b == nullptr || data == nullptr) {
    return Refuse(err);
  }
  DeviceLock lock;
  if (!LockDevice(&lock, err)) return 0;
  uint8_t reply[kReplyBufferMin] = {};
  uint16_t code = RESULT_OK;
  const int result = writer_->SendGetJobStatus(&code) && reader_->ReadPayload(reply, sizeof reply, &code);
  if (result != 0) {
    // The printer answers for the job printing next (it reads no job id).
    *jobId = MakeJobId(selectedDevice_.load(), reply[0]);
    *value = protocol::GetU16(reply + kJobStatusCopiesAt);
    *flags1 = protocol::ColourFlagsOf(reply[kJobStatusImagesAt]);
    *flags2 = protocol::OneBitFlagsOf(reply[kJobStatusImagesAt]);
    *a = protocol::GetU16(reply + kJobStatusAAt);
    *b = protocol::GetU16(reply + kJobStatusBAt);
    std::memcpy(data, reply + kJobStatusDataAt, kJobStatusDataBytes);
  }
  *err = code;
  return result;
}

int PrinterSession::SendLaminateStrings(uint16_t *err) {
  for (uint8_t i = 0; i < laminateStrings_.Count(); ++i) {
    const LaminateString &entry = laminateStrings_.Entry(i);
    if (!writer_->SendSetLaminateString(entry.number, entry.x, entry.y, entry.style1, entry.style2,
                                        entry.textLength, entry.text, err)) {
      return 0;
    }
    // A refused entry does not stop the job.
    reader_->ReadAck(err);
  }
  return 1;
}

int PrinterSession::StartPrintLocked(uint16_t jobId, uint8_t second, uint16_t *err) {
  if (JobDevice(jobId) != selectedDevice_.load() || !IsImageType(image_.type) ||
      !IsComponentCount(image_.components)) {
    return Refuse(err);
  }
  // Checked before the status exchange, so a refusal sends nothing.
  if (!MediaSet()) return Refuse(err);
  if (!GetStatus(err)) return 0;
  BeginImageData();
  if (!SendLaminateStrings(err)) return 0;
  protocol::PrintRequest request{};
  request.jobNumber = JobNumber(jobId);
  request.hostArgument = second;
  request.imageWidth = image_.width;
  request.imageHeight = image_.height;
  request.mediaMaxWidth = mediaWidth_;
  request.mediaMaxHeight = mediaHeight_;
  request.xOffset = job_.xOffset;
  request.yOffset = job_.yOffset;
  request.printOptionA = static_cast<uint8_t>(printOptionA_);
  request.imageType = image_.type == kImageTypeGrey ? protocol::IMAGE_TYPE_ONE_BIT : protocol::IMAGE_TYPE_COLOUR;
  request.printOptionB = static_cast<uint8_t>(printOptionB_);
  if (!writer_->SendPrint(request, err) || !reader_->ReadAck(err)) return 0;
  pipeline_->ChooseMode(&image_.firstSetActive, &image_.secondSetActive);
  *err = RESULT_OK;
  return 1;
}

int PrinterSession::StartPrint(uint16_t jobId, uint8_t second, uint16_t *err) {
  DeviceLock lock;
  if (!LockDevice(&lock, err)) return 0;
  image_.rowsConverted = 0;
  image_.bytesStaged = 0;
  image_.bytesSent = 0;
  const int result = StartPrintLocked(jobId, second, err);
  *err = FoldParameterCode(*err);
  if (result != 0) {
    // The data phase keeps the lock; a lock left from an earlier start is
    // one level of the same owner's hold and goes now.
    dataPhaseLock_.Release();
    dataPhaseLock_.mutex_ = lock.mutex_;
    lock.mutex_ = nullptr;
  }
  return result;
}

int PrinterSession::EndPrintData(uint16_t *err) {
  laminateStrings_.Clear();
  *err = RESULT_OK;
  dataPhaseLock_.Release();
  return 1;
}

int PrinterSession::ClearPrintFlag(uint16_t *err) {
  job_.copies = 1;
  laminateStrings_.Clear();
  *err = RESULT_OK;
  return 1;
}

int PrinterSession::ResetJobFields(uint16_t *err) {
  image_ = ImageJob{};
  image_.width = kResetImageSide;
  image_.height = kResetImageSide;
  InitIdentityLut();
  SetFilter(nullptr);
  job_ = PrintJob{};
  printOptionA_ = kDefaultPrintOptionA;
  printOptionB_ = kResetPrintOptionB;
  mediaWidth_ = kResetImageSide;
  mediaHeight_ = kResetImageSide;
  laminateStrings_.ResetEntries();
  *err = RESULT_OK;
  return 1;
}

int PrinterSession::CancelPrintJob(uint16_t jobId, uint8_t mode, uint16_t *err) {
  DeviceLock lock;
  if (!LockDevice(&lock, err)) return 0;
  if (jobId != 0 && JobDevice(jobId) != selectedDevice_.load()) return Refuse(err);
  uint16_t code = RESULT_OK;
  const int result = writer_->SendCancelPrintJob(JobNumber(jobId), mode, &code) && reader_->ReadAck(&code);
  *err = FoldParameterThenUsbCode(code);
  return result;
}

}  // namespace hostlib
