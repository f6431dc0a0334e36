#include "platform/combined_audio.h"

#include <cstdio>

void CombinedWaveAudio::SimNotifier::post(const WaveNotice& notice) {
  WaveNotifier* t = target.load(std::memory_order_acquire);
  if (t == nullptr) return;
  WaveNotice marked = notice;
  marked.handle |= kSimHandleBit;
  t->post(marked);
}

CombinedWaveAudio::CombinedWaveAudio(WaveAudio* real, SimAudio& sim)
    : real_(real),
      sim_(sim),
      simFirst_(real == nullptr || real->deviceCount(WaveDirection::output) == 0 ||
                real->deviceCount(WaveDirection::input) == 0) {}

WaveResult CombinedWaveAudio::refreshDevices() {
  WaveResult r = kWaveOk;
  if (real_ != nullptr) r = real_->refreshDevices();
  if (r == kWaveErrAllocated) return r;
  simFirst_ = real_ == nullptr || real_->deviceCount(WaveDirection::output) == 0 ||
              real_->deviceCount(WaveDirection::input) == 0;
  return r;
}

int CombinedWaveAudio::deviceCount(WaveDirection dir) const {
  return (real_ != nullptr ? real_->deviceCount(dir) : 0) + sim_.deviceCount(dir);
}

CombinedWaveAudio::Route CombinedWaveAudio::route(WaveDirection dir, int id) const {
  const int realCount = real_ != nullptr ? real_->deviceCount(dir) : 0;
  const int simCount = sim_.deviceCount(dir);
  if (id < 0 || id >= realCount + simCount) return {nullptr, -1};
  if (simFirst_) {
    return id < simCount ? Route{&sim_, id} : Route{real_, id - simCount};
  }
  return id < realCount ? Route{real_, id} : Route{&sim_, id - realCount};
}

void CombinedWaveAudio::deviceName(WaveDirection dir, int id, char* text,
                                   size_t capacity) const {
  const Route r = route(dir, id);
  if (r.backend == nullptr) {
    if (capacity > 0) text[0] = '\0';
    return;
  }
  r.backend->deviceName(dir, r.id, text, capacity);
}

WaveResult CombinedWaveAudio::open(WaveDirection dir, int id, const WaveFormat& format,
                                   WaveNotifier* notifier, WaveHandle& handle) {
  handle = kNoWaveHandle;
  const Route r = route(dir, id);
  if (r.backend == nullptr) return kWaveErrBadDeviceId;
  const bool output = dir == WaveDirection::output;
  if (r.backend == &sim_) {
    SimNotifier& relay = output ? simOut_ : simIn_;
    relay.target.store(notifier, std::memory_order_release);
    WaveNotifier* n = notifier != nullptr ? &relay : nullptr;
    WaveHandle h = kNoWaveHandle;
    const WaveResult res =
        output ? sim_.openOutput(r.id, format, n, h) : sim_.openInput(r.id, format, n, h);
    if (res == kWaveOk) handle = h | kSimHandleBit;
    return res;
  }
  WaveHandle h = kNoWaveHandle;
  const WaveResult res = output ? real_->openOutput(r.id, format, notifier, h)
                                : real_->openInput(r.id, format, notifier, h);
  if (res != kWaveOk) return res;
  if (h & kSimHandleBit) {
    // Can't be told apart from a simulated device; never expected.
    real_->close(h);
    return kWaveErrUnknown;
  }
  handle = h;
  return kWaveOk;
}

WaveResult CombinedWaveAudio::openOutput(int id, const WaveFormat& format, WaveNotifier* notifier,
                                         WaveHandle& handle) {
  return open(WaveDirection::output, id, format, notifier, handle);
}

WaveResult CombinedWaveAudio::openInput(int id, const WaveFormat& format, WaveNotifier* notifier,
                                        WaveHandle& handle) {
  return open(WaveDirection::input, id, format, notifier, handle);
}

WaveAudio* CombinedWaveAudio::owner(WaveHandle handle) const {
  if (handle == kNoWaveHandle) return nullptr;
  if (handle & kSimHandleBit) return &sim_;
  return real_;
}

WaveResult CombinedWaveAudio::prepare(WaveHandle handle, WaveHeader& header) {
  WaveAudio* b = owner(handle);
  return b != nullptr ? b->prepare(inner(handle), header) : kWaveErrInvalidHandle;
}

WaveResult CombinedWaveAudio::unprepare(WaveHandle handle, WaveHeader& header) {
  WaveAudio* b = owner(handle);
  return b != nullptr ? b->unprepare(inner(handle), header) : kWaveErrInvalidHandle;
}

WaveResult CombinedWaveAudio::addBuffer(WaveHandle input, WaveHeader& header) {
  WaveAudio* b = owner(input);
  return b != nullptr ? b->addBuffer(inner(input), header) : kWaveErrInvalidHandle;
}

WaveResult CombinedWaveAudio::start(WaveHandle input) {
  WaveAudio* b = owner(input);
  return b != nullptr ? b->start(inner(input)) : kWaveErrInvalidHandle;
}

WaveResult CombinedWaveAudio::write(WaveHandle output, WaveHeader& header) {
  WaveAudio* b = owner(output);
  return b != nullptr ? b->write(inner(output), header) : kWaveErrInvalidHandle;
}

WaveResult CombinedWaveAudio::reset(WaveHandle handle) {
  WaveAudio* b = owner(handle);
  return b != nullptr ? b->reset(inner(handle)) : kWaveErrInvalidHandle;
}

WaveResult CombinedWaveAudio::close(WaveHandle handle) {
  WaveAudio* b = owner(handle);
  return b != nullptr ? b->close(inner(handle)) : kWaveErrInvalidHandle;
}

void CombinedWaveAudio::errorText(WaveResult code, char* text, size_t capacity) const {
  // Shared codes read the same everywhere; only the real backend adds its own.
  if (real_ != nullptr) {
    real_->errorText(code, text, capacity);
  } else {
    waveErrorText(code, text, capacity);
  }
}
