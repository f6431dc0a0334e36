#include "analysis/curve_prep.h"

#include <algorithm>
#include <cmath>
#include <numbers>


namespace {

constexpr double kRadToDeg = 180.0 / std::numbers::pi;
constexpr double kDegToRad = std::numbers::pi / 180.0;
constexpr double kNoPeak = -1000.0;
// Below this magnitude the angle is noise (or undefined) and shown as 0.
constexpr double kPhaseMagnitudeFloor = 1e-10;
constexpr double kHeadroomOfRange = 0.025;

constexpr int kLast = kGridPoints - 1;

// Step of the wrap count when going from phase `from` to its neighbour `to`.
int wrapStep(double from, double to) {
  const double d = to - from;
  if (d > 180.0) return -1;
  if (d < -180.0) return 1;
  return 0;
}

double wrapDegrees(double v) {
  while (v > 180.0) v -= 360.0;
  while (v < -180.0) v += 360.0;
  return v;
}

bool allFinite(const RealCurve& curve) {
  for (double v : curve)
    if (!std::isfinite(v)) return false;
  return true;
}

// The literal windowed sums, for curves holding infinities or NaN, where
// running sums would carry them into every later window.
void movingMeanDirect(RealCurve& curve, int hw) {
  const RealCurve t = curve;
  for (int m = 0; m < kGridPoints; ++m) {
    const int lo = std::max(0, m - hw);
    const int hi = std::min(kLast, m + hw);
    double s = 0.0;
    for (int k = lo; k <= hi; ++k) s += t[k];
    curve[m] = s / (hi - lo + 1);
  }
}

void movingPhaseMeanDirect(RealCurve& curve, int hw) {
  const RealCurve t = curve;
  for (int m = 0; m < kGridPoints; ++m) {
    const int lo = std::max(0, m - hw);
    const int hi = std::min(kLast, m + hw);
    double v = t[m];
    int a = 0;
    for (int k = m + 1; k <= hi; ++k) {
      a += wrapStep(t[k - 1], t[k]);
      v += t[k] + 360.0 * a;
    }
    a = 0;
    for (int k = m - 1; k >= lo; --k) {
      a += wrapStep(t[k + 1], t[k]);
      v += t[k] + 360.0 * a;
    }
    curve[m] = wrapDegrees(v / (hi - lo + 1));
  }
}

double levelDb(double magnitude) {
  return magnitude > 0.0 ? 20.0 * std::log10(magnitude) : kLevelFloorDb;
}

}  // namespace

int smoothHalfWidth(double entry, const RealCurve& freqGrid) {
  const double hw = entry / (freqGrid[1] / freqGrid[0] - 1.0) + 0.5;
  if (!(hw >= 0.0)) return 0;
  if (hw >= kLast) return kLast;
  return static_cast<int>(hw);
}

// Running sums make each window O(1). The sums are of differences from the
// first point, so a constant curve comes back exactly.
void movingMean(RealCurve& curve, int halfWidth) {
  if (halfWidth <= 0) return;
  const int hw = std::min(halfWidth, kLast);
  if (!allFinite(curve)) {
    movingMeanDirect(curve, hw);
    return;
  }
  const double ref = curve[0];
  std::array<double, kGridPoints + 1> prefix;
  prefix[0] = 0.0;
  for (int k = 0; k < kGridPoints; ++k) prefix[k + 1] = prefix[k] + (curve[k] - ref);
  for (int m = 0; m < kGridPoints; ++m) {
    const int lo = std::max(0, m - hw);
    const int hi = std::min(kLast, m + hw);
    curve[m] = ref + (prefix[hi + 1] - prefix[lo]) / (hi - lo + 1);
  }
}

// Seen from the centre m, point k of the window counts with turns[k] - turns[m]
// whole turns added, turns being the running wrap count from the start of the
// grid. Summing turns separately (in integers) keeps the window sums O(1).
void movingPhaseMean(RealCurve& curve, int halfWidth) {
  if (halfWidth <= 0) return;
  const int hw = std::min(halfWidth, kLast);
  if (!allFinite(curve)) {
    movingPhaseMeanDirect(curve, hw);
    return;
  }
  const double ref = curve[0];
  std::array<double, kGridPoints + 1> prefix;
  std::array<int, kGridPoints> turns;
  std::array<int, kGridPoints + 1> turnPrefix;
  prefix[0] = 0.0;
  turnPrefix[0] = 0;
  for (int k = 0; k < kGridPoints; ++k) {
    turns[k] = k == 0 ? 0 : turns[k - 1] + wrapStep(curve[k - 1], curve[k]);
    prefix[k + 1] = prefix[k] + (curve[k] - ref);
    turnPrefix[k + 1] = turnPrefix[k] + turns[k];
  }
  for (int m = 0; m < kGridPoints; ++m) {
    const int lo = std::max(0, m - hw);
    const int hi = std::min(kLast, m + hw);
    const int n = hi - lo + 1;
    const int relTurns = turnPrefix[hi + 1] - turnPrefix[lo] - n * turns[m];
    const double sum = (prefix[hi + 1] - prefix[lo]) + 360.0 * relTurns;
    curve[m] = wrapDegrees(ref + sum / n);
  }
}

void prepareSplCurves(MeasSetup& setup, std::span<const MeasSetup> slots,
                      const ComplexCurve& micCal, bool micCalValid,
                      const MergeSetup& mergeSetup, DisplayCurves& curves, bool apply) {
  const bool weighted = mergeSetup.mergeShown;
  const bool addMode = mergeSetup.addMode;
  const int passes = weighted ? 2 : 1;
  const bool useMic = micCalValid && !setup.micDataOff;
  const int32_t slot = mergeSetup.storedSlot;
  const bool slotValid = slot >= 0 && static_cast<size_t>(slot) < slots.size();
  const int hw = setup.smoothIndex < kSmoothChoices
                     ? smoothHalfWidth(smoothHalfOctaves[setup.smoothIndex], setup.freqGrid)
                     : 0;
  const bool smooth = setup.smoothIndex != 0 && hw > 0;

  auto inShownRange = [&setup](int i) {
    return setup.freqLow <= setup.freqGrid[i] && setup.freqGrid[i] <= setup.freqHigh;
  };

  // The merged or added result is collected here and written back only after
  // both passes: with no slot chosen, the upper pass reads the current response
  // too, and must see it unweighted.
  ComplexCurve combined{};
  double top = kNoPeak;
  // A curve read from a file carries its own corrections. When one of the
  // parts is such a curve, so is the merged result, and the measured part
  // takes the microphone calibration into it.
  const MeasSetup& upper = slotValid ? slots[slot] : setup;
  const bool resultFromFile = setup.fromFile || (weighted && upper.fromFile);

  for (int p = 0; p < passes; ++p) {
    const MeasSetup& source = p == 1 ? upper : setup;
    const bool micHere = useMic && !source.fromFile;
    RealCurve& mag = curves.splMag[p];
    RealCurve& phase = curves.splPhase[p];
    for (int i = 0; i < kGridPoints; ++i) {
      Complex u = source.response[i];
      if (weighted) u = u * mergeSetup.weights[p][i];
      if (apply) {
        const Complex c = (resultFromFile && micHere) ? u / micCal[i] : u;
        if (addMode)
          combined[i] += c;
        else if (p == 0 || setup.freqGrid[i] > mergeSetup.transitionFreq)
          combined[i] = c;
      }
      if (setup.invertPolarity) u = -u;
      if (micHere) u = u / micCal[i];
      const double m = abs(u);
      mag[i] = levelDb(m) + setup.levelScale;
      phase[i] = m > kPhaseMagnitudeFloor ? std::atan2(u.im, u.re) * kRadToDeg : 0.0;
    }
    if (smooth) {
      movingMean(mag, hw);
      movingPhaseMean(phase, hw);
    }
    for (int i = 0; i < kGridPoints; ++i)
      if (top < mag[i] && inShownRange(i)) top = mag[i];
  }

  if (apply) {
    if (weighted) setup.held = mergedHeld(setup, upper, mergeSetup, setup.freqGrid);
    setup.response = combined;
    setup.fromFile = resultFromFile;
  }

  if (weighted && addMode) {
    for (int i = 0; i < kGridPoints; ++i) {
      Complex z;
      for (int p = 0; p < 2; ++p) {
        const double a = std::pow(10.0, 0.05 * curves.splMag[p][i]);
        const double phi = curves.splPhase[p][i] * kDegToRad;
        z += Complex(a * std::cos(phi), a * std::sin(phi));
      }
      curves.sumSplMag[i] = levelDb(abs(z));
      curves.sumSplPhase[i] = std::atan2(z.im, z.re) * kRadToDeg;
      if (top < curves.sumSplMag[i] && inShownRange(i)) top = curves.sumSplMag[i];
    }
  }

  curves.dBTop = top + kHeadroomOfRange * setup.displayRange + setup.autoscaleOffset;
}

