#pragma once
// The time graph's scale, drawn on the frame canvas around the graph (the
// graph itself keeps its picture): the time in ms from the impulse start
// along the bottom, the analysis window's start and end as red markers along
// the top with their times written beside them, and the amplitude in % of
// the channel's peak along the right edge. The time axis is that of the upper
// (or only) channel, which is drawn from the window offset on.

#include "display/canvas.h"
#include "display/graph_inputs.h"
#include "display/graph_layout.h"

// The time axis's tick step in ms: the smallest 1, 2 or 5 times a power of
// ten whose ticks lie at least minPixels apart at pixelsPerMs. Returns 0
// when pixelsPerMs or minPixels is not positive and finite.
double timeTickStep(double pixelsPerMs, double minPixels);

// Where the analysis window of the shown response lies, in samples from the
// impulse start: the offset is winStart for an SPL measurement, 0 in
// impedance mode and the calibration view; the length is the one the
// response was computed with.
struct AnalysisWindowSpan {
  int64_t start = 0;
  int64_t length = 0;
};
AnalysisWindowSpan shownAnalysisWindow(const GraphInputs& in);

// Wipes the frame around the time graph lying at (g.timeX, g.timeY),
// g.timeWidth x g.timeHeight (white, black border; the area under the graph
// is left alone) and, when the live record has a response at a known rate,
// draws the graph's scale.
void drawTimeScale(const GraphInputs& in, Canvas& frame, const GraphGeometry& g);

// The frame without a scale: white with a black border (the level test's
// waveforms have none).
void wipeTimeScale(Canvas& frame);
