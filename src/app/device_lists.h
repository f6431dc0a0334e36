#pragma once
// Devices by name: what the front ends keep of a chosen device when the
// lists are read again, and what they can remember between runs of the
// program.

#include <string>
#include <string_view>

#include "platform/wave_audio.h"

// The name of device id, empty for an id out of range.
std::string deviceNameAt(const WaveAudio& audio, WaveDirection dir, int id);
// The number of the first device named exactly name; -1 when none is.
int deviceIdByName(const WaveAudio& audio, WaveDirection dir, std::string_view name);
