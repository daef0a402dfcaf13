// The root hub of the virtual USB cable: the host side of the printer's USB
// port, as an operating system's USB stack would run it.
//
// Port: while the cable is plugged the function sees VBUS. When the
// function pulls up, the hub waits kDebounce, resets the bus (kReset, then
// kResetRecovery) and enumerates at packet level: GET_DESCRIPTOR(DEVICE, 64)
// at address 0, SET_ADDRESS (a new address each time, 1-127) and
// kSetAddressRecovery, GET_DESCRIPTOR(DEVICE, 18), the configuration header
// and then the whole set, the language list and the strings the device
// descriptor names, the device qualifier (a USB 2.0 device at high speed),
// SET_CONFIGURATION with the configuration's value, and the printer class's
// GET_DEVICE_ID (wLength kDeviceIdRequestLength). What it read is cached
// (`Identity()`). A failure of the descriptors, the address or the
// configuration restarts enumeration with a new reset, kEnumerationAttempts
// times in all, then the port is Failed; strings, qualifier and device ID
// are optional. When the pull-up goes away (the firmware disconnects, VBUS
// is gone), the port is Detached and every transfer ends `Gone`.
//
// Transfers (the clients' interface, and what a socket transport carries):
// control transfers, bulk OUT of any length, bulk IN of at most a given
// length. Each pipe (control, bulk OUT, bulk IN) runs its transfers one at a
// time in submission order; the three pipes run side by side. A transfer is
// cut into packets of the endpoint's maximum size (the bulk endpoints': 512
// at high speed, 64 at full speed); a NAKed packet is tried again after
// kNakRetry (high speed) or kNakRetryFull; a bulk OUT transfer ends with its
// last packet (with a zero-length packet after a full last packet only when
// the client asks), a bulk IN or control IN data stage with a short or
// zero-length packet or at the asked length. IN tokens go out only while an
// IN transfer is pending. Data toggles are the host's: DATA0 after
// SET_CONFIGURATION and after a CLEAR_FEATURE(ENDPOINT_HALT) of the
// endpoint; an IN packet that repeats the last toggle is dropped. Each
// transfer ends with its outcome:
//   Done        completed
//   NakTimeout  its time-out (from submission) passed while the function
//               NAKed; the bytes moved so far are reported
//   Stall       the function stalled the endpoint (or refused the request)
//   Gone        the function left the bus, or was not configured
//   Error       protocol error: more data than asked for (babble), no
//               answer three times, or a request the hub keeps for itself
//               (SET_ADDRESS)
// Completions run on the board's clock (the CPU thread), in virtual time.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/board.h"
#include "sim/clock.h"
#include "sim/usb/usb_packet_port.h"

namespace sim {

enum class UsbOutcome : uint8_t { Done, NakTimeout, Stall, Gone, Error };
const char* ToString(UsbOutcome outcome);

struct UsbTransferResult {
  UsbOutcome outcome = UsbOutcome::Done;
  std::vector<uint8_t> data;  // IN data received
  uint32_t bytes = 0;         // bytes moved (acknowledged OUT bytes, or received IN bytes)
};

using UsbCompletion = std::function<void(const UsbTransferResult&)>;

// What the hub read at enumeration.
struct UsbDeviceIdentity {
  UsbSpeed speed = UsbSpeed::Full;
  uint8_t address = 0;
  std::vector<uint8_t> deviceDescriptor;
  std::vector<uint8_t> configuration;  // the whole set, wTotalLength bytes
  std::vector<uint8_t> qualifier;
  uint16_t languageId = 0;
  std::map<uint8_t, std::vector<uint8_t>> strings;  // string descriptors as read, by index
  std::string manufacturer;
  std::string product;
  std::string serialNumber;
  std::vector<uint8_t> deviceId;  // as read: 16-bit big-endian length, then the text
  std::string deviceIdText;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint8_t configurationValue = 0;
  uint8_t interfaceClass = 0;
  uint8_t interfaceSubClass = 0;
  uint8_t interfaceProtocol = 0;
  uint8_t bulkOutEndpoint = 0;
  uint8_t bulkInEndpoint = 0;
  uint16_t bulkOutMaxPacket = 0;
  uint16_t bulkInMaxPacket = 0;
};

// The text of a string descriptor (UTF-16LE, characters above 0x7F as '?').
std::string UsbStringText(const std::vector<uint8_t>& descriptor);

enum class UsbPortState : uint8_t { Detached, Debouncing, Enumerating, Configured, Failed };
const char* ToString(UsbPortState state);

struct UsbHubStats {
  uint64_t outPackets = 0;
  uint64_t outNaks = 0;
  uint64_t inPackets = 0;
  uint64_t inNaks = 0;
  uint64_t inDuplicates = 0;
  uint64_t enumerations = 0;  // completed ones
};

class UsbRootHub final : public DeviceModel {
 public:
  static constexpr Nanos kDebounce = 100 * kNsPerMs;
  static constexpr Nanos kReset = 10 * kNsPerMs;
  static constexpr Nanos kResetRecovery = 10 * kNsPerMs;
  static constexpr Nanos kSetAddressRecovery = 2 * kNsPerMs;
  static constexpr Nanos kControlTimeout = 5000 * kNsPerMs;
  static constexpr Nanos kNakRetry = 125 * kNsPerUs;
  static constexpr Nanos kNakRetryFull = 500 * kNsPerUs;
  static constexpr uint32_t kEnumerationAttempts = 3;
  static constexpr uint16_t kDeviceIdRequestLength = 1023;

  UsbRootHub(SimClock& clock, UsbFunctionPort& port, bool bHighSpeed);
  UsbRootHub(const UsbRootHub&) = delete;
  UsbRootHub& operator=(const UsbRootHub&) = delete;

  // The cable.
  void PlugCable();
  void UnplugCable();
  bool CablePlugged() const { return m_bCable; }

  UsbPortState State() const { return m_state; }
  // Why the last enumeration attempt failed.
  const std::string& FailureReason() const { return m_failure; }
  // Valid while Configured.
  const UsbDeviceIdentity& Identity() const { return m_identity; }
  const UsbHubStats& Stats() const { return m_stats; }
  // Told of every change of State().
  void AddObserver(std::function<void(UsbPortState)> fn) { m_observers.push_back(std::move(fn)); }

  // Client transfers; `timeout` counts from submission.
  using TransferId = uint64_t;
  TransferId SubmitControl(const UsbSetupPacket& setup, std::vector<uint8_t> outData, Nanos timeout,
                           UsbCompletion done);
  TransferId SubmitBulkOut(std::vector<uint8_t> data, Nanos timeout, UsbCompletion done,
                           bool bZeroLengthPacketAfterFull = false);
  TransferId SubmitBulkIn(uint32_t maxLength, Nanos timeout, UsbCompletion done);
  // Ends a client transfer whose client has gone, without calling its
  // completion: a queued one is dropped, a running one stops between two
  // packets (what it moved stays moved; IN data the function still holds
  // goes to the next IN transfer). Returns what it had moved, or nothing
  // when the transfer has already ended.
  std::optional<UsbTransferResult> CancelTransfer(TransferId id);

 private:
  enum Pipe : uint32_t { kPipeControl = 0, kPipeBulkOut = 1, kPipeBulkIn = 2, kPipes = 3 };
  enum class Stage : uint8_t { Setup, Data, Status };

  struct Transfer {
    TransferId id = 0;
    Pipe pipe = kPipeControl;
    UsbSetupPacket setup;
    std::vector<uint8_t> out;
    uint32_t maxIn = 0;
    bool bZlp = false;
    Nanos deadline = 0;
    UsbCompletion done;
    bool bInternal = false;
    Stage stage = Stage::Setup;
    uint32_t offset = 0;
    bool bControlToggle = true;
    bool bZlpSent = false;
    uint32_t errors = 0;
    std::vector<uint8_t> in;
  };

  TransferId Submit(Transfer t);
  void ScheduleStep(uint32_t pipe, Nanos delay);
  void Step(uint32_t pipe);
  void StepControl(Transfer& t, uint32_t pipe);
  void StepBulkOut(Transfer& t, uint32_t pipe);
  void StepBulkIn(Transfer& t, uint32_t pipe);
  void Handshake(Transfer& t, uint32_t pipe, UsbHandshake h, uint32_t bytes);
  void Finish(uint32_t pipe, UsbOutcome outcome);
  void FailAll(UsbOutcome outcome);
  Nanos PacketTime(uint32_t bytes) const;
  Nanos NakRetry() const { return m_speed == UsbSpeed::High ? kNakRetry : kNakRetryFull; }
  void AfterClientControl(const UsbSetupPacket& setup);

  void OnLinkChange();
  void EvaluateLink();
  void SetState(UsbPortState state);
  void StartEnumeration();
  void Enumerate(uint32_t step);
  void EnumControl(uint32_t step, const UsbSetupPacket& setup,
                   std::function<bool(const UsbTransferResult&)> accept, bool bRequired = true);
  void EnumFailed(const std::string& why);

  SimClock& m_clock;
  UsbFunctionPort& m_port;
  bool m_bHostHighSpeed;
  bool m_bCable = true;
  UsbPortState m_state = UsbPortState::Detached;
  uint64_t m_generation = 0;
  uint32_t m_attempts = 0;
  std::string m_failure;
  UsbDeviceIdentity m_identity;
  UsbHubStats m_stats;
  std::vector<std::function<void(UsbPortState)>> m_observers;

  UsbSpeed m_speed = UsbSpeed::Full;
  uint8_t m_address = 0;
  uint8_t m_nextAddress = 1;
  uint32_t m_maxPacket0 = 64;
  bool m_toggleOut = false;
  bool m_toggleIn = false;
  std::vector<uint8_t> m_stringIndexes;  // left to read in this enumeration
  TransferId m_nextId = 1;
  std::array<std::deque<Transfer>, kPipes> m_pipes;
  std::array<SimClock::EventId, kPipes> m_stepEvent{};
};

}  // namespace sim
