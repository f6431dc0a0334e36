#pragma once
// The wave audio seam: everything the sound-card logic needs from a sound
// system, in the shape of a buffer-queue driver. The program hands over
// buffers it owns (prepare, add/write), starts the input, and is told through a
// notifier when a buffer has been filled or played. Backends: the simulated
// devices (sim_audio.h), PortAudio (portaudio/pa_audio.h), and the combination
// of both that the window uses (combined_audio.h).
//
// Threads: every WaveAudio member is called on the program's thread only.
// WaveNotifier::post may be called on a backend's own thread; the receiver
// hands the notice over to the program's thread (in order) and never calls back
// into the backend from inside post.

#include <cstddef>
#include <cstdint>

enum class WaveDirection : uint8_t { output = 0, input = 1 };

// PCM format; the program always uses 16-bit stereo (stereo16Format).
struct WaveFormat {
  uint16_t formatTag = 1;  // 1 = PCM
  uint16_t channels = 2;
  uint32_t samplesPerSec = 44100;
  uint32_t avgBytesPerSec = 4 * 44100;
  uint16_t blockAlign = 4;
  uint16_t bitsPerSample = 16;
};

// PCM, 2 channels, 16 bits, block alignment 4, 4 * rate bytes per second.
WaveFormat stereo16Format(int32_t sampleRate);

// True for exactly the format stereo16Format produces (any positive rate).
bool isStereo16(const WaveFormat& format);

// Result codes: 0 is success. Codes below kWaveErrBackendBase are shared by
// all backends; a backend may add its own from kWaveErrBackendBase upwards and
// must then give their texts in errorText.
using WaveResult = int32_t;
inline constexpr WaveResult kWaveOk = 0;
inline constexpr WaveResult kWaveErrUnknown = 1;
inline constexpr WaveResult kWaveErrBadDeviceId = 2;    // no device with that number
inline constexpr WaveResult kWaveErrAllocated = 4;      // device already open
inline constexpr WaveResult kWaveErrInvalidHandle = 5;  // not an open device of this kind
inline constexpr WaveResult kWaveErrNoDriver = 6;       // the sound system is unavailable
inline constexpr WaveResult kWaveErrBadFormat = 32;     // format or rate not supported
inline constexpr WaveResult kWaveErrStillPlaying = 33;  // buffer still queued
inline constexpr WaveResult kWaveErrUnprepared = 34;    // buffer not prepared
inline constexpr WaveResult kWaveErrQueueFull = 40;     // too many buffers queued
inline constexpr WaveResult kWaveErrNotResponding = 50;  // buffers not returned in time
inline constexpr WaveResult kWaveErrDataLost = 51;      // samples dropped during a recording
inline constexpr WaveResult kWaveErrDeviceGone = 52;    // the device or its sound server went away
inline constexpr WaveResult kWaveErrBackendBase = 1000;

// Text of a shared result code into text (capacity bytes, zero-terminated,
// truncated to fit; nothing written when capacity is 0). Unknown codes give
// "Unknown sound card error <code>.".
void waveErrorText(WaveResult code, char* text, size_t capacity);

// An open device; 0 is no device. A backend never reuses a handle value, so a
// notice of a closed device can always be told from one of the open device.
using WaveHandle = uint32_t;
inline constexpr WaveHandle kNoWaveHandle = 0;

inline constexpr uint32_t kWaveHeaderPrepared = 1;  // set by prepare, cleared by unprepare
// Set by addBuffer and write; cleared when the program takes the buffer back
// with unprepare (after its notice) or reset.
inline constexpr uint32_t kWaveHeaderQueued = 2;

// A buffer the program owns and lends to a device. data holds lengthBytes / 4
// interleaved stereo frames. Only the program's thread writes the header; a
// backend's audio thread writes the samples of a queued input buffer and reads
// those of a queued output buffer, and the program must not touch them until
// the buffer's notice has arrived (or the device has been reset).
struct WaveHeader {
  int16_t* data = nullptr;
  uint32_t lengthBytes = 0;
  uint32_t flags = 0;
  uintptr_t user = 0;
};

enum class WaveNoticeKind : uint8_t {
  outputDone,   // the output buffer `header` has been played
  inputData,    // the input buffer `header` has been filled
  deviceError,  // the device failed during a run; `error` says why
};

// What a backend reports, small enough to be copied through any queue.
struct WaveNotice {
  WaveNoticeKind kind = WaveNoticeKind::inputData;
  WaveHandle handle = kNoWaveHandle;  // the device the notice is about
  WaveHeader* header = nullptr;       // null for deviceError
  WaveResult error = kWaveOk;         // kWaveOk except for deviceError
};

class WaveNotifier {
 public:
  // Receives one notice. May run on a backend thread (see the top of this
  // file); must not block for long and must not call into the backend.
  virtual void post(const WaveNotice& notice) = 0;

 protected:
  ~WaveNotifier() = default;
};

class WaveAudio {
 public:
  virtual ~WaveAudio() = default;

  // Number of devices in one direction; 0 is a normal answer.
  virtual int deviceCount(WaveDirection dir) const = 0;
  // Name of device id (0 .. count-1) into text, zero-terminated and truncated
  // to capacity; an empty text for an id out of range.
  virtual void deviceName(WaveDirection dir, int id, char* text, size_t capacity) const = 0;
  // Reads the device lists again (a sound server may have started or
  // stopped since they were taken); numbers given out before no longer
  // hold. Refused with kWaveErrAllocated while a device is open. Backends
  // whose lists never change keep them (the default).
  virtual WaveResult refreshDevices() { return kWaveOk; }

  // Opens a device by number. With a notifier the device reports buffers
  // through it; with nullptr it reports nothing. On success handle is set and
  // kWaveOk returned; on failure handle is kNoWaveHandle.
  virtual WaveResult openOutput(int id, const WaveFormat& format, WaveNotifier* notifier,
                                WaveHandle& handle) = 0;
  virtual WaveResult openInput(int id, const WaveFormat& format, WaveNotifier* notifier,
                               WaveHandle& handle) = 0;

  // Makes a header usable with the device (sets kWaveHeaderPrepared). Preparing
  // a prepared header again is allowed. Fails for a bad handle.
  virtual WaveResult prepare(WaveHandle handle, WaveHeader& header) = 0;
  // Releases a returned header; kWaveErrStillPlaying while it is queued.
  virtual WaveResult unprepare(WaveHandle handle, WaveHeader& header) = 0;

  // Queues an input buffer; buffers fill in the order they were added, as one
  // continuous stream of frames once the input is started. A buffer of length
  // 0 is returned as soon as the stream reaches it.
  virtual WaveResult addBuffer(WaveHandle input, WaveHeader& header) = 0;
  // Starts recording into the queued buffers; starting a running input is a
  // no-op. Frames arriving while no buffer is queued are dropped.
  virtual WaveResult start(WaveHandle input) = 0;
  // Queues an output buffer for playing; playing starts at once (silence is
  // played while nothing is queued).
  virtual WaveResult write(WaveHandle output, WaveHeader& header) = 0;
  // Stops the device and takes back every queued buffer without notices
  // (kWaveHeaderQueued cleared). Notices posted before may still arrive.
  virtual WaveResult reset(WaveHandle handle) = 0;
  // Resets and closes; the handle is invalid afterwards.
  virtual WaveResult close(WaveHandle handle) = 0;

  // Text of any result code this backend returned or reported, as
  // waveErrorText describes.
  virtual void errorText(WaveResult code, char* text, size_t capacity) const = 0;
};
