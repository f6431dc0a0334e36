#include "store/driver_params_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

struct Adder {
  std::array<ParamEntry, kMaxParamEntries>& out;
  int n = 0;
  void operator()(const char* key, const char* label, double value, const char* unit) {
    if (n < kMaxParamEntries) out[static_cast<size_t>(n++)] = {key, label, value, unit};
  }
};

}  // namespace

int driverParamEntries(const DriverParams& p, std::array<ParamEntry, kMaxParamEntries>& out) {
  Adder add{out};
  if (p.status != ParamsStatus::ok) return 0;
  const ElectricalParams& e = p.electrical;
  add("Re", e.reFromDc ? "Re (DC)" : "Re", e.reOhm, "ohm");
  add("fs", "fs", e.fsHz, "Hz");
  add("Zmax", "Zmax", e.zMaxOhm, "ohm");
  add("Qms", "Qms", e.qms, "");
  add("Qes", "Qes", e.qes, "");
  add("Qts", "Qts", e.qts, "");
  add("Le", "Le", e.leH * 1e3, "mH");
  add("residual", "Fit", e.residual * 100.0, "%");
  add("band_low", "from", e.bandLowHz, "Hz");
  add("band_high", "to", e.bandHighHz, "Hz");
  if (p.mechStatus != ParamsStatus::ok) return add.n;
  const MechanicalParams& m = p.mechanical;
  if (m.haveMass) {
    add("Mms", "Mms", m.mmsKg * 1e3, "g");
    add("Cms", "Cms", m.cmsMPerN * 1e3, "mm/N");
    add("Bl", "Bl", m.blTm, "Tm");
    add("Rms", "Rms", m.rmsKgPerS, "kg/s");
  }
  if (m.haveVas) {
    add("Vas", "Vas", m.vasM3 * 1e3, "l");
    add("eta0", "eta0", m.eta0 * 100.0, "%");
    add("SPL_1W_1m", "SPL 1W/1m", m.splDb, "dB");
  }
  add("rho", "rho", kAirDensity, "kg/m3");
  add("c", "c", kSoundSpeed, "m/s");
  return add.n;
}

std::string paramValueText(const ParamEntry& e) {
  if (!std::isfinite(e.value)) return "-";
  int decimals = 2;
  if (std::strcmp(e.key, "residual") != 0) {
    const double mag = std::fabs(e.value);
    const int digits = mag > 0.0 ? static_cast<int>(std::floor(std::log10(mag))) + 1 : 1;
    decimals = digits >= 4 ? 0 : 4 - digits;
    if (decimals > 6) decimals = 6;
  }
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, e.value);
  // Rounding up may add a digit (9.9996 -> "10.000"); one decimal fewer.
  if (decimals > 0 && std::strcmp(e.key, "residual") != 0) {
    size_t significant = 0;
    bool leading = true;
    for (const char* c = text; *c != '\0'; ++c) {
      if (*c < '0' || *c > '9') continue;
      if (leading && *c == '0') continue;
      leading = false;
      ++significant;
    }
    if (significant > 4) std::snprintf(text, sizeof text, "%.*f", decimals - 1, e.value);
  }
  return text;
}

std::string driverParamsText(const DriverParams& p) {
  std::array<ParamEntry, kMaxParamEntries> entries;
  const int n = driverParamEntries(p, entries);
  std::string text;
  for (int i = 0; i < n; ++i) {
    const ParamEntry& e = entries[static_cast<size_t>(i)];
    text += e.key;
    text += ' ';
    text += paramValueText(e);
    if (e.unit[0] != '\0') {
      text += ' ';
      text += e.unit;
    }
    text += '\n';
  }
  return text;
}
