#pragma once
// A curve file read into a memory slot: FRD, ZMA and the text files the
// common tools write (see CurveTextReader for the lines it takes), put onto
// the program's frequency grid.

#include <cstdint>
#include <string>

#include "analysis/curves.h"
#include "setup/meas_setup.h"

// The file types the curve load's open dialog offers; the first is chosen.
inline constexpr const char* kCurveFileFilter =
    "Curve files (*.frd;*.zma;*.txt;*.csv)|*.FRD;*.ZMA;*.TXT;*.CSV|All files (*.*)|*.*";

enum class CurveFileResult : uint8_t {
  cannotOpen,    // no such regular file, or it cannot be opened
  notAscending,  // a usable point's frequency is not above the one before it
  tooFewPoints,  // fewer than two usable points
  offGrid,       // the points cover no grid frequency
  loaded,
};

struct CurveFileRead {
  CurveFileResult result = CurveFileResult::cannotOpen;
  long points = 0;          // usable points read (up to a refusal)
  double firstHz = 0.0;     // the first and the last of them
  double lastHz = 0.0;
  long skipped = 0;         // data lines that were not usable, long lines included
  long descendingLine = 0;  // line of the point that does not ascend; 0 for none
  int firstGrid = 0;        // the grid points the curve holds: firstGrid .. lastGrid
  int lastGrid = -1;
};

// Reads the file at path as a curve of the given kind onto freqGrid. A usable
// point is a data line with at least two numbers: a frequency above 0, a
// level in dB (impedance: a magnitude in ohm above 0) and, when a third
// column is there, a phase in degrees (else 0); all finite. Further columns
// are ignored; data lines that are not usable are passed over. Between the
// first and the last point each grid point is interpolated linearly in log
// frequency from the two points around it: the level in dB (for an
// impedance, 20 log10 |Z|) and the phase unwrapped along the file (each phase
// within half a turn of the one before); a grid point within 2e-5 of its
// value outside the first or last frequency (the rounding of a file that
// wrote the grid with four decimals) takes that point's value. Grid points
// further outside the file's range are absent: held has them cleared and response holds a copy of the nearest
// point held. response and held change only when the result is loaded;
// refused are files with a point whose frequency is not above the one before
// it, with fewer than two usable points, or whose points lie between two grid
// frequencies or outside the grid.
CurveFileRead readCurveFile(const std::string& path, bool impedance, const RealCurve& freqGrid,
                            ComplexCurve& response, GridMask& held);

// Whether a file name asks to be read as an impedance (".zma", case
// ignored), an SPL response (".frd") or as the current mode says (others).
bool curveFileIsImpedance(const std::string& path, bool currentModeImpedance);

// What the load says of a refused file (the caller adds its caption); ""
// for a loaded one.
std::string curveRefusalText(const CurveFileRead& read);
// What it says of a loaded file: the points and their range, the grid
// points it fills.
std::string curveLoadedText(const CurveFileRead& read);

// The file name without its folder, for the slot title.
std::string curveFileTitle(const std::string& path);
