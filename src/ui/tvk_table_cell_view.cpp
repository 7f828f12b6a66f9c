#include "ui/tvk_table_cell_view.h"

namespace clipmoor {

TVKTableCellView::TVKTableCellView(QString identifier, QWidget* parent)
    : QWidget(parent), identifier_(std::move(identifier)) {}

void TVKTableCellView::setBackgroundStyle(BackgroundStyle style) {
    if (backgroundStyle_ == style) return;
    backgroundStyle_ = style;
    update();
}

void TVKTableCellView::rightMouseDown(const QPoint&) {}

}  // namespace clipmoor
