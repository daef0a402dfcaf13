#include "tools/images/directories.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace images {

bool MakeDirectories(const std::string& path, std::string* pError) {
  for (size_t pos = path.find('/', 1);; pos = path.find('/', pos + 1)) {
    const std::string prefix = path.substr(0, pos);
    if (!prefix.empty() && mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
      *pError = "cannot create " + prefix + ": " + std::strerror(errno);
      return false;
    }
    if (pos == std::string::npos) return true;
  }
}

}  // namespace images
