// Fails the run when the CPU thread passes no switch point for 10 s of wall
// time (firmware spinning without touching the seam, or the board stuck),
// with the running task's name and the CPU thread's backtrace.
#pragma once

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace sim {

class Board;

class StallDetector {
 public:
  static constexpr int kStallSeconds = 10;

  explicit StallDetector(Board& board);
  ~StallDetector();
  StallDetector(const StallDetector&) = delete;
  StallDetector& operator=(const StallDetector&) = delete;

  // Watches only while the CPU runs (not while a test inspects a paused board).
  void SetRunning(bool bRunning) { m_running.store(bRunning, std::memory_order_relaxed); }

 private:
  void Watch();

  Board& m_board;
  pthread_t m_cpuThread;
  std::atomic<bool> m_running{false};
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_quit = false;
  std::thread m_thread;
};

}  // namespace sim
