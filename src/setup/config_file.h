#pragma once
// The configuration file "sonrake.cfg": the microphone calibration data and
// the main settings, in a fixed little-endian layout.
//
//   offset  size  content
//   0          2  int16 version (written as 93)
//   2      16000  Complex[1000] micCal
//   16002      1  bool micCalValid
//   16003      1  bool micDataOff
//   16004    260  char[260] microphone data file name, NUL-terminated, zero-filled
//   16264      4  int32 sampleRate        (16264..16323: version 92 and later)
//   16268      4  int32 sRateIndex
//   16272      4  int32 mlsOrder
//   16276      8  double autoscaleOffset
//   16284      8  double levelScale
//   16292      8  double displayRange
//   16300      8  double zMin
//   16308      8  double zMax
//   16316      8  double seriesR
//   16324      2  int16 end marker 12345
//
// Version 13 or less: nothing after the version is used. Versions 14 to 91
// have the end marker right after the file name.

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/grid_curve.h"
#include "setup/meas_setup.h"

// The microphone data file name: at most 259 characters and a NUL.
inline constexpr int kMicFileNameCapacity = 260;

// What the configuration file holds, borrowed from the program state for a
// read (ConfigFields) or a write (ConfigView).
struct ConfigFields {
  MeasSetup& setup;
  ComplexCurve& micCal;
  bool& micCalValid;
  char (&micFileName)[kMicFileNameCapacity];
};
struct ConfigView {
  const MeasSetup& setup;
  const ComplexCurve& micCal;
  bool micCalValid;
  const char (&micFileName)[kMicFileNameCapacity];
};

inline constexpr const char* kConfigFileName = "sonrake.cfg";
inline constexpr int16_t kConfigFileVersion = 93;
inline constexpr int16_t kConfigEndMarker = 12345;
inline constexpr size_t kConfigMicOffset = 2;
inline constexpr size_t kConfigFileNameOffset = 16004;
inline constexpr size_t kConfigSettingsOffset = 16264;
inline constexpr size_t kConfigMarkerOffset = 16324;
inline constexpr size_t kConfigFileSize = 16326;

// Reads dataDir + "sonrake.cfg" into f.
//
// A configuration of version 14 or later sets micCal, micCalValid,
// micDataOff and micFileName, and from version 92 on the stored settings of
// f.setup. A file that is not sound is treated as reset: micCalValid false
// and f.setup back to its defaults. Not sound are: a wrong or missing end
// marker, a file too short for its version, sRateIndex outside 0..10, a table
// rate that does not match sRateIndex, a custom rate outside 1000..200000 Hz,
// mlsOrder outside 12..15, a setting outside the range its control allows
// (autoscaleOffset -100..100, levelScale -200..200, displayRange 5..100,
// zMin and zMax not one of their list values, seriesR 0.1..1000, a non-finite
// value among them), a boolean byte other than 0 or 1, and a file name
// without its NUL. A reset file still leaves micCal as read when its points
// are complete and finite, and the file name as read when complete and
// terminated. A microphone curve with a non-finite point costs only the
// curve: it is not taken and micCalValid is false, the rest is read as usual.
// A missing file, one that is not a regular file, one too short for a
// version, or one of version 13 or less changes nothing of the above.
// Returns true when the configuration was read and accepted whole.
bool readConfigFile(const ConfigFields& f, const std::string& dataDir);

// Writes a version-93 configuration of kConfigFileSize bytes to dataDir +
// "sonrake.cfg" from f.micCal, f.micCalValid, f.micFileName and f.setup,
// replacing the old file only once the new one is complete. A file name
// without a NUL in its 260 bytes is cut to 259 characters. Nothing is written
// that readConfigFile would refuse: a microphone curve with a non-finite
// point is written as zeros with micCalValid false, and each setting outside
// the reader's rules as its default (the rate with its index). Returns false,
// leaving any old file intact, when it cannot be written.
bool writeConfigFile(const ConfigView& f, const std::string& dataDir);
