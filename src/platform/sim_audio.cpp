#include "platform/sim_audio.h"

#include <chrono>
#include <cmath>
#include <cstdio>

template <int kCap>
bool SimAudio::Queue<kCap>::contains(const WaveHeader* h) const {
  for (int i = 0; i < count; ++i) {
    if (items[(head + i) % kCap] == h) return true;
  }
  return false;
}

template <int kCap>
void SimAudio::Queue<kCap>::pop() {
  head = (head + 1) % kCap;
  --count;
  posFrames = 0;
}

template <int kCap>
void SimAudio::Queue<kCap>::clear() {
  head = 0;
  count = 0;
  posFrames = 0;
}

SimAudio::SimAudio(Pacing pacing, uint64_t noiseSeed) : seed_(noiseSeed), card_(noiseSeed) {
  if (pacing == Pacing::realTime) pacer_ = std::thread([this] { paceLoop(); });
}

SimAudio::~SimAudio() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  if (pacer_.joinable()) pacer_.join();
}

int SimAudio::deviceCount(WaveDirection dir) const {
  return dir == WaveDirection::output ? kOutputCount : kInputCount;
}

void SimAudio::deviceName(WaveDirection dir, int id, char* text, size_t capacity) const {
  if (capacity == 0) return;
  const char* name = "";
  if (dir == WaveDirection::output && id == 0) name = kOutputName;
  if (dir == WaveDirection::input && id >= 0 && id < kInputCount) name = kInputNames[id];
  std::snprintf(text, capacity, "%s", name);
}

WaveResult SimAudio::openOutput(int id, const WaveFormat& format, WaveNotifier* notifier,
                                WaveHandle& handle) {
  handle = kNoWaveHandle;
  std::lock_guard lock(mutex_);
  if (id < 0 || id >= kOutputCount) return kWaveErrBadDeviceId;
  const auto rate = static_cast<int32_t>(format.samplesPerSec);
  if (!isStereo16(format) || rate < kMinRate || rate > kMaxRate) return kWaveErrBadFormat;
  if (in_.open && in_.rate != rate) return kWaveErrBadFormat;
  if (out_.open) return kWaveErrAllocated;
  out_ = Port{true, nextHandle_++, notifier, rate};
  outQueue_.clear();
  handle = out_.handle;
  return kWaveOk;
}

WaveResult SimAudio::openInput(int id, const WaveFormat& format, WaveNotifier* notifier,
                               WaveHandle& handle) {
  handle = kNoWaveHandle;
  std::lock_guard lock(mutex_);
  if (id < 0 || id >= kInputCount) return kWaveErrBadDeviceId;
  const auto rate = static_cast<int32_t>(format.samplesPerSec);
  if (!isStereo16(format) || rate < kMinRate || rate > kMaxRate) return kWaveErrBadFormat;
  if (out_.open && out_.rate != rate) return kWaveErrBadFormat;
  if (in_.open) return kWaveErrAllocated;
  in_ = Port{true, nextHandle_++, notifier, rate};
  inDevice_ = id;
  inStarted_ = false;
  inQueue_.clear();
  // Every opening starts from the same state, so that runs repeat exactly.
  played_.fill({0, 0});
  clock_ = 0;
  speaker_.design(rate);
  jig_.design(rate, ImpedanceJigModel::kSeriesOhm,
              id == kInputJigAddedMass ? DriverModel::kAddedMassKg : 0.0);
  card_.reseed(seed_);
  acousticDelay_ = static_cast<int>(std::lround(0.001 * rate));
  handle = in_.handle;
  return kWaveOk;
}

bool SimAudio::validLocked(WaveHandle handle) const {
  return handle != kNoWaveHandle &&
         ((out_.open && handle == out_.handle) || (in_.open && handle == in_.handle));
}

WaveResult SimAudio::prepare(WaveHandle handle, WaveHeader& header) {
  std::lock_guard lock(mutex_);
  if (!validLocked(handle)) return kWaveErrInvalidHandle;
  header.flags |= kWaveHeaderPrepared;
  return kWaveOk;
}

WaveResult SimAudio::unprepare(WaveHandle handle, WaveHeader& header) {
  std::lock_guard lock(mutex_);
  if (!validLocked(handle)) return kWaveErrInvalidHandle;
  if (inQueue_.contains(&header) || outQueue_.contains(&header)) return kWaveErrStillPlaying;
  header.flags &= ~(kWaveHeaderPrepared | kWaveHeaderQueued);
  return kWaveOk;
}

WaveResult SimAudio::addBuffer(WaveHandle input, WaveHeader& header) {
  std::lock_guard lock(mutex_);
  if (!in_.open || input != in_.handle) return kWaveErrInvalidHandle;
  if (!(header.flags & kWaveHeaderPrepared)) return kWaveErrUnprepared;
  if (inQueue_.contains(&header)) return kWaveErrStillPlaying;
  if (inQueue_.count == kInQueue) return kWaveErrQueueFull;
  inQueue_.push(&header);
  header.flags |= kWaveHeaderQueued;
  return kWaveOk;
}

WaveResult SimAudio::start(WaveHandle input) {
  {
    std::lock_guard lock(mutex_);
    if (!in_.open || input != in_.handle) return kWaveErrInvalidHandle;
    inStarted_ = true;
  }
  wake_.notify_all();
  return kWaveOk;
}

WaveResult SimAudio::write(WaveHandle output, WaveHeader& header) {
  {
    std::lock_guard lock(mutex_);
    if (!out_.open || output != out_.handle) return kWaveErrInvalidHandle;
    if (!(header.flags & kWaveHeaderPrepared)) return kWaveErrUnprepared;
    if (outQueue_.contains(&header)) return kWaveErrStillPlaying;
    if (outQueue_.count == kOutQueue) return kWaveErrQueueFull;
    outQueue_.push(&header);
    header.flags |= kWaveHeaderQueued;
  }
  wake_.notify_all();
  return kWaveOk;
}

void SimAudio::resetInputLocked() {
  inStarted_ = false;
  for (int i = 0; i < inQueue_.count; ++i) {
    inQueue_.items[(inQueue_.head + i) % kInQueue]->flags &= ~kWaveHeaderQueued;
  }
  inQueue_.clear();
}

WaveResult SimAudio::reset(WaveHandle handle) {
  std::lock_guard lock(mutex_);
  if (!validLocked(handle)) return kWaveErrInvalidHandle;
  if (handle == in_.handle) {
    resetInputLocked();
  } else {
    for (int i = 0; i < outQueue_.count; ++i) {
      outQueue_.items[(outQueue_.head + i) % kOutQueue]->flags &= ~kWaveHeaderQueued;
    }
    outQueue_.clear();
  }
  return kWaveOk;
}

WaveResult SimAudio::close(WaveHandle handle) {
  const WaveResult r = reset(handle);
  if (r != kWaveOk) return r;
  std::lock_guard lock(mutex_);
  if (in_.open && handle == in_.handle) in_ = Port{};
  if (out_.open && handle == out_.handle) out_ = Port{};
  return kWaveOk;
}

void SimAudio::errorText(WaveResult code, char* text, size_t capacity) const {
  waveErrorText(code, text, capacity);
}

bool SimAudio::runningLocked() const {
  return (in_.open && inStarted_) || outQueue_.count > 0;
}

bool SimAudio::busyLocked() const {
  return (in_.open && inStarted_ && inQueue_.count > 0) || outQueue_.count > 0;
}

int SimAudio::stepLocked(std::array<Pending, kMaxNotices>& out) {
  int notices = 0;
  auto notify = [&](const Port& port, WaveNoticeKind kind, WaveHeader* h) {
    if (port.notifier != nullptr) out[notices++] = Pending{port.notifier, {kind, port.handle, h}};
  };

  // Output: the next frame of the head buffer, or silence. A buffer is
  // returned as soon as its last frame has gone out.
  std::array<int16_t, 2> frame{0, 0};
  while (outQueue_.count > 0 && notices < kMaxNotices) {
    WaveHeader* h = outQueue_.front();
    const uint32_t frames = h->lengthBytes / 4;
    if (outQueue_.posFrames < frames) {
      frame = {h->data[2 * outQueue_.posFrames], h->data[2 * outQueue_.posFrames + 1]};
      if (++outQueue_.posFrames == frames) {
        outQueue_.pop();
        notify(out_, WaveNoticeKind::outputDone, h);
      }
      break;
    }
    outQueue_.pop();  // an empty buffer
    notify(out_, WaveNoticeKind::outputDone, h);
  }
  played_[static_cast<size_t>(clock_ & (kHistory - 1))] = frame;

  if (in_.open && inStarted_) {
    auto playedAt = [&](int64_t delay, int ch) -> double {
      const int64_t t = clock_ - delay;
      return t < 0 ? 0.0 : played_[static_cast<size_t>(t & (kHistory - 1))][ch];
    };
    constexpr int64_t latency = SoundCardModel::kLatencyFrames;
    double left = playedAt(latency, 0);
    double right = playedAt(latency, 1);
    switch (inDevice_) {
      case kInputLoudspeaker: left = speaker_.process(playedAt(latency + acousticDelay_, 0)); break;
      case kInputJig:
      case kInputJigAddedMass: jig_.process(left, left, right); break;
      default: break;
    }
    const int16_t l = card_.record(left);
    const int16_t r = card_.record(right);

    // Buffers fill back to back; empty ones are returned when reached.
    bool stored = false;
    while (inQueue_.count > 0 && notices < kMaxNotices) {
      WaveHeader* h = inQueue_.front();
      const uint32_t frames = h->lengthBytes / 4;
      if (inQueue_.posFrames < frames && !stored) {
        h->data[2 * inQueue_.posFrames] = l;
        h->data[2 * inQueue_.posFrames + 1] = r;
        ++inQueue_.posFrames;
        stored = true;
      }
      if (inQueue_.posFrames < frames) break;
      inQueue_.pop();
      notify(in_, WaveNoticeKind::inputData, h);
    }
  }
  ++clock_;
  return notices;
}

int64_t SimAudio::advance(int64_t frames) {
  int64_t done = 0;
  while (done < frames) {
    std::array<Pending, kMaxNotices> pending;
    int count = 0;
    {
      std::lock_guard lock(mutex_);
      while (done < frames && count == 0 && runningLocked()) {
        count = stepLocked(pending);
        ++done;
      }
      if (count == 0) break;
    }
    // Outside the lock: a receiver may queue buffers from inside post.
    for (int i = 0; i < count; ++i) pending[i].target->post(pending[i].notice);
  }
  return done;
}

int64_t SimAudio::runUntilIdle(int64_t maxFrames) {
  int64_t done = 0;
  while (done < maxFrames) {
    {
      std::lock_guard lock(mutex_);
      if (!busyLocked()) break;
    }
    const int64_t n = advance(std::min<int64_t>(4096, maxFrames - done));
    if (n == 0) break;
    done += n;
  }
  return done;
}

void SimAudio::paceLoop() {
  using clock = std::chrono::steady_clock;
  std::unique_lock lock(mutex_);
  while (!quit_) {
    wake_.wait(lock, [&] { return quit_ || runningLocked(); });
    if (quit_) break;
    // The clock (re)starts now; it keeps to real time from here on.
    const auto t0 = clock::now();
    int64_t due = 0;
    while (!quit_ && runningLocked()) {
      const int32_t rate = in_.open ? in_.rate : out_.rate;
      wake_.wait_for(lock, std::chrono::milliseconds(5), [&] { return quit_; });
      if (quit_) break;
      const double elapsed = std::chrono::duration<double>(clock::now() - t0).count();
      const auto target = static_cast<int64_t>(elapsed * rate);
      const int64_t n = target - due;
      due = target;
      lock.unlock();
      advance(n);
      lock.lock();
    }
  }
}
