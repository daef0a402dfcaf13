// Panel-language bytes into the script parser: a whole script and, line by
// line, the parser of typed lines. Every line is either a command or refused
// with a message that names its line; a refused script keeps nothing; every
// command describes itself.
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/panel/panel_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<sim::PanelCommand> commands;
  std::string error;
  const bool bScript = sim::ParsePanelScript(text, &commands, &error);
  if (!bScript && (!commands.empty() || error.rfind("line ", 0) != 0)) std::abort();

  size_t lineNumber = 0;
  bool bAllLines = true;
  std::string_view rest = text;
  while (!rest.empty()) {
    const size_t newline = rest.find('\n');
    std::optional<sim::PanelCommand> command;
    std::string lineError;
    if (sim::ParsePanelLine(rest.substr(0, newline), ++lineNumber, &command, &lineError)) {
      if (command) {
        if (command->line != lineNumber || command->keys > 0x3F) std::abort();
        if (sim::DescribePanelCommand(*command).empty()) std::abort();
      }
    } else {
      bAllLines = false;
      if (command || lineError.rfind("line " + std::to_string(lineNumber) + ": ", 0) != 0) std::abort();
    }
    rest = newline == std::string_view::npos ? std::string_view{} : rest.substr(newline + 1);
  }
  if (bAllLines != bScript) std::abort();
  return 0;
}
