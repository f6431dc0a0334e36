#include "app/export_ops.h"

#include <ctime>
#include <memory>

#include "analysis/curve_prep.h"
#include "analysis/impedance_curves.h"
#include "app/app_state.h"
#include "app/view_state.h"

std::string localDateTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char text[32] = "";
  if (localtime_r(&now, &local) != nullptr) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

ExportHeader exportHeaderFor(const AppState& s, bool unsmoothed, const std::string& date) {
  ExportHeader h;
  h.date = date;
  h.unsmoothed = unsmoothed;
  h.soundcardCalibrated = !s.setup.fromFile && isCalibrated(s);
  const bool micUsed = s.setup.impedanceMode == 0 && s.micCalValid && !s.setup.micDataOff && !s.setup.fromFile;
  if (micUsed) h.micFile = s.micFileName;
  return h;
}

const DisplayCurves& exportCurvesFor(AppState& s, bool unsmoothed, DisplayCurves& scratch) {
  if (!unsmoothed || s.calibrationView) return s.curves;
  // A copy of the record with the smoothing off; the merge preview, if
  // shown, is prepared as it is on screen.
  auto setup = std::make_unique<MeasSetup>(s.setup);
  setup->smoothIndex = 0;
  setup->impedanceSmooth = false;
  scratch = s.curves;
  if (setup->impedanceMode != 0) {
    prepareImpedanceCurves(*setup, s.slots, s.mergeSetup, scratch, false);
  } else {
    prepareSplCurves(*setup, s.slots, s.micCal, s.micCalValid, s.mergeSetup, scratch, false);
  }
  return scratch;
}
