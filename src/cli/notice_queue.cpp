#include "cli/notice_queue.h"

void NoticeQueue::post(const WaveNotice& notice) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return;
    if (count_ == kNoticeQueueCapacity) {
      ++dropped_;
      return;
    }
    ring_[(head_ + count_) % kNoticeQueueCapacity] = notice;
    ++count_;
  }
  // Woken after the lock is released, so the waiter does not wake into a held
  // lock.
  ready_.notify_one();
}

WaveNotice NoticeQueue::popLocked() {
  const WaveNotice n = ring_[head_];
  head_ = (head_ + 1) % kNoticeQueueCapacity;
  --count_;
  return n;
}

bool NoticeQueue::waitNext(WaveNotice& out, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (timeout.count() > 0) {
    ready_.wait_for(lock, timeout, [this] { return count_ > 0 || closed_; });
  }
  if (count_ == 0) return false;
  out = popLocked();
  return true;
}

bool NoticeQueue::tryNext(WaveNotice& out) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (count_ == 0) return false;
  out = popLocked();
  return true;
}

void NoticeQueue::close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  ready_.notify_all();
}

bool NoticeQueue::isClosed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

uint64_t NoticeQueue::dropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

size_t NoticeQueue::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}
