#include "sim/syslog_format.h"

#include <cstdio>
#include <cstring>

#include "sim/bus.h"

namespace sim {

namespace {

void Pad(std::string& out, const std::string& body, int width, bool bLeft, bool bZero) {
  const int fill = width - static_cast<int>(body.size());
  if (fill <= 0) {
    out += body;
  } else if (bLeft) {
    out += body;
    out.append(static_cast<size_t>(fill), ' ');
  } else if (bZero && !body.empty() && body[0] == '-') {
    out += '-';
    out.append(static_cast<size_t>(fill), '0');
    out.append(body, 1, std::string::npos);
  } else {
    out.append(static_cast<size_t>(fill), bZero ? '0' : ' ');
    out += body;
  }
}

std::string Digits(uint64_t value, unsigned base, bool bUpper) {
  const char* digits = bUpper ? "0123456789ABCDEF" : "0123456789abcdef";
  char buf[24];
  int n = 0;
  do {
    buf[n++] = digits[value % base];
    value /= base;
  } while (value != 0);
  std::string s;
  while (n > 0) s += buf[--n];
  return s;
}

}  // namespace

std::string FormatLog(const char* format, const intptr_t* args, uint32_t count, const Bus* bus) {
  std::string out;
  if (format == nullptr) return out;
  uint32_t next = 0;
  auto arg = [&]() -> intptr_t { return next < count ? args[next++] : 0; };
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    ++p;
    bool bLeft = false;
    bool bZero = false;
    for (;; ++p) {
      if (*p == '-') {
        bLeft = true;
      } else if (*p == '0') {
        bZero = true;
      } else {
        break;
      }
    }
    int width = 0;
    while (*p >= '0' && *p <= '9') width = width * 10 + (*p++ - '0');
    while (*p == 'l' || *p == 'h') ++p;  // lengths carry nothing: arguments are words
    switch (*p) {
      case '\0':
        return out;
      case '%':
        out += '%';
        break;
      case 'd':
      case 'i': {
        const auto v = static_cast<int32_t>(static_cast<uint32_t>(arg()));
        const uint64_t mag = v < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(v)) : static_cast<uint64_t>(v);
        Pad(out, (v < 0 ? "-" : "") + Digits(mag, 10, false), width, bLeft, bZero);
        break;
      }
      case 'u':
        Pad(out, Digits(static_cast<uint32_t>(arg()), 10, false), width, bLeft, bZero);
        break;
      case 'x':
      case 'X':
        Pad(out, Digits(static_cast<uint32_t>(arg()), 16, *p == 'X'), width, bLeft, bZero);
        break;
      case 'o':
        Pad(out, Digits(static_cast<uint32_t>(arg()), 8, false), width, bLeft, bZero);
        break;
      case 'c':
        Pad(out, std::string(1, static_cast<char>(arg())), width, bLeft, false);
        break;
      case 's': {
        const char* s = reinterpret_cast<const char*>(arg());
        Pad(out, s != nullptr ? s : "(null)", width, bLeft, false);
        break;
      }
      case 'p': {
        const intptr_t raw = arg();
        uint64_t value = static_cast<uint64_t>(raw);
        PhysAddr phys = 0;
        if (bus != nullptr && bus->HostToPhys(reinterpret_cast<const void*>(raw), &phys)) value = phys;
        Pad(out, Digits(value, 16, false), width, bLeft, bZero);
        break;
      }
      default:
        out += '%';
        out += *p;
        break;
    }
  }
  return out;
}

}  // namespace sim
