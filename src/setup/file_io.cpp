#include "setup/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

bool writeAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Makes the rename itself survive a crash. A failure here is not reported:
// the new file is complete either way.
void syncDirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

int openRegularFile(const std::string& path) {
  // Without O_NONBLOCK a FIFO would wait here for a writer that never comes.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

long readFileBytes(const std::string& path, uint8_t* buffer, size_t capacity) {
  const int fd = openRegularFile(path);
  if (fd < 0) return -1;
  size_t total = 0;
  bool failed = false;
  while (total < capacity) {
    const ssize_t n = ::read(fd, buffer + total, capacity - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      failed = true;
      break;
    }
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  ::close(fd);
  return failed ? -1 : static_cast<long>(total);
}

bool writeFileAtomically(const std::string& path, const uint8_t* data, size_t size) {
  const std::string tmp = path + ".tmp";
  // A leftover from an interrupted earlier write; if it cannot be removed,
  // the exclusive create below fails and the write is skipped.
  ::unlink(tmp.c_str());
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;

  struct stat old{};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(fd, old.st_mode & 07777);

  // Past a file-size limit the kernel would end the program with SIGXFSZ;
  // ignored, the write fails with EFBIG like any other failed write.
  struct sigaction ignore{};
  struct sigaction previous{};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  const bool signalIgnored = ::sigaction(SIGXFSZ, &ignore, &previous) == 0;
  bool ok = writeAll(fd, data, size) && ::fsync(fd) == 0;
  if (signalIgnored) ::sigaction(SIGXFSZ, &previous, nullptr);
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  syncDirectoryOf(path);
  return true;
}
