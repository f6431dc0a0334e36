#include "ui/main_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <memory>
#include <string>

#include "../core/dialog_recorder.h"
#include "platform/sim_audio.h"
#include "ui/close_on_signal.h"
#include "ui/edit_num.h"
#include "ui/image_view.h"

namespace {

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A data directory of its own, empty: a first start without files, on
    // the simulated devices only, so that no sound card of the machine's
    // changes what the window shows.
    ASSERT_TRUE(dataDir.isValid());
    qputenv("KALDER", dataDir.path().toLocal8Bit() + "/");
    form = std::make_unique<TMainForm>(sim, dialogs);
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  }
  void TearDown() override {
    form.reset();
    qunsetenv("KALDER");
  }

  template <typename T>
  T* get(const char* name) {
    T* w = form->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QString text(const char* entry) { return get<TEditNum>(entry)->text(); }
  bool shown(const char* name) { return !get<QWidget>(name)->isHidden(); }
  bool enabled(const char* name) { return get<QWidget>(name)->isEnabled(); }
  // A user's choice in a list: the item, then the list's change event.
  void choose(const char* list, int index) {
    QComboBox* c = get<QComboBox>(list);
    c->setCurrentIndex(index);
    Q_EMIT c->activated(index);
  }
  void typeEnter(const char* entry, const char* typed) {
    TEditNum* e = get<TEditNum>(entry);
    e->setFocus(Qt::TabFocusReason);
    e->selectAll();
    QTest::keyClicks(e, QString::fromLatin1(typed));
    QTest::keyClick(e, Qt::Key_Return);
  }
  void openPage(int index) { get<QTabWidget>("mainPage")->setCurrentIndex(index); }

  QTemporaryDir dataDir;
  SimAudio sim{SimAudio::Pacing::realTime};
  DialogRecorder dialogs;
  std::unique_ptr<TMainForm> form;  // reset before the devices go
};

TEST_F(MainFormTest, WindowCaptionAndSize) {
  EXPECT_EQ(form->windowTitle(), "Sonrake 1.00");
  EXPECT_EQ(form->width(), 667);
  EXPECT_EQ(form->height(), 572);
}

TEST_F(MainFormTest, FirstStartWithoutFiles) {
  EXPECT_EQ(get<QComboBox>("sRate")->currentText(), "44100");
  EXPECT_EQ(get<QComboBox>("sRate")->currentIndex(), 6);
  EXPECT_EQ(get<QComboBox>("nMLS")->currentText(), "8192");
  EXPECT_FALSE(shown("sRateC"));
  EXPECT_FALSE(enabled("showCh"));
  EXPECT_EQ(get<QComboBox>("minZ")->currentText(), "1.0");
  EXPECT_EQ(get<QComboBox>("maxZ")->currentText(), "100");
  EXPECT_TRUE(shown("unCalibrated"));
  EXPECT_EQ(get<QLabel>("unCalibrated")->text(), "Uncalibrated");

  // Every numeric entry shows its default through its scale and format:
  // 8192 samples at 44100 Hz are 185.759... ms; 0 samples are 0 cm.
  EXPECT_EQ(text("winLengthms"), "185.76");
  EXPECT_EQ(text("winLengths"), "8192");
  EXPECT_EQ(text("winStartms"), "0.0000");
  EXPECT_EQ(text("winStartcm"), "0.00");
  EXPECT_EQ(text("ZR"), "12.00");
  EXPECT_EQ(text("splRange"), "40.0");
  EXPECT_EQ(text("splScale"), "0.0");
  EXPECT_EQ(text("dBOffset"), "0.0");
  EXPECT_EQ(text("fLow"), "20");
  EXPECT_EQ(text("fHigh"), "20000");
  EXPECT_EQ(text("sRateC"), "44100");
  EXPECT_EQ(text("mergeLDelay"), "0.0");
  EXPECT_EQ(text("mergeUDelay"), "0.0");
  EXPECT_EQ(text("mergeLGain"), "0.0");
  EXPECT_EQ(text("mergeUGain"), "0.0");
  EXPECT_EQ(text("mergeFreq"), "500");
  EXPECT_EQ(text("mergeStep"), " 0");  // "%2.0f" pads to two characters

  // Pages and lists.
  QTabWidget* mainPage = get<QTabWidget>("mainPage");
  EXPECT_EQ(mainPage->tabText(mainPage->currentIndex()), "Measure !");
  QTabWidget* graphs = get<QTabWidget>("TimeFreqCtrl");
  EXPECT_EQ(graphs->tabText(graphs->currentIndex()), "Freq domain");
  QTabWidget* splZ = get<QTabWidget>("SplZ");
  EXPECT_EQ(splZ->tabText(splZ->currentIndex()), "SPL");
  EXPECT_EQ(get<QComboBox>("cbSmooth")->currentText(), "none");
  EXPECT_EQ(get<QComboBox>("cbSmooth")->count(), 7);
  EXPECT_EQ(get<QComboBox>("mergeUList")->count(), 8);
  EXPECT_EQ(get<QComboBox>("mergeUList")->currentIndex(), -1);
  EXPECT_EQ(get<QComboBox>("sRate")->itemText(0), "Custom");
  EXPECT_EQ(get<QComboBox>("sRate")->itemText(10), "96000");
  EXPECT_EQ(get<QComboBox>("nMLS")->itemText(3), "32768");
  EXPECT_EQ(get<QComboBox>("minZ")->itemText(0), "0.1");
  EXPECT_EQ(get<QComboBox>("maxZ")->itemText(5), "1000");
  EXPECT_EQ(get<QComboBox>("showCh")->itemText(2), "Ch 1 - 2");
  EXPECT_EQ(get<QComboBox>("outDev")->currentText(), "Simulator output");
  EXPECT_EQ(get<QComboBox>("inDev")->currentIndex(), 0);
  EXPECT_EQ(get<QComboBox>("inDev")->itemText(2), "Simulator: impedance jig 12 ohm");

  // Buttons and boxes as the window starts.
  EXPECT_TRUE(enabled("S1"));
  EXPECT_TRUE(enabled("start"));
  EXPECT_FALSE(enabled("R1"));
  EXPECT_FALSE(enabled("R8"));
  EXPECT_TRUE(get<QCheckBox>("micDataDisable")->isChecked());
  EXPECT_FALSE(enabled("micDataDisable"));
  EXPECT_FALSE(get<QRadioButton>("mergeRButton")->isChecked());
  EXPECT_FALSE(get<QRadioButton>("addRButton")->isChecked());
  EXPECT_EQ(get<QLineEdit>("freqLabel")->text(), "   ");
  EXPECT_TRUE(get<QLineEdit>("yLabel1")->isReadOnly());
}

struct ControlText {
  const char* name;
  const char* text;  // nullptr: not checked
  const char* hint;
};

TEST_F(MainFormTest, ControlsCarryTheirTextsAndHints) {
  const ControlText table[] = {
      {"S1", "S1", "Store as measurement 1"},
      {"S8", "S8", "Store as measurement 8"},
      {"R3", "R3", "Recall measurement 3"},
      {"TimeFreqCtrl", nullptr, "Show time or frequency domain response"},
      {"showCh", nullptr, "Show channel"},
      {"exportMeas", "Export", "Export measurement"},
      {"copyFToClip", "Copy", "Copy bitmap image to clipboard"},
      {"freqLabel", nullptr, "Frequency"},
      {"yLabel2", nullptr, "Phase"},
      {"hidePhase", "Hide phase", "Hide phase"},
      {"freqDTitle", nullptr, "Type a title here"},
      {"sRate", nullptr, "Set the sampling rate"},
      {"nMLS", nullptr, "Set the length of the MLS sequence"},
      {"inDev", nullptr, "Select input wave device"},
      {"outDev", nullptr, "Select output wave device"},
      {"Level", "Test levels", "Click here to test that the input level is OK"},
      {"Calibrate", "Soundcard cal.", "Calibrate soundcard"},
      {"micDataDisable", "Don't use", "Don't use mic calibration data "},
      {"micDataImport", "Import", "Import mic calibration data"},
      {"SplZ", nullptr, "Select SPL or impedance measurement"},
      {"start", "Start", "Start a measurement"},
      {"cbCycle", "Cyclic", "This will enable cyclic (repeated) measurements"},
      {"delayStart", "Delay start 2s", "Delay measurement app. 2s"},
      {"winStartcm", nullptr, "Offset of analysis window (cm)"},
      {"winLengths", nullptr, "Length of analysis window (samples)"},
      {"dBOffset", nullptr, "Set additional offset for the autoscaling"},
      {"dBOffsetPre", "Ref offset", nullptr},
      {"invert", "Invert", "Invert phase"},
      {"twoChMode", "2ch mode", "Select two channel measurement mode (reference input is right ch.)"},
      {"ZR", nullptr, "Resistor value used for impedance measurements"},
      {"maxZ", nullptr, "Max displayed impedance value"},
      {"zSmooth", "Smooth 1/24th octave", "Smooth measurement"},
      {"mergeFreq", nullptr, "Transition frequency"},
      {"mergeUList", nullptr, "Select stored graph"},
      {"mergeRButton", "Merge", "Merge graphs"},
      {"addRButton", "Add", "Add graphs"},
      {"mergeApply", "Apply", "Replace current graph with merged/added graph"},
      {"mergeStep", nullptr,
       "Transition frequency of baffle step (compensation for nearfield measurements)"},
      {"mergeStepPre", "Baffle step", nullptr},
      {"mergeUGain", nullptr, "Scaling of stored graph"},
      {"mergeLDelayPost", "us", nullptr},
      {"SonrakeLabel", "Sonrake", nullptr},
      {"Label12", "Sonrake", nullptr},
  };
  for (const ControlText& c : table) {
    QWidget* w = get<QWidget>(c.name);
    if (w == nullptr) continue;
    if (c.hint != nullptr) {
      // The device lists add the chosen device's whole name on a second line.
      EXPECT_EQ(w->toolTip().section(QLatin1Char('\n'), 0, 0), c.hint) << c.name;
    }
    if (c.text == nullptr) continue;
    QString shownText;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) shownText = b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) shownText = l->text();
    EXPECT_EQ(shownText, c.text) << c.name;
  }

  // Captions in colour: store red, recall navy, start green, apply red.
  auto colour = [&](const char* name) {
    return get<QWidget>(name)->palette().color(QPalette::Active, QPalette::ButtonText);
  };
  EXPECT_EQ(colour("S4"), QColor(255, 0, 0));
  EXPECT_EQ(colour("R4"), QColor(0, 0, 128));
  EXPECT_EQ(colour("start"), QColor(0, 128, 0));
  EXPECT_EQ(colour("mergeApply"), QColor(255, 0, 0));
  EXPECT_EQ(get<QWidget>("fLow")->palette().color(QPalette::Active, QPalette::Text),
            QColor(0, 0, 255));
  EXPECT_EQ(get<QWidget>("unCalibrated")->palette().color(QPalette::Active, QPalette::WindowText),
            QColor(255, 0, 0));
}

TEST_F(MainFormTest, GeometryOfTheAreas) {
  EXPECT_EQ(get<QWidget>("TimeFreqCtrl")->geometry(), QRect(0, 165, 657, 369));
  EXPECT_EQ(get<QWidget>("mainPage")->geometry(), QRect(296, 5, 361, 177));
  EXPECT_EQ(get<QWidget>("Image1")->geometry(), QRect(8, 16, 601, 297));
  EXPECT_EQ(get<QWidget>("Image5")->geometry(), QRect(0, 32, 633, 305));
  EXPECT_EQ(get<QWidget>("Image2")->geometry(), QRect(48, 64, 553, 233));
  EXPECT_EQ(get<QWidget>("Image3")->geometry(), QRect(7, 8, 11, 126));
  EXPECT_EQ(get<QWidget>("Image4")->geometry(), QRect(23, 8, 11, 126));
  EXPECT_EQ(get<TImageView>("Image2")->image().size(), QSize(553, 233));
  EXPECT_EQ(get<TImageView>("Image4")->image().size(), QSize(11, 126));
  // Slot buttons 24 pixels apart, store row at 119, recall row at 143.
  EXPECT_EQ(get<QWidget>("S1")->geometry(), QRect(70, 119, 21, 17));
  EXPECT_EQ(get<QWidget>("S5")->geometry(), QRect(166, 119, 21, 17));
  EXPECT_EQ(get<QWidget>("R8")->geometry(), QRect(238, 143, 21, 17));
  EXPECT_EQ(get<QWidget>("exportMeas")->geometry(), QRect(104, 8, 57, 17));
  EXPECT_EQ(get<QWidget>("copyFToClip")->geometry(), QRect(168, 8, 57, 17));
  EXPECT_EQ(get<QWidget>("freqLabel")->geometry(), QRect(232, 5, 65, 21));
  EXPECT_EQ(get<QWidget>("yLabel1")->geometry(), QRect(304, 5, 65, 21));
  EXPECT_EQ(get<QWidget>("yLabel2")->geometry(), QRect(376, 5, 65, 21));
  EXPECT_EQ(get<QWidget>("hidePhase")->pos(), QPoint(568, 7));
  EXPECT_EQ(get<QWidget>("mergeLGroup")->height(), 129);
  EXPECT_EQ(get<QWidget>("mergeUGroup")->height(), 89);

  // The empty frames: white inside, a black border.
  const QImage& frame = get<TImageView>("Image5")->image();
  EXPECT_EQ(frame.pixelColor(0, 0), QColor(Qt::black));
  EXPECT_EQ(frame.pixelColor(632, 304), QColor(Qt::black));
  EXPECT_EQ(frame.pixelColor(300, 150), QColor(Qt::white));
}

// 8192 samples at 48000 Hz are 170.666... ms; 441 samples are
// 441 / 48000 * 34400 = 316.05 cm and 9.1875 ms.
TEST_F(MainFormTest, SampleRateChangeRescalesTheWindowEntries) {
  form->state().setup.winStart = 441;
  form->state().responseValid = true;
  choose("sRate", 7);
  const MeasSetup& m = form->state().setup;
  EXPECT_EQ(m.sampleRate, 48000);
  EXPECT_EQ(m.sRateIndex, 7);
  EXPECT_EQ(m.bandSplitLow, 600);
  EXPECT_FALSE(form->state().responseValid);
  EXPECT_EQ(text("winLengthms"), "170.67");
  EXPECT_EQ(text("winStartcm"), "316.05");
  EXPECT_EQ(text("winStartms"), "9.1875");
  EXPECT_EQ(text("winLengths"), "8192");  // in samples, unchanged
  EXPECT_FALSE(shown("sRateC"));
}

TEST_F(MainFormTest, CustomSampleRate) {
  openPage(0);
  choose("sRate", 0);
  EXPECT_TRUE(shown("sRateC"));
  EXPECT_EQ(text("sRateC"), "44100");

  typeEnter("sRateC", "48000");
  const MeasSetup& m = form->state().setup;
  EXPECT_EQ(m.sampleRate, 48000);
  EXPECT_EQ(m.sRateIndex, 0);
  EXPECT_EQ(m.bandSplitLow, 600);
  EXPECT_EQ(m.delaySamples, 9600);
  EXPECT_EQ(text("winLengthms"), "170.67");

  // Below the entry's lower limit of 1000 Hz: rejected.
  typeEnter("sRateC", "500");
  EXPECT_EQ(m.sampleRate, 48000);
  EXPECT_EQ(text("sRateC"), "48000");
}

// A typed window length goes through the message to the view update, which
// refreshes the twin entry: 4096 samples = 92.879... ms at 44100 Hz.
TEST_F(MainFormTest, WindowEntriesStayInStep) {
  typeEnter("winLengths", "4096");
  EXPECT_EQ(form->state().setup.winLength, 4096);
  EXPECT_EQ(text("winLengthms"), "92.88");

  typeEnter("winStartms", "1");  // 44.1 samples -> 44
  EXPECT_EQ(form->state().setup.winStart, 44);
  EXPECT_EQ(text("winStartcm"), "34.32");  // 44 / 44100 * 34400 = 34.322

  // The series resistor has no follow-up but is stored.
  typeEnter("ZR", "8.2");
  EXPECT_DOUBLE_EQ(form->state().setup.seriesR, 8.2);
}

TEST_F(MainFormTest, TwoChannelModeControlsTheChannelChoice) {
  QCheckBox* two = get<QCheckBox>("twoChMode");
  two->setChecked(true);
  EXPECT_TRUE(form->state().setup.twoChannel);
  EXPECT_TRUE(enabled("showCh"));

  choose("showCh", 2);
  EXPECT_EQ(form->state().setup.showChannel, 2);

  two->setChecked(false);
  EXPECT_FALSE(form->state().setup.twoChannel);
  EXPECT_EQ(form->state().setup.showChannel, 0);
  EXPECT_EQ(get<QComboBox>("showCh")->currentIndex(), 0);
  EXPECT_FALSE(enabled("showCh"));

  // Whatever was chosen, one-channel mode shows "Ch 1" after a view update.
  form->state().setup.showChannel = 1;
  form->updateViewState();
  EXPECT_EQ(form->state().setup.showChannel, 0);
  EXPECT_EQ(get<QComboBox>("showCh")->currentText(), "Ch 1");
}

TEST_F(MainFormTest, MergePageLocksTheMeasurementControls) {
  openPage(2);
  const AppState& s = form->state();
  EXPECT_TRUE(s.mergeSetup.mergeShown);
  EXPECT_TRUE(get<QRadioButton>("mergeRButton")->isChecked());
  EXPECT_FALSE(s.mergeSetup.addMode);
  for (const char* name : {"S1", "S8", "exportMeas", "start"}) {
    EXPECT_FALSE(enabled(name)) << name;
  }
  QTabWidget* graphs = get<QTabWidget>("TimeFreqCtrl");
  EXPECT_EQ(graphs->currentIndex(), 1);
  graphs->setCurrentIndex(0);  // the time domain cannot be shown here
  EXPECT_EQ(graphs->currentIndex(), 1);

  // Add mode: other captions, the transition frequency and delays hidden.
  get<QRadioButton>("addRButton")->setChecked(true);
  EXPECT_TRUE(s.mergeSetup.addMode);
  EXPECT_EQ(get<QGroupBox>("mergeLGroup")->title(), "Graph 1 (red)");
  EXPECT_EQ(get<QGroupBox>("mergeUGroup")->title(), "Graph 2 (blue)");
  EXPECT_FALSE(shown("mergeFreq"));
  EXPECT_FALSE(shown("mergeLDelay"));
  EXPECT_EQ(get<QWidget>("mergeLGroup")->height(), 89);

  // Apply ends on the Measure page with everything enabled again.
  get<QPushButton>("mergeApply")->click();
  EXPECT_EQ(get<QTabWidget>("mainPage")->currentIndex(), 1);
  EXPECT_FALSE(s.mergeSetup.mergeShown);
  for (const char* name : {"S1", "S8", "exportMeas", "start"}) {
    EXPECT_TRUE(enabled(name)) << name;
  }
  graphs->setCurrentIndex(0);
  EXPECT_EQ(graphs->currentIndex(), 0);

  // Coming back keeps add mode.
  openPage(2);
  EXPECT_TRUE(get<QRadioButton>("addRButton")->isChecked());
  EXPECT_EQ(get<QGroupBox>("mergeLGroup")->title(), "Graph 1 (red)");
}

TEST_F(MainFormTest, SettingsPageShowsTheCalibration) {
  openPage(0);
  AppState& s = form->state();
  EXPECT_TRUE(s.calibrationView);
  EXPECT_FALSE(shown("dBOffset"));
  EXPECT_FALSE(shown("hidePhase"));
  EXPECT_FALSE(enabled("start"));
  // An uncalibrated card reads 0 dB: shown 85 dB down, plus 40 * 0.025.
  EXPECT_DOUBLE_EQ(s.curves.dBTop, -84.0);
  EXPECT_DOUBLE_EQ(s.curves.splMag[1][500], -85.0);

  // A calibrated combination hides the warning on the Measure page.
  s.soundcardCal.calibratedFlags[0][7][1] = true;
  choose("sRate", 7);
  EXPECT_DOUBLE_EQ(s.curves.dBTop, 1.0);  // after a rate change: no offset
  openPage(1);
  EXPECT_FALSE(s.calibrationView);
  EXPECT_TRUE(shown("dBOffset"));
  EXPECT_FALSE(shown("unCalibrated"));

  openPage(0);
  EXPECT_FALSE(s.measurementShown);
  choose("nMLS", 2);
  EXPECT_EQ(s.setup.mlsSize, 16384);
  // The sequence tables follow at once: the input permutation of a period of
  // 16383 runs over 1..16383, where the 8191 one stopped at 8191.
  int32_t largest = 0;
  for (int i = 0; i < 16383; ++i) largest = std::max(largest, s.mls.inputPerm[i]);
  EXPECT_EQ(largest, 16383);
  openPage(1);
  EXPECT_TRUE(shown("unCalibrated"));
}

TEST_F(MainFormTest, SplAndImpedanceRebindTheMergeGains) {
  AppState& s = form->state();
  s.mergeSetup.lowerGainDb = -6.0;
  s.mergeSetup.lowerGain = 2.5;
  s.setup.hasResponse = true;
  s.responseValid = true;
  QTabWidget* splZ = get<QTabWidget>("SplZ");

  splZ->setCurrentIndex(1);
  EXPECT_EQ(s.setup.impedanceMode, 1);
  EXPECT_FALSE(s.setup.hasResponse);
  EXPECT_FALSE(s.responseValid);
  EXPECT_FALSE(shown("dBOffset"));
  TEditNum* gain = get<TEditNum>("mergeLGain");
  EXPECT_EQ(gain->text(), "2.500");
  EXPECT_EQ(gain->mode, TEditNum::mulStep);
  EXPECT_DOUBLE_EQ(gain->minValue, 0.001);

  splZ->setCurrentIndex(0);
  EXPECT_EQ(s.setup.impedanceMode, 0);
  EXPECT_EQ(gain->text(), "-6.0");
  EXPECT_EQ(s.mergeSetup.lowerGainDb, -6.0);
  EXPECT_EQ(gain->ctrlStep, 10.0);  // the construction gave it 1
}

TEST_F(MainFormTest, ImpedanceRangeLists) {
  choose("minZ", 6);
  choose("maxZ", 0);
  EXPECT_EQ(form->state().setup.zMin, 10.0);
  EXPECT_EQ(form->state().setup.zMax, 20.0);
  choose("minZ", 3);
  choose("maxZ", 2);
  EXPECT_EQ(form->state().setup.zMin, 1.0);
  EXPECT_EQ(form->state().setup.zMax, 100.0);
}

TEST_F(MainFormTest, TitleIsStoredOnLeavingTheEdit) {
  QLineEdit* title = get<QLineEdit>("freqDTitle");
  title->setFocus(Qt::TabFocusReason);
  QTest::keyClicks(title, QStringLiteral("Woofer 1 m"));
  get<QWidget>("fLow")->setFocus(Qt::TabFocusReason);
  EXPECT_STREQ(form->state().setup.title, "Woofer 1 m");

  // 199 bytes fit the record; a character that would not fit whole is left
  // out: 198 x and a two-byte e acute make 200 bytes.
  title->setFocus(Qt::TabFocusReason);
  title->clear();
  QTest::keyClicks(title, QString(198, QLatin1Char('x')));
  title->insert(QString(QChar(0xE9)));
  get<QWidget>("fLow")->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(std::string(form->state().setup.title), std::string(198, 'x'));

  // The view update writes the record's title back.
  std::snprintf(form->state().setup.title, kTitleCapacity, "%s", "Recalled");
  form->updateViewState();
  EXPECT_EQ(title->text(), "Recalled");
}

// Closing saves the settings; the next start shows them. A custom rate of
// 50000 Hz comes back as "Custom" with its entry shown.
TEST_F(MainFormTest, SettingsSurviveARestart) {
  openPage(0);
  choose("sRate", 0);
  typeEnter("sRateC", "50000");
  typeEnter("ZR", "8.2");
  typeEnter("splRange", "60");
  choose("nMLS", 3);
  choose("maxZ", 4);
  form.reset();

  const QString dir = dataDir.path() + "/";
  EXPECT_EQ(QFileInfo(dir + "sonrake.cfg").size(), 16326);
  EXPECT_EQ(QFileInfo(dir + "sonrake.cal").size(), 2832090);

  form = std::make_unique<TMainForm>(sim, dialogs);
  EXPECT_EQ(get<QComboBox>("sRate")->currentText(), "Custom");
  EXPECT_TRUE(shown("sRateC"));
  EXPECT_EQ(text("sRateC"), "50000");
  EXPECT_EQ(text("ZR"), "8.20");
  EXPECT_EQ(text("splRange"), "60.0");
  EXPECT_EQ(get<QComboBox>("nMLS")->currentText(), "32768");
  EXPECT_EQ(get<QComboBox>("maxZ")->currentText(), "500");
  EXPECT_EQ(form->state().setup.mlsSize, 32768);
  // The window entries are scaled for the rate read (8192 / 50 ms), while
  // the rate-derived sizes keep their 44100 Hz values until a rate is chosen.
  EXPECT_EQ(form->state().setup.sampleRate, 50000);
  EXPECT_EQ(text("winLengthms"), "163.84");
  EXPECT_EQ(form->state().setup.bandSplitLow, 551);
}

TEST_F(MainFormTest, HidePhaseClearsThePhaseReadOut) {
  get<QLineEdit>("yLabel2")->setText(QStringLiteral("+30 deg"));
  get<QCheckBox>("hidePhase")->setChecked(true);
  EXPECT_TRUE(form->state().setup.phaseHidden);
  EXPECT_EQ(get<QLineEdit>("yLabel2")->text(), "");
}

// The close button and the two signals end the window the same way.
TEST(CloseOnSignal, SigtermAndSigintCloseTheWindow) {
  for (int sig : {SIGTERM, SIGINT}) {
    QWidget window;
    window.show();
    TCloseOnSignal closer(&window);
    ASSERT_TRUE(closer.installed());
    ASSERT_EQ(std::raise(sig), 0);
    for (int i = 0; i < 200 && window.isVisible(); ++i) QTest::qWait(10);
    EXPECT_FALSE(window.isVisible()) << sig;
  }
}

}  // namespace
