#include "platform/portaudio/pa_library.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace {

constexpr const char* kSoname = "libportaudio.so.2";

struct Pool {
  std::mutex mutex;
  std::vector<PaLibrary*> free;  // terminated cleanly, ready for use
  // Every copy loaded, in use, free or abandoned: a copy lives as long as the
  // process, and stays reachable here.
  std::vector<PaLibrary*> all;
  int loaded = 0;
  std::string path;  // of the system's library, found at the first load
};

Pool& pool() {
  // Never destroyed: a copy's threads may outlive every static destructor.
  static Pool* const p = new Pool;
  return *p;
}

template <typename F>
bool bind(void* handle, const char* name, F& fn) {
  fn = reinterpret_cast<F>(dlsym(handle, name));
  return fn != nullptr;
}

// The system's library file copied into an anonymous memory file; -1 on
// failure.
int copyIntoMemory(const std::string& path, int number) {
  const int src = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (src < 0) return -1;
  char name[64];
  std::snprintf(name, sizeof name, "sonrake-portaudio-%d", number);
  const int dst = memfd_create(name, MFD_CLOEXEC);
  bool ok = dst >= 0;
  char buffer[1 << 16];
  while (ok) {
    const ssize_t n = read(src, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      ok = false;
      break;
    }
    for (ssize_t done = 0; ok && done < n;) {
      const ssize_t w = write(dst, buffer + done, static_cast<size_t>(n - done));
      ok = w > 0;
      done += w > 0 ? w : 0;
    }
  }
  close(src);
  if (!ok) {
    if (dst >= 0) close(dst);
    return -1;
  }
  return dst;
}

PaLibrary* load(Pool& p, std::string& error) {
  void* handle = nullptr;
  if (p.loaded == 0) {
    handle = dlopen(kSoname, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      error = dlerror();
      return nullptr;
    }
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr) {
      p.path = map->l_name;
    }
  } else {
    if (p.path.empty()) {
      error = "the PortAudio library's file is unknown";
      return nullptr;
    }
    const int fd = copyIntoMemory(p.path, p.loaded);
    if (fd < 0) {
      error = "PortAudio could not be loaded again";
      return nullptr;
    }
    char fdPath[64];
    std::snprintf(fdPath, sizeof fdPath, "/proc/self/fd/%d", fd);
    handle = dlopen(fdPath, RTLD_NOW | RTLD_LOCAL);
    close(fd);  // the mapping stays
    if (handle == nullptr) {
      error = dlerror();
      return nullptr;
    }
  }
  auto* lib = new PaLibrary;
  const bool ok =
      bind(handle, "Pa_Initialize", lib->initialize) &&
      bind(handle, "Pa_Terminate", lib->terminate) &&
      bind(handle, "Pa_GetDeviceCount", lib->getDeviceCount) &&
      bind(handle, "Pa_GetDeviceInfo", lib->getDeviceInfo) &&
      bind(handle, "Pa_GetHostApiInfo", lib->getHostApiInfo) &&
      bind(handle, "Pa_HostApiTypeIdToHostApiIndex", lib->hostApiTypeIdToHostApiIndex) &&
      bind(handle, "Pa_IsFormatSupported", lib->isFormatSupported) &&
      bind(handle, "Pa_OpenStream", lib->openStream) &&
      bind(handle, "Pa_SetStreamFinishedCallback", lib->setStreamFinishedCallback) &&
      bind(handle, "Pa_StartStream", lib->startStream) &&
      bind(handle, "Pa_AbortStream", lib->abortStream) &&
      bind(handle, "Pa_CloseStream", lib->closeStream) &&
      bind(handle, "Pa_IsStreamActive", lib->isStreamActive) &&
      bind(handle, "Pa_GetErrorText", lib->getErrorText) &&
      bind(handle, "Pa_GetLastHostErrorInfo", lib->getLastHostErrorInfo);
  if (!ok) {
    error = "the PortAudio library lacks a function";
    delete lib;
    return nullptr;  // the handle stays loaded: harmless, and never used
  }
  bind(handle, "PaJack_GetClientName", lib->jackClientName);
  lib->copyNumber = p.loaded++;
  p.all.push_back(lib);
  return lib;
}

}  // namespace

PaLibrary* PaLibrary::acquire(std::string& error) {
  Pool& p = pool();
  std::lock_guard lock(p.mutex);
  if (!p.free.empty()) {
    PaLibrary* lib = p.free.back();
    p.free.pop_back();
    return lib;
  }
  return load(p, error);
}

void PaLibrary::release(PaLibrary* library) {
  if (library == nullptr) return;
  Pool& p = pool();
  std::lock_guard lock(p.mutex);
  p.free.push_back(library);
}

int PaLibrary::loadedCount() {
  Pool& p = pool();
  std::lock_guard lock(p.mutex);
  return p.loaded;
}

BoundedCaller::BoundedCaller() : shared_(std::make_shared<Shared>()) {
  thread_ = std::thread(&BoundedCaller::loop, shared_);
}

BoundedCaller::~BoundedCaller() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->quit = true;
  }
  shared_->wake.notify_all();
  if (gaveUp_) {
    // Still inside a call that may never return; it ends by itself if it
    // ever does, and owns its share of the state.
    thread_.detach();
  } else {
    thread_.join();
  }
}

BoundedCaller::Result BoundedCaller::run(Call call, std::chrono::milliseconds limit) {
  if (gaveUp_) return {};
  std::unique_lock lock(shared_->mutex);
  shared_->call = std::move(call);
  shared_->pending = true;
  shared_->finished = false;
  shared_->wake.notify_all();
  if (!shared_->wake.wait_for(lock, limit, [&] { return shared_->finished; })) {
    gaveUp_ = true;
    return {};
  }
  Result r = shared_->result;
  r.returned = true;
  return r;
}

void BoundedCaller::loop(std::shared_ptr<Shared> shared) {
  std::unique_lock lock(shared->mutex);
  for (;;) {
    shared->wake.wait(lock, [&] { return shared->quit || shared->pending; });
    if (!shared->pending) return;  // quit with nothing to do
    Call call = std::move(shared->call);
    shared->pending = false;
    lock.unlock();
    const Result r = call();
    lock.lock();
    shared->result = r;
    shared->finished = true;
    shared->wake.notify_all();
  }
}
