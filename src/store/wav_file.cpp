#include "store/wav_file.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "setup/file_io.h"

namespace {

// A file written into memory through libsndfile's virtual I/O, so that the
// finished bytes go to the disk in one atomic replacement.
struct MemoryFile {
  std::vector<uint8_t> bytes;
  sf_count_t pos = 0;
};

sf_count_t memLength(void* user) {
  return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes.size());
}
sf_count_t memSeek(sf_count_t offset, int whence, void* user) {
  auto* m = static_cast<MemoryFile*>(user);
  sf_count_t base = 0;
  if (whence == SEEK_CUR) base = m->pos;
  else if (whence == SEEK_END) base = static_cast<sf_count_t>(m->bytes.size());
  const sf_count_t to = base + offset;
  if (to < 0) return -1;
  m->pos = to;
  return m->pos;
}
sf_count_t memRead(void* ptr, sf_count_t count, void* user) {
  auto* m = static_cast<MemoryFile*>(user);
  const sf_count_t size = static_cast<sf_count_t>(m->bytes.size());
  if (count <= 0 || m->pos >= size) return 0;
  const sf_count_t n = std::min(count, size - m->pos);
  std::memcpy(ptr, m->bytes.data() + m->pos, static_cast<size_t>(n));
  m->pos += n;
  return n;
}
sf_count_t memWrite(const void* ptr, sf_count_t count, void* user) {
  auto* m = static_cast<MemoryFile*>(user);
  if (count <= 0) return 0;
  const size_t end = static_cast<size_t>(m->pos + count);
  if (end > m->bytes.size()) m->bytes.resize(end);
  std::memcpy(m->bytes.data() + m->pos, ptr, static_cast<size_t>(count));
  m->pos += count;
  return count;
}
sf_count_t memTell(void* user) { return static_cast<MemoryFile*>(user)->pos; }

// Writes the samples through `writeFrames` into a WAV of the given subtype.
template <typename Sample, typename WriteFrames>
bool writeWav(const std::string& path, int32_t rate, int channels, int subtype,
              const Sample* samples, int64_t frames, const std::string& comment,
              WriteFrames writeFrames, std::string& error) {
  if (rate <= 0 || channels < 1 || channels > 2 || frames < 0) {
    error = "nothing to write";
    return false;
  }
  SF_VIRTUAL_IO io{memLength, memSeek, memRead, memWrite, memTell};
  MemoryFile file;
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | subtype;
  SNDFILE* sf = sf_open_virtual(&io, SFM_WRITE, &info, &file);
  if (sf == nullptr) {
    error = sf_strerror(nullptr);
    return false;
  }
  if (!comment.empty()) sf_set_string(sf, SF_STR_COMMENT, comment.c_str());
  const sf_count_t written = writeFrames(sf, samples, static_cast<sf_count_t>(frames));
  const bool whole = written == static_cast<sf_count_t>(frames);
  if (!whole) error = sf_strerror(sf);
  if (sf_close(sf) != 0 && whole) {
    error = "the WAV data could not be completed";
    return false;
  }
  if (!whole) return false;
  if (!writeFileAtomically(path, file.bytes.data(), file.bytes.size())) {
    error = "could not write " + path;
    return false;
  }
  return true;
}

bool typeIsWav(int format) {
  const int type = format & SF_FORMAT_TYPEMASK;
  return type == SF_FORMAT_WAV || type == SF_FORMAT_WAVEX || type == SF_FORMAT_RF64;
}

bool dataIsSupported(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE: return true;
    default: return false;
  }
}

// One sample on the 16-bit scale: rounded half away from zero, clipped.
int16_t toPcm16(double fullScale) {
  const double v = std::round(fullScale * 32768.0);
  return static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
}

}  // namespace

WavRead readWavRecording(const std::string& path, WavRecording& out) {
  WavRead read;
  const int fd = openRegularFile(path);
  if (fd < 0) return read;
  SF_INFO info{};
  // libsndfile closes the descriptor with the file (or on a failed open).
  SNDFILE* sf = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
  if (sf == nullptr) {
    read.result = WavReadResult::notWav;
    read.detail = sf_strerror(nullptr);
    return read;
  }
  struct Closer {
    SNDFILE* sf;
    ~Closer() { sf_close(sf); }
  } closer{sf};

  read.channels = info.channels;
  if (!typeIsWav(info.format) || info.channels < 1 || info.samplerate <= 0) {
    read.result = WavReadResult::notWav;
    return read;
  }
  if (!dataIsSupported(info.format)) {
    read.result = WavReadResult::unsupportedData;
    return read;
  }
  if (info.channels > 2) {
    read.result = WavReadResult::tooManyChannels;
    return read;
  }
  // Integer data comes as the fraction of full scale, float data as it is.
  sf_command(sf, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);

  const int channels = info.channels;
  std::vector<int16_t> samples;
  constexpr sf_count_t kBlockFrames = 4096;
  std::array<double, 2 * kBlockFrames> block{};
  int64_t frames = 0;
  for (;;) {
    const sf_count_t got = sf_readf_double(sf, block.data(), kBlockFrames);
    if (got <= 0) break;
    if (frames + got > kWavMaxRecordingFrames) {
      read.result = WavReadResult::tooLong;
      return read;
    }
    const size_t values = static_cast<size_t>(got) * static_cast<size_t>(channels);
    for (size_t i = 0; i < values; ++i) {
      if (!std::isfinite(block[i])) {
        read.result = WavReadResult::badSamples;
        return read;
      }
      samples.push_back(toPcm16(block[i]));
    }
    frames += got;
  }
  if (frames == 0) {
    read.result = WavReadResult::noFrames;
    return read;
  }
  out.sampleRate = info.samplerate;
  out.channels = channels;
  out.frames = frames;
  out.samples = std::move(samples);
  read.result = WavReadResult::loaded;
  return read;
}

std::string wavRefusalText(const WavRead& read) {
  switch (read.result) {
    case WavReadResult::loaded: return "";
    case WavReadResult::cannotOpen: return "The file cannot be opened.";
    case WavReadResult::notWav:
      return "The file is not a WAV file that can be read" +
             (read.detail.empty() ? std::string(".") : " (" + read.detail + ").");
    case WavReadResult::unsupportedData:
      return "The WAV file holds neither 16, 24 or 32-bit integer samples nor float samples.";
    case WavReadResult::tooManyChannels:
      return "The WAV file has " + std::to_string(read.channels) +
             " channels; a recording has one (mono) or two (stereo).";
    case WavReadResult::badSamples:
      return "The WAV file holds samples that are not finite numbers.";
    case WavReadResult::tooLong:
      return "The WAV file is longer than " + std::to_string(kWavMaxRecordingFrames) +
             " frames; a recording of a measurement is far shorter.";
    case WavReadResult::noFrames: return "The WAV file holds no samples.";
  }
  return "";
}

bool writeFloatWav(const std::string& path, int32_t rate, int channels, const float* samples,
                   int64_t frames, const std::string& comment, std::string& error) {
  return writeWav(
      path, rate, channels, SF_FORMAT_FLOAT, samples, frames, comment,
      [](SNDFILE* sf, const float* s, sf_count_t n) { return sf_writef_float(sf, s, n); }, error);
}

bool writePcm16Wav(const std::string& path, int32_t rate, int channels, const int16_t* samples,
                   int64_t frames, const std::string& comment, std::string& error) {
  return writeWav(
      path, rate, channels, SF_FORMAT_PCM_16, samples, frames, comment,
      [](SNDFILE* sf, const int16_t* s, sf_count_t n) { return sf_writef_short(sf, s, n); }, error);
}

std::string wavComment(const std::string& path) {
  const int fd = openRegularFile(path);
  if (fd < 0) return "";
  SF_INFO info{};
  SNDFILE* sf = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
  if (sf == nullptr) return "";
  const char* text = sf_get_string(sf, SF_STR_COMMENT);
  std::string comment = text != nullptr ? text : "";
  sf_close(sf);
  return comment;
}
