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
