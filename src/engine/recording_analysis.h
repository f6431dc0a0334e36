#pragma once
// The first look at a finished recording: where the played sequence arrives,
// how long the next recording must be, and how loud each input is.

#include <array>
#include <cstdint>

struct MeasSetup;
struct RecBuffer;

// The envelope of the onset search never covers more frames than this.
inline constexpr int32_t kEnvelopeCapacity = 200000;
// The envelope starts one frame after the silence that leads the played sequence.
inline constexpr int32_t kEnvelopeFirstFrame = 2001;

// Where the sequence was found and how loud each input channel is.
struct RecordingLevels {
  int32_t onset = 0;       // envelope index j of the arrival (frame 2001 + j)
  int32_t startFrame = 0;  // first frame of the period that is deconvolved
  std::array<double, 2> peak{1.0, 1.0};  // largest |sample| per channel, at least 1
  bool enableChannelSelector = false;    // the response asks for the channel selector
  int silentChannel = -1;  // a calibration input that recorded nothing, or -1
};

// The input channel the arrival is looked for on: the right (reference)
// channel in two-channel SPL mode, else the left, impedance mode included.
int detectionChannel(const MeasSetup& setup);

// Index of the first envelope value (e = 0.9 e + 0.1 v^2 over |sample| v of
// channel ch from frame 2001 on, `length` values, capped at kEnvelopeCapacity)
// that reaches 5 % of the envelope's largest value. When no value reaches it
// (a channel that is exactly zero throughout, or length <= 0) the search ends
// at the end of the envelope and the onset is 0: a silent input then gives the
// shortest margin for the next recording and can never make the recordings
// grow from run to run. Keeps no envelope array: the values are computed
// again, identically, while looking for the threshold.
int32_t findOnset(const RecBuffer& rec, int ch, int32_t length);

// The recording margin that measureRecording sets for an arrival at envelope
// index onset: max(2000, sampleRate / 10) + onset.
int32_t delaySamplesForOnset(const MeasSetup& setup, int32_t onset);

// Where the sequence arrives in the recording and how loud it is: onset on
// the detection channel (the envelope covers mlsSize + delaySamples + 2000
// frames, however many periods were played); new setup.delaySamples =
// max(2000, sampleRate / 10) + onset; start frame onset + 1900; peaks of both
// channels from the start frame up to playedFrames + delaySamples + 2000 (all
// played periods and the new margin). Allocates nothing.
RecordingLevels measureRecording(MeasSetup& setup, const RecBuffer& rec);
