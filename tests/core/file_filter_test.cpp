#include "platform/file_filter.h"

#include <gtest/gtest.h>

// The program's pairs of description and pattern become name filters that
// match either case, "*.*" matches every name; odd filters give what is usable.
TEST(FileFilter, PairsBecomeNameFilters) {
  EXPECT_EQ(nameFilters("Text files (*.txt)|*.TXT|All files (*.*)|*.*"),
            "Text files (*.TXT *.txt);;All files (*)");
  EXPECT_EQ(nameFilters("Data|*.Dat;*.csv"), "Data (*.Dat *.DAT *.dat *.csv *.CSV)");
  EXPECT_EQ(nameFilters("Lonely description"), "");
  EXPECT_EQ(nameFilters("Empty pattern||Text|*.txt"), "Text (*.txt *.TXT)");
  EXPECT_EQ(nameFilters(""), "");
  EXPECT_EQ(nameFilters(nullptr), "");
}
