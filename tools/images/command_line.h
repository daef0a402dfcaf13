// The image builders' command line (the bom-images program), callable from
// tests: returns the program's exit code (0 done, 1 failure, 2 usage).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace images {

int RunImagesCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace images
