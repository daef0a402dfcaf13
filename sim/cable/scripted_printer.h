// A printer-class USB function played from a script, at packet level, for
// the cable's tests and benchmark: it answers enumeration with a printer's
// descriptors, serial number and device ID, keeps every bulk OUT byte it
// takes, hands out bulk IN data the test queued, and NAKs or stalls on
// request. It runs on the board's CPU thread like any device model.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sim/usb/usb_packet_port.h"

namespace sim::cable {

class ScriptedPrinter final : public UsbFunctionPort {
 public:
  using Bytes = std::vector<uint8_t>;
  static constexpr uint16_t kVendorId = 0x7f00;
  static constexpr uint16_t kProductId = 0x7300;

  explicit ScriptedPrinter(const std::string& serial = "SN000001") { SetSerial(serial); }

  void SetSerial(const std::string& serial) {
    m_serial = serial;
    const std::string deviceId = "MFG:Maker;CMD:RAW;MDL:Test;CLS:PRINTER;SN:" + serial + ";";
    m_deviceId = {static_cast<uint8_t>((deviceId.size() + 2) >> 8), static_cast<uint8_t>(deviceId.size() + 2)};
    m_deviceId.insert(m_deviceId.end(), deviceId.begin(), deviceId.end());
  }
  const Bytes& DeviceId() const { return m_deviceId; }

  // The D+ pull-up: the function shows itself on the bus, or leaves it.
  void Attach(bool bOn) {
    m_bPullUp = bOn;
    if (m_observer) m_observer();
  }
  // Bulk IN data, sent as one transfer (a zero-length packet ends one of
  // whole packets).
  void QueueIn(const Bytes& data) {
    for (size_t at = 0; at < data.size(); at += m_maxPacket) {
      m_in.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(at),
                        data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), at + m_maxPacket)));
    }
    if (data.size() % m_maxPacket == 0) m_in.emplace_back();
  }

  // What the test sets.
  uint32_t outNaks = 0;       // NAK this many OUT packets
  bool bOutNakAlways = false; // NAK every OUT packet
  bool bOutHalted = false;    // bulk OUT stalls (SET/CLEAR_FEATURE(ENDPOINT_HALT) also set it)
  size_t outTakeLimit = SIZE_MAX;  // NAK once this many bytes were taken
  // What the test reads.
  Bytes received;             // every bulk OUT byte taken, in order
  std::vector<uint32_t> outPacketSizes;
  uint64_t inTokens = 0;
  size_t InQueued() const { return m_in.size(); }

  // ---- the bus ----
  bool PullUp() const override { return m_bPullUp && m_bVbus; }
  void SetVbus(bool bPresent) override {
    m_bVbus = bPresent;
    if (m_observer) m_observer();
  }
  UsbSpeed BusReset(bool bHostHighSpeed) override {
    m_address = 0;
    m_maxPacket = bHostHighSpeed ? 512 : 64;
    return bHostHighSpeed ? UsbSpeed::High : UsbSpeed::Full;
  }
  UsbHandshake Setup(uint8_t address, const std::array<uint8_t, 8>& p) override {
    if (!PullUp() || address != m_address) return UsbHandshake::NoResponse;
    m_setup = UsbSetupPacket{p[0], p[1], static_cast<uint16_t>(p[2] | p[3] << 8),
                             static_cast<uint16_t>(p[4] | p[5] << 8), static_cast<uint16_t>(p[6] | p[7] << 8)};
    m_reply.clear();
    m_sent = 0;
    m_bStall = false;
    m_toggle0 = true;
    Answer();
    if (m_reply.size() > m_setup.wLength) m_reply.resize(m_setup.wLength);
    return UsbHandshake::Ack;
  }
  UsbHandshake Out(uint8_t address, uint8_t endpoint, bool, const uint8_t* data, uint32_t length) override {
    if (!PullUp() || address != m_address) return UsbHandshake::NoResponse;
    if (endpoint == 0) return m_bStall ? UsbHandshake::Stall : UsbHandshake::Ack;
    if (endpoint != 2) return UsbHandshake::Stall;
    if (bOutHalted) return UsbHandshake::Stall;
    if (bOutNakAlways || received.size() >= outTakeLimit) return UsbHandshake::Nak;
    if (outNaks > 0) {
      --outNaks;
      return UsbHandshake::Nak;
    }
    received.insert(received.end(), data, data + length);
    outPacketSizes.push_back(length);
    return UsbHandshake::Ack;
  }
  UsbHandshake In(uint8_t address, uint8_t endpoint, bool* pToggle, std::vector<uint8_t>* pData) override {
    pData->clear();
    if (!PullUp() || address != m_address) return UsbHandshake::NoResponse;
    if (endpoint == 0) {
      if (m_bStall) return UsbHandshake::Stall;
      *pToggle = m_toggle0;
      if (!m_setup.IsIn() || m_setup.wLength == 0) {  // the status stage
        if (m_setup.bRequest == kSetAddress && m_setup.bmRequestType == 0) m_address = static_cast<uint8_t>(m_setup.wValue);
        return UsbHandshake::Ack;
      }
      const size_t n = std::min<size_t>(64, m_reply.size() - m_sent);
      pData->assign(m_reply.begin() + static_cast<std::ptrdiff_t>(m_sent),
                    m_reply.begin() + static_cast<std::ptrdiff_t>(m_sent + n));
      m_sent += n;
      m_toggle0 = !m_toggle0;
      return UsbHandshake::Ack;
    }
    if (endpoint != 1) return UsbHandshake::Stall;
    ++inTokens;
    if (m_in.empty()) return UsbHandshake::Nak;
    *pData = std::move(m_in.front());
    m_in.pop_front();
    *pToggle = m_toggleIn;
    m_toggleIn = !m_toggleIn;
    return UsbHandshake::Ack;
  }
  void SetLinkObserver(std::function<void()> fn) override { m_observer = std::move(fn); }

 private:
  static constexpr uint8_t kGetStatus = 0;
  static constexpr uint8_t kClearFeature = 1;
  static constexpr uint8_t kSetFeature = 3;
  static constexpr uint8_t kSetAddress = 5;
  static constexpr uint8_t kGetDescriptor = 6;
  static constexpr uint8_t kSetConfiguration = 9;

  static Bytes String(const std::string& text) {
    Bytes d{static_cast<uint8_t>(2 + 2 * text.size()), 3};
    for (char c : text) {
      d.push_back(static_cast<uint8_t>(c));
      d.push_back(0);
    }
    return d;
  }

  void Answer() {
    const UsbSetupPacket& s = m_setup;
    const auto mp = static_cast<uint8_t>(m_maxPacket);
    const auto mpHigh = static_cast<uint8_t>(m_maxPacket >> 8);
    if (s.bmRequestType == 0x80 && s.bRequest == kGetDescriptor) {
      switch (s.wValue) {
        case 0x0100:
          m_reply = {18, 1, 0x00, 0x02, 0, 0, 0, 64, static_cast<uint8_t>(kVendorId), static_cast<uint8_t>(kVendorId >> 8),
                     static_cast<uint8_t>(kProductId), static_cast<uint8_t>(kProductId >> 8), 0, 1, 1, 2, 3, 1};
          return;
        case 0x0200:
          m_reply = {9, 2, 32, 0, 1, 1, 0, 0xC0, 0, 9, 4, 0, 0, 2, 7, 1, 2, 0,
                     7, 5, 0x02, 2, mp, mpHigh, 0, 7, 5, 0x81, 2, mp, mpHigh, 0};
          return;
        case 0x0300: m_reply = {4, 3, 0x09, 0x04}; return;
        case 0x0301: m_reply = String("Maker"); return;
        case 0x0302: m_reply = String("Test Printer"); return;
        case 0x0303: m_reply = String(m_serial); return;
        case 0x0600: m_reply = {10, 6, 0x00, 0x02, 0, 0, 0, 64, 1, 0}; return;
        default: m_bStall = true; return;
      }
    }
    if (s.bmRequestType == 0xA1 && s.bRequest == 0) {
      m_reply = m_deviceId;
    } else if (s.bmRequestType == 0x00 && (s.bRequest == kSetAddress || s.bRequest == kSetConfiguration)) {
      m_toggleIn = false;
    } else if (s.bmRequestType == 0x02 && (s.bRequest == kClearFeature || s.bRequest == kSetFeature) && s.wValue == 0) {
      if (s.wIndex == 0x02) bOutHalted = s.bRequest == kSetFeature;
      if (s.wIndex == 0x81) m_toggleIn = false;
    } else if (s.bmRequestType == 0x82 && s.bRequest == kGetStatus) {
      m_reply = {static_cast<uint8_t>(s.wIndex == 0x02 && bOutHalted ? 1 : 0), 0};
    } else {
      m_bStall = true;
    }
  }

  bool m_bPullUp = false;
  bool m_bVbus = false;
  uint8_t m_address = 0;
  uint32_t m_maxPacket = 512;
  std::string m_serial;
  Bytes m_deviceId;
  UsbSetupPacket m_setup;
  Bytes m_reply;
  size_t m_sent = 0;
  bool m_bStall = false;
  bool m_toggle0 = true;
  bool m_toggleIn = false;
  std::deque<Bytes> m_in;
  std::function<void()> m_observer;
};

}  // namespace sim::cable
