// The WAV reader on any bytes, and a loaded recording put into the recording
// buffer. A refused file says why in one of the reader's sentences and leaves
// the recording as it was; a loaded one has one or two channels, at least one
// frame and no more frames than the file has bytes for (two bytes a sample
// at the least), a positive rate and exactly frames x channels samples. Its
// placement at the file's rate either succeeds or names the reason.

#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/wav_ops.h"
#include "engine/mls.h"
#include "fuzz_support.h"
#include "store/wav_file.h"

namespace {

constexpr const char* kFileName = "rec.wav";

fuzz::ScratchDir& scratch() {
  static fuzz::ScratchDir dir;
  return dir;
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  scratch().write(kFileName, data, size);
  const std::string path = scratch().path() + kFileName;

  WavRecording rec;
  rec.sampleRate = -7;
  rec.samples = {1, 2, 3};
  const WavRead read = readWavRecording(path, rec);
  if (read.result != WavReadResult::loaded) {
    const std::string text = wavRefusalText(read);
    FUZZ_CHECK(startsWith(text, "The file ") || startsWith(text, "The WAV file "));
    FUZZ_CHECK(rec.sampleRate == -7 && rec.samples.size() == 3);
    return 0;
  }
  FUZZ_CHECK(wavRefusalText(read).empty());
  FUZZ_CHECK(rec.channels == 1 || rec.channels == 2);
  FUZZ_CHECK(rec.frames >= 1 && rec.frames <= kWavMaxRecordingFrames);
  FUZZ_CHECK(static_cast<uint64_t>(rec.frames) * static_cast<uint64_t>(rec.channels) * 2 <= size);
  FUZZ_CHECK(rec.samples.size() == static_cast<size_t>(rec.frames * rec.channels));
  FUZZ_CHECK(rec.sampleRate > 0);

  static const auto state = [] {
    auto s = std::make_unique<AppState>();
    s->setup.setDefaults();
    s->setup.setMlsOrder(0);
    buildMlsTables(s->setup, s->mls);
    return s;
  }();
  AppState& s = *state;
  s.setup.sampleRate = rec.sampleRate;
  s.setup.twoChannel = rec.channels == 2 && (data[0] & 1) != 0;
  std::string error;
  if (placeWavRecording(s, rec, error)) {
    FUZZ_CHECK(error.empty());
  } else {
    FUZZ_CHECK(startsWith(error, "The recording ") ||
               startsWith(error, "No measurement sequence found"));
  }
  return 0;
}
