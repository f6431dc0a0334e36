#pragma once
// The drawing surface of every graph: a pen, a white brush and a handful of
// operations in integer pixel coordinates. The window implements it on an
// off-screen image; tests and benchmarks use RecordingCanvas.

#include <cstdint>

// A colour as plain red, green, blue.
struct Rgb {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;

  friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

enum class PenStyle : uint8_t { solid, dotted };

struct Pen {
  Rgb colour{};
  PenStyle style = PenStyle::solid;
  int width = 1;  // pixels

  friend constexpr bool operator==(const Pen&, const Pen&) = default;
};

// Coordinates are pixels with (0, 0) at the top-left corner, x to the right
// and y downwards. Any coordinate is legal: whatever lies outside the surface
// is clipped, never rejected. Implementations must not allocate per call.
class Canvas {
 public:
  virtual ~Canvas() = default;

  // Size of the surface in pixels; every graph is laid out from these.
  virtual int width() const = 0;
  virtual int height() const = 0;

  // The pen used by lineTo and by the outline of rectangle, until the next call.
  virtual void setPen(const Pen& pen) = 0;
  virtual Pen pen() const = 0;

  // Makes (x, y) the current position without drawing.
  virtual void moveTo(int x, int y) = 0;
  // Draws from the current position to (x, y) with the pen; the end pixel is
  // not painted, so a line to the current position paints nothing. (x, y)
  // becomes the current position.
  virtual void lineTo(int x, int y) = 0;
  // Outlines the rectangle from (x1, y1) to (x2 - 1, y2 - 1) with the pen and
  // fills its inside with the white brush.
  virtual void rectangle(int x1, int y1, int x2, int y2) = 0;
  // Fills from (x1, y1) up to, not including, (x2, y2) with the colour; no outline.
  virtual void fillRect(int x1, int y1, int x2, int y2, Rgb colour) = 0;
  // Writes the NUL-terminated UTF-8 text with its top-left corner at (x, y),
  // in black on the white brush, in the canvas's small label font.
  virtual void textOut(int x, int y, const char* text) = 0;
};

// Traces the edge pixels of the whole surface with the current pen, clockwise
// from the top-left corner down the left side.
inline void drawBorder(Canvas& c) {
  const int w = c.width();
  const int h = c.height();
  c.moveTo(0, 0);
  c.lineTo(0, h - 1);
  c.lineTo(w - 1, h - 1);
  c.lineTo(w - 1, 0);
  c.lineTo(0, 0);
}
