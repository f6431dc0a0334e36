#pragma once
// The export of the shown frequency response as a text file: a header line
// and one line of frequency, magnitude and phase per grid point inside the
// shown frequency range that holds a measurement.

#include <cstdint>
#include <string>

#include "analysis/curves.h"

class Dialogs;
struct MeasSetup;

// Whether grid point j is written by the exports: freqLow <= freqGrid[j] <=
// freqHigh, setup.held has it, and, when responseRate is not 0,
// freqGrid[j] < responseRate / 2.
bool exportsGridPoint(const MeasSetup& setup, int j);

// The whole file: the header "%7s \t%8s \t%8s" of Freq, Mag and Phase, then
// for every grid point j that exportsGridPoint, in ascending order,
// "%8.2f \t%8.1f \t%8.1f" of the frequency, the level and the phase of
// curve 0: splMag/splPhase in SPL mode, zMag/zPhase in impedance mode.
// Every line ends in CR LF. Numbers wider than their field are written in
// full. An empty range gives the header alone.
std::string exportText(const MeasSetup& setup, const DisplayCurves& curves);

enum class ExportResult : uint8_t { noMeasurement, cancelled, failed, written };

// The file types the export's save dialog offers; the first is chosen.
inline constexpr const char* kExportFileFilter =
    "Text files (*.txt)|*.TXT|FRD files (*.frd)|*.FRD|ZMA files (*.zma)|*.ZMA|"
    "CSV files (*.csv)|*.CSV|All files (*.*)|*.*";

struct ExportHeader;

// The export as the user starts it: without responseValid a message box
// says that a measurement is needed; otherwise a save dialog chooses the file
// (cancel: nothing happens) and the display curves are written to it in the
// format its name asks for (exportFileText; header, when given, states what
// the comment header of FRD and ZMA files says, else a header without date,
// calibration or microphone is written). The file appears whole or not at all: a file that cannot be
// written leaves what was there before and is reported in a message box
// ("Data export").
ExportResult exportResponse(const MeasSetup& setup, const DisplayCurves& curves, bool responseValid,
                            Dialogs& dialogs, const ExportHeader* header = nullptr);
