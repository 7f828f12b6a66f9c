#pragma once

#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

#include "extractor/stream_dictionary.h"
#include "platform/error.h"
#include "platform/notification_center.h"
#include "platform/url.h"
#include "store/wbq_fetched_results_controller.h"
#include "ui/clipmoor_text_field.h"
#include "ui/spinning_progress_indicator.h"
#include "ui/tvk_table_view.h"
#include "ui/video_preview_view.h"

class QAction;

namespace clipmoor {

class ClipboardAddressPickup;
class CoreDataController;
class DownloadNotifier;
class DownloadRetry;
class ManagedObjectContext;
class OperationQueue;
class ThumbnailLoader;
class Video;

inline constexpr const char* kClipmoorDidRecieveURLFromBrowserExtensionNotification =
    "ClipmoorDidRecieveURLFromBrowserExtensionNotification";

// The main window's content. Its top row turns whatever address reaches the address field
// (Return, a paste, an address from the browser) into a video identifier, looks the video up,
// and offers the formats (main_view_controller.cpp). Below it, the download list shows every
// record of the store, turns the chosen format into a new record, gives each record its
// download operation when its row is first shown, and removes records
// (main_view_controller_list.cpp).
//
// Around them: a preview of what the last lookup found (thumbnail, title, author), the
// clipboard's video address taken into the field when the window becomes active (a user
// preference), and desktop notifications when a download ends while the window is not active.
class MainViewController : public QWidget,
                           public ClipmoorTextFieldDelegate,
                           public WBQFetchedResultsControllerDelegate,
                           public TVKTableViewDataSource,
                           public TVKTableViewDelegate {
    Q_OBJECT

public:
    static constexpr int kMaxConcurrentDownloads = 5;

    // The list is read from `coreDataController`'s context; without one the list stays empty.
    explicit MainViewController(CoreDataController* coreDataController = nullptr,
                                QWidget* parent = nullptr);
    ~MainViewController() override;

    ClipmoorTextField* urlTextField() const { return urlTextField_; }
    QComboBox* formatPopupButton() const { return formatPopupButton_; }
    QPushButton* downloadStartButton() const { return downloadStartButton_; }
    SpinningProgressIndicator* urlparserProgressIndicator() const {
        return urlparserProgressIndicator_;
    }
    TVKTableView* tableView() const { return tableView_; }
    ManagedObjectContext* managedObjectContext() const;
    WBQFetchedResultsController* fetchedResultsController() const {
        return fetchedResultsController_.get();
    }
    OperationQueue* downloadOperationQueue() const { return downloadOperationQueue_.get(); }
    ThumbnailLoader* thumbnailLoader() const { return thumbnailLoader_.get(); }
    // What the last successful lookup found; hidden when recognition starts, when the field is
    // cleared and when a lookup fails.
    VideoPreviewView* videoPreview() const { return videoPreview_; }
    DownloadNotifier* downloadNotifier() const { return downloadNotifier_.get(); }
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

    // The download list.
    // The start button's action: refuses a missing format or a duplicate file name with a
    // sheet, otherwise creates the record.
    void downloadAudioOrVideo();
    void newVideoFromDictionary(const StreamDictionary& dictionary);
    void downloaderForVideo(const std::shared_ptr<Video>& video, OperationQueue* queue);
    // The notification's object is a record's ObjectID.
    void removeVideoItem(const Notification& notification);
    void removeAllVideoItemsFromList();
    // The row menu's actions; each reads the record from the item's data.
    void showInFinderVideoItemContextMenu(QAction* item);
    void showInBrowserVideoItemContextMenu(QAction* item);
    void removeItemVideoItemContextMenu(QAction* item);
    // "Retry" for a failed record (also the state button of its row): back to queued, with a
    // new operation that continues from its resume data, after a new look-up when the stream's
    // address has expired.
    void retryVideoItemContextMenu(QAction* item);
    // The name of the finished file for a stream: the title and "(quality)", or
    // "(adudio only)" for the audio stream, made safe as a file name; no extension.
    static QString fileNameForStream(const StreamDictionary& dictionary);

    // TVKTableViewDataSource and TVKTableViewDelegate.
    int numberOfRowsInTableView(TVKTableView* tableView) override;
    TVKTableCellView* viewForRow(TVKTableView* tableView, int row) override;
    bool shouldSelectRow(TVKTableView*, int) override { return false; }

    // WBQFetchedResultsControllerDelegate.
    ImplementedMethods implementedMethods() const override;
    void controllerWillChangeContent(WBQFetchedResultsController* controller) override;
    void controllerDidChangeObject(WBQFetchedResultsController* controller,
                                   const std::shared_ptr<ManagedObject>& object, quint64 index,
                                   WBQFetchedResultsChangeType type, quint64 newIndex) override;
    void controllerDidChangeContent(WBQFetchedResultsController* controller) override;

protected:
    // The window becoming active picks up the clipboard's address.
    bool event(QEvent* event) override;

private:
    void loadView();
    void viewDidLoad();
    void prepareUIItems();
    void prepareNotificationObservers();
    void prepareCoreDataStack();
    void prepareDownloadOperationQueue();
    void prepareTableView();
    void sweepOrphanPartialFiles();
    void releasePausedOperations();
    void showStartFailureSheet(const QString& messageText);
    void lookupDidFinish(const std::optional<StreamMap>& videos, const std::optional<Error>& error);
    void showUnrecognizedAddressSheet(const QString& informativeText);
    void prepareDesktopIntegration();
    void showPreview(const StreamMap& videos);
    void pickUpClipboardAddress();

    QPointer<ClipmoorTextField> urlTextField_;
    QPointer<QComboBox> formatPopupButton_;
    QPointer<QPushButton> downloadStartButton_;
    QPointer<SpinningProgressIndicator> urlparserProgressIndicator_;
    QPointer<TVKTableView> tableView_;
    StreamMap videos_;
    QPointer<CoreDataController> coreDataController_;
    QPointer<ManagedObjectContext> managedObjectContext_;
    std::unique_ptr<WBQFetchedResultsController> fetchedResultsController_;
    std::unique_ptr<OperationQueue> downloadOperationQueue_;
    std::unique_ptr<ThumbnailLoader> thumbnailLoader_;
    QPointer<VideoPreviewView> videoPreview_;
    std::unique_ptr<ClipboardAddressPickup> clipboardPickup_;
    std::unique_ptr<DownloadNotifier> downloadNotifier_;
    DownloadRetry* downloadRetry_ = nullptr;
    std::vector<ObserverToken> observers_;
};

}  // namespace clipmoor
