#pragma once
// The parameters of the Merge/Add page and the complex weight of each part at
// every grid point. The lower part is the current measurement, the upper part a
// stored one; the curve preparation multiplies each part by its weight.

#include <cstdint>

#include "analysis/curves.h"
#include "setup/meas_setup.h"

struct MergeSetup {
  bool mergeShown = false;        // the Merge/Add page is shown: two weighted passes
  double transitionFreq = 500.0;  // Hz; points strictly above come from the upper part
  double baffleFreq = 0.0;        // Hz, baffle-step compensation of the lower part; 0 = none
  bool addMode = false;           // false = merge, true = add
  double lowerDelay = 0.0;        // seconds, current graph
  double lowerGainDb = 0.0;       // dB (SPL mode)
  double lowerGain = 1.0;         // factor (derived in SPL mode, entered in impedance mode)
  int32_t storedSlot = -1;        // slot of the upper part, 0..7; -1 = the current measurement
  double upperDelay = 0.0;        // seconds, stored graph
  double upperGainDb = 0.0;       // dB (SPL mode)
  double upperGain = 1.0;         // factor
  ComplexCurve weights[2]{};      // [0] lower, [1] upper; all (0, 0) until computed

  // Fills weights from the parameters on the given grid: gain times a pure delay
  // (positive delays lag) for each part, and for the lower part in merge mode the
  // baffle step 0.5 (1 + 2jx) / (1 + jx), x = (f / baffleFreq)^2, when baffleFreq
  // is not 0. Must be called again after any parameter changes.
  void computeMergeWeights(const RealCurve& freqGrid);

  // In SPL mode (impedanceMode false) derives lowerGain and upperGain from their
  // dB values; in impedance mode the factors are used as entered and nothing
  // changes.
  void updateMergeGains(bool impedanceMode);
};

// The grid points a merged or added result holds, from its lower record
// (the live one) and its upper record: in merge mode those of the lower
// record up to and including transitionFreq and those of the upper one above
// it; in add mode those both hold. Points at and above half a record's
// responseRate count as absent for that record.
GridMask mergedHeld(const MeasSetup& lower, const MeasSetup& upper, const MergeSetup& merge,
                    const RealCurve& freqGrid);
