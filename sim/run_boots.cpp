#include "sim/run_boots.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace sim {

std::vector<int> RunBoots(int count, const std::function<int(int index)>& boot) {
  std::vector<int> codes;
  for (int i = 0; i < count; ++i) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
      std::perror("RunBoots: fork");
      codes.push_back(-1);
      break;
    }
    if (pid == 0) {
      const int code = boot(i);
      std::fflush(nullptr);
      _exit(code);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) {
        std::perror("RunBoots: waitpid");
        status = -1;
        break;
      }
    }
    codes.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  }
  return codes;
}

}  // namespace sim
