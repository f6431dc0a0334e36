#include "platform/portaudio/pa_audio.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kInSlots = 128;   // input buffers queued at once (the program uses up to 100)
constexpr int kOutSlots = 16;   // output buffers queued at once (the program uses 1)
constexpr int kRingSize = 512;  // notices waiting for the notice thread
constexpr int64_t kGraceNs = 2'000'000'000;  // on top of the recording's length
constexpr auto kPollPeriod = std::chrono::milliseconds(2);

// Our codes for PortAudio's errors: kWaveErrBackendBase + (error - paNotInitialized).
constexpr int kPaCodeSpan = 100;
WaveResult paCode(PaError e) { return kWaveErrBackendBase + (e - paNotInitialized); }

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The console noise of ALSA and JACK, dropped.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
void quietJack(const char*) {}

// Notices from one stream callback (the single producer) to the notice thread
// (the single consumer). Each carries a number from a counter shared by all
// streams, so notices of two streams can be put back in order.
struct NoticeRing {
  std::array<WaveNotice, kRingSize> items{};
  std::array<uint64_t, kRingSize> seqs{};
  std::atomic<uint32_t> head{0};  // written by the producer
  std::atomic<uint32_t> tail{0};  // written by the consumer

  bool push(const WaveNotice& n, uint64_t seq) {
    const uint32_t h = head.load(std::memory_order_relaxed);
    if (h - tail.load(std::memory_order_acquire) == kRingSize) return false;
    items[h % kRingSize] = n;
    seqs[h % kRingSize] = seq;
    head.store(h + 1, std::memory_order_release);
    return true;
  }
  bool pop(WaveNotice& n, uint64_t& seq) {
    const uint32_t t = tail.load(std::memory_order_relaxed);
    if (t == head.load(std::memory_order_acquire)) return false;
    n = items[t % kRingSize];
    seq = seqs[t % kRingSize];
    tail.store(t + 1, std::memory_order_release);
    return true;
  }
  // Only while neither side runs.
  void clear() {
    head.store(0);
    tail.store(0);
  }
};

// A queue of buffers lent to the callback. The program's thread fills a slot
// and then publishes it by raising `queued`; the callback works through them
// and publishes each finished one by raising `done`.
template <int kSlots>
struct BufferQueue {
  std::array<WaveHeader*, kSlots> header{};
  std::array<int16_t*, kSlots> data{};
  std::array<uint32_t, kSlots> frames{};
  std::atomic<uint32_t> queued{0};
  std::atomic<uint32_t> done{0};
  uint32_t pos = 0;  // frames done in the head buffer; the callback's own

  uint32_t pending() const {
    return queued.load(std::memory_order_acquire) - done.load(std::memory_order_acquire);
  }
  bool holds(const WaveHeader* h) const {
    const uint32_t end = queued.load(std::memory_order_relaxed);
    for (uint32_t i = done.load(std::memory_order_acquire); i != end; ++i) {
      if (header[i % kSlots] == h) return true;
    }
    return false;
  }
  uint64_t pendingFrames() const {
    uint64_t n = 0;
    const uint32_t end = queued.load(std::memory_order_relaxed);
    for (uint32_t i = done.load(std::memory_order_acquire); i != end; ++i) n += frames[i % kSlots];
    return n;
  }
  void push(WaveHeader& h) {
    const uint32_t q = queued.load(std::memory_order_relaxed);
    header[q % kSlots] = &h;
    data[q % kSlots] = h.data;
    frames[q % kSlots] = h.lengthBytes / 4;
    queued.store(q + 1, std::memory_order_release);
  }
  // Only while the callback doesn't run: takes every pending buffer back.
  void takeBack() {
    const uint32_t end = queued.load(std::memory_order_relaxed);
    for (uint32_t i = done.load(std::memory_order_relaxed); i != end; ++i) {
      header[i % kSlots]->flags &= ~kWaveHeaderQueued;
    }
    done.store(end, std::memory_order_release);
    pos = 0;
  }
  void clear() {
    queued.store(0);
    done.store(0);
    pos = 0;
  }
};

// One PortAudio stream and everything its callback shares with the rest.
struct StreamState {
  // The program's thread only (read by the notice thread under the mutex).
  PaStream* stream = nullptr;
  bool inUse = false;
  bool active = false;
  bool hasInput = false;
  bool hasOutput = false;
  WaveHandle inHandle = kNoWaveHandle;
  WaveHandle outHandle = kNoWaveHandle;
  WaveNotifier* inNotifier = nullptr;
  WaveNotifier* outNotifier = nullptr;
  int32_t rate = 0;
  bool errorPosted = false;  // one error notice per run
  bool jack = false;         // on JACK's host API
  bool dead = false;         // stopped by itself and can't be stopped or closed

  // Shared with the callback.
  std::atomic<uint64_t>* seq = nullptr;
  BufferQueue<kInSlots> in;
  BufferQueue<kOutSlots> out;
  std::atomic<bool> inputRunning{false};
  std::atomic<uint32_t> runFirst{0};  // index of the first input buffer of the recording
  std::atomic<uint32_t> status{0};
  std::atomic<bool> dataLost{false};
  std::atomic<bool> ringFull{false};
  std::atomic<bool> stopping{false};
  std::atomic<bool> stoppedByItself{false};
  std::atomic<int64_t> deadlineNs{0};  // input buffers due back by then; 0 = none
  // A dead stream's callback may still be called by its host's thread. Once
  // `shut` is raised the callback touches nothing but these two, and
  // `inCallback` counts the calls under way (both sequentially consistent,
  // so the program's thread that has raised `shut` and then sees no call
  // under way owns the queues from then on).
  std::atomic<bool> shut{false};
  std::atomic<int> inCallback{0};
  NoticeRing ring;

  void post(WaveNoticeKind kind, WaveHandle handle, WaveHeader* h) {
    const uint64_t n = seq->fetch_add(1, std::memory_order_relaxed);
    if (!ring.push({kind, handle, h, kWaveOk}, n)) ringFull.store(true, std::memory_order_relaxed);
  }

  // The callback's side: plays the queued output buffers, silence otherwise.
  void play(int16_t* dst, unsigned long frames, PaStreamCallbackFlags flags) {
    uint32_t done = out.done.load(std::memory_order_relaxed);
    const uint32_t queued = out.queued.load(std::memory_order_acquire);
    // A gap in the middle of the excitation spoils the measurement.
    if ((flags & paOutputUnderflow) && out.pos > 0) dataLost.store(true, std::memory_order_relaxed);
    unsigned long f = 0;
    while (done != queued && f < frames) {
      const int slot = static_cast<int>(done % kOutSlots);
      const uint32_t n = out.frames[slot];
      const uint32_t take = std::min<uint32_t>(n - out.pos, static_cast<uint32_t>(frames - f));
      std::memcpy(dst + 2 * f, out.data[slot] + 2 * out.pos, 4 * static_cast<size_t>(take));
      f += take;
      out.pos += take;
      if (out.pos == n) {
        post(WaveNoticeKind::outputDone, outHandle, out.header[slot]);
        out.pos = 0;
        out.done.store(++done, std::memory_order_release);
      }
    }
    std::memset(dst + 2 * f, 0, 4 * static_cast<size_t>(frames - f));
  }

  // The callback's side: fills the queued input buffers back to back.
  void capture(const int16_t* src, unsigned long frames, PaStreamCallbackFlags flags) {
    if (!inputRunning.load(std::memory_order_acquire)) return;
    uint32_t done = in.done.load(std::memory_order_relaxed);
    const uint32_t queued = in.queued.load(std::memory_order_acquire);
    // Samples dropped after the recording has begun leave a hole in it.
    if ((flags & paInputOverflow) && done != queued &&
        (in.pos > 0 || done != runFirst.load(std::memory_order_relaxed))) {
      dataLost.store(true, std::memory_order_relaxed);
    }
    unsigned long f = 0;
    while (done != queued) {
      const int slot = static_cast<int>(done % kInSlots);
      const uint32_t n = in.frames[slot];
      if (in.pos < n) {
        if (f == frames) break;
        const uint32_t take = std::min<uint32_t>(n - in.pos, static_cast<uint32_t>(frames - f));
        int16_t* dst = in.data[slot] + 2 * in.pos;
        if (src != nullptr) {
          std::memcpy(dst, src + 2 * f, 4 * static_cast<size_t>(take));
        } else {
          std::memset(dst, 0, 4 * static_cast<size_t>(take));
        }
        f += take;
        in.pos += take;
      }
      if (in.pos == n) {  // full, or empty from the start
        post(WaveNoticeKind::inputData, inHandle, in.header[slot]);
        in.pos = 0;
        in.done.store(++done, std::memory_order_release);
      }
    }
  }
};

int streamCallback(const void* input, void* output, unsigned long frames,
                   const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags flags, void* user) {
  auto& s = *static_cast<StreamState*>(user);
  s.inCallback.fetch_add(1);
  if (s.shut.load()) {
    if (output != nullptr) std::memset(output, 0, 4 * static_cast<size_t>(frames));
    s.inCallback.fetch_sub(1);
    return paContinue;
  }
  if (flags != 0) s.status.fetch_or(static_cast<uint32_t>(flags), std::memory_order_relaxed);
  if (s.hasOutput) s.play(static_cast<int16_t*>(output), frames, flags);
  if (s.hasInput) s.capture(static_cast<const int16_t*>(input), frames, flags);
  s.inCallback.fetch_sub(1);
  return paContinue;
}

void streamFinished(void* user) {
  auto& s = *static_cast<StreamState*>(user);
  if (!s.stopping.load(std::memory_order_acquire)) {
    s.stoppedByItself.store(true, std::memory_order_release);
  }
}

struct DeviceEntry {
  PaDeviceIndex index;
  PaHostApiIndex hostApi;
  std::string name;
};

struct Endpoint {
  bool open = false;
  WaveHandle handle = kNoWaveHandle;
  int entry = -1;  // into the direction's device list
  int32_t rate = 0;
  WaveNotifier* notifier = nullptr;
  StreamState* stream = nullptr;
};

}  // namespace

struct PaAudio::Impl {
  bool initialised = false;
  bool jackGone = false;  // the JACK server went away while devices were listed on it
  std::vector<DeviceEntry> outputs;
  std::vector<DeviceEntry> inputs;

  std::mutex mutex;  // between the program's thread and the notice thread
  std::condition_variable wake;
  bool quit = false;
  std::thread noticeThread;
  std::atomic<uint64_t> seq{0};

  std::array<std::unique_ptr<StreamState>, 2> streams;
  std::vector<std::unique_ptr<StreamState>> abandoned;  // dead streams, kept for their callbacks
  Endpoint out;
  Endpoint in;
  WaveHandle nextHandle = 1;

  Impl() {
    for (auto& s : streams) {
      s = std::make_unique<StreamState>();
      s->seq = &seq;
    }
  }

  const std::vector<DeviceEntry>& list(WaveDirection dir) const {
    return dir == WaveDirection::output ? outputs : inputs;
  }

  // A failure of PortAudio on a device: on JACK's host API a server that can
  // no longer be reached means the device is gone (PortAudio itself then
  // says only "Insufficient memory"), and it stays gone for this process.
  // On ALSA a device whose PCM can no longer be opened is gone too (ALSA's
  // "pipewire" device once the PipeWire server has stopped, for which
  // PortAudio says "Illegal combination of I/O devices").
  WaveResult failure(PaError e, PaHostApiIndex hostApi, PaDeviceIndex device, bool output) {
    const PaHostApiInfo* api = Pa_GetHostApiInfo(hostApi);
    if (api != nullptr && api->type == paJACK && !jackServerReachable()) {
      jackGone = true;
      return kWaveErrDeviceGone;
    }
    if (api != nullptr && api->type == paALSA && e != paInvalidSampleRate &&
        e != paSampleFormatNotSupported && !alsaPcmOpens(device, output)) {
      return kWaveErrDeviceGone;
    }
    return paCode(e);
  }

  // PortAudio names an ALSA card's device "<card>: <device> (hw:C,D)" and a
  // plugin device by its PCM name; the PCM opens (and is closed at once).
  static bool alsaPcmOpens(PaDeviceIndex device, bool output) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (info == nullptr || info->name == nullptr) return true;
    std::string pcm = info->name;
    const size_t open = pcm.rfind("(hw:");
    if (open != std::string::npos && pcm.back() == ')')
      pcm = pcm.substr(open + 1, pcm.size() - open - 2);
    snd_pcm_t* handle = nullptr;
    const int r =
        snd_pcm_open(&handle, pcm.c_str(),
                     output ? SND_PCM_STREAM_PLAYBACK : SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (r < 0) return r == -EBUSY;  // a card another program holds is still there
    snd_pcm_close(handle);
    return true;
  }

  static bool jackServerReachable() {
    jack_status_t status{};
    jack_client_t* probe = jack_client_open("sonrake-probe", JackNoStartServer, &status);
    if (probe == nullptr) return false;
    jack_client_close(probe);
    return true;
  }

  PaStreamParameters params(const DeviceEntry& d, bool output) const {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(d.index);
    PaStreamParameters p{};
    p.device = d.index;
    p.channelCount = 2;
    p.sampleFormat = paInt16;
    // The high latency: a run is long and must not lose samples.
    p.suggestedLatency = output ? info->defaultHighOutputLatency : info->defaultHighInputLatency;
    p.hostApiSpecificStreamInfo = nullptr;
    return p;
  }

  StreamState* freeStream() {
    for (auto& s : streams) {
      if (!s->inUse) return s.get();
    }
    return nullptr;
  }

  // Opens a stream for the open endpoints given (either may be null).
  WaveResult openStream(Endpoint* input, Endpoint* output) {
    StreamState* s = freeStream();
    if (s == nullptr) return kWaveErrAllocated;
    PaStreamParameters ip{}, op{};
    if (input != nullptr) ip = params(inputs[static_cast<size_t>(input->entry)], false);
    if (output != nullptr) op = params(outputs[static_cast<size_t>(output->entry)], true);
    const int32_t rate = input != nullptr ? input->rate : output->rate;

    s->in.clear();
    s->out.clear();
    s->ring.clear();
    s->inputRunning.store(false);
    s->status.store(0);
    s->dataLost.store(false);
    s->ringFull.store(false);
    s->stopping.store(false);
    s->stoppedByItself.store(false);
    s->deadlineNs.store(0);
    s->hasInput = input != nullptr;
    s->hasOutput = output != nullptr;
    s->inHandle = input != nullptr ? input->handle : kNoWaveHandle;
    s->outHandle = output != nullptr ? output->handle : kNoWaveHandle;
    s->inNotifier = input != nullptr ? input->notifier : nullptr;
    s->outNotifier = output != nullptr ? output->notifier : nullptr;
    s->rate = rate;
    s->active = false;
    s->errorPosted = false;
    const PaDeviceInfo* dev = Pa_GetDeviceInfo(input != nullptr ? ip.device : op.device);
    const PaHostApiInfo* api = dev != nullptr ? Pa_GetHostApiInfo(dev->hostApi) : nullptr;
    s->jack = api != nullptr && api->type == paJACK;
    s->dead = false;

    PaStream* stream = nullptr;
    const PaError e = Pa_OpenStream(&stream, input != nullptr ? &ip : nullptr,
                                    output != nullptr ? &op : nullptr, rate,
                                    paFramesPerBufferUnspecified, paDitherOff | paClipOff,
                                    &streamCallback, s);
    if (e != paNoError) {
      return failure(e, dev != nullptr ? dev->hostApi : -1,
                     input != nullptr ? ip.device : op.device, input == nullptr);
    }
    Pa_SetStreamFinishedCallback(stream, &streamFinished);
    {
      std::lock_guard lock(mutex);
      s->stream = stream;
      s->inUse = true;
    }
    wake.notify_all();
    if (input != nullptr) input->stream = s;
    if (output != nullptr) output->stream = s;
    return kWaveOk;
  }

  WaveResult startStream(StreamState& s) {
    if (s.active) return kWaveOk;
    s.stopping.store(false, std::memory_order_release);
    s.stoppedByItself.store(false, std::memory_order_release);
    const PaError e = Pa_StartStream(s.stream);
    if (e != paNoError) return paCode(e);
    s.active = true;
    return kWaveOk;
  }

  // Keeps a dead stream's callback away from its queues: raises `shut`, then
  // waits (at most 0.5 s) for a call under way to end.
  static void shutCallback(StreamState& s) {
    s.shut.store(true);
    for (int i = 0; i < 500 && s.inCallback.load() != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  void stopStream(StreamState& s) {
    if (!s.active) return;
    s.active = false;
    // When the JACK server goes away its streams stop, and PortAudio 19.6
    // would then wait ten minutes in an abort or close for a reply that never
    // comes. Such a stream is left alone for good.
    if (s.jack && Pa_IsStreamActive(s.stream) != 1) {
      s.dead = true;
      shutCallback(s);
      return;
    }
    s.stopping.store(true, std::memory_order_release);
    Pa_AbortStream(s.stream);
  }

  Endpoint* endpoint(WaveHandle h) {
    if (h == kNoWaveHandle) return nullptr;
    if (out.open && out.handle == h) return &out;
    if (in.open && in.handle == h) return &in;
    return nullptr;
  }

  void resetEndpoint(Endpoint& e) {
    StreamState* s = e.stream;
    if (s == nullptr) return;
    stopStream(*s);
    if (&e == &in) {
      s->inputRunning.store(false, std::memory_order_release);
      s->deadlineNs.store(0, std::memory_order_release);
      s->in.takeBack();
    } else {
      s->out.takeBack();
    }
  }

  void closeEndpoint(Endpoint& e) {
    resetEndpoint(e);
    StreamState* s = e.stream;
    const Endpoint& other = &e == &in ? out : in;
    if (s != nullptr && !(other.open && other.stream == s)) {
      if (!s->dead) Pa_CloseStream(s->stream);
      std::lock_guard lock(mutex);
      s->inUse = false;
      if (s->dead) {
        // Its slot gets a fresh state; the old one stays alive in case its
        // callback is ever called again.
        for (auto& slot : streams) {
          if (slot.get() != s) continue;
          abandoned.push_back(std::move(slot));
          slot = std::make_unique<StreamState>();
          slot->seq = &seq;
        }
      } else {
        s->stream = nullptr;
      }
    }
    e = Endpoint{};
  }

  // The notice thread: hands notices over in order and watches the streams.
  void noticeLoop() {
    struct Item {
      uint64_t seq;
      WaveNotifier* target;
      WaveNotice notice;
    };
    std::vector<Item> items;
    items.reserve(2 * kRingSize + 4);
    std::unique_lock lock(mutex);
    while (!quit) {
      const bool any = streams[0]->inUse || streams[1]->inUse;
      if (any) {
        wake.wait_for(lock, kPollPeriod, [&] { return quit; });
      } else {
        wake.wait(lock, [&] { return quit || streams[0]->inUse || streams[1]->inUse; });
      }
      if (quit) break;
      items.clear();
      for (auto& sp : streams) {
        StreamState& s = *sp;
        if (!s.inUse) continue;
        WaveNotice n;
        uint64_t number = 0;
        while (s.ring.pop(n, number)) {
          WaveNotifier* t = n.kind == WaveNoticeKind::outputDone ? s.outNotifier : s.inNotifier;
          if (t != nullptr) items.push_back({number, t, n});
        }
        if (s.errorPosted) continue;
        WaveResult error = kWaveOk;
        if (s.dataLost.load(std::memory_order_acquire) ||
            s.ringFull.load(std::memory_order_acquire)) {
          error = kWaveErrDataLost;
        } else if (s.stoppedByItself.load(std::memory_order_acquire)) {
          error = kWaveErrNotResponding;
        } else {
          const int64_t deadline = s.deadlineNs.load(std::memory_order_acquire);
          if (deadline != 0 && s.in.pending() > 0 && nowNs() > deadline) {
            error = kWaveErrNotResponding;
          }
        }
        if (error == kWaveOk) continue;
        const bool toInput = s.hasInput && s.inNotifier != nullptr;
        WaveNotifier* t = toInput ? s.inNotifier : s.outNotifier;
        if (t == nullptr) continue;
        s.errorPosted = true;
        items.push_back({seq.fetch_add(1), t,
                         {WaveNoticeKind::deviceError, toInput ? s.inHandle : s.outHandle,
                          nullptr, error}});
      }
      if (items.empty()) continue;
      std::sort(items.begin(), items.end(),
                [](const Item& a, const Item& b) { return a.seq < b.seq; });
      lock.unlock();
      for (const Item& it : items) it.target->post(it.notice);
      lock.lock();
    }
  }
};

PaAudio::PaAudio() : impl_(std::make_unique<Impl>()) {
  snd_lib_error_set_handler(&quietAlsa);
  jack_set_error_function(&quietJack);
  jack_set_info_function(&quietJack);
  if (Pa_Initialize() != paNoError) return;
  impl_->initialised = true;

  const PaDeviceIndex count = Pa_GetDeviceCount();
  for (PaDeviceIndex i = 0; i < count; ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (info == nullptr) continue;
    const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
    std::string name = info->name != nullptr ? info->name : "";
    if (api != nullptr && api->name != nullptr) name += std::string(" (") + api->name + ")";
    if (info->maxOutputChannels >= 2) impl_->outputs.push_back({i, info->hostApi, name});
    if (info->maxInputChannels >= 2) impl_->inputs.push_back({i, info->hostApi, name});
  }
  impl_->noticeThread = std::thread([this] { impl_->noticeLoop(); });
}

PaAudio::~PaAudio() {
  if (impl_->in.open) impl_->closeEndpoint(impl_->in);
  if (impl_->out.open) impl_->closeEndpoint(impl_->out);
  {
    std::lock_guard lock(impl_->mutex);
    impl_->quit = true;
  }
  impl_->wake.notify_all();
  if (impl_->noticeThread.joinable()) impl_->noticeThread.join();
  // Terminating would close the dead streams too, and hang there, and on a
  // JACK server that went away PortAudio's JACK host API aborts the program;
  // the process is better left to release them when it ends.
  // The same abort comes when the JACK host API's server stopped while only
  // other devices were used (under pw-jack, PipeWire stopping under an ALSA
  // run): PortAudio still holds a client of it.
  const bool jackLost = impl_->initialised && Pa_HostApiTypeIdToHostApiIndex(paJACK) >= 0 &&
                        !Impl::jackServerReachable();
  const bool terminate =
      impl_->initialised && impl_->abandoned.empty() && !impl_->jackGone && !jackLost;
  // A dead stream's state must outlive this object: its host's thread may
  // still call its callback, which reads it. It is kept where the process
  // can still reach it, for as long as the process lives.
  static auto* const graveyard = new std::vector<std::unique_ptr<StreamState>>;
  for (auto& dead : impl_->abandoned) graveyard->push_back(std::move(dead));
  if (terminate) Pa_Terminate();
}

bool PaAudio::initialised() const { return impl_->initialised; }

uint32_t PaAudio::takeStatusFlags() {
  uint32_t flags = 0;
  for (auto& s : impl_->streams) flags |= s->status.exchange(0, std::memory_order_relaxed);
  return flags;
}

int PaAudio::deviceCount(WaveDirection dir) const {
  return static_cast<int>(impl_->list(dir).size());
}

void PaAudio::deviceName(WaveDirection dir, int id, char* text, size_t capacity) const {
  if (capacity == 0) return;
  const auto& l = impl_->list(dir);
  const char* name = id >= 0 && id < static_cast<int>(l.size()) ? l[static_cast<size_t>(id)].name.c_str() : "";
  std::snprintf(text, capacity, "%s", name);
}

WaveResult PaAudio::openOutput(int id, const WaveFormat& format, WaveNotifier* notifier,
                               WaveHandle& handle) {
  handle = kNoWaveHandle;
  Impl& m = *impl_;
  if (id < 0 || id >= static_cast<int>(m.outputs.size())) return kWaveErrBadDeviceId;
  if (!isStereo16(format)) return kWaveErrBadFormat;
  if (m.out.open) return kWaveErrAllocated;
  const DeviceEntry& dev = m.outputs[static_cast<size_t>(id)];
  const PaStreamParameters p = m.params(dev, true);
  const PaError e = Pa_IsFormatSupported(nullptr, &p, format.samplesPerSec);
  if (e != paFormatIsSupported) return m.failure(e, dev.hostApi, dev.index, true);
  m.out = Endpoint{true, m.nextHandle++, id, static_cast<int32_t>(format.samplesPerSec), notifier,
                   nullptr};
  handle = m.out.handle;
  return kWaveOk;
}

WaveResult PaAudio::openInput(int id, const WaveFormat& format, WaveNotifier* notifier,
                              WaveHandle& handle) {
  handle = kNoWaveHandle;
  Impl& m = *impl_;
  if (id < 0 || id >= static_cast<int>(m.inputs.size())) return kWaveErrBadDeviceId;
  if (!isStereo16(format)) return kWaveErrBadFormat;
  if (m.in.open) return kWaveErrAllocated;
  const DeviceEntry& dev = m.inputs[static_cast<size_t>(id)];
  const PaStreamParameters p = m.params(dev, false);
  const PaError e = Pa_IsFormatSupported(&p, nullptr, format.samplesPerSec);
  if (e != paFormatIsSupported) return m.failure(e, dev.hostApi, dev.index, false);
  m.in = Endpoint{true, m.nextHandle++, id, static_cast<int32_t>(format.samplesPerSec), notifier,
                  nullptr};
  // One full-duplex stream where possible: its output-to-input delay is fixed.
  const bool duplex = m.out.open && m.out.stream == nullptr && m.out.rate == m.in.rate &&
                      m.outputs[static_cast<size_t>(m.out.entry)].hostApi == dev.hostApi;
  const WaveResult r = m.openStream(&m.in, duplex ? &m.out : nullptr);
  if (r != kWaveOk) {
    m.in = Endpoint{};
    return r;
  }
  handle = m.in.handle;
  return kWaveOk;
}

WaveResult PaAudio::prepare(WaveHandle handle, WaveHeader& header) {
  if (impl_->endpoint(handle) == nullptr) return kWaveErrInvalidHandle;
  header.flags |= kWaveHeaderPrepared;
  return kWaveOk;
}

WaveResult PaAudio::unprepare(WaveHandle handle, WaveHeader& header) {
  Endpoint* e = impl_->endpoint(handle);
  if (e == nullptr) return kWaveErrInvalidHandle;
  if (e->stream != nullptr) {
    const bool held = e == &impl_->in ? e->stream->in.holds(&header) : e->stream->out.holds(&header);
    if (held) return kWaveErrStillPlaying;
  }
  header.flags &= ~(kWaveHeaderPrepared | kWaveHeaderQueued);
  return kWaveOk;
}

WaveResult PaAudio::addBuffer(WaveHandle input, WaveHeader& header) {
  Impl& m = *impl_;
  if (!m.in.open || input != m.in.handle) return kWaveErrInvalidHandle;
  if (!(header.flags & kWaveHeaderPrepared)) return kWaveErrUnprepared;
  StreamState& s = *m.in.stream;
  if (s.in.holds(&header)) return kWaveErrStillPlaying;
  const uint32_t pendingBefore = s.in.pending();
  if (pendingBefore >= kInSlots) return kWaveErrQueueFull;
  s.in.push(header);
  header.flags |= kWaveHeaderQueued;
  if (s.inputRunning.load(std::memory_order_relaxed)) {
    const int64_t lengthNs =
        static_cast<int64_t>(header.lengthBytes / 4) * 1'000'000'000 / s.rate;
    if (pendingBefore == 0) {
      // A new recording on the running input: the last one's deadline is over.
      s.deadlineNs.store(nowNs() + lengthNs + kGraceNs, std::memory_order_release);
    } else {
      // The recording grew: so does the time it may take.
      s.deadlineNs.fetch_add(lengthNs, std::memory_order_acq_rel);
    }
  }
  return kWaveOk;
}

WaveResult PaAudio::start(WaveHandle input) {
  Impl& m = *impl_;
  if (!m.in.open || input != m.in.handle) return kWaveErrInvalidHandle;
  StreamState& s = *m.in.stream;
  {
    std::lock_guard lock(m.mutex);
    s.errorPosted = false;
  }
  s.dataLost.store(false, std::memory_order_relaxed);
  s.ringFull.store(false, std::memory_order_relaxed);
  s.runFirst.store(s.in.done.load(std::memory_order_acquire), std::memory_order_relaxed);
  s.inputRunning.store(true, std::memory_order_release);
  const WaveResult r = m.startStream(s);
  if (r != kWaveOk) {
    s.inputRunning.store(false, std::memory_order_release);
    return r;
  }
  // Armed once the stream runs: opening a device may take a while.
  const int64_t lengthNs = static_cast<int64_t>(s.in.pendingFrames()) * 1'000'000'000 / s.rate;
  s.deadlineNs.store(nowNs() + lengthNs + kGraceNs, std::memory_order_release);
  return kWaveOk;
}

WaveResult PaAudio::write(WaveHandle output, WaveHeader& header) {
  Impl& m = *impl_;
  if (!m.out.open || output != m.out.handle) return kWaveErrInvalidHandle;
  if (!(header.flags & kWaveHeaderPrepared)) return kWaveErrUnprepared;
  if (m.out.stream == nullptr) {
    // No input joined this output: it plays on a stream of its own.
    const WaveResult r = m.openStream(nullptr, &m.out);
    if (r != kWaveOk) return r;
  }
  StreamState& s = *m.out.stream;
  if (s.out.holds(&header)) return kWaveErrStillPlaying;
  if (s.out.pending() >= kOutSlots) return kWaveErrQueueFull;
  if (!s.active) {
    std::lock_guard lock(m.mutex);
    s.errorPosted = false;
    s.dataLost.store(false, std::memory_order_relaxed);
  }
  s.out.push(header);
  header.flags |= kWaveHeaderQueued;
  const WaveResult r = m.startStream(s);
  if (r != kWaveOk) {
    s.out.takeBack();
    return r;
  }
  return kWaveOk;
}

WaveResult PaAudio::reset(WaveHandle handle) {
  Endpoint* e = impl_->endpoint(handle);
  if (e == nullptr) return kWaveErrInvalidHandle;
  impl_->resetEndpoint(*e);
  return kWaveOk;
}

WaveResult PaAudio::close(WaveHandle handle) {
  Endpoint* e = impl_->endpoint(handle);
  if (e == nullptr) return kWaveErrInvalidHandle;
  impl_->closeEndpoint(*e);
  return kWaveOk;
}

void PaAudio::errorText(WaveResult code, char* text, size_t capacity) const {
  if (capacity == 0) return;
  if (code == kWaveErrDeviceGone && impl_->jackGone) {
    std::snprintf(text, capacity, "The sound device is no longer available: the JACK server has stopped.");
    return;
  }
  if (code < kWaveErrBackendBase || code >= kWaveErrBackendBase + kPaCodeSpan) {
    waveErrorText(code, text, capacity);
    return;
  }
  const PaError e = code - kWaveErrBackendBase + paNotInitialized;
  const char* paText = Pa_GetErrorText(e);
  if (e == paUnanticipatedHostError) {
    const PaHostErrorInfo* info = Pa_GetLastHostErrorInfo();
    if (info != nullptr && info->errorText != nullptr && info->errorText[0] != '\0') {
      std::snprintf(text, capacity, "%s: %s", paText, info->errorText);
      return;
    }
  }
  std::snprintf(text, capacity, "%s", paText);
}
