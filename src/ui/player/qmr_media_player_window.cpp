#include "ui/player/qmr_media_player_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace clipmoor {

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
}

void QMRMediaPlayerWindow::setFloatingControls(QWidget* controls) {
    floatingControls_ = controls;
}

void QMRMediaPlayerWindow::setContentSizeCentered(QSize naturalSize) {
    QScreen* target = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect available = target ? target->availableGeometry() : QRect(0, 0, 1920, 1080);
    const QSize size = playerContentSize(naturalSize, available.size());
    ownSize_ = size;
    resize(size);
    // Centre the whole window, frame included, once the frame's size is known.
    const QSize frameExtra = frameGeometry().size() - geometry().size();
    const QRect frame = centeredRect(size + frameExtra, available);
    move(frame.topLeft());
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
    // Entering a child (the controls themselves) also leaves this widget; only a pointer
    // that is really outside hides the controls.
    if (!isFullScreen() && !rect().contains(mapFromGlobal(QCursor::pos())))
        setFloatingControlsVisible(false);
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
    if (event->key() == Qt::Key_Escape && isFullScreen()) {
        showNormal();
        return;
    }
    if (event->key() == Qt::Key_F && event->modifiers() == Qt::NoModifier) {
        handleDoubleClickEvent();
        return;
    }
    if (event->matches(QKeySequence::Close)) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void QMRMediaPlayerWindow::setFloatingControlsVisible(bool visible) {
    if (!floatingControls_) return;
    floatingControls_->setVisible(visible);
    if (visible) floatingControls_->raise();
}

}  // namespace clipmoor
