// The host end of the virtual USB cable: a program opens a printer on a bus
// directory (sim/cable/cable_bus.h) and runs transfers on its pipes as it
// would through an operating system's USB printer-class driver. It depends
// on nothing of the virtual board, so host-side code (the USB-access
// library) builds on it.
//
// One PrinterConnection per opened printer. It is safe to use from several
// threads at once: a read may wait on the bulk IN pipe while another thread
// writes. Each call is one transfer and blocks until the printer reports its
// outcome. The time-out runs on the printer's clock (paced to the wall
// clock); the call itself also gives up, cancelling the transfer, when the
// printer has not answered within twice the time-out and ten seconds more.
// Several processes may hold one printer: the printer runs their transfers
// one at a time per pipe, each whole.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/cable/cable_bus.h"
#include "sim/cable/cable_wire.h"

namespace sim::cable {

enum class Pipe : uint8_t { Control, BulkOut, BulkIn };

struct SetupPacket {
  uint8_t bmRequestType = 0;
  uint8_t bRequest = 0;
  uint16_t wValue = 0;
  uint16_t wIndex = 0;
  uint16_t wLength = 0;
  bool IsIn() const { return (bmRequestType & 0x80u) != 0; }
};

struct TransferResult {
  Outcome outcome = Outcome::Gone;
  uint32_t bytes = 0;          // OUT bytes the printer took, or IN bytes received
  std::vector<uint8_t> data;   // IN data
};

struct OpenOptions {
  // While the socket file is missing or nobody listens on it (the printer
  // is restarting), keep trying for this long.
  uint32_t retryMs = 0;
  // How long the printer may take to send its identity.
  uint32_t identityTimeoutMs = 5000;
};

class PrinterConnection {
 public:
  // Opens the printer at `port` on the bus. On failure returns null and
  // sets *pError to the errno of the last attempt (ENOENT: no such printer,
  // ECONNREFUSED: a dead printer's file, ECONNRESET: it left while opening,
  // ETIMEDOUT: no identity, EPROTO: not a printer of this cable).
  static std::unique_ptr<PrinterConnection> Open(const std::string& busDirectory, const std::string& port,
                                                 const OpenOptions& options = {}, int* pError = nullptr);
  ~PrinterConnection();
  PrinterConnection(const PrinterConnection&) = delete;
  PrinterConnection& operator=(const PrinterConnection&) = delete;

  const PrinterIdentity& Identity() const { return m_identity; }
  const std::string& BusDirectory() const { return m_busDirectory; }
  const std::string& Port() const { return m_port; }
  // \\?\usb#vid_xxxx&pid_xxxx#bus_<bus>&port_<port>#printer
  std::string DevicePath() const;
  // False once the printer has left the bus (or the connection broke): every
  // transfer then ends Gone, and the printer must be opened again.
  bool Connected() const;

  // One bulk OUT transfer of `size` bytes (sent in pieces; the printer
  // moves them as one transfer).
  TransferResult BulkOut(const void* data, size_t size, uint32_t timeoutMs, bool bZeroLengthPacket = false);
  // One bulk IN transfer of at most `maxLength` bytes: it ends with a short
  // or zero-length packet, or at `maxLength`.
  TransferResult BulkIn(uint32_t maxLength, uint32_t timeoutMs);
  // A control transfer; `outData` holds wLength bytes for an OUT request
  // (at most kMaxPiece). SET_ADDRESS is the hub's own: it ends Error.
  TransferResult Control(const SetupPacket& setup, const void* outData, uint32_t timeoutMs);
  // The printer class's GET_DEVICE_ID (as read: a 16-bit big-endian length,
  // then the IEEE 1284 text).
  TransferResult GetDeviceId(uint32_t timeoutMs, uint16_t wLength = 1023);
  // CLEAR_FEATURE(ENDPOINT_HALT): resets a halted bulk pipe and its toggle.
  TransferResult ClearHalt(uint8_t endpoint, uint32_t timeoutMs);

  // Cancels the transfers in progress on `pipe`: their calls return
  // Cancelled with what had moved.
  void AbortPipe(Pipe pipe);
  // Ends the connection; calls in progress return Gone.
  void Close();

 private:
  struct Pending {
    Pipe pipe = Pipe::Control;
    bool bDone = false;
    bool bCancelSent = false;
    uint32_t credited = 0;
    TransferResult result;
  };
  using PendingPtr = std::shared_ptr<Pending>;
  using Clock = std::chrono::steady_clock;
  // When a call stops waiting for a printer that does not answer.
  using Guard = Clock::time_point;
  static Guard GuardFor(uint32_t timeoutMs);

  PrinterConnection(int fd, std::string busDirectory, std::string port, PrinterIdentity identity);
  void Receive();
  bool Send(const std::vector<uint8_t>& message);
  uint32_t Begin(Pipe pipe, PendingPtr* pPending);
  TransferResult Finish(uint32_t tag, const PendingPtr& pending, Guard guard);
  void MarkGone();

  int m_fd = -1;
  std::string m_busDirectory;
  std::string m_port;
  PrinterIdentity m_identity;
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_bConnected = true;
  uint32_t m_nextTag = 1;
  std::map<uint32_t, PendingPtr> m_pending;
  std::mutex m_outMutex;  // one bulk OUT transfer at a time per connection
  std::mutex m_closeMutex;
  std::thread m_receiver;
};

}  // namespace sim::cable
