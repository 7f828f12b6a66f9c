#include <QApplication>
#include <QContextMenuEvent>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

#include "test_environment.h"
#include "ui/tvk_table_view.h"

namespace clipmoor {
namespace {

constexpr int kRowHeight = 40;

struct TextCell : TVKTableCellView {
    TextCell() : TVKTableCellView(QStringLiteral("Cell")) { setFocusPolicy(Qt::ClickFocus); }
    void rightMouseDown(const QPoint&) override { ++rightClicks; }
    void prepareForReuse() override { text.clear(); }
    QString text;
    int rightClicks = 0;
};

// The list's records as texts; counts the views it was asked for.
struct Rows : TVKTableViewDataSource, TVKTableViewDelegate {
    int numberOfRowsInTableView(TVKTableView*) override { return int(texts.size()); }
    TVKTableCellView* viewForRow(TVKTableView* table, int row) override {
        ++asked;
        auto* cell = static_cast<TextCell*>(table->makeViewWithIdentifier("Cell"));
        cell->text = texts[row];
        return cell;
    }
    bool shouldSelectRow(TVKTableView*, int) override { return selectable; }
    int takeAsked() { return std::exchange(asked, 0); }
    QStringList texts;
    int asked = 0;
    bool selectable = false;
};

class TVKTableViewTest : public testing::Test {
protected:
    void SetUp() override {
        table.setDataSource(&rows);
        table.setDelegate(&rows);
        table.registerViewFactory("Cell", [] { return new TextCell; });
        table.setRowHeight(kRowHeight);
        table.setFrameShape(QFrame::NoFrame);
        table.resize(300, 10 * kRowHeight);
        table.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
    }
    void fill(int count) {
        for (int i = 0; i < count; ++i) rows.texts.append(QString("record %1").arg(i));
        table.reloadData();
    }
    TextCell* cell(int row) const { return static_cast<TextCell*>(table.viewAtRow(row)); }
    // Every row on screen shows its own record at its own place, and no other row has a view.
    void expectRowsInPlace() const {
        const auto [first, last] = table.visibleRowRange();
        const int offset = table.verticalScrollBar()->value();
        for (int row = first; row <= last; ++row) {
            SCOPED_TRACE(row);
            ASSERT_NE(cell(row), nullptr);
            EXPECT_EQ(cell(row)->text, rows.texts[row]);
            EXPECT_EQ(cell(row)->y(), row * kRowHeight - offset);
            EXPECT_TRUE(cell(row)->isVisible());
        }
        EXPECT_EQ(table.viewAtRow(first - 1), nullptr);
        EXPECT_EQ(table.viewAtRow(last + 1), nullptr);
    }

    Rows rows;
    TVKTableView table;
};

TEST_F(TVKTableViewTest, OnlyRowsOnScreenHaveViewsAndScrollingReusesThem) {
    fill(10000);
    EXPECT_EQ(table.visibleRowRange(), std::make_pair(0, 9));
    EXPECT_EQ(table.viewsMade(), 10);
    expectRowsInPlace();

    QScrollBar* bar = table.verticalScrollBar();
    int steps = 0;
    while (bar->value() < bar->maximum()) {
        bar->setValue(bar->value() + 97);  // not a multiple of the row height
        if (++steps % 50 == 0) expectRowsInPlace();
    }
    expectRowsInPlace();
    EXPECT_EQ(table.visibleRowRange(), std::make_pair(9990, 9999));
    // Each row was asked for once on the way down, and a screenful of views did all the work.
    EXPECT_GE(rows.asked, 10000);
    EXPECT_LE(rows.asked, 10000 + 11);
    EXPECT_LE(table.viewsMade(), 11);
    EXPECT_LE(table.viewsAlive(), 11 + 12 + 4);
}

TEST_F(TVKTableViewTest, InsertRemoveAndMoveShiftTheViewsWithoutRemakingThem) {
    fill(30);
    std::vector<TVKTableCellView*> before;
    for (int row = 0; row < 10; ++row) before.push_back(table.viewAtRow(row));
    rows.takeAsked();

    // Insert at 2: rows from 2 on keep their views one row further down; one new view.
    rows.texts.insert(2, "inserted");
    table.insertRows(2, 1, TableViewAnimation::Fade);
    expectRowsInPlace();
    EXPECT_EQ(rows.takeAsked(), 1);
    EXPECT_EQ(table.viewAtRow(1), before[1]);
    EXPECT_EQ(table.viewAtRow(9), before[8]);

    // Remove row 0: everything moves up, and only the row that scrolls into place is made.
    rows.texts.removeAt(0);
    table.removeRows(0, 1, TableViewAnimation::Fade);
    expectRowsInPlace();
    EXPECT_EQ(rows.takeAsked(), 1);
    EXPECT_EQ(table.viewAtRow(2), before[2]);

    // Move within the screen and from off screen onto it, as one batch laid out once.
    table.beginUpdates();
    rows.texts.move(0, 5);
    table.moveRow(0, 5);
    rows.texts.move(20, 1);
    table.moveRow(20, 1);
    EXPECT_EQ(rows.takeAsked(), 0);  // nothing is laid out until the batch ends
    table.endUpdates();
    expectRowsInPlace();
    EXPECT_EQ(rows.takeAsked(), 1);  // only the row that came from off screen
    EXPECT_EQ(table.viewAtRow(6), before[1]);

    // A batch that removes every row leaves nothing on screen; the fading views are recycled.
    table.beginUpdates();
    while (!rows.texts.isEmpty()) {
        rows.texts.removeLast();
        table.removeRows(table.numberOfRows() - 1, 1, TableViewAnimation::Fade);
    }
    table.endUpdates();
    EXPECT_EQ(table.numberOfRows(), 0);
    EXPECT_EQ(table.visibleRowRange(), std::make_pair(0, -1));
    EXPECT_TRUE(test::waitUntil([&] {
        return std::ranges::none_of(table.viewport()->findChildren<TextCell*>(),
                                    &QWidget::isVisible);
    }));
}

TEST_F(TVKTableViewTest, RightClickReachesOnlyTheRowUnderThePointerAndALeftClickSelectsIfAllowed) {
    fill(3);
    auto rightClickAt = [&](QPoint viewportPoint) {
        // Sent to the widget under the pointer, as the window system does; it travels up.
        QWidget* target = table.viewport()->childAt(viewportPoint);
        if (!target) target = table.viewport();
        const QPoint local = target->mapFrom(table.viewport(), viewportPoint);
        QContextMenuEvent event(QContextMenuEvent::Mouse, local, target->mapToGlobal(local));
        QApplication::sendEvent(target, &event);
        return event.isAccepted();
    };
    EXPECT_TRUE(rightClickAt(QPoint(50, kRowHeight + 5)));
    EXPECT_EQ(cell(0)->rightClicks, 0);
    EXPECT_EQ(cell(1)->rightClicks, 1);
    EXPECT_EQ(cell(2)->rightClicks, 0);
    // Below the last row: nobody hears it, and the table shows nothing of its own.
    EXPECT_TRUE(rightClickAt(QPoint(50, 5 * kRowHeight)));
    EXPECT_EQ(cell(0)->rightClicks + cell(1)->rightClicks + cell(2)->rightClicks, 1);

    // A left click selects only when the delegate allows.
    QTest::mouseClick(cell(1), Qt::LeftButton);
    EXPECT_EQ(table.selectedRow(), -1);
    EXPECT_EQ(cell(1)->backgroundStyle(), TVKTableCellView::BackgroundStyle::Normal);
    rows.selectable = true;
    QTest::mouseClick(cell(1), Qt::LeftButton);
    EXPECT_EQ(table.selectedRow(), 1);
    EXPECT_EQ(cell(1)->backgroundStyle(), TVKTableCellView::BackgroundStyle::Emphasized);
}

TEST_F(TVKTableViewTest, KeyboardMovesTheFocusBetweenRowsAndScrolls) {
    fill(100);
    table.window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&table));
    table.clearFocus();
    table.setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(cell(0)->hasFocus());

    // Each key, and the row that has the focus after it.
    const std::pair<Qt::Key, int> steps[] = {
        {Qt::Key_Down, 1}, {Qt::Key_Down, 2},    {Qt::Key_Up, 1},   {Qt::Key_PageDown, 11},
        {Qt::Key_End, 99}, {Qt::Key_PageUp, 89}, {Qt::Key_Home, 0}, {Qt::Key_Up, 0},
    };
    for (const auto& [key, row] : steps) {
        SCOPED_TRACE(key);
        QTest::keyClick(QApplication::focusWidget(), key);
        EXPECT_EQ(table.focusedRow(), row);
        ASSERT_NE(cell(row), nullptr);  // scrolled into view, its view made
        EXPECT_TRUE(cell(row)->hasFocus());
    }
    expectRowsInPlace();
}

}  // namespace
}  // namespace clipmoor
