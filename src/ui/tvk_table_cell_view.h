#pragma once

#include <QString>
#include <QWidget>

namespace clipmoor {

// The view of one row of a TVKTableView. The table makes, positions and reuses these views:
// a view that scrolls out of sight is prepared for reuse and handed out again for another
// row by makeViewWithIdentifier.
class TVKTableCellView : public QWidget {
    Q_OBJECT

public:
    enum class BackgroundStyle { Normal = 0, Emphasized = 1 };

    explicit TVKTableCellView(QString identifier, QWidget* parent = nullptr);

    const QString& identifier() const { return identifier_; }
    BackgroundStyle backgroundStyle() const { return backgroundStyle_; }
    void setBackgroundStyle(BackgroundStyle style);

    // A right-click on this view, or a request for its menu from the keyboard, routed here by
    // the table; `globalPos` is where a menu should open. Nothing by default.
    virtual void rightMouseDown(const QPoint& globalPos);
    // Called when the view leaves the screen, before it waits to be reused: let go of
    // whatever the row showed.
    virtual void prepareForReuse() {}

private:
    QString identifier_;
    BackgroundStyle backgroundStyle_ = BackgroundStyle::Normal;
};

}  // namespace clipmoor
