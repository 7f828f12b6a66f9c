// The player window's rules that need no window: fitting, centring, 16:9 and click counting.
#include <gtest/gtest.h>

#include "ui/player/player_window_geometry.h"

namespace clipmoor {
namespace {

TEST(PlayerWindowGeometryTest, ContentSizeIsTheNaturalSizeFittedToTheScreen) {
    const struct {
        QSize natural, available, expected;
    } cases[] = {
        {{1280, 720}, {1920, 1050}, {1280, 720}},
        {{640, 360}, {800, 600}, {640, 360}},
        {{1280, 720}, {800, 600}, {800, 450}},     // too wide: scaled, proportions kept
        {{720, 1280}, {1920, 1050}, {590, 1050}},  // too tall
        {{}, {1920, 1050}, kDefaultPlayerSize},    // no picture
        {{0, 0}, {1920, 1050}, kDefaultPlayerSize},
        {{1280, 720}, {}, {1280, 720}},  // unknown screen: nothing to fit to
    };
    for (const auto& c : cases)
        EXPECT_EQ(playerContentSize(c.natural, c.available), c.expected)
            << c.natural.width() << "x" << c.natural.height();
    EXPECT_EQ(centeredRect({640, 360}, QRect(100, 50, 1000, 600)), QRect(280, 170, 640, 360));
}

TEST(PlayerWindowGeometryTest, UserResizeKeepsSixteenByNineLedByTheSideChangedMore) {
    const struct {
        QSize proposed, previous, expected;
    } cases[] = {
        {{1000, 450}, {800, 450}, {1000, 563}},  // wider
        {{800, 600}, {800, 450}, {1067, 600}},   // taller
        {{600, 300}, {800, 450}, {533, 300}},    // height shrank more
        {{1600, 900}, {800, 450}, {1600, 900}},  // already 16:9
        {{0, 0}, {800, 450}, {0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sizeKeepingAspectRatio(c.proposed, c.previous), c.expected)
            << c.proposed.width() << "x" << c.proposed.height();
}

TEST(PlayerWindowGeometryTest, ClicksCountWithinTheIntervalAndNearThePreviousOne) {
    const int interval = 400;
    const struct {
        const char* name;
        std::vector<std::pair<qint64, QPoint>> presses;
        std::vector<int> counts;
    } cases[] = {
        {"triple", {{0, {10, 10}}, {100, {10, 10}}, {200, {11, 10}}}, {1, 2, 3}},
        {"too slow", {{0, {10, 10}}, {401, {10, 10}}}, {1, 1}},
        {"moved away", {{0, {10, 10}}, {100, {40, 10}}}, {1, 1}},
        {"clock went back", {{500, {10, 10}}, {100, {10, 10}}}, {1, 1}},
        {"two doubles", {{0, {0, 0}}, {100, {0, 0}}, {900, {0, 0}}, {1000, {0, 0}}}, {1, 2, 1, 2}},
    };
    for (const auto& c : cases) {
        ClickCounter counter;
        std::vector<int> counts;
        for (const auto& [time, position] : c.presses)
            counts.push_back(counter.press(time, position, interval));
        EXPECT_EQ(counts, c.counts) << c.name;
    }
}

}  // namespace
}  // namespace clipmoor
