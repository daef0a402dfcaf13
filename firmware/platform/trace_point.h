// Trace points: fixed labels passed at points of the mechanism and ribbon
// code ("DstOff:MechaAllOff()", "PhaseRollBackRetryProcess",
// "CSlit::CheckRoutine()_1", ...). The hook is where a trace could be
// emitted; it emits nothing.
#pragma once

inline void DebugTrace(const char* /*pszLabel*/) {}
