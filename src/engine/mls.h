#pragma once
// The excitation: one period of a maximum-length sequence of order 12..15, the
// two permutation tables that let a Hadamard transform replace the circular
// cross-correlation with it, and the stereo buffers that are played: one
// period for a single measurement, periods back to back for an averaged one.

#include <array>
#include <cstdint>

struct MeasSetup;

inline constexpr int kMlsCapacity = 32768;           // 2^15
inline constexpr int kPlayLeadFrames = 2000;         // silence before the sequence
inline constexpr int kPlayBufferFrames = 34768;      // 2000 + 32768
inline constexpr int kPlayBufferSamples = 69536;     // interleaved left/right
inline constexpr int16_t kMlsAmplitude = 30000;
// An averaged measurement plays one settling period and up to 32 more.
inline constexpr int kMaxPlayedPeriods = 33;
// 2000 + 33 x 32767 frames: the lead and the longest run of periods.
inline constexpr int kRepeatedPlayFrames = kPlayLeadFrames + kMaxPlayedPeriods * (kMlsCapacity - 1);
inline constexpr int kRepeatedPlaySamples = 2 * kRepeatedPlayFrames;

// Shift-register taps per order 1..24; a row ends at its fourth entry or at -1.
extern const std::array<std::array<int8_t, 4>, 25> mlsTapTable;

struct MlsTables {
  std::array<uint32_t, kMlsCapacity> mlsBits{};  // bit j at word j/32, bit j%32
  std::array<int16_t, kMlsCapacity> mlsSamples{};  // +30000 for bit 0, -30000 for bit 1
  std::array<int32_t, kMlsCapacity> inputPerm{};   // entries 0..L-1 a permutation of 1..L
  std::array<int32_t, kMlsCapacity> outputPerm{};  // likewise
  // 2000 silent frames, one period, silence: what a single measurement plays.
  std::array<int16_t, kPlayBufferSamples> playBuffer{};
  // 2000 silent frames, then the period kMaxPlayedPeriods times back to back:
  // an averaged measurement plays the lead and its first averages + 1 periods.
  std::array<int16_t, kRepeatedPlaySamples> repeatedPlayBuffer{};

  bool bit(int j) const { return (mlsBits[j >> 5] >> (j & 31)) & 1u; }
};

// Fills mlsBits and mlsSamples with one period for the order (1..24, period
// capped at kMlsCapacity) and returns the period L = 2^order - 1.
int32_t generateMls(int32_t order, MlsTables& t);

// Rebuilds every table for setup.mlsOrder (12..15). Allocates nothing. Both
// play buffers are built whatever setup.averages says, so a change of the
// number of averages needs no rebuild.
void buildMlsTables(const MeasSetup& setup, MlsTables& t);

// The number of periods summed: setup.averages within 1..kMaxAverages (a
// value below 2, only from a damaged file, is a single period).
int32_t averagedPeriods(const MeasSetup& setup);

// Frames of the sequence played after the silent lead: mlsSize (one period and
// a silent frame) for a single period; (averages + 1) x (mlsSize - 1) when
// averaging, the first period settling the system.
int32_t playedFrames(const MeasSetup& setup);

// The buffer the output plays for the setup: playBuffer for a single period,
// repeatedPlayBuffer when averaging. Its first kPlayLeadFrames + playedFrames
// frames are played.
int16_t* playData(MlsTables& t, const MeasSetup& setup);
