#include "engine/recording_analysis.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/deconvolution.h"
#include "engine/mls.h"
#include "setup/meas_setup.h"

namespace {

// The first part of every recording is the silence that leads the sequence;
// the start frame lies this many frames before the arrival, so the impulse
// keeps some lead-in before its peak.
constexpr int32_t kLeadFrames = 2000;
constexpr int32_t kStartFrameLead = 100;
// The margin recorded after the sequence: at least this many frames, and at
// least a tenth of a second.
constexpr int32_t kMinMarginFrames = 2000;
constexpr double kOnsetFraction = 0.05;

struct EnvelopeScan {
  double maximum = 1e-18;
  int32_t firstAtThreshold = -1;  // -1 when no value reached the threshold
};

// Runs the envelope over `length` frames from the first envelope frame and
// stops at the first value at or above threshold. Both passes of the onset
// search go through this one loop, so the second sees exactly the values the
// first saw.
EnvelopeScan scanEnvelope(const RecBuffer& rec, int ch, int32_t length, double threshold) {
  EnvelopeScan scan;
  double e = 0.0;
  for (int32_t i = 0; i < length; ++i) {
    const double v = std::fabs(static_cast<double>(rec.at(kEnvelopeFirstFrame + i, ch)));
    e = 0.9 * e + 0.1 * v * v;
    if (e >= threshold) {
      scan.firstAtThreshold = i;
      return scan;
    }
    if (e > scan.maximum) scan.maximum = e;
  }
  return scan;
}

}  // namespace

int detectionChannel(const MeasSetup& setup) {
  return (setup.twoChannel && setup.impedanceMode == 0) ? 1 : 0;
}

int32_t findOnset(const RecBuffer& rec, int ch, int32_t length) {
  length = std::min(length, kEnvelopeCapacity);
  if (length <= 0) return 0;
  const EnvelopeScan whole =
      scanEnvelope(rec, ch, length, std::numeric_limits<double>::infinity());
  const EnvelopeScan onset = scanEnvelope(rec, ch, length, kOnsetFraction * whole.maximum);
  return onset.firstAtThreshold < 0 ? 0 : onset.firstAtThreshold;
}

int32_t delaySamplesForOnset(const MeasSetup& setup, int32_t onset) {
  return std::max(kMinMarginFrames, setup.sampleRate / 10) + onset;
}

RecordingLevels measureRecording(MeasSetup& s, const RecBuffer& rec) {
  RecordingLevels out;

  // Where the sequence arrives, and from it the margin of the next recording.
  const int64_t envelopeLength = static_cast<int64_t>(s.mlsSize) + s.delaySamples + kLeadFrames;
  out.onset = findOnset(rec, detectionChannel(s),
                        static_cast<int32_t>(std::clamp<int64_t>(envelopeLength, 0, kEnvelopeCapacity)));
  s.delaySamples = delaySamplesForOnset(s, out.onset);
  out.startFrame = std::max(0, out.onset + kLeadFrames - kStartFrameLead);

  // Peaks over every played period and the new margin; frames past the
  // buffer read 0 and cannot raise a peak that starts at 1.
  const int64_t peakEnd = std::min<int64_t>(
      static_cast<int64_t>(playedFrames(s)) + s.delaySamples + kLeadFrames, kRecCapacityFrames);
  for (int64_t f = out.startFrame; f < peakEnd; ++f) {
    out.peak[0] = std::max(out.peak[0], std::fabs(static_cast<double>(rec.at(f, 0))));
    out.peak[1] = std::max(out.peak[1], std::fabs(static_cast<double>(rec.at(f, 1))));
  }
  return out;
}
