#pragma once
// The whole of sonrake-cli behind one call, so that main() only hands over
// its arguments: the device list, a calibration run or a measurement on the
// application layer, with the simulated devices paced as fast as they go.

#include <ostream>
#include <string>
#include <vector>

// Exit status of sonrake-cli.
inline constexpr int kCliOk = 0;
inline constexpr int kCliRunFailed = 1;
inline constexpr int kCliBadUsage = 2;

// Runs the command line args (without the program name). Results go to out,
// progress and every message to err. The data directory is $KALDER or the
// working directory, as for the window; sonrake.cfg is read, never written.
int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
