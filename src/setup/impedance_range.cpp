#include "setup/impedance_range.h"

#include <cstdio>

namespace {

ZRangeText formatOhm(const char* fmt, double ohm) {
  ZRangeText t;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  std::snprintf(t.text, sizeof t.text, fmt, ohm);
#pragma GCC diagnostic pop
  return t;
}

template <size_t N>
int indexOf(double ohm, const std::array<double, N>& choices) {
  for (size_t i = 0; i < N; ++i)
    if (choices[i] == ohm) return static_cast<int>(i);
  return -1;
}

}  // namespace

ZRangeText zMinText(double ohm) { return formatOhm(kZMinFormat, ohm); }
ZRangeText zMaxText(double ohm) { return formatOhm(kZMaxFormat, ohm); }

int zMinIndex(double ohm) { return indexOf(ohm, zMinChoices); }
int zMaxIndex(double ohm) { return indexOf(ohm, zMaxChoices); }
