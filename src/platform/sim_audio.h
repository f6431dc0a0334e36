#pragma once
// Simulated sound devices, so that the program measures something on any
// machine: one output, "Simulator output", and four inputs wired to it:
//   0 "Simulator: loudspeaker (mic L, loop R)": left = a loudspeaker picked up
//     by a microphone, fed by the left output after an acoustic delay of
//     round(0.001 x rate) frames; right = the right output (the reference).
//   1 "Simulator: loopback cable": both inputs = both outputs.
//   2 "Simulator: impedance jig 12 ohm": left = the left output (the voltage
//     across resistor and driver), right = that voltage times Z / (12 + Z),
//     the part across the driver; both halved by an input attenuator, so the
//     driver's ringing never clips the right input, and both 32 frames late,
//     which the jig's filter needs (see ImpedanceJigModel).
//   3 "Simulator: impedance jig 12 ohm, 10 g added": the same jig with 10 g
//     stuck to the driver's cone (DriverModel::kAddedMassKg), for the
//     added-mass method.
// All four pass through one sound-card model: 480 frames of latency, gain
// 0.9, +3 LSB of DC, white noise of RMS 2 LSB from a fixed seed (restarted at
// every opening of the input), rounding and clipping to 16 bits. See
// sim_models.h for the models.
//
// The simulated clock runs while the input is started or an output buffer is
// queued. With Pacing::realTime a thread of its own runs it at the sample rate
// and posts notices from that thread; with Pacing::manual it runs only inside
// advance / runUntilIdle, which post the notices synchronously on the
// caller's thread (never while holding the simulator's lock, so the receiver
// may queue the next buffers from inside post).

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/sim_models.h"
#include "platform/wave_audio.h"

class SimAudio : public WaveAudio {
 public:
  enum class Pacing : uint8_t { realTime, manual };

  static constexpr int kInputLoudspeaker = 0;
  static constexpr int kInputLoopback = 1;
  static constexpr int kInputJig = 2;
  static constexpr int kInputJigAddedMass = 3;
  static constexpr int kInputCount = 4;
  static constexpr int kOutputCount = 1;
  static constexpr int32_t kMinRate = 1000;
  static constexpr int32_t kMaxRate = 384000;
  static constexpr const char* kOutputName = "Simulator output";
  static constexpr std::array<const char*, kInputCount> kInputNames = {
      "Simulator: loudspeaker (mic L, loop R)", "Simulator: loopback cable",
      "Simulator: impedance jig 12 ohm", "Simulator: impedance jig 12 ohm, 10 g added"};

  explicit SimAudio(Pacing pacing = Pacing::manual,
                    uint64_t noiseSeed = GaussianNoise::kDefaultSeed);
  ~SimAudio() override;
  SimAudio(const SimAudio&) = delete;
  SimAudio& operator=(const SimAudio&) = delete;

  int deviceCount(WaveDirection dir) const override;
  void deviceName(WaveDirection dir, int id, char* text, size_t capacity) const override;
  // Rates from kMinRate to kMaxRate; output and input must use the same rate.
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

  // Manual pacing: runs the clock for up to `frames` frames, posting notices
  // as buffers complete. Stops early when the clock stops (nothing started or
  // queued). Returns the frames run.
  int64_t advance(int64_t frames);
  // Manual pacing: runs until no buffer is queued any more, or maxFrames
  // have passed (a receiver that keeps queuing would run forever).
  int64_t runUntilIdle(int64_t maxFrames = int64_t{1} << 24);

 private:
  static constexpr int kInQueue = 128;
  static constexpr int kOutQueue = 16;
  static constexpr int kHistory = 4096;  // frames; above latency + acoustic delay
  static constexpr int kMaxNotices = 8;  // per frame; far above one buffer end and one empty buffer

  struct Port {
    bool open = false;
    WaveHandle handle = kNoWaveHandle;
    WaveNotifier* notifier = nullptr;
    int32_t rate = 0;
  };
  struct Pending {
    WaveNotifier* target = nullptr;
    WaveNotice notice;
  };
  template <int kCap>
  struct Queue {
    std::array<WaveHeader*, kCap> items{};
    int head = 0;
    int count = 0;
    uint32_t posFrames = 0;  // frames done in the head buffer
    bool contains(const WaveHeader* h) const;
    void push(WaveHeader* h) { items[(head + count++) % kCap] = h; }
    WaveHeader* front() const { return items[head]; }
    void pop();
    void clear();
  };

  bool runningLocked() const;
  bool busyLocked() const;
  bool validLocked(WaveHandle handle) const;
  // Runs one frame; returns the number of notices added to `out`.
  int stepLocked(std::array<Pending, kMaxNotices>& out);
  void resetInputLocked();
  void paceLoop();

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool quit_ = false;
  std::thread pacer_;

  Port out_;
  Port in_;
  int inDevice_ = 0;
  bool inStarted_ = false;
  Queue<kInQueue> inQueue_;
  Queue<kOutQueue> outQueue_;
  std::array<std::array<int16_t, 2>, kHistory> played_{};  // output frames by clock
  int64_t clock_ = 0;
  int acousticDelay_ = 0;
  uint64_t seed_;
  WaveHandle nextHandle_ = 1;

  LoudspeakerModel speaker_;
  ImpedanceJigModel jig_;
  SoundCardModel card_;
};
