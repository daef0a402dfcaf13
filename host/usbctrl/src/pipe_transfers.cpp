// Pipe handles and their transfers.
#include "pipe_transfers.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <win32_ext.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace usbctrl {
namespace {

using sim::cable::Outcome;
using sim::cable::TransferResult;

struct PipeObject {
  std::shared_ptr<Device> device;
  bool in = false;
};

// One transfer on its helper thread.
struct Transfer {
  int doneFd = -1;  // readable once the result is there
  std::atomic<bool> done{false};
  // Set when its caller gave up before the helper began: the helper then
  // starts nothing.
  std::atomic<bool> cancelled{false};
  sim::cable::Pipe pipe = sim::cable::Pipe::BulkIn;
  TransferResult result;
  std::shared_ptr<sim::cable::PrinterConnection> connection;  // kept while the helper runs
  std::thread helper;

  ~Transfer() {
    if (doneFd >= 0) close(doneFd);
  }
};

// Transfers whose callers were cancelled. A read among them may yet bring
// a reply (the printer answered before the abort reached it, or the helper
// began its transfer just after the abort was sent): the next read on the
// device's IN pipe takes it over, so no reply is lost or handed to the
// wrong command.
struct Abandoned {
  std::mutex lock;
  std::list<std::unique_ptr<Transfer>> transfers;
};

Abandoned &AbandonedTransfers() {
  static auto *abandoned = new Abandoned();
  return *abandoned;
}

void Abandon(std::unique_ptr<Transfer> transfer) {
  std::lock_guard<std::mutex> lk(AbandonedTransfers().lock);
  AbandonedTransfers().transfers.push_back(std::move(transfer));
}

// The oldest abandoned read on this connection, taken off the list.
std::unique_ptr<Transfer> TakeAbandonedRead(const sim::cable::PrinterConnection *connection) {
  std::lock_guard<std::mutex> lk(AbandonedTransfers().lock);
  auto &transfers = AbandonedTransfers().transfers;
  for (auto it = transfers.begin(); it != transfers.end(); ++it) {
    if ((*it)->pipe == sim::cable::Pipe::BulkIn && (*it)->connection.get() == connection) {
      std::unique_ptr<Transfer> taken = std::move(*it);
      transfers.erase(it);
      return taken;
    }
  }
  return nullptr;
}

// Starts `body` on a helper; null (GetLastError set) when it cannot.
std::unique_ptr<Transfer> StartTransfer(Device &device, sim::cable::Pipe pipe,
                                        std::function<TransferResult(sim::cable::PrinterConnection &)> body) {
  JoinAbandonedTransfers(false);
  auto transfer = std::make_unique<Transfer>();
  transfer->doneFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (transfer->doneFd < 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  transfer->pipe = pipe;
  transfer->connection = device.connection;
  Transfer *t = transfer.get();
  try {
    transfer->helper = std::thread([t, body = std::move(body)] {
      if (t->cancelled.load()) {
        t->result = TransferResult{Outcome::Cancelled, 0, {}};
      } else {
        t->result = body(*t->connection);
      }
      t->done.store(true);
      const uint64_t one = 1;
      ssize_t ignored = write(t->doneFd, &one, sizeof one);
      (void)ignored;
    });
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return transfer;
}

// Waits for the transfer through W32X_WaitFd. Returns false (GetLastError
// set) when the wait was cancelled or failed; the transfer is then aborted
// and left to end on its own.
bool AwaitTransfer(std::unique_ptr<Transfer> transfer, TransferResult *pResult) {
  const DWORD waited = W32X_WaitFd(transfer->doneFd, POLLIN, INFINITE);
  if (waited != WAIT_OBJECT_0 || !transfer->done.load()) {
    const DWORD error = waited == WAIT_FAILED ? GetLastError() : ERROR_OPERATION_ABORTED;
    transfer->cancelled.store(true);
    transfer->connection->AbortPipe(transfer->pipe);
    Abandon(std::move(transfer));
    SetLastError(error == ERROR_SUCCESS ? ERROR_OPERATION_ABORTED : error);
    return false;
  }
  transfer->helper.join();
  *pResult = std::move(transfer->result);
  return true;
}

// A transfer's outcome as ReadFile/WriteFile report it.
BOOL Report(Device &device, const TransferResult &result, DWORD *done) {
  *done = result.bytes;
  switch (result.outcome) {
    case Outcome::Done:
      return TRUE;
    case Outcome::NakTimeout:
      SetLastError(ERROR_TIMEOUT);
      return FALSE;
    case Outcome::Cancelled:
      SetLastError(ERROR_OPERATION_ABORTED);
      return FALSE;
    case Outcome::Gone:
      NoteDeviceGone(device);
      SetLastError(ERROR_GEN_FAILURE);
      return FALSE;
    case Outcome::Stall:
    case Outcome::Error:
      break;
  }
  SetLastError(ERROR_GEN_FAILURE);
  return FALSE;
}

BOOL PipeRead(void *object, void *buffer, DWORD bytes, DWORD *done) {
  auto *pipe = static_cast<PipeObject *>(object);
  *done = 0;
  if (!pipe->in) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  Device &device = *pipe->device;
  if (device.removed.load()) {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  TransferResult result;
  bool bAnswered = false;
  // A read abandoned on this device comes first: its reply, if one comes,
  // is the next one.
  while (std::unique_ptr<Transfer> earlier = TakeAbandonedRead(device.connection.get())) {
    if (!AwaitTransfer(std::move(earlier), &result)) return FALSE;
    bAnswered = !result.data.empty() || result.outcome == Outcome::Gone;
    if (bAnswered) break;
  }
  if (!bAnswered) {
    std::unique_ptr<Transfer> transfer =
        StartTransfer(device, sim::cable::Pipe::BulkIn,
                      [bytes](sim::cable::PrinterConnection &c) { return c.BulkIn(bytes, kPipeTimeoutMs); });
    if (transfer == nullptr || !AwaitTransfer(std::move(transfer), &result)) return FALSE;
  }
  if (result.outcome == Outcome::Done || !result.data.empty()) {
    const size_t count = std::min<size_t>(result.data.size(), bytes);
    if (count != 0) std::memcpy(buffer, result.data.data(), count);
    result.bytes = static_cast<uint32_t>(count);
  }
  return Report(device, result, done);
}

BOOL PipeWrite(void *object, const void *buffer, DWORD bytes, DWORD *done) {
  auto *pipe = static_cast<PipeObject *>(object);
  *done = 0;
  if (pipe->in) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  Device &device = *pipe->device;
  if (device.removed.load()) {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  // The helper may outlive a cancelled call, so it sends its own copy.
  const auto *first = static_cast<const uint8_t *>(buffer);
  auto data = std::make_shared<std::vector<uint8_t>>(first, first + bytes);
  TransferResult result;
  std::unique_ptr<Transfer> transfer =
      StartTransfer(device, sim::cable::Pipe::BulkOut, [data](sim::cable::PrinterConnection &c) {
        return c.BulkOut(data->data(), data->size(), kPipeTimeoutMs);
      });
  if (transfer == nullptr || !AwaitTransfer(std::move(transfer), &result)) return FALSE;
  return Report(device, result, done);
}

void PipeClose(void *object) { delete static_cast<PipeObject *>(object); }

const W32X_HANDLE_KIND kPipeKind = {"BOM7300UsbCtrl pipe", PipeRead, PipeWrite, nullptr, nullptr, PipeClose};

}  // namespace

HANDLE CreatePipeHandle(const std::shared_ptr<Device> &device, bool in) {
  auto *pipe = new (std::nothrow) PipeObject{device, in};
  if (pipe == nullptr) return INVALID_HANDLE_VALUE;
  HANDLE handle = W32X_CreateHandle(&kPipeKind, pipe);
  if (handle == nullptr) {
    delete pipe;
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

bool IsPipeHandle(HANDLE handle) { return W32X_GetHandleObject(handle, &kPipeKind) != nullptr; }

std::shared_ptr<Device> PipeDevice(HANDLE handle, bool *pIn) {
  // The object stays valid while the registry holds it; its device is
  // copied out before anything can close the handle.
  auto *pipe = static_cast<PipeObject *>(W32X_GetHandleObject(handle, &kPipeKind));
  if (pipe == nullptr) return nullptr;
  if (pIn != nullptr) *pIn = pipe->in;
  return pipe->device;
}

void JoinAbandonedTransfers(bool wait) {
  std::list<std::unique_ptr<Transfer>> ended;
  {
    std::lock_guard<std::mutex> lk(AbandonedTransfers().lock);
    auto &transfers = AbandonedTransfers().transfers;
    for (auto it = transfers.begin(); it != transfers.end();) {
      const Transfer &t = **it;
      const bool bEnded = t.done.load();
      const bool bKeptForNextRead = bEnded && t.pipe == sim::cable::Pipe::BulkIn && !t.result.data.empty();
      if (wait || (bEnded && !bKeptForNextRead)) {
        ended.push_back(std::move(*it));
        it = transfers.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto &transfer : ended) {
    if (wait) transfer->connection->Close();
    transfer->helper.join();
  }
}

}  // namespace usbctrl
