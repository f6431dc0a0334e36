#pragma once
// Where the configuration and calibration files live: the directory named by
// the environment variable KALDER, or else the current working directory.

#include <string>

// Longest file path the program builds: data directory, separator and file
// name together, in characters (without the terminating NUL).
inline constexpr int kMaxPathLength = 259;
// Both data files have names of this length ("sonrake.cfg", "sonrake.cal").
inline constexpr int kDataFileNameLength = 11;

// The data directory with a trailing '/': kalder when it is set (non-null),
// not empty and short enough that it plus '/' plus a data file name fits in
// kMaxPathLength; otherwise workingDir plus '/'. A missing (null), empty or
// too long workingDir gives "./", which still names the working directory.
std::string dataDirectory(const char* kalder, const char* workingDir);

// The data directory of this process, from $KALDER and the current working
// directory as above.
std::string dataDirectory();

// dataDir followed by fileName (no separator added).
std::string dataFilePath(const std::string& dataDir, const char* fileName);
