#include "ui/player/player_window_geometry.h"

#include <cmath>
#include <cstdlib>

namespace clipmoor {

namespace {
constexpr int kAspectWidth = 16;
constexpr int kAspectHeight = 9;
constexpr int kClickSlopPixels = 4;
}  // namespace

QSize playerContentSize(QSize naturalSize, QSize available) {
    QSize size = naturalSize.isValid() && !naturalSize.isEmpty() ? naturalSize : kDefaultPlayerSize;
    if (available.isValid() && !available.isEmpty() &&
        (size.width() > available.width() || size.height() > available.height()))
        size = size.scaled(available, Qt::KeepAspectRatio);
    return size.expandedTo(QSize(1, 1));
}

QRect centeredRect(QSize size, const QRect& available) {
    QRect rect(QPoint(0, 0), size);
    rect.moveCenter(available.center());
    return rect;
}

QSize sizeKeepingAspectRatio(QSize proposed, QSize previous) {
    if (proposed.isEmpty()) return proposed;
    const double widthChange =
        previous.width() > 0
            ? std::abs(proposed.width() - previous.width()) / double(previous.width())
            : 1.0;
    const double heightChange =
        previous.height() > 0
            ? std::abs(proposed.height() - previous.height()) / double(previous.height())
            : 0.0;
    if (heightChange > widthChange) {
        const int width =
            int(std::lround(proposed.height() * double(kAspectWidth) / kAspectHeight));
        return {width, proposed.height()};
    }
    const int height = int(std::lround(proposed.width() * double(kAspectHeight) / kAspectWidth));
    return {proposed.width(), height};
}

int ClickCounter::press(qint64 timestampMs, QPoint position, int doubleClickIntervalMs) {
    const bool continues = count_ > 0 && timestampMs >= lastTimestampMs_ &&
                           timestampMs - lastTimestampMs_ <= doubleClickIntervalMs &&
                           (position - lastPosition_).manhattanLength() <= kClickSlopPixels;
    count_ = continues ? count_ + 1 : 1;
    lastTimestampMs_ = timestampMs;
    lastPosition_ = position;
    return count_;
}

}  // namespace clipmoor
