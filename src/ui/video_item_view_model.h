#pragma once

#include <QString>
#include <QtGlobal>

namespace clipmoor {

// What one download row shows and does, from the record's download state (0 queued, 1 paused,
// 2 finished, 3 downloading, 4 failed) and from whether the row is engaged (pointer over it or
// keyboard focus in it). No widgets: the row view applies the result.
class VideoItemViewModel {
public:
    enum class StateButtonAction { None, Pause, Play, Resume, Retry };

    static inline const QString kShowInFolderTitle = QStringLiteral("Show in Folder");
    static inline const QString kRetryTitle = QStringLiteral("Retry");
    static inline const QString kPausedImage = QStringLiteral("white-circle-south");
    static inline const QString kFinishedImage = QStringLiteral("white-circle-play");
    static inline const QString kDownloadingImage = QStringLiteral("white-circle-pause");
    static inline const QString kFailedImage = QStringLiteral("white-circle-retry");

    // A fresh row: both buttons hidden, no image yet, black size text.
    VideoItemViewModel() = default;

    // Attaching a record: the state button hides and the size text turns black; then, as if the
    // pointer had left, both buttons hide.
    void attach();
    // The record's state changed (or a hover asks for it): paused, finished, downloading and
    // failed show the state button with their image, failed also turns the size text red, and
    // the other known states turn it black again (only a retry leaves the failed state); queued
    // and unknown states leave the button as it is.
    void updateForState(qint16 downloadState);
    // The row became engaged: the remove button shows, then updateForState.
    void engage(qint16 downloadState);
    // The row is no longer engaged: both buttons hide.
    void disengage();

    bool isStateButtonVisible() const { return stateButtonVisible_; }
    bool isRemoveButtonVisible() const { return removeButtonVisible_; }
    // The named image of the state button; empty before the first one is chosen.
    const QString& stateButtonImage() const { return stateButtonImage_; }
    bool isSizeTextRed() const { return sizeTextRed_; }
    // The accessible name of the state button: what a press does now.
    QString stateButtonName(qint16 downloadState) const;

    // What the state button does for a record in `downloadState`.
    static StateButtonAction actionForState(qint16 downloadState);
    // Whether the context-menu item titled `title` is enabled for a record in `downloadState`:
    // "Show in Folder" only for finished records, "Retry" only for failed ones; every other
    // item keeps `currentlyEnabled`.
    static bool isMenuItemEnabled(const QString& title, bool currentlyEnabled,
                                  qint16 downloadState);

private:
    bool stateButtonVisible_ = false;
    bool removeButtonVisible_ = false;
    QString stateButtonImage_;
    bool sizeTextRed_ = false;
};

}  // namespace clipmoor
