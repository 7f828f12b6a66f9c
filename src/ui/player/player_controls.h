#pragma once

#include <QPointer>
#include <QWidget>

class QAudioOutput;
class QLabel;
class QMediaPlayer;
class QSlider;
class QToolButton;

namespace clipmoor {

// The player's floating controls: play/pause, the position slider with the time, the volume,
// full screen and close. They act on the player given with setPlayer.
class PlayerControls : public QWidget {
    Q_OBJECT

public:
    explicit PlayerControls(QWidget* parent = nullptr);

    void setPlayer(QMediaPlayer* player, QAudioOutput* audioOutput);

    QToolButton* playPauseButton() const { return playPauseButton_; }
    QSlider* positionSlider() const { return positionSlider_; }
    QSlider* volumeSlider() const { return volumeSlider_; }
    QToolButton* fullScreenButton() const { return fullScreenButton_; }
    QToolButton* closeButton() const { return closeButton_; }

    void togglePlayback();
    void seekBy(qint64 milliseconds);
    void changeVolumeBy(int percent);

    // "m:ss" (or "h:mm:ss" from one hour on) for a position in milliseconds.
    static QString formatTime(qint64 milliseconds);

signals:
    void fullScreenRequested();
    void closeRequested();

private:
    void updatePlayPauseButton();
    void updatePosition(qint64 position);
    void updateDuration(qint64 duration);

    QPointer<QMediaPlayer> player_;
    QPointer<QAudioOutput> audioOutput_;
    QToolButton* playPauseButton_;
    QSlider* positionSlider_;
    QLabel* timeLabel_;
    QSlider* volumeSlider_;
    QToolButton* fullScreenButton_;
    QToolButton* closeButton_;
};

}  // namespace clipmoor
