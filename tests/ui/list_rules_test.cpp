// The download list's rules that need no window: the progress bar's geometry, the row's view
// model and the named images its buttons and the application use.
#include <QImage>

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "ui/named_image.h"
#include "ui/progress_bar_geometry.h"
#include "ui/qmr_progress_indicator.h"
#include "ui/video_item_view_model.h"

namespace clipmoor {
namespace {

TEST(ProgressBarGeometryTest, FillEndsAtTheRatioOfTheRightEdgeInTheLowerHalf) {
    const QRectF bar(0, 0, 200, 10);
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* name;
        QRectF bounds;
        double value, maxValue, amount;
        QRectF fill;
    } cases[] = {
        {"zero draws only the track", bar, 0, 100, 0, {}},
        {"a quarter", bar, 25, 100, 50, QRectF(0, 5, 50, 5)},
        {"full", bar, 100, 100, 200, QRectF(0, 5, 200, 5)},
        {"above the maximum is not clamped", bar, 150, 100, 300, QRectF(0, 5, 300, 5)},
        {"maximum zero draws nothing", bar, 50, 0, 0, {}},
        {"infinite value draws nothing", bar, inf, 100, 0, {}},
        {"NaN draws nothing", bar, nan, 100, 0, {}},
        {"offset bounds use the right edge", QRectF(10, 0, 90, 20), 50, 100, 50,
         QRectF(10, 10, 40, 10)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgressBarGeometry geometry(c.bounds, c.value, c.maxValue);
        EXPECT_DOUBLE_EQ(geometry.progressAmount(), c.amount);
        EXPECT_EQ(geometry.fillBand(), c.fill);
        // The track always spans the whole width of the lower half.
        EXPECT_EQ(geometry.trackBand(), QRectF(c.bounds.x(), c.bounds.y() + c.bounds.height() / 2,
                                               c.bounds.width(), c.bounds.height() / 2));
    }
}

TEST(QMRProgressIndicatorTest, DrawsRedFillOverAGreyTrackInTheLowerHalf) {
    QMRProgressIndicator bar;
    bar.resize(100, 10);
    bar.setMaxValue(200);
    bar.setDoubleValue(50);
    const QImage image = bar.grab().toImage();
    EXPECT_EQ(bar.lineColor(), QColor(Qt::red));  // from the first drawing on
    EXPECT_DOUBLE_EQ(bar.progressAmount(), 25);
    EXPECT_EQ(image.pixelColor(10, 8), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(60, 8), QColor(Qt::lightGray));
    EXPECT_NE(image.pixelColor(10, 2), QColor(Qt::red));  // the upper half stays empty
    EXPECT_NE(image.pixelColor(60, 2), QColor(Qt::lightGray));
}

// What a row shows: its state button's image, the visible buttons and a red size text.
QString shown(const VideoItemViewModel& model) {
    QStringList parts;
    if (!model.stateButtonImage().isEmpty()) parts << model.stateButtonImage();
    if (model.isStateButtonVisible()) parts << "button";
    if (model.isRemoveButtonVisible()) parts << "remove";
    if (model.isSizeTextRed()) parts << "red";
    return parts.join(' ');
}

TEST(VideoItemViewModelTest, ButtonsImagesAndColourFollowStateAndPointer) {
    enum Kind { Attach, StateChange, Enter, Exit };
    struct Step {
        Kind kind;
        qint16 state;
        const char* shown;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"hover on queued shows only remove; downloading then shows pause",
         {{Attach, 0, ""},
          {Enter, 0, "remove"},
          {StateChange, 3, "white-circle-pause button remove"}}},
        {"a state change outside the row shows the button until the pointer leaves",
         {{Attach, 1, ""},
          {StateChange, 1, "white-circle-south button"},
          {Enter, 1, "white-circle-south button remove"},
          {Exit, 1, "white-circle-south"}}},
        {"finished shows play on hover",
         {{Attach, 2, ""}, {Enter, 2, "white-circle-play button remove"}}},
        {"failed shows retry, also on hover, and turns the size red",
         {{Attach, 4, ""},
          {StateChange, 3, "white-circle-pause button"},
          {StateChange, 4, "white-circle-retry button red"},
          {Exit, 4, "white-circle-retry red"},
          {Enter, 4, "white-circle-retry button remove red"}}},
        {"a retry queues the record again and makes the size black",
         {{Attach, 4, ""},
          {StateChange, 4, "white-circle-retry button red"},
          {StateChange, 0, "white-circle-retry button"},
          {StateChange, 3, "white-circle-pause button"}}},
        {"reuse for another record makes the size black again",
         {{Attach, 4, ""},
          {StateChange, 4, "white-circle-retry button red"},
          {Attach, 2, "white-circle-retry"}}},
        {"an unknown state changes nothing",
         {{Attach, 7, ""}, {StateChange, 7, ""}, {Enter, 7, "remove"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VideoItemViewModel model;
        for (const Step& step : c.steps) {
            if (step.kind == Attach)
                model.attach();
            else if (step.kind == StateChange)
                model.updateForState(step.state);
            else if (step.kind == Enter)
                model.engage(step.state);
            else
                model.disengage();
            EXPECT_EQ(shown(model), step.shown);
        }
    }
}

TEST(VideoItemViewModelTest, ActionNameAndMenuEnablingByState) {
    using A = VideoItemViewModel::StateButtonAction;
    struct Case {
        qint16 state;
        A action;
        const char* name;
        bool showInFolder, retry;
    } const cases[] = {
        {0, A::None, "Download state", false, false},
        {1, A::Resume, "Resume", false, false},
        {2, A::Play, "Play", true, false},
        {3, A::Pause, "Pause", false, false},
        {4, A::Retry, "Retry", false, true},
        {-1, A::None, "Download state", false, false},
    };
    const VideoItemViewModel model;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        EXPECT_EQ(VideoItemViewModel::actionForState(c.state), c.action);
        EXPECT_EQ(model.stateButtonName(c.state), QString::fromLatin1(c.name));
        EXPECT_EQ(VideoItemViewModel::isMenuItemEnabled("Show in Folder", !c.showInFolder, c.state),
                  c.showInFolder);
        EXPECT_EQ(VideoItemViewModel::isMenuItemEnabled("Retry", !c.retry, c.state), c.retry);
        // Other items keep whatever state they had.
        EXPECT_TRUE(VideoItemViewModel::isMenuItemEnabled("Show in Browser", true, c.state));
        EXPECT_FALSE(VideoItemViewModel::isMenuItemEnabled("Remove from List", false, c.state));
    }
}

TEST(NamedImageTest, EveryNameTheApplicationUsesGivesAnImageAndOthersNone) {
    for (const char* name : {"white-circle-south", "white-circle-play", "white-circle-pause",
                             "white-circle-retry", "Settings", "Update", "clipmoor"})
        EXPECT_FALSE(namedImage(QString::fromLatin1(name)).pixmap(32, 32).isNull()) << name;
    EXPECT_TRUE(namedImage(QStringLiteral("no-such-image")).isNull());
}

}  // namespace
}  // namespace clipmoor
