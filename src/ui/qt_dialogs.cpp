#include "ui/qt_dialogs.h"

#include <QMessageBox>
#include <QString>

namespace {

QMessageBox::Icon qtIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::information: return QMessageBox::Information;
    case MsgIcon::warning: return QMessageBox::Warning;
    case MsgIcon::error: return QMessageBox::Critical;
    case MsgIcon::question: return QMessageBox::Question;
    case MsgIcon::none: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

MsgResult TQtDialogs::messageBox(const char* text, const char* caption, MsgIcon icon,
                                 MsgButtons buttons) {
  QMessageBox box(qtIcon(icon), QString::fromUtf8(caption), QString::fromUtf8(text),
                  QMessageBox::NoButton, parent_);
  switch (buttons) {
    case MsgButtons::ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MsgButtons::okCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case MsgButtons::yesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
  }
  switch (box.exec()) {
    case QMessageBox::Ok: return MsgResult::ok;
    case QMessageBox::Yes: return MsgResult::yes;
    case QMessageBox::No: return MsgResult::no;
    default: break;
  }
  // Closed without a choice.
  if (buttons == MsgButtons::ok) return MsgResult::ok;
  return buttons == MsgButtons::yesNo ? MsgResult::no : MsgResult::cancel;
}
