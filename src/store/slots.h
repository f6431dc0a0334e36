#pragma once
// The eight memory slots: a store copies the live result with the few
// settings needed to show it again into a slot record, a recall makes a slot
// the live result. Slots keep no impulse response and live in memory only.

#include "setup/meas_setup.h"

inline constexpr int kStoreSlots = 8;  // slots 1..8 have buttons and list items

inline bool slotInRange(int n) { return n >= 1 && n <= kStoreSlots; }

// Copies invertPolarity, showChannel, impedanceMode, autoscaleOffset,
// response, responseRate, held, fromFile and title from src to dst; the title as a
// terminated string, cut to 199 characters. Every other field of dst is left as it was.
void copySlotFields(const MeasSetup& src, MeasSetup& dst);
