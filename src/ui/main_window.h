#pragma once
// TMainWindow: the program's top-level window. It holds the TMainForm as its
// client area, unchanged in size and layout, with the menu bar above it; the
// title follows the form's.

#include <QMainWindow>

#include "app/application.h"

class Dialogs;
class TMainForm;
class WaveAudio;

class TMainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // The form on the real and simulated devices, as TMainForm's first constructor.
  explicit TMainWindow(QWidget* parent = nullptr);
  // The form on the given devices and dialogs (tests), as TMainForm's second
  // constructor; both must outlive the window.
  TMainWindow(WaveAudio& audio, Dialogs& dialogs, QWidget* parent = nullptr,
              MonotonicClock clock = steadyClockSeconds);

  TMainForm& form() { return *form_; }

 protected:
  // Keeps the session for the next start before the window closes.
  void closeEvent(QCloseEvent* event) override;

 private:
  void adopt(TMainForm* form);

  TMainForm* form_ = nullptr;
};
