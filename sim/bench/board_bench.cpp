// board-bench: how fast the virtual board runs on this host.
//   idle     an idle printer after its boot, virtual time / wall time
//   stepper  the main stepper at its fastest constant rate, virtual / wall
//   switch   host nanoseconds per switch point (a task spinning on CpuRelax)
//   same     the same boot and stepper move twice give the same run: the
//            same device accesses at the same virtual times, and the same
//            log
// With --compare BUILD_DIR it runs that tree's board-bench as well and
// prints both trees' figures side by side. Figures are printed, never
// checked: the machine this runs on may be shared and loaded.
// With --only idle|stepper [VIRTUAL_MS] it takes that one figure in this
// process over a run of its own length, for a profiler: the measured run
// after the boot is the function MeasuredRun, e.g. valgrind --tool=callgrind
// --collect-atstart=no --toggle-collect='*MeasuredRun*'.
#include <unistd.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "firmware/devices/stepper.h"
#include "firmware/hal/hw.h"
#include "sim/clock.h"
#include "sim/cpu.h"
#include "sim/machine.h"
#include "sim/panel/panel.h"
#include "sim/run_boots.h"
#include "tests/support/sample_printer.h"

namespace {

using sim::Nanos;

constexpr Nanos Ms(uint64_t ms) { return ms * sim::kNsPerMs; }
Nanos g_idleRun = Ms(60000);
Nanos g_stepperRun = Ms(10000);
// A new printer formats its blank EEPROMs at its first start.
constexpr Nanos kReadyLimit = Ms(10000);
constexpr Nanos kSameRun = Ms(10000);
constexpr uint32_t kSpinTurns = 2000000;
// The fastest constant rate of the main stepper, in pulses per second.
constexpr uint32_t kFastestRate = 8600;

// Each figure is measured in its own forked process (the firmware's globals
// start zeroed only once per process) and written back through this pipe.
int g_results = 1;

void Report(const char* name, double value) {
  char line[96];
  const int n = std::snprintf(line, sizeof line, "%s %.17g\n", name, value);
  if (n > 0 && write(g_results, line, static_cast<size_t>(n)) != n) std::_Exit(3);
}

double Ratio(Nanos virtualNs, Nanos wallNs) {
  return wallNs == 0 ? 0.0 : static_cast<double>(virtualNs) / static_cast<double>(wallNs);
}

// The sample printer out of the box: a state directory of its own with the
// factory's flash and EEPROMs (serial number, engine version), so it starts
// up to "Ready" without an error; removed when the figure is taken.
class NewPrinter {
 public:
  NewPrinter() {
    char pattern[] = "/tmp/board-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    m_dir = pattern;
    std::string error;
    if (!testsupport::ProvisionSamplePrinter(m_dir, testsupport::SamplePrinter{}, &error)) {
      std::fprintf(stderr, "board-bench: %s\n", error.c_str());
    }
  }
  ~NewPrinter() {
    std::error_code ignored;
    if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ignored);
  }
  NewPrinter(const NewPrinter&) = delete;
  NewPrinter& operator=(const NewPrinter&) = delete;
  sim::MachineOptions Options() const {
    sim::MachineOptions options;
    options.stateDir = m_dir;
    return options;
  }

 private:
  std::string m_dir;
};

// The run a figure measures, in a function of its own that a profiler can
// collect alone (the boot before it is not measured).
[[gnu::noinline]] Nanos MeasuredRun(sim::Machine& machine, Nanos run) {
  const Nanos wall = sim::WallNowNs();
  machine.RunFor(run);
  return sim::WallNowNs() - wall;
}

// The LCD line of a ready printer with the board's default media (colour
// 8x10 ribbons in both units).
constexpr const char* kReadyLine = "8x10 YMC-YMC    ";

bool RunUntilReady(sim::Machine& machine) {
  sim::LcdController& lcd = *machine.GetBoard().FindDevice<sim::LcdController>();
  machine.RunUntil([&] { return lcd.Visible() == kReadyLine; }, kReadyLimit);
  if (lcd.Visible() == kReadyLine) return true;
  std::fprintf(stderr, "board-bench: not ready after %llu ms: \"%s\"\n",
               static_cast<unsigned long long>(machine.Now() / sim::kNsPerMs), lcd.Visible().c_str());
  return false;
}

int IdleFigure() {
  const NewPrinter printer;
  sim::Machine machine(printer.Options());
  if (!RunUntilReady(machine)) return 1;
  const uint64_t switchPoints = machine.GetBoard().GetCpu().SwitchPoints();
  Report("idle_ratio", Ratio(g_idleRun, MeasuredRun(machine, g_idleRun)));
  // How much the idle firmware does: switch points per millisecond of
  // virtual time (each costs host time; a spin's turns are few).
  Report("idle_switch_per_ms",
         static_cast<double>(machine.GetBoard().GetCpu().SwitchPoints() - switchPoints) / (g_idleRun / sim::kNsPerMs));
  return 0;
}

int StepperFigure() {
  const NewPrinter printer;
  sim::Machine machine(printer.Options());
  if (!RunUntilReady(machine)) return 1;
  int32_t lResult = -1;
  if (!machine.RunStep([&] { lResult = g_StpmtrMain.RunConstant(kFastestRate, 0, 2, 0); }, Ms(1000)) ||
      lResult != 0) {
    return 2;
  }
  Report("stepper_ratio", Ratio(g_stepperRun, MeasuredRun(machine, g_stepperRun)));
  return 0;
}

// Measured inside the application task, between two of its own switch
// points, so only the spin's turns are timed.
Nanos g_spinWall = 0;
bool g_bSpun = false;

int SwitchFigure() {
  sim::MachineOptions options;
  options.appEntry = [] {
    const Nanos wall = sim::WallNowNs();
    for (uint32_t i = 0; i < kSpinTurns; ++i) CpuRelax();
    g_spinWall = sim::WallNowNs() - wall;
    g_bSpun = true;
    for (;;) CpuRelax();
  };
  sim::Machine machine(std::move(options));
  machine.RunUntil([] { return g_bSpun; }, Ms(3600 * 1000));
  if (!g_bSpun) return 1;
  Report("switch_ns", static_cast<double>(g_spinWall) / kSpinTurns);
  return 0;
}

// FNV-1a: the fingerprint of a run.
class Fingerprint {
 public:
  void Mix(const void* p, size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i) m_h = (m_h ^ b[i]) * 1099511628211ull;
  }
  template <class T>
  void MixValue(const T& value) {
    Mix(&value, sizeof value);
  }
  uint64_t Value() const { return m_h; }

 private:
  uint64_t m_h = 14695981039346656037ull;
};

// Every device access of the run (time, address, width, value, direction)
// is mixed in as the bus trace records it, slice by slice, so the
// fingerprint changes with any change of the run's virtual timing; then
// every log record's time, priority and text, and the console. The run is
// the boot, then a second of the main stepper at its fastest rate (its
// pulse interrupts).
constexpr Nanos kTraceSlice = Ms(100);
constexpr Nanos kSameStepperRun = Ms(1000);

void MixTrace(sim::BusTrace& trace, Fingerprint& fp) {
  for (const sim::BusAccess& a : trace.Accesses()) {
    fp.MixValue(a.at);
    fp.MixValue(a.addr);
    fp.MixValue(a.width);
    fp.MixValue(a.value);
    fp.MixValue(a.bWrite);
  }
  trace.Clear();
}

int SameBootFigure(int index) {
  const NewPrinter printer;
  sim::Machine machine(printer.Options());
  sim::BusTrace& trace = machine.GetBoard().GetBus().Trace();
  trace.Start();
  Fingerprint fp;
  for (Nanos run = 0; run < kSameRun; run += kTraceSlice) {
    machine.RunFor(kTraceSlice);
    MixTrace(trace, fp);
  }
  int32_t lResult = -1;
  if (!machine.RunStep([&] { lResult = g_StpmtrMain.RunConstant(kFastestRate, 0, 2, 0); }, Ms(1000))) return 2;
  fp.MixValue(lResult);
  for (Nanos run = 0; run < kSameStepperRun; run += kTraceSlice) {
    machine.RunFor(kTraceSlice);
    MixTrace(trace, fp);
  }
  for (const sim::LogRecord& r : machine.Log()) {
    fp.MixValue(r.at);
    fp.MixValue(r.prio);
    fp.Mix(r.text.data(), r.text.size());
  }
  fp.Mix(machine.Console().data(), machine.Console().size());
  char name[32];
  std::snprintf(name, sizeof name, "log_hash_%d", index);
  // 48 bits of the fingerprint: exact in a double.
  Report(name, static_cast<double>(fp.Value() >> 16));
  return 0;
}

using Figures = std::map<std::string, double>;

Figures Parse(FILE* in) {
  Figures out;
  char name[64];
  double value = 0;
  while (std::fscanf(in, "%63s %lf", name, &value) == 2) out[name] = value;
  return out;
}

Figures MeasureHere() {
  int fds[2];
  if (pipe(fds) != 0) {
    std::perror("board-bench: pipe");
    std::exit(1);
  }
  g_results = fds[1];
  const auto codes = sim::RunBoots(5, [](int index) {
    switch (index) {
      case 0: return IdleFigure();
      case 1: return StepperFigure();
      case 2: return SwitchFigure();
      default: return SameBootFigure(index - 3);
    }
  });
  close(fds[1]);
  for (size_t i = 0; i < codes.size(); ++i) {
    if (codes[i] != 0) std::fprintf(stderr, "board-bench: run %zu ended with code %d\n", i, codes[i]);
  }
  FILE* in = fdopen(fds[0], "r");
  Figures figures = in != nullptr ? Parse(in) : Figures{};
  if (in != nullptr) std::fclose(in);
  if (figures.count("log_hash_0") && figures.count("log_hash_1")) {
    figures["same_log"] = figures["log_hash_0"] == figures["log_hash_1"] ? 1 : 0;
  }
  return figures;
}

Figures MeasureThere(const std::string& buildDir) {
  const std::string command = "'" + buildDir + "/sim/bench/board-bench' --figures";
  FILE* in = popen(command.c_str(), "r");
  if (in == nullptr) return {};
  Figures figures = Parse(in);
  pclose(in);
  return figures;
}

struct Row {
  const char* key;
  const char* label;
  const char* target;
};
constexpr Row kRows[] = {
    {"idle_ratio", "idle printer, virtual/wall", ">= 300"},
    {"idle_switch_per_ms", "idle printer, switch pts/ms", "-"},
    {"stepper_ratio", "stepper move, virtual/wall", ">= 100"},
    {"switch_ns", "switch point, host ns", "< 40"},
    {"same_log", "same boot twice, same run", "1 (yes)"},
    {"same_as_before", "boot run same as before", "1 (yes)"},
};

void PrintCell(const Figures& f, const char* key) {
  const auto it = f.find(key);
  if (it == f.end()) {
    std::printf(" %12s", "-");
  } else {
    std::printf(" %12.1f", it->second);
  }
}

void PrintTable(const Figures& now, const Figures* before) {
  std::printf("%-30s %12s", "figure", "this tree");
  if (before != nullptr) std::printf(" %12s", "before");
  std::printf(" %10s\n", "target");
  for (const Row& row : kRows) {
    std::printf("%-30s", row.label);
    PrintCell(now, row.key);
    if (before != nullptr) PrintCell(*before, row.key);
    std::printf(" %10s\n", row.target);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "--only") == 0) {
    const Nanos run = argc == 4 ? Ms(std::strtoull(argv[3], nullptr, 10)) : 0;
    if (std::strcmp(argv[2], "idle") == 0) {
      if (run != 0) g_idleRun = run;
      return IdleFigure();
    }
    if (std::strcmp(argv[2], "stepper") == 0) {
      if (run != 0) g_stepperRun = run;
      return StepperFigure();
    }
  }
  if (argc == 2 && std::strcmp(argv[1], "--figures") == 0) {
    for (const auto& [name, value] : MeasureHere()) std::printf("%s %.17g\n", name.c_str(), value);
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "--compare") == 0) {
    const Figures before = MeasureThere(argv[2]);
    Figures now = MeasureHere();
    // The same virtual-time run must make the same accesses and log the
    // same bytes in both trees.
    const auto mine = now.find("log_hash_0");
    const auto theirs = before.find("log_hash_0");
    if (mine != now.end() && theirs != before.end()) now["same_as_before"] = mine->second == theirs->second ? 1 : 0;
    PrintTable(now, &before);
    return 0;
  }
  if (argc != 1) {
    std::fprintf(stderr, "usage: board-bench [--figures | --compare BUILD_DIR | --only idle|stepper [VIRTUAL_MS]]\n");
    return 2;
  }
  PrintTable(MeasureHere(), nullptr);
  return 0;
}
