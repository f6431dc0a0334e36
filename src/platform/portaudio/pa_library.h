#pragma once
// PortAudio as a library loaded at run time, and a thread to run its calls
// with a time limit.
//
// PortAudio keeps all its state in the library's globals, and its device list
// is taken once, when it is initialised. Seeing a device list again means
// terminating and initialising it again, but terminating its JACK host API
// after the JACK server went away aborts the process (PortAudio asserts that
// its client closed), and closing its streams then blocks. A library state
// that met a dead server can therefore never be terminated; it is abandoned
// as it is, and a fresh state comes from another copy of the library: the
// first is the system's libportaudio.so.2 itself, each further one an
// in-memory copy of that file (a memfd), which the dynamic linker loads as a
// separate object with globals of its own. Every copy is loaded locally
// (RTLD_LOCAL) and the program links no PortAudio, so each copy's calls to
// its own functions bind to itself. The system's ALSA and JACK libraries
// stay shared.
//
// A copy whose state was terminated cleanly is kept for reuse by the next
// backend; a copy is never unloaded (a thread of it may still run).

#include <portaudio.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct PaLibrary {
  PaError (*initialize)() = nullptr;
  PaError (*terminate)() = nullptr;
  PaDeviceIndex (*getDeviceCount)() = nullptr;
  const PaDeviceInfo* (*getDeviceInfo)(PaDeviceIndex) = nullptr;
  const PaHostApiInfo* (*getHostApiInfo)(PaHostApiIndex) = nullptr;
  PaHostApiIndex (*hostApiTypeIdToHostApiIndex)(PaHostApiTypeId) = nullptr;
  PaError (*isFormatSupported)(const PaStreamParameters*, const PaStreamParameters*,
                               double) = nullptr;
  PaError (*openStream)(PaStream**, const PaStreamParameters*, const PaStreamParameters*, double,
                        unsigned long, PaStreamFlags, PaStreamCallback*, void*) = nullptr;
  PaError (*setStreamFinishedCallback)(PaStream*, PaStreamFinishedCallback*) = nullptr;
  PaError (*startStream)(PaStream*) = nullptr;
  PaError (*abortStream)(PaStream*) = nullptr;
  PaError (*closeStream)(PaStream*) = nullptr;
  PaError (*isStreamActive)(PaStream*) = nullptr;
  const char* (*getErrorText)(PaError) = nullptr;
  const PaHostErrorInfo* (*getLastHostErrorInfo)() = nullptr;
  // The name PortAudio's JACK host API registered with the server; null in
  // a build of PortAudio without JACK.
  PaError (*jackClientName)(const char**) = nullptr;
  int copyNumber = 0;  // 0 for the system's file, 1, 2, ... for the copies

  // A copy of the library free for use: one given back, or a newly loaded
  // one. Null, with the reason in error, when it can't be loaded.
  static PaLibrary* acquire(std::string& error);
  // Gives back a copy whose state was terminated cleanly.
  static void release(PaLibrary* library);
  // Copies loaded in this process so far.
  static int loadedCount();
};

// Runs calls on a thread of its own and waits for each at most a given time.
// A call that takes longer is given up on: the thread is left to finish it
// (or to stay blocked) on its own, and every later call fails at once. The
// calls must therefore keep nothing of the caller's by reference: each
// returns its result by value and captures its arguments by value.
class BoundedCaller {
 public:
  struct Result {
    bool returned = false;  // false: given up on (or refused after that)
    long value = 0;
    void* pointer = nullptr;
  };
  using Call = std::function<Result()>;

  BoundedCaller();
  // Ends the thread, or leaves it behind if a call was given up on.
  ~BoundedCaller();
  BoundedCaller(const BoundedCaller&) = delete;
  BoundedCaller& operator=(const BoundedCaller&) = delete;

  // call's result with returned = true, or returned = false when it did not
  // return within limit.
  Result run(Call call, std::chrono::milliseconds limit);
  bool gaveUp() const { return gaveUp_; }

 private:
  struct Shared {
    std::mutex mutex;
    std::condition_variable wake;
    Call call;
    bool pending = false;
    bool finished = false;
    bool quit = false;
    Result result;
  };
  static void loop(std::shared_ptr<Shared> shared);

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
  bool gaveUp_ = false;
};
