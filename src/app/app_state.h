#pragma once
// The program's whole state, free of any window toolkit: the window allocates
// one of these once, on the heap, and keeps it for its lifetime. Nothing in it
// is allocated or freed per measurement.

#include <array>
#include <cstdint>
#include <string>

#include "analysis/curves.h"
#include "analysis/driver_params.h"
#include "analysis/fft.h"
#include "analysis/frequency_response.h"
#include "analysis/merge_setup.h"
#include "analysis/mic_cal.h"
#include "app/driver_ops.h"
#include "app/overlays.h"
#include "engine/deconvolution.h"
#include "engine/mls.h"
#include "engine/sound_card.h"
#include "setup/config_file.h"
#include "setup/meas_setup.h"
#include "setup/soundcard_cal.h"

inline constexpr int kSlotCount = 10;

struct AppState {
  MeasSetup setup;                           // the live settings and result
  std::array<MeasSetup, kSlotCount> slots;   // memory slots
  MergeSetup mergeSetup;                     // Merge/Add parameters and weights

  Fft fft8192{8192};
  Fft fft16384{16384};
  Fft fft32768{32768};
  Fft fft1024{1024};
  Fft fft256{256};
  ResponseBuffers responseBuffers;
  GridDft gridDft{setup.freqGrid};
  ResponseTransforms transforms{fft8192, fft16384, fft32768, gridDft};

  SoundcardCal soundcardCal;
  ComplexCurve micCal{};
  bool micCalValid = false;
  bool micImportAsk = true;
  char micFileName[kMicFileNameCapacity]{};  // microphone data file imported last, NUL-terminated
  MicFileInfo micInfo;  // what that file held: points, range, sensitivity

  std::string dataDir;  // where the data files live, ending in '/' (set once at start)

  int16_t inDeviceId = 0;
  int16_t outDeviceId = 0;

  MlsTables mls;
  RecBuffer recBuffer;
  SoundCardState soundCard;  // devices, buffer headers and counters of the run
  ImpulseResponse impulse;
  DisplayCurves curves;
  OverlayState overlays;  // memory slots shown over the live curve

  // The driver parameters of the shown impedance curve: the panel's inputs,
  // whether the live record holds an impedance curve to fit (set by an
  // impedance measurement or the recall of an impedance slot, cleared by a
  // change of mode or any other result) and the result.
  DriverInputs driverInputs;
  bool driverCurve = false;
  DriverParams driverParams;

  // Run state.
  bool responseValid = false;     // a measured response may be stored or exported
  bool measurementShown = false;  // the frequency graph shows a measurement
  bool calibrationView = false;   // the Settings page shows the sound card calibration
  bool measurementRun = false;
  bool calibrationRun = false;
  bool cyclicRunning = false;

  SoundCardContext soundCardContext() {
    return {soundCard, setup, mls, recBuffer, inDeviceId, outDeviceId, calibrationRun};
  }

  ResponseContext responseContext() {
    return {setup, impulse, calibrationRun, transforms, responseBuffers, soundcardCal, curves};
  }
};
