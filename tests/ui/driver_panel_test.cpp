// The driver page of the window: filled after an impedance measurement and
// a recall, the second curve from a slot, the model drawn over the curve,
// "Copy" as text, and a curve without a driver. The expected values are the
// simulated driver's (Re 6 ohm, fs 45 Hz, Qms 3.5, Qes 0.45, Mms 20 g).

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>

#include "../core/clipboard_recorder.h"
#include "platform/combined_audio.h"
#include "platform/sim_audio.h"
#include "ui/edit_num.h"
#include "window_test.h"

namespace {

constexpr int kDriverPage = 3;
constexpr int kMls32768 = 3;

class DriverPanelTest : public WindowTest {
 protected:
  void SetUp() override {
    openWindow(audio);
    form->setClipboard(clipboard);
  }
  // Impedance mode at 48000 Hz, order 15, exact evaluation, flat window,
  // calibrated through the cable.
  void prepare() {
    openSplZ(1);
    tick("exactEval", true);
    tick("flatWindow", true);
    openPage(kSettingsPage);
    choose("sRate", kRate48000);
    choose("nMLS", kMls32768);
    choose("inDev", "Simulator: loopback cable");
    click("Calibrate");
    runSimToEnd(sim);
    openPage(kMeasurePage);
  }
  void measure(const char* input) {
    choose("inDev", input);
    click("start");
    runSimToEnd(sim);
  }
  // The value after `name` in the panel's table, read from its text.
  double shown(const char* name) {
    const QString text = get<QLabel>("drvValues")->text();
    const QString cell = QStringLiteral("<td>%1&nbsp;</td><td align=right>").arg(QString::fromLatin1(name));
    const qsizetype at = text.indexOf(cell);
    if (at < 0) return NAN;
    const qsizetype start = at + cell.size();
    bool number = false;
    const double v = text.mid(start, text.indexOf(QLatin1Char('<'), start) - start).toDouble(&number);
    return number ? v : NAN;
  }
  // Every control of the driver page lies inside the page, and the table's
  // and the message's text fit their labels.
  void expectNothingClipped() {
    QWidget* page = get<QWidget>("DriverSheet");
    const QList<QWidget*> children = page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* w : children) {
      const std::string name = w->objectName().toStdString();
      EXPECT_TRUE(page->rect().contains(w->geometry())) << name;
      // No control covers another, and each shows its whole text.
      for (QWidget* other : children) {
        if (other == w) continue;
        EXPECT_FALSE(w->geometry().intersects(other->geometry()))
            << name << " / " << other->objectName().toStdString();
      }
      if (auto* combo = qobject_cast<QComboBox*>(w)) {
        EXPECT_LE(combo->sizeHint().width(), combo->width()) << name;
      }
      if (auto* box = qobject_cast<QCheckBox*>(w)) {
        EXPECT_LE(box->sizeHint().width(), box->width()) << name;
      }
    }
    for (const char* name : {"drvValues", "drvMessage"}) {
      QLabel* l = get<QLabel>(name);
      EXPECT_LE(l->sizeHint().width(), l->width()) << name;
      EXPECT_LE(l->sizeHint().height(), l->height()) << name;
    }
  }

  SimAudio sim{SimAudio::Pacing::manual};
  CombinedWaveAudio audio{nullptr, sim};
  ClipboardRecorder clipboard;
};

TEST_F(DriverPanelTest, FilledAfterMeasurementRecallAndWithTheSecondCurve) {
  prepare();
  measure("Simulator: impedance jig 12 ohm, 10 g added");
  click("S2");
  measure("Simulator: impedance jig 12 ohm");
  openPage(kDriverPage);
  EXPECT_NEAR(shown("Re"), 6.0, 0.03);
  EXPECT_NEAR(shown("fs"), 45.0, 0.135);
  EXPECT_NEAR(shown("Qms"), 3.5, 0.0525);
  EXPECT_TRUE(std::isnan(shown("Mms")));  // a dash: no second curve yet
  EXPECT_EQ(get<QLabel>("drvMessage")->text(), "");
  // The page leaves the measurement on the graph.
  EXPECT_TRUE(state().measurementShown);
  EXPECT_FALSE(state().calibrationView);
  EXPECT_FALSE(state().mergeSetup.mergeShown);

  // The added-mass method with the 10 g curve from slot 2.
  choose("drvMethod", "Added mass");
  EXPECT_EQ(get<QLabel>("drvMessage")->text(), "Enter the added mass or box volume, and Sd.");
  for (auto [entry, text] : {std::pair{"drvAmount", "10"}, std::pair{"drvSd", "220"}}) {
    TEditNum* e = get<TEditNum>(entry);
    e->setFocus();
    e->selectAll();
    QTest::keyClicks(e, QString::fromLatin1(text));
    QTest::keyClick(e, Qt::Key_Return);
  }
  EXPECT_EQ(get<QLabel>("drvMessage")->text(), "Store the second curve in the slot chosen.");
  choose("drvSlot", "2");
  EXPECT_NEAR(shown("Mms"), 20.0, 0.6);
  EXPECT_NEAR(shown("Bl"), 8.683, 0.26);
  EXPECT_TRUE(get<QLabel>("drvMessage")->text().startsWith("Air:"));

  // The model over the curve, and the picture of it.
  tick("drvModel", true);
  int drawn = 0;
  for (int i = 0; i < kGridPoints; ++i) {
    const double m = state().curves.zModel[i];
    if (std::isnan(m)) continue;
    ++drawn;
    EXPECT_NEAR(m / abs(state().setup.response[i]), 1.0, 0.01) << state().setup.freqGrid[i];
  }
  EXPECT_GT(drawn, 100);
  get<QTabWidget>("TimeFreqCtrl")->setCurrentIndex(1);
  saveScreenshot("driver_params.png");
  expectNothingClipped();

  // Copy: the same values as lines of text.
  click("drvCopy");
  ASSERT_EQ(clipboard.texts.size(), 1u);
  const std::string& text = clipboard.texts[0];
  const size_t mms = text.find("Mms ");
  ASSERT_NE(mms, std::string::npos) << text;
  EXPECT_NEAR(std::strtod(text.c_str() + mms + 4, nullptr), 20.0, 0.6) << text;  // 3 % of 20.0 g
  EXPECT_NE(text.find(" g\n", mms), std::string::npos) << text;
  EXPECT_NE(text.find("rho 1.180 kg/m3"), std::string::npos) << text;
  EXPECT_EQ(text.find("nan"), std::string::npos) << text;

  // Recalling the heavier curve: its own fs, and it is no longer lower
  // than itself.
  click("R2");
  EXPECT_NEAR(shown("fs"), 36.74, 0.11);
  EXPECT_EQ(get<QLabel>("drvMessage")->text(), "The curve with the added mass must have a lower fs.");
  EXPECT_TRUE(std::isnan(shown("Mms")));
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(DriverPanelTest, AnOpenJigShowsWhyAndNoNumbers) {
  prepare();
  measure("Simulator: loopback cable");  // nothing across the jig's terminals
  openPage(kDriverPage);
  EXPECT_EQ(get<QLabel>("drvMessage")->text(), "Open circuit: no driver is connected.");
  const QString values = get<QLabel>("drvValues")->text();
  EXPECT_FALSE(values.contains(QStringLiteral("nan"), Qt::CaseInsensitive));
  for (const char* name : {"Re", "fs", "Qms", "Le"}) EXPECT_TRUE(std::isnan(shown(name))) << name;
  EXPECT_FALSE(enabled("drvCopy"));
  saveScreenshot("driver_params_open.png");
  expectNothingClipped();
  // A change to SPL leaves no parameters behind.
  openPage(kMeasurePage);
  openSplZ(0);
  EXPECT_EQ(state().driverParams.status, ParamsStatus::noCurve);
}

}  // namespace
