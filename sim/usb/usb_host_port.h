// The in-process host port of the virtual USB cable: a test talks to the
// root hub from the CPU thread as a host program would, in virtual time.
// Each blocking call submits one transfer and runs the board (through the
// runner it was given, e.g. Machine::RunUntil) until the transfer has ended;
// the transfer's time-out runs on the board's clock, so a call never waits on
// wall time and a run repeats exactly. `Start...` submits without waiting,
// for transfers that overlap (a read pending while a command goes out).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "sim/board.h"
#include "sim/usb/usb_root_hub.h"

namespace sim {

class UsbHostPort {
 public:
  static constexpr Nanos kDefaultTimeout = 5000 * kNsPerMs;
  // Virtual time a blocking call may run past its transfer's time-out.
  static constexpr Nanos kRunMargin = 100 * kNsPerMs;

  // Runs the board until `done()` holds or `limit` of virtual time has
  // passed (or the board stops).
  using Runner = std::function<void(const std::function<bool()>& done, Nanos limit)>;

  // A transfer that was started and may still run.
  class Pending {
   public:
    bool Done() const { return m_bDone; }
    const UsbTransferResult& Result() const { return m_result; }

   private:
    friend class UsbHostPort;
    bool m_bDone = false;
    UsbTransferResult m_result;
    Nanos m_timeout = 0;
  };
  using PendingPtr = std::shared_ptr<Pending>;

  UsbHostPort(Board& board, UsbRootHub& hub, Runner runner);
  UsbHostPort(const UsbHostPort&) = delete;
  UsbHostPort& operator=(const UsbHostPort&) = delete;

  UsbRootHub& Hub() { return m_hub; }
  // Runs the board until the hub has configured the printer (true), it
  // failed, or `limit` passed.
  bool WaitForConfigured(Nanos limit);
  const UsbDeviceIdentity& Identity() const { return m_hub.Identity(); }
  void Unplug() { m_hub.UnplugCable(); }
  void Plug() { m_hub.PlugCable(); }

  UsbTransferResult Control(const UsbSetupPacket& setup, std::vector<uint8_t> out = {},
                            Nanos timeout = kDefaultTimeout);
  UsbTransferResult BulkOut(std::vector<uint8_t> data, Nanos timeout = kDefaultTimeout,
                            bool bZeroLengthPacketAfterFull = false);
  UsbTransferResult BulkIn(uint32_t maxLength, Nanos timeout = kDefaultTimeout);

  PendingPtr StartControl(const UsbSetupPacket& setup, std::vector<uint8_t> out = {},
                          Nanos timeout = kDefaultTimeout);
  PendingPtr StartBulkOut(std::vector<uint8_t> data, Nanos timeout = kDefaultTimeout,
                          bool bZeroLengthPacketAfterFull = false);
  PendingPtr StartBulkIn(uint32_t maxLength, Nanos timeout = kDefaultTimeout);
  // Runs the board until the transfer has ended; a transfer that has not
  // ended when the board stops reports Gone.
  UsbTransferResult Wait(const PendingPtr& pending);

  // Requests a host program makes.
  UsbTransferResult GetDescriptor(uint8_t type, uint8_t index, uint16_t language, uint16_t wLength);
  UsbTransferResult GetDeviceId(uint16_t wLength = UsbRootHub::kDeviceIdRequestLength);
  UsbTransferResult GetEndpointStatus(uint8_t endpoint);
  UsbTransferResult SetEndpointHalt(uint8_t endpoint);
  UsbTransferResult ClearEndpointHalt(uint8_t endpoint);

 private:
  PendingPtr NewPending(Nanos timeout, UsbCompletion* pDone);

  Board& m_board;
  UsbRootHub& m_hub;
  Runner m_runner;
  uint32_t m_waiting = 0;
};

}  // namespace sim
