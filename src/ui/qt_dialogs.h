#pragma once
// The dialogs seam with Qt's modal boxes, owned by the window they belong to.

#include "platform/dialogs.h"

class QWidget;

class TQtDialogs final : public Dialogs {
 public:
  // parent: the window the boxes are modal to; must outlive this object.
  explicit TQtDialogs(QWidget* parent) : parent_(parent) {}

  // A QMessageBox with the text (Latin-1 or UTF-8), the caption as window
  // title, the icon and the buttons; runs its own event loop until closed.
  MsgResult messageBox(const char* text, const char* caption, MsgIcon icon,
                       MsgButtons buttons) override;

 private:
  QWidget* parent_;
};
