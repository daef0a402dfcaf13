// The USB bus between the root hub and a USB function, at packet level:
// what a host controller sends (reset signalling, SETUP, OUT and IN tokens
// with their data) and the handshake the function answers. The USB device
// controller model is such a function; a test may put a scripted one in its
// place.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace sim {

enum class UsbSpeed : uint8_t { Full, High };

// A function's answer to one transaction.
enum class UsbHandshake : uint8_t {
  Ack,         // taken (OUT, SETUP) or data given (IN)
  Nak,         // not now: the host tries again later
  Stall,       // the endpoint is halted or the request refused
  NoResponse,  // nobody answered: wrong address, or no function on the bus
};

// The 8 bytes of a SETUP packet.
struct UsbSetupPacket {
  uint8_t bmRequestType = 0;
  uint8_t bRequest = 0;
  uint16_t wValue = 0;
  uint16_t wIndex = 0;
  uint16_t wLength = 0;

  std::array<uint8_t, 8> Bytes() const {
    return {bmRequestType,
            bRequest,
            static_cast<uint8_t>(wValue),
            static_cast<uint8_t>(wValue >> 8),
            static_cast<uint8_t>(wIndex),
            static_cast<uint8_t>(wIndex >> 8),
            static_cast<uint8_t>(wLength),
            static_cast<uint8_t>(wLength >> 8)};
  }
  bool IsIn() const { return (bmRequestType & 0x80u) != 0; }
};

class UsbFunctionPort {
 public:
  // The function shows itself on the bus (its D+ pull-up is on).
  virtual bool PullUp() const = 0;
  // VBUS from the cable.
  virtual void SetVbus(bool bPresent) = 0;
  // Reset signalling; a high-speed host and a function that chirps end in
  // high speed.
  virtual UsbSpeed BusReset(bool bHostHighSpeed) = 0;
  // One transaction each. `toggle` is the DATA0/DATA1 PID of the data
  // packet: the host's for OUT, the function's (returned) for IN.
  virtual UsbHandshake Setup(uint8_t address, const std::array<uint8_t, 8>& packet) = 0;
  virtual UsbHandshake Out(uint8_t address, uint8_t endpoint, bool toggle, const uint8_t* data, uint32_t length) = 0;
  virtual UsbHandshake In(uint8_t address, uint8_t endpoint, bool* pToggle, std::vector<uint8_t>* pData) = 0;
  // Called whenever PullUp() may have changed.
  virtual void SetLinkObserver(std::function<void()> fn) = 0;

 protected:
  ~UsbFunctionPort() = default;
};

}  // namespace sim
