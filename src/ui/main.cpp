// Program entry: the application, its one window, and the event loop until
// the window is closed (close button, SIGINT or SIGTERM alike).

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <clocale>
#include <exception>

#include "ui/close_on_signal.h"
#include "ui/main_form.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // Numbers in entries and files use a decimal point whatever the locale.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QStringLiteral("Sonrake"));
  QApplication::setStyle(QStringLiteral("Fusion"));

  try {
    TMainWindow window;
    TCloseOnSignal closer(&window);
    window.show();
    QTimer::singleShot(0, &window.form(), &TMainForm::offerLastSession);
    return QApplication::exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, QStringLiteral("Sonrake"), QString::fromLocal8Bit(e.what()));
    return 1;
  }
}
