// WAV files from the window: the "Session" button's menu exports the impulse
// response and the excitation, and analyses a recording of the excitation as
// a measurement (here the excitation itself, a perfect cable); a refused
// recording says why in a box captioned as the menu entry.

#include <QApplication>
#include <QMenu>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/combined_audio.h"
#include "platform/sim_audio.h"
#include "window_test.h"

namespace {

// The menu's entries by position: two session entries, a separator, the WAV
// entries.
constexpr int kImpulseEntry = 3;
constexpr int kExcitationEntry = 4;
constexpr int kAnalyseEntry = 5;

class WavWindowTest : public WindowTest {
 protected:
  void SetUp() override { openWindow(combined); }

  std::string path(const char* name) {
    return (dataDir.path() + QLatin1Char('/') + QLatin1String(name)).toStdString();
  }
  void pick(int index, const std::string& file) {
    dialogs.fileAnswers.push_back(file);
    QTimer::singleShot(0, [this, index] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      ASSERT_NE(menu, nullptr);
      ASSERT_GT(menu->actions().size(), index);
      QAction* action = menu->actions()[index];
      entries.push_back(action->text().toStdString());
      menu->close();
      action->trigger();
    });
    click("sessionButton");
    QCoreApplication::processEvents();
  }
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
  std::vector<std::string> entries;
};

}  // namespace

TEST_F(WavWindowTest, SessionMenuExportsAndAnalysesWavFiles) {
  ASSERT_TRUE(chooseStartingWith("inDev", "Simulator: loudspeaker"));
  measure();
  ASSERT_TRUE(state().responseValid);

  pick(kImpulseEntry, path("ir.wav"));
  pick(kExcitationEntry, path("ex.wav"));
  EXPECT_EQ(entries, (std::vector<std::string>{"Export impulse as WAV\u2026",
                                               "Export excitation as WAV\u2026"}));
  ASSERT_EQ(dialogs.fileDialogs.size(), 2u);
  EXPECT_TRUE(dialogs.fileDialogs[0].save);
  EXPECT_EQ(dialogs.fileDialogs[0].filter, "WAV files (*.wav)|*.WAV|All files (*.*)|*.*");
  EXPECT_TRUE(dialogs.boxes.empty());
  // One period of float samples; the lead, one period and its silent frame of
  // 16-bit stereo.
  const auto mlsSize = static_cast<uintmax_t>(state().setup.mlsSize);
  EXPECT_GT(std::filesystem::file_size(path("ir.wav")), (mlsSize - 1) * 4);
  EXPECT_GE(std::filesystem::file_size(path("ex.wav")), 44 + (2000 + mlsSize) * 4);

  // The loudspeaker's high-pass at 60 Hz: 20 Hz lies far below 1 kHz. The
  // analysed excitation is flat, and takes the measurement's place.
  const auto lowToMid = [this] {
    const ComplexCurve& r = state().setup.response;
    return abs(r[151]) / abs(r[575]);  // 20.1 Hz and 1.00 kHz
  };
  EXPECT_LT(lowToMid(), 0.3);
  saveScreenshot("wav_measured.png");
  pick(kAnalyseEntry, path("ex.wav"));
  EXPECT_EQ(entries.back(), "Analyse WAV recording\u2026");
  EXPECT_FALSE(dialogs.fileDialogs.back().save);
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_FALSE(runUnderway());
  EXPECT_TRUE(enabled("start"));
  EXPECT_TRUE(enabled("exportMeas"));
  EXPECT_NEAR(lowToMid(), 1.0, 0.05);
  saveScreenshot("wav_analysed.png");

  std::ofstream(path("text.wav")) << "no wave\n";
  pick(kAnalyseEntry, path("text.wav"));
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].caption, "Analyse WAV recording");
  EXPECT_EQ(dialogs.boxes[0].text.rfind("The file is not a WAV file that can be read", 0), 0u)
      << dialogs.boxes[0].text;
}
