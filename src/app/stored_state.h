#pragma once
// The program state that outlives a run of the program: the configuration and
// the calibration file, read at start-up and written at exit.

#include <string>

#include "app/app_state.h"
#include "setup/cal_file.h"
#include "setup/config_file.h"

// The fields of s that the configuration file holds.
ConfigFields configFields(AppState& s);
ConfigView configView(const AppState& s);

// Start-up load of the stored state, in this order: device choices back to
// 0; the configuration file (readConfigFile); the calibration file
// (readCalFile), independently of the configuration, its outcome to *cal
// when cal is given; cyclic measurement off; the MLS sizes re-derived from
// the order read. The sizes that follow the sample rate keep the values they
// had before the call. Returns true when the configuration was read and
// accepted whole.
bool loadStoredState(AppState& s, const std::string& dataDir, CalFileRead* cal = nullptr);

// Writes the configuration, then the calibration file. A file that cannot be
// written is skipped; the old one stays whole. Returns true when both were
// written.
bool saveStoredState(const AppState& s, const std::string& dataDir);
