// The driver page: the panel's inputs go to the application, the parameters
// of the shown impedance curve come back as a table of values.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <cstring>

#include "store/driver_params_text.h"
#include "ui/edit_num.h"
#include "ui/main_form.h"

namespace {

// The values in three columns of five, by key; a value the result does not
// hold shows as a dash.
constexpr std::array<std::array<const char*, 5>, 3> kColumns = {{
    {"Re", "fs", "Zmax", "Qms", "Qes"},
    {"Qts", "Le", "residual", "Mms", "Cms"},
    {"Bl", "Rms", "Vas", "eta0", "SPL_1W_1m"},
}};

// Names as the panel shows them, where they differ from the keys.
const char* shownName(const char* key, bool reFromDc) {
  if (std::strcmp(key, "Re") == 0) return reFromDc ? "Re (DC)" : "Re";
  if (std::strcmp(key, "residual") == 0) return "Fit";
  if (std::strcmp(key, "eta0") == 0) return "&eta;0";
  if (std::strcmp(key, "SPL_1W_1m") == 0) return "1W/1m";
  return key;
}

const char* shownUnit(const char* key, const char* unit) {
  if (std::strcmp(key, "Vas") == 0) return "l";
  if (std::strcmp(unit, "ohm") == 0) return "&Omega;";
  return unit;
}

}  // namespace

void TMainForm::showDriverParams() {
  const DriverParams& p = app_->driverParams();
  std::array<ParamEntry, kMaxParamEntries> entries;
  const int n = driverParamEntries(p, entries);
  const bool reFromDc = p.status == ParamsStatus::ok && p.electrical.reFromDc;

  QString html = QStringLiteral("<table cellspacing=0 cellpadding=0>");
  for (size_t row = 0; row < 5; ++row) {
    html += QStringLiteral("<tr>");
    for (size_t col = 0; col < kColumns.size(); ++col) {
      const char* key = kColumns[col][row];
      QString value = QStringLiteral("&ndash;");
      QString unit;
      for (int i = 0; i < n; ++i) {
        if (std::strcmp(entries[static_cast<size_t>(i)].key, key) != 0) continue;
        value = QString::fromStdString(paramValueText(entries[static_cast<size_t>(i)]));
        unit = QString::fromLatin1(shownUnit(key, entries[static_cast<size_t>(i)].unit));
      }
      html += QStringLiteral("<td>%1&nbsp;</td><td align=right>%2</td><td>&nbsp;%3</td>")
                  .arg(QString::fromLatin1(shownName(key, reFromDc)), value, unit);
      if (col + 1 < kColumns.size()) html += QStringLiteral("<td width=14></td>");
    }
    html += QStringLiteral("</tr>");
  }
  html += QStringLiteral("</table>");
  drvValues->setText(html);

  // Why something is missing, or the air the mechanical values are for.
  const char* message = app_->driverParamsMessage();
  if (message[0] != '\0') {
    drvMessage->setText(QString::fromLatin1(message));
    drvMessage->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0)"));
  } else if (p.mechStatus == ParamsStatus::ok) {
    drvMessage->setText(QStringLiteral("Air: \u03c1 1.18 kg/m\u00b3, c 343 m/s"));
    drvMessage->setStyleSheet(QStringLiteral("color: rgb(96, 96, 96)"));
  } else {
    drvMessage->setText(QString());
  }
  drvCopy->setEnabled(n > 0);

  // The amount entry edits the mass or the box volume, as the method says.
  const bool box = driverEntries_.mech.method == MechMethod::closedBox;
  drvAmount->setRef(box ? &driverEntries_.mech.boxLitres : &driverEntries_.mech.addedMassG);
  drvAmountUnit->setText(box ? QStringLiteral("l") : QStringLiteral("g"));
  const bool second = driverEntries_.mech.method != MechMethod::none;
  for (QWidget* w : {static_cast<QWidget*>(drvAmount), static_cast<QWidget*>(drvSd),
                     static_cast<QWidget*>(drvSlot)})
    w->setEnabled(second);
}

void TMainForm::drvMethodChange(int index) {
  driverEntries_.mech.method = static_cast<MechMethod>(std::clamp(index, 0, 2));
  app_->driverInputsChanged(driverEntries_);
}

void TMainForm::drvSlotChange(int index) {
  driverEntries_.secondSlot = std::clamp(index, 0, 7);
  app_->driverInputsChanged(driverEntries_);
}

void TMainForm::drvModelClick(bool checked) {
  driverEntries_.showModel = checked;
  app_->driverInputsChanged(driverEntries_);
}

void TMainForm::drvCopyClick() { app_->copyDriverParamsClicked(*clipboard_); }
