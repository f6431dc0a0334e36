#pragma once
// The eight memory slots: a store copies the live result with the few
// settings needed to show it again into a slot record, a recall makes a slot
// the live result. Slots keep no impulse response and live in memory only.

#include "analysis/measurement_mode.h"
#include "setup/meas_setup.h"

struct AppState;

inline constexpr int kStoreSlots = 8;  // slots 1..8 have buttons and list items

// Copies invertPolarity, showChannel, impedanceMode, autoscaleOffset,
// response and title from src to dst; the title as a terminated string, cut
// to 199 characters. Every other field of dst is left as it was.
void copySlotFields(const MeasSetup& src, MeasSetup& dst);

// Copies the live result into slot n (1..8) and marks the slot stored
// (hasResponse). Returns false, changing nothing, when no measured response
// exists (responseValid clear) or n is out of range.
bool storeSlot(AppState& state, int n);

// Makes slot n (1..8) the live result: copies its fields into the live
// record, clears the live hasResponse (no impulse response goes with it) and
// sets measurementShown; responseValid is left alone. The merge gains are
// brought in line with the recalled type, as a change of the SPL / Z page
// does. Returns false, changing nothing, for n out of range or a slot never
// stored. On success gains receives the set-up of both merge gain entries.
bool recallSlot(AppState& state, int n, GainEntrySetup& gains);

// The title of slot n (1..8), or nullptr when n is out of range or the slot's
// title is empty (the buttons' hints then stay as they are).
const char* slotHintTitle(const AppState& state, int n);
