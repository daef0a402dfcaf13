// Directories the tools and the virtual printer write into.
#pragma once

#include <string>

namespace images {

// Creates `path` and every missing directory above it (an existing one is
// fine). False with the reason ("cannot create DIR: why") when it cannot.
bool MakeDirectories(const std::string& path, std::string* pError);

}  // namespace images
