#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace clipmoor {

// What a download record asks of the user interface. The application installs one with
// Video::setPresenter; without one, records show nothing and open nothing. Main thread only.
class VideoPresenter {
public:
    virtual ~VideoPresenter() = default;

    // A warning sheet on the application's main window (nothing when there is no main window).
    // `completion` receives the index of the chosen button in `buttonTitles`.
    virtual void showSheet(const QString& messageText, const QString& informativeText,
                           const QStringList& buttonTitles,
                           std::function<void(int buttonIndex)> completion) = 0;
    // Opens a media file in the application's player.
    virtual void playMediaFile(const QUrl& fileURL, const QString& title) = 0;
    // The feedback dialog of the application's feedback command.
    virtual void showFeedbackDialog() = 0;
};

}  // namespace clipmoor
