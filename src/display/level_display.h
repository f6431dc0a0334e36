#pragma once
// The input levels of a recording as the window shows them: the two level
// bars, and the raw waveforms of a level test on the time-domain image.

#include <cstdint>

#include "display/canvas.h"

struct MeasSetup;
struct RecBuffer;

// Level-bar scale: this peak value is 0 dB; above kClipWarningPeak the red mark shows.
inline constexpr double kLevelBarZeroDbPeak = 23000.0;
inline constexpr double kClipWarningPeak = 29000.0;

// Sizes of the level-test image and the two level bars in the window's layout.
inline constexpr int kLevelBarWidth = 11;   // Image3 (left), Image4 (right)
inline constexpr int kLevelBarHeight = 126;

// Draws the raw waveforms of a level test on the time-domain image, with the
// canvas's current pen: a wiped frame, then mlsSize + 200 frames of each
// channel from startFrame - 5 on, left around H / 4 and right around
// (3 H) / 4, each sample v at v H / 130000 pixels above its line, so a
// full-scale sample spans about a quarter of the height.
void drawLevelTestWaveforms(const MeasSetup& setup, const RecBuffer& rec, int32_t startFrame,
                            Canvas& image);

// Draws one level bar for a peak value: white background, green up to 0 dB
// (23000) at 10 % below the top and empty at -20 dB, yellow above 0 dB up to
// the top margin, a red mark for a peak above 29000, white segment lines
// every 5 % of the height and a black border. Leaves the pen solid black.
void drawLevelBar(Canvas& bar, double peak);
