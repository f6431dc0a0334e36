#pragma once
// Choosing a sound device from the command line by its name or by a part of
// its name, as the device lists show them.

#include <string>
#include <string_view>
#include <vector>

// The outcome of a match: with ok, index is the position of the chosen name;
// without it, index is -1 and error is one line saying why.
struct DeviceMatch {
  bool ok = false;
  int index = -1;
  std::string error;
};

// Finds query among names (one direction's devices, by device number).
// A name equal to query, character for character, wins over every partial
// match. Without one, the names that contain query as a substring, ignoring
// ASCII case, are looked at, and exactly one of them must do so. direction
// ("input", "output") only names the kind of device in the error texts:
//   empty query:          "no input device name given"
//   nothing contains it:  "no input device matches 'X'"
//   several contain it:   "'sim' matches 3 output devices: A, B, C" (list order)
// Several names equal to query (identical devices) are several matches too,
// named in the same way. An empty list matches nothing.
DeviceMatch matchDevice(const std::vector<std::string>& names, std::string_view query,
                        std::string_view direction);
