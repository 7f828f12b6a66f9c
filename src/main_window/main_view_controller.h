#pragma once

#include <QComboBox>
#include <QFrame>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

#include "extractor/stream_dictionary.h"
#include "platform/error.h"
#include "platform/notification_center.h"
#include "platform/url.h"
#include "ui/clipmoor_text_field.h"
#include "ui/spinning_progress_indicator.h"

namespace clipmoor {

inline constexpr const char* kClipmoorDidRecieveURLFromBrowserExtensionNotification =
    "ClipmoorDidRecieveURLFromBrowserExtensionNotification";

// The main window's content. Its top row turns whatever address reaches the address field
// (Return, a paste, an address from the browser) into a video identifier, looks the video up,
// and offers the formats; the area below it holds the download list.
class MainViewController : public QWidget, public ClipmoorTextFieldDelegate {
    Q_OBJECT

public:
    explicit MainViewController(QWidget* parent = nullptr);
    ~MainViewController() override;

    ClipmoorTextField* urlTextField() const { return urlTextField_; }
    QComboBox* formatPopupButton() const { return formatPopupButton_; }
    QPushButton* downloadStartButton() const { return downloadStartButton_; }
    SpinningProgressIndicator* urlparserProgressIndicator() const {
        return urlparserProgressIndicator_;
    }
    QFrame* downloadListArea() const { return downloadListArea_; }
    // The streams of the last successful lookup, keyed by itag; a failed lookup keeps them.
    const StreamMap& videos() const { return videos_; }

    // Recognises the address field's text and, for a video of the site, starts its lookup.
    // The sender is ignored.
    void urlTextFieldAction(QObject* sender = nullptr);
    // Return starts recognition and is consumed; every other command is left to the field.
    bool control(ClipmoorTextField* control, ClipmoorTextView* textView,
                 const QString& commandSelector) override;
    void handleBrowserSentURL(const Notification& notification);
    void textFieldDidClear(const Notification& notification);
    // Looks `identifier` up; none does nothing.
    void processYouTubeVideoID(const std::optional<QString>& identifier);
    static std::optional<QString> valueForKey(const QString& name,
                                              const std::vector<QueryItem>& items);
    void showParsingError();

private:
    void loadView();
    void viewDidLoad();
    void prepareUIItems();
    void prepareNotificationObservers();
    void lookupDidFinish(const std::optional<StreamMap>& videos, const std::optional<Error>& error);
    void showUnrecognizedAddressSheet(const QString& informativeText);

    QPointer<ClipmoorTextField> urlTextField_;
    QPointer<QComboBox> formatPopupButton_;
    QPointer<QPushButton> downloadStartButton_;
    QPointer<SpinningProgressIndicator> urlparserProgressIndicator_;
    QPointer<QFrame> downloadListArea_;
    StreamMap videos_;
    std::vector<ObserverToken> observers_;
};

}  // namespace clipmoor
