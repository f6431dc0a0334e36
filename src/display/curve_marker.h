#pragma once
// The curve marker of the frequency graph: a point that sits on the live
// curve at the pointer's frequency, and up to two points pinned by clicks,
// the second read against the first. Positions and read-out texts are
// worked out here; the window only paints them.

#include "display/plot_mapping.h"
#include "setup/meas_setup.h"

// The curve a marker sits on: magnitude (dB, or ohm on the impedance axis)
// and phase in degrees on the record's grid, drawn below `end` where `held`
// holds (null: everywhere), as the graph draws it.
struct MarkerCurve {
  const RealCurve* magnitude = nullptr;
  const RealCurve* phase = nullptr;
  const GridMask* held = nullptr;
  int end = 0;
};

// The curve at one frequency.
struct CurveValue {
  bool valid = false;
  double freq = 0.0;       // Hz
  double magnitude = 0.0;  // dB or ohm
  double phase = 0.0;      // degrees, -180 .. 180
};

// The value of the curve at freqHz, on the line the graph draws between the
// two grid points around it: linear in log frequency, in dB on the dB axis
// and in log ohm (geometric) on the impedance axis (impedance set); the
// phase along the shorter way round between the two points, brought back
// into -180 .. 180. A frequency on a grid point reads that point. Invalid
// outside the drawn part of the curve: below the first grid point, from
// end - 1 upward unless exactly on it, next to a point the curve does not
// hold, or where either value is not finite.
CurveValue sampleCurve(const MarkerCurve& curve, const RealCurve& freqGrid, bool impedance,
                       double freqHz);

// Which markers there are: the one that follows the pointer while it is over
// the plot, and those pinned by clicks, by frequency, so that they follow
// the curve when it changes.
struct CurveMarkers {
  bool hovering = false;
  double hoverFreq = 0.0;
  int pinnedCount = 0;  // 0, 1 (A) or 2 (A and B)
  double pinnedFreq[2]{};

  void hover(double freqHz) {
    hovering = true;
    hoverFreq = freqHz;
  }
  void leave() { hovering = false; }
  // A click: pins A, then B; a third click starts again with a new A.
  void pin(double freqHz) {
    if (pinnedCount >= 2) pinnedCount = 0;
    pinnedFreq[pinnedCount++] = freqHz;
  }
  void clearPins() { pinnedCount = 0; }
};

inline constexpr int kMarkerTextCapacity = 96;  // each text, NUL included

// A marker on the plot, in pixels of the plot.
struct MarkerSpot {
  bool shown = false;
  int x = 0;
  int y = 0;
};

// What the markers show: where each lies and its line of the read-out.
// Texts of markers that do not lie on the curve are empty, and so is the
// difference unless both pinned markers lie on it.
//   hover       "1000 Hz  -3.01 dB  +45.0 deg"   (ohm: "6.52 ohm")
//   pinned[k]   "A  1000 Hz  -3.01 dB  +45.0 deg", "B  ..."
//   difference  "B-A  +1.00 oct  +2.00 dB  -15.0 deg"  (ohm: "+1.25 ohm")
// The level and the ohm have two decimals, the phase one; the phase parts
// are left out while the phase is hidden. The frequency is written as the
// pointer read-out writes it.
struct MarkerReadout {
  MarkerSpot hoverSpot;
  MarkerSpot pinnedSpot[2];
  char hover[kMarkerTextCapacity]{};
  char pinned[2][kMarkerTextCapacity]{};
  char difference[kMarkerTextCapacity]{};
};

// The read-out of `markers` on `curve`, laid out by `map` (which also says
// the axis); phaseShown adds the phase parts.
void curveMarkerReadout(const MarkerCurve& curve, const RealCurve& freqGrid, const PlotMapping& map,
                        bool phaseShown, const CurveMarkers& markers, MarkerReadout& out);
