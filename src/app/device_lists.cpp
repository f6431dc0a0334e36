#include "app/device_lists.h"

std::string deviceNameAt(const WaveAudio& audio, WaveDirection dir, int id) {
  if (id < 0 || id >= audio.deviceCount(dir)) return {};
  char text[512]{};
  audio.deviceName(dir, id, text, sizeof text);
  return text;
}

int deviceIdByName(const WaveAudio& audio, WaveDirection dir, std::string_view name) {
  const int count = audio.deviceCount(dir);
  for (int id = 0; id < count; ++id) {
    if (deviceNameAt(audio, dir, id) == name) return id;
  }
  return -1;
}
