// Keeps this process's virtual clock still while a printer-sim process
// answers in real time: a counted thread blocked in a plain read, which the
// clock does not take for one of its waits, so no library time-out can run
// out while the printer is merely slow.
#pragma once

#include <process.h>
#include <unistd.h>
#include <windows.h>

namespace e2e {

class ClockHold {
 public:
  ClockHold() {
    if (pipe(m_fds) != 0) return;
    m_thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &ClockHold::Main, this, 0, nullptr));
  }
  ~ClockHold() {
    const char c = 'x';
    if (write(m_fds[1], &c, 1) == 1 && m_thread != nullptr) WaitForSingleObject(m_thread, INFINITE);
    if (m_thread != nullptr) CloseHandle(m_thread);
    close(m_fds[0]);
    close(m_fds[1]);
  }
  ClockHold(const ClockHold&) = delete;
  ClockHold& operator=(const ClockHold&) = delete;
  bool Holding() const { return m_thread != nullptr; }

 private:
  static unsigned __stdcall Main(void* self) {
    char c = 0;
    return read(static_cast<ClockHold*>(self)->m_fds[0], &c, 1) == 1 ? 0u : 1u;
  }
  int m_fds[2] = {-1, -1};
  HANDLE m_thread = nullptr;
};

}  // namespace e2e
