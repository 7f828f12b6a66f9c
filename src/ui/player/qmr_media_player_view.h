#pragma once

#include <QWidget>

class QAudioOutput;
class QLabel;
class QMediaPlayer;
class QStackedWidget;
class QVideoWidget;

namespace clipmoor {

class PlayerControls;

// What a player window shows: the picture, or for a file without one its title over the
// application's image, or a message when the file cannot be played; the floating controls lie
// over it.
class QMRMediaPlayerView : public QWidget {
    Q_OBJECT

public:
    explicit QMRMediaPlayerView(QWidget* parent = nullptr);

    void setPlayer(QMediaPlayer* player, QAudioOutput* audioOutput);

    QVideoWidget* videoWidget() const { return videoWidget_; }
    PlayerControls* controls() const { return controls_; }
    QLabel* messageLabel() const { return messageLabel_; }

    // Called once the view is in its window: lets the controls lie over the picture.
    void prepareStacking();

    enum class Page { Picture, AudioOnly, Message };
    Page page() const;
    void showAudioOnly(const QString& title);
    void showMessage(const QString& message);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeControls();

    QStackedWidget* pages_;
    QVideoWidget* videoWidget_;
    QLabel* audioTitleLabel_;
    QLabel* messageLabel_;
    PlayerControls* controls_;
};

}  // namespace clipmoor
