// Printer bytes into the host library's reply readers: the library is
// opened once per process on a fake printer (the USB-access test double);
// each input is one reply the printer sends to a status command, and the
// first input byte picks the reader and the size of the caller's buffer.
// The buffer is exactly that size on the heap, so a copy past it is
// caught; a reader that fails must say why (never RESULT_OK).
#include <iterator>
#include <memory>
#include <vector>

#include "host_result_codes.h"
#include "library_frame.h"
#include "printer_session.h"
#include "transport.h"
#include "tests/fuzz/fuzz_input.h"
#include "usbctrl_double/usbctrl_double.h"
#include "bom7300upgrade.h"

namespace {

using hostlib::ReplyReader;

hostlib::PrinterSession& Session() {
  static hostlib::PrinterSession* session = [] {
    usbctrl_double::Reset();
    fuzz::Require(usbctrl_double::AddPrinter("R0000001") == 0, "the fake printer is added");
    uint16_t err = 0;
    fuzz::Require(kt_open(&err) == 1, "the library opens on the fake printer");
    return hostlib::g_apSessions[0].load();
  }();
  return *session;
}

struct Read {
  const char* what;
  int (*read)(ReplyReader& reader, uint8_t* out, size_t capacity, uint16_t* err);
};

constexpr Read kReaders[] = {
    {"ack", [](ReplyReader& r, uint8_t*, size_t, uint16_t* err) { return r.ReadAck(err); }},
    {"payload",
     [](ReplyReader& r, uint8_t* out, size_t capacity, uint16_t* err) {
       uint16_t length = 0;
       const int ok = r.ReadPayload(out, capacity, err, &length);
       fuzz::Require(length <= capacity, "a payload's length fits the caller's buffer");
       return ok;
     }},
    {"whole reply",
     [](ReplyReader& r, uint8_t* out, size_t capacity, uint16_t* err) { return r.ReadWholeReply(out, capacity, err); }},
    {"short payload",
     [](ReplyReader& r, uint8_t* out, size_t capacity, uint16_t* err) {
       return r.ReadShortPayload(capacity >= 2 ? out : nullptr, err);
     }},
    {"universal",
     [](ReplyReader& r, uint8_t* out, size_t capacity, uint16_t* err) {
       uint8_t length = 0;
       return r.ReadUniversalReply(out, capacity, &length, err);
     }},
    {"job set-up",
     [](ReplyReader& r, uint8_t* out, size_t capacity, uint16_t* err) {
       return r.ReadJobSetupReply(out, capacity, err);
     }},
    {"status", [](ReplyReader& r, uint8_t*, size_t, uint16_t* err) { return r.ReadStatus(err); }},
    {"status or error", [](ReplyReader& r, uint8_t*, size_t, uint16_t* err) { return r.ReadStatusOrError(err); }},
    {"printer id status", [](ReplyReader& r, uint8_t*, size_t, uint16_t* err) { return r.ReadPrinterIdStatus(err); }},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hostlib::PrinterSession& session = Session();
  fuzz::Input in(data, size);
  const uint8_t pick = in.Byte();
  const Read& reader = kReaders[pick % std::size(kReaders)];
  const size_t capacity = in.Byte();
  usbctrl_double::QueueRawReply(0, in.Bytes(hostlib::kThreadedReadMax));

  uint16_t err = 0xFFFF;
  fuzz::Require(session.Writer().SendGetStatus(&err) == 1, "the status command goes out");
  // Null when the caller has no buffer, as several do.
  std::unique_ptr<uint8_t[]> out(capacity == 0 ? nullptr : new uint8_t[capacity]);
  err = 0xFFFF;
  const int ok = reader.read(session.Reader(), out.get(), capacity, &err);
  fuzz::Require(err != 0xFFFF, "a reader always gives its result code");
  if (ok == 0) fuzz::Require(err != RESULT_OK, "a reader that fails says why");
  return 0;
}
