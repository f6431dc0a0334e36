#include "display/recording_canvas.h"

#include <cstring>

RecordingCanvas::RecordingCanvas(int width, int height, size_t opCapacity, size_t textCapacity)
    : width_(width), height_(height) {
  ops_.reserve(opCapacity);
  text_.reserve(textCapacity);
}

void RecordingCanvas::record(const CanvasOp& op) {
  if (ops_.size() == ops_.capacity()) {
    ++dropped_;
    return;
  }
  ops_.push_back(op);
}

void RecordingCanvas::setPen(const Pen& pen) {
  pen_ = pen;
  record({.kind = CanvasOpKind::setPen, .pen = pen_});
}

void RecordingCanvas::moveTo(int x, int y) {
  posX_ = x;
  posY_ = y;
  record({.kind = CanvasOpKind::moveTo, .x1 = x, .y1 = y, .pen = pen_});
}

void RecordingCanvas::lineTo(int x, int y) {
  record({.kind = CanvasOpKind::lineTo, .x1 = posX_, .y1 = posY_, .x2 = x, .y2 = y, .pen = pen_});
  posX_ = x;
  posY_ = y;
}

void RecordingCanvas::rectangle(int x1, int y1, int x2, int y2) {
  record({.kind = CanvasOpKind::rectangle, .x1 = x1, .y1 = y1, .x2 = x2, .y2 = y2, .pen = pen_});
}

void RecordingCanvas::fillRect(int x1, int y1, int x2, int y2, Rgb colour) {
  record({.kind = CanvasOpKind::fillRect,
          .x1 = x1,
          .y1 = y1,
          .x2 = x2,
          .y2 = y2,
          .pen = pen_,
          .fill = colour});
}

void RecordingCanvas::textOut(int x, int y, const char* text) {
  const size_t length = std::strlen(text);
  if (ops_.size() == ops_.capacity() || text_.capacity() - text_.size() < length) {
    ++dropped_;
    return;
  }
  const size_t offset = text_.size();
  text_.insert(text_.end(), text, text + length);
  record({.kind = CanvasOpKind::textOut,
          .x1 = x,
          .y1 = y,
          .pen = pen_,
          .textOffset = offset,
          .textLength = length});
}

void RecordingCanvas::clear() {
  ops_.clear();
  text_.clear();
  dropped_ = 0;
}

std::string_view RecordingCanvas::text(const CanvasOp& op) const {
  if (op.kind != CanvasOpKind::textOut) return {};
  return {text_.data() + op.textOffset, op.textLength};
}
