#pragma once
// The data on the graphs: the impulse response on the time-domain canvas
// (Image1) and the magnitude and phase curves on the plot canvas (Image2),
// drawn over the frame and axes. Nothing is allocated; points that fall
// outside a canvas are drawn and clipped like all others.

#include <cstdint>
#include <span>

#include "display/canvas.h"
#include "display/graph_inputs.h"

// How many grid points from the bottom of freqGrid carry a measurement taken
// at `rate`: those strictly below rate / 2. A rate of 0 (or below) means no
// measurement limits the curve: all kGridPoints.
int measuredGridPoints(const RealCurve& freqGrid, int32_t rate);

// The responseRate of the record curve 1 of a merge is prepared from, for
// CurveDrawOptions::storedRate: slots[storedSlot], or the live record when
// storedSlot is -1 or not a slot index (the choice prepareSplCurves makes).
int32_t storedCurveRate(const MeasSetup& live, std::span<const MeasSetup> slots,
                        int32_t storedSlot);

// The held points of that same record, for CurveDrawOptions::storedHeld.
const GridMask& storedCurveHeld(const MeasSetup& live, std::span<const MeasSetup> slots,
                                int32_t storedSlot);

// Wipes the time graph and, when the live record has a response, draws the
// window of the impulse response (one channel, or both in two-channel,
// impedance and calibration views) and the sample ticks along the bottom.
// Never reads a sample outside a channel: the curve stops at its last sample.
void drawTimeGraph(const GraphInputs& in, Canvas& time);

// SPL magnitude (and phase) curves over the dB axis: one curve, Merge (grey
// then the selected parts in black), Add (red, blue and the black sum) or the
// two calibration curves. Draws nothing unless measurementShown or
// calibrationView. Each curve ends at its last measured grid point (see
// GraphInputs). Leaves the pen solid black, width 1.
void drawSplCurves(const GraphInputs& in, Canvas& plot);

// Impedance magnitude (and phase) curves over the ohm axis, in the same ways
// as drawSplCurves except that there is no calibration view and the grey pass
// is silver; without the Merge/Add page, curves.zModel follows last, grey,
// width 1, over its points that are not NaN. Draws nothing unless
// measurementShown. Leaves the pen width 1.
void drawImpedanceCurves(const GraphInputs& in, Canvas& plot);
