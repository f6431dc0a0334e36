#pragma once
// The frequency-domain frame: the plot's grid and border, the frequency
// labels below it, the dB or ohm scale to its left and the phase scale to its
// right. The labels go on the frame canvas (Image5), the grid on the plot
// canvas (Image2). Every call wipes what it owns and repaints it. The plot's
// size is the plot canvas's; the geometry says where the labels take the
// plot's corner to be and how large the label text is (the default: the
// window at its default size).

#include "display/canvas.h"
#include "display/graph_layout.h"

struct MeasSetup;

// Wipes the frame and the plot, then draws the vertical grid at 10, 20 .. 90,
// 100 .. 90000 Hz and the frequency labels 5 .. 20000 Hz that lie in
// [freqLow - 1, freqHigh), the first written with "Hz". Leaves the plot's pen
// dotted grey. Grid lines and labels outside the canvases are clipped.
void drawFreqFrame(const MeasSetup& setup, Canvas& frame, Canvas& plot,
                   const GraphGeometry& geometry = {});

// The dB grid step for a displayed range: 10, or 5 below 70.1, 2 below 30.1,
// 1 below 15.1, 0.5 below 7.1 dB.
double splGridStep(double displayRange);

// Horizontal dB grid on the plot from the first step multiple above dBTop down
// to the last one above the bottom edge, labels "%3.1f" on the frame for lines
// strictly inside the plot, the "dB" caption, and unless phaseHidden the phase
// ticks -180 .. +180 every 30 degrees with "%+3d" labels and "deg".
void drawSplAxis(const MeasSetup& setup, double dBTop, Canvas& frame, Canvas& plot,
                 const GraphGeometry& geometry = {});

// Logarithmic ohm grid (0.1 .. 900 ohm) between zMin at the bottom and zMax at
// the top, labels "%2.1f" for 0.1 .. 1000 ohm within [zMin, zMax], the "ohm"
// caption, and unless phaseHidden the phase ticks -90 .. +90 every 15 degrees.
void drawImpedanceAxis(const MeasSetup& setup, Canvas& frame, Canvas& plot,
                       const GraphGeometry& geometry = {});
