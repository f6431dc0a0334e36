#include "ui/image_view.h"

#include <QMouseEvent>
#include <QPainter>

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

void TImageView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, canvas_.image());
}

void TImageView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  Q_EMIT mouseMoved(pos.x(), pos.y());
  QWidget::mouseMoveEvent(event);
}
