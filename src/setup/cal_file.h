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

#include "base/grid_curve.h"
#include "setup/soundcard_cal.h"

inline constexpr const char* kCalFileName = "sonrake.cal";
inline constexpr int16_t kCalFileVersion = 93;
inline constexpr size_t kCalTableOffset = 2;
inline constexpr size_t kCalFlagsOffset = 2816002;
inline constexpr size_t kCalMicOffset = 2816090;
inline constexpr size_t kCalFileSize = 2832090;

inline constexpr const char* kCalBackupFileName = "sonrake.cal.bak";

enum class CalFileRead : uint8_t {
  missing,             // no calibration file (or not a regular file): nothing changed
  loaded,              // the table came from the file
  refused,             // the file and its backup were both unusable: nothing changed
  restoredFromBackup,  // the file was unusable; the table came from its backup
};

// What the user is told once when the calibration came from the backup.
inline constexpr const char* kCalRestoredCaption = "Sound card calibration";
inline constexpr const char* kCalRestoredText =
    "The calibration file sonrake.cal could not be read.\n"
    "The sound card calibration was restored from sonrake.cal.bak.";

// Reads dataDir + "sonrake.cal" into cal (table and flags) and, from
// version 93 on, micCal. The table with its flags is taken whole or
// not at all: a version below 91, a file shorter than its version's layout,
// a flag byte other than 0 or 1, or a non-finite point in the table changes
// nothing of it. The microphone curve is taken on its own when it is there
// and finite throughout, so a damaged curve never costs the table. Bytes
// beyond the layout are ignored. When the file is there but its table cannot
// be taken, the same is tried with dataDir + "sonrake.cal.bak".
CalFileRead readCalFile(SoundcardCal& cal, ComplexCurve& micCal, const std::string& dataDir);

// Writes cal and micCal as a version-93 file of kCalFileSize
// bytes to dataDir + "sonrake.cal", replacing the old file only once the new
// one is complete. An old file whose table is readable is first kept as
// "sonrake.cal.bak" (one generation, replaced the same way). Nothing is
// written that readCalFile would refuse: a mode, rate and length whose table
// holds a non-finite point is written as uncalibrated (every point (1, 0),
// flag false), a microphone curve with a non-finite point as zeros. Returns
// false, leaving any old file intact, when it cannot be written.
bool writeCalFile(const SoundcardCal& cal, const ComplexCurve& micCal, const std::string& dataDir);
