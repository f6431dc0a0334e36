#include "analysis/mic_cal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "setup/file_io.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLevelLimitDb = 200.0;

bool isSeparator(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The value of the number at the start of a field: optional sign, digits,
// decimal point, exponent. No such number reads as 0. Words that the C
// library would take for numbers (nan, inf, hexadecimal) are not numbers here.
double fieldValue(const char* p, const char* end) {
  const char* q = p;
  if (q < end && (*q == '+' || *q == '-')) ++q;
  int digits = 0;
  while (q < end && isDigit(*q)) ++q, ++digits;
  if (q < end && *q == '.') {
    ++q;
    while (q < end && isDigit(*q)) ++q, ++digits;
  }
  if (digits == 0) return 0.0;
  if (q < end && (*q == 'e' || *q == 'E')) {
    const char* e = q + 1;
    if (e < end && (*e == '+' || *e == '-')) ++e;
    if (e < end && isDigit(*e)) {
      while (e < end && isDigit(*e)) ++e;
      q = e;
    }
  }
  char number[kMicLineCapacity];
  const size_t n = static_cast<size_t>(q - p);
  std::memcpy(number, p, n);
  number[n] = '\0';
  return std::strtod(number, nullptr);
}

// Brings ph within half a turn of ref by whole turns: into [ref - pi, ref + pi].
double unwrapAgainst(double ph, double ref) {
  const double d = ph - ref;
  if (d > kPi) return ph - 2.0 * kPi * std::ceil((d - kPi) / (2.0 * kPi));
  if (d < -kPi) return ph + 2.0 * kPi * std::ceil((-kPi - d) / (2.0 * kPi));
  return ph;
}

Complex fromLevelPhase(double levelDb, double phaseRad) {
  const double mag = std::pow(10.0, 0.05 * levelDb);
  return {mag * std::cos(phaseRad), mag * std::sin(phaseRad)};
}

// The data points of a microphone file in file order. Counts the usable
// ones: those whose frequency (by its logarithm, as the interpolation uses
// it) lies above every point before them.
class MicPointReader {
 public:
  explicit MicPointReader(std::FILE* file) : file_(file) {}

  // The next data point above `above` Hz whose log frequency lnF is also
  // above aboveLn; false at the end of the file. Lines on the way are
  // dropped, and so is a point whose frequency differs from the one before
  // it by less than its logarithm can tell.
  bool nextAbove(double above, double aboveLn, MicPoint& point, double& lnF) {
    while (readMicLine(file_, point)) {
      if (point.freq == 0.0) continue;
      lnF = std::log(point.freq);
      count(lnF);
      if (point.freq > above && lnF > aboveLn) return true;
    }
    return false;
  }

  // Reads on until two usable points have been seen or the file ends.
  void countUpToTwo() {
    MicPoint point;
    while (usable_ < 2 && readMicLine(file_, point))
      if (point.freq != 0.0) count(std::log(point.freq));
  }

  int usable() const { return usable_; }

 private:
  void count(double lnF) {
    if (lnF > topLn_) {
      topLn_ = lnF;
      ++usable_;
    }
  }

  std::FILE* file_;
  int usable_ = 0;
  double topLn_ = -HUGE_VAL;
};

}  // namespace

MicPoint parseMicLine(const char* text) {
  double values[3] = {0.0, 0.0, 0.0};
  const char* p = text;
  const char* end = text + std::strlen(text);
  for (double& v : values) {
    while (p < end && isSeparator(*p)) ++p;
    if (p == end) break;
    const char* fieldEnd = p;
    while (fieldEnd < end && !isSeparator(*fieldEnd)) ++fieldEnd;
    v = fieldValue(p, fieldEnd);
    p = fieldEnd;
  }

  MicPoint point;
  const double freq = values[0];
  const double phase = values[2] * kPi / 180.0;
  // A frequency that is not a positive number has no place on a log scale;
  // a phase beyond the range of a double cannot be unwrapped.
  if (!(freq > 0.0) || !std::isfinite(freq) || !std::isfinite(phase)) return point;
  point.freq = freq;
  point.levelDb = std::fmin(std::fmax(values[1], -kLevelLimitDb), kLevelLimitDb);
  point.phaseRad = phase;
  return point;
}

bool readMicLine(std::FILE* file, MicPoint& point) {
  char line[kMicLineCapacity];
  if (std::fgets(line, sizeof line, file) == nullptr) return false;
  point = parseMicLine(line);
  return true;
}

MicFileResult readMicCalFile(const char* path, const RealCurve& freqGrid, ComplexCurve& micCal) {
  const int fd = openRegularFile(path);
  if (fd < 0) return MicFileResult::cannotOpen;
  std::FILE* file = ::fdopen(fd, "r");
  if (file == nullptr) {
    ::close(fd);
    return MicFileResult::cannotOpen;
  }

  // The curve is built aside: a file that is refused leaves micCal whole.
  ComplexCurve curve;
  MicPointReader reader(file);
  MicPoint point;
  double lnF = 0.0;
  if (!reader.nextAbove(0.0, -HUGE_VAL, point, lnF)) {
    std::fclose(file);
    return MicFileResult::tooFewPoints;
  }

  // Below the first data point the grid takes its value.
  int i = 0;
  const Complex first = fromLevelPhase(point.levelDb, point.phaseRad);
  while (i < kGridPoints && point.freq > freqGrid[i]) curve[i++] = first;

  double prevLn = lnF;
  double prevLevel = point.levelDb;
  double prevPh = point.phaseRad;
  while (i < kGridPoints) {
    const double g = freqGrid[i];
    if (point.freq <= g) {
      // Move on to the first data point above this grid point; the one
      // passed last becomes the lower end of the interval.
      prevLn = lnF;
      prevLevel = point.levelDb;
      prevPh = point.phaseRad;
      if (!reader.nextAbove(g, prevLn, point, lnF)) break;
      point.phaseRad = unwrapAgainst(point.phaseRad, prevPh);
    }
    // prevLn <= ln g <= lnF and prevLn < lnF: t lies in 0..1.
    const double t = (std::log(g) - prevLn) / (lnF - prevLn);
    const double level = (1.0 - t) * prevLevel + t * point.levelDb;
    // Phases of different sign are not blended: near 0 they would cancel.
    double ph;
    if (prevPh * point.phaseRad > 0.0) {
      ph = (1.0 - t) * prevPh + t * point.phaseRad;
    } else {
      ph = t < 0.5 ? prevPh : point.phaseRad;
    }
    curve[i++] = fromLevelPhase(level, ph);
  }
  reader.countUpToTwo();
  std::fclose(file);

  if (reader.usable() < 2) return MicFileResult::tooFewPoints;
  if (i == 0) return MicFileResult::belowGrid;
  for (int j = i; j < kGridPoints; ++j) curve[j] = curve[i - 1];
  micCal = curve;
  return MicFileResult::loaded;
}
