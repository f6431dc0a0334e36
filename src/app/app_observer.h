#pragma once
// The one interface through which the application layer reports to its front
// end (the window, the command line). Every call comes on the program's
// thread, from inside an application operation.

#include <cstdint>

#include "analysis/measurement_mode.h"
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
  // The sample rate changed: what shows samples as time or distance follows.
  virtual void sampleRateChanged() {}
  // The merge gain entries now edit other fields (a change of measurement
  // mode, a recalled slot): the front end binds its entries to them.
  virtual void mergeGainsChanged(const GainEntrySetup&) {}
  // A recalled slot brought its kind of measurement: the front end shows
  // that page without treating it as the user's change of mode.
  virtual void measurementModeShown(bool /*impedance*/) {}
  // Apply on the Merge/Add page made the combination the live response:
  // the front end shows the Measure page (without a page change of its own).
  virtual void mergeApplied() {}
  // An opened session replaced the settings: the front end shows every
  // control's value again from the state.
  virtual void sessionOpened() {}
  // The device lists were read again and the chosen devices may have new
  // numbers: the front end lists the devices and the choices again.
  virtual void deviceListsChanged() {}
  // The end of a recording has drawn the level bars (and a level test's
  // waveform) on the recording canvases.
  virtual void recordingDrawn() {}
  // Buffers could not be prepared: the program must end with this code.
  virtual void exitProgram(int code) = 0;

 protected:
  ~AppObserver() = default;
};
