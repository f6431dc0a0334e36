#include "analysis/merge_setup.h"

#include <cmath>
#include <numbers>

namespace {

// gain * e^(-j 2 pi f delay)
Complex delayedGain(double gain, double freqHz, double delaySeconds) {
  const double theta = -2.0 * std::numbers::pi * freqHz * delaySeconds;
  return {gain * std::cos(theta), gain * std::sin(theta)};
}

}  // namespace

void MergeSetup::computeMergeWeights(const RealCurve& freqGrid) {
  const bool baffleStep = baffleFreq != 0.0 && !addMode;
  for (int i = 0; i < kGridPoints; ++i) {
    const double f = freqGrid[i];
    weights[0][i] = delayedGain(lowerGain, f, lowerDelay);
    if (baffleStep) {
      // A near-field measurement lacks the 6 dB the baffle loses below its step
      // frequency; the shelf goes from 0.5 well below baffleFreq to 1 well above.
      const double ratio = f / baffleFreq;
      const double x = ratio * ratio;
      const Complex step = 0.5 * (Complex(1.0, 2.0 * x) / Complex(1.0, x));
      weights[0][i] *= step;
    }
    weights[1][i] = delayedGain(upperGain, f, upperDelay);
  }
}

void MergeSetup::updateMergeGains(bool impedanceMode) {
  if (impedanceMode) return;
  lowerGain = std::pow(10.0, 0.05 * lowerGainDb);
  upperGain = std::pow(10.0, 0.05 * upperGainDb);
}

namespace {

// The record's held points without those above half its rate.
GridMask measuredHeld(const MeasSetup& m, const RealCurve& freqGrid) {
  GridMask held = m.held;
  if (m.responseRate > 0) {
    const double half = m.responseRate / 2.0;
    for (int i = 0; i < kGridPoints; ++i)
      if (freqGrid[i] >= half) held.reset(i);
  }
  return held;
}

}  // namespace

GridMask mergedHeld(const MeasSetup& lower, const MeasSetup& upper, const MergeSetup& merge,
                    const RealCurve& freqGrid) {
  const GridMask a = measuredHeld(lower, freqGrid);
  const GridMask b = measuredHeld(upper, freqGrid);
  if (merge.addMode) return a & b;
  GridMask out;
  for (int i = 0; i < kGridPoints; ++i) out[i] = freqGrid[i] > merge.transitionFreq ? b[i] : a[i];
  return out;
}
