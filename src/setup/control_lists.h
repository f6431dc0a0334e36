#pragma once
// The fixed choices of the window's lists, by item index.

#include <array>

// Item index = smoothIndex.
inline constexpr std::array<const char*, 7> smoothingNames = {
    "none", "1/24th octave", "1/12th octave", "1/6th octave", "1/3rd octave", "1/2 octave",
    "1 octave"};
// Item index = showChannel.
inline constexpr std::array<const char*, 3> channelNames = {"Ch 1", "Ch 2", "Ch 1 - 2"};
