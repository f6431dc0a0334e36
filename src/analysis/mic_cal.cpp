#include "analysis/mic_cal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "setup/curve_text.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLevelLimitDb = 200.0;

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

// The data points of a microphone file in file order, each one checked to
// lie above the one before. Counts the usable ones: those whose frequency (by
// its logarithm, as the interpolation uses it) lies above every point before
// them.
class MicPointReader {
 public:
  explicit MicPointReader(CurveTextReader& text) : text_(text) {}

  // The next data point above `above` Hz whose log frequency lnF is also
  // above aboveLn; false at the end of the file or at a point that does not
  // ascend. Lines on the way are dropped, and so is a point whose frequency
  // differs from the one before it by less than its logarithm can tell.
  bool nextAbove(double above, double aboveLn, MicPoint& point, double& lnF) {
    while (next(point)) {
      lnF = std::log(point.freq);
      count(lnF);
      if (point.freq > above && lnF > aboveLn) return true;
    }
    return false;
  }

  // Reads the rest of the file, so that every point is counted and checked.
  void drain() {
    MicPoint point;
    while (next(point)) count(std::log(point.freq));
  }

  int usable() const { return usable_; }
  long points() const { return points_; }
  double firstHz() const { return firstHz_; }
  double lastHz() const { return lastHz_; }
  long descendingLine() const { return descendingLine_; }

 private:
  bool next(MicPoint& point) {
    if (descendingLine_ != 0) return false;
    TextFields fields;
    while (text_.nextData(fields)) {
      point = micPointFrom(fields);
      if (point.freq == 0.0) continue;
      if (points_ > 0 && !(point.freq > lastHz_)) {
        descendingLine_ = text_.lineNumber();
        return false;
      }
      if (points_ == 0) firstHz_ = point.freq;
      lastHz_ = point.freq;
      ++points_;
      return true;
    }
    return false;
  }

  void count(double lnF) {
    if (lnF > topLn_) {
      topLn_ = lnF;
      ++usable_;
    }
  }

  CurveTextReader& text_;
  int usable_ = 0;
  double topLn_ = -HUGE_VAL;
  long points_ = 0;
  double firstHz_ = 0.0;
  double lastHz_ = 0.0;
  long descendingLine_ = 0;
};

}  // namespace

MicPoint micPointFrom(const TextFields& fields) {
  MicPoint point;
  const double freq = fields.value[0];
  const double phase = fields.value[2] * kPi / 180.0;
  // A frequency that is not a positive number has no place on a log scale;
  // a phase beyond the range of a double cannot be unwrapped.
  if (!(freq > 0.0) || !std::isfinite(freq) || !std::isfinite(phase)) return point;
  point.freq = freq;
  point.levelDb = std::fmin(std::fmax(fields.value[1], -kLevelLimitDb), kLevelLimitDb);
  point.phaseRad = phase;
  return point;
}

MicPoint parseMicLine(const char* text) {
  return micPointFrom(splitFields(text, text + std::strlen(text), FieldSplit::whitespace));
}

bool readMicLine(std::FILE* file, MicPoint& point) {
  char line[kMicLineCapacity];
  if (std::fgets(line, sizeof line, file) == nullptr) return false;
  point = parseMicLine(line);
  return true;
}

MicFileResult readMicCalFile(const char* path, const RealCurve& freqGrid, ComplexCurve& micCal,
                            MicFileInfo* info) {
  CurveTextReader text(path);
  if (!text.isOpen()) return MicFileResult::cannotOpen;

  // The curve is built aside: a file that is refused leaves micCal whole.
  ComplexCurve curve;
  MicPointReader reader(text);
  MicPoint point;
  double lnF = 0.0;
  int i = 0;
  if (reader.nextAbove(0.0, -HUGE_VAL, point, lnF)) {
    // Below the first data point the grid takes its value.
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
  }
  reader.drain();

  if (info != nullptr) {
    info->points = reader.points();
    info->firstHz = reader.firstHz();
    info->lastHz = reader.lastHz();
    info->descendingLine = reader.descendingLine();
    info->sensitivity = text.sensitivity();
  }
  if (reader.descendingLine() != 0) return MicFileResult::notAscending;
  if (reader.usable() < 2) return MicFileResult::tooFewPoints;
  if (i == 0) return MicFileResult::belowGrid;
  for (int j = i; j < kGridPoints; ++j) curve[j] = curve[i - 1];
  micCal = curve;
  return MicFileResult::loaded;
}

std::string micNotAscendingText(long line) {
  return notAscendingText(line) + "\nThe microphone calibration was not changed.";
}

std::string micLoadedText(const MicFileInfo& info) {
  std::string text = "Read " + describePoints(info.points, info.firstHz, info.lastHz) + ".";
  if (info.sensitivity.found) text += std::string("\nSensitivity: ") + info.sensitivity.text;
  return text;
}
