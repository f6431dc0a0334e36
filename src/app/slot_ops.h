#pragma once
// Storing the live result in a memory slot and recalling it, on the program
// state.

#include <string>

#include "analysis/measurement_mode.h"
#include "store/curve_import.h"
#include "store/slots.h"

struct AppState;

// Copies the live result into slot n (1..8) and marks the slot stored
// (hasResponse). Returns false, changing nothing, when no measured response
// exists (responseValid clear) or n is out of range.
bool storeSlot(AppState& state, int n);

// Reads the curve file at path into slot n (1..8) with readCurveFile: as an
// impedance for ".zma", as an SPL response for ".frd", else as the live
// record's mode says. A file read whole makes the slot's response and held,
// fromFile set, responseRate 0 (no rate limits it), no inversion, channel 1,
// the live autoscaleOffset, the file's name (without its folder) as the title
// and the slot stored (hasResponse). A refused file, or n out of range
// (result cannotOpen), leaves the slot as it was.
CurveFileRead loadSlotFromFile(AppState& state, int n, const std::string& path);

// Makes slot n (1..8) the live result: copies its fields into the live
// record, clears the live hasResponse (no impulse response goes with it) and
// sets measurementShown; responseValid is left alone, except that a curve
// read from a file sets it (the file is its measurement: it can be stored
// and exported again). The merge gains are
// brought in line with the recalled type, as a change of the SPL / Z page
// does. Returns false, changing nothing, for n out of range or a slot never
// stored. On success gains receives the set-up of both merge gain entries.
bool recallSlot(AppState& state, int n, GainEntrySetup& gains);

// The title of slot n (1..8), or nullptr when n is out of range or the slot's
// title is empty (the buttons' hints then stay as they are).
const char* slotHintTitle(const AppState& state, int n);
