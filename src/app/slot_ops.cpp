#include "app/slot_ops.h"

#include "app/app_state.h"

bool storeSlot(AppState& state, int n) {
  if (!slotInRange(n) || !state.responseValid) return false;
  MeasSetup& slot = state.slots[n - 1];
  copySlotFields(state.setup, slot);
  slot.hasResponse = true;
  return true;
}

CurveFileRead loadSlotFromFile(AppState& state, int n, const std::string& path) {
  CurveFileRead read;
  if (!slotInRange(n)) return read;
  MeasSetup& slot = state.slots[n - 1];
  const bool impedance = curveFileIsImpedance(path, state.setup.impedanceMode != 0);
  read = readCurveFile(path, impedance, state.setup.freqGrid, slot.response, slot.held);
  if (read.result != CurveFileResult::loaded) return read;
  slot.fromFile = true;
  slot.impedanceMode = impedance ? 1 : 0;
  slot.responseRate = 0;
  slot.invertPolarity = false;
  slot.showChannel = 0;
  slot.autoscaleOffset = state.setup.autoscaleOffset;
  setTitleUtf8(slot.title, curveFileTitle(path));
  slot.hasResponse = true;
  return read;
}

bool recallSlot(AppState& state, int n, GainEntrySetup& gains) {
  if (!slotInRange(n)) return false;
  const MeasSetup& slot = state.slots[n - 1];
  if (!slot.hasResponse) return false;
  MeasSetup& live = state.setup;
  copySlotFields(slot, live);
  live.hasResponse = false;
  state.measurementShown = true;
  if (live.fromFile) state.responseValid = true;

  // The gain entries now edit the fields of the recalled type; the weights
  // follow what those entries show, so a factor entered for impedance does
  // not linger as a level change of a recalled SPL curve.
  const bool impedance = live.impedanceMode != 0;
  state.mergeSetup.updateMergeGains(impedance);
  state.mergeSetup.computeMergeWeights(live.freqGrid);
  gains = mergeGainEntrySetup(state.mergeSetup, impedance);
  return true;
}

const char* slotHintTitle(const AppState& state, int n) {
  if (!slotInRange(n)) return nullptr;
  const char* title = state.slots[n - 1].title;
  return title[0] == '\0' ? nullptr : title;
}
