#include "ui/qt_dialogs.h"

#include <QByteArray>
#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <cstring>

#include "platform/file_filter.h"

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

bool TQtDialogs::openFileDialog(const FileDialogRequest& request, char* path, size_t capacity) {
  return runFileDialog(false, request, path, capacity);
}

bool TQtDialogs::saveFileDialog(const FileDialogRequest& request, char* path, size_t capacity) {
  return runFileDialog(true, request, path, capacity);
}

bool TQtDialogs::runFileDialog(bool save, const FileDialogRequest& request, char* path,
                               size_t capacity) {
  QFileDialog dialog(parent_);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  const QString filters = QString::fromUtf8(nameFilters(request.filter));
  if (!filters.isEmpty()) dialog.setNameFilters(filters.split(QStringLiteral(";;")));
  if (request.defaultExt != nullptr) dialog.setDefaultSuffix(QString::fromUtf8(request.defaultExt));
  // A name typed without an extension takes that of the file type chosen
  // ("FRD files (*.FRD *.frd)" gives "frd"); "All files" keeps the default.
  const QString defaultSuffix = dialog.defaultSuffix();
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, defaultSuffix](const QString& f) {
    const qsizetype open = f.lastIndexOf(QLatin1Char('('));
    const QString first = open < 0 ? QString() : f.mid(open + 1).section(QLatin1Char(' '), 0, 0);
    const bool named = first.startsWith(QStringLiteral("*.")) && first.size() > 2 &&
                       first.indexOf(QLatin1Char('*'), 1) < 0;
    dialog.setDefaultSuffix(named ? first.mid(2).remove(QLatin1Char(')')).toLower() : defaultSuffix);
  });
  if (request.fileName != nullptr && request.fileName[0] != '\0') {
    dialog.selectFile(QString::fromUtf8(request.fileName));
  }
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  const QByteArray utf8 = chosen.first().toUtf8();
  // A path the program cannot keep whole counts as no choice.
  if (capacity == 0 || static_cast<size_t>(utf8.size()) >= capacity) return false;
  std::memcpy(path, utf8.constData(), static_cast<size_t>(utf8.size()));
  path[utf8.size()] = '\0';
  return true;
}
