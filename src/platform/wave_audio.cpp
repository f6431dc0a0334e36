#include "platform/wave_audio.h"

#include <cstdio>

WaveFormat stereo16Format(int32_t sampleRate) {
  WaveFormat f;
  f.formatTag = 1;
  f.channels = 2;
  f.samplesPerSec = static_cast<uint32_t>(sampleRate);
  f.avgBytesPerSec = 4u * static_cast<uint32_t>(sampleRate);
  f.blockAlign = 4;
  f.bitsPerSample = 16;
  return f;
}

bool isStereo16(const WaveFormat& f) {
  return f.formatTag == 1 && f.channels == 2 && f.bitsPerSample == 16 && f.blockAlign == 4 &&
         f.samplesPerSec > 0 && f.avgBytesPerSec == 4u * f.samplesPerSec;
}

namespace {

const char* sharedText(WaveResult code) {
  switch (code) {
    case kWaveOk: return "The operation completed successfully.";
    case kWaveErrUnknown: return "An unknown sound card error occurred.";
    case kWaveErrBadDeviceId: return "There is no sound device with this number.";
    case kWaveErrAllocated: return "The sound device is already in use.";
    case kWaveErrInvalidHandle: return "The sound device is not open.";
    case kWaveErrNoDriver: return "No sound system is available.";
    case kWaveErrBadFormat:
      return "The sound device does not support 16-bit stereo at this sample rate.";
    case kWaveErrStillPlaying: return "The buffer is still in use by the sound device.";
    case kWaveErrUnprepared: return "The buffer has not been prepared.";
    case kWaveErrQueueFull: return "Too many buffers are queued on the sound device.";
    case kWaveErrNotResponding: return "The sound card stopped responding.";
    case kWaveErrDeviceGone: return "The sound device is no longer available.";
    case kWaveErrDataLost:
      return "Samples were lost during the recording (the sound card's buffer overran).";
    default: return nullptr;
  }
}

}  // namespace

void waveErrorText(WaveResult code, char* text, size_t capacity) {
  if (capacity == 0) return;
  if (const char* s = sharedText(code)) {
    std::snprintf(text, capacity, "%s", s);
  } else {
    std::snprintf(text, capacity, "Unknown sound card error %d.", static_cast<int>(code));
  }
}
