#include "app/view_state.h"

#include <cmath>

namespace {

bool calIndices(const MeasSetup& m, int& mode, int& rate, int& order) {
  mode = m.impedanceMode;
  rate = m.sRateIndex;
  order = m.mlsOrder - 12;
  return mode >= 0 && mode < SoundcardCal::kModes && rate >= 0 && rate < SoundcardCal::kRates &&
         order >= 0 && order < SoundcardCal::kOrders;
}

}  // namespace

bool isCalibrated(const AppState& s) {
  int mode = 0, rate = 0, order = 0;
  if (!calIndices(s.setup, mode, rate, order)) return false;
  return s.soundcardCal.calibratedFlags[mode][rate][order];
}

std::string calibrationSummary(const AppState& s) {
  if (!isCalibrated(s)) return {};
  const MeasSetup& m = s.setup;
  return std::string("Calibrated (") + (m.impedanceMode == 0 ? "SPL" : "Z") + ", " +
         std::to_string(m.sampleRate) + " Hz, " + std::to_string(int64_t{1} << m.mlsOrder) + ")";
}

ViewState computeViewState(const AppState& s, bool showChVisibleNow) {
  const MeasSetup& m = s.setup;
  const MergeSetup& g = s.mergeSetup;
  const bool spl = m.impedanceMode == 0;
  ViewState v;

  v.dBOffsetVisible = spl && !s.calibrationView;

  // The channel choice shows with an SPL response; in impedance mode it
  // keeps whatever it was, and without a response it is hidden.
  if (!m.hasResponse) {
    v.showChVisible = false;
  } else if (spl) {
    v.showChVisible = true;
  } else {
    v.showChVisible = showChVisibleNow;
  }
  v.resetShowChannel = !m.twoChannel;
  v.showChItem = m.twoChannel ? m.showChannel : 0;
  v.smoothItem = m.smoothIndex;

  const bool mergeOrCal = g.mergeShown || s.calibrationView;
  v.mergeLayoutApplies = mergeOrCal;
  if (mergeOrCal) {
    if (!g.addMode) {
      v.mergeLCaption = "Lower part";
      v.mergeUCaption = "Upper part";
      v.mergeFreqVisible = true;
      v.mergeDelayVisible = spl;
      v.mergeLGroupHeight = spl ? kMergeLGroupTall : kMergeLGroupShort;
    } else {
      v.mergeLCaption = "Graph 1 (red)";
      v.mergeUCaption = "Graph 2 (blue)";
      v.mergeFreqVisible = false;
      v.mergeDelayVisible = false;
      v.mergeLGroupHeight = kMergeLGroupShort;
    }
    v.scalePostText = spl ? "dB" : "";
    v.storeEnabled = false;
    v.showChEnabled = false;
    v.showFreqPage = true;
    v.startEnabled = false;
  } else {
    v.storeEnabled = true;
    v.showChEnabled = m.twoChannel;
    v.startEnabled = true;
  }

  v.hidePhaseVisible = !s.calibrationView;
  v.unCalibratedVisible = !isCalibrated(s);
  v.calibratedText = calibrationSummary(s);
  v.zUncalibratedVisible = !spl && v.unCalibratedVisible;
  v.customRateVisible = m.sRateIndex == 0;
  return v;
}

RunLockView computeRunLocks(const AppState& s, const ViewState& v, bool locked) {
  RunLockView r;
  r.measurementModeEnabled = !locked;
  r.devicesEnabled = !locked;
  for (int i = 0; i < kStoreSlots; ++i) {
    r.storeEnabled[i] = !locked && v.storeEnabled;
    r.recallEnabled[i] = !locked && s.slots[i].hasResponse;
  }
  return r;
}

void recomputeCalDisplay(AppState& s, double offsetDb) {
  MeasSetup& m = s.setup;
  DisplayCurves& c = s.curves;
  int mode = 0, rate = 0, order = 0;
  const bool valid = calIndices(m, mode, rate, order);
  double top = -1000.0;
  for (int ch = 0; ch < 2; ++ch) {
    for (int j = 0; j < kGridPoints; ++j) {
      if (!valid) {
        c.splMag[ch][j] = -1000.0;
        continue;
      }
      const double level = 20.0 * std::log10(abs(s.soundcardCal.table[mode][rate][order][ch][j])) + offsetDb;
      c.splMag[ch][j] = level;
      const double f = m.freqGrid[j];
      if (level > top && f >= m.freqLow && f <= m.freqHigh) top = level;
    }
  }
  c.dBTop = top + m.displayRange * 0.025;
}
