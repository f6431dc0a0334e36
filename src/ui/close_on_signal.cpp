#include "ui/close_on_signal.h"

#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int pipeFds[2] = {-1, -1};
struct sigaction previousInt;
struct sigaction previousTerm;

// Async-signal-safe: one write, errno preserved. A full pipe means a close
// is already pending, so a lost byte does not matter.
void onSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(pipeFds[1], &byte, 1);
  errno = saved;
}

}  // namespace

TCloseOnSignal::TCloseOnSignal(QWidget* window) : window_(window) {
  if (pipeFds[0] >= 0) return;  // another instance owns the handlers
  if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
    pipeFds[0] = pipeFds[1] = -1;
    return;
  }
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  const bool intSet = sigaction(SIGINT, &sa, &previousInt) == 0;
  const bool termSet = intSet && sigaction(SIGTERM, &sa, &previousTerm) == 0;
  if (!termSet) {
    if (intSet) sigaction(SIGINT, &previousInt, nullptr);
    close(pipeFds[0]);
    close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
    return;
  }
  notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TCloseOnSignal::onSignalByte);
  installed_ = true;
}

TCloseOnSignal::~TCloseOnSignal() {
  if (!installed_) return;
  sigaction(SIGINT, &previousInt, nullptr);
  sigaction(SIGTERM, &previousTerm, nullptr);
  delete notifier_;
  close(pipeFds[0]);
  close(pipeFds[1]);
  pipeFds[0] = pipeFds[1] = -1;
}

void TCloseOnSignal::onSignalByte() {
  char buf[16];
  while (read(pipeFds[0], buf, sizeof buf) > 0) {
  }
  window_->close();
}
