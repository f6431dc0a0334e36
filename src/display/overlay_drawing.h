#pragma once
// Memory slots drawn over the live curve of the frequency graph, each in a
// colour of its own, with a legend in the plot's top-left corner.

#include "display/canvas.h"
#include "display/graph_inputs.h"

// Slots with a colour of their own (slots 1..8).
inline constexpr int kOverlayColours = 8;

// The colour of slot n's overlay, from a palette that stays distinguishable
// with the common colour-vision deficiencies, none of them the live curves'
// black, red or blue. n outside 1..kOverlayColours wraps around.
Rgb overlayColour(int n);

// Draws every overlay with a magnitude as a solid line of its colour, one
// pixel wide, on the axis of the graph shown (the impedance graph for an
// impedance record, else the dB graph from curves.dBTop), through the grid
// points below its end; a point it does not hold breaks the line and NaN
// points are skipped. Nothing on the Merge/Add page or in the calibration
// view. Leaves the pen solid black.
void drawOverlayCurves(const GraphInputs& in, Canvas& plot);

// Geometry of the legend: one row per drawn overlay from the top-left
// corner, a short line of the overlay's colour, then its text.
inline constexpr int kLegendInset = 4;  // from the plot's left and top edges
inline constexpr int kLegendRowHeight = 12;
inline constexpr int kLegendSwatchLength = 14;
inline constexpr int kLegendTextGap = 4;  // swatch to text

// The legend of the overlays drawOverlayCurves draws, in their order; nothing
// when it draws none.
void drawOverlayLegend(const GraphInputs& in, Canvas& plot);
