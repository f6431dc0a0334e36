// The microphone import on any text: the outcome (loaded, too few points,
// none above the grid) is the one the file's points call for, counted here
// with a reader of this target's own; a refused file changes nothing and
// says why; a loaded curve is finite and its levels stay within those of the
// file's points.

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "../core/dialog_recorder.h"
#include "app/app_state.h"
#include "app/mic_import.h"
#include "fuzz_support.h"

namespace {

constexpr const char* kFileName = "mic.txt";

fuzz::ScratchDir& scratch() {
  static fuzz::ScratchDir dir;
  return dir;
}

bool digit(char c) { return c >= '0' && c <= '9'; }

// A field's leading decimal number: [+-] digits [. digits] [e [+-] digits],
// at least one digit before the exponent; 0 when there is none.
double leadingNumber(const std::string& field) {
  size_t q = 0;
  if (q < field.size() && (field[q] == '+' || field[q] == '-')) ++q;
  size_t digits = 0;
  while (q < field.size() && digit(field[q])) ++q, ++digits;
  if (q < field.size() && field[q] == '.') {
    ++q;
    while (q < field.size() && digit(field[q])) ++q, ++digits;
  }
  if (digits == 0) return 0.0;
  if (q < field.size() && (field[q] == 'e' || field[q] == 'E')) {
    size_t e = q + 1;
    if (e < field.size() && (field[e] == '+' || field[e] == '-')) ++e;
    if (e < field.size() && digit(field[e])) {
      while (e < field.size() && digit(field[e])) ++e;
      q = e;
    }
  }
  return std::strtod(field.substr(0, q).c_str(), nullptr);
}

struct Expected {
  int usable = 0;           // points above every point before them
  bool aboveGrid = false;   // a point above the lowest grid frequency
  double minLevelDb = 1e9;  // over every data point
  double maxLevelDb = -1e9;
};

// The file as the import reads it: pieces of at most 199 characters up to
// and including a line end, each cut at a NUL; fields between blanks and
// tabs; frequency, level and phase in degrees.
Expected expect(const uint8_t* data, size_t size, double lowestGridHz) {
  Expected e;
  double topLn = -HUGE_VAL;
  size_t pos = 0;
  while (pos < size) {
    size_t end = pos;
    while (end < size && end - pos < 199 && data[end] != '\n') ++end;
    if (end < size && data[end] == '\n' && end - pos < 199) ++end;
    std::string piece(reinterpret_cast<const char*>(data + pos), end - pos);
    pos = end;
    piece = piece.substr(0, piece.find('\0'));

    double v[3] = {0.0, 0.0, 0.0};
    size_t p = 0;
    for (double& x : v) {
      while (p < piece.size() && (piece[p] == ' ' || piece[p] == '\t')) ++p;
      if (p == piece.size()) break;
      size_t q = p;
      while (q < piece.size() && piece[q] != ' ' && piece[q] != '\t') ++q;
      x = leadingNumber(piece.substr(p, q - p));
      p = q;
    }
    const double phaseRad = v[2] * 3.14159265358979323846 / 180.0;
    if (!(v[0] > 0.0) || !std::isfinite(v[0]) || !std::isfinite(phaseRad)) continue;
    const double level = std::fmin(std::fmax(v[1], -200.0), 200.0);
    e.minLevelDb = std::fmin(e.minLevelDb, level);
    e.maxLevelDb = std::fmax(e.maxLevelDb, level);
    if (v[0] > lowestGridHz) e.aboveGrid = true;
    const double ln = std::log(v[0]);
    if (ln > topLn) {
      topLn = ln;
      ++e.usable;
    }
  }
  return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  scratch().write(kFileName, data, size);
  const std::string path = scratch().path() + kFileName;

  static const auto state = std::make_unique<AppState>();
  AppState& s = *state;
  s.micCal.fill(Complex(3.0, 4.0));
  s.micCalValid = false;
  s.micImportAsk = true;
  std::memset(s.micFileName, 0, sizeof s.micFileName);
  std::strcpy(s.micFileName, "before.txt");
  DialogRecorder dialogs;
  dialogs.fileAnswers.push_back(path);

  const Expected e = expect(data, size, s.setup.freqGrid[0]);
  const MicImport result = importMicCal(s, dialogs);

  if (e.usable < 2 || !e.aboveGrid) {
    FUZZ_CHECK(result == MicImport::failed);
    FUZZ_CHECK(dialogs.boxes.size() == 1);
    FUZZ_CHECK(dialogs.boxes[0].caption == "Mic calibration data");
    FUZZ_CHECK(dialogs.boxes[0].text == (e.usable < 2 ? kMicTooFewPointsText : kMicBelowGridText));
    for (const Complex& c : s.micCal) FUZZ_CHECK(c.re == 3.0 && c.im == 4.0);
    FUZZ_CHECK(!s.micCalValid);
    FUZZ_CHECK(std::strcmp(s.micFileName, "before.txt") == 0);
    return 0;
  }

  FUZZ_CHECK(result == MicImport::loaded);
  FUZZ_CHECK(dialogs.boxes.empty());
  FUZZ_CHECK(s.micCalValid);
  FUZZ_CHECK(path == s.micFileName);
  // Levels are interpolated in dB between points and held beyond the ends,
  // so every magnitude lies between the file's lowest and highest level.
  const double lo = std::pow(10.0, e.minLevelDb / 20.0) * (1 - 1e-9);
  const double hi = std::pow(10.0, e.maxLevelDb / 20.0) * (1 + 1e-9);
  for (const Complex& c : s.micCal) {
    FUZZ_CHECK(std::isfinite(c.re) && std::isfinite(c.im));
    const double mag = std::hypot(c.re, c.im);
    FUZZ_CHECK(mag >= lo && mag <= hi);
  }
  return 0;
}
