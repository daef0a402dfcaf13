// The virtual board: one CPU, one clock, the bus with its memory map and
// device models, the interrupt controller and the kernel. One live board per
// process: the firmware's globals are process singletons that start zeroed,
// as after reset.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "firmware/hal/board.h"
#include "firmware/hal/kernel.h"
#include "sim/bus.h"
#include "sim/clock.h"
#include "sim/cpu.h"
#include "sim/intc.h"
#include "sim/kernel.h"

namespace sim {

// Kernel event numbers of the board's interrupt sources.
constexpr uint32_t kEventTick = 21;

struct BoardConfig {
  const KernelConfiguration* kernel = nullptr;
  bool bPaced = false;
  double pacedFactor = 1.0;
  bool bEchoConsole = false;  // copy console output to stdout as it comes
  BoardApplicationEntry appOverride = nullptr;
  // Run by BoardIdlePass, between two passes of the firmware's main loop.
  void (*idlePass)() = nullptr;
  uint32_t bootNumber = 1;
};

// A device model the board owns (it lives as long as the board). Models
// map themselves on the bus and schedule their work on the clock.
class DeviceModel {
 public:
  virtual ~DeviceModel() = default;
};

struct DataAbortRecord {
  PhysAddr addr;
  bool bWrite;
  Nanos at;
  std::string task;
};

class Board {
 public:
  explicit Board(const BoardConfig& config);
  ~Board();
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  // The live board; every firmware access asks for it.
  static Board& Current() { return s_pCurrent != nullptr ? *s_pCurrent : NoBoard(); }
  static Board* CurrentOrNull() { return s_pCurrent; }

  SimClock& Clock() { return m_clock; }
  Bus& GetBus() { return m_bus; }
  Cpu& GetCpu() { return *m_cpu; }
  Kernel& GetKernel() { return m_kernel; }
  InterruptController& Intc() { return m_intc; }
  const BoardConfig& Config() const { return m_config; }

  // Reset entry: the kernel creates its objects and the tick starts.
  void PowerOn();
  // Runs the CPU until `until` (virtual time), a pause or the end.
  RunState Run(Nanos until);
  RunState State() const { return m_state; }

  // Devices raise interrupts by kernel event number.
  void RaiseInterrupt(uint32_t event);

  // Faults the board found in the firmware or in itself; a test fails on
  // any it did not declare expected.
  void ReportFault(std::string what);
  const std::vector<std::string>& Faults() const { return m_faults; }
  void RecordDataAbort(PhysAddr addr, bool bWrite);
  const std::vector<DataAbortRecord>& DataAborts() const { return m_aborts; }

  // The serial console (the kernel's low-level output).
  void ConsoleLine(std::string_view text);
  const std::string& Console() const { return m_console; }

  // A stop asked from outside the CPU thread (a signal, the stall detector).
  void RequestStop() { m_stopRequested.store(true, std::memory_order_relaxed); }
  bool StopRequested() const { return m_stopRequested.load(std::memory_order_relaxed); }

  // Called by the kernel on every log record and on every tick; a test's
  // stop condition is checked there.
  void OnLogRecord();
  void SetStopCondition(std::function<bool()> cond) { m_stopCondition = std::move(cond); }

  // Device models: owned by the board, found by type (tests and the tools
  // around the board reach them so).
  template <class T, class... Args>
  T& AddDevice(Args&&... args) {
    auto device = std::make_unique<T>(std::forward<Args>(args)...);
    T& ref = *device;
    m_devices.push_back(std::move(device));
    return ref;
  }
  template <class T>
  T* FindDevice() const {
    for (const auto& d : m_devices) {
      if (auto* p = dynamic_cast<T*>(d.get())) return p;
    }
    return nullptr;
  }

  // The board support's microsecond counter: timer 0's upper half (24 MHz)
  // carried on in 64 bits, so that its microseconds wrap at 32 bits rather
  // than with the 32-bit counter every 179 s. A bare board without the
  // timer model (the kernel's own tests) counts from the clock instead.
  struct UsCounter {
    bool bClockOnly = false;  // bare board: counting since `startedAt`
    Nanos startedAt = 0;
    uint32_t lastCount = 0;  // the 32-bit counter at the last reading
    uint64_t counts = 0;     // counts since the start
  };
  UsCounter& GetUsCounter() { return m_usCounter; }

 private:
  [[noreturn]] static Board& NoBoard();
  static inline Board* s_pCurrent = nullptr;
  void ScheduleTick();
  void CheckStopCondition();

  BoardConfig m_config;
  SimClock m_clock;
  Bus m_bus;
  InterruptController m_intc;
  Kernel m_kernel;
  std::unique_ptr<Cpu> m_cpu;
  std::vector<std::unique_ptr<DeviceModel>> m_devices;
  RunState m_state = RunState::Paused;
  std::vector<std::string> m_faults;
  std::vector<DataAbortRecord> m_aborts;
  std::string m_console;
  std::atomic<bool> m_stopRequested{false};
  std::function<bool()> m_stopCondition;
  UsCounter m_usCounter;
};

}  // namespace sim
