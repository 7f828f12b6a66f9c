#include "ui/player/qmr_media_player_window_controller.h"

#include "ui/player/qmr_media_player_window.h"

namespace clipmoor {

QMRMediaPlayerWindowController::QMRMediaPlayerWindowController(QMRMediaPlayerWindow* window,
                                                               QObject* parent)
    : QObject(parent), window_(window) {}

QMRMediaPlayerWindowController::~QMRMediaPlayerWindowController() {
    // A player drops its window controller only once the window's close event is over (or at
    // the end of the application), so the window can go at once.
    if (window_) {
        window_->setDelegate(nullptr);
        delete window_;
    }
}

void QMRMediaPlayerWindowController::showWindow(QObject*) {
    if (!window_) return;
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void QMRMediaPlayerWindowController::close() {
    if (window_) window_->close();
}

}  // namespace clipmoor
