#pragma once

#include <QBasicTimer>
#include <QWidget>

namespace clipmoor {

// A small spinning indicator for work of unknown length. It turns only while animating and
// draws nothing otherwise.
class SpinningProgressIndicator : public QWidget {
    Q_OBJECT

public:
    explicit SpinningProgressIndicator(QWidget* parent = nullptr);

    void startAnimation();
    void stopAnimation();
    bool isAnimating() const { return timer_.isActive(); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QBasicTimer timer_;
    int step_ = 0;
};

}  // namespace clipmoor
