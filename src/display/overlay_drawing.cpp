#include "display/overlay_drawing.h"

#include <array>
#include <cmath>

#include "display/graph_layout.h"
#include "display/plot_mapping.h"

namespace {

// The Okabe-Ito colours, chosen to stay apart for colour-blind viewers,
// without their black (the live curve's); an eighth, wine, from Paul Tol's
// muted scheme. Strong colours first: the first slots are used most.
constexpr std::array<Rgb, kOverlayColours> kPalette = {{
    {230, 159, 0},    // orange
    {86, 180, 233},   // sky blue
    {0, 158, 115},    // bluish green
    {204, 121, 167},  // reddish purple
    {0, 114, 178},    // blue
    {213, 94, 0},     // vermillion
    {240, 228, 66},   // yellow
    {136, 34, 85},    // wine
}};

bool overlaysApply(const GraphInputs& in) { return !in.calibrationView && !in.merge.mergeShown; }

}  // namespace

Rgb overlayColour(int n) {
  const int i = ((n - 1) % kOverlayColours + kOverlayColours) % kOverlayColours;
  return kPalette[static_cast<size_t>(i)];
}

void drawOverlayCurves(const GraphInputs& in, Canvas& c) {
  if (!overlaysApply(in) || in.overlays.empty()) return;
  const MeasSetup& s = in.setup;
  const PlotMapping map = plotMapping(s, in.curves.dBTop, false, c.width(), c.height());
  if (!map.usable()) return;
  for (const OverlayCurve& o : in.overlays) {
    if (o.magnitude == nullptr) continue;
    c.setPen({o.colour, PenStyle::solid, 1});
    const int end = o.end < kGridPoints ? o.end : kGridPoints;
    bool started = false;
    for (int j = 0; j < end; ++j) {
      if (o.held != nullptr && !o.held->test(static_cast<size_t>(j))) {
        started = false;
        continue;
      }
      const double x = map.x(s.freqGrid[j]);
      const double y = map.y((*o.magnitude)[j]);
      if (std::isnan(x) || std::isnan(y)) continue;
      const int px = toPixel(x);
      const int py = toPixel(y);
      if (!started) {
        c.moveTo(px, py);
        started = true;
      }
      c.lineTo(px, py);
    }
  }
  c.setPen(penSolidBlack);
}

void drawOverlayLegend(const GraphInputs& in, Canvas& c) {
  if (!overlaysApply(in)) return;
  int row = 0;
  for (const OverlayCurve& o : in.overlays) {
    if (o.magnitude == nullptr) continue;
    const int top = kLegendInset + row * kLegendRowHeight;
    const int mid = top + kLegendRowHeight / 2;
    c.fillRect(kLegendInset, mid - 1, kLegendInset + kLegendSwatchLength, mid + 1, o.colour);
    c.textOut(kLegendInset + kLegendSwatchLength + kLegendTextGap, top, o.legend);
    ++row;
  }
}
