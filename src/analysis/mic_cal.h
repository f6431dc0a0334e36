#pragma once
// The microphone calibration: a text file of frequency, level and phase per
// line, read and interpolated onto the frequency grid as the curve the SPL
// display divides by.

#include <cstdint>
#include <cstdio>

#include "analysis/curves.h"


// A line is read in pieces of at most this many characters less one; the
// rest of a longer line comes as the following lines.
inline constexpr int kMicLineCapacity = 200;

// One line of the file. freq is 0 when the line carries no data point.
struct MicPoint {
  double freq = 0.0;      // Hz
  double levelDb = 0.0;   // limited to -200..200
  double phaseRad = 0.0;  // radians
};

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
  tooFewPoints,  // fewer than two usable data points
  belowGrid,     // no data point above the lowest grid frequency
  loaded,
};

// Reads the file at path and interpolates it onto freqGrid into micCal:
// linear in log frequency for the level in dB; the phase, unwrapped against
// the point before, linearly where both phases have the same sign and else
// from the nearer point. Grid points below the first data point take its
// value; those at or above the last one repeat the last value computed below
// it. A data point whose frequency is not above the one before it (by its
// logarithm) is passed over. The file is refused, micCal left as it was,
// unless it holds at least two usable points (each above all before it) and
// one of them lies above the lowest grid frequency.
MicFileResult readMicCalFile(const char* path, const RealCurve& freqGrid, ComplexCurve& micCal);

// What the import says of a file it refuses.
inline constexpr const char* kMicTooFewPointsText =
    "The file holds fewer than two calibration points.\nThe microphone calibration was not changed.";
inline constexpr const char* kMicBelowGridText =
    "The file holds no calibration point above 5 Hz.\nThe microphone calibration was not changed.";
