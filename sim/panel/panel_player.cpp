#include "sim/panel/panel_player.h"

#include <utility>

#include "sim/board.h"
#include "sim/panel/panel.h"

namespace sim {

PanelPlayer::PanelPlayer(Board& board, PanelKeys& keys, LcdController& lcd)
    : m_board(board), m_keys(keys), m_lcd(lcd) {}

PanelPlayer::~PanelPlayer() {
  m_board.Clock().Cancel(m_event);
  m_board.Clock().Cancel(m_inboxEvent);
}

void PanelPlayer::Play(std::vector<PanelCommand> commands) {
  if (!m_failure.empty() || m_bEnded) return;
  for (PanelCommand& command : commands) m_queue.push_back(std::move(command));
  if (!m_bBusy) Next();
}

void PanelInbox::Post(PanelCommand command) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_commands.push_back(std::move(command));
}

std::vector<PanelCommand> PanelInbox::Take() {
  std::vector<PanelCommand> taken;
  std::lock_guard<std::mutex> lock(m_mutex);
  taken.swap(m_commands);
  return taken;
}

void PanelPlayer::OpenInbox(std::shared_ptr<PanelInbox> inbox) {
  m_inbox = std::move(inbox);
  if (m_inboxEvent == 0) ScheduleInbox();
}

void PanelPlayer::ScheduleInbox() {
  m_inboxEvent = m_board.Clock().ScheduleIn(kInboxPeriod, [this] {
    m_inboxEvent = 0;
    DrainInbox();
    ScheduleInbox();
  });
}

void PanelPlayer::DrainInbox() {
  std::vector<PanelCommand> posted = m_inbox->Take();
  if (!posted.empty()) Play(std::move(posted));
}

void PanelPlayer::Console(const std::string& text) {
  m_board.ConsoleLine("[panel] " + std::to_string(m_board.Clock().Now() / kNsPerMs) + " ms " + text);
}

void PanelPlayer::Apply(uint32_t keys, bool bPress) {
  for (uint32_t k = 0; k < 6; ++k) {
    if ((keys & (1u << k)) == 0) continue;
    if (bPress) {
      m_keys.Press(PanelKey(k));
    } else {
      m_keys.Release(PanelKey(k));
    }
  }
}

void PanelPlayer::ContinueIn(Nanos delay) {
  m_bBusy = true;
  m_event = m_board.Clock().ScheduleIn(delay, [this] {
    m_event = 0;
    m_bBusy = false;
    Next();
  });
}

// Plays commands until one has to wait for time or the LCD.
void PanelPlayer::Next() {
  while (!m_queue.empty()) {
    PanelCommand command = std::move(m_queue.front());
    m_queue.pop_front();
    switch (command.kind) {
      case PanelCommand::Kind::Tap: {
        Console(DescribePanelCommand(command));
        Apply(command.keys, true);
        const uint32_t keys = command.keys;
        m_bBusy = true;
        m_event = m_board.Clock().ScheduleIn(command.duration, [this, keys] {
          Apply(keys, false);
          ContinueIn(kPanelKeyGap);
        });
        return;
      }
      case PanelCommand::Kind::Press:
        Console(DescribePanelCommand(command));
        Apply(command.keys, true);
        break;
      case PanelCommand::Kind::Release:
        Console(DescribePanelCommand(command));
        if (command.keys == 0) {
          m_keys.ReleaseAll();
        } else {
          Apply(command.keys, false);
        }
        ContinueIn(kPanelKeyGap);
        return;
      case PanelCommand::Kind::Wait:
        ContinueIn(command.duration);
        return;
      case PanelCommand::Kind::WaitLcd:
        m_waiting = std::move(command);
        m_waitUntil = m_board.Clock().Now() + m_waiting.duration;
        m_bBusy = true;
        PollLcd();
        return;
      case PanelCommand::Kind::End:
        Console("end");
        m_bEnded = true;
        m_queue.clear();
        return;
    }
  }
}

// A complete screen (all 16 characters written) shown after the screen the
// previous wait matched; the one on the LCD now counts when it is one.
void PanelPlayer::PollLcd() {
  const std::vector<LcdController::Screen>& screens = m_lcd.Screens();
  for (size_t i = m_screenMark; i < screens.size(); ++i) {
    if (screens[i].text.find(m_waiting.text) != std::string::npos) {
      m_screenMark = i + 1;
      m_bBusy = false;
      Next();
      return;
    }
  }
  if (m_board.Clock().Now() >= m_waitUntil) {
    m_failure = "line " + std::to_string(m_waiting.line) + ": wait-lcd \"" + m_waiting.text + "\": not shown within " +
                std::to_string(m_waiting.duration / kNsPerMs) + " ms (the LCD shows \"" + m_lcd.Visible() + "\")";
    Console(m_failure);
    m_queue.clear();
    m_bBusy = false;
    return;
  }
  m_event = m_board.Clock().ScheduleIn(kLcdPollPeriod, [this] {
    m_event = 0;
    PollLcd();
  });
}

}  // namespace sim
