// Shared pieces of the print path's tests: a session with one fake
// printer, scripted replies, a media size the printer accepts, a started
// job, and what the printer received.
#pragma once

#include <string>
#include <vector>

#include "image_test_support.h"
#include "print_entries.h"
#include "protocol/codes.h"
#include "protocol/status_record.h"

namespace hostlib_test {

class PrintTest : public ImageTest {
 protected:
  // Status data with the job printing now at byte 62 (the unit status's
  // byte 0).
  static Bytes StatusData(uint8_t jobPrinting = 0) {
    Bytes data(protocol::STATUS_REPLY_SIZE, 0);
    data[62] = jobPrinting;
    return data;
  }
  static Bytes Status(uint8_t printerState = protocol::PRINTER_STATE_READY, uint8_t jobPrinting = 0) {
    return ReplyBytes(0, printerState, StatusData(jobPrinting));
  }
  // An error reply with this errorCode.
  static Bytes Refusal(uint8_t errorCode, const Bytes &data = {}) {
    return ReplyBytes(errorCode, protocol::PRINTER_STATE_READY, data);
  }
  // A data-carrying acceptance.
  static Bytes Answer(const Bytes &data) { return ReplyBytes(0, protocol::PRINTER_STATE_READY, data); }

  // The printer answers the next commands with these replies, in order.
  static void Script(const std::vector<Bytes> &replies, int printer = 0) {
    for (const Bytes &reply : replies) usbctrl_double::QueueRawReply(printer, reply);
  }

  // The next print's media size, accepted against loaded media of
  // 4096 x 4096.
  void SetMedia(uint16_t width, uint16_t height) {
    Script({Status(), Answer({0, 0, 0, 0, 0, 0x00, 0x10, 0x00, 0x10, 0, 0, 0, 0})});
    uint8_t request[10] = {0, static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                           static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8)};
    uint32_t size = sizeof request;
    uint16_t err = 0xFFFF;
    ASSERT_EQ(kt_setPrinterInfo(PINFTAG_MEDIA, request, &size, &err), 1) << err;
  }

  // No media size for the next print (a request the library refuses).
  static void ForgetMedia() {
    uint8_t request[9] = {};
    uint32_t size = sizeof request;
    uint16_t err = 0;
    kt_setPrinterInfo(PINFTAG_MEDIA, request, &size, &err);
  }

  // One more laminate string for the next print, at (x, 0) in styles 1, 2.
  static void AddLaminate(uint16_t x, const std::string &text) {
    Bytes record = {static_cast<uint8_t>(x), static_cast<uint8_t>(x >> 8), 0, 0, 1, 2,
                    static_cast<uint8_t>(text.size())};
    record.insert(record.end(), text.begin(), text.end());
    uint32_t size = static_cast<uint32_t>(record.size());
    uint16_t err = 0xFFFF;
    ASSERT_EQ(kt_setPrinterInfo(PINFTAG_LAMISTRING, record.data(), &size, &err), 1) << err;
  }

  static uint16_t JobId(uint8_t number = 1, uint8_t device = 0) { return hostlib::MakeJobId(device, number); }

  // A started job of an image that fills the media.
  void Start(uint16_t width, uint16_t height, uint16_t components, uint16_t type) {
    SetMedia(width, height);
    uint16_t err = 0xFFFF;
    ASSERT_EQ(Session().SetImageFormat(type, components, 8, width, height, 0, 0, &err), 1) << err;
    ASSERT_EQ(Session().StartPrint(JobId(), 0, &err), 1) << err;
  }

  // Sends `bytes` of `image` from `at`; the call's result, *length and code.
  struct Sent {
    int result;
    uint32_t length;
    uint16_t code;
  };
  Sent SendData(const Bytes &image, size_t at, uint32_t bytes) {
    Sent call{0, bytes, 0xFFFF};
    call.result = Session().SendPrintData(image.data() + at, &call.length, &call.code);
    return call;
  }

  static size_t Mark(int printer = 0) { return usbctrl_double::Written(printer).size(); }
  // Every byte the printer received after the first `from` writes.
  static Bytes Received(size_t from, int printer = 0) {
    Bytes all;
    const auto writes = usbctrl_double::Written(printer);
    for (size_t i = from; i < writes.size(); ++i) all.insert(all.end(), writes[i].begin(), writes[i].end());
    return all;
  }
  // The command codes of the writes after the first `from`.
  static std::vector<uint16_t> Commands(size_t from, int printer = 0) {
    std::vector<uint16_t> codes;
    const auto writes = usbctrl_double::Written(printer);
    for (size_t i = from; i < writes.size(); ++i) {
      if (writes[i].size() >= protocol::COMMAND_HEADER_SIZE) codes.push_back(protocol::GetU16(writes[i].data()));
    }
    return codes;
  }
};

// The same with a second printer, device 1.
class TwoPrinterTest : public PrintTest {
 protected:
  int Printers() const override { return 2; }
  void Select(uint8_t device) {
    hostlib::LibraryLock lock;
    uint16_t err = 0xFFFF;
    ASSERT_EQ(Session().SelectPrinter(device, &err), device);
  }
};

}  // namespace hostlib_test
