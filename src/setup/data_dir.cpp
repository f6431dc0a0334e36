#include "setup/data_dir.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>

namespace {

// A directory is usable when it, the separator and a data file name fit
// into one path. An empty value would turn into the root directory, so it
// is treated as not given.
bool usableDirectory(const char* dir) {
  if (dir == nullptr || dir[0] == '\0') return false;
  const size_t length = std::strlen(dir);
  return length + 1 + kDataFileNameLength <= static_cast<size_t>(kMaxPathLength);
}

}  // namespace

std::string dataDirectory(const char* kalder, const char* workingDir) {
  if (usableDirectory(kalder)) return std::string(kalder) + '/';
  if (usableDirectory(workingDir)) return std::string(workingDir) + '/';
  return "./";
}

std::string dataDirectory() {
  // getcwd fails for a working directory longer than the buffer; such a
  // directory could not hold a short enough path anyway.
  std::array<char, kMaxPathLength + 1> cwd{};
  const char* workingDir = ::getcwd(cwd.data(), cwd.size());
  return dataDirectory(std::getenv("KALDER"), workingDir);
}

std::string dataFilePath(const std::string& dataDir, const char* fileName) {
  return dataDir + fileName;
}
