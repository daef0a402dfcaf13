// The test double of BOM7300UsbCtrl: fake printers behind pipe handles.
#include "usbctrl_double.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <win32_ext.h>
#include <windows.h>
#include <dbt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "bom7300usbctrl_api.h"
#include "protocol/protocol.h"

namespace usbctrl_double {
namespace {

struct DropRule {
  uint16_t code;  // 0 = any
  int count;      // -1 = for ever
};

struct FakePrinter {
  int index = 0;
  std::string serial;
  std::string path;
  bool present = true;
  bool open = false;
  bool stallWrites = false;
  int writesBeforeFailure = -1;  // -1: writes do not fail
  uint8_t printerState = protocol::PRINTER_STATE_READY;
  uint8_t errorClass = 0;
  uint8_t errorDetail = 0;
  std::vector<DropRule> drops;
  std::deque<std::vector<std::vector<uint8_t>>> scripted;  // raw answers to the next commands
  std::deque<std::vector<uint8_t>> pending;   // answers waiting on the IN pipe
  std::vector<std::vector<uint8_t>> written;
  int answerFd = -1;  // readable while an answer waits or the printer is gone
  int writeFd = -1;   // readable when a stalled write may go on

  FakePrinter() {
    answerFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    writeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  }
  ~FakePrinter() {
    close(answerFd);
    close(writeFd);
  }
};

void Signal(int fd) {
  uint64_t one = 1;
  ssize_t ignored = write(fd, &one, sizeof one);
  (void)ignored;
}

void Drain(int fd) {
  uint64_t count = 0;
  ssize_t ignored = read(fd, &count, sizeof count);
  (void)ignored;
}

struct Pipe {
  std::shared_ptr<FakePrinter> printer;
  bool in;  // the bulk IN pipe (answers), else OUT (commands and data)
};

struct State {
  std::mutex lock;
  std::vector<std::shared_ptr<FakePrinter>> printers;
  std::map<HANDLE, bool> livePipes;
  Counters counters;
};

State &Double() {
  static auto *state = new State();
  return *state;
}

std::shared_ptr<FakePrinter> PrinterAt(int index) {
  State &s = Double();
  if (index < 0 || index >= static_cast<int>(s.printers.size())) return nullptr;
  return s.printers[static_cast<size_t>(index)];
}

std::vector<uint8_t> Reply(const FakePrinter &p, uint8_t errorCode, const uint8_t *data, uint16_t length) {
  std::vector<uint8_t> reply(protocol::REPLY_HEADER_SIZE + length);
  protocol::EncodeReplyHeader(
      protocol::MakeReplyHeader(errorCode, p.errorClass, p.errorDetail, 0, p.printerState, length), reply.data(),
      reply.size());
  if (length != 0) std::memcpy(reply.data() + protocol::REPLY_HEADER_SIZE, data, length);
  return reply;
}

// What the printer answers to one write on its OUT pipe, the lock held.
void Answer(FakePrinter &p, const uint8_t *bytes, size_t size) {
  protocol::CommandPacket packet{};
  const int32_t decoded = protocol::DecodeCommandPacket(bytes, size, &packet);
  if (decoded != protocol::WIRE_OK && decoded != protocol::WIRE_ERR_UNKNOWN_COMMAND) {
    ++Double().counters.droppedCommands;  // a packet whose size does not match its header
    return;
  }
  const uint16_t code = packet.header.Code();
  for (DropRule &rule : p.drops) {
    if ((rule.code == 0 || rule.code == code) && rule.count != 0) {
      if (rule.count > 0) --rule.count;
      ++Double().counters.droppedCommands;
      return;
    }
  }
  if (!p.scripted.empty()) {
    std::vector<std::vector<uint8_t>> answers = std::move(p.scripted.front());
    p.scripted.pop_front();
    // An empty group is no answer at all, as a dropped command.
    for (auto &each : answers) p.pending.push_back(std::move(each));
    if (!answers.empty()) Signal(p.answerFd);
    return;
  }
  std::vector<uint8_t> answer;
  if (decoded == protocol::WIRE_ERR_UNKNOWN_COMMAND) {
    answer = Reply(p, protocol::REPLY_ERR_UNKNOWN_COMMAND, nullptr, 0);
  } else if (code == protocol::CMD_GET_SERIAL_NO) {
    answer = Reply(p, 0, reinterpret_cast<const uint8_t *>(p.serial.data()), protocol::SerialNoReply::kSize);
  } else if (code == protocol::CMD_GET_STATUS) {
    protocol::StatusRecord record{};
    record.errorClass = p.errorClass;
    record.errorDetail = p.errorDetail;
    record.printerState = p.printerState;
    uint8_t data[protocol::STATUS_REPLY_SIZE] = {};
    protocol::EncodeStatusReply(record, data, sizeof data);
    answer = Reply(p, 0, data, sizeof data);
  } else {
    const protocol::CommandInfo *info = packet.info;
    const uint16_t length = info == nullptr ? 0 : (info->variableReply ? 1 : info->replyLength);
    std::vector<uint8_t> data(length, 0);
    answer = Reply(p, 0, data.data(), length);
  }
  p.pending.push_back(std::move(answer));
  Signal(p.answerFd);
}

// A transfer on a pipe of direction `in`: under the double's lock, `attempt`
// finishes it (true) or it waits for `wakeFd`; a pipe of the other
// direction fails with ERROR_INVALID_FUNCTION, a printer that has gone with
// ERROR_GEN_FAILURE.
template <typename Attempt>
BOOL Transfer(void *object, bool in, int FakePrinter::*wakeFd, Attempt attempt) {
  auto *pipe = static_cast<Pipe *>(object);
  FakePrinter &p = *pipe->printer;
  if (pipe->in != in) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  for (;;) {
    {
      std::lock_guard<std::mutex> lk(Double().lock);
      if (!p.present) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
      }
      if (attempt(p)) return TRUE;
    }
    if (W32X_WaitFd(p.*wakeFd, POLLIN, INFINITE) != WAIT_OBJECT_0) return FALSE;
  }
}

BOOL PipeRead(void *object, void *buffer, DWORD bytes, DWORD *done) {
  return Transfer(object, true, &FakePrinter::answerFd, [&](FakePrinter &p) {
    if (p.pending.empty()) return false;
    std::vector<uint8_t> answer = std::move(p.pending.front());
    p.pending.pop_front();
    if (p.pending.empty()) Drain(p.answerFd);
    const DWORD count = std::min<DWORD>(bytes, static_cast<DWORD>(answer.size()));
    if (count != 0) std::memcpy(buffer, answer.data(), count);  // an empty answer has no data pointer
    *done = count;
    return true;
  });
}

// True when this write is one that FailWritesAfter makes fail.
bool WriteFails(void *object) {
  std::lock_guard<std::mutex> lk(Double().lock);
  FakePrinter &p = *static_cast<Pipe *>(object)->printer;
  if (p.writesBeforeFailure < 0) return false;
  if (p.writesBeforeFailure == 0) return true;
  --p.writesBeforeFailure;
  return false;
}

BOOL PipeWrite(void *object, const void *buffer, DWORD bytes, DWORD *done) {
  if (WriteFails(object)) {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  return Transfer(object, false, &FakePrinter::writeFd, [&](FakePrinter &p) {
    if (p.stallWrites) return false;
    const auto *bytesIn = static_cast<const uint8_t *>(buffer);
    p.written.emplace_back(bytesIn, bytesIn + bytes);
    Answer(p, bytesIn, bytes);
    *done = bytes;
    return true;
  });
}

void PipeClose(void *object) { delete static_cast<Pipe *>(object); }

const W32X_HANDLE_KIND kPipeKind = {"BOM7300UsbCtrl double pipe", PipeRead, PipeWrite, nullptr, nullptr, PipeClose};

std::string MakePath(int index, uint16_t vendor, uint16_t product) {
  // Vendor at characters 12-15 and product at 21-24; the tail names the
  // mutex, unique per process so parallel test programs never share one.
  char path[SDKUSB_PATH_SIZE];
  std::snprintf(path, sizeof path, "\\\\?\\usb#vid_%04x&pid_%04x#double-%d-port%d#bom7300", vendor, product,
                static_cast<int>(getpid()), index);
  return path;
}

}  // namespace

void Reset() {
  std::vector<HANDLE> leftovers;
  {
    std::lock_guard<std::mutex> lk(Double().lock);
    State &s = Double();
    for (auto &entry : s.livePipes) leftovers.push_back(entry.first);
    s.livePipes.clear();
    s.printers.clear();
    s.counters = Counters{};
  }
  for (HANDLE pipe : leftovers) CloseHandle(pipe);
}

int AddDevice(const std::string &serial, uint16_t vendor, uint16_t product) {
  std::lock_guard<std::mutex> lk(Double().lock);
  State &s = Double();
  auto printer = std::make_shared<FakePrinter>();
  printer->index = static_cast<int>(s.printers.size());
  printer->serial = serial;
  printer->serial.resize(protocol::SERIAL_NO_BYTES, ' ');
  printer->path = MakePath(printer->index, vendor, product);
  s.printers.push_back(printer);
  return printer->index;
}

int AddPrinter(const std::string &serial) {
  return AddDevice(serial, protocol::USB_VENDOR_ID, protocol::USB_PRODUCT_ID);
}

int Unplug(int index) {
  {
    std::lock_guard<std::mutex> lk(Double().lock);
    auto p = PrinterAt(index);
    if (p == nullptr) return 0;
    p->present = false;
    Signal(p->answerFd);
    Signal(p->writeFd);
  }
  return static_cast<int>(W32X_BroadcastDeviceChange(DBT_DEVNODES_CHANGED));
}

void SetStatus(int index, uint8_t printerState, uint8_t errorClass, uint8_t errorDetail) {
  std::lock_guard<std::mutex> lk(Double().lock);
  if (auto p = PrinterAt(index)) {
    p->printerState = printerState;
    p->errorClass = errorClass;
    p->errorDetail = errorDetail;
  }
}

void DropCommands(int index, uint16_t code, int count) {
  std::lock_guard<std::mutex> lk(Double().lock);
  if (auto p = PrinterAt(index)) p->drops.push_back(DropRule{code, count});
}

void StallWrites(int index, bool stall) {
  std::lock_guard<std::mutex> lk(Double().lock);
  if (auto p = PrinterAt(index)) {
    p->stallWrites = stall;
    if (stall) {
      Drain(p->writeFd);
    } else {
      Signal(p->writeFd);
    }
  }
}

void FailWritesAfter(int index, int count) {
  std::lock_guard<std::mutex> lk(Double().lock);
  if (auto p = PrinterAt(index)) p->writesBeforeFailure = count;
}

void QueueRawReply(int index, const std::vector<uint8_t> &reply) {
  std::lock_guard<std::mutex> lk(Double().lock);
  if (auto p = PrinterAt(index)) p->scripted.push_back({reply});
}

void QueueRawReplies(int index, const std::vector<std::vector<uint8_t>> &answers) {
  std::lock_guard<std::mutex> lk(Double().lock);
  if (auto p = PrinterAt(index)) p->scripted.push_back(answers);
}

void DropRawReplies(int index) {
  std::lock_guard<std::mutex> lk(Double().lock);
  if (auto p = PrinterAt(index)) p->scripted.clear();
}

void DropPendingAnswers(int index) {
  std::lock_guard<std::mutex> lk(Double().lock);
  if (auto p = PrinterAt(index)) {
    p->pending.clear();
    Drain(p->answerFd);
  }
}

std::vector<std::vector<uint8_t>> Written(int index) {
  std::lock_guard<std::mutex> lk(Double().lock);
  auto p = PrinterAt(index);
  return p == nullptr ? std::vector<std::vector<uint8_t>>{} : p->written;
}

std::string DevicePath(int index) {
  std::lock_guard<std::mutex> lk(Double().lock);
  auto p = PrinterAt(index);
  return p == nullptr ? std::string() : p->path;
}

Counters GetCounters() {
  std::lock_guard<std::mutex> lk(Double().lock);
  return Double().counters;
}

int LivePipes() {
  std::lock_guard<std::mutex> lk(Double().lock);
  return static_cast<int>(Double().livePipes.size());
}

}  // namespace usbctrl_double

using namespace usbctrl_double;

#define SDKUSB_EXPORT extern "C" __attribute__((visibility("default")))

SDKUSB_EXPORT int WINAPI SDKUsb_Open(int index) {
  std::lock_guard<std::mutex> lk(Double().lock);
  auto p = PrinterAt(index);
  if (p == nullptr || !p->present || p->open) return -1;
  p->open = true;
  ++Double().counters.opens;
  return index;  // device number = device index
}

SDKUSB_EXPORT int WINAPI SDKUsb_OpenEx(int index, DWORD) { return SDKUsb_Open(index); }

SDKUSB_EXPORT int WINAPI SDKUsb_Close(int device) {
  std::lock_guard<std::mutex> lk(Double().lock);
  auto p = PrinterAt(device);
  if (p == nullptr || !p->open) {
    ++Double().counters.closesOfClosed;
    return 0;
  }
  p->open = false;
  ++Double().counters.closes;
  return 1;
}

SDKUSB_EXPORT HANDLE WINAPI SDKUsb_GetDeviceHandle(int) { return INVALID_HANDLE_VALUE; }

SDKUSB_EXPORT int WINAPI SDKUsb_GetDeviceName(int device, char *path) {
  std::lock_guard<std::mutex> lk(Double().lock);
  auto p = PrinterAt(device);
  if (p == nullptr || !p->open || path == nullptr) return 0;
  std::snprintf(path, SDKUSB_PATH_SIZE, "%s", p->path.c_str());
  return 1;
}

SDKUSB_EXPORT int WINAPI SDKUsb_GetDeviceIDString(int device, char *buffer, int size) {
  std::lock_guard<std::mutex> lk(Double().lock);
  auto p = PrinterAt(device);
  if (p == nullptr || buffer == nullptr || size < 0) return 0;
  const int32_t n =
      protocol::EncodeDeviceIdRecord(p->serial.data(), reinterpret_cast<uint8_t *>(buffer), static_cast<size_t>(size));
  return n < 0 ? 0 : n;
}

SDKUSB_EXPORT HANDLE WINAPI SDKUsb_GetPipeHandle(int device, int, int pipeIndex, int) {
  std::shared_ptr<FakePrinter> p;
  {
    std::lock_guard<std::mutex> lk(Double().lock);
    p = PrinterAt(device);
    if (p == nullptr || !p->open || !p->present) return INVALID_HANDLE_VALUE;
  }
  auto *pipe = new Pipe{p, pipeIndex == SDKUSB_PIPE_BULK_IN};
  HANDLE handle = W32X_CreateHandle(&kPipeKind, pipe);
  if (handle == nullptr) {
    delete pipe;
    return INVALID_HANDLE_VALUE;
  }
  std::lock_guard<std::mutex> lk(Double().lock);
  Double().livePipes[handle] = true;
  ++Double().counters.pipesGiven;
  return handle;
}

SDKUSB_EXPORT int WINAPI SDKUsb_ClosePipe(HANDLE pipe) {
  {
    std::lock_guard<std::mutex> lk(Double().lock);
    if (Double().livePipes.erase(pipe) == 0) {
      ++Double().counters.badPipeCloses;
      return 0;
    }
    ++Double().counters.pipesClosed;
  }
  CloseHandle(pipe);
  return 1;
}

SDKUSB_EXPORT int WINAPI SDKUsb_AbortPipe(HANDLE) { return 1; }

SDKUSB_EXPORT int WINAPI SDKUsb_ResetPipe(HANDLE) { return 1; }

SDKUSB_EXPORT int WINAPI SDKUsb_CheckDeviceName(int index) {
  std::lock_guard<std::mutex> lk(Double().lock);
  auto p = PrinterAt(index);
  return p != nullptr && p->open ? index : -1;
}

SDKUSB_EXPORT int WINAPI SDKUsb_CheckDevice(int device) {
  std::lock_guard<std::mutex> lk(Double().lock);
  ++Double().counters.checkDeviceCalls;
  auto p = PrinterAt(device);
  return p != nullptr && p->present ? 1 : 0;
}

SDKUSB_EXPORT int WINAPI SDKUsb_ResetDevice(int) { return 1; }
