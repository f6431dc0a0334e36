#pragma once
// The read-out above the frequency graph: frequency, magnitude and phase at a
// pixel of the plot, read from the axes (not from the curves), so it works
// whether or not a curve is drawn.

#include "setup/meas_setup.h"

inline constexpr int kReadoutCapacity = 32;  // each text, NUL included

struct CursorReadout {
  char freq[kReadoutCapacity]{};   // freqLabel
  char level[kReadoutCapacity]{};  // yLabel1: dB or ohm
  char phase[kReadoutCapacity]{};  // yLabel2: degrees, empty while the phase is hidden
};

// What the plot's axes show at pixel (x, y) of a width x height plot. The
// frequency runs logarithmically from freqLow (x = 0) to freqHigh (x = width);
// the SPL graph (impedanceMode 0, or calibrationView) reads dBTop at y = 0 and
// displayRange lower at y = height, phase +180 .. -180; the impedance graph
// reads zMax at the top and zMin at the bottom on a log scale, phase +90 ..
// -90. Positions outside the plot are read on the extended axes. A plot
// without area, or an axis that cannot be inverted, gives three empty texts.
void graphCursorReadout(const MeasSetup& setup, double dBTop, bool calibrationView, int width,
                        int height, int x, int y, CursorReadout& out);

// The frequency text: "%2.1f Hz" below 100 Hz, "%2.0f Hz" below 1 kHz, then
// rounded to the nearest 10 Hz below 10 kHz and to the nearest 100 Hz above.
void formatReadoutFrequency(double freqHz, char* text, int capacity);

// The impedance text: two decimals below 3 ohm, one below 30 ohm, none above.
void formatReadoutImpedance(double ohm, char* text, int capacity);
