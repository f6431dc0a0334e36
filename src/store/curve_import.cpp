#include "store/curve_import.h"

#include <cmath>
#include <cstdio>

#include "setup/curve_text.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// A grid point this close (relatively) outside the file's first or last
// frequency counts as inside: a file that wrote the grid frequencies with
// four decimals rounded them by up to 1e-5 of their value at 5 Hz. The grid's
// own steps are 0.9 %, so no further point is taken in.
constexpr double kEdgeTolerance = 2e-5;
// Beyond this a level is no level: 10^(level/20) would not fit a double.
constexpr double kLevelLimitDb = 1000.0;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool hasExtension(const std::string& path, const char* ext) {
  const std::string e(ext);
  if (path.size() < e.size()) return false;
  for (size_t i = 0; i < e.size(); ++i)
    if (lower(path[path.size() - e.size() + i]) != e[i]) return false;
  return true;
}

// One usable point of the file, in the terms the interpolation uses.
struct CurvePoint {
  double freq = 0.0;
  double lnFreq = 0.0;
  double levelDb = 0.0;   // for an impedance 20 log10 |Z|
  double phaseDeg = 0.0;  // unwrapped along the file
};

// The point a data line gives, false when the line is not usable.
bool usablePoint(const TextFields& f, bool impedance, CurvePoint& p) {
  if (f.count < 2 || !f.numeric[0] || !f.numeric[1]) return false;
  if (f.count >= 3 && !f.numeric[2]) return false;
  const double freq = f.value[0];
  const double value = f.value[1];
  const double phase = f.count >= 3 ? f.value[2] : 0.0;
  if (!(freq > 0.0) || !std::isfinite(freq) || !std::isfinite(value) || !std::isfinite(phase)) return false;
  double level = value;
  if (impedance) {
    if (!(value > 0.0)) return false;
    level = 20.0 * std::log10(value);
  }
  if (std::fabs(level) > kLevelLimitDb) return false;
  p.freq = freq;
  p.lnFreq = std::log(freq);
  p.levelDb = level;
  // An angle of any size: taken within one turn, so that unwrapping and
  // turning it into radians stay finite (a phase of 1e308 degrees is not
  // infinite in radians).
  p.phaseDeg = std::fmod(phase, 360.0);
  return true;
}

Complex fromLevelPhase(double levelDb, double phaseDeg) {
  const double mag = std::pow(10.0, 0.05 * levelDb);
  const double rad = phaseDeg * kPi / 180.0;
  return {mag * std::cos(rad), mag * std::sin(rad)};
}

}  // namespace

CurveFileRead readCurveFile(const std::string& path, bool impedance, const RealCurve& freqGrid,
                            ComplexCurve& response, GridMask& held) {
  CurveFileRead read;
  CurveTextReader text(path);
  if (!text.isOpen()) return read;

  // The curve is built aside: a refused file leaves the slot as it was.
  ComplexCurve curve{};
  CurvePoint a, b;
  int g = 0;  // the next grid point to fill
  TextFields fields;
  while (text.nextData(fields)) {
    if (!usablePoint(fields, impedance, b)) {
      ++read.skipped;
      continue;
    }
    if (read.points == 0) {
      read.firstHz = b.freq;
      while (g < kGridPoints && freqGrid[g] < b.freq * (1.0 - kEdgeTolerance)) ++g;
      read.firstGrid = g;
    } else {
      if (!(b.freq > a.freq)) {
        read.descendingLine = text.lineNumber();
        read.result = CurveFileResult::notAscending;
        return read;
      }
      // The phase follows the shorter way round from the point before.
      b.phaseDeg -= 360.0 * std::round((b.phaseDeg - a.phaseDeg) / 360.0);
      const double span = b.lnFreq - a.lnFreq;
      for (; g < kGridPoints && freqGrid[g] <= b.freq; ++g) {
        // Two frequencies closer than their logarithms tell give the later.
        double t = span > 0.0 ? (std::log(freqGrid[g]) - a.lnFreq) / span : 1.0;
        t = std::fmin(std::fmax(t, 0.0), 1.0);
        curve[g] = fromLevelPhase((1.0 - t) * a.levelDb + t * b.levelDb,
                                  (1.0 - t) * a.phaseDeg + t * b.phaseDeg);
      }
    }
    a = b;
    read.lastHz = b.freq;
    ++read.points;
  }
  read.skipped += text.longLines();
  // The last point also serves a grid point within rounding above it.
  if (read.points >= 2) {
    const Complex last = fromLevelPhase(a.levelDb, a.phaseDeg);
    for (; g < kGridPoints && freqGrid[g] <= a.freq * (1.0 + kEdgeTolerance); ++g) curve[g] = last;
  }

  read.lastGrid = g - 1;
  if (read.points < 2) {
    read.result = CurveFileResult::tooFewPoints;
    return read;
  }
  if (read.lastGrid < read.firstGrid) {
    read.result = CurveFileResult::offGrid;
    return read;
  }
  for (int j = 0; j < read.firstGrid; ++j) curve[j] = curve[read.firstGrid];
  for (int j = read.lastGrid + 1; j < kGridPoints; ++j) curve[j] = curve[read.lastGrid];
  held.reset();
  for (int j = read.firstGrid; j <= read.lastGrid; ++j) held.set(static_cast<size_t>(j));
  response = curve;
  read.result = CurveFileResult::loaded;
  return read;
}

bool curveFileIsImpedance(const std::string& path, bool currentModeImpedance) {
  if (hasExtension(path, ".zma")) return true;
  if (hasExtension(path, ".frd")) return false;
  return currentModeImpedance;
}

std::string curveRefusalText(const CurveFileRead& read) {
  switch (read.result) {
    case CurveFileResult::cannotOpen: return "Could not open file.\nCheck if path and filename is correct.";
    case CurveFileResult::notAscending: return notAscendingText(read.descendingLine);
    case CurveFileResult::tooFewPoints: return "The file holds fewer than two usable points.";
    case CurveFileResult::offGrid:
      return "The file's points (" + describePoints(read.points, read.firstHz, read.lastHz) +
             ") cover no frequency of the graph's grid (5 Hz to 50 kHz).";
    case CurveFileResult::loaded: break;
  }
  return "";
}

std::string curveLoadedText(const CurveFileRead& read) {
  std::string text = "Read " + describePoints(read.points, read.firstHz, read.lastHz) + ".";
  if (read.skipped > 0) {
    char note[96];
    std::snprintf(note, sizeof note, "\n%ld data line%s not usable and passed over.", read.skipped,
                  read.skipped == 1 ? " was" : "s were");
    text += note;
  }
  return text;
}

std::string curveFileTitle(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
