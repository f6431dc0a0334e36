#pragma once
// The signal models behind the simulated devices: what a loudspeaker with a
// microphone, an impedance jig and the sound card itself do to the played
// signal. Sample values are in LSB of 16-bit PCM. Each model is a small value
// type with fixed state; nothing allocates.

#include <array>
#include <complex>
#include <cstdint>

// One second-order section, transposed direct form II, a0 normalised to 1.
struct Biquad {
  double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
  double s1 = 0.0, s2 = 0.0;

  double process(double x) {
    const double y = b0 * x + s1;
    s1 = b1 * x - a1 * y + s2;
    s2 = b2 * x - a2 * y;
    return y;
  }
  void clear() { s1 = s2 = 0.0; }
  // Frequency response at omega radians per sample.
  std::complex<double> response(double omega) const;
};

// The audio-EQ-cookbook high-pass and low-pass sections (corner f0 in Hz,
// quality q, sample rate in Hz); f0 must lie below rate / 2.
Biquad cookbookHighPass(double f0, double q, double rate);
Biquad cookbookLowPass(double f0, double q, double rate);

// Loudspeaker picked up by a microphone: gain 0.5, 2nd-order high-pass at
// 60 Hz (Q 0.8), and a 2nd-order low-pass at 12 kHz (Q 0.707) where 12 kHz
// lies below 0.45 x the rate.
class LoudspeakerModel {
 public:
  static constexpr double kGain = 0.5;
  static constexpr double kHighPassHz = 60.0;
  static constexpr double kHighPassQ = 0.8;
  static constexpr double kLowPassHz = 12000.0;
  static constexpr double kLowPassQ = 0.707;

  // Designs the sections for the rate and clears the state.
  void design(double rate);
  void clear();
  double process(double x) {
    const double y = highPass_.process(x);
    return kGain * (hasLowPass_ ? lowPass_.process(y) : y);
  }
  bool hasLowPass() const { return hasLowPass_; }
  // Frequency response of the digital model at freqHz.
  std::complex<double> response(double freqHz) const;

 private:
  Biquad highPass_;
  Biquad lowPass_;
  bool hasLowPass_ = false;
  double rate_ = 48000.0;
};

// The simulated loudspeaker driver, in ohm and henry, and its mechanical
// side: moving mass Mms and cone area Sd (with air of 1.18 kg/m^3 and
// 343 m/s these make Cms 0.6254 mm/N, Rms 1.616 kg/s, Bl 8.683 T m and
// Vas 42.02 l).
struct DriverModel {
  static constexpr double kRe = 6.0;
  static constexpr double kLe = 0.40e-3;
  static constexpr double kFs = 45.0;
  static constexpr double kQms = 3.5;
  static constexpr double kQes = 0.45;
  static constexpr double kMmsKg = 20.0e-3;
  static constexpr double kSdM2 = 220.0e-4;
  // The mass stuck to the cone in the second jig.
  static constexpr double kAddedMassKg = 10.0e-3;

  // The electrical parameters with addedMassKg on the cone: the moving mass
  // is Mms + m, fs scales by sqrt(Mms / (Mms + m)), Qms and Qes by
  // sqrt((Mms + m) / Mms); Re, Le and Res = Re Qms / Qes stay. With no mass
  // the constants above, exactly.
  struct Electrical {
    double re, le, fs, qms, qes, res;
  };
  static Electrical withAddedMass(double addedMassKg);
  // Z = Re + jwLe + Res (jw/(ws Qms)) / (1 - (w/ws)^2 + jw/(ws Qms)),
  // evaluated exactly (analog) at freqHz, for the driver with addedMassKg.
  static std::complex<double> impedance(double freqHz, double addedMassKg = 0.0);
};

// Voltage divider of a series resistor and the driver, as the two inputs of
// an impedance jig see it: left = the voltage across both, right = the
// voltage across the driver, x * Z / (R + Z). Realised as a digital filter
// that follows the analog divider closely from 10 Hz to 0.4 x the rate
// (within 0.01 dB and 0.1 degrees, of the divider and so of Z, at every rate
// the simulator accepts, 1 kHz to 384 kHz): the resonance part as a
// second-order section with the analog poles and zeros mapped by z = e^(sT),
// the voice-coil inductance part, together with the small tilt that mapping
// leaves, as an FIR filter fitted by weighted least squares on a dense grid
// (the bilinear transform would warp the coil's part badly near the top of
// the band). The FIR filter needs kDelayFrames of look-ahead, so both channels are
// delayed by that much; their ratio is the divider's response. Both outputs
// are halved (kInputScale), as by an attenuator in front of the sound card's
// inputs: the driver's voltage rings well above the drive level near the top
// of the band and at its resonance, and a full-scale sequence (+-30000) would
// otherwise clip the right input (peaks near 40000), which spoils the measured
// impedance by several percent. Halved, the worst case stays below 30000 at
// every rate up to 200 kHz.
class ImpedanceJigModel {
 public:
  static constexpr double kSeriesOhm = 12.0;
  static constexpr double kInputScale = 0.5;
  static constexpr int kCoilTaps = 128;
  static constexpr int kDelayFrames = 32;

  // Designs the filter for the rate (Hz), the series resistor and the
  // driver with addedMassKg on its cone, and clears the state.
  void design(double rate, double seriesOhm = kSeriesOhm, double addedMassKg = 0.0);
  void clear();
  // Feeds one sample; left and right receive the jig's two outputs.
  void process(double x, double& left, double& right);
  // Response of the right output relative to the left one at freqHz.
  std::complex<double> response(double freqHz) const;

 private:
  static constexpr int kHistory = 256;  // power of two above kCoilTaps
  Biquad resonance_;
  std::array<double, kCoilTaps> coil_{};
  std::array<double, kHistory> resonated_{};  // resonance output, newest at pos_
  std::array<double, kHistory> raw_{};        // input, for the delayed left output
  int pos_ = 0;
  double rate_ = 48000.0;
};

// Deterministic white Gaussian noise of unit RMS from a fixed seed.
class GaussianNoise {
 public:
  explicit GaussianNoise(uint64_t seed = kDefaultSeed) { reseed(seed); }
  static constexpr uint64_t kDefaultSeed = 0x5eed0f50ad5ca1ebull;
  void reseed(uint64_t seed);
  double next();

 private:
  uint64_t nextBits();
  double uniform();  // in (0, 1)
  uint64_t s_[4]{};
  double spare_ = 0.0;
  bool hasSpare_ = false;
};

// The converters of the simulated sound card: gain 0.9, DC offset +3 LSB,
// white noise of RMS 2 LSB, then rounding and clipping to 16 bits. The 480
// frames of latency are applied by the device (sim_audio.cpp).
class SoundCardModel {
 public:
  static constexpr int kLatencyFrames = 480;
  static constexpr double kGain = 0.9;
  static constexpr double kDcOffset = 3.0;
  static constexpr double kNoiseRms = 2.0;

  explicit SoundCardModel(uint64_t seed = GaussianNoise::kDefaultSeed) : noise_(seed) {}
  void reseed(uint64_t seed) { noise_.reseed(seed); }
  int16_t record(double x) { return toPcm(kGain * x + kDcOffset + kNoiseRms * noise_.next()); }
  // Rounds half away from zero and clips to -32768 .. 32767.
  static int16_t toPcm(double v);

 private:
  GaussianNoise noise_;
};
