#include "sim/panel/panel_script.h"

#include <cstdlib>

namespace sim {

namespace {

struct KeyName {
  const char* pszName;
  PanelKey key;
};
// The first name of each key is the one the console shows.
constexpr KeyName kKeyNames[] = {
    {"feed", PanelKey::Feed}, {"clear", PanelKey::Clear}, {"menu", PanelKey::Menu},     {"inc", PanelKey::Inc},
    {"dec", PanelKey::Dec},   {"enter", PanelKey::Enter}, {"advance", PanelKey::Feed},
};
constexpr size_t kPrimaryNames = 6;

constexpr const char* kWords = "menu enter feed advance clear inc dec + - tap press release hold wait wait-lcd end";

// The longest time a line may name: about 11.5 days of virtual time.
constexpr size_t kMaxMsDigits = 9;

bool Fail(std::string* pError, size_t lineNumber, const std::string& message) {
  if (pError != nullptr) *pError = "line " + std::to_string(lineNumber) + ": " + message;
  return false;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The next word of `rest` (taken off it); empty at the end.
std::string_view NextWord(std::string_view* pRest) {
  std::string_view rest = Trim(*pRest);
  size_t end = 0;
  while (end < rest.size() && !IsBlank(rest[end])) ++end;
  *pRest = rest.substr(end);
  return rest.substr(0, end);
}

bool ParseMs(std::string_view word, Nanos* pValue) {
  if (word.empty() || word.size() > kMaxMsDigits || word.find_first_not_of("0123456789") != std::string_view::npos) {
    return false;
  }
  *pValue = static_cast<Nanos>(std::strtoull(std::string(word).c_str(), nullptr, 10)) * kNsPerMs;
  return true;
}

// One key name, a chord of names joined by '+', or '+' or '-' alone.
bool ParseKeys(std::string_view word, uint32_t* pKeys) {
  PanelKey key{};
  if (word == "+" || word == "-") {
    *pKeys = 1u << static_cast<uint32_t>(word == "+" ? PanelKey::Inc : PanelKey::Dec);
    return true;
  }
  uint32_t keys = 0;
  for (;;) {
    const size_t plus = word.find('+');
    if (!ParsePanelKeyName(word.substr(0, plus), &key)) return false;
    keys |= 1u << static_cast<uint32_t>(key);
    if (plus == std::string_view::npos) break;
    word = word.substr(plus + 1);
  }
  *pKeys = keys;
  return true;
}

std::string KeyList() { return "the keys are: menu enter feed advance clear inc dec + -, or a chord such as inc+dec+feed"; }

std::string_view StripComment(std::string_view line) {
  bool bQuoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') bQuoted = !bQuoted;
    if (line[i] == '#' && !bQuoted) return line.substr(0, i);
  }
  return line;
}

// wait-lcd's TEXT [MS]: a quoted text kept as written, or the words up to
// a last word of digits.
bool ParseWaitLcd(std::string_view rest, size_t lineNumber, PanelCommand* pCommand, std::string* pError) {
  rest = Trim(rest);
  pCommand->duration = kPanelWaitLcdLimit;
  std::string_view tail;
  if (!rest.empty() && rest.front() == '"') {
    const size_t close = rest.find('"', 1);
    if (close == std::string_view::npos) return Fail(pError, lineNumber, "wait-lcd: the text's closing '\"' is missing");
    pCommand->text = std::string(rest.substr(1, close - 1));
    tail = Trim(rest.substr(close + 1));
  } else {
    const size_t lastBlank = rest.find_last_of(" \t");
    Nanos limit = 0;
    if (lastBlank != std::string_view::npos && ParseMs(rest.substr(lastBlank + 1), &limit)) {
      tail = rest.substr(lastBlank + 1);
      rest = Trim(rest.substr(0, lastBlank));
    }
    pCommand->text = std::string(rest);
  }
  if (pCommand->text.empty()) return Fail(pError, lineNumber, "wait-lcd needs the text to wait for: wait-lcd TEXT [MS]");
  if (pCommand->text.size() > 16) return Fail(pError, lineNumber, "wait-lcd: the LCD shows 16 characters, the text has more");
  if (!tail.empty()) {
    std::string_view more = tail;
    const std::string_view word = NextWord(&more);
    if (!ParseMs(word, &pCommand->duration) || !Trim(more).empty()) {
      return Fail(pError, lineNumber, "wait-lcd: '" + std::string(tail) + "' is not a number of milliseconds");
    }
  }
  return true;
}

}  // namespace

bool ParsePanelKeyName(std::string_view name, PanelKey* pKey) {
  for (const KeyName& k : kKeyNames) {
    if (name == k.pszName) {
      *pKey = k.key;
      return true;
    }
  }
  return false;
}

const char* PanelKeyName(PanelKey key) {
  for (size_t i = 0; i < kPrimaryNames; ++i) {
    if (kKeyNames[i].key == key) return kKeyNames[i].pszName;
  }
  return "?";
}

std::string PanelKeyNames() {
  std::string names;
  for (size_t i = 0; i < kPrimaryNames; ++i) names += (i == 0 ? "" : " ") + std::string(kKeyNames[i].pszName);
  return names;
}

std::string PanelLanguageSummary() {
  return "KEY (a tap: menu enter feed advance clear inc dec + -), tap KEYS [MS], press KEYS, release [KEYS], "
         "hold MS KEYS, wait MS, wait-lcd TEXT [MS], end; KEYS is a key or a chord such as inc+dec+feed";
}

bool ParsePanelLine(std::string_view line, size_t lineNumber, std::optional<PanelCommand>* pCommand,
                    std::string* pError) {
  pCommand->reset();
  std::string_view rest = StripComment(line);
  const std::string_view word = NextWord(&rest);
  if (word.empty()) return true;
  PanelCommand command;
  command.line = lineNumber;
  uint32_t keys = 0;
  const auto keysOf = [&](std::string_view keyWord, const char* pszForm) {
    if (keyWord.empty()) return Fail(pError, lineNumber, std::string(pszForm) + " needs keys; " + KeyList());
    if (!ParseKeys(keyWord, &command.keys)) {
      return Fail(pError, lineNumber, "'" + std::string(keyWord) + "' is not a key; " + KeyList());
    }
    return true;
  };
  const auto msOf = [&](std::string_view msWord, const char* pszForm, Nanos* pValue) {
    if (ParseMs(msWord, pValue)) return true;
    return Fail(pError, lineNumber,
                (msWord.empty() ? std::string(pszForm) + " needs" : "'" + std::string(msWord) + "' is not") +
                    " a number of milliseconds (" + pszForm + ")");
  };
  if (ParseKeys(word, &keys)) {
    command.kind = PanelCommand::Kind::Tap;
    command.keys = keys;
    command.duration = kPanelTapHold;
  } else if (word == "tap") {
    command.kind = PanelCommand::Kind::Tap;
    command.duration = kPanelTapHold;
    if (!keysOf(NextWord(&rest), "tap KEYS [MS]")) return false;
    const std::string_view ms = NextWord(&rest);
    if (!ms.empty() && !msOf(ms, "tap KEYS [MS]", &command.duration)) return false;
  } else if (word == "press") {
    command.kind = PanelCommand::Kind::Press;
    if (!keysOf(NextWord(&rest), "press KEYS")) return false;
  } else if (word == "release") {
    command.kind = PanelCommand::Kind::Release;
    const std::string_view keyWord = NextWord(&rest);
    if (!keyWord.empty() && !keysOf(keyWord, "release [KEYS]")) return false;
  } else if (word == "hold") {
    command.kind = PanelCommand::Kind::Tap;
    if (!msOf(NextWord(&rest), "hold MS KEYS", &command.duration)) return false;
    if (!keysOf(NextWord(&rest), "hold MS KEYS")) return false;
  } else if (word == "wait") {
    command.kind = PanelCommand::Kind::Wait;
    if (!msOf(NextWord(&rest), "wait MS", &command.duration)) return false;
  } else if (word == "wait-lcd") {
    command.kind = PanelCommand::Kind::WaitLcd;
    if (!ParseWaitLcd(rest, lineNumber, &command, pError)) return false;
    rest = {};
  } else if (word == "end") {
    command.kind = PanelCommand::Kind::End;
  } else {
    return Fail(pError, lineNumber, "unknown word '" + std::string(word) + "'; the words are: " + kWords);
  }
  if (!Trim(rest).empty()) {
    return Fail(pError, lineNumber, "'" + std::string(Trim(rest)) + "' is more than '" + std::string(word) + "' takes (" +
                                        PanelLanguageSummary() + ")");
  }
  *pCommand = std::move(command);
  return true;
}

bool ParsePanelScript(std::string_view text, std::vector<PanelCommand>* pCommands, std::string* pError) {
  std::vector<PanelCommand> commands;
  size_t lineNumber = 0;
  while (!text.empty()) {
    const size_t newline = text.find('\n');
    const std::string_view line = text.substr(0, newline);
    text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
    std::optional<PanelCommand> command;
    if (!ParsePanelLine(line, ++lineNumber, &command, pError)) return false;
    if (command) commands.push_back(std::move(*command));
  }
  *pCommands = std::move(commands);
  return true;
}

std::string DescribePanelCommand(const PanelCommand& command) {
  std::string keys;
  for (uint32_t k = 0; k < 6; ++k) {
    if ((command.keys & (1u << k)) != 0) keys += (keys.empty() ? "" : "+") + std::string(PanelKeyName(PanelKey(k)));
  }
  const std::string ms = std::to_string(command.duration / kNsPerMs);
  switch (command.kind) {
    case PanelCommand::Kind::Tap: return "tap " + keys + " " + ms + " ms";
    case PanelCommand::Kind::Press: return "press " + keys;
    case PanelCommand::Kind::Release: return "release " + (keys.empty() ? std::string("all") : keys);
    case PanelCommand::Kind::Wait: return "wait " + ms + " ms";
    case PanelCommand::Kind::WaitLcd: return "wait-lcd \"" + command.text + "\" " + ms + " ms";
    case PanelCommand::Kind::End: return "end";
  }
  return "?";
}

}  // namespace sim
