// printer-sim: a whole virtual printer in a process. The firmware runs on the
// virtual board with its flash and EEPROMs kept in a state directory; hosts
// reach its USB port through the virtual cable's bus directory.
//
//   printer-sim --state DIR [--on-reset=exec|exit] [--virtual | --paced=FACTOR]
//               [--run-for-ms N] [--usb-bus DIR] [--usb-port PORT] [--engine-version N] ...
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/cable/cable_bus.h"
#include "sim/cable/cable_transport.h"
#include "sim/exit_codes.h"
#include "sim/machine.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/usb/usb_root_hub.h"

namespace {

struct Options {
  std::string stateDir;
  bool bExecOnReset = true;
  bool bPaced = true;
  double pacedFactor = 1.0;
  sim::Nanos runFor = 0;  // 0: until the kernel ends
  std::string usbBus;     // empty: the default bus directory
  std::string usbPort;    // empty: derived from the state directory
  uint32_t openCovers = 0;
  bool bRollLoaded = true;
  std::array<sim::Panel, 2> ribbonPanels{sim::Panel::Yellow, sim::Panel::Yellow};
  bool bEchoMechanism = false;
  uint32_t engineVersion = 0;  // 0: the EEPROM's own
};

void Usage() {
  std::fputs(
      "usage: printer-sim --state DIR [--on-reset=exec|exit] [--virtual | --paced=FACTOR] [--run-for-ms N]\n"
      "  --state DIR        the printer's flash, EEPROMs and boot counter (created when missing)\n"
      "  --on-reset=exec    on a watchdog restart, boot again in a fresh process image (default)\n"
      "  --on-reset=exit    on a watchdog restart, end with exit code 3\n"
      "  --virtual          run in virtual time, as fast as the host allows\n"
      "  --paced=FACTOR     virtual time never ahead of wall time x FACTOR (default 1)\n"
      "  --run-for-ms N     stop after N ms of virtual time\n"
      "  --usb-bus DIR      the USB cable's bus directory (default $BOM7300_USB_BUS, else\n"
      "                     $XDG_RUNTIME_DIR/bom7300-usb, else /tmp/bom7300-usb-UID)\n"
      "  --open-cover NAME  start with the cover open: front, side-l, side-r, paper, guide, upper-l,\n"
      "                     upper-r (repeatable)\n"
      "  --no-paper         start with no paper roll loaded\n"
      "  --ribbon-panel UNIT PANEL\n"
      "                     the ribbon panel under unit l's or r's colour sensor: yellow (default),\n"
      "                     magenta, cyan, overcoat, none\n"
      "  --echo-mechanism   every change of a motor, fan, clutch, colour LED or axis on the console\n"
      "  --engine-version N the printer's \"Engine Version\" 1-5 (1 the EM2 mechanism, others EM3), written\n"
      "                     into the main EEPROM before the boot as the factory would\n"
      "  --usb-port PORT    the port on the bus, eight hex digits (default: from the state directory)\n"
      "SIGINT and SIGTERM end the run; SIGHUP restarts the board as its watchdog would.\n",
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
    } else if (arg == "--usb-bus" && i + 1 < argc) {
      pOptions->usbBus = argv[++i];
    } else if (arg == "--usb-port" && i + 1 < argc && sim::cable::IsValidPort(argv[i + 1])) {
      pOptions->usbPort = argv[++i];
    } else if (sim::Cover cover{}; arg == "--open-cover" && i + 1 < argc &&
                                   sim::MechanismInputs::ParseCover(argv[i + 1], &cover)) {
      pOptions->openCovers |= 1u << static_cast<uint32_t>(cover);
      ++i;
    } else if (sim::Panel panel{}; arg == "--ribbon-panel" && i + 2 < argc &&
                                   (std::strcmp(argv[i + 1], "l") == 0 || std::strcmp(argv[i + 1], "r") == 0) &&
                                   sim::RibbonColors::ParsePanel(argv[i + 2], &panel)) {
      pOptions->ribbonPanels[argv[i + 1][0] == 'l' ? 0 : 1] = panel;
      i += 2;
    } else if (arg == "--echo-mechanism") {
      pOptions->bEchoMechanism = true;
    } else if (arg == "--engine-version" && i + 1 < argc && ParseNumber(argv[i + 1], &number) && number >= 1 &&
               number <= 5 && number == static_cast<double>(static_cast<uint32_t>(number))) {
      pOptions->engineVersion = static_cast<uint32_t>(number);
      ++i;
    } else if (arg == "--no-paper") {
      pOptions->bRollLoaded = false;
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
volatile sig_atomic_t g_bRestartAsked = 0;

void OnStopSignal(int) {
  if (g_pBoard != nullptr) g_pBoard->RequestStop();
}

// SIGHUP: the board restarts as after its watchdog, flash and EEPROMs kept.
void OnRestartSignal(int) {
  g_bRestartAsked = 1;
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

// The arguments without the factory provisioning options, null-terminated.
std::vector<char*> WithoutProvisioning(int argc, char** argv) {
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--engine-version") == 0 && i + 1 < argc) {
      ++i;
      continue;
    }
    args.push_back(argv[i]);
  }
  args.push_back(nullptr);
  return args;
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
  machineOptions.engineVersion = options.engineVersion;
  machineOptions.bPaced = options.bPaced;
  machineOptions.pacedFactor = options.pacedFactor;
  machineOptions.openCovers = options.openCovers;
  machineOptions.bRollLoaded = options.bRollLoaded;
  machineOptions.ribbonPanels = options.ribbonPanels;
  machineOptions.bEchoMechanism = options.bEchoMechanism;
  machineOptions.bEchoConsole = true;
  sim::RunResult result = sim::RunResult::Fault;
  {
    sim::Machine machine(machineOptions);
    // The USB cable to the hosts of this machine: the printer's socket is in
    // the bus directory while its USB device is configured. It goes before
    // the machine does, so a reset's exec finds the socket removed.
    std::unique_ptr<sim::cable::CableTransport> cable;
    if (sim::UsbRootHub* hub = machine.GetBoard().FindDevice<sim::UsbRootHub>()) {
      const std::string bus = options.usbBus.empty() ? sim::cable::DefaultBusDirectory() : options.usbBus;
      const std::string port = options.usbPort.empty() ? sim::cable::PortFor(options.stateDir) : options.usbPort;
      cable = std::make_unique<sim::cable::CableTransport>(machine.GetBoard(), *hub, bus, port);
      if (!cable->Error().empty()) {
        std::fprintf(stderr, "printer-sim: USB cable: %s\n", cable->Error().c_str());
        return sim::kExitUsage;
      }
    }
    g_pBoard = &machine.GetBoard();
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sa.sa_handler = OnRestartSignal;
    sigaction(SIGHUP, &sa, nullptr);

    result = options.runFor != 0 ? machine.RunFor(options.runFor) : machine.RunUntil([] { return false; }, ~sim::Nanos{0} / 2);
    if (g_bRestartAsked != 0 && result == sim::RunResult::TimeLimit) {
      machine.GetBoard().ConsoleLine("[board] restart asked at " + std::to_string(machine.Now() / sim::kNsPerMs) + " ms");
      result = sim::RunResult::Reset;
    } else if (result == sim::RunResult::TimeLimit) {
      machine.GetBoard().ConsoleLine("[board] stopped at " + std::to_string(machine.Now() / sim::kNsPerMs) + " ms");
    }
    for (const std::string& fault : machine.UnexpectedFaults()) std::fprintf(stderr, "printer-sim: fault: %s\n", fault.c_str());
    if (cable) machine.GetBoard().ConsoleLine(cable->Report());
    cable.reset();
    g_pBoard = nullptr;
  }
  std::fflush(nullptr);

  switch (result) {
    case sim::RunResult::Reset:
      if (options.bExecOnReset) {
        // The factory's provisioning was done by this boot: a restart finds
        // the EEPROM as the firmware left it.
        std::vector<char*> restartArgs = WithoutProvisioning(argc, argv);
        execv("/proc/self/exe", restartArgs.data());
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
