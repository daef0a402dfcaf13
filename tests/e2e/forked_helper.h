// A helper process of an end-to-end test, forked before the test starts
// any thread: it runs its body on its ends of two pipes (requests in,
// answers out) and exits with the body's result. The pipes are
// close-on-exec, so a process the test starts later keeps no end open and
// the helper hears when the test lets go.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace e2e {

class ForkedHelper {
 public:
  // body(int in, int out) -> exit code, run in the child.
  template <typename Body>
  explicit ForkedHelper(Body body) {
    int toChild[2];
    int toParent[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(toParent, O_CLOEXEC) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
      close(toChild[1]);
      close(toParent[0]);
      _exit(body(toChild[0], toParent[1]));
    }
    close(toChild[0]);
    close(toParent[1]);
    m_toChild = toChild[1];
    m_fromChild = toParent[0];
  }
  ~ForkedHelper() {
    if (m_toChild >= 0) close(m_toChild);
    if (m_fromChild >= 0) close(m_fromChild);
    if (m_pid > 0 && !m_bReaped) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
  }
  ForkedHelper(const ForkedHelper&) = delete;
  ForkedHelper& operator=(const ForkedHelper&) = delete;

  bool Started() const { return m_pid > 0; }
  int ToChild() const { return m_toChild; }
  int FromChild() const { return m_fromChild; }
  // Closes the request pipe and waits for the end: the child's exit code,
  // or -1.
  int Finish() {
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
