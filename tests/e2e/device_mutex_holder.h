// A second process that holds a printer's named mutex (the library's device
// lock) while a test needs the printer busy elsewhere.
#pragma once

#include <unistd.h>
#include <windows.h>

#include <string>

#include "tests/e2e/forked_helper.h"

namespace e2e {

// A second process that takes a printer's named mutex when told, and gives
// it back when told: forked before this process starts any thread.
class MutexHolder {
 public:
  explicit MutexHolder(const std::string &name)
      : m_helper([name](int in, int out) {
          char c = 0;
          int code = 1;
          if (read(in, &c, 1) == 1) {
            HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
            if (mutex != nullptr && WaitForSingleObject(mutex, 10000) == WAIT_OBJECT_0) {
              c = 'h';
              if (write(out, &c, 1) == 1 && read(in, &c, 1) >= 0) code = ReleaseMutex(mutex) ? 0 : 1;
            }
            if (mutex != nullptr) CloseHandle(mutex);
          }
          return code;
        }) {}

  // Takes the mutex in the child; true once it holds it.
  bool Hold() {
    char c = 'g';
    return m_helper.Started() && write(m_helper.ToChild(), &c, 1) == 1 && read(m_helper.FromChild(), &c, 1) == 1 &&
           c == 'h';
  }
  // Gives it back and ends; the child's exit code.
  int Release() { return m_helper.Finish(); }

 private:
  ForkedHelper m_helper;
};

}  // namespace e2e
