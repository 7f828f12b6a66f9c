#include "ui/player/qmr_media_player_window.h"

#include "ui/player/player_controls.h"
#include "ui/player/qmr_media_player_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace clipmoor {

namespace {
constexpr qint64 kSeekStepMs = 5000;
constexpr int kVolumeStepPercent = 10;
}  // namespace

QMRMediaPlayerWindow::QMRMediaPlayerWindow() : QWidget(nullptr, Qt::Window) {
    setAccessibleName(QStringLiteral("Media player"));
    setMinimumSize(160, 90);
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    resize(kDefaultPlayerSize);
    ownSize_ = size();
}

QMRMediaPlayerWindow::~QMRMediaPlayerWindow() = default;

void QMRMediaPlayerWindow::setContentView(QWidget* view) {
    if (contentView_) delete contentView_;
    contentView_ = view;
    if (!view) return;
    layout()->addWidget(view);
    setFocusProxy(view);
    if (auto* playerView = qobject_cast<QMRMediaPlayerView*>(view)) playerView->prepareStacking();
}

void QMRMediaPlayerWindow::setFloatingControls(PlayerControls* controls) {
    floatingControls_ = controls;
}

void QMRMediaPlayerWindow::setContentSizeCentered(QSize naturalSize) {
    QScreen* target = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect available = target ? target->availableGeometry() : QRect(0, 0, 1920, 1080);
    // The frame (title bar and border) must fit on the screen too.
    const QSize frameExtra = frameGeometry().size() - geometry().size();
    const QSize size = playerContentSize(naturalSize, available.size() - frameExtra);
    ownSize_ = size;
    resize(size);
    move(centeredRect(size + frameExtra, available).topLeft());
}

bool QMRMediaPlayerWindow::isFullScreen() const {
    return windowState().testFlag(Qt::WindowFullScreen);
}

void QMRMediaPlayerWindow::handleDoubleClickEvent() {
    if (isFullScreen())
        showNormal();
    else
        showFullScreen();
}

void QMRMediaPlayerWindow::handleWindowWillExitFullScreen() {
    setFloatingControlsVisible(false);
}

void QMRMediaPlayerWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    // The delegate hears of the close once, however often close() is called.
    if (closing_) return;
    closing_ = true;
    if (delegate_) delegate_->windowWillClose(this);
}

void QMRMediaPlayerWindow::countPress(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    clickCounter_.press(qint64(event->timestamp()), event->globalPosition().toPoint(),
                        QApplication::doubleClickInterval());
}

void QMRMediaPlayerWindow::mousePressEvent(QMouseEvent* event) {
    countPress(event);
    event->accept();
}

void QMRMediaPlayerWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    // The toolkit reports the second press of a double click here instead of as a press.
    countPress(event);
    event->accept();
}

void QMRMediaPlayerWindow::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::LeftButton && clickCounter_.clickCount() == 2)
        handleDoubleClickEvent();
}

void QMRMediaPlayerWindow::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (!isFullScreen()) setFloatingControlsVisible(true);
}

void QMRMediaPlayerWindow::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    // Moving onto a child (the controls themselves) is no leave: this comes only when the
    // pointer really left the window.
    if (!isFullScreen()) setFloatingControlsVisible(false);
}

void QMRMediaPlayerWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    const bool fullScreen = isFullScreen();
    if (wasFullScreen_ && !fullScreen) handleWindowWillExitFullScreen();
    wasFullScreen_ = fullScreen;
}

void QMRMediaPlayerWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (isFullScreen() || windowState().testFlag(Qt::WindowMaximized)) return;
    const QSize proposed = event->size();
    if (proposed == ownSize_) return;
    const QSize kept =
        sizeKeepingAspectRatio(proposed, event->oldSize().isValid() ? event->oldSize() : ownSize_);
    ownSize_ = kept;
    if (kept == proposed) return;
    // Correct the user's size once this resize has been handled.
    QTimer::singleShot(0, this, [this, kept] {
        if (!isFullScreen() && size() != kept) resize(kept);
    });
}

void QMRMediaPlayerWindow::keyPressEvent(QKeyEvent* event) {
    const bool plain = event->modifiers() == Qt::NoModifier;
    if (event->key() == Qt::Key_Escape && isFullScreen()) {
        showNormal();
    } else if (event->key() == Qt::Key_F && plain) {
        handleDoubleClickEvent();
    } else if (event->matches(QKeySequence::Close)) {
        close();
    } else if (floatingControls_ && plain && event->key() == Qt::Key_Space) {
        floatingControls_->togglePlayback();
    } else if (floatingControls_ && plain && event->key() == Qt::Key_Left) {
        floatingControls_->seekBy(-kSeekStepMs);
    } else if (floatingControls_ && plain && event->key() == Qt::Key_Right) {
        floatingControls_->seekBy(kSeekStepMs);
    } else if (floatingControls_ && plain && event->key() == Qt::Key_Up) {
        floatingControls_->changeVolumeBy(kVolumeStepPercent);
    } else if (floatingControls_ && plain && event->key() == Qt::Key_Down) {
        floatingControls_->changeVolumeBy(-kVolumeStepPercent);
    } else {
        QWidget::keyPressEvent(event);
    }
}

void QMRMediaPlayerWindow::setFloatingControlsVisible(bool visible) {
    if (!floatingControls_) return;
    floatingControls_->setVisible(visible);
    if (visible) floatingControls_->raise();
}

}  // namespace clipmoor
