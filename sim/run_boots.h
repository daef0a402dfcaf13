// Several boots of one virtual printer (power cuts, updates, restarts):
// each boot runs in a forked child with a fresh process image of the
// firmware's globals, while the parent never runs firmware code. Only the
// state directory carries anything from one boot to the next.
#pragma once

#include <functional>
#include <vector>

namespace sim {

// Runs `boot(index)` for index 0..count-1, each in its own child process,
// one after the other; returns each child's exit code (128 + signal when it
// was killed). A boot's function returns its child's exit code.
std::vector<int> RunBoots(int count, const std::function<int(int index)>& boot);

}  // namespace sim
