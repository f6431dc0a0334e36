#pragma once
// Reading an impedance curve back from the program's own text export (see
// text_export.h): the header line, then frequency, magnitude in ohm and
// phase in degrees per line.

#include <string>
#include <string_view>
#include <vector>

#include "base/complex.h"

struct ImpedanceFile {
  bool ok = false;
  std::string error;          // one line when not ok: what is wrong, and where
  std::vector<double> freqHz;  // ascending
  std::vector<Complex> z;      // ohm, mag e^(j phase)
};

// Parses the text of an export. Lines end in LF or CR LF; blank lines are
// skipped. The first line must be the header (its first word "Freq"); every
// other line must hold exactly three finite numbers with the frequency
// positive and above the line before and the magnitude not negative (an SPL
// export in dB, whose levels may be negative, is refused as "not an
// impedance curve"). At most kMaxImpedanceLines data lines.
inline constexpr size_t kMaxImpedanceLines = 100000;
ImpedanceFile parseImpedanceText(std::string_view text);

// Reads the regular file at path (at most 8 MB) and parses it; a file that
// cannot be read says so in error.
ImpedanceFile readImpedanceFile(const std::string& path);
