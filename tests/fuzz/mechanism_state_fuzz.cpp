// State-directory bytes into the virtual board's reader of the mechanism
// state (sim/mechanism/mechanism_state.h), which a printer-sim boot reads
// from a file anyone may have changed. Each input is read twice: as it is,
// and with its checksum made good, so that the reader's checks of every
// field are reached. What the reader takes is a state of finite values in
// range, and writing it again gives the very bytes it was read from.
#include <cmath>
#include <vector>

#include "sim/mechanism/mechanism_state.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

bool InRange(double v) { return std::isfinite(v) && std::fabs(v) <= 1.0e7; }

void Check(const std::vector<uint8_t>& bytes) {
  sim::MechanismState state;
  std::string error;
  if (!sim::DecodeMechanismState(bytes.data(), bytes.size(), &state, &error)) {
    fuzz::Require(!error.empty(), "a refused state says why");
    return;
  }
  const sim::PaperWeb::Placement& web = state.web;
  fuzz::Require(InRange(web.front) && InRange(web.tail) && InRange(web.slackMm) && InRange(web.onRollMm) &&
                    web.slackMm >= 0 && web.onRollMm >= 0,
                "the paper web's values are finite and in range");
  fuzz::Require(web.edgeDeg >= 0 && web.edgeDeg < 360.0, "the roll's front lies at an angle of one turn");
  for (const sim::MechanismState::Ribbon& r : state.ribbons) {
    fuzz::Require(static_cast<uint32_t>(r.type) < static_cast<uint32_t>(sim::RibbonType::Count),
                  "a ribbon type the board knows");
    fuzz::Require(InRange(r.supplyMm) && InRange(r.takeUpMm) && InRange(r.slackMm) && InRange(r.headLine) &&
                      r.supplyMm >= 0 && r.takeUpMm >= 0 && r.slackMm >= 0,
                  "a ribbon's values are finite and in range");
  }
  fuzz::Require(sim::EncodeMechanismState(state) == bytes, "a state taken is written back byte for byte");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  Check(bytes);
  if (bytes.size() >= 4) {
    const uint32_t h = sim::MechanismStateChecksum(bytes.data(), bytes.size() - 4);
    for (size_t i = 0; i < 4; ++i) bytes[bytes.size() - 4 + i] = static_cast<uint8_t>(h >> (8 * i));
    Check(bytes);
  }
  return 0;
}
