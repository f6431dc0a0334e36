#pragma once
// Driving the window as a user does: choosing list items, ticking boxes,
// clicking buttons, opening pages; and waiting for a run to end.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "../core/dialog_recorder.h"
#include "platform/sim_audio.h"
#include "ui/main_form.h"

class WindowTest : public ::testing::Test {
 protected:
  static constexpr int kRate48000 = 7;  // items of the sample-rate list
  static constexpr int kMls16384 = 2;   // item of the MLS length list
  static constexpr int kSettingsPage = 0;
  static constexpr int kMeasurePage = 1;

  // The window on `audio`, with a data directory of its own, empty: a first
  // start without files. Failures are written down by `dialogs`.
  void openWindow(WaveAudio& audio, MonotonicClock clock = steadyClockSeconds) {
    ASSERT_TRUE(dataDir.isValid());
    qputenv("KALDER", dataDir.path().toLocal8Bit() + "/");
    form = std::make_unique<TMainForm>(audio, dialogs, nullptr, std::move(clock));
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
  const AppState& state() { return form->state(); }
  // A file of the window's data directory.
  std::string path(const char* name) {
    return (dataDir.path() + QLatin1Char('/') + QLatin1String(name)).toStdString();
  }
  // Picks item `index` of the menu that the next action pops up.
  void pickFromNextMenu(int index) {
    QTimer::singleShot(0, [index] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      ASSERT_NE(menu, nullptr);
      ASSERT_GT(menu->actions().size(), index);
      QAction* action = menu->actions()[index];
      menu->close();
      action->trigger();
    });
  }
  bool enabled(const char* name) { return get<QWidget>(name)->isEnabled(); }
  QString caption(const char* button) { return get<QPushButton>(button)->text(); }

  // A user's choice in a list, by the item's text.
  void choose(const char* list, const char* itemText) {
    QComboBox* c = get<QComboBox>(list);
    const int index = c->findText(QString::fromLatin1(itemText));
    ASSERT_GE(index, 0) << itemText;
    choose(list, index);
  }
  // The first item whose text begins with `prefix`; false when there is none.
  bool chooseStartingWith(const char* list, const char* prefix) {
    QComboBox* c = get<QComboBox>(list);
    for (int i = 0; i < c->count(); ++i) {
      if (c->itemText(i).startsWith(QString::fromLatin1(prefix))) {
        choose(list, i);
        return true;
      }
    }
    return false;
  }
  void choose(const char* list, int index) {
    QComboBox* c = get<QComboBox>(list);
    c->setCurrentIndex(index);
    Q_EMIT c->activated(index);
  }
  void click(const char* name) { QTest::mouseClick(get<QWidget>(name), Qt::LeftButton); }
  void tick(const char* box, bool on) {
    QCheckBox* b = get<QCheckBox>(box);
    if (b->isChecked() != on) QTest::mouseClick(b, Qt::LeftButton);
    ASSERT_EQ(b->isChecked(), on) << box;
  }
  void openPage(int index) { get<QTabWidget>("mainPage")->setCurrentIndex(index); }
  void openSplZ(int index) { get<QTabWidget>("SplZ")->setCurrentIndex(index); }

  bool runUnderway() {
    const SoundCardState& sc = state().soundCard;
    return sc.recording || sc.hWaveIn != kNoWaveHandle || sc.hWaveOut != kNoWaveHandle;
  }
  // Runs the manually paced simulator and the event loop until the run
  // under way has ended (a few recordings at most).
  void runSimToEnd(SimAudio& sim) {
    for (int i = 0; i < 4 && runUnderway(); ++i) {
      sim.runUntilIdle();
      QCoreApplication::processEvents();
    }
    ASSERT_FALSE(runUnderway());
  }
  // Lets the event loop run until pred holds or timeoutMs have passed.
  template <typename Pred>
  bool waitUntil(Pred pred, int timeoutMs) {
    const std::chrono::steady_clock::time_point end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
      if (std::chrono::steady_clock::now() > end) return false;
      QTest::qWait(5);
    }
    return true;
  }
  // The whole window as it looks now, into screenshots/ beside the test
  // program (the build folder), for a person to look at.
  void saveScreenshot(const char* fileName) {
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    ASSERT_TRUE(QDir().mkpath(dir));
    EXPECT_TRUE(form->grab().save(dir + QLatin1Char('/') + QString::fromLatin1(fileName)));
  }

  QTemporaryDir dataDir;
  DialogRecorder dialogs;
  std::unique_ptr<TMainForm> form;  // reset before the devices go
};
