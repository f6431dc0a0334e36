// sonrake-cli runs where there is no display: neither it nor any library it
// pulls in is a part of Qt, of X, of OpenGL or of Wayland. Checked on the
// libraries the dynamic loader resolves for the built binary (ldd), so a
// dependency brought in by another library counts too.

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#ifndef SONRAKE_CLI_PATH
#error "SONRAKE_CLI_PATH must name the sonrake-cli binary"
#endif

namespace {

// The lines ldd prints for `binary`, with its errors.
std::vector<std::string> lddLines(const std::string& binary) {
  std::vector<std::string> lines;
  FILE* p = popen(("ldd '" + binary + "' 2>&1").c_str(), "r");
  if (p == nullptr) return lines;
  char line[1024];
  while (std::fgets(line, sizeof line, p) != nullptr) lines.emplace_back(line);
  pclose(p);
  return lines;
}

// The libraries are listed (ALSA's among them, which the sound backend
// links; PortAudio itself is loaded at run time and has no display
// dependency either), so an empty or failed ldd can't pass; none of them is
// a display library.
TEST(CliLink, NoQtNorDisplayLibraryIsLoaded) {
  const std::vector<std::string> lines = lddLines(SONRAKE_CLI_PATH);
  ASSERT_FALSE(lines.empty()) << "no output from ldd " SONRAKE_CLI_PATH;
  std::ostringstream all;
  for (const std::string& l : lines) all << l;

  bool alsa = false;
  for (const std::string& l : lines) {
    alsa = alsa || l.find("libasound") != std::string::npos;
    for (const char* banned : {"libQt", "libX11", "libxcb", "libGL", "libwayland"}) {
      EXPECT_EQ(l.find(banned), std::string::npos) << banned << " in: " << l;
    }
  }
  EXPECT_TRUE(alsa) << all.str();
}

}  // namespace
