// The menu bar: File, Measure, View and Help. Each entry presses the button
// that does the same on the window, so that it does only what the button
// would do now (nothing while the button is disabled), and the menus show
// the buttons' state when they open. Besides: the frequency graph saved as a
// picture, the "How to measure" page and the About box.

#include <QAbstractButton>
#include <QBuffer>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSvgGenerator>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <cstring>
#include <string>

#include "display/clipboard_copy.h"
#include "platform/dialogs.h"
#include "ui/image_view.h"
#include "ui/main_form.h"

#ifndef SONRAKE_VERSION
#define SONRAKE_VERSION "1.00"
#endif

namespace {

constexpr const char* kSaveGraphCaption = "Save graph";
constexpr const char* kHowToMeasureFile = "how-to-measure.html";

// Presses the button as a click would, when the user could click it now.
void press(QAbstractButton* b) {
  if (b->isEnabled() && !b->isHidden()) b->click();
}

// "Overlay 3: woofer", or "Overlay 3" for a slot without a title.
QString overlayEntryText(int n, const char* title) {
  QString text = QStringLiteral("Overlay %1").arg(n);
  if (title != nullptr && title[0] != '\0') text += QStringLiteral(": ") + QString::fromUtf8(title);
  return text;
}

}  // namespace

QString buildDateText() {
  // __DATE__ is "Mmm dd yyyy" (the day padded with a space); shown as
  // yyyy-mm-dd. A build with SOURCE_DATE_EPOCH set gets that date.
  static constexpr const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const char* date = __DATE__;
  int month = 0;
  for (int m = 0; m < 12; ++m)
    if (std::strncmp(date, kMonths + 3 * m, 3) == 0) month = m + 1;
  const int day = (date[4] == ' ' ? 0 : date[4] - '0') * 10 + (date[5] - '0');
  return QStringLiteral("%1-%2-%3")
      .arg(QString::fromLatin1(date + 7, 4))
      .arg(month, 2, 10, QLatin1Char('0'))
      .arg(day, 2, 10, QLatin1Char('0'));
}

QString aboutText() {
  return QStringLiteral("Sonrake %1\nLoudspeaker measurement through a PC sound card\nBuilt %2")
      .arg(QStringLiteral(SONRAKE_VERSION), buildDateText());
}

QString locateDataFile(const QString& appDir, const QString& name) {
  // Installed: <prefix>/bin/sonrake beside <prefix>/share/sonrake/; the build
  // tree: the program beside share/sonrake/ (copied there by CMake); else the
  // system's data folders.
  const QDir dir(appDir);
  for (const QString& candidate : {dir.filePath(QStringLiteral("../share/sonrake/") + name),
                                   dir.filePath(QStringLiteral("share/sonrake/") + name)}) {
    if (QFileInfo(candidate).isFile()) return QDir::cleanPath(candidate);
  }
  return QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                QStringLiteral("sonrake/") + name);
}

QMenuBar* TMainForm::createMenuBar() {
  auto* bar = new QMenuBar;
  bar->setObjectName(QStringLiteral("menuBar"));
  const auto item = [this](QMenu* menu, const char* name, const QString& text,
                           QAbstractButton* button) {
    QAction* a = menu->addAction(text);
    a->setObjectName(QString::fromLatin1(name));
    if (button != nullptr) {
      connect(a, &QAction::triggered, this, [button] { press(button); });
      menuButtons_.push_back({a, button});
    }
    return a;
  };

  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("fileMenu"));
  item(file, "importMicAction", QString::fromUtf8("Import microphone data\u2026"), micDataImport);
  item(file, "exportAction", QString::fromUtf8("Export\u2026"), exportMeas);
  file->addSeparator();
  QAction* save =
      item(file, "saveGraphAction", QString::fromUtf8("Save graph as PNG/SVG\u2026"), nullptr);
  connect(save, &QAction::triggered, this, &TMainForm::saveGraphClick);
  item(file, "copyGraphAction", QStringLiteral("Copy graph"), copyFToClip);
  file->addSeparator();
  QAction* quit = item(file, "quitAction", QStringLiteral("&Quit"), nullptr);
  quit->setShortcut(QKeySequence::Quit);
  connect(quit, &QAction::triggered, this, [this] { window()->close(); });

  QMenu* measure = bar->addMenu(QStringLiteral("&Measure"));
  measure->setObjectName(QStringLiteral("measureMenu"));
  // Space and F5 alike; a text entry with the focus keeps its Space.
  QAction* run = item(measure, "startStopAction", QStringLiteral("Start/Stop"), start);
  run->setShortcuts({QKeySequence(Qt::Key_Space), QKeySequence(Qt::Key_F5)});
  item(measure, "levelTestAction", QStringLiteral("Level test"), Level);
  item(measure, "calibrateAction", QStringLiteral("Calibrate"), Calibrate);

  viewMenu_ = bar->addMenu(QStringLiteral("&View"));
  viewMenu_->setObjectName(QStringLiteral("viewMenu"));
  // The memory slots' overlays, then the phase.
  for (int i = 0; i < 8; ++i) {
    QAction* a = viewMenu_->addAction(overlayEntryText(i + 1, ""));
    a->setObjectName(QStringLiteral("overlayAction%1").arg(i + 1));
    a->setCheckable(true);
    connect(a, &QAction::triggered, this, [this, i](bool on) { overlayClick(i + 1, on); });
    overlayActions_[static_cast<size_t>(i)] = a;
  }
  viewOverlaysEnd_ = viewMenu_->addSeparator();
  phaseAction_ = viewMenu_->addAction(QStringLiteral("Phase"));
  phaseAction_->setObjectName(QStringLiteral("phaseAction"));
  phaseAction_->setCheckable(true);
  phaseAction_->setChecked(!hidePhase->isChecked());
  connect(phaseAction_, &QAction::triggered, this, [this](bool shown) {
    if (hidePhase->isEnabled() && !hidePhase->isHidden()) hidePhase->setChecked(!shown);
    phaseAction_->setChecked(!hidePhase->isChecked());
  });
  connect(hidePhase, &QCheckBox::toggled, phaseAction_,
          [this](bool hidden) { phaseAction_->setChecked(!hidden); });

  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("helpMenu"));
  QAction* howTo = item(help, "howToMeasureAction", QStringLiteral("How to measure"), nullptr);
  howTo->setShortcut(QKeySequence::HelpContents);
  connect(howTo, &QAction::triggered, this, &TMainForm::howToMeasureClick);
  QAction* about = item(help, "aboutAction", QStringLiteral("About Sonrake"), nullptr);
  connect(about, &QAction::triggered, this, &TMainForm::aboutClick);

  for (QMenu* menu : {file, measure, viewMenu_, help})
    connect(menu, &QMenu::aboutToShow, this, &TMainForm::showMenuState);
  showMenuState();
  return bar;
}

void TMainForm::showMenuState() {
  for (const MenuButton& m : menuButtons_)
    m.action->setEnabled(m.button->isEnabled() && !m.button->isHidden());
  for (int i = 0; i < 8; ++i) {
    QAction* a = overlayActions_[static_cast<size_t>(i)];
    if (a == nullptr) continue;
    const MeasSetup& slot = state_->slots[static_cast<size_t>(i)];
    a->setText(overlayEntryText(i + 1, slot.hasResponse ? slot.title : ""));
    a->setChecked(app_->overlayShown(i + 1));
  }
  if (phaseAction_ != nullptr) {
    phaseAction_->setEnabled(hidePhase->isEnabled() && !hidePhase->isHidden());
    phaseAction_->setChecked(!hidePhase->isChecked());
  }
}

QImage TMainForm::graphPicture() {
  // The frame without its outer two pixels, with everything shown over it:
  // the plot, the title, the range entries and the name in the corner. It is
  // rendered at one image pixel per widget pixel, whatever the screen's scale.
  const QRect area = graphArea();
  QImage picture(area.size(), QImage::Format_RGB32);
  if (!picture.isNull()) {
    picture.fill(Qt::white);
    Image5->parentWidget()->render(&picture, QPoint(), QRegion(area));
  }
  return picture;
}

QRect TMainForm::graphArea() const {
  return Image5->geometry().adjusted(kClipInset, kClipInset, -kClipInset, -kClipInset);
}

bool TMainForm::saveGraphTo(const QString& path, QString& error) {
  QByteArray bytes;
  if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QRect area = graphArea();
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(area.size());
    svg.setViewBox(QRect(QPoint(0, 0), area.size()));
    svg.setTitle(freqDTitle->text().isEmpty() ? QStringLiteral("Sonrake") : freqDTitle->text());
    svg.setDescription(QStringLiteral("Frequency graph"));
    QPainter painter;
    if (!painter.begin(&svg)) {
      error = QStringLiteral("The SVG picture could not be made.");
      return false;
    }
    painter.fillRect(QRect(QPoint(0, 0), area.size()), Qt::white);
    Image5->parentWidget()->render(&painter, QPoint(), QRegion(area));
    painter.end();
  } else {
    const QImage picture = graphPicture();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (picture.isNull() || !picture.save(&buffer, "PNG")) {
      error = QStringLiteral("Out of memory");
      return false;
    }
  }
  // Written whole or not at all: an existing file stays as it was on failure.
  QSaveFile out(path);
  if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
    error = QStringLiteral("Can't write the file ") + QDir::toNativeSeparators(path) +
            QStringLiteral(":\n") + out.errorString();
    return false;
  }
  return true;
}

void TMainForm::saveGraphClick() {
  char path[kDialogPathCapacity] = {};
  const FileDialogRequest request{"png", "PNG image (*.png)|*.png|SVG image (*.svg)|*.svg", ""};
  if (!dialogs_->saveFileDialog(request, path, sizeof path)) return;
  QString error;
  if (!saveGraphTo(QString::fromUtf8(path), error)) {
    const QByteArray text = error.toUtf8();
    dialogs_->messageBox(text.constData(), kSaveGraphCaption, MsgIcon::error, MsgButtons::ok);
  }
}

void TMainForm::howToMeasureClick() {
  const QString path = locateDataFile(QCoreApplication::applicationDirPath(),
                                      QString::fromLatin1(kHowToMeasureFile));
  if (path.isEmpty()) {
    dialogs_->messageBox("The page \"How to measure\" is missing from this installation.",
                         "How to measure", MsgIcon::warning, MsgButtons::ok);
    return;
  }
  if (howToMeasure_ == nullptr) {
    // A window of its own beside the main one, kept until the program ends.
    howToMeasure_ = new QDialog(this);
    howToMeasure_->setObjectName(QStringLiteral("howToMeasure"));
    howToMeasure_->setWindowTitle(QStringLiteral("How to measure"));
    // Open or not, it never keeps the program running once its window closes.
    howToMeasure_->setAttribute(Qt::WA_QuitOnClose, false);
    howToMeasure_->resize(560, 620);
    auto* text = new QTextBrowser(howToMeasure_);
    text->setObjectName(QStringLiteral("howToMeasureText"));
    text->setOpenExternalLinks(true);
    text->setSource(QUrl::fromLocalFile(path));
    auto* layout = new QVBoxLayout(howToMeasure_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(text);
  }
  howToMeasure_->show();
  howToMeasure_->raise();
  howToMeasure_->activateWindow();
}

void TMainForm::aboutClick() {
  const QByteArray text = aboutText().toUtf8();
  dialogs_->messageBox(text.constData(), "About Sonrake", MsgIcon::information, MsgButtons::ok);
}
