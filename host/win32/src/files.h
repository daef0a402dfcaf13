// Path handling shared by the functions that take file names.
#pragma once

#include <string>

namespace w32 {

// A host path as the calling code wrote it, with '\' taken as '/'.
std::string HostPath(const char *path);

}  // namespace w32
