// Memory slots drawn over the live curve and the curve marker, driven from
// the window: the slot buttons' menu, the pixels of both overlays and of
// their legend, the marker's read-out at known pixels of the plot, pinning
// and clearing, and screenshots of them.

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "display/overlay_drawing.h"
#include "platform/combined_audio.h"
#include "platform/sim_audio.h"
#include "ui/image_view.h"
#include "window_test.h"

namespace {

class OverlayWindowTest : public WindowTest {
 protected:
  void SetUp() override { openWindow(combined); }

  void measure() {
    choose("inDev", "Simulator: loudspeaker (mic L, loop R)");
    click("start");
    runSimToEnd(sim);
    ASSERT_TRUE(dialogs.boxes.empty()) << dialogs.boxes[0].text;
    ASSERT_TRUE(state().measurementShown);
  }
  // Opens the context menu of `button` and triggers its entry `index`,
  // noting whether that entry was ticked before.
  bool menuEntry(const char* button, int index, QString* text = nullptr) {
    bool wasChecked = false;
    QTimer::singleShot(0, [index, text, &wasChecked] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      ASSERT_NE(menu, nullptr);
      ASSERT_GT(menu->actions().size(), index);
      QAction* action = menu->actions()[index];
      if (text != nullptr) *text = action->text();
      wasChecked = action->isChecked();
      menu->close();
      action->trigger();
    });
    Q_EMIT get<QWidget>(button)->customContextMenuRequested(QPoint(2, 2));
    QCoreApplication::processEvents();
    return wasChecked;
  }
  void mouse(QEvent::Type type, int x, int y, Qt::MouseButton button = Qt::NoButton) {
    QWidget* w = get<QWidget>("Image2");
    QMouseEvent e(type, QPointF(x, y), w->mapToGlobal(QPointF(x, y)), button,
                  type == QEvent::MouseMove ? Qt::NoButton : button, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
  }
  QImage plot() { return get<TImageView>("Image2")->image(); }
  int plotW() { return get<TImageView>("Image2")->canvas().width(); }
  int plotH() { return get<TImageView>("Image2")->canvas().height(); }

  // The plot's mapping, written out: x = w ln(f / fLow) / ln(fHigh / fLow),
  // y = h - (level - (dBTop - range)) h / range.
  double xOf(double f) {
    const MeasSetup& m = state().setup;
    return plotW() * std::log(f / m.freqLow) / std::log(m.freqHigh / m.freqLow);
  }
  double yOf(double level) {
    const MeasSetup& m = state().setup;
    const double bottom = state().curves.dBTop - m.displayRange;
    return plotH() - (level - bottom) * plotH() / m.displayRange;
  }
  double freqAt(int x) {
    const MeasSetup& m = state().setup;
    return m.freqLow * std::exp(std::log(m.freqHigh / m.freqLow) * x / plotW());
  }
  // The live curve at f, by straight lines between the grid points in log f.
  void liveAt(double f, double& level, double& phase) {
    const RealCurve& g = state().setup.freqGrid;
    int j = 0;
    while (g[j + 1] <= f) ++j;
    const double t = std::log(f / g[j]) / std::log(g[j + 1] / g[j]);
    const RealCurve& mag = state().curves.splMag[0];
    const RealCurve& ph = state().curves.splPhase[0];
    level = mag[j] + t * (mag[j + 1] - mag[j]);
    double d = ph[j + 1] - ph[j];
    if (d > 180) d -= 360;
    if (d < -180) d += 360;
    phase = ph[j] + t * d;
    if (phase > 180) phase -= 360;
    if (phase <= -180) phase += 360;
  }
  std::string markerLines() {
    QLabel* l = get<QLabel>("markerReadout");
    return l->isVisible() ? l->text().toStdString() : std::string();
  }
  static bool near(QRgb a, Rgb b) {
    return std::abs(qRed(a) - b.r) <= 2 && std::abs(qGreen(a) - b.g) <= 2 &&
           std::abs(qBlue(a) - b.b) <= 2;
  }
  // Whether the column x of the plot holds the colour within a pixel of y.
  bool colourAt(const QImage& img, int x, int y, Rgb c) {
    for (int dy = -1; dy <= 1; ++dy)
      if (y + dy >= 0 && y + dy < img.height() && near(img.pixel(x, y + dy), c)) return true;
    return false;
  }

  SimAudio sim{SimAudio::Pacing::manual};
  CombinedWaveAudio combined{nullptr, sim};
};

// Slots 1 and 2 hold the measurement lowered by 6.02 and by 12.04 dB; shown
// as overlays from the slot buttons' menu, each is drawn in its colour where
// the live curve less 6.02 or 12.04 dB puts it, and the
// legend names both in the plot's corner. Switched off, slot 1 goes.
TEST_F(OverlayWindowTest, TwoSlotsDrawnInTheirColoursWithALegend) {
  measure();
  click("S1");
  click("S2");
  for (Complex& c : form->state().slots[0].response) c = c * 0.5;
  for (Complex& c : form->state().slots[1].response) c = c * 0.25;
  QString text;
  EXPECT_FALSE(menuEntry("R1", 1, &text));
  EXPECT_EQ(text, QStringLiteral("Show as overlay"));
  EXPECT_FALSE(menuEntry("S2", 1));
  EXPECT_TRUE(state().overlays.shown[0]);
  EXPECT_TRUE(state().overlays.shown[1]);

  // The phase's dotted lines, drawn over the overlays, stay away.
  tick("hidePhase", true);
  const QImage img = plot();
  const double down = 20.0 * std::log10(2.0);
  int checked = 0;
  for (int j = 400; j < 800; j += 40) {
    const double f = state().setup.freqGrid[j];
    const int x = static_cast<int>(xOf(f));
    const double live = state().curves.splMag[0][j];
    const int y1 = static_cast<int>(yOf(live - down));
    const int y2 = static_cast<int>(yOf(live - 2 * down));
    if (y1 < 30 || y2 >= plotH()) continue;  // under the legend or off the plot
    EXPECT_TRUE(colourAt(img, x, y1, overlayColour(1))) << j;
    EXPECT_TRUE(colourAt(img, x, y2, overlayColour(2))) << j;
    ++checked;
  }
  EXPECT_GE(checked, 5);
  // The legend's swatches: rows 12 pixels apart from 4, 4 pixels in.
  EXPECT_TRUE(near(img.pixel(10, 9), overlayColour(1)));
  EXPECT_TRUE(near(img.pixel(10, 21), overlayColour(2)));

  // The picture to look at: both overlays, a title in the legend, markers.
  setTitleUtf8(form->state().slots[0].title, "Woofer, 6 dB down");
  tick("hidePhase", false);
  get<QTabWidget>("TimeFreqCtrl")->setCurrentIndex(1);
  mouse(QEvent::MouseButtonPress, 120, 100, Qt::LeftButton);
  mouse(QEvent::MouseButtonPress, 480, 100, Qt::LeftButton);
  mouse(QEvent::MouseMove, 250, 60);
  EXPECT_NE(markerLines().find("B-A"), std::string::npos);
  saveScreenshot("overlays-and-markers.png");
  // The same at 1600 x 1000: the pins stay at their frequencies.
  form->resize(1600, 1000);
  QCoreApplication::processEvents();
  EXPECT_EQ(get<QWidget>("Image2")->width(), 553 + 1600 - TMainForm::kWidth);
  EXPECT_NE(markerLines().find("B-A"), std::string::npos);
  saveScreenshot("overlays-and-markers-1600x1000.png");
  form->resize(TMainForm::kWidth, TMainForm::kHeight);
  QCoreApplication::processEvents();

  EXPECT_TRUE(menuEntry("R1", 1));  // ticked: this unticks it
  EXPECT_FALSE(state().overlays.shown[0]);
  EXPECT_FALSE(near(plot().pixel(10, 21), overlayColour(2)));
  EXPECT_TRUE(near(plot().pixel(10, 9), overlayColour(2)));
}

// The marker reads the live curve at the pointer's frequency, as straight
// lines between grid points in log frequency; the pointer's own read-out
// keeps reading the axes. Two clicks pin A and B with their difference; a
// right click takes them away.
TEST_F(OverlayWindowTest, MarkerReadsTheCurveAtThePointer) {
  measure();
  const int x = 330;  // 1234 Hz on the default plot
  const int y = 20;
  mouse(QEvent::MouseMove, x, y);
  double level = 0, phase = 0;
  const double f = freqAt(x);
  liveAt(f, level, phase);
  char freq[32];
  std::snprintf(freq, sizeof freq, "%.0f Hz", std::trunc(f * 0.1 + 0.5) * 10.0);  // 1 .. 10 kHz
  ASSERT_GT(f, 1000.0);
  char expected[96];
  std::snprintf(expected, sizeof expected, "%s  %.2f dB  %+.1f deg", freq, level, phase);
  EXPECT_EQ(markerLines(), expected);
  // The pointer read-out: the axis at y, to one decimal.
  char axis[32];
  std::snprintf(
      axis, sizeof axis, "%2.1f dB",
      state().curves.dBTop - static_cast<double>(y) / plotH() * state().setup.displayRange);
  EXPECT_EQ(get<QLineEdit>("yLabel1")->text().toStdString(), axis);

  // The ring lies on the curve: at the curve's y for that level.
  const auto& marks = get<TImageView>("Image2")->marks();
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_EQ(marks[0].x, static_cast<int>(xOf(f)));
  EXPECT_EQ(marks[0].y, static_cast<int>(yOf(level)));

  mouse(QEvent::MouseButtonPress, 200, 100, Qt::LeftButton);
  mouse(QEvent::MouseButtonPress, 400, 100, Qt::LeftButton);
  double la = 0, pa = 0, lb = 0, pb = 0;
  liveAt(freqAt(200), la, pa);
  liveAt(freqAt(400), lb, pb);
  const std::string lines = markerLines();
  char diff[96];
  double dp = pb - pa;
  if (dp > 180) dp -= 360;
  if (dp <= -180) dp += 360;
  std::snprintf(diff, sizeof diff, "B-A  %+.2f oct  %+.2f dB  %+.1f deg",
                std::log2(freqAt(400) / freqAt(200)), lb - la, dp);
  EXPECT_NE(lines.find(diff), std::string::npos) << lines;
  char a[32];
  std::snprintf(a, sizeof a, "  %.2f dB", la);
  EXPECT_NE(lines.find(std::string("A  ")), std::string::npos) << lines;
  EXPECT_NE(lines.find(a), std::string::npos) << lines;
  EXPECT_EQ(get<TImageView>("Image2")->marks().size(), 3u);

  mouse(QEvent::MouseButtonPress, 250, 100, Qt::RightButton);
  EXPECT_EQ(markerLines().find("A  "), std::string::npos);
  EXPECT_EQ(get<TImageView>("Image2")->marks().size(), 1u);

  // Off the plot, on the frame: no marker at all.
  QWidget* frame = get<QWidget>("Image5");
  QMouseEvent away(QEvent::MouseMove, QPointF(5, 5), frame->mapToGlobal(QPointF(5, 5)),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(frame, &away);
  EXPECT_EQ(markerLines(), "");
  EXPECT_TRUE(get<TImageView>("Image2")->marks().empty());
}

// On the impedance graph the marker reads ohm, between grid points along the
// drawn line: geometric in ohm (straight on the log axis).
TEST_F(OverlayWindowTest, MarkerReadsOhmOnTheImpedanceGraph) {
  openSplZ(1);
  choose("inDev", "Simulator: impedance jig 12 ohm");
  click("start");
  runSimToEnd(sim);
  ASSERT_TRUE(state().measurementShown);
  ASSERT_EQ(state().setup.impedanceMode, 1);
  const int x = 120;  // 89.5 Hz on the default plot
  mouse(QEvent::MouseMove, x, 50);
  const double f = freqAt(x);
  const RealCurve& g = state().setup.freqGrid;
  int j = 0;
  while (g[j + 1] <= f) ++j;
  const double t = std::log(f / g[j]) / std::log(g[j + 1] / g[j]);
  const RealCurve& z = state().curves.zMag[0];
  const RealCurve& ph = state().curves.zPhase[0];
  const double ohm = z[j] * std::pow(z[j + 1] / z[j], t);
  char expected[96];
  std::snprintf(expected, sizeof expected, "%.1f Hz  %.2f ohm  %+.1f deg", f, ohm,
                ph[j] + t * (ph[j + 1] - ph[j]));
  ASSERT_LT(f, 100.0);
  EXPECT_EQ(markerLines(), expected);
  // The ring on the ohm axis: y = h - log(z / zMin) h / log(zMax / zMin).
  const MeasSetup& m = state().setup;
  const auto& marks = get<TImageView>("Image2")->marks();
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_EQ(marks[0].y, static_cast<int>(plotH() - std::log(ohm / m.zMin) * plotH() /
                                                       std::log(m.zMax / m.zMin)));
  mouse(QEvent::MouseButtonPress, 60, 50, Qt::LeftButton);
  mouse(QEvent::MouseButtonPress, 300, 50, Qt::LeftButton);
  saveScreenshot("impedance-markers.png");
}

// Without a measurement shown there is nothing to snap to.
TEST_F(OverlayWindowTest, NoMarkerWithoutALiveCurve) {
  mouse(QEvent::MouseMove, 300, 50);
  EXPECT_EQ(markerLines(), "");
  EXPECT_TRUE(get<TImageView>("Image2")->marks().empty());
}

}  // namespace
