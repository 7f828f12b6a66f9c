#include "ui/tvk_table_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QPointer>
#include <QPropertyAnimation>
#include <QScrollBar>

#include <algorithm>

namespace clipmoor {

namespace {
constexpr int kFadeMilliseconds = 180;
// Views kept for reuse beyond one screenful; more than that are deleted.
constexpr int kSpareViews = 4;

bool isNavigationKey(int key) {
    switch (key) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            return true;
        default:
            return false;
    }
}
}  // namespace

TVKTableView::TVKTableView(QWidget* parent) : QAbstractScrollArea(parent) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::TabFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(rowHeight_ / 3);
}

TVKTableView::~TVKTableView() {
    // The views are children of the viewport; they must not call back while it goes.
    for (auto& [row, view] : rowViews_) view->removeEventFilter(this);
}

void TVKTableView::registerViewFactory(const QString& identifier, ViewFactory factory) {
    factories_.insert(identifier, std::move(factory));
}

TVKTableCellView* TVKTableView::makeViewWithIdentifier(const QString& identifier) {
    auto waiting = reusable_.find(identifier);
    if (waiting != reusable_.end() && !waiting->empty()) {
        TVKTableCellView* view = waiting->back();
        waiting->pop_back();
        return view;
    }
    const auto factory = factories_.constFind(identifier);
    if (factory == factories_.constEnd()) return nullptr;
    TVKTableCellView* view = (*factory)();
    if (!view) return nullptr;
    ++viewsMade_;
    adopt(view);
    return view;
}

void TVKTableView::adopt(TVKTableCellView* view) {
    if (view->parentWidget() != viewport()) view->setParent(viewport());
    view->installEventFilter(this);
}

void TVKTableView::setRowHeight(int height) {
    rowHeight_ = std::max(1, height);
    verticalScrollBar()->setSingleStep(std::max(1, rowHeight_ / 3));
    updateScrollRange();
    layoutRows();
}

int TVKTableView::viewsAlive() const {
    return static_cast<int>(
        viewport()->findChildren<TVKTableCellView*>(Qt::FindDirectChildrenOnly).size());
}

void TVKTableView::reloadData() {
    for (auto& [row, view] : rowViews_) recycle(view);
    rowViews_.clear();
    rowsToFadeIn_.clear();
    rowCount_ = dataSource_ ? std::max(0, dataSource_->numberOfRowsInTableView(this)) : 0;
    if (selectedRow_ >= rowCount_) selectedRow_ = -1;
    if (focusedRow_ >= rowCount_) focusedRow_ = rowCount_ - 1;
    updateScrollRange();
    layoutRows();
}

void TVKTableView::beginUpdates() {
    ++updateDepth_;
}

void TVKTableView::endUpdates() {
    if (updateDepth_ == 0) return;
    if (--updateDepth_ == 0 && layoutPending_) {
        updateScrollRange();
        layoutRows();
    }
}

void TVKTableView::shiftRows(int from, int delta) {
    std::map<int, TVKTableCellView*> shifted;
    for (auto& [row, view] : rowViews_) shifted.emplace(row >= from ? row + delta : row, view);
    rowViews_.swap(shifted);
    std::set<int> fades;
    for (int row : rowsToFadeIn_) fades.insert(row >= from ? row + delta : row);
    rowsToFadeIn_.swap(fades);
    if (selectedRow_ >= from) selectedRow_ += delta;
    if (focusedRow_ >= from) focusedRow_ += delta;
}

void TVKTableView::insertRows(int row, int count, TableViewAnimation animation) {
    if (count <= 0) return;
    row = std::clamp(row, 0, rowCount_);
    shiftRows(row, count);
    rowCount_ += count;
    if (animation == TableViewAnimation::Fade)
        for (int r = row; r < row + count; ++r) rowsToFadeIn_.insert(r);
    updateScrollRange();
    layoutRows();
}

void TVKTableView::removeRows(int row, int count, TableViewAnimation animation) {
    if (row < 0 || count <= 0 || row >= rowCount_) return;
    count = std::min(count, rowCount_ - row);
    for (int r = row; r < row + count; ++r) {
        rowsToFadeIn_.erase(r);
        const auto found = rowViews_.find(r);
        if (found == rowViews_.end()) continue;
        TVKTableCellView* view = found->second;
        rowViews_.erase(found);
        if (animation == TableViewAnimation::Fade && updatesEnabled() && view->isVisible())
            fadeOutAndRecycle(view);
        else
            recycle(view);
    }
    if (selectedRow_ >= row && selectedRow_ < row + count) selectedRow_ = -1;
    if (focusedRow_ >= row && focusedRow_ < row + count) focusedRow_ = row;
    shiftRows(row + count, -count);
    rowCount_ -= count;
    if (focusedRow_ >= rowCount_) focusedRow_ = rowCount_ - 1;
    updateScrollRange();
    layoutRows();
}

void TVKTableView::moveRow(int from, int to) {
    if (from < 0 || to < 0 || from >= rowCount_ || to >= rowCount_ || from == to) return;
    auto remap = [&](int row) {
        if (row == from) return to;
        if (from < to && row > from && row <= to) return row - 1;
        if (to < from && row >= to && row < from) return row + 1;
        return row;
    };
    std::map<int, TVKTableCellView*> moved;
    for (auto& [row, view] : rowViews_) moved.emplace(remap(row), view);
    rowViews_.swap(moved);
    std::set<int> fades;
    for (int row : rowsToFadeIn_) fades.insert(remap(row));
    rowsToFadeIn_.swap(fades);
    if (selectedRow_ >= 0) selectedRow_ = remap(selectedRow_);
    if (focusedRow_ >= 0) focusedRow_ = remap(focusedRow_);
    layoutRows();
}

TVKTableCellView* TVKTableView::viewAtRow(int row) const {
    const auto found = rowViews_.find(row);
    return found == rowViews_.end() ? nullptr : found->second;
}

int TVKTableView::rowForView(const QWidget* widget) const {
    for (; widget && widget != viewport(); widget = widget->parentWidget()) {
        for (const auto& [row, view] : rowViews_)
            if (view == widget) return row;
    }
    return -1;
}

int TVKTableView::rowAtPoint(const QPoint& viewportPosition) const {
    if (viewportPosition.y() < 0) return -1;
    const qint64 row =
        (static_cast<qint64>(verticalScrollBar()->value()) + viewportPosition.y()) / rowHeight_;
    return row < rowCount_ ? static_cast<int>(row) : -1;
}

std::pair<int, int> TVKTableView::visibleRowRange() const {
    if (rowCount_ == 0 || viewport()->height() <= 0) return {0, -1};
    const int offset = verticalScrollBar()->value();
    const int first = std::min(offset / rowHeight_, rowCount_ - 1);
    const int last = std::min(rowCount_ - 1, (offset + viewport()->height() - 1) / rowHeight_);
    return {first, last};
}

void TVKTableView::scrollRowToVisible(int row) {
    if (row < 0 || row >= rowCount_) return;
    QScrollBar* bar = verticalScrollBar();
    const int top = row * rowHeight_;
    const int height = viewport()->height();
    if (top < bar->value())
        bar->setValue(top);
    else if (top + rowHeight_ > bar->value() + height)
        bar->setValue(top + rowHeight_ - height);
}

void TVKTableView::focusRow(int row) {
    if (rowCount_ == 0) return;
    row = std::clamp(row, 0, rowCount_ - 1);
    focusedRow_ = row;
    scrollRowToVisible(row);
    layoutRows();
    if (TVKTableCellView* view = viewAtRow(row)) view->setFocus(Qt::OtherFocusReason);
}

void TVKTableView::updateScrollRange() {
    if (updateDepth_ > 0) {
        layoutPending_ = true;
        return;
    }
    const qint64 content = static_cast<qint64>(rowCount_) * rowHeight_;
    const int height = viewport()->height();
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(std::max(1, height));
    bar->setRange(0, static_cast<int>(std::clamp<qint64>(content - height, 0, INT_MAX)));
}

void TVKTableView::layoutRows() {
    if (updateDepth_ > 0) {
        layoutPending_ = true;
        return;
    }
    layoutPending_ = false;
    const auto [first, last] = visibleRowRange();
    for (auto it = rowViews_.begin(); it != rowViews_.end();) {
        if (it->first < first || it->first > last) {
            recycle(it->second);
            it = rowViews_.erase(it);
        } else {
            ++it;
        }
    }
    const int offset = verticalScrollBar()->value();
    const int width = viewport()->width();
    for (int row = first; row <= last; ++row) {
        TVKTableCellView* view = viewAtRow(row);
        const bool made = !view;
        if (made) {
            view = dataSource_ ? dataSource_->viewForRow(this, row) : nullptr;
            if (!view) continue;
            adopt(view);
            rowViews_[row] = view;
            view->setBackgroundStyle(row == selectedRow_
                                         ? TVKTableCellView::BackgroundStyle::Emphasized
                                         : TVKTableCellView::BackgroundStyle::Normal);
        }
        view->setGeometry(0, row * rowHeight_ - offset, width, rowHeight_);
        if (made) {
            view->show();
            if (rowsToFadeIn_.count(row)) fadeIn(view);
        }
    }
    rowsToFadeIn_.clear();
}

void TVKTableView::recycle(TVKTableCellView* view) {
    // A view that holds the focus gives it to the table, so the focus neither jumps to another
    // control nor disappears with the view.
    if (view->isAncestorOf(QApplication::focusWidget()) || view->hasFocus())
        setFocus(Qt::OtherFocusReason);
    view->hide();
    view->setGraphicsEffect(nullptr);
    view->prepareForReuse();
    std::vector<TVKTableCellView*>& waiting = reusable_[view->identifier()];
    const int rowsOnScreen = viewport()->height() / rowHeight_ + 2;
    if (static_cast<int>(waiting.size()) >= rowsOnScreen + kSpareViews) {
        view->removeEventFilter(this);
        view->deleteLater();
        return;
    }
    waiting.push_back(view);
}

void TVKTableView::fadeIn(TVKTableCellView* view) {
    auto* effect = new QGraphicsOpacityEffect(view);
    effect->setOpacity(0);
    view->setGraphicsEffect(effect);
    auto* animation = new QPropertyAnimation(effect, "opacity", effect);
    animation->setDuration(kFadeMilliseconds);
    animation->setEndValue(1.0);
    // The effect goes when the fade ends, so a settled row paints without it.
    connect(animation, &QPropertyAnimation::finished, view,
            [view] { view->setGraphicsEffect(nullptr); });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void TVKTableView::fadeOutAndRecycle(TVKTableCellView* view) {
    if (view->isAncestorOf(QApplication::focusWidget()) || view->hasFocus())
        setFocus(Qt::OtherFocusReason);
    view->prepareForReuse();
    view->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    view->lower();
    auto* effect = new QGraphicsOpacityEffect(view);
    view->setGraphicsEffect(effect);
    auto* animation = new QPropertyAnimation(effect, "opacity", effect);
    animation->setDuration(kFadeMilliseconds);
    animation->setEndValue(0.0);
    QPointer<TVKTableView> self(this);
    connect(animation, &QPropertyAnimation::finished, view, [self, view] {
        view->setAttribute(Qt::WA_TransparentForMouseEvents, false);
        if (self) self->recycle(view);
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void TVKTableView::scrollContentsBy(int, int dy) {
    // Moves the row views with the pixels already drawn; only the uncovered strip is painted.
    viewport()->scroll(0, dy);
    layoutRows();
}

void TVKTableView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
    const int width = viewport()->width();
    for (auto& [row, view] : rowViews_) view->resize(width, rowHeight_);
    layoutRows();
}

bool TVKTableView::viewportEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::ContextMenu: {
            auto* menuEvent = static_cast<QContextMenuEvent*>(event);
            if (menuEvent->reason() == QContextMenuEvent::Keyboard) {
                if (TVKTableCellView* view = viewAtRow(focusedRow_))
                    view->rightMouseDown(view->mapToGlobal(view->rect().center()));
            } else {
                // Every row view under the pointer hears it; rows do not overlap, so at most
                // one does. Empty space below the last row does nothing.
                for (const auto& [row, view] : rowViews_)
                    if (view->geometry().contains(menuEvent->pos()))
                        view->rightMouseDown(menuEvent->globalPos());
            }
            event->accept();
            return true;
        }
        case QEvent::MouseButtonPress: {
            auto* mouseEvent = static_cast<QMouseEvent*>(event);
            if (mouseEvent->button() != Qt::LeftButton) break;
            const int row = rowAtPoint(mouseEvent->position().toPoint());
            if (row >= 0 && (!delegate_ || delegate_->shouldSelectRow(this, row))) {
                if (TVKTableCellView* old = viewAtRow(selectedRow_))
                    old->setBackgroundStyle(TVKTableCellView::BackgroundStyle::Normal);
                selectedRow_ = row;
                if (TVKTableCellView* view = viewAtRow(row))
                    view->setBackgroundStyle(TVKTableCellView::BackgroundStyle::Emphasized);
            }
            return true;
        }
        default:
            break;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

bool TVKTableView::eventFilter(QObject* watched, QEvent* event) {
    auto* view = qobject_cast<TVKTableCellView*>(watched);
    if (!view) return QAbstractScrollArea::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::FocusIn: {
            const int row = rowForView(view);
            if (row >= 0) focusedRow_ = row;
            break;
        }
        case QEvent::FocusOut:
            backtabFromRow_ = static_cast<QFocusEvent*>(event)->reason() == Qt::BacktabFocusReason;
            break;
        case QEvent::KeyPress: {
            auto* keyEvent = static_cast<QKeyEvent*>(event);
            if (keyEvent->modifiers() & ~Qt::KeypadModifier) break;
            if (!isNavigationKey(keyEvent->key())) break;
            const int row = rowForView(view);
            if (row < 0) break;
            focusRow(navigationTarget(keyEvent->key(), row));
            return true;
        }
        default:
            break;
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

void TVKTableView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::BacktabFocusReason && backtabFromRow_) {
        // Shift+Tab from a row leaves the list instead of landing on it again.
        backtabFromRow_ = false;
        focusPreviousChild();
        return;
    }
    backtabFromRow_ = false;
    // Reaching the list from the keyboard, or coming back to its window, lands on its current
    // row; focus the table took over from a row that scrolled away stays on the table.
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
        reason == Qt::ActiveWindowFocusReason || reason == Qt::ShortcutFocusReason)
        focusRow(std::max(focusedRow_, 0));
}

void TVKTableView::keyPressEvent(QKeyEvent* event) {
    if (isNavigationKey(event->key()) && !(event->modifiers() & ~Qt::KeypadModifier) &&
        rowCount_ > 0) {
        focusRow(focusedRow_ < 0 ? 0 : navigationTarget(event->key(), focusedRow_));
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

int TVKTableView::rowsPerPage() const {
    return std::max(1, viewport()->height() / rowHeight_);
}

int TVKTableView::navigationTarget(int key, int from) const {
    switch (key) {
        case Qt::Key_Up:
            return from - 1;
        case Qt::Key_Down:
            return from + 1;
        case Qt::Key_PageUp:
            return from - rowsPerPage();
        case Qt::Key_PageDown:
            return from + rowsPerPage();
        case Qt::Key_Home:
            return 0;
        case Qt::Key_End:
            return rowCount_ - 1;
        default:
            return from;
    }
}

}  // namespace clipmoor
