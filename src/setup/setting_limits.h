#pragma once
// The range of each setting the user enters as a number, inclusive: the
// window's entries accept exactly these, the configuration reader refuses a
// file that holds anything outside them, and the command line checks its
// options against them.

struct SettingRange {
  double min;
  double max;
};

inline constexpr SettingRange kCustomRateRange{1000, 200000};     // Hz, sRateC
inline constexpr SettingRange kWinStartRange{0, 4096};            // samples
inline constexpr SettingRange kWinLengthRange{100, 32767};        // samples, up to the longest period
inline constexpr SettingRange kSeriesRRange{0.1, 1000};           // ohm
inline constexpr SettingRange kFreqLowRange{5, 500};              // Hz, lower graph edge
inline constexpr SettingRange kFreqHighRange{2000, 50000};        // Hz, upper graph edge
inline constexpr SettingRange kAutoscaleOffsetRange{-100, 100};   // dB
inline constexpr SettingRange kLevelScaleRange{-200, 200};        // dB
inline constexpr SettingRange kDisplayRangeRange{5, 100};         // dB
