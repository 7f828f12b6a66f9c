#include "ui/qmr_progress_indicator.h"

#include <QPainter>

#include "ui/progress_bar_geometry.h"

namespace clipmoor {

QMRProgressIndicator::QMRProgressIndicator(QWidget* parent) : QWidget(parent) {
    setAccessibleName(tr("Download progress"));
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void QMRProgressIndicator::setDoubleValue(double value) {
    doubleValue_ = value;
    update();
}

double QMRProgressIndicator::progressAmount() const {
    return ProgressBarGeometry(QRectF(rect()), doubleValue_, maxValue_).progressAmount();
}

void QMRProgressIndicator::paintEvent(QPaintEvent*) {
    if (!lineColor_.isValid()) lineColor_ = Qt::red;
    const ProgressBarGeometry geometry(QRectF(rect()), doubleValue_, maxValue_);
    QPainter painter(this);
    painter.fillRect(geometry.trackBand(), Qt::lightGray);
    // A fill past the right edge is cut to the view before it reaches the painter.
    const QRectF fill = geometry.fillBand().intersected(QRectF(rect()));
    if (!fill.isEmpty()) painter.fillRect(fill, lineColor_);
}

}  // namespace clipmoor
