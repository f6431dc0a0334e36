#include "engine/recording_analysis.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/frequency_response.h"
#include "display/graph_layout.h"
#include "engine/deconvolution.h"
#include "setup/app_state.h"

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
// The level test's waveform shows this many frames beyond one sequence, from
// five frames before the start frame on.
constexpr int32_t kWaveExtraFrames = 200;
constexpr int32_t kWaveLeadFrames = 5;
constexpr double kWaveScale = 130000.0;  // sample value per image height

constexpr Rgb kBarGreen{0, 255, 0};
constexpr Rgb kBarYellow{255, 255, 0};
constexpr Rgb kBarRed{255, 0, 0};
constexpr int kBarSegments = 20;

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

// Fills [x1, x2) x [y1, y2); a rectangle without width or height fills nothing.
void fillSpan(Canvas& c, int x1, int y1, int x2, int y2, Rgb colour) {
  if (x1 < x2 && y1 < y2) c.fillRect(x1, y1, x2, y2, colour);
}

void drawWave(const RecBuffer& rec, int ch, int32_t firstFrame, int32_t count, int baseY,
              Canvas& image) {
  const int w = image.width();
  const int h = image.height();
  image.moveTo(1, baseY);
  for (int32_t l = 0; l < count; ++l) {
    const double v = rec.at(static_cast<int64_t>(firstFrame) + l, ch);
    image.lineTo(toPixel(static_cast<double>(l) / count * w + 1),
                 toPixel(baseY - v * h / kWaveScale));
  }
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

RecordingLevels analyseRecording(AppState& state) {
  MeasSetup& s = state.setup;
  const RecBuffer& rec = state.recBuffer;
  RecordingLevels out;

  // Where the sequence arrives, and from it the margin of the next recording.
  const int64_t envelopeLength = static_cast<int64_t>(s.mlsSize) + s.delaySamples + kLeadFrames;
  out.onset = findOnset(rec, detectionChannel(s),
                        static_cast<int32_t>(std::clamp<int64_t>(envelopeLength, 0, kEnvelopeCapacity)));
  s.delaySamples = std::max(kMinMarginFrames, s.sampleRate / 10) + out.onset;
  out.startFrame = std::max(0, out.onset + kLeadFrames - kStartFrameLead);

  // Peaks over the sequence and the new margin; frames past the buffer read 0
  // and cannot raise a peak that starts at 1.
  const int64_t peakEnd = std::min<int64_t>(
      static_cast<int64_t>(s.mlsSize) + s.delaySamples + kLeadFrames, kRecCapacityFrames);
  for (int64_t f = out.startFrame; f < peakEnd; ++f) {
    out.peak[0] = std::max(out.peak[0], std::fabs(static_cast<double>(rec.at(f, 0))));
    out.peak[1] = std::max(out.peak[1], std::fabs(static_cast<double>(rec.at(f, 1))));
  }

  if (!state.measurementRun) return out;

  const bool both = s.impedanceMode != 0 || state.calibrationRun || s.twoChannel;
  deconvolveChannel(s, state.mls, rec, state.impulse, 0, out.startFrame);
  if (both) deconvolveChannel(s, state.mls, rec, state.impulse, 1, out.startFrame);
  findImpulseStart(s, state.impulse);
  out.enableChannelSelector = computeResponse(state.responseContext());
  return out;
}

void drawLevelTestWaveforms(const MeasSetup& setup, const RecBuffer& rec, int32_t startFrame,
                            Canvas& image) {
  const int w = image.width();
  const int h = image.height();
  image.rectangle(0, 0, w, h);
  const int32_t count = setup.mlsSize + kWaveExtraFrames;
  const int32_t first = startFrame - kWaveLeadFrames;
  drawWave(rec, 0, first, count, h / 4, image);
  drawWave(rec, 1, first, count, (3 * h) / 4, image);
}

void drawLevelBar(Canvas& bar, double peak) {
  const int w = bar.width();
  const int h = bar.height();
  fillSpan(bar, 0, 0, w, h, colourWhite);

  // 0 dB sits 10 % below the top; each dB below it is 0.9 * 5 % of the height,
  // so -20 dB reaches the bottom and leaves no green.
  const double levelDb = 20.0 * std::log10(peak / kLevelBarZeroDbPeak);
  fillSpan(bar, 2, toPixel((0.1 - std::min(0.0, levelDb) * 0.045) * h), w - 2, h - 2, kBarGreen);
  if (levelDb > 0.0) {
    fillSpan(bar, 2, toPixel(std::max(2.0, (0.1 - 0.05 * levelDb) * h - 1)), w - 2,
             toPixel(0.1 * h - 1), kBarYellow);
    if (peak > kClipWarningPeak) fillSpan(bar, 2, 2, w - 2, 8, kBarRed);
  }

  bar.setPen(Pen{colourWhite, PenStyle::solid, 1});
  for (int i = 1; i <= kBarSegments; ++i) {
    const int y = toPixel(h * i * 0.05);
    bar.moveTo(0, y);
    bar.lineTo(w, y);
  }

  bar.setPen(penSolidBlack);
  drawBorder(bar);
}

void processRecording(AppState& state, const RecordingCanvases& canvases, RecordingHooks& hooks) {
  hooks.showBusyCursor();
  const RecordingLevels levels = analyseRecording(state);
  if (!state.measurementRun)
    drawLevelTestWaveforms(state.setup, state.recBuffer, levels.startFrame, canvases.time);
  drawLevelBar(canvases.leftBar, levels.peak[0]);
  drawLevelBar(canvases.rightBar, levels.peak[1]);
  hooks.restoreCursor();
  state.setup.hasResponse = false;

  if (state.measurementRun) {
    state.responseValid = true;
    if (levels.enableChannelSelector) hooks.enableChannelSelector();
    state.setup.hasResponse = true;
    if (!state.calibrationView) state.measurementShown = true;
    hooks.updateViewState();
    hooks.redrawGraphs();
  }

  if (state.cyclicRunning) {
    hooks.startRecording();
  } else {
    hooks.stopDevices();
    hooks.setControlsEnabled(true);
  }
}
