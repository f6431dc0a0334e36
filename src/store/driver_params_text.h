#pragma once
// The driver parameters as the user reads them: one entry per value, with
// its key, the name shown, the value in its display unit and the unit; and
// the plain text of "key value unit" lines that the clipboard and the
// command line hand on.

#include <array>
#include <string>

#include "analysis/driver_params.h"

// One value. `value` is in `unit` (Le in mH, Mms in g, Vas in l, ...).
struct ParamEntry {
  const char* key;    // one word: "Re", "fs", "Mms", "SPL_1W_1m"
  const char* label;  // as the panel names it: "Re", "fs", "SPL 1W/1m"
  double value;
  const char* unit;   // "" for a plain number
};

inline constexpr int kMaxParamEntries = 20;

// The valid values of `p`, in the order they are shown: the electrical ones
// when status is ok (Re, fs, Zmax, Qms, Qes, Qts, Le, residual, the band),
// then the mechanical ones that mechStatus ok makes valid (Mms, Cms, Bl, Rms
// with the mass, Vas, eta0, SPL_1W_1m with Vas) and, after those, the air
// constants they were worked out for (rho, c). Returns the count; nothing
// is offered for a status that is not ok, so no NaN is ever shown.
int driverParamEntries(const DriverParams& p, std::array<ParamEntry, kMaxParamEntries>& out);

// The value with four significant digits, never in exponent form ("6.003",
// "45.01", "0.4501", "343.0"); the residual with two decimals. A value that is
// not finite gives "-" (no entry holds one).
std::string paramValueText(const ParamEntry& e);

// "key value unit" lines (the unit left out where there is none), ending in
// '\n', of every entry; "" when there is none.
std::string driverParamsText(const DriverParams& p);
