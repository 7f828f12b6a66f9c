#pragma once

#include <QPointer>
#include <QWidget>

#include "ui/player/player_controls.h"
#include "ui/player/player_window_geometry.h"

namespace clipmoor {

class PlayerControls;
class QMRMediaPlayerWindow;

// Told when a player window is about to close.
class QMRMediaPlayerWindowDelegate {
public:
    virtual ~QMRMediaPlayerWindowDelegate() = default;
    virtual void windowWillClose(QMRMediaPlayerWindow* window) = 0;
};

// A player's top-level window. Its content fills it; a double click (the mouse-up of the
// second click) toggles full screen; its floating controls appear while the pointer is over
// the window and hide when it leaves or when full screen ends (in full screen they stay as they
// are). User resizing keeps 16 : 9. Keys: Escape leaves full screen, F toggles it, Space plays
// or pauses, Left and Right seek, Up and Down change the volume, Ctrl+W closes.
class QMRMediaPlayerWindow : public QWidget {
    Q_OBJECT

public:
    QMRMediaPlayerWindow();
    ~QMRMediaPlayerWindow() override;

    void setDelegate(QMRMediaPlayerWindowDelegate* delegate) { delegate_ = delegate; }
    QMRMediaPlayerWindowDelegate* delegate() const { return delegate_; }

    // The widget that fills the window; the window takes ownership.
    void setContentView(QWidget* view);
    QWidget* contentView() const { return contentView_; }
    // The controls that follow the pointer (a child of the content view).
    void setFloatingControls(PlayerControls* controls);
    PlayerControls* floatingControls() const { return floatingControls_; }

    // Gives the content `naturalSize` (fitted to the screen, the default size when there is
    // none) and centres the window on its screen.
    void setContentSizeCentered(QSize naturalSize);

    bool isFullScreen() const;
    void handleDoubleClickEvent();
    void handleWindowWillExitFullScreen();

protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void countPress(QMouseEvent* event);
    void setFloatingControlsVisible(bool visible);

    QMRMediaPlayerWindowDelegate* delegate_ = nullptr;
    QPointer<QWidget> contentView_;
    QPointer<PlayerControls> floatingControls_;
    ClickCounter clickCounter_;
    // The size the window gave itself last; any other size comes from the user.
    QSize ownSize_;
    bool wasFullScreen_ = false;
    bool closing_ = false;
};

}  // namespace clipmoor
