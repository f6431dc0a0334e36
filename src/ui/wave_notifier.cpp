#include "ui/wave_notifier.h"

#include <utility>

TWaveNotifier::TWaveNotifier(Handler handler) : handler_(std::move(handler)) {}

TWaveNotifier::~TWaveNotifier() { close(); }

void TWaveNotifier::post(const WaveNotice& notice) {
  // The lock keeps the object alive for the length of the queuing: close()
  // waits for a post in progress, and no post queues anything after it.
  std::lock_guard lock(mutex_);
  if (closed_) return;
  QMetaObject::invokeMethod(
      this, [this, notice] { handler_(notice); }, Qt::QueuedConnection);
}

void TWaveNotifier::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
}
