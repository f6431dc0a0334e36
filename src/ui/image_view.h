#pragma once
// TImageView: a fixed-size widget that shows one graph canvas, an off-screen
// image the program draws into. Mouse moves over it are reported in canvas
// pixels.

#include <QWidget>

#include "ui/qt_canvas.h"

class TImageView : public QWidget {
  Q_OBJECT

 public:
  // Places the widget at (x, y) in parent with a canvas of width x height.
  TImageView(QWidget* parent, int x, int y, int width, int height);

  // The canvas; call update() after drawing into it.
  QtCanvas& canvas() { return canvas_; }
  // The picture drawn so far.
  const QImage& image() { return canvas_.image(); }
  // White with a one-pixel black border: the empty frame of a graph.
  void clearFrame();

 Q_SIGNALS:
  void mouseMoved(int x, int y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  QtCanvas canvas_;
};
