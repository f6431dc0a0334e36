#pragma once
// What an export of the shown curve writes besides the curve: the header of
// FRD and ZMA files, and the unsmoothed curve when that is asked for.

#include <string>

#include "analysis/curves.h"
#include "store/curve_export.h"

struct AppState;

// The local date and time now, "2024-05-01 12:00:00".
std::string localDateTime();

// The header of an export from the state: the date given, whether the sound
// card calibration of the current mode, rate and length was applied to the
// curve, and the microphone file applied to it (none in impedance mode, with
// "Don't use" ticked, without a calibration, or for a curve read from a file).
ExportHeader exportHeaderFor(const AppState& s, bool unsmoothed, const std::string& date);

// The curves an export writes: the shown ones, or with unsmoothed (and the
// sound card calibration view not shown) the same curves prepared again into
// scratch without the octave or impedance smoothing.
const DisplayCurves& exportCurvesFor(AppState& s, bool unsmoothed, DisplayCurves& scratch);
