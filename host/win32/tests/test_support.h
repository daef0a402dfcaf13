// Helpers shared by the tests of the Win32 subset: a virtual-clock fixture,
// threads running lambdas, a temporary directory, a pipe handle kind over a
// socket pair, and forked child processes driven through pipes.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <process.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <win32_ext.h>
#include <windows.h>

#include <atomic>
#include <csignal>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

namespace win32_test {

// Every test of this fixture runs on a virtual clock starting at kStart.
class VirtualClockTest : public ::testing::Test {
 protected:
  static constexpr uint64_t kStart = 1000;
  void SetUp() override {
    W32X_VIRTUAL_CLOCK clock{kStart, 0, 0};
    ASSERT_TRUE(W32X_UseVirtualClock(&clock));
  }
  void TearDown() override { W32X_UseRealClock(); }
  // Virtual milliseconds since the test began.
  static uint64_t Elapsed() { return W32X_ClockNow() - kStart; }
};

struct ThreadBody {
  std::function<unsigned()> run;
};

inline unsigned __stdcall RunThreadBody(void *raw) {
  std::unique_ptr<ThreadBody> body(static_cast<ThreadBody *>(raw));
  return body->run();
}

// Starts a thread through _beginthreadex; the handle must be closed.
inline HANDLE StartThread(std::function<unsigned()> run, unsigned *id = nullptr) {
  auto *body = new ThreadBody{std::move(run)};
  uintptr_t handle = _beginthreadex(nullptr, 0, RunThreadBody, body, 0, id);
  if (handle == 0) delete body;
  return reinterpret_cast<HANDLE>(handle);
}

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/bomwin32-test-XXXXXX";
    const char *made = mkdtemp(pattern);
    path_ = made != nullptr ? made : "";
  }
  ~TempDir() {
    if (!path_.empty()) {
      std::string command = "rm -rf '" + path_ + "'";
      int ignored = std::system(command.c_str());
      (void)ignored;
    }
  }
  const std::string &path() const { return path_; }
  std::string File(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A message pipe handle kind over one end of a socket pair. Reads block
// through W32X_WaitFd, as the USB-access stand-in's pipes do.
struct TestPipe {
  int fd;
  std::atomic<int> *closes;
};

inline BOOL TestPipeRead(void *object, void *buffer, DWORD bytes, DWORD *done) {
  auto *pipe = static_cast<TestPipe *>(object);
  for (;;) {
    ssize_t n = recv(pipe->fd, buffer, bytes, MSG_DONTWAIT);
    if (n >= 0) {
      *done = static_cast<DWORD>(n);
      if (n == 0) {
        SetLastError(ERROR_BROKEN_PIPE);
        return FALSE;
      }
      return TRUE;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      SetLastError(ERROR_BROKEN_PIPE);
      return FALSE;
    }
    if (W32X_WaitFd(pipe->fd, POLLIN, INFINITE) != WAIT_OBJECT_0) return FALSE;
  }
}

inline BOOL TestPipeWrite(void *object, const void *buffer, DWORD bytes, DWORD *done) {
  auto *pipe = static_cast<TestPipe *>(object);
  ssize_t n = send(pipe->fd, buffer, bytes, MSG_NOSIGNAL);
  if (n < 0) {
    SetLastError(ERROR_NO_DATA);
    return FALSE;
  }
  *done = static_cast<DWORD>(n);
  return TRUE;
}

inline void TestPipeClose(void *object) {
  auto *pipe = static_cast<TestPipe *>(object);
  close(pipe->fd);
  if (pipe->closes != nullptr) ++*pipe->closes;
  delete pipe;
}

inline const W32X_HANDLE_KIND kTestPipeKind = {"test pipe", TestPipeRead, TestPipeWrite, nullptr, nullptr,
                                               TestPipeClose};

// Two connected pipe handles.
struct PipePair {
  HANDLE a = nullptr;
  HANDLE b = nullptr;
  std::atomic<int> closes{0};

  PipePair() {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) return;
    a = W32X_CreateHandle(&kTestPipeKind, new TestPipe{fds[0], &closes});
    b = W32X_CreateHandle(&kTestPipeKind, new TestPipe{fds[1], &closes});
  }
};

// A forked child that runs `body` and exits with its result; the parent
// talks to it through two pipes of single command bytes.
class Child {
 public:
  explicit Child(const std::function<int(Child &)> &body) {
    if (pipe(toChild_) != 0 || pipe(toParent_) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(toChild_[1]);
      close(toParent_[0]);
      int code = body(*this);
      _exit(code);
    }
    close(toChild_[0]);
    close(toParent_[1]);
  }
  ~Child() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      Reap();
    }
  }

  // In the child.
  void Tell(char c) {
    ssize_t ignored = write(toParent_[1], &c, 1);
    (void)ignored;
  }
  char Await() {
    char c = 0;
    return read(toChild_[0], &c, 1) == 1 ? c : '\0';
  }

  // In the parent.
  char Hear() {
    char c = 0;
    return read(toParent_[0], &c, 1) == 1 ? c : '\0';
  }
  void Order(char c) {
    ssize_t ignored = write(toChild_[1], &c, 1);
    (void)ignored;
  }
  void Kill() {
    kill(pid_, SIGKILL);
    Reap();
  }
  // The child's exit code, or -1 when it did not exit normally.
  int Reap() {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  int toChild_[2] = {-1, -1};
  int toParent_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool reaped_ = false;
};

}  // namespace win32_test
