#pragma once
// The Settings page's small picture of the microphone curve: its level in dB
// over 20 Hz .. 20 kHz on a logarithmic axis, with a dotted 0 dB line across
// the middle, scaled to the curve's largest deviation in that band.

#include "base/grid_curve.h"

class Canvas;

inline constexpr double kMicGraphLowHz = 20.0;
inline constexpr double kMicGraphHighHz = 20000.0;
// The smallest half range, and the step it is rounded up to, in dB.
inline constexpr double kMicGraphStepDb = 1.0;

// The half range the picture shows: the largest |level| of micCal at the grid
// points from 20 Hz to 20 kHz, rounded up to a whole dB, at least 1 dB.
double micGraphRangeDb(const RealCurve& freqGrid, const ComplexCurve& micCal);

// Draws the picture over the whole canvas: white inside a black border, the
// 0 dB line dotted grey, the curve through every grid point from 20 Hz to
// 20 kHz (blue when it is in use, grey when it is switched off). x runs from 1
// at 20 Hz to width - 2 at 20 kHz, y from 1 at +range to height - 2 at
// -range; levels beyond the range are clipped to the border.
void drawMicCurve(Canvas& c, const RealCurve& freqGrid, const ComplexCurve& micCal, bool inUse);
