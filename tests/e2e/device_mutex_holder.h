// A second process that holds a printer's named mutex (the library's device
// lock) while a test needs the printer busy elsewhere.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>

#include <string>

namespace e2e {

// A second process that takes a printer's named mutex when told, and gives
// it back when told: forked before this process starts any thread.
class MutexHolder {
 public:
  explicit MutexHolder(const std::string &name) {
    int toChild[2];
    int toParent[2];
    // Close-on-exec: a process the test starts later must not keep the
    // holder's end open, or the holder never hears that it may let go.
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(toParent, O_CLOEXEC) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
      close(toChild[1]);
      close(toParent[0]);
      char c = 0;
      int code = 1;
      if (read(toChild[0], &c, 1) == 1) {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
        if (mutex != nullptr && WaitForSingleObject(mutex, 10000) == WAIT_OBJECT_0) {
          c = 'h';
          if (write(toParent[1], &c, 1) == 1 && read(toChild[0], &c, 1) >= 0) code = ReleaseMutex(mutex) ? 0 : 1;
        }
        if (mutex != nullptr) CloseHandle(mutex);
      }
      _exit(code);
    }
    close(toChild[0]);
    close(toParent[1]);
    m_toChild = toChild[1];
    m_fromChild = toParent[0];
  }
  ~MutexHolder() {
    if (m_toChild >= 0) close(m_toChild);
    if (m_fromChild >= 0) close(m_fromChild);
    if (m_pid > 0 && !m_bReaped) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
  }
  // Takes the mutex in the child; true once it holds it.
  bool Hold() {
    char c = 'g';
    return m_pid > 0 && write(m_toChild, &c, 1) == 1 && read(m_fromChild, &c, 1) == 1 && c == 'h';
  }
  // Gives it back and ends; the child's exit code.
  int Release() {
    close(m_toChild);
    m_toChild = -1;
    int status = 0;
    if (waitpid(m_pid, &status, 0) != m_pid) return -1;
    m_bReaped = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t m_pid = -1;
  int m_toChild = -1;
  int m_fromChild = -1;
  bool m_bReaped = false;
};

}  // namespace e2e
