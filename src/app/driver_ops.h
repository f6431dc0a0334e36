#pragma once
// The driver parameters on the program state: what the parameter panel
// asks for (Re (DC), the method of the second curve, its inputs and slot,
// the model drawn or not), the fit of the shown impedance curve and of the
// second one, and the fitted model's curve for the impedance graph.

#include <cstdint>

#include "analysis/driver_params.h"

struct AppState;
struct MeasSetup;

// The panel's inputs. They are kept for the session, not in sonrake.cfg.
struct DriverInputs {
  double reDcOhm = 0.0;      // Re measured with a meter; 0: the fitted Re
  MechanicalInputs mech;     // method, added mass, Sd, box volume
  int32_t secondSlot = 0;    // the slot of the second curve, 0..7 for 1..8
  bool showModel = false;    // the fitted model drawn over the measured curve
};

// The grid points [first, end) of a record that a fit uses: those inside its
// shown range (freqLow .. freqHigh) and, when responseRate is set, below half
// of it, and that the record holds (a curve read from a file holds only its
// file's range). first == end when there is none.
struct GridSpan {
  int first = 0;
  int end = 0;
};
GridSpan fitSpan(const MeasSetup& record);

// Works out state.driverParams from the live record when state.driverCurve
// says it holds an impedance curve (else status noCurve), with the second
// curve from slots[secondSlot] when a method is chosen (a slot that holds no
// impedance curve gives mechStatus noCurve), and fills curves.zModel: |Z| of
// the fitted model over the fit's band when showModel is set and the fit is
// ok, NaN (nothing drawn) elsewhere. Allocates nothing.
void updateDriverParams(AppState& state);

// The one line the panel shows under the values: why the first curve gave
// nothing, else why the second gave nothing (when a method is chosen), else
// "". Never a number.
const char* driverParamsMessage(const AppState& state);
