#include "ui/player/player_controls.h"

#include <QAudioOutput>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaPlayer>
#include <QPainter>
#include <QPixmap>
#include <QSlider>
#include <QToolButton>

#include "ui/named_image.h"

namespace clipmoor {

namespace {
constexpr int kControlHeight = 40;
constexpr int kIconSize = 24;

// White line drawings for the dark control bar: "full screen" (four corners) and "close" (a
// cross). The desktop's theme icons are drawn for light backgrounds.
enum class Drawing { FullScreen, Close };
QIcon drawnIcon(Drawing drawing) {
    constexpr int kSide = 48;
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (drawing == Drawing::Close) {
        painter.drawLine(QPointF(12, 12), QPointF(36, 36));
        painter.drawLine(QPointF(36, 12), QPointF(12, 36));
    } else {
        const qreal a = 8, b = 40, arm = 11;
        painter.drawPolyline(QPolygonF({{a, a + arm}, {a, a}, {a + arm, a}}));
        painter.drawPolyline(QPolygonF({{b - arm, a}, {b, a}, {b, a + arm}}));
        painter.drawPolyline(QPolygonF({{b, b - arm}, {b, b}, {b - arm, b}}));
        painter.drawPolyline(QPolygonF({{a + arm, b}, {a, b}, {a, b - arm}}));
    }
    return QIcon(pixmap);
}

QToolButton* makeButton(QWidget* parent, const QString& accessibleName, const QIcon& icon) {
    auto* button = new QToolButton(parent);
    button->setAccessibleName(accessibleName);
    button->setToolTip(accessibleName);
    button->setIcon(icon);
    button->setIconSize(QSize(kIconSize, kIconSize));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}
}  // namespace

PlayerControls::PlayerControls(QWidget* parent) : QWidget(parent) {
    setAccessibleName(QStringLiteral("Player controls"));
    setAutoFillBackground(true);
    QPalette shade = palette();
    shade.setColor(QPalette::Window, QColor(24, 24, 24));
    shade.setColor(QPalette::WindowText, Qt::white);
    shade.setColor(QPalette::ButtonText, Qt::white);
    setPalette(shade);
    setFixedHeight(kControlHeight);

    playPauseButton_ = makeButton(this, QStringLiteral("Play"), namedImage("white-circle-play"));
    positionSlider_ = new QSlider(Qt::Horizontal, this);
    positionSlider_->setAccessibleName(QStringLiteral("Position"));
    positionSlider_->setFocusPolicy(Qt::TabFocus);
    positionSlider_->setRange(0, 0);
    timeLabel_ = new QLabel(formatTime(0), this);
    timeLabel_->setAccessibleName(QStringLiteral("Time"));
    volumeSlider_ = new QSlider(Qt::Horizontal, this);
    volumeSlider_->setAccessibleName(QStringLiteral("Volume"));
    volumeSlider_->setFocusPolicy(Qt::TabFocus);
    volumeSlider_->setRange(0, 100);
    volumeSlider_->setValue(100);
    volumeSlider_->setFixedWidth(80);
    fullScreenButton_ =
        makeButton(this, QStringLiteral("Full Screen"), drawnIcon(Drawing::FullScreen));
    closeButton_ = makeButton(this, QStringLiteral("Close"), drawnIcon(Drawing::Close));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->addWidget(playPauseButton_);
    layout->addWidget(positionSlider_, 1);
    layout->addWidget(timeLabel_);
    layout->addWidget(volumeSlider_);
    layout->addWidget(fullScreenButton_);
    layout->addWidget(closeButton_);

    connect(playPauseButton_, &QToolButton::clicked, this, &PlayerControls::togglePlayback);
    // Dragging, clicking and the keyboard all move the slider through an action.
    connect(positionSlider_, &QSlider::actionTriggered, this, [this](int) {
        if (player_) player_->setPosition(positionSlider_->sliderPosition());
    });
    connect(volumeSlider_, &QSlider::valueChanged, this, [this](int value) {
        if (audioOutput_) audioOutput_->setVolume(float(value) / 100.0f);
    });
    connect(fullScreenButton_, &QToolButton::clicked, this, &PlayerControls::fullScreenRequested);
    connect(closeButton_, &QToolButton::clicked, this, &PlayerControls::closeRequested);
}

void PlayerControls::setPlayer(QMediaPlayer* player, QAudioOutput* audioOutput) {
    if (player_) player_->disconnect(this);
    player_ = player;
    audioOutput_ = audioOutput;
    if (audioOutput_) volumeSlider_->setValue(int(audioOutput_->volume() * 100.0f + 0.5f));
    if (!player_) return;
    connect(player_, &QMediaPlayer::playbackStateChanged, this,
            &PlayerControls::updatePlayPauseButton);
    connect(player_, &QMediaPlayer::positionChanged, this, &PlayerControls::updatePosition);
    connect(player_, &QMediaPlayer::durationChanged, this, &PlayerControls::updateDuration);
    updateDuration(player_->duration());
    updatePosition(player_->position());
    updatePlayPauseButton();
}

QString PlayerControls::formatTime(qint64 milliseconds) {
    const qint64 seconds = qMax<qint64>(0, milliseconds) / 1000;
    const qint64 hours = seconds / 3600;
    const qint64 minutes = (seconds / 60) % 60;
    const QString rest = QStringLiteral("%1:%2")
                             .arg(minutes, hours > 0 ? 2 : 1, 10, QChar('0'))
                             .arg(seconds % 60, 2, 10, QChar('0'));
    return hours > 0 ? QStringLiteral("%1:%2").arg(hours).arg(rest) : rest;
}

void PlayerControls::togglePlayback() {
    if (!player_) return;
    if (player_->playbackState() == QMediaPlayer::PlayingState)
        player_->pause();
    else
        player_->play();
}

void PlayerControls::seekBy(qint64 milliseconds) {
    if (!player_) return;
    const qint64 end = qMax<qint64>(0, player_->duration());
    player_->setPosition(qBound<qint64>(0, player_->position() + milliseconds, end));
}

void PlayerControls::changeVolumeBy(int percent) {
    volumeSlider_->setValue(volumeSlider_->value() + percent);
}

void PlayerControls::updatePlayPauseButton() {
    const bool playing = player_ && player_->playbackState() == QMediaPlayer::PlayingState;
    playPauseButton_->setIcon(namedImage(playing ? "white-circle-pause" : "white-circle-play"));
    const QString name = playing ? QStringLiteral("Pause") : QStringLiteral("Play");
    playPauseButton_->setAccessibleName(name);
    playPauseButton_->setToolTip(name);
}

void PlayerControls::updatePosition(qint64 position) {
    if (!positionSlider_->isSliderDown()) positionSlider_->setValue(int(position));
    timeLabel_->setText(formatTime(position));
}

void PlayerControls::updateDuration(qint64 duration) {
    positionSlider_->setRange(0, int(qMax<qint64>(0, duration)));
}

}  // namespace clipmoor
