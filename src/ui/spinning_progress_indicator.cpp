#include "ui/spinning_progress_indicator.h"

#include <QPainter>
#include <QTimerEvent>

#include <algorithm>

namespace clipmoor {

namespace {
constexpr int kSpokes = 12;
constexpr int kStepIntervalMs = 80;
}  // namespace

SpinningProgressIndicator::SpinningProgressIndicator(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QSize SpinningProgressIndicator::sizeHint() const {
    return {18, 18};
}

void SpinningProgressIndicator::startAnimation() {
    if (!timer_.isActive()) timer_.start(kStepIntervalMs, this);
    update();
}

void SpinningProgressIndicator::stopAnimation() {
    timer_.stop();
    update();
}

void SpinningProgressIndicator::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    step_ = (step_ + 1) % kSpokes;
    update();
}

void SpinningProgressIndicator::paintEvent(QPaintEvent*) {
    if (!isAnimating()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(width(), height());
    const qreal outer = side / 2.0 - 1.0;
    const qreal inner = outer * 0.45;
    painter.translate(width() / 2.0, height() / 2.0);

    QColor color = palette().color(QPalette::WindowText);
    QPen pen(color, std::max<qreal>(1.5, side / 9.0), Qt::SolidLine, Qt::RoundCap);
    for (int i = 0; i < kSpokes; ++i) {
        // The spoke at the current step is the darkest; the ones behind it fade out.
        const int age = (step_ - i + kSpokes) % kSpokes;
        color.setAlphaF(1.0 - 0.8 * age / (kSpokes - 1));
        pen.setColor(color);
        painter.setPen(pen);
        painter.save();
        painter.rotate(360.0 * i / kSpokes);
        painter.drawLine(QPointF(0, -inner), QPointF(0, -outer));
        painter.restore();
    }
}

}  // namespace clipmoor
