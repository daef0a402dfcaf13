// The panel's line language: how a person at a terminal, a script file and
// a system test press the six keys of the virtual printer.
//
//   menu | enter | feed | advance | clear | inc | dec | + | -   a tap of that key
//   tap KEYS [MS]          press KEYS, hold MS (default 200), release
//   press KEYS             press KEYS and keep them down
//   release [KEYS]         release KEYS (all keys without any)
//   hold MS KEYS           press KEYS, hold MS, release
//   wait MS                let MS of virtual time pass
//   wait-lcd TEXT [MS]     wait until a screen of the LCD contains TEXT (at most MS,
//                          default 10000): a screen shown after the one the previous
//                          wait-lcd matched, the one shown now included
//   end                    the run ends here
//
// KEYS is one key name or a chord of names joined by '+', e.g. inc+dec+feed;
// '+' and '-' name inc and dec when they stand alone. TEXT may be quoted
// ("Serial Number   ") to keep its blanks. A '#' starts a comment; blank
// lines do nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/clock.h"
#include "sim/panel/panel.h"

namespace sim {

// How long a tap holds its key, as a finger does, and how long the keys
// then stay up before the next line acts, so the key manager sees every
// release.
constexpr Nanos kPanelTapHold = 200 * kNsPerMs;
constexpr Nanos kPanelKeyGap = 100 * kNsPerMs;
// How long wait-lcd waits unless its line says.
constexpr Nanos kPanelWaitLcdLimit = 10000 * kNsPerMs;

// The key names and the key each names; "advance" is a second name of feed.
bool ParsePanelKeyName(std::string_view name, PanelKey* pKey);
const char* PanelKeyName(PanelKey key);
// "feed clear menu inc dec enter" (the names an --act key action takes).
std::string PanelKeyNames();

struct PanelCommand {
  enum class Kind { Tap, Press, Release, Wait, WaitLcd, End };
  Kind kind = Kind::Tap;
  uint32_t keys = 0;  // one bit per PanelKey; Release with none: all
  Nanos duration = 0; // Tap: the hold; Wait: the time; WaitLcd: the limit
  std::string text;   // WaitLcd
  size_t line = 0;    // 1-based, in its script
};

// The words of the language with their forms, for messages.
std::string PanelLanguageSummary();

// One line: true with the command, or with none for a blank line or a
// comment; false with a message naming the line and the accepted words.
bool ParsePanelLine(std::string_view line, size_t lineNumber, std::optional<PanelCommand>* pCommand,
                    std::string* pError);

// A whole script, checked before anything runs: false with the message of
// its first bad line.
bool ParsePanelScript(std::string_view text, std::vector<PanelCommand>* pCommands, std::string* pError);

// "tap menu", "press inc+dec+feed", "release all", "wait-lcd \"Diagnostics\"":
// the command as the console names it.
std::string DescribePanelCommand(const PanelCommand& command);

}  // namespace sim
