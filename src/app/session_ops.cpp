#include "app/session_ops.h"

#include "app/app_state.h"
#include "app/driver_ops.h"
#include "engine/mls.h"

static_assert(kSessionSlotCount == kSlotCount, "a session keeps every slot of the state");
static_assert(kSessionOverlaySlots == kStoreSlots, "a session keeps every overlay choice");

void sessionFromState(const AppState& state, SessionData& session) {
  session.live = state.setup;
  session.liveMeasured = state.responseValid;
  for (size_t i = 0; i < state.slots.size(); ++i) session.slots[i] = state.slots[i];
  session.merge = state.mergeSetup;
  session.overlays = state.overlays.shown;
}

void applySession(AppState& state, const SessionData& session) {
  const bool cyclic = state.setup.cyclic;
  const bool delayed = state.setup.delayedStart;
  state.setup = session.live;
  state.setup.cyclic = cyclic;
  state.setup.delayedStart = delayed;
  state.setup.hasResponse = false;
  for (size_t i = 0; i < state.slots.size(); ++i) state.slots[i] = session.slots[i];
  state.overlays.shown = session.overlays;

  MergeSetup& merge = state.mergeSetup;
  const bool mergeShown = merge.mergeShown;
  merge = session.merge;
  merge.mergeShown = mergeShown;
  const bool impedance = state.setup.impedanceMode != 0;
  merge.updateMergeGains(impedance);
  merge.computeMergeWeights(state.setup.freqGrid);

  buildMlsTables(state.setup, state.mls);
  state.responseValid = session.liveMeasured;
  state.measurementShown = session.liveMeasured;
  state.calibrationView = false;
  state.driverCurve = impedance && session.liveMeasured;
  updateDriverParams(state);
}
