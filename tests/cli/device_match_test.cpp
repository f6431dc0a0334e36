#include "cli/device_match.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Input devices as the lists show them: the simulated ones first, then a
// sound card.
const std::vector<std::string> kInputs = {
    "Simulator: loudspeaker (mic L, loop R)", "Simulator: loopback cable",
    "Simulator: impedance jig 12 ohm", "USB Audio CODEC: - (hw:1,0)"};

int indexOf(const std::vector<std::string>& names, const char* query) {
  const DeviceMatch m = matchDevice(names, query, "input");
  EXPECT_EQ(m.ok, m.index >= 0) << query;
  EXPECT_EQ(m.ok, m.error.empty()) << query;
  return m.index;
}

}  // namespace

TEST(DeviceMatch, UniquePartOfANameChoosesItIgnoringCase) {
  EXPECT_EQ(indexOf(kInputs, "Simulator: loopback cable"), 1);
  EXPECT_EQ(indexOf(kInputs, "LOOPBACK"), 1);
  EXPECT_EQ(indexOf(kInputs, "jig"), 2);
  EXPECT_EQ(indexOf(kInputs, "usb audio"), 3);
  EXPECT_EQ(indexOf(kInputs, "(hw:1,0)"), 3);
  EXPECT_EQ(indexOf(kInputs, "mic l"), 0);
}

// A full name typed exactly is chosen even where it is part of other names or
// differs from another only in case.
TEST(DeviceMatch, ExactNameWinsOverPartialMatches) {
  const std::vector<std::string> names = {"Card", "Card 2", "card", "USB Card"};
  EXPECT_EQ(indexOf(names, "Card"), 0);
  EXPECT_EQ(indexOf(names, "card"), 2);
  EXPECT_EQ(indexOf(names, "Card 2"), 1);
  EXPECT_EQ(indexOf(names, "usb"), 3);
}

TEST(DeviceMatch, NoneOrSeveralMatchesAreNamedInTheError) {
  const DeviceMatch none = matchDevice(kInputs, "xyz", "input");
  EXPECT_FALSE(none.ok);
  EXPECT_EQ(none.index, -1);
  EXPECT_EQ(none.error, "no input device matches 'xyz'");
  // A query longer than every name, and an empty list.
  EXPECT_EQ(matchDevice({"A"}, "AB", "output").error, "no output device matches 'AB'");
  EXPECT_EQ(matchDevice({}, "A", "output").error, "no output device matches 'A'");

  const DeviceMatch several = matchDevice(kInputs, "sim", "output");
  EXPECT_FALSE(several.ok);
  EXPECT_EQ(several.index, -1);
  EXPECT_EQ(several.error,
            "'sim' matches 3 output devices: Simulator: loudspeaker (mic L, loop R), "
            "Simulator: loopback cable, Simulator: impedance jig 12 ohm");
  EXPECT_EQ(matchDevice(kInputs, "LOOP", "input").error,
            "'LOOP' matches 2 input devices: Simulator: loudspeaker (mic L, loop R), "
            "Simulator: loopback cable");
  // Two identical cards cannot be told apart by name.
  EXPECT_EQ(matchDevice({"Twin", "Other", "Twin"}, "Twin", "input").error,
            "'Twin' matches 2 input devices: Twin, Twin");

  const DeviceMatch empty = matchDevice(kInputs, "", "input");
  EXPECT_FALSE(empty.ok);
  EXPECT_EQ(empty.index, -1);
  EXPECT_EQ(empty.error, "no input device name given");
}
