#pragma once

#include <QColor>
#include <QWidget>

namespace clipmoor {

// The two-colour progress bar of a download row: a light-grey track across the lower half of
// the view and a fill, red unless another colour is set, from the left edge to the point that
// doubleValue / maxValue gives (see ProgressBarGeometry). minValue is stored only.
// Setting the value repaints; setting the bounds does not (a new maximum shows at the next
// value change).
class QMRProgressIndicator : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double doubleValue READ doubleValue WRITE setDoubleValue)
    Q_PROPERTY(double maxValue READ maxValue WRITE setMaxValue)
    Q_PROPERTY(double minValue READ minValue WRITE setMinValue)
    Q_PROPERTY(QColor lineColor READ lineColor WRITE setLineColor)

public:
    explicit QMRProgressIndicator(QWidget* parent = nullptr);

    double doubleValue() const { return doubleValue_; }
    void setDoubleValue(double value);
    double maxValue() const { return maxValue_; }
    void setMaxValue(double value) { maxValue_ = value; }
    double minValue() const { return minValue_; }
    void setMinValue(double value) { minValue_ = value; }
    // Invalid until set or until the first drawing, which makes it red.
    QColor lineColor() const { return lineColor_; }
    void setLineColor(const QColor& color) { lineColor_ = color; }

    // Where the fill ends, in the view's coordinates.
    double progressAmount() const;

    QSize sizeHint() const override { return {120, 8}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double doubleValue_ = 0;
    double maxValue_ = 0;
    double minValue_ = 0;
    QColor lineColor_;
};

}  // namespace clipmoor
