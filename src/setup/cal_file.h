#pragma once
// The calibration file "sonrake.cal": the sound card calibration table, its
// flags and the microphone calibration curve, in a fixed little-endian layout.
//
//   offset        size  content
//   0                2  int16 version (written as 93)
//   2          2816000  Complex[176000] table: mode 0..1, rate index 0..10,
//                       MLS index 0..3, channel 0..1, 1000 grid points
//   2816002         88  bool[88] calibratedFlags, (mode*11 + rate)*4 + MLS index
//   2816090      16000  Complex[1000] micCal
//
// Versions below 91 carry nothing after the version; 91 and 92 carry the
// table and the flags; 93 and later add micCal. There is no end marker.

#include <cstddef>
#include <cstdint>
#include <string>

struct AppState;

inline constexpr const char* kCalFileName = "sonrake.cal";
inline constexpr int16_t kCalFileVersion = 93;
inline constexpr size_t kCalTableOffset = 2;
inline constexpr size_t kCalFlagsOffset = 2816002;
inline constexpr size_t kCalMicOffset = 2816090;
inline constexpr size_t kCalFileSize = 2832090;

// Reads dataDir + "sonrake.cal" into s.soundcardCal (table and flags) and,
// from version 93 on, s.micCal. All or nothing: a missing file, a version
// below 91, a file shorter than its version's layout, a flag byte other than
// 0 or 1, or a non-finite number anywhere changes nothing. Bytes beyond the
// layout are ignored. Returns true when the table was taken from the file.
bool readCalFile(AppState& s, const std::string& dataDir);

// Writes s.soundcardCal and s.micCal as a version-93 file of kCalFileSize
// bytes to dataDir + "sonrake.cal", replacing the old file only once the new
// one is complete. Returns false, leaving any old file intact, when it cannot
// be written.
bool writeCalFile(const AppState& s, const std::string& dataDir);
