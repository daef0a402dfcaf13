// Expands a system-log format with its stored arguments, as the kernel's
// log output does: %d %i %u %x %X %o %c %s %p %%, with '-', '0' and a width.
// Integer conversions take the low 32 bits, as on the target. A pointer into
// the board's plain RAM prints as its physical address, so logs do not
// depend on where the host placed its memory.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

class Bus;

std::string FormatLog(const char* format, const intptr_t* args, uint32_t count, const Bus* bus);

}  // namespace sim
