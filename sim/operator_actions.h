// What a person at the printer does, and the faults a test switches on and
// off while the printer runs: one table of named actions, run by tests
// (Machine::Act) and by `printer-sim --act MS:ACTION[,ACTION]`.
//
// An action is written NAME or NAME=ARG (an argument of two parts as
// A:B, e.g. "ribbon-fault=l:cut"). A new action is one row of
// kOperatorActions (operator_actions.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/clock.h"

namespace sim {

class Machine;

// The table as `printer-sim --act list` prints it, one action a line.
std::string OperatorActionList();

// Runs one action ("NAME" or "NAME=ARG"); false with a message naming the
// accepted actions or arguments when it is not one.
bool RunOperatorAction(Machine& machine, std::string_view action, std::string* pError);

// Checks an action's name and argument without a machine (a command line
// is checked before the boot); false with the message RunOperatorAction
// would give.
bool CheckOperatorAction(std::string_view action, std::string* pError);

// A list of actions at a virtual time, as `--act MS:ACTION[,ACTION]`.
struct TimedActions {
  Nanos at = 0;
  std::vector<std::string> actions;
};
bool ParseTimedActions(std::string_view text, TimedActions* pActions, std::string* pError);

}  // namespace sim
