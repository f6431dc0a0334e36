#pragma once
// The device lists the window shows: the real sound devices of one backend
// followed by the simulated ones, behind one WaveAudio. When the real backend
// has no device in one direction or the other (so no real measurement is
// possible), the simulated devices come first in both lists instead, so that
// device 0 in and out is a working pair.
//
// Handles of simulated devices carry kSimHandleBit; a real backend's handles
// must stay below it.

#include <atomic>

#include "platform/sim_audio.h"
#include "platform/wave_audio.h"

class CombinedWaveAudio : public WaveAudio {
 public:
  static constexpr WaveHandle kSimHandleBit = 0x80000000u;

  // real may be null (no real backend). Both must outlive this object; the
  // order of the lists is fixed here, from the backends' counts at this
  // moment, and again by refreshDevices.
  CombinedWaveAudio(WaveAudio* real, SimAudio& sim);

  // True when the simulated devices lead the lists.
  bool simulatorFirst() const { return simFirst_; }

  int deviceCount(WaveDirection dir) const override;
  void deviceName(WaveDirection dir, int id, char* text, size_t capacity) const override;
  // The real backend's lists read again; the simulated devices lead again
  // when no real pair is left, and follow when one appeared.
  WaveResult refreshDevices() override;
  WaveResult openOutput(int id, const WaveFormat& format, WaveNotifier* notifier,
                        WaveHandle& handle) override;
  WaveResult openInput(int id, const WaveFormat& format, WaveNotifier* notifier,
                       WaveHandle& handle) override;
  WaveResult prepare(WaveHandle handle, WaveHeader& header) override;
  WaveResult unprepare(WaveHandle handle, WaveHeader& header) override;
  WaveResult addBuffer(WaveHandle input, WaveHeader& header) override;
  WaveResult start(WaveHandle input) override;
  WaveResult write(WaveHandle output, WaveHeader& header) override;
  WaveResult reset(WaveHandle handle) override;
  WaveResult close(WaveHandle handle) override;
  void errorText(WaveResult code, char* text, size_t capacity) const override;

 private:
  // Passes the simulator's notices on with its handles marked.
  class SimNotifier : public WaveNotifier {
   public:
    void post(const WaveNotice& notice) override;
    std::atomic<WaveNotifier*> target{nullptr};
  };

  struct Route {
    WaveAudio* backend;
    int id;  // device number within the backend
  };
  Route route(WaveDirection dir, int id) const;
  WaveResult open(WaveDirection dir, int id, const WaveFormat& format, WaveNotifier* notifier,
                  WaveHandle& handle);
  WaveAudio* owner(WaveHandle handle) const;
  static WaveHandle inner(WaveHandle handle) { return handle & ~kSimHandleBit; }

  WaveAudio* real_;
  SimAudio& sim_;
  bool simFirst_;
  SimNotifier simOut_;
  SimNotifier simIn_;
};
