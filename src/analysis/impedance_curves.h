#pragma once
// From impedance responses on the grid (complex ohm) to the curves the
// impedance graph draws and the export writes: magnitude in ohm and phase in
// degrees, with the merge/add weights, the optional 1/24-octave smoothing and
// the add-mode sum. The stored response is changed only by an explicit
// merge/add apply.

#include <span>

#include "analysis/curves.h"
#include "analysis/merge_setup.h"
#include "setup/meas_setup.h"

// Prepares curves.zMag, zPhase (index 0 and, while mergeSetup.mergeShown,
// index 1) and, in add mode on the Merge/Add page, sumZMag / sumZPhase.
// Pass 0 is setup.response; pass 1 is slots[storedSlot], or setup.response
// again when storedSlot is -1 or not a slot index. With mergeShown each point
// is scaled by the magnitude of its merge weight only (delays and the phase of
// the baffle step do not act on an impedance). Magnitude abs(u) with no floor,
// phase atan2(im, re) in degrees (0 for a zero point). With
// setup.impedanceSmooth both curves of each pass get a plain moving mean over
// 1/24 octave (5 points on the standard grid, cut at the grid's ends); the
// phase is averaged as it is, without unwrapping, since an impedance phase
// stays within +-90 degrees. The sum adds the smoothed passes as complex
// values. With
// apply, setup.response becomes the weighted result before smoothing: in merge
// mode pass 0 up to and including transitionFreq and pass 1 above it, in add
// mode the sum of both passes, setup.held then mergedHeld of both records.
// Curves of a pass that does not run, the sums
// outside add mode and dBTop keep their contents. Allocates nothing.
void prepareImpedanceCurves(MeasSetup& setup, std::span<const MeasSetup> slots,
                            const MergeSetup& mergeSetup, DisplayCurves& curves, bool apply);

