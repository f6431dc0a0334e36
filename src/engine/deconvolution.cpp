#include "engine/deconvolution.h"

#include <algorithm>
#include <cmath>

#include "engine/sound_card.h"
#include "setup/meas_setup.h"

void hadamardTransform(double* a, int32_t n) {
  for (int32_t h = 1; h < n; h *= 2) {
    for (int32_t b = 0; b < n; b += 2 * h) {
      double* lo = a + b;
      double* hi = a + b + h;
      for (int32_t i = 0; i < h; ++i) {
        const double u = lo[i];
        const double v = hi[i];
        lo[i] = u + v;
        hi[i] = u - v;
      }
    }
  }
}

void deconvolveMls(double* x, int32_t order, const MlsTables& tables, double* work) {
  const int32_t size = 1 << order;
  const int32_t period = size - 1;
  double sum = 0.0;
  for (int32_t i = 0; i < period; ++i) {
    work[tables.inputPerm[i]] = x[i];
    sum += x[i];
  }
  work[0] = 0.0;
  hadamardTransform(work, size);
  for (int32_t i = 0; i < period; ++i) x[i] = work[tables.outputPerm[i]] - sum;
}

// Frames of the leading silence the offset is measured on.
constexpr int32_t kOffsetFrames = 1000;

void deconvolveChannel(const MeasSetup& setup, const MlsTables& tables, const RecBuffer& rec,
                       ImpulseResponse& imp, int ch, int32_t s) {
  double* x = imp.x[ch].data();
  const int32_t size = setup.mlsSize;
  const int32_t period = size - 1;

  // Fold the tail that arrived after the single played period back onto it:
  // the linear response of one period becomes the circular response.
  if (!setup.exactEvaluation) {
    for (int32_t m = 0; m < size; ++m) {
      const int64_t f = static_cast<int64_t>(s) + m;
      x[m] = static_cast<double>(rec.at(f, ch)) + static_cast<double>(rec.at(f + period, ch));
    }
  } else {
    // The most exact results take the card's offset, measured on the silence
    // that leads the recording, out of every recorded frame first. Left in,
    // it ends in a step where the recording ends and the fold reads zeros,
    // and a long window gathers what the step leaves at low frequencies.
    const int32_t lead = std::clamp(s, 1, kOffsetFrames);
    double offset = 0.0;
    for (int32_t f = 0; f < lead; ++f) offset += rec.at(f, ch);
    offset /= lead;
    const int64_t end = recordingFrames(setup);
    const auto at = [&](int64_t f) { return f < end ? rec.at(f, ch) - offset : 0.0; };
    for (int32_t m = 0; m < size; ++m) {
      const int64_t f = static_cast<int64_t>(s) + m;
      x[m] = at(f) + at(f + period);
    }
  }

  deconvolveMls(x, setup.mlsOrder, tables, imp.fhtWork.data());

  // The second half of the response carries no signal: its mean is the offset.
  const int32_t half = size / 2;
  double mean = 0.0;
  for (int32_t m = half; m < size; ++m) mean += x[m];
  mean /= half;
  for (int32_t m = 0; m < size; ++m) x[m] -= mean;

  // Past the period everything a longer earlier measurement may have left is
  // cleared, so the impulse search and the time graph see only this one.
  std::fill(x + size, x + kMlsCapacity, 0.0);
}

void deconvolveAveraged(const MeasSetup& setup, const MlsTables& tables, const RecBuffer& rec,
                        ImpulseResponse& imp, int ch, int32_t s) {
  double* x = imp.x[ch].data();
  const int32_t size = setup.mlsSize;
  const int32_t period = size - 1;
  const int32_t n = averagedPeriods(setup);

  // Sum the steady-state periods 1..n; the sums of 16-bit samples are exact,
  // and so is the division by a power of two.
  std::fill(x, x + period, 0.0);
  for (int32_t k = 1; k <= n; ++k) {
    const int64_t first = static_cast<int64_t>(s) + static_cast<int64_t>(k) * period;
    if (first >= 0 && first + period <= kRecCapacityFrames) {
      const int16_t* p = rec.samples.data() + 2 * first + ch;
      for (int32_t m = 0; m < period; ++m) x[m] += static_cast<double>(p[2 * m]);
    } else {
      for (int32_t m = 0; m < period; ++m) x[m] += static_cast<double>(rec.at(first + m, ch));
    }
  }
  const double scale = 1.0 / n;
  for (int32_t m = 0; m < period; ++m) x[m] *= scale;

  deconvolveMls(x, setup.mlsOrder, tables, imp.fhtWork.data());

  // The second half of the response carries no signal: its mean is the offset.
  const int32_t half = size / 2;
  double mean = 0.0;
  for (int32_t m = half; m < period; ++m) mean += x[m];
  mean /= (period - half);
  for (int32_t m = 0; m < period; ++m) x[m] -= mean;

  // Element L lies past the circular response; it and whatever a longer
  // earlier measurement left beyond it are cleared.
  std::fill(x + period, x + kMlsCapacity, 0.0);
}

void findImpulseStart(const MeasSetup& setup, ImpulseResponse& imp) {
  const double* x = imp.x[setup.twoChannel ? 1 : 0].data();
  double peak = 0.0;
  int32_t p = 0;
  for (int32_t k = 0; k < kImpulseSearchLength; ++k) {
    if (std::fabs(x[k]) > peak) {
      peak = std::fabs(x[k]);
      p = k;
    }
  }
  int32_t k = std::max(0, p - 100);
  while (k < p && std::fabs(x[k]) < 0.05 * peak) ++k;
  imp.impulseStart = std::max(0, k - 30);
}
