#pragma once
// TImageView: a fixed-size widget that shows an off-screen QImage, the
// canvas the program draws into. Mouse moves over it are reported in image
// pixels.

#include <QImage>
#include <QWidget>

class TImageView : public QWidget {
  Q_OBJECT

 public:
  // Places the widget at (x, y) in parent with an image of width x height.
  TImageView(QWidget* parent, int x, int y, int width, int height);

  // The canvas; call update() after drawing into it.
  QImage& image() { return image_; }
  const QImage& image() const { return image_; }
  // White with a one-pixel black border: the empty frame of a graph.
  void clearFrame();

 Q_SIGNALS:
  void mouseMoved(int x, int y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  QImage image_;
};
