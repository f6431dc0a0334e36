// Curve files from the window: "Load curve..." on a slot (its buttons'
// context menu and the button's menu of slots), the loaded curve recalled
// and exported again, unsmoothed, as FRD.

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/combined_audio.h"
#include "platform/sim_audio.h"
#include "window_test.h"

namespace {

class CurveFilesWindowTest : public WindowTest {
 protected:
  void SetUp() override { openWindow(combined); }

  SimAudio sim{SimAudio::Pacing::manual};
  CombinedWaveAudio combined{nullptr, sim};
};

}  // namespace

// The "Load curve..." button offers the eight slots; the file chosen fills
// slot 3, whose recall button comes on with the file's name as its hint. A
// right-click on S5 loads into slot 5; a refused file says why and leaves
// the slot empty. The loaded curve, recalled, shows and is exported as FRD.
TEST_F(CurveFilesWindowTest, LoadCurveIntoASlotAndExportItAgain) {
  const std::string curve = path("tweeter.frd");
  std::ofstream(curve) << "* from another program\n1000\t-3\t10\n20000\t-1\t-80\n";
  EXPECT_FALSE(enabled("R3"));
  dialogs.fileAnswers.push_back(curve);
  pickFromNextMenu(2);
  click("loadCurve");
  QCoreApplication::processEvents();
  ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
  EXPECT_FALSE(dialogs.fileDialogs[0].save);
  EXPECT_EQ(dialogs.fileDialogs[0].filter, "Curve files (*.frd;*.zma;*.txt;*.csv)|*.FRD;*.ZMA;*.TXT;*.CSV|All files (*.*)|*.*");
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_TRUE(state().slots[2].hasResponse);
  EXPECT_TRUE(enabled("R3"));
  EXPECT_EQ(get<QWidget>("R3")->toolTip(), QStringLiteral("tweeter.frd"));

  const std::string bad = path("bad.txt");
  std::ofstream(bad) << "2000 1\n1000 2\n";
  dialogs.fileAnswers.push_back(bad);
  QPushButton* s5 = get<QPushButton>("S5");
  pickFromNextMenu(0);
  Q_EMIT s5->customContextMenuRequested(QPoint(2, 2));
  QCoreApplication::processEvents();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "The frequencies in the file do not ascend (line 2).");
  EXPECT_EQ(dialogs.boxes[0].caption, "Load curve");
  EXPECT_FALSE(state().slots[4].hasResponse);
  EXPECT_FALSE(enabled("R5"));

  click("R3");
  EXPECT_TRUE(state().measurementShown);
  EXPECT_TRUE(state().responseValid);
  EXPECT_TRUE(enabled("exportMeas"));
  choose("cbSmooth", 3);
  tick("exportUnsmoothed", true);
  saveScreenshot("curve_file_loaded.png");

  const std::string out = path("again.frd");
  dialogs.fileAnswers.push_back(out);
  click("exportMeas");
  std::ifstream in(out);
  std::string line;
  int rows = 0;
  bool unsmoothedSaid = false;
  while (std::getline(in, line)) {
    if (line == "* Smoothing: none (unsmoothed export)") unsmoothedSaid = true;
    if (!line.empty() && line[0] != '*') ++rows;
  }
  EXPECT_TRUE(unsmoothedSaid);
  // 1 kHz to 20 kHz: grid points 575 (999/4 log10(200) = 574.7) to 899.
  EXPECT_EQ(rows, 899 - 575 + 1);
}
