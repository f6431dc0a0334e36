#include "app/mic_import.h"

#include <cstring>
#include <string>

#include "app/app_state.h"
#include "platform/dialogs.h"

MicImport importMicCal(AppState& s, Dialogs& dialogs) {
  // The name is kept zero-padded, as the configuration file stores it.
  char path[kMicFileNameCapacity]{};
  if (s.micImportAsk) {
    const FileDialogRequest request{"txt", kTextFileFilter, s.micFileName};
    if (!dialogs.openFileDialog(request, path, sizeof path)) return MicImport::cancelled;
  } else {
    std::memcpy(path, s.micFileName, sizeof path);
  }

  std::string refusal;
  MicFileInfo info;
  switch (readMicCalFile(path, s.setup.freqGrid, s.micCal, &info)) {
    case MicFileResult::cannotOpen:
      std::memcpy(s.micFileName, path, sizeof path);
      s.micCalValid = false;
      dialogs.messageBox("Could not open file.\nCheck if path and filename is correct.",
                         "Mic calibration data", MsgIcon::warning, MsgButtons::okCancel);
      return MicImport::failed;
    case MicFileResult::notAscending:
      refusal = micNotAscendingText(info.descendingLine);
      break;
    case MicFileResult::tooFewPoints:
      refusal = kMicTooFewPointsText;
      break;
    case MicFileResult::belowGrid:
      refusal = kMicBelowGridText;
      break;
    case MicFileResult::loaded:
      std::memcpy(s.micFileName, path, sizeof path);
      s.micCalValid = true;
      s.micInfo = info;
      if (s.micImportAsk) {
        dialogs.messageBox(micLoadedText(info).c_str(), "Mic calibration data", MsgIcon::information,
                           MsgButtons::ok);
      }
      return MicImport::loaded;
  }
  // A file that cannot serve as a calibration changes nothing: the curve,
  // its flag and the name of the file it came from stay.
  dialogs.messageBox(refusal.c_str(), "Mic calibration data", MsgIcon::warning, MsgButtons::ok);
  return MicImport::failed;
}
