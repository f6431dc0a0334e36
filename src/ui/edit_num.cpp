#include "ui/edit_num.h"

#include <QFocusEvent>
#include <QKeyEvent>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>

double parseLeadingNumber(const char* text) {
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
  if (*p == '+' && p[1] != '-') ++p;
  double x = 0.0;
  const auto [end, ec] = std::from_chars(p, p + std::strlen(p), x, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) return std::numeric_limits<double>::quiet_NaN();
  if (ec != std::errc() || end == p) return 0.0;
  // "inf" and "nan" read as words for doubles; neither is a number to enter.
  if (!std::isfinite(x)) return std::numeric_limits<double>::quiet_NaN();
  return x;
}

bool isDoubleFormat(const char* fmt) {
  int conversions = 0;
  for (const char* p = fmt; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) ++p;
    while (*p >= '0' && *p <= '9') ++p;
    if (*p == '.') {
      ++p;
      while (*p >= '0' && *p <= '9') ++p;
    }
    if (*p == 'l') ++p;  // "%lf" is a plain double as well
    if (*p == '\0' || std::strchr("fFeEgGaA", *p) == nullptr) return false;
    ++conversions;
  }
  return conversions == 1;
}

TEditNum::TEditNum(QWidget* parent) : QLineEdit(parent) {}

void TEditNum::init(const char* fmt, double min, double max, double stepValue, double ctrlStepValue,
                    EMode stepMode) {
  limits(min, max);
  steps(stepValue, ctrlStepValue, stepMode);
  format(fmt);
}

void TEditNum::init20Log10(const char* fmt, double minDb, double maxDb, double stepDb,
                           double ctrlStepDb) {
  limits(std::pow(10.0, minDb / 20.0), std::pow(10.0, maxDb / 20.0));
  steps(std::pow(10.0, stepDb / 20.0), std::pow(10.0, ctrlStepDb / 20.0), mulStep);
  log20 = true;
  format(fmt);
}

void TEditNum::limits(double min, double max) {
  minValue = min;
  maxValue = max;
}

void TEditNum::steps(double stepValue, double ctrlStepValue, EMode stepMode) {
  step = stepValue;
  ctrlStep = ctrlStepValue;
  mode = stepMode;
}

bool TEditNum::format(const char* fmt) {
  // The format is handed to snprintf with one double, so anything but a
  // single floating-point conversion would read arguments that are not there.
  if (fmt == nullptr || std::strlen(fmt) >= kFormatCapacity || !isDoubleFormat(fmt)) return false;
  std::snprintf(fmtText, sizeof fmtText, "%s", fmt);
  return true;
}

void TEditNum::setScale(double s) { scale = s; }

void TEditNum::setRef(double* ref) {
  dRef = ref;
  setValue();
}

void TEditNum::setRef(int32_t* ref) {
  iRef = ref;
  setValue();
}

void TEditNum::setNotifyParent(NotifyTarget* target, uint32_t msg, uint32_t wParam,
                               int32_t lParam) {
  notifyWnd = target;
  notifyMsg = msg;
  notifyWParam = wParam;
  notifyLParam = lParam;
}

void TEditNum::notifyParent() {
  if (notifyWnd != nullptr) notifyWnd->receiveMessage(notifyMsg, notifyWParam, notifyLParam);
}

bool TEditNum::insideLimits(double x) const { return x >= minValue && x <= maxValue; }

void TEditNum::modifyToLimits() {
  if (value > maxValue) value = maxValue;
  if (!(value >= minValue)) value = minValue;
  setValue(value);
}

void TEditNum::setValue(double x, char* buf, int bufSize) const {
  double shown = x * scale;
  if (log20) shown = 20.0 * std::log10(shown);
  std::snprintf(buf, static_cast<size_t>(bufSize), fmtText, shown);
}

void TEditNum::setValue(double x) {
  value = x;
  char buf[kTextCapacity];
  setValue(value, buf, kTextCapacity);
  showText(buf);
}

void TEditNum::setValue() {
  if (dRef != nullptr) value = *dRef;
  if (iRef != nullptr) value = static_cast<double>(*iRef);
  char buf[kTextCapacity];
  setValue(value, buf, kTextCapacity);
  showText(buf);
}

bool TEditNum::modRef() {
  bool changed = false;
  if (dRef != nullptr) {
    // Compare as shown: a bound value that already reads the same (12.001
    // under "%2.2f" against a typed 12.00) is not overwritten.
    char mine[kTextCapacity];
    char bound[kTextCapacity];
    setValue(value, mine, kTextCapacity);
    setValue(*dRef, bound, kTextCapacity);
    if (std::strcmp(mine, bound) != 0) {
      *dRef = value;
      changed = true;
    }
  }
  if (iRef != nullptr) {
    // Round half up as value + 0.5 truncated; a value past the int32 range
    // (possible only with wide limits) is held at the range's end.
    const double r = std::trunc(value + 0.5);
    int32_t n = 0;
    if (r >= 2147483647.0) {
      n = std::numeric_limits<int32_t>::max();
    } else if (r <= -2147483648.0) {
      n = std::numeric_limits<int32_t>::min();
    } else if (!std::isnan(r)) {
      n = static_cast<int32_t>(r);
    }
    if (*iRef != n) {
      *iRef = n;
      changed = true;
    }
  }
  return changed;
}

double TEditNum::parseText() const {
  // Read the text without a heap copy: the typed characters are ASCII digits,
  // signs, points and exponents; anything else ends the number anyway.
  char buf[kReadChars + 1];
  const QString t = text();
  const int n = static_cast<int>(std::min<qsizetype>(t.size(), kReadChars));
  const QChar* c = t.constData();
  for (int i = 0; i < n; ++i) {
    const char16_t u = c[i].unicode();
    buf[i] = (u > 0 && u < 128) ? static_cast<char>(u) : '?';
  }
  buf[n] = '\0';

  const double typed = parseLeadingNumber(buf);
  if (log20) return std::pow(10.0, typed * 0.05) / scale;
  if (std::strpbrk(buf, "eE") != nullptr) return typed;
  return typed / scale;
}

void TEditNum::doExit() {
  const double x = parseText();
  if (insideLimits(x)) {
    setValue(x);
    if (modRef()) notifyParent();
  } else {
    setValue(value);
  }
}

bool TEditNum::keyDown(int key, Qt::KeyboardModifiers modifiers) {
  const double s = (modifiers & Qt::ControlModifier) ? ctrlStep : step;
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      const double x = parseText();
      if (!insideLimits(x)) {
        setValue(value);
        return true;
      }
      value = x;
      break;
    }
    case Qt::Key_Up:
      value = (mode == mulStep) ? value * s : value + s;
      break;
    case Qt::Key_Down:
      value = (mode == mulStep) ? value / s : value - s;
      break;
    default:
      return false;
  }
  commit();
  return true;
}

void TEditNum::commit() {
  modifyToLimits();
  setValue(value);
  modRef();
  notifyParent();
}

void TEditNum::showText(const char* text) { setText(QString::fromLatin1(text)); }

void TEditNum::focusOutEvent(QFocusEvent* event) {
  // A context menu or another application taking over leaves the focus with
  // this control inside the window; only a real move of the focus is an exit.
  const Qt::FocusReason r = event->reason();
  if (r != Qt::PopupFocusReason && r != Qt::ActiveWindowFocusReason) doExit();
  QLineEdit::focusOutEvent(event);
}

void TEditNum::keyPressEvent(QKeyEvent* event) {
  keyDown(event->key(), event->modifiers());
  QLineEdit::keyPressEvent(event);
}
