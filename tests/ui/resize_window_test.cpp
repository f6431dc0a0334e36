// The window made larger than its default size: the graphs grow, the
// settings stay, and what is drawn lies where the formulas put it for the
// new size. Expected pixels: x(f) = trunc(W ln(f / 20) / ln(1000)) on the
// plot (+ 0.5 for grid lines), y(L) = trunc(H - (L - (dBTop - range)) H /
// range), and on the time graph's frame the tick of t ms at 8 + trunc(601 /
// 8192 * 48 t + 1).

#include <QImage>
#include <QLineEdit>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "../core/clipboard_recorder.h"
#include "sim_window_test.h"
#include "ui/image_view.h"

namespace {

constexpr QRgb kBlack = 0xff000000;

class ResizeWindowTest : public SimWindowTest {
 protected:
  void resizeTo(int w, int h) {
    form->resize(w, h);
    QCoreApplication::processEvents();
    ASSERT_EQ(form->size(), QSize(w, h));
  }
  QImage picture(const char* view) { return get<TImageView>(view)->image(); }
  // Dark pixels (text, which may be smoothed) in the rectangle.
  static int dark(const QImage& img, QRect r) {
    int n = 0;
    r = r.intersected(img.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x) n += qGray(img.pixel(x, y)) < 128;
    return n;
  }
  // Pixels of `colour` in the rectangle.
  static int count(const QImage& img, QRect r, QRgb colour) {
    int n = 0;
    r = r.intersected(img.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x) n += img.pixel(x, y) == colour;
    return n;
  }
};

TEST_F(ResizeWindowTest, GraphsTakeTheExtraSpaceAndTheSettingsStayPut) {
  EXPECT_EQ(form->minimumSize(), QSize(TMainForm::kWidth, TMainForm::kHeight));
  const QRect settings = get<QWidget>("mainPage")->geometry();
  const QRect levels = get<QWidget>("Image3")->geometry();
  const QPoint fLow = get<QWidget>("fLow")->pos();
  const QPoint corner = get<QWidget>("Label12")->pos();

  resizeTo(1280, 900);  // 613 x 328 more
  EXPECT_EQ(get<QWidget>("mainPage")->geometry(), settings);
  EXPECT_EQ(get<QWidget>("Image3")->geometry(), levels);
  EXPECT_EQ(get<QWidget>("Image2")->geometry(), QRect(48, 64, 553 + 613, 233 + 328));
  EXPECT_EQ(get<QWidget>("Image5")->geometry(), QRect(0, 32, 633 + 613, 305 + 328));
  EXPECT_EQ(get<QWidget>("Image1")->geometry(), QRect(8, 16, 601 + 613, 297 + 328));
  EXPECT_EQ(picture("Image2").size(), QSize(1166, 561));
  EXPECT_EQ(picture("timeFrame").size(), QSize(657 + 613, 345 + 328));
  EXPECT_EQ(get<QWidget>("fLow")->pos(), fLow + QPoint(0, 328));
  EXPECT_EQ(get<QWidget>("Label12")->pos(), corner + QPoint(613, 328));

  // Never smaller than the default.
  form->resize(500, 400);
  QCoreApplication::processEvents();
  EXPECT_EQ(form->size(), QSize(TMainForm::kWidth, TMainForm::kHeight));
  EXPECT_EQ(picture("Image2").size(), QSize(553, 233));
}

TEST_F(ResizeWindowTest, CurveGridAndReadOutFollowTheLargerPlot) {
  resizeTo(1280, 900);
  calibrateAt48k();
  measure("Simulator: loudspeaker (mic L, loop R)");
  const QImage plot = picture("Image2");
  const int w = 1166, h = 561;
  ASSERT_EQ(plot.size(), QSize(w, h));
  const MeasSetup& s = state().setup;
  ASSERT_EQ(s.freqLow, 20.0);
  ASSERT_EQ(s.freqHigh, 20000.0);

  // The 1 kHz grid line: dotted grey down the whole column.
  const int x1k = static_cast<int>(w * std::log(1000.0 / 20) / std::log(1000.0) + 0.5);
  EXPECT_GT(count(plot, QRect(x1k, 0, 1, h), qRgb(128, 128, 128)), h / 3);

  // The magnitude curve through its grid points, 200 Hz .. 10 kHz.
  const double range = s.displayRange;
  const double bottom = state().curves.dBTop - range;
  int checked = 0;
  for (int j = 0; j < kGridPoints; j += 25) {
    const double f = s.freqGrid[j];
    if (f < 200 || f > 10000) continue;
    const int x = static_cast<int>(w * std::log(f / 20) / std::log(1000.0));
    const int y = static_cast<int>(h - (state().curves.splMag[0][j] - bottom) * h / range);
    ASSERT_TRUE(y > 0 && y < h - 1) << f;
    EXPECT_EQ(plot.pixel(x, y), kBlack) << f << " Hz at " << x << ", " << y;
    ++checked;
  }
  EXPECT_GT(checked, 10);

  // The "1000" label under its grid line: frame x = 40 + x + 5 - 9, y =
  // 32 + H + 5, about 24 x 10 pixels of text.
  const QImage frame = picture("Image5");
  EXPECT_GT(dark(frame, QRect(40 + x1k - 4, 32 + h + 5, 24, 10)), 10);
  EXPECT_EQ(dark(frame, QRect(40 + x1k - 4, 32 + h + 20, 24, 10)), 0);

  // The pointer read-out over the larger plot: the middle column is the
  // geometric mean of 20 Hz and 20 kHz.
  QTest::mouseMove(get<QWidget>("Image2"), QPoint(w / 2, h / 2));
  QCoreApplication::processEvents();
  char text[32];
  std::snprintf(text, sizeof text, "%2.0f Hz", 20.0 * std::exp(std::log(1000.0) * (w / 2) / w));
  EXPECT_EQ(get<QLineEdit>("freqLabel")->text().toStdString(), text);

  // "Copy" takes the larger frame, without its outer two pixels.
  ClipboardRecorder clipboard;
  form->setClipboard(clipboard);
  click("copyFToClip");
  ASSERT_EQ(clipboard.pictures.size(), 1u);
  EXPECT_EQ(clipboard.pictures[0].width, 1246 - 4);
  EXPECT_EQ(clipboard.pictures[0].height, 633 - 4);
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(ResizeWindowTest, TimeGraphScaleAtTheDefaultSize) {
  calibrateAt48k();
  measure("Simulator: loudspeaker (mic L, loop R)");
  ASSERT_EQ(state().setup.winLength, 8192);
  get<QTabWidget>("TimeFreqCtrl")->setCurrentIndex(0);
  const QImage frame = picture("timeFrame");
  // 20 ms ticks below the graph's bottom edge (y 313), 4 pixels long.
  for (int t = 0; t <= 160; t += 20) {
    const int x = 8 + static_cast<int>(601.0 / 8192 * 48 * t + 1);
    EXPECT_EQ(count(frame, QRect(x, 313, 1, 4), kBlack), 4) << t << " ms";
  }
  // 100 % of the peak: 148 - 2 * 297 * 5 / 41 = 75.6 below the top edge.
  EXPECT_EQ(count(frame, QRect(609, 16 + 75, 4, 1), kBlack), 4);
  // The window's start marker above x = 1 of the graph, red.
  EXPECT_GE(count(frame, QRect(8, 10, 3, 6), qRgb(255, 0, 0)), 10);
  saveScreenshot("time_scale.png");

  // The level test's waveforms have no such scale: the frame is wiped.
  openPage(kSettingsPage);
  click("Level");
  runToEnd();
  EXPECT_EQ(count(picture("timeFrame"), QRect(1, 1, 655, 343), kBlack), 0);
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(ResizeWindowTest, Screenshots) {
  calibrateAt48k();
  measure("Simulator: loudspeaker (mic L, loop R)");
  QTabWidget* graphs = get<QTabWidget>("TimeFreqCtrl");
  graphs->setCurrentIndex(1);
  saveScreenshot("default_size.png");
  resizeTo(1600, 1000);
  saveScreenshot("resized_1600x1000.png");
  graphs->setCurrentIndex(0);
  saveScreenshot("time_scale_1600x1000.png");
}

}  // namespace
