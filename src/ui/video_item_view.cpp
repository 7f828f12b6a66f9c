#include "ui/video_item_view.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QSet>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/main_queue.h"
#include "platform/notification_center.h"
#include "ui/named_image.h"
#include "ui/picture_slot.h"
#include "ui/qmr_progress_indicator.h"

namespace clipmoor {

namespace {
// The row's background never changes with the desktop theme, so its texts are fixed too.
const QColor kBackground = QColor::fromRgbF(0.942f, 0.942f, 0.942f);
const QColor kEmphasizedBackground = QColor::fromRgbF(0.878f, 0.914f, 0.916f);
const QColor kText = QColor(0x20, 0x20, 0x20);
const QColor kSecondaryText = QColor(0x55, 0x55, 0x55);
// The record's fields the row shows, besides the state.
const QSet<QString> kFollowedKeys{
    QStringLiteral("title"),
    QStringLiteral("sizeRemainingString"),
    QStringLiteral("percentRemainingString"),
    QStringLiteral("totalBytesWritten"),
    QStringLiteral("totalBytesExpected"),
    QStringLiteral("shouldHideDownloadProgressIndicator"),
    QStringLiteral("shouldHidePercentRemainingIndicator"),
};

void setTextColor(QWidget* widget, const QColor& color) {
    if (widget->palette().color(QPalette::WindowText) == color) return;
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

QToolButton* makeRowButton(QWidget* parent, const QString& objectName) {
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setAutoRaise(true);
    button->setIconSize(QSize(24, 24));
    button->setFocusPolicy(Qt::TabFocus);
    QSizePolicy keepPlace = button->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);  // the texts must not shift when buttons appear
    button->setSizePolicy(keepPlace);
    button->hide();
    return button;
}
}  // namespace

VideoItemView::VideoItemView(QWidget* parent) : TVKTableCellView(kIdentifier, parent) {
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_Hover, false);
    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(kRefreshIntervalMs);
    connect(&refreshTimer_, &QTimer::timeout, this, [this] {
        if (!refreshPending_) return;
        refreshFromRecord();
        refreshTimer_.start();
    });
    // Speed and time left change with the clock, also while no report arrives.
    timeRemainingTicker_.setInterval(kTimeRemainingIntervalMs);
    connect(&timeRemainingTicker_, &QTimer::timeout, this, &VideoItemView::recordChanged);
    buildControls();
    // awakeFromNib: both buttons start hidden.
    applyViewModel();
}

VideoItemView::~VideoItemView() {
    if (observed_) disconnect(observed_, nullptr, this, nullptr);
}

void VideoItemView::buildControls() {
    thumbNail_ =
        makePictureSlot(this, QStringLiteral("thumbNail"), tr("Thumbnail"), kThumbnailSize);

    videoTitleTextField_ = new QLabel(this);
    videoTitleTextField_->setObjectName(QStringLiteral("videoTitleTextField"));
    QFont bold = videoTitleTextField_->font();
    bold.setBold(true);
    videoTitleTextField_->setFont(bold);
    // A title is the site's text, never markup.
    videoTitleTextField_->setTextFormat(Qt::PlainText);
    videoTitleTextField_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    videoTitleTextField_->setAccessibleName(tr("Title"));
    setTextColor(videoTitleTextField_, kText);
    videoTitleTextField_->installEventFilter(this);  // re-elides the title when it resizes

    downloadProgressIndicator_ = new QMRProgressIndicator(this);
    downloadProgressIndicator_->setObjectName(QStringLiteral("downloadProgressIndicator"));
    downloadProgressIndicator_->setFixedHeight(8);
    QSizePolicy keepPlace = downloadProgressIndicator_->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    keepPlace.setHorizontalPolicy(QSizePolicy::Expanding);
    downloadProgressIndicator_->setSizePolicy(keepPlace);

    sizeRemainingLabel_ = new QLabel(this);
    sizeRemainingLabel_->setObjectName(QStringLiteral("sizeRemainingLabel"));
    sizeRemainingLabel_->setAccessibleName(tr("Size"));
    percentRemainingLabel_ = new QLabel(this);
    percentRemainingLabel_->setObjectName(QStringLiteral("percentRemainingLabel"));
    percentRemainingLabel_->setAccessibleName(tr("Percentage"));
    setTextColor(percentRemainingLabel_, kSecondaryText);
    timeRemainingLabel_ = new QLabel(this);
    timeRemainingLabel_->setObjectName(QStringLiteral("timeRemainingLabel"));
    timeRemainingLabel_->setAccessibleName(tr("Time remaining"));
    setTextColor(timeRemainingLabel_, kSecondaryText);

    pauseDownloadButton_ = makeRowButton(this, QStringLiteral("pauseDownloadButton"));
    connect(pauseDownloadButton_, &QToolButton::clicked, this, &VideoItemView::pauseDownload);
    removeVideoButton_ = makeRowButton(this, QStringLiteral("removeVideoButton"));
    removeVideoButton_->setAccessibleName(tr("Remove"));
    removeVideoButton_->setToolTip(tr("Remove from the list"));
    const QIcon removeIcon = QIcon::fromTheme(QStringLiteral("window-close"));
    if (removeIcon.isNull())
        removeVideoButton_->setText(QStringLiteral("\u2715"));
    else
        removeVideoButton_->setIcon(removeIcon);
    connect(removeVideoButton_, &QToolButton::clicked, this, &VideoItemView::removeVideo);
    for (QWidget* button :
         {static_cast<QWidget*>(pauseDownloadButton_), static_cast<QWidget*>(removeVideoButton_)})
        button->installEventFilter(this);

    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("videoItemMenu"));
    menu_->addAction(VideoItemViewModel::kShowInFolderTitle);
    menu_->addAction(tr("Show in Browser"));
    menu_->addAction(tr("Remove from List"));
    menu_->addAction(VideoItemViewModel::kRetryTitle);

    auto* statusRow = new QHBoxLayout;
    statusRow->setSpacing(8);
    statusRow->addWidget(sizeRemainingLabel_);
    statusRow->addStretch(1);
    statusRow->addWidget(timeRemainingLabel_);
    statusRow->addWidget(percentRemainingLabel_);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(videoTitleTextField_);
    texts->addWidget(downloadProgressIndicator_);
    texts->addLayout(statusRow);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(10);
    layout->addWidget(thumbNail_);
    layout->addLayout(texts, 1);
    layout->addWidget(pauseDownloadButton_);
    layout->addWidget(removeVideoButton_);
}

void VideoItemView::setVideo(const std::shared_ptr<Video>& video) {
    if (observed_) disconnect(observed_, nullptr, this, nullptr);
    observed_ = nullptr;
    video_ = video;
    thumbNail_->clear();
    refreshTimer_.stop();
    refreshPending_ = false;
    stateChangePending_ = false;
    dragStart_.reset();
    model_.attach();
    if (video) {
        observed_ = video.get();
        Video* record = video.get();
        // One connection per row: every change of the record passes through valueChanged.
        connect(record, &ManagedObject::valueChanged, this, [this](const QString& key) {
            if (key == u"downloadState") {
                stateChangePending_ = true;
            } else if (!kFollowedKeys.contains(key)) {
                return;
            }
            recordChanged();
        });
    }
    refreshFromRecord();
    applyViewModel();
}

void VideoItemView::setThumbnailImage(const QImage& image) {
    if (image.isNull()) {
        thumbNail_->clear();
        return;
    }
    thumbNail_->setPixmap(QPixmap::fromImage(image));
}

void VideoItemView::prepareForReuse() {
    // A row off screen follows no record and costs nothing.
    setVideo(nullptr);
    hovered_ = false;
}

void VideoItemView::recordChanged() {
    refreshPending_ = true;
    if (refreshTimer_.isActive()) return;  // the timer picks it up
    refreshFromRecord();
    refreshTimer_.start();
}

void VideoItemView::refreshFromRecord() {
    refreshPending_ = false;
    ++refreshCount_;
    const std::shared_ptr<Video> video = video_.lock();
    if (!video) {
        fullTitle_.clear();
        sizeRemainingLabel_->clear();
        percentRemainingLabel_->clear();
        timeRemainingLabel_->clear();
        timeRemainingTicker_.stop();
        downloadProgressIndicator_->setMaxValue(0);
        downloadProgressIndicator_->setDoubleValue(0);
        downloadProgressIndicator_->hide();
        updateTitleText();
        setAccessibleName(QString());
        setAccessibleDescription(QString());
        return;
    }
    if (stateChangePending_) {
        stateChangePending_ = false;
        updateUIForStateChange();
    }
    fullTitle_ = video->title();
    updateTitleText();
    sizeRemainingLabel_->setText(video->sizeRemainingString());
    percentRemainingLabel_->setText(video->percentRemainingString());
    percentRemainingLabel_->setVisible(!video->shouldHidePercentRemainingIndicator());
    downloadProgressIndicator_->setMaxValue(static_cast<double>(video->totalBytesExpected()));
    downloadProgressIndicator_->setDoubleValue(static_cast<double>(video->totalBytesWritten()));
    downloadProgressIndicator_->setVisible(!video->shouldHideDownloadProgressIndicator());
    const QString timeRemaining = video->timeRemainingString();
    timeRemainingLabel_->setText(timeRemaining);
    if (video->downloadState() != Video::Downloading)
        timeRemainingTicker_.stop();
    else if (!timeRemainingTicker_.isActive())
        timeRemainingTicker_.start();

    // A screen reader reads the row as its title, then the size text, the percentage and the
    // speed.
    setAccessibleName(fullTitle_);
    QString description = video->sizeRemainingString();
    if (!video->shouldHidePercentRemainingIndicator() && !video->percentRemainingString().isEmpty())
        description += QStringLiteral(", ") + video->percentRemainingString();
    if (!timeRemaining.isEmpty()) description += QStringLiteral(", ") + timeRemaining;
    setAccessibleDescription(description);
}

void VideoItemView::updateUIForStateChange() {
    const std::shared_ptr<Video> video = video_.lock();
    if (!video) return;
    model_.updateForState(video->downloadState());
    applyViewModel();
}

void VideoItemView::applyViewModel() {
    const std::shared_ptr<Video> video = video_.lock();
    const qint16 state = video ? video->downloadState() : 0;
    pauseDownloadButton_->setVisible(model_.isStateButtonVisible());
    removeVideoButton_->setVisible(model_.isRemoveButtonVisible());
    if (!model_.stateButtonImage().isEmpty() &&
        pauseDownloadButton_->property("imageName").toString() != model_.stateButtonImage()) {
        pauseDownloadButton_->setIcon(namedImage(model_.stateButtonImage()));
        pauseDownloadButton_->setProperty("imageName", model_.stateButtonImage());
    }
    const QString action = model_.stateButtonName(state);
    pauseDownloadButton_->setAccessibleName(action);
    pauseDownloadButton_->setToolTip(action);
    setTextColor(sizeRemainingLabel_, model_.isSizeTextRed() ? QColor(Qt::red) : QColor(Qt::black));
}

void VideoItemView::updateTitleText() {
    const int width = std::max(0, videoTitleTextField_->width());
    videoTitleTextField_->setText(
        videoTitleTextField_->fontMetrics().elidedText(fullTitle_, Qt::ElideRight, width));
}

void VideoItemView::pauseDownload() {
    const std::shared_ptr<Video> video = video_.lock();
    if (!video) return;
    switch (VideoItemViewModel::actionForState(video->downloadState())) {
        case VideoItemViewModel::StateButtonAction::Pause:
            video->pause();
            break;
        case VideoItemViewModel::StateButtonAction::Play:
            video->play();
            break;
        case VideoItemViewModel::StateButtonAction::Resume:
            video->resume();
            break;
        case VideoItemViewModel::StateButtonAction::Retry: {
            // A retry needs the list (a new operation, perhaps a new look-up): it goes through
            // the menu's item, which the list controller answers.
            QAction* retry = menu_->actions().value(3);
            retry->setData(QVariant::fromValue(std::weak_ptr<Video>(video)));
            retry->setEnabled(true);  // the menu may last have been opened for another state
            retry->trigger();
            break;
        }
        case VideoItemViewModel::StateButtonAction::None:
            break;
    }
}

void VideoItemView::removeVideo() {
    const std::shared_ptr<Video> video = video_.lock();
    if (!video) return;
    NotificationCenter::defaultCenter().post(
        QString::fromLatin1(kClipmoorItemDeleteItemNotification),
        QVariant::fromValue(video->objectID()));
}

void VideoItemView::rightMouseDown(const QPoint& globalPos) {
    const std::shared_ptr<Video> video = video_.lock();
    const qint16 state = video ? video->downloadState() : 0;
    for (QAction* item : menu_->actions()) {
        item->setData(QVariant::fromValue(std::weak_ptr<Video>(video)));
        if (item->text() == VideoItemViewModel::kShowInFolderTitle ||
            item->text() == VideoItemViewModel::kRetryTitle)
            item->setEnabled(
                VideoItemViewModel::isMenuItemEnabled(item->text(), item->isEnabled(), state));
    }
    menu_->popup(globalPos);
}

void VideoItemView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), kBackground);
    if (backgroundStyle() == BackgroundStyle::Emphasized)
        painter.fillRect(event->rect(), kEmphasizedBackground);
    // A thin separator between rows.
    painter.fillRect(QRect(0, height() - 1, width(), 1), QColor(0xdc, 0xdc, 0xdc));
}

void VideoItemView::enterEvent(QEnterEvent* event) {
    TVKTableCellView::enterEvent(event);
    // Hover effects only while the list's window is the active one.
    if (!window()->isActiveWindow()) return;
    hovered_ = true;
    scheduleEngagementUpdate();
}

void VideoItemView::leaveEvent(QEvent* event) {
    TVKTableCellView::leaveEvent(event);
    hovered_ = false;
    scheduleEngagementUpdate();
}

void VideoItemView::focusInEvent(QFocusEvent* event) {
    TVKTableCellView::focusInEvent(event);
    scheduleEngagementUpdate();
}

void VideoItemView::focusOutEvent(QFocusEvent* event) {
    TVKTableCellView::focusOutEvent(event);
    scheduleEngagementUpdate();
}

bool VideoItemView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
        scheduleEngagementUpdate();
    else if (watched == videoTitleTextField_ && event->type() == QEvent::Resize)
        updateTitleText();
    return TVKTableCellView::eventFilter(watched, event);
}

bool VideoItemView::hasFocusWithin() const {
    const QWidget* focus = QApplication::focusWidget();
    return focus && (focus == this || isAncestorOf(focus));
}

void VideoItemView::scheduleEngagementUpdate() {
    // Posted, holding the view weakly: it runs after the event and never on a view that is gone.
    dispatchToMain(this, [this] {
        if (hovered_ || hasFocusWithin()) {
            const std::shared_ptr<Video> video = video_.lock();
            model_.engage(video ? video->downloadState() : 0);
        } else {
            model_.disengage();
        }
        applyViewModel();
    });
}

QString VideoItemView::draggableFilePath() const {
    const std::shared_ptr<Video> video = video_.lock();
    if (!video || video->downloadState() != Video::Finished) return {};
    const QString path = video->mediaLocalFilePath();
    return QFileInfo(path).isFile() ? path : QString();
}

QMimeData* VideoItemView::dragMimeData() const {
    const QString path = draggableFilePath();
    if (path.isEmpty()) return nullptr;
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(path)});
    return data;
}

void VideoItemView::mousePressEvent(QMouseEvent* event) {
    // Only a row that can be dragged keeps the press (and so the moves that follow); any other
    // press goes on to the table.
    if (event->button() == Qt::LeftButton && !draggableFilePath().isEmpty()) {
        dragStart_ = event->position().toPoint();
        event->accept();
        return;
    }
    dragStart_.reset();
    TVKTableCellView::mousePressEvent(event);
}

void VideoItemView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragStart_ || !(event->buttons() & Qt::LeftButton) ||
        (event->position().toPoint() - *dragStart_).manhattanLength() <
            QApplication::startDragDistance()) {
        TVKTableCellView::mouseMoveEvent(event);
        return;
    }
    dragStart_.reset();
    event->accept();
    startFileDrag();
}

void VideoItemView::mouseReleaseEvent(QMouseEvent* event) {
    dragStart_.reset();
    TVKTableCellView::mouseReleaseEvent(event);
}

void VideoItemView::startFileDrag() {
    QMimeData* data = dragMimeData();
    if (!data) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    if (const QPixmap picture = thumbNail_->pixmap(); !picture.isNull()) drag->setPixmap(picture);
    // Copy or link, never move: the file stays where the list expects it. The row (and the
    // drag with it) may be gone when the drag ends, so nothing of it is touched afterwards.
    const QPointer<QDrag> ended(drag);
    drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
    if (ended) ended->deleteLater();
}

void VideoItemView::keyPressEvent(QKeyEvent* event) {
    const bool plain = !(event->modifiers() & ~Qt::KeypadModifier);
    if (plain && event->key() == Qt::Key_Space) {
        pauseDownload();
    } else if (plain && event->key() == Qt::Key_Delete) {
        removeVideo();
    } else if ((plain && event->key() == Qt::Key_Menu) ||
               (event->modifiers() == Qt::ShiftModifier && event->key() == Qt::Key_F10)) {
        rightMouseDown(mapToGlobal(rect().center()));
    } else {
        TVKTableCellView::keyPressEvent(event);
        return;
    }
    event->accept();
}

}  // namespace clipmoor
