#pragma once

#include <QRectF>

namespace clipmoor {

// Where the two bands of a download row's progress bar go, in the bar's own coordinates
// (y grows downwards). The grey track fills the lower half of the bounds across the whole
// width; the coloured fill covers the same band from the left edge to the progress point.
// The ratio is not clamped: a value above the maximum reaches past the right edge (the widget
// clips it). A value of 0 or below, a maximum of 0 or below, or anything not finite, draws no
// fill at all.
class ProgressBarGeometry {
public:
    ProgressBarGeometry(const QRectF& bounds, double value, double maxValue);

    // The x coordinate where the fill ends: value / max applied to the right edge of the bounds.
    double progressAmount() const { return progressAmount_; }
    QRectF trackBand() const;
    // Empty when there is nothing to fill.
    QRectF fillBand() const;

private:
    QRectF bounds_;
    double progressAmount_ = 0;
};

}  // namespace clipmoor
