#include "sim/stall_detector.h"

#include <execinfo.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "sim/board.h"
#include "sim/exit_codes.h"

namespace sim {

namespace {

// Runs on the CPU thread: prints where it is stuck and ends the process.
void OnStallSignal(int) {
  void* frames[64];
  const int n = backtrace(frames, 64);
  static const char kHead[] = "virtual board: backtrace of the CPU thread:\n";
  (void)!write(STDERR_FILENO, kHead, sizeof kHead - 1);
  backtrace_symbols_fd(frames, n, STDERR_FILENO);
  _exit(kExitFault);
}

}  // namespace

StallDetector::StallDetector(Board& board) : m_board(board), m_cpuThread(pthread_self()) {
  struct sigaction sa {};
  sa.sa_handler = OnStallSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGUSR2, &sa, nullptr);
  m_thread = std::thread([this] { Watch(); });
}

StallDetector::~StallDetector() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_quit = true;
  }
  m_cv.notify_all();
  m_thread.join();
}

void StallDetector::Watch() {
  uint64_t lastSeen = m_board.GetCpu().SwitchPoints();
  int quietSeconds = 0;
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_cv.wait_for(lock, std::chrono::seconds(1), [this] { return m_quit; })) {
    const uint64_t now = m_board.GetCpu().SwitchPoints();
    if (!m_running.load(std::memory_order_relaxed) || now != lastSeen) {
      lastSeen = now;
      quietSeconds = 0;
      continue;
    }
    if (++quietSeconds < kStallSeconds) continue;
    std::fprintf(stderr, "virtual board: stall: no switch point for %d s of wall time (running: %s)\n",
                 kStallSeconds, m_board.GetKernel().CurrentTaskName());
    std::fflush(stderr);
    pthread_kill(m_cpuThread, SIGUSR2);
    return;
  }
}

}  // namespace sim
