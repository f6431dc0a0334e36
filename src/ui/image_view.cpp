#include "ui/image_view.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

#include "display/graph_layout.h"

TImageView::TImageView(QWidget* parent, int x, int y, int width, int height)
    : QWidget(parent), canvas_(width, height) {
  setGeometry(x, y, width, height);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TImageView::clearFrame() {
  const int w = canvas_.width();
  const int h = canvas_.height();
  canvas_.fillRect(0, 0, w, h, colourWhite);
  canvas_.setPen(penSolidBlack);
  drawBorder(canvas_);
  canvas_.finish();
  update();
}

bool TImageView::fitCanvas() {
  const double ratio = devicePixelRatioF();
  const int w = static_cast<int>(std::lround(width() * ratio));
  const int h = static_cast<int>(std::lround(height() * ratio));
  return canvas_.resize(w, h, ratio);
}

void TImageView::paintEvent(QPaintEvent*) {
  if (devicePixelRatioF() != canvas_.textScale()) Q_EMIT pixelRatioChanged();
  QPainter p(this);
  // One canvas pixel to one device pixel: at a ratio of 1 the image is
  // drawn unscaled at the widget's origin.
  p.drawImage(QRectF(0, 0, width(), height()), canvas_.image());
}

void TImageView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = (event->position() * canvas_.textScale()).toPoint();
  Q_EMIT mouseMoved(pos.x(), pos.y());
  QWidget::mouseMoveEvent(event);
}
