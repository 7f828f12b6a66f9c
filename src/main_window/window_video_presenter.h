#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

#include "download/video_presenter.h"

namespace clipmoor {

// What download records show and open, for one main window: their sheets go on the window;
// playing goes through a hook the application sets (by default the desktop's player for the
// file); the feedback dialog goes through another hook (by default nothing).
class WindowVideoPresenter : public VideoPresenter {
public:
    using PlayHook = std::function<void(const QUrl& fileURL, const QString& title)>;
    using FeedbackHook = std::function<void()>;

    explicit WindowVideoPresenter(QWidget* window) : window_(window) {}

    void setPlayHook(PlayHook hook) { playHook_ = std::move(hook); }
    void setFeedbackHook(FeedbackHook hook) { feedbackHook_ = std::move(hook); }

    void showSheet(const QString& messageText, const QString& informativeText,
                   const QStringList& buttonTitles,
                   std::function<void(int buttonIndex)> completion) override;
    void playMediaFile(const QUrl& fileURL, const QString& title) override;
    void showFeedbackDialog() override;

private:
    QPointer<QWidget> window_;
    PlayHook playHook_;
    FeedbackHook feedbackHook_;
};

}  // namespace clipmoor
