#include "ui/video_preview_view.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

#include "ui/picture_slot.h"

namespace clipmoor {

VideoPreviewView::VideoPreviewView(QSize thumbnailSize, QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("videoPreview"));
    setAccessibleName(tr("Video found"));
    setFrameShape(QFrame::StyledPanel);

    // The same empty slot as the list's rows while the picture is on its way.
    thumbnail_ = makePictureSlot(this, QStringLiteral("videoPreviewThumbnail"),
                                 tr("Thumbnail of the video found"), thumbnailSize);

    titleLabel_ = new QLabel(this);
    titleLabel_->setObjectName(QStringLiteral("videoPreviewTitle"));
    titleLabel_->setAccessibleName(tr("Title of the video found"));
    titleLabel_->setTextFormat(Qt::PlainText);
    titleLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QFont bold = titleLabel_->font();
    bold.setBold(true);
    titleLabel_->setFont(bold);
    titleLabel_->installEventFilter(this);  // re-elides the title when it resizes

    authorLabel_ = new QLabel(this);
    authorLabel_->setObjectName(QStringLiteral("videoPreviewAuthor"));
    authorLabel_->setAccessibleName(tr("Author of the video found"));
    authorLabel_->setTextFormat(Qt::PlainText);
    authorLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addStretch(1);
    texts->addWidget(titleLabel_);
    texts->addWidget(authorLabel_);
    texts->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(10);
    layout->addWidget(thumbnail_);
    layout->addLayout(texts, 1);
    hide();
}

void VideoPreviewView::showVideo(const QString& videoID, const QString& title,
                                 const QString& author) {
    videoID_ = videoID;
    fullTitle_ = title;
    thumbnail_->clear();
    updateTitleText();
    titleLabel_->setToolTip(title);
    authorLabel_->setText(author);
    setAccessibleDescription(author.isEmpty() ? title : tr("%1, by %2").arg(title, author));
    show();
}

void VideoPreviewView::setThumbnailImage(const QImage& image) {
    if (image.isNull())
        thumbnail_->clear();
    else
        thumbnail_->setPixmap(QPixmap::fromImage(image));
}

void VideoPreviewView::clear() {
    videoID_.clear();
    fullTitle_.clear();
    thumbnail_->clear();
    titleLabel_->clear();
    titleLabel_->setToolTip(QString());
    authorLabel_->clear();
    setAccessibleDescription(QString());
    hide();
}

bool VideoPreviewView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == titleLabel_ && event->type() == QEvent::Resize) updateTitleText();
    return QFrame::eventFilter(watched, event);
}

void VideoPreviewView::updateTitleText() {
    titleLabel_->setText(titleLabel_->fontMetrics().elidedText(fullTitle_, Qt::ElideRight,
                                                               std::max(0, titleLabel_->width())));
}

}  // namespace clipmoor
