// Threaded transfers with time-outs, direct writes, bulk data and the
// device lock.
#include "transport.h"

#include <process.h>

#include <algorithm>
#include <cstring>

#include "host_result_codes.h"
#include "printer_session.h"
#include "trace_log.h"

namespace hostlib {

std::atomic<uint32_t> g_bWriteTimedOut{0};
std::atomic<uint32_t> g_bReadTimedOut{0};

void ResetTransferTimeOutFlags() {
  g_bWriteTimedOut.store(0);
  g_bReadTimedOut.store(0);
}

namespace {

// Waits for a transfer worker at most kTransferTimeoutMs. A worker that is
// not done by then is terminated, which cancels its pending I/O and returns
// once it has ended, so its writer or reader is free again when this
// returns. True when the worker ended on its own in time.
bool AwaitWorker(HANDLE worker, std::atomic<uint32_t> &timedOutFlag) {
  const DWORD waited = WaitForSingleObject(worker, kTransferTimeoutMs);
  if (waited == WAIT_OBJECT_0) return true;
  if (waited == WAIT_TIMEOUT) timedOutFlag.store(1);
  DWORD exitCode = 0;
  GetExitCodeThread(worker, &exitCode);
  TerminateThread(worker, exitCode);
  return false;
}

}  // namespace

// ---- CommandWriter ---------------------------------------------------------

unsigned __stdcall CommandWriter::WriteWorker(void *self) {
  auto *writer = static_cast<CommandWriter *>(self);
  DWORD count = 0;
  if (WriteFile(writer->pipe_, writer->packet_, writer->packetLength_, &count, nullptr) && count != 0) {
    writer->written_.store(count);
    writer->completed_.store(1);
  } else {
    writer->written_.store(0);
    writer->completed_.store(0);
  }
  return 0;
}

int CommandWriter::WriteThreaded(const uint8_t *packet, uint32_t length, uint32_t *written, uint16_t *err) {
  completed_.store(0);
  written_.store(0);
  std::memset(packet_, 0, sizeof packet_);
  *written = 0;
  if (packet == nullptr || length == 0 || length > sizeof packet_) {
    *err = RESULT_USB_ERROR;
    return 0;
  }
  packetLength_ = length;
  std::memcpy(packet_, packet, length);
  if (TraceEnabled()) TraceSendCommand(packet, static_cast<int32_t>(length));
  pipe_ = session_.WritePipe();
  uintptr_t started = _beginthreadex(nullptr, 0, &CommandWriter::WriteWorker, this, 0, &workerId_);
  if (started == 0) {
    *err = RESULT_USB_ERROR;
    return 0;
  }
  worker_ = reinterpret_cast<HANDLE>(started);
  AwaitWorker(worker_, g_bWriteTimedOut);
  CloseHandle(worker_);
  worker_ = nullptr;
  if (completed_.load() == 1) {
    *written = written_.load();
    *err = RESULT_OK;
    return 1;
  }
  *err = RESULT_USB_ERROR;
  return 0;
}

int CommandWriter::WriteDirect(const uint8_t *buffer, uint32_t length, uint32_t *written, uint16_t *err) {
  DWORD count = 0;
  *written = 0;
  if (TraceEnabled()) TraceSendData(session_.WritePipe(), 2, buffer, static_cast<int32_t>(length));
  if (buffer != nullptr && length != 0 && WriteFile(session_.WritePipe(), buffer, length, &count, nullptr) &&
      count != 0) {
    *written = count;
    *err = RESULT_OK;
    return 1;
  }
  *err = RESULT_USB_ERROR;
  return 0;
}

// ---- ReplyReader -------------------------------------------------------------

unsigned __stdcall ReplyReader::ReadWorker(void *self) {
  auto *reader = static_cast<ReplyReader *>(self);
  uint8_t local[kDirectReadSize];
  DWORD count = 0;
  const DWORD asked = std::min<uint32_t>(reader->maxBytes_, sizeof local);
  if (ReadFile(reader->pipe_, local, asked, &count, nullptr) && count != 0) {
    std::memcpy(reader->reply_, local, count);
    reader->received_.store(count);
    reader->completed_.store(1);
  } else {
    reader->received_.store(0);
    reader->completed_.store(0);
  }
  return 0;
}

int ReplyReader::ReadOnWorker(uint32_t maxBytes, uint8_t *reply, uint32_t *received, uint16_t *err) {
  completed_.store(0);
  received_.store(0);
  *received = 0;
  maxBytes_ = std::min<uint32_t>(maxBytes, kDirectReadSize);
  pipe_ = session_.ReadPipe();
  if (TraceEnabled()) TraceRecvHandle(pipe_, 1);
  uintptr_t started = _beginthreadex(nullptr, 0, &ReplyReader::ReadWorker, this, 0, &workerId_);
  if (started == 0) {
    *err = RESULT_USB_ERROR;
    return 0;
  }
  worker_ = reinterpret_cast<HANDLE>(started);
  AwaitWorker(worker_, g_bReadTimedOut);
  CloseHandle(worker_);
  worker_ = nullptr;
  if (completed_.load() == 1) {
    const uint32_t count = received_.load();
    std::memcpy(reply, reply_, count);
    *received = count;
    if (TraceEnabled()) TraceReceiveMessage(reply, static_cast<int32_t>(count));
    *err = RESULT_OK;
    return 1;
  }
  *err = RESULT_USB_ERROR;
  return 0;
}

int ReplyReader::ReadThreaded(uint8_t *reply, uint32_t *received, uint16_t *err) {
  return ReadOnWorker(kThreadedReadMax, reply, received, err);
}

int ReplyReader::ReadDirect(uint8_t *reply, uint32_t *received, uint16_t *err) {
  return ReadOnWorker(session_.ReplyReadSize(), reply, received, err);
}

// ---- Bulk data -----------------------------------------------------------------

int SendBulkData(PrinterSession &session, const uint8_t *data, const uint32_t *length, uint16_t *err) {
  if (data == nullptr || length == nullptr || *length == 0) {
    *err = RESULT_BAD_PARAMETER;
    return 0;
  }
  uint32_t sent = 0;
  while (sent < *length) {
    const uint32_t piece = std::min(*length - sent, kBulkPieceMax);
    uint32_t written = 0;
    if (!session.Writer().WriteDirect(data + sent, piece, &written, err)) return 0;
    // A pipe may take less than the piece; the rest goes with the next write.
    sent += std::min(written, piece);
  }
  *err = RESULT_OK;
  return 1;
}

int PrinterSession::SendDataDirect(const uint8_t *data, uint32_t *length, uint16_t *err) {
  const uint32_t total = *length;
  *length = 0;
  if (data == nullptr && total != 0) {
    *err = RESULT_BAD_PARAMETER;
    return 0;
  }
  while (*length < total) {
    const uint32_t piece = std::min(total - *length, kBulkPieceMax);
    uint32_t written = 0;
    if (!writer_->WriteDirect(data + *length, piece, &written, err)) return 0;
    *length += std::min(written, piece);
  }
  *err = RESULT_OK;
  return 1;
}

// ---- Device lock -----------------------------------------------------------------

void DeviceLock::Release() {
  if (mutex_ != nullptr) {
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
    mutex_ = nullptr;
  }
}

int PrinterSession::LockDevice(DeviceLock *lock, uint16_t *err) {
  const uint8_t device = selectedDevice_.load();
  if (device >= kDeviceCount || !IsDeviceOpen(device)) {
    *err = RESULT_PRINTER_NOT_RECOGNIZED;
    return 0;
  }
  // The operation holds a handle of its own on the device's named mutex:
  // the sweep after a device change closes the table's handle whenever the
  // printer leaves, and the owner must still be able to release the mutex
  // when its operation ends.
  char path[SDKUSB_PATH_SIZE] = {};
  if (usb_.GetDeviceName(device, path) != 1) {
    *err = RESULT_PRINTER_NOT_RECOGNIZED;
    return 0;
  }
  path[SDKUSB_PATH_SIZE - 1] = '\0';
  HANDLE mutex = CreateMutexA(nullptr, FALSE, path + SDKUSB_PATH_MUTEX_NAME_AT);
  if (mutex == nullptr) {
    *err = RESULT_PRINTER_NOT_RECOGNIZED;
    return 0;
  }
  switch (WaitForSingleObject(mutex, kDeviceLockWaitMs)) {
    case WAIT_OBJECT_0:
      lock->Release();
      lock->mutex_ = mutex;
      *err = RESULT_OK;
      return 1;
    case WAIT_ABANDONED:
      // The last holder died in the middle of an operation. This one fails,
      // and gives the mutex back at once so the next can start clean.
      ReleaseMutex(mutex);
      *err = RESULT_DEVICE_BUSY;
      break;
    case WAIT_TIMEOUT:
      *err = RESULT_DEVICE_BUSY;
      break;
    default:
      *err = RESULT_UNEXPECTED_REPLY;
      break;
  }
  CloseHandle(mutex);
  return 0;
}

}  // namespace hostlib
