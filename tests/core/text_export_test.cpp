#include "store/text_export.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "dialog_recorder.h"
#include "file_test_support.h"
#include "app/app_state.h"

namespace {

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "<no line end>");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string fileText(const std::string& path) {
  const std::vector<uint8_t> b = readBytes(path);
  return {b.begin(), b.end()};
}

class TextExport : public ::testing::Test {
 protected:
  void SetUp() override {
    s->setup.setDefaults();
    // Recognisable values: level -(j/10) dB, phase j/4 degrees; the
    // impedance curves 1000 + j ohm, -j degrees.
    for (int j = 0; j < kGridPoints; ++j) {
      s->curves.splMag[0][j] = -j / 10.0;
      s->curves.splPhase[0][j] = j / 4.0;
      s->curves.zMag[0][j] = 1000.0 + j;
      s->curves.zPhase[0][j] = -j;
      s->curves.splMag[1][j] = 99.0;  // curve 1 is never written
      s->curves.zMag[1][j] = 99.0;
    }
  }
  std::unique_ptr<AppState> s = std::make_unique<AppState>();
};

constexpr const char* kHeader = "   Freq \t     Mag \t   Phase";

}  // namespace

// The default range 20 Hz .. 20 kHz: the header and grid points 151 to 899,
// 20.12 Hz to 19887.02 Hz, of curve 0, each line ending in CR LF.
TEST_F(TextExport, DefaultRangeWritesGridPoints151To899) {
  ASSERT_EQ(s->setup.freqLow, 20.0);
  ASSERT_EQ(s->setup.freqHigh, 20000.0);
  const std::vector<std::string> lines = linesOf(exportText(s->setup, s->curves));
  ASSERT_EQ(lines.size(), 750u);
  EXPECT_EQ(lines[0], kHeader);
  // j = 151: 5 * 10^(604/999) = 20.117 Hz, -15.1 dB, 37.75 -> 37.8 degrees
  // (37.75 is exact in binary; rounding to one decimal goes to even, 37.8).
  EXPECT_EQ(lines[1], "   20.12 \t   -15.1 \t    37.8");
  // j = 500: 5 * 10^(2000/999) = 502.31 Hz, -50.0 dB, 125.0 degrees.
  EXPECT_EQ(lines[1 + 500 - 151], "  502.31 \t   -50.0 \t   125.0");
  // j = 899: 5 * 10^(3596/999) = 19887.02 Hz, -89.9 dB, 224.75 -> 224.8.
  EXPECT_EQ(lines[749], "19887.02 \t   -89.9 \t   224.8");
}

// The whole grid, impedance curves, numbers wider than their field, and a
// range between two grid points.
TEST_F(TextExport, RangeModeAndWidth) {
  s->setup.freqLow = 5.0;
  s->setup.freqHigh = 50000.0;
  std::vector<std::string> lines = linesOf(exportText(s->setup, s->curves));
  ASSERT_EQ(lines.size(), 1001u);
  EXPECT_EQ(lines[1], "    5.00 \t     0.0 \t     0.0");
  EXPECT_EQ(lines[1000], "50000.00 \t   -99.9 \t   249.8");  // 249.75: even, 249.8

  s->setup.impedanceMode = 1;
  s->curves.zMag[0][999] = 123456789.04;
  s->curves.zPhase[0][999] = -1e12;
  lines = linesOf(exportText(s->setup, s->curves));
  ASSERT_EQ(lines.size(), 1001u);
  EXPECT_EQ(lines[0], kHeader);
  EXPECT_EQ(lines[1], "    5.00 \t  1000.0 \t     0.0");
  EXPECT_EQ(lines[2], "    5.05 \t  1001.0 \t    -1.0");  // 5 * 10^(4/999) = 5.0465
  EXPECT_EQ(lines[1000], "50000.00 \t123456789.0 \t-1000000000000.0");

  // 100.1 .. 100.2 Hz holds no grid point (100.05 and 101.0 lie around it).
  s->setup.freqLow = 100.1;
  s->setup.freqHigh = 100.2;
  EXPECT_EQ(exportText(s->setup, s->curves), std::string(kHeader) + "\r\n");
}

// The export from the program state: no measurement, a cancel, a file that
// cannot be written (nothing is left behind), a file written and one replaced.
TEST_F(TextExport, ExportThroughTheDialog) {
  TempDir dir;
  DialogRecorder dialogs;

  EXPECT_EQ(exportResponse(s->setup, s->curves, s->responseValid, dialogs), ExportResult::noMeasurement);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "You must perform a measurement first");
  EXPECT_EQ(dialogs.boxes[0].caption, "Data export");
  EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::warning);
  EXPECT_TRUE(dialogs.fileDialogs.empty());

  s->responseValid = true;
  EXPECT_EQ(exportResponse(s->setup, s->curves, s->responseValid, dialogs), ExportResult::cancelled);
  ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
  EXPECT_TRUE(dialogs.fileDialogs[0].save);
  EXPECT_EQ(dialogs.fileDialogs[0].defaultExt, "txt");
  // Text first, as before; then the curve formats other programs read.
  EXPECT_EQ(dialogs.fileDialogs[0].filter,
            "Text files (*.txt)|*.TXT|FRD files (*.frd)|*.FRD|ZMA files (*.zma)|*.ZMA|"
            "CSV files (*.csv)|*.CSV|All files (*.*)|*.*");
  EXPECT_EQ(dialogs.fileDialogs[0].fileName, "");
  EXPECT_EQ(dialogs.boxes.size(), 1u);

  const std::string bad = dir.file("no such folder/out.txt");
  dialogs.fileAnswers.push_back(bad);
  EXPECT_EQ(exportResponse(s->setup, s->curves, s->responseValid, dialogs), ExportResult::failed);
  ASSERT_EQ(dialogs.boxes.size(), 2u);
  EXPECT_EQ(dialogs.boxes[1].text, "Could not open file.\nCheck if path and filename is correct.");
  EXPECT_EQ(dialogs.boxes[1].caption, "Data export");
  EXPECT_EQ(dialogs.boxes[1].icon, MsgIcon::warning);

  const std::string good = dir.file("out.txt");
  writeBytes(good, std::vector<uint8_t>(100000, 'x'), 100000);  // a longer old file
  dialogs.fileAnswers.push_back(good);
  EXPECT_EQ(exportResponse(s->setup, s->curves, s->responseValid, dialogs), ExportResult::written);
  EXPECT_EQ(dialogs.boxes.size(), 2u);
  const std::string text = fileText(good);
  EXPECT_EQ(text, exportText(s->setup, s->curves));
  EXPECT_EQ(linesOf(text).size(), 750u);
  EXPECT_FALSE(std::filesystem::exists(good + ".tmp"));
}

// Grid points at and above half the response's rate hold no measurement and
// are not written. Grid point j is 5 * 10^(4 j / 999) Hz, so j is written
// only while j < 999 / 4 * log10(rate / 10).
TEST_F(TextExport, StopsBelowHalfTheResponseRate) {
  // 8000 Hz: j < 249.75 * log10(800) = 725.05. The default range starts at
  // j = 151, so the lines are j = 151 .. 725 after the header; j = 725 is
  // 5 * 10^(2900/999) = 3998.28 Hz, -72.5 dB, 181.25 -> 181.2 degrees
  // (exact in binary, to even). j = 726 would be 4035.31 Hz.
  s->setup.responseRate = 8000;
  std::vector<std::string> lines = linesOf(exportText(s->setup, s->curves));
  ASSERT_EQ(lines.size(), 1u + 575u);
  EXPECT_EQ(lines[0], kHeader);
  EXPECT_EQ(lines[1], "   20.12 \t   -15.1 \t    37.8");
  EXPECT_EQ(lines.back(), " 3998.28 \t   -72.5 \t   181.2");

  // 44100 Hz over 2000 .. 50000 Hz: from j = 650 (2002.50 Hz; 249.75 *
  // log10(400) = 649.86) to j = 910 (22009.68 Hz; 249.75 * log10(4410) =
  // 910.2), -91.0 dB, 227.5 degrees.
  s->setup.responseRate = 44100;
  s->setup.freqLow = 2000.0;
  s->setup.freqHigh = 50000.0;
  lines = linesOf(exportText(s->setup, s->curves));
  ASSERT_EQ(lines.size(), 1u + 261u);
  EXPECT_EQ(lines[1], " 2002.50 \t   -65.0 \t   162.5");
  EXPECT_EQ(lines.back(), "22009.68 \t   -91.0 \t   227.5");

  // Impedance curves stop at the same point.
  s->setup.impedanceMode = 1;
  lines = linesOf(exportText(s->setup, s->curves));
  ASSERT_EQ(lines.size(), 1u + 261u);
  EXPECT_EQ(lines.back(), "22009.68 \t  1910.0 \t  -910.0");

  // Half the rate exactly on the lowest grid point (5 Hz): nothing is measured.
  s->setup.impedanceMode = 0;
  s->setup.freqLow = 5.0;
  s->setup.responseRate = 10;
  EXPECT_EQ(exportText(s->setup, s->curves), std::string(kHeader) + "\r\n");
}

// The default range 20 Hz .. 20 kHz lies below half of every rate from
// 44100 Hz up, so those exports are the default one; without a rate (no
// measurement) the whole range is written.
TEST_F(TextExport, DefaultRangeUnchangedFromCdRateUp) {
  for (int32_t rate : {44100, 48000, 96000}) {
    s->setup.responseRate = rate;
    const std::vector<std::string> lines = linesOf(exportText(s->setup, s->curves));
    ASSERT_EQ(lines.size(), 750u) << rate;
    EXPECT_EQ(lines[749], "19887.02 \t   -89.9 \t   224.8") << rate;
  }
  s->setup.responseRate = 0;
  s->setup.freqLow = 5.0;
  s->setup.freqHigh = 50000.0;
  const std::vector<std::string> lines = linesOf(exportText(s->setup, s->curves));
  ASSERT_EQ(lines.size(), 1001u);
  EXPECT_EQ(lines[1000], "50000.00 \t   -99.9 \t   249.8");
}
