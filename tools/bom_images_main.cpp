// bom-images: builds the firmware package files and flash images of the
// virtual printer (see tools/images/command_line.cpp for the commands).
#include <iostream>
#include <string>
#include <vector>

#include "tools/images/command_line.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return images::RunImagesCommand(args, std::cout, std::cerr);
}
