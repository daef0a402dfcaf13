#include "sim/cable/cable_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace sim::cable {

namespace {

// The call gives up on a printer that does not answer after twice the
// transfer's time-out and this much more.
constexpr uint32_t kGuardMarginMs = 10000;
// After giving up it waits this long for the answer to its cancel.
constexpr uint32_t kCancelGraceMs = 1000;
constexpr uint32_t kRetryPauseMs = 10;

constexpr uint8_t kReqClearFeature = 1;

// Receives one message; 0 with the message, -errno on failure, ECONNRESET
// at the end of the stream, EPROTO for a malformed message.
int ReceiveMessage(int fd, std::vector<uint8_t>* pBuffer, Message* pMessage) {
  pBuffer->resize(kMaxMessage + 1);
  iovec iov{pBuffer->data(), pBuffer->size()};
  msghdr msg{};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  ssize_t n;
  do {
    n = recvmsg(fd, &msg, MSG_CMSG_CLOEXEC);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return -errno;
  if (n == 0) return -ECONNRESET;
  if ((msg.msg_flags & MSG_TRUNC) != 0) return -EPROTO;
  if (!Decode(pBuffer->data(), static_cast<size_t>(n), pMessage)) return -EPROTO;
  return 0;
}

// Connects to the printer's socket; -errno on failure.
int ConnectOnce(const std::string& busDirectory, const std::string& port, int* pFd) {
  const UnixAddress address(busDirectory, SocketFileName(port));
  if (!address.Ok()) return -ENAMETOOLONG;
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return -errno;
  int rc;
  do {
    rc = connect(fd, address.Get(), address.Length());
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const int error = errno;
    close(fd);
    return -error;
  }
  *pFd = fd;
  return 0;
}

// Waits for the identity message that opens every connection.
int ReadIdentity(int fd, uint32_t timeoutMs, PrinterIdentity* pIdentity) {
  pollfd p{fd, POLLIN, 0};
  int n;
  do {
    n = poll(&p, 1, static_cast<int>(std::min<uint32_t>(timeoutMs, 0x7FFFFFFF)));
  } while (n < 0 && errno == EINTR);
  if (n == 0) return -ETIMEDOUT;
  if (n < 0) return -errno;
  std::vector<uint8_t> buffer;
  Message m;
  const int rc = ReceiveMessage(fd, &buffer, &m);
  if (rc != 0) return rc;
  if (m.kind == Kind::Bye) return -ECONNRESET;
  if (m.kind != Kind::Identity || m.arg0 != kWireVersion || !DecodeIdentity(m.payload, pIdentity)) return -EPROTO;
  return 0;
}

}  // namespace

std::unique_ptr<PrinterConnection> PrinterConnection::Open(const std::string& busDirectory, const std::string& port,
                                                           const OpenOptions& options, int* pError) {
  int error = 0;
  if (!IsValidPort(port)) {
    if (pError != nullptr) *pError = EINVAL;
    return nullptr;
  }
  const auto giveUp = Clock::now() + std::chrono::milliseconds(options.retryMs);
  for (;;) {
    int fd = -1;
    int rc = ConnectOnce(busDirectory, port, &fd);
    PrinterIdentity identity;
    if (rc == 0) {
      rc = ReadIdentity(fd, options.identityTimeoutMs, &identity);
      if (rc == 0) {
        return std::unique_ptr<PrinterConnection>(new PrinterConnection(fd, busDirectory, port, std::move(identity)));
      }
      close(fd);
    }
    error = -rc;
    const bool bComingBack = error == ENOENT || error == ECONNREFUSED || error == ECONNRESET || error == EAGAIN;
    if (!bComingBack || Clock::now() >= giveUp) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(kRetryPauseMs));
  }
  if (pError != nullptr) *pError = error;
  return nullptr;
}

PrinterConnection::PrinterConnection(int fd, std::string busDirectory, std::string port, PrinterIdentity identity)
    : m_fd(fd), m_busDirectory(std::move(busDirectory)), m_port(std::move(port)), m_identity(std::move(identity)) {
  m_receiver = std::thread([this] { Receive(); });
}

PrinterConnection::~PrinterConnection() {
  Close();
  close(m_fd);
}

std::string PrinterConnection::DevicePath() const {
  return sim::cable::DevicePath(BusId(m_busDirectory), m_port, m_identity.vendorId, m_identity.productId);
}

bool PrinterConnection::Connected() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_bConnected;
}

void PrinterConnection::Close() {
  std::lock_guard<std::mutex> lock(m_closeMutex);
  if (!m_receiver.joinable()) return;
  const std::vector<uint8_t> bye = Encode(Kind::Bye, 0);
  send(m_fd, bye.data(), bye.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  shutdown(m_fd, SHUT_RDWR);
  m_receiver.join();
  MarkGone();
}

void PrinterConnection::MarkGone() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bConnected = false;
  for (auto& [tag, pending] : m_pending) {
    if (pending->bDone) continue;
    pending->bDone = true;
    pending->result.outcome = Outcome::Gone;
    pending->result.bytes = pending->pipe == Pipe::BulkOut ? pending->credited
                                                           : static_cast<uint32_t>(pending->result.data.size());
  }
  m_changed.notify_all();
}

void PrinterConnection::Receive() {
  std::vector<uint8_t> buffer;
  Message m;
  for (;;) {
    if (ReceiveMessage(m_fd, &buffer, &m) != 0 || m.kind == Kind::Bye) break;
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_pending.find(m.tag);
    if (it == m_pending.end() || it->second->bDone) continue;  // a transfer the caller gave up
    Pending& p = *it->second;
    if (m.kind == Kind::InData) {
      if (m.arg0 != p.result.data.size()) break;  // a piece out of order: the stream is not to be trusted
      p.result.data.insert(p.result.data.end(), m.payload.begin(), m.payload.end());
    } else if (m.kind == Kind::Credit) {
      p.credited = std::max(p.credited, m.arg0);
      m_changed.notify_all();
    } else if (m.kind == Kind::Result) {
      p.bDone = true;
      p.result.outcome = m.arg0 <= static_cast<uint32_t>(Outcome::Cancelled) ? static_cast<Outcome>(m.arg0) : Outcome::Error;
      p.result.bytes = m.arg1;
      m_changed.notify_all();
    }
  }
  // The connection is over, whichever side ended it: the printer hears so.
  shutdown(m_fd, SHUT_RDWR);
  MarkGone();
}

bool PrinterConnection::Send(const std::vector<uint8_t>& message) {
  ssize_t n;
  do {
    n = send(m_fd, message.data(), message.size(), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(message.size());
}

uint32_t PrinterConnection::Begin(Pipe pipe, PendingPtr* pPending) {
  auto pending = std::make_shared<Pending>();
  pending->pipe = pipe;
  std::lock_guard<std::mutex> lock(m_mutex);
  uint32_t tag = m_nextTag++;
  if (tag == 0) tag = m_nextTag++;
  if (!m_bConnected) {
    pending->bDone = true;
    pending->result.outcome = Outcome::Gone;
  }
  m_pending[tag] = pending;
  *pPending = std::move(pending);
  return tag;
}

PrinterConnection::Guard PrinterConnection::GuardFor(uint32_t timeoutMs) {
  if (timeoutMs == kNoTimeout) return Clock::time_point::max();
  return Clock::now() + std::chrono::milliseconds(2ull * timeoutMs + kGuardMarginMs);
}

TransferResult PrinterConnection::Finish(uint32_t tag, const PendingPtr& pending, Guard guard) {
  std::unique_lock<std::mutex> lock(m_mutex);
  auto done = [&] { return pending->bDone; };
  if (guard == Clock::time_point::max()) {
    m_changed.wait(lock, done);
  } else if (!m_changed.wait_until(lock, guard, done)) {
    // The printer did not answer in time: cancel, and give it a moment.
    pending->bCancelSent = true;
    lock.unlock();
    Send(Encode(Kind::Cancel, tag));
    lock.lock();
    if (!m_changed.wait_for(lock, std::chrono::milliseconds(kCancelGraceMs), done)) {
      pending->bDone = true;
      pending->result.outcome = Outcome::NakTimeout;
      pending->result.bytes = pending->pipe == Pipe::BulkOut ? pending->credited
                                                             : static_cast<uint32_t>(pending->result.data.size());
    }
  }
  m_pending.erase(tag);
  return std::move(pending->result);
}

TransferResult PrinterConnection::BulkOut(const void* data, size_t size, uint32_t timeoutMs, bool bZeroLengthPacket) {
  if (size > 0xFFFFFFFFu) return TransferResult{Outcome::Error, 0, {}};
  const Guard guard = GuardFor(timeoutMs);
  std::lock_guard<std::mutex> outLock(m_outMutex);
  PendingPtr pending;
  const uint32_t tag = Begin(Pipe::BulkOut, &pending);
  const auto* bytes = static_cast<const uint8_t*>(data);
  const auto total = static_cast<uint32_t>(size);
  const uint8_t flags = bZeroLengthPacket ? kFlagZeroLengthPacket : 0;
  uint32_t offset = 0;
  do {
    const uint32_t n = std::min(kMaxPiece, total - offset);
    {
      // Keep at most a window of data ahead of what the printer has taken.
      std::unique_lock<std::mutex> lock(m_mutex);
      const bool bMaySend = m_changed.wait_until(lock, guard, [&] {
        return pending->bDone || pending->bCancelSent || offset + n - pending->credited <= kOutWindow;
      });
      if (!bMaySend || pending->bDone || pending->bCancelSent) break;
    }
    if (!Send(Encode(Kind::BulkOut, tag, total, offset, timeoutMs, bytes + offset, n, flags))) break;
    offset += n;
  } while (offset < total);
  return Finish(tag, pending, guard);
}

TransferResult PrinterConnection::BulkIn(uint32_t maxLength, uint32_t timeoutMs) {
  const Guard guard = GuardFor(timeoutMs);
  PendingPtr pending;
  const uint32_t tag = Begin(Pipe::BulkIn, &pending);
  if (!pending->bDone) Send(Encode(Kind::BulkIn, tag, maxLength, 0, timeoutMs));
  return Finish(tag, pending, guard);
}

TransferResult PrinterConnection::Control(const SetupPacket& setup, const void* outData, uint32_t timeoutMs) {
  const size_t outLength = setup.IsIn() ? 0 : setup.wLength;
  if (outLength > kMaxPiece || (outLength != 0 && outData == nullptr)) return TransferResult{Outcome::Error, 0, {}};
  std::vector<uint8_t> payload{setup.bmRequestType,
                               setup.bRequest,
                               static_cast<uint8_t>(setup.wValue),
                               static_cast<uint8_t>(setup.wValue >> 8),
                               static_cast<uint8_t>(setup.wIndex),
                               static_cast<uint8_t>(setup.wIndex >> 8),
                               static_cast<uint8_t>(setup.wLength),
                               static_cast<uint8_t>(setup.wLength >> 8)};
  const auto* out = static_cast<const uint8_t*>(outData);
  if (outLength != 0) payload.insert(payload.end(), out, out + outLength);
  const Guard guard = GuardFor(timeoutMs);
  PendingPtr pending;
  const uint32_t tag = Begin(Pipe::Control, &pending);
  if (!pending->bDone) Send(Encode(Kind::Control, tag, 0, 0, timeoutMs, payload.data(), payload.size()));
  return Finish(tag, pending, guard);
}

TransferResult PrinterConnection::GetDeviceId(uint32_t timeoutMs, uint16_t wLength) {
  return Control(SetupPacket{0xA1, 0, 0, 0, wLength}, nullptr, timeoutMs);
}

TransferResult PrinterConnection::ClearHalt(uint8_t endpoint, uint32_t timeoutMs) {
  return Control(SetupPacket{0x02, kReqClearFeature, 0, endpoint, 0}, nullptr, timeoutMs);
}

void PrinterConnection::AbortPipe(Pipe pipe) {
  std::vector<uint32_t> tags;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& [tag, pending] : m_pending) {
      if (pending->pipe != pipe || pending->bDone || pending->bCancelSent) continue;
      pending->bCancelSent = true;
      tags.push_back(tag);
    }
    m_changed.notify_all();
  }
  for (uint32_t tag : tags) Send(Encode(Kind::Cancel, tag));
}

}  // namespace sim::cable
