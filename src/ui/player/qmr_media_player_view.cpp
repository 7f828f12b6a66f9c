#include "ui/player/qmr_media_player_view.h"

#include <QAudioOutput>
#include <QLabel>
#include <QMediaPlayer>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QVideoWidget>

#include "ui/named_image.h"
#include "ui/player/player_controls.h"

namespace clipmoor {

namespace {
QLabel* makeCentredLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setMargin(24);
    return label;
}
}  // namespace

QMRMediaPlayerView::QMRMediaPlayerView(QWidget* parent) : QWidget(parent) {
    setAccessibleName(QStringLiteral("Media"));
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    QPalette dark = palette();
    dark.setColor(QPalette::Window, Qt::black);
    dark.setColor(QPalette::WindowText, Qt::white);
    setPalette(dark);

    pages_ = new QStackedWidget(this);
    videoWidget_ = new QVideoWidget;
    videoWidget_->setAccessibleName(QStringLiteral("Video"));

    auto* audioPage = new QWidget(pages_);
    auto* audioLayout = new QVBoxLayout(audioPage);
    auto* audioImage = new QLabel(audioPage);
    audioImage->setAlignment(Qt::AlignCenter);
    audioImage->setPixmap(namedImage(QStringLiteral("clipmoor")).pixmap(96, 96));
    audioTitleLabel_ = makeCentredLabel(audioPage);
    audioTitleLabel_->setAccessibleName(QStringLiteral("Title"));
    audioLayout->addStretch();
    audioLayout->addWidget(audioImage);
    audioLayout->addWidget(audioTitleLabel_);
    audioLayout->addStretch();

    messageLabel_ = makeCentredLabel(pages_);
    messageLabel_->setAccessibleName(QStringLiteral("Message"));

    pages_->addWidget(videoWidget_);
    pages_->addWidget(audioPage);
    pages_->addWidget(messageLabel_);

    controls_ = new PlayerControls(this);
    // The picture is drawn into a native window of its own; only a native widget can lie
    // over it.
    controls_->setAttribute(Qt::WA_NativeWindow);
    controls_->hide();
}

void QMRMediaPlayerView::prepareStacking() {
    // The picture is drawn into a window of its own, which the video widget keeps in a window
    // container. Left alone, that window hangs directly off the top-level window and covers
    // every widget of the view, the controls included. Once the container and the controls
    // have native windows of their own inside this view, placing the video widget again hangs
    // the picture's window off its container, below the controls.
    winId();
    controls_->winId();
    if (auto* container = videoWidget_->findChild<QWidget*>()) container->winId();
    pages_->removeWidget(videoWidget_);
    videoWidget_->setParent(nullptr);
    pages_->insertWidget(int(Page::Picture), videoWidget_);
    pages_->setCurrentIndex(int(Page::Picture));
    controls_->raise();
}

void QMRMediaPlayerView::setPlayer(QMediaPlayer* player, QAudioOutput* audioOutput) {
    if (player) player->setVideoOutput(videoWidget_);
    controls_->setPlayer(player, audioOutput);
}

QMRMediaPlayerView::Page QMRMediaPlayerView::page() const {
    return static_cast<Page>(pages_->currentIndex());
}

void QMRMediaPlayerView::showAudioOnly(const QString& title) {
    audioTitleLabel_->setText(title);
    pages_->setCurrentIndex(int(Page::AudioOnly));
}

void QMRMediaPlayerView::showMessage(const QString& message) {
    messageLabel_->setText(message);
    pages_->setCurrentIndex(int(Page::Message));
}

void QMRMediaPlayerView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    pages_->setGeometry(rect());
    placeControls();
}

void QMRMediaPlayerView::placeControls() {
    const int height = controls_->height();
    controls_->setGeometry(0, qMax(0, this->height() - height), width(), height);
}

}  // namespace clipmoor
