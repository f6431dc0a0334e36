#include "display/curve_marker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "display/cursor_readout.h"
#include "display/graph_layout.h"

namespace {

// A phase difference as the shorter way round: -180 < d <= 180.
double wrapDifference(double d) {
  d = std::fmod(d, 360.0);
  if (d > 180.0) d -= 360.0;
  if (d <= -180.0) d += 360.0;
  return d;
}

// The value to print with `decimals` decimals: one that rounds to zero is
// printed as 0, never as "-0.00".
double printable(double v, int decimals) {
  return std::fabs(v) < 0.5 * std::pow(10.0, -decimals) ? 0.0 : v;
}

bool drawnPoint(const MarkerCurve& c, int j) {
  if (j < 0 || j >= c.end || j >= kGridPoints) return false;
  if (c.held != nullptr && !c.held->test(static_cast<size_t>(j))) return false;
  return std::isfinite((*c.magnitude)[j]) && std::isfinite((*c.phase)[j]);
}

// "1000 Hz  -3.01 dB  +45.0 deg" after `prefix`.
void formatValue(const CurveValue& v, bool impedance, bool phaseShown, const char* prefix,
                 char* text) {
  char freq[kReadoutCapacity];
  formatReadoutFrequency(v.freq, freq, kReadoutCapacity);
  char phase[kReadoutCapacity] = "";
  if (phaseShown) std::snprintf(phase, sizeof phase, "  %+.1f deg", printable(v.phase, 1));
  std::snprintf(text, kMarkerTextCapacity, "%s%s  %.2f %s%s", prefix, freq,
                printable(v.magnitude, 2), impedance ? "ohm" : "dB", phase);
}

MarkerSpot spotOf(const CurveValue& v, const PlotMapping& map) {
  if (!v.valid) return {};
  return {true, toPixel(map.x(v.freq)), toPixel(map.y(v.magnitude))};
}

}  // namespace

CurveValue sampleCurve(const MarkerCurve& c, const RealCurve& grid, bool impedance, double freqHz) {
  CurveValue v;
  if (c.magnitude == nullptr || c.phase == nullptr || !(freqHz > 0.0)) return v;
  // The first grid point above the frequency; the one below is j - 1.
  const int j = static_cast<int>(std::upper_bound(grid.begin(), grid.end(), freqHz) - grid.begin());
  const int lo = j - 1;
  if (lo < 0 || !drawnPoint(c, lo)) return v;
  const RealCurve& mag = *c.magnitude;
  const RealCurve& ph = *c.phase;
  v.freq = freqHz;
  if (grid[lo] == freqHz) {
    v.magnitude = mag[lo];
    v.phase = ph[lo];
    v.valid = impedance ? mag[lo] > 0.0 : true;
    return v;
  }
  if (!drawnPoint(c, j)) return v;
  const double t = std::log(freqHz / grid[lo]) / std::log(grid[j] / grid[lo]);
  if (impedance) {
    if (!(mag[lo] > 0.0) || !(mag[j] > 0.0)) return v;
    v.magnitude = std::exp(std::log(mag[lo]) + t * (std::log(mag[j]) - std::log(mag[lo])));
  } else {
    v.magnitude = mag[lo] + t * (mag[j] - mag[lo]);
  }
  v.phase = wrapDifference(ph[lo] + t * wrapDifference(ph[j] - ph[lo]));
  v.valid = true;
  return v;
}

void curveMarkerReadout(const MarkerCurve& curve, const RealCurve& grid, const PlotMapping& map,
                        bool phaseShown, const CurveMarkers& markers, MarkerReadout& out) {
  out = MarkerReadout{};
  if (!map.usable()) return;
  const bool z = map.impedance;
  if (markers.hovering) {
    const CurveValue v = sampleCurve(curve, grid, z, markers.hoverFreq);
    out.hoverSpot = spotOf(v, map);
    if (v.valid) formatValue(v, z, phaseShown, "", out.hover);
  }
  CurveValue pinned[2];
  static constexpr const char* kNames[2] = {"A  ", "B  "};
  const int count = std::clamp(markers.pinnedCount, 0, 2);
  for (int k = 0; k < count; ++k) {
    pinned[k] = sampleCurve(curve, grid, z, markers.pinnedFreq[k]);
    out.pinnedSpot[k] = spotOf(pinned[k], map);
    if (pinned[k].valid) formatValue(pinned[k], z, phaseShown, kNames[k], out.pinned[k]);
  }
  if (count == 2 && pinned[0].valid && pinned[1].valid) {
    char phase[kReadoutCapacity] = "";
    if (phaseShown)
      std::snprintf(phase, sizeof phase, "  %+.1f deg",
                    printable(wrapDifference(pinned[1].phase - pinned[0].phase), 1));
    std::snprintf(out.difference, kMarkerTextCapacity, "B-A  %+.2f oct  %+.2f %s%s",
                  printable(std::log2(pinned[1].freq / pinned[0].freq), 2),
                  printable(pinned[1].magnitude - pinned[0].magnitude, 2), z ? "ohm" : "dB", phase);
  }
}
