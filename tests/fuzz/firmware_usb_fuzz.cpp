// Host bytes into the firmware: a whole printer (sim::Machine with the real
// firmware) boots once per process, and each input is a run of USB
// transfers a host program could make through the cable: control requests
// of any shape (with their OUT data stage), bulk OUT bytes, command packets
// with a well-formed header, bulk IN reads, and a read left pending while a
// command goes out. After each input the printer must still be on the bus,
// answer a good request, and the board must have seen no fault.
//
// FUZZ_USB_HIGH_SPEED picks the bus speed (one program per speed).
#include <stdlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <system_error>
#include <memory>
#include <vector>

#include "protocol/codes.h"
#include "protocol/headers.h"
#include "sim/machine.h"
#include "sim/usb/usb_host_port.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using sim::UsbOutcome;
using sim::UsbSetupPacket;

constexpr sim::Nanos kTransferTimeout = 20 * sim::kNsPerMs;
constexpr sim::Nanos kBootLimit = 10000 * sim::kNsPerMs;
constexpr sim::Nanos kStartUpRest = 8000 * sim::kNsPerMs;
constexpr sim::Nanos kSettle = 200 * sim::kNsPerMs;
// Control data a request may carry in this harness (wLength is cut to it).
constexpr uint16_t kControlDataMax = 1024;
constexpr size_t kBulkOutMax = 8192;
constexpr size_t kOperationsMax = 16;

constexpr uint8_t kReqGetStatus = 0;
constexpr uint8_t kReqClearFeature = 1;
constexpr uint8_t kReqSetFeature = 3;
constexpr uint8_t kReqSetConfiguration = 9;
constexpr uint16_t kFeatureTestMode = 2;

sim::Machine* g_machine = nullptr;

sim::Machine& Printer() {
  if (g_machine == nullptr) {
    sim::MachineOptions options;
    options.bUsbHighSpeed = FUZZ_USB_HIGH_SPEED != 0;
    // A new printer's flash and EEPROMs, so that its application comes up
    // and serves the commands the USB task forwards.
    static char s_stateDir[] = "/tmp/bom7300-fuzz-XXXXXX";
    fuzz::Require(mkdtemp(s_stateDir) != nullptr, "a state directory for the printer");
    std::atexit([] {
      std::error_code error;
      std::filesystem::remove_all(s_stateDir, error);
    });
    options.stateDir = s_stateDir;
    g_machine = new sim::Machine(std::move(options));  // lives as long as the process
    fuzz::Require(g_machine->UsbHost().WaitForConfigured(kBootLimit), "the printer enumerates at power-on");
    // The application's start-up ends and its main loop serves the
    // forwarded commands, so inputs reach their handlers.
    g_machine->RunFor(kStartUpRest);
  }
  return *g_machine;
}

// A genuine SET_FEATURE(TEST_MODE) sends the printer into a test mode until
// power-off, as the standard asks; the fuzzer may not end the session so.
bool IsTestModeRequest(const UsbSetupPacket& s) {
  return (s.bmRequestType & 0x7Fu) == 0 && s.bRequest == kReqSetFeature && s.wValue == kFeatureTestMode;
}

void ControlRequest(sim::UsbHostPort& host, fuzz::Input& in) {
  UsbSetupPacket s;
  s.bmRequestType = in.Byte();
  s.bRequest = in.Byte();
  s.wValue = in.U16();
  s.wIndex = in.U16();
  s.wLength = static_cast<uint16_t>(in.U16() % (kControlDataMax + 1));
  if (IsTestModeRequest(s)) return;
  const bool bIn = (s.bmRequestType & 0x80u) != 0;
  std::vector<uint8_t> out = bIn ? std::vector<uint8_t>{} : in.Bytes(s.wLength);
  host.Control(s, std::move(out), kTransferTimeout);
}

void BulkOut(sim::UsbHostPort& host, fuzz::Input& in) {
  const size_t length = in.U16() % (kBulkOutMax + 1);
  const bool bZeroLengthPacket = (in.Byte() & 1u) != 0;
  host.BulkOut(in.Bytes(length), kTransferTimeout, bZeroLengthPacket);
}

// A printer reset and an immediate update without the no-reset flag end
// the main loop and restart the board, which ends the session: the reset
// becomes a deferred tone-curve reset and the update keeps the printer
// running, so their parsers and handlers stay in reach.
void KeepRunning(uint16_t code, std::vector<uint8_t>& payload) {
  if (code == protocol::CMD_RESET && !payload.empty() && payload[0] == protocol::RESET_KIND_PRINTER) {
    payload[0] = protocol::RESET_KIND_TONE_CURVE;
  }
  if (code == protocol::CMD_UPDATE && payload.size() > 2) payload[2] |= 1;
}

// A command packet whose header counts its payload, so the input reaches
// the command decoders rather than the framing checks.
void CommandPacket(sim::UsbHostPort& host, fuzz::Input& in) {
  const uint16_t code = in.U16();
  std::vector<uint8_t> payload = in.Bytes(in.Byte());
  KeepRunning(code, payload);
  std::vector<uint8_t> packet(protocol::COMMAND_PACKET_MAX);
  const int32_t length = protocol::EncodeCommandPacket(code, payload.data(), static_cast<uint16_t>(payload.size()),
                                                       packet.data(), packet.size());
  if (length < 0) return;
  packet.resize(static_cast<size_t>(length));
  host.BulkOut(std::move(packet), kTransferTimeout);
}

void BulkIn(sim::UsbHostPort& host, fuzz::Input& in) { host.BulkIn(in.U16(), kTransferTimeout); }

// A read pending while bytes go out, as a host's reader thread does.
void ReadWhileWriting(sim::UsbHostPort& host, fuzz::Input& in) {
  auto read = host.StartBulkIn(in.U16(), kTransferTimeout);
  BulkOut(host, in);
  host.Wait(read);
}

using Operation = void (*)(sim::UsbHostPort&, fuzz::Input&);
constexpr Operation kOperations[] = {ControlRequest, BulkOut, CommandPacket, BulkIn, ReadWhileWriting};

// The printer is on the bus, answers a standard request on endpoint 0, and
// its bulk endpoints and configuration are back as a host driver would
// leave them for the next input.
void CheckAndRestore(sim::Machine& m) {
  sim::UsbHostPort& host = m.UsbHost();
  fuzz::Require(m.GetBoard().State() == sim::RunState::Paused, "the board still runs");
  fuzz::Require(m.UnexpectedFaults().empty(), "the board saw no fault");
  fuzz::Require(host.Hub().State() == sim::UsbPortState::Configured, "the printer stays on the bus");
  const sim::UsbTransferResult status = host.Control(UsbSetupPacket{0x80, kReqGetStatus, 0, 0, 2}, {}, kTransferTimeout);
  fuzz::Require(status.outcome == UsbOutcome::Done && status.data.size() == 2,
                "the printer answers GET_STATUS after the input");
  host.Control(UsbSetupPacket{0x00, kReqSetConfiguration, 1, 0, 0}, {}, kTransferTimeout);
  host.Control(UsbSetupPacket{0x02, kReqClearFeature, 0, 0x02, 0}, {}, kTransferTimeout);
  host.Control(UsbSetupPacket{0x02, kReqClearFeature, 0, 0x81, 0}, {}, kTransferTimeout);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sim::Machine& m = Printer();
  // The application takes what the last input left queued, so that this
  // input's commands are forwarded rather than refused as busy.
  m.RunFor(kSettle);
  fuzz::Input in(data, size);
  for (size_t n = 0; n < kOperationsMax && !in.Empty(); ++n) {
    kOperations[in.Byte() % std::size(kOperations)](m.UsbHost(), in);
  }
  CheckAndRestore(m);
  return 0;
}
