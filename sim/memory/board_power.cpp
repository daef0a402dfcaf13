#include "sim/memory/board_power.h"

#include "sim/cpu.h"

namespace sim {

BoardPower::BoardPower(Board& board) {
  m_switch.SetHandler([&board] {
    board.ConsoleLine("[board] power cut");
    board.GetCpu().Halt(RunState::Reset);
  });
}

BoardPower& BoardPower::Of(Board& board) {
  if (BoardPower* pPower = board.FindDevice<BoardPower>()) return *pPower;
  return board.AddDevice<BoardPower>(board);
}

}  // namespace sim
