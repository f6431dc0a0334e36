#include "app/overlays.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "analysis/curve_prep.h"
#include "app/app_state.h"
#include "display/curve_drawing.h"
#include "display/overlay_drawing.h"

namespace {

bool overlaysApply(const AppState& s) { return !s.calibrationView && !s.mergeSetup.mergeShown; }

// Length of the longest prefix of text, at most `limit` bytes, that ends at
// a UTF-8 character boundary.
size_t utf8Prefix(const char* text, size_t limit) {
  size_t n = strnlen(text, limit + 1);
  if (n <= limit) return n;
  n = limit;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return n;
}

void writeLegend(std::array<char, kOverlayLegendCapacity>& out, int n, const char* title) {
  if (title[0] == '\0') {
    std::snprintf(out.data(), out.size(), "Slot %d", n);
    return;
  }
  const int head = std::snprintf(out.data(), out.size(), "%d: ", n);
  const size_t room = out.size() - static_cast<size_t>(head) - 1;
  const size_t len = utf8Prefix(title, room);
  std::memcpy(out.data() + head, title, len);
  out[static_cast<size_t>(head) + len] = '\0';
}

void splMagnitude(const AppState& s, const MeasSetup& slot, RealCurve& mag) {
  const MeasSetup& live = s.setup;
  const bool mic = s.micCalValid && !live.micDataOff && !slot.fromFile;
  for (int i = 0; i < kGridPoints; ++i) {
    Complex u = slot.response[i];
    if (mic) u = u / s.micCal[i];
    const double m = abs(u);
    mag[i] = (m > 0.0 ? 20.0 * std::log10(m) : kLevelFloorDb) + live.levelScale;
  }
  if (live.smoothIndex != 0 && live.smoothIndex < kSmoothChoices)
    movingMean(mag, smoothHalfWidth(smoothHalfOctaves[live.smoothIndex], live.freqGrid));
}

void impedanceMagnitude(const AppState& s, const MeasSetup& slot, RealCurve& mag) {
  for (int i = 0; i < kGridPoints; ++i) mag[i] = abs(slot.response[i]);
  if (s.setup.impedanceSmooth)
    movingMean(mag, smoothHalfWidth(kImpedanceSmoothHalfOctave, s.setup.freqGrid));
}

}  // namespace

void prepareOverlayCurves(AppState& s) {
  OverlayState& o = s.overlays;
  const bool impedance = s.setup.impedanceMode != 0;
  for (int n = 1; n <= kStoreSlots; ++n) {
    const size_t k = static_cast<size_t>(n - 1);
    const MeasSetup& slot = s.slots[k];
    OverlayCurve& d = o.drawn[k];
    d = OverlayCurve{};
    if (!overlaysApply(s) || !o.shown[k] || !slot.hasResponse) continue;
    if ((slot.impedanceMode != 0) != impedance) continue;
    if (impedance) impedanceMagnitude(s, slot, o.magnitude[k]);
    else splMagnitude(s, slot, o.magnitude[k]);
    writeLegend(o.legend[k], n, slot.title);
    d.magnitude = &o.magnitude[k];
    d.held = &slot.held;
    d.end = measuredGridPoints(s.setup.freqGrid, slot.responseRate);
    d.colour = overlayColour(n);
    d.legend = o.legend[k].data();
  }
}

MarkerCurve liveMarkerCurve(const AppState& s) {
  if (!s.measurementShown || !overlaysApply(s)) return {};
  const MeasSetup& m = s.setup;
  const bool impedance = m.impedanceMode != 0;
  return {impedance ? &s.curves.zMag[0] : &s.curves.splMag[0],
          impedance ? &s.curves.zPhase[0] : &s.curves.splPhase[0], &m.held,
          measuredGridPoints(m.freqGrid, m.responseRate)};
}

void liveMarkerReadout(const AppState& s, int width, int height, const CurveMarkers& markers,
                       MarkerReadout& out) {
  const PlotMapping map = plotMapping(s.setup, s.curves.dBTop, s.calibrationView, width, height);
  curveMarkerReadout(liveMarkerCurve(s), s.setup.freqGrid, map, !s.setup.phaseHidden, markers, out);
}
