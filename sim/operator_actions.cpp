#include "sim/operator_actions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "sim/machine.h"
#include "sim/mechanism/enum_index.h"
#include "sim/mechanism/input_faults.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/media_option.h"
#include "sim/mechanism/paper_web.h"
#include "sim/mechanism/ribbon_mechanism.h"
#include "sim/mechanism/paper_web_mechanism.h"
#include "sim/mechanism/ribbon_transport.h"
#include "sim/panel/panel.h"
#include "sim/panel/panel_script.h"

namespace sim {

namespace {

bool Fail(std::string* pError, std::string message) {
  if (pError != nullptr) *pError = std::move(message);
  return false;
}

// Each argument's parser takes the argument's text; a null machine below
// means the action is only checked.

constexpr const char* kAxisNames[] = {"head-l",      "head-r",   "load-pinch", "main-pinch", "feed-pinch",
                                      "eject-pinch", "path-sel", "rot-lock",   "load-bar",   "cutter"};
static_assert(sizeof kAxisNames / sizeof kAxisNames[0] == Index(Axis::Count));

template <typename E, size_t N>
bool ParseName(const char* const (&names)[N], std::string_view arg, E* pValue, const char* pszWhat,
               std::string* pError) {
  if (ParseEnumName(names, std::string(arg).c_str(), pValue)) return true;
  std::string message = std::string(pszWhat) + " '" + std::string(arg) + "' is not one of:";
  for (const char* pszName : names) message += std::string(" ") + pszName;
  return Fail(pError, message);
}

bool ParseCoverArg(std::string_view arg, Cover* pCover, std::string* pError) {
  if (MechanismInputs::ParseCover(std::string(arg).c_str(), pCover)) return true;
  return Fail(pError, "cover '" + std::string(arg) + "' is not one of: front side-l side-r paper guide upper-l upper-r tray");
}

bool ParseUnitArg(std::string_view arg, PrintUnit* pUnit, std::string* pError) {
  if (arg == "l" || arg == "r") {
    *pUnit = arg == "l" ? PrintUnit::L : PrintUnit::R;
    return true;
  }
  return Fail(pError, "unit '" + std::string(arg) + "' is not l or r");
}

bool ParseRibbonFaultArg(std::string_view arg, PrintUnit* pUnit, RibbonFault* pFault, std::string* pError) {
  const size_t colon = arg.find(':');
  if (colon == std::string_view::npos) return Fail(pError, "expected UNIT:FAULT, e.g. l:cut");
  if (!ParseUnitArg(arg.substr(0, colon), pUnit, pError)) return false;
  const std::string name(arg.substr(colon + 1));
  if (ParseRibbonFault(name.c_str(), pFault)) return true;
  return Fail(pError, "ribbon fault '" + name + "' is not one of: cut end no-ribbon supply-jammed take-up-stalled");
}

bool ParseWebFaultArg(std::string_view arg, WebFault* pFault, std::string* pError) {
  if (ParseWebFault(std::string(arg).c_str(), pFault)) return true;
  return Fail(pError,
              "paper fault '" + std::string(arg) + "' is not one of: jammed rollenc-jammed roll-stalled edge-unseen");
}

bool NoArg(std::string_view arg, std::string* pError) {
  return arg.empty() || Fail(pError, "takes no argument");
}

// A number of `what` from `min` to `max`, all of the text.
bool ParseDouble(std::string_view arg, double min, double max, const char* pszWhat, double* pValue,
                 std::string* pError) {
  const std::string number(arg);
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(number.c_str(), &end);
  if (number.empty() || *end != '\0' || errno != 0 || !(value >= min && value <= max)) {
    char range[64];
    std::snprintf(range, sizeof range, " is not a number from %g to %g", min, max);
    return Fail(pError, std::string(pszWhat) + " '" + number + "'" + range);
  }
  *pValue = value;
  return true;
}

// The paper web of the machine's board (none without a mechanism).
PaperWebMechanism* WebOf(Machine* pMachine) {
  return pMachine == nullptr ? nullptr : pMachine->GetBoard().FindDevice<PaperWebMechanism>();
}

// ---- the actions ----

bool SetCover(Machine* pMachine, std::string_view arg, std::string* pError, bool bOpen) {
  Cover cover{};
  if (!ParseCoverArg(arg, &cover, pError)) return false;
  if (pMachine != nullptr) pMachine->Inputs().SetCoverOpen(cover, bOpen);
  return true;
}
bool Open(Machine* pMachine, std::string_view arg, std::string* pError) { return SetCover(pMachine, arg, pError, true); }
bool Close(Machine* pMachine, std::string_view arg, std::string* pError) {
  return SetCover(pMachine, arg, pError, false);
}

template <void (*kApply)(PanelKeys&, PanelKey)>
bool OnKey(Machine* pMachine, std::string_view arg, std::string* pError) {
  PanelKey key{};
  if (!ParsePanelKeyName(arg, &key)) {
    return Fail(pError, "key '" + std::string(arg) + "' is not one of: " + PanelKeyNames() + " advance");
  }
  if (pMachine != nullptr) kApply(pMachine->Keys(), key);
  return true;
}
void TapKey(PanelKeys& keys, PanelKey key) { keys.Tap(key, kPanelTapHold); }
void PressKey(PanelKeys& keys, PanelKey key) { keys.Press(key); }
void ReleaseKey(PanelKeys& keys, PanelKey key) { keys.Release(key); }

bool AxisStuck(Machine* pMachine, std::string_view arg, std::string* pError) {
  Axis axis{};
  if (!ParseName(kAxisNames, arg, &axis, "axis", pError)) return false;
  if (pMachine != nullptr) pMachine->MechanismFaults().SetAxisStuck(axis, true);
  return true;
}
bool AxisRepaired(Machine* pMachine, std::string_view arg, std::string* pError) {
  Axis axis{};
  if (!ParseName(kAxisNames, arg, &axis, "axis", pError)) return false;
  if (pMachine != nullptr) {
    InputFaults& faults = pMachine->MechanismFaults();
    faults.SetAxisStuck(axis, false);
    faults.SetAxisSpeedFactor(axis, 1.0);
    faults.ClearAxisBlock(axis);
  }
  return true;
}
bool AxisSlow(Machine* pMachine, std::string_view arg, std::string* pError) {
  const size_t colon = arg.find(':');
  if (colon == std::string_view::npos) return Fail(pError, "expected AXIS:FACTOR, e.g. head-l:0.5");
  Axis axis{};
  if (!ParseName(kAxisNames, arg.substr(0, colon), &axis, "axis", pError)) return false;
  const std::string number(arg.substr(colon + 1));
  char* end = nullptr;
  errno = 0;
  const double factor = std::strtod(number.c_str(), &end);
  if (number.empty() || *end != '\0' || errno != 0 || !(factor > 0.0)) {
    return Fail(pError, "speed factor '" + number + "' is not a number above 0");
  }
  if (pMachine != nullptr) pMachine->MechanismFaults().SetAxisSpeedFactor(axis, factor);
  return true;
}

template <bool kFailed>
bool MotorSupply(Machine* pMachine, std::string_view arg, std::string* pError) {
  if (!NoArg(arg, pError)) return false;
  if (pMachine != nullptr) pMachine->MechanismFaults().SetMotorSupplyFailed(kFailed);
  return true;
}

template <bool kOn>
bool RibbonFaultSwitch(Machine* pMachine, std::string_view arg, std::string* pError) {
  PrintUnit unit{};
  RibbonFault fault{};
  if (!ParseRibbonFaultArg(arg, &unit, &fault, pError)) return false;
  if (pMachine != nullptr) pMachine->MechanismFaults().SetRibbonFault(unit, fault, kOn);
  return true;
}

// A ribbon taken out of its unit, or put back: no ribbon on the spools.
template <bool kPresent>
bool RibbonPresence(Machine* pMachine, std::string_view arg, std::string* pError) {
  PrintUnit unit{};
  if (!ParseUnitArg(arg, &unit, pError)) return false;
  if (pMachine != nullptr) pMachine->MechanismFaults().SetRibbonFault(unit, RibbonFault::NoRibbon, !kPresent);
  return true;
}

// UNIT:REST, the unit parsed and REST returned.
bool SplitUnitArg(std::string_view arg, const char* pszForm, PrintUnit* pUnit, std::string_view* pRest,
                  std::string* pError) {
  const size_t colon = arg.find(':');
  if (colon == std::string_view::npos) return Fail(pError, std::string("expected ") + pszForm);
  *pRest = arg.substr(colon + 1);
  return ParseUnitArg(arg.substr(0, colon), pUnit, pError);
}

// How long the upper unit stays open while its ribbon is exchanged.
constexpr Nanos kExchangeOpen = 2000 * kNsPerMs;

// The upper unit opened, the ribbon taken out, the new one put in (a roll
// of a type, a spent roll, or none), and the unit closed kExchangeOpen
// later.
bool RibbonExchange(Machine* pMachine, std::string_view arg, std::string* pError) {
  PrintUnit unit{};
  std::string_view rest;
  if (!SplitUnitArg(arg, "UNIT:RIBBON, e.g. l:color8x12k1", &unit, &rest, pError)) return false;
  UnitRibbon ribbon{};
  if (!ParseUnitRibbon(std::string(rest).c_str(), &ribbon)) {
    return Fail(pError, "ribbon '" + std::string(rest) +
                            "' is not one of: mark8x10 mark8x12 color8x10k1 color8x12k1 color8x10k2 color8x12k2 spent none");
  }
  if (pMachine == nullptr) return true;
  const Cover cover = unit == PrintUnit::L ? Cover::UpperL : Cover::UpperR;
  InputFaults& faults = pMachine->MechanismFaults();
  RibbonMechanism* pRibbons = pMachine->GetBoard().FindDevice<RibbonMechanism>();
  pMachine->Inputs().SetCoverOpen(cover, true);
  faults.SetRibbonFault(unit, RibbonFault::NoRibbon, true);
  if (pRibbons != nullptr) pRibbons->LoadRoll(unit, LoadOfUnitRibbon(ribbon, RibbonLoad{pRibbons->Unit(unit).Type()}));
  const bool bPresent = ribbon.kind != UnitRibbon::Kind::None;
  pMachine->GetBoard().Clock().ScheduleIn(kExchangeOpen, [pMachine, unit, cover, bPresent] {
    if (bPresent) pMachine->MechanismFaults().SetRibbonFault(unit, RibbonFault::NoRibbon, false);
    pMachine->Inputs().SetCoverOpen(cover, false);
  });
  return true;
}

// UNIT:RUNS or UNIT:always; 0 runs makes it readable again.
bool BarcodeUnreadable(Machine* pMachine, std::string_view arg, std::string* pError) {
  PrintUnit unit{};
  std::string_view rest;
  if (!SplitUnitArg(arg, "UNIT:RUNS or UNIT:always, e.g. l:3", &unit, &rest, pError)) return false;
  uint32_t runs = RibbonMechanism::kAlways;
  if (rest != "always") {
    const std::string number(rest);
    if (number.empty() || number.size() > 6 || number.find_first_not_of("0123456789") != std::string::npos) {
      return Fail(pError, "runs '" + number + "' is not a number or always");
    }
    runs = static_cast<uint32_t>(std::strtoul(number.c_str(), nullptr, 10));
  }
  if (pMachine != nullptr) pMachine->MechanismFaults().SetBarcodeUnreadable(unit, runs);
  return true;
}

// UNIT:ENCODER:N, ENCODER supply or take-up; N 1 is a sound encoder.
bool EncoderLoss(Machine* pMachine, std::string_view arg, std::string* pError) {
  PrintUnit unit{};
  std::string_view rest;
  constexpr const char* kForm = "UNIT:ENCODER:N, e.g. l:take-up:2 (one count of every N)";
  if (!SplitUnitArg(arg, kForm, &unit, &rest, pError)) return false;
  const size_t colon = rest.find(':');
  if (colon == std::string_view::npos) return Fail(pError, std::string("expected ") + kForm);
  const std::string_view encoder = rest.substr(0, colon);
  if (encoder != "supply" && encoder != "take-up") {
    return Fail(pError, "encoder '" + std::string(encoder) + "' is not supply or take-up");
  }
  const std::string number(rest.substr(colon + 1));
  if (number.empty() || number.size() > 4 || number.find_first_not_of("0123456789") != std::string::npos ||
      number == "0") {
    return Fail(pError, "'" + number + "' is not a count of 1 or more");
  }
  if (pMachine != nullptr) {
    pMachine->MechanismFaults().SetEncoderLoss(unit, encoder == "supply" ? 0 : 1,
                                               static_cast<uint32_t>(std::strtoul(number.c_str(), nullptr, 10)));
  }
  return true;
}

template <bool kShort>
bool ShortPanels(Machine* pMachine, std::string_view arg, std::string* pError) {
  PrintUnit unit{};
  if (!ParseUnitArg(arg, &unit, pError)) return false;
  if (pMachine != nullptr) pMachine->MechanismFaults().SetShortPanels(unit, kShort);
  return true;
}

template <bool kOn>
bool PaperFaultSwitch(Machine* pMachine, std::string_view arg, std::string* pError) {
  WebFault fault{};
  if (!ParseWebFaultArg(arg, &fault, pError)) return false;
  if (pMachine != nullptr) pMachine->MechanismFaults().SetPaperFault(fault, kOn);
  return true;
}

bool DetachRoll(Machine* pMachine, std::string_view arg, std::string* pError) {
  if (!NoArg(arg, pError)) return false;
  if (pMachine != nullptr) pMachine->MechanismFaults().DetachPaperRoll();
  return true;
}

// The operator's hands on the roll and the exit.
template <void (PaperWebMechanism::*kAct)()>
bool HandleWeb(Machine* pMachine, std::string_view arg, std::string* pError) {
  if (!NoArg(arg, pError)) return false;
  if (PaperWebMechanism* pWeb = WebOf(pMachine)) (pWeb->*kAct)();
  return true;
}

// A new roll: its paper in lines, and where its front lies (degrees).
bool InsertRoll(Machine* pMachine, std::string_view arg, std::string* pError) {
  const size_t colon = arg.find(':');
  double lines = 0.0, edgeDeg = PaperWeb::kNewRollEdgeDeg;
  if (!ParseDouble(arg.substr(0, colon), 0.0, 1.0e6, "paper length", &lines, pError)) return false;
  if (colon != std::string_view::npos &&
      !ParseDouble(arg.substr(colon + 1), 0.0, 359.999, "front angle", &edgeDeg, pError)) {
    return false;
  }
  if (PaperWebMechanism* pWeb = WebOf(pMachine)) pWeb->InsertRoll(lines / PaperWeb::kLinesPerMm, edgeDeg);
  return true;
}

using ActionFn = bool (*)(Machine* pMachine, std::string_view arg, std::string* pError);
struct Row {
  const char* pszName;
  const char* pszArgs;
  const char* pszEffect;
  ActionFn pfn;
};

// clang-format off
constexpr Row kRows[] = {
    {"open",          "COVER",        "opens a cover or takes the exit tray off: front side-l side-r paper guide upper-l upper-r tray", Open},
    {"close",         "COVER",        "closes a cover or puts the exit tray back", Close},
    {"tap",           "KEY",          "presses a panel key for 200 ms, as a panel line's tap: feed clear menu inc dec enter advance", OnKey<TapKey>},
    {"press",         "KEY",          "presses a panel key and holds it", OnKey<PressKey>},
    {"release",       "KEY",          "releases a panel key", OnKey<ReleaseKey>},
    {"axis-stuck",    "AXIS",         "an axis stops moving: head-l head-r load-pinch main-pinch feed-pinch eject-pinch path-sel rot-lock load-bar cutter", AxisStuck},
    {"axis-slow",     "AXIS:FACTOR",  "an axis moves at its speed times FACTOR", AxisSlow},
    {"axis-repaired", "AXIS",         "an axis moves freely again (not stuck, full speed, no block)", AxisRepaired},
    {"supply-24v-failed", "",         "the 24 V motor supply fails: \"24Vol\" reads 0, no motor moves", MotorSupply<true>},
    {"supply-24v-ok", "",             "the 24 V motor supply is back", MotorSupply<false>},
    {"ribbon-fault",  "UNIT:FAULT",   "a ribbon fault in unit l or r: cut end no-ribbon supply-jammed take-up-stalled", RibbonFaultSwitch<true>},
    {"ribbon-repaired", "UNIT:FAULT", "the ribbon fault is gone", RibbonFaultSwitch<false>},
    {"ribbon-out",    "UNIT",         "the ribbon is taken out of unit l or r", RibbonPresence<false>},
    {"ribbon-in",     "UNIT",         "the ribbon is put back into unit l or r", RibbonPresence<true>},
    {"ribbon-exchange", "UNIT:RIBBON", "the upper unit l or r opened, its ribbon exchanged for a new roll of a type (mark8x10 ... color8x12k2), a spent roll or none, closed 2 s later", RibbonExchange},
    {"barcode-unreadable", "UNIT:RUNS", "the unit's barcode reads clear for the next RUNS barcode runs, or always; 0 readable", BarcodeUnreadable},
    {"encoder-loss",  "UNIT:ENC:N",   "the unit's supply or take-up encoder gives one count of every N (1: sound)", EncoderLoss},
    {"short-panels",  "UNIT",         "the unit's ribbon panels shorter than the donor check's barcode window", ShortPanels<true>},
    {"panels-restored", "UNIT",       "the unit's ribbon panels their type's length again", ShortPanels<false>},
    {"paper-fault",   "FAULT",        "a fault of the paper web: jammed (the paper is held: jam it) rollenc-jammed roll-stalled edge-unseen", PaperFaultSwitch<true>},
    {"paper-repaired", "FAULT",       "the paper web's fault is gone (paper-repaired=jammed releases a jam)", PaperFaultSwitch<false>},
    {"roll-detach",   "",             "the web is cut at the roll: the roll lets go of it now", DetachRoll},
    {"roll-out",      "",             "the roll is taken out, with the paper in the path", HandleWeb<&PaperWebMechanism::TakeRollOut>},
    {"roll-in",       "LINES[:DEG]",  "a new roll of LINES lines of paper goes in, its front lying on it (at DEG degrees), nothing threaded", InsertRoll},
    {"sheet-out",     "",             "the sheet on the exit is taken out", HandleWeb<&PaperWebMechanism::TakeSheetOut>},
};
// clang-format on

const Row* FindRow(std::string_view name) {
  for (const Row& row : kRows) {
    if (name == row.pszName) return &row;
  }
  return nullptr;
}

std::string AcceptedNames() {
  std::string names;
  for (const Row& row : kRows) {
    if (!names.empty()) names += ' ';
    names += row.pszName;
  }
  return names;
}

bool Dispatch(Machine* pMachine, std::string_view action, std::string* pError) {
  const size_t equals = action.find('=');
  const std::string_view name = action.substr(0, equals);
  const std::string_view arg = equals == std::string_view::npos ? std::string_view{} : action.substr(equals + 1);
  const Row* pRow = FindRow(name);
  if (pRow == nullptr) {
    return Fail(pError, "unknown action '" + std::string(action) + "'; the actions are: " + AcceptedNames());
  }
  std::string detail;
  if (*pRow->pszArgs != '\0' && equals == std::string_view::npos) {
    return Fail(pError, "action '" + std::string(name) + "' needs " + pRow->pszArgs + " (" + pRow->pszEffect + ")");
  }
  if (pRow->pfn(pMachine, arg, &detail)) return true;
  return Fail(pError, "action '" + std::string(action) + "': " + detail);
}

}  // namespace

std::string OperatorActionList() {
  std::string list;
  for (const Row& row : kRows) {
    std::string head = row.pszName;
    if (*row.pszArgs != '\0') head += std::string("=") + row.pszArgs;
    if (head.size() < 27) head.resize(27, ' ');
    list += "  " + head + " " + row.pszEffect + "\n";
  }
  return list;
}

bool RunOperatorAction(Machine& machine, std::string_view action, std::string* pError) {
  return Dispatch(&machine, action, pError);
}

bool CheckOperatorAction(std::string_view action, std::string* pError) { return Dispatch(nullptr, action, pError); }

bool ParseTimedActions(std::string_view text, TimedActions* pActions, std::string* pError) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return Fail(pError, "expected MS:ACTION[,ACTION]");
  const std::string ms(text.substr(0, colon));
  for (char c : ms) {
    if (c < '0' || c > '9') return Fail(pError, "time '" + ms + "' is not a number of milliseconds");
  }
  if (ms.size() > 9) return Fail(pError, "time '" + ms + "' is too far");
  TimedActions parsed;
  parsed.at = static_cast<Nanos>(std::strtoul(ms.c_str(), nullptr, 10)) * kNsPerMs;
  std::string_view rest = text.substr(colon + 1);
  for (;;) {
    const size_t comma = rest.find(',');
    const std::string_view action = rest.substr(0, comma);
    if (!CheckOperatorAction(action, pError)) return false;
    parsed.actions.emplace_back(action);
    if (comma == std::string_view::npos) break;
    rest = rest.substr(comma + 1);
  }
  *pActions = std::move(parsed);
  return true;
}

}  // namespace sim
