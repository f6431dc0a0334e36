#pragma once
// Real sound devices through PortAudio, behind the wave audio seam.
//
// Devices are listed per direction in the host's order, those with at least
// two channels in that direction, named "<device> (<host API>)". Streams are
// 16-bit stereo at the run's rate, without dither or clipping, in callback
// mode. When the input and the output device belong to the same host API,
// opening the input turns both into one full-duplex stream, which keeps the
// delay from output to input fixed; otherwise each direction gets a stream of
// its own (the output's is opened at its first write).
//
// The stream callback copies between the device and the buffers queued by the
// program and posts a notice per finished buffer into a lock-free queue; it
// never allocates, locks or logs. A thread of this object takes the notices
// from there every 2 ms and posts them to the notifier, in the order they
// happened. The same thread turns a stalled or failed stream into a
// deviceError notice: samples lost during a recording (kWaveErrDataLost), a
// stream that stopped by itself, or input buffers not back within their
// length + 2 s after start (kWaveErrNotResponding).
//
// The device lists are taken at construction and again by refreshDevices;
// having no device at all is a normal state.
//
// A sound server that goes away must neither hang nor abort the program.
// Every PortAudio call that may block on a device or a server (terminate,
// check a format, open, start, abort and close a stream) runs on a thread of the backend and
// is given up on after callLimit: the call reports kWaveErrNotResponding and
// its stream is abandoned. A PortAudio state whose JACK server went away, or
// one of whose calls was given up on, is never called or terminated again
// (PortAudio would block or abort in it); the next opening starts a fresh
// state on another copy of the library (pa_library.h), so a server that came
// back under its name is used again. Such a renewal keeps the device lists'
// numbers: each listed device is matched by its name in the fresh state, and
// one no longer there is refused with kWaveErrDeviceGone. Devices that
// appeared meanwhile are listed by refreshDevices only.

#include <chrono>
#include <cstdint>
#include <memory>

#include "platform/wave_audio.h"

class PaAudio : public WaveAudio {
 public:
  // Silences ALSA's and JACK's console messages, initialises PortAudio and
  // takes the device lists. If PortAudio can't be initialised the lists are
  // empty and every open fails with kWaveErrBadDeviceId.
  static constexpr std::chrono::milliseconds kDefaultCallLimit{5000};

  explicit PaAudio(std::chrono::milliseconds callLimit = kDefaultCallLimit);
  // Closes whatever is still open, stops the notice thread and releases
  // PortAudio. Notifiers given to the opens must outlive this object.
  ~PaAudio() override;
  PaAudio(const PaAudio&) = delete;
  PaAudio& operator=(const PaAudio&) = delete;

  bool initialised() const;
  // PortAudio's stream status flags (under- and overflows) raised by the
  // callbacks since the last call; clears them.
  uint32_t takeStatusFlags();

  int deviceCount(WaveDirection dir) const override;
  void deviceName(WaveDirection dir, int id, char* text, size_t capacity) const override;
  // PortAudio terminated (where safe) and initialised again, the lists taken
  // anew in PortAudio's order.
  WaveResult refreshDevices() override;
  // One output and one input may be open at a time.
  WaveResult openOutput(int id, const WaveFormat& format, WaveNotifier* notifier,
                        WaveHandle& handle) override;
  WaveResult openInput(int id, const WaveFormat& format, WaveNotifier* notifier,
                       WaveHandle& handle) override;
  WaveResult prepare(WaveHandle handle, WaveHeader& header) override;
  WaveResult unprepare(WaveHandle handle, WaveHeader& header) override;
  WaveResult addBuffer(WaveHandle input, WaveHeader& header) override;
  WaveResult start(WaveHandle input) override;
  WaveResult write(WaveHandle output, WaveHeader& header) override;
  // Stops the device's stream; on a full-duplex stream that stops both
  // directions, and the other direction's buffers go on when it restarts.
  // kWaveErrNotResponding when the stream could not be stopped in time (it
  // is then abandoned; the buffers are taken back all the same).
  WaveResult reset(WaveHandle handle) override;
  // As reset; the handle is invalid afterwards whatever the result.
  WaveResult close(WaveHandle handle) override;
  // PortAudio's own text for its codes, the shared texts otherwise.
  void errorText(WaveResult code, char* text, size_t capacity) const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
