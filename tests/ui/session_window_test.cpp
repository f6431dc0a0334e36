// Sessions from the window: the "Session" button's menu saves the
// measurement and the slots, and opens them again with every list and box
// showing the opened settings; a refused file says why and changes nothing.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "platform/combined_audio.h"
#include "platform/sim_audio.h"
#include "window_test.h"

namespace {

class SessionWindowTest : public WindowTest {
 protected:
  void SetUp() override { openWindow(combined); }

  void measure() {
    click("start");
    for (int i = 0; i < 4 && runUnderway(); ++i) {
      sim.runUntilIdle();
      QCoreApplication::processEvents();
    }
    ASSERT_FALSE(runUnderway());
  }

  SimAudio sim{SimAudio::Pacing::manual};
  CombinedWaveAudio combined{nullptr, sim};
};

}  // namespace

TEST_F(SessionWindowTest, SaveAndOpenASessionFromTheSessionMenu) {
  ASSERT_TRUE(chooseStartingWith("inDev", "Simulator: loopback"));
  measure();
  ASSERT_TRUE(state().responseValid);
  QLineEdit* title = get<QLineEdit>("freqDTitle");
  title->setText(QStringLiteral("bass run"));
  Q_EMIT title->editingFinished();
  click("S2");
  choose("cbSmooth", 3);
  tick("hidePhase", true);
  saveScreenshot("session_button.png");

  const std::string file = path("run.sonrake");
  dialogs.fileAnswers.push_back(file);
  pickFromNextMenu(0);
  click("sessionButton");
  QCoreApplication::processEvents();
  ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
  EXPECT_TRUE(dialogs.fileDialogs[0].save);
  EXPECT_EQ(dialogs.fileDialogs[0].filter, "Sonrake sessions (*.sonrake)|*.sonrake|All files (*.*)|*.*");
  EXPECT_TRUE(dialogs.boxes.empty());
  const MeasSetup saved = state().slots[1];
  const int order = state().setup.mlsOrder;

  // Other settings, then the session again: the controls show it.
  choose("nMLS", order == 15 ? 0 : 3);
  choose("cbSmooth", 0);
  tick("hidePhase", false);
  dialogs.fileAnswers.push_back(file);
  pickFromNextMenu(1);
  click("sessionButton");
  QCoreApplication::processEvents();
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_EQ(get<QComboBox>("nMLS")->currentIndex(), order - 12);
  EXPECT_EQ(state().setup.mlsOrder, order);
  EXPECT_EQ(get<QComboBox>("cbSmooth")->currentIndex(), 3);
  EXPECT_TRUE(get<QCheckBox>("hidePhase")->isChecked());
  EXPECT_EQ(title->text(), QStringLiteral("bass run"));
  EXPECT_TRUE(enabled("R2"));
  EXPECT_EQ(get<QWidget>("R2")->toolTip(), QStringLiteral("bass run"));
  EXPECT_EQ(std::memcmp(state().slots[1].response.data(), saved.response.data(), sizeof saved.response), 0);
  EXPECT_TRUE(enabled("exportMeas"));

  // Binary noise: refused in a box captioned as the menu item, nothing changed.
  const std::string bad = path("noise.sonrake");
  std::ofstream(bad, std::ios::binary) << std::string("\x00\xff\x12{[\"", 7);
  dialogs.fileAnswers.push_back(bad);
  pickFromNextMenu(1);
  click("sessionButton");
  QCoreApplication::processEvents();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].caption, "Open session");
  EXPECT_EQ(get<QComboBox>("cbSmooth")->currentIndex(), 3);
  EXPECT_TRUE(enabled("R2"));
}

// Closing the window keeps the session; the next window offers it and, on
// yes, shows the stored slot again.
TEST_F(SessionWindowTest, LastSessionKeptAtCloseIsOfferedByTheNextWindow) {
  ASSERT_TRUE(chooseStartingWith("inDev", "Simulator: loopback"));
  measure();
  QLineEdit* title = get<QLineEdit>("freqDTitle");
  title->setText(QStringLiteral("kept run"));
  Q_EMIT title->editingFinished();
  click("S3");
  const MeasSetup stored = state().slots[2];
  EXPECT_TRUE(form->close());
  ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(path(kLastSessionFile))));
  EXPECT_TRUE(dialogs.boxes.empty());

  form.reset();
  openWindow(combined);
  EXPECT_FALSE(enabled("R3"));
  dialogs.answer = MsgResult::yes;
  form->offerLastSession();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].caption, "Session");
  EXPECT_TRUE(enabled("R3"));
  EXPECT_EQ(get<QWidget>("R3")->toolTip(), QStringLiteral("kept run"));
  EXPECT_EQ(
      std::memcmp(state().slots[2].response.data(), stored.response.data(), sizeof stored.response),
      0);
}
