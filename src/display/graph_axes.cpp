#include "display/graph_axes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "display/graph_layout.h"
#include "setup/meas_setup.h"

namespace {

// More dB lines than any sane range and step give; it keeps a degenerate
// dBTop or range from turning the scale loop into an endless one.
constexpr int kMaxDbLines = 10000;

void gridLine(Canvas& plot, int x1, int y1, int x2, int y2) {
  plot.moveTo(x1, y1);
  plot.lineTo(x2, y2);
}

// Phase ticks at the plot's right edge with their labels on the frame; the
// plot height spans 2 * halfSpan degrees, +halfSpan at the top.
void drawPhaseScale(Canvas& frame, Canvas& plot, int halfSpan, int step, const GraphGeometry& g) {
  const int w = plot.width();
  const int h = plot.height();
  const double k = g.textScale;
  char label[16];
  for (int p = -halfSpan; p <= halfSpan; p += step) {
    const int y = toPixel(h / 2 - static_cast<double>(h) * p / (2.0 * halfSpan));
    gridLine(plot, w - textOffset(5, k), y, w, y);
    std::snprintf(label, sizeof label, "%+3d", p);
    frame.textOut(w + g.labelX + textOffset(9, k), g.labelY + y - textOffset(6, k), label);
  }
  frame.textOut(w + g.labelX + textOffset(10, k), g.labelY - textOffset(25, k), "deg");
}

}  // namespace

void drawFreqFrame(const MeasSetup& setup, Canvas& frame, Canvas& plot, const GraphGeometry& g) {
  // Wipes every old label. The second rectangle, one pixel smaller, doubles
  // the border along the right and bottom edges.
  const int w5 = frame.width();
  const int h5 = frame.height();
  frame.setPen(penSolidBlack);
  frame.rectangle(0, 0, w5, h5);
  drawBorder(frame);
  frame.rectangle(0, 0, w5 - 1, h5 - 1);
  drawBorder(frame);

  const int w = plot.width();
  const int h = plot.height();
  plot.setPen(penSolidBlack);
  plot.rectangle(0, 0, w - 1, h - 1);
  plot.setPen(penGrid);

  for (int i = 1; i <= 9; ++i) {
    double decade = 1.0;
    for (int j = 1; j <= 4; ++j) {
      decade *= 10.0;
      const int x = toPixel(freqToX(i * decade, setup.freqLow, setup.freqHigh, w) + 0.5);
      gridLine(plot, x, 0, x, h);
    }
  }

  static constexpr std::array<int, 12> kLabelFreqs = {5,    10,   20,   50,   100,   200,
                                                      500,  1000, 2000, 5000, 10000, 20000};
  bool first = true;
  char label[16];
  for (const int f : kLabelFreqs) {
    if (!(f >= setup.freqLow - 1 && f < setup.freqHigh)) continue;
    std::snprintf(label, sizeof label, first ? "%dHz" : "%d", f);
    first = false;
    const int x = toPixel(freqToX(f, setup.freqLow, setup.freqHigh, w) + 0.5);
    const int digits = static_cast<int>(std::log10(f + 1.0));
    frame.textOut(g.labelX + x + textOffset(5 - 3 * digits, g.textScale),
                  g.labelY + h + textOffset(5, g.textScale), label);
  }
}

double splGridStep(double displayRange) {
  double step = 10.0;
  if (displayRange < 70.1) step = 5.0;
  if (displayRange < 30.1) step = 2.0;
  if (displayRange < 15.1) step = 1.0;
  if (displayRange < 7.1) step = 0.5;
  return step;
}

void drawSplAxis(const MeasSetup& setup, double dBTop, Canvas& frame, Canvas& plot,
                 const GraphGeometry& g) {
  const int w = plot.width();
  const int h = plot.height();
  const double range = setup.displayRange;
  const double step = splGridStep(range);
  plot.setPen(penGrid);

  // The first line is the step multiple above dBTop; lines at or above the
  // top edge are drawn (and clipped) but get no label.
  double v = std::trunc(dBTop / step + 1.0) * step;
  char label[32];
  for (int lines = 0; dBTop - range < v && lines < kMaxDbLines; ++lines) {
    const int y = toPixel(h / range * (dBTop - v));
    gridLine(plot, 0, y, w, y);
    if (0 < y && y < h) {
      std::snprintf(label, sizeof label, "%3.1f", v);
      const double whole = std::fabs(std::trunc(v));
      const int digits = static_cast<int>(std::max(0.0, std::log10(whole + 0.001)));
      const int nudge = 15 + 6 * digits + (v < 0 ? 3 : 0);
      frame.textOut(g.labelX - textOffset(nudge, g.textScale),
                    g.labelY + y - textOffset(6, g.textScale), label);
    }
    v -= step;
  }
  frame.textOut(textOffset(10, g.textScale), g.labelY - textOffset(25, g.textScale), "dB");

  if (setup.phaseHidden) return;
  drawPhaseScale(frame, plot, 180, 30, g);
}

void drawImpedanceAxis(const MeasSetup& setup, Canvas& frame, Canvas& plot,
                       const GraphGeometry& g) {
  const int w = plot.width();
  const int h = plot.height();
  const double span = std::log(setup.zMax / setup.zMin);
  auto zToY = [&](double z) { return h - toPixel(std::log(z / setup.zMin) / span * h + 0.5); };
  plot.setPen(penGrid);

  for (int i = 1; i <= 9; ++i) {
    for (int j = -1; j <= 2; ++j) {
      const int y = zToY(i * std::pow(10.0, j));
      gridLine(plot, 0, y, w, y);
    }
  }

  static constexpr std::array<double, 13> kLabelOhms = {0.1, 0.2, 0.5, 1,   2,   5,   10,
                                                        20,  50,  100, 200, 500, 1000};
  char label[32];
  for (const double z : kLabelOhms) {
    if (!(setup.zMin <= z && z <= setup.zMax)) continue;
    const int y = zToY(z);
    std::snprintf(label, sizeof label, "%2.1f", z);
    const int digits = static_cast<int>(std::log10(z + 1.0));
    frame.textOut(g.labelX - textOffset(6 * digits + 10, g.textScale),
                  g.labelY + y - textOffset(6, g.textScale), label);
  }
  frame.textOut(textOffset(10, g.textScale), g.labelY - textOffset(25, g.textScale), "ohm");

  if (setup.phaseHidden) return;
  drawPhaseScale(frame, plot, 90, 15, g);
}
