#include "platform/portaudio/pa_audio.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>

#include "platform/portaudio/pa_library.h"

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
  PaDeviceIndex index;  // in the current PortAudio state; -1 when it no longer lists it
  PaHostApiIndex hostApi;
  std::string name;
  bool jack = false;  // on JACK's host API
};

struct Endpoint {
  bool open = false;
  WaveHandle handle = kNoWaveHandle;
  int entry = -1;  // into the direction's device list
  int32_t rate = 0;
  WaveNotifier* notifier = nullptr;
  StreamState* stream = nullptr;
};

// What became of the JACK server that the current PortAudio state is a
// client of.
enum class JackCheck : uint8_t { alive, clientLost, serverGone, noAnswer };

// Tells Impl's open functions to try once more on a fresh PortAudio state.
constexpr WaveResult kRetryFresh = -1;

}  // namespace

struct PaAudio::Impl {
  std::chrono::milliseconds limit;  // for every call that may block

  // The current PortAudio state: a copy of the library, initialised (or
  // not), and the thread its blocking calls run on. A spoiled state met a
  // JACK server that went away, or a call of it never returned: it is never
  // called again nor terminated, only abandoned.
  PaLibrary* lib = nullptr;
  std::unique_ptr<BoundedCaller> caller;
  bool initialised = false;
  bool spoiled = false;
  std::string jackClient;  // PortAudio's client on the JACK server; empty without one

  bool jackGone = false;  // the last device found gone was on a JACK server that went away
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

  explicit Impl(std::chrono::milliseconds callLimit) : limit(callLimit) {
    for (auto& s : streams) {
      s = std::make_unique<StreamState>();
      s->seq = &seq;
    }
  }

  const std::vector<DeviceEntry>& list(WaveDirection dir) const {
    return dir == WaveDirection::output ? outputs : inputs;
  }

  // --- The PortAudio state ---

  // A copy of the library and PortAudio initialised on it; false leaves no
  // usable state (and empty device lists to whoever scans).
  bool initialise() {
    std::string error;
    lib = PaLibrary::acquire(error);
    if (lib == nullptr) return false;
    caller = std::make_unique<BoundedCaller>();
    // On the program's thread: the threads PortAudio's host APIs start here
    // (JACK's client thread) then belong to it rather than to the caller's
    // thread, which ends with the state. Without a server it returns at once.
    if (lib->initialize() != paNoError) {
      // Nothing to terminate; the copy can be used again.
      caller.reset();
      PaLibrary::release(lib);
      lib = nullptr;
      return false;
    }
    initialised = true;
    jackClient.clear();
    const char* name = nullptr;
    if (lib->hostApiTypeIdToHostApiIndex(paJACK) >= 0 && lib->jackClientName != nullptr &&
        lib->jackClientName(&name) == paNoError && name != nullptr) {
      jackClient = name;
    }
    return true;
  }

  // Whether PortAudio's JACK client is still known to a server of the name
  // it connected to: a server that died and came back doesn't know it.
  JackCheck checkJack() {
    if (caller == nullptr) return JackCheck::noAnswer;
    const std::string name = jackClient;
    const BoundedCaller::Result r = caller->run(
        [name] {
          jack_status_t status{};
          jack_client_t* probe = jack_client_open("sonrake-probe", JackNoStartServer, &status);
          if (probe == nullptr)
            return BoundedCaller::Result{true, long(JackCheck::serverGone), nullptr};
          char* uuid = name.empty() ? nullptr : jack_get_uuid_for_client_name(probe, name.c_str());
          const bool known = uuid != nullptr;
          if (uuid != nullptr) jack_free(uuid);
          jack_client_close(probe);
          return BoundedCaller::Result{true, long(known ? JackCheck::alive : JackCheck::clientLost),
                                       nullptr};
        },
        limit);
    if (!r.returned) {
      spoiled = true;
      return JackCheck::noAnswer;
    }
    return static_cast<JackCheck>(r.value);
  }

  // Terminates the current state where that is safe and keeps its copy of
  // the library for reuse; abandons it otherwise (see pa_library.h).
  void endState() {
    if (lib != nullptr && initialised && !spoiled) {
      bool safe = jackClient.empty() || checkJack() == JackCheck::alive;
      if (safe) {
        PaLibrary* l = lib;
        safe =
            caller->run(
                      [l] {
                        return BoundedCaller::Result{true, l->terminate(), nullptr};
                      },
                      limit)
                .returned;
      }
      if (safe) {
        caller.reset();
        PaLibrary::release(lib);
        lib = nullptr;
      }
    }
    // Whatever is left is abandoned: its copy stays loaded and unused, a
    // thread blocked in it stays blocked.
    caller.reset();
    lib = nullptr;
    initialised = false;
    spoiled = false;
    jackClient.clear();
  }

  std::vector<DeviceEntry> scan(bool output) const {
    std::vector<DeviceEntry> found;
    if (!initialised) return found;
    const PaDeviceIndex count = lib->getDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
      const PaDeviceInfo* info = lib->getDeviceInfo(i);
      if (info == nullptr) continue;
      const PaHostApiInfo* api = lib->getHostApiInfo(info->hostApi);
      std::string name = info->name != nullptr ? info->name : "";
      if (api != nullptr && api->name != nullptr) name += std::string(" (") + api->name + ")";
      const bool jack = api != nullptr && api->type == paJACK;
      if ((output ? info->maxOutputChannels : info->maxInputChannels) >= 2) {
        found.push_back({i, info->hostApi, name, jack});
      }
    }
    return found;
  }

  // Each listed device takes the place of its name in the fresh scan (the
  // k-th of a name the k-th); a name no longer there is marked gone. The
  // lists keep their length and order, so device numbers stay meaningful.
  static void rematch(std::vector<DeviceEntry>& listed, const std::vector<DeviceEntry>& fresh) {
    for (size_t i = 0; i < listed.size(); ++i) {
      size_t before = 0;
      for (size_t j = 0; j < i; ++j) before += listed[j].name == listed[i].name ? 1 : 0;
      listed[i].index = -1;
      for (const DeviceEntry& f : fresh) {
        if (f.name != listed[i].name) continue;
        if (before-- > 0) continue;
        listed[i].index = f.index;
        listed[i].hostApi = f.hostApi;
        break;
      }
    }
  }

  bool anyStream() const { return streams[0]->inUse || streams[1]->inUse; }

  // A fresh PortAudio state: the lists are taken anew (keepNumbers false) or
  // matched by name to the ones the program holds.
  void renew(bool keepNumbers) {
    endState();
    initialise();
    if (keepNumbers) {
      rematch(outputs, scan(true));
      rematch(inputs, scan(false));
    } else {
      outputs = scan(true);
      inputs = scan(false);
    }
  }

  // Before a device is opened: a spoiled state, or a device the current
  // state doesn't list, calls for a fresh state (a server may be back),
  // as long as no stream of the current one is open.
  WaveResult readyFor(const DeviceEntry& dev) {
    if ((spoiled || !initialised || dev.index < 0) && !anyStream()) renew(true);
    if (dev.index >= 0 && initialised && !spoiled) return kWaveOk;
    if (dev.index < 0) {
      jackGone = dev.jack;
      return kWaveErrDeviceGone;
    }
    return initialised ? kWaveErrNotResponding : kWaveErrNoDriver;
  }

  // A failure of PortAudio on a device. On JACK's host API PortAudio says
  // only "Insufficient memory" when its server can't be reached: if the
  // server is gone the device is reported gone; if a server of that name is
  // back (one that doesn't know our client), a fresh state is worth a try.
  // On ALSA a device whose PCM can no longer be opened is gone too (ALSA's
  // "pipewire" device once the PipeWire server has stopped, for which
  // PortAudio says "Illegal combination of I/O devices").
  WaveResult failure(PaError e, const DeviceEntry& dev, bool output) {
    if (!dev.jack) {
      const PaHostApiInfo* api = lib != nullptr ? lib->getHostApiInfo(dev.hostApi) : nullptr;
      if (api != nullptr && api->type == paALSA && e != paInvalidSampleRate &&
          e != paSampleFormatNotSupported && !alsaPcmOpens(dev, output)) {
        return kWaveErrDeviceGone;
      }
      return paCode(e);
    }
    switch (checkJack()) {
      case JackCheck::alive: return paCode(e);
      case JackCheck::serverGone:
        spoiled = true;
        jackGone = true;
        return kWaveErrDeviceGone;
      case JackCheck::clientLost:
        spoiled = true;
        return anyStream() ? kWaveErrDeviceGone : kRetryFresh;
      case JackCheck::noAnswer: break;
    }
    return kWaveErrNotResponding;
  }

  // PortAudio names an ALSA card's device "<card>: <device> (hw:C,D)" and a
  // plugin device by its PCM name; the PCM opens (and is closed at once).
  bool alsaPcmOpens(const DeviceEntry& dev, bool output) const {
    const PaDeviceInfo* info = lib->getDeviceInfo(dev.index);
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

  PaStreamParameters params(const DeviceEntry& d, bool output) const {
    const PaDeviceInfo* info = lib->getDeviceInfo(d.index);
    PaStreamParameters p{};
    p.device = d.index;
    p.channelCount = 2;
    p.sampleFormat = paInt16;
    // The high latency: a run is long and must not lose samples.
    p.suggestedLatency = output ? info->defaultHighOutputLatency : info->defaultHighInputLatency;
    p.hostApiSpecificStreamInfo = nullptr;
    return p;
  }

  // kWaveOk when the device takes 16-bit stereo at rate (a bounded call).
  WaveResult checkFormat(const DeviceEntry& dev, bool output, double rate) {
    const PaStreamParameters p = params(dev, output);
    PaLibrary* l = lib;
    const BoundedCaller::Result r = caller->run(
        [l, p, output, rate] {
          const PaError e = output ? l->isFormatSupported(nullptr, &p, rate)
                                   : l->isFormatSupported(&p, nullptr, rate);
          return BoundedCaller::Result{true, e, nullptr};
        },
        limit);
    if (!r.returned) {
      spoiled = true;
      return kWaveErrNotResponding;
    }
    return r.value == paFormatIsSupported ? kWaveOk
                                          : failure(static_cast<PaError>(r.value), dev, output);
  }

  StreamState* freeStream() {
    for (auto& s : streams) {
      if (!s->inUse) return s.get();
    }
    return nullptr;
  }

  // A state its stream's callback may still reach is kept alive for good;
  // its slot gets a fresh one. Under the mutex.
  void retire(StreamState* s) {
    for (auto& slot : streams) {
      if (slot.get() != s) continue;
      abandoned.push_back(std::move(slot));
      slot = std::make_unique<StreamState>();
      slot->seq = &seq;
    }
  }

  // Opens a stream for the open endpoints given (either may be null).
  WaveResult openStream(Endpoint* input, Endpoint* output) {
    StreamState* s = freeStream();
    if (s == nullptr) return kWaveErrAllocated;
    const DeviceEntry& dev = input != nullptr ? inputs[static_cast<size_t>(input->entry)]
                                              : outputs[static_cast<size_t>(output->entry)];
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
    s->shut.store(false);
    s->hasInput = input != nullptr;
    s->hasOutput = output != nullptr;
    s->inHandle = input != nullptr ? input->handle : kNoWaveHandle;
    s->outHandle = output != nullptr ? output->handle : kNoWaveHandle;
    s->inNotifier = input != nullptr ? input->notifier : nullptr;
    s->outNotifier = output != nullptr ? output->notifier : nullptr;
    s->rate = rate;
    s->errorPosted = false;
    s->jack = dev.jack;
    s->dead = false;

    PaLibrary* l = lib;
    const bool hasIn = input != nullptr;
    const bool hasOut = output != nullptr;
    const BoundedCaller::Result r = caller->run(
        [l, ip, op, hasIn, hasOut, rate, s] {
          PaStream* stream = nullptr;
          const PaError e = l->openStream(&stream, hasIn ? &ip : nullptr, hasOut ? &op : nullptr,
                                          rate, paFramesPerBufferUnspecified,
                                          paDitherOff | paClipOff, &streamCallback, s);
          if (e == paNoError) l->setStreamFinishedCallback(stream, &streamFinished);
          return BoundedCaller::Result{true, e, stream};
        },
        limit);
    if (!r.returned) {
      // The stream may yet come to be, with this state as its callback's.
      spoiled = true;
      s->shut.store(true);
      std::lock_guard lock(mutex);
      retire(s);
      return kWaveErrNotResponding;
    }
    if (r.value != paNoError) return failure(static_cast<PaError>(r.value), dev, input == nullptr);
    {
      std::lock_guard lock(mutex);
      s->stream = static_cast<PaStream*>(r.pointer);
      s->inUse = true;
    }
    wake.notify_all();
    if (input != nullptr) input->stream = s;
    if (output != nullptr) output->stream = s;
    return kWaveOk;
  }

  // Keeps a dead stream's callback away from its queues: raises `shut`, then
  // waits (at most 0.5 s) for a call under way to end.
  static void shutCallback(StreamState& s) {
    s.shut.store(true);
    for (int i = 0; i < 500 && s.inCallback.load() != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  // A stream that can't be stopped or closed: left alone for good, and the
  // state it belongs to with it.
  void giveUp(StreamState& s) {
    s.active = false;
    s.dead = true;
    spoiled = true;
    shutCallback(s);
  }

  WaveResult startStream(StreamState& s) {
    if (s.active) return kWaveOk;
    if (s.dead) return kWaveErrNotResponding;
    s.stopping.store(false, std::memory_order_release);
    s.stoppedByItself.store(false, std::memory_order_release);
    PaLibrary* l = lib;
    PaStream* stream = s.stream;
    const BoundedCaller::Result r = caller->run(
        [l, stream] {
          return BoundedCaller::Result{true, l->startStream(stream), nullptr};
        },
        limit);
    if (!r.returned) {
      giveUp(s);
      return kWaveErrNotResponding;
    }
    if (r.value != paNoError) return paCode(static_cast<PaError>(r.value));
    s.active = true;
    return kWaveOk;
  }

  WaveResult stopStream(StreamState& s) {
    if (!s.active) return kWaveOk;
    s.active = false;
    // When the JACK server goes away its streams stop, and PortAudio 19.6
    // would then wait ten minutes in an abort or close for a reply that never
    // comes. Such a stream is left alone for good.
    if (s.jack && lib->isStreamActive(s.stream) != 1) {
      giveUp(s);
      return kWaveOk;
    }
    s.stopping.store(true, std::memory_order_release);
    PaLibrary* l = lib;
    PaStream* stream = s.stream;
    const BoundedCaller::Result r = caller->run(
        [l, stream] {
          return BoundedCaller::Result{true, l->abortStream(stream), nullptr};
        },
        limit);
    if (!r.returned) {
      giveUp(s);
      return kWaveErrNotResponding;
    }
    return kWaveOk;
  }

  Endpoint* endpoint(WaveHandle h) {
    if (h == kNoWaveHandle) return nullptr;
    if (out.open && out.handle == h) return &out;
    if (in.open && in.handle == h) return &in;
    return nullptr;
  }

  WaveResult resetEndpoint(Endpoint& e) {
    StreamState* s = e.stream;
    if (s == nullptr) return kWaveOk;
    const WaveResult r = stopStream(*s);
    if (&e == &in) {
      s->inputRunning.store(false, std::memory_order_release);
      s->deadlineNs.store(0, std::memory_order_release);
      s->in.takeBack();
    } else {
      s->out.takeBack();
    }
    return r;
  }

  WaveResult closeEndpoint(Endpoint& e) {
    WaveResult r = resetEndpoint(e);
    StreamState* s = e.stream;
    const Endpoint& other = &e == &in ? out : in;
    if (s != nullptr && !(other.open && other.stream == s)) {
      if (!s->dead) {
        PaLibrary* l = lib;
        PaStream* stream = s->stream;
        const bool returned =
            caller
                ->run(
                    [l, stream] {
                      return BoundedCaller::Result{true, l->closeStream(stream), nullptr};
                    },
                    limit)
                .returned;
        if (!returned) {
          giveUp(*s);
          r = kWaveErrNotResponding;
        }
      }
      std::lock_guard lock(mutex);
      s->inUse = false;
      if (s->dead) {
        retire(s);
      } else {
        s->stream = nullptr;
      }
    }
    e = Endpoint{};
    return r;
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

  // Opens the endpoint of one direction on device id (see openOutput and
  // openInput); a server found back under its name gets one more try on a
  // fresh state.
  WaveResult open(bool output, int id, const WaveFormat& format, WaveNotifier* notifier,
                  WaveHandle& handle) {
    handle = kNoWaveHandle;
    const auto& devices = output ? outputs : inputs;
    if (id < 0 || id >= static_cast<int>(devices.size())) return kWaveErrBadDeviceId;
    if (!isStereo16(format)) return kWaveErrBadFormat;
    if ((output ? out : in).open) return kWaveErrAllocated;
    WaveResult r = kWaveOk;
    for (int attempt = 0; attempt < 2; ++attempt) {
      const DeviceEntry& dev = devices[static_cast<size_t>(id)];
      r = readyFor(dev);
      if (r == kWaveOk) r = checkFormat(dev, output, format.samplesPerSec);
      if (r == kWaveOk)
        r = output ? openOutputEndpoint(id, format, notifier)
                   : openInputEndpoint(id, dev, format, notifier);
      if (r != kRetryFresh) break;
      r = kWaveErrDeviceGone;
    }
    if (r == kRetryFresh) r = kWaveErrDeviceGone;
    if (r == kWaveOk) {
      handle = (output ? out : in).handle;
      if ((output ? outputs : inputs)[static_cast<size_t>(id)].jack) jackGone = false;
    }
    return r;
  }

  // The stream of an output that no input joined, at its first write.
  WaveResult openOutputStream() {
    for (int attempt = 0; attempt < 2; ++attempt) {
      WaveResult r = readyFor(outputs[static_cast<size_t>(out.entry)]);
      if (r == kWaveOk) r = openStream(nullptr, &out);
      if (r != kRetryFresh) return r;
    }
    return kWaveErrDeviceGone;
  }

  WaveResult openOutputEndpoint(int id, const WaveFormat& format, WaveNotifier* notifier) {
    out = Endpoint{true,     nextHandle++, id, static_cast<int32_t>(format.samplesPerSec),
                   notifier, nullptr};
    return kWaveOk;
  }

  WaveResult openInputEndpoint(int id, const DeviceEntry& dev, const WaveFormat& format,
                               WaveNotifier* notifier) {
    in = Endpoint{true,     nextHandle++, id, static_cast<int32_t>(format.samplesPerSec),
                  notifier, nullptr};
    // One full-duplex stream where possible: its output-to-input delay is fixed.
    const bool duplex = out.open && out.stream == nullptr && out.rate == in.rate &&
                        outputs[static_cast<size_t>(out.entry)].hostApi == dev.hostApi &&
                        outputs[static_cast<size_t>(out.entry)].index >= 0;
    const WaveResult r = openStream(&in, duplex ? &out : nullptr);
    if (r != kWaveOk) in = Endpoint{};
    return r;
  }
};

PaAudio::PaAudio(std::chrono::milliseconds callLimit) : impl_(std::make_unique<Impl>(callLimit)) {
  snd_lib_error_set_handler(&quietAlsa);
  jack_set_error_function(&quietJack);
  jack_set_info_function(&quietJack);
  impl_->initialise();
  impl_->outputs = impl_->scan(true);
  impl_->inputs = impl_->scan(false);
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
  // Terminated only where that is safe (see pa_library.h), else left to the
  // process to release when it ends.
  impl_->endState();
  // A dead stream's state must outlive this object: its host's thread may
  // still call its callback, which reads it. It is kept where the process
  // can still reach it, for as long as the process lives.
  static auto* const graveyard = new std::vector<std::unique_ptr<StreamState>>;
  for (auto& dead : impl_->abandoned) graveyard->push_back(std::move(dead));
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

WaveResult PaAudio::refreshDevices() {
  Impl& m = *impl_;
  if (m.in.open || m.out.open) return kWaveErrAllocated;
  m.renew(false);
  return m.initialised ? kWaveOk : kWaveErrNoDriver;
}

WaveResult PaAudio::openOutput(int id, const WaveFormat& format, WaveNotifier* notifier,
                               WaveHandle& handle) {
  return impl_->open(true, id, format, notifier, handle);
}

WaveResult PaAudio::openInput(int id, const WaveFormat& format, WaveNotifier* notifier,
                              WaveHandle& handle) {
  return impl_->open(false, id, format, notifier, handle);
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
    const WaveResult r = m.openOutputStream();
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
  return impl_->resetEndpoint(*e);
}

WaveResult PaAudio::close(WaveHandle handle) {
  Endpoint* e = impl_->endpoint(handle);
  if (e == nullptr) return kWaveErrInvalidHandle;
  return impl_->closeEndpoint(*e);
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
  const PaLibrary* lib = impl_->lib;
  if (lib == nullptr) {
    std::snprintf(text, capacity, "PortAudio error %d.", static_cast<int>(e));
    return;
  }
  const char* paText = lib->getErrorText(e);
  if (e == paUnanticipatedHostError) {
    const PaHostErrorInfo* info = lib->getLastHostErrorInfo();
    if (info != nullptr && info->errorText != nullptr && info->errorText[0] != '\0') {
      std::snprintf(text, capacity, "%s: %s", paText, info->errorText);
      return;
    }
  }
  std::snprintf(text, capacity, "%s", paText);
}
