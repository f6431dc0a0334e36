// The fit of the driver model and the mechanical parameters, on curves made
// here from the model's formula with known parameters (and noise), and on
// curves that hold no driver. Expected mechanical values are worked out from
// the textbook relations between the lumped parameters.

#include "analysis/driver_params.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "app/driver_ops.h"
#include "setup/meas_setup.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Driver {
  double re, le, fs, qms, qes;
};

std::complex<double> driverZ(const Driver& d, double f) {
  const double w = 2 * kPi * f, ws = 2 * kPi * d.fs, res = d.re * d.qms / d.qes;
  const std::complex<double> x(0.0, w / (ws * d.qms));
  return std::complex<double>(d.re, w * d.le) + res * x / (1.0 - (w / ws) * (w / ws) + x);
}

// A curve on the program's grid between lowHz and highHz, each point times
// (1 + n) with n complex Gaussian noise of RMS `noise` (relative).
struct Curve {
  std::vector<double> f;
  std::vector<Complex> z;
};

template <typename ZOf>
Curve makeCurve(ZOf zOf, double lowHz, double highHz, double noise, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> gauss(0.0, noise / std::sqrt(2.0));
  Curve c;
  for (int i = 0; i < kGridPoints; ++i) {
    const double f = gridFrequency(i);
    if (f < lowHz || f > highHz) continue;
    const std::complex<double> z = zOf(f) * std::complex<double>(1.0 + gauss(rng), gauss(rng));
    c.f.push_back(f);
    c.z.emplace_back(z.real(), z.imag());
  }
  return c;
}

Curve driverCurve(const Driver& d, double lowHz, double highHz, double noise, unsigned seed = 1) {
  return makeCurve([&](double f) { return driverZ(d, f); }, lowHz, highHz, noise, seed);
}

ElectricalFit fit(const Curve& c, double reDc = 0.0) { return fitElectrical(c.f, c.z, reDc); }

void expectElectrical(const ElectricalParams& p, const Driver& d) {
  const double qts = d.qms * d.qes / (d.qms + d.qes);
  EXPECT_NEAR(p.reOhm / d.re, 1.0, 0.005);
  EXPECT_NEAR(p.fsHz / d.fs, 1.0, 0.003);
  EXPECT_NEAR(p.qms / d.qms, 1.0, 0.015);
  EXPECT_NEAR(p.qes / d.qes, 1.0, 0.015);
  EXPECT_NEAR(p.qts / qts, 1.0, 0.015);
  EXPECT_NEAR(p.leH / d.le, 1.0, 0.05);
  // Zmax is the model at fs: Re + Res with the coil's reactance beside it.
  EXPECT_NEAR(p.zMaxOhm / std::abs(driverZ(d, d.fs)), 1.0, 0.01);
}

// The simulator's driver, and two others far from it.
const Driver kWoofer{6.0, 0.40e-3, 45.0, 3.5, 0.45};
const Driver kTweeter{5.6, 0.06e-3, 900.0, 2.0, 1.2};
const Driver kSubwoofer{3.4, 1.8e-3, 22.0, 8.0, 0.35};

TEST(DriverFit, ExactModelCurvesGiveTheirParameters) {
  for (const Driver& d : {kWoofer, kTweeter, kSubwoofer}) {
    SCOPED_TRACE(d.fs);
    const ElectricalFit r = fit(driverCurve(d, 5.0, 20000.0, 0.0));
    ASSERT_EQ(r.status, ParamsStatus::ok);
    EXPECT_NEAR(r.params.reOhm, d.re, 1e-6 * d.re);
    EXPECT_NEAR(r.params.fsHz, d.fs, 1e-6 * d.fs);
    EXPECT_NEAR(r.params.qms, d.qms, 1e-5 * d.qms);
    EXPECT_NEAR(r.params.qes, d.qes, 1e-5 * d.qes);
    EXPECT_NEAR(r.params.leH, d.le, 1e-5 * d.le);
    EXPECT_LT(r.params.residual, 1e-6);
    EXPECT_FALSE(r.params.reFromDc);
    // The band lies around the resonance, inside the curve.
    EXPECT_LT(r.params.bandLowHz, d.fs);
    EXPECT_GT(r.params.bandHighHz, 2.0 * d.fs);
  }
}

// 0.5 % of noise on every point, several seeds: the limits hold.
TEST(DriverFit, NoisyCurvesStayWithinTheLimits) {
  for (const Driver& d : {kWoofer, kTweeter, kSubwoofer}) {
    for (unsigned seed : {1u, 2u, 3u}) {
      SCOPED_TRACE(testing::Message() << d.fs << " Hz, seed " << seed);
      const ElectricalFit r = fit(driverCurve(d, 5.0, 20000.0, 0.005, seed));
      ASSERT_EQ(r.status, ParamsStatus::ok);
      expectElectrical(r.params, d);
      EXPECT_NEAR(r.params.residual, 0.005, 0.002);  // the noise itself
    }
  }
}

// The shown range of the window cuts the woofer's curve at 20 Hz, below the
// resonance's lower half-level point of the subwoofer: its other one and
// f1 f2 = fs^2 still start the fit well.
TEST(DriverFit, ACurveCutBelowTheResonanceStillFits) {
  const ElectricalFit r = fit(driverCurve(kSubwoofer, 20.0, 20000.0, 0.002));
  ASSERT_EQ(r.status, ParamsStatus::ok);
  expectElectrical(r.params, kSubwoofer);
}

TEST(DriverFit, ReDcIsHeldAndReplacesTheFittedRe) {
  const Curve c = driverCurve(kWoofer, 10.0, 20000.0, 0.002);
  const ElectricalFit right = fit(c, 6.0);
  ASSERT_EQ(right.status, ParamsStatus::ok);
  EXPECT_TRUE(right.params.reFromDc);
  EXPECT_EQ(right.params.reOhm, 6.0);
  expectElectrical(right.params, kWoofer);
  // A meter reading 0.3 ohm high (leads): Re is what was given, Qes follows
  // it as Qms Re / Res, and the fit says it fits worse.
  const ElectricalFit high = fit(c, 6.3);
  ASSERT_EQ(high.status, ParamsStatus::ok);
  EXPECT_EQ(high.params.reOhm, 6.3);
  EXPECT_NEAR(high.params.qes, high.params.qms * 6.3 / high.params.resOhm, 1e-12);
  EXPECT_GT(high.params.residual, 2.0 * right.params.residual);
  // Not below the peak: refused.
  EXPECT_EQ(fit(c, 60.0).status, ParamsStatus::reDcTooHigh);
}

TEST(DriverFit, CurvesWithoutADriverAreRefused) {
  // The woofer seen only above its resonance, and below it only.
  EXPECT_EQ(fit(driverCurve(kWoofer, 70.0, 20000.0, 0.002)).status, ParamsStatus::noResonance);
  EXPECT_EQ(fit(driverCurve(kSubwoofer, 5.0, 14.0, 0.0)).status, ParamsStatus::noResonance);
  // A resistor with an inductance: a rise at the top and nothing else.
  const Curve coil = makeCurve(
      [](double f) { return std::complex<double>(8.0, 2 * kPi * f * 0.5e-3); }, 20.0, 20000.0,
      0.002, 4);
  EXPECT_EQ(fit(coil).status, ParamsStatus::noResonance);
  // A plain resistor, with noise.
  const Curve resistor = makeCurve([](double) { return std::complex<double>(8.2, 0.0); }, 20.0,
                                   20000.0, 0.005, 5);
  EXPECT_EQ(fit(resistor).status, ParamsStatus::flat);
  // An open jig: the impedance computation's open-circuit value, 999 x 12
  // ohm, and points without a value.
  const Curve open = makeCurve([](double) { return std::complex<double>(11988.0, 0.0); }, 20.0,
                               20000.0, 0.0, 6);
  EXPECT_EQ(fit(open).status, ParamsStatus::openCircuit);
  Curve holed = driverCurve(kWoofer, 10.0, 20000.0, 0.0);
  holed.z[300] = Complex(std::nan(""), 0.0);
  EXPECT_EQ(fit(holed).status, ParamsStatus::openCircuit);
  holed.z[300] = Complex(INFINITY, 0.0);
  EXPECT_EQ(fit(holed).status, ParamsStatus::openCircuit);
  // Nothing, or too little.
  EXPECT_EQ(fitElectrical({}, {}).status, ParamsStatus::noCurve);
  Curve few = driverCurve(kWoofer, 44.0, 46.5, 0.0);
  ASSERT_LT(few.f.size(), static_cast<size_t>(kMinFitPoints));
  EXPECT_EQ(fit(few).status, ParamsStatus::tooFewPoints);
}

// Every refusal comes with a sentence, and none of its numbers is offered.
TEST(DriverFit, EveryStatusHasItsText) {
  for (int s = 1; s <= static_cast<int>(ParamsStatus::notHigher); ++s) {
    const char* text = paramsStatusText(static_cast<ParamsStatus>(s));
    EXPECT_GT(std::string(text).size(), 10u) << s;
  }
  EXPECT_STREQ(paramsStatusText(ParamsStatus::ok), "");
}

// The mechanical side of a driver given by Mms and Sd: Cms from fs and Mms,
// Bl from Qes, Vas from Cms and Sd, the added mass lowering fs and raising
// both Q by sqrt((Mms + m) / Mms), the box raising them by
// sqrt(1 + Vas / Vb).
struct Mechanics {
  double mmsKg, sdM2;
  double cms(const Driver& d) const { return 1.0 / (std::pow(2 * kPi * d.fs, 2) * mmsKg); }
  double bl(const Driver& d) const { return std::sqrt(2 * kPi * d.fs * mmsKg * d.re / d.qes); }
  double vas(const Driver& d) const { return 1.18 * 343.0 * 343.0 * sdM2 * sdM2 * cms(d); }
  double rms(const Driver& d) const { return 2 * kPi * d.fs * mmsKg / d.qms; }
  Driver withMass(const Driver& d, double kg) const {
    const double k = std::sqrt((mmsKg + kg) / mmsKg);
    return {d.re, d.le, d.fs / k, d.qms * k, d.qes * k};
  }
  Driver inBox(const Driver& d, double m3) const {
    const double k = std::sqrt(1.0 + vas(d) / m3);
    return {d.re, d.le, d.fs * k, d.qms * k, d.qes * k};
  }
};

void expectMechanical(const DriverParams& r, const Driver& d, const Mechanics& m) {
  ASSERT_EQ(r.status, ParamsStatus::ok);
  ASSERT_EQ(r.mechStatus, ParamsStatus::ok);
  ASSERT_TRUE(r.mechanical.haveMass);
  ASSERT_TRUE(r.mechanical.haveVas);
  EXPECT_NEAR(r.mechanical.mmsKg / m.mmsKg, 1.0, 0.03);
  EXPECT_NEAR(r.mechanical.blTm / m.bl(d), 1.0, 0.03);
  EXPECT_NEAR(r.mechanical.vasM3 / m.vas(d), 1.0, 0.03);
  EXPECT_NEAR(r.mechanical.cmsMPerN / m.cms(d), 1.0, 0.03);
  EXPECT_NEAR(r.mechanical.rmsKgPerS / m.rms(d), 1.0, 0.03);
}

TEST(DriverMechanics, AddedMassAndClosedBoxGiveTheMechanicalSide) {
  const Mechanics woofer{20.0e-3, 220.0e-4};
  const Mechanics sub{150.0e-3, 1200.0e-4};
  struct Case {
    Driver d;
    Mechanics m;
    double addedKg, boxM3;
  };
  for (const Case& c : {Case{kWoofer, woofer, 10.0e-3, 20.0e-3}, Case{kSubwoofer, sub, 60.0e-3, 80.0e-3}}) {
    SCOPED_TRACE(c.d.fs);
    const Curve free = driverCurve(c.d, 5.0, 20000.0, 0.003, 7);
    const Curve heavy = driverCurve(c.m.withMass(c.d, c.addedKg), 5.0, 20000.0, 0.003, 8);
    const Curve boxed = driverCurve(c.m.inBox(c.d, c.boxM3), 5.0, 20000.0, 0.003, 9);
    MechanicalInputs mass{MechMethod::addedMass, c.addedKg * 1e3, c.m.sdM2 * 1e4, 0.0};
    expectMechanical(driverParams(free.f, free.z, heavy.f, heavy.z, 0.0, mass), c.d, c.m);
    MechanicalInputs box{MechMethod::closedBox, 0.0, c.m.sdM2 * 1e4, c.boxM3 * 1e3};
    expectMechanical(driverParams(free.f, free.z, boxed.f, boxed.z, 0.0, box), c.d, c.m);
  }
}

// eta0 = rho/(2 pi c) Bl^2 Sd^2 / (Re Mms^2), a second form of the one the
// program uses, and the sensitivity 10 log10(eta0) + 112.1 dB.
TEST(DriverMechanics, EfficiencyAndSensitivityFollowTheLumpedParameters) {
  const Mechanics m{20.0e-3, 220.0e-4};
  const Curve free = driverCurve(kWoofer, 5.0, 20000.0, 0.0);
  const Curve heavy = driverCurve(m.withMass(kWoofer, 10e-3), 5.0, 20000.0, 0.0);
  const DriverParams r = driverParams(free.f, free.z, heavy.f, heavy.z, 0.0,
                                      {MechMethod::addedMass, 10.0, 220.0, 0.0});
  ASSERT_EQ(r.mechStatus, ParamsStatus::ok);
  const double bl = m.bl(kWoofer);
  const double eta0 = 1.18 / (2 * kPi * 343.0) * bl * bl * m.sdM2 * m.sdM2 / (6.0 * m.mmsKg * m.mmsKg);
  EXPECT_NEAR(r.mechanical.eta0 / eta0, 1.0, 1e-4);
  EXPECT_NEAR(r.mechanical.splDb, 10 * std::log10(eta0) + 112.07, 0.01);
  // The figures of the simulated driver: Bl 8.683 T m, Vas 42.02 l, Cms
  // 0.6254 mm/N, Rms 1.616 kg/s.
  EXPECT_NEAR(r.mechanical.blTm, 8.683, 0.001);
  EXPECT_NEAR(r.mechanical.vasM3 * 1e3, 42.02, 0.01);
  EXPECT_NEAR(r.mechanical.cmsMPerN * 1e3, 0.6254, 0.0001);
  EXPECT_NEAR(r.mechanical.rmsKgPerS, 1.616, 0.001);
}

TEST(DriverMechanics, ASecondCurveThatCannotServeIsRefused) {
  const Mechanics m{20.0e-3, 220.0e-4};
  const Curve free = driverCurve(kWoofer, 5.0, 20000.0, 0.002, 1);
  const Curve same = driverCurve(kWoofer, 5.0, 20000.0, 0.002, 2);
  const Curve heavy = driverCurve(m.withMass(kWoofer, 10e-3), 5.0, 20000.0, 0.002, 3);
  const MechanicalInputs mass{MechMethod::addedMass, 10.0, 220.0, 0.0};
  const MechanicalInputs box{MechMethod::closedBox, 0.0, 220.0, 20.0};
  // The same fs twice, or the heavy curve first: fs is not lower.
  EXPECT_EQ(driverParams(free.f, free.z, same.f, same.z, 0.0, mass).mechStatus, ParamsStatus::notLower);
  EXPECT_EQ(driverParams(heavy.f, heavy.z, free.f, free.z, 0.0, mass).mechStatus, ParamsStatus::notLower);
  // A box curve below the free one.
  EXPECT_EQ(driverParams(free.f, free.z, heavy.f, heavy.z, 0.0, box).mechStatus, ParamsStatus::notHigher);
  // Inputs missing.
  EXPECT_EQ(driverParams(free.f, free.z, heavy.f, heavy.z, 0.0, {MechMethod::addedMass, 0.0, 220.0, 0.0})
                .mechStatus,
            ParamsStatus::badInput);
  EXPECT_EQ(driverParams(free.f, free.z, heavy.f, heavy.z, 0.0, {MechMethod::addedMass, 10.0, 0.0, 0.0})
                .mechStatus,
            ParamsStatus::badInput);
  // A second curve that is no driver says why, the first one's values stay.
  const Curve flat = makeCurve([](double) { return std::complex<double>(8.0, 0.0); }, 20.0, 20000.0, 0.0, 1);
  const DriverParams r = driverParams(free.f, free.z, flat.f, flat.z, 0.0, mass);
  EXPECT_EQ(r.status, ParamsStatus::ok);
  EXPECT_EQ(r.mechStatus, ParamsStatus::flat);
  EXPECT_FALSE(r.mechanical.haveMass);
  // Without Sd the box method still gives Vas, not the mass.
  const Curve boxed = driverCurve(m.inBox(kWoofer, 20e-3), 5.0, 20000.0, 0.002, 4);
  const DriverParams noSd =
      driverParams(free.f, free.z, boxed.f, boxed.z, 0.0, {MechMethod::closedBox, 0.0, 0.0, 20.0});
  ASSERT_EQ(noSd.mechStatus, ParamsStatus::ok);
  EXPECT_TRUE(noSd.mechanical.haveVas);
  EXPECT_FALSE(noSd.mechanical.haveMass);
  EXPECT_NEAR(noSd.mechanical.vasM3 / m.vas(kWoofer), 1.0, 0.03);
}

}  // namespace

// The fit takes the shown range below half the rate, and of a curve read from
// a file only the points the file covers.
TEST(DriverFitSpan, ShownRangeHalfTheRateAndTheHeldPoints) {
  MeasSetup m;
  m.freqLow = 20.0;
  m.freqHigh = 20000.0;
  m.responseRate = 8000;
  const GridSpan shown = fitSpan(m);
  EXPECT_GE(m.freqGrid[shown.first], 20.0);
  EXPECT_LT(m.freqGrid[shown.first - 1], 20.0);
  EXPECT_LT(m.freqGrid[shown.end - 1], 4000.0);
  EXPECT_GE(m.freqGrid[shown.end], 4000.0);

  m.held.reset();
  for (int i = 400; i <= 450; ++i) m.held.set(static_cast<size_t>(i));
  const GridSpan file = fitSpan(m);
  EXPECT_EQ(file.first, 400);
  EXPECT_EQ(file.end, 451);
  m.held.reset();
  EXPECT_EQ(fitSpan(m).first, fitSpan(m).end);
}
