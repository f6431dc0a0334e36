#include "display/level_display.h"

#include <algorithm>
#include <cmath>

#include "display/graph_layout.h"
#include "engine/deconvolution.h"
#include "setup/meas_setup.h"

namespace {

// The level test's waveform shows this many frames beyond one sequence, from
// five frames before the start frame on.
constexpr int32_t kWaveExtraFrames = 200;
constexpr int32_t kWaveLeadFrames = 5;
constexpr double kWaveScale = 130000.0;  // sample value per image height

constexpr Rgb kBarGreen{0, 255, 0};
constexpr Rgb kBarYellow{255, 255, 0};
constexpr Rgb kBarRed{255, 0, 0};
constexpr int kBarSegments = 20;

// Fills [x1, x2) x [y1, y2); a rectangle without width or height fills nothing.
void fillSpan(Canvas& c, int x1, int y1, int x2, int y2, Rgb colour) {
  if (x1 < x2 && y1 < y2) c.fillRect(x1, y1, x2, y2, colour);
}

void drawWave(const RecBuffer& rec, int ch, int32_t firstFrame, int32_t count, int baseY,
              Canvas& image) {
  const int w = image.width();
  const int h = image.height();
  image.moveTo(1, baseY);
  for (int32_t l = 0; l < count; ++l) {
    const double v = rec.at(static_cast<int64_t>(firstFrame) + l, ch);
    image.lineTo(toPixel(static_cast<double>(l) / count * w + 1),
                 toPixel(baseY - v * h / kWaveScale));
  }
}

}  // namespace

void drawLevelTestWaveforms(const MeasSetup& setup, const RecBuffer& rec, int32_t startFrame,
                            Canvas& image) {
  const int w = image.width();
  const int h = image.height();
  image.rectangle(0, 0, w, h);
  const int32_t count = setup.mlsSize + kWaveExtraFrames;
  const int32_t first = startFrame - kWaveLeadFrames;
  drawWave(rec, 0, first, count, h / 4, image);
  drawWave(rec, 1, first, count, (3 * h) / 4, image);
}

void drawLevelBar(Canvas& bar, double peak) {
  const int w = bar.width();
  const int h = bar.height();
  fillSpan(bar, 0, 0, w, h, colourWhite);

  // 0 dB sits 10 % below the top; each dB below it is 0.9 * 5 % of the height,
  // so -20 dB reaches the bottom and leaves no green.
  const double levelDb = 20.0 * std::log10(peak / kLevelBarZeroDbPeak);
  fillSpan(bar, 2, toPixel((0.1 - std::min(0.0, levelDb) * 0.045) * h), w - 2, h - 2, kBarGreen);
  if (levelDb > 0.0) {
    fillSpan(bar, 2, toPixel(std::max(2.0, (0.1 - 0.05 * levelDb) * h - 1)), w - 2,
             toPixel(0.1 * h - 1), kBarYellow);
    if (peak > kClipWarningPeak) fillSpan(bar, 2, 2, w - 2, 8, kBarRed);
  }

  bar.setPen(Pen{colourWhite, PenStyle::solid, 1});
  for (int i = 1; i <= kBarSegments; ++i) {
    const int y = toPixel(h * i * 0.05);
    bar.moveTo(0, y);
    bar.lineTo(w, y);
  }

  bar.setPen(penSolidBlack);
  drawBorder(bar);
}
