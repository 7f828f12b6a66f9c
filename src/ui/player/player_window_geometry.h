#pragma once

#include <QRect>
#include <QSize>

namespace clipmoor {

// The size a player window takes when its file has no picture (an audio-only file) or the
// picture's size is not known.
inline constexpr QSize kDefaultPlayerSize{640, 360};

// The content size for a picture of `naturalSize` on a screen whose free area is `available`:
// the natural size, or the default size when there is none, scaled down (keeping its
// proportions) when it would not fit on the screen.
QSize playerContentSize(QSize naturalSize, QSize available);

// `size` centred in `available`.
QRect centeredRect(QSize size, const QRect& available);

// Where a user's resize from `previous` to `proposed` ends so that the window stays 16 : 9.
// The side the user changed more, relative to its length, leads; the other follows.
QSize sizeKeepingAspectRatio(QSize proposed, QSize previous);

// Counts the clicks of a multiple click: a press within the double-click interval and a few
// pixels of the previous one continues the series, anything else starts a new one.
class ClickCounter {
public:
    // Records a press and returns its click count (1 for a single click, 2 for the second
    // click of a double click, ...).
    int press(qint64 timestampMs, QPoint position, int doubleClickIntervalMs);
    int clickCount() const { return count_; }

private:
    int count_ = 0;
    qint64 lastTimestampMs_ = 0;
    QPoint lastPosition_;
};

}  // namespace clipmoor
