#pragma once
// TImageView: a widget that shows one graph canvas, an off-screen image the
// program draws into at the widget's size times the screen's device pixel
// ratio. Mouse moves, presses and the pointer leaving it are reported, in
// canvas pixels.

#include <QWidget>

#include <vector>

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
  // Makes the canvas the widget's size times its device pixel ratio; true
  // when the canvas was made anew (white: it must be drawn again).
  bool fitCanvas();
  // Canvas pixels per widget pixel.
  double pixelRatio() const { return canvas_.textScale(); }

  // Markers painted over the canvas (not into it), at canvas pixels: a ring
  // for the one without a name, a dot and its letter for a named one.
  struct Mark {
    int x = 0;
    int y = 0;
    char name = '\0';
  };
  void setMarks(std::vector<Mark> marks);
  const std::vector<Mark>& marks() const { return marks_; }

 Q_SIGNALS:
  void mouseMoved(int x, int y);
  void mousePressed(int x, int y, Qt::MouseButton button);
  void mouseLeft();
  // The screen's device pixel ratio is no longer the canvas's (the window
  // moved to another screen): the owner lays the graphs out again.
  void pixelRatioChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QtCanvas canvas_;
  std::vector<Mark> marks_;
};
