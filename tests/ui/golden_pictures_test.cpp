// The graphs at the window's default size, compared pixel for pixel with the
// pictures kept under tests/ui/golden: a calibrated loudspeaker measurement
// (time graph, frame and plot) and an impedance measurement (frame and plot),
// both from the manually paced simulator, so every run records the same
// samples. SONRAKE_WRITE_GOLDEN=1 writes the pictures instead of comparing
// (and skips the test), for the day the default pictures are meant to change.

#include <QImage>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <cstdlib>

#include "sim_window_test.h"
#include "ui/image_view.h"

namespace {

QString goldenPath(const char* name) {
  return QStringLiteral(SONRAKE_GOLDEN_DIR "/") + QString::fromLatin1(name);
}

bool writingGolden() {
  const char* v = std::getenv("SONRAKE_WRITE_GOLDEN");
  return v != nullptr && v[0] == '1';
}

class GoldenPicturesTest : public SimWindowTest {
 protected:
  // The canvas `view` against golden/`file`: same size, same pixels. A
  // mismatch leaves the picture drawn in screenshots/ beside the test program.
  void expectGolden(const char* view, const char* file) {
    const QImage drawn = get<TImageView>(view)->image().convertToFormat(QImage::Format_RGB32);
    if (writingGolden()) {
      ASSERT_TRUE(drawn.save(goldenPath(file))) << file;
      return;
    }
    QImage golden;
    ASSERT_TRUE(golden.load(goldenPath(file))) << file;
    golden = golden.convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(drawn.size(), golden.size()) << file;
    int differing = 0;
    QPoint first(-1, -1);
    for (int y = 0; y < golden.height(); ++y) {
      for (int x = 0; x < golden.width(); ++x) {
        if (drawn.pixel(x, y) == golden.pixel(x, y)) continue;
        if (differing++ == 0) first = QPoint(x, y);
      }
    }
    if (differing != 0) {
      const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
      QDir().mkpath(dir);
      drawn.save(dir + QStringLiteral("/golden-mismatch-") + QString::fromLatin1(file));
    }
    EXPECT_EQ(differing, 0) << file << ": first at (" << first.x() << ", " << first.y() << ")";
  }
};

TEST_F(GoldenPicturesTest, DefaultSizeGraphsMatchTheKeptPictures) {
  ASSERT_EQ(form->size(), QSize(TMainForm::kWidth, TMainForm::kHeight));
  calibrateAt48k();
  measure("Simulator: loudspeaker (mic L, loop R)");
  expectGolden("Image1", "spl_time.png");
  expectGolden("Image5", "spl_frame.png");
  expectGolden("Image2", "spl_plot.png");

  openSplZ(1);
  calibrateAt48k();
  measure("Simulator: impedance jig 12 ohm");
  expectGolden("Image5", "impedance_frame.png");
  expectGolden("Image2", "impedance_plot.png");
  EXPECT_TRUE(dialogs.boxes.empty());
  if (writingGolden()) GTEST_SKIP() << "golden pictures written to " SONRAKE_GOLDEN_DIR;
}

// Measured in a larger window, then brought back to the default size: the
// canvases are made anew at their old size and drawn as they always were.
TEST_F(GoldenPicturesTest, BackAtTheDefaultSizeTheGraphsAreTheKeptPictures) {
  if (writingGolden()) GTEST_SKIP();
  form->resize(1280, 900);
  QCoreApplication::processEvents();
  calibrateAt48k();
  measure("Simulator: loudspeaker (mic L, loop R)");
  ASSERT_EQ(get<TImageView>("Image2")->image().width(), 1166);
  form->resize(TMainForm::kWidth, TMainForm::kHeight);
  QCoreApplication::processEvents();
  expectGolden("Image1", "spl_time.png");
  expectGolden("Image5", "spl_frame.png");
  expectGolden("Image2", "spl_plot.png");
}

}  // namespace
