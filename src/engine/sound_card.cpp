#include "engine/sound_card.h"

#include <algorithm>

#include "engine/deconvolution.h"
#include "engine/mls.h"
#include "setup/meas_setup.h"

// The longest recording, 33 periods of order 15 and the largest margin, fits
// the recording buffer, and its input buffers fit the headers.
static_assert(kPlayLeadFrames + kMaxPlayedPeriods * (kMlsCapacity - 1) + kMaxDelayFrames <=
              kRecCapacityFrames);
static_assert(kPlayLeadFrames + kMlsCapacity + kMaxDelayFrames <= kRecCapacityFrames);
static_assert(4 * static_cast<int64_t>(kRecCapacityFrames) / kInBufferBytes + 1 <= kInHeaderCount);

int32_t recordingFrames(const MeasSetup& setup) {
  const int32_t delay = std::clamp(setup.delaySamples, 0, kMaxDelayFrames);
  return playedFrames(setup) + delay + kPlayLeadFrames;
}

double runSeconds(const MeasSetup& setup) {
  if (setup.sampleRate <= 0) return 0.0;
  return static_cast<double>(recordingFrames(setup)) / setup.sampleRate;
}

int32_t inputBufferCount(int32_t bytes) { return bytes / kInBufferBytes + 1; }

SoundCard::SoundCard(const SoundCardContext& context, WaveAudio& audio, WaveNotifier& notifier,
                     SoundCardHost& host)
    : ctx_(context), audio_(audio), notifier_(notifier), host_(host) {
  ctx_.card.outHeader.data = ctx_.mls.playBuffer.data();
}

bool SoundCard::openDevices(bool priming) {
  SoundCardState& sc = ctx_.card;
  if (sc.recording) return false;
  // Devices left open by an earlier run are closed first, so that the same
  // device is never opened twice.
  if (sc.hWaveIn != kNoWaveHandle || sc.hWaveOut != kNoWaveHandle) stopDevices();

  const WaveFormat format = stereo16Format(ctx_.setup.sampleRate);
  if (priming) {
    // Some drivers need a first short playback before they keep time; the
    // first 1000 frames of the playback buffer are silent. Nothing here is
    // allowed to stop the run, so every result is ignored.
    WaveHandle out = kNoWaveHandle;
    if (audio_.openOutput(ctx_.outDeviceId, format, nullptr, out) != kWaveOk) return false;
    WaveHeader& h = sc.outHeader;
    h.data = ctx_.mls.playBuffer.data();
    h.lengthBytes = kPrimingBytes;
    h.flags = 0;
    h.user = 0;
    audio_.prepare(out, h);
    audio_.write(out, h);
    audio_.reset(out);
    audio_.close(out);
    return false;
  }

  char text[201];
  WaveHandle out = kNoWaveHandle;
  WaveResult r = audio_.openOutput(ctx_.outDeviceId, format, &notifier_, out);
  if (r != kWaveOk) {
    audio_.errorText(r, text, sizeof text);
    ctx_.calibrationRun = false;
    host_.showWarning(text);
    host_.setControlsEnabled(true);
    sc.hWaveOut = kNoWaveHandle;
    return false;
  }
  sc.hWaveOut = out;

  WaveHandle in = kNoWaveHandle;
  r = audio_.openInput(ctx_.inDeviceId, format, &notifier_, in);
  if (r != kWaveOk) {
    // The output stays useless without an input; closing it keeps it free
    // for the user's next attempt with another input device.
    audio_.reset(sc.hWaveOut);
    audio_.close(sc.hWaveOut);
    sc.hWaveOut = kNoWaveHandle;
    ctx_.calibrationRun = false;
    host_.setControlsEnabled(true);
    audio_.errorText(r, text, sizeof text);
    host_.showWarning(text);
    sc.hWaveIn = kNoWaveHandle;
    return false;
  }
  sc.hWaveIn = in;
  return true;
}

void SoundCard::startRecording() {
  SoundCardState& sc = ctx_.card;
  if (sc.hWaveIn == kNoWaveHandle || sc.hWaveOut == kNoWaveHandle) return;
  if (sc.recording) return;

  host_.setBusyCursor(true);
  ctx_.rec.samples.fill(0);

  const int32_t bytes = 4 * recordingFrames(ctx_.setup);
  sc.inBufferCount = inputBufferCount(bytes);
  // Counted from here: notices are handled on this thread, after this returns.
  sc.inBuffersDone = 0;
  sc.recording = true;

  for (int32_t j = 0; j < sc.inBufferCount; ++j) {
    WaveHeader& h = sc.inHeaders[static_cast<size_t>(j)];
    h.flags = 0;
    h.user = 0;
    // Back to back: buffer j starts at byte j * 200000 of the recording.
    h.data = ctx_.rec.samples.data() + static_cast<size_t>(j) * (kInBufferBytes / 2);
    h.lengthBytes = static_cast<uint32_t>(j == sc.inBufferCount - 1 ? bytes - j * kInBufferBytes
                                                                    : kInBufferBytes);
    WaveResult r = audio_.prepare(sc.hWaveIn, h);
    if (r != kWaveOk) {
      endProgramOnPrepareFailure(r);
      return;
    }
    r = audio_.addBuffer(sc.hWaveIn, h);
    // The input runs before the playback is written, so that the silent head
    // of the playback and the recording's tail absorb the device latency.
    if (r == kWaveOk && j == 0) r = audio_.start(sc.hWaveIn);
    if (r != kWaveOk) {
      endRunWithError(r);
      return;
    }
  }

  WaveHeader& out = sc.outHeader;
  // One period, or the settling period and the averaged ones back to back.
  out.data = playData(ctx_.mls, ctx_.setup);
  out.lengthBytes = static_cast<uint32_t>(4 * (playedFrames(ctx_.setup) + kPlayLeadFrames));
  out.flags = 0;
  out.user = 0;
  WaveResult r = audio_.prepare(sc.hWaveOut, out);
  if (r != kWaveOk) {
    endProgramOnPrepareFailure(r);
    return;
  }
  r = audio_.write(sc.hWaveOut, out);
  if (r != kWaveOk) endRunWithError(r);
}

// A buffer that cannot be prepared leaves nothing sensible to do: the error
// text is shown and the program ends with exit code 1.
void SoundCard::endProgramOnPrepareFailure(WaveResult code) {
  char text[200];
  audio_.errorText(code, text, sizeof text);
  host_.showWarning(text);
  ctx_.card.recording = false;
  host_.exitProgram(1);
}

void SoundCard::onNotice(const WaveNotice& notice) {
  switch (notice.kind) {
    case WaveNoticeKind::inputData: onInputBufferDone(notice); break;
    case WaveNoticeKind::outputDone: onOutputDone(notice); break;
    case WaveNoticeKind::deviceError: onDeviceError(notice); break;
  }
}

void SoundCard::onInputBufferDone(const WaveNotice& notice) {
  SoundCardState& sc = ctx_.card;
  if (!sc.recording || notice.handle != sc.hWaveIn || notice.header == nullptr) return;
  audio_.unprepare(sc.hWaveIn, *notice.header);
  ++sc.inBuffersDone;
  if (sc.inBuffersDone == sc.inBufferCount) {
    sc.recording = false;
    host_.processRecording();
  }
}

void SoundCard::onOutputDone(const WaveNotice& notice) {
  const SoundCardState& sc = ctx_.card;
  if (sc.hWaveOut == kNoWaveHandle || notice.handle != sc.hWaveOut || notice.header == nullptr) {
    return;
  }
  audio_.unprepare(sc.hWaveOut, *notice.header);
}

void SoundCard::onDeviceError(const WaveNotice& notice) {
  const SoundCardState& sc = ctx_.card;
  if (notice.handle == kNoWaveHandle) return;
  if (notice.handle != sc.hWaveIn && notice.handle != sc.hWaveOut) return;
  endRunWithError(notice.error);
}

void SoundCard::stopDevices() {
  SoundCardState& sc = ctx_.card;
  if (sc.hWaveIn != kNoWaveHandle) {
    audio_.reset(sc.hWaveIn);
    audio_.close(sc.hWaveIn);
  }
  if (sc.hWaveOut != kNoWaveHandle) {
    audio_.reset(sc.hWaveOut);
    audio_.close(sc.hWaveOut);
  }
  sc.hWaveIn = kNoWaveHandle;
  sc.hWaveOut = kNoWaveHandle;
  sc.recording = false;
}

void SoundCard::endRunWithError(WaveResult code) {
  stopDevices();
  // A calibration run that didn't finish must not turn the next measurement
  // into a calibration.
  ctx_.calibrationRun = false;
  host_.setBusyCursor(false);
  char text[201];
  audio_.errorText(code, text, sizeof text);
  host_.showWarning(text);
  host_.setControlsEnabled(true);
}
