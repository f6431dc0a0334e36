#pragma once
// Brings the sound devices' notices to the command-line program's thread,
// which has no event loop: a backend posts on its own thread, the program
// waits for the next notice with a timeout.
//
// The notices sit in a fixed ring of kNoticeQueueCapacity, so post never
// allocates. Overflow: when the ring is full, the notice being posted is
// dropped and counted (dropped()); the notices already queued stay, in
// order. A run posts one notice per buffer it lends out, far fewer than the
// capacity, so a drop means the program stopped taking notices, and the run
// must be treated as failed since a buffer's notice is lost.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/wave_audio.h"

inline constexpr size_t kNoticeQueueCapacity = 512;

class NoticeQueue final : public WaveNotifier {
 public:
  NoticeQueue() = default;
  NoticeQueue(const NoticeQueue&) = delete;
  NoticeQueue& operator=(const NoticeQueue&) = delete;
  // The devices that post here must be closed first (or close() called and
  // no backend holding the pointer any more).
  ~NoticeQueue() = default;

  // Any thread, the audio thread included. Appends the notice; a full ring
  // drops it (counted), a closed queue drops it silently. The lock it takes is
  // held by the other side only while one notice is copied out, so the audio
  // thread never waits behind the program's work.
  void post(const WaveNotice& notice) override;

  // Program's thread. Takes the oldest notice into out and returns true, or
  // returns false, out untouched, once timeout has passed with nothing queued
  // (a zero or negative timeout does not wait). A closed queue still hands out
  // what it holds, and returns false at once when empty; close() also wakes a
  // waiting call.
  bool waitNext(WaveNotice& out, std::chrono::milliseconds timeout);
  // Program's thread. As waitNext without waiting.
  bool tryNext(WaveNotice& out);

  // Any thread. From here on posts are dropped; queued notices can still be
  // taken. Returns once no post is in progress.
  void close();
  bool isClosed() const;
  // Notices dropped because the ring was full (not those dropped after close).
  uint64_t dropped() const;
  // Notices queued now.
  size_t size() const;

 private:
  // Takes the oldest notice; the caller holds mutex_ and count_ > 0.
  WaveNotice popLocked();

  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::array<WaveNotice, kNoticeQueueCapacity> ring_{};
  size_t head_ = 0;   // index of the oldest notice
  size_t count_ = 0;  // notices queued
  uint64_t dropped_ = 0;
  bool closed_ = false;
};
