#pragma once
// The data on the graphs: the impulse response on the time-domain canvas
// (Image1) and the magnitude and phase curves on the plot canvas (Image2),
// drawn over the frame and axes. Nothing is allocated; points that fall
// outside a canvas are drawn and clipped like all others.

#include "display/canvas.h"
#include "display/graph_inputs.h"

// Wipes the time graph and, when the live record has a response, draws the
// window of the impulse response (one channel, or both in two-channel,
// impedance and calibration views) and the sample ticks along the bottom.
// Never reads a sample outside a channel: the curve stops at its last sample.
void drawTimeGraph(const GraphInputs& in, Canvas& time);

// SPL magnitude (and phase) curves over the dB axis: one curve, Merge (grey
// then the selected parts in black), Add (red, blue and the black sum) or the
// two calibration curves. Draws nothing unless measurementShown or
// calibrationView. Leaves the pen solid black, width 1.
void drawSplCurves(const GraphInputs& in, Canvas& plot);

// Impedance magnitude (and phase) curves over the ohm axis, in the same ways
// as drawSplCurves except that there is no calibration view and the grey pass
// is silver. Draws nothing unless measurementShown. Leaves the pen width 1.
void drawImpedanceCurves(const GraphInputs& in, Canvas& plot);
