#include "display/graph_layout.h"

#include <algorithm>

GraphGeometry graphGeometry(int extraWidth, int extraHeight) {
  const int dw = std::max(0, extraWidth);
  const int dh = std::max(0, extraHeight);
  GraphGeometry g;
  g.timeWidth += dw;
  g.timeHeight += dh;
  g.timeFrameWidth += dw;
  g.timeFrameHeight += dh;
  g.frameWidth += dw;
  g.frameHeight += dh;
  g.plotWidth += dw;
  g.plotHeight += dh;
  return g;
}

GraphGeometry scaledGeometry(const GraphGeometry& g, double ratio) {
  if (!(ratio > 0.0) || !std::isfinite(ratio)) ratio = 1.0;
  const auto s = [ratio](int v) { return static_cast<int>(std::lround(v * ratio)); };
  GraphGeometry d;
  d.timeX = s(g.timeX);
  d.timeY = s(g.timeY);
  d.timeWidth = s(g.timeWidth);
  d.timeHeight = s(g.timeHeight);
  d.timeFrameWidth = s(g.timeFrameWidth);
  d.timeFrameHeight = s(g.timeFrameHeight);
  d.frameWidth = s(g.frameWidth);
  d.frameHeight = s(g.frameHeight);
  d.plotX = s(g.plotX);
  d.plotY = s(g.plotY);
  d.plotWidth = s(g.plotWidth);
  d.plotHeight = s(g.plotHeight);
  d.labelX = s(g.labelX);
  d.labelY = s(g.labelY);
  d.textScale = g.textScale * ratio;
  return d;
}
