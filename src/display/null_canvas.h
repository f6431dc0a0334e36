#pragma once
// A canvas of a given size that draws nothing: for a front end that shows no
// pictures (the command line), so the drawing code runs unchanged.

#include "display/canvas.h"

class NullCanvas final : public Canvas {
 public:
  NullCanvas(int width, int height) : width_(width), height_(height) {}
  int width() const override { return width_; }
  int height() const override { return height_; }
  void setPen(const Pen& pen) override { pen_ = pen; }
  Pen pen() const override { return pen_; }
  void moveTo(int, int) override {}
  void lineTo(int, int) override {}
  void rectangle(int, int, int, int) override {}
  void fillRect(int, int, int, int, Rgb) override {}
  void textOut(int, int, const char*) override {}

 private:
  int width_;
  int height_;
  Pen pen_{};
};
