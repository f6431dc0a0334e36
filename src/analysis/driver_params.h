#pragma once
// A loudspeaker driver's small-signal parameters from its impedance curve:
// the electrical ones (Re, fs, Zmax, Qms, Qes, Qts, Le) from a least-squares
// fit of the lumped model
//   Z(w) = Re + jwLe + Res (jw/(ws Qms)) / (1 - (w/ws)^2 + jw/(ws Qms))
// to the complex impedance around the resonance, and the mechanical ones
// (Mms, Cms, Bl, Vas, Rms, the reference efficiency and the sensitivity)
// from a second curve of the same driver with a known mass on its cone or on
// a sealed box of known volume. Nothing here allocates; NaN never leaves a
// result that says it is valid.

#include <cstdint>
#include <span>

#include "base/complex.h"

// The air the mechanical parameters are worked out for.
inline constexpr double kAirDensity = 1.18;  // kg/m^3
inline constexpr double kSoundSpeed = 343.0;  // m/s

// Why parameters could not be worked out; ok when they could.
enum class ParamsStatus : uint8_t {
  ok,
  noCurve,          // no impedance curve to work from
  tooFewPoints,     // fewer than kMinFitPoints points in the range or the band
  openCircuit,      // points without a finite value, or every one above 1 kohm
  flat,             // |Z| varies by less than 15 %: a resistor, not a driver
  noResonance,      // no peak with the curve falling on both sides in the range
  reDcTooHigh,      // the Re (DC) given is not below the curve's peak
  fitFailed,        // the model does not follow the curve (or the fit ran away)
  badInput,         // the added mass, the cone area or the box volume is missing
  notLower,         // the curve with the mass on the cone has no lower fs
  notHigher,        // the curve on the box has no higher resonance
};

// One line of text for the status, for a message or a panel; "" for ok.
const char* paramsStatusText(ParamsStatus status);

inline constexpr int kMinFitPoints = 16;

// The fitted parameters of one curve. Every value is finite and positive
// when the fit that made them is ok (le may be 0).
struct ElectricalParams {
  double reOhm = 0.0;    // the fitted Re, or the Re (DC) given
  double fsHz = 0.0;
  double zMaxOhm = 0.0;  // |Z| of the fitted model at fs
  double resOhm = 0.0;   // the motional part's peak, Zmax without Re and Le
  double qms = 0.0;
  double qes = 0.0;
  double qts = 0.0;
  double leH = 0.0;
  double residual = 0.0;    // RMS of |Zfit - Z| / |Z| over the band, a fraction
  double bandLowHz = 0.0;   // the band the fit used
  double bandHighHz = 0.0;
  bool reFromDc = false;    // reOhm is the Re (DC) given, held in the fit
};

struct ElectricalFit {
  ParamsStatus status = ParamsStatus::noCurve;
  ElectricalParams params;
};

// Fits the model to the points (freqHz ascending and positive, z in ohm, the
// same count; the caller passes the range it shows). The band is chosen from
// the classic estimates: Re as the smallest |Z|, the highest peak of |Z|
// that falls below sqrt(Re Zmax) on at least one side and to 80 % of itself
// on the other within the range (a rise that runs off either end of the
// range, such as the voice coil's at the top, is set aside with its flanks,
// and the next highest tried), Zmax at least 1.5 Re, fs at that peak, Qms from the frequencies where
// |Z| = sqrt(Re Zmax) (the missing one of the two from f1 f2 = fs^2); the
// band runs from fs/3 to 8 fs, cut at the range. A Levenberg-Marquardt fit,
// each point weighted by 1/|Z| so that every part of the curve counts by its
// relative error, starts from those estimates. reDcOhm > 0 holds Re at that
// value; 0 fits it. A fitted Le below 0 is refitted held at 0.
ElectricalFit fitElectrical(std::span<const double> freqHz, std::span<const Complex> z,
                            double reDcOhm = 0.0);

// The fitted model's impedance at freqHz.
Complex modelImpedance(const ElectricalParams& p, double freqHz);

// How the second curve was made.
enum class MechMethod : uint8_t {
  none,       // no second curve: the electrical parameters alone
  addedMass,  // the same driver with addedMassG on its cone
  closedBox,  // the driver on a sealed box of boxLitres
};

struct MechanicalInputs {
  MechMethod method = MechMethod::none;
  double addedMassG = 0.0;  // g, > 0 for addedMass
  double sdCm2 = 0.0;       // cm^2, the cone area; 0 when not known
  double boxLitres = 0.0;   // l, > 0 for closedBox
};

// The inputs the method needs are there: the mass and Sd for addedMass,
// the volume for closedBox; always for none.
bool mechanicalInputsComplete(const MechanicalInputs& inputs);

// What the second curve gives. haveMass: mmsKg, cmsMPerN, blTm and
// rmsKgPerS hold values; haveVas: vasM3, eta0 and splDb do. The added-mass
// method needs Sd for Vas, the box method for the mass.
struct MechanicalParams {
  bool haveMass = false;
  bool haveVas = false;
  double mmsKg = 0.0;
  double cmsMPerN = 0.0;
  double blTm = 0.0;
  double rmsKgPerS = 0.0;
  double vasM3 = 0.0;
  double eta0 = 0.0;   // reference efficiency, a fraction
  double splDb = 0.0;  // dB SPL at 1 m for 1 W into Re, half space
};

struct MechanicalResult {
  ParamsStatus status = ParamsStatus::noCurve;
  MechanicalParams params;
};

// From the parameters of the driver alone (`free`) and of the second curve:
//   added mass m:  Mms = m / ((fs / fs')^2 - 1)  (fs' must be lower)
//   closed box Vb: Vas = Vb (fc Qec / (fs Qes) - 1)  (fc must be higher);
//   Cms = 1 / ((2 pi fs)^2 Mms), Rms = 2 pi fs Mms / Qms,
//   Bl = sqrt(2 pi fs Mms Re / Qes), Vas = rho c^2 Sd^2 Cms,
//   eta0 = 4 pi^2 fs^3 Vas / (c^3 Qes), SPL = 10 log10(eta0 rho c / (2 pi p0^2)).
// A frequency ratio within 0.5 % of 1 counts as not lower (not higher).
MechanicalResult mechanicalParams(const ElectricalParams& free, const ElectricalParams& second,
                                  const MechanicalInputs& inputs);

// Everything the panel, the clipboard and the command line show.
struct DriverParams {
  ParamsStatus status = ParamsStatus::noCurve;  // of the first curve
  ElectricalParams electrical;                  // valid only when status is ok
  MechMethod method = MechMethod::none;
  // Of the second curve and the mechanical parameters; noCurve without a
  // second curve. A second curve that cannot be fitted gives its own status.
  ParamsStatus mechStatus = ParamsStatus::noCurve;
  MechanicalParams mechanical;  // valid only when mechStatus is ok
};

// The whole result from the first curve and, with a method, the second one
// (empty spans when there is none).
DriverParams driverParams(std::span<const double> freqHz, std::span<const Complex> z,
                          std::span<const double> secondFreqHz, std::span<const Complex> secondZ,
                          double reDcOhm, const MechanicalInputs& inputs);
