#include "display/redraw.h"

#include "display/curve_drawing.h"
#include "display/graph_axes.h"
#include "display/graph_layout.h"

void redrawGraphs(const GraphInputs& in, bool& calibrationRun, const GraphCanvases& canvases,
                  RedrawHooks& hooks) {
  hooks.showBusyCursor();
  drawTimeGraph(in, canvases.time);
  drawFreqFrame(in.setup, canvases.frame, canvases.plot);
  calibrationRun = false;

  // The SPL preparation comes before its axis because it sets dBTop; the
  // calibration view is always an SPL graph.
  if (in.setup.impedanceMode == 0 || in.calibrationView) {
    hooks.prepareSplCurves();
    drawSplAxis(in.setup, in.curves.dBTop, canvases.frame, canvases.plot);
    drawSplCurves(in, canvases.plot);
  } else {
    drawImpedanceAxis(in.setup, canvases.frame, canvases.plot);
    hooks.prepareImpedanceCurves();
    drawImpedanceCurves(in, canvases.plot);
  }

  Canvas& plot = canvases.plot;
  const int w = plot.width();
  const int h = plot.height();
  plot.setPen(penSolidBlack);
  plot.moveTo(0, 0);
  plot.lineTo(0, h - 1);
  plot.lineTo(w - 1, h - 1);
  plot.lineTo(w - 1, 0);
  plot.lineTo(0, 0);
  hooks.restoreCursor();
}

void plotGraph1(const GraphInputs& in, bool& calibrationRun, const GraphCanvases& canvases,
                RedrawHooks& hooks) {
  redrawGraphs(in, calibrationRun, canvases, hooks);
}
