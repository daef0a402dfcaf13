#include "sim/machine.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <iterator>

#include "sim/board_devices.h"
#include "sim/media_option.h"
#include "sim/mechanism/input_faults.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/mechanism/mechanism_state.h"
#include "sim/mechanism/print_recorder.h"
#include "sim/mechanism/printed_sheets.h"
#include "sim/operator_actions.h"
#include "sim/panel/panel.h"
#include "sim/panel/panel_player.h"
#include "sim/panel/panel_script.h"
#include "sim/stall_detector.h"
#include "sim/state_dir.h"
#include "sim/usb/usb_host_port.h"
#include "sim/usb/usb_root_hub.h"

namespace sim {

namespace {
// The application entry of the one machine of this process.
std::function<void()> g_appEntry;
void RunAppEntry() { g_appEntry(); }
bool g_bFirmwareBooted = false;
// Steps for the application task between two main-loop passes.
std::deque<std::function<void()>> g_idleSteps;
// The steps queued before this pass; a step may queue one for the next.
void RunIdleSteps() {
  for (size_t n = g_idleSteps.size(); n > 0; --n) {
    std::function<void()> step = std::move(g_idleSteps.front());
    g_idleSteps.pop_front();
    step();
  }
}
}  // namespace

const char* ToString(RunResult result) {
  switch (result) {
    case RunResult::ConditionMet: return "condition met";
    case RunResult::TimeLimit: return "time limit";
    case RunResult::Ended: return "ended";
    case RunResult::Reset: return "restart";
    case RunResult::Fault: return "fault";
  }
  return "?";
}

Machine::Machine(MachineOptions options) {
  if (g_bFirmwareBooted) {
    std::fputs(
        "virtual board: one boot of the firmware per process (its globals start zeroed only once, as after "
        "reset); run each boot in its own process (ctest, --gtest_filter or sim::RunBoots)\n",
        stderr);
    std::abort();
  }
  g_bFirmwareBooted = true;
  if (!options.stateDir.empty()) {
    const StateDir state(options.stateDir);
    if (!state.Prepare()) {
      std::fprintf(stderr, "virtual board: cannot prepare state directory %s\n", options.stateDir.c_str());
    }
    if (options.engineVersion != 0 && !state.WriteEngineVersion(options.engineVersion)) {
      std::fprintf(stderr, "virtual board: cannot write the engine version into %s\n", options.stateDir.c_str());
    }
    m_bootNumber = state.CountBoot();
    m_stateDir = options.stateDir;
    LoadMechanismState();
  }
  m_bStopAtKernelEnd = options.bStopAtKernelEnd;
  BoardConfig config;
  config.kernel = options.kernel != nullptr ? options.kernel : &g_KernelConfiguration;
  config.bPaced = options.bPaced;
  config.pacedFactor = options.pacedFactor;
  config.bEchoConsole = options.bEchoConsole;
  config.bootNumber = m_bootNumber;
  if (options.appEntry) {
    g_appEntry = std::move(options.appEntry);
    config.appOverride = RunAppEntry;
  }
  config.idlePass = RunIdleSteps;
  m_board = std::make_unique<Board>(config);
  m_stall = std::make_unique<StallDetector>(*m_board);
  m_board->GetKernel().TraceDispatches(options.bTraceDispatches);
  if (options.media) ApplyMedia(*options.media, &options.ribbons);
  std::array<bool, 2> noRibbon{options.media == Media::None, options.media == Media::None};
  for (uint32_t u = 0; u < 2; ++u) {
    if (!options.unitRibbons[u]) continue;
    options.ribbons[u] = LoadOfUnitRibbon(*options.unitRibbons[u], options.ribbons[u]);
    noRibbon[u] = options.unitRibbons[u]->kind == UnitRibbon::Kind::None;
  }
  if (m_pLoadedMechanism) ApplyRibbonState(*m_pLoadedMechanism, &options.ribbons);
  InstallBoardDevices(*m_board, BoardInputs{options.stateDir, options.pcbRevision, options.engineVersion, options.bUsbHighSpeed, options.openCovers, options.bRollLoaded, options.ribbonPanels, options.bEchoMechanism, options.dspLink, options.ribbons, options.ribbonDriveMode, options.paperRollDiameterMm, options.climate, options.rollLines, options.rollStart});
  for (uint32_t u = 0; u < 2; ++u) {
    if (noRibbon[u]) MechanismFaults().SetRibbonFault(static_cast<PrintUnit>(u), RibbonFault::NoRibbon, true);
  }
  if (!options.sheetDir.empty()) InstallPrintedSheets(*m_board, options.sheetDir);
  // A roll the options leave as it was stays where the last boot left it.
  PlaceMechanismState(options.bRollLoaded && options.rollStart == RollStart::Threaded);
  InstallLoadedRibbonStandIn();
  m_board->ConsoleLine("[board] boot " + std::to_string(m_bootNumber));
  m_board->PowerOn();
}

Machine::~Machine() {
  SaveMechanismState();
  RemoveLoadedRibbonStandIn();
  m_usbHost.reset();
  m_panel.reset();
  m_stall.reset();
  g_appEntry = nullptr;
  g_idleSteps.clear();
}

void Machine::LoadMechanismState() {
  const std::string path = StateDir(m_stateDir).MechanismPath();
  std::ifstream in(path, std::ios::binary);
  if (!in) return;  // a new printer: the mechanism as it leaves the factory
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto pState = std::make_unique<MechanismState>();
  std::string error;
  if (!DecodeMechanismState(bytes.data(), bytes.size(), pState.get(), &error)) {
    m_mechanismNote = "mechanism state " + path + ": " + error + "; the mechanism starts as new";
    return;
  }
  m_pLoadedMechanism = std::move(pState);
}

void Machine::PlaceMechanismState(bool bKeepRoll) {
  std::string error;
  if (m_pLoadedMechanism && !PlaceMechanism(*m_board, *m_pLoadedMechanism, bKeepRoll, &error)) {
    m_mechanismNote = error + "; the mechanism starts as new";
  }
  m_pLoadedMechanism.reset();
  if (m_mechanismNote.empty()) return;
  std::fprintf(stderr, "virtual board: %s\n", m_mechanismNote.c_str());
  m_board->ConsoleLine("[board] " + m_mechanismNote);
}

void Machine::SaveMechanismState() {
  MechanismState state;
  if (m_stateDir.empty() || !m_board || !CaptureMechanismState(*m_board, &state)) return;
  const std::vector<uint8_t> bytes = EncodeMechanismState(state);
  const std::string path = StateDir(m_stateDir).MechanismPath();
  if (!WriteFileAtomically(path, std::string(bytes.begin(), bytes.end()))) {
    std::fprintf(stderr, "virtual board: cannot write %s\n", path.c_str());
  }
}

void Machine::AtNextPass(std::function<void()> step) { g_idleSteps.push_back(std::move(step)); }

bool Machine::RunStep(std::function<void()> step, Nanos limit) {
  // Shared with the step, which may still run after a limit passed.
  auto pDone = std::make_shared<bool>(false);
  AtNextPass([pDone, step = std::move(step)] {
    step();
    *pDone = true;
  });
  RunUntil([&pDone] { return *pDone; }, limit);
  return *pDone;
}


RunResult Machine::Run(Nanos until) {
  m_stall->SetRunning(true);
  const RunState state = m_board->Run(until);
  m_stall->SetRunning(false);
  switch (state) {
    case RunState::Ended:
      if (m_bStopAtKernelEnd) return RunResult::Ended;
      m_board->ConsoleLine("[board] kernel ended at " + std::to_string(Now() / kNsPerMs) + " ms: watchdog restart");
      return RunResult::Reset;
    case RunState::Reset: return RunResult::Reset;
    case RunState::Fault: return RunResult::Fault;
    case RunState::Paused: break;
  }
  return RunResult::TimeLimit;
}

RunResult Machine::RunFor(Nanos duration) { return Run(Now() + duration); }

RunResult Machine::RunUntil(const std::function<bool()>& condition, Nanos limit) {
  if (condition()) return RunResult::ConditionMet;
  m_board->SetStopCondition(condition);
  const Nanos until = Now() + limit;
  RunResult result = RunResult::TimeLimit;
  for (;;) {
    result = Run(until);
    if (result != RunResult::TimeLimit) break;
    if (condition()) {
      result = RunResult::ConditionMet;
      break;
    }
    if (Now() >= until || m_board->StopRequested()) break;
  }
  m_board->SetStopCondition(nullptr);
  return result;
}

InputFaults& Machine::MechanismFaults() {
  InputFaults* pFaults = m_board->FindDevice<InputFaults>();
  if (pFaults == nullptr) {
    std::fputs("virtual board: no mechanism on this board\n", stderr);
    std::abort();
  }
  return *pFaults;
}

namespace {
template <typename T>
T& RequireDevice(Board& board, const char* pszWhat) {
  T* pDevice = board.FindDevice<T>();
  if (pDevice == nullptr) {
    std::fprintf(stderr, "virtual board: no %s on this board\n", pszWhat);
    std::abort();
  }
  return *pDevice;
}
}  // namespace

MechanismInputs& Machine::Inputs() { return RequireDevice<MechanismInputs>(*m_board, "mechanism inputs"); }
PanelKeys& Machine::Keys() { return RequireDevice<PanelKeys>(*m_board, "panel keys"); }

bool Machine::Act(std::string_view actions, std::string* pError) {
  for (;;) {
    const size_t comma = actions.find(',');
    if (!RunOperatorAction(*this, actions.substr(0, comma), pError)) return false;
    if (comma == std::string_view::npos) return true;
    actions = actions.substr(comma + 1);
  }
}

PrintRecorder& Machine::PrintRecord() {
  PrintRecorder* pRecord = m_board->FindDevice<PrintRecorder>();
  if (pRecord == nullptr) {
    std::fputs("virtual board: no head drive on this board\n", stderr);
    std::abort();
  }
  return *pRecord;
}

UsbHostPort& Machine::UsbHost() {
  if (!m_usbHost) {
    UsbRootHub* hub = m_board->FindDevice<UsbRootHub>();
    if (hub == nullptr) {
      std::fputs("virtual board: no USB root hub on this board\n", stderr);
      std::abort();
    }
    m_usbHost = std::make_unique<UsbHostPort>(
        *m_board, *hub, [this](const std::function<bool()>& done, Nanos limit) { RunUntil(done, limit); });
  }
  return *m_usbHost;
}

PanelPlayer& Machine::Panel() {
  if (!m_panel) {
    m_panel = std::make_unique<PanelPlayer>(*m_board, Keys(),
                                            RequireDevice<LcdController>(*m_board, "panel LCD"));
  }
  return *m_panel;
}

bool Machine::PlayPanelScript(std::string_view script, std::string* pError) {
  std::vector<PanelCommand> commands;
  if (!ParsePanelScript(script, &commands, pError)) return false;
  Panel().Play(std::move(commands));
  return true;
}

bool Machine::RunPanelScript(std::string_view script, Nanos limit, std::string* pError) {
  if (!PlayPanelScript(script, pError)) return false;
  PanelPlayer& panel = Panel();
  RunUntil([&panel] { return panel.Idle() || panel.Ended() || !panel.Failure().empty(); }, limit);
  if (!panel.Failure().empty()) {
    if (pError != nullptr) *pError = panel.Failure();
    return false;
  }
  if (!panel.Idle() && !panel.Ended()) {
    if (pError != nullptr) *pError = "the panel script did not end within its limit";
    return false;
  }
  return true;
}

size_t Machine::FindLog(std::string_view text, size_t from) const {
  const auto& log = Log();
  for (size_t i = from; i < log.size(); ++i) {
    if (log[i].text == text) return i;
  }
  return npos;
}

std::vector<std::string> Machine::UnexpectedFaults() const {
  std::vector<std::string> faults = m_board->Faults();
  const auto& aborts = m_board->DataAborts();
  for (size_t i = m_expectedAborts; i < aborts.size(); ++i) {
    char text[96];
    std::snprintf(text, sizeof text, "unexpected data abort at 0x%08X in %s", aborts[i].addr, aborts[i].task.c_str());
    faults.emplace_back(text);
  }
  if (aborts.size() < m_expectedAborts) faults.emplace_back("fewer data aborts than expected");
  return faults;
}

}  // namespace sim
