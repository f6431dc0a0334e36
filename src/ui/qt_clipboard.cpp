#include "ui/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

bool TQtClipboard::setImage(const ClipImage& image) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return false;
  // The wrapper only borrows the pixels; the clipboard keeps its own copy.
  const QImage borrowed(reinterpret_cast<const uchar*>(image.pixels), image.width, image.height,
                        static_cast<qsizetype>(image.stride) * 4, QImage::Format_RGB32);
  clipboard->setImage(borrowed.copy());
  return true;
}

bool TQtClipboard::setText(const char* utf8) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return false;
  clipboard->setText(QString::fromUtf8(utf8));
  return true;
}
