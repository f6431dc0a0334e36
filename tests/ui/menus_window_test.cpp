// The top-level window: the menu bar above the unchanged form, its entries
// doing what their buttons do, Space and F5 starting and stopping a run, the
// graph saved as a picture, the help page and the About box; the Settings
// page's microphone file and curve; the devices remembered by name.
#include <QAction>
#include <QDate>
#include <QDialog>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QRegularExpression>
#include <QSettings>
#include <QSvgRenderer>
#include <QTextBrowser>

#include <string>

#include "ui/edit_num.h"
#include "ui/image_view.h"
#include "ui/main_window.h"
#include "window_test.h"

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class MenusTest : public WindowTest {
 protected:
  // The top-level window with its menus over `audio`, its data in `dir`.
  void openMainWindow(WaveAudio& audio, const QString& dir) {
    qputenv("KALDER", dir.toLocal8Bit() + "/");
    window = std::make_unique<TMainWindow>(audio, dialogs);
    form.reset(&window->form());  // owned by the window; released before it goes
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }
  void openMainWindow() {
    ASSERT_TRUE(dataDir.isValid());
    openMainWindow(sim, dataDir.path());
  }
  void closeMainWindow() {
    (void)form.release();
    window.reset();
  }
  void TearDown() override {
    closeMainWindow();
    WindowTest::TearDown();
  }

  QAction* action(const char* name) {
    QAction* a = window->findChild<QAction*>(QString::fromLatin1(name));
    EXPECT_NE(a, nullptr) << name;
    return a;
  }
  QMenu* menu(const char* name) {
    QMenu* m = window->findChild<QMenu*>(QString::fromLatin1(name));
    EXPECT_NE(m, nullptr) << name;
    return m;
  }
  // The entries of a menu as shown, separators left out, mnemonics removed.
  QStringList entries(const char* menuName) {
    QStringList out;
    for (QAction* a : menu(menuName)->actions())
      if (!a->isSeparator()) out << a->text().remove(QLatin1Char('&'));
    return out;
  }
  // A key pressed where the keyboard focus is, as the user presses it.
  void press(int key) {
    QWidget* target = QApplication::focusWidget();
    QTest::keyClick(target != nullptr ? target : window.get(), static_cast<Qt::Key>(key));
  }
  void runOneRecording() {
    sim.runUntilIdle();
    QCoreApplication::processEvents();
  }
  void saveWindowScreenshot(const char* fileName) {
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    ASSERT_TRUE(QDir().mkpath(dir));
    EXPECT_TRUE(window->grab().save(dir + QLatin1Char('/') + QString::fromLatin1(fileName)));
  }

  SimAudio sim{SimAudio::Pacing::manual};
  std::unique_ptr<TMainWindow> window;
};

TEST_F(MenusTest, MenuBarSitsAboveTheUnchangedForm) {
  openMainWindow();
  EXPECT_EQ(window->windowTitle(), "Sonrake 1.00");
  QMenuBar* bar = window->menuBar();
  ASSERT_NE(bar, nullptr);
  QStringList titles;
  for (QAction* a : bar->actions()) titles << a->text().remove(QLatin1Char('&'));
  EXPECT_EQ(titles, QStringList({"File", "Measure", "View", "Help"}));
  EXPECT_EQ(entries("fileMenu"),
            QStringList({QString::fromUtf8("Import microphone data\u2026"),
                         QString::fromUtf8("Export\u2026"),
                         QString::fromUtf8("Save graph as PNG/SVG\u2026"), "Copy graph", "Quit"}));
  EXPECT_EQ(entries("measureMenu"), QStringList({"Start/Stop", "Level test", "Calibrate"}));
  EXPECT_EQ(entries("viewMenu"), QStringList({"Overlay 1", "Overlay 2", "Overlay 3", "Overlay 4", "Overlay 5",
                                             "Overlay 6", "Overlay 7", "Overlay 8", "Phase"}));
  EXPECT_EQ(entries("helpMenu"), QStringList({"How to measure", "About Sonrake"}));
  EXPECT_EQ(action("startStopAction")->shortcuts(),
            QList<QKeySequence>({QKeySequence(Qt::Key_Space), QKeySequence(Qt::Key_F5)}));

  // The form keeps its size and every control its place in it; the window
  // is the menu bar's height taller.
  const int barHeight = bar->height();
  EXPECT_GT(barHeight, 10);
  EXPECT_EQ(form->geometry(), QRect(0, barHeight, 667, 572));
  EXPECT_EQ(window->size(), QSize(667, 572 + barHeight));
  EXPECT_EQ(get<QWidget>("TimeFreqCtrl")->mapTo(window.get(), QPoint(0, 0)),
            QPoint(0, 165 + barHeight));
  EXPECT_EQ(get<QWidget>("mainPage")->geometry(), QRect(296, 5, 361, 177));
  saveWindowScreenshot("main_window_menus.png");
}

TEST_F(MenusTest, SpaceAndF5StartAndStopARun) {
  openMainWindow();
  // Typed into an entry, Space stays there.
  QLineEdit* title = get<QLineEdit>("freqDTitle");
  title->setFocus(Qt::OtherFocusReason);
  QTest::keyClicks(title, QStringLiteral("Woofer"));
  press(Qt::Key_Space);
  QTest::keyClicks(title, QStringLiteral("A"));
  EXPECT_EQ(title->text(), "Woofer A");
  get<TEditNum>("winLengths")->setFocus(Qt::OtherFocusReason);
  press(Qt::Key_Space);
  EXPECT_FALSE(runUnderway());

  tick("cbCycle", true);  // the box now has the focus; Space is still the start's
  press(Qt::Key_Space);
  EXPECT_TRUE(runUnderway());
  EXPECT_TRUE(state().cyclicRunning);
  EXPECT_EQ(caption("start"), "Stop");
  EXPECT_TRUE(get<QCheckBox>("cbCycle")->isChecked());
  runOneRecording();
  EXPECT_TRUE(state().setup.hasResponse);

  // The menus show what the buttons allow during the run.
  Q_EMIT menu("measureMenu")->aboutToShow();
  EXPECT_FALSE(action("levelTestAction")->isEnabled());
  EXPECT_FALSE(action("calibrateAction")->isEnabled());
  EXPECT_TRUE(action("startStopAction")->isEnabled());

  press(Qt::Key_F5);
  EXPECT_FALSE(state().cyclicRunning);
  EXPECT_EQ(caption("start"), "Start");
  runSimToEnd(sim);
  Q_EMIT menu("measureMenu")->aboutToShow();
  EXPECT_TRUE(action("levelTestAction")->isEnabled());

  // The Settings page shows the sound card calibration, where "Start" is
  // off: so is the key.
  tick("cbCycle", false);
  openPage(kSettingsPage);
  ASSERT_FALSE(enabled("start"));
  press(Qt::Key_F5);
  press(Qt::Key_Space);
  EXPECT_FALSE(runUnderway());
  // From the Driver page, where the button is out of sight: a single run.
  openPage(3);
  press(Qt::Key_F5);
  EXPECT_TRUE(runUnderway());
  EXPECT_FALSE(state().cyclicRunning);
  runSimToEnd(sim);
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(MenusTest, EntriesDoWhatTheirButtonsDo) {
  openMainWindow();
  // Phase: the entry and the "Hide phase" box say the same.
  QAction* phase = action("phaseAction");
  EXPECT_TRUE(phase->isChecked());
  phase->trigger();
  EXPECT_TRUE(get<QCheckBox>("hidePhase")->isChecked());
  EXPECT_TRUE(state().setup.phaseHidden);
  EXPECT_FALSE(phase->isChecked());
  tick("hidePhase", false);
  EXPECT_TRUE(phase->isChecked());
  EXPECT_FALSE(state().setup.phaseHidden);

  Q_EMIT menu("fileMenu")->aboutToShow();
  EXPECT_EQ(action("exportAction")->isEnabled(), enabled("exportMeas"));

  // Overlays: the View entry and the slot's own choice are one; the entry
  // names the slot's title once it holds a curve.
  QAction* overlay3 = action("overlayAction3");
  EXPECT_EQ(overlay3->text(), QStringLiteral("Overlay 3"));
  overlay3->trigger();
  EXPECT_TRUE(state().overlays.shown[2]);
  EXPECT_FALSE(state().overlays.shown[1]);
  window->form().state().slots[2].hasResponse = true;
  setTitleUtf8(window->form().state().slots[2].title, "tweeter");
  Q_EMIT menu("viewMenu")->aboutToShow();
  EXPECT_EQ(overlay3->text(), QStringLiteral("Overlay 3: tweeter"));
  EXPECT_TRUE(overlay3->isChecked());
  overlay3->trigger();
  EXPECT_FALSE(state().overlays.shown[2]);

  action("aboutAction")->trigger();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].caption, "About Sonrake");
  const QString about = QString::fromStdString(dialogs.boxes[0].text);
  EXPECT_TRUE(about.startsWith(QStringLiteral("Sonrake 1.00\n"))) << dialogs.boxes[0].text;
  const QRegularExpressionMatch built =
      QRegularExpression(QStringLiteral("\nBuilt (\\d{4}-\\d{2}-\\d{2})$")).match(about);
  ASSERT_TRUE(built.hasMatch()) << dialogs.boxes[0].text;
  const QDate date = QDate::fromString(built.captured(1), Qt::ISODate);
  EXPECT_TRUE(date.isValid());
  EXPECT_LE(date, QDate::currentDate().addDays(1));
  EXPECT_GE(date, QDate(2026, 1, 1));
}

// The picture saved is the one "Copy" takes: the frame without its outer two
// pixels, the plot at (46, 30) in it.
TEST_F(MenusTest, GraphSavedAsPngAndSvg) {
  openMainWindow();
  click("start");
  runSimToEnd(sim);
  ASSERT_TRUE(state().setup.hasResponse);
  const QString png = dataDir.filePath(QStringLiteral("graph.png"));
  dialogs.fileAnswers.push_back(png.toStdString());
  action("saveGraphAction")->trigger();
  ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
  EXPECT_TRUE(dialogs.fileDialogs[0].save);
  EXPECT_EQ(dialogs.fileDialogs[0].defaultExt, "png");
  EXPECT_EQ(dialogs.fileDialogs[0].filter, "PNG image (*.png)|*.png|SVG image (*.svg)|*.svg");
  EXPECT_TRUE(dialogs.boxes.empty());

  const QImage saved(png);
  ASSERT_EQ(saved.size(), QSize(629, 301));
  const QImage plot = get<TImageView>("Image2")->image();
  int differing = 0;
  for (int y = 0; y < plot.height(); ++y)
    for (int x = 0; x < plot.width(); ++x)
      differing += saved.pixel(x + 46, y + 30) != plot.pixel(x, y);
  EXPECT_EQ(differing, 0);

  // SVG: the same picture, drawn back by an SVG renderer.
  const QString svg = dataDir.filePath(QStringLiteral("graph.SVG"));
  dialogs.fileAnswers.push_back(svg.toStdString());
  action("saveGraphAction")->trigger();
  EXPECT_TRUE(dialogs.boxes.empty());
  const QByteArray text = readFile(svg);
  ASSERT_TRUE(text.contains("<svg")) << text.left(200).constData();
  QSvgRenderer renderer(text);
  ASSERT_TRUE(renderer.isValid());
  EXPECT_EQ(renderer.viewBox(), QRect(0, 0, 629, 301));
  QImage back(629, 301, QImage::Format_RGB32);
  back.fill(Qt::black);
  QPainter painter(&back);
  renderer.render(&painter);
  painter.end();
  int close = 0;
  for (int y = 0; y < back.height(); ++y) {
    for (int x = 0; x < back.width(); ++x) {
      const QColor a = back.pixelColor(x, y);
      const QColor b = saved.pixelColor(x, y);
      const int diff = std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                       std::abs(a.blue() - b.blue());
      close += diff < 48;
    }
  }
  EXPECT_GT(close, 629 * 301 * 98 / 100);

  // A file that cannot be written is said so, with its name.
  dialogs.fileAnswers.push_back(
      dataDir.filePath(QStringLiteral("no/such/dir/g.png")).toStdString());
  action("saveGraphAction")->trigger();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].caption, "Save graph");
  EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::error);
  EXPECT_NE(dialogs.boxes[0].text.find("g.png"), std::string::npos) << dialogs.boxes[0].text;
  action("saveGraphAction")->trigger();  // cancelled: nothing happens
  EXPECT_EQ(dialogs.boxes.size(), 1u);
}

TEST_F(MenusTest, HowToMeasureOpensThePageShippedWithTheProgram) {
  openMainWindow();
  action("howToMeasureAction")->trigger();
  auto* page = window->findChild<QDialog*>(QStringLiteral("howToMeasure"));
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(page->isVisible());
  auto* text = page->findChild<QTextBrowser*>(QStringLiteral("howToMeasureText"));
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("Soundcard cal.")));
  EXPECT_TRUE(dialogs.boxes.empty());
  const QString shots = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
  ASSERT_TRUE(QDir().mkpath(shots));
  EXPECT_TRUE(page->grab().save(shots + QStringLiteral("/how_to_measure.png")));
  // Again: the same window, not a second one.
  action("howToMeasureAction")->trigger();
  EXPECT_EQ(window->findChildren<QDialog*>(QStringLiteral("howToMeasure")).size(), 1);
}

// Installed as <prefix>/bin/sonrake with <prefix>/share/sonrake/, or run from
// the build tree with share/sonrake/ beside it.
TEST(LocateDataFile, FindsThePageInstalledAndInTheBuildTree) {
  const QString name = QStringLiteral("how-to-measure.html");
  const QString inBuild = locateDataFile(QCoreApplication::applicationDirPath(), name);
  ASSERT_FALSE(inBuild.isEmpty());
  EXPECT_TRUE(readFile(inBuild).contains("How to measure"));

  QTemporaryDir prefix;
  ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
  ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("share/sonrake")));
  writeFile(prefix.filePath(QStringLiteral("share/sonrake/") + name), "<p>page</p>");
  EXPECT_EQ(locateDataFile(prefix.filePath(QStringLiteral("bin")), name),
            prefix.filePath(QStringLiteral("share/sonrake/") + name));
}

// 20 Hz at -1.5 dB, 1 kHz at 0 dB, 20 kHz at +2 dB on 125 x 19 pixels: the
// range is +-2 dB, 4 rows a dB from row 9. 20 Hz is at x 1, row 15; 1 kHz at
// x 1 + 122 * log10(50) / 3 = 70 (70.09), row 9; 10 kHz, at +1.54 dB
// (log-linear between 1 and 20 kHz), at x 111 (110.8), row 2.85.
TEST_F(MenusTest, SettingsPageShowsTheMicrophoneFileAndItsCurve) {
  openMainWindow();
  openPage(kSettingsPage);
  QLabel* file = get<QLabel>("micFile");
  EXPECT_EQ(file->text(), "No file loaded");
  const QString mic = dataDir.filePath(QStringLiteral("mic-1234.txt"));
  writeFile(mic, "Freq dB Phase\n20 -1.5 0\n1000 0 0\n20000 2 0\n");
  dialogs.fileAnswers.push_back(mic.toStdString());
  action("importMicAction")->trigger();
  ASSERT_TRUE(state().micCalValid);
  EXPECT_EQ(file->text(), "mic-1234.txt");
  EXPECT_EQ(file->toolTip(), mic);

  const QImage curve = get<TImageView>("micCurve")->image();
  ASSERT_EQ(curve.size(), QSize(125, 19));
  const QColor blue(0, 0, 255);
  EXPECT_EQ(curve.pixelColor(1, 15), blue);
  EXPECT_EQ(curve.pixelColor(70, 9), blue);
  EXPECT_TRUE(curve.pixelColor(111, 2) == blue || curve.pixelColor(111, 3) == blue);
  EXPECT_NE(curve.pixelColor(70, 4), blue);
  EXPECT_EQ(curve.pixelColor(0, 0), QColor(Qt::black));
  EXPECT_TRUE(get<QWidget>("micCurve")->toolTip().contains(QString::fromUtf8("\u00b12 dB")));
  // Inside its group, beside nothing else.
  QWidget* group = get<QWidget>("MicGroup");
  for (const char* name : {"micDataDisable", "micDataImport", "micFile", "micCurve"})
    EXPECT_TRUE(group->rect().contains(get<QWidget>(name)->geometry())) << name;
  EXPECT_LE(group->geometry().bottom(), group->parentWidget()->height());
  saveWindowScreenshot("settings_mic_curve.png");

  // Switched off: drawn grey.
  tick("micDataDisable", true);
  EXPECT_EQ(get<TImageView>("micCurve")->image().pixelColor(70, 9), QColor(128, 128, 128));
}

TEST_F(MenusTest, DevicesAreRememberedByName) {
  // A first start: the defaults.
  openMainWindow();
  const int defaultInput = state().inDeviceId;
  ASSERT_NE(defaultInput, SimAudio::kInputJig);
  choose("inDev", SimAudio::kInputJig);
  EXPECT_EQ(state().inDeviceId, SimAudio::kInputJig);
  closeMainWindow();
  const QString ini = dataDir.filePath(QStringLiteral("sonrake.ini"));
  EXPECT_EQ(QSettings(ini, QSettings::IniFormat).value(QStringLiteral("devices/input")).toString(),
            SimAudio::kInputNames[SimAudio::kInputJig]);
  const QByteArray chosenInList = readFile(dataDir.filePath(QStringLiteral("sonrake.cfg")));
  ASSERT_FALSE(chosenInList.isEmpty());

  // Another data folder with only that name remembered: the same device,
  // and the same configuration file written, byte for byte.
  QTemporaryDir other;
  QSettings(other.filePath(QStringLiteral("sonrake.ini")), QSettings::IniFormat)
      .setValue(QStringLiteral("devices/input"), SimAudio::kInputNames[SimAudio::kInputJig]);
  openMainWindow(sim, other.path());
  EXPECT_EQ(state().inDeviceId, SimAudio::kInputJig);
  EXPECT_EQ(get<QComboBox>("inDev")->currentIndex(), SimAudio::kInputJig);
  closeMainWindow();
  EXPECT_EQ(readFile(other.filePath(QStringLiteral("sonrake.cfg"))), chosenInList);

  // A name no longer present: the configuration's choice stands.
  QTemporaryDir third;
  QSettings(third.filePath(QStringLiteral("sonrake.ini")), QSettings::IniFormat)
      .setValue(QStringLiteral("devices/input"), QStringLiteral("USB Audio CODEC"));
  openMainWindow(sim, third.path());
  EXPECT_EQ(state().inDeviceId, defaultInput);
  EXPECT_TRUE(dialogs.boxes.empty());
}

}  // namespace
