#pragma once
// WAV files through libsndfile: the impulse response (32-bit float) and the
// excitation (16-bit PCM) written out, and a recording of the excitation read
// in on the program's 16-bit scale, whatever recorder made it.

#include <cstdint>
#include <string>
#include <vector>

// A recording read from a WAV file. samples hold `channels` values per frame,
// interleaved, on the scale of a 16-bit recording (full scale of the file,
// -1.0 .. 1.0 for float data, is -32768 .. 32768), rounded half away from
// zero and clipped to -32768 .. 32767, as the sound card's input would give.
struct WavRecording {
  int32_t sampleRate = 0;
  int channels = 0;  // 1 or 2
  int64_t frames = 0;
  std::vector<int16_t> samples;  // frames * channels values
};

// A recording longer than this (about 5.5 minutes at 48 kHz) is refused:
// it would hold far more than any measurement plays, and its samples alone
// would take 64 MB.
inline constexpr int64_t kWavMaxRecordingFrames = 16'000'000;

enum class WavReadResult : uint8_t {
  loaded,
  cannotOpen,       // no such regular file, or it cannot be opened
  notWav,           // libsndfile cannot read it, or it is another kind of file
  unsupportedData,  // not 16, 24 or 32-bit integer PCM or 32/64-bit float
  tooManyChannels,  // more than two channels
  badSamples,       // a float sample that is not a finite number
  tooLong,          // more than kWavMaxRecordingFrames
  noFrames,         // a WAV file without a single frame
};

struct WavRead {
  WavReadResult result = WavReadResult::cannotOpen;
  int channels = 0;    // what the file declares (for the refusal's text)
  std::string detail;  // libsndfile's own words for a file it refused
};

// Reads the WAV (also WAVE_FORMAT_EXTENSIBLE and RF64) recording at path into
// out. Reads frame blocks until libsndfile gives no more, so a header that
// claims more data than the file holds gives the frames that are there; out
// is changed only when the result is loaded. The sample rate is not checked
// here (the caller knows which it needs).
WavRead readWavRecording(const std::string& path, WavRecording& out);

// What a refused read says, one or two sentences naming the file's fault;
// "" for a loaded file.
std::string wavRefusalText(const WavRead& read);

// Writes `frames` frames of `channels` interleaved float samples at `rate`
// as a 32-bit float WAV file with `comment` in its comment (ICMT) chunk.
// Written whole in memory, then put in place by writeFileAtomically: on
// failure (false, error says why) an old file at path is left as it was.
bool writeFloatWav(const std::string& path, int32_t rate, int channels, const float* samples,
                   int64_t frames, const std::string& comment, std::string& error);
// The same for 16-bit PCM samples.
bool writePcm16Wav(const std::string& path, int32_t rate, int channels, const int16_t* samples,
                   int64_t frames, const std::string& comment, std::string& error);

// The comment chunk of a WAV file ("" when it has none or cannot be read).
std::string wavComment(const std::string& path);
