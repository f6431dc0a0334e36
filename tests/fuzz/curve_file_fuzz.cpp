// A curve file of any bytes read into a slot (readCurveFile), as an SPL
// response or an impedance as the first byte says. A refused file changes
// neither the response nor the held points and is named by its refusal
// text; a loaded one has at least two ascending points over a finite,
// positive range, holds exactly the grid points firstGrid..lastGrid (at
// least one), and every value it gives is finite: an impedance's magnitude
// above 0 wherever the curve is held.

#include <cmath>
#include <string>

#include "fuzz_support.h"
#include "setup/meas_setup.h"
#include "store/curve_import.h"

namespace {

constexpr const char* kFileName = "curve.frd";

fuzz::ScratchDir& scratch() {
  static fuzz::ScratchDir dir;
  return dir;
}

const RealCurve& grid() {
  static const RealCurve g = [] {
    RealCurve c{};
    for (int i = 0; i < kGridPoints; ++i) c[i] = gridFrequency(i);
    return c;
  }();
  return g;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool impedance = size > 0 && (data[0] & 1) != 0;
  scratch().write(kFileName, data, size);
  const std::string path = scratch().path() + kFileName;

  ComplexCurve response;
  response.fill(Complex(7.0, -7.0));
  GridMask held;
  held.set(3);
  const CurveFileRead read = readCurveFile(path, impedance, grid(), response, held);

  if (read.result != CurveFileResult::loaded) {
    FUZZ_CHECK(!curveRefusalText(read).empty());
    for (const Complex& c : response) FUZZ_CHECK(c.re == 7.0 && c.im == -7.0);
    FUZZ_CHECK(held.count() == 1 && held.test(3));
    if (read.result == CurveFileResult::notAscending) FUZZ_CHECK(read.descendingLine > 0);
    return 0;
  }

  FUZZ_CHECK(curveRefusalText(read).empty());
  FUZZ_CHECK(!curveLoadedText(read).empty());
  FUZZ_CHECK(read.points >= 2 && read.skipped >= 0 && read.descendingLine == 0);
  FUZZ_CHECK(std::isfinite(read.firstHz) && std::isfinite(read.lastHz));
  FUZZ_CHECK(0.0 < read.firstHz && read.firstHz < read.lastHz);
  FUZZ_CHECK(0 <= read.firstGrid && read.firstGrid <= read.lastGrid && read.lastGrid < kGridPoints);
  for (int i = 0; i < kGridPoints; ++i) {
    FUZZ_CHECK(held.test(static_cast<size_t>(i)) == (read.firstGrid <= i && i <= read.lastGrid));
    const Complex& c = response[i];
    FUZZ_CHECK(std::isfinite(c.re) && std::isfinite(c.im));
    if (impedance && held.test(static_cast<size_t>(i))) FUZZ_CHECK(std::hypot(c.re, c.im) > 0.0);
  }
  return 0;
}
