#pragma once
// The microphone calibration: a text file of frequency, level and phase per
// line, read and interpolated onto the frequency grid as the curve the SPL
// display divides by.

#include <cstdint>
#include <cstdio>
#include <string>

#include "analysis/curves.h"
#include "setup/curve_text.h"

// A line is read in pieces of at most this many characters less one; the
// rest of a longer line comes as the following lines.
inline constexpr int kMicLineCapacity = 200;

// One line of the file. freq is 0 when the line carries no data point.
struct MicPoint {
  double freq = 0.0;      // Hz
  double levelDb = 0.0;   // limited to -200..200
  double phaseRad = 0.0;  // radians
};

// The data point of a line's fields: the frequency (field 1), the level
// limited to -200..200 dB (field 2) and the phase turned from degrees into
// radians (field 3); a missing field or one that is no number reads as 0. A
// frequency that is not above 0 or does not fit a double, or a phase that
// does not fit a double, is no data point (freq 0).
MicPoint micPointFrom(const TextFields& fields);

// Parses the text of one line: up to three fields separated by spaces or
// tabs, each read from its leading number (sign, digits, point, exponent;
// anything else reads as 0, so does a missing field). The level is limited
// to -200..200 dB and the phase turned from degrees into radians. A line
// whose frequency is not above 0 or does not fit a double, or whose phase
// does not fit a double, is no data point (freq 0).
MicPoint parseMicLine(const char* text);

// Reads the next line (or piece of a long line) of file into point. Returns
// false, point undefined, when no further line could be read.
bool readMicLine(std::FILE* file, MicPoint& point);

enum class MicFileResult : uint8_t {
  cannotOpen,    // no such regular file, or it cannot be opened
  notAscending,  // a data point's frequency is not above the one before it
  tooFewPoints,  // fewer than two usable data points
  belowGrid,     // no data point above the lowest grid frequency
  loaded,
};

// What a microphone file held, for the import's report.
struct MicFileInfo {
  long points = 0;          // data points read (up to a refusal)
  double firstHz = 0.0;     // the first and the last of them
  double lastHz = 0.0;
  long descendingLine = 0;  // line of the first point that does not ascend; 0 for none
  CurveSensitivity sensitivity;  // as the header states it
};

// Reads the file at path with the tolerant reader (comment and heading lines,
// blanks, commas or semicolons between the columns, 2 or 3 columns: see
// CurveTextReader) and interpolates it onto freqGrid into micCal: linear in
// log frequency for the level in dB; the phase, unwrapped against the point
// before, linearly where both phases have the same sign and else from the
// nearer point. Grid points below the first data point take its value; those
// at or above the last one repeat the last value computed below it. Each grid
// point is interpolated between the first data point above the grid point
// before it and the first one above itself. A data point whose frequency lies
// above the one before it by less than its logarithm can tell is passed over.
// The file is refused, micCal left as it was, when a data point's frequency
// is not above the one before it, or unless it holds at least two usable
// points and one of them lies above the lowest grid frequency. info, when
// given, receives what the file held, refused or not.
MicFileResult readMicCalFile(const char* path, const RealCurve& freqGrid, ComplexCurve& micCal,
                             MicFileInfo* info = nullptr);

// What the import says of a file it refuses.
inline constexpr const char* kMicTooFewPointsText =
    "The file holds fewer than two calibration points.\nThe microphone calibration was not changed.";
inline constexpr const char* kMicBelowGridText =
    "The file holds no calibration point above 5 Hz.\nThe microphone calibration was not changed.";

// The refusal of a file whose frequencies do not ascend, with its line.
std::string micNotAscendingText(long line);
// What the import says of a file it took: how many points, their range, and
// the sensitivity its header states.
std::string micLoadedText(const MicFileInfo& info);
