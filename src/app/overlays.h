#pragma once
// Memory slots shown over the live curve, and the curve marker's read-out on
// the program state. Which slots are overlaid is part of the state; their
// curves are prepared with the shown curves at each redraw.

#include <array>

#include "display/curve_marker.h"
#include "display/graph_inputs.h"
#include "store/slots.h"

struct AppState;

inline constexpr int kOverlayLegendCapacity = 48;  // legend text, NUL included

struct OverlayState {
  // Slot n (1..8) is overlaid while shown[n - 1] is set; a slot that holds
  // nothing, or holds the other kind of measurement than the graph shows,
  // is drawn only once it holds a curve of that kind.
  std::array<bool, kStoreSlots> shown{};
  // What the graph draws, one entry per slot (no magnitude: not drawn), and
  // the curves and legend texts the entries point to.
  std::array<OverlayCurve, kStoreSlots> drawn{};
  std::array<RealCurve, kStoreSlots> magnitude{};
  std::array<std::array<char, kOverlayLegendCapacity>, kStoreSlots> legend{};
};

// Fills overlays.drawn from the slots marked shown, for the graph the live
// record is shown on. Nothing is drawn on the Merge/Add page or in the
// calibration view. A slot is drawn when it holds a curve of the shown kind
// (SPL on the dB graph, impedance on the ohm graph), with the live display
// settings so that it compares with the live curve as it would look recalled:
// SPL as 20 log10 |H| (-100 dB for a zero or undefined magnitude) plus the
// live levelScale, divided by the microphone calibration when that is in use
// and the slot was not read from a file, smoothed by the live smoothing
// choice; impedance as |Z|, smoothed over 1/24 octave when impedanceSmooth is
// set. Each stops at its own last measured point (its responseRate) and
// breaks where it holds no value. Its colour is overlayColour(n), its legend
// "n: title", or "Slot n" for a slot without a title (cut to what fits, at a
// character boundary). Allocates nothing.
void prepareOverlayCurves(AppState& state);

// The live curve of the graph, for the curve marker: the prepared display
// curve 0 (SPL or impedance), up to its last measured point and where the
// live record holds values. No curve (magnitude null) unless a measurement
// is shown, or on the Merge/Add page or in the calibration view.
MarkerCurve liveMarkerCurve(const AppState& state);

// The marker read-out on the live curve of a width x height plot.
void liveMarkerReadout(const AppState& state, int width, int height, const CurveMarkers& markers,
                       MarkerReadout& out);
