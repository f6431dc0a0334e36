#pragma once
// The one repaint of every graph: the time-domain graph and the whole
// frequency-domain tab (frame, axis, curves, border), from the current state.

#include "display/canvas.h"
#include "display/graph_inputs.h"
#include "display/graph_layout.h"

// The graph images of the window and where they lie, in canvas pixels.
struct GraphCanvases {
  Canvas& time;   // Image1, the impulse response
  Canvas& frame;  // Image5, labels around the plot
  Canvas& plot;   // Image2, grid and curves
  // The time graph's scale around Image1; none: no scale is drawn.
  Canvas* timeFrame = nullptr;
  GraphGeometry geometry{};
};

// What a redraw asks of its owner besides drawing. The defaults do nothing.
class RedrawHooks {
 public:
  virtual ~RedrawHooks() = default;
  // The busy cursor for the whole screen while the redraw runs, and back.
  virtual void showBusyCursor() {}
  virtual void restoreCursor() {}
  // Fill the display curves (and dBTop) from the current result without
  // writing back into the live response. The SPL preparation must leave the
  // calibration curves alone while the calibration view is shown.
  virtual void prepareSplCurves() {}
  virtual void prepareImpedanceCurves() {}
};

// Repaints all the canvases, in this order: busy cursor, time graph, its scale, frame,
// calibrationRun cleared, then for the SPL graph (impedanceMode 0, or the
// calibration view) SPL preparation, dB axis and SPL curves, otherwise ohm
// axis, impedance preparation and impedance curves, the overlays (in.overlays)
// going between the axis and the curves; then the overlays' legend, the
// plot's black border and the normal cursor. in.curves must be the curves the hooks fill.
void redrawGraphs(const GraphInputs& in, bool& calibrationRun, const GraphCanvases& canvases,
                  RedrawHooks& hooks);

// The window's published handler of the same purpose; only redraws.
void plotGraph1(const GraphInputs& in, bool& calibrationRun, const GraphCanvases& canvases,
                RedrawHooks& hooks);
