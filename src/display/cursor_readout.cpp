#include "display/cursor_readout.h"

#include <cmath>
#include <cstdio>

void formatReadoutFrequency(double f, char* text, int capacity) {
  const size_t n = static_cast<size_t>(capacity);
  if (f < 100.0) {
    std::snprintf(text, n, "%2.1f Hz", f);
  } else if (f < 1000.0) {
    std::snprintf(text, n, "%2.0f Hz", f);
  } else if (f < 10000.0) {
    std::snprintf(text, n, "%2.0f Hz", std::trunc(f * 0.1 + 0.5) * 10.0);
  } else {
    std::snprintf(text, n, "%2.0f Hz", std::trunc(f * 0.01 + 0.5) * 100.0);
  }
}

void formatReadoutImpedance(double z, char* text, int capacity) {
  const size_t n = static_cast<size_t>(capacity);
  if (z < 3.0) {
    std::snprintf(text, n, "%2.2f ohm", z);
  } else if (z < 30.0) {
    std::snprintf(text, n, "%2.1f ohm", z);
  } else {
    std::snprintf(text, n, "%2.0f ohm", z);
  }
}

void graphCursorReadout(const MeasSetup& m, double dBTop, bool calibrationView, int width,
                        int height, int x, int y, CursorReadout& out) {
  out.freq[0] = out.level[0] = out.phase[0] = '\0';
  // A zero-sized plot or a range that is not positive has no inverse; the
  // read-out stays empty rather than showing inf or nan.
  if (width <= 0 || height <= 0 || !(m.freqLow > 0.0) || !(m.freqHigh > 0.0)) return;
  const double w = width;
  const double h = height;

  const double f = m.freqLow * std::exp(std::log(m.freqHigh / m.freqLow) * x / w);
  formatReadoutFrequency(f, out.freq, kReadoutCapacity);

  double phase = 0.0;
  if (m.impedanceMode == 0 || calibrationView) {
    const double level = dBTop - y / h * m.displayRange;
    std::snprintf(out.level, kReadoutCapacity, "%2.1f dB", level);
    phase = 180.0 - y / h * 360.0;
  } else {
    if (m.zMin > 0.0 && m.zMax > 0.0) {
      const double z = m.zMin * std::pow(10.0, std::log10(m.zMax / m.zMin) * (h - y) / h);
      formatReadoutImpedance(z, out.level, kReadoutCapacity);
    }
    phase = 90.0 - y / h * 180.0;
  }
  if (!m.phaseHidden) std::snprintf(out.phase, kReadoutCapacity, "%+2.0f deg", phase);
}
