// sim::Machine: a whole virtual printer in this process, for system tests
// and for printer-sim. Inputs go in through MachineOptions; the machine then
// runs in virtual time (RunFor, RunUntil) and is observed through its log
// records, console and board.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/hal/kernel.h"
#include "sim/board.h"
#include "sim/clock.h"
#include "sim/dsp/dsp_core.h"
#include "sim/kernel.h"
#include "sim/media_option.h"
#include "sim/mechanism/head_thermal.h"
#include "sim/mechanism/paper_web.h"
#include "sim/mechanism/ribbon_colors.h"
#include "sim/mechanism/ribbon_transport.h"

namespace sim {

class InputFaults;
class MechanismInputs;
struct MechanismState;
class PanelKeys;
class PanelPlayer;
class PrintRecorder;
class StallDetector;
class UsbHostPort;

struct MachineOptions {
  // Kept across boots: flash, EEPROMs, the boot counter and the mechanism
  // (where its axes, carousel, paper and ribbons stood when the board
  // stopped, reset or lost power; a roll or ribbon the options load in
  // place of the one left there goes in new). Empty: the machine keeps
  // nothing.
  std::string stateDir;
  uint32_t pcbRevision = 0;
  // "Engine Version" 1-5 written into the main EEPROM before the boot, as
  // the factory would (a blank EEPROM gets a whole factory image first);
  // 0 leaves the EEPROM as it is.
  uint32_t engineVersion = 0;
  bool bUsbHighSpeed = true;
  // The mechanism at power-on (sim::MechanismInputs): open covers, one bit
  // per sim::Cover, and the paper roll.
  uint32_t openCovers = 0;
  bool bRollLoaded = true;
  // The ribbon panel under each unit's colour sensor (sim::DcMechanism).
  std::array<Panel, 2> ribbonPanels{Panel::Yellow, Panel::Yellow};
  // The ribbon roll in each unit (L, R): type, supply and take-up lengths,
  // slack (sim::RibbonLoad; by default a new colour 8x10 roll of kind 1,
  // kDefaultRibbon), and the ribbon drive mode, 1 or 2
  // (sim::RibbonTransport), of both units unless a load names its own. Their fault switches:
  // MechanismFaults().SetRibbonFault.
  static constexpr RibbonLoad kDefaultRibbon{RibbonType::Color8x10K1};
  std::array<RibbonLoad, 2> ribbons{kDefaultRibbon, kDefaultRibbon};
  // The media (sim/media_option.h): colour ribbons of one size in both
  // units in place of the ribbons' types, or no ribbon in either (their
  // NoRibbon fault from power-on). Unset: the ribbons as given.
  std::optional<Media> media;
  // Each unit's ribbon in place of the media's (L, R; unset: the media's).
  std::array<std::optional<UnitRibbon>, 2> unitRibbons;
  uint32_t ribbonDriveMode = kDefaultRibbonDriveMode;
  // The paper roll's diameter at power-on, mm. The paper web's fault
  // switches: MechanismFaults().SetPaperFault and DetachPaperRoll.
  double paperRollDiameterMm = 150.0;
  // The roll at power-on (sim/mechanism/paper_web.h): threaded to
  // "Position" on path L, new (its front lying on it, nothing in the path;
  // put in in place of the roll the state directory kept) or none (as
  // bRollLoaded false); and its paper in lines in place of the diameter
  // (0: by the diameter).
  RollStart rollStart = RollStart::Threaded;
  uint32_t rollLines = 0;
  // The room's temperature and humidity, and heads that stay hot
  // (sim::HeadThermal).
  HeadClimate climate{};
  // The printed sheets as PNG files in this folder as they are printed
  // (sim/mechanism/printed_sheets.h); empty: none.
  std::string sheetDir;
  // How the DSP program takes the link's handshake (sim::DspCore::SetLink).
  DspCore::Link dspLink = DspCore::Link::Accepts;
  // Every entry of the DC mechanism's trace on the console as well.
  bool bEchoMechanism = false;
  bool bPaced = false;
  double pacedFactor = 1.0;
  bool bEchoConsole = false;
  // Replaces the application start-up and main loop (AppTaskMain), for a
  // test of one layer.
  std::function<void()> appEntry;
  // Keep the trace of task dispatches (Kernel::Dispatches).
  bool bTraceDispatches = false;
  // The kernel configuration; the firmware's when null.
  const KernelConfiguration* kernel = nullptr;
  // When the kernel has ended (the main loop stopped on a system reset or an
  // application exit; the firmware cannot tell the two apart), the board's
  // watchdog restarts it: the run reports RunResult::Reset. A test of the
  // kernel's own end asks for RunResult::Ended instead.
  bool bStopAtKernelEnd = false;
};

enum class RunResult {
  ConditionMet,
  TimeLimit,  // the run's virtual-time limit passed
  Ended,      // the kernel shut down (MachineOptions::bStopAtKernelEnd only)
  Reset,      // the board restarts: its watchdog after the kernel ended, or a power cut
  Fault,      // the board stopped on a fault
};
const char* ToString(RunResult result);

class Machine {
 public:
  explicit Machine(MachineOptions options = {});
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // Runs for `duration` of virtual time (or until the board stops).
  RunResult RunFor(Nanos duration);
  // Runs until `condition` holds, checked at each log record and each
  // system tick, or until `limit` of virtual time has passed.
  RunResult RunUntil(const std::function<bool()>& condition, Nanos limit);

  Board& GetBoard() { return *m_board; }
  Nanos Now() const { return m_board->Clock().Now(); }
  uint32_t BootNumber() const { return m_bootNumber; }

  const std::string& Console() const { return m_board->Console(); }
  const std::vector<LogRecord>& Log() const { return m_board->GetKernel().History(); }
  // Index of the first log record whose text is exactly `text`, or npos.
  size_t FindLog(std::string_view text, size_t from = 0) const;
  bool Logged(std::string_view text) const { return FindLog(text) != npos; }
  static constexpr size_t npos = static_cast<size_t>(-1);

  // The in-process host port of the USB cable (sim/usb/usb_host_port.h):
  // its blocking calls run this machine until their transfer has ended.
  UsbHostPort& UsbHost();

  // The mechanism's fault switches (sim/mechanism/input_faults.h): switch
  // inputs stuck or chattering, axes stuck, slow or blocked, the ribbons'
  // faults, the paper web's. Set before the first run, they hold from power-on.
  InputFaults& MechanismFaults();

  // The covers, the exit tray, the photo sensors and thermistors
  // (sim/mechanism/mechanism_inputs.h), and the panel keys.
  MechanismInputs& Inputs();
  PanelKeys& Keys();

  // Operator actions (sim/operator_actions.h), now: "ACTION[,ACTION]", e.g.
  // "open=front" or "ribbon-out=l,close=upper-l". False with a message
  // naming the accepted actions when one is not; the actions before it ran.
  bool Act(std::string_view actions, std::string* pError = nullptr);

  // The panel player (sim/panel/panel_player.h): lines of the panel
  // language played on the keys at virtual time, as printer-sim's
  // --panel-script and --panel=stdin play them.
  PanelPlayer& Panel();
  // Checks a whole script and hands it to the player (false with the
  // message of its first bad line, and nothing played); RunPanelScript
  // then runs the machine until the player is idle, has played "end" or
  // failed, or `limit` passed: true when it played to its end.
  bool PlayPanelScript(std::string_view script, std::string* pError = nullptr);
  bool RunPanelScript(std::string_view script, Nanos limit, std::string* pError = nullptr);

  // The record of the printed lines (sim/mechanism/print_recorder.h): per
  // unit and plane, every line the head drive strobed.
  PrintRecorder& PrintRecord();

  // Test steps run in the application task, where the firmware's main loop
  // stands between two passes (raise or clear an error index, post an event,
  // change a setting). AtNextPass queues a step; RunStep queues it and runs
  // the machine until it has run (false when `limit` passed first).
  void AtNextPass(std::function<void()> step);
  bool RunStep(std::function<void()> step, Nanos limit);

  // Data aborts the test provokes on purpose; any other is a fault.
  void ExpectDataAborts(size_t count) { m_expectedAborts = count; }
  // Board faults, and data aborts beyond those expected.
  std::vector<std::string> UnexpectedFaults() const;

 private:
  RunResult Run(Nanos until);

  // The mechanism as the last boot left it, read from the state directory
  // (before the board is built: the ribbons), and placed on the board.
  void LoadMechanismState();
  void PlaceMechanismState(bool bKeepRoll);
  void SaveMechanismState();

  std::string m_stateDir;
  std::unique_ptr<MechanismState> m_pLoadedMechanism;
  std::string m_mechanismNote;  // why the stored mechanism was not taken
  std::unique_ptr<Board> m_board;
  std::unique_ptr<StallDetector> m_stall;
  std::unique_ptr<UsbHostPort> m_usbHost;
  std::unique_ptr<PanelPlayer> m_panel;
  uint32_t m_bootNumber = 1;
  size_t m_expectedAborts = 0;
  bool m_bStopAtKernelEnd = false;
};

}  // namespace sim
