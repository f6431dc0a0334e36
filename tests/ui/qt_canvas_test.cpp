#include "ui/qt_canvas.h"

#include <gtest/gtest.h>

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kRed = qRgb(255, 0, 0);

bool painted(QtCanvas& c, int x, int y) { return c.image().pixel(x, y) != kWhite; }

TEST(QtCanvas, LinesStopShortOfTheirEnd) {
  QtCanvas c(20, 10);
  c.setPen(Pen{Rgb{255, 0, 0}, PenStyle::solid, 1});
  c.moveTo(2, 3);
  c.lineTo(8, 3);  // horizontal: 2..7 painted, 8 not
  for (int x = 2; x <= 7; ++x) EXPECT_EQ(c.image().pixel(x, 3), kRed) << x;
  EXPECT_FALSE(painted(c, 8, 3));
  EXPECT_FALSE(painted(c, 1, 3));
  c.moveTo(10, 1);
  c.lineTo(10, 2);  // one step: only the start pixel
  EXPECT_TRUE(painted(c, 10, 1));
  EXPECT_FALSE(painted(c, 10, 2));
  c.lineTo(10, 2);  // to the current position: nothing
  EXPECT_FALSE(painted(c, 10, 2));
  c.moveTo(0, 0);
  c.lineTo(4, 4);  // diagonal: (0,0)..(3,3)
  EXPECT_TRUE(painted(c, 3, 3));
  EXPECT_FALSE(painted(c, 4, 4));
}

TEST(QtCanvas, RectanglesAndFillsCoverHalfOpenAreas) {
  QtCanvas c(20, 20);
  c.fillRect(0, 0, 20, 20, Rgb{0, 0, 255});
  c.setPen(Pen{Rgb{0, 0, 0}, PenStyle::solid, 1});
  c.rectangle(2, 2, 8, 6);  // outline 2..7 x 2..5, white inside
  EXPECT_EQ(c.image().pixel(2, 2), qRgb(0, 0, 0));
  EXPECT_EQ(c.image().pixel(7, 5), qRgb(0, 0, 0));
  EXPECT_EQ(c.image().pixel(4, 4), kWhite);
  EXPECT_EQ(c.image().pixel(8, 6), qRgb(0, 0, 255));
  c.fillRect(10, 10, 12, 11, Rgb{255, 0, 0});
  EXPECT_EQ(c.image().pixel(11, 10), kRed);
  EXPECT_EQ(c.image().pixel(12, 10), qRgb(0, 0, 255));
  EXPECT_EQ(c.image().pixel(10, 11), qRgb(0, 0, 255));
  // Far outside: clipped, no harm.
  c.moveTo(-1000000, -1000000);
  c.lineTo(1000000, 1000000);
  c.fillRect(-5, -5, 1000000, 1, Rgb{0, 255, 0});
  EXPECT_EQ(c.image().pixel(19, 0), qRgb(0, 255, 0));
}

TEST(QtCanvas, DottedPenLeavesGaps) {
  QtCanvas c(40, 4);
  c.setPen(Pen{Rgb{128, 128, 128}, PenStyle::dotted, 1});
  c.moveTo(0, 1);
  c.lineTo(40, 1);
  int on = 0;
  for (int x = 0; x < 39; ++x) on += painted(c, x, 1);
  EXPECT_GT(on, 5);
  EXPECT_LT(on, 35);
}

TEST(QtCanvas, TextIsWrittenBelowItsTopLeftCorner) {
  QtCanvas c(60, 30);
  c.textOut(5, 10, "88");
  bool above = false, inside = false;
  for (int x = 0; x < 60; ++x) {
    for (int y = 0; y < 10; ++y) above |= c.image().pixel(x, y) != kWhite;
    for (int y = 10; y < 30; ++y) inside |= qGray(c.image().pixel(x, y)) < 128;
  }
  EXPECT_FALSE(above);
  EXPECT_TRUE(inside);
}

// A new size or text scale makes the canvas white and asks for a redraw; the
// same ones leave the picture alone. Twice the scale writes text twice as tall.
TEST(QtCanvas, ResizeRemakesOnlyWhatChangedAndScalesTheText) {
  QtCanvas c(60, 40);
  auto inkRows = [&c] {
    int top = -1, bottom = -1;
    for (int y = 0; y < c.height(); ++y)
      for (int x = 0; x < c.width(); ++x)
        if (qGray(c.image().pixel(x, y)) < 128) {
          if (top < 0) top = y;
          bottom = y;
        }
    return top < 0 ? 0 : bottom - top + 1;
  };
  c.textOut(2, 2, "88");
  const int rows = inkRows();
  EXPECT_FALSE(c.resize(60, 40, 1.0));
  EXPECT_EQ(inkRows(), rows);  // kept
  EXPECT_TRUE(c.resize(60, 40, 2.0));
  EXPECT_EQ(inkRows(), 0);  // white
  c.textOut(2, 2, "88");
  EXPECT_NEAR(inkRows(), 2 * rows, 2);
  EXPECT_TRUE(c.resize(80, 30, 2.0));
  EXPECT_EQ(c.image().size(), QSize(80, 30));
  EXPECT_TRUE(c.resize(0, -3, 0.0));  // at least one pixel, scale 1
  EXPECT_EQ(c.image().size(), QSize(1, 1));
  EXPECT_EQ(c.textScale(), 1.0);
}

}  // namespace
