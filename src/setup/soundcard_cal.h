#pragma once
// The sound card calibration: one response per mode (SPL, impedance), sample
// rate index, MLS length and input channel, with a flag per mode, rate and length.

#include <array>

#include "base/grid_curve.h"

struct SoundcardCal {
  static constexpr int kModes = 2;
  static constexpr int kRates = 11;
  static constexpr int kOrders = 4;

  // table[mode][sRateIndex][mlsOrder - 12][channel]
  ComplexCurve table[kModes][kRates][kOrders][2];
  bool calibratedFlags[kModes][kRates][kOrders];

  SoundcardCal() { reset(); }
  // Every point (1, 0), every flag false: an uncalibrated card divides by 1.
  void reset() {
    for (auto& m : table)
      for (auto& r : m)
        for (auto& o : r)
          for (auto& c : o) c.fill(Complex(1.0, 0.0));
    for (auto& m : calibratedFlags)
      for (auto& r : m)
        for (bool& f : r) f = false;
  }
};
