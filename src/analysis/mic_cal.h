#pragma once
// The microphone calibration: a text file of frequency, level and phase per
// line, read and interpolated onto the frequency grid as the curve the SPL
// display divides by.

#include <cstdint>
#include <cstdio>

#include "analysis/curves.h"

struct AppState;
class Dialogs;

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

enum class MicFileResult : uint8_t { cannotOpen, noData, loaded };

// Reads the file at path and interpolates it onto freqGrid into micCal:
// linear in log frequency for the level in dB; the phase, unwrapped against
// the point before, linearly where both phases have the same sign and else
// from the nearer point. Grid points below the first data point take its
// value; those at or above the last one repeat the last value computed below
// it. loaded when at least one grid point was computed; otherwise micCal is
// left as it was (noData: no data point below the top of the grid was usable).
MicFileResult readMicCalFile(const char* path, const RealCurve& freqGrid, ComplexCurve& micCal);

enum class MicImport : uint8_t { cancelled, failed, loaded };

// The import as the user starts it: with s.micImportAsk an open dialog
// starting at s.micFileName chooses the file (cancel: nothing changes, result
// cancelled) and becomes the new s.micFileName; without it the file named
// there is read again. Then s.micCalValid is cleared and set again only when
// the file gave data. A file that cannot be opened is reported in a message
// box ("Mic calibration data"); a file without data is failed silently.
MicImport importMicCal(AppState& s, Dialogs& dialogs);
