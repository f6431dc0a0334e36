#pragma once
// A canvas that draws nothing and remembers every call: what was done, where,
// with which pen and which text. Tests check the records; benchmarks measure
// the drawing logic without a window. Storage is reserved once at construction.

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "display/canvas.h"

enum class CanvasOpKind : uint8_t { setPen, moveTo, lineTo, rectangle, fillRect, textOut };

// One recorded call. For lineTo, (x1, y1) is the position the line starts from
// and (x2, y2) its end; moveTo and textOut use (x1, y1) only; rectangle and
// fillRect use all four. pen is the pen in force after the call.
struct CanvasOp {
  CanvasOpKind kind = CanvasOpKind::moveTo;
  int x1 = 0;
  int y1 = 0;
  int x2 = 0;
  int y2 = 0;
  Pen pen{};
  Rgb fill{};  // fillRect only
  size_t textOffset = 0;
  size_t textLength = 0;
};

class RecordingCanvas final : public Canvas {
 public:
  static constexpr size_t kDefaultOpCapacity = 65536;
  static constexpr size_t kDefaultTextCapacity = 65536;

  // A surface of width x height pixels whose pen starts solid black, width 1,
  // at position (0, 0). Calls beyond the capacities are counted in dropped()
  // instead of stored, so recording never reallocates.
  RecordingCanvas(int width, int height, size_t opCapacity = kDefaultOpCapacity,
                  size_t textCapacity = kDefaultTextCapacity);

  int width() const override { return width_; }
  int height() const override { return height_; }
  void setPen(const Pen& pen) override;
  Pen pen() const override { return pen_; }
  void moveTo(int x, int y) override;
  void lineTo(int x, int y) override;
  void rectangle(int x1, int y1, int x2, int y2) override;
  void fillRect(int x1, int y1, int x2, int y2, Rgb colour) override;
  void textOut(int x, int y, const char* text) override;

  // Forgets the records (keeping the storage, the pen and the position).
  void clear();

  std::span<const CanvasOp> ops() const { return ops_; }
  // The text of a textOut record; empty for every other kind.
  std::string_view text(const CanvasOp& op) const;
  // Number of calls that did not fit into the capacities.
  size_t dropped() const { return dropped_; }

 private:
  void record(const CanvasOp& op);

  int width_;
  int height_;
  Pen pen_{};
  int posX_ = 0;
  int posY_ = 0;
  std::vector<CanvasOp> ops_;
  std::vector<char> text_;
  size_t dropped_ = 0;
};
