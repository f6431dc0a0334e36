// Memory slots drawn over the live curve, and the curve marker: a ring on
// the live curve at the pointer's frequency, markers A and B pinned by
// clicks, and their read-out over the plot's top-right corner.

#include <QLabel>

#include <vector>

#include "app/overlays.h"
#include "display/plot_mapping.h"
#include "ui/image_view.h"
#include "ui/main_form.h"

namespace {

constexpr int kReadoutInset = 3;  // from the plot's top and right edges

}  // namespace

void TMainForm::overlayClick(int n, bool shown) { app_->overlayChanged(n, shown); }

void TMainForm::buildCurveMarker() {
  markerReadout = new QLabel(Image2->parentWidget());
  markerReadout->setObjectName(QStringLiteral("markerReadout"));
  markerReadout->setAttribute(Qt::WA_TransparentForMouseEvents);
  QFont small("DejaVu Sans");
  small.setPixelSize(10);
  markerReadout->setFont(small);
  markerReadout->setStyleSheet(QStringLiteral(
      "QLabel { background: white; color: black; border: 1px solid grey; padding: 1px 3px; }"));
  markerReadout->hide();
  connect(Image2, &TImageView::mousePressed, this, &TMainForm::graphClick);
  // The pointer's read-out above the graph keeps its texts when the pointer
  // leaves; only the ring goes.
  connect(Image2, &TImageView::mouseLeft, this, [this] {
    markers_.leave();
    showCurveMarker();
  });
}

void TMainForm::graphClick(int x, int, Qt::MouseButton button) {
  if (button == Qt::LeftButton) {
    const AppState& s = *state_;
    const PlotMapping map = plotMapping(s.setup, s.curves.dBTop, s.calibrationView,
                                        Image2->canvas().width(), Image2->canvas().height());
    markers_.pin(map.freqAt(x));
  } else {
    markers_.clearPins();
  }
  showCurveMarker();
}

void TMainForm::showCurveMarker() {
  if (markerReadout == nullptr) return;
  MarkerReadout r;
  liveMarkerReadout(*state_, Image2->canvas().width(), Image2->canvas().height(), markers_, r);

  std::vector<TImageView::Mark> marks;
  if (r.hoverSpot.shown) marks.push_back({r.hoverSpot.x, r.hoverSpot.y, '\0'});
  for (int k = 0; k < 2; ++k)
    if (r.pinnedSpot[k].shown)
      marks.push_back({r.pinnedSpot[k].x, r.pinnedSpot[k].y, static_cast<char>('A' + k)});
  Image2->setMarks(std::move(marks));

  QStringList lines;
  for (const char* text : {r.hover, r.pinned[0], r.pinned[1], r.difference})
    if (text[0] != '\0') lines << QString::fromLatin1(text);
  if (lines.isEmpty()) {
    markerReadout->hide();
    return;
  }
  markerReadout->setText(lines.join(QLatin1Char('\n')));
  markerReadout->adjustSize();
  // The top-right corner of the plot, or the bottom-right one when that
  // would hide a marker.
  const QRect plot = Image2->geometry();
  const int x = plot.right() + 1 - kReadoutInset - markerReadout->width();
  QRect box(QPoint(x, plot.top() + kReadoutInset), markerReadout->size());
  bool covers = false;
  for (const TImageView::Mark& m : Image2->marks())
    covers = covers || box.adjusted(-6, -6, 6, 6).contains(plot.topLeft() + QPoint(m.x, m.y));
  if (covers) box.moveBottom(plot.bottom() - kReadoutInset);
  markerReadout->move(box.topLeft());
  markerReadout->raise();
  markerReadout->show();
}
