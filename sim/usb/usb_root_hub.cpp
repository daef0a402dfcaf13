#include "sim/usb/usb_root_hub.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace sim {

namespace {

constexpr uint8_t kReqGetDescriptor = 6;
constexpr uint8_t kReqSetAddress = 5;
constexpr uint8_t kReqSetConfiguration = 9;
constexpr uint8_t kReqClearFeature = 1;
constexpr uint8_t kDescDevice = 1;
constexpr uint8_t kDescConfiguration = 2;
constexpr uint8_t kDescString = 3;
constexpr uint8_t kDescInterface = 4;
constexpr uint8_t kDescEndpoint = 5;
constexpr uint8_t kDescQualifier = 6;

enum EnumStep : uint32_t {
  kStepDevice8 = 1,
  kStepSetAddress,
  kStepDevice18,
  kStepConfigHeader,
  kStepConfigAll,
  kStepLanguages,
  kStepStrings,
  kStepQualifier,
  kStepSetConfiguration,
  kStepDeviceId,
  kStepDone,
};

UsbSetupPacket GetDescriptor(uint8_t type, uint8_t index, uint16_t language, uint16_t length) {
  return UsbSetupPacket{0x80, kReqGetDescriptor, static_cast<uint16_t>(type << 8 | index), language, length};
}

uint16_t Le16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

}  // namespace

const char* ToString(UsbOutcome outcome) {
  switch (outcome) {
    case UsbOutcome::Done: return "done";
    case UsbOutcome::NakTimeout: return "NAK time-out";
    case UsbOutcome::Stall: return "stall";
    case UsbOutcome::Gone: return "gone";
    case UsbOutcome::Error: return "error";
  }
  return "?";
}

const char* ToString(UsbPortState state) {
  switch (state) {
    case UsbPortState::Detached: return "detached";
    case UsbPortState::Debouncing: return "debouncing";
    case UsbPortState::Enumerating: return "enumerating";
    case UsbPortState::Configured: return "configured";
    case UsbPortState::Failed: return "failed";
  }
  return "?";
}

std::string UsbStringText(const std::vector<uint8_t>& descriptor) {
  std::string text;
  const size_t length = descriptor.empty() ? 0 : std::min<size_t>(descriptor[0], descriptor.size());
  for (size_t i = 2; i + 1 < length; i += 2) {
    const uint16_t c = static_cast<uint16_t>(descriptor[i] | descriptor[i + 1] << 8);
    text += c < 0x80 ? static_cast<char>(c) : '?';
  }
  return text;
}

UsbRootHub::UsbRootHub(SimClock& clock, UsbFunctionPort& port, bool bHighSpeed)
    : m_clock(clock), m_port(port), m_bHostHighSpeed(bHighSpeed) {
  m_port.SetLinkObserver([this] { OnLinkChange(); });
  m_port.SetVbus(true);
}

// ---- the cable and the port ---------------------------------------------------------------

void UsbRootHub::PlugCable() {
  m_bCable = true;
  m_port.SetVbus(true);
}

void UsbRootHub::UnplugCable() {
  m_bCable = false;
  m_port.SetVbus(false);
}

void UsbRootHub::OnLinkChange() {
  // Called from inside a register access of the function: act at the next
  // switch point, not in the middle of it.
  m_clock.ScheduleIn(0, [this] { EvaluateLink(); });
}

void UsbRootHub::SetState(UsbPortState state) {
  if (state == m_state) return;
  m_state = state;
  for (auto& fn : m_observers) fn(state);
}

void UsbRootHub::EvaluateLink() {
  const bool bUp = m_port.PullUp();
  if (bUp && m_state == UsbPortState::Detached) {
    ++m_generation;
    m_attempts = 0;
    SetState(UsbPortState::Debouncing);
    const uint64_t generation = m_generation;
    m_clock.ScheduleIn(kDebounce, [this, generation] {
      if (generation == m_generation && m_port.PullUp()) StartEnumeration();
    });
  } else if (!bUp && m_state != UsbPortState::Detached) {
    ++m_generation;
    m_identity = UsbDeviceIdentity{};
    m_address = 0;
    SetState(UsbPortState::Detached);
    FailAll(UsbOutcome::Gone);
  }
}

void UsbRootHub::StartEnumeration() {
  ++m_generation;
  ++m_attempts;
  FailAll(UsbOutcome::Gone);
  m_identity = UsbDeviceIdentity{};
  m_address = 0;
  m_maxPacket0 = 64;
  m_toggleIn = false;
  m_toggleOut = false;
  SetState(UsbPortState::Enumerating);
  m_speed = m_port.BusReset(m_bHostHighSpeed);
  m_identity.speed = m_speed;
  const uint64_t generation = m_generation;
  m_clock.ScheduleIn(kReset + kResetRecovery, [this, generation] {
    if (generation == m_generation) Enumerate(kStepDevice8);
  });
}

void UsbRootHub::EnumFailed(const std::string& why) {
  m_failure = why;
  if (m_attempts < kEnumerationAttempts && m_port.PullUp()) {
    StartEnumeration();
  } else {
    ++m_generation;
    SetState(UsbPortState::Failed);
  }
}

void UsbRootHub::EnumControl(uint32_t step, const UsbSetupPacket& setup,
                             std::function<bool(const UsbTransferResult&)> accept, bool bRequired) {
  const uint64_t generation = m_generation;
  Transfer t;
  t.pipe = kPipeControl;
  t.setup = setup;
  t.deadline = m_clock.Now() + kControlTimeout;
  t.bInternal = true;
  t.done = [this, generation, step, setup, accept = std::move(accept), bRequired](const UsbTransferResult& r) {
    if (generation != m_generation) return;
    const bool bOk = r.outcome == UsbOutcome::Done && accept(r);
    if (bOk || !bRequired) {
      Enumerate(step + 1);
      return;
    }
    char why[96];
    std::snprintf(why, sizeof why, "request 0x%02X/%u (wValue 0x%04X) ended: %s", setup.bmRequestType,
                  setup.bRequest, setup.wValue, r.outcome == UsbOutcome::Done ? "unexpected answer" : ToString(r.outcome));
    EnumFailed(why);
  };
  Submit(std::move(t));
}

void UsbRootHub::Enumerate(uint32_t step) {
  UsbDeviceIdentity& id = m_identity;
  switch (step) {
    case kStepDevice8:
      EnumControl(step, GetDescriptor(kDescDevice, 0, 0, 64), [this](const UsbTransferResult& r) {
        if (r.data.size() < 8 || r.data[1] != kDescDevice) return false;
        m_maxPacket0 = r.data[7] != 0 ? r.data[7] : 64;
        return true;
      });
      return;
    case kStepSetAddress: {
      const uint8_t address = m_nextAddress;
      m_nextAddress = static_cast<uint8_t>(m_nextAddress % 127 + 1);
      const uint64_t generation = m_generation;
      Transfer t;
      t.pipe = kPipeControl;
      t.setup = UsbSetupPacket{0x00, kReqSetAddress, address, 0, 0};
      t.deadline = m_clock.Now() + kControlTimeout;
      t.bInternal = true;
      t.done = [this, generation, address](const UsbTransferResult& r) {
        if (generation != m_generation) return;
        if (r.outcome != UsbOutcome::Done) {
          EnumFailed(std::string("SET_ADDRESS ended: ") + ToString(r.outcome));
          return;
        }
        m_address = address;
        m_identity.address = address;
        m_clock.ScheduleIn(kSetAddressRecovery, [this, generation] {
          if (generation == m_generation) Enumerate(kStepDevice18);
        });
      };
      Submit(std::move(t));
      return;
    }
    case kStepDevice18:
      EnumControl(step, GetDescriptor(kDescDevice, 0, 0, 18), [this](const UsbTransferResult& r) {
        if (r.data.size() != 18 || r.data[0] != 18 || r.data[1] != kDescDevice) return false;
        m_identity.deviceDescriptor = r.data;
        m_identity.vendorId = Le16(r.data, 8);
        m_identity.productId = Le16(r.data, 10);
        return true;
      });
      return;
    case kStepConfigHeader:
      EnumControl(step, GetDescriptor(kDescConfiguration, 0, 0, 9), [this](const UsbTransferResult& r) {
        if (r.data.size() != 9 || r.data[1] != kDescConfiguration) return false;
        m_identity.configuration = r.data;
        return true;
      });
      return;
    case kStepConfigAll: {
      const uint16_t total = Le16(id.configuration, 2);
      EnumControl(step, GetDescriptor(kDescConfiguration, 0, 0, total), [this, total](const UsbTransferResult& r) {
        if (r.data.size() != total || total < 9) return false;
        UsbDeviceIdentity& d = m_identity;
        d.configuration = r.data;
        d.configurationValue = r.data[5];
        for (size_t at = 0; at + 2 <= r.data.size() && r.data[at] >= 2; at += r.data[at]) {
          const uint8_t length = r.data[at];
          const uint8_t type = r.data[at + 1];
          if (at + length > r.data.size()) return false;
          if (type == kDescInterface && length >= 9) {
            d.interfaceClass = r.data[at + 5];
            d.interfaceSubClass = r.data[at + 6];
            d.interfaceProtocol = r.data[at + 7];
          } else if (type == kDescEndpoint && length >= 7 && (r.data[at + 3] & 3u) == 2) {
            const uint8_t address = r.data[at + 2];
            const uint16_t maxPacket = static_cast<uint16_t>(Le16(r.data, at + 4) & 0x7FFu);
            if ((address & 0x80u) != 0) {
              d.bulkInEndpoint = address;
              d.bulkInMaxPacket = maxPacket;
            } else {
              d.bulkOutEndpoint = address;
              d.bulkOutMaxPacket = maxPacket;
            }
          }
        }
        return d.bulkInEndpoint != 0 && d.bulkOutEndpoint != 0 && d.bulkInMaxPacket != 0 && d.bulkOutMaxPacket != 0;
      });
      return;
    }
    case kStepLanguages:
      EnumControl(
          step, GetDescriptor(kDescString, 0, 0, 255),
          [this](const UsbTransferResult& r) {
            if (r.data.size() < 4 || r.data[1] != kDescString) return false;
            m_identity.languageId = Le16(r.data, 2);
            m_stringIndexes.clear();
            for (size_t at : {14u, 15u, 16u}) {
              const uint8_t index = m_identity.deviceDescriptor[at];
              if (index != 0) m_stringIndexes.push_back(index);
            }
            return true;
          },
          false);
      return;
    case kStepStrings: {
      if (id.languageId == 0 || m_stringIndexes.empty()) {
        Enumerate(kStepQualifier);
        return;
      }
      const uint8_t index = m_stringIndexes.front();
      m_stringIndexes.erase(m_stringIndexes.begin());
      const uint32_t next = m_stringIndexes.empty() ? kStepStrings : kStepStrings - 1;
      EnumControl(
          next, GetDescriptor(kDescString, index, id.languageId, 255),
          [this, index](const UsbTransferResult& r) {
            if (r.data.size() < 2 || r.data[1] != kDescString) return false;
            UsbDeviceIdentity& d = m_identity;
            d.strings[index] = r.data;
            const std::string text = UsbStringText(r.data);
            if (index == d.deviceDescriptor[14]) d.manufacturer = text;
            if (index == d.deviceDescriptor[15]) d.product = text;
            if (index == d.deviceDescriptor[16]) d.serialNumber = text;
            return true;
          },
          false);
      return;
    }
    case kStepQualifier:
      if (m_speed != UsbSpeed::High || Le16(id.deviceDescriptor, 2) < 0x0200) {
        Enumerate(kStepSetConfiguration);
        return;
      }
      EnumControl(
          step, GetDescriptor(kDescQualifier, 0, 0, 10),
          [this](const UsbTransferResult& r) {
            m_identity.qualifier = r.data;
            return true;
          },
          false);
      return;
    case kStepSetConfiguration:
      EnumControl(step, UsbSetupPacket{0x00, kReqSetConfiguration, id.configurationValue, 0, 0},
                  [this](const UsbTransferResult&) {
                    m_toggleIn = false;
                    m_toggleOut = false;
                    return true;
                  });
      return;
    case kStepDeviceId:
      EnumControl(
          step, UsbSetupPacket{0xA1, 0, 0, 0, kDeviceIdRequestLength},
          [this](const UsbTransferResult& r) {
            if (r.data.size() < 2) return false;
            m_identity.deviceId = r.data;
            m_identity.deviceIdText.assign(r.data.begin() + 2, r.data.end());
            return true;
          },
          false);
      return;
    case kStepDone:
      ++m_stats.enumerations;
      m_failure.clear();
      SetState(UsbPortState::Configured);
      return;
    default:
      return;
  }
}

// ---- transfers ----------------------------------------------------------------------------------

UsbRootHub::TransferId UsbRootHub::SubmitControl(const UsbSetupPacket& setup, std::vector<uint8_t> outData,
                                                 Nanos timeout, UsbCompletion done) {
  Transfer t;
  t.pipe = kPipeControl;
  t.setup = setup;
  t.out = std::move(outData);
  t.out.resize(setup.IsIn() ? 0 : setup.wLength);
  t.deadline = m_clock.Now() + timeout;
  t.done = std::move(done);
  return Submit(std::move(t));
}

UsbRootHub::TransferId UsbRootHub::SubmitBulkOut(std::vector<uint8_t> data, Nanos timeout, UsbCompletion done,
                                                 bool bZeroLengthPacketAfterFull) {
  Transfer t;
  t.pipe = kPipeBulkOut;
  t.out = std::move(data);
  t.bZlp = bZeroLengthPacketAfterFull;
  t.deadline = m_clock.Now() + timeout;
  t.done = std::move(done);
  return Submit(std::move(t));
}

UsbRootHub::TransferId UsbRootHub::SubmitBulkIn(uint32_t maxLength, Nanos timeout, UsbCompletion done) {
  Transfer t;
  t.pipe = kPipeBulkIn;
  t.maxIn = maxLength;
  t.deadline = m_clock.Now() + timeout;
  t.done = std::move(done);
  return Submit(std::move(t));
}

UsbRootHub::TransferId UsbRootHub::Submit(Transfer t) {
  t.id = m_nextId++;
  const TransferId id = t.id;
  const bool bRefused = !t.bInternal && (m_state != UsbPortState::Configured ||
                                         (t.pipe == kPipeControl && t.setup.bRequest == kReqSetAddress &&
                                          (t.setup.bmRequestType & 0x60u) == 0));
  if (bRefused) {
    const UsbOutcome outcome = m_state != UsbPortState::Configured ? UsbOutcome::Gone : UsbOutcome::Error;
    m_clock.ScheduleIn(0, [done = std::move(t.done), outcome] {
      if (done) done(UsbTransferResult{outcome, {}, 0});
    });
    return id;
  }
  const uint32_t pipe = t.pipe;
  m_pipes[pipe].push_back(std::move(t));
  if (m_pipes[pipe].size() == 1 && m_stepEvent[pipe] == 0) ScheduleStep(pipe, 0);
  return id;
}

void UsbRootHub::ScheduleStep(uint32_t pipe, Nanos delay) {
  if (m_stepEvent[pipe] != 0) m_clock.Cancel(m_stepEvent[pipe]);
  m_stepEvent[pipe] = m_clock.ScheduleIn(delay, [this, pipe] {
    m_stepEvent[pipe] = 0;
    Step(pipe);
  });
}

Nanos UsbRootHub::PacketTime(uint32_t bytes) const {
  return m_speed == UsbSpeed::High ? kNsPerUs + bytes * 17 : 5 * kNsPerUs + bytes * 700;
}

void UsbRootHub::Step(uint32_t pipe) {
  if (m_pipes[pipe].empty()) return;
  Transfer& t = m_pipes[pipe].front();
  const bool bAvailable = t.bInternal ? m_state == UsbPortState::Enumerating : m_state == UsbPortState::Configured;
  if (!bAvailable || !m_port.PullUp()) {
    Finish(pipe, UsbOutcome::Gone);
    return;
  }
  if (m_clock.Now() >= t.deadline) {
    Finish(pipe, UsbOutcome::NakTimeout);
    return;
  }
  switch (pipe) {
    case kPipeControl:
      StepControl(t, pipe);
      break;
    case kPipeBulkOut:
      StepBulkOut(t, pipe);
      break;
    default:
      StepBulkIn(t, pipe);
      break;
  }
}

void UsbRootHub::Handshake(Transfer& t, uint32_t pipe, UsbHandshake h, uint32_t bytes) {
  switch (h) {
    case UsbHandshake::Ack:
      t.errors = 0;
      ScheduleStep(pipe, PacketTime(bytes));
      return;
    case UsbHandshake::Nak: {
      const Nanos left = t.deadline - m_clock.Now();
      ScheduleStep(pipe, std::min(NakRetry(), left));
      return;
    }
    case UsbHandshake::Stall:
      Finish(pipe, UsbOutcome::Stall);
      return;
    case UsbHandshake::NoResponse:
      if (!m_port.PullUp()) {
        Finish(pipe, UsbOutcome::Gone);
      } else if (++t.errors >= 3) {
        Finish(pipe, UsbOutcome::Error);
      } else {
        ScheduleStep(pipe, PacketTime(bytes));
      }
      return;
  }
}

void UsbRootHub::StepControl(Transfer& t, uint32_t pipe) {
  const uint16_t wLength = t.setup.wLength;
  switch (t.stage) {
    case Stage::Setup: {
      const UsbHandshake h = m_port.Setup(m_address, t.setup.Bytes());
      if (h == UsbHandshake::Ack) {
        t.stage = wLength > 0 ? Stage::Data : Stage::Status;
        t.bControlToggle = true;
      }
      Handshake(t, pipe, h, 8);
      return;
    }
    case Stage::Data:
      if (t.setup.IsIn()) {
        bool toggle = false;
        std::vector<uint8_t> data;
        const UsbHandshake h = m_port.In(m_address, 0, &toggle, &data);
        if (h == UsbHandshake::Ack) {
          if (toggle != t.bControlToggle) {
            ++m_stats.inDuplicates;
          } else {
            t.bControlToggle = !t.bControlToggle;
            if (t.in.size() + data.size() > wLength) {
              Finish(pipe, UsbOutcome::Error);  // babble: more than the host asked for
              return;
            }
            t.in.insert(t.in.end(), data.begin(), data.end());
            if (data.size() < m_maxPacket0 || t.in.size() == wLength) t.stage = Stage::Status;
          }
        }
        Handshake(t, pipe, h, static_cast<uint32_t>(data.size()));
      } else {
        const uint32_t n = std::min<uint32_t>(m_maxPacket0, static_cast<uint32_t>(t.out.size()) - t.offset);
        const UsbHandshake h = m_port.Out(m_address, 0, t.bControlToggle, t.out.data() + t.offset, n);
        if (h == UsbHandshake::Ack) {
          t.bControlToggle = !t.bControlToggle;
          t.offset += n;
          if (t.offset >= t.out.size()) t.stage = Stage::Status;
        }
        Handshake(t, pipe, h, n);
      }
      return;
    case Stage::Status:
      if (t.setup.IsIn() && wLength > 0) {
        const UsbHandshake h = m_port.Out(m_address, 0, true, nullptr, 0);
        if (h == UsbHandshake::Ack) {
          Finish(pipe, UsbOutcome::Done);
          return;
        }
        Handshake(t, pipe, h, 0);
      } else {
        bool toggle = false;
        std::vector<uint8_t> data;
        const UsbHandshake h = m_port.In(m_address, 0, &toggle, &data);
        if (h == UsbHandshake::Ack) {
          Finish(pipe, data.empty() ? UsbOutcome::Done : UsbOutcome::Error);
          return;
        }
        Handshake(t, pipe, h, 0);
      }
      return;
  }
}

void UsbRootHub::StepBulkOut(Transfer& t, uint32_t pipe) {
  const uint32_t maxPacket = m_identity.bulkOutMaxPacket;
  const auto size = static_cast<uint32_t>(t.out.size());
  const uint32_t n = std::min(maxPacket, size - t.offset);
  const UsbHandshake h = m_port.Out(m_address, m_identity.bulkOutEndpoint & 0x0Fu, m_toggleOut, t.out.data() + t.offset, n);
  if (h == UsbHandshake::Ack) {
    ++m_stats.outPackets;
    m_toggleOut = !m_toggleOut;
    if (n == 0) t.bZlpSent = true;
    t.offset += n;
    const bool bFullLast = size > 0 && size % maxPacket == 0;
    if (t.offset >= size && (n < maxPacket || !t.bZlp || !bFullLast || t.bZlpSent)) {
      Finish(pipe, UsbOutcome::Done);
      return;
    }
  } else if (h == UsbHandshake::Nak) {
    ++m_stats.outNaks;
  }
  Handshake(t, pipe, h, n);
}

void UsbRootHub::StepBulkIn(Transfer& t, uint32_t pipe) {
  bool toggle = false;
  std::vector<uint8_t> data;
  const UsbHandshake h = m_port.In(m_address, m_identity.bulkInEndpoint & 0x0Fu, &toggle, &data);
  if (h == UsbHandshake::Ack) {
    if (toggle != m_toggleIn) {
      ++m_stats.inDuplicates;  // a packet we have already taken, sent again
    } else {
      ++m_stats.inPackets;
      m_toggleIn = !m_toggleIn;
      if (t.in.size() + data.size() > t.maxIn) {
        Finish(pipe, UsbOutcome::Error);
        return;
      }
      t.in.insert(t.in.end(), data.begin(), data.end());
      if (data.size() < m_identity.bulkInMaxPacket || t.in.size() == t.maxIn) {
        Finish(pipe, UsbOutcome::Done);
        return;
      }
    }
  } else if (h == UsbHandshake::Nak) {
    ++m_stats.inNaks;
  }
  Handshake(t, pipe, h, static_cast<uint32_t>(data.size()));
}

void UsbRootHub::Finish(uint32_t pipe, UsbOutcome outcome) {
  Transfer t = std::move(m_pipes[pipe].front());
  m_pipes[pipe].pop_front();
  if (m_stepEvent[pipe] != 0) {
    m_clock.Cancel(m_stepEvent[pipe]);
    m_stepEvent[pipe] = 0;
  }
  if (!m_pipes[pipe].empty()) ScheduleStep(pipe, 0);
  UsbTransferResult result;
  result.outcome = outcome;
  result.bytes = pipe == kPipeBulkOut || (pipe == kPipeControl && !t.setup.IsIn()) ? t.offset
                                                                                   : static_cast<uint32_t>(t.in.size());
  result.data = std::move(t.in);
  if (pipe == kPipeControl && outcome == UsbOutcome::Done && !t.bInternal) AfterClientControl(t.setup);
  if (t.done) t.done(result);
}

std::optional<UsbTransferResult> UsbRootHub::CancelTransfer(TransferId id) {
  for (uint32_t pipe = 0; pipe < kPipes; ++pipe) {
    auto& queue = m_pipes[pipe];
    for (auto it = queue.begin(); it != queue.end(); ++it) {
      if (it->id != id || it->bInternal) continue;
      Transfer t = std::move(*it);
      const bool bRunning = it == queue.begin();
      queue.erase(it);
      if (bRunning) {
        if (m_stepEvent[pipe] != 0) {
          m_clock.Cancel(m_stepEvent[pipe]);
          m_stepEvent[pipe] = 0;
        }
        if (!queue.empty()) ScheduleStep(pipe, 0);
      }
      UsbTransferResult result;
      result.outcome = UsbOutcome::Gone;
      result.bytes = pipe == kPipeBulkOut || (pipe == kPipeControl && !t.setup.IsIn()) ? t.offset
                                                                                       : static_cast<uint32_t>(t.in.size());
      result.data = std::move(t.in);
      return result;
    }
  }
  return std::nullopt;
}

void UsbRootHub::FailAll(UsbOutcome outcome) {
  std::vector<Transfer> failed;
  for (uint32_t pipe = 0; pipe < kPipes; ++pipe) {
    if (m_stepEvent[pipe] != 0) {
      m_clock.Cancel(m_stepEvent[pipe]);
      m_stepEvent[pipe] = 0;
    }
    for (Transfer& t : m_pipes[pipe]) failed.push_back(std::move(t));
    m_pipes[pipe].clear();
  }
  for (Transfer& t : failed) {
    UsbTransferResult result;
    result.outcome = outcome;
    result.bytes = t.pipe == kPipeBulkOut ? t.offset : static_cast<uint32_t>(t.in.size());
    result.data = std::move(t.in);
    if (t.done) t.done(result);
  }
}

void UsbRootHub::AfterClientControl(const UsbSetupPacket& setup) {
  if ((setup.bmRequestType & 0x7Fu) == 0 && setup.bRequest == kReqSetConfiguration) {
    m_toggleIn = false;
    m_toggleOut = false;
  }
  if (setup.bmRequestType == 0x02 && setup.bRequest == kReqClearFeature && setup.wValue == 0) {
    const uint8_t endpoint = static_cast<uint8_t>(setup.wIndex);
    if (endpoint == m_identity.bulkInEndpoint) m_toggleIn = false;
    if (endpoint == m_identity.bulkOutEndpoint) m_toggleOut = false;
  }
}

}  // namespace sim
