#pragma once

#include <QAbstractScrollArea>
#include <QHash>
#include <QString>

#include <functional>
#include <map>
#include <set>
#include <vector>

#include "ui/tvk_table_cell_view.h"

namespace clipmoor {

class TVKTableView;

// Says how many rows there are and makes the view of one row (normally with
// makeViewWithIdentifier, so that views are reused).
class TVKTableViewDataSource {
public:
    virtual int numberOfRowsInTableView(TVKTableView* tableView) = 0;
    virtual TVKTableCellView* viewForRow(TVKTableView* tableView, int row) = 0;

protected:
    ~TVKTableViewDataSource() = default;
};

class TVKTableViewDelegate {
public:
    // Asked before a click selects a row.
    virtual bool shouldSelectRow(TVKTableView*, int /*row*/) { return true; }

protected:
    ~TVKTableViewDelegate() = default;
};

enum class TableViewAnimation { None, Fade };

// A list of fixed-height rows whose views are real child widgets (so screen readers and the
// keyboard reach them), made only for the rows on screen and reused as the list scrolls: the
// list's cost follows the window's height, not the number of rows.
//
// Inserting, removing and moving rows changes only the row numbers of the views on screen;
// nothing is rebuilt. Between beginUpdates and endUpdates the views are laid out once, at the
// end. Right-clicks go to the row view under the pointer (TVKTableCellView::rightMouseDown);
// the table itself shows no menu. Keyboard: Tab enters the list at its current row; Up, Down,
// Page Up, Page Down, Home and End move the focus between rows, scrolling as needed.
class TVKTableView : public QAbstractScrollArea {
    Q_OBJECT

public:
    using ViewFactory = std::function<TVKTableCellView*()>;

    explicit TVKTableView(QWidget* parent = nullptr);
    ~TVKTableView() override;

    // Neither is owned; both must outlive the table or be reset first.
    void setDataSource(TVKTableViewDataSource* dataSource) { dataSource_ = dataSource; }
    void setDelegate(TVKTableViewDelegate* delegate) { delegate_ = delegate; }

    // How makeViewWithIdentifier makes a view when none waits to be reused.
    void registerViewFactory(const QString& identifier, ViewFactory factory);
    // A view that left the screen, or a new one from the registered factory; none for an
    // identifier without a factory.
    TVKTableCellView* makeViewWithIdentifier(const QString& identifier);

    int numberOfRows() const { return rowCount_; }
    int rowHeight() const { return rowHeight_; }
    void setRowHeight(int height);

    // Asks the data source for the row count again and remakes every view on screen.
    void reloadData();
    void beginUpdates();
    void endUpdates();
    void insertRows(int row, int count = 1,
                    TableViewAnimation animation = TableViewAnimation::None);
    void removeRows(int row, int count = 1,
                    TableViewAnimation animation = TableViewAnimation::None);
    void moveRow(int from, int to);

    // The view on screen for `row`; none for a row that is not on screen.
    TVKTableCellView* viewAtRow(int row) const;
    // The row of a view on screen (or of a widget inside one); -1 otherwise.
    int rowForView(const QWidget* widget) const;
    // The row at a point of the viewport; -1 for the empty space below the last row.
    int rowAtPoint(const QPoint& viewportPosition) const;
    // First and last row on screen; last < first when there is none.
    std::pair<int, int> visibleRowRange() const;
    void scrollRowToVisible(int row);

    int selectedRow() const { return selectedRow_; }
    // The row that has, or last had, the keyboard focus; -1 before any.
    int focusedRow() const { return focusedRow_; }
    // Scrolls to `row` (clamped to the list), makes its view if needed, and focuses it.
    void focusRow(int row);

    // Views made by factories so far, and views that exist now (on screen, waiting for reuse
    // or fading out).
    int viewsMade() const { return viewsMade_; }
    int viewsAlive() const;

protected:
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void layoutRows();
    void updateScrollRange();
    void shiftRows(int from, int delta);
    void recycle(TVKTableCellView* view);
    void fadeIn(TVKTableCellView* view);
    void fadeOutAndRecycle(TVKTableCellView* view);
    void adopt(TVKTableCellView* view);
    int navigationTarget(int key, int from) const;
    int rowsPerPage() const;

    TVKTableViewDataSource* dataSource_ = nullptr;
    TVKTableViewDelegate* delegate_ = nullptr;
    QHash<QString, ViewFactory> factories_;
    QHash<QString, std::vector<TVKTableCellView*>> reusable_;
    std::map<int, TVKTableCellView*> rowViews_;  // the rows on screen
    std::set<int> rowsToFadeIn_;
    int rowCount_ = 0;
    int rowHeight_ = 72;
    int updateDepth_ = 0;
    bool layoutPending_ = false;
    int selectedRow_ = -1;
    int focusedRow_ = -1;
    int viewsMade_ = 0;
    bool backtabFromRow_ = false;
};

}  // namespace clipmoor
