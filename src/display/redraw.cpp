#include "display/redraw.h"

#include "display/curve_drawing.h"
#include "display/graph_axes.h"
#include "display/graph_layout.h"
#include "display/overlay_drawing.h"
#include "display/time_scale.h"

void redrawGraphs(const GraphInputs& in, bool& calibrationRun, const GraphCanvases& canvases,
                  RedrawHooks& hooks) {
  hooks.showBusyCursor();
  drawTimeGraph(in, canvases.time);
  if (canvases.timeFrame != nullptr) drawTimeScale(in, *canvases.timeFrame, canvases.geometry);
  drawFreqFrame(in.setup, canvases.frame, canvases.plot, canvases.geometry);
  calibrationRun = false;

  // The SPL preparation comes before its axis because it sets dBTop; the
  // calibration view is always an SPL graph.
  if (in.setup.impedanceMode == 0 || in.calibrationView) {
    hooks.prepareSplCurves();
    drawSplAxis(in.setup, in.curves.dBTop, canvases.frame, canvases.plot, canvases.geometry);
    drawOverlayCurves(in, canvases.plot);
    drawSplCurves(in, canvases.plot);
  } else {
    drawImpedanceAxis(in.setup, canvases.frame, canvases.plot, canvases.geometry);
    hooks.prepareImpedanceCurves();
    drawOverlayCurves(in, canvases.plot);
    drawImpedanceCurves(in, canvases.plot);
  }
  drawOverlayLegend(in, canvases.plot);

  canvases.plot.setPen(penSolidBlack);
  drawBorder(canvases.plot);
  hooks.restoreCursor();
}

void plotGraph1(const GraphInputs& in, bool& calibrationRun, const GraphCanvases& canvases,
                RedrawHooks& hooks) {
  redrawGraphs(in, calibrationRun, canvases, hooks);
}
