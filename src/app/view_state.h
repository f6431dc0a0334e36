#pragma once
// Which controls of the main window are visible, enabled and captioned how,
// worked out from the program state alone. The window applies the result to
// its widgets; nothing here knows a widget.

#include <array>
#include <string>

#include "app/app_state.h"
#include "store/slots.h"

struct ViewState {
  bool dBOffsetVisible = false;  // dBOffset and its two labels
  // The channel choice: visible, enabled, and the item it shows. When
  // resetShowChannel is set the window also writes showChannel := 0.
  bool showChVisible = false;
  bool showChEnabled = false;
  bool resetShowChannel = false;
  int showChItem = 0;
  int smoothItem = 0;

  // The Merge/Add page layout; applied only when mergeLayoutApplies (the page
  // or the calibration view is shown), otherwise the page keeps its layout.
  bool mergeLayoutApplies = false;
  const char* mergeLCaption = "";
  const char* mergeUCaption = "";
  bool mergeFreqVisible = false;   // mergeFreq and its two labels
  bool mergeDelayVisible = false;  // both delays, the baffle step, their labels
  int mergeLGroupHeight = 0;
  const char* scalePostText = "";  // scaleLPost and scaleUPost

  bool storeEnabled = false;  // S1..S8 and exportMeas
  bool startEnabled = false;
  bool showFreqPage = false;  // switch the graph to "Freq domain"
  bool hidePhaseVisible = false;
  bool unCalibratedVisible = false;
  // The Settings page's calibration status: "Calibrated (SPL, 48000 Hz,
  // 16384)" when the current mode, rate and length are calibrated, else
  // empty (the page then says "Uncalibrated").
  std::string calibratedText;
  // The Z page warns that the impedance it measures is uncalibrated.
  bool zUncalibratedVisible = false;
  bool customRateVisible = false;  // sRateC
};

inline constexpr int kMergeLGroupTall = 129;  // with the baffle-step row
inline constexpr int kMergeLGroupShort = 89;

// The view of state s. showChVisibleNow is the current visibility of the
// channel choice, kept in impedance mode while a response exists.
ViewState computeViewState(const AppState& s, bool showChVisibleNow);

// What a run locks besides the settings controls of the run control: the
// SPL / Z switch, the device lists and the memory slot buttons. While a run
// holds the devices (locked) all of them are; otherwise a store button
// follows the view's storeEnabled and a recall button whether its slot
// holds a curve.
struct RunLockView {
  bool measurementModeEnabled = true;
  bool devicesEnabled = true;
  std::array<bool, kStoreSlots> storeEnabled{};
  std::array<bool, kStoreSlots> recallEnabled{};
};
RunLockView computeRunLocks(const AppState& s, const ViewState& v, bool locked);

// True when the sound card calibration for the current mode, sample rate
// index and MLS order has been measured; false for indices out of range.
bool isCalibrated(const AppState& s);

// "Calibrated (mode, rate, MLS length)" for the current setup, the mode as
// its page is named ("SPL" or "Z"), the rate in Hz; empty when the current
// setup is not calibrated.
std::string calibrationSummary(const AppState& s);

// Fills curves.splMag with the two calibration channels of the current mode,
// rate and length in dB plus offsetDb, and curves.dBTop with the largest of
// them inside freqLow..freqHigh plus 2.5 % of displayRange (-1000 plus that
// headroom when no point lies inside). Out-of-range indices leave the curves
// at -1000 dB.
void recomputeCalDisplay(AppState& s, double offsetDb);
