// The operator actions: how a command line's timed actions are read, what a
// few of them do to the board, and printer-sim running a scenario with
// --act (a front cover opened at ready and closed five seconds later).
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "sim/machine.h"
#include "sim/mechanism/mechanism_inputs.h"
#include "sim/mechanism/ribbon_mechanism.h"
#include "sim/mechanism/paper_web_mechanism.h"
#include "sim/operator_actions.h"
#include "sim/panel/panel.h"
#include "tests/support/machine_test.h"
#include "tests/support/sample_printer.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::Ms;

struct ParseCase {
  const char* pszText;
  bool bOk;
  const char* pszMessagePart;  // what the message must name, or the first action
};

constexpr ParseCase kParseCases[] = {
    {"5000:open=front,close=upper-l", true, "open=front"},
    {"0:tap=clear", true, "tap=clear"},
    {"12:ribbon-fault=l:cut", true, "ribbon-fault=l:cut"},
    {"open=front", false, "MS:ACTION"},
    {":open=front", false, "MS:ACTION"},
    {"5s:open=front", false, "milliseconds"},
    {"100:bogus", false, "the actions are: open close tap"},
    {"100:open=front,bogus", false, "unknown action 'bogus'"},
    {"100:open=window", false, "front side-l side-r paper guide upper-l upper-r tray"},
    {"100:open", false, "needs COVER"},
    {"100:tap=power", false, "feed clear menu inc dec enter"},
    {"100:supply-24v-ok=1", false, "takes no argument"},
    {"100:ribbon-fault=l", false, "UNIT:FAULT"},
    {"100:ribbon-fault=x:cut", false, "not l or r"},
    {"100:ribbon-fault=l:torn", false, "cut end no-ribbon"},
    {"100:axis-slow=head-l:0", false, "above 0"},
    {"100:axis-stuck=arm", false, "head-l head-r"},
    {"100:ribbon-exchange=r:color8x12k1", true, "ribbon-exchange=r:color8x12k1"},
    {"100:ribbon-exchange=l:spent,ribbon-exchange=r:none", true, "ribbon-exchange=l:spent"},
    {"100:ribbon-exchange=l", false, "UNIT:RIBBON"},
    {"100:ribbon-exchange=l:color9x9", false, "color8x12k2 spent none"},
    {"100:barcode-unreadable=l:3", true, "barcode-unreadable=l:3"},
    {"100:barcode-unreadable=r:always", true, "barcode-unreadable=r:always"},
    {"100:barcode-unreadable=l:often", false, "not a number or always"},
    {"100:encoder-loss=l:take-up:10", true, "encoder-loss=l:take-up:10"},
    {"100:encoder-loss=l:take-up:0", false, "1 or more"},
    {"100:encoder-loss=l:motor:2", false, "supply or take-up"},
    {"100:short-panels=x", false, "not l or r"},
    {"100:paper-fault=wet", false, "jammed rollenc-jammed roll-stalled edge-unseen"},
    {"100:paper-fault=edge-unseen,roll-out,sheet-out", true, "paper-fault=edge-unseen"},
    {"100:roll-in=30000:45.5", true, "roll-in=30000:45.5"},
    {"100:roll-in", false, "needs LINES[:DEG]"},
    {"100:roll-in=lots", false, "paper length 'lots' is not a number from 0 to"},
    {"100:roll-in=30000:360", false, "front angle '360' is not a number from 0 to 359.999"},
    {"100:roll-out=all", false, "takes no argument"},
};

TEST(OperatorActions, ATimedListIsReadWholeOrRefusedNamingWhatIsAccepted) {
  for (const ParseCase& c : kParseCases) {
    sim::TimedActions acts;
    std::string error;
    EXPECT_EQ(sim::ParseTimedActions(c.pszText, &acts, &error), c.bOk) << c.pszText;
    if (c.bOk) {
      ASSERT_FALSE(acts.actions.empty()) << c.pszText;
      EXPECT_EQ(acts.actions.front(), c.pszMessagePart) << c.pszText;
    } else {
      EXPECT_NE(error.find(c.pszMessagePart), std::string::npos) << c.pszText << ": " << error;
    }
  }
  sim::TimedActions acts;
  ASSERT_TRUE(sim::ParseTimedActions("5000:open=front,close=upper-l", &acts, nullptr));
  EXPECT_EQ(acts.at, Ms(5000));
  EXPECT_EQ(acts.actions, (std::vector<std::string>{"open=front", "close=upper-l"}));
}

TEST(OperatorActions, TheListNamesEveryActionOnItsOwnLine) {
  const std::string list = sim::OperatorActionList();
  for (const char* pszRow : {"  open=COVER ", "  tap=KEY ", "  axis-stuck=AXIS ", "  supply-24v-failed ",
                             "  ribbon-fault=UNIT:FAULT ", "  ribbon-out=UNIT ", "  paper-fault=FAULT ",
                             "  roll-detach ", "  roll-out ", "  roll-in=LINES[:DEG] ", "  sheet-out "}) {
    EXPECT_NE(list.find(pszRow), std::string::npos) << pszRow;
  }
}

// The actions on a starting printer: the inputs as the firmware reads them.
class OperatorActionsOnTheBoard : public testsupport::MachineTest {};

TEST_F(OperatorActionsOnTheBoard, CoversTrayAndKeysChangeTheirInputs) {
  sim::Machine& m = BootNewPrinter();
  ASSERT_EQ(m.RunFor(Ms(1500)), sim::RunResult::TimeLimit);
  std::string error;
  ASSERT_TRUE(m.Act("open=front,open=tray,press=menu", &error)) << error;
  EXPECT_TRUE(m.Inputs().CoverOpen(sim::Cover::Front));
  EXPECT_TRUE(m.Inputs().CoverOpen(sim::Cover::ExitTray));
  EXPECT_TRUE(m.Keys().IsPressed(sim::PanelKey::Menu));
  ASSERT_TRUE(m.Act("close=front,close=tray,release=menu,tap=clear", &error)) << error;
  EXPECT_FALSE(m.Inputs().CoverOpen(sim::Cover::Front));
  EXPECT_FALSE(m.Inputs().CoverOpen(sim::Cover::ExitTray));
  EXPECT_FALSE(m.Keys().IsPressed(sim::PanelKey::Menu));
  m.RunFor(Ms(100));
  EXPECT_TRUE(m.Keys().IsPressed(sim::PanelKey::Clear)) << "a tap holds its key";
  m.RunFor(Ms(150));
  EXPECT_FALSE(m.Keys().IsPressed(sim::PanelKey::Clear));
  // A bad action in a list stops it there; those before it ran.
  EXPECT_FALSE(m.Act("open=side-l,bogus,open=side-r", &error));
  EXPECT_NE(error.find("the actions are:"), std::string::npos) << error;
  EXPECT_TRUE(m.Inputs().CoverOpen(sim::Cover::SideL));
  EXPECT_FALSE(m.Inputs().CoverOpen(sim::Cover::SideR));
}

// A unit's ribbon exchanged: the upper unit opens, the new roll (or none)
// goes in, and the unit closes two seconds later; the barcode, encoder and
// panel switches reach the ribbon model.
TEST_F(OperatorActionsOnTheBoard, ARibbonExchangeOpensTheUpperUnitAndLoadsTheNewRoll) {
  sim::Machine& m = BootNewPrinter();
  ASSERT_EQ(m.RunFor(Ms(1500)), sim::RunResult::TimeLimit);
  sim::RibbonMechanism& ribbons = *m.GetBoard().FindDevice<sim::RibbonMechanism>();
  std::string error;
  ASSERT_TRUE(m.Act("ribbon-exchange=r:color8x12k2,ribbon-exchange=l:none", &error)) << error;
  EXPECT_TRUE(m.Inputs().CoverOpen(sim::Cover::UpperR));
  EXPECT_TRUE(m.Inputs().CoverOpen(sim::Cover::UpperL));
  EXPECT_EQ(ribbons.Unit(sim::PrintUnit::R).Type(), sim::RibbonType::Color8x12K2);
  EXPECT_EQ(ribbons.Unit(sim::PrintUnit::R).SupplyLength(), sim::FullRollLength(sim::RibbonType::Color8x12K2));
  m.RunFor(Ms(2100));
  EXPECT_FALSE(m.Inputs().CoverOpen(sim::Cover::UpperR));
  EXPECT_FALSE(m.Inputs().CoverOpen(sim::Cover::UpperL));
  EXPECT_FALSE(ribbons.Unit(sim::PrintUnit::R).Fault(sim::RibbonFault::NoRibbon));
  EXPECT_TRUE(ribbons.Unit(sim::PrintUnit::L).Fault(sim::RibbonFault::NoRibbon)) << "none stays out";

  ASSERT_TRUE(m.Act("ribbon-exchange=r:spent", &error)) << error;
  EXPECT_EQ(ribbons.Unit(sim::PrintUnit::R).Type(), sim::RibbonType::Color8x12K2) << "spent keeps the type";
  EXPECT_TRUE(ribbons.Unit(sim::PrintUnit::R).AtLeader());
  ASSERT_TRUE(m.Act("barcode-unreadable=l:2,barcode-unreadable=r:always", &error)) << error;
  EXPECT_EQ(ribbons.BarcodeUnreadableRuns(sim::PrintUnit::L), 2u);
  EXPECT_EQ(ribbons.BarcodeUnreadableRuns(sim::PrintUnit::R), sim::RibbonMechanism::kAlways);
  ASSERT_TRUE(m.Act("short-panels=l", &error)) << error;
  EXPECT_LT(ribbons.Tape(sim::PrintUnit::L).PanelLines(sim::Panel::Yellow), 3596u);
  ASSERT_TRUE(m.Act("panels-restored=l", &error)) << error;
  EXPECT_EQ(ribbons.Tape(sim::PrintUnit::L).PanelLines(sim::Panel::Yellow), 3596u);
}

// The operator's hands on the roll: out with the paper in the path, a new
// roll in with its front where the action says.
TEST_F(OperatorActionsOnTheBoard, TheRollGoesOutAndInWithItsFrontWhereTheActionSays) {
  sim::MachineOptions options;
  options.rollStart = sim::RollStart::New;
  options.rollLines = 20000;
  sim::Machine& m = BootNewPrinter(options);
  const sim::PaperWeb& web = m.GetBoard().FindDevice<sim::PaperWebMechanism>()->Web();
  double deg = 0;
  ASSERT_TRUE(web.EdgeAngle(&deg)) << "a new roll: its front on it";
  EXPECT_EQ(deg, sim::PaperWeb::kNewRollEdgeDeg);
  EXPECT_FALSE(web.HasWeb());
  EXPECT_NEAR(web.PaperOnRollMm() * sim::PaperWeb::kLinesPerMm, 20000.0, 1e-6);
  std::string error;
  ASSERT_TRUE(m.Act("roll-out", &error)) << error;
  EXPECT_FALSE(web.HasPaper());
  ASSERT_TRUE(m.Act("roll-in=6000:12.5", &error)) << error;
  EXPECT_TRUE(web.HasPaper());
  ASSERT_TRUE(web.EdgeAngle(&deg));
  EXPECT_EQ(deg, 12.5);
  EXPECT_NEAR(web.PaperOnRollMm() * sim::PaperWeb::kLinesPerMm, 6000.0, 1e-6);
  EXPECT_FALSE(m.Inputs().CoverOpen(sim::Cover::Paper)) << "the hands only, no cover";
}

// ---- printer-sim --act ----

struct ChildRun {
  int exitCode = -1;
  std::string output;
};

ChildRun RunPrinterSim(const std::string& arguments) {
  ChildRun run;
  const std::string command = std::string(PRINTER_SIM_PATH) + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(PrinterSimActions, ListAndBadActions) {
  const ChildRun list = RunPrinterSim("--act list");
  EXPECT_EQ(list.exitCode, 0);
  EXPECT_EQ(list.output.find("operator actions"), 0u) << list.output;
  EXPECT_NE(list.output.find(sim::OperatorActionList()), std::string::npos);
  const ChildRun bad = RunPrinterSim("--state " + testsupport::MakeTempDir() + " --virtual --act 100:wave=hand");
  EXPECT_EQ(bad.exitCode, 2) << "a usage error";
  EXPECT_NE(bad.output.find("unknown action 'wave=hand'; the actions are: open close"), std::string::npos)
      << bad.output;
}

TEST(PrinterSimOptions, ABadRollOrPaperLengthIsAUsageError) {
  for (const char* pszOption : {"--roll=loaded", "--roll=", "--roll-lines=0", "--roll-lines=12.5", "--roll-lines=x"}) {
    const ChildRun run = RunPrinterSim("--state " + testsupport::MakeTempDir() + " --virtual " + pszOption);
    EXPECT_EQ(run.exitCode, 2) << pszOption;
    EXPECT_NE(run.output.find(std::string("unknown or incomplete argument '") + pszOption + "'"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("--roll=threaded|new|none"), std::string::npos) << "the usage names it";
  }
  const ChildRun run =
      RunPrinterSim("--state " + testsupport::MakeTempDir() + " --virtual --on-reset=exit --roll=new --roll-lines=9000"
                    " --run-for-ms 200");
  EXPECT_EQ(run.exitCode, 0) << run.output;
}

// The line the console shows when the LCD shows `text`.
std::string LcdLine(const std::string& text) { return "[lcd] |" + text + "|"; }

TEST(PrinterSimActions, AFrontCoverOpenedAtReadyAndClosedLaterHomesAgainToReady) {
  const std::string dir = testsupport::MakeTempDir();
  std::string error;
  ASSERT_TRUE(testsupport::ProvisionSamplePrinter(dir, {}, &error)) << error;
  const ChildRun run = RunPrinterSim("--state " + dir +
                                     " --virtual --on-reset=exit --run-for-ms 60000 --act 20000:open=front"
                                     " --act 25000:close=front");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  const std::string& out = run.output;
  const size_t ready = out.find(LcdLine(testsupport::kReadyLine));
  const size_t opened = out.find("[act] 20000 ms open=front");
  const size_t shown = out.find(LcdLine("Front Cover Open"), opened);
  const size_t closed = out.find("[act] 25000 ms close=front");
  const size_t readyAgain = out.find(LcdLine(testsupport::kReadyLine), closed);
  ASSERT_NE(ready, std::string::npos) << out;
  EXPECT_LT(ready, opened) << "ready before the cover opens";
  EXPECT_NE(shown, std::string::npos) << out;
  EXPECT_LT(shown, closed);
  EXPECT_NE(readyAgain, std::string::npos) << "ready again after the home run:\n" << out.substr(closed);
}

}  // namespace
