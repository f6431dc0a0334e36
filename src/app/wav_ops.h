#pragma once
// WAV files on the program state: the impulse response and the excitation as
// they go out, and a recording of the excitation made by any recorder put
// into the recording buffer, so that the end of a recording analyses it as
// it analyses what the sound card recorded.

#include <cstdint>
#include <string>
#include <vector>

#include "store/wav_file.h"

struct AppState;
struct MeasSetup;

// The impulse response written for a gain of 1 between output and input is
// 1.0: the deconvolution's raw value divided by 30000 x 2^order.
double impulseWavScale(const MeasSetup& setup);

// The impulse response behind the live measurement as float samples: one
// period (2^order - 1 samples) from element 0, both channels interleaved
// (left, right) in two-channel and impedance mode, else the left alone;
// comment states the scaling, the rate, the sequence, the channels and where
// the impulse starts. False, with the reason in error, when no measurement
// of this session has an impulse response behind it.
struct ImpulseWav {
  int channels = 1;
  int64_t frames = 0;
  std::vector<float> samples;
  std::string comment;
};
bool impulseWavFor(const AppState& state, ImpulseWav& out, std::string& error);

// Averages an excitation can be written for: 1 (a single period) up to this.
inline constexpr int32_t kMaxExcitationAverages = 256;

// The frames the program plays for a measurement averaging `averages`
// periods (1: the single period), its other settings as in setup: the
// 2000-frame silent lead and the single period with its silent frame, or
// averages + 1 periods back to back.
int64_t excitationFrames(const MeasSetup& setup, int32_t averages);

// Those frames as the 16-bit stereo samples the output plays, sample for
// sample the playback buffer (continued period by period past the longest
// run the program plays itself). averages outside 1..kMaxExcitationAverages
// gives nothing.
std::vector<int16_t> excitationSamples(const AppState& state, int32_t averages);

// The recording-buffer frame where a recording's arrival is put: 1000 frames
// of what the recorder kept before it lie between the envelope's first frame
// and the arrival, as a sound card's latency would leave them.
inline constexpr int32_t kWavArrivalLeadFrames = 1000;

// Where the sequence arrives in a recording: the first frame whose envelope
// (e = 0.9 e + 0.1 v^2 over the detection channel, from the file's first
// frame) reaches 5 % of its largest value, as the onset search of a live
// recording finds it. -1 when the loudest sample of that channel lies below
// -60 dBFS (no sequence).
int64_t wavArrivalFrame(const MeasSetup& setup, const WavRecording& rec);

// Puts a recording into state.recBuffer as the sound card would have left it
// for a run at the current settings: the arrival at frame 2001 +
// kWavArrivalLeadFrames, what the recorder kept before and after it around
// that, silence where the file has nothing, and nothing beyond the length a
// recording of this run has. Sets setup.delaySamples to the margin that an
// earlier recording arriving as this one did would have left (the caller
// keeps the old value if it wants it back). Refuses, false with the reason in
// error and the state untouched: another sample rate, a mono recording for a
// two-channel or impedance measurement, no sequence found, or less than the
// periods the measurement analyses after the arrival.
bool placeWavRecording(AppState& state, const WavRecording& rec, std::string& error);
