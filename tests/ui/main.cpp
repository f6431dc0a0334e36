// The window tests need one QApplication for the whole run.
#include <QApplication>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv) {
  // CTest sets the offscreen platform for the test runs, but not for the
  // listing of the tests; without a display the listing would abort.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  // As in the program: numbers are read and written with a decimal point
  // whatever the user's locale.
  std::setlocale(LC_NUMERIC, "C");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
