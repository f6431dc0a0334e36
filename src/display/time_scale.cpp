#include "display/time_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "analysis/frequency_response.h"

namespace {

// Ticks are at least this far apart at the default text size: room for a
// label such as "170.5".
constexpr double kMinTickSpacing = 48.0;
// Never more ticks than this, whatever the settings.
constexpr int kMaxTicks = 200;

void line(Canvas& c, int x1, int y1, int x2, int y2) {
  c.moveTo(x1, y1);
  c.lineTo(x2, y2);
}

// A tick label with as many decimals as the step needs.
void formatTime(double ms, double step, char* text, size_t capacity) {
  const int decimals = step >= 1.0 ? 0 : (step >= 0.1 ? 1 : (step >= 0.01 ? 2 : 3));
  // -0.0 would read "-0".
  if (std::fabs(ms) < step * 1e-6) ms = 0.0;
  std::snprintf(text, capacity, "%.*f", decimals, ms);
}

}  // namespace

double timeTickStep(double pixelsPerMs, double minPixels) {
  if (!(pixelsPerMs > 0.0) || !std::isfinite(pixelsPerMs) || !(minPixels > 0.0) ||
      !std::isfinite(minPixels))
    return 0.0;
  const double least = minPixels / pixelsPerMs;  // ms
  double decade = std::pow(10.0, std::floor(std::log10(least)));
  for (int i = 0; i < 3; ++i, decade *= 10.0) {
    for (const double m : {1.0, 2.0, 5.0}) {
      if (m * decade >= least * (1.0 - 1e-12)) return m * decade;
    }
  }
  return 10.0 * decade;
}

AnalysisWindowSpan shownAnalysisWindow(const GraphInputs& in) {
  const MeasSetup& s = in.setup;
  const bool offsetApplies = s.impedanceMode == 0 && !in.calibrationView;
  return {offsetApplies ? s.winStart : 0, analysisWindowLength(s, in.calibrationView)};
}

void wipeTimeScale(Canvas& frame) {
  frame.fillRect(0, 0, frame.width(), frame.height(), colourWhite);
  frame.setPen(penSolidBlack);
  drawBorder(frame);
}

void drawTimeScale(const GraphInputs& in, Canvas& frame, const GraphGeometry& g) {
  // Only the margins around the graph are wiped: the graph covers the rest,
  // and a large frame would otherwise cost a second fill of the graph's area.
  const int fw = frame.width();
  const int fh = frame.height();
  const int gx0 = std::clamp(g.timeX, 0, fw);
  const int gy0 = std::clamp(g.timeY, 0, fh);
  const int gx1 = std::clamp(g.timeX + g.timeWidth, gx0, fw);
  const int gy1 = std::clamp(g.timeY + g.timeHeight, gy0, fh);
  frame.fillRect(0, 0, fw, gy0, colourWhite);
  frame.fillRect(0, gy1, fw, fh, colourWhite);
  frame.fillRect(0, gy0, gx0, gy1, colourWhite);
  frame.fillRect(gx1, gy0, fw, gy1, colourWhite);
  frame.setPen(penSolidBlack);
  drawBorder(frame);
  const MeasSetup& s = in.setup;
  const int32_t rate = s.responseRate > 0 ? s.responseRate : s.sampleRate;
  if (!s.hasResponse || rate <= 0 || s.winLength <= 0 || g.timeWidth <= 0 || g.timeHeight <= 0)
    return;

  const double k = g.textScale;
  const int gx = g.timeX;
  const int gy = g.timeY;
  const int gw = g.timeWidth;
  const int gh = g.timeHeight;
  // The graph draws the sample winStart + i from the impulse start at
  // x = xStep * i + 1; a time of t ms is the sample t * rate / 1000.
  const double xStep = static_cast<double>(gw) / s.winLength;
  const double msToSamples = rate / 1000.0;
  auto timeToX = [&](double ms) { return xStep * (ms * msToSamples - s.winStart) + 1.0; };
  char text[48];

  // Time axis below the graph.
  const double step = timeTickStep(xStep * msToSamples, kMinTickSpacing * k);
  if (step > 0.0) {
    // Ticks from the graph's first sample (x = 1) to its last pixel (x = gw).
    const double t0 = s.winStart / msToSamples;
    const double t1 = (s.winStart + (gw - 1.0) / xStep) / msToSamples;
    const double first = std::ceil(t0 / step - 1e-9);
    const double last = std::floor(t1 / step + 1e-9);
    const int bottom = gy + gh;
    for (int i = 0; i < kMaxTicks && first + i <= last; ++i) {
      const double ms = (first + i) * step;
      const int x = gx + toPixel(timeToX(ms));
      line(frame, x, bottom, x, bottom + textOffset(4, k));
      formatTime(ms, step, text, sizeof text);
      const int chars = static_cast<int>(std::strlen(text));
      frame.textOut(x - textOffset(3 * chars, k), bottom + textOffset(5, k), text);
    }
    // Clear of the last tick's label, which may end 9 pixels right of the graph.
    frame.textOut(gx + gw + textOffset(20, k), bottom + textOffset(5, k), "ms");
  }

  // Amplitude in % of the peak at the right edge: a peak-sized sample lies
  // kTimePeakFraction of the height from its channel's centre line, twice
  // that for a single channel.
  const int right = gx + gw;
  auto percentTick = [&](int centre, double scale, int percent) {
    const int y = gy + toPixel(centre - scale * percent / 100.0);
    line(frame, right, y, right + textOffset(4, k), y);
    std::snprintf(text, sizeof text, "%d%%", percent);
    frame.textOut(right + textOffset(6, k), y - textOffset(6, k), text);
  };
  if (s.impedanceMode == 0 && !s.twoChannel && !in.calibrationView) {
    for (const int p : {100, 50, 0, -50, -100}) percentTick(gh / 2, 2 * gh * kTimePeakFraction, p);
  } else {
    for (const int centre : {gh / 4, 3 * (gh / 4)})
      for (const int p : {100, 0, -100}) percentTick(centre, gh * kTimePeakFraction, p);
  }

  // The analysis window: a red marker at its start and at its end where they
  // fall on the graph, and its times written above the graph's right end.
  const AnalysisWindowSpan win = shownAnalysisWindow(in);
  frame.setPen({colourRed, PenStyle::solid, textOffset(2, k)});
  const double markerMs[2] = {win.start / msToSamples, (win.start + win.length) / msToSamples};
  for (const double ms : markerMs) {
    const int x = toPixel(timeToX(ms));
    // The window's end usually lies just right of the graph's last pixel.
    if (x < 0 || x > gw + 1) continue;
    line(frame, gx + x, gy - textOffset(10, k), gx + x, gy);
  }
  frame.setPen(penSolidBlack);
  std::snprintf(text, sizeof text, "Window %.1f - %.1f ms", markerMs[0], markerMs[1]);
  frame.textOut(gx + gw - textOffset(150, k), gy - textOffset(15, k), text);
}
