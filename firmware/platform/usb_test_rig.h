// Test rig of the USB driver's tests (test code only): the firmware's
// kernel configuration with the USB task's body replaced by the rig's, which
// stands in for the command layer, and an application entry that opens the
// driver when start-up has not, registers descriptors and connects. Tests
// drive the host side through the machine's USB host port.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/sftprn.h"
#include "firmware/platform/usb_driver.h"
#include "firmware/platform/usb_registers.h"
#include "protocol/wire.h"
#include "sim/board.h"
#include "sim/machine.h"
#include "sim/usb/usb_controller.h"
#include "sim/usb/usb_host_port.h"
#include "sim/usb/usb_root_hub.h"
#include "tests/support/machine_test.h"
#include "tests/support/usb_task_kernel.h"

namespace usbrig {

using testsupport::Ms;

struct RigState {
  // Set by the test before Boot.
  bool bConnect = true;                  // the application connects after open
  std::function<void()> registerIdentity;  // runs before the connect
  // The USB task's pass: poll, and read a waiting command.
  bool bPoll = true;
  bool bRead = true;
  // Runs in the USB task for every command read, as a command layer would.
  std::function<void(const std::vector<uint8_t>&)> onCommand;
  // Filled by the rig.
  bool bReady = false;      // opened (and connected when asked)
  int32_t lOpenResult = 0;  // of the rig's own open, when it opened
  std::vector<std::vector<uint8_t>> commands;  // commands read, in order
  uint32_t ulPolls = 0;
  std::deque<std::function<void()>> usbJobs;
  std::deque<std::function<void()>> appJobs;
};

inline RigState g_rig;

inline void RunJobs(std::deque<std::function<void()>>& jobs) {
  while (!jobs.empty()) {
    std::function<void()> job = std::move(jobs.front());
    jobs.pop_front();
    job();
  }
}

inline void RigUsbTask(VP_INT) {
  for (;;) {
    if (g_rig.bReady && g_rig.bPoll) {
      uint32_t ulFlag = 0;
      UsbDrvPoll(USB_DRIVER_HANDLE, &ulFlag);
      ++g_rig.ulPolls;
      if (ulFlag != 0 && g_rig.bRead) {
        uint8_t aucBuffer[512];
        uint16_t usLength = 0;
        if (UsbDrvRead(USB_DRIVER_HANDLE, aucBuffer, &usLength) == 0) {
          g_rig.commands.emplace_back(aucBuffer, aucBuffer + usLength);
          if (g_rig.onCommand) g_rig.onCommand(g_rig.commands.back());
        }
      }
    }
    RunJobs(g_rig.usbJobs);
    dly_tsk(2);
  }
}

inline void RigApplication() {
  // Start-up opens the driver; when it did not, or its open failed, the rig
  // opens it (a finished power-up leaves HSENAB, SUSPENDM and ENSUSPM set).
  const uint8_t ucPowerUp = POWER_HSENAB | POWER_SUSPENDM | POWER_ENSUSPM;
  if ((HwRead32(PSC1_MDSTAT_USB0) & PSC_STATE_MASK) != PSC_STATE_ENABLE || (HwRead8(USB_POWER) & ucPowerUp) != ucPowerUp) {
    uint32_t ulHandle = 0;
    g_rig.lOpenResult = UsbDrvOpen(&ulHandle);
  }
  if (g_rig.registerIdentity) g_rig.registerIdentity();
  if (g_rig.bConnect) UsbDrvControl(USB_DRIVER_HANDLE, USB_CTRL_CONNECT, nullptr);
  g_rig.bReady = true;
  for (;;) {
    RunJobs(g_rig.appJobs);
    CpuRelax();
  }
}

inline sim::MachineOptions RigOptions(bool bHighSpeed = true) {
  static testsupport::KernelWithUsbTask kernel(RigUsbTask);  // the rig's USB task
  sim::MachineOptions options;
  options.kernel = &kernel.config;
  options.bUsbHighSpeed = bHighSpeed;
  options.appEntry = RigApplication;
  return options;
}

// Names parameterised cases after their `name` field.
struct NameOf {
  template <class P>
  std::string operator()(const ::testing::TestParamInfo<P>& p) const {
    return p.param.name;
  }
};

// Runs `job` at the next pass of the named task and the machine until it
// has run.
inline void RunIn(sim::Machine& m, std::deque<std::function<void()>>& jobs, std::function<void()> job,
                  sim::Nanos limit = Ms(60000)) {
  bool bDone = false;
  jobs.push_back([&bDone, job = std::move(job)] {
    job();
    bDone = true;
    sim::Board::Current().GetCpu().RequestPause();
  });
  m.RunUntil([&] { return bDone; }, limit);
  EXPECT_TRUE(bDone) << "the job did not run";
}

inline void RunInUsbTask(sim::Machine& m, std::function<void()> job, sim::Nanos limit = Ms(60000)) {
  RunIn(m, g_rig.usbJobs, std::move(job), limit);
}

inline void RunInAppTask(sim::Machine& m, std::function<void()> job, sim::Nanos limit = Ms(60000)) {
  RunIn(m, g_rig.appJobs, std::move(job), limit);
}

// Runs until the rig has `count` commands.
inline bool WaitForCommands(sim::Machine& m, size_t count, sim::Nanos limit = Ms(1000)) {
  m.RunUntil([&] { return g_rig.commands.size() >= count; }, limit);
  return g_rig.commands.size() >= count;
}

// A register as the firmware would read it, without the CPU (no switch
// point, no time): for registers whose read has no side effect.
inline uint32_t Peek(PhysAddr addr, uint32_t width) {
  const sim::Bus::Region* r = sim::Board::Current().GetBus().Find(addr, width);
  if (r == nullptr) return 0;
  if (r->device != nullptr) return r->device->Read(addr - r->first, width);
  uint32_t value = 0;
  std::memcpy(&value, r->host + (addr - r->first), width);
  return value;
}

inline uint8_t* Ram(PhysAddr addr, uint32_t bytes) { return sim::Board::Current().GetBus().RamPointer(addr, bytes); }

inline sim::UsbController& Controller() { return *sim::Board::Current().FindDevice<sim::UsbController>(); }

// A command packet of the USB command protocol: code, payload length, payload.
inline std::vector<uint8_t> Command(uint16_t code, size_t payloadLength, uint8_t seed = 1) {
  std::vector<uint8_t> packet{static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8),
                              static_cast<uint8_t>(payloadLength), static_cast<uint8_t>(payloadLength >> 8)};
  for (size_t i = 0; i < payloadLength; ++i) packet.push_back(static_cast<uint8_t>(seed + i * 7));
  return packet;
}

inline std::vector<uint8_t> Pattern(size_t bytes, uint32_t seed) {
  std::vector<uint8_t> data(bytes);
  uint32_t x = seed;
  for (auto& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return data;
}

// The download command of the rig's command layer below: its 4-byte payload
// names the size of the raw data that follows into kDownloadBuffer.
inline constexpr uint16_t kDownloadCommand = 0x8001;
inline constexpr PhysAddr kDownloadBuffer = 0xC0400000u;

// A command layer for onCommand: a download command arms the receive of the
// size its payload names, then is answered with 10 bytes (byte 0: the
// driver's result, 0 or 1); any other command is answered with 1024 bytes
// (two full packets) of its code's pattern. It runs in the USB task, whose
// stack is abandoned when the test ends: the reply lives in static memory,
// not on the heap. Returns the result of the reply's write.
inline int32_t AnswerDownloadOrPattern(const std::vector<uint8_t>& command) {
  static uint8_t s_aucReply[1024];
  const uint16_t code = protocol::GetU16(command.data());
  uint32_t length = sizeof s_aucReply;
  if (code == kDownloadCommand && command.size() == 8) {
    IoctlWord aWords[2] = {kDownloadBuffer, protocol::GetU32(command.data() + 4)};
    length = 10;
    std::memset(s_aucReply, 0, length);
    s_aucReply[0] = UsbDrvControl(USB_DRIVER_HANDLE, USB_CTRL_START_BULK_RX, aWords) == 0 ? 0 : 1;
  } else {
    const std::vector<uint8_t> pattern = Pattern(length, code);
    std::memcpy(s_aucReply, pattern.data(), length);
  }
  return UsbDrvWrite(USB_DRIVER_HANDLE, s_aucReply, length);
}

// The fixture: a booted printer whose driver is open and connected, and the
// host port once the hub has configured it.
class UsbRigTest : public testsupport::MachineTest {
 protected:
  void SetUp() override { g_rig = RigState{}; }

  sim::Machine& BootRig(bool bHighSpeed = true) {
    sim::Machine& m = Boot(RigOptions(bHighSpeed));
    m.RunUntil([] { return g_rig.bReady; }, Ms(10000));
    EXPECT_TRUE(g_rig.bReady);
    EXPECT_EQ(g_rig.lOpenResult, 0);
    return m;
  }

  sim::UsbHostPort& Host() { return m_machine->UsbHost(); }

  sim::UsbHostPort& BootConfigured(bool bHighSpeed = true) {
    BootRig(bHighSpeed);
    EXPECT_TRUE(Host().WaitForConfigured(Ms(2000))) << Host().Hub().FailureReason();
    return Host();
  }
};

}  // namespace usbrig
