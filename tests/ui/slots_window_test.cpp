// The memory slots, the cursor read-out and the clipboard copy, driven from
// the window on the simulated devices (manual pacing, as in the measurement
// tests).

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <cstring>

#include "../core/clipboard_recorder.h"
#include "platform/combined_audio.h"
#include "platform/sim_audio.h"
#include "ui/edit_num.h"
#include "ui/image_view.h"
#include "window_test.h"

namespace {

class SlotsWindowTest : public WindowTest {
 protected:
  void SetUp() override { openWindow(combined); }

  void measure() {
    click("start");
    for (int i = 0; i < 4 && runUnderway(); ++i) {
      sim.runUntilIdle();
      QCoreApplication::processEvents();
    }
    ASSERT_FALSE(runUnderway());
    ASSERT_TRUE(dialogs.boxes.empty()) << dialogs.boxes[0].text;
  }
  // Types a title as a user does; the click on a store button that follows
  // takes the focus away, which ends the edit.
  void typeTitle(const char* text) {
    QLineEdit* e = get<QLineEdit>("freqDTitle");
    e->setFocus();
    e->selectAll();
    if (text[0] == '\0') {
      QTest::keyClick(e, Qt::Key_Delete);
    } else {
      QTest::keyClicks(e, QString::fromLatin1(text));
    }
  }
  QString hint(const char* button) { return get<QWidget>(button)->toolTip(); }
  // A mouse move over an image, without buttons, at (x, y) of that image.
  void moveOver(const char* image, int x, int y) {
    QWidget* w = get<QWidget>(image);
    QMouseEvent e(QEvent::MouseMove, QPointF(x, y), w->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                  Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
  }
  QString text(const char* edit) { return get<QLineEdit>(edit)->text(); }

  SimAudio sim{SimAudio::Pacing::manual};
  CombinedWaveAudio combined{nullptr, sim};
};

// S3 before any measurement changes nothing; after a measurement S2 stores
// it with the title typed just before, enables R2 and shows the title in the
// hints of S2 and R2; a second store with an empty title keeps those hints.
TEST_F(SlotsWindowTest, StoreEnablesRecallAndShowsTheTitle) {
  click("S3");
  EXPECT_FALSE(enabled("R3"));
  EXPECT_FALSE(state().slots[2].hasResponse);
  for (const char* r : {"R1", "R2", "R3", "R4", "R5", "R6", "R7", "R8"}) EXPECT_FALSE(enabled(r));

  choose("inDev", "Simulator: loudspeaker (mic L, loop R)");
  measure();
  ASSERT_TRUE(state().responseValid);
  typeTitle("Bass unit");
  click("S2");
  EXPECT_TRUE(enabled("R2"));
  EXPECT_FALSE(enabled("R3"));
  EXPECT_TRUE(state().slots[1].hasResponse);
  EXPECT_STREQ(state().slots[1].title, "Bass unit");
  EXPECT_EQ(hint("S2"), QStringLiteral("Bass unit"));
  EXPECT_EQ(hint("R2"), QStringLiteral("Bass unit"));
  EXPECT_EQ(hint("S1"), QStringLiteral("Store as measurement 1"));
  for (int i = 0; i < kGridPoints; ++i) {
    ASSERT_EQ(state().slots[1].response[i], state().setup.response[i]) << i;
  }

  typeTitle("");
  click("S2");
  EXPECT_STREQ(state().slots[1].title, "");
  EXPECT_EQ(hint("S2"), QStringLiteral("Bass unit"));
  EXPECT_EQ(hint("R2"), QStringLiteral("Bass unit"));
}

// A recall shows the stored curve again: the frequency graph has the curves
// of the stored measurement, the time graph is empty as before the first
// measurement, the channel choice is hidden, and the title and the dB offset
// come back; responseValid stays from the last measurement.
TEST_F(SlotsWindowTest, RecallShowsTheStoredCurve) {
  const QImage emptyTime = get<TImageView>("Image1")->image().copy();
  choose("inDev", "Simulator: loudspeaker (mic L, loop R)");
  measure();
  form->state().setup.autoscaleOffset = 4.0;
  form->redrawGraphs();
  const RealCurve level = state().curves.splMag[0];
  const RealCurve phase = state().curves.splPhase[0];
  typeTitle("Near field");
  click("S5");

  // Something else on screen: the loopback cable, another title and offset.
  choose("inDev", "Simulator: loopback cable");
  measure();
  typeTitle("Cable");
  click("S1");  // ends the edit
  form->state().setup.autoscaleOffset = -3.0;
  ASSERT_NE(state().curves.splMag[0][500], level[500]);
  EXPECT_TRUE(get<QWidget>("showCh")->isVisibleTo(form.get()));

  click("R5");
  EXPECT_FALSE(state().setup.hasResponse);
  EXPECT_TRUE(state().measurementShown);
  EXPECT_TRUE(state().responseValid);
  EXPECT_EQ(text("freqDTitle"), QStringLiteral("Near field"));
  EXPECT_EQ(get<TEditNum>("dBOffset")->text(), QStringLiteral("4.0"));
  EXPECT_FALSE(get<QWidget>("showCh")->isVisibleTo(form.get()));
  for (int i = 0; i < kGridPoints; ++i) {
    ASSERT_DOUBLE_EQ(state().curves.splMag[0][i], level[i]) << i;
    ASSERT_DOUBLE_EQ(state().curves.splPhase[0][i], phase[i]) << i;
  }
  EXPECT_TRUE(get<TImageView>("Image1")->image() == emptyTime);
}

// An impedance measurement recalled while SPL is chosen brings the impedance
// graph back: the mode and the SPL / Z page follow the slot, and the merge
// gains become factors ("%2.3f").
TEST_F(SlotsWindowTest, RecallOfImpedanceSwitchesTheGraph) {
  openSplZ(1);
  choose("inDev", "Simulator: impedance jig 12 ohm");
  measure();
  click("S1");
  openSplZ(0);
  EXPECT_EQ(state().setup.impedanceMode, 0);
  EXPECT_EQ(get<TEditNum>("mergeUGain")->text(), QStringLiteral("0.0"));

  click("R1");
  EXPECT_EQ(state().setup.impedanceMode, 1);
  EXPECT_EQ(get<QTabWidget>("SplZ")->currentIndex(), 1);
  EXPECT_EQ(get<TEditNum>("mergeUGain")->text(), QStringLiteral("1.000"));
  EXPECT_EQ(get<TEditNum>("mergeLGain")->text(), QStringLiteral("1.000"));
  // The impedance curve is back: at 1 kHz the simulated driver has
  // |6 + j 2 pi 1000 0.4e-3| = 6.5 ohm, the motional part adding a little.
  int k = 0;
  while (state().setup.freqGrid[k] < 1000.0) ++k;
  EXPECT_NEAR(abs(state().setup.response[k]), 6.5, 0.3);
  EXPECT_NEAR(state().curves.zMag[0][k], abs(state().setup.response[k]), 1e-6);
}

// Read-out at known pixels of the 553 x 233 plot, 20 Hz .. 20 kHz: on the
// Settings page the graph is the calibration graph, every point (1, 0) shown
// 85 dB down, so the top reads -85 + 40 * 0.025 = -84.0 dB and the bottom
// 40 dB lower; also with impedance chosen. In the impedance graph (1 .. 100
// ohm) the top reads 100 ohm and +90 deg. The frame clears the read-out, and
// with the phase hidden the phase stays empty.
TEST_F(SlotsWindowTest, CursorReadoutAtKnownPixels) {
  EXPECT_EQ(text("freqLabel"), QStringLiteral("   "));
  openPage(kSettingsPage);
  moveOver("Image2", 0, 0);
  EXPECT_EQ(text("freqLabel"), QStringLiteral("20.0 Hz"));
  EXPECT_EQ(text("yLabel1"), QStringLiteral("-84.0 dB"));
  EXPECT_EQ(text("yLabel2"), QStringLiteral("+180 deg"));
  moveOver("Image2", 552, 233);
  EXPECT_EQ(text("yLabel1"), QStringLiteral("-124.0 dB"));

  openPage(kMeasurePage);
  openSplZ(1);
  openPage(kSettingsPage);
  moveOver("Image2", 276, 0);
  EXPECT_EQ(text("yLabel1"), QStringLiteral("-84.0 dB"));

  openPage(kMeasurePage);
  moveOver("Image2", 276, 0);
  EXPECT_EQ(text("yLabel1"), QStringLiteral("100 ohm"));
  EXPECT_EQ(text("yLabel2"), QStringLiteral("+90 deg"));

  moveOver("Image5", 10, 10);
  EXPECT_EQ(text("freqLabel"), QString());
  EXPECT_EQ(text("yLabel1"), QString());
  EXPECT_EQ(text("yLabel2"), QString());

  moveOver("Image2", 276, 233);
  ASSERT_EQ(text("yLabel2"), QStringLiteral("-90 deg"));
  tick("hidePhase", true);
  EXPECT_EQ(text("yLabel2"), QString());
  moveOver("Image2", 100, 100);
  EXPECT_EQ(text("yLabel2"), QString());
  EXPECT_EQ(text("yLabel1"), QStringLiteral("13.9 ohm"));  // 10^(2 * 133 / 233) = 13.85
}

// "Copy" puts a 629 x 301 picture on the clipboard: the frame without its
// outer 2 pixels, so the plot (at 48, 64 in the sheet, the frame at 0, 32)
// appears at (46, 30) pixel for pixel, the frame's scale labels left of it
// as the frame canvas has them, and the red name label drawn over the frame
// is in it. A clipboard that cannot be opened drops the copy silently.
TEST_F(SlotsWindowTest, CopyPutsTheFramePictureOnTheClipboard) {
  choose("inDev", "Simulator: loudspeaker (mic L, loop R)");
  measure();
  QGuiApplication::clipboard()->clear();
  click("copyFToClip");
  const QImage clip = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(clip.width(), 629);
  ASSERT_EQ(clip.height(), 301);

  const QImage plot = get<TImageView>("Image2")->image().convertToFormat(QImage::Format_RGB32);
  const QImage frame = get<TImageView>("Image5")->image().convertToFormat(QImage::Format_RGB32);
  EXPECT_TRUE(clip.copy(46, 30, 553, 233) == plot);
  EXPECT_TRUE(clip.copy(0, 30, 46, 233) == frame.copy(2, 32, 46, 233));
  int red = 0;
  for (int y = 260; y < 301; ++y) {
    for (int x = 500; x < 629; ++x) {
      const QRgb p = clip.pixel(x, y);
      red += qRed(p) > 200 && qGreen(p) < 80 && qBlue(p) < 80;
    }
  }
  EXPECT_GT(red, 10);
  EXPECT_TRUE(dialogs.boxes.empty());

  ClipboardRecorder busy;
  busy.busy = true;
  form->setClipboard(busy);
  click("copyFToClip");
  EXPECT_EQ(busy.calls, 1);
  EXPECT_TRUE(dialogs.boxes.empty());
}

}  // namespace
