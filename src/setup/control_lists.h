#pragma once
// The fixed choices of the window's lists, by item index.

#include <array>

// Impedance graph range, ohm: lower limit (shown "%2.1f") and upper limit
// (shown "%2.0f").
inline constexpr std::array<double, 7> zMinChoices = {0.1, 0.2, 0.5, 1, 2, 5, 10};
inline constexpr std::array<double, 6> zMaxChoices = {20, 50, 100, 200, 500, 1000};

// Item index = smoothIndex.
inline constexpr std::array<const char*, 7> smoothingNames = {
    "none", "1/24th octave", "1/12th octave", "1/6th octave", "1/3rd octave", "1/2 octave",
    "1 octave"};
// Item index = showChannel.
inline constexpr std::array<const char*, 3> channelNames = {"Ch 1", "Ch 2", "Ch 1 - 2"};
