#include "ui/main_window.h"

#include <QCloseEvent>
#include <QMenuBar>

#include <utility>

#include "ui/main_form.h"

TMainWindow::TMainWindow(QWidget* parent) : QMainWindow(parent) { adopt(new TMainForm(this)); }

TMainWindow::TMainWindow(WaveAudio& audio, Dialogs& dialogs, QWidget* parent, MonotonicClock clock)
    : QMainWindow(parent) {
  adopt(new TMainForm(audio, dialogs, this, std::move(clock)));
}

void TMainWindow::adopt(TMainForm* form) {
  form_ = form;
  setObjectName(QStringLiteral("MainWindow"));
  setCentralWidget(form);
  setMenuBar(form->createMenuBar());
  // The window's least size is the form's, the menu bar's height above it.
  setWindowTitle(form->windowTitle());
  connect(form, &QWidget::windowTitleChanged, this, &QWidget::setWindowTitle);
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  form_->keepLastSession();
  QMainWindow::closeEvent(event);
}
