#pragma once
// The settings record: every measurement and display setting together with the
// current result on the logarithmic frequency grid. The window owns one live
// record; the memory slots are ten more of the same.

#include <array>
#include <cstdint>
#include <string_view>

#include "base/grid_curve.h"

inline constexpr int kSampleRateCount = 11;
inline constexpr int kMlsOrderCount = 4;
inline constexpr int kTitleCapacity = 200;  // NUL included

// Index = sRateIndex = item of the sample-rate list. Entry 0 stands for the
// custom rate ("Custom"); its value is never used as a rate.
inline constexpr std::array<int32_t, kSampleRateCount> sampleRateTable = {
    5666, 8000, 11025, 16000, 22050, 32000, 44100, 48000, 64000, 88200, 96000};
// Index = mlsOrder - 12 = item of the MLS length list.
inline constexpr std::array<int32_t, kMlsOrderCount> mlsSizeTable = {4096, 8192, 16384, 32768};
inline constexpr std::array<int32_t, kMlsOrderCount> mlsOrderTable = {12, 13, 14, 15};
// The choices of the number of averages; 1 is a single period, folded.
inline constexpr std::array<int32_t, 6> averagesTable = {1, 2, 4, 8, 16, 32};
inline constexpr int32_t kMaxAverages = 32;
// Window shapes.
inline constexpr uint8_t kWindowQuarterCosine = 0;
inline constexpr uint8_t kWindowFlatHann = 1;

struct MeasSetup {
  bool twoChannel = false;
  int32_t mlsOrder = 0;
  int32_t mlsSize = 0;        // 2^mlsOrder
  int32_t mlsSizeStereo = 0;  // 2 * mlsSize interleaved samples
  int32_t sampleRate = 0;     // Hz
  int32_t sRateIndex = 0;     // into sampleRateTable, 0 = custom rate
  int32_t delaySamples = 0;   // extra frames recorded to cover the system's delay
  int32_t bandSplitLow = 0;   // Hz
  int32_t bandSplitHigh = 0;  // Hz
  double freqLow = 0.0;       // Hz, lower edge of the frequency graph
  double freqHigh = 0.0;      // Hz, upper edge of the frequency graph
  bool cyclic = false;
  int32_t winStart = 0;   // analysis window offset, samples
  int32_t winLength = 0;  // analysis window length, samples
  bool invertPolarity = false;
  uint8_t smoothIndex = 0;    // 0 none .. 6 one octave
  uint8_t showChannel = 0;    // 0 "Ch 1", 1 "Ch 2", 2 "Ch 1 - 2"
  uint8_t impedanceMode = 0;  // 0 SPL, 1 impedance
  double seriesR = 0.0;       // ohm
  bool micDataOff = false;
  bool delayedStart = false;
  bool phaseHidden = false;
  double autoscaleOffset = 0.0;  // dB
  double levelScale = 0.0;       // dB
  double displayRange = 0.0;     // dB
  double zMin = 0.0;             // ohm
  double zMax = 0.0;             // ohm
  bool impedanceSmooth = false;
  // Evaluate every grid point directly from the windowed impulse response
  // instead of interpolating FFT bins ("Exact").
  bool exactEvaluation = false;
  uint8_t windowShape = 0;  // 0 quarter cosine, 1 flat over the lead then half-Hann
  int32_t averages = 1;     // periods summed before the deconvolution: 1, 2, 4 .. 32
  RealCurve freqGrid{};  // Hz, 5 Hz .. 50 kHz, ascending
  ComplexCurve response{};
  int32_t responseRate = 0;  // Hz the response was measured at; 0 for none
  // The grid points of response that hold a value; the others are absent,
  // are not drawn or exported, and hold a copy of the nearest one that is
  // present (so that smoothing near the edge sees no jump).
  GridMask held;
  // The response was read from a curve file: it already carries its own
  // corrections, and the microphone calibration is not applied to it.
  bool fromFile = false;
  char title[kTitleCapacity]{};
  bool hasResponse = false;

  MeasSetup() { setDefaults(); }

  // Loads every default and computes freqGrid. Leaves delayedStart as it is.
  void setDefaults();
  // Selects sampleRateTable[index] (index 0 keeps the custom sampleRate) and
  // re-derives bandSplitLow, bandSplitHigh and delaySamples. The index is not
  // checked: callers pass list items 0..10 or a validated file value.
  void setSampleRate(int32_t index);
  // Selects the MLS length by list index 0..3 (unchecked, as above).
  void setMlsOrder(int32_t index);
};

// Sets a record's title to the UTF-8 text, cut at a character boundary (never
// inside a multi-byte sequence) to what fits, terminated.
void setTitleUtf8(char (&title)[kTitleCapacity], std::string_view utf8);

// The grid frequency of point i (0..999): 5 * 10^(4i/999) Hz, worked out in
// extended precision.
double gridFrequency(int i);
