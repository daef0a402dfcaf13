#include "sim/cable/cable_transport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/cable/cable_bus.h"

namespace sim::cable {

namespace {

// A time-out that never expires, still far from overflowing the clock.
constexpr Nanos kForever = Nanos{1} << 62;
constexpr int kBacklog = 16;
// How long the listener is left alone after an accept failed for a reason
// other than an empty queue, before it is tried again.
constexpr int kListenerRestMs = 100;

std::string TempFileName(const std::string& port) { return "." + SocketFileName(port) + ".new"; }

PrinterIdentity IdentityOf(const UsbDeviceIdentity& hub, const std::string& port) {
  PrinterIdentity id;
  id.bHighSpeed = hub.speed == UsbSpeed::High;
  id.address = hub.address;
  id.deviceDescriptor = hub.deviceDescriptor;
  id.configuration = hub.configuration;
  id.qualifier = hub.qualifier;
  id.languageId = hub.languageId;
  for (const auto& [index, descriptor] : hub.strings) id.strings.emplace_back(index, descriptor);
  id.deviceId = hub.deviceId;
  id.vendorId = hub.vendorId;
  id.productId = hub.productId;
  id.serialNumber = hub.serialNumber;
  id.manufacturer = hub.manufacturer;
  id.product = hub.product;
  id.deviceIdText = hub.deviceIdText;
  id.bulkOutEndpoint = hub.bulkOutEndpoint;
  id.bulkOutMaxPacket = hub.bulkOutMaxPacket;
  id.bulkInEndpoint = hub.bulkInEndpoint;
  id.bulkInMaxPacket = hub.bulkInMaxPacket;
  id.port = port;
  return id;
}

Outcome OutcomeOf(UsbOutcome outcome) {
  switch (outcome) {
    case UsbOutcome::Done: return Outcome::Done;
    case UsbOutcome::NakTimeout: return Outcome::NakTimeout;
    case UsbOutcome::Stall: return Outcome::Stall;
    case UsbOutcome::Gone: return Outcome::Gone;
    case UsbOutcome::Error: return Outcome::Error;
  }
  return Outcome::Error;
}

}  // namespace

CableTransport::CableTransport(Board& board, UsbRootHub& hub, std::string busDirectory, std::string port)
    : m_board(board),
      m_hub(hub),
      m_busDirectory(std::move(busDirectory)),
      m_port(std::move(port)),
      m_self(std::make_shared<CableTransport*>(this)) {
  m_socketPath = m_busDirectory + "/" + SocketFileName(m_port);
  if (!IsValidPort(m_port)) {
    m_error = "not a port name (eight lower-case hex digits): " + m_port;
    return;
  }
  if (const int rc = EnsureDirectory(m_busDirectory); rc != 0) {
    m_error = "cannot make the bus directory " + m_busDirectory + ": " + std::strerror(-rc);
    return;
  }
  // A socket file left by a printer that died is removed; one that a live
  // printer listens on is not ours to take.
  {
    const UnixAddress address(m_busDirectory, SocketFileName(m_port));
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (address.Ok() && fd >= 0 && connect(fd, address.Get(), address.Length()) == 0) {
      m_error = "another printer is on the bus at " + m_socketPath;
    }
    if (fd >= 0) close(fd);
    if (!address.Ok()) m_error = "the bus directory cannot be reached: " + m_busDirectory;
    if (!m_error.empty()) return;
  }
  unlink(m_socketPath.c_str());
  unlink((m_busDirectory + "/" + TempFileName(m_port)).c_str());

  m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_wakeFd < 0) {
    m_error = std::string("eventfd: ") + std::strerror(errno);
    return;
  }
  m_io = std::thread([this] { IoLoop(); });
  std::weak_ptr<CableTransport*> weak = m_self;
  m_hub.AddObserver([weak](UsbPortState state) {
    if (auto self = weak.lock()) (*self)->OnHubState(state);
  });
  ScheduleDrain();
  if (m_hub.State() == UsbPortState::Configured) Publish();
}

CableTransport::~CableTransport() {
  m_self.reset();
  if (m_drainEvent != 0) m_board.Clock().Cancel(m_drainEvent);
  if (m_io.joinable()) {
    // The hub may run on after us: no completion of ours may stay behind.
    for (auto& [id, t] : m_transfers) {
      if (t.hubId) m_hub.CancelTransfer(*t.hubId);
      t.hubId.reset();
    }
    LeaveBus();
    Post(IoCommand{IoCommand::Type::Quit});
    m_io.join();
  }
  if (m_wakeFd >= 0) close(m_wakeFd);
}

std::string CableTransport::Report() const {
  const TransportCounters& c = m_counters;
  return "[cable] clients: " + std::to_string(c.connections) + " taken, " + std::to_string(m_conns.size()) +
         " still connected, " + std::to_string(c.refused) + " turned away; transfers: " + std::to_string(c.transfers) +
         " (" + std::to_string(c.cancelled) + " cancelled); protocol errors: " + std::to_string(c.protocolErrors);
}

// ---- the bus ------------------------------------------------------------------------------

void CableTransport::OnHubState(UsbPortState state) {
  if (state == UsbPortState::Configured) {
    Publish();
  } else if (m_listening) {
    // The file goes at once. The hub ends its transfers right after telling
    // us (Gone); the clients hear of it before the connections close.
    Withdraw();
    std::weak_ptr<CableTransport*> weak = m_self;
    m_board.Clock().ScheduleIn(0, [weak] {
      if (auto self = weak.lock()) (*self)->LeaveBus();
    });
  }
}

void CableTransport::Publish() {
  if (m_listening || !m_error.empty()) return;
  const std::string tempName = TempFileName(m_port);
  const std::string tempPath = m_busDirectory + "/" + tempName;
  auto fail = [&](const char* what, int fd) {
    std::fprintf(stderr, "[cable] cannot put the printer on the bus (%s %s: %s)\n", what, m_socketPath.c_str(),
                 std::strerror(errno));
    if (fd >= 0) close(fd);
    unlink(tempPath.c_str());
  };
  if (EnsureDirectory(m_busDirectory) != 0) return fail("bus directory", -1);
  const UnixAddress address(m_busDirectory, tempName);
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return fail("socket", -1);
  unlink(tempPath.c_str());
  if (!address.Ok()) return fail("address", fd);
  if (bind(fd, address.Get(), address.Length()) != 0) return fail("bind", fd);
  if (listen(fd, kBacklog) != 0) return fail("listen", fd);
  // The file appears with the socket already listening.
  if (rename(tempPath.c_str(), m_socketPath.c_str()) != 0) return fail("rename", fd);
  const PrinterIdentity identity = IdentityOf(m_hub.Identity(), m_port);
  const std::vector<uint8_t> payload = EncodeIdentity(identity);
  ++m_counters.publications;
  IoCommand listenCommand{IoCommand::Type::Listen, m_counters.publications};
  listenCommand.fd = fd;
  listenCommand.bytes = Encode(Kind::Identity, 0, kWireVersion, 0, 0, payload.data(), payload.size());
  Post(std::move(listenCommand));
  m_listening = true;
  m_board.ConsoleLine("[cable] on the bus: " + m_socketPath);
}

void CableTransport::Withdraw() {
  if (!m_listening) return;
  unlink(m_socketPath.c_str());
  m_listening = false;
  Post(IoCommand{IoCommand::Type::Unlisten});
  m_board.ConsoleLine("[cable] off the bus: " + m_socketPath);
}

void CableTransport::LeaveBus() {
  Withdraw();
  m_bHolding = true;
  // Transfers still waiting for their turn end Gone; so do those the hub
  // was running (it has ended them, or is told to now).
  std::vector<uint64_t> ids;
  for (const auto& [id, t] : m_transfers) ids.push_back(id);
  for (uint64_t id : ids) {
    auto it = m_transfers.find(id);
    if (it == m_transfers.end()) continue;
    Cancel(it->second, Outcome::Gone);
  }
  std::vector<uint64_t> conns;
  for (const auto& [id, c] : m_conns) conns.push_back(id);
  for (uint64_t id : conns) DropConnection(id, true);
  m_bHolding = false;
}

// ---- the CPU thread's side ------------------------------------------------------------------

void CableTransport::ScheduleDrain() {
  std::weak_ptr<CableTransport*> weak = m_self;
  m_drainEvent = m_board.Clock().ScheduleIn(kDrainPeriod, [weak] {
    if (auto self = weak.lock()) {
      (*self)->m_drainEvent = 0;
      (*self)->Drain();
      (*self)->ScheduleDrain();
    }
  });
}

void CableTransport::Drain() {
  std::vector<InEvent> events;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    events.swap(m_inbox);
  }
  for (InEvent& e : events) {
    switch (e.type) {
      case InEvent::Type::Opened: {
        if (!m_listening || e.publication != m_counters.publications) {
          // Accepted just before the printer left the bus: its identity may
          // be of an earlier enumeration.
          SendTo(e.conn, Encode(Kind::Bye, 0));
          Post(IoCommand{IoCommand::Type::Close, e.conn});
          break;
        }
        m_bRefusing = false;
        Conn conn;
        conn.queued = std::move(e.queued);
        m_conns.emplace(e.conn, std::move(conn));
        ++m_counters.connections;
        break;
      }
      case InEvent::Type::Received:
        if (auto conn = m_conns.find(e.conn); conn != m_conns.end()) OnMessage(e.conn, conn->second, e.message);
        break;
      case InEvent::Type::ProtocolError:
        ++m_counters.protocolErrors;
        DropConnection(e.conn, false);
        break;
      case InEvent::Type::Closed:
        DropConnection(e.conn, false);
        break;
      case InEvent::Type::Refused:
        ++m_counters.refused;
        if (!m_bRefusing) m_board.ConsoleLine("[cable] out of descriptors: new clients are turned away");
        m_bRefusing = true;
        break;
    }
  }
}

void CableTransport::OnMessage(uint64_t connId, Conn& conn, Message& m) {
  auto existing = conn.tags.find(m.tag);
  switch (m.kind) {
    case Kind::BulkOut:
      OnBulkOutPiece(connId, conn, m);
      return;
    case Kind::BulkIn:
    case Kind::Control: {
      if (existing != conn.tags.end()) {
        // A tag still in use: the client lost track of its transfers.
        ++m_counters.protocolErrors;
        DropConnection(connId, true);
        return;
      }
      ClientTransfer t;
      t.conn = connId;
      t.tag = m.tag;
      t.timeoutMs = m.arg2;
      if (m.kind == Kind::BulkIn) {
        t.pipe = kIn;
        t.maxLength = m.arg0;
      } else {
        const uint8_t* p = m.payload.data();
        t.pipe = kControl;
        t.setup = UsbSetupPacket{p[0], p[1], GetLe16(p + 2), GetLe16(p + 4), GetLe16(p + 6)};
        t.out.assign(m.payload.begin() + 8, m.payload.end());
        if (t.setup.IsIn() ? !t.out.empty() : t.out.size() != t.setup.wLength) {
          ++m_counters.protocolErrors;
          DropConnection(connId, true);
          return;
        }
      }
      AddTransfer(conn, std::move(t));
      return;
    }
    case Kind::Cancel:
      if (existing != conn.tags.end()) Cancel(m_transfers.at(existing->second), Outcome::Cancelled);
      return;
    case Kind::Bye:
      DropConnection(connId, false);
      return;
    default:
      return;  // the I/O thread lets only client kinds through
  }
}

void CableTransport::OnBulkOutPiece(uint64_t connId, Conn& conn, Message& m) {
  const auto size = static_cast<uint32_t>(m.payload.size());
  auto existing = conn.tags.find(m.tag);
  if (existing == conn.tags.end()) {
    if (m.arg1 != 0) {
      // The rest of a transfer that has already ended (time-out, cancel):
      // its data goes nowhere.
      conn.queued->fetch_sub(size);
      return;
    }
    ClientTransfer t;
    t.conn = connId;
    t.tag = m.tag;
    t.pipe = kOut;
    t.total = m.arg0;
    t.timeoutMs = m.arg2;
    t.bZeroLengthPacket = (m.flags & kFlagZeroLengthPacket) != 0;
    AddTransfer(conn, std::move(t));
    existing = conn.tags.find(m.tag);
  }
  ClientTransfer& t = m_transfers.at(existing->second);
  const bool bInOrder = t.pipe == kOut && m.arg0 == t.total && m.arg1 == t.received && m.arg2 == t.timeoutMs &&
                        size <= t.total - t.received && (size != 0 || t.total == 0);
  if (!bInOrder) {
    conn.queued->fetch_sub(size);
    ++m_counters.protocolErrors;
    DropConnection(connId, true);
    return;
  }
  t.received += size;
  if (size != 0) t.pieces.push_back(std::move(m.payload));
  if (!m_pipes[kOut].empty() && m_pipes[kOut].front() == t.id) PumpOut(t);
}

void CableTransport::AddTransfer(Conn& conn, ClientTransfer t) {
  t.id = m_nextTransfer++;
  const Nanos now = m_board.Clock().Now();
  t.deadline = t.timeoutMs == kNoTimeout ? kForever : now + static_cast<Nanos>(t.timeoutMs) * kNsPerMs;
  const uint64_t id = t.id;
  const uint32_t pipe = t.pipe;
  if (t.timeoutMs != kNoTimeout) {
    std::weak_ptr<CableTransport*> weak = m_self;
    t.deadlineEvent = m_board.Clock().Schedule(t.deadline, [weak, id] {
      if (auto self = weak.lock()) (*self)->OnDeadline(id);
    });
  }
  conn.tags[t.tag] = id;
  m_transfers.emplace(id, std::move(t));
  m_pipes[pipe].push_back(id);
  if (m_pipes[pipe].size() == 1) Pump(pipe);
}

Nanos CableTransport::TimeoutLeft(const ClientTransfer& t) const {
  const Nanos now = m_board.Clock().Now();
  return t.deadline > now ? t.deadline - now : 0;
}

bool CableTransport::MayStart(const ClientTransfer& t) const {
  if (t.hubId || m_bHolding) return false;
  const auto conn = m_conns.find(t.conn);
  return conn != m_conns.end() && !conn->second.bLeaving;
}

void CableTransport::Pump(uint32_t pipe) {
  if (m_pipes[pipe].empty()) return;
  ClientTransfer& t = m_transfers.at(m_pipes[pipe].front());
  if (!MayStart(t)) return;
  const uint64_t id = t.id;
  std::weak_ptr<CableTransport*> weak = m_self;
  auto done = [weak, id](const UsbTransferResult& r) {
    if (auto self = weak.lock()) (*self)->OnHubDone(id, r);
  };
  switch (pipe) {
    case kOut:
      PumpOut(t);
      return;
    case kIn:
      t.hubId = m_hub.SubmitBulkIn(t.maxLength, TimeoutLeft(t), done);
      return;
    default:
      t.hubId = m_hub.SubmitControl(t.setup, t.out, TimeoutLeft(t), done);
      return;
  }
}

void CableTransport::PumpOut(ClientTransfer& t) {
  if (!MayStart(t)) return;
  const uint32_t available = t.received - t.moved;
  const bool bAllHere = t.received == t.total;
  uint32_t n = std::min(available, kSubmitBytes);
  const bool bLast = bAllHere && n == available;
  if (!bLast) {
    // Only the transfer's last piece may end in a short packet.
    const uint32_t maxPacket = std::max<uint32_t>(m_hub.Identity().bulkOutMaxPacket, 1);
    n -= n % maxPacket;
    if (n == 0) return;  // wait for more data
  }
  std::vector<uint8_t> data;
  data.reserve(n);
  while (data.size() < n) {
    std::vector<uint8_t>& front = t.pieces.front();
    const size_t take = std::min<size_t>(front.size() - t.frontOffset, n - data.size());
    data.insert(data.end(), front.begin() + static_cast<std::ptrdiff_t>(t.frontOffset),
                front.begin() + static_cast<std::ptrdiff_t>(t.frontOffset + take));
    t.frontOffset += take;
    if (t.frontOffset == front.size()) {
      t.pieces.pop_front();
      t.frontOffset = 0;
    }
  }
  m_conns.at(t.conn).queued->fetch_sub(n);
  t.inFlight = n;
  const uint64_t id = t.id;
  std::weak_ptr<CableTransport*> weak = m_self;
  t.hubId = m_hub.SubmitBulkOut(
      std::move(data), TimeoutLeft(t),
      [weak, id](const UsbTransferResult& r) {
        if (auto self = weak.lock()) (*self)->OnHubDone(id, r);
      },
      bLast && t.bZeroLengthPacket);
}

void CableTransport::OnHubDone(uint64_t id, const UsbTransferResult& r) {
  auto it = m_transfers.find(id);
  if (it == m_transfers.end()) return;
  ClientTransfer& t = it->second;
  t.hubId.reset();
  const Outcome outcome = OutcomeOf(r.outcome);
  if (t.pipe != kOut) {
    if (t.pipe == kIn) m_counters.inBytes += r.data.size();
    Finish(t, outcome, r.bytes, &r.data);
    return;
  }
  t.moved += std::min(r.bytes, t.inFlight);
  m_counters.outBytes += std::min(r.bytes, t.inFlight);
  t.inFlight = 0;
  if (outcome != Outcome::Done) {
    Finish(t, outcome, t.moved);
  } else if (t.moved == t.total) {
    Finish(t, Outcome::Done, t.moved);
  } else {
    Credit(t, false);
    PumpOut(t);
    if (!t.hubId) Credit(t, true);  // starved: let the client send on
  }
}

void CableTransport::OnDeadline(uint64_t id) {
  auto it = m_transfers.find(id);
  if (it == m_transfers.end()) return;
  it->second.deadlineEvent = 0;
  // A transfer the hub runs ends by its own time-out at this same moment.
  if (!it->second.hubId) Finish(it->second, Outcome::NakTimeout, it->second.moved);
}

void CableTransport::Cancel(ClientTransfer& t, Outcome outcome) {
  uint32_t bytes = t.moved;
  std::vector<uint8_t> data;
  if (t.hubId) {
    if (const auto r = m_hub.CancelTransfer(*t.hubId)) {
      if (t.pipe == kOut) {
        t.moved += std::min(r->bytes, t.inFlight);
        m_counters.outBytes += std::min(r->bytes, t.inFlight);
        bytes = t.moved;
      } else {
        bytes = r->bytes;
        data = r->data;
      }
    }
    t.hubId.reset();
  }
  if (outcome == Outcome::Cancelled) ++m_counters.cancelled;
  Finish(t, outcome, bytes, &data);
}

void CableTransport::Credit(ClientTransfer& t, bool bForce) {
  if (t.moved == t.credited || (!bForce && t.moved - t.credited < kCreditStep)) return;
  t.credited = t.moved;
  SendTo(t.conn, Encode(Kind::Credit, t.tag, t.moved));
}

void CableTransport::DiscardPieces(ClientTransfer& t) {
  int64_t left = 0;
  for (const auto& piece : t.pieces) left += static_cast<int64_t>(piece.size());
  left -= static_cast<int64_t>(t.frontOffset);
  t.pieces.clear();
  t.frontOffset = 0;
  auto conn = m_conns.find(t.conn);
  if (conn != m_conns.end() && left != 0) conn->second.queued->fetch_sub(left);
}

void CableTransport::Finish(ClientTransfer& t, Outcome outcome, uint32_t bytes, const std::vector<uint8_t>* inData) {
  const uint64_t id = t.id;
  const uint32_t pipe = t.pipe;
  if (t.hubId) {
    m_hub.CancelTransfer(*t.hubId);
    t.hubId.reset();
  }
  if (t.deadlineEvent != 0) m_board.Clock().Cancel(t.deadlineEvent);
  DiscardPieces(t);
  auto conn = m_conns.find(t.conn);
  if (conn != m_conns.end()) conn->second.tags.erase(t.tag);
  if (conn != m_conns.end() && conn->second.bHeard) {
    if (inData != nullptr) {
      for (size_t at = 0; at < inData->size(); at += kMaxPiece) {
        const size_t n = std::min<size_t>(kMaxPiece, inData->size() - at);
        SendTo(t.conn, Encode(Kind::InData, t.tag, static_cast<uint32_t>(at), 0, 0, inData->data() + at, n));
      }
    }
    SendTo(t.conn, Encode(Kind::Result, t.tag, static_cast<uint32_t>(outcome), bytes));
  }
  ++m_counters.transfers;
  auto& queue = m_pipes[pipe];
  const bool bWasRunning = !queue.empty() && queue.front() == id;
  queue.erase(std::remove(queue.begin(), queue.end(), id), queue.end());
  m_transfers.erase(id);
  if (bWasRunning) Pump(pipe);
}

void CableTransport::DropConnection(uint64_t connId, bool bSayBye) {
  auto it = m_conns.find(connId);
  if (it == m_conns.end() || it->second.bLeaving) return;
  // The connection stays known until its transfers are over: ending the one
  // a pipe runs lets the pipe go on to the next in line, which may be this
  // client's too and must not start. A client that is gone hears nothing.
  Conn& conn = it->second;
  conn.bLeaving = true;
  conn.bHeard = bSayBye;
  std::vector<uint64_t> ids;
  for (const auto& [tag, id] : conn.tags) ids.push_back(id);
  for (uint64_t id : ids) {
    auto t = m_transfers.find(id);
    if (t == m_transfers.end()) continue;
    Cancel(t->second, bSayBye ? Outcome::Gone : Outcome::Cancelled);
  }
  if (bSayBye) SendTo(connId, Encode(Kind::Bye, 0));
  m_conns.erase(connId);
  Post(IoCommand{IoCommand::Type::Close, connId});
}

void CableTransport::SendTo(uint64_t conn, std::vector<uint8_t> bytes) {
  IoCommand command{IoCommand::Type::Send, conn};
  command.bytes = std::move(bytes);
  Post(std::move(command));
}

void CableTransport::Post(IoCommand command) {
  bool bWake;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    bWake = m_toIo.empty();
    m_toIo.push_back(std::move(command));
  }
  if (bWake) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(m_wakeFd, &one, sizeof one);
  }
}

// ---- the I/O thread ---------------------------------------------------------------------------

void CableTransport::IoLoop() {
  struct IoConn {
    uint64_t id;
    int fd;
    std::deque<std::vector<uint8_t>> out;
    bool bClosing = false;
    bool bDead = false;
    std::shared_ptr<std::atomic<int64_t>> queued;
  };
  std::vector<IoConn> conns;
  int listenFd = -1;
  uint64_t publication = 0;
  std::vector<uint8_t> identity;
  uint64_t nextConn = 1;
  std::vector<uint8_t> buffer(kMaxMessage + 1);
  std::vector<InEvent> events;
  std::vector<IoCommand> commands;
  std::vector<pollfd> fds;
  bool bQuit = false;
  // Kept for the moment the process runs out of descriptors: given up to
  // accept the client at the head of the queue and close it at once, so
  // the listener does not stay readable for a client that cannot be taken.
  int spare = open("/dev/null", O_RDONLY | O_CLOEXEC);
  // Without a spare the listener rests for a while instead.
  bool bListenerResting = false;

  auto find = [&conns](uint64_t id) -> IoConn* {
    for (IoConn& c : conns) {
      if (c.id == id) return &c;
    }
    return nullptr;
  };
  // A connection ends once; the CPU thread hears why, whichever way it
  // ended (even before the identity went out), and drops its transfers.
  auto end = [&events](IoConn& c, InEvent::Type why) {
    if (c.bDead) return;
    c.bDead = true;
    events.push_back(InEvent{why, c.id, {}, nullptr, 0});
  };
  auto flush = [&end](IoConn& c) {
    while (!c.out.empty() && !c.bDead) {
      const std::vector<uint8_t>& m = c.out.front();
      const ssize_t n = send(c.fd, m.data(), m.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      if (n < 0) return end(c, InEvent::Type::Closed);
      c.out.pop_front();
    }
  };
  auto receive = [&](IoConn& c) {
    for (;;) {
      iovec iov{buffer.data(), buffer.size()};
      msghdr msg{};
      msg.msg_iov = &iov;
      msg.msg_iovlen = 1;
      const ssize_t n = recvmsg(c.fd, &msg, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      if (n <= 0) return end(c, InEvent::Type::Closed);
      if (c.bClosing) continue;  // leaving: what it still sends is dropped
      Message m;
      bool bOk = (msg.msg_flags & MSG_TRUNC) == 0 && Decode(buffer.data(), static_cast<size_t>(n), &m);
      bOk = bOk && (m.kind == Kind::BulkOut || m.kind == Kind::BulkIn || m.kind == Kind::Control ||
                    m.kind == Kind::Cancel || m.kind == Kind::Bye);
      if (bOk && m.kind == Kind::BulkOut) {
        bOk = c.queued->fetch_add(static_cast<int64_t>(m.payload.size())) + static_cast<int64_t>(m.payload.size()) <=
              kQueueLimit;
      }
      if (!bOk) return end(c, InEvent::Type::ProtocolError);
      events.push_back(InEvent{InEvent::Type::Received, c.id, std::move(m), nullptr, 0});
    }
  };

  while (!bQuit) {
    fds.clear();
    fds.push_back(pollfd{m_wakeFd, POLLIN, 0});
    fds.push_back(pollfd{bListenerResting ? -1 : listenFd, POLLIN, 0});  // ignored while -1
    for (const IoConn& c : conns) {
      fds.push_back(pollfd{c.fd, static_cast<short>(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
    }
    if (poll(fds.data(), fds.size(), bListenerResting ? kListenerRestMs : -1) < 0 && errno != EINTR) break;
    bListenerResting = false;

    if ((fds[0].revents & POLLIN) != 0) {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t n = read(m_wakeFd, &count, sizeof count);
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        commands.swap(m_toIo);
      }
      for (IoCommand& command : commands) {
        switch (command.type) {
          case IoCommand::Type::Listen:
            if (listenFd >= 0) close(listenFd);
            listenFd = command.fd;
            publication = command.conn;
            identity = std::move(command.bytes);
            break;
          case IoCommand::Type::Unlisten:
            if (listenFd >= 0) close(listenFd);
            listenFd = -1;
            break;
          case IoCommand::Type::Send:
            if (IoConn* c = find(command.conn)) c->out.push_back(std::move(command.bytes));
            break;
          case IoCommand::Type::Close:
            if (IoConn* c = find(command.conn)) c->bClosing = true;
            break;
          case IoCommand::Type::Quit:
            bQuit = true;
            break;
        }
      }
      commands.clear();
    }
    while (listenFd >= 0 && (fds[1].revents & POLLIN) != 0) {
      const int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd >= 0) {
        IoConn c{nextConn++, fd, {}, false, false, std::make_shared<std::atomic<int64_t>>(0)};
        c.out.push_back(identity);
        events.push_back(InEvent{InEvent::Type::Opened, c.id, {}, c.queued, publication});
        conns.push_back(std::move(c));
        continue;
      }
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      if (errno == EINTR || errno == ECONNABORTED) continue;
      const bool bShortOfDescriptors = errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM;
      if (bShortOfDescriptors && spare >= 0) {
        // The shortage is reported whether a client waits or not; the spare
        // tells, and turns away the one that does.
        close(spare);
        const int turnedAway = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        const int acceptError = errno;
        if (turnedAway >= 0) close(turnedAway);
        spare = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (turnedAway >= 0) {
          events.push_back(InEvent{InEvent::Type::Refused, 0, {}, nullptr, 0});
          continue;
        }
        if (acceptError == EAGAIN || acceptError == EWOULDBLOCK) break;
      }
      if (bShortOfDescriptors) events.push_back(InEvent{InEvent::Type::Refused, 0, {}, nullptr, 0});
      bListenerResting = true;
      break;
    }
    // Connections accepted above are not in `fds` yet: they start next turn.
    const size_t polled = fds.size() - 2;
    for (size_t i = 0; i < conns.size(); ++i) {
      IoConn& c = conns[i];
      const short revents = i < polled ? fds[i + 2].revents : 0;
      if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) receive(c);
      flush(c);
    }
    for (auto it = conns.begin(); it != conns.end();) {
      if (it->bDead || (it->bClosing && it->out.empty()) || bQuit) {
        close(it->fd);
        it = conns.erase(it);
      } else {
        ++it;
      }
    }
    if (!events.empty()) {
      std::lock_guard<std::mutex> lock(m_mutex);
      for (InEvent& e : events) m_inbox.push_back(std::move(e));
      events.clear();
    }
  }
  for (IoConn& c : conns) close(c.fd);
  if (listenFd >= 0) close(listenFd);
  if (spare >= 0) close(spare);
  // Descriptors handed over but never taken.
  std::lock_guard<std::mutex> lock(m_mutex);
  for (IoCommand& command : m_toIo) {
    if (command.type == IoCommand::Type::Listen && command.fd >= 0) close(command.fd);
  }
  m_toIo.clear();
}

}  // namespace sim::cable
