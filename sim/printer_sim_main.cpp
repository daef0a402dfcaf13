// printer-sim: a whole virtual printer in a process. The firmware runs on the
// virtual board with its flash and EEPROMs kept in a state directory.
//
//   printer-sim --state DIR [--on-reset=exec|exit] [--virtual | --paced=FACTOR]
//               [--run-for-ms N]
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "sim/exit_codes.h"
#include "sim/machine.h"

namespace {

struct Options {
  std::string stateDir;
  bool bExecOnReset = true;
  bool bPaced = true;
  double pacedFactor = 1.0;
  sim::Nanos runFor = 0;  // 0: until the kernel ends
};

void Usage() {
  std::fputs(
      "usage: printer-sim --state DIR [--on-reset=exec|exit] [--virtual | --paced=FACTOR] [--run-for-ms N]\n"
      "  --state DIR        the printer's flash, EEPROMs and boot counter (created when missing)\n"
      "  --on-reset=exec    on a watchdog restart, boot again in a fresh process image (default)\n"
      "  --on-reset=exit    on a watchdog restart, end with exit code 3\n"
      "  --virtual          run in virtual time, as fast as the host allows\n"
      "  --paced=FACTOR     virtual time never ahead of wall time x FACTOR (default 1)\n"
      "  --run-for-ms N     stop after N ms of virtual time\n",
      stderr);
}

bool ParseNumber(std::string_view text, double* pValue) {
  const std::string s(text);
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(s.c_str(), &end);
  if (s.empty() || end == nullptr || *end != '\0' || errno != 0 || v <= 0) return false;
  *pValue = v;
  return true;
}

bool Parse(int argc, char** argv, Options* pOptions) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    double number = 0;
    if (arg == "--state" && i + 1 < argc) {
      pOptions->stateDir = argv[++i];
    } else if (arg.rfind("--state=", 0) == 0) {
      pOptions->stateDir = std::string(arg.substr(8));
    } else if (arg == "--on-reset=exec") {
      pOptions->bExecOnReset = true;
    } else if (arg == "--on-reset=exit") {
      pOptions->bExecOnReset = false;
    } else if (arg == "--virtual") {
      pOptions->bPaced = false;
    } else if (arg.rfind("--paced=", 0) == 0 && ParseNumber(arg.substr(8), &number)) {
      pOptions->bPaced = true;
      pOptions->pacedFactor = number;
    } else if (arg == "--run-for-ms" && i + 1 < argc && ParseNumber(argv[i + 1], &number)) {
      pOptions->runFor = static_cast<sim::Nanos>(number * static_cast<double>(sim::kNsPerMs));
      ++i;
    } else {
      std::fprintf(stderr, "printer-sim: unknown or incomplete argument '%s'\n", argv[i]);
      return false;
    }
  }
  if (pOptions->stateDir.empty()) {
    std::fputs("printer-sim: --state DIR is required\n", stderr);
    return false;
  }
  return true;
}

sim::Board* g_pBoard = nullptr;

void OnStopSignal(int) {
  if (g_pBoard != nullptr) g_pBoard->RequestStop();
}

// Descriptors inherited from whoever started us must not leak into the
// process image a reset executes.
void MarkInheritedCloseOnExec() {
  for (int fd = 3; fd < 1024; ++fd) {
    const int flags = fcntl(fd, F_GETFD);
    if (flags >= 0) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, &options)) {
    Usage();
    return sim::kExitUsage;
  }
  MarkInheritedCloseOnExec();

  sim::MachineOptions machineOptions;
  machineOptions.stateDir = options.stateDir;
  machineOptions.bPaced = options.bPaced;
  machineOptions.pacedFactor = options.pacedFactor;
  machineOptions.bEchoConsole = true;
  sim::RunResult result = sim::RunResult::Fault;
  {
    sim::Machine machine(machineOptions);
    g_pBoard = &machine.GetBoard();
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    result = options.runFor != 0 ? machine.RunFor(options.runFor) : machine.RunUntil([] { return false; }, ~sim::Nanos{0} / 2);
    if (result == sim::RunResult::TimeLimit) {
      machine.GetBoard().ConsoleLine("[board] stopped at " + std::to_string(machine.Now() / sim::kNsPerMs) + " ms");
    }
    for (const std::string& fault : machine.UnexpectedFaults()) std::fprintf(stderr, "printer-sim: fault: %s\n", fault.c_str());
    g_pBoard = nullptr;
  }
  std::fflush(nullptr);

  switch (result) {
    case sim::RunResult::Reset:
      if (options.bExecOnReset) {
        execv("/proc/self/exe", argv);
        std::fprintf(stderr, "printer-sim: cannot restart: %s\n", std::strerror(errno));
        return sim::kExitFault;
      }
      return sim::kExitWatchdogRestart;
    case sim::RunResult::Fault:
      return sim::kExitFault;
    case sim::RunResult::ConditionMet:
    case sim::RunResult::TimeLimit:
    case sim::RunResult::Ended:
      break;
  }
  return sim::kExitEnded;
}
