#pragma once

#include <QImage>
#include <QMetaType>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>

#include "download/video.h"
#include "ui/tvk_table_cell_view.h"
#include "ui/video_item_view_model.h"

class QLabel;
class QMenu;
class QMimeData;
class QAction;
class QToolButton;

namespace clipmoor {

class QMRProgressIndicator;

inline constexpr const char* kClipmoorItemDeleteItemNotification =
    "ClipmoorItemDeleteItemNotification";

// The view of one download in the list: thumbnail, title, progress bar, size and percentage
// texts, a state button (pause, resume, play or retry) and a remove button, both shown while the
// pointer is over the row or the keyboard focus is in it, and a context menu. It holds its
// record weakly, follows it through the record's change signals (at most ten repaints a
// second however often the record changes) and forwards the user's actions to it. While the
// record downloads, the time-remaining text shows its speed and time left, read again every
// second so that a stall shows even when no report comes. A finished row whose file is there
// can be dragged out as the file itself.
//
// Keyboard: Space does what the state button does, Delete removes the row, the menu key or
// Shift+F10 opens the context menu.
class VideoItemView : public TVKTableCellView {
    Q_OBJECT

public:
    static inline const QString kIdentifier = QStringLiteral("VideoItemView");
    static constexpr int kRowHeight = 72;
    static constexpr QSize kThumbnailSize{80, 60};
    static constexpr int kRefreshIntervalMs = 100;
    static constexpr int kTimeRemainingIntervalMs = 1000;

    explicit VideoItemView(QWidget* parent = nullptr);
    ~VideoItemView() override;

    std::shared_ptr<Video> video() const { return video_.lock(); }
    // Shows `video` (none detaches): stops following the previous record, hides the state
    // button, makes the size text black, clears the thumbnail, follows the new record, and ends
    // with both buttons hidden.
    void setVideo(const std::shared_ptr<Video>& video);
    void setThumbnailImage(const QImage& image);

    // The state button's action: pause while downloading, play when finished, resume when
    // paused, and for a failed record the menu's "Retry" item; nothing otherwise.
    void pauseDownload();
    // The remove button's action: posts "ClipmoorItemDeleteItemNotification" with the record's
    // identity.
    void removeVideo();
    // Sets the state button and the size text from the record's state.
    void updateUIForStateChange();
    void rightMouseDown(const QPoint& globalPos) override;
    void prepareForReuse() override;
    // What dragging the row carries: the finished file's URL (as text/uri-list); null unless
    // the record is finished and its file exists. The caller owns the result.
    QMimeData* dragMimeData() const;

    QLabel* videoTitleTextField() const { return videoTitleTextField_; }
    QLabel* sizeRemainingLabel() const { return sizeRemainingLabel_; }
    QLabel* percentRemainingLabel() const { return percentRemainingLabel_; }
    QLabel* timeRemainingLabel() const { return timeRemainingLabel_; }
    QLabel* thumbNail() const { return thumbNail_; }
    QToolButton* pauseDownloadButton() const { return pauseDownloadButton_; }
    QToolButton* removeVideoButton() const { return removeVideoButton_; }
    QMRProgressIndicator* downloadProgressIndicator() const { return downloadProgressIndicator_; }
    // Four items: "Show in Folder", "Show in Browser", "Remove from List", "Retry". Each carries
    // the record (std::weak_ptr<Video>) as its data once the menu has been opened (or, for
    // "Retry", once the state button has triggered it).
    QMenu* menu() const { return menu_; }
    const VideoItemViewModel& viewModel() const { return model_; }
    // How often the row has redrawn itself from its record.
    int refreshCount() const { return refreshCount_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void recordChanged();
    void refreshFromRecord();
    void applyViewModel();
    void updateTitleText();
    // Re-evaluates, after the current event, whether the pointer or the focus is in the row.
    void scheduleEngagementUpdate();
    bool hasFocusWithin() const;
    // The finished file's path while the row can be dragged; empty otherwise.
    QString draggableFilePath() const;
    void startFileDrag();

    std::weak_ptr<Video> video_;
    QPointer<Video> observed_;
    VideoItemViewModel model_;
    QTimer refreshTimer_;
    QTimer timeRemainingTicker_;
    std::optional<QPoint> dragStart_;
    bool refreshPending_ = false;
    bool stateChangePending_ = false;
    bool hovered_ = false;
    int refreshCount_ = 0;
    QString fullTitle_;

    QLabel* thumbNail_ = nullptr;
    QLabel* videoTitleTextField_ = nullptr;
    QMRProgressIndicator* downloadProgressIndicator_ = nullptr;
    QLabel* sizeRemainingLabel_ = nullptr;
    QLabel* percentRemainingLabel_ = nullptr;
    QLabel* timeRemainingLabel_ = nullptr;
    QToolButton* pauseDownloadButton_ = nullptr;
    QToolButton* removeVideoButton_ = nullptr;
    QMenu* menu_ = nullptr;
};

}  // namespace clipmoor

Q_DECLARE_METATYPE(std::weak_ptr<clipmoor::Video>)
