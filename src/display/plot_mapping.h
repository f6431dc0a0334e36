#pragma once
// Where a value of the frequency graph lies on a plot of a given size, and
// back: the same formulas the curves are drawn with, for whatever is laid
// over them (memory slot overlays, the curve marker).

#include <cmath>

#include "setup/meas_setup.h"

struct PlotMapping {
  double freqLow = 1.0;
  double freqHigh = 2.0;
  int width = 0;
  int height = 0;
  bool impedance = false;  // ohm axis (log, zMin .. zMax) instead of dB
  double dBTop = 0.0;      // dB axis: level at the top edge
  double range = 1.0;      // dB axis: span from top to bottom edge
  double zMin = 1.0;
  double zMax = 2.0;

  // x of a frequency: freqLow at 0, freqHigh at width, logarithmic.
  double x(double freqHz) const {
    return width * std::log(freqHz / freqLow) / std::log(freqHigh / freqLow);
  }
  // The frequency at x, the inverse of x().
  double freqAt(double px) const {
    return freqLow * std::exp(std::log(freqHigh / freqLow) * px / width);
  }
  // y of a magnitude in dB (or ohm on the impedance axis).
  double y(double value) const {
    if (impedance) return height - std::log(value / zMin) * height / std::log(zMax / zMin);
    return height - (value - (dBTop - range)) * height / range;
  }
  // A plot without area, or an axis that cannot be inverted, maps nothing.
  bool usable() const {
    const bool freqOk = freqLow > 0.0 && freqHigh > 0.0 && freqHigh != freqLow;
    const bool axisOk = impedance ? (zMin > 0.0 && zMax > 0.0 && zMax != zMin) : range != 0.0;
    return width > 0 && height > 0 && freqOk && axisOk;
  }
};

// The mapping of the graph the live record is shown on: the impedance axis
// when it is an impedance record outside the calibration view, else the dB
// axis with dBTop at the top.
inline PlotMapping plotMapping(const MeasSetup& s, double dBTop, bool calibrationView, int width,
                               int height) {
  return {s.freqLow, s.freqHigh,     width,  height, s.impedanceMode != 0 && !calibrationView,
          dBTop,     s.displayRange, s.zMin, s.zMax};
}
