// The parameters as text: four significant digits, the units of the display,
// and only the values a result says are valid.

#include "store/driver_params_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

DriverParams example() {
  DriverParams p;
  p.status = ParamsStatus::ok;
  ElectricalParams& e = p.electrical;
  e.reOhm = 6.00349;
  e.fsHz = 45.0123;
  e.zMaxOhm = 52.6612;
  e.qms = 3.50049;
  e.qes = 0.450123;
  e.qts = 0.398765;
  e.leH = 0.401234e-3;
  e.residual = 0.000812;
  e.bandLowHz = 20.12;
  e.bandHighHz = 357.1;
  return p;
}

TEST(DriverParamsText, LinesOfTheValidValuesOnly) {
  DriverParams p = example();
  EXPECT_EQ(driverParamsText(p),
            "Re 6.003 ohm\nfs 45.01 Hz\nZmax 52.66 ohm\nQms 3.500\nQes 0.4501\nQts 0.3988\n"
            "Le 0.4012 mH\nresidual 0.08 %\nband_low 20.12 Hz\nband_high 357.1 Hz\n");
  // The mechanical side with the mass but without Vas, and the air after it.
  p.mechStatus = ParamsStatus::ok;
  p.mechanical.haveMass = true;
  p.mechanical.mmsKg = 0.0200149;
  p.mechanical.cmsMPerN = 0.62543e-3;
  p.mechanical.blTm = 8.68312;
  p.mechanical.rmsKgPerS = 1.61612;
  const std::string text = driverParamsText(p);
  EXPECT_NE(text.find("\nMms 20.01 g\nCms 0.6254 mm/N\nBl 8.683 Tm\nRms 1.616 kg/s\nrho 1.180 kg/m3\nc 343.0 m/s\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("Vas"), std::string::npos);
  // A failed second curve drops the mechanical lines; a failed first one all.
  p.mechStatus = ParamsStatus::notLower;
  EXPECT_EQ(driverParamsText(p).find("Mms"), std::string::npos);
  p.status = ParamsStatus::noResonance;
  EXPECT_EQ(driverParamsText(p), "");
}

TEST(DriverParamsText, FourSignificantDigitsWithoutExponents) {
  auto text = [](const char* key, double v) { return paramValueText({key, key, v, ""}); };
  EXPECT_EQ(text("fs", 9.99961), "10.00");  // rounding up adds no fifth digit
  EXPECT_EQ(text("fs", 1234.56), "1235");
  EXPECT_EQ(text("fs", 98765.4), "98765");
  EXPECT_EQ(text("Qes", 0.0123456), "0.01235");
  EXPECT_EQ(text("Le", 0.0), "0.000");
  EXPECT_EQ(text("residual", 12.345), "12.35");
  EXPECT_EQ(text("fs", std::nan("")), "-");
}

}  // namespace
