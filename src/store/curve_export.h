#pragma once
// The curve files other programs read: FRD (frequency, level, phase) and
// ZMA (frequency, impedance, phase) with a '*' comment header, and CSV for
// spreadsheets. The plain text export stays in text_export.h.

#include <cstdint>
#include <string>

#include "analysis/curves.h"
#include "setup/meas_setup.h"

inline constexpr const char* kProgramVersion = "1.00";

enum class ExportFormat : uint8_t { text, frd, csv };

// The format a file name asks for by its extension, case ignored: ".frd"
// and ".zma" FRD-style, ".csv" CSV, anything else the plain text export.
ExportFormat exportFormatForPath(const std::string& path);

// What the comment header says beyond the settings record.
struct ExportHeader {
  std::string date;                  // "2024-05-01 12:00:00"; empty: not stated
  bool soundcardCalibrated = false;  // the sound card calibration was applied
  std::string micFile;               // microphone file applied; empty: none
  bool unsmoothed = false;           // the curves are the unsmoothed ones
};

// A number as the curve files write it: four decimals, a point, and never
// "-0.0000" (a value that rounds to zero is written "0.0000").
std::string curveNumber(double value);

// An FRD-style file, LF line ends: the '*' comment lines (program and
// version, date, title, mode, rate, MLS length, window, smoothing, sound card
// calibration, microphone file, the column names; "none" for what a curve
// read from a file does not say), then for every grid point
// that exportsGridPoint, in ascending order, frequency, level in dB (SPL
// mode) or |Z| in ohm (impedance mode) and phase in degrees of curve 0,
// tab-separated, each with curveNumber. A point whose values are not all
// finite is left out.
std::string exportFrd(const MeasSetup& setup, const DisplayCurves& curves, const ExportHeader& header);

// The same points as a CSV file: one header row, commas, LF line ends.
std::string exportCsv(const MeasSetup& setup, const DisplayCurves& curves);

// The text of the file at path: exportFrd, exportCsv or exportText by
// exportFormatForPath.
std::string exportFileText(const std::string& path, const MeasSetup& setup, const DisplayCurves& curves,
                           const ExportHeader& header);
