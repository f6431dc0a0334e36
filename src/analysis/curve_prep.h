#pragma once
// From complex responses on the grid to the SPL curves the graph draws and the
// export writes: level in dB and phase in degrees, with the display-time
// corrections (merge/add weights, polarity, microphone, level scale), the octave
// smoothing and the autoscale top. The stored response is changed only by an
// explicit merge/add apply.

#include <array>
#include <span>

#include "analysis/curves.h"
#include "analysis/merge_setup.h"
#include "setup/meas_setup.h"

inline constexpr int kSmoothChoices = 7;

// Half the width of the smoothing window as a relative frequency offset, by the
// item of the smoothing list: none, 1/24, 1/12, 1/6, 1/3, 1/2 and 1 octave.
inline constexpr std::array<double, kSmoothChoices> smoothHalfOctaves = {
    0.0, 1.0 / 48.0, 1.0 / 24.0, 1.0 / 12.0, 1.0 / 6.0, 1.0 / 4.0, 1.0 / 2.0};

// The fixed half width of the impedance smoothing (1/24 octave).
inline constexpr double kImpedanceSmoothHalfOctave = 1.0 / 48.0;

// Level of a zero or undefined magnitude, dB (before the level scale).
inline constexpr double kLevelFloorDb = -100.0;

// Window half width in grid points for a relative half width entry:
// trunc(entry / (freqGrid[1] / freqGrid[0] - 1) + 0.5), kept within
// 0..kGridPoints - 1. On the standard grid 1/48 gives 2 and 1/2 gives 54.
int smoothHalfWidth(double entry, const RealCurve& freqGrid);

// Replaces each point by the plain mean of the points within halfWidth of it;
// the window is cut at both ends of the grid (not mirrored). halfWidth <= 0
// leaves the curve as it is. A non-finite value only affects the windows that
// contain it. Used for dB levels and, unwrapped, for impedance curves.
void movingMean(RealCurve& curve, int halfWidth);

// Moving mean of a phase curve in degrees (-180..180): inside each window the
// phase is followed across jumps of more than 180 degrees between neighbours as
// a continuous curve seen from the centre point, and the mean is brought back
// into -180..180 by whole turns (a mean of exactly +-180 stays). Window as for
// movingMean.
void movingPhaseMean(RealCurve& curve, int halfWidth);

// Prepares curves.splMag, splPhase (index 0 and, while mergeSetup.mergeShown,
// index 1), the add-mode sums sumSplMag / sumSplPhase and dBTop.
// Pass 0 is setup.response; pass 1 is slots[storedSlot], or setup.response again
// when storedSlot is -1 or not a slot index. With mergeShown each point is
// multiplied by its merge weight first. Then per point: polarity inversion,
// division by micCal (when micCalValid and not setup.micDataOff, and the
// pass's record is not fromFile), level
// 20 log10 |u| (a zero or NaN magnitude gives -100 dB) plus levelScale, phase in
// degrees (0 for magnitudes up to 1e-10), smoothing by smoothIndex.
// dBTop is the highest level (sums included) at grid points within
// freqLow..freqHigh, -1000 if none, plus 2.5 % of displayRange and
// autoscaleOffset. With apply, setup.response becomes the weighted result before
// the display corrections: in merge mode pass 0 up to and including
// transitionFreq and pass 1 above it, in add mode the sum of both passes;
// with mergeShown setup.held becomes mergedHeld of both records. When either
// record is fromFile, so is the result, and a part that is not takes its
// microphone division into the result. Curves of a pass that does not run, and the sums outside add mode, keep their
// contents. Allocates nothing.
void prepareSplCurves(MeasSetup& setup, std::span<const MeasSetup> slots,
                      const ComplexCurve& micCal, bool micCalValid,
                      const MergeSetup& mergeSetup, DisplayCurves& curves, bool apply);

