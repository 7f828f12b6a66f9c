#pragma once

#include <QFrame>
#include <QImage>
#include <QString>

class QLabel;

namespace clipmoor {

// What a lookup found, shown under the address row before anything is downloaded: the video's
// thumbnail, title and author. Hidden while it shows nothing. Texts are shown as plain text,
// whatever they contain.
class VideoPreviewView : public QFrame {
    Q_OBJECT

public:
    // The thumbnail takes `thumbnailSize`, the size the list's thumbnails are decoded at.
    explicit VideoPreviewView(QSize thumbnailSize, QWidget* parent = nullptr);

    // Shows a video (the thumbnail slot empty until setThumbnailImage).
    void showVideo(const QString& videoID, const QString& title, const QString& author);
    void setThumbnailImage(const QImage& image);
    // Back to nothing, hidden.
    void clear();

    // The identifier of the video shown; empty when nothing is.
    const QString& videoID() const { return videoID_; }
    QLabel* thumbnail() const { return thumbnail_; }
    QLabel* titleLabel() const { return titleLabel_; }
    QLabel* authorLabel() const { return authorLabel_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateTitleText();

    QString videoID_;
    QString fullTitle_;
    QLabel* thumbnail_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QLabel* authorLabel_ = nullptr;
};

}  // namespace clipmoor
