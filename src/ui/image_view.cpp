#include "ui/image_view.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
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
  if (marks_.empty()) return;
  // The marks lie in canvas pixels (the painter is scaled to them) and
  // keep their size on the screen.
  const double ratio = canvas_.textScale() > 0.0 ? canvas_.textScale() : 1.0;
  p.scale(1.0 / ratio, 1.0 / ratio);
  p.setRenderHint(QPainter::Antialiasing, true);
  QFont font("DejaVu Sans");
  font.setPixelSize(static_cast<int>(std::lround(10 * ratio)));
  font.setBold(true);
  p.setFont(font);
  for (const Mark& m : marks_) {
    const QPointF at(m.x + 0.5, m.y + 0.5);
    if (m.name == '\0') {
      p.setPen(QPen(Qt::black, 1.5 * ratio));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(at, 4.5 * ratio, 4.5 * ratio);
      continue;
    }
    p.setPen(QPen(Qt::white, ratio));
    p.setBrush(Qt::black);
    p.drawEllipse(at, 3.5 * ratio, 3.5 * ratio);
    p.setPen(Qt::black);
    // The letter above and right of its dot, or below it near the top edge.
    const double baseline = m.y >= 14 * ratio ? m.y - 5 * ratio : m.y + 14 * ratio;
    p.drawText(QPointF(m.x + 6 * ratio, baseline), QString(QLatin1Char(m.name)));
  }
}

void TImageView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = (event->position() * canvas_.textScale()).toPoint();
  Q_EMIT mouseMoved(pos.x(), pos.y());
  QWidget::mouseMoveEvent(event);
}

void TImageView::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = (event->position() * canvas_.textScale()).toPoint();
  Q_EMIT mousePressed(pos.x(), pos.y(), event->button());
  QWidget::mousePressEvent(event);
}

void TImageView::leaveEvent(QEvent* event) {
  Q_EMIT mouseLeft();
  QWidget::leaveEvent(event);
}
