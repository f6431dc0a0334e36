#include "display/cursor_readout.h"

#include <gtest/gtest.h>

#include <string>

#include "dialog_recorder.h"
#include "clipboard_recorder.h"
#include "display/clipboard_copy.h"
#include "platform/clipboard.h"

namespace {

constexpr int kW = 553;  // the plot's size
constexpr int kH = 233;

std::string freqText(double f) {
  char t[kReadoutCapacity];
  formatReadoutFrequency(f, t, kReadoutCapacity);
  return t;
}
std::string ohmText(double z) {
  char t[kReadoutCapacity];
  formatReadoutImpedance(z, t, kReadoutCapacity);
  return t;
}

MeasSetup splSetup() {
  MeasSetup m;
  m.freqLow = 20.0;
  m.freqHigh = 20000.0;
  m.displayRange = 40.0;
  m.impedanceMode = 0;
  m.phaseHidden = false;
  return m;
}

// Frequency texts: one decimal for everything below 100 Hz, none up to 1 kHz,
// then the nearest 10 Hz, from 10 kHz the nearest 100 Hz.
TEST(CursorReadout, FrequencyFormats) {
  EXPECT_EQ(freqText(50.0), "50.0 Hz");
  EXPECT_EQ(freqText(5.04), "5.0 Hz");
  EXPECT_EQ(freqText(99.96), "100.0 Hz");
  EXPECT_EQ(freqText(150.4), "150 Hz");
  EXPECT_EQ(freqText(999.6), "1000 Hz");
  EXPECT_EQ(freqText(1234.0), "1230 Hz");
  EXPECT_EQ(freqText(1235.0), "1240 Hz");
  EXPECT_EQ(freqText(9996.0), "10000 Hz");
  EXPECT_EQ(freqText(12345.0), "12300 Hz");
  EXPECT_EQ(freqText(12350.0), "12400 Hz");
}

// Ohm texts: two decimals below 3, one below 30, none above, the switch made
// on the value before rounding.
TEST(CursorReadout, ImpedanceFormats) {
  EXPECT_EQ(ohmText(0.1234), "0.12 ohm");
  EXPECT_EQ(ohmText(2.996), "3.00 ohm");
  EXPECT_EQ(ohmText(3.0), "3.0 ohm");
  EXPECT_EQ(ohmText(29.96), "30.0 ohm");
  EXPECT_EQ(ohmText(30.0), "30 ohm");
  EXPECT_EQ(ohmText(527.4), "527 ohm");
}

// The frequency axis inverted: 20 Hz to 20 kHz over 553 pixels, so
// f = 20 * 1000^(X / 553): X = 0 is 20 Hz, X = 276 is 628.5 Hz, X = 552 is
// 19752 Hz (nearest 100: 19800), X = 553 the right edge, 20 kHz.
TEST(CursorReadout, FrequencyFromPixel) {
  const MeasSetup m = splSetup();
  CursorReadout r;
  const std::pair<int, const char*> cases[] = {
      {0, "20.0 Hz"}, {276, "629 Hz"}, {552, "19800 Hz"}, {553, "20000 Hz"}};
  for (const auto& [x, text] : cases) {
    graphCursorReadout(m, 0.0, false, kW, kH, x, 50, r);
    EXPECT_STREQ(r.freq, text) << x;
  }
}

// SPL graph, dBTop 10 dB, range 40 dB over 233 rows: L = 10 - Y/233 * 40,
// p = 180 - Y/233 * 360. Y = 0: 10.0 dB, +180; Y = 100: -7.167 dB, +25.49;
// Y = 233: -30.0 dB, -180. Hidden phase empties the phase text.
TEST(CursorReadout, SplLevelAndPhase) {
  MeasSetup m = splSetup();
  CursorReadout r;
  graphCursorReadout(m, 10.0, false, kW, kH, 100, 0, r);
  EXPECT_STREQ(r.level, "10.0 dB");
  EXPECT_STREQ(r.phase, "+180 deg");
  graphCursorReadout(m, 10.0, false, kW, kH, 100, 100, r);
  EXPECT_STREQ(r.level, "-7.2 dB");
  EXPECT_STREQ(r.phase, "+25 deg");
  graphCursorReadout(m, 10.0, false, kW, kH, 100, 233, r);
  EXPECT_STREQ(r.level, "-30.0 dB");
  EXPECT_STREQ(r.phase, "-180 deg");

  m.phaseHidden = true;
  graphCursorReadout(m, 10.0, false, kW, kH, 100, 100, r);
  EXPECT_STREQ(r.level, "-7.2 dB");
  EXPECT_STREQ(r.phase, "");
}

// Impedance graph 1 .. 100 ohm: Z = 10^(2 (233 - Y) / 233), p = 90 - Y/233 *
// 180. Y = 0: 100 ohm, +90; Y = 116: 10^(234/233) = 10.099 ohm, +0.39 deg;
// Y = 233: 1.00 ohm, -90. With the calibration view the same position reads
// dB, as the calibration graph shown there is a level graph.
TEST(CursorReadout, ImpedanceLevelAndPhase) {
  MeasSetup m = splSetup();
  m.impedanceMode = 1;
  m.zMin = 1.0;
  m.zMax = 100.0;
  CursorReadout r;
  graphCursorReadout(m, 10.0, false, kW, kH, 0, 0, r);
  EXPECT_STREQ(r.level, "100 ohm");
  EXPECT_STREQ(r.phase, "+90 deg");
  graphCursorReadout(m, 10.0, false, kW, kH, 0, 116, r);
  EXPECT_STREQ(r.level, "10.1 ohm");
  EXPECT_STREQ(r.phase, "+0 deg");
  graphCursorReadout(m, 10.0, false, kW, kH, 0, 233, r);
  EXPECT_STREQ(r.level, "1.00 ohm");
  EXPECT_STREQ(r.phase, "-90 deg");

  graphCursorReadout(m, 10.0, true, kW, kH, 0, 0, r);
  EXPECT_STREQ(r.level, "10.0 dB");
  EXPECT_STREQ(r.phase, "+180 deg");

  m.phaseHidden = true;
  graphCursorReadout(m, 10.0, false, kW, kH, 0, 0, r);
  EXPECT_STREQ(r.level, "100 ohm");
  EXPECT_STREQ(r.phase, "");
}

// A plot without area or a range that cannot be inverted reads nothing,
// instead of inf or nan.
TEST(CursorReadout, DegenerateAxesReadNothing) {
  MeasSetup m = splSetup();
  CursorReadout r;
  graphCursorReadout(m, 10.0, false, 0, kH, 5, 5, r);
  EXPECT_STREQ(r.freq, "");
  EXPECT_STREQ(r.level, "");
  EXPECT_STREQ(r.phase, "");
  graphCursorReadout(m, 10.0, false, kW, 0, 5, 5, r);
  EXPECT_STREQ(r.freq, "");
  m.freqLow = 0.0;
  graphCursorReadout(m, 10.0, false, kW, kH, 5, 5, r);
  EXPECT_STREQ(r.freq, "");
  m = splSetup();
  m.impedanceMode = 1;
  m.zMin = 0.0;
  m.zMax = 100.0;
  graphCursorReadout(m, 10.0, false, kW, kH, 5, 5, r);
  EXPECT_STREQ(r.freq, "21.3 Hz");  // 20 * 1000^(5/553) = 21.29
  EXPECT_STREQ(r.level, "");
}

// The copy: a picture goes to the clipboard pixel for pixel (rows re-packed
// from the stride); no picture shows "Out of memory" and leaves the clipboard
// alone; a busy clipboard drops the copy without a message.
TEST(ClipboardCopy, PictureMissingOrClipboardBusy) {
  const uint32_t pixels[2 * 4] = {0xff000001, 0xff000002, 0xff000003, 0xdeadbeef,
                                  0xff000004, 0xff000005, 0xff000006, 0xdeadbeef};
  DialogRecorder dialogs;
  ClipboardRecorder clip;

  EXPECT_EQ(copyGraphToClipboard({pixels, 3, 2, 4}, clip, dialogs), ClipCopyResult::copied);
  ASSERT_EQ(clip.pictures.size(), 1u);
  EXPECT_EQ(clip.pictures[0].width, 3);
  EXPECT_EQ(clip.pictures[0].height, 2);
  EXPECT_EQ(clip.pictures[0].pixels,
            (std::vector<uint32_t>{0xff000001, 0xff000002, 0xff000003, 0xff000004, 0xff000005,
                                   0xff000006}));
  EXPECT_TRUE(dialogs.boxes.empty());

  for (const ClipImage& none : {ClipImage{nullptr, 3, 2, 4}, ClipImage{pixels, 0, 2, 4},
                                ClipImage{pixels, 3, 0, 4}, ClipImage{pixels, 5, 1, 4}}) {
    EXPECT_EQ(copyGraphToClipboard(none, clip, dialogs), ClipCopyResult::noImage);
  }
  EXPECT_EQ(clip.calls, 1);
  ASSERT_EQ(dialogs.boxes.size(), 4u);
  EXPECT_EQ(dialogs.boxes[0].text, "Out of memory");
  EXPECT_EQ(dialogs.boxes[0].caption, "Copy window");
  EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::warning);
  EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::ok);

  clip.busy = true;
  EXPECT_EQ(copyGraphToClipboard({pixels, 3, 2, 4}, clip, dialogs), ClipCopyResult::busy);
  EXPECT_EQ(dialogs.boxes.size(), 4u);
  EXPECT_EQ(clip.pictures.size(), 1u);
}

}  // namespace
