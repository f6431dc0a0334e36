#pragma once
// Playing the excitation while recording: which devices to open, how the
// recording is cut into input buffers, and how the run ends when the last
// buffer comes back. Works on any WaveAudio backend; everything here runs on
// the program's thread.

#include <array>
#include <cstdint>

#include "platform/wave_audio.h"

struct MeasSetup;
struct MlsTables;
struct RecBuffer;

inline constexpr int kInHeaderCount = 100;
inline constexpr int32_t kInBufferBytes = 200000;   // size of every input buffer but the last
inline constexpr int32_t kMaxDelayFrames = 100000;  // cap on delaySamples in the recording length
inline constexpr int32_t kPrimingBytes = 4000;      // silent head of the playback used to prime

// Frames recorded in one run: the played sequence (playedFrames: mlsSize for
// a single period, (averages + 1)(mlsSize - 1) when averaging) plus
// min(delaySamples, 100000) plus 2000. A negative delaySamples (only from a
// damaged file) counts as 0, so for a single period the result always lies in
// [mlsSize + 2000, mlsSize + 102000], and never beyond kRecCapacityFrames.
int32_t recordingFrames(const MeasSetup& setup);

// How long a run's recording lasts for the current settings, in seconds:
// recordingFrames / sampleRate (0 without a rate).
double runSeconds(const MeasSetup& setup);

// Number of input buffers for a recording of `bytes`: bytes / 200000 + 1. The
// last buffer takes bytes mod 200000 and is 0 bytes long for an exact multiple.
int32_t inputBufferCount(int32_t bytes);

// The run fields of the sound card, held in AppState.
struct SoundCardState {
  WaveHandle hWaveIn = kNoWaveHandle;   // open input device, or none
  WaveHandle hWaveOut = kNoWaveHandle;  // open output device, or none
  std::array<WaveHeader, kInHeaderCount> inHeaders{};  // first inBufferCount in use
  WaveHeader outHeader{};                              // plays the playback buffer
  int32_t inBufferCount = 0;  // input buffers of the current recording
  int32_t inBuffersDone = 0;  // input buffers returned so far
  bool recording = false;     // input buffers are out with the device
};

// What the sound card needs from the window. Called on the program's thread.
class SoundCardHost {
 public:
  // Modal message box with an empty caption and the warning icon; returns
  // when the user has dismissed it.
  virtual void showWarning(const char* text) = 0;
  // Enables or disables the settings controls (the run control's
  // setControlsEnabled).
  virtual void setControlsEnabled(bool enable) = 0;
  // Shows (true) or restores (false) the hourglass cursor.
  virtual void setBusyCursor(bool busy) = 0;
  // Analyses the finished recording (held in the context's rec).
  virtual void processRecording() = 0;
  // Ends the program with the exit code. Should not return; if it does (a
  // test), the sound card abandons the operation under way.
  virtual void exitProgram(int code) = 0;

 protected:
  ~SoundCardHost() = default;
};

// The parts of the program state a run works on, borrowed from it.
struct SoundCardContext {
  SoundCardState& card;
  const MeasSetup& setup;  // sample rate, sequence length, recording margin
  MlsTables& mls;          // the playback buffer
  RecBuffer& rec;          // what the input buffers fill
  const int16_t& inDeviceId;
  const int16_t& outDeviceId;
  bool& calibrationRun;  // called off when the devices cannot be opened
};

class SoundCard {
 public:
  // Borrows everything; all of it must outlive the SoundCard. Points the
  // output header at the playback buffer.
  SoundCard(const SoundCardContext& context, WaveAudio& audio, WaveNotifier& notifier,
            SoundCardHost& host);

  // priming true: opens the output device briefly without notices and plays
  // the first 1000 (silent) frames; every failure is ignored. priming false:
  // opens the output and then the input device (outDeviceId, inDeviceId) at
  // the setup's sample rate with notices. On a failure the device's error
  // text is shown, the controls are enabled again, a calibration run is
  // called off and the devices are left closed. Returns whether both devices
  // are open. Does nothing (false) while a recording is under way.
  bool openDevices(bool priming);

  // Clears recBuffer, queues the input buffers back to back over it, starts
  // the input after the first one and writes the playback buffer. Does
  // nothing without both devices open or while a recording is under way. A
  // buffer that can't be prepared ends the program (exit code 1); a device
  // that refuses to queue, start or play ends the run with its error text.
  void startRecording();

  // Routes a notice that the window has brought to the program's thread.
  // Notices of devices that are no longer open are ignored.
  void onNotice(const WaveNotice& notice);
  // An input buffer came back: releases it and, after the last one of the
  // recording, runs processRecording.
  void onInputBufferDone(const WaveNotice& notice);
  // The playback finished: releases the output header. The run's end is
  // decided by the input side alone.
  void onOutputDone(const WaveNotice& notice);
  // The device failed during a run: closes both devices, shows the error
  // text and gives the controls back.
  void onDeviceError(const WaveNotice& notice);

  // Resets and closes the input, then the output device; handles become none.
  void stopDevices();

 private:
  void endRunWithError(WaveResult code);
  void endProgramOnPrepareFailure(WaveResult code);

  SoundCardContext ctx_;
  WaveAudio& audio_;
  WaveNotifier& notifier_;
  SoundCardHost& host_;
};
