#include "ui/video_item_view_model.h"

#include <QCoreApplication>

namespace clipmoor {

void VideoItemViewModel::attach() {
    stateButtonVisible_ = false;
    sizeTextRed_ = false;
    disengage();
}

void VideoItemViewModel::updateForState(qint16 downloadState) {
    if (downloadState >= 0 && downloadState <= 3) sizeTextRed_ = false;
    switch (downloadState) {
        case 1:
            stateButtonImage_ = kPausedImage;
            stateButtonVisible_ = true;
            break;
        case 2:
            stateButtonImage_ = kFinishedImage;
            stateButtonVisible_ = true;
            break;
        case 3:
            stateButtonImage_ = kDownloadingImage;
            stateButtonVisible_ = true;
            break;
        case 4:
            stateButtonImage_ = kFailedImage;
            stateButtonVisible_ = true;
            sizeTextRed_ = true;
            break;
        default:
            break;
    }
}

void VideoItemViewModel::engage(qint16 downloadState) {
    removeButtonVisible_ = true;
    updateForState(downloadState);
}

void VideoItemViewModel::disengage() {
    removeButtonVisible_ = false;
    stateButtonVisible_ = false;
}

QString VideoItemViewModel::stateButtonName(qint16 downloadState) const {
    switch (actionForState(downloadState)) {
        case StateButtonAction::Pause:
            return QCoreApplication::translate("VideoItemView", "Pause");
        case StateButtonAction::Play:
            return QCoreApplication::translate("VideoItemView", "Play");
        case StateButtonAction::Resume:
            return QCoreApplication::translate("VideoItemView", "Resume");
        case StateButtonAction::Retry:
            return QCoreApplication::translate("VideoItemView", "Retry");
        case StateButtonAction::None:
            break;
    }
    return QCoreApplication::translate("VideoItemView", "Download state");
}

VideoItemViewModel::StateButtonAction VideoItemViewModel::actionForState(qint16 downloadState) {
    switch (downloadState) {
        case 3:
            return StateButtonAction::Pause;
        case 2:
            return StateButtonAction::Play;
        case 1:
            return StateButtonAction::Resume;
        case 4:
            return StateButtonAction::Retry;
        default:
            return StateButtonAction::None;
    }
}

bool VideoItemViewModel::isMenuItemEnabled(const QString& title, bool currentlyEnabled,
                                           qint16 downloadState) {
    if (title == kShowInFolderTitle) return downloadState == 2;
    if (title == kRetryTitle) return downloadState == 4;
    return currentlyEnabled;
}

}  // namespace clipmoor
