#pragma once

#include <QObject>
#include <QPointer>

#include "ui/player/qmr_media_player_view_controller.h"
#include "ui/player/qmr_media_player_window.h"

namespace clipmoor {

// Owns a player window and shows or closes it.
class QMRMediaPlayerWindowController : public QObject {
    Q_OBJECT

public:
    // Takes ownership of `window`.
    explicit QMRMediaPlayerWindowController(QMRMediaPlayerWindow* window,
                                            QObject* parent = nullptr);
    ~QMRMediaPlayerWindowController() override;

    QMRMediaPlayerWindow* window() const { return window_; }

    void setContentViewController(QMRMediaPlayerViewController* controller) {
        contentViewController_ = controller;
    }
    QMRMediaPlayerViewController* contentViewController() const { return contentViewController_; }

    // Shows the window and brings it to the front. The sender is ignored.
    void showWindow(QObject* sender = nullptr);
    void close();

private:
    QPointer<QMRMediaPlayerWindow> window_;
    QPointer<QMRMediaPlayerViewController> contentViewController_;
};

}  // namespace clipmoor
