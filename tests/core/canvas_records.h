#pragma once
// Views of a RecordingCanvas's records for the display tests: labels, line
// segments and polylines, in drawing order.

#include <string>
#include <vector>

#include "display/recording_canvas.h"

struct Label {
  std::string text;
  int x = 0;
  int y = 0;
  friend bool operator==(const Label&, const Label&) = default;
};

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// A moveTo and the lineTo calls that follow it. points[0] is where it starts;
// pen is the pen of its first line.
struct Polyline {
  Pen pen{};
  std::vector<Point> points;
};

inline std::vector<Label> labelsOf(const RecordingCanvas& c) {
  std::vector<Label> out;
  for (const CanvasOp& op : c.ops())
    if (op.kind == CanvasOpKind::textOut) out.push_back({std::string(c.text(op)), op.x1, op.y1});
  return out;
}

inline std::vector<CanvasOp> linesOf(const RecordingCanvas& c) {
  std::vector<CanvasOp> out;
  for (const CanvasOp& op : c.ops())
    if (op.kind == CanvasOpKind::lineTo) out.push_back(op);
  return out;
}

inline std::vector<Polyline> polylinesOf(const RecordingCanvas& c) {
  std::vector<Polyline> out;
  for (const CanvasOp& op : c.ops()) {
    if (op.kind == CanvasOpKind::moveTo) {
      out.push_back({op.pen, {{op.x1, op.y1}}});
    } else if (op.kind == CanvasOpKind::lineTo && !out.empty()) {
      if (out.back().points.size() == 1) out.back().pen = op.pen;
      out.back().points.push_back({op.x2, op.y2});
    }
  }
  return out;
}

inline bool hasLabel(const RecordingCanvas& c, const std::string& text) {
  for (const Label& l : labelsOf(c))
    if (l.text == text) return true;
  return false;
}
