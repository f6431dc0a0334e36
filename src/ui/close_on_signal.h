#pragma once
// Closes a window when the process gets SIGINT or SIGTERM, exactly as its
// close button would. The signal handler only writes one byte into a pipe;
// the window's thread reads it through a QSocketNotifier and closes the
// window there, so no Qt code ever runs inside the handler.

#include <QObject>

class QSocketNotifier;
class QWidget;

class TCloseOnSignal : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers for SIGINT and SIGTERM for window. One instance at
  // a time; the destructor restores the previous handlers. installed() is
  // false when the pipe or the handlers could not be set up.
  explicit TCloseOnSignal(QWidget* window);
  ~TCloseOnSignal() override;
  bool installed() const { return installed_; }

 private:
  void onSignalByte();

  QWidget* window_;
  QSocketNotifier* notifier_ = nullptr;
  bool installed_ = false;
};
