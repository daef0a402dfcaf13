// Child processes of end-to-end tests: started with standard input at end of
// file and their output in a log file (in a working directory of their own
// when one is given), and always ended: Stop() asks with a
// signal, waits a bounded time and kills; the destructor stops what is still
// running, so no test leaves a process behind on any path.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace e2e {

class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const std::string& logPath, const std::string& workingDir = "")
      : m_logPath(logPath) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (!workingDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
    if (posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ChildProcess() { Stop(SIGKILL); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return m_pid > 0; }
  bool Running() { return m_pid > 0 && !Reap(0); }
  pid_t Pid() const { return m_pid; }
  // The exit code once it ended (-1 before, 128 + n after signal n).
  int ExitCode() const { return m_exitCode; }
  std::string Log() const {
    std::ifstream in(m_logPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Waits at most `waitMs` for the end; true when it ended.
  bool WaitExit(int waitMs) { return m_pid <= 0 || Reap(waitMs); }
  // Asks it to end with `signal`; kills it when it has not ended in `waitMs`.
  // Returns the exit code.
  int Stop(int signal = SIGTERM, int waitMs = 20000) {
    if (m_pid <= 0 || m_bReaped) return m_exitCode;
    kill(m_pid, signal);
    if (!Reap(waitMs)) {
      kill(m_pid, SIGKILL);
      Reap(-1);
    }
    return m_exitCode;
  }

 private:
  // Waits for the end without polling: on the process's descriptor where
  // the kernel has them, else in short steps.
  bool Reap(int waitMs) {
    if (m_bReaped) return true;
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
    if (pidfd >= 0) {
      pollfd p{pidfd, POLLIN, 0};
      int n;
      do {
        n = poll(&p, 1, waitMs);
      } while (n < 0 && errno == EINTR);
      close(pidfd);
      if (n == 0) return false;
      return Collect(0);
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs < 0 ? 0 : waitMs);
    for (;;) {
      if (Collect(WNOHANG)) return true;
      if (waitMs >= 0 && std::chrono::steady_clock::now() >= end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  bool Collect(int options) {
    int status = 0;
    const pid_t r = waitpid(m_pid, &status, options);
    if (r != m_pid) return false;
    m_bReaped = true;
    m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
  }

  std::string m_logPath;
  pid_t m_pid = -1;
  bool m_bReaped = false;
  int m_exitCode = -1;
};

}  // namespace e2e
