// The Merge/Add page and the codes of the numeric entries, driven from the
// window: what each entry's message recomputes, and what Apply writes into
// the current response.

#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/combined_audio.h"
#include "platform/sim_audio.h"
#include "ui/edit_num.h"
#include "window_test.h"

namespace {

constexpr int kMergePage = 2;

class MergeWindowTest : public WindowTest {
 protected:
  void SetUp() override { openWindow(combined); }

  // The user replaces an entry's text and presses Enter.
  void typeEnter(const char* entry, const char* typed) {
    TEditNum* e = get<TEditNum>(entry);
    e->setFocus(Qt::TabFocusReason);
    e->selectAll();
    QTest::keyClicks(e, QString::fromLatin1(typed));
    QTest::keyClick(e, Qt::Key_Return);
  }
  void measure() {
    click("start");
    for (int i = 0; i < 4 && runUnderway(); ++i) {
      sim.runUntilIdle();
      QCoreApplication::processEvents();
    }
    ASSERT_FALSE(runUnderway());
    ASSERT_TRUE(dialogs.boxes.empty()) << dialogs.boxes[0].text;
  }
  // Puts a flat response into the live record and marks it storable.
  void setResponse(Complex value) {
    form->state().setup.response.fill(value);
    form->state().responseValid = true;
  }

  SimAudio sim{SimAudio::Pacing::manual};
  CombinedWaveAudio combined{nullptr, sim};
};

// Each merge entry stores its field and its message brings the gains and the
// weights up to date: -6 dB is the factor 10^-0.3 = 0.50119, +6 dB is
// 10^0.3 = 1.99526; 100 us typed is 1e-4 s, a lag of 2 pi f 1e-4 rad.
// The first opening of the page computes the weights from gains set before.
TEST_F(MergeWindowTest, MergeEntriesRecomputeTheWeights) {
  AppState& s = form->state();
  s.mergeSetup.upperGainDb = -20.0;  // as a configuration could leave it
  openPage(kMergePage);
  EXPECT_NEAR(s.mergeSetup.upperGain, 0.1, 1e-12);
  EXPECT_NEAR(abs(s.mergeSetup.weights[1][300]), 0.1, 1e-12);

  typeEnter("mergeLGain", "-6");
  EXPECT_EQ(s.mergeSetup.lowerGainDb, -6.0);
  EXPECT_NEAR(s.mergeSetup.lowerGain, 0.501187233627, 1e-12);
  EXPECT_NEAR(s.mergeSetup.weights[0][300].re, 0.501187233627, 1e-12);
  EXPECT_NEAR(s.mergeSetup.weights[0][300].im, 0.0, 1e-12);

  typeEnter("mergeUGain", "6");
  EXPECT_NEAR(s.mergeSetup.upperGain, 1.995262314969, 1e-12);

  typeEnter("mergeLDelay", "100");
  EXPECT_DOUBLE_EQ(s.mergeSetup.lowerDelay, 1e-4);
  const double f = s.setup.freqGrid[700];
  const double theta = -2.0 * std::numbers::pi * f * 1e-4;
  EXPECT_NEAR(s.mergeSetup.weights[0][700].re, 0.501187233627 * std::cos(theta), 1e-9);
  EXPECT_NEAR(s.mergeSetup.weights[0][700].im, 0.501187233627 * std::sin(theta), 1e-9);

  // The baffle step of the lower part, B = 0.5 (1 + 2jx) / (1 + jx) with
  // x = (f / 400)^2, i.e. 0.5 (1 + 2x^2 + jx) / (1 + x^2); the upper part
  // keeps its plain gain.
  typeEnter("mergeLDelay", "0");
  typeEnter("mergeStep", "400");
  EXPECT_EQ(s.mergeSetup.baffleFreq, 400.0);
  const double x = std::pow(s.setup.freqGrid[400] / 400.0, 2.0);
  const double den = 1.0 + x * x;
  EXPECT_NEAR(s.mergeSetup.weights[0][400].re, 0.501187233627 * 0.5 * (1.0 + 2.0 * x * x) / den,
              1e-9);
  EXPECT_NEAR(s.mergeSetup.weights[0][400].im, 0.501187233627 * 0.5 * x / den, 1e-9);
  EXPECT_NEAR(s.mergeSetup.weights[1][400].re, 1.995262314969, 1e-9);
  EXPECT_NEAR(s.mergeSetup.weights[1][400].im, 0.0, 1e-9);

  typeEnter("mergeFreq", "1000");
  EXPECT_EQ(s.mergeSetup.transitionFreq, 1000.0);

  choose("mergeUList", "3");
  EXPECT_EQ(s.mergeSetup.storedSlot, 2);
}

// Add Apply with neutral settings and no slot chosen doubles the response.
// Merge Apply: the current response, scaled by -6 dB, up to and including
// 1000 Hz (grid index 574, 993.7 Hz), slot 3 above (index 575, 1002.9 Hz);
// the slots stay as they were and the page is left for "Measure !".
TEST_F(MergeWindowTest, ApplyWritesTheCombinationIntoTheResponse) {
  AppState& s = form->state();
  setResponse({2.0, 0.0});
  openPage(kMergePage);
  get<QRadioButton>("addRButton")->setChecked(true);
  click("mergeApply");
  for (int i : {0, 574, 575, 999}) {
    EXPECT_NEAR(s.setup.response[i].re, 4.0, 1e-12) << i;
    EXPECT_NEAR(s.setup.response[i].im, 0.0, 1e-12) << i;
  }
  EXPECT_EQ(get<QTabWidget>("mainPage")->currentIndex(), kMeasurePage);

  setResponse({0.0, 3.0});
  click("S3");
  setResponse({2.0, 0.0});
  openPage(kMergePage);
  get<QRadioButton>("mergeRButton")->setChecked(true);
  EXPECT_FALSE(s.mergeSetup.addMode);
  choose("mergeUList", "3");
  typeEnter("mergeFreq", "1000");
  typeEnter("mergeLGain", "-6");
  click("mergeApply");

  const double lower = 2.0 * 0.501187233627;
  EXPECT_NEAR(s.setup.response[0].re, lower, 1e-12);
  EXPECT_NEAR(s.setup.response[574].re, lower, 1e-12);
  EXPECT_NEAR(s.setup.response[574].im, 0.0, 1e-12);
  EXPECT_NEAR(s.setup.response[575].re, 0.0, 1e-12);
  EXPECT_NEAR(s.setup.response[575].im, 3.0, 1e-12);
  EXPECT_NEAR(s.setup.response[999].im, 3.0, 1e-12);
  EXPECT_EQ(s.slots[2].response[0].im, 3.0);
  EXPECT_EQ(get<QTabWidget>("mainPage")->currentIndex(), kMeasurePage);
  EXPECT_FALSE(s.mergeSetup.mergeShown);
  EXPECT_TRUE(enabled("S1"));
}

// In impedance mode the gain entries hold factors and Apply goes through
// the impedance preparation: a factor 2 doubles the lower part, the delay
// left from SPL mode does not turn it.
TEST_F(MergeWindowTest, ImpedanceApplyScalesByTheEnteredFactor) {
  AppState& s = form->state();
  openPage(kMergePage);
  typeEnter("mergeLDelay", "250");
  openPage(kMeasurePage);
  openSplZ(1);
  setResponse({8.0, 1.0});

  openPage(kMergePage);
  EXPECT_FALSE(get<QWidget>("mergeLDelay")->isVisibleTo(form.get()));
  typeEnter("mergeLGain", "2");
  EXPECT_EQ(s.mergeSetup.lowerGain, 2.0);
  typeEnter("mergeFreq", "1000");
  click("mergeApply");
  EXPECT_NEAR(s.setup.response[574].re, 16.0, 1e-12);
  EXPECT_NEAR(s.setup.response[574].im, 2.0, 1e-12);
  EXPECT_NEAR(s.setup.response[575].re, 8.0, 1e-12);
  EXPECT_NEAR(s.setup.response[575].im, 1.0, 1e-12);
}

// Code 0 only redraws: the reference offset moves the top of the level axis
// by itself, the range by 2.5 % of its change ((80 - 40) * 0.025 = 1 dB).
// Code 1 computes the response again from the impulse response: a response
// overwritten since the measurement comes back when a window entry sends.
TEST_F(MergeWindowTest, DisplayAndWindowCodes) {
  AppState& s = form->state();
  choose("inDev", "Simulator: loopback cable");
  measure();
  const ComplexCurve measured = s.setup.response;
  const double top = s.curves.dBTop;

  typeEnter("dBOffset", "10");
  EXPECT_NEAR(s.curves.dBTop, top + 10.0, 1e-9);
  typeEnter("splRange", "80");
  EXPECT_NEAR(s.curves.dBTop, top + 11.0, 1e-9);
  EXPECT_EQ(s.setup.response[500].re, measured[500].re);

  s.setup.response.fill(Complex(5.0, 0.0));
  typeEnter("winLengths", "8192");  // unchanged, but Enter always sends
  for (int i : {0, 250, 500, 999}) {
    EXPECT_DOUBLE_EQ(s.setup.response[i].re, measured[i].re) << i;
    EXPECT_DOUBLE_EQ(s.setup.response[i].im, measured[i].im) << i;
  }
}

}  // namespace
