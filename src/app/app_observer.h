#pragma once
// The one interface through which the application layer reports to its front
// end (the window, the command line). Every call comes on the program's
// thread, from inside an application operation.

#include <cstdint>

#include "platform/dialogs.h"

// How a run ended.
enum class RunOutcome : uint8_t {
  completed,  // the recording was analysed and shown (or stored, for a calibration)
  failed,     // a device failed or could not be opened; the message said why
  noSignal,   // a calibration run recorded nothing on an input it needs; nothing stored
};

class AppObserver {
 public:
  // The graphs must be painted again from the state. A front end that paints
  // nothing still has the shown curves prepared (prepareShownCurves).
  virtual void redraw() = 0;
  // What the controls show (computeViewState) may have changed.
  virtual void viewStateChanged() = 0;
  // A run took (true) or gave back (false) the devices: the settings
  // controls that a run locks follow.
  virtual void controlsLocked(bool locked) = 0;
  // The run is over, with its outcome; the devices are closed and the
  // controls given back. A cyclic measurement reports once, at its end.
  virtual void runEnded(RunOutcome outcome) = 0;
  // A message for the user: a modal box in the window, a line on stderr on
  // the command line.
  virtual void showMessage(const char* text, const char* caption, MsgIcon icon) = 0;

  // The "Start" button: disabled while a single measurement runs or waits
  // for its delay; captioned "Stop" while a cyclic measurement runs.
  virtual void startDisabled() {}
  virtual void startShowsStop(bool) {}
  // The program is busy (the analysis of a recording) or no longer.
  virtual void busy(bool) {}
  // A two-channel response was measured: the channel choice may be used.
  virtual void channelSelectorEnabled() {}
  // The end of a recording has drawn the level bars (and a level test's
  // waveform) on the recording canvases.
  virtual void recordingDrawn() {}
  // Buffers could not be prepared: the program must end with this code.
  virtual void exitProgram(int code) = 0;

 protected:
  ~AppObserver() = default;
};
