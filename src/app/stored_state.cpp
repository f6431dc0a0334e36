#include "app/stored_state.h"

ConfigFields configFields(AppState& s) { return {s.setup, s.micCal, s.micCalValid, s.micFileName}; }

ConfigView configView(const AppState& s) { return {s.setup, s.micCal, s.micCalValid, s.micFileName}; }

bool loadStoredState(AppState& s, const std::string& dataDir, CalFileRead* cal) {
  // Devices are not stored: every start uses the first device of each list.
  s.inDeviceId = 0;
  s.outDeviceId = 0;
  const bool accepted = readConfigFile(configFields(s), dataDir);
  const CalFileRead calRead = readCalFile(s.soundcardCal, s.micCal, dataDir);
  if (cal != nullptr) *cal = calRead;
  // A cyclic measurement never survives a restart.
  s.cyclicRunning = false;
  s.setup.cyclic = false;
  // Only the MLS sizes follow the stored order here; the sizes derived from
  // the sample rate are left alone until the rate is next selected.
  s.setup.setMlsOrder(s.setup.mlsOrder - mlsOrderTable.front());
  return accepted;
}

bool saveStoredState(const AppState& s, const std::string& dataDir) {
  const bool config = writeConfigFile(configView(s), dataDir);
  const bool cal = writeCalFile(s.soundcardCal, s.micCal, dataDir);
  return config && cal;
}
