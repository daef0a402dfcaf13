// Console input and the screen clear of the updater.
#include <conio.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "runtime.h"

int __cdecl _getch(void) noexcept {
  unsigned char c = 0;
  termios saved{};
  const bool terminal = isatty(STDIN_FILENO) != 0 && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  ssize_t n;
  do {
    n = read(STDIN_FILENO, &c, 1);
  } while (n < 0 && errno == EINTR);
  if (terminal) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  return n == 1 ? c : EOF;
}

void W32X_ClearConsole(void) noexcept {
  std::fflush(stdout);
  if (isatty(STDOUT_FILENO) == 0) return;
  std::fputs("\x1b[H\x1b[2J\x1b[3J", stdout);
  std::fflush(stdout);
}
