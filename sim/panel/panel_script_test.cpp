// The panel language: what each line means, and that a bad line is refused
// with a message naming it and the accepted words.
#include "sim/panel/panel_script.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

constexpr uint32_t Bit(PanelKey key) { return 1u << static_cast<uint32_t>(key); }
constexpr Nanos Ms(uint64_t ms) { return ms * kNsPerMs; }

struct LineCase {
  const char* pszLine;
  PanelCommand::Kind kind;
  uint32_t keys;
  Nanos duration;
  const char* pszText;
};

const LineCase kLines[] = {
    {"menu", PanelCommand::Kind::Tap, Bit(PanelKey::Menu), kPanelTapHold, ""},
    {"  advance  # the feed key", PanelCommand::Kind::Tap, Bit(PanelKey::Feed), kPanelTapHold, ""},
    {"+", PanelCommand::Kind::Tap, Bit(PanelKey::Inc), kPanelTapHold, ""},
    {"-", PanelCommand::Kind::Tap, Bit(PanelKey::Dec), kPanelTapHold, ""},
    {"tap enter 50", PanelCommand::Kind::Tap, Bit(PanelKey::Enter), Ms(50), ""},
    {"inc+dec+feed", PanelCommand::Kind::Tap, Bit(PanelKey::Inc) | Bit(PanelKey::Dec) | Bit(PanelKey::Feed),
     kPanelTapHold, ""},
    {"press enter+inc", PanelCommand::Kind::Press, Bit(PanelKey::Enter) | Bit(PanelKey::Inc), 0, ""},
    {"release", PanelCommand::Kind::Release, 0, 0, ""},
    {"release clear", PanelCommand::Kind::Release, Bit(PanelKey::Clear), 0, ""},
    {"hold 3000 dec+feed", PanelCommand::Kind::Tap, Bit(PanelKey::Dec) | Bit(PanelKey::Feed), Ms(3000), ""},
    {"wait 1500", PanelCommand::Kind::Wait, 0, Ms(1500), ""},
    {"wait-lcd Serial Number", PanelCommand::Kind::WaitLcd, 0, kPanelWaitLcdLimit, "Serial Number"},
    {"wait-lcd Serial Number 4000", PanelCommand::Kind::WaitLcd, 0, Ms(4000), "Serial Number"},
    {"wait-lcd \"Model # 2  \" 20", PanelCommand::Kind::WaitLcd, 0, Ms(20), "Model # 2  "},
    {"wait-lcd 8x10", PanelCommand::Kind::WaitLcd, 0, kPanelWaitLcdLimit, "8x10"},
    {"end", PanelCommand::Kind::End, 0, 0, ""},
};

TEST(PanelLanguage, EachLineIsItsCommand) {
  for (const LineCase& c : kLines) {
    std::optional<PanelCommand> command;
    std::string error;
    ASSERT_TRUE(ParsePanelLine(c.pszLine, 7, &command, &error)) << c.pszLine << ": " << error;
    ASSERT_TRUE(command.has_value()) << c.pszLine;
    EXPECT_EQ(command->kind, c.kind) << c.pszLine;
    EXPECT_EQ(command->keys, c.keys) << c.pszLine;
    EXPECT_EQ(command->duration, c.duration) << c.pszLine;
    EXPECT_EQ(command->text, c.pszText) << c.pszLine;
    EXPECT_EQ(command->line, 7u) << c.pszLine;
  }
}

TEST(PanelLanguage, BlankLinesAndCommentsAreNoCommand) {
  for (const char* pszLine : {"", "   \t", "# a comment", "   # indented"}) {
    std::optional<PanelCommand> command;
    std::string error;
    EXPECT_TRUE(ParsePanelLine(pszLine, 1, &command, &error)) << pszLine;
    EXPECT_FALSE(command.has_value()) << pszLine;
  }
}

struct BadLine {
  const char* pszLine;
  const char* pszMessagePart;
};

const BadLine kBadLines[] = {
    {"menuu", "unknown word 'menuu'; the words are: menu enter feed advance"},
    {"tap", "tap KEYS [MS] needs keys; the keys are: menu enter feed advance clear inc dec + -"},
    {"tap enter+ok", "'enter+ok' is not a key"},
    {"inc+", "unknown word 'inc+'"},
    {"tap menu soon", "'soon' is not a number of milliseconds"},
    {"hold dec 20", "'dec' is not a number of milliseconds (hold MS KEYS)"},
    {"wait", "wait MS needs a number of milliseconds"},
    {"wait -5", "'-5' is not a number of milliseconds"},
    {"wait 9999999999", "'9999999999' is not a number of milliseconds"},
    {"wait-lcd", "wait-lcd needs the text"},
    {"wait-lcd \"open", "closing '\"' is missing"},
    {"wait-lcd \"Menu\" later", "'later' is not a number of milliseconds"},
    {"wait-lcd 12345678901234567", "16 characters"},
    {"menu enter", "'enter' is more than 'menu' takes"},
    {"end now", "'now' is more than 'end' takes"},
};

TEST(PanelLanguage, BadLinesAreRefusedWithTheirLineAndTheAcceptedWords) {
  for (const BadLine& c : kBadLines) {
    std::optional<PanelCommand> command;
    std::string error;
    EXPECT_FALSE(ParsePanelLine(c.pszLine, 12, &command, &error)) << c.pszLine;
    EXPECT_FALSE(command.has_value()) << c.pszLine;
    EXPECT_EQ(error.rfind("line 12: ", 0), 0u) << error;
    EXPECT_NE(error.find(c.pszMessagePart), std::string::npos) << c.pszLine << " -> " << error;
  }
}

TEST(PanelLanguage, AScriptIsCheckedWholeAndItsFirstBadLineNamed) {
  std::vector<PanelCommand> commands;
  std::string error;
  ASSERT_TRUE(ParsePanelScript("# walk\npress inc+dec+feed\n\nwait-lcd Diagnostics\nrelease\nmenu\nend\n", &commands,
                               &error))
      << error;
  ASSERT_EQ(commands.size(), 5u);
  EXPECT_EQ(commands[0].line, 2u);
  EXPECT_EQ(commands[2].line, 5u);
  EXPECT_EQ(commands[4].kind, PanelCommand::Kind::End);

  commands.clear();
  EXPECT_FALSE(ParsePanelScript("menu\nenter\nkick clear\nbogus\n", &commands, &error));
  EXPECT_TRUE(commands.empty()) << "nothing of a refused script is kept";
  EXPECT_EQ(error.rfind("line 3: unknown word 'kick'", 0), 0u) << error;
}

TEST(PanelLanguage, TheConsoleNamesEachCommandByItsKeys) {
  std::vector<PanelCommand> commands;
  std::string error;
  ASSERT_TRUE(ParsePanelScript("advance\nhold 700 inc+dec+feed\nrelease\nrelease -\nwait-lcd Menu 30\n", &commands,
                               &error));
  const char* const kNames[] = {"tap feed 200 ms", "tap feed+inc+dec 700 ms", "release all", "release dec",
                                "wait-lcd \"Menu\" 30 ms"};
  for (size_t i = 0; i < commands.size(); ++i) EXPECT_EQ(DescribePanelCommand(commands[i]), kNames[i]);
}

}  // namespace
}  // namespace sim
