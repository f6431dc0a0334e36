#pragma once
// The dialogs seam with Qt's modal boxes and file dialogs, owned by the window
// they belong to.

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
  // A QFileDialog for an existing file, with the request's filters, default
  // suffix and start name; the chosen path as UTF-8.
  bool openFileDialog(const FileDialogRequest& request, char* path, size_t capacity) override;
  // The same for saving; the dialog asks before an existing file is replaced.
  bool saveFileDialog(const FileDialogRequest& request, char* path, size_t capacity) override;

 private:
  bool runFileDialog(bool save, const FileDialogRequest& request, char* path, size_t capacity);

  QWidget* parent_;
};
