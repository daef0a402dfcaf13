#include "sim/usb/usb_host_port.h"

#include <utility>

namespace sim {

namespace {
constexpr uint8_t kReqGetStatus = 0;
constexpr uint8_t kReqClearFeature = 1;
constexpr uint8_t kReqSetFeature = 3;
constexpr uint8_t kReqGetDescriptor = 6;
constexpr uint16_t kFeatureEndpointHalt = 0;
}  // namespace

UsbHostPort::UsbHostPort(Board& board, UsbRootHub& hub, Runner runner)
    : m_board(board), m_hub(hub), m_runner(std::move(runner)) {}

bool UsbHostPort::WaitForConfigured(Nanos limit) {
  auto settled = [this] {
    return m_hub.State() == UsbPortState::Configured || m_hub.State() == UsbPortState::Failed;
  };
  if (!settled()) m_runner(settled, limit);
  return m_hub.State() == UsbPortState::Configured;
}

UsbHostPort::PendingPtr UsbHostPort::NewPending(Nanos timeout, UsbCompletion* pDone) {
  auto pending = std::make_shared<Pending>();
  pending->m_timeout = timeout;
  *pDone = [this, weak = std::weak_ptr<Pending>(pending)](const UsbTransferResult& result) {
    if (auto p = weak.lock()) {
      p->m_bDone = true;
      p->m_result = result;
    }
    // Give the board back to the waiting test at once, not at the next tick.
    if (m_waiting != 0) m_board.GetCpu().RequestPause();
  };
  return pending;
}

UsbHostPort::PendingPtr UsbHostPort::StartControl(const UsbSetupPacket& setup, std::vector<uint8_t> out,
                                                  Nanos timeout) {
  UsbCompletion done;
  PendingPtr pending = NewPending(timeout, &done);
  m_hub.SubmitControl(setup, std::move(out), timeout, std::move(done));
  return pending;
}

UsbHostPort::PendingPtr UsbHostPort::StartBulkOut(std::vector<uint8_t> data, Nanos timeout,
                                                  bool bZeroLengthPacketAfterFull) {
  UsbCompletion done;
  PendingPtr pending = NewPending(timeout, &done);
  m_hub.SubmitBulkOut(std::move(data), timeout, std::move(done), bZeroLengthPacketAfterFull);
  return pending;
}

UsbHostPort::PendingPtr UsbHostPort::StartBulkIn(uint32_t maxLength, Nanos timeout) {
  UsbCompletion done;
  PendingPtr pending = NewPending(timeout, &done);
  m_hub.SubmitBulkIn(maxLength, timeout, std::move(done));
  return pending;
}

UsbTransferResult UsbHostPort::Wait(const PendingPtr& pending) {
  if (!pending->Done()) {
    ++m_waiting;
    m_runner([&pending] { return pending->Done(); }, pending->m_timeout + kRunMargin);
    --m_waiting;
  }
  if (!pending->Done()) return UsbTransferResult{UsbOutcome::Gone, {}, 0};
  return pending->Result();
}

UsbTransferResult UsbHostPort::Control(const UsbSetupPacket& setup, std::vector<uint8_t> out, Nanos timeout) {
  return Wait(StartControl(setup, std::move(out), timeout));
}

UsbTransferResult UsbHostPort::BulkOut(std::vector<uint8_t> data, Nanos timeout, bool bZeroLengthPacketAfterFull) {
  return Wait(StartBulkOut(std::move(data), timeout, bZeroLengthPacketAfterFull));
}

UsbTransferResult UsbHostPort::BulkIn(uint32_t maxLength, Nanos timeout) {
  return Wait(StartBulkIn(maxLength, timeout));
}

UsbTransferResult UsbHostPort::GetDescriptor(uint8_t type, uint8_t index, uint16_t language, uint16_t wLength) {
  return Control(UsbSetupPacket{0x80, kReqGetDescriptor, static_cast<uint16_t>(type << 8 | index), language, wLength});
}

UsbTransferResult UsbHostPort::GetDeviceId(uint16_t wLength) {
  return Control(UsbSetupPacket{0xA1, 0, 0, 0, wLength});
}

UsbTransferResult UsbHostPort::GetEndpointStatus(uint8_t endpoint) {
  return Control(UsbSetupPacket{0x82, kReqGetStatus, 0, endpoint, 2});
}

UsbTransferResult UsbHostPort::SetEndpointHalt(uint8_t endpoint) {
  return Control(UsbSetupPacket{0x02, kReqSetFeature, kFeatureEndpointHalt, endpoint, 0});
}

UsbTransferResult UsbHostPort::ClearEndpointHalt(uint8_t endpoint) {
  return Control(UsbSetupPacket{0x02, kReqClearFeature, kFeatureEndpointHalt, endpoint, 0});
}

}  // namespace sim
