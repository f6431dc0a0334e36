// The window's controls: every one with its name, geometry, text, hint and
// colour. Positions are absolute, in pixels, relative to the container.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QTabWidget>

#include <algorithm>
#include <cstdio>

#include "app/view_state.h"
#include "ui/edit_num.h"
#include "ui/image_view.h"
#include "ui/main_form.h"

namespace {

const QColor kNavy(0, 0, 128);
const QColor kBlue(0, 0, 255);

constexpr int kRowH = 20;  // height of entries and combo boxes

template <typename W>
W* place(W* w, const char* name, int x, int y, int width, int height, const char* hint = nullptr) {
  w->setObjectName(QString::fromLatin1(name));
  w->setGeometry(x, y, width, height);
  if (hint != nullptr) w->setToolTip(QString::fromLatin1(hint));
  return w;
}


// A label sized to its text, its baseline level with an entry placed at y.
QLabel* label(QWidget* parent, const char* name, const char* text, int x, int y) {
  auto* l = new QLabel(QString::fromLatin1(text), parent);
  l->setObjectName(QString::fromLatin1(name));
  l->adjustSize();
  l->move(x, y + (kRowH - l->height()) / 2);
  return l;
}

QPushButton* button(QWidget* parent, const char* name, const char* text, int x, int y, int w,
                    int h, const char* hint) {
  return place(new QPushButton(QString::fromLatin1(text), parent), name, x, y, w, h, hint);
}

QCheckBox* checkBox(QWidget* parent, const char* name, const char* text, int x, int y, int w,
                    const char* hint) {
  return place(new QCheckBox(QString::fromLatin1(text), parent), name, x, y, w, 17, hint);
}

QComboBox* comboBox(QWidget* parent, const char* name, int x, int y, int w, const char* hint) {
  auto* c = place(new QComboBox(parent), name, x, y, w, kRowH + 1, hint);
  c->setMaxVisibleItems(12);
  return c;
}

TEditNum* numEntry(QWidget* parent, const char* name, int x, int y, int w,
                   const char* hint = nullptr) {
  return place(new TEditNum(parent), name, x, y, w, kRowH, hint);
}

QGroupBox* group(QWidget* parent, const char* name, const char* title, int x, int y, int w,
                 int h) {
  return place(new QGroupBox(QString::fromLatin1(title), parent), name, x, y, w, h);
}

QWidget* page(QTabWidget* tabs, const char* name, const char* title) {
  auto* p = new QWidget;
  p->setObjectName(QString::fromLatin1(name));
  tabs->addTab(p, QString::fromLatin1(title));
  return p;
}

}  // namespace

void setTextColour(QWidget* w, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(QPalette::Active, QPalette::WindowText, c);
  p.setColor(QPalette::Inactive, QPalette::WindowText, c);
  p.setColor(QPalette::Active, QPalette::ButtonText, c);
  p.setColor(QPalette::Inactive, QPalette::ButtonText, c);
  p.setColor(QPalette::Active, QPalette::Text, c);
  p.setColor(QPalette::Inactive, QPalette::Text, c);
  w->setPalette(p);
}

void TMainForm::buildLayout() {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Sonrake 1.00"));
  setMinimumSize(kWidth, kHeight);
  resize(kWidth, kHeight);

  buildLevelArea();
  buildGraphPages();

  mainPage = place(new QTabWidget(this), "mainPage", 296, 5, 361, 177);
  // Beside the page tabs, seen from every page; shown only during a run
  // longer than a second.
  runProgress = place(new QProgressBar(this), "runProgress", 566, 8, 88, 14, "Progress of the run");
  runProgress->setRange(0, 1000);
  runProgress->setTextVisible(false);
  runProgress->hide();
  buildSettingsPage(page(mainPage, "TabSheet1", "Settings"));
  buildMeasurePage(page(mainPage, "TabSheet2", "Measure !"));
  buildMergePage(page(mainPage, "TabSheet4", "Merge/Add"));
  buildDriverPage(page(mainPage, "DriverSheet", "Driver"));
  mainPage->setCurrentIndex(1);
  // The settings pages reach down over the empty right end of the graph
  // tabs' bar; they must be drawn above it.
  mainPage->raise();
}

void TMainForm::buildLevelArea() {
  Image3 = place(new TImageView(this, 7, 8, 11, 126), "Image3", 7, 8, 11, 126);
  Image4 = place(new TImageView(this, 23, 8, 11, 126), "Image4", 23, 8, 11, 126);
  label(this, "L", "L", 9, 134);
  label(this, "R", "R", 25, 134);

  auto* name = new QLabel(QStringLiteral("Sonrake"), this);
  name->setObjectName(QStringLiteral("SonrakeLabel"));
  QFont big = font();
  big.setPixelSize(34);
  big.setBold(true);
  big.setItalic(true);
  name->setFont(big);
  setTextColour(name, kRed);
  name->setGeometry(70, 24, 200, 44);
  label(this, "BuildLabel", "Build 2003-04-29", 74, 74);

  char text[16];
  char hint[40];
  for (int i = 0; i < 8; ++i) {
    const int x = 70 + 24 * i;
    std::snprintf(text, sizeof text, "S%d", i + 1);
    std::snprintf(hint, sizeof hint, "Store as measurement %d", i + 1);
    storeButtons[i] = button(this, text, text, x, 119, 21, 17, hint);
    setTextColour(storeButtons[i], kRed);
    std::snprintf(text, sizeof text, "R%d", i + 1);
    std::snprintf(hint, sizeof hint, "Recall measurement %d", i + 1);
    recallButtons[i] = button(this, text, text, x, 143, 21, 17, hint);
    setTextColour(recallButtons[i], kNavy);
    recallButtons[i]->setEnabled(false);
    // Right-click on a slot's buttons: "Load curve…" into that slot.
    storeButtons[i]->setContextMenuPolicy(Qt::CustomContextMenu);
    recallButtons[i]->setContextMenuPolicy(Qt::CustomContextMenu);
  }
  loadCurve = button(this, "loadCurve", "", 178, 94, 82, 19,
                     "Load a curve file (FRD, ZMA, text) into a memory slot");
  loadCurve->setText(loadCurveText());
  sessionButton = button(this, "sessionButton", "Session", 114, 94, 60, 19,
                         "Save the measurements and slots as a session, or open one");
}

void TMainForm::buildGraphPages() {
  TimeFreqCtrl = place(new QTabWidget(this), "TimeFreqCtrl", 0, 165, 657, 369,
                       "Show time or frequency domain response");
  QWidget* timeSheet = page(TimeFreqCtrl, "timeSheet", "Time domain");
  QWidget* freqSheet = page(TimeFreqCtrl, "freqSheet", "Freq domain");

  // The time graph over the frame that carries its scale.
  timeFrame = place(new TImageView(timeSheet, 0, 0, 657, 345), "timeFrame", 0, 0, 657, 345);
  Image1 = place(new TImageView(timeSheet, 8, 16, 601, 297), "Image1", 8, 16, 601, 297);

  // The frame canvas with the plot canvas laid over it.
  Image5 = place(new TImageView(freqSheet, 0, 32, 633, 305), "Image5", 0, 32, 633, 305);
  Image2 = place(new TImageView(freqSheet, 48, 64, 553, 233), "Image2", 48, 64, 553, 233);
  Image2->setCursor(Qt::CrossCursor);

  showCh = comboBox(freqSheet, "showCh", 8, 5, 88, "Show channel");
  exportMeas = button(freqSheet, "exportMeas", "Export", 104, 8, 57, 17, "Export measurement");
  exportUnsmoothed = checkBox(freqSheet, "exportUnsmoothed", "Unsmoothed", 452, 7, 100,
                              "Export the curve without smoothing");
  copyFToClip = button(freqSheet, "copyFToClip", "Copy", 168, 8, 57, 17,
                       "Copy bitmap image to clipboard");
  const char* readOutNames[3] = {"freqLabel", "yLabel1", "yLabel2"};
  const char* readOutHints[3] = {"Frequency", "Magnitude", "Phase"};
  QLineEdit* readOuts[3];
  for (int i = 0; i < 3; ++i) {
    readOuts[i] = place(new QLineEdit(freqSheet), readOutNames[i], 232 + 72 * i, 5, 65, 21,
                        readOutHints[i]);
    readOuts[i]->setReadOnly(true);
    readOuts[i]->setFocusPolicy(Qt::NoFocus);
    readOuts[i]->setText(QStringLiteral("   "));
  }
  freqLabel = readOuts[0];
  yLabel1 = readOuts[1];
  yLabel2 = readOuts[2];
  hidePhase = checkBox(freqSheet, "hidePhase", "Hide phase", 568, 7, 80, "Hide phase");

  // Over the frame, outside the plot: the title above it, the shown range
  // below the frequency labels, and the program's name in the corner. They
  // appear in the clipboard picture of the frame.
  freqDTitle = place(new QLineEdit(freqSheet), "freqDTitle", 166, 38, 300, kRowH,
                     "Type a title here");
  freqDTitle->setMaxLength(kTitleCapacity - 1);
  freqDTitle->setAlignment(Qt::AlignCenter);
  freqDTitle->setFrame(false);
  followGraphs(freqDTitle, 0.5, false);

  fLow = numEntry(freqSheet, "fLow", 48, 314, 40);
  label(freqSheet, "fRangeDash", "-", 92, 314);
  fHigh = numEntry(freqSheet, "fHigh", 100, 314, 48);
  label(freqSheet, "fRangeHz", "Hz", 152, 314);
  setTextColour(fLow, kBlue);
  setTextColour(fHigh, kBlue);
  QLabel* corner = label(freqSheet, "Label12", "Sonrake", 0, 314);
  corner->move(633 - 6 - corner->width(), corner->y());
  setTextColour(corner, kRed);
  // The range entries stay under the frequency labels, the name in the
  // frame's corner.
  for (const char* name : {"fLow", "fRangeDash", "fHigh", "fRangeHz"})
    followGraphs(freqSheet->findChild<QWidget*>(QString::fromLatin1(name)), 0.0, true);
  followGraphs(corner, 1.0, true);
  for (TImageView* view : {timeFrame, Image1, Image5, Image2})
    connect(view, &TImageView::pixelRatioChanged, this, &TMainForm::layoutGraphArea,
            Qt::QueuedConnection);

  TimeFreqCtrl->setCurrentIndex(1);
}

void TMainForm::followGraphs(QWidget* widget, double xShare, bool down) {
  graphFollowers_.push_back({widget, widget->pos(), xShare, down});
}

void TMainForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layoutGraphArea();
}

void TMainForm::layoutGraphArea() {
  if (TimeFreqCtrl == nullptr) return;  // not built yet
  const int dw = std::max(0, width() - kWidth);
  const int dh = std::max(0, height() - kHeight);
  const GraphGeometry g = graphGeometry(dw, dh);
  constexpr int kFrameTop = 32;  // the frequency frame's top in its page
  TimeFreqCtrl->setGeometry(0, 165, 657 + dw, 369 + dh);
  timeFrame->setGeometry(0, 0, g.timeFrameWidth, g.timeFrameHeight);
  Image1->setGeometry(g.timeX, g.timeY, g.timeWidth, g.timeHeight);
  Image5->setGeometry(0, kFrameTop, g.frameWidth, g.frameHeight);
  Image2->setGeometry(g.plotX, kFrameTop + g.plotY, g.plotWidth, g.plotHeight);
  for (const GraphFollower& f : graphFollowers_)
    f.widget->move(f.base + QPoint(static_cast<int>(f.xShare * dw), f.down ? dh : 0));

  bool remade = false;
  for (TImageView* view : {timeFrame, Image1, Image5, Image2}) remade = view->fitCanvas() || remade;
  graphGeometry_ = scaledGeometry(g, Image2->pixelRatio());
  if (remade && state_ != nullptr) redrawGraphs();
}

void TMainForm::buildSettingsPage(QWidget* p) {
  QGroupBox* rateGroup = group(p, "SampleRateGroup", "Sample rate (Hz)", 4, 2, 112, 72);
  sRate = comboBox(rateGroup, "sRate", 8, 18, 96, "Set the sampling rate");
  sRateC = numEntry(rateGroup, "sRateC", 8, 44, 96);
  sRateC->setVisible(false);

  QGroupBox* mlsGroup = group(p, "MlsGroup", "MLS length", 4, 78, 112, 50);
  nMLS = comboBox(mlsGroup, "nMLS", 8, 20, 96, "Set the length of the MLS sequence");

  QGroupBox* devGroup = group(p, "DeviceGroup", "In/out device", 122, 2, 229, 72);
  inDev = comboBox(devGroup, "inDev", 8, 18, 213, kInDevHint);
  outDev = comboBox(devGroup, "outDev", 8, 44, 213, kOutDevHint);
  // In the group's title row, right of its title: the lists read again.
  refreshDevices = button(p, "refreshDevices", "Refresh", 295, 0, 52, 16,
                          "Read the device lists again (a sound server started since)");
  refreshDevices->raise();

  Level = button(p, "Level", "Test levels", 122, 82, 88, 23,
                 "Click here to test that the input level is OK");
  Calibrate = button(p, "Calibrate", "Soundcard cal.", 122, 110, 88, 23, "Calibrate soundcard");

  // What the sound card calibration covers, under the MLS length and the run buttons.
  calStatus = label(p, "calStatus", "Uncalibrated", 4, 134);
  setTextColour(calStatus, kRed);

  // The switch and the import on one line, the loaded file's name and a
  // small picture of its curve under them.
  micGroup = group(p, "MicGroup", "Mic cal. data", 214, 78, 137, 72);
  micDataDisable = checkBox(micGroup, "micDataDisable", "Don't use", 6, 16, 74,
                            "Don't use mic calibration data ");
  micDataDisable->setChecked(true);
  micDataDisable->setEnabled(false);
  micDataImport =
      button(micGroup, "micDataImport", "Import", 82, 14, 48, 20, "Import mic calibration data");
  micFile = new QLabel(micGroup);
  micFile->setObjectName(QStringLiteral("micFile"));
  micFile->setGeometry(6, 35, 125, 13);
  micCurve = place(new TImageView(micGroup, 6, 49, 125, 19), "micCurve", 6, 49, 125, 19);
}

void TMainForm::buildMeasurePage(QWidget* p) {
  SplZ = place(new QTabWidget(p), "SplZ", 2, 2, 244, 144, "Select SPL or impedance measurement");
  QWidget* spl = page(SplZ, "SPLtab", "SPL");
  QWidget* z = page(SplZ, "zTab", "Z");

  // SPL page: analysis window, smoothing, level settings, channel mode.
  label(spl, "OffsetLabel", "Offset", 4, 4);
  winStartms = numEntry(spl, "winStartms", 66, 4, 52, "Offset of analysis window (ms)");
  label(spl, "OffsetMsLabel", "ms", 121, 4);
  winStartcm = numEntry(spl, "winStartcm", 140, 4, 52, "Offset of analysis window (cm)");
  label(spl, "OffsetCmLabel", "cm", 195, 4);

  label(spl, "LengthLabel", "Length", 4, 27);
  winLengthms = numEntry(spl, "winLengthms", 66, 27, 52, "Length of analysis window (ms)");
  label(spl, "LengthMsLabel", "ms", 121, 27);
  winLengths = numEntry(spl, "winLengths", 140, 27, 52, "Length of analysis window (samples)");

  label(spl, "SmoothingLabel", "Smoothing", 4, 50);
  cbSmooth = comboBox(spl, "cbSmooth", 66, 50, 100, "Select smoothing");
  invert = checkBox(spl, "invert", "Invert", 174, 52, 62, "Invert phase");

  dBOffsetPre = label(spl, "dBOffsetPre", "Ref offset", 4, 73);
  dBOffset = numEntry(spl, "dBOffset", 66, 73, 40, "Set additional offset for the autoscaling");
  dBOffsetPost = label(spl, "dBOffsetPost", "dB", 109, 73);
  label(spl, "RangeLabel", "Range", 134, 73);
  splRange = numEntry(spl, "splRange", 170, 73, 40, "Set display range");
  label(spl, "RangeDbLabel", "dB", 213, 73);

  label(spl, "ScaleLabel", "Scale", 4, 96);
  splScale = numEntry(spl, "splScale", 66, 96, 40, "Scale the measurement result");
  label(spl, "ScaleDbLabel", "dB", 109, 96);
  twoChMode = checkBox(spl, "twoChMode", "2ch mode", 134, 98, 90,
                       "Select two channel measurement mode (reference input is right ch.)");

  // Z page: series resistor, shown impedance range, smoothing.
  label(z, "ResistorLabel", "Resistor", 4, 6);
  ZR = numEntry(z, "ZR", 58, 6, 56, "Resistor value used for impedance measurements");
  label(z, "ResistorOhmLabel", "ohm", 118, 6);
  QGroupBox* range = group(z, "ZRangeGroup", "Range", 4, 32, 196, 48);
  minZ = comboBox(range, "minZ", 8, 19, 64, "Min displayed impedance value");
  label(range, "ZRangeDash", "_", 78, 17);
  maxZ = comboBox(range, "maxZ", 90, 19, 64, "Max displayed impedance value");
  label(range, "ZRangeOhm", "ohm", 160, 19);
  for (QComboBox* c : {minZ, maxZ}) {
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
  }
  zSmooth = checkBox(z, "zSmooth", "Smooth 1/24th octave", 4, 88, 160, "Smooth measurement");
  zUncalibrated = label(z, "zUncalibrated", "Uncalibrated: |Z| not exact", 4, 108);
  setTextColour(zUncalibrated, kRed);

  // Right of the SPL/Z pages: calibration warning and the start controls.
  unCalibrated = label(p, "unCalibrated", "Uncalibrated", 252, 6);
  setTextColour(unCalibrated, kRed);
  start = button(p, "start", "Start", 252, 28, 94, 30, "Start a measurement");
  setTextColour(start, kGreen);
  QFont bold = start->font();
  bold.setBold(true);
  start->setFont(bold);
  cbCycle = checkBox(p, "cbCycle", "Cyclic", 252, 68, 100,
                     "This will enable cyclic (repeated) measurements");
  delayStart = checkBox(p, "delayStart", "Delay start 2s", 252, 90, 100, "Delay measurement app. 2s");
  exactEval = checkBox(p, "exactEval", "Exact", 252, 109, 50,
                       "Evaluate every frequency point directly from the impulse response");
  flatWindow = checkBox(p, "flatWindow", "Flat", 304, 109, 48,
                        "Analysis window flat over the direct sound, then a half-Hann fall");
  label(p, "AveragesLabel", "Avg", 252, 130);
  averagesList = comboBox(p, "averagesList", 274, 127, 42,
                          "Periods averaged; one more is played first to settle the system");
  averagesList->resize(42, 19);
  for (int32_t n : averagesTable) averagesList->addItem(QString::number(n));
  runTime = label(p, "runTime", "", 320, 130);
  runTime->resize(36, runTime->height());
  runTime->setToolTip(QStringLiteral("Length of the next run"));
}

void TMainForm::buildMergePage(QWidget* p) {
  mergeLGroup = group(p, "mergeLGroup", "Lower part", 2, 0, 128, kMergeLGroupTall);
  mergeLDelayPre = label(mergeLGroup, "mergeLDelayPre", "Delay", 6, 18);
  mergeLDelay = numEntry(mergeLGroup, "mergeLDelay", 68, 18, 38, "Delay of current graph");
  mergeLDelayPost = label(mergeLGroup, "mergeLDelayPost", "us", 109, 18);
  label(mergeLGroup, "ScaleLLabel", "Scale", 6, 44);
  mergeLGain = numEntry(mergeLGroup, "mergeLGain", 68, 44, 38, "Scaling of current graph");
  scaleLPost = label(mergeLGroup, "scaleLPost", "dB", 109, 44);
  mergeStepPre = label(mergeLGroup, "mergeStepPre", "Baffle step", 6, 70);
  mergeStep = numEntry(mergeLGroup, "mergeStep", 68, 70, 38,
                       "Transition frequency of baffle step (compensation for nearfield measurements)");
  mergeStepPost = label(mergeLGroup, "mergeStepPost", "Hz", 109, 70);

  mergeUGroup = group(p, "mergeUGroup", "Upper part", 134, 0, 122, kMergeLGroupShort);
  mergeUDelayPre = label(mergeUGroup, "mergeUDelayPre", "Delay", 6, 18);
  mergeUDelay = numEntry(mergeUGroup, "mergeUDelay", 52, 18, 46, "Delay of stored graph");
  mergeUDelayPost = label(mergeUGroup, "mergeUDelayPost", "us", 101, 18);
  label(mergeUGroup, "ScaleULabel", "Scale", 6, 44);
  mergeUGain = numEntry(mergeUGroup, "mergeUGain", 52, 44, 46, "Scaling of stored graph");
  scaleUPost = label(mergeUGroup, "scaleUPost", "dB", 101, 44);

  mergeFreqPre = label(p, "mergeFreqPre", "Freq", 140, 100);
  mergeFreq = numEntry(p, "mergeFreq", 172, 100, 50, "Transition frequency");
  mergeFreqPost = label(p, "mergeFreqPost", "Hz", 226, 100);

  mergeUList = comboBox(p, "mergeUList", 262, 6, 88, "Select stored graph");
  mergeRButton = place(new QRadioButton(QStringLiteral("Merge"), p), "mergeRButton", 264, 34, 84,
                       17, "Merge graphs");
  addRButton = place(new QRadioButton(QStringLiteral("Add"), p), "addRButton", 264, 56, 84, 17,
                     "Add graphs");
  mergeApply = button(p, "mergeApply", "Apply", 262, 84, 88, 25,
                      "Replace current graph with merged/added graph");
  setTextColour(mergeApply, kRed);
}

void TMainForm::buildDriverPage(QWidget* p) {
  // Inputs: Re (DC), the second curve's method, amount, cone area and slot.
  label(p, "drvReDcLabel", "Re (DC)", 4, 4);
  drvReDc = numEntry(p, "drvReDc", 50, 4, 44, "Re measured with a meter; 0 takes the fitted Re");
  label(p, "drvReDcOhm", "ohm", 97, 4);
  drvMethod = comboBox(p, "drvMethod", 126, 3, 104, "What the second curve was measured with");
  for (const char* item : {"No 2nd curve", "Added mass", "Closed box"})
    drvMethod->addItem(QString::fromLatin1(item));
  drvAmount = numEntry(p, "drvAmount", 234, 4, 42, "Mass added to the cone (g) or box volume (l)");
  drvAmountUnit = label(p, "drvAmountUnit", "g", 279, 4);
  drvAmountUnit->resize(10, drvAmountUnit->height());

  label(p, "drvSdLabel", "Sd", 4, 27);
  drvSd = numEntry(p, "drvSd", 50, 27, 44, "Cone area (cm2)");
  label(p, "drvSdUnit", "cm2", 97, 27);
  label(p, "drvSlotLabel", "Slot", 126, 27);
  drvSlot = comboBox(p, "drvSlot", 152, 26, 42, "Memory slot holding the second curve");
  for (int i = 1; i <= 8; ++i) drvSlot->addItem(QString::number(i));
  drvModel = checkBox(p, "drvModel", "Model", 204, 29, 70, "Draw the fitted model over the curve");
  drvCopy = button(p, "drvCopy", "Copy", 294, 4, 56, 42, "Copy the parameters as text");

  // Values: three columns of five, then one line under them.
  drvValues = new QLabel(p);
  drvValues->setObjectName(QStringLiteral("drvValues"));
  drvValues->setGeometry(4, 52, 348, 76);
  drvValues->setTextFormat(Qt::RichText);
  drvValues->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  drvMessage = new QLabel(p);
  drvMessage->setObjectName(QStringLiteral("drvMessage"));
  drvMessage->setGeometry(4, 130, 348, 16);
}
