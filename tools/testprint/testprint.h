// The page preview of the test prints: a temporary copy of a printer's
// state directory is booted in virtual time to its main loop; in the
// application task the pattern is drawn into a free large image buffer as
// its launcher draws it, and the page is composed line by line from the
// rows the pattern's row table names, as the DSP takes them. Plane levels
// are densities: red = 255 - C, green = 255 - M, blue = 255 - Y.
#pragma once

#include <cstdint>
#include <string>

#include "sim/mechanism/sheet_png.h"

namespace testprint {

extern const char kUsage[];

struct Request {
  std::string pattern;   // a pattern name or "status"
  std::string stateDir;  // read only: a copy is booted
  int32_t sizeRow = -1;  // a row of the print-size table; -1 the selected size
  int32_t gray = -1;     // the gray level of the gray and regi patterns; -1 as stored
  uint32_t side = 0;     // the head line of the pattern with text (0, 1 L, 2 R)
  uint32_t scale = 1;    // every N x N dots averaged into one pixel
  std::string out;       // the PNG file
};

// The names of the patterns, in the order of the "Test Print Mode" pages,
// then the user test print and the status sheet.
extern const char* const kPatterns[];

// False, with the reason, for arguments the program does not take.
bool ParseArgs(int argc, const char* const* argv, Request* pRequest, std::string* pError);
// The page; false with the reason.
bool Render(const Request& request, sim::SheetImage* pImage, std::string* pError);
// The whole program: 0 written, 1 failed, 2 bad arguments (with the usage).
int Main(int argc, const char* const* argv);

}  // namespace testprint
