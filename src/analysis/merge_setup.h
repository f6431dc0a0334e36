#pragma once
// The parameters of the Merge/Add page and its two weight curves.

#include <cstdint>

#include "analysis/curves.h"

struct MergeSetup {
  bool mergeShown = false;        // the Merge/Add page is shown
  double transitionFreq = 500.0;  // Hz
  double baffleFreq = 0.0;        // Hz, 0 = no baffle-step compensation
  bool addMode = false;           // false merge, true add
  double lowerDelay = 0.0;        // s, current graph
  double lowerGainDb = 0.0;
  double lowerGain = 1.0;
  int32_t storedSlot = -1;        // 0..7 for slots 1..8, -1 none
  double upperDelay = 0.0;        // s, stored graph
  double upperGainDb = 0.0;
  double upperGain = 1.0;
  ComplexCurve weights[2]{};      // lower, upper
};
