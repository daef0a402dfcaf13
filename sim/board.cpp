#include "sim/board.h"

#include <cstdio>
#include <cstdlib>

#include "sim/costs.h"

namespace sim {

Board::Board(const BoardConfig& config) : m_config(config), m_kernel(*this) {
  if (s_pCurrent != nullptr) {
    std::fputs("virtual board: one live board at a time\n", stderr);
    std::abort();
  }
  s_pCurrent = this;
  m_cpu = std::make_unique<Cpu>(*this);
  if (m_config.bPaced) m_clock.SetPaced(m_config.pacedFactor);
  m_clock.SetInterruptCheck([this] { return StopRequested(); });
}

Board::~Board() {
  m_devices.clear();
  s_pCurrent = nullptr;
}

Board& Board::NoBoard() {
  std::fputs("virtual board: firmware code ran with no board\n", stderr);
  std::abort();
}

void Board::PowerOn() {
  m_kernel.Start(*m_config.kernel);
  ScheduleTick();
}

void Board::ScheduleTick() {
  m_clock.ScheduleIn(cost::kTickPeriod, [this] {
    RaiseInterrupt(kEventTick);
    CheckStopCondition();
    ScheduleTick();
  });
}

RunState Board::Run(Nanos until) {
  m_state = m_cpu->Run(until);
  return m_state;
}

void Board::RaiseInterrupt(uint32_t event) {
  if (!m_intc.IsAttached(event)) {
    ReportFault("interrupt event " + std::to_string(event) + " raised with no handler attached");
    return;
  }
  m_intc.Raise(event);
}

void Board::ReportFault(std::string what) {
  char head[64];
  std::snprintf(head, sizeof head, "[board] fault at %llu ns: ", static_cast<unsigned long long>(m_clock.Now()));
  std::fprintf(stderr, "%s%s\n", head, what.c_str());
  m_faults.push_back(std::move(what));
}

void Board::RecordDataAbort(PhysAddr addr, bool bWrite) {
  m_aborts.push_back(DataAbortRecord{addr, bWrite, m_clock.Now(), m_kernel.CurrentTaskName()});
}

void Board::ConsoleLine(std::string_view text) {
  const size_t before = m_console.size();
  m_console.append(text);
  if (text.empty() || text.back() != '\n') m_console += '\n';
  if (m_config.bEchoConsole) {
    std::fwrite(m_console.data() + before, 1, m_console.size() - before, stdout);
    std::fflush(stdout);
  }
}

void Board::OnLogRecord() { CheckStopCondition(); }

void Board::CheckStopCondition() {
  if (m_stopCondition && m_stopCondition()) m_cpu->RequestPause();
}

}  // namespace sim
