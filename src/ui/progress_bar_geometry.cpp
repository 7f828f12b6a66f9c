#include "ui/progress_bar_geometry.h"

#include <cmath>

namespace clipmoor {

ProgressBarGeometry::ProgressBarGeometry(const QRectF& bounds, double value, double maxValue)
    : bounds_(bounds) {
    if (!(value > 0) || !(maxValue > 0)) return;  // also refuses NaN
    const double amount = value / maxValue * (bounds.x() + bounds.width());
    if (std::isfinite(amount)) progressAmount_ = amount;
}

QRectF ProgressBarGeometry::trackBand() const {
    const double half = bounds_.height() / 2;
    return QRectF(bounds_.x(), bounds_.y() + half, bounds_.width(), half);
}

QRectF ProgressBarGeometry::fillBand() const {
    const double width = progressAmount_ - bounds_.x();
    if (!(width > 0)) return {};
    QRectF band = trackBand();
    band.setWidth(width);
    return band;
}

}  // namespace clipmoor
