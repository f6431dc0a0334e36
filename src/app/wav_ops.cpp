#include "app/wav_ops.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/app_state.h"
#include "app/recording.h"
#include "engine/deconvolution.h"
#include "engine/mls.h"
#include "engine/recording_analysis.h"
#include "engine/sound_card.h"
#include "setup/meas_setup.h"

namespace {

constexpr double kArrivalFraction = 0.05;  // as the onset search of a live recording

int16_t sampleAt(const WavRecording& rec, int64_t frame, int ch) {
  if (frame < 0 || frame >= rec.frames) return 0;
  return rec.samples[static_cast<size_t>(frame * rec.channels + std::min(ch, rec.channels - 1))];
}

// The frames the measurement analyses from the arrival on: one period, or
// the settling period and the averaged ones.
int64_t analysedFrames(const MeasSetup& m) {
  const int32_t n = averagedPeriods(m);
  return static_cast<int64_t>(n >= 2 ? n + 1 : 1) * (m.mlsSize - 1);
}

}  // namespace

double impulseWavScale(const MeasSetup& setup) {
  return static_cast<double>(kMlsAmplitude) * static_cast<double>(setup.mlsSize);
}

bool impulseWavFor(const AppState& state, ImpulseWav& out, std::string& error) {
  const MeasSetup& m = state.setup;
  if (!m.hasResponse || m.mlsSize < 2 || m.mlsSize > kMlsCapacity) {
    error = "There is no impulse response to export: measure first.";
    return false;
  }
  const bool both = m.twoChannel || m.impedanceMode != 0;
  out.channels = both ? 2 : 1;
  out.frames = m.mlsSize - 1;
  out.samples.assign(static_cast<size_t>(out.frames * out.channels), 0.0f);
  const double scale = impulseWavScale(m);
  for (int64_t k = 0; k < out.frames; ++k)
    for (int ch = 0; ch < out.channels; ++ch)
      out.samples[static_cast<size_t>(k * out.channels + ch)] =
          static_cast<float>(state.impulse.x[ch][static_cast<size_t>(k)] / scale);

  char text[600];
  std::snprintf(
      text, sizeof text,
      "Sonrake impulse response. Scaling: sample = deconvolved value / (30000 x %d), "
      "so a gain of 1 from output to input is an impulse of 1.0; no sound card or "
      "microphone calibration applied. %d Hz, MLS order %d, %lld samples (one period, "
      "circular), %s; the impulse starts at sample %d.",
      static_cast<int>(m.mlsSize), static_cast<int>(m.sampleRate), static_cast<int>(m.mlsOrder),
      static_cast<long long>(out.frames),
      both ? (m.impedanceMode != 0
                  ? "channel 1 the left input, channel 2 the right input (across the driver)"
                  : "channel 1 the left input, channel 2 the right input (reference)")
           : "the left input",
      static_cast<int>(state.impulse.impulseStart));
  out.comment = text;
  return true;
}

int64_t excitationFrames(const MeasSetup& setup, int32_t averages) {
  if (averages <= 1) return kPlayLeadFrames + setup.mlsSize;
  return kPlayLeadFrames + static_cast<int64_t>(averages + 1) * (setup.mlsSize - 1);
}

std::vector<int16_t> excitationSamples(const AppState& state, int32_t averages) {
  std::vector<int16_t> out;
  const MeasSetup& m = state.setup;
  if (averages < 1 || averages > kMaxExcitationAverages || m.mlsSize < 2 ||
      m.mlsSize > kMlsCapacity)
    return out;
  const int64_t frames = excitationFrames(m, averages);
  out.resize(static_cast<size_t>(2 * frames));
  if (averages == 1) {
    std::copy_n(state.mls.playBuffer.begin(), out.size(), out.begin());
    return out;
  }
  // The repeated buffer is the lead and the period back to back; a longer
  // excitation goes on with the same period.
  const int64_t period = m.mlsSize - 1;
  const int64_t held =
      kPlayLeadFrames + kMaxPlayedPeriods * period;  // what the buffer holds at this order
  for (int64_t f = 0; f < frames; ++f) {
    const int64_t from = f < held ? f : kPlayLeadFrames + (f - kPlayLeadFrames) % period;
    out[static_cast<size_t>(2 * f)] = state.mls.repeatedPlayBuffer[static_cast<size_t>(2 * from)];
    out[static_cast<size_t>(2 * f + 1)] =
        state.mls.repeatedPlayBuffer[static_cast<size_t>(2 * from + 1)];
  }
  return out;
}

int64_t wavArrivalFrame(const MeasSetup& setup, const WavRecording& rec) {
  const int ch = detectionChannel(setup);
  double peak = 0.0;
  double maximum = 0.0;
  double e = 0.0;
  for (int64_t f = 0; f < rec.frames; ++f) {
    const double v = std::fabs(static_cast<double>(sampleAt(rec, f, ch)));
    peak = std::max(peak, v);
    e = 0.9 * e + 0.1 * v * v;
    maximum = std::max(maximum, e);
  }
  if (peak < kCalibrationMinPeak) return -1;
  const double threshold = kArrivalFraction * maximum;
  e = 0.0;
  for (int64_t f = 0; f < rec.frames; ++f) {
    const double v = std::fabs(static_cast<double>(sampleAt(rec, f, ch)));
    e = 0.9 * e + 0.1 * v * v;
    if (e >= threshold) return f;
  }
  return -1;
}

bool placeWavRecording(AppState& state, const WavRecording& rec, std::string& error) {
  MeasSetup& m = state.setup;
  if (rec.sampleRate != m.sampleRate) {
    error = "The recording was made at " + std::to_string(rec.sampleRate) +
            " Hz; the measurement runs at " + std::to_string(m.sampleRate) +
            " Hz. Choose the recording's rate and analyse it again.";
    return false;
  }
  if (rec.channels == 1 && (m.twoChannel || m.impedanceMode != 0)) {
    error = m.impedanceMode != 0
                ? "The recording is mono; an impedance measurement needs both inputs (a stereo "
                  "recording)."
                : "The recording is mono; a two-channel measurement needs a stereo recording.";
    return false;
  }
  if (rec.channels < 1 || rec.channels > 2 || rec.frames <= 0 ||
      rec.samples.size() != static_cast<size_t>(rec.frames * rec.channels)) {
    error = "The recording holds no usable samples.";
    return false;
  }
  const int64_t arrival = wavArrivalFrame(m, rec);
  if (arrival < 0) {
    const char* channel =
        rec.channels == 1 ? "the" : (detectionChannel(m) == 1 ? "the right" : "the left");
    error = std::string("No measurement sequence found in the recording: ") + channel +
            " channel stays below -60 dBFS.";
    return false;
  }
  const int64_t needed = analysedFrames(m);
  if (rec.frames - arrival < needed) {
    const int32_t n = averagedPeriods(m);
    error = "The recording is too short: it holds " + std::to_string(rec.frames - arrival) +
            " frames after the start of the sequence, less than " +
            (n >= 2 ? "the " + std::to_string(n + 1) + " periods an average of " +
                          std::to_string(n) + " needs"
                    : std::string("one period")) +
            " (" + std::to_string(needed) + " frames).";
    return false;
  }

  // The recording as a run at these settings would have recorded it, had an
  // earlier run found the arrival at the same place.
  m.delaySamples = delaySamplesForOnset(m, kWavArrivalLeadFrames);
  const int64_t length = std::min<int64_t>(recordingFrames(m), kRecCapacityFrames);
  const int64_t shift =
      kEnvelopeFirstFrame + kWavArrivalLeadFrames - arrival;  // buffer frame - file frame
  RecBuffer& buf = state.recBuffer;
  std::fill(buf.samples.begin(), buf.samples.end(), int16_t{0});
  for (int64_t f = std::max<int64_t>(0, shift); f < length; ++f) {
    const int64_t from = f - shift;
    if (from >= rec.frames) break;
    buf.samples[static_cast<size_t>(2 * f)] = sampleAt(rec, from, 0);
    buf.samples[static_cast<size_t>(2 * f + 1)] =
        rec.channels == 2 ? sampleAt(rec, from, 1) : int16_t{0};
  }
  return true;
}
