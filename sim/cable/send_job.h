// One print job from the host's side, as bom7300-send-job sends it: a
// one-sided job of the printer's full media size (the colour picture of
// side A, no fill-in side), its image data, then what the printer says of
// it: the set-up's answer, the job's status from receiving to complete, its
// job status and the image buffers it holds. Built on protocol/ alone; the
// transfers come from the caller (the cable client in the tool, a scripted
// printer in its test).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim::cable {

struct JobLink {
  // One bulk OUT transfer; true when the printer took every byte.
  std::function<bool(const std::vector<uint8_t>&)> bulkOut;
  // One bulk IN transfer (a reply); false when none came.
  std::function<bool(std::vector<uint8_t>*)> bulkIn;
  // Lets the printer work between two status polls.
  std::function<void()> pause;
};

// Sends the job and prints each step through `print`. Returns 0, or 1 with
// the reason printed when the printer refused or did not answer.
int SendOneSidedJob(const JobLink& link, const std::function<void(const std::string&)>& print);

}  // namespace sim::cable
