#include "analysis/impedance_curves.h"

#include <cmath>
#include <numbers>

#include "analysis/curve_prep.h"

namespace {

constexpr double kRadToDeg = 180.0 / std::numbers::pi;
constexpr double kDegToRad = std::numbers::pi / 180.0;

}  // namespace

void prepareImpedanceCurves(MeasSetup& setup, std::span<const MeasSetup> slots,
                            const MergeSetup& mergeSetup, DisplayCurves& curves, bool apply) {
  const bool weighted = mergeSetup.mergeShown;
  const bool addMode = mergeSetup.addMode;
  const int passes = weighted ? 2 : 1;
  const int32_t slot = mergeSetup.storedSlot;
  const bool slotValid = slot >= 0 && static_cast<size_t>(slot) < slots.size();

  // The merged or added result is collected here and written back only after
  // both passes: with no slot chosen, the upper pass reads the current response
  // too, and must see it without the lower part's weight.
  ComplexCurve combined{};

  for (int p = 0; p < passes; ++p) {
    const MeasSetup& source = (p == 1 && slotValid) ? slots[slot] : setup;
    RealCurve& mag = curves.zMag[p];
    RealCurve& phase = curves.zPhase[p];
    for (int i = 0; i < kGridPoints; ++i) {
      Complex u = source.response[i];
      if (weighted) u = abs(mergeSetup.weights[p][i]) * u;
      if (apply) {
        if (addMode)
          combined[i] += u;
        else if (p == 0 || setup.freqGrid[i] > mergeSetup.transitionFreq)
          combined[i] = u;
      }
      mag[i] = abs(u);
      phase[i] = std::atan2(u.im, u.re) * kRadToDeg;
    }
  }

  if (setup.impedanceSmooth) {
    const int hw = smoothHalfWidth(kImpedanceSmoothHalfOctave, setup.freqGrid);
    for (int p = 0; p < passes; ++p) {
      movingMean(curves.zMag[p], hw);
      movingMean(curves.zPhase[p], hw);
    }
  }

  if (apply) {
    if (weighted) setup.held = mergedHeld(setup, slotValid ? slots[slot] : setup, mergeSetup, setup.freqGrid);
    setup.response = combined;
  }

  if (weighted && addMode) {
    for (int i = 0; i < kGridPoints; ++i) {
      Complex z;
      for (int p = 0; p < 2; ++p) {
        const double a = curves.zMag[p][i];
        const double phi = curves.zPhase[p][i] * kDegToRad;
        z += Complex(a * std::cos(phi), a * std::sin(phi));
      }
      curves.sumZMag[i] = abs(z);
      curves.sumZPhase[i] = std::atan2(z.im, z.re) * kRadToDeg;
    }
  }
}

