// The microphone data import and the text export from the window, on the
// simulated devices with manual pacing; the file dialogs answer through the
// recorder.

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QStringList>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/combined_audio.h"
#include "platform/sim_audio.h"
#include "ui/qt_dialogs.h"
#include "window_test.h"

namespace {

void writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::vector<std::string> fileLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  const std::string text = all.str();
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) break;
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

class FilesTest : public WindowTest {
 protected:
  void SetUp() override { openWindow(audio); }

  void runToEnd() { runSimToEnd(sim); }
  // A sound card calibration at 48000 Hz through the loopback cable, then
  // one measurement of the simulated loudspeaker from the Measure page.
  void measureLoudspeaker() {
    openPage(kSettingsPage);
    choose("sRate", kRate48000);
    choose("nMLS", kMls16384);
    choose("inDev", "Simulator: loopback cable");
    click("Calibrate");
    runToEnd();
    openPage(kMeasurePage);
    choose("inDev", "Simulator: loudspeaker (mic L, loop R)");
    click("start");
    runToEnd();
    ASSERT_TRUE(state().responseValid);
    ASSERT_TRUE(dialogs.boxes.empty()) << dialogs.boxes[0].text;
  }
  std::string path(const char* name) { return (dataDir.path() + "/" + name).toStdString(); }

  SimAudio sim{SimAudio::Pacing::manual};
  CombinedWaveAudio audio{nullptr, sim};
};

// The microphone level at grid frequency g of the file 20 Hz -1.5 dB,
// 1 kHz 0 dB, 20 kHz 2 dB, worked out from the straight lines in log
// frequency (g below 20 kHz).
double micDb(double g) {
  if (g < 20.0) return -1.5;
  if (g <= 1000.0) return -1.5 + 1.5 * std::log(g / 20.0) / std::log(50.0);
  return 2.0 * std::log(g / 1000.0) / std::log(20.0);
}

}  // namespace

// After a measurement, importing a microphone file lowers the shown level by
// the microphone's level at each grid point, leaves the phase (0 in the
// file) and the measured response alone, and unlocks the "Don't use" box,
// which brings the uncorrected curve back. A cancelled dialog changes nothing.
TEST_F(FilesTest, ImportedMicDataCorrectsTheShownLevel) {
  measureLoudspeaker();
  const RealCurve level = state().curves.splMag[0];
  const RealCurve phase = state().curves.splPhase[0];
  const ComplexCurve response = state().setup.response;
  EXPECT_TRUE(get<QCheckBox>("micDataDisable")->isChecked());
  EXPECT_FALSE(enabled("micDataDisable"));

  openPage(kSettingsPage);
  click("micDataImport");  // cancelled: no answer scripted
  ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
  EXPECT_FALSE(state().micCalValid);
  EXPECT_FALSE(enabled("micDataDisable"));

  const std::string mic = path("mic.txt");
  writeText(mic, "Freq dB Phase\n20 -1.5 0\n1000 0 0\n20000 2 0\n");
  dialogs.fileAnswers.push_back(mic);
  click("micDataImport");
  ASSERT_EQ(dialogs.fileDialogs.size(), 2u);
  EXPECT_FALSE(dialogs.fileDialogs[1].save);
  EXPECT_EQ(dialogs.fileDialogs[1].defaultExt, "txt");
  // The import says what it read: three points from 20 Hz to 20 kHz.
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "Read 3 points from 20 Hz to 20000 Hz.");
  EXPECT_EQ(dialogs.boxes[0].caption, "Mic calibration data");
  EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::information);
  ASSERT_TRUE(state().micCalValid);
  EXPECT_STREQ(state().micFileName, mic.c_str());
  EXPECT_TRUE(enabled("micDataDisable"));
  EXPECT_FALSE(get<QCheckBox>("micDataDisable")->isChecked());
  EXPECT_FALSE(state().setup.micDataOff);

  openPage(kMeasurePage);
  for (int i : {100, 300, 574, 575, 700, 899}) {
    const double g = state().setup.freqGrid[i];
    EXPECT_NEAR(state().curves.splMag[0][i], level[i] - micDb(g), 1e-9) << i << " " << g;
    EXPECT_NEAR(std::remainder(state().curves.splPhase[0][i] - phase[i], 360.0), 0.0, 1e-9) << i;
  }
  for (int i = 0; i < kGridPoints; ++i) ASSERT_EQ(state().setup.response[i], response[i]) << i;

  openPage(kSettingsPage);
  tick("micDataDisable", true);
  EXPECT_TRUE(state().setup.micDataOff);
  openPage(kMeasurePage);
  for (int i : {100, 300, 700}) EXPECT_DOUBLE_EQ(state().curves.splMag[0][i], level[i]) << i;
}

// A change of the sample rate reads the file named last again, without a
// dialog; when it has gone, the message says so and the data is no longer
// used. Loaded data and the "Don't use" choice survive a restart.
TEST_F(FilesTest, MicDataIsReadAgainAndKeptOverARestart) {
  const std::string mic = path("mic.txt");
  writeText(mic, "1000 -6 0\n2000 -6 0\n");
  dialogs.fileAnswers.push_back(mic);
  openPage(kSettingsPage);
  click("micDataImport");
  ASSERT_TRUE(state().micCalValid);
  EXPECT_NEAR(state().micCal[500].re, std::pow(10.0, -0.3), 1e-12);
  ASSERT_EQ(dialogs.boxes.size(), 1u);  // what it read; the re-reads below say nothing
  EXPECT_EQ(dialogs.boxes[0].text, "Read 2 points from 1000 Hz to 2000 Hz.");
  dialogs.boxes.clear();

  writeText(mic, "1000 6 0\n2000 6 0\n");
  choose("sRate", kRate48000);
  EXPECT_EQ(dialogs.fileDialogs.size(), 1u);
  EXPECT_TRUE(state().micCalValid);
  EXPECT_NEAR(state().micCal[500].re, std::pow(10.0, 0.3), 1e-12);
  EXPECT_TRUE(dialogs.boxes.empty());

  // Kept over a restart: the box is unlocked and shows the stored choice.
  form.reset();
  openWindow(audio);
  EXPECT_TRUE(state().micCalValid);
  EXPECT_STREQ(state().micFileName, mic.c_str());
  EXPECT_NEAR(state().micCal[500].re, std::pow(10.0, 0.3), 1e-12);
  EXPECT_TRUE(enabled("micDataDisable"));
  EXPECT_FALSE(get<QCheckBox>("micDataDisable")->isChecked());

  ASSERT_TRUE(QFile::remove(QString::fromStdString(mic)));
  openPage(kSettingsPage);
  choose("sRate", kRate48000);
  EXPECT_EQ(dialogs.fileDialogs.size(), 1u);
  EXPECT_FALSE(state().micCalValid);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "Could not open file.\nCheck if path and filename is correct.");
  EXPECT_EQ(dialogs.boxes[0].caption, "Mic calibration data");
}

// A microphone file with two frequencies that differ by less than their
// logarithms can tell imports as a finite curve, and over a restart the
// sound card calibration, the settings and the microphone data all stay.
TEST_F(FilesTest, MicFileWithNearlyEqualFrequenciesLosesNothingOverARestart) {
  measureLoudspeaker();
  const ComplexCurve cal = state().soundcardCal.table[0][kRate48000][kMls16384][0];
  const std::string mic = path("dup.txt");
  writeText(mic, "100 0 0\n20071.212452496606 1 0\n20071.21245249661 2 0\n60000 3 0\n");
  dialogs.fileAnswers.push_back(mic);
  openPage(kSettingsPage);
  click("micDataImport");
  ASSERT_TRUE(state().micCalValid);
  const ComplexCurve micCal = state().micCal;
  for (const Complex& c : micCal) ASSERT_TRUE(std::isfinite(c.re) && std::isfinite(c.im));
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "Read 4 points from 100 Hz to 60000 Hz.");
  dialogs.boxes.clear();

  form.reset();
  openWindow(audio);
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_EQ(state().setup.sampleRate, 48000);
  EXPECT_EQ(state().setup.mlsOrder, 14);
  EXPECT_TRUE(state().micCalValid);
  EXPECT_TRUE(state().soundcardCal.calibratedFlags[0][kRate48000][kMls16384]);
  for (int i = 0; i < kGridPoints; ++i) {
    ASSERT_EQ(state().soundcardCal.table[0][kRate48000][kMls16384][0][i], cal[i]) << i;
    ASSERT_EQ(state().micCal[i], micCal[i]) << i;
  }
}

// A damaged calibration file at start-up: the calibration comes from the
// generation before it, and the user is told once.
TEST_F(FilesTest, DamagedCalibrationIsRestoredFromItsBackupAndSaidOnce) {
  measureLoudspeaker();
  form.reset();  // the first sonrake.cal
  openWindow(audio);
  form.reset();  // the second, the first kept as sonrake.cal.bak
  ASSERT_TRUE(QFile::exists(QString::fromStdString(path("sonrake.cal.bak"))));
  ASSERT_TRUE(QFile::resize(QString::fromStdString(path("sonrake.cal")), 1000));

  openWindow(audio);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text,
            "The calibration file sonrake.cal could not be read.\n"
            "The sound card calibration was restored from sonrake.cal.bak.");
  EXPECT_EQ(dialogs.boxes[0].caption, "Sound card calibration");
  EXPECT_TRUE(state().soundcardCal.calibratedFlags[0][kRate48000][kMls16384]);

  form.reset();
  openWindow(audio);
  EXPECT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_TRUE(state().soundcardCal.calibratedFlags[0][kRate48000][kMls16384]);
}

// Export after a measurement: the header and one line per grid point from
// 20 Hz to 20 kHz (grid points 151 to 899) with the shown level and phase of
// curve 0; a cancelled dialog writes nothing.
TEST_F(FilesTest, ExportWritesTheShownCurveForTheShownRange) {
  measureLoudspeaker();
  get<QTabWidget>("TimeFreqCtrl")->setCurrentIndex(1);
  ASSERT_TRUE(enabled("exportMeas"));

  const std::string out = path("export.txt");
  click("exportMeas");  // cancelled
  ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
  EXPECT_TRUE(dialogs.fileDialogs[0].save);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(out)));

  dialogs.fileAnswers.push_back(out);
  click("exportMeas");
  EXPECT_TRUE(dialogs.boxes.empty());
  const std::vector<std::string> lines = fileLines(out);
  ASSERT_EQ(lines.size(), 750u);
  EXPECT_EQ(lines[0], "   Freq \t     Mag \t   Phase");
  EXPECT_EQ(lines[1].substr(0, 10), "   20.12 \t");
  EXPECT_EQ(lines[749].substr(0, 10), "19887.02 \t");
  const DisplayCurves& c = state().curves;
  for (int j : {151, 400, 650, 899}) {
    char expected[128];
    std::snprintf(expected, sizeof expected, "%8.2f \t%8.1f \t%8.1f",
                  5.0 * std::pow(10.0, 4.0 * j / 999.0), c.splMag[0][j], c.splPhase[0][j]);
    EXPECT_EQ(lines[j - 150], expected) << j;
  }
}

// The Qt file dialogs: the program's filter pairs as name filters, the
// default suffix added to a name without one, the chosen path handed back,
// a cancel, and a path too long for the caller's buffer counted as a cancel.
TEST(QtFileDialogs, FiltersSuffixAndChosenPath) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QWidget owner;
  TQtDialogs qt(&owner);
  const FileDialogRequest request{"txt", kTextFileFilter, ""};
  QStringList filters;
  QString suffix;
  // Answers the next dialog once it runs: accept with `name`, or reject.
  const auto answer = [&](const QString& name) {
    QTimer::singleShot(0, [&, name] {
      auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(d, nullptr);
      filters = d->nameFilters();
      suffix = d->defaultSuffix();
      if (name.isEmpty()) {
        d->reject();
      } else {
        d->selectFile(name);
        static_cast<QDialog*>(d)->accept();
      }
    });
  };

  char path[kDialogPathCapacity] = "unchanged";
  answer(dir.path() + QStringLiteral("/export"));
  ASSERT_TRUE(qt.saveFileDialog(request, path, sizeof path));
  EXPECT_EQ(QString::fromUtf8(path), dir.path() + QStringLiteral("/export.txt"));
  EXPECT_EQ(filters, (QStringList{QStringLiteral("Text files (*.TXT *.txt)"),
                                  QStringLiteral("All files (*)")}));
  EXPECT_EQ(suffix, QStringLiteral("txt"));

  answer(QString());
  std::strcpy(path, "unchanged");
  EXPECT_FALSE(qt.saveFileDialog(request, path, sizeof path));
  EXPECT_STREQ(path, "unchanged");

  answer(dir.path() + QStringLiteral("/export.txt"));
  char tiny[8] = "tiny";
  EXPECT_FALSE(qt.saveFileDialog(request, tiny, sizeof tiny));
  EXPECT_STREQ(tiny, "tiny");
}
