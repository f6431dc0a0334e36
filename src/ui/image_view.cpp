#include "ui/image_view.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

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

void TImageView::setMarks(std::vector<Mark> marks) {
  if (marks.size() == marks_.size() &&
      std::equal(marks.begin(), marks.end(), marks_.begin(), [](const Mark& a, const Mark& b) {
        return a.x == b.x && a.y == b.y && a.name == b.name;
      }))
    return;
  marks_ = std::move(marks);
  update();
}

void TImageView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, canvas_.image());
  if (marks_.empty()) return;
  p.setRenderHint(QPainter::Antialiasing, true);
  QFont font("DejaVu Sans");
  font.setPixelSize(10);
  font.setBold(true);
  p.setFont(font);
  for (const Mark& m : marks_) {
    const QPointF at(m.x + 0.5, m.y + 0.5);
    if (m.name == '\0') {
      p.setPen(QPen(Qt::black, 1.5));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(at, 4.5, 4.5);
      continue;
    }
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(Qt::black);
    p.drawEllipse(at, 3.5, 3.5);
    p.setPen(Qt::black);
    // The letter above and right of its dot, or below it near the top edge.
    const double baseline = m.y >= 14 ? m.y - 5 : m.y + 14;
    p.drawText(QPointF(m.x + 6, baseline), QString(QLatin1Char(m.name)));
  }
}

void TImageView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  Q_EMIT mouseMoved(pos.x(), pos.y());
  QWidget::mouseMoveEvent(event);
}

void TImageView::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  Q_EMIT mousePressed(pos.x(), pos.y(), event->button());
  QWidget::mousePressEvent(event);
}

void TImageView::leaveEvent(QEvent* event) {
  Q_EMIT mouseLeft();
  QWidget::leaveEvent(event);
}
