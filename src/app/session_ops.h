#pragma once
// Sessions on the program state: what a session file takes from the state
// and how an opened session becomes the state.

#include "store/session_file.h"

struct AppState;

// The live record, the slots and the merge parameters of the state.
void sessionFromState(const AppState& state, SessionData& session);

// Makes the session the state: the live record (keeping the state's cyclic
// and delayedStart, and without an impulse response behind it: hasResponse
// clear), the slots whole, the merge parameters with their gains and weights
// worked out again. A measured live response is shown and may be stored and
// exported again; the MLS tables follow the opened sequence length. The
// driver parameters are worked out again.
void applySession(AppState& state, const SessionData& session);
