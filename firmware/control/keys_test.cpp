// The key timing: debounce, report on release, auto-repeat, chords, the
// stop flag, and the waits that keep the background checks running.
#include "firmware/control/keys.h"

#include <vector>

#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/hostif/usb_cmd_blocks.h"
#include "firmware/mechanism/step_machine.h"

namespace paneltest {
namespace {

// On this board a repeated read of the key register counts as a polling
// loop and runs to the board's next event, so one key poll lasts several
// ms of virtual time: codes come at their thresholds plus up to one poll.
constexpr sim::Nanos kPollSlack = Ms(20);

struct KeyEvent {
  uint32_t code;
  sim::Nanos at;
};

class KeyTiming : public PanelTest {
 protected:
  // Collects the key events of `duration` while the test's presses run;
  // times are relative to `origin`.
  std::vector<KeyEvent> Collect(sim::Nanos duration, const std::function<void()>& presses) {
    std::vector<KeyEvent> events;
    const uint32_t ulMs = static_cast<uint32_t>(duration / sim::kNsPerMs);
    Start([&events, ulMs] {
      const uint32_t ulStart = NowMs();
      while (NowMs() - ulStart < ulMs) {
        uint32_t ulCode = 99;
        if (g_KeyMng.WaitKey(1, &ulCode) == 1) events.push_back({ulCode, sim::Board::Current().Clock().Now()});
      }
    });
    RunFor(Ms(5));
    m_origin = m_machine->Now();
    presses();
    EXPECT_TRUE(Finish(duration + Ms(1000)));
    for (KeyEvent& e : events) e.at -= m_origin;
    return events;
  }
  sim::Nanos m_origin = 0;
};

std::vector<uint32_t> Codes(const std::vector<KeyEvent>& events) {
  std::vector<uint32_t> codes;
  for (const KeyEvent& e : events) codes.push_back(e.code);
  return codes;
}

TEST_F(KeyTiming, ShortTapsGiveNothingAndTheFourPlainKeysReportOnRelease) {
  struct Case {
    PanelKey key;
    uint32_t code;
  };
  for (const Case& c : {Case{PanelKey::Menu, KEY_MENU}, Case{PanelKey::Feed, KEY_FEED},
                        Case{PanelKey::Clear, KEY_CLEAR}, Case{PanelKey::Enter, KEY_ENTER},
                        Case{PanelKey::Inc, KEY_INC}, Case{PanelKey::Dec, KEY_DEC}}) {
    auto tap = Collect(Ms(300), [&] { Keys().Tap(c.key, Ms(30), Ms(10)); });
    EXPECT_TRUE(tap.empty()) << "30 ms tap of code " << c.code;
  }
  for (const Case& c : {Case{PanelKey::Menu, KEY_MENU}, Case{PanelKey::Feed, KEY_FEED},
                        Case{PanelKey::Clear, KEY_CLEAR}, Case{PanelKey::Enter, KEY_ENTER}}) {
    auto press = Collect(Ms(600), [&] { Keys().Tap(c.key, Ms(300), Ms(10)); });
    ASSERT_EQ(Codes(press), std::vector<uint32_t>{c.code});
    EXPECT_GE(press[0].at, Ms(310));  // on release
    EXPECT_LE(press[0].at, Ms(310) + kPollSlack);
  }
}

TEST_F(KeyTiming, EnterHeldFiveSecondsGivesOneCode) {
  auto events = Collect(Ms(5500), [&] { Keys().Tap(PanelKey::Enter, Ms(5000), Ms(10)); });
  EXPECT_EQ(Codes(events), std::vector<uint32_t>{KEY_ENTER});
}

TEST_F(KeyTiming, PlusAndMinusRepeatSlowlyFourTimesThenEveryHundredMilliseconds) {
  for (PanelKey key : {PanelKey::Inc, PanelKey::Dec}) {
    const uint32_t code = key == PanelKey::Inc ? KEY_INC : KEY_DEC;
    auto events = Collect(Ms(2300), [&] { Keys().Tap(key, Ms(2000), Ms(10)); });
    ASSERT_GE(events.size(), 10u);
    for (const KeyEvent& e : events) EXPECT_EQ(e.code, code);
    // Accepted after about 51 ms; then the first code 51 ms later, four
    // repeats 301 ms apart, then 101 ms apart.
    EXPECT_GE(events[0].at, Ms(10 + 100));
    EXPECT_LE(events[0].at, Ms(10 + 102) + 2 * kPollSlack);
    for (size_t i = 1; i < events.size(); ++i) {
      const sim::Nanos gap = events[i].at - events[i - 1].at;
      const sim::Nanos expected = i <= 4 ? Ms(301) : Ms(101);
      EXPECT_GE(gap, expected - Ms(1)) << i;
      EXPECT_LE(gap, expected + kPollSlack) << i;
      EXPECT_LT(events[i].at, Ms(2010) + kPollSlack) << "no code after the release";
    }
  }
}

TEST_F(KeyTiming, ChordsAreReportedAtEveryPollAfterHalfASecond) {
  auto density = Collect(Ms(800), [&] { Keys().Chord({PanelKey::Dec, PanelKey::Feed}, Ms(600), Ms(10)); });
  ASSERT_GE(density.size(), 4u);
  for (const KeyEvent& e : density) EXPECT_EQ(e.code, KEY_COMBO_DENSITY_SETUP);
  EXPECT_GE(density.front().at, Ms(10 + 500));
  EXPECT_LE(density.front().at, Ms(10 + 552) + 2 * kPollSlack);
  EXPECT_LE(density.back().at, Ms(610) + kPollSlack);

  // Menu, then Feed added, both released within 500 ms: nothing at all.
  auto brief = Collect(Ms(800), [&] {
    Keys().Tap(PanelKey::Menu, Ms(300), Ms(10));
    Keys().Tap(PanelKey::Feed, Ms(200), Ms(100));
  });
  EXPECT_TRUE(brief.empty());
}

TEST_F(KeyTiming, AnUnknownPatternIsAnEventWithoutAStaleCode) {
  // Three keys that form no chord: the poll gives -1, which WaitKey passes
  // on as an event; the code is the one the no-key slot left, never the
  // caller's old value (99 here).
  auto events = Collect(Ms(200), [&] { Keys().Chord({PanelKey::Menu, PanelKey::Clear, PanelKey::Enter}, Ms(100), Ms(10)); });
  ASSERT_FALSE(events.empty());
  for (const KeyEvent& e : events) EXPECT_EQ(e.code, KEY_NONE);
}

TEST_F(KeyTiming, AnUnknownPatternReachedWhileAKeyIsHeldCarriesNoStaleCode) {
  // Inc held, then Menu and Clear added: the pattern is no chord. The held
  // key's state and the release state after it leave the code alone, so
  // only WaitKey itself keeps the caller's old value (99) out.
  auto events = Collect(Ms(700), [&] {
    Keys().Tap(PanelKey::Inc, Ms(500), Ms(10));
    Keys().Chord({PanelKey::Menu, PanelKey::Clear}, Ms(100), Ms(200));
  });
  size_t unknown = 0;
  for (const KeyEvent& e : events) {
    EXPECT_TRUE(e.code == KEY_INC || e.code == KEY_NONE) << e.code << " at " << e.at;
    if (e.code == KEY_NONE) ++unknown;
  }
  EXPECT_GE(unknown, 2u);
}

// Every key poll runs the abort check of the mask it was given: with the
// host bit, a pending command event runs while the operator is asked.
TEST_F(KeyTiming, EveryPollRunsTheAbortCheckOfItsMask) {
  struct Case {
    uint32_t ulMask;
    int32_t lPendingAfter;  // usb_comm_test_event after one poll
  };
  for (const Case& c : {Case{0, -1}, Case{SEQ_CHECK_HOST, 0}}) {
    int32_t lPending = 9;
    InApp([&] {
      usb_comm_set_event(CMDEV_RESET_ERROR_LOG);
      g_KeyMng.SetCheckMask(c.ulMask);
      uint32_t ulCode = 0;
      g_KeyMng.Poll(&ulCode);
      lPending = usb_comm_test_event(CMDEV_RESET_ERROR_LOG);
      g_KeyMng.SetCheckMask(0);
      usb_comm_clear_event(CMDEV_RESET_ERROR_LOG);
    });
    EXPECT_EQ(lPending, c.lPendingAfter) << "mask " << c.ulMask;
  }
}

TEST_F(KeyTiming, WithTheStopFlagEveryPollReportsClearAtOnce) {
  InApp([] {
    uint32_t ulCode = 0;
    EXPECT_EQ(g_KeyMng.WaitKey(1000, &ulCode), 0);  // no key: the time-out
    EXPECT_EQ(ulCode, KEY_NONE);
    RequestSystemReset();
    const uint32_t ulStart = NowMs();
    EXPECT_EQ(g_KeyMng.WaitKey(1000, &ulCode), 1);
    EXPECT_EQ(ulCode, KEY_CLEAR);
    EXPECT_LE(NowMs() - ulStart, 1u);
  });
}

}  // namespace
}  // namespace paneltest
