#pragma once

#include <QIcon>
#include <QString>

class QWidget;

namespace clipmoor {

// One pane of the preferences window.
class ZKPreferencesModule {
public:
    virtual ~ZKPreferencesModule() = default;

    // The toolbar item's label and the window's title while the pane is shown.
    virtual QString title() const = 0;
    // Unique among the panes; names the toolbar item and is remembered as the selection.
    virtual QString identifier() const = 0;
    virtual QIcon image() const = 0;
    // The pane's content, made on the first call; its size gives the window's content size.
    virtual QWidget* view() = 0;
    // Called just before the pane is shown.
    virtual void willBeDisplayed() {}
};

}  // namespace clipmoor
