#include "ui/image_view.h"

#include <QMouseEvent>
#include <QPainter>

TImageView::TImageView(QWidget* parent, int x, int y, int width, int height)
    : QWidget(parent), image_(width, height, QImage::Format_RGB32) {
  setGeometry(x, y, width, height);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  image_.fill(Qt::white);
}

void TImageView::clearFrame() {
  image_.fill(Qt::white);
  QPainter p(&image_);
  p.setPen(QPen(Qt::black, 1));
  const int w = image_.width();
  const int h = image_.height();
  p.drawLine(0, 0, 0, h - 1);
  p.drawLine(0, h - 1, w - 1, h - 1);
  p.drawLine(w - 1, h - 1, w - 1, 0);
  p.drawLine(w - 1, 0, 0, 0);
  update();
}

void TImageView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, image_);
}

void TImageView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  Q_EMIT mouseMoved(pos.x(), pos.y());
  QWidget::mouseMoveEvent(event);
}
