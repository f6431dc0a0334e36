#pragma once
// The excitation: one period of a maximum-length sequence of order 12..15, the
// two permutation tables that let a Hadamard transform replace the circular
// cross-correlation with it, and the stereo buffer that is played.

#include <array>
#include <cstdint>

struct MeasSetup;

inline constexpr int kMlsCapacity = 32768;           // 2^15
inline constexpr int kPlayLeadFrames = 2000;         // silence before the sequence
inline constexpr int kPlayBufferFrames = 34768;      // 2000 + 32768
inline constexpr int kPlayBufferSamples = 69536;     // interleaved left/right
inline constexpr int16_t kMlsAmplitude = 30000;

// Shift-register taps per order 1..24; a row ends at its fourth entry or at -1.
extern const std::array<std::array<int8_t, 4>, 25> mlsTapTable;

struct MlsTables {
  std::array<uint32_t, kMlsCapacity> mlsBits{};  // bit j at word j/32, bit j%32
  std::array<int16_t, kMlsCapacity> mlsSamples{};  // +30000 for bit 0, -30000 for bit 1
  std::array<int32_t, kMlsCapacity> inputPerm{};   // entries 0..L-1 a permutation of 1..L
  std::array<int32_t, kMlsCapacity> outputPerm{};  // likewise
  std::array<int16_t, kPlayBufferSamples> playBuffer{};

  bool bit(int j) const { return (mlsBits[j >> 5] >> (j & 31)) & 1u; }
};

// Fills mlsBits and mlsSamples with one period for the order (1..24, period
// capped at kMlsCapacity) and returns the period L = 2^order - 1.
int32_t generateMls(int32_t order, MlsTables& t);

// Rebuilds every table for setup.mlsOrder (12..15). Allocates nothing.
void buildMlsTables(const MeasSetup& setup, MlsTables& t);
