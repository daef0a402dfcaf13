// Execution contexts of the one simulated CPU: every firmware task (and the
// idle context) runs on its own host stack, switched by a few instructions on
// one operating-system thread. Only one context runs at a time.
#pragma once

#include <cstddef>
#include <functional>

namespace sim {

class Fiber {
 public:
  // A context for the calling thread's own stack (the scheduler's).
  Fiber();
  // A context with its own mmap'ed stack and a guard page below it; `body`
  // runs when the fiber is first switched to. `body` must never return: it
  // ends by switching away for the last time (SwitchTo with bExiting).
  Fiber(size_t stackBytes, std::function<void()> body);
  ~Fiber();
  Fiber(const Fiber&) = delete;
  Fiber& operator=(const Fiber&) = delete;

  // Makes the fiber start its body from the top at its next switch-in
  // (after ext_tsk, or for a fiber abandoned by a reset).
  void Restart();

  // Saves the running context into `from` and continues `to`. bExiting says
  // that `from` will never be resumed (its fake stack may be freed).
  static void Switch(Fiber& from, Fiber& to, bool bExiting = false);

  bool HasOwnStack() const { return m_stack != nullptr; }
  // Lowest usable stack address, for the stall report.
  const void* StackLow() const { return m_stackLow; }

 private:
  static void Entry(Fiber* self);
  friend void FiberMainThunk(void*);
  void Prepare();
  void FinishSwitchIn();

  void* m_sp = nullptr;
  void* m_stack = nullptr;       // mapping including the guard page
  size_t m_mapBytes = 0;
  void* m_stackLow = nullptr;    // usable stack: [m_stackLow, m_stackLow + m_stackBytes)
  size_t m_stackBytes = 0;
  void* m_fakeStack = nullptr;   // AddressSanitizer's fake stack of this context
  const void* m_asanBottom = nullptr;
  size_t m_asanSize = 0;
  std::function<void()> m_body;
};

}  // namespace sim
