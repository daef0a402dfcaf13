// The printer end of the virtual USB cable: the root hub's socket transport
// inside printer-sim. While the hub has the printer's USB device configured,
// the printer has a socket in the bus directory (cable_bus.h); every client
// that connects gets the identity the hub cached, then sends transfers
// (cable_wire.h) which the transport hands to the hub and answers with their
// outcome.
//
// Threads: one I/O thread owns the connections (accept, receive, send) and
// only queues what it received for the CPU thread; the CPU thread (the
// board's) takes the queue at a clock event every kDrainPeriod of virtual
// time and does everything else: it talks to the hub, decides, and queues
// the answers for the I/O thread. The board is never touched from the I/O
// thread.
//
// Transfers: per pipe (control, bulk OUT, bulk IN) one client transfer runs
// at a time, in the order they arrived, from whichever client; the others
// wait, so transfers of clients that share a printer never mix. A bulk OUT
// transfer goes to the hub in pieces of whole packets as its data arrives,
// and the client is credited as the function takes it. A transfer's time-out
// counts on the board's clock from its arrival. A client that cancels a
// transfer or leaves gets its transfers cut between two packets; what they
// moved stays moved, nothing more is sent for them.
//
// Connections: however one ends (the client closes or says Bye, breaks the
// rules, or a send to it fails, even that of its identity), the CPU thread
// hears of it and ends its transfers; none of them starts meanwhile. A
// process out of descriptors turns new clients away (accepted with a spare
// descriptor and closed at once), saying so once on the console.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/board.h"
#include "sim/cable/cable_wire.h"
#include "sim/clock.h"
#include "sim/usb/usb_root_hub.h"

namespace sim::cable {

struct TransportCounters {
  uint64_t publications = 0;    // times the socket appeared on the bus
  uint64_t connections = 0;     // clients accepted
  uint64_t transfers = 0;       // client transfers ended, whatever their outcome
  uint64_t cancelled = 0;       // of which cut by a cancel or the client leaving
  uint64_t outBytes = 0;        // bulk OUT bytes the function took
  uint64_t inBytes = 0;         // bulk IN bytes handed to clients
  uint64_t protocolErrors = 0;  // connections closed for a malformed message
  uint64_t refused = 0;         // clients turned away (or kept waiting) for want of descriptors
};

class CableTransport {
 public:
  static constexpr Nanos kDrainPeriod = 200 * kNsPerUs;
  // Most bytes one hub transfer of a bulk OUT carries: whole packets at
  // either speed.
  static constexpr uint32_t kSubmitBytes = 64 * 1024;
  // A connection with more bulk OUT bytes queued than this ignored its
  // credits and is closed.
  static constexpr int64_t kQueueLimit = 4 * static_cast<int64_t>(kOutWindow);

  CableTransport(Board& board, UsbRootHub& hub, std::string busDirectory, std::string port);
  ~CableTransport();
  CableTransport(const CableTransport&) = delete;
  CableTransport& operator=(const CableTransport&) = delete;

  // Empty while the transport works; otherwise why it cannot (the bus
  // directory cannot be made, or a live printer holds this port).
  const std::string& Error() const { return m_error; }
  const std::string& SocketPath() const { return m_socketPath; }
  // The socket file is in the bus directory.
  bool Published() const { return m_listening; }

  // CPU thread only.
  size_t Connections() const { return m_conns.size(); }
  size_t ActiveTransfers() const { return m_transfers.size(); }
  const TransportCounters& Counters() const { return m_counters; }
  // One console line of what the transport saw: clients taken, still
  // connected and turned away; transfers and how many were cut; protocol
  // errors.
  std::string Report() const;

 private:
  enum PipeIndex : uint32_t { kControl = 0, kOut = 1, kIn = 2, kPipes = 3 };

  // ---- between the threads ----
  struct InEvent {
    enum class Type : uint8_t { Opened, Received, Closed, ProtocolError, Refused } type;
    uint64_t conn = 0;
    Message message;
    std::shared_ptr<std::atomic<int64_t>> queued;  // Opened: the connection's queued OUT bytes
    uint64_t publication = 0;                       // Opened: on which listening socket
  };
  struct IoCommand {
    enum class Type : uint8_t { Listen, Unlisten, Send, Close, Quit } type;
    uint64_t conn = 0;  // Listen: the publication's number
    int fd = -1;
    std::vector<uint8_t> bytes;
  };

  // ---- CPU thread ----
  struct ClientTransfer {
    uint64_t id = 0;
    uint64_t conn = 0;
    uint32_t tag = 0;
    PipeIndex pipe = kControl;
    Nanos deadline = 0;
    SimClock::EventId deadlineEvent = 0;
    std::optional<UsbRootHub::TransferId> hubId;  // the hub transfer in flight
    uint32_t inFlight = 0;
    // bulk OUT
    uint32_t total = 0;
    uint32_t timeoutMs = 0;
    bool bZeroLengthPacket = false;
    uint32_t received = 0;
    uint32_t moved = 0;
    uint32_t credited = 0;
    std::deque<std::vector<uint8_t>> pieces;
    size_t frontOffset = 0;
    // bulk IN
    uint32_t maxLength = 0;
    // control
    UsbSetupPacket setup;
    std::vector<uint8_t> out;
  };
  struct Conn {
    std::map<uint32_t, uint64_t> tags;  // transfer ids by the client's tag
    std::shared_ptr<std::atomic<int64_t>> queued;
    bool bLeaving = false;  // being dropped: none of its transfers starts any more
    bool bHeard = true;     // its client still reads what is sent to it
  };

  void OnHubState(UsbPortState state);
  void Publish();
  void Withdraw();
  void LeaveBus();
  void ScheduleDrain();
  void Drain();
  void OnMessage(uint64_t connId, Conn& conn, Message& message);
  void OnBulkOutPiece(uint64_t connId, Conn& conn, Message& message);
  void AddTransfer(Conn& conn, ClientTransfer t);
  void DropConnection(uint64_t conn, bool bSayBye);
  bool MayStart(const ClientTransfer& t) const;
  void Pump(uint32_t pipe);
  void PumpOut(ClientTransfer& t);
  void OnHubDone(uint64_t id, const UsbTransferResult& result);
  void OnDeadline(uint64_t id);
  void Cancel(ClientTransfer& t, Outcome outcome);
  void Finish(ClientTransfer& t, Outcome outcome, uint32_t bytes, const std::vector<uint8_t>* inData = nullptr);
  void DiscardPieces(ClientTransfer& t);
  void Credit(ClientTransfer& t, bool bForce);
  void SendTo(uint64_t conn, std::vector<uint8_t> bytes);
  void Post(IoCommand command);
  Nanos TimeoutLeft(const ClientTransfer& t) const;

  // ---- I/O thread ----
  void IoLoop();

  Board& m_board;
  UsbRootHub& m_hub;
  std::string m_busDirectory;
  std::string m_port;
  std::string m_socketPath;
  std::string m_error;
  std::shared_ptr<CableTransport*> m_self;
  SimClock::EventId m_drainEvent = 0;
  bool m_listening = false;
  bool m_bHolding = false;  // ending everything: start nothing new
  bool m_bRefusing = false;  // out of descriptors since the last client taken (said once)
  TransportCounters m_counters;
  std::map<uint64_t, Conn> m_conns;
  std::map<uint64_t, ClientTransfer> m_transfers;
  std::array<std::deque<uint64_t>, kPipes> m_pipes;
  uint64_t m_nextTransfer = 1;

  std::mutex m_mutex;
  std::vector<InEvent> m_inbox;
  std::vector<IoCommand> m_toIo;
  int m_wakeFd = -1;
  std::thread m_io;
};

}  // namespace sim::cable
