#pragma once
// The choices of the impedance graph's range: the values of the two lists
// (lower and upper edge, ohm) and the texts their items show. The window fills
// its lists from here, and the configuration reader accepts only these values.

#include <array>

inline constexpr int kZMinChoiceCount = 7;
inline constexpr int kZMaxChoiceCount = 6;

// Item index -> lower edge of the impedance graph, ohm.
inline constexpr std::array<double, kZMinChoiceCount> zMinChoices = {0.1, 0.2, 0.5, 1.0,
                                                                      2.0, 5.0, 10.0};
// Item index -> upper edge of the impedance graph, ohm.
inline constexpr std::array<double, kZMaxChoiceCount> zMaxChoices = {20.0,  50.0,  100.0,
                                                                      200.0, 500.0, 1000.0};

// printf formats of the item texts, also used for the current value shown in
// the list's edit field.
inline constexpr const char* kZMinFormat = "%2.1f";
inline constexpr const char* kZMaxFormat = "%2.0f";

// One item text, NUL-terminated; long enough for every list value.
struct ZRangeText {
  static constexpr int kCapacity = 16;
  char text[kCapacity]{};
};

// The text of a lower-edge value ("0.1" .. "10.0"). A value too wide for the
// text is cut at kCapacity - 1 characters.
ZRangeText zMinText(double ohm);
// The text of an upper-edge value ("20" .. "1000"); cut as zMinText.
ZRangeText zMaxText(double ohm);

// The list item holding exactly this value, or -1 when the value is not one of
// the choices (NaN included).
int zMinIndex(double ohm);
int zMaxIndex(double ohm);
