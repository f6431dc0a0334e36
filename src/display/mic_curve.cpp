#include "display/mic_curve.h"

#include <algorithm>
#include <cmath>

#include "display/canvas.h"

namespace {

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kGrey{128, 128, 128};
constexpr Rgb kBlue{0, 0, 255};

bool inBand(double f) { return f >= kMicGraphLowHz && f <= kMicGraphHighHz; }

double levelDb(const Complex& c) {
  const double mag = abs(c);
  // A zero point has no level; it is shown at the bottom.
  return mag > 0.0 ? 20.0 * std::log10(mag) : -1e9;
}

}  // namespace

double micGraphRangeDb(const RealCurve& freqGrid, const ComplexCurve& micCal) {
  double largest = 0.0;
  for (int i = 0; i < kGridPoints; ++i) {
    if (!inBand(freqGrid[i])) continue;
    const double level = std::fabs(levelDb(micCal[i]));
    if (std::isfinite(level) && level < 1e6) largest = std::max(largest, level);
  }
  return std::max(kMicGraphStepDb, std::ceil(largest / kMicGraphStepDb) * kMicGraphStepDb);
}

void drawMicCurve(Canvas& c, const RealCurve& freqGrid, const ComplexCurve& micCal, bool inUse) {
  const int w = c.width();
  const int h = c.height();
  c.fillRect(0, 0, w, h, kWhite);
  c.setPen({kBlack, PenStyle::solid, 1});
  drawBorder(c);
  if (w < 3 || h < 3) return;

  const double mid = (h - 1) / 2.0;
  const double halfHeight = mid - 1.0;
  const int yZero = static_cast<int>(std::lround(mid));
  c.setPen({kGrey, PenStyle::dotted, 1});
  c.moveTo(1, yZero);
  c.lineTo(w - 1, yZero);

  const double range = micGraphRangeDb(freqGrid, micCal);
  const double decades = std::log10(kMicGraphHighHz / kMicGraphLowHz);
  c.setPen({inUse ? kBlue : kGrey, PenStyle::solid, 1});
  bool first = true;
  for (int i = 0; i < kGridPoints; ++i) {
    const double f = freqGrid[i];
    if (!inBand(f)) continue;
    const double level = std::clamp(levelDb(micCal[i]), -range, range);
    const int x =
        1 + static_cast<int>(std::lround((w - 3) * std::log10(f / kMicGraphLowHz) / decades));
    const int y = static_cast<int>(std::lround(mid - level / range * halfHeight));
    if (first) {
      c.moveTo(x, y);
      first = false;
    } else {
      c.lineTo(x, y);
    }
  }
}
