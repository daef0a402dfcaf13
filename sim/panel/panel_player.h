// The panel player: plays lines of the panel language (panel_script.h) on
// the virtual printer's keys at virtual time, and waits on the LCD's
// screens. Scripts are handed over whole on the CPU thread; a reader thread
// (a person at a terminal) posts single lines into an inbox that the CPU
// thread empties at a clock event, so every key action happens at a switch
// point of the board, at virtual now.
//
// Each key action is one console line, e.g. "[panel] 5230 ms tap menu 200 ms".
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/clock.h"
#include "sim/panel/panel_script.h"

namespace sim {

class Board;
class LcdController;
class PanelKeys;

// Lines posted by another thread for the player to take.
class PanelInbox {
 public:
  void Post(PanelCommand command);
  std::vector<PanelCommand> Take();

 private:
  std::mutex m_mutex;
  std::vector<PanelCommand> m_commands;
};

class PanelPlayer {
 public:
  // How often the inbox of posted lines is looked at.
  static constexpr Nanos kInboxPeriod = 10 * kNsPerMs;
  // How often a wait-lcd looks at the screens.
  static constexpr Nanos kLcdPollPeriod = 1 * kNsPerMs;

  PanelPlayer(Board& board, PanelKeys& keys, LcdController& lcd);
  ~PanelPlayer();
  PanelPlayer(const PanelPlayer&) = delete;
  PanelPlayer& operator=(const PanelPlayer&) = delete;

  // CPU thread: the commands go after those still to play.
  void Play(std::vector<PanelCommand> commands);
  // CPU thread, once: from now on the commands posted into `inbox` (from
  // any thread, which may outlive the player) are taken every
  // kInboxPeriod.
  void OpenInbox(std::shared_ptr<PanelInbox> inbox);

  // Nothing to play, nothing in progress (posted lines not yet taken aside).
  bool Idle() const { return m_queue.empty() && !m_bBusy; }
  // An "end" line was played.
  bool Ended() const { return m_bEnded; }
  // Why the player stopped: a wait-lcd whose text did not show in time
  // (the lines after it are dropped); empty while none failed.
  const std::string& Failure() const { return m_failure; }

 private:
  void Next();
  void ContinueIn(Nanos delay);
  void Console(const std::string& text);
  void Apply(uint32_t keys, bool bPress);
  void PollLcd();
  void DrainInbox();
  void ScheduleInbox();

  Board& m_board;
  PanelKeys& m_keys;
  LcdController& m_lcd;
  std::deque<PanelCommand> m_queue;
  bool m_bBusy = false;
  bool m_bEnded = false;
  std::string m_failure;
  // wait-lcd: the command, when it gives up, and the first screen it may
  // match (the screens up to the one an earlier wait matched are used up).
  PanelCommand m_waiting;
  Nanos m_waitUntil = 0;
  size_t m_screenMark = 0;
  SimClock::EventId m_event = 0;
  SimClock::EventId m_inboxEvent = 0;
  std::shared_ptr<PanelInbox> m_inbox;
};

}  // namespace sim
