#pragma once
// The microphone calibration import as the user starts it.

#include <cstdint>

#include "analysis/mic_cal.h"

struct AppState;
class Dialogs;

enum class MicImport : uint8_t { cancelled, failed, loaded };

// The import as the user starts it: with s.micImportAsk an open dialog
// starting at s.micFileName chooses the file (cancel: nothing changes, result
// cancelled); without it the file named there is read again. A file read
// whole becomes the curve, s.micCalValid is set, its name becomes
// s.micFileName and what it held s.micInfo; a file chosen in the dialog is
// then reported in an information box ("Mic calibration data": how many
// points, their range, the sensitivity its header states). A file that cannot be opened is reported in a message box
// ("Mic calibration data"), its name kept and s.micCalValid cleared. A file
// that readMicCalFile refuses is reported in the same box and changes
// nothing: curve, flag, name and s.micInfo stay.
MicImport importMicCal(AppState& s, Dialogs& dialogs);
