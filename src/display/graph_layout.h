#pragma once
// Geometry and colours shared by the graph frame, the axes and the curves.

#include <cmath>

#include "display/canvas.h"

// Sizes of the three graph images of the window, in pixels.
inline constexpr int kTimeGraphWidth = 601;   // Image1, time-domain graph
inline constexpr int kTimeGraphHeight = 297;
inline constexpr int kFrameWidth = 633;       // Image5, frame with the labels
inline constexpr int kFrameHeight = 305;
inline constexpr int kPlotWidth = 553;        // Image2, plot with grid and curves
inline constexpr int kPlotHeight = 233;

// Where the labels on the frame take the plot's top-left corner to be. The
// plot really lies 48 pixels in from the frame's left edge; the labels are
// placed with 40, which is what keeps them clear of it.
inline constexpr int frameOffsetX = 40;
inline constexpr int frameOffsetY = 32;

// Peak and sample scale of the time graph: a sample equal to the peak lies
// 5/41 of the height from its channel's centre line (10/41 for one channel,
// which is drawn at twice the scale).
inline constexpr double kTimePeakFraction = 0.12195121951219512;

// Where the graphs lie and how large they are. The defaults are the window at
// its smallest size; a larger graph area gives its extra width and height to
// the time graph, the frame and the plot alike, while the plot keeps its
// place in the frame and the labels keep theirs relative to the plot's corner.
// In window pixels from graphGeometry, in canvas pixels after scaledGeometry.
struct GraphGeometry {
  // The time graph (Image1) inside the frame carrying its scale.
  int timeX = 8;
  int timeY = 16;
  int timeWidth = kTimeGraphWidth;
  int timeHeight = kTimeGraphHeight;
  int timeFrameWidth = 657;
  int timeFrameHeight = 345;
  // The frequency graph's frame (Image5) and the plot (Image2) inside it.
  int frameWidth = kFrameWidth;
  int frameHeight = kFrameHeight;
  int plotX = 48;
  int plotY = 32;
  int plotWidth = kPlotWidth;
  int plotHeight = kPlotHeight;
  // The plot's corner as the frame's labels take it (frameOffsetX/Y).
  int labelX = frameOffsetX;
  int labelY = frameOffsetY;
  // Canvas pixels per window pixel: the labels' font and their small
  // offsets from the lines they name grow with it.
  double textScale = 1.0;

  friend constexpr bool operator==(const GraphGeometry&, const GraphGeometry&) = default;
};

// The geometry of a graph area extraWidth x extraHeight window pixels larger
// than the default one; negative extras count as 0 (the window's minimum).
GraphGeometry graphGeometry(int extraWidth, int extraHeight);

// The same geometry in the pixels of canvases drawn at `ratio` canvas pixels
// per window pixel (the screen's device pixel ratio): every position and size
// times ratio, rounded to the nearest pixel, and textScale = ratio. A ratio
// that is not positive and finite counts as 1.
GraphGeometry scaledGeometry(const GraphGeometry& g, double ratio);

// A label offset of `pixels` at the default text size, at textScale `scale`:
// rounded to the nearest pixel, so that a scale of 1 leaves it unchanged.
inline int textOffset(int pixels, double scale) {
  return static_cast<int>(std::lround(pixels * scale));
}

inline constexpr Rgb colourBlack{0, 0, 0};
inline constexpr Rgb colourGrey{128, 128, 128};
inline constexpr Rgb colourSilver{192, 192, 192};
inline constexpr Rgb colourRed{255, 0, 0};
inline constexpr Rgb colourBlue{0, 0, 255};
inline constexpr Rgb colourWhite{255, 255, 255};

inline constexpr Pen penSolidBlack{colourBlack, PenStyle::solid, 1};
// Grid lines and phase ticks.
inline constexpr Pen penGrid{colourGrey, PenStyle::dotted, 1};

// Pixel coordinates are kept within this distance of the origin: far outside
// any canvas, so clipping hides them the same way, yet safe to convert.
inline constexpr int kPixelLimit = 1000000;

// A computed real coordinate as a pixel, truncated toward zero. Values beyond
// +-kPixelLimit (infinities included) are pulled in to the limit, and NaN
// goes to -kPixelLimit, off every canvas; the conversion is never undefined.
inline int toPixel(double v) {
  if (!(v > -kPixelLimit)) return -kPixelLimit;
  if (v > kPixelLimit) return kPixelLimit;
  return static_cast<int>(v);
}

// x(f) of a frequency on a plot of the given width: freqLow at the left edge
// (0), freqHigh at the right edge (width); real-valued, not yet a pixel.
inline double freqToX(double freqHz, double freqLow, double freqHigh, int width) {
  return width * std::log(freqHz / freqLow) / std::log(freqHigh / freqLow);
}
