// Printer bytes into the host library: the library is opened once per
// process on a fake printer (the USB-access test double), on the virtual
// clock, so a read that waits for a reply that never comes costs no real
// time. The first input byte picks what reads the printer's replies:
//  - below 64, one of ReplyReader's readers, with a caller's buffer of the
//    next byte's size, reading the reply the rest of the input makes; a
//    reader that fails must say why (never RESULT_OK);
//  - from 64 to 95, an operation of the print path, the printer answering
//    its first command with the replies and pieces the rest of the input
//    makes (defaults after them); it must give its result code, and a
//    tone curve read back never passes the caller's 768 values;
//  - from 96 to 127, an export that reads a reply into the caller's buffer
//    (parameters, the head-EEPROM byte, the diagnosis, the universal and
//    raw commands), with a buffer of exactly the size it documents (the
//    diagnosis: of the next byte's size, asked for whole), the printer
//    answering with the replies the rest of the input makes; it reports no
//    more than the buffer holds;
//  - from 128, kt_getPrinterInfo of an information type, with a buffer of
//    the next byte's size, the printer answering its commands with the
//    replies the rest of the input makes; it copies at most the buffer's
//    size and reports no more than that.
// Every caller's buffer is exactly its size on the heap, so a copy past it
// is caught.
#include <iterator>
#include <memory>
#include <vector>

#include <win32_ext.h>

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
    W32X_VIRTUAL_CLOCK clock{0, UINT64_MAX / 2, 0};
    fuzz::Require(W32X_UseVirtualClock(&clock) == TRUE, "the virtual clock is installed");
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
    {"tone-curve piece",
     [](ReplyReader& r, uint8_t* out, size_t capacity, uint16_t* err) {
       int32_t length = static_cast<int32_t>(capacity);
       const int ok = r.ReadToneCurveData(out, &length, err);
       fuzz::Require(length >= 0 && static_cast<size_t>(length) <= capacity, "a piece fits the caller's room");
       return ok;
     }},
};

struct Operation {
  const char* what;
  int (*run)(hostlib::PrinterSession& session, uint16_t* err);
};

constexpr Operation kOperations[] = {
    {"job set-up",
     [](hostlib::PrinterSession& s, uint16_t* err) {
       uint16_t jobId = 0;
       uint8_t unit1[2] = {}, unit2[2] = {}, extra = 0;
       return s.SetupPrintJob(&jobId, unit1, unit2, &extra, 1, 1, 0, 0, 0, nullptr, err);
     }},
    {"job status",
     [](hostlib::PrinterSession& s, uint16_t* err) {
       uint16_t jobId = 0, value = 0, a = 0, b = 0;
       uint8_t flags1 = 0, flags2 = 0;
       auto data = std::make_unique<uint8_t[]>(hostlib::kJobStatusDataBytes);
       return s.GetJobStatus(&jobId, &value, &flags1, &flags2, &a, &b, data.get(), err);
     }},
    {"printer id status",
     [](hostlib::PrinterSession& s, uint16_t* err) {
       uint16_t result[hostlib::kPrinterIdValues] = {};
       return s.GetPrinterIdStatus(hostlib::MakeJobId(0, 1), result, err);
     }},
    {"tone curve",
     [](hostlib::PrinterSession& s, uint16_t* err) {
       auto values = std::make_unique<uint16_t[]>(hostlib::kToneCurveValues);
       return s.ReadToneCurve(1, 1, values.get(), err);
     }},
};
// Answers one operation's first command may get.
constexpr size_t kOperationAnswersMax = 128;

void RunOperation(hostlib::PrinterSession& session, fuzz::Input& in) {
  const Operation& operation = kOperations[in.Byte() % std::size(kOperations)];
  std::vector<std::vector<uint8_t>> answers;
  while (!in.Empty() && answers.size() < kOperationAnswersMax) {
    answers.push_back(in.Bytes(in.Byte() % (hostlib::kThreadedReadMax + 1)));
  }
  usbctrl_double::QueueRawReplies(0, answers);
  uint16_t err = 0xFFFF;
  const int ok = operation.run(session, &err);
  fuzz::Require(err != 0xFFFF, "an operation always gives its result code");
  if (ok == 0) fuzz::Require(err != RESULT_OK, "an operation that fails says why");
  // What the operation did not take must not answer the next input.
  usbctrl_double::DropRawReplies(0);
  usbctrl_double::DropPendingAnswers(0);
}

constexpr uint16_t kInfoTypes[] = {
    PINFTAG_MEDIA,    PINFTAG_MODEL,    PINFTAG_ENGID,    PINFTAG_STATUS,   PINFTAG_COUNTER,  PINFTAG_ERROR,
    PINFTAG_UNITSTATUS, PINFTAG_SERIAL, PINFTAG_ERRLOG,   PINFTAG_STATUS_EXT, PINFTAG_PARAM_11, PINFTAG_PARAM_41,
    PINFTAG_PARAM_81, PINFTAG_PARAM_F1, PINFTAG_PARAM_84, PINFTAG_PARAM_14, PINFTAG_SERIALNO,
};
// Replies one information type may take (the firmware information reads
// one per component).
constexpr size_t kInfoRepliesMax = 4;

std::unique_ptr<uint8_t[]> Buffer(size_t capacity) {
  return std::unique_ptr<uint8_t[]>(capacity == 0 ? nullptr : new uint8_t[capacity]);
}

// An export's call on a buffer of `capacity` bytes; it returns what it
// reports as written (or `capacity` when it reports nothing).
struct ExportRead {
  const char* what;
  size_t capacity;  // 0: the next input byte's
  uint32_t (*call)(uint8_t* out, size_t capacity, uint16_t* err);
};

constexpr uint8_t kUniversalRequest[] = {3, 129, 0x34, 0x12};
constexpr uint8_t kStatusPacket[] = {0x01, 0x00, 0x00, 0x00};

constexpr ExportRead kExports[] = {
    {"parameter", 4, [](uint8_t* out, size_t c, uint16_t* err) {
       kt_getParameter(1, out, err);
       return static_cast<uint32_t>(c);
     }},
    {"head EEPROM", 1, [](uint8_t* out, size_t c, uint16_t* err) {
       kt_getEEPROM(1, out, err);
       return static_cast<uint32_t>(c);
     }},
    {"direct diagnosis", 4, [](uint8_t* out, size_t c, uint16_t* err) {
       kt_command_diagnostic(1, 0, 0, out, err);
       return static_cast<uint32_t>(c);
     }},
    {"diagnosis", 0, [](uint8_t* out, size_t c, uint16_t* err) {
       uint32_t length = static_cast<uint32_t>(c);
       kt_getDiagnostic(out, &length, err);
       return length;
     }},
    {"universal", KT_UNIVERSAL_REPLY_SIZE, [](uint8_t* out, size_t, uint16_t* err) {
       uint8_t length = 0;
       kt_universal_command(kUniversalRequest, sizeof kUniversalRequest, out, &length, err);
       return static_cast<uint32_t>(length);
     }},
    {"raw command", KT_RAW_REPLY_SIZE, [](uint8_t* out, size_t, uint16_t* err) {
       uint32_t length = 0;
       kt_SendCommand(kStatusPacket, sizeof kStatusPacket, out, &length, err);
       return length;
     }},
    {"LED after the status", 0, [](uint8_t*, size_t c, uint16_t* err) {
       kt_blinkLED(err);
       return static_cast<uint32_t>(c);
     }},
};
// Replies one export may take (the LED: the status, then its own).
constexpr size_t kExportRepliesMax = 2;

void ReadIntoExport(fuzz::Input& in, uint8_t pick) {
  const ExportRead& entry = kExports[pick % std::size(kExports)];
  const size_t capacity = entry.capacity != 0 ? entry.capacity : in.Byte();
  for (size_t n = 0; n < kExportRepliesMax && !in.Empty(); ++n) {
    usbctrl_double::QueueRawReply(0, in.Bytes(in.U16() % (hostlib::kThreadedReadMax + 1)));
  }
  std::unique_ptr<uint8_t[]> out = Buffer(capacity);
  uint16_t err = 0xFFFF;
  const uint32_t given = entry.call(out.get(), capacity, &err);
  fuzz::Require(err != 0xFFFF, "an export always gives its result code");
  fuzz::Require(given <= capacity, "an export reports no more than the caller's buffer holds");
  usbctrl_double::DropRawReplies(0);
}

void ReadInformation(fuzz::Input& in) {
  const uint16_t type = kInfoTypes[in.Byte() % std::size(kInfoTypes)];
  uint32_t capacity = in.Byte();
  for (size_t n = 0; n < kInfoRepliesMax && !in.Empty(); ++n) {
    usbctrl_double::QueueRawReply(0, in.Bytes(in.U16() % (hostlib::kThreadedReadMax + 1)));
  }
  std::unique_ptr<uint8_t[]> out = Buffer(capacity);
  const uint32_t given = capacity;
  kt_getPrinterInfo(type, out.get(), &capacity);
  if (out) fuzz::Require(capacity <= given, "an information read reports no more than the buffer holds");
  // Replies a type did not take must not answer the next input's commands.
  usbctrl_double::DropRawReplies(0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hostlib::PrinterSession& session = Session();
  fuzz::Input in(data, size);
  const uint8_t pick = in.Byte();
  if (pick >= 0x80) {
    ReadInformation(in);
    return 0;
  }
  if (pick >= 0x60) {
    ReadIntoExport(in, pick);
    return 0;
  }
  if (pick >= 0x40) {
    RunOperation(session, in);
    return 0;
  }
  const Read& reader = kReaders[pick % std::size(kReaders)];
  const size_t capacity = in.Byte();
  usbctrl_double::QueueRawReply(0, in.Bytes(hostlib::kThreadedReadMax));

  uint16_t err = 0xFFFF;
  fuzz::Require(session.Writer().SendGetStatus(&err) == 1, "the status command goes out");
  // Null when the caller has no buffer, as several do.
  std::unique_ptr<uint8_t[]> out = Buffer(capacity);
  err = 0xFFFF;
  const int ok = reader.read(session.Reader(), out.get(), capacity, &err);
  fuzz::Require(err != 0xFFFF, "a reader always gives its result code");
  if (ok == 0) fuzz::Require(err != RESULT_OK, "a reader that fails says why");
  return 0;
}
