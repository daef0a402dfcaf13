// Text-item bytes into the firmware's text overlay: a printer board (the
// real firmware, its application replaced by a loop that runs test steps)
// boots once per process. An input is a plane's width and length (as a
// host's print command may give them) and the twelve 28-byte items of an
// image slot, as the host's laminate strings leave them.
// Properties: the overlay writes nothing outside the plane (bytes before
// it, after it and the track-correction buffers keep their values), and
// inside it changes only bits 3 and 4 of a pixel.
#include <cstring>
#include <vector>

#include "firmware/hal/board.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/printengine/print_job_record.h"
#include "firmware/printengine/text_overlay.h"
#include "sim/machine.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

constexpr sim::Nanos kStepLimit = 600000 * sim::kNsPerMs;
constexpr PhysAddr kPlane = 0xC5A00000u;
constexpr uint32_t kWidthMax = 2560;
constexpr uint32_t kLengthMax = 1024;
constexpr uint32_t kGuard = 0x10000;
// After the plane: as far as a cell of a y near 65535 could reach.
constexpr uint32_t kAfter = 0x200000;

sim::Machine* g_machine = nullptr;

sim::Machine& Printer() {
  if (g_machine == nullptr) {
    sim::MachineOptions options;
    // Always ready: a task that sleeps would leave the kernel none to run.
    options.appEntry = [] {
      for (;;) {
        BoardIdlePass();
        CpuRelax();
      }
    };
    g_machine = new sim::Machine(std::move(options));  // lives as long as the process
  }
  return *g_machine;
}

std::vector<uint8_t> Pattern(size_t n, uint8_t ucSeed) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + ucSeed);
  return bytes;
}

uint8_t* Host(PhysAddr ulAddr, size_t n) { return static_cast<uint8_t*>(PhysToHost(ulAddr, static_cast<uint32_t>(n))); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Printer();
  fuzz::Input in(data, size);
  const uint32_t ulWidth = in.U16() % (kWidthMax + 1);
  const uint32_t ulLength = in.U16() % (kLengthMax + 1);
  ImageSlot slot{};
  slot.printParams.ulPrintWidth = ulWidth;
  slot.printParams.ulPrintLength = ulLength;
  slot.pParams = &slot.printParams;
  const std::vector<uint8_t> items = in.Bytes(sizeof slot.aucTextItems);
  std::memcpy(slot.aucTextItems, items.data(), items.size());

  const size_t plane = static_cast<size_t>(ulWidth) * ulLength;
  const PhysAddr ulFrom = kPlane - kGuard;
  const size_t span = kGuard + plane + kAfter;
  const std::vector<uint8_t> before = Pattern(span, static_cast<uint8_t>(size));
  const std::vector<uint8_t> track = Pattern(kGuard, 0x5A);
  std::memcpy(Host(ulFrom, span), before.data(), span);
  std::memcpy(Host(TRACK_LINE_BUFFER_BASE, kGuard), track.data(), kGuard);
  const bool bEnded = Printer().RunStep([&slot] { g_TextOverlay.DrawItems(&slot, kPlane); }, kStepLimit);
  fuzz::Require(bEnded, "a step ends");
  fuzz::Require(g_machine->UnexpectedFaults().empty(), "the board sees no fault");

  const uint8_t* after = Host(ulFrom, span);
  fuzz::Require(std::memcmp(after, before.data(), kGuard) == 0, "nothing before the plane changes");
  fuzz::Require(std::memcmp(after + kGuard + plane, before.data() + kGuard + plane, kAfter) == 0,
                "nothing after the plane changes");
  for (size_t i = kGuard; i < kGuard + plane; ++i) {
    if (((after[i] ^ before[i]) & ~0x18u) != 0) fuzz::Fail("only bits 3 and 4 of a pixel change");
  }
  fuzz::Require(std::memcmp(Host(TRACK_LINE_BUFFER_BASE, kGuard), track.data(), kGuard) == 0,
                "the track-correction buffers keep their bytes");
  return 0;
}
