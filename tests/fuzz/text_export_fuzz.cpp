// The export with any values: NaN, infinities, the largest doubles, any
// graph range and rate. The file is the fixed header and one CR LF line per
// grid point inside the range and below half the rate, in order, each of
// three fields at least as wide as their format, every number written in
// full (it reads back as the value rounded as printed).

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "setup/meas_setup.h"
#include "store/text_export.h"

namespace {

std::vector<std::string> split(const std::string& text, const std::string& by) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (size_t at; (at = text.find(by, from)) != std::string::npos; from = at + by.size())
    parts.push_back(text.substr(from, at - from));
  parts.push_back(text.substr(from));
  return parts;
}

// A field printed with "%8.<decimals>f" of value.
void checkField(const std::string& field, double value, double decimalsStep) {
  FUZZ_CHECK(field.size() >= 8);
  size_t lead = 0;
  while (lead < field.size() && field[lead] == ' ') ++lead;
  const std::string number = field.substr(lead);
  if (std::isnan(value)) {
    FUZZ_CHECK(number == "nan" || number == "-nan");
    return;
  }
  if (std::isinf(value)) {
    FUZZ_CHECK(number == (value > 0 ? "inf" : "-inf"));
    return;
  }
  char* end = nullptr;
  const double read = std::strtod(number.c_str(), &end);
  FUZZ_CHECK(end != nullptr && *end == '\0');
  // Rounded to the printed decimals; far beyond them only the double's own
  // spacing separates the two.
  FUZZ_CHECK(std::fabs(read - value) <= decimalsStep / 2 * (1 + 1e-9) + std::fabs(value) * 1e-15);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  static MeasSetup setup;
  static DisplayCurves curves;
  setup.impedanceMode = in.u8() & 1;
  setup.freqLow = in.f64();
  setup.freqHigh = in.f64();
  setup.responseRate = static_cast<int32_t>(in.bits(4));

  // The curves from the rest of the input, repeated to fill the grid; the
  // curve not exported holds values that would show if it were.
  const size_t values = in.restSize() / 16;
  fuzz::Input rest(in.rest(), in.restSize());
  std::vector<double> mag(values), phase(values);
  for (size_t k = 0; k < values; ++k) {
    mag[k] = rest.f64();
    phase[k] = rest.f64();
  }
  RealCurve& m = setup.impedanceMode ? curves.zMag[0] : curves.splMag[0];
  RealCurve& ph = setup.impedanceMode ? curves.zPhase[0] : curves.splPhase[0];
  RealCurve& otherM = setup.impedanceMode ? curves.splMag[0] : curves.zMag[0];
  RealCurve& otherPh = setup.impedanceMode ? curves.splPhase[0] : curves.zPhase[0];
  for (int j = 0; j < kGridPoints; ++j) {
    m[j] = values ? mag[j % values] : 0.0;
    ph[j] = values ? phase[j % values] : 0.0;
    otherM[j] = NAN;
    otherPh[j] = NAN;
  }

  const std::string text = exportText(setup, curves);

  std::vector<int> rows;
  for (int j = 0; j < kGridPoints; ++j) {
    const double f = setup.freqGrid[j];
    // Inside the range (a NaN bound holds no frequency), below half the
    // rate; the setup holds every point.
    if (!(setup.freqLow <= f && f <= setup.freqHigh)) continue;
    if (setup.responseRate > 0 && f >= setup.responseRate / 2.0) continue;
    rows.push_back(j);
  }

  FUZZ_CHECK(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0);
  std::vector<std::string> lines = split(text.substr(0, text.size() - 2), "\r\n");
  FUZZ_CHECK(lines.size() == rows.size() + 1);
  FUZZ_CHECK(lines[0] == "   Freq \t     Mag \t   Phase");
  for (size_t r = 0; r < rows.size(); ++r) {
    const std::string& line = lines[r + 1];
    FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    const std::vector<std::string> fields = split(line, " \t");
    FUZZ_CHECK(fields.size() == 3);
    const int j = rows[r];
    checkField(fields[0], setup.freqGrid[j], 0.01);
    checkField(fields[1], m[j], 0.1);
    checkField(fields[2], ph[j], 0.1);
  }
  return 0;
}
