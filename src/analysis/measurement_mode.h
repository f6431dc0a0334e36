#pragma once
// Switching between SPL and impedance measurement, and the impedance graph's
// range choice: what the window's handlers do to the program state. The
// window reads its controls, calls these, then applies the result to its
// widgets and redraws.

#include <cstdint>

#include "analysis/merge_setup.h"
#include "setup/meas_setup.h"

// How the arrow keys of a numeric entry change its value.
enum class GainStepMode : uint8_t {
  add,       // add or subtract the step (gains in dB)
  multiply,  // multiply or divide by the step (gains as factors)
};

// The set-up of the two merge gain entries ("Scaling of current graph",
// "Scaling of stored graph") for one measurement mode, and the fields of
// mergeSetup they edit. Both entries share format, limits and steps.
struct GainEntrySetup {
  const char* format = nullptr;
  double minValue = 0.0;
  double maxValue = 0.0;
  double step = 0.0;      // arrow keys
  double ctrlStep = 0.0;  // arrow keys with Ctrl
  GainStepMode stepMode = GainStepMode::add;
  double* lowerRef = nullptr;  // edited by the lower (current graph) entry
  double* upperRef = nullptr;  // edited by the upper (stored graph) entry
};

// SPL mode: gains in dB, "%2.1f", -200..200, steps 0.2 and 10 added, bound to
// lowerGainDb / upperGainDb. Impedance mode: plain factors, "%2.3f",
// 0.001..100, steps 1.05 and 1.2 multiplied, bound to lowerGain / upperGain.
// The pointers point into merge, which must outlive their use.
GainEntrySetup mergeGainEntrySetup(MergeSetup& merge, bool impedance);

// The change of either range list of the impedance graph, with the item
// indices of both lists (-1: typed text that is no item). A valid index sets
// zMin or zMax from its table; an index outside the table counts as -1.
// Returns true when the graph must be redrawn (either index valid).
bool chooseImpedanceRange(MeasSetup& setup, int minIndex, int maxIndex);
