// The application's WAV operations: the impulse response and the excitation
// out, a recording made by any recorder in and through the end of a
// recording.

#include "app/application.h"

#include <memory>

#include "app/wav_ops.h"
#include "engine/mls.h"
#include "platform/dialogs.h"
#include "store/wav_file.h"

namespace {
constexpr const char* kWavFilter = "WAV files (*.wav)|*.WAV|All files (*.*)|*.*";
constexpr const char* kImpulseCaption = "Export impulse as WAV";
constexpr const char* kExcitationCaption = "Export excitation as WAV";
constexpr const char* kAnalyseCaption = "Analyse WAV recording";
}  // namespace

bool Application::exportImpulseWavTo(const std::string& path, std::string& error) {
  ImpulseWav wav;
  if (!impulseWavFor(*state_, wav, error)) return false;
  return writeFloatWav(path, state_->setup.sampleRate, wav.channels, wav.samples.data(), wav.frames,
                       wav.comment, error);
}

bool Application::exportExcitationWavTo(const std::string& path, int32_t averages,
                                        std::string& error) {
  const MeasSetup& m = state_->setup;
  if (averages < 1 || averages > kMaxExcitationAverages) {
    error = "The number of averaged periods must lie between 1 and " +
            std::to_string(kMaxExcitationAverages) + ".";
    return false;
  }
  const std::vector<int16_t> samples = excitationSamples(*state_, averages);
  const std::string comment =
      "Sonrake excitation: " + std::to_string(m.sampleRate) + " Hz, MLS order " +
      std::to_string(m.mlsOrder) + ", " +
      (averages == 1 ? std::string("one period")
                     : std::to_string(averages + 1) + " periods for an average of " +
                           std::to_string(averages)) +
      " after 2000 silent frames.";
  return writePcm16Wav(path, m.sampleRate, 2, samples.data(),
                       static_cast<int64_t>(samples.size() / 2), comment, error);
}

bool Application::analyseWavFrom(const std::string& path, std::string& error) {
  if (runUnderway()) {
    error = "A run holds the sound card; analyse the recording when it has ended.";
    return false;
  }
  auto rec = std::make_unique<WavRecording>();
  const WavRead read = readWavRecording(path, *rec);
  if (read.result != WavReadResult::loaded) {
    error = wavRefusalText(read);
    return false;
  }
  AppState& s = *state_;
  const int32_t delaySamples = s.setup.delaySamples;
  if (!placeWavRecording(s, *rec, error)) return false;
  rec.reset();
  // From here on exactly what follows a live recording's last buffer.
  outcome_ = RunOutcome::completed;
  observer_.controlsLocked(true);
  setRunFlags(s, RunKind::measurement);
  s.cyclicRunning = false;
  recordingFinished();
  s.setup.delaySamples = delaySamples;
  return true;
}

Application::WavFileOp Application::exportImpulseWavClicked() {
  if (runUnderway()) return WavFileOp::refusedNow;
  char path[kDialogPathCapacity]{};
  const FileDialogRequest request{"wav", kWavFilter, ""};
  if (!dialogs_.saveFileDialog(request, path, sizeof path)) return WavFileOp::cancelled;
  std::string error;
  if (!exportImpulseWavTo(path, error)) {
    dialogs_.messageBox(error.c_str(), kImpulseCaption, MsgIcon::warning, MsgButtons::ok);
    return WavFileOp::failed;
  }
  return WavFileOp::done;
}

Application::WavFileOp Application::exportExcitationWavClicked() {
  char path[kDialogPathCapacity]{};
  const FileDialogRequest request{"wav", kWavFilter, ""};
  if (!dialogs_.saveFileDialog(request, path, sizeof path)) return WavFileOp::cancelled;
  std::string error;
  if (!exportExcitationWavTo(path, averagedPeriods(state_->setup), error)) {
    dialogs_.messageBox(error.c_str(), kExcitationCaption, MsgIcon::warning, MsgButtons::ok);
    return WavFileOp::failed;
  }
  return WavFileOp::done;
}

Application::WavFileOp Application::analyseWavClicked() {
  if (runUnderway()) return WavFileOp::refusedNow;
  char path[kDialogPathCapacity]{};
  const FileDialogRequest request{"wav", kWavFilter, ""};
  if (!dialogs_.openFileDialog(request, path, sizeof path)) return WavFileOp::cancelled;
  std::string error;
  if (!analyseWavFrom(path, error)) {
    dialogs_.messageBox(error.c_str(), kAnalyseCaption, MsgIcon::warning, MsgButtons::ok);
    return WavFileOp::failed;
  }
  return WavFileOp::done;
}
