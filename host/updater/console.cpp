// The updater's console: standard output, a key press, and the clear.
#include <conio.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

#if !defined(_WIN32)
#include <win32_ext.h>
#endif

#include "updater.h"

namespace updater {

namespace {

void WriteToStdout(const char *text) {
  std::fputs(text, stdout);
  std::fflush(stdout);  // the countdown rewrites its line in place
}

int ReadKey() { return _getch(); }

#if defined(_WIN32)
void ClearConsole() { std::system("cls"); }
#else
// Here the Win32 subset clears the console; no shell is started.
void ClearConsole() { W32X_ClearConsole(); }
#endif

}  // namespace

Console g_Console = {WriteToStdout, ReadKey, ClearConsole};

void Print(const char *format, ...) {
  char small[512];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length >= 0 && static_cast<size_t>(length) < sizeof small) {
    g_Console.write(small);
  } else if (length >= 0) {
    std::vector<char> large(static_cast<size_t>(length) + 1);
    std::vsnprintf(large.data(), large.size(), format, again);
    g_Console.write(large.data());
  }
  va_end(again);
}

void WaitForKey() {
  Print("\n\nHit any key please\n");
  g_Console.readKey();
}

}  // namespace updater
