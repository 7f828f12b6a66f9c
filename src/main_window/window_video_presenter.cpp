#include "main_window/window_video_presenter.h"

#include <QDesktopServices>
#include <QUrl>

#include "ui/alert_sheet.h"

namespace clipmoor {

void WindowVideoPresenter::showSheet(const QString& messageText, const QString& informativeText,
                                     const QStringList& buttonTitles,
                                     std::function<void(int buttonIndex)> completion) {
    if (!window_) return;
    beginSheetModalForWindow({messageText, informativeText, buttonTitles}, window_,
                             std::move(completion));
}

void WindowVideoPresenter::playMediaFile(const QUrl& fileURL, const QString& title) {
    if (playHook_) {
        playHook_(fileURL, title);
        return;
    }
    QDesktopServices::openUrl(fileURL);
}

void WindowVideoPresenter::showFeedbackDialog() {
    if (feedbackHook_) feedbackHook_();
}

}  // namespace clipmoor
