#pragma once
// The real sound card backend for the front ends: PortAudio where the build
// has it, none otherwise (the simulated devices then stand alone).

#include <memory>

#include "platform/wave_audio.h"

#if SONRAKE_WITH_PORTAUDIO
#include "platform/portaudio/pa_audio.h"
#endif

inline std::unique_ptr<WaveAudio> makeRealAudio() {
#if SONRAKE_WITH_PORTAUDIO
  return std::make_unique<PaAudio>();
#else
  return nullptr;
#endif
}
