// printer-sim: a whole virtual printer in a process. The firmware runs on the
// virtual board with its flash and EEPROMs kept in a state directory; hosts
// reach its USB port through the virtual cable's bus directory.
//
//   printer-sim --state DIR [--on-reset=exec|exit] [--virtual | --paced=FACTOR]
//               [--run-for-ms N] [--usb-bus DIR] [--usb-port PORT] [--engine-version N] ...
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "sim/cable/cable_bus.h"
#include "sim/cable/cable_transport.h"
#include "sim/exit_codes.h"
#include "sim/machine.h"
#include "sim/media_option.h"
#include "sim/mechanism/input_faults.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/mechanism/paper_web.h"
#include "sim/mechanism/ribbon_transport.h"
#include "sim/operator_actions.h"
#include "sim/panel/panel_player.h"
#include "sim/panel/panel_script.h"
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
  sim::RollStart rollStart = sim::RollStart::Threaded;
  uint32_t rollLines = 0;  // 0: by the diameter
  sim::HeadClimate climate{};
  std::array<sim::Panel, 2> ribbonPanels{sim::Panel::Yellow, sim::Panel::Yellow};
  bool bEchoMechanism = false;
  uint32_t engineVersion = 0;  // 0: the EEPROM's own
  std::array<sim::RibbonLoad, 2> ribbons = sim::MachineOptions{}.ribbons;
  std::optional<sim::Media> media;
  std::array<std::optional<sim::UnitRibbon>, 2> unitRibbons;
  uint32_t ribbonDriveMode = sim::kDefaultRibbonDriveMode;
  std::vector<std::pair<sim::PrintUnit, sim::RibbonFault>> ribbonFaults;
  std::vector<sim::WebFault> paperFaults;
  bool bRollDetached = false;
  std::string sheetDir;  // empty: the printed sheets are not written
  // Operator actions at virtual times, in the order given.
  std::vector<sim::TimedActions> acts;
  bool bListActions = false;
  // The panel: lines a person types on standard input, and a script file.
  bool bPanelStdin = false;
  std::string panelScriptPath;
  std::vector<sim::PanelCommand> panelScript;
};

// "l" or "r".
bool ParseUnit(const char* pszText, sim::PrintUnit* pUnit) {
  if (std::strcmp(pszText, "l") != 0 && std::strcmp(pszText, "r") != 0) return false;
  *pUnit = pszText[0] == 'l' ? sim::PrintUnit::L : sim::PrintUnit::R;
  return true;
}

void Usage() {
  std::fputs(
      "usage: printer-sim --state DIR [--on-reset=exec|exit] [--virtual | --paced=FACTOR] [--run-for-ms N]\n"
      "  --state DIR        the printer's flash, EEPROMs and boot counter (created when missing)\n"
      "  --on-reset=exec    when the firmware ends its main loop (a system reset: an update, the host's\n"
      "                     reset) the watchdog restarts the board: boot again, in a fresh process image,\n"
      "                     with the next boot number (default)\n"
      "  --on-reset=exit    on that restart, end with exit code 3 instead\n"
      "  --virtual          run in virtual time, as fast as the host allows\n"
      "  --paced=FACTOR     virtual time never ahead of wall time x FACTOR (default 1)\n"
      "  --run-for-ms N     stop after N ms of virtual time\n"
      "  --usb-bus DIR      the USB cable's bus directory (default $BOM7300_USB_BUS, else\n"
      "                     $XDG_RUNTIME_DIR/bom7300-usb, else /tmp/bom7300-usb-UID)\n"
      "  --open-cover NAME  start with the cover open: front, side-l, side-r, paper, guide, upper-l,\n"
      "                     upper-r, or the exit tray taken off: tray (repeatable)\n"
      "  --no-paper         start with no paper roll loaded\n"
      "  --roll=threaded|new|none\n"
      "                     the paper roll at power-on: threaded to \"Position\" on path L (default: or as\n"
      "                     the state directory kept it), new (its front lying on it, nothing threaded) or\n"
      "                     none; a restart after a reset finds the roll as the reset left it\n"
      "  --roll-lines=N     the roll's paper in lines (300 a inch) in place of its 150 mm diameter\n"
      "  --ribbon-panel UNIT PANEL\n"
      "                     the ribbon panel under unit l's or r's colour sensor: yellow (default),\n"
      "                     magenta, cyan, overcoat, none\n"
      "  --ribbon UNIT TYPE[:SUPPLY_MM[:TAKEUP_MM[:DRIVE_MODE]]]\n"
      "                     the ribbon roll in unit l or r: mark8x10, mark8x12, color8x10k1 (default),\n"
      "                     color8x12k1, color8x10k2, color8x12k2; unless given, the supply holds the whole\n"
      "                     roll and the take-up 1000 mm, as on a new roll; the unit's own drive mode\n"
      "                     (1 or 2) in place of --ribbon-drive-mode\n"
      "  --media 8x10|8x12|none\n"
      "                     colour ribbons of that size (kind 1) in both units, in place of the --ribbon\n"
      "                     types, or no ribbon in either; the printer offers the print sizes of its media\n"
      "                     (default 8x10)\n"
      "  --ribbon-l=TYPE, --ribbon-r=TYPE\n"
      "                     one unit's ribbon in place of the media's: a new roll of a --ribbon type,\n"
      "                     spent (the unit's roll down to its leader) or none\n"
      "  --ribbon-drive-mode N\n"
      "                     1: the supply motor also pays out forward; 2 (default): it does not\n"
      "  --ribbon-fault UNIT FAULT\n"
      "                     a ribbon fault from power-on in unit l or r: cut, end, no-ribbon,\n"
      "                     supply-jammed, take-up-stalled (repeatable)\n"
"  --paper-fault FAULT\n"
      "                     a fault of the paper web from power-on: jammed (the paper stands, the main\n"
      "                     drive slips), rollenc-jammed, roll-stalled, detached (the roll lets go of the\n"
      "                     web) (repeatable)\n"
      "  --echo-mechanism   every change of a motor, fan, clutch, colour LED, axis or ribbon on the console\n"
      "  --engine-version N the printer's \"Engine Version\" 1-5 (1 the EM2 mechanism, others EM3), written\n"
      "                     into the main EEPROM before the boot as the factory would\n"
      "  --ambient C        the room's temperature in degrees Celsius (default 25)\n"
      "  --humidity PCT     the room's relative humidity in percent (default 50)\n"
      "  --hot-head UNIT    unit l's or r's head stays hot: it does not cool (repeatable)\n"
      "  --usb-port PORT    the port on the bus, eight hex digits (default: from the state directory)\n"
      "  --sheets DIR       each printed sheet as PNG files into DIR as it is printed (sheet-NNNN-L.png,\n"
      "                     sheet-NNNN-L-overcoat.png; -R for unit R)\n"
      "  --act MS:ACTION[,ACTION]\n"
      "                     operator actions at virtual time MS of this boot, e.g. 5000:open=front\n"
      "                     (repeatable; a restart carries the actions still to come, their times from\n"
      "                     its own power-on); --act list prints the actions\n"
      "  --panel=stdin      press the panel keys with lines typed on standard input (see README, \"Using\n"
      "                     the panel\"): menu, enter, feed, clear, inc (+), dec (-), chords such as\n"
      "                     inc+dec+feed, tap KEYS [MS], press KEYS, release [KEYS], hold MS KEYS, wait MS,\n"
      "                     wait-lcd TEXT [MS], end; a bad line is named on standard error and skipped\n"
      "  --panel-script FILE\n"
      "                     the same lines from FILE, played from power-on; the file is checked whole\n"
      "                     before the boot (exit code 2 naming a bad line); a wait-lcd whose text does\n"
      "                     not show ends the run with exit code 5\n"
      "SIGINT and SIGTERM end the run.\n",
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
    } else if (sim::PrintUnit unit{}; arg == "--ribbon" && i + 2 < argc && ParseUnit(argv[i + 1], &unit) &&
                                      sim::ParseRibbonLoad(argv[i + 2], &pOptions->ribbons[static_cast<uint32_t>(unit)])) {
      i += 2;
    } else if (sim::Media media{}; arg == "--media" && i + 1 < argc && sim::ParseMedia(argv[i + 1], &media)) {
      pOptions->media = media;
      ++i;
    } else if (sim::UnitRibbon unitRibbon{}; (arg.rfind("--ribbon-l=", 0) == 0 || arg.rfind("--ribbon-r=", 0) == 0) &&
                                              sim::ParseUnitRibbon(argv[i] + std::strlen("--ribbon-l="), &unitRibbon)) {
      pOptions->unitRibbons[arg[9] == 'l' ? 0 : 1] = unitRibbon;
    } else if (arg == "--ribbon-drive-mode" && i + 1 < argc &&
               (std::strcmp(argv[i + 1], "1") == 0 || std::strcmp(argv[i + 1], "2") == 0)) {
      pOptions->ribbonDriveMode = argv[++i][0] == '1' ? 1 : 2;
    } else if (sim::RibbonFault fault{}; arg == "--ribbon-fault" && i + 2 < argc && ParseUnit(argv[i + 1], &unit) &&
                                         sim::ParseRibbonFault(argv[i + 2], &fault)) {
      pOptions->ribbonFaults.emplace_back(unit, fault);
      i += 2;
    } else if (sim::WebFault webFault{}; arg == "--paper-fault" && i + 1 < argc &&
                                         sim::ParseWebFault(argv[i + 1], &webFault)) {
      pOptions->paperFaults.push_back(webFault);
      ++i;
    } else if (arg == "--paper-fault" && i + 1 < argc && std::strcmp(argv[i + 1], "detached") == 0) {
      pOptions->bRollDetached = true;
      ++i;
    } else if (arg == "--act" && i + 1 < argc && std::strcmp(argv[i + 1], "list") == 0) {
      pOptions->bListActions = true;
      ++i;
    } else if (arg == "--act" && i + 1 < argc) {
      sim::TimedActions acts;
      std::string error;
      if (!sim::ParseTimedActions(argv[++i], &acts, &error)) {
        std::fprintf(stderr, "printer-sim: --act %s: %s\n", argv[i], error.c_str());
        return false;
      }
      pOptions->acts.push_back(std::move(acts));
    } else if (arg == "--panel=stdin") {
      pOptions->bPanelStdin = true;
    } else if (arg == "--panel-script" && i + 1 < argc) {
      pOptions->panelScriptPath = argv[++i];
    } else if (arg == "--echo-mechanism") {
      pOptions->bEchoMechanism = true;
    } else if (arg == "--engine-version" && i + 1 < argc && ParseNumber(argv[i + 1], &number) && number >= 1 &&
               number <= 5 && number == static_cast<double>(static_cast<uint32_t>(number))) {
      pOptions->engineVersion = static_cast<uint32_t>(number);
      ++i;
    } else if (arg == "--ambient" && i + 1 < argc && ParseNumber(argv[i + 1], &number)) {
      pOptions->climate.ambientC = number;
      ++i;
    } else if (arg == "--humidity" && i + 1 < argc && ParseNumber(argv[i + 1], &number) && number >= 0 &&
               number <= 100) {
      pOptions->climate.humidityPct = number;
      ++i;
    } else if (arg == "--hot-head" && i + 1 < argc && ParseUnit(argv[i + 1], &unit)) {
      pOptions->climate.stuckHot[static_cast<uint32_t>(unit)] = true;
      ++i;
    } else if (arg == "--sheets" && i + 1 < argc) {
      pOptions->sheetDir = argv[++i];
    } else if (arg == "--no-paper") {
      pOptions->bRollLoaded = false;
    } else if (sim::RollStart start{}; arg.rfind("--roll=", 0) == 0 &&
                                       sim::ParseRollStart(std::string(arg.substr(7)).c_str(), &start)) {
      pOptions->rollStart = start;
    } else if (arg.rfind("--roll-lines=", 0) == 0 && ParseNumber(arg.substr(13), &number) && number <= 1.0e6 &&
               number == static_cast<double>(static_cast<uint32_t>(number))) {
      pOptions->rollLines = static_cast<uint32_t>(number);
    } else if (arg == "--run-for-ms" && i + 1 < argc && ParseNumber(argv[i + 1], &number)) {
      pOptions->runFor = static_cast<sim::Nanos>(number * static_cast<double>(sim::kNsPerMs));
      ++i;
    } else {
      std::fprintf(stderr, "printer-sim: unknown or incomplete argument '%s'\n", argv[i]);
      return false;
    }
  }
  if (pOptions->bListActions) return true;
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

// The arguments of the restart: without the factory provisioning options
// and the roll put in at the first power-on (the state keeps the roll),
// and with the operator actions still to come at their times from the next
// power-on (`now` is this boot's time of the restart). A panel script was
// this boot's: the restart plays none.
std::vector<std::string> RestartArguments(int argc, char** argv, const std::vector<sim::TimedActions>& acts,
                                          sim::Nanos now) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    if ((std::strcmp(argv[i], "--engine-version") == 0 || std::strcmp(argv[i], "--act") == 0 ||
         std::strcmp(argv[i], "--panel-script") == 0) &&
        i + 1 < argc) {
      ++i;
      continue;
    }
    if (std::strncmp(argv[i], "--roll=", 7) == 0 || std::strncmp(argv[i], "--roll-lines=", 13) == 0) continue;
    args.emplace_back(argv[i]);
  }
  for (const sim::TimedActions& act : acts) {
    if (act.at < now) continue;
    std::string text = std::to_string((act.at - now) / sim::kNsPerMs) + ":";
    for (size_t k = 0; k < act.actions.size(); ++k) text += (k == 0 ? "" : ",") + act.actions[k];
    args.emplace_back("--act");
    args.push_back(std::move(text));
  }
  return args;
}

// Loads and checks the whole panel script before the boot.
bool LoadPanelScript(Options* pOptions) {
  if (pOptions->panelScriptPath.empty()) return true;
  std::ifstream in(pOptions->panelScriptPath, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "printer-sim: --panel-script %s: cannot be read\n", pOptions->panelScriptPath.c_str());
    return false;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  if (!sim::ParsePanelScript(text, &pOptions->panelScript, &error)) {
    std::fprintf(stderr, "printer-sim: --panel-script %s: %s\n", pOptions->panelScriptPath.c_str(), error.c_str());
    return false;
  }
  return true;
}

// Standard input's lines into the panel's inbox, each checked as it comes:
// a bad line is named on standard error and skipped. The thread ends at
// the end of the input; it only ever touches the inbox.
void StartPanelReader(std::shared_ptr<sim::PanelInbox> inbox) {
  std::thread([inbox] {
    std::string line;
    size_t lineNumber = 0;
    while (std::getline(std::cin, line)) {
      std::optional<sim::PanelCommand> command;
      std::string error;
      if (!sim::ParsePanelLine(line, ++lineNumber, &command, &error)) {
        std::fprintf(stderr, "printer-sim: panel: %s; the line is skipped\n", error.c_str());
        continue;
      }
      if (command) inbox->Post(std::move(*command));
    }
  }).detach();
}

// Runs the machine to its end or `runFor`, with each list of actions at
// its time; a run that ends first leaves the rest undone. A panel line
// "end" ends the run, and so does a panel wait that failed.
sim::RunResult RunWithActions(sim::Machine& machine, const Options& options, const sim::PanelPlayer* pPanel) {
  std::vector<const sim::TimedActions*> pending;
  for (const sim::TimedActions& act : options.acts) pending.push_back(&act);
  std::stable_sort(pending.begin(), pending.end(),
                   [](const sim::TimedActions* a, const sim::TimedActions* b) { return a->at < b->at; });
  const auto panelDone = [pPanel] { return pPanel != nullptr && (pPanel->Ended() || !pPanel->Failure().empty()); };
  const sim::Nanos end = options.runFor != 0 ? options.runFor : ~sim::Nanos{0} / 2;
  for (const sim::TimedActions* pAct : pending) {
    if (pAct->at >= end) break;
    if (pAct->at > machine.Now()) {
      const sim::RunResult result = machine.RunUntil(panelDone, pAct->at - machine.Now());
      if (result != sim::RunResult::TimeLimit) return result;
    }
    for (const std::string& action : pAct->actions) {
      machine.GetBoard().ConsoleLine("[act] " + std::to_string(machine.Now() / sim::kNsPerMs) + " ms " + action);
      std::string error;
      if (!machine.Act(action, &error)) machine.GetBoard().ConsoleLine("[act] " + error);
    }
  }
  if (machine.Now() >= end) return sim::RunResult::TimeLimit;
  return machine.RunUntil(panelDone, end - machine.Now());
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, &options)) {
    Usage();
    return sim::kExitUsage;
  }
  if (options.bListActions) {
    std::fputs("operator actions (--act MS:ACTION[,ACTION], ACTION as NAME or NAME=ARG):\n", stdout);
    std::fputs(sim::OperatorActionList().c_str(), stdout);
    return sim::kExitEnded;
  }
  if (!LoadPanelScript(&options)) return sim::kExitUsage;
  MarkInheritedCloseOnExec();

  sim::MachineOptions machineOptions;
  machineOptions.stateDir = options.stateDir;
  machineOptions.engineVersion = options.engineVersion;
  machineOptions.bPaced = options.bPaced;
  machineOptions.pacedFactor = options.pacedFactor;
  machineOptions.openCovers = options.openCovers;
  machineOptions.bRollLoaded = options.bRollLoaded;
  machineOptions.rollStart = options.rollStart;
  machineOptions.rollLines = options.rollLines;
  machineOptions.ribbonPanels = options.ribbonPanels;
  machineOptions.bEchoMechanism = options.bEchoMechanism;
  machineOptions.ribbons = options.ribbons;
  machineOptions.media = options.media;
  machineOptions.unitRibbons = options.unitRibbons;
  machineOptions.ribbonDriveMode = options.ribbonDriveMode;
  machineOptions.climate = options.climate;
  machineOptions.sheetDir = options.sheetDir;
  machineOptions.bEchoConsole = true;
  sim::RunResult result = sim::RunResult::Fault;
  sim::Nanos endedAt = 0;
  bool panelFailed = false;
  {
    sim::Machine machine(machineOptions);
    for (const auto& [unit, fault] : options.ribbonFaults) machine.MechanismFaults().SetRibbonFault(unit, fault, true);
    for (const sim::WebFault fault : options.paperFaults) machine.MechanismFaults().SetPaperFault(fault, true);
    if (options.bRollDetached) machine.MechanismFaults().DetachPaperRoll();
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

    const sim::PanelPlayer* pPanel = nullptr;
    if (options.bPanelStdin || !options.panelScript.empty()) {
      sim::PanelPlayer& panel = machine.Panel();
      panel.Play(std::move(options.panelScript));
      if (options.bPanelStdin) {
        auto inbox = std::make_shared<sim::PanelInbox>();
        panel.OpenInbox(inbox);
        StartPanelReader(std::move(inbox));
      }
      pPanel = &panel;
    }
    result = RunWithActions(machine, options, pPanel);
    if (pPanel != nullptr && !pPanel->Failure().empty()) {
      std::fprintf(stderr, "printer-sim: panel: %s\n", pPanel->Failure().c_str());
      panelFailed = true;
    }
    endedAt = machine.Now();
    if (result == sim::RunResult::TimeLimit) {
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
        std::vector<std::string> restart = RestartArguments(argc, argv, options.acts, endedAt);
        std::vector<char*> restartArgs;
        for (std::string& arg : restart) restartArgs.push_back(arg.data());
        restartArgs.push_back(nullptr);
        execv("/proc/self/exe", restartArgs.data());
        std::fprintf(stderr, "printer-sim: cannot restart: %s\n", std::strerror(errno));
        return sim::kExitFault;
      }
      return sim::kExitWatchdogRestart;
    case sim::RunResult::Fault:
      return sim::kExitFault;
    case sim::RunResult::ConditionMet:
      if (panelFailed) return sim::kExitPanelScript;
      break;
    case sim::RunResult::TimeLimit:
    case sim::RunResult::Ended:
      break;
  }
  return sim::kExitEnded;
}
