#pragma once
// Session files (".sonrake"): the live record, every memory slot and the
// merge settings in one versioned JSON document, so that a set of
// measurements can be closed and opened again exactly as it was. Numbers are
// written as hexadecimal floating-point strings, so every double comes back
// bit for bit. docs/session-format.md describes the layout.

#include <array>
#include <string>

#include "analysis/merge_setup.h"
#include "setup/meas_setup.h"

inline constexpr int kSessionSlotCount = 10;
inline constexpr int kSessionVersion = 1;
inline constexpr size_t kSessionOverlaySlots = 8;  // the slots with buttons
// A file larger than this is refused unread (a full session is about 600 kB).
inline constexpr size_t kSessionMaxBytes = 8u << 20;
inline constexpr const char* kSessionFormatName = "sonrake-session";

// What a session holds. The live record's fields cyclic and delayedStart
// are not part of it (a run never starts by itself after an open).
struct SessionData {
  MeasSetup live;
  bool liveMeasured = false;  // the live response is a measurement that can be stored or exported
  std::array<MeasSetup, kSessionSlotCount> slots;
  MergeSetup merge;  // the parameters; the weights are worked out again
  // Slots 1..8 drawn over the live curve. Optional in a file: one without it
  // shows none.
  std::array<bool, kSessionOverlaySlots> overlays{};
};

// A double as a hexadecimal floating-point string ("-0x1.8p+1"), written and
// read the same in every locale. Reading accepts only what the writer writes
// and refuses anything that is not a finite number.
std::string hexDouble(double v);
bool parseHexDouble(const std::string& text, double& v);

// The session as JSON text.
std::string sessionToJson(const SessionData& session);

// Reads a session from JSON text into out. Every field is checked (type and
// range); on any fault the result is false, error names the first fault and
// out is left in an unspecified but valid state (read into a scratch record).
bool sessionFromJson(const std::string& text, SessionData& out, std::string& error);

// Writes the session to path (replacing it atomically). False with error on failure.
bool writeSessionFile(const std::string& path, const SessionData& session, std::string& error);
// Reads the session file at path: refuses a missing, unreadable, empty or
// too large file, and everything sessionFromJson refuses.
bool readSessionFile(const std::string& path, SessionData& out, std::string& error);
