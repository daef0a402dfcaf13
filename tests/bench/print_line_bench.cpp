// print-line-bench: one plane of size id 6 (3624 lines + 24 extra lines)
// printed on the sample printer, and what the line interrupt cost per line:
//   irq_us        virtual time in the GPIO bank-0 handler (line, paper-step
//                 and stepper pins), its own work and its wait for the DSP
//                 apart (own_us, dsp_wait_us)
//   own_share     the own work as a share of the TABLE's line period
//   fpga, heads, dsp_words   device accesses (FPGA main block, head-drive
//                 bank 1) and writes to the DSP's window, per line, in every
//                 context while the plane prints
//   host_ns       host nanoseconds per simulated line
// Expected at the stand-in's default DSP latency: the own work a small
// share, well under 5 % of the line period; the wait for the DSP larger
// (it spans the stand-in's poll and work). Nothing is asserted: the machine
// this runs on may be shared and loaded.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <cstdio>
#include <string>

#include "firmware/devices/machine_ports.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/stepper.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/dsp_boot.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/head_drive.h"
#include "firmware/platform/ioctl.h"
#include "firmware/printengine/dsp_link.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/plane_lead_in.h"
#include "firmware/printengine/plane_sequencer.h"
#include "firmware/printengine/print_line.h"
#include "firmware/printengine/table_store.h"
#include "firmware/printengine/thv_control.h"
#include "sim/bus.h"
#include "sim/cpu.h"
#include "sim/machine.h"
#include "tests/support/sample_printer.h"

namespace {

using sim::Nanos;
constexpr Nanos Ms(uint64_t ms) { return ms * sim::kNsPerMs; }
constexpr uint32_t kGpioBank0Event = 0x2A;
constexpr PhysAddr kDspWindowFirst = 0x80013000u;
constexpr PhysAddr kDspWindowLast = 0x80013FFFu;

struct PlaneFigures {
  bool bDone = false;
  uint32_t ulLines = 0;
  uint32_t ulPeriodUs = 0;
  Nanos start = 0;
  Nanos end = 0;
};
PlaneFigures g_plane;

// The application: the start-up's share that a plane needs, an internal
// job of size id 6 on unit L, and plane Y as the colour-pass sequence
// prints it. "[bench] done" at the end.
void BenchApp() {
  InitTableData();
  LoadDspInternalImage(DSP_IMAGE_FLASH);
  DspBootHandshake(1);
  g_FpgaMain.ReadHeadInfo();
  SelectUnit(0);
  g_HeadDrive.Init();
  g_ThvYL.Init();
  for (uint32_t ulPin = 1; ulPin <= 6; ++ulPin) IoctlSetGpioFallTrig(ulPin);
  g_PortMotorEnable.Set();
  PrintJobRecord* pJob = jobtest::MakeInternalJob(1, 1, &g_PrintSize8x12);
  if (pJob != nullptr) {
    g_PrintJobQueue.BuildPrintOrder(pJob, SIDE_B, UNIT_L, UNIT_L);
    ImageSlot* pSlot = nullptr;
    g_PrintJobQueue.GetOrderedSlot(pJob, &pSlot, 3);
    if (pSlot != nullptr) pSlot->usInternal = 0;
  }
  if (g_PlaneSequencer.StartPlane(0, 0) == 0 && g_PlaneSequencer.PlanPlane(PLANE_Y) == 0) {
    g_plane.ulLines = g_PrintLine.Plane().usLineCount;
    g_plane.ulPeriodUs = g_PrintLine.LinePeriodUs();
    const uint32_t ulRate =
        1000u * static_cast<uint32_t>(SettingValue(g_ParamStpLx1000)) / (g_plane.ulPeriodUs == 0 ? 1 : g_plane.ulPeriodUs);
    syslog(LOG_EMERG, "[bench] planned");
    g_StpmtrMain.RunConstant(ulRate, 0, 2, 0);
    uint32_t ulState = 0;
    for (uint32_t ulWaited = 0; ulWaited < 60000000u && ulState != PLANE_STATE_DONE; ulWaited += 200) {
      g_PlaneSequencer.GetState(&ulState);
      CpuRelaxUs(200);
    }
    g_plane.bDone = ulState == PLANE_STATE_DONE;
    g_StpmtrMain.Halt();
    g_PrintLine.EndPlane();
  }
  syslog(LOG_EMERG, "[bench] done");
  for (;;) dly_tsk(1000);
}

void BM_PrintPlaneSize6(benchmark::State& state) {
  for (auto _ : state) {
    sim::MachineOptions options;
    char acDir[] = "/tmp/print-line-bench.XXXXXX";
    if (mkdtemp(acDir) == nullptr) {
      state.SkipWithError("no state directory");
      return;
    }
    options.stateDir = acDir;
    struct RemoveDir {
      std::string dir;
      ~RemoveDir() { std::filesystem::remove_all(dir); }
    } removeDir{acDir};
    std::string error;
    if (!testsupport::ProvisionSamplePrinter(options.stateDir, {}, &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    options.appEntry = BenchApp;
    sim::Machine machine(std::move(options));
    machine.RunUntil([&] { return machine.Logged("[bench] planned") || machine.Logged("[bench] done"); }, Ms(60000));
    sim::Cpu& cpu = machine.GetBoard().GetCpu();
    sim::BusTrace& trace = machine.GetBoard().GetBus().Trace();
    cpu.ResetAccounting();
    trace.WatchRam(kDspWindowFirst, kDspWindowLast);
    trace.Start();
    const Nanos start = machine.Now();
    const auto wallStart = std::chrono::steady_clock::now();
    machine.RunUntil([&] { return machine.Logged("[bench] done"); }, Ms(120000));
    const auto wallEnd = std::chrono::steady_clock::now();
    trace.Stop();
    if (!g_plane.bDone || g_plane.ulLines == 0) {
      state.SkipWithError("the plane did not print");
      return;
    }
    const double lines = g_plane.ulLines;
    const sim::Cpu::InterruptFigures& f = cpu.Figures(kGpioBank0Event);
    const double irqUs = static_cast<double>(f.handlerNs) / 1000.0 / lines;
    const double waitUs = static_cast<double>(f.waitNs) / 1000.0 / lines;
    uint64_t ulFpga = 0, ulHeads = 0, ulDsp = 0;
    for (const sim::BusAccess& a : trace.Accesses()) {
      if (a.addr >= kDspWindowFirst && a.addr <= kDspWindowLast) {
        ++ulDsp;
      } else if ((a.addr >> 16) == 0x6400u) {
        ++ulFpga;
      } else if ((a.addr >> 16) == 0x6401u) {
        ++ulHeads;
      }
    }
    state.counters["lines"] = lines;
    state.counters["irq_us"] = irqUs;
    state.counters["own_us"] = irqUs - waitUs;
    state.counters["dsp_wait_us"] = waitUs;
    state.counters["own_share"] = (irqUs - waitUs) / g_plane.ulPeriodUs;
    state.counters["irq_share"] = irqUs / g_plane.ulPeriodUs;
    state.counters["fpga"] = static_cast<double>(ulFpga) / lines;
    state.counters["heads"] = static_cast<double>(ulHeads) / lines;
    state.counters["dsp_words"] = static_cast<double>(ulDsp) / lines;
    state.counters["host_ns"] =
        static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(wallEnd - wallStart).count()) / lines;
    state.counters["virtual_ms"] = static_cast<double>(machine.Now() - start) / 1e6;
    std::printf("expected: own_share well under 0.05 of the %u us line period\n", g_plane.ulPeriodUs);
  }
}

// One plane per process: the firmware's globals start zeroed once.
BENCHMARK(BM_PrintPlaneSize6)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
