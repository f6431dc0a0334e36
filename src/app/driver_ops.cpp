#include "app/driver_ops.h"

#include <cmath>
#include <limits>
#include <span>

#include "app/app_state.h"

namespace {

constexpr const char* kNoSecondCurveText = "Store the second curve in the slot chosen.";

std::span<const double> freqs(const MeasSetup& m, GridSpan g) {
  return std::span<const double>(m.freqGrid).subspan(static_cast<size_t>(g.first),
                                                     static_cast<size_t>(g.end - g.first));
}

std::span<const Complex> points(const MeasSetup& m, GridSpan g) {
  return std::span<const Complex>(m.response).subspan(static_cast<size_t>(g.first),
                                                      static_cast<size_t>(g.end - g.first));
}

bool secondCurveStored(const AppState& s) {
  const int slot = s.driverInputs.secondSlot;
  if (slot < 0 || slot >= 8) return false;
  const MeasSetup& m = s.slots[static_cast<size_t>(slot)];
  return m.hasResponse && m.impedanceMode != 0;
}

}  // namespace

GridSpan fitSpan(const MeasSetup& m) {
  GridSpan g;
  const double half = m.responseRate > 0 ? m.responseRate / 2.0 : std::numeric_limits<double>::infinity();
  // A curve read from a file holds a value only over the file's range.
  while (g.first < kGridPoints && (m.freqGrid[g.first] < m.freqLow || !m.held[g.first])) ++g.first;
  g.end = g.first;
  while (g.end < kGridPoints && m.freqGrid[g.end] <= m.freqHigh && m.freqGrid[g.end] < half && m.held[g.end])
    ++g.end;
  return g;
}

void updateDriverParams(AppState& s) {
  const DriverInputs& in = s.driverInputs;
  DriverParams& d = s.driverParams;
  s.curves.zModel.fill(std::numeric_limits<double>::quiet_NaN());
  if (!s.driverCurve) {
    d = DriverParams{};
    d.method = in.mech.method;
    return;
  }
  const GridSpan live = fitSpan(s.setup);
  MechanicalInputs mech = in.mech;
  std::span<const double> secondF;
  std::span<const Complex> secondZ;
  const bool second = mech.method != MechMethod::none && secondCurveStored(s);
  if (second) {
    const MeasSetup& m = s.slots[static_cast<size_t>(in.secondSlot)];
    const GridSpan g = fitSpan(m);
    secondF = freqs(m, g);
    secondZ = points(m, g);
  } else {
    mech.method = MechMethod::none;
  }
  d = driverParams(freqs(s.setup, live), points(s.setup, live), secondF, secondZ, in.reDcOhm, mech);
  d.method = in.mech.method;

  if (in.showModel && d.status == ParamsStatus::ok) {
    for (int i = live.first; i < live.end; ++i) {
      const double f = s.setup.freqGrid[i];
      if (f < d.electrical.bandLowHz || f > d.electrical.bandHighHz) continue;
      s.curves.zModel[i] = abs(modelImpedance(d.electrical, f));
    }
  }
}

const char* driverParamsMessage(const AppState& s) {
  const DriverParams& d = s.driverParams;
  if (d.status != ParamsStatus::ok) return paramsStatusText(d.status);
  if (s.driverInputs.mech.method == MechMethod::none) return "";
  if (!mechanicalInputsComplete(s.driverInputs.mech)) return paramsStatusText(ParamsStatus::badInput);
  if (!secondCurveStored(s)) return kNoSecondCurveText;
  return paramsStatusText(d.mechStatus);
}
