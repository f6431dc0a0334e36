#include "ui/edit_num.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

struct Message {
  uint32_t msg;
  uint32_t wParam;
  int32_t lParam;
};

// Records what the control sends; when asked, it also checks that the bound
// variable is already written when the message arrives.
class Recorder : public NotifyTarget {
 public:
  void receiveMessage(uint32_t msg, uint32_t wParam, int32_t lParam) override {
    received.push_back({msg, wParam, lParam});
    if (watched != nullptr) seenOnArrival.push_back(*watched);
  }
  std::vector<Message> received;
  const int32_t* watched = nullptr;
  std::vector<int32_t> seenOnArrival;
};

// A window with the control under test and a second edit to move the focus to.
class EditNumTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window.get());
    edit = new TEditNum(window.get());
    other = new QLineEdit(window.get());
    layout->addWidget(edit);
    layout->addWidget(other);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }

  // The user clicks into the control, replaces its text and leaves it.
  void typeAndLeave(const char* text) {
    typeOnly(text);
    other->setFocus(Qt::TabFocusReason);
  }
  void typeOnly(const char* text) {
    edit->setFocus(Qt::TabFocusReason);
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromLatin1(text));
  }
  void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    edit->setFocus(Qt::TabFocusReason);
    QTest::keyClick(edit, k, m);
  }
  QString shown() const { return edit->text(); }

  // The window setting of the main window: an offset in samples, shown in
  // milliseconds at 44100 Hz.
  void bindSamplesAsMs() {
    edit->init("%2.4f", 0, 4096, 1, 100, TEditNum::addStep);
    edit->setRef(&samples);
    edit->setScale(1000.0 / 44100.0);
    edit->setValue();
    edit->setNotifyParent(&recorder, msgSettingChanged, ncWindow, 0);
  }

  std::unique_ptr<QWidget> window;
  TEditNum* edit = nullptr;
  QLineEdit* other = nullptr;
  Recorder recorder;
  int32_t samples = 0;
  double bound = 0.0;
};

// 10 ms at 44100 Hz is 10 / (1000/44100) = 441 samples; shown back it is
// 441 * 1000 / 44100 = 10 exactly.
TEST_F(EditNumTest, TypedMillisecondsAreStoredAsSamples) {
  bindSamplesAsMs();
  EXPECT_EQ(shown(), "0.0000");

  typeAndLeave("10");
  EXPECT_EQ(samples, 441);
  EXPECT_EQ(shown(), "10.0000");
  ASSERT_EQ(recorder.received.size(), 1u);
  EXPECT_EQ(recorder.received[0].msg, 1225u);
  EXPECT_EQ(recorder.received[0].wParam, 1u);
  EXPECT_EQ(recorder.received[0].lParam, 0);

  // 9.99 ms = 440.559 samples: rounded half up to 441 in the binding, while
  // the control keeps and shows what was typed until it is refreshed.
  typeAndLeave("9.99");
  EXPECT_EQ(samples, 441);
  EXPECT_EQ(shown(), "9.9900");
  EXPECT_EQ(recorder.received.size(), 1u);  // the binding did not change
  edit->setValue();
  EXPECT_EQ(shown(), "10.0000");

  // 0.0113 ms = 0.498 samples rounds to 0; 0.0114 ms = 0.503 rounds to 1.
  typeAndLeave("0.0113");
  EXPECT_EQ(samples, 0);
  typeAndLeave("0.0114");
  EXPECT_EQ(samples, 1);
}

// "1e3" is taken as 1000 samples, not 1000 ms (= 44100 samples); shown back
// that is 1000 * 1000 / 44100 = 22.675736... ms.
TEST_F(EditNumTest, TextWithExponentIsNotDividedByTheScale) {
  bindSamplesAsMs();
  typeAndLeave("1e3");
  EXPECT_EQ(samples, 1000);
  EXPECT_EQ(shown(), "22.6757");

  typeAndLeave("2E2");
  EXPECT_EQ(samples, 200);

  // Without an exponent the scale applies: 1 ms is 44.1 samples -> 44.
  typeAndLeave("1");
  EXPECT_EQ(samples, 44);
}

TEST_F(EditNumTest, TextOutsideTheLimitsIsRejectedSilently) {
  bindSamplesAsMs();
  typeAndLeave("10");  // 441 samples
  recorder.received.clear();

  // 100 ms = 4410 samples > 4096.
  typeAndLeave("100");
  EXPECT_EQ(samples, 441);
  EXPECT_EQ(shown(), "10.0000");
  EXPECT_TRUE(recorder.received.empty());

  // -1 ms is below 0; Enter rejects the same way and commits nothing.
  typeOnly("-1");
  key(Qt::Key_Return);
  EXPECT_EQ(samples, 441);
  EXPECT_EQ(shown(), "10.0000");
  EXPECT_TRUE(recorder.received.empty());

  // A number too large for a double and "nan" are outside as well.
  typeAndLeave("1e999");
  EXPECT_EQ(samples, 441);
  typeAndLeave("nan");
  EXPECT_EQ(samples, 441);
  EXPECT_TRUE(recorder.received.empty());

  // Both limits are inclusive: 4096 samples is taken.
  typeAndLeave("4096e0");
  EXPECT_EQ(samples, 4096);
  EXPECT_EQ(recorder.received.size(), 1u);
}

TEST_F(EditNumTest, TextWithoutANumberReadsAsZero) {
  edit->init("%2.1f", -10, 10, 1, 10, TEditNum::addStep);
  bound = 5.0;
  edit->setRef(&bound);
  edit->setNotifyParent(&recorder, msgSettingChanged, ncDisplay, 0);

  typeAndLeave("abc");
  EXPECT_EQ(bound, 0.0);
  EXPECT_EQ(shown(), "0.0");
  EXPECT_EQ(recorder.received.size(), 1u);

  // Trailing characters are ignored; a leading '+' and blanks are allowed.
  typeAndLeave(" +7.5dB");
  EXPECT_EQ(bound, 7.5);

  // Zero outside the limits: the text is rejected.
  edit->limits(1, 10);
  typeAndLeave("x");
  EXPECT_EQ(bound, 7.5);
  EXPECT_EQ(shown(), "7.5");
}

// Part of the contract of the bound double: it is compared as shown.
TEST_F(EditNumTest, SameShownTextDoesNotOverwriteTheBinding) {
  edit->init("%2.2f", 0, 1000, 1, 10, TEditNum::addStep);
  bound = 12.001;
  edit->setRef(&bound);
  edit->setNotifyParent(&recorder, msgSettingChanged, ncDisplay, 0);
  EXPECT_EQ(shown(), "12.00");

  typeAndLeave("12.00");
  EXPECT_EQ(bound, 12.001);
  EXPECT_TRUE(recorder.received.empty());

  // Leaving without touching the text sends nothing either.
  edit->setFocus(Qt::TabFocusReason);
  other->setFocus(Qt::TabFocusReason);
  EXPECT_TRUE(recorder.received.empty());

  // 12.006 shows as 12.01: a real change.
  typeAndLeave("12.006");
  EXPECT_EQ(bound, 12.006);
  EXPECT_EQ(recorder.received.size(), 1u);
}

TEST_F(EditNumTest, EnterCommitsAndAlwaysNotifies) {
  edit->init("%2.1f", 5, 100, 1, 10, TEditNum::addStep);
  bound = 40.0;
  edit->setRef(&bound);
  edit->setNotifyParent(&recorder, msgSettingChanged, ncDisplay, 0);

  typeOnly("55");
  EXPECT_EQ(bound, 40.0);  // nothing happens while typing
  key(Qt::Key_Return);
  EXPECT_EQ(bound, 55.0);
  EXPECT_EQ(shown(), "55.0");
  EXPECT_EQ(recorder.received.size(), 1u);

  // The same number again (and the keypad's Enter): notified although the
  // binding stays as it was.
  typeOnly("55");
  key(Qt::Key_Enter);
  EXPECT_EQ(bound, 55.0);
  EXPECT_EQ(recorder.received.size(), 2u);

  // Leaving after Enter finds nothing new to write.
  other->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(recorder.received.size(), 2u);
}

TEST_F(EditNumTest, ArrowKeysStepTheHeldNumber) {
  edit->init("%2.1f", 5, 100, 1, 10, TEditNum::addStep);
  bound = 40.0;
  edit->setRef(&bound);
  edit->setNotifyParent(&recorder, msgSettingChanged, ncDisplay, 0);

  key(Qt::Key_Up);
  EXPECT_EQ(bound, 41.0);
  EXPECT_EQ(shown(), "41.0");
  key(Qt::Key_Down);
  key(Qt::Key_Down);
  EXPECT_EQ(bound, 39.0);
  EXPECT_EQ(recorder.received.size(), 3u);

  // Ctrl selects ctrlStep; Shift and Alt select nothing.
  key(Qt::Key_Up, Qt::ControlModifier);
  EXPECT_EQ(bound, 49.0);
  key(Qt::Key_Up, Qt::ShiftModifier);
  EXPECT_EQ(bound, 50.0);
  key(Qt::Key_Up, Qt::AltModifier);
  EXPECT_EQ(bound, 51.0);
  key(Qt::Key_Down, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(bound, 41.0);

  // Text typed but not committed is dropped: Up steps from 41, not from 70.
  typeOnly("70");
  key(Qt::Key_Up);
  EXPECT_EQ(bound, 42.0);
  EXPECT_EQ(shown(), "42.0");

  // Other keys commit nothing.
  const size_t before = recorder.received.size();
  key(Qt::Key_Left);
  key(Qt::Key_Home);
  EXPECT_EQ(recorder.received.size(), before);
}

TEST_F(EditNumTest, ArrowKeysStopAtTheLimitsAndStillNotify) {
  edit->init("%2.1f", 5, 100, 1, 10, TEditNum::addStep);
  bound = 99.5;
  edit->setRef(&bound);
  edit->setNotifyParent(&recorder, msgSettingChanged, ncDisplay, 0);

  key(Qt::Key_Up);  // 100.5 clamped to 100
  EXPECT_EQ(bound, 100.0);
  EXPECT_EQ(shown(), "100.0");
  EXPECT_EQ(recorder.received.size(), 1u);
  key(Qt::Key_Up);  // already at the limit: no change, still a message
  EXPECT_EQ(bound, 100.0);
  EXPECT_EQ(recorder.received.size(), 2u);

  bound = 5.0;
  edit->setValue();
  key(Qt::Key_Down);
  key(Qt::Key_Down, Qt::ControlModifier);
  EXPECT_EQ(bound, 5.0);
  EXPECT_EQ(shown(), "5.0");
  EXPECT_EQ(recorder.received.size(), 4u);
}

TEST_F(EditNumTest, MultiplyingSteps) {
  // The impedance form of the merge gains: factors 0.001..100, x1.05 / x1.2.
  edit->init("%2.3f", 0.001, 100, 1.05, 1.2, TEditNum::mulStep);
  bound = 2.0;
  edit->setRef(&bound);
  edit->setNotifyParent(&recorder, msgSettingChanged, ncMerge, 0);

  key(Qt::Key_Up);
  EXPECT_DOUBLE_EQ(bound, 2.1);
  EXPECT_EQ(shown(), "2.100");
  key(Qt::Key_Down, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(bound, 1.75);  // 2.1 / 1.2
  EXPECT_EQ(shown(), "1.750");
  EXPECT_EQ(recorder.received.size(), 2u);
  EXPECT_EQ(recorder.received[1].wParam, 2u);
}

// A ratio shown in dB. Limits +-20 dB are the ratios 0.1 and 10; a step of
// 1 dB multiplies by 10^(1/20) = 1.1220185, a Ctrl step of 6 dB by
// 10^(6/20) = 1.9952623.
TEST_F(EditNumTest, DecibelModeHoldsARatio) {
  edit->init20Log10("%2.1f", -20, 20, 1, 6);
  EXPECT_TRUE(edit->log20);
  EXPECT_EQ(edit->mode, TEditNum::mulStep);
  EXPECT_NEAR(edit->minValue, 0.1, 1e-15);
  EXPECT_NEAR(edit->maxValue, 10.0, 1e-14);
  EXPECT_NEAR(edit->step, 1.1220185, 1e-7);
  EXPECT_NEAR(edit->ctrlStep, 1.9952623, 1e-7);

  bound = 1.0;
  edit->setRef(&bound);
  edit->setNotifyParent(&recorder, msgSettingChanged, ncDisplay, 0);
  EXPECT_EQ(shown(), "0.0");

  key(Qt::Key_Up);
  EXPECT_NEAR(bound, 1.1220185, 1e-7);
  EXPECT_EQ(shown(), "1.0");
  key(Qt::Key_Up, Qt::ControlModifier);
  EXPECT_EQ(shown(), "7.0");

  typeAndLeave("-6");
  EXPECT_NEAR(bound, 0.5011872, 1e-7);  // 10^(-0.3)
  EXPECT_EQ(shown(), "-6.0");

  typeAndLeave("30");  // beyond +20 dB
  EXPECT_NEAR(bound, 0.5011872, 1e-7);
  EXPECT_EQ(shown(), "-6.0");

  // The exponent rule does not apply in dB: "1e1" is 10 dB.
  typeAndLeave("1e1");
  EXPECT_NEAR(bound, 3.1622777, 1e-7);

  // The scale multiplies the ratio before the dB conversion: a ratio of 1
  // at scale 2 shows 20*log10(2) = 6.02 dB, and 12 dB typed is the ratio
  // 10^0.6 / 2 = 1.9905359.
  bound = 1.0;
  edit->setScale(2.0);
  edit->setValue();
  EXPECT_EQ(shown(), "6.0");
  typeAndLeave("12");
  EXPECT_NEAR(bound, 1.9905359, 1e-7);
}

TEST_F(EditNumTest, WhoIsToldAndWhen) {
  // No receiver: changes are written but nothing is sent (the series
  // resistor works like this).
  edit->init("%2.2f", 0.1, 1000, 1, 10, TEditNum::addStep);
  bound = 12.0;
  edit->setRef(&bound);
  typeAndLeave("8.2");
  key(Qt::Key_Up);
  EXPECT_DOUBLE_EQ(bound, 9.2);
  EXPECT_TRUE(recorder.received.empty());

  // With a receiver: the message carries the configured parameters and
  // arrives after the binding has been written.
  int32_t rate = 44100;
  TEditNum rateEdit(window.get());
  rateEdit.init("%2.0f", 1000, 200000, 100, 1000, TEditNum::addStep);
  rateEdit.setRef(&rate);
  rateEdit.setNotifyParent(&recorder, msgSettingChanged, ncSampleRate, 7);
  recorder.watched = &rate;
  rateEdit.setText("48000");
  rateEdit.doExit();
  ASSERT_EQ(recorder.received.size(), 1u);
  EXPECT_EQ(recorder.received[0].msg, msgSettingChanged);
  EXPECT_EQ(recorder.received[0].wParam, 5u);
  EXPECT_EQ(recorder.received[0].lParam, 7);
  EXPECT_EQ(recorder.seenOnArrival[0], 48000);

  // Unbinding the receiver silences the control.
  rateEdit.setNotifyParent(nullptr, 0, 0, 0);
  rateEdit.keyDown(Qt::Key_Up, Qt::NoModifier);
  EXPECT_EQ(rate, 48100);
  EXPECT_EQ(recorder.received.size(), 1u);
}

TEST_F(EditNumTest, RefreshReadsTheBindings) {
  // Both bindings set: the integer is read last and wins; a write-back
  // updates each binding that differs.
  double d = 1.5;
  int32_t i = 7;
  edit->init("%2.1f", -100, 100, 1, 10, TEditNum::addStep);
  edit->setRef(&d);
  EXPECT_EQ(shown(), "1.5");
  edit->setRef(&i);
  EXPECT_EQ(edit->getValue(), 7.0);
  EXPECT_EQ(shown(), "7.0");
  EXPECT_TRUE(edit->modRef());
  EXPECT_EQ(d, 7.0);
  EXPECT_FALSE(edit->modRef());

  // A change of the bound variable shows at the next refresh only.
  i = -3;
  EXPECT_EQ(shown(), "7.0");
  edit->setValue();
  EXPECT_EQ(shown(), "-3.0");

  // setValue(x) shows x without writing it; modifyToLimits clamps, and a NaN
  // goes to the lower limit.
  edit->setValue(250.0);
  EXPECT_EQ(i, -3);
  edit->modifyToLimits();
  EXPECT_EQ(edit->getValue(), 100.0);
  edit->setValue(std::nan(""));
  edit->modifyToLimits();
  EXPECT_EQ(edit->getValue(), -100.0);
  EXPECT_EQ(shown(), "-100.0");

  // Rounding half up as value + 0.5 truncated toward zero: -2.7 -> -2.
  edit->setValue(-2.7);
  edit->modRef();
  EXPECT_EQ(i, -2);
}

TEST_F(EditNumTest, FormatMustBeOneFloatingConversion) {
  EXPECT_TRUE(edit->format("%2.0f"));
  EXPECT_STREQ(edit->fmtText, "%2.0f");
  EXPECT_TRUE(edit->format("%+8.3e dB %%"));
  EXPECT_TRUE(edit->format("%lf"));
  EXPECT_FALSE(edit->format("%d"));
  EXPECT_FALSE(edit->format("%s"));
  EXPECT_FALSE(edit->format("%f %f"));
  EXPECT_FALSE(edit->format("%*f"));
  EXPECT_FALSE(edit->format("no number"));
  EXPECT_FALSE(edit->format("%Lf"));
  EXPECT_TRUE(edit->format("%2.1f and more text"));    // 19 characters
  EXPECT_FALSE(edit->format("%2.1f and more texts"));  // 20
  EXPECT_STREQ(edit->fmtText, "%2.1f and more text");  // the last accepted one stays
}

TEST(ParseLeadingNumber, ReadsLikeAtof) {
  EXPECT_EQ(parseLeadingNumber("12.5"), 12.5);
  EXPECT_EQ(parseLeadingNumber("  -3.25xyz"), -3.25);
  EXPECT_EQ(parseLeadingNumber("+4"), 4.0);
  EXPECT_EQ(parseLeadingNumber(".5"), 0.5);
  EXPECT_EQ(parseLeadingNumber("1e3"), 1000.0);
  EXPECT_EQ(parseLeadingNumber("1e"), 1.0);
  EXPECT_EQ(parseLeadingNumber(""), 0.0);
  EXPECT_EQ(parseLeadingNumber("-"), 0.0);
  EXPECT_EQ(parseLeadingNumber("+-5"), 0.0);
  EXPECT_EQ(parseLeadingNumber("ohm"), 0.0);
  EXPECT_EQ(parseLeadingNumber("1,5"), 1.0);  // a comma ends the number
  EXPECT_TRUE(std::isnan(parseLeadingNumber("1e999")));
}

// The words the C library reads as doubles are no numbers to enter: they
// are refused like a number too large, never taken as an infinity.
TEST(ParseLeadingNumber, InfinityAndNanWordsAreNotNumbers) {
  for (const char* word :
       {"inf", "-inf", "+INF", "Infinity", " -infinity5", "nan", "-NaN", "nan(0x1)"}) {
    SCOPED_TRACE(word);
    EXPECT_TRUE(std::isnan(parseLeadingNumber(word)));
  }
  // Words that only start like them are no number at all.
  EXPECT_EQ(parseLeadingNumber("in"), 0.0);
  EXPECT_EQ(parseLeadingNumber("na"), 0.0);
}

}  // namespace
