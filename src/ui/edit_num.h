#pragma once
// TEditNum: a one-line entry for one number. It holds the number as a double
// in the unit of the program variable it is bound to, shows it through a
// printf-style format after multiplying by a display scale (or as
// 20*log10 of that), checks typed text against inclusive limits, steps the
// number with the Up and Down keys (Ctrl selects the larger step), writes it
// back into the bound double or int32 and tells its owner about changes.

#include <QLineEdit>

#include <cstdint>

#include "setup/setting_notify.h"

class QFocusEvent;
class QKeyEvent;

class TEditNum : public QLineEdit {
  Q_OBJECT

 public:
  enum EMode : uint8_t { addStep = 0, mulStep = 1 };

  static constexpr int kFormatCapacity = 20;  // format text, NUL included
  static constexpr int kReadChars = 98;       // typed characters read at most
  // Formatted numbers: wide enough for any value within the default limits
  // (+-1e100) in "%f", so two different values never compare equal because
  // their texts were cut short.
  static constexpr int kTextCapacity = 128;

  explicit TEditNum(QWidget* parent = nullptr);

  // limits(min, max), steps(step, ctrlStep, mode), format(fmt); no redisplay.
  void init(const char* fmt, double min, double max, double step, double ctrlStep, EMode mode);
  // Holds a linear ratio shown in dB: limits and steps are given in dB and
  // stored as ratios, the arrow keys multiply. No redisplay.
  void init20Log10(const char* fmt, double minDb, double maxDb, double stepDb, double ctrlStepDb);
  // Inclusive limits in the unit of the bound variable.
  void limits(double min, double max);
  void steps(double step, double ctrlStep, EMode mode);
  // Takes fmt if it is one floating-point conversion (flags, width and
  // precision allowed, "%%" anywhere) of at most 19 characters; otherwise
  // keeps the current format and returns false.
  bool format(const char* fmt);
  // Shown text = value * scale. Does not redisplay: call setValue() after it.
  void setScale(double s);
  // Binds a program variable (which must outlive the control) and shows it.
  // nullptr unbinds. With both bindings set the integer is read last.
  void setRef(double* ref);
  void setRef(int32_t* ref);
  // The receiver of change messages (nullptr: nobody is told) and the message.
  void setNotifyParent(NotifyTarget* target, uint32_t msg, uint32_t wParam, int32_t lParam);
  // Sends the message synchronously to the receiver, if there is one.
  void notifyParent();

  // x within [minValue, maxValue]; NaN is outside.
  bool insideLimits(double x) const;
  double getValue() const { return value; }
  // Kept for callers that ask a control whether it is edited; never true.
  bool isChanged() const { return false; }
  void reset() {}
  // Clamps value into the limits (NaN becomes minValue) and shows it.
  void modifyToLimits();
  // Formats x (scaled, or in dB) into buf of size bufSize without storing it.
  void setValue(double x, char* buf, int bufSize) const;
  // value = x, shown.
  void setValue(double x);
  // Refreshes value from the bound variables (double, then int32) and shows it.
  void setValue();
  // Writes value back into the bindings. A bound double is written only when
  // its text differs from value's; a bound int32 gets value rounded half up
  // (value + 0.5 truncated), held within the int32 range. True if written.
  bool modRef();
  // The number typed in the control: atof of its text (at most 98 chars,
  // 0 without a leading number) divided by the scale, except that text with
  // an exponent ("e"/"E") is taken unscaled; in dB mode 10^(dB/20)/scale.
  double parseText() const;

  // Leaving the control: accepts the typed number when inside the limits,
  // writes it back and notifies the owner only when the binding changed;
  // otherwise shows the previous number again.
  void doExit();
  // Enter commits the typed number (when inside the limits), Up/Down step the
  // held number (Ctrl: ctrlStep); each commit clamps, shows, writes back and
  // notifies the owner whether or not the binding changed. True if handled.
  bool keyDown(int key, Qt::KeyboardModifiers modifiers);

  EMode mode = addStep;
  double* dRef = nullptr;
  int32_t* iRef = nullptr;
  double value = 0.0;
  char fmtText[kFormatCapacity] = "%f";
  double minValue = -1e100;
  double maxValue = 1e100;
  double step = 1.0;
  double ctrlStep = 1.0;
  double scale = 1.0;
  bool log20 = false;
  NotifyTarget* notifyWnd = nullptr;
  uint32_t notifyMsg = 0;
  uint32_t notifyWParam = 0;
  int32_t notifyLParam = 0;

 protected:
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void commit();
  void showText(const char* text);
};

// atof without the C locale's influence: the longest leading decimal number
// of text (leading blanks and a '+' allowed), 0 when there is none, NaN when
// it does not fit a double or is no finite number ("inf", "nan" in any case).
double parseLeadingNumber(const char* text);
// True when fmt holds exactly one floating-point conversion for one double.
bool isDoubleFormat(const char* fmt);
