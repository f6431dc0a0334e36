#include "ui/qt_canvas.h"

#include <QFont>
#include <QFontMetrics>

#include <algorithm>
#include <cmath>

namespace {

QColor toQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

QPen toQPen(const Pen& p) {
  QPen q(toQColor(p.colour));
  q.setWidth(p.width);
  q.setCosmetic(true);
  q.setStyle(p.style == PenStyle::dotted ? Qt::DotLine : Qt::SolidLine);
  q.setCapStyle(Qt::FlatCap);
  return q;
}

}  // namespace

QtCanvas::QtCanvas(int width, int height) : image_(width, height, QImage::Format_RGB32) {
  image_.fill(Qt::white);
}

QtCanvas::~QtCanvas() { finish(); }

QPainter& QtCanvas::painter() {
  if (!painter_.isActive()) {
    painter_.begin(&image_);
    painter_.setRenderHint(QPainter::Antialiasing, false);
    QFont font("DejaVu Sans");
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(10 * textScale_))));
    painter_.setFont(font);
    painter_.setBackground(Qt::white);
    painter_.setBackgroundMode(Qt::OpaqueMode);
    painter_.setPen(toQPen(pen_));
  }
  return painter_;
}

bool QtCanvas::resize(int width, int height, double textScale) {
  finish();
  const double scale = textScale > 0.0 && std::isfinite(textScale) ? textScale : 1.0;
  width = std::max(1, width);
  height = std::max(1, height);
  const bool sameSize = width == image_.width() && height == image_.height();
  if (sameSize && scale == textScale_) return false;
  textScale_ = scale;
  if (!sameSize) image_ = QImage(width, height, QImage::Format_RGB32);
  image_.fill(Qt::white);
  return true;
}

void QtCanvas::finish() {
  if (painter_.isActive()) painter_.end();
}

const QImage& QtCanvas::image() {
  finish();
  return image_;
}

void QtCanvas::setPen(const Pen& pen) {
  pen_ = pen;
  if (painter_.isActive()) painter_.setPen(toQPen(pen));
}

void QtCanvas::moveTo(int x, int y) {
  x_ = x;
  y_ = y;
}

void QtCanvas::lineTo(int x, int y) {
  // An aliased cosmetic line with a flat cap leaves its end pixel unpainted.
  if (x != x_ || y != y_) painter().drawLine(x_, y_, x, y);
  x_ = x;
  y_ = y;
}

void QtCanvas::rectangle(int x1, int y1, int x2, int y2) {
  if (x2 <= x1 || y2 <= y1) return;
  QPainter& p = painter();
  p.fillRect(QRect(x1, y1, x2 - x1, y2 - y1), Qt::white);
  p.setBrush(Qt::NoBrush);
  p.drawRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1);
}

void QtCanvas::fillRect(int x1, int y1, int x2, int y2, Rgb colour) {
  if (x2 <= x1 || y2 <= y1) return;
  painter().fillRect(QRect(x1, y1, x2 - x1, y2 - y1), toQColor(colour));
}

void QtCanvas::textOut(int x, int y, const char* text) {
  QPainter& p = painter();
  const QPen keep = p.pen();
  p.setPen(Qt::black);
  const QFontMetrics fm(p.font());
  p.drawText(x, y + fm.ascent(), QString::fromUtf8(text));
  p.setPen(keep);
}
