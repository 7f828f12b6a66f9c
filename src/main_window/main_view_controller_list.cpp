// The download list half of MainViewController: new records from the chosen format, their
// download operations, the list's rows, and removal.
#include <QAction>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenu>
#include <QSet>

#include "download/clipmoor_model.h"
#include "download/download_folder.h"
#include "download/downloader.h"
#include "download/media_file_name.h"
#include "download/video.h"
#include "main_window/download_notifier.h"
#include "main_window/download_retry.h"
#include "main_window/file_revealer.h"
#include "main_window/format_table.h"
#include "main_window/main_view_controller.h"
#include "main_window/thumbnail_loader.h"
#include "platform/http/partial_files.h"
#include "platform/http/resume_data.h"
#include "platform/object_store/managed_object_context.h"
#include "platform/operation_queue.h"
#include "store/core_data_controller.h"
#include "ui/alert_sheet.h"
#include "ui/video_item_view.h"

namespace clipmoor {

namespace {
const QString kMediaFileExtension = QStringLiteral("mp4");
const QString kStartErrorMessage = QStringLiteral(
    "There was an error starting the download. Clipmoor is unable to download your request at "
    "this time. ");
const QString kDuplicateMessage =
    QStringLiteral("The file you have requested is already downloading or queud for download. ");
const QString kTryAgainText =
    QStringLiteral("Sorry please try again later or try a different URL.");
const QString kClearMessage = QStringLiteral("Clear Download List");
const QString kClearText =
    QStringLiteral("Are you sure you want to remove items from your download list?");

QString itagForFormatTitle(const QString& title) {
    for (const FormatEntry& entry : kFormatTable)
        if (title == QLatin1String(entry.title)) return QString::fromLatin1(entry.itag);
    return QStringLiteral("0");
}

std::shared_ptr<Video> videoOfMenuItem(const QAction* item) {
    if (!item) return nullptr;
    return item->data().value<std::weak_ptr<Video>>().lock();
}
}  // namespace

ManagedObjectContext* MainViewController::managedObjectContext() const {
    return managedObjectContext_;
}

void MainViewController::prepareCoreDataStack() {
    if (!managedObjectContext_ && coreDataController_)
        managedObjectContext_ = coreDataController_->managedObjectContext();
    if (!managedObjectContext_) return;
    FetchRequest request(QString::fromLatin1(kVideoEntityName));
    fetchedResultsController_ =
        std::make_unique<WBQFetchedResultsController>(request, managedObjectContext_);
    fetchedResultsController_->setDelegate(this);
    Error error;
    fetchedResultsController_->performFetch(&error);  // a failed fetch leaves the list empty
    sweepOrphanPartialFiles();
}

void MainViewController::sweepOrphanPartialFiles() {
    // Partial files that no record's resume data names belong to downloads that were removed
    // or lost; files in the download folder are never touched.
    QSet<QString> referenced;
    if (const auto* objects = fetchedResultsController_->fetchedObjectsNoCopy()) {
        for (const auto& object : *objects) {
            const auto* video = static_cast<const Video*>(object.get());
            const QByteArray data = video->resumeData();
            if (data.isEmpty()) continue;
            if (const auto resume = ResumeData::decode(data))
                referenced.insert(resume->partialFile);
        }
    }
    sweepUnreferencedPartialFiles(std::move(referenced));
}

void MainViewController::releasePausedOperations() {
    // A paused operation waits in the queue and its session for a resume that can no longer
    // come once the list is gone. Its record keeps the resume data (and so the partial file)
    // for the next start; the operation and its session are let go of here.
    if (!fetchedResultsController_) return;
    const auto* objects = fetchedResultsController_->fetchedObjectsNoCopy();
    if (!objects) return;
    for (const auto& object : *objects) {
        const auto* video = static_cast<const Video*>(object.get());
        if (video->downloadState() != Video::Paused) continue;
        if (const auto operation = video->downloader().lock()) operation->prepareToCancel();
    }
}

void MainViewController::prepareDownloadOperationQueue() {
    downloadOperationQueue_ = std::make_unique<OperationQueue>();
    downloadOperationQueue_->setMaxConcurrentOperationCount(kMaxConcurrentDownloads);
}

void MainViewController::prepareTableView() {
    thumbnailLoader_ = std::make_unique<ThumbnailLoader>(VideoItemView::kThumbnailSize);
    downloadRetry_ = new DownloadRetry(
        [this](const std::shared_ptr<Video>& video) {
            downloaderForVideo(video, downloadOperationQueue_.get());
        },
        this);
    tableView_->setRowHeight(VideoItemView::kRowHeight);
    tableView_->registerViewFactory(VideoItemView::kIdentifier, [this] {
        auto* view = new VideoItemView;
        const QList<QAction*> items = view->menu()->actions();
        connect(items[0], &QAction::triggered, this,
                [this, item = items[0]] { showInFinderVideoItemContextMenu(item); });
        connect(items[1], &QAction::triggered, this,
                [this, item = items[1]] { showInBrowserVideoItemContextMenu(item); });
        connect(items[2], &QAction::triggered, this,
                [this, item = items[2]] { removeItemVideoItemContextMenu(item); });
        connect(items[3], &QAction::triggered, this,
                [this, item = items[3]] { retryVideoItemContextMenu(item); });
        return view;
    });
    tableView_->setDataSource(this);
    tableView_->setDelegate(this);
    tableView_->reloadData();
}

QString MainViewController::fileNameForStream(const StreamDictionary& dictionary) {
    const QString title = dictionary.value(QStringLiteral("title"));
    const auto quality = dictionary.constFind(QStringLiteral("quality"));
    const QString suffix = quality != dictionary.constEnd() ? QStringLiteral("(%1)").arg(*quality)
                                                            : QStringLiteral("(adudio only)");
    return mediaFileNameForTitle(title, suffix, kMediaFileExtension);
}

void MainViewController::showStartFailureSheet(const QString& messageText) {
    beginSheetModalForWindow({messageText, kTryAgainText}, this);
}

void MainViewController::downloadAudioOrVideo() {
    const QString itag = itagForFormatTitle(formatPopupButton_->currentText());
    const StreamDictionary stream = videos_.value(itag);
    if (stream.isEmpty()) {
        showStartFailureSheet(kStartErrorMessage);
        return;
    }
    // The test uses the final name, so two titles that clean up to the same file name are
    // duplicates too.
    const QString fileName = fileNameForStream(stream);
    // A record made moments ago reaches the list with the context's next change notification;
    // deliver it now, so a quick second request cannot slip past the test.
    if (managedObjectContext_) managedObjectContext_->processPendingChanges();
    if (fetchedResultsController_) {
        if (const auto* objects = fetchedResultsController_->fetchedObjectsNoCopy()) {
            for (const auto& object : *objects) {
                if (static_cast<const Video*>(object.get())->fileName() == fileName) {
                    showStartFailureSheet(kDuplicateMessage);
                    return;
                }
            }
        }
    }
    newVideoFromDictionary(stream);
}

void MainViewController::newVideoFromDictionary(const StreamDictionary& dictionary) {
    if (!managedObjectContext_) return;
    const QString fileName = fileNameForStream(dictionary);
    const auto video = managedObjectContext_->insertNewObjectForEntityForName<Video>(
        QString::fromLatin1(kVideoEntityName));
    if (!video) return;
    video->setVideoID(dictionary.value(QStringLiteral("id")));
    video->setBitrate(dictionary.value(QStringLiteral("bitrate")));
    video->setItag(dictionary.value(QStringLiteral("itag")));
    video->setTitle(dictionary.value(QStringLiteral("title")));
    video->setType(dictionary.value(QStringLiteral("type")));
    const auto quality = dictionary.constFind(QStringLiteral("quality"));
    if (quality != dictionary.constEnd()) video->setQuality(*quality);
    video->setAuthorName(dictionary.value(QStringLiteral("author")));
    video->setFileExtension(kMediaFileExtension);
    video->setDownloadURL(dictionary.value(QStringLiteral("url")));
    video->setDownloadState(Video::Queued);
    video->setFileName(fileName);

    // A file of that name already in the download folder counts as this download, finished.
    const QFileInfo existing(mediaDownloadFolder() + QLatin1Char('/') + fileName +
                             QLatin1Char('.') + kMediaFileExtension);
    if (existing.isFile()) {
        video->setTotalBytesWritten(existing.size());
        video->setDownloadState(Video::Finished);
    }
    if (coreDataController_) coreDataController_->saveAction();
}

void MainViewController::downloaderForVideo(const std::shared_ptr<Video>& video,
                                            OperationQueue* queue) {
    const auto operation = Downloader::create();
    operation->setDelegate(std::dynamic_pointer_cast<DownloaderDelegate>(video));
    operation->setDownloadURL(QUrl(video->downloadURL()));
    // The destination is worked out here, on the main thread, where the record lives; doing so
    // may clean the record's file name, so the operation takes the name afterwards.
    operation->setDestinationPath(video->mediaLocalFilePath());
    operation->setFileName(video->fileName());
    operation->setFileExtension(video->fileExtension());
    operation->setResumeData(video->resumeData());
    video->setDownloader(operation);
    if (video->downloadState() != Video::Finished && queue) queue->addOperation(operation);
    if (downloadNotifier_ && video->downloadState() != Video::Finished)
        downloadNotifier_->watch(video, operation->destinationPath());
}

int MainViewController::numberOfRowsInTableView(TVKTableView*) {
    return fetchedResultsController_
               ? static_cast<int>(fetchedResultsController_->countOfFetchedObjects())
               : 0;
}

TVKTableCellView* MainViewController::viewForRow(TVKTableView* tableView, int row) {
    auto* view =
        static_cast<VideoItemView*>(tableView->makeViewWithIdentifier(VideoItemView::kIdentifier));
    if (!view || !fetchedResultsController_) return view;
    const auto video = std::dynamic_pointer_cast<Video>(
        fetchedResultsController_->objectInFetchedObjectsAtIndex(static_cast<quint64>(row)));
    if (!video) return view;
    const qint16 state = video->downloadState();
    if (video->downloader().expired() && state != Video::Finished && state != Video::Failed &&
        !downloadRetry_->isLookingUp(*video))
        downloaderForVideo(video, downloadOperationQueue_.get());
    view->setVideo(video);

    const QUrl thumbnail = video->thumbNailURL();
    const QImage cached = thumbnailLoader_->cachedImage(thumbnail);
    if (!cached.isNull()) {
        view->setThumbnailImage(cached);
    } else {
        // The view may be reused for another record before the image arrives.
        std::weak_ptr<Video> shown = video;
        thumbnailLoader_->load(thumbnail, view, [view, shown](const QImage& image) {
            const auto record = shown.lock();
            if (record && view->video() == record) view->setThumbnailImage(image);
        });
    }
    return view;
}

void MainViewController::removeVideoItem(const Notification& notification) {
    if (!managedObjectContext_) return;
    const ObjectID objectID = notification.object.value<ObjectID>();
    Error error;
    const auto object = managedObjectContext_->existingObjectWithID(objectID, &error);
    if (error.isValid()) qWarning("Error: %s", qPrintable(error.localizedDescription()));
    if (object) {
        // The record's deletion hook stops its operation; the next save writes the deletion.
        managedObjectContext_->deleteObject(object);
    } else {
        qWarning("Could not find object in context with ID: %s",
                 qPrintable(objectID.URIRepresentation().toString()));
    }
}

void MainViewController::removeAllVideoItemsFromList() {
    QPointer<MainViewController> self(this);
    beginSheetModalForWindow(
        {kClearMessage,
         kClearText,
         {QStringLiteral("Clear All"), QStringLiteral("Clear Comleted"), QStringLiteral("Cancel")}},
        this, [self](int button) {
            if (!self || !self->managedObjectContext_ || !self->fetchedResultsController_) return;
            if (button != 0 && button != 1) return;
            const auto objects = self->fetchedResultsController_->fetchedObjects();
            if (!objects) return;
            for (const auto& object : *objects) {
                const auto* video = static_cast<const Video*>(object.get());
                if (button == 0 || video->downloadState() == Video::Finished)
                    self->managedObjectContext_->deleteObject(object);
            }
        });
    if (coreDataController_) coreDataController_->saveAction(this);
}

void MainViewController::showInFinderVideoItemContextMenu(QAction* item) {
    const auto video = videoOfMenuItem(item);
    if (!video || video->downloadState() != Video::Finished) return;
    FileRevealer::revealFile(video->mediaLocalFilePath(), this);
}

void MainViewController::showInBrowserVideoItemContextMenu(QAction* item) {
    if (const auto video = videoOfMenuItem(item))
        QDesktopServices::openUrl(video->youTubePageURL());
}

void MainViewController::removeItemVideoItemContextMenu(QAction* item) {
    const auto video = videoOfMenuItem(item);
    if (!video) return;
    removeVideoItem(Notification{QString(), QVariant::fromValue(video->objectID()), {}});
}

void MainViewController::retryVideoItemContextMenu(QAction* item) {
    downloadRetry_->retry(videoOfMenuItem(item));
}

WBQFetchedResultsControllerDelegate::ImplementedMethods MainViewController::implementedMethods()
    const {
    ImplementedMethods methods;
    methods.controllerWillChangeContent = true;
    methods.controllerDidChangeObject = true;
    methods.controllerDidChangeContent = true;
    return methods;
}

void MainViewController::controllerWillChangeContent(WBQFetchedResultsController*) {
    if (tableView_) tableView_->beginUpdates();
}

void MainViewController::controllerDidChangeObject(WBQFetchedResultsController*,
                                                   const std::shared_ptr<ManagedObject>&,
                                                   quint64 index, WBQFetchedResultsChangeType type,
                                                   quint64 newIndex) {
    if (!tableView_) return;
    switch (type) {
        case WBQFetchedResultsChangeInsert:
            tableView_->insertRows(static_cast<int>(newIndex), 1, TableViewAnimation::Fade);
            break;
        case WBQFetchedResultsChangeDelete:
            tableView_->removeRows(static_cast<int>(index), 1, TableViewAnimation::Fade);
            break;
        case WBQFetchedResultsChangeMove:
            tableView_->moveRow(static_cast<int>(index), static_cast<int>(newIndex));
            break;
        case WBQFetchedResultsChangeUpdate:
            break;
    }
}

void MainViewController::controllerDidChangeContent(WBQFetchedResultsController*) {
    if (tableView_) tableView_->endUpdates();
}

}  // namespace clipmoor
