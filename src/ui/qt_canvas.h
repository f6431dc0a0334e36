#pragma once
// The graph canvas on screen: draws into an off-screen QImage that a widget
// shows. The painter stays open across a whole redraw (opening one per call
// would cost more than the drawing); finish() closes it before the image is
// shown or copied.

#include <QImage>
#include <QPainter>

#include "display/canvas.h"

class QtCanvas final : public Canvas {
 public:
  QtCanvas(int width, int height);
  ~QtCanvas() override;
  QtCanvas(const QtCanvas&) = delete;
  QtCanvas& operator=(const QtCanvas&) = delete;

  int width() const override { return image_.width(); }
  int height() const override { return image_.height(); }
  void setPen(const Pen& pen) override;
  Pen pen() const override { return pen_; }
  void moveTo(int x, int y) override;
  void lineTo(int x, int y) override;
  void rectangle(int x1, int y1, int x2, int y2) override;
  void fillRect(int x1, int y1, int x2, int y2, Rgb colour) override;
  void textOut(int x, int y, const char* text) override;

  // Makes the image width x height pixels (at least 1 x 1) and the label
  // font textScale times its default size. Unless both are as they were the
  // image is made white and true returned: it must be drawn again.
  bool resize(int width, int height, double textScale = 1.0);
  double textScale() const { return textScale_; }

  // Ends the drawing in progress; the image is then complete.
  void finish();
  // The picture drawn so far (finishes first).
  const QImage& image();

 private:
  QPainter& painter();

  QImage image_;
  QPainter painter_;
  Pen pen_{};
  double textScale_ = 1.0;
  int x_ = 0;
  int y_ = 0;
};
