// The numeric entry's text handling without its widget: the number read
// from typed text against a reader of this target's own (the longest
// leading decimal number, 0 without one, NaN when it does not fit a double
// or is a word for infinity or NaN), and the check of a display format
// against a pattern of the one floating-point conversion it must hold, the
// accepted formats then printing any value without running past the
// entry's buffer.
//
// TEditNum::parseText itself (the QString to characters, the scale and the
// dB mode) needs a QApplication and is left to the window tests.

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <regex>
#include <string>

#include <strings.h>

#include "fuzz_support.h"
#include "ui/edit_num.h"

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }

// Sets `number` to what parseLeadingNumber must give for text.
void expectedNumber(const char* text, bool& none, bool& word, std::string& number) {
  const char* p = text;
  while (*p != '\0' && std::strchr(" \t\n\r\f\v", *p) != nullptr) ++p;
  if (*p == '+' && p[1] != '-') ++p;
  const char* q = p;
  if (*q == '-') ++q;
  int digits = 0;
  while (digit(*q)) ++q, ++digits;
  if (*q == '.') {
    ++q;
    while (digit(*q)) ++q, ++digits;
  }
  none = digits == 0;
  if (none) {
    // The words a double's reader takes for infinity and NaN give NaN.
    const char* w = *p == '-' ? p + 1 : p;
    word = strncasecmp(w, "inf", 3) == 0 || strncasecmp(w, "nan", 3) == 0;
    return;
  }
  if (*q == 'e' || *q == 'E') {
    const char* e = q + 1;
    if (*e == '+' || *e == '-') ++e;
    if (digit(*e)) {
      while (digit(*e)) ++e;
      q = e;
    }
  }
  number.assign(p, q);
}

void checkNumber(const char* text) {
  const double got = parseLeadingNumber(text);
  bool none = false;
  bool word = false;
  std::string number;
  expectedNumber(text, none, word, number);
  if (word) {
    FUZZ_CHECK(std::isnan(got));
    return;
  }
  if (none) {
    FUZZ_CHECK(got == 0.0 && !std::signbit(got));
    return;
  }
  errno = 0;
  const double want = std::strtod(number.c_str(), nullptr);
  if (errno == ERANGE && std::isinf(want)) {
    FUZZ_CHECK(std::isnan(got));  // beyond the largest double
  } else if (errno == ERANGE) {
    // Below the smallest normal double: taken as the nearest value or,
    // as out of range, NaN.
    FUZZ_CHECK(std::isnan(got) || got == want);
  } else {
    FUZZ_CHECK(got == want && std::signbit(got) == std::signbit(want));
  }
}

void checkFormat(const char* fmt) {
  static const std::regex oneDouble(
      "^(?:[^%]|%%)*%[-+ #0]*[0-9]*(?:\\.[0-9]*)?l?[fFeEgGaA](?:[^%]|%%)*$");
  const size_t length = std::strlen(fmt);
  if (length > 64) return;
  const bool want = std::regex_match(fmt, fmt + length, oneDouble);
  FUZZ_CHECK(isDoubleFormat(fmt) == want);
  // A format the entry would take, printed as the entry prints: the text
  // always ends inside the buffer, whatever the value. (Widths of more than
  // three digits only cost time.)
  if (!want || length >= static_cast<size_t>(TEditNum::kFormatCapacity)) return;
  static const std::regex wide("[0-9]{4}");
  if (std::regex_search(fmt, fmt + length, wide)) return;
  for (double x :
       {0.0, -1e100, 1e100, std::numeric_limits<double>::quiet_NaN(), DBL_MAX, -DBL_MIN, 1e-300}) {
    char buf[TEditNum::kTextCapacity + 1];
    buf[TEditNum::kTextCapacity] = '#';
    std::snprintf(buf, TEditNum::kTextCapacity, fmt, x);
    FUZZ_CHECK(buf[TEditNum::kTextCapacity] == '#');
    FUZZ_CHECK(std::memchr(buf, '\0', TEditNum::kTextCapacity) != nullptr);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // As the entry hands it over: at most 98 characters, NUL-terminated.
  char text[TEditNum::kReadChars + 1];
  const size_t n = size < static_cast<size_t>(TEditNum::kReadChars) ? size : TEditNum::kReadChars;
  std::memcpy(text, data, n);
  text[n] = '\0';
  checkNumber(text);
  checkFormat(text);
  return 0;
}
