#include "display/curve_drawing.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "display/graph_layout.h"

namespace {

constexpr int kMaxTimeSamples = 8192;

// Largest magnitude of one channel over n samples from `start`, never below
// 1.0; samples outside the channel are not read.
double channelPeak(const std::array<double, kImpulseCapacity>& x, int64_t start, int n) {
  double peak = 1.0;
  for (int i = 0; i < n; ++i) {
    const int64_t idx = start + i;
    if (idx < 0) continue;
    if (idx >= kImpulseCapacity) break;
    peak = std::max(peak, std::fabs(x[static_cast<size_t>(idx)]));
  }
  return peak;
}

// One channel of the window as a polyline from (1, centre): sample i at
// x = trunc(xStep * i + 1), y = trunc(centre - scale * sample). Samples outside
// the channel are not read, so the curve ends at the channel's last sample.
void drawChannel(Canvas& c, const std::array<double, kImpulseCapacity>& x, int64_t start, int n,
                 double xStep, int centre, double scale) {
  c.moveTo(1, centre);
  for (int i = 0; i < n; ++i) {
    const int64_t idx = start + i;
    if (idx < 0) continue;
    if (idx >= kImpulseCapacity) break;
    const double y = centre - scale * x[static_cast<size_t>(idx)];
    if (std::isnan(y)) continue;
    c.lineTo(toPixel(xStep * i + 1), toPixel(y));
  }
}

// Ticks every `every` samples along the bottom edge, `length` pixels high
// (`longLength` at multiples of 1000 samples when given).
void drawTicks(Canvas& c, int n, double xStep, int every, int length, int longLength, Rgb colour) {
  const int h = c.height();
  c.setPen({colour, PenStyle::solid, 1});
  for (int k = 0; k < n; k += every) {
    const int x = toPixel(xStep * k + 1);
    const int l = (longLength > 0 && k % 1000 == 0) ? longLength : length;
    c.moveTo(x, h);
    c.lineTo(x, h - l);
  }
}

// Which grid points of a curve are drawn.
enum class Points : uint8_t { all, belowTransition, aboveTransition };

// How one kind of frequency graph draws its curves.
struct CurveStyle {
  int curves;          // 1, or 2 with the stored / upper / right-channel curve
  int passes;          // 2 in Merge: a pale pass under the main one
  bool phaseLayer;     // phase curves under the magnitude in the main pass
  bool colouredPair;   // main pass: curve 0 red, curve 1 blue, all points
  bool sum;            // Add: the sum in black, width 3, last
  Rgb palePassColour;  // both whole curves in the pale pass
};

// Polyline through the selected points among the first `end`: the first
// drawn point is a move and a line to itself, every later one a line. Points
// with no defined position (NaN) are skipped like unselected ones; a point
// the curve does not hold (held, when given) breaks the line, so that the
// next one drawn starts afresh.
template <class ToY>
void drawCurve(Canvas& c, const std::array<double, kGridPoints>& xs, const RealCurve& freqs,
               double transitionFreq, Points points, int end, const GridMask* held,
               const RealCurve& values, ToY toY) {
  bool started = false;
  for (int j = 0; j < end; ++j) {
    if (held != nullptr && !held->test(static_cast<size_t>(j))) {
      started = false;
      continue;
    }
    if (points == Points::belowTransition && !(freqs[j] < transitionFreq)) continue;
    if (points == Points::aboveTransition && !(freqs[j] > transitionFreq)) continue;
    const double y = toY(values[j]);
    if (std::isnan(xs[j]) || std::isnan(y)) continue;
    const int px = toPixel(xs[j]);
    const int py = toPixel(y);
    if (!started) {
      c.moveTo(px, py);
      started = true;
    }
    c.lineTo(px, py);
  }
}

template <class MagY, class PhaseY>
void drawFrequencyCurves(const GraphInputs& in, Canvas& c, const CurveStyle& style,
                         const RealCurve (&mag)[2], const RealCurve (&phase)[2],
                         const RealCurve& sum, MagY magY, PhaseY phaseY,
                         const RealCurve* model = nullptr) {
  const MeasSetup& s = in.setup;
  const int w = c.width();
  std::array<double, kGridPoints> xs;
  const double span = std::log(s.freqHigh / s.freqLow);
  const double logLow = std::log(s.freqLow);
  for (int j = 0; j < kGridPoints; ++j) xs[j] = w * (std::log(s.freqGrid[j]) - logLow) / span;

  // In the main pass of a merge each curve shows only its own side of the
  // transition; without the Merge/Add page the single curve is whole.
  auto mainPoints = [&](int k) {
    if (!in.merge.mergeShown) return Points::all;
    return k == 0 ? Points::belowTransition : Points::aboveTransition;
  };
  const double tf = in.merge.transitionFreq;

  // Above half its rate a curve holds copies of its last measured point, not
  // a measurement, so each curve stops at its own last measured point; the
  // sum is measured only where both parts are. The calibration curves belong
  // to the current rate.
  const int32_t rate0 = in.calibrationView ? s.sampleRate : s.responseRate;
  const int32_t rate1 = in.calibrationView ? s.sampleRate : in.merge.storedRate;
  const int ends[2] = {measuredGridPoints(s.freqGrid, rate0),
                       measuredGridPoints(s.freqGrid, rate1)};
  const int sumEnd = std::min(ends[0], ends[1]);
  const GridMask* held[2] = {in.calibrationView ? nullptr : &s.held,
                             in.calibrationView ? nullptr : in.merge.storedHeld};
  GridMask sumHeld = s.held;
  if (held[1] != nullptr) sumHeld &= *held[1];

  for (int pass = style.passes - 1; pass >= 0; --pass) {
    if (pass == 0 && style.phaseLayer) {
      c.setPen({colourRed, PenStyle::dotted, 1});
      for (int k = 0; k < style.curves; ++k)
        drawCurve(c, xs, s.freqGrid, tf, mainPoints(k), ends[k], held[k], phase[k], phaseY);
    }
    for (int k = 0; k < style.curves; ++k) {
      Points points = Points::all;
      if (pass == 1) {
        c.setPen({style.palePassColour, PenStyle::solid, 1});
      } else if (style.colouredPair) {
        c.setPen({k == 0 ? colourRed : colourBlue, PenStyle::solid, 1});
      } else {
        c.setPen(penSolidBlack);
        points = mainPoints(k);
      }
      drawCurve(c, xs, s.freqGrid, tf, points, ends[k], held[k], mag[k], magY);
    }
  }
  if (style.sum) {
    c.setPen({colourBlack, PenStyle::solid, 3});
    drawCurve(c, xs, s.freqGrid, tf, Points::all, sumEnd, &sumHeld, sum, magY);
  }
  // A fitted model over the measured curve, where it has values.
  if (model != nullptr) {
    c.setPen({colourGrey, PenStyle::solid, 1});
    drawCurve(c, xs, s.freqGrid, tf, Points::all, ends[0], nullptr, *model, magY);
  }
}

}  // namespace

int measuredGridPoints(const RealCurve& freqGrid, int32_t rate) {
  if (rate <= 0) return kGridPoints;
  const double half = rate / 2.0;
  const auto first = std::lower_bound(freqGrid.begin(), freqGrid.end(), half);
  return static_cast<int>(first - freqGrid.begin());
}

int32_t storedCurveRate(const MeasSetup& live, std::span<const MeasSetup> slots,
                        int32_t storedSlot) {
  const bool slotValid = storedSlot >= 0 && static_cast<size_t>(storedSlot) < slots.size();
  return slotValid ? slots[static_cast<size_t>(storedSlot)].responseRate : live.responseRate;
}

const GridMask& storedCurveHeld(const MeasSetup& live, std::span<const MeasSetup> slots,
                                int32_t storedSlot) {
  const bool slotValid = storedSlot >= 0 && static_cast<size_t>(storedSlot) < slots.size();
  return slotValid ? slots[static_cast<size_t>(storedSlot)].held : live.held;
}

void drawTimeGraph(const GraphInputs& in, Canvas& c) {
  const MeasSetup& s = in.setup;
  const int w = c.width();
  const int h = c.height();
  c.setPen(penSolidBlack);
  c.rectangle(0, 0, w, h);
  drawBorder(c);
  if (!s.hasResponse) return;

  // The analysis window holds at most 8192 samples; the curves, the peak
  // search and the ticks all stop there.
  const int n = std::min(s.winLength, kMaxTimeSamples);
  const double xStep = static_cast<double>(w) / s.winLength;
  const int64_t start = in.impulse.impulseStart;
  const int64_t windowStart = start + s.winStart;

  // The peak search ignores winStart; in impedance mode both channels share
  // the left channel's scale.
  const double m0 = channelPeak(in.impulse.x[0], start, n);
  double m1 = channelPeak(in.impulse.x[1], start, n);
  if (s.impedanceMode != 0) m1 = m0;
  const double s0 = h / m0 * kTimePeakFraction;
  const double s1 = h / m1 * kTimePeakFraction;

  c.setPen(penSolidBlack);
  if (s.impedanceMode == 0 && !s.twoChannel && !in.calibrationView) {
    drawChannel(c, in.impulse.x[0], windowStart, n, xStep, h / 2, 2 * s0);
  } else {
    // The right channel is drawn from the impulse start, without the
    // window offset.
    drawChannel(c, in.impulse.x[0], windowStart, n, xStep, h / 4, s0);
    c.setPen({colourBlue, PenStyle::solid, 1});
    drawChannel(c, in.impulse.x[1], start, n, xStep, 3 * (h / 4), s1);
  }

  // Coarser ticks last, so a long black tick covers the short coloured ones.
  if (n <= 200) drawTicks(c, n, xStep, 5, 4, 0, colourRed);
  if (n <= 1000) drawTicks(c, n, xStep, 20, 8, 0, colourBlue);
  drawTicks(c, n, xStep, 100, 12, 20, colourBlack);
}

void drawSplCurves(const GraphInputs& in, Canvas& c) {
  if (!in.measurementShown && !in.calibrationView) return;
  const MeasSetup& s = in.setup;
  const CurveDrawOptions& m = in.merge;
  const bool add = m.mergeShown && m.addMode;
  const CurveStyle style{
      .curves = (in.calibrationView || m.mergeShown) ? 2 : 1,
      .passes = (m.mergeShown && !m.addMode) ? 2 : 1,
      .phaseLayer = !s.phaseHidden && !in.calibrationView && !add,
      .colouredPair = add || in.calibrationView,
      .sum = add,
      .palePassColour = colourGrey,
  };
  const int h = c.height();
  const double range = s.displayRange;
  const double bottom = in.curves.dBTop - range;
  auto magY = [=](double level) { return h - (level - bottom) * h / range; };
  auto phaseY = [=](double deg) { return h / 2 - h * deg / 360; };
  drawFrequencyCurves(in, c, style, in.curves.splMag, in.curves.splPhase, in.curves.sumSplMag,
                      magY, phaseY);
  c.setPen(penSolidBlack);
}

void drawImpedanceCurves(const GraphInputs& in, Canvas& c) {
  if (!in.measurementShown) return;
  const MeasSetup& s = in.setup;
  const CurveDrawOptions& m = in.merge;
  const bool add = m.mergeShown && m.addMode;
  const CurveStyle style{
      .curves = m.mergeShown ? 2 : 1,
      .passes = (m.mergeShown && !m.addMode) ? 2 : 1,
      .phaseLayer = !s.phaseHidden && !add,
      .colouredPair = add,
      .sum = add,
      .palePassColour = colourSilver,
  };
  const int h = c.height();
  const double zMin = s.zMin;
  const double span = std::log(s.zMax / s.zMin);
  auto magY = [=](double ohm) { return h - std::log(ohm / zMin) * h / span; };
  auto phaseY = [=](double deg) { return h / 2 - h * deg / 180; };
  drawFrequencyCurves(in, c, style, in.curves.zMag, in.curves.zPhase, in.curves.sumZMag, magY,
                      phaseY, m.mergeShown ? nullptr : &in.curves.zModel);
  Pen pen = c.pen();
  pen.width = 1;
  c.setPen(pen);
}
